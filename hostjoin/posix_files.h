// The POSIX file operations velmora-join needs: a descriptor that closes
// itself, whole reads and writes that check every byte count, file identity,
// directory levels and a rename that never replaces what is there.
#ifndef VELMORA_HOSTJOIN_POSIX_FILES_H
#define VELMORA_HOSTJOIN_POSIX_FILES_H

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <string>

namespace hostjoin {

// A file descriptor closed at the end of its scope.
class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() { close(); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  Fd(Fd&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  Fd& operator=(Fd&& other) noexcept;
  bool is_open() const { return fd_ >= 0; }
  int get() const { return fd_; }
  // Closes now; 0, or the errno of a failed close (a write the system had
  // not yet stored can fail only here).
  int close();

 private:
  int fd_ = -1;
};

// Which file a path or descriptor reaches, whatever it is called.
struct FileId {
  dev_t device = 0;
  ino_t inode = 0;
  bool operator==(const FileId& other) const {
    return device == other.device && inode == other.inode;
  }
};

// What open_regular returns for a path that is there but is no regular file
// (a FIFO, a device, a directory): nothing was opened.
constexpr int kNotRegular = -2;

// Opens an existing regular file for reading and fills `st`. Anything else
// is refused before it is opened, and the open never blocks (a FIFO put in
// its place meanwhile is caught on the descriptor). kNotRegular, or -1 with
// errno set.
int open_regular(const std::string& path, struct stat& st);

// Reads up to `length` bytes in sequence, retrying interrupted and partial
// reads; fewer only at the end of the file. -1 with errno set on failure.
ssize_t read_fully(int fd, void* data, size_t length);
// The same at `offset`, without moving the file position.
ssize_t read_fully_at(int fd, void* data, size_t length, off_t offset);
// Writes all `length` bytes; false with errno set (ENOSPC when the device
// took fewer bytes without saying why).
bool write_fully(int fd, const void* data, size_t length);

// `path` joined to the current directory when it is relative.
std::string absolute_path(const std::string& path);
// The part of `path` after its last '/'.
std::string base_name(const std::string& path);
// `dir` + "/" + `name`, or `name` alone when `dir` is empty (the current directory).
std::string join_path(const std::string& dir, const std::string& name);

// `path` made absolute with its "." and ".." levels resolved: through the
// file system where a level exists (a symbolic link leads where it points),
// by the spelling where it does not, so that "stray/../real" names "real"
// and no level "stray" is ever needed.
std::string full_path(const std::string& path);

// Creates every missing level of `path`; 0, or the errno of the level that
// could not be made (ENOTDIR when a level exists and is no directory).
int make_directories(const std::string& path);

// Renames `from` to `to` unless `to` exists: 0, EEXIST when it does, or the
// errno of the failure. Atomic where the system offers it (renameat2 with
// RENAME_NOREPLACE, else a hard link); otherwise checked just before.
int rename_no_replace(const std::string& from, const std::string& to);

// The system's text for an errno value.
std::string error_text(int error);

// The permission bits a new file gets here: 0666 less the umask.
mode_t new_file_mode();

}  // namespace hostjoin

#endif  // VELMORA_HOSTJOIN_POSIX_FILES_H
