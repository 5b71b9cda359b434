#include "set_library.h"

#include <memory>
#include <new>

#include "crc32_fast.h"
#include "set_integrity.h"
#include "split_set_format.h"
#include "temp_file.h"
#include "unique_handle.h"

namespace velmora {

using winsup::UniqueFile;

namespace {

constexpr DWORD kCopyChunk = 64 * 1024;

std::string folder_part(const std::string& path) {
  size_t last = path.find_last_of("\\/");
  return last == std::string::npos ? std::string() : path.substr(0, last);
}

// The name `path` has in its folder (the case it was written in), or empty
// when there is no file of that name.
std::string name_there(const std::string& path) {
  WIN32_FIND_DATAA found;
  if (!winsup::UniqueFind(FindFirstFileA(path.c_str(), &found))) return "";
  if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return "";
  return found.cFileName;
}


// All of the file at `path` in `bytes`, when it can be read whole and holds
// 1 to kLibraryMostBytes bytes; otherwise `bytes` stays empty.
void read_small_file(const std::string& path, std::string& bytes) {
  bytes.clear();
  UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  LARGE_INTEGER size;
  if (!file || !GetFileSizeEx(file.get(), &size) || size.QuadPart <= 0 ||
      size.QuadPart > kLibraryMostBytes)
    return;
  // One byte more than the size asks the file to end where it said it does.
  bytes.resize(static_cast<size_t>(size.QuadPart) + 1);
  DWORD got = 0;
  const bool whole = ReadFile(file.get(), &bytes[0], static_cast<DWORD>(bytes.size()), &got,
                              nullptr) && got == size.QuadPart;
  bytes.resize(whole ? got : 0);
}

// Copies all of `from` into `to` in chunks, every count checked; the size
// read must be the size the file had when it was opened. The bytes written
// go to `written` too when they are no more than kLibraryMostBytes.
SplitResult copy_whole(HANDLE from, HANDLE to, std::string& written) {
  LARGE_INTEGER size;
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[kCopyChunk]);
  if (!buffer) return kNoMemory;
  if (!GetFileSizeEx(from, &size)) return kFirstPieceReopen;
  const bool hold = size.QuadPart <= kLibraryMostBytes;
  written.clear();
  int64_t left = size.QuadPart;
  while (left > 0) {
    DWORD want = left < kCopyChunk ? static_cast<DWORD>(left) : kCopyChunk, got = 0, put = 0;
    if (!ReadFile(from, buffer.get(), want, &got, nullptr) || got != want) return kFirstPieceReopen;
    if (!WriteFile(to, buffer.get(), got, &put, nullptr) || put != got) return kPieceFailed;
    if (hold) written.append(buffer.get(), got);
    left -= got;
  }
  return FlushFileBuffers(to) ? kSplitDone : kPieceFailed;
}

}  // namespace

bool crc_of_file(const std::string& path, uint32_t& crc) {
  UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[kCopyChunk]);
  if (!file || !buffer) return false;
  crc = 0;
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file.get(), buffer.get(), kCopyChunk, &got, nullptr)) return false;
    if (got == 0) return true;
    crc = crc32_fast(crc, buffer.get(), got);
  }
}

SetLibrary::~SetLibrary() {
  if (!created_) return;
  UniqueFile file(CreateFileA(path_.c_str(), DELETE | FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr));
  if (!file || !winsup::identity_of(file.get()).same_file(identity_)) return;
  FILE_DISPOSITION_INFO disposition{TRUE};
  SetFileInformationByHandle(file.get(), FileDispositionInfo, &disposition, sizeof disposition);
}

SplitResult SetLibrary::place(const std::string& target, const char* own_program) {
  std::string folder = target;
  while (!folder.empty() && folder.back() == '\\') folder.pop_back();  // a root ends in one
  const std::string destination = folder + "\\" + kLibraryName;
  name_ = name_there(destination);
  if (!name_.empty()) {
    path_ = destination;  // kept as it is
    read_small_file(destination, bytes_);
    return kSplitDone;
  }
  // The library is read from beside the program (kFirstPieceReopen names a
  // source of the set's own that cannot be read, as for the joiner image).
  const std::string own_folder = folder_part(own_program);
  if (own_folder.empty()) return kFirstPieceReopen;
  UniqueFile own(CreateFileA((own_folder + "\\" + kLibraryName).c_str(), GENERIC_READ,
                             FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN,
                             nullptr));
  if (!own) return kFirstPieceReopen;
  // A temporary name of the library's own ("vl00.tmp" to "vlFF.tmp"),
  // created exclusively, so that no file that was there is touched.
  char temporary[MAX_PATH];
  UniqueFile copy(winsup::reserve_temp_file((folder + "\\").c_str(), "vl", 2, GENERIC_WRITE, temporary,
                                            sizeof temporary));
  if (!copy) return kPieceFailed;
  SplitResult copied = copy_whole(own.get(), copy.get(), bytes_);
  const winsup::FileIdentity identity = winsup::identity_of(copy.get());
  if (copied == kSplitDone && !identity.known) copied = kPieceFailed;
  copy.reset();
  // Renamed without replacing: a library that appeared meanwhile is kept.
  bool appeared = false;
  if (copied == kSplitDone && !MoveFileExA(temporary, destination.c_str(), 0)) {
    const DWORD error = GetLastError();
    appeared = error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS;
    copied = kPieceFailed;
  }
  if (copied != kSplitDone) {
    DeleteFileA(temporary);
    bytes_.clear();
    if (!appeared) return copied;
    name_ = name_there(destination);  // the one that appeared, as it is
    if (!name_.empty()) read_small_file(destination, bytes_);
  } else {
    created_ = true;
    identity_ = identity;
    name_ = kLibraryName;
  }
  path_ = destination;
  return kSplitDone;
}

std::string SetLibrary::checksum_line() const {
  if (path_.empty()) return "";
  const std::string name = name_there(path_);
  uint32_t crc = 0;
  if (name.empty() || !crc_of_file(path_, crc)) return "";
  char line[MAX_PATH + 16];
  splitset::sfv_line(line, name.c_str(), crc);
  return line;
}

std::string library_beside(const std::string& first_piece) {
  return folder_part(first_piece) + "\\" + kLibraryName;
}

}  // namespace velmora
