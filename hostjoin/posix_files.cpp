#include "posix_files.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <vector>

namespace hostjoin {

Fd& Fd::operator=(Fd&& other) noexcept {
  if (this != &other) {
    close();
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

int Fd::close() {
  if (fd_ < 0) return 0;
  int result = ::close(fd_);
  fd_ = -1;
  // After EINTR the descriptor is gone on Linux; the data may not be stored.
  return result == 0 ? 0 : errno;
}

int open_regular(const std::string& path, struct stat& st) {
  if (stat(path.c_str(), &st) != 0) return -1;
  if (!S_ISREG(st.st_mode)) return kNotRegular;
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return -1;
  struct stat now;
  if (fstat(fd, &now) != 0) {
    int error = errno;
    ::close(fd);
    errno = error;
    return -1;
  }
  if (!S_ISREG(now.st_mode)) {
    ::close(fd);
    return kNotRegular;
  }
  st = now;
  return fd;
}

namespace {
// Reads with `step` (a read or a positioned read of `left` bytes after
// `done`) until `length` bytes are in, the file ends, or a read fails.
template <typename Step>
ssize_t read_all(void* data, size_t length, Step step) {
  auto* at = static_cast<char*>(data);
  size_t done = 0;
  while (done < length) {
    ssize_t got = step(at + done, length - done, done);
    if (got < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (got == 0) break;
    done += static_cast<size_t>(got);
  }
  return static_cast<ssize_t>(done);
}
}  // namespace

ssize_t read_fully(int fd, void* data, size_t length) {
  return read_all(data, length, [fd](char* to, size_t left, size_t) { return ::read(fd, to, left); });
}

ssize_t read_fully_at(int fd, void* data, size_t length, off_t offset) {
  return read_all(data, length, [fd, offset](char* to, size_t left, size_t done) {
    return ::pread(fd, to, left, offset + static_cast<off_t>(done));
  });
}

bool write_fully(int fd, const void* data, size_t length) {
  const auto* at = static_cast<const char*>(data);
  size_t done = 0;
  while (done < length) {
    ssize_t put = ::write(fd, at + done, length - done);
    if (put < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (put == 0) {
      errno = ENOSPC;
      return false;
    }
    done += static_cast<size_t>(put);
  }
  return true;
}

std::string absolute_path(const std::string& path) {
  if (!path.empty() && path[0] == '/') return path;
  std::vector<char> here(4096);
  while (getcwd(here.data(), here.size()) == nullptr) {
    if (errno != ERANGE) return path;  // no current directory to name: keep it relative
    here.resize(here.size() * 2);
  }
  std::string result = here.data();
  if (result.empty() || result.back() != '/') result += '/';
  return result + path;
}

std::string base_name(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string join_path(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  return dir.back() == '/' ? dir + name : dir + "/" + name;
}

std::string full_path(const std::string& path) {
  const std::string whole = absolute_path(path);
  std::string result;     // "" stands for the root
  bool exists = true;     // whether `result` is there to be asked about
  for (size_t start = 0; start <= whole.size();) {
    size_t end = whole.find('/', start);
    if (end == std::string::npos) end = whole.size();
    const std::string level = whole.substr(start, end - start);
    start = end + 1;
    if (level.empty() || level == ".") continue;
    if (level != "..") {
      result += "/" + level;
      struct stat st;
      exists = exists && stat(result.c_str(), &st) == 0;
      continue;
    }
    char* real = exists ? realpath((result + "/..").c_str(), nullptr) : nullptr;
    if (real != nullptr) {
      result = std::strcmp(real, "/") == 0 ? std::string() : std::string(real);
      free(real);
    } else {
      result = result.substr(0, result.rfind('/') == std::string::npos ? 0 : result.rfind('/'));
      struct stat st;
      exists = result.empty() || stat(result.c_str(), &st) == 0;
    }
  }
  return result.empty() ? "/" : result;
}

int make_directories(const std::string& path) {
  for (size_t end = 1; end <= path.size(); ++end) {
    if (end < path.size() && path[end] != '/') continue;
    std::string level = path.substr(0, end);
    if (mkdir(level.c_str(), 0777) == 0) continue;
    int error = errno;
    struct stat st;
    if (stat(level.c_str(), &st) != 0) return error;
    if (!S_ISDIR(st.st_mode)) return ENOTDIR;
  }
  return 0;
}

int rename_no_replace(const std::string& from, const std::string& to) {
#ifdef RENAME_NOREPLACE
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return errno;
#endif
  // A hard link is refused when the name exists; then the old name goes.
  if (link(from.c_str(), to.c_str()) == 0) {
    unlink(from.c_str());
    return 0;
  }
  if (errno == EEXIST) return EEXIST;
  // A file system without hard links: look, then rename.
  struct stat st;
  if (lstat(to.c_str(), &st) == 0) return EEXIST;
  return rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

std::string error_text(int error) { return std::strerror(error); }

mode_t new_file_mode() {
  mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

}  // namespace hostjoin
