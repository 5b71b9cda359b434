#include "raw_cabinet.h"

#include <algorithm>

namespace raw_cabinet {
namespace {

void put(std::string& out, uint32_t value, int width) {
  for (int i = 0; i < width; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

uint32_t get(const std::string& in, std::size_t at, int width) {
  uint32_t value = 0;
  for (int i = 0; i < width; ++i)
    value |= static_cast<uint32_t>(static_cast<unsigned char>(in[at + i])) << (8 * i);
  return value;
}

// The cabinet checksum: the data XORed as little-endian 32-bit words, its
// tail taken most significant byte first.
uint32_t checksum(const unsigned char* p, std::size_t n, uint32_t sum) {
  for (; n >= 4; n -= 4, p += 4) sum ^= p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
  uint32_t tail = 0;
  for (std::size_t i = 0; i < n; ++i) tail |= static_cast<uint32_t>(p[i]) << (8 * (n - 1 - i));
  return sum ^ tail;
}

}  // namespace

std::string build(const std::vector<Member>& members) {
  std::string data;
  std::string files;
  for (const Member& m : members) {
    put(files, static_cast<uint32_t>(m.bytes.size()), 4);
    put(files, static_cast<uint32_t>(data.size()), 4);
    put(files, 0, 2);                      // folder 0
    put(files, (26 << 9) | (1 << 5) | 1, 2);  // 1 January 2006
    put(files, 0, 2);
    put(files, 0x20, 2);                   // archive
    files += m.name + '\0';
    data += m.bytes;
  }
  std::string blocks;
  std::size_t count = 0;
  for (std::size_t at = 0; at < data.size(); at += 32768, ++count) {
    std::string chunk = data.substr(at, 32768);
    std::string sizes;
    put(sizes, static_cast<uint32_t>(chunk.size()), 2);
    put(sizes, static_cast<uint32_t>(chunk.size()), 2);
    uint32_t sum = checksum(reinterpret_cast<const unsigned char*>(chunk.data()), chunk.size(), 0);
    sum = checksum(reinterpret_cast<const unsigned char*>(sizes.data()), 4, sum);
    put(blocks, sum, 4);
    blocks += sizes + chunk;
  }
  const std::size_t files_at = 36 + 8;
  std::string cab = "MSCF";
  put(cab, 0, 4);
  put(cab, static_cast<uint32_t>(files_at + files.size() + blocks.size()), 4);
  put(cab, 0, 4);
  put(cab, static_cast<uint32_t>(files_at), 4);
  put(cab, 0, 4);
  cab += '\3';
  cab += '\1';
  put(cab, 1, 2);  // folders
  put(cab, static_cast<uint32_t>(members.size()), 2);
  put(cab, 0, 2);  // flags
  put(cab, 0x1234, 2);
  put(cab, 0, 2);
  put(cab, static_cast<uint32_t>(files_at + files.size()), 4);  // first data block
  put(cab, static_cast<uint32_t>(count), 2);
  put(cab, 0, 2);  // no compression
  return cab + files + blocks;
}

Layout parse(const std::string& cab) {
  Layout layout;
  auto fits = [&](std::size_t at, std::size_t width) { return at + width <= cab.size(); };
  auto field = [&](std::size_t at, std::size_t width) {
    if (fits(at, width)) layout.fields.push_back({at, width});
  };
  static const int header[] = {4, 4, 4, 4, 4, 4, 1, 1, 2, 2, 2, 2, 2};
  std::size_t at = 0;
  layout.boundaries.push_back(0);
  for (int width : header) field(at, width), at += width;
  if (!fits(0, 36)) return layout;
  uint32_t folders = get(cab, 26, 2), files = get(cab, 28, 2), flags = get(cab, 30, 2);
  uint32_t folder_reserve = 0, data_reserve = 0;
  if (flags & 4 && fits(36, 4)) {
    field(36, 2), field(38, 1), field(39, 1);
    folder_reserve = get(cab, 38, 1);
    data_reserve = get(cab, 39, 1);
    at = 40 + get(cab, 36, 2);
  }
  std::vector<uint32_t> data_starts, block_counts;
  for (uint32_t f = 0; f < folders && fits(at, 8) && f < 64; ++f) {
    layout.boundaries.push_back(at);
    field(at, 4), field(at + 4, 2), field(at + 6, 2);
    data_starts.push_back(get(cab, at, 4));
    block_counts.push_back(get(cab, at + 4, 2));
    at += 8 + folder_reserve;
  }
  // The files are read where the header's offset says, and also right after
  // the folders, where an engine that ignores that offset reads them.
  auto read_files = [&](std::size_t from, bool with_fields) {
    at = from;
    for (uint32_t f = 0; f < files && fits(at, 16) && f < 4096; ++f) {
      if (with_fields) layout.boundaries.push_back(at);
      for (int width : {4, 4, 2, 2, 2, 2}) {
        if (with_fields) field(at, width);
        at += width;
      }
      std::size_t end = cab.find('\0', at);
      if (end == std::string::npos) end = cab.size();
      if (with_fields) layout.names.push_back({at, end - at});
      layout.stored.push_back(cab.substr(at, end - at));
      layout.sizes.push_back(get(cab, at - 16, 4));
      at = end + 1;
    }
  };
  std::size_t after_folders = at;
  read_files(get(cab, 16, 4), true);
  if (after_folders != get(cab, 16, 4)) read_files(after_folders, false);
  for (std::size_t f = 0; f < data_starts.size(); ++f) {
    at = data_starts[f];
    for (uint32_t b = 0; b < block_counts[f] && b < 64 && fits(at, 8); ++b) {
      layout.boundaries.push_back(at);
      if (b < 4) field(at, 4), field(at + 4, 2), field(at + 6, 2);
      at += 8 + data_reserve + get(cab, at + 4, 2);
    }
  }
  layout.boundaries.push_back(cab.size());
  std::sort(layout.boundaries.begin(), layout.boundaries.end());
  return layout;
}

}  // namespace raw_cabinet
