// Helpers for the split and join tests: running a program as a process, and
// an independent reading of a split set from its files.
#ifndef VELMORA_SPLIT_TEST_SUPPORT_H
#define VELMORA_SPLIT_TEST_SUPPORT_H

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "split_job.h"
#include "split_set_format.h"

namespace split_testing {

struct ProcessResult {
  DWORD exit_code = 0xdeadbeef;
  std::string output;  // standard output and error together
  bool timed_out = false;  // killed after the time allowed
};

// The engine's hooks as a test plays them: `stop` is Break (may be set from
// another thread), `disk` answers the disk prompts (a prompt without it fails
// the test and answers No), and every progress report is kept or acted on.
class TestHooks : public velmora::SplitHooks {
 public:
  std::atomic<bool> stop{false};
  std::function<bool(velmora::DiskRequest)> disk;
  std::vector<velmora::SplitProgress> reports;
  bool keep_reports = false;
  bool no_library = false;  // run_split's job leaves vornex.dll out (/nolibrary)
  std::function<void(const velmora::SplitProgress&)> on_progress;  // after each report

  bool break_requested() override { return stop.load(); }
  bool ask_for_disk(velmora::DiskRequest request) override;
  void progress(const velmora::SplitProgress& progress) override {
    if (keep_reports) reports.push_back(progress);
    if (on_progress) on_progress(progress);
  }
};

// Runs the engine on a job made of these inputs; `payload_path` (when given)
// receives what the engine left in the job's source path.
int run_split(const std::string& source, const std::string& target, int32_t section,
              bool compress, bool autodetect, TestHooks& hooks,
              std::string* payload_path = nullptr);

// Runs `command_line` with `directory` as current directory (empty: ours)
// and waits for it, killing it after `timeout_ms`. The child finds
// vornex.dll through PATH (see add_bin_to_path).
ProcessResult run_process(const std::string& command_line, const std::string& directory,
                          DWORD timeout_ms = 120000);

// Puts build/bin on PATH, so that a first piece anywhere finds vornex.dll;
// remove_bin_from_path takes it off again.
void add_bin_to_path();
void remove_bin_from_path();

std::string velmora_exe();
std::string joiner_exe();

// Sets a file's size without writing its data (sparse on the Linux side).
bool make_sized_file(const std::string& path, uint64_t size);

// What one piece's file says about itself.
struct Piece {
  std::string name;
  uint64_t file_size = 0;
  splitset::ChunkRecord chunk{};
  std::string data;  // the data area by the block rule
};

// A set read back from its files by the block rule, independent of the joiner.
struct SetOnDisk {
  bool readable = false;
  splitset::SplitHeader header{};
  std::string image;  // the first 6656 bytes of the first piece
  std::vector<Piece> pieces;
  std::string payload() const;
};
SetOnDisk read_set(const std::string& first_piece);

// One piece as a test lays it out: its record and the bytes behind it.
struct PieceSpec {
  splitset::ChunkRecord chunk;
  std::string data;
};

// Writes a set byte by byte: the real joiner's image, a header naming `name`
// and the pieces beside `first_path`. With `checksums` the header carries a
// sealed integrity record (payload = the pieces' data) and the checksum file
// lies beside the first piece. Returns the payload.
std::string write_test_set(const std::string& first_path, const std::string& name,
                           const std::vector<PieceSpec>& pieces, bool compressed, bool checksums);

// The name of later piece `number` beside `first_piece`, by the piece-name rule.
std::string piece_name(const std::string& first_piece, uint32_t number);

// CRC-32 (zip, SFV) by the system's own routine (ntdll's RtlComputeCrc32),
// not by the set format's code that the splitter uses.
uint32_t system_crc32(const std::string& bytes);

// What a set read back says about its checksums, checked against its files:
// "" when the integrity record and the checksum file beside the first piece
// describe exactly what the pieces hold, otherwise one line per finding.
// `cut_short`: a break ended the split early. `source` (may be empty): the
// file whose last-write time the record must carry. `expect_sfv`: whether
// the checksum file must be there.
std::string checksum_findings(const SetOnDisk& set, bool cut_short, const std::string& source,
                              bool expect_sfv = true);

}  // namespace split_testing

#endif  // VELMORA_SPLIT_TEST_SUPPORT_H
