// PAR 2.0 packets: the header every packet starts with, the bodies of the
// five packets this component writes, and the order of file IDs (internal
// to par2/). All integers little-endian; every packet a multiple of 4 long.
#ifndef VELMORA_PAR2_PACKETS_H
#define VELMORA_PAR2_PACKETS_H

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "crc32.h"
#include "md5.h"

namespace par2 {
namespace packets {

using Bytes = std::vector<unsigned char>;

constexpr size_t kHeaderSize = 64;
extern const unsigned char kMagic[8];
// The 16-byte packet types.
extern const unsigned char kTypeMain[16];
extern const unsigned char kTypeFileDesc[16];
extern const unsigned char kTypeSliceChecksums[16];
extern const unsigned char kTypeRecoverySlice[16];
extern const unsigned char kTypeCreator[16];

constexpr size_t kHead16k = 16384;  // the File Description's short hash covers this much
constexpr size_t kSliceChecksumEntry = 20;  // MD5 and CRC-32 per slice

struct Header {
  uint64_t length;  // of the whole packet, header included
  Md5Digest hash;   // MD5 of bytes 32 to the end
  Md5Digest set_id;
  unsigned char type[16];
};

void put32(Bytes& out, uint32_t v);
void put64(Bytes& out, uint64_t v);
uint32_t get32(const unsigned char* p);
uint64_t get64(const unsigned char* p);

// Parses 64 bytes that begin with the magic; false when they do not or the
// length cannot be a packet's.
bool parse_header(const unsigned char* p, Header* out);
// A packet's hash covers set ID, type and body: hash_start gives the state
// after the first two, the caller streams the body into it, and header_for
// makes the 64-byte header from it.
Md5 hash_start(const Md5Digest& set_id, const unsigned char type[16]);
Bytes header_for(const Md5Digest& set_id, const unsigned char type[16], const Md5& hash,
                 uint64_t body_length);
// A whole packet.
Bytes packet(const Md5Digest& set_id, const unsigned char type[16], const Bytes& body);

// Ordered as little-endian 128-bit numbers (byte 15 weighs most).
bool id_less(const Md5Digest& a, const Md5Digest& b);
bool same(const Md5Digest& a, const Md5Digest& b);

// A bare file name: not empty, not "." or "..", no separator or drive
// colon, no control character. Names in a set come from outside; only such
// names go to the caller's I/O table, which places them itself.
bool bare_name(const std::string& name);

Md5Digest file_id(const Md5Digest& hash16k, uint64_t length, const std::string& name);
Bytes main_body(uint64_t slice_size, const std::vector<Md5Digest>& sorted_ids);
Bytes file_desc_body(const Md5Digest& id, const Md5Digest& hash, const Md5Digest& hash16k,
                     uint64_t length, const std::string& name);
struct SliceChecksum {
  Md5Digest md5;
  uint32_t crc;
};
Bytes slice_checksums_body(const Md5Digest& id, const std::vector<SliceChecksum>& slices);
Bytes creator_body(const std::string& text);

}  // namespace packets
}  // namespace par2

#endif
