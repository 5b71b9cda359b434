#include "folder_par2_io.h"

#include <windows.h>

#include <memory>
#include <string>
#include <utility>

#include "set_finder.h"
#include "temp_file.h"
#include "unique_handle.h"

namespace velmora {

namespace {

struct Output {
  HANDLE file;
  std::string temporary, name;
};

FolderPar2Io& self(void* context) { return *static_cast<FolderPar2Io*>(context); }

void* open_read(void* context, const char* name) {
  // Shared for deletion too: a damaged file is renamed aside while the
  // repairer still reads its surviving slices.
  HANDLE file = CreateFileA(self(context).path(name).c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  return file == INVALID_HANDLE_VALUE ? nullptr : file;
}

int64_t read_file(void*, void* file, void* buffer, size_t length) {
  size_t done = 0;
  while (done < length) {
    DWORD want = length - done > (1u << 30) ? (1u << 30) : static_cast<DWORD>(length - done), got = 0;
    if (!ReadFile(static_cast<HANDLE>(file), static_cast<char*>(buffer) + done, want, &got, nullptr)) return -1;
    if (got == 0) break;
    done += got;
  }
  return static_cast<int64_t>(done);
}

int seek_file(void*, void* file, uint64_t offset) {
  LARGE_INTEGER at;
  at.QuadPart = static_cast<LONGLONG>(offset);
  return SetFilePointerEx(static_cast<HANDLE>(file), at, nullptr, FILE_BEGIN) ? 0 : -1;
}

void close_read(void*, void* file) { CloseHandle(static_cast<HANDLE>(file)); }

void* open_write(void* context, const char* name) {
  FolderPar2Io& io = self(context);
  if (par2::same_name(name, io.checksum_file)) {
    io.lines.push_back(io.path(name) + ": the checksum file is never written");
    return nullptr;
  }
  char temporary[MAX_PATH];
  HANDLE file = winsup::reserve_temp_file(io.path("").c_str(), "vrx", 4, GENERIC_WRITE, temporary, sizeof temporary);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  try {
    return new Output{file, temporary, io.path(name)};
  } catch (...) {
    CloseHandle(file);
    DeleteFileA(temporary);
    return nullptr;
  }
}

int write_file(void*, void* file, const void* data, size_t length) {
  const char* p = static_cast<const char*>(data);
  while (length > 0) {
    DWORD want = length > (1u << 30) ? (1u << 30) : static_cast<DWORD>(length), put = 0;
    if (!WriteFile(static_cast<Output*>(file)->file, p, want, &put, nullptr) || put == 0) return -1;
    p += put;
    length -= put;
  }
  return 0;
}

// A damaged file in the way goes aside under the first free name
// NAME.damaged, NAME.damaged1, ...; "" when none could be taken.
std::string move_aside(const std::string& name) {
  for (int n = 0; n < 1000; ++n) {
    std::string aside = name + ".damaged" + (n ? std::to_string(n) : std::string());
    if (MoveFileExA(name.c_str(), aside.c_str(), 0)) return aside;
    DWORD error = GetLastError();
    if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS) break;
  }
  return std::string();
}

int close_write(void* context, void* file, int keep) {
  std::unique_ptr<Output> out(static_cast<Output*>(file));
  const bool flushed = FlushFileBuffers(out->file) != 0;
  const bool closed = CloseHandle(out->file) != 0;
  if (!keep || !flushed || !closed) {
    DeleteFileA(out->temporary.c_str());
    return keep ? -1 : 0;
  }
  std::string aside;
  if (GetFileAttributesA(out->name.c_str()) != INVALID_FILE_ATTRIBUTES) {
    aside = move_aside(out->name);
    if (aside.empty()) {
      DeleteFileA(out->temporary.c_str());
      return -1;
    }
  }
  if (!MoveFileExA(out->temporary.c_str(), out->name.c_str(), 0)) {
    if (!aside.empty()) MoveFileExA(aside.c_str(), out->name.c_str(), 0);
    DeleteFileA(out->temporary.c_str());
    return -1;
  }
  if (!aside.empty()) self(context).lines.push_back(aside + ": the damaged file, kept");
  return 0;
}

void message(void* context, const char* text) { self(context).lines.push_back(text); }

}  // namespace

FolderPar2Io::FolderPar2Io(std::string folder_path, std::string checksum_name)
    : folder(std::move(folder_path)), checksum_file(std::move(checksum_name)) {}

par2::Io FolderPar2Io::table() {
  return par2::Io{this, open_read, read_file, seek_file, close_read, open_write, write_file, close_write, message};
}

std::vector<std::string> FolderPar2Io::list() const {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found;
  winsup::UniqueFind search(FindFirstFileA(path("*").c_str(), &found));
  if (!search) return names;
  do {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
  } while (FindNextFileA(search.get(), &found));
  return names;
}

}  // namespace velmora
