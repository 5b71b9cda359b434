#include "data_blocks.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "owned.h"
#include "unique_handle.h"

namespace vornex {

using winsup::UniqueFile;
namespace {

// Header fields read here: cFolders at 26, flags at 30; with the reserve flag
// (4) the reserve sizes follow the 36-byte header.
constexpr DWORD kHeaderBytes = 36;
constexpr uint16_t kReservePresent = 4;

uint32_t le(const unsigned char* p, int width) {
  uint32_t value = 0;
  for (int i = 0; i < width; ++i) value |= static_cast<uint32_t>(p[i]) << (8 * i);
  return value;
}

// Reads a cabinet through a window of 1 MiB: the blocks lie one after
// another, so walking them costs one system call per window, not two per
// block (system calls are dear under Wine).
class WindowedReader {
 public:
  explicit WindowedReader(HANDLE file)
      : file_(file), window_(static_cast<unsigned char*>(reallocate(nullptr, kWindowBytes))) {}
  ~WindowedReader() { std::free(window_); }
  WindowedReader(const WindowedReader&) = delete;
  WindowedReader& operator=(const WindowedReader&) = delete;
  // False when no memory was left for the window.
  bool ready() const { return window_ != nullptr; }
  // The `count` bytes at `offset`, valid until the next call; null when the
  // file ends before.
  const unsigned char* view(uint32_t offset, uint32_t count) {
    if (!window_ || count > kWindowBytes) return nullptr;
    if (offset < start_ || offset + static_cast<uint64_t>(count) > start_ + filled_) {
      DWORD done = 0;
      if (SetFilePointer(file_, static_cast<LONG>(offset), nullptr, FILE_BEGIN) != offset ||
          !ReadFile(file_, window_, kWindowBytes, &done, nullptr))
        return nullptr;
      start_ = offset;
      filled_ = done;
      if (count > filled_) return nullptr;
    }
    return window_ + (offset - start_);
  }
  bool read(uint32_t offset, void* out, uint32_t count) {
    const unsigned char* bytes = view(offset, count);
    if (bytes) std::memcpy(out, bytes, count);
    return bytes != nullptr;
  }

 private:
  static constexpr DWORD kWindowBytes = 1 << 20;
  HANDLE file_;
  unsigned char* window_;
  uint32_t start_ = 0;
  uint32_t filled_ = 0;
};

}  // namespace

uint32_t cabinet_checksum(const unsigned char* p, std::size_t n, uint32_t sum) {
  for (; n >= 4; n -= 4, p += 4) {
    uint32_t word;  // the machine is little-endian, as the format
    std::memcpy(&word, p, 4);
    sum ^= word;
  }
  uint32_t tail = 0;
  for (std::size_t i = 0; i < n; ++i) tail |= static_cast<uint32_t>(p[i]) << (8 * (n - 1 - i));
  return sum ^ tail;
}

bool data_blocks_match_checksums(const char* path) {
  UniqueFile file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) return true;
  WindowedReader in(file.get());
  if (!in.ready()) return false;  // unchecked data is never expanded
  unsigned char header[kHeaderBytes + 4];
  if (!in.read(0, header, kHeaderBytes)) return true;
  uint32_t folders = le(header + 26, 2);
  uint32_t folder_at = kHeaderBytes, folder_reserve = 0, data_reserve = 0;
  if (le(header + 30, 2) & kReservePresent) {
    if (!in.read(kHeaderBytes, header + kHeaderBytes, 4)) return true;
    folder_at += 4 + le(header + kHeaderBytes, 2);
    folder_reserve = header[kHeaderBytes + 2];
    data_reserve = header[kHeaderBytes + 3];
  }
  for (uint32_t f = 0; f < folders; ++f) {
    unsigned char folder[8];
    if (!in.read(folder_at + f * (8 + folder_reserve), folder, 8)) return true;
    uint32_t at = le(folder, 4), blocks = le(folder + 4, 2);
    for (uint32_t b = 0; b < blocks; ++b) {
      DWORD head = 8 + data_reserve;
      unsigned char block_head[8 + 255];
      if (!in.read(at, block_head, head)) return true;
      DWORD data = le(block_head + 4, 2);
      const unsigned char* bytes = in.view(at + head, data);
      if (!bytes) return true;
      uint32_t stored = le(block_head, 4);
      uint32_t sum = cabinet_checksum(block_head + 4, head - 4, cabinet_checksum(bytes, data, 0));
      if (stored != 0 && stored != sum) return false;
      at += head + data;
    }
  }
  return true;
}

}  // namespace vornex
