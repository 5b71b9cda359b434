#include "packets.h"

#include <string.h>

namespace par2 {
namespace packets {

const unsigned char kMagic[8] = {'P', 'A', 'R', '2', 0, 'P', 'K', 'T'};
const unsigned char kTypeMain[16] = {'P', 'A', 'R', ' ', '2', '.', '0', 0, 'M', 'a', 'i', 'n', 0, 0, 0, 0};
const unsigned char kTypeFileDesc[16] = {'P', 'A', 'R', ' ', '2', '.', '0', 0,
                                         'F', 'i', 'l', 'e', 'D', 'e', 's', 'c'};
const unsigned char kTypeSliceChecksums[16] = {'P', 'A', 'R', ' ', '2', '.', '0', 0,
                                               'I', 'F', 'S', 'C', 0, 0, 0, 0};
const unsigned char kTypeRecoverySlice[16] = {'P', 'A', 'R', ' ', '2', '.', '0', 0,
                                              'R', 'e', 'c', 'v', 'S', 'l', 'i', 'c'};
const unsigned char kTypeCreator[16] = {'P', 'A', 'R', ' ', '2', '.', '0', 0,
                                        'C', 'r', 'e', 'a', 't', 'o', 'r', 0};

void put32(Bytes& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<unsigned char>(v >> (8 * i)));
}
void put64(Bytes& out, uint64_t v) {
  for (int i = 0; i < 8; ++i) out.push_back(static_cast<unsigned char>(v >> (8 * i)));
}
uint32_t get32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
uint64_t get64(const unsigned char* p) { return get32(p) | static_cast<uint64_t>(get32(p + 4)) << 32; }

static void put(Bytes& out, const void* p, size_t n) {
  const unsigned char* b = static_cast<const unsigned char*>(p);
  out.insert(out.end(), b, b + n);
}
static void put(Bytes& out, const Md5Digest& d) { put(out, d.bytes, 16); }
static void pad4(Bytes& out) {
  while (out.size() % 4 != 0) out.push_back(0);
}

bool parse_header(const unsigned char* p, Header* out) {
  if (memcmp(p, kMagic, 8) != 0) return false;
  out->length = get64(p + 8);
  if (out->length < kHeaderSize || out->length % 4 != 0) return false;
  memcpy(out->hash.bytes, p + 16, 16);
  memcpy(out->set_id.bytes, p + 32, 16);
  memcpy(out->type, p + 48, 16);
  return true;
}

Md5 hash_start(const Md5Digest& set_id, const unsigned char type[16]) {
  Md5 md5;
  md5.update(set_id.bytes, 16);
  md5.update(type, 16);
  return md5;
}

Bytes header_for(const Md5Digest& set_id, const unsigned char type[16], const Md5& hash,
                 uint64_t body_length) {
  Bytes out;
  put(out, kMagic, 8);
  put64(out, kHeaderSize + body_length);
  put(out, hash.finish());
  put(out, set_id);
  put(out, type, 16);
  return out;
}

Bytes packet(const Md5Digest& set_id, const unsigned char type[16], const Bytes& body) {
  Md5 md5 = hash_start(set_id, type);
  md5.update(body.data(), body.size());
  Bytes out = header_for(set_id, type, md5, body.size());
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

bool id_less(const Md5Digest& a, const Md5Digest& b) {
  for (int i = 15; i >= 0; --i)
    if (a.bytes[i] != b.bytes[i]) return a.bytes[i] < b.bytes[i];
  return false;
}
bool same(const Md5Digest& a, const Md5Digest& b) { return memcmp(a.bytes, b.bytes, 16) == 0; }

bool bare_name(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (unsigned char c : name)
    if (c < 0x20 || c == '/' || c == '\\' || c == ':') return false;
  return true;
}

Md5Digest file_id(const Md5Digest& hash16k, uint64_t length, const std::string& name) {
  Bytes b;
  put(b, hash16k);
  put64(b, length);
  put(b, name.data(), name.size());
  return Md5::of(b.data(), b.size());
}

Bytes main_body(uint64_t slice_size, const std::vector<Md5Digest>& sorted_ids) {
  Bytes b;
  put64(b, slice_size);
  put32(b, static_cast<uint32_t>(sorted_ids.size()));
  for (const Md5Digest& id : sorted_ids) put(b, id);
  return b;
}

Bytes file_desc_body(const Md5Digest& id, const Md5Digest& hash, const Md5Digest& hash16k,
                     uint64_t length, const std::string& name) {
  Bytes b;
  put(b, id);
  put(b, hash);
  put(b, hash16k);
  put64(b, length);
  put(b, name.data(), name.size());
  pad4(b);
  return b;
}

Bytes slice_checksums_body(const Md5Digest& id, const std::vector<SliceChecksum>& slices) {
  Bytes b;
  put(b, id);
  for (const SliceChecksum& s : slices) {
    put(b, s.md5);
    put32(b, s.crc);
  }
  return b;
}

Bytes creator_body(const std::string& text) {
  Bytes b;
  put(b, text.data(), text.size());
  pad4(b);
  return b;
}

}  // namespace packets
}  // namespace par2
