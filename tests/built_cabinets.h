// Cabinets built by the Windows-side builder tests and checked afterwards on
// the Linux side (check_built_cabinets.sh with cabextract and gcab).
//
// Every cabinet lies in build/built as <Suite>_<Case>_<n>.cab next to
// <Suite>_<Case>_<n>.expect, one line per stored file, tab-separated:
//   stored name, reference copy of its bytes (a file in the same directory,
//   or "-" where several stored files share the name),
//   DOS attribute bits as 0x%02x or "-", last-write time "YYYY-MM-DD hh:mm:ss"
//   or "-".
// An .expect file without lines asks for an empty cabinet. The test also
// reads every cabinet back through the library's own reader.
#ifndef VELMORA_BUILT_CABINETS_H
#define VELMORA_BUILT_CABINETS_H

#include <windows.h>

#include <string>
#include <vector>

namespace built_cabinets {

struct Expected {
  std::string stored_name;
  std::string bytes;
  std::string attributes = "-";  // e.g. "0x23"
  std::string time = "-";        // e.g. "2019-07-14 13:37:40"
  bool compare_bytes = true;     // false where several files share the name
};

// The directory build/built (created on first use).
std::string built_dir();

// A cabinet path in build/built for the running test: <Suite>_<Case>_<n>.cab.
// Files left there by an earlier run of the same test are removed first.
std::string cabinet_path_for_test(int n = 0);

// Writes the expectations that the Linux-side check reads for `cabinet`.
void write_expectations(const std::string& cabinet, const std::vector<Expected>& files);

// The stored names of a cabinet, read through the library's reader.
std::vector<std::string> list_with_reader(const std::string& cabinet);

// Extracts a cabinet with the library's reader into `dir` and checks that it
// holds exactly `files` with their bytes (gtest failures otherwise).
void check_with_reader(const std::string& cabinet, const std::vector<Expected>& files);

// Both of the above: the Linux-side check's expectations, then our reader.
void expect_cabinet(const std::string& cabinet, const std::vector<Expected>& files);

// Sets a file's last-write time from a local time.
bool set_local_write_time(const std::string& path, WORD year, WORD month, WORD day, WORD hour,
                          WORD minute, WORD second);

// The lines of "_caberrors.log" in the current directory with the stamp cut off.
std::vector<std::string> log_messages();

// Makes a sparse file of `size` bytes; "" when it is there and sparse,
// otherwise why not (the file is then removed, and the test skips).
std::string make_sparse(const std::string& path, uint64_t size);

}  // namespace built_cabinets

#endif  // VELMORA_BUILT_CABINETS_H
