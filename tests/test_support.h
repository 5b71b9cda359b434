// Helpers shared by the Windows-side tests: scratch directories, whole-file
// reads and writes, and where the Linux-side test data lies.
#ifndef VELMORA_TEST_SUPPORT_H
#define VELMORA_TEST_SUPPORT_H

#include <windows.h>

#include <map>
#include <string>
#include <vector>

namespace testing_support {

// The Windows path of the Linux-side test data directory (VELMORA_TESTDATA).
std::string testdata(const std::string& name = "");

// The Windows path of build/bin (VELMORA_BIN), where the deliverables lie.
std::string bin_dir();

// A new empty directory under the temporary directory, made current for its
// lifetime; the previous current directory comes back and the tree is removed
// at the end.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

 private:
  std::string path_;
  std::string previous_;
};

bool file_exists(const std::string& path);
bool dir_exists(const std::string& path);
std::string read_file(const std::string& path);  // the bytes, or "" when unreadable
bool write_file(const std::string& path, const std::string& bytes);
void remove_tree(const std::string& path);
// The names of the plain files (not directories) in `dir`, in listing order.
std::vector<std::string> files_in(const std::string& dir);
// Every file and folder below `dir` by its relative path ("sub\\" for a
// folder, whose value is "<dir>"), with each file's bytes.
std::map<std::string, std::string> list_tree(const std::string& dir);
// The temporary directory, with its trailing backslash.
std::string temp_dir();
// Everything below `dir`, one entry per file ("relative\path size") and per
// directory ("relative\path\"), sorted; entries under a path of `skip`
// (relative to dir) are left out.
std::vector<std::string> tree_listing(const std::string& dir,
                                      const std::vector<std::string>& skip = {});
// Deterministic pseudo-random bytes.
std::string pattern_bytes(size_t size, unsigned seed);

}  // namespace testing_support

#endif  // VELMORA_TEST_SUPPORT_H
