// The streaming writer: one slice per file, recovery volumes 0 to N-1.
//
// How it works. The first pass sees each file's bytes once, as a copy passes
// them: it hashes them (whole file, first 16 KiB, CRC-32) and XORs them into
// volume 0, which needs no constants. Only when every file is whole are the
// slice size (the largest file, rounded up to 4) and the file IDs known; the
// slice checksums then come from snapshots of each file's hash state
// continued over its zero padding, and the IDs fix the set's order and with
// it each file's constant. The higher exponents need those constants, so
// they are made in the second pass: each file's bytes again, multiplied by
// c^e and added into volume e.
#include <string.h>

#include <algorithm>
#include <new>

#include "crc32.h"
#include "gf16.h"
#include "packets.h"
#include "par2.h"

namespace par2 {

using packets::Bytes;

const char* result_name(Result result) {
  switch (result) {
    case Result::ok: return "ok";
    case Result::bad_argument: return "bad argument";
    case Result::too_many_slices: return "too many slices";
    case Result::io_failed: return "I/O failed";
    case Result::no_recovery_set: return "no recovery set";
    case Result::not_enough_recovery: return "not enough recovery slices";
    case Result::output_mismatch: return "rebuilt file does not match";
    case Result::out_of_memory: return "out of memory";
  }
  return "?";
}

namespace {

const char kCreator[] = "Created by velmora";

uint32_t crc_zeros(uint32_t crc, uint64_t count) {
  static unsigned char zeros[4096];  // zeros, in .bss: no room in the program file
  for (; count > 0;) {
    size_t take = count < sizeof zeros ? static_cast<size_t>(count) : sizeof zeros;
    crc = splitset::crc32_update(splitset::shared_crc32_table(), crc, zeros, take);
    count -= take;
  }
  return crc;
}

struct SourceFile {
  std::string name;
  Md5 md5;
  Md5 head;
  uint32_t crc = 0;
  uint64_t length = 0;
  Md5Digest id{};
  uint16_t constant = 0;  // of its one slice (0: empty, not in the set)
  uint64_t encoded = 0;
  unsigned char pending = 0;  // the odd byte of a word split between encode calls
};

}  // namespace

struct Writer::State {
  enum Stage { idle, hashing, encoding, ready } stage = idle;
  std::vector<SourceFile> files;
  uint32_t volumes = 0;
  uint64_t slice = 0;
  std::vector<Bytes> recovery;  // by exponent
  Bytes critical;
  Md5Digest set_id{};
  std::string error;
  uint32_t factors_for = UINT32_MAX;  // the file `factors` belong to
  std::vector<Gf16Factor> factors;    // c^e for e = 1 .. volumes-1

