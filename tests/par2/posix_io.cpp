#include "posix_io.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

namespace {

struct In {
  int fd;
  bool bad_sector;
};

struct Out {
  int fd;
  std::string temp, name;
};

FolderIo& self(void* context) { return *static_cast<FolderIo*>(context); }

void* open_read(void* context, const char* name) {
  int fd = open((self(context).folder + "/" + name).c_str(), O_RDONLY);
  return fd < 0 ? nullptr : new In{fd, self(context).unreadable == name};
}
int64_t read_file(void*, void* file, void* buffer, size_t length) {
  In* in = static_cast<In*>(file);
  if (in->bad_sector && lseek(in->fd, 0, SEEK_CUR) + static_cast<off_t>(length) > 1024) return -1;
  return read(in->fd, buffer, length);
}
int seek_file(void*, void* file, uint64_t offset) {
  return lseek(static_cast<In*>(file)->fd, static_cast<off_t>(offset), SEEK_SET) < 0 ? -1 : 0;
}
void close_read(void*, void* file) {
  close(static_cast<In*>(file)->fd);
  delete static_cast<In*>(file);
}
void* open_write(void* context, const char* name) {
  std::string path = self(context).folder + "/" + name;
  int fd = open((path + ".par2tmp").c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
  return fd < 0 ? nullptr : new Out{fd, path + ".par2tmp", path};
}
int write_file(void* context, void* file, const void* data, size_t length) {
  FolderIo& io = self(context);
  if (io.writes_before_failure == 0) return -1;
  if (io.writes_before_failure > 0) --io.writes_before_failure;
  const char* p = static_cast<const char*>(data);
  while (length > 0) {
    ssize_t n = write(static_cast<Out*>(file)->fd, p, length);
    if (n <= 0) return -1;
    p += n;
    length -= static_cast<size_t>(n);
  }
  return 0;
}
int close_write(void*, void* file, int keep) {
  Out* out = static_cast<Out*>(file);
  int rc = close(out->fd);
  if (keep && rc == 0) rc = rename(out->temp.c_str(), out->name.c_str());
  else unlink(out->temp.c_str());
  delete out;
  return rc == 0 ? 0 : -1;
}
void message(void* context, const char* text) { self(context).messages.push_back(text); }

}  // namespace

par2::Io FolderIo::table() {
  return par2::Io{this, open_read, read_file, seek_file, close_read, open_write, write_file, close_write, message};
}
