// A check of a cabinet's data blocks against their checksums, made before the
// engine expands anything. Wine's engine expands MSZIP data without looking
// at the checksums, and damaged data can make it write past its own buffers
// (a fault inside cabinet.dll); a block that does not match its checksum is
// damaged, so such a cabinet is not handed to the engine to expand.
#ifndef VORNEX_DATA_BLOCKS_H
#define VORNEX_DATA_BLOCKS_H

#include <cstddef>
#include <cstdint>

namespace vornex {

// The cabinet checksum: `bytes` XORed as little-endian 32-bit words into
// `seed`, a tail of one to three bytes taken most significant byte first.
uint32_t cabinet_checksum(const unsigned char* bytes, std::size_t count, uint32_t seed);

// False when a data block of the cabinet at `path` carries a checksum (not 0)
// that its bytes do not give. What cannot be read (a cut-off cabinet, counts
// that run past the end) is left to the engine, which reports it as an error.
// False as well when no memory was left to read the blocks with.
bool data_blocks_match_checksums(const char* path);

}  // namespace vornex

#endif  // VORNEX_DATA_BLOCKS_H