  Result fail(Result r, std::string text) {
    error = std::move(text);
    return r;
  }
  void build_critical();
  void encode_words(SourceFile& f, uint32_t index, uint64_t offset, const unsigned char* p, size_t n);
  Result write_file(const Io& io, const std::string& name, const Bytes* head, const Bytes* data);
};

Writer::Writer() : s_(new State) {}
Writer::~Writer() = default;
const std::string& Writer::error_text() const { return s_->error; }
uint64_t Writer::slice_size() const { return s_->slice; }
Md5Digest Writer::set_id() const { return s_->set_id; }
bool Writer::needs_second_pass() const { return s_->volumes > 1; }

Result Writer::start(const std::vector<std::string>& names, uint32_t volumes) {
  try {
    State& s = *s_;
    s = State();
    if (names.empty() || volumes == 0 || volumes > kMaxRecoveryVolumes)
      return s.fail(Result::bad_argument, "no files or no volumes");
    if (names.size() > kMaxInputSlices)
      return s.fail(Result::too_many_slices, "more than 32768 files: PAR2 allows no more slices");
    for (const std::string& n : names)
      if (!packets::bare_name(n)) return s.fail(Result::bad_argument, "not a bare file name: " + n);
    s.files.resize(names.size());
    for (size_t i = 0; i < names.size(); ++i) s.files[i].name = names[i];
    s.volumes = volumes;
    s.recovery.resize(volumes);
    s.stage = State::hashing;
    return Result::ok;
  } catch (const std::bad_alloc&) {
    return s_->fail(Result::out_of_memory, "out of memory");
  }
}

Result Writer::hash(uint32_t index, const void* data, size_t length) {
  State& s = *s_;
  if (s.stage != State::hashing || index >= s.files.size())
    return s.fail(Result::bad_argument, "hash: not hashing or no such file");
  try {
    SourceFile& f = s.files[index];
    const unsigned char* p = static_cast<const unsigned char*>(data);
    f.md5.update(p, length);
    if (f.length < packets::kHead16k) {
      uint64_t room = packets::kHead16k - f.length;
      f.head.update(p, length < room ? length : static_cast<size_t>(room));
    }
    f.crc = splitset::crc32_update(splitset::shared_crc32_table(), f.crc, p, length);
    Bytes& zero = s.recovery[0];
    if (zero.size() < f.length + length) zero.resize(std::max<uint64_t>(f.length + length, zero.size() * 3 / 2));
    xor_region(zero.data() + f.length, p, length);
    f.length += length;
    return Result::ok;
  } catch (const std::bad_alloc&) {
    return s.fail(Result::out_of_memory, "out of memory for recovery volume 0");
  }
}

void Writer::State::build_critical() {
  // An empty file has no slice and nothing to recover: like par2cmdline,
  // the set leaves it out (par2 0.8.1 calls an empty file of a set damaged).
  std::vector<uint32_t> order;
  for (uint32_t i = 0; i < files.size(); ++i)
    if (files[i].length > 0) order.push_back(i);
  std::stable_sort(order.begin(), order.end(),
                   [&](uint32_t a, uint32_t b) { return packets::id_less(files[a].id, files[b].id); });
  std::vector<Md5Digest> ids;
  for (uint32_t i : order) ids.push_back(files[i].id);
  Bytes main = packets::main_body(slice, ids);
  set_id = Md5::of(main.data(), main.size());
  critical = packets::packet(set_id, packets::kTypeMain, main);
  uint32_t slice_index = 0;
  for (uint32_t i : order) {
    SourceFile& f = files[i];
    Md5Digest hash = f.md5.finish();
    Bytes desc = packets::file_desc_body(f.id, hash, f.head.finish(), f.length, f.name);
    Bytes p = packets::packet(set_id, packets::kTypeFileDesc, desc);
    critical.insert(critical.end(), p.begin(), p.end());
    Md5 padded = f.md5;
    padded.update_zeros(slice - f.length);
    std::vector<packets::SliceChecksum> sums{{padded.finish(), crc_zeros(f.crc, slice - f.length)}};
    f.constant = par2_input_constant(slice_index++);
    p = packets::packet(set_id, packets::kTypeSliceChecksums, packets::slice_checksums_body(f.id, sums));
    critical.insert(critical.end(), p.begin(), p.end());
  }
  Bytes creator = packets::packet(set_id, packets::kTypeCreator, packets::creator_body(kCreator));
  critical.insert(critical.end(), creator.begin(), creator.end());
}

Result Writer::end_hashing() {
  State& s = *s_;
  if (s.stage != State::hashing) return s.fail(Result::bad_argument, "end_hashing: not hashing");
  try {
    uint64_t largest = 0;
    for (SourceFile& f : s.files) {
      largest = std::max(largest, f.length);
      f.id = packets::file_id(f.head.finish(), f.length, f.name);
    }
    s.slice = std::max<uint64_t>(4, (largest + 3) / 4 * 4);
    if (s.slice > SIZE_MAX / 2) return s.fail(Result::out_of_memory, "slice too large for memory");
    s.recovery[0].resize(static_cast<size_t>(s.slice));
    s.build_critical();
    for (uint32_t e = 1; e < s.volumes; ++e) s.recovery[e].assign(static_cast<size_t>(s.slice), 0);
    s.stage = s.volumes > 1 ? State::encoding : State::ready;
    return Result::ok;
  } catch (const std::bad_alloc&) {
    return s.fail(Result::out_of_memory, "out of memory for the recovery volumes");
  }
}

void Writer::State::encode_words(SourceFile& f, uint32_t index, uint64_t offset, const unsigned char* p,
                                 size_t n) {
  if (factors_for != index) {
    factors.resize(volumes - 1);
    uint16_t power = 1;
    for (uint32_t e = 1; e < volumes; ++e) {
      power = gf16_mul(power, f.constant);
      factors[e - 1] = gf16_prepare(power);
    }
    factors_for = index;
  }
  for (uint32_t e = 1; e < volumes; ++e)
    gf16_mul_add(recovery[e].data() + offset, p, n, factors[e - 1]);
}

Result Writer::encode(uint32_t index, const void* data, size_t length) {
  State& s = *s_;
  if (s.stage != State::encoding || index >= s.files.size())
    return s.fail(Result::bad_argument, "encode: not encoding or no such file");
  SourceFile& f = s.files[index];
  if (length > f.length - f.encoded)
    return s.fail(Result::bad_argument, "encode: more bytes than the first pass saw of " + f.name);
  try {
    const unsigned char* p = static_cast<const unsigned char*>(data);
    uint64_t offset = f.encoded;
    f.encoded += length;
    if (length > 0 && (offset & 1)) {  // completes the word begun last time
      unsigned char word[2] = {f.pending, p[0]};
      s.encode_words(f, index, offset - 1, word, 2);
      ++p, --length, ++offset;
    }
    size_t even = length & ~static_cast<size_t>(1);
    s.encode_words(f, index, offset, p, even);
    if (length & 1) {
      f.pending = p[even];
      if (f.encoded == f.length) {  // the last byte: its word is padded with zero
        unsigned char word[2] = {f.pending, 0};
        s.encode_words(f, index, offset + even, word, 2);
      }
    }
    return Result::ok;
  } catch (const std::bad_alloc&) {
    return s.fail(Result::out_of_memory, "out of memory");
  }
}

Result Writer::end_encoding() {
  State& s = *s_;
  if (s.stage != State::encoding) return s.fail(Result::bad_argument, "end_encoding: not encoding");
  for (const SourceFile& f : s.files)
    if (f.encoded != f.length)
      return s.fail(Result::bad_argument, "encode: " + f.name + " did not come again whole");
  s.stage = State::ready;
  return Result::ok;
}

Result Writer::State::write_file(const Io& io, const std::string& name, const Bytes* head, const Bytes* data) {
  void* out = io.open_write(io.context, name.c_str());
  if (out == nullptr) return fail(Result::io_failed, "cannot create " + name);
  bool ok = (head == nullptr || io.write(io.context, out, head->data(), head->size()) == 0) &&
            (data == nullptr || io.write(io.context, out, data->data(), data->size()) == 0) &&
            io.write(io.context, out, critical.data(), critical.size()) == 0;
  if (!ok) {
    io.close_write(io.context, out, 0);
    return fail(Result::io_failed, "cannot write " + name);
  }
  if (io.close_write(io.context, out, 1) != 0) return fail(Result::io_failed, "cannot finish " + name);
  return Result::ok;
}

Result Writer::write_index(const Io& io, const std::string& name) {
  State& s = *s_;
  if (s.stage != State::ready) return s.fail(Result::bad_argument, "write_index: the volumes are not made");
  try {
    return s.write_file(io, name, nullptr, nullptr);
  } catch (const std::bad_alloc&) {
    return s.fail(Result::out_of_memory, "out of memory");
  }
}

Result Writer::write_volume(const Io& io, const std::string& name, uint32_t exponent) {
  State& s = *s_;
  if (s.stage != State::ready || exponent >= s.volumes)
    return s.fail(Result::bad_argument, "write_volume: the volumes are not made or no such exponent");
  try {
    Bytes e;
    packets::put32(e, exponent);
    Md5 hash = packets::hash_start(s.set_id, packets::kTypeRecoverySlice);
    hash.update(e.data(), 4);
    const Bytes& data = s.recovery[exponent];
    hash.update(data.data(), data.size());
    Bytes head = packets::header_for(s.set_id, packets::kTypeRecoverySlice, hash, 4 + data.size());
    head.insert(head.end(), e.begin(), e.end());
    return s.write_file(io, name, &head, &data);
  } catch (const std::bad_alloc&) {
    return s.fail(Result::out_of_memory, "out of memory");
  }
}

uint64_t Writer::index_size() const { return s_->critical.size(); }
uint64_t Writer::volume_size() const { return s_->critical.size() + packets::kHeaderSize + 4 + s_->slice; }

std::string Writer::volume_name(const std::string& base, uint32_t exponent, uint32_t volumes) {
  // par2cmdline makes the first number as wide as the count of volumes.
  size_t width = std::to_string(volumes).size();
  auto padded = [&](uint32_t n) {
    std::string t = std::to_string(n);
    return std::string(width > t.size() ? width - t.size() : 0, '0') + t;
  };
  return base + ".vol" + padded(exponent) + "+" + padded(1) + ".par2";
}

}  // namespace par2
