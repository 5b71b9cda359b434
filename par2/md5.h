// MD5, the one implementation the PAR2 component uses on every platform.
//
// PAR2 names packets, files and slices by their MD5, so both builds must
// compute exactly the same bytes. One small source, compiled for Windows and
// for Linux alike, gives that without a dependency on CryptoAPI or a library
// that one side lacks, and without a call through the operating system per
// block (the hashes ride along with a copy and must keep up with it).
#ifndef VELMORA_PAR2_MD5_H
#define VELMORA_PAR2_MD5_H

#include <stddef.h>
#include <stdint.h>

namespace par2 {

struct Md5Digest {
  unsigned char bytes[16];
};

// Streaming MD5: update with the bytes in any number of calls, then finish.
// A copy of the state is a snapshot: finishing the copy leaves the original
// free to go on (the writer hashes a file and the file padded to its slice
// from one pass).
class Md5 {
 public:
  Md5() { reset(); }
  void reset();
  void update(const void* data, size_t length);
  // Appends `count` zero bytes.
  void update_zeros(uint64_t count);
  Md5Digest finish() const;
  uint64_t length() const { return length_; }

  static Md5Digest of(const void* data, size_t length);

 private:
  void blocks(const unsigned char* data, size_t count);
  uint32_t state_[4];
  uint64_t length_;
  unsigned char buffer_[64];
};

}  // namespace par2

#endif
