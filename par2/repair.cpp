// The repairer: reads a PAR 2.0 set, checks its files, rebuilds the lost.
//
// How it works. load() scans every PAR2 file for packets (at any offset, so
// a damaged volume still gives what survives), keeps those whose MD5 holds,
// grouped by recovery set, and takes one set. check() reads each source file
// once for its MD5 and each slice's CRC; a file whose MD5 fails has the
// slices whose CRC held read again for their MD5, so the slices that survive
// in place are known. The lost slices X_j then satisfy, for each recovery
// slice R_e used,
//     R_e + sum over present i of c_i^e D_i  =  sum over lost j of c_j^e X_j
// and check() picks recovery slices whose rows of that system are
// independent (greedily, in exponent order: with gaps in the exponents some
// choices are singular, and a later slice may do where an earlier one does
// not). repair() reads the chosen recovery slices, adds every present slice
// into them (one read of the set), inverts the system and writes each
// rebuilt file whole, its surviving slices copied and its lost ones solved.
#include <string.h>

#include <algorithm>
#include <map>
#include <new>

#include "crc32.h"
#include "gf16.h"
#include "packets.h"
#include "par2.h"

namespace par2 {

using packets::Bytes;

namespace {

constexpr size_t kChunk = 1 << 20;
constexpr uint64_t kLargestMetadataPacket = 64u << 20;

std::string key(const Md5Digest& d) { return std::string(reinterpret_cast<const char*>(d.bytes), 16); }
Md5Digest digest_at(const unsigned char* p) {
  Md5Digest d;
  memcpy(d.bytes, p, 16);
  return d;
}

struct Description {
  Md5Digest hash, hash16k;
  uint64_t length;
  std::string name;
};

struct RecoveryRef {
  uint32_t source;  // index into the PAR2 names
  uint64_t offset;  // of the slice data
  uint64_t length;
};

struct SetPackets {
  bool has_main = false;
  uint32_t main_seen = 0;  // order in which its Main packet was first found
  uint64_t slice = 0;
  std::vector<Md5Digest> ids;  // the recovery set's files, in the Main packet's order
  std::map<std::string, Description> descs;
  std::map<std::string, std::vector<packets::SliceChecksum>> sums;
  std::map<uint32_t, RecoveryRef> recovery;
};

// A file opened through the table, closed on every path.
struct Reader {
  const Io& io;
  void* file;
  Reader(const Io& i, const std::string& name) : io(i), file(i.open_read(i.context, name.c_str())) {}
  ~Reader() {
    if (file) io.close_read(io.context, file);
  }
  // Reads until `length` or the end: the count, or -1 on failure.
  int64_t read_full(void* buffer, size_t length) {
    size_t done = 0;
    while (done < length) {
      int64_t n = io.read(io.context, file, static_cast<unsigned char*>(buffer) + done, length - done);
      if (n < 0) return -1;
      if (n == 0) break;
      done += static_cast<size_t>(n);
    }
    return static_cast<int64_t>(done);
  }
  bool read_at(uint64_t offset, void* buffer, size_t length, int64_t* got) {
    if (io.seek(io.context, file, offset) != 0) return false;
    *got = read_full(buffer, length);
    return *got >= 0;
  }
};

struct SourceInfo {
  Md5Digest id, hash;
  uint32_t first_slice = 0;
  const std::vector<packets::SliceChecksum>* sums = nullptr;
};

}  // namespace

struct Repairer::State {
  Io io;
  std::vector<std::string> par2_names;
  std::map<std::string, SetPackets> sets;
  const SetPackets* set = nullptr;
  Md5Digest set_id{};
  uint64_t slice = 0;
  std::vector<FileState> files;
  std::vector<SourceInfo> info;
  std::vector<bool> good;       // per input slice
  std::vector<uint32_t> lost;   // input slices to solve for
  std::vector<uint32_t> rows;   // exponents chosen
  uint32_t usable_recovery = 0;
  uint32_t mains_found = 0;
  uint32_t more = 0;
  bool checked = false;
  std::string error;

  Result fail(Result r, std::string text) {
    error = std::move(text);
    return r;
  }
  void say(const std::string& text) {
    if (io.message) io.message(io.context, text.c_str());
  }
  void scan(uint32_t source);
  uint64_t take_packet(Reader& r, uint32_t source, uint64_t at, const unsigned char* head,
                       const unsigned char* in_memory, Bytes& body);
  Result check_file(size_t index);
  void plan();
  Result accumulate(std::vector<Bytes>& sums);
  Result write_file(size_t index, const std::vector<Bytes>& sums, const std::vector<std::vector<uint16_t>>& inverse);
};

Repairer::Repairer(const Io& io) : s_(new State) { s_->io = io; }
Repairer::~Repairer() = default;
const std::vector<FileState>& Repairer::files() const { return s_->files; }
uint64_t Repairer::slice_size() const { return s_->slice; }
uint32_t Repairer::missing_slices() const { return static_cast<uint32_t>(s_->lost.size()); }
uint32_t Repairer::recovery_slices() const { return s_->usable_recovery; }
uint32_t Repairer::more_needed() const { return s_->more; }
Md5Digest Repairer::set_id() const { return s_->set_id; }
const std::string& Repairer::error_text() const { return s_->error; }

// The packet whose header `head` was found at `at`, when it is whole and its
// MD5 holds: records it and returns its length; 0 otherwise. Its body is
// read from `in_memory` when the scan's buffer holds all of it.
uint64_t Repairer::State::take_packet(Reader& r, uint32_t source, uint64_t at, const unsigned char* head,
                                      const unsigned char* in_memory, Bytes& body) {
  packets::Header h;
  if (!packets::parse_header(head, &h)) return 0;
  const uint64_t body_length = h.length - packets::kHeaderSize;
  const bool recovery = memcmp(h.type, packets::kTypeRecoverySlice, 16) == 0;
  if (!recovery && body_length > kLargestMetadataPacket) return 0;
  Md5 md5;
  md5.update(head + 32, 32);
  const unsigned char* b = in_memory;
  unsigned char exponent[4] = {};
  if (b != nullptr) {
    md5.update(b, static_cast<size_t>(body_length));
    if (body_length >= 4) memcpy(exponent, b, 4);
  } else {
    // Streamed: a recovery slice is hashed and not kept.
    body.clear();
    if (r.io.seek(r.io.context, r.file, at + packets::kHeaderSize) != 0) return 0;
    for (uint64_t done = 0; done < body_length;) {
      size_t take = static_cast<size_t>(std::min<uint64_t>(kChunk, body_length - done));
      size_t keep = recovery ? 0 : body.size();
      body.resize(keep + take);
      if (r.read_full(body.data() + keep, take) != static_cast<int64_t>(take)) return 0;
      md5.update(body.data() + keep, take);
      if (done == 0 && take >= 4) memcpy(exponent, body.data(), 4);
      done += take;
    }
    b = body.data();
  }
  if (!packets::same(md5.finish(), h.hash)) return 0;

  SetPackets& set = sets[key(h.set_id)];
  if (memcmp(h.type, packets::kTypeMain, 16) == 0) {
    if (set.has_main || body_length < 12) return h.length;
    uint64_t count = packets::get32(b + 8);
    if ((body_length - 12) % 16 != 0 || count > (body_length - 12) / 16) return h.length;
    set.slice = packets::get64(b);
    set.has_main = true;
    set.main_seen = ++mains_found;
    for (uint64_t i = 0; i < count; ++i) set.ids.push_back(digest_at(b + 12 + 16 * i));
  } else if (memcmp(h.type, packets::kTypeFileDesc, 16) == 0) {
    if (body_length < 56) return h.length;
    Description d{digest_at(b + 16), digest_at(b + 32), packets::get64(b + 48),
                  std::string(reinterpret_cast<const char*>(b + 56), static_cast<size_t>(body_length - 56))};
    d.name.resize(strnlen(d.name.c_str(), d.name.size()));
    set.descs.emplace(key(digest_at(b)), d);
  } else if (memcmp(h.type, packets::kTypeSliceChecksums, 16) == 0) {
    if (body_length < 16 || (body_length - 16) % packets::kSliceChecksumEntry != 0) return h.length;
    std::vector<packets::SliceChecksum> sums;
    for (uint64_t p = 16; p < body_length; p += packets::kSliceChecksumEntry)
      sums.push_back({digest_at(b + p), packets::get32(b + p + 16)});
    set.sums.emplace(key(digest_at(b)), std::move(sums));
  } else if (recovery && body_length >= 4) {
    set.recovery.emplace(packets::get32(exponent), RecoveryRef{source, at + packets::kHeaderSize + 4, body_length - 4});
  }
  return h.length;
}

// Looks for the magic at every offset, through a buffer of the file: small
// packets are taken from the buffer, a recovery slice is read past it.
void Repairer::State::scan(uint32_t source) {
  const std::string& name = par2_names[source];
  Reader r(io, name);
  if (r.file == nullptr) return;  // an absent volume is a lost one
  Bytes chunk(kChunk), body;
  uint64_t base = 0, pos = 0;
  size_t have = 0;
  auto fill = [&](uint64_t at) {
    int64_t n;
    if (!r.read_at(at, chunk.data(), chunk.size(), &n)) {
      say(name + ": read failed; packets after this point are not used");
      return false;
    }
    base = at;
    have = static_cast<size_t>(n);
    return true;
  };
  if (!fill(0)) return;
  for (;;) {
    if (pos + packets::kHeaderSize > base + have) {
      if (have < chunk.size() && pos >= base) return;  // the buffer reaches the end
      if (!fill(pos) || have < packets::kHeaderSize) return;
    }
    size_t from = static_cast<size_t>(pos - base), found = have;
    for (size_t k = from; k + 8 <= have; ++k)
      if (chunk[k] == 'P' && memcmp(chunk.data() + k, packets::kMagic, 8) == 0) {
        found = k;
        break;
      }
    if (found == have) {
      if (have < chunk.size()) return;
      pos = base + have - 7;
      continue;
    }
    uint64_t at = base + found;
    if (found + packets::kHeaderSize > have) {  // the header runs past the buffer
      if (have < chunk.size() || !fill(at)) return;
      pos = at;
      continue;
    }
    packets::Header h;
    uint64_t length = 0;
    if (packets::parse_header(chunk.data() + found, &h)) {
      const unsigned char* in_memory =
          h.length <= have - found ? chunk.data() + found + packets::kHeaderSize : nullptr;
      length = take_packet(r, source, at, chunk.data() + found, in_memory, body);
    }
    pos = length ? at + length : at + 1;
  }
}

Result Repairer::load(const std::vector<std::string>& par2_names, const Md5Digest* want) {
  State& s = *s_;
  try {
    Io io = s.io;
    s = State();
    s.io = io;
    s.par2_names = par2_names;
    for (uint32_t i = 0; i < par2_names.size(); ++i) s.scan(i);
    for (auto& entry : s.sets) {
      const SetPackets& candidate = entry.second;
      if (!candidate.has_main) continue;
      if (want ? entry.first == key(*want) : (s.set == nullptr || candidate.main_seen < s.set->main_seen)) {
        s.set = &candidate;
        memcpy(s.set_id.bytes, entry.first.data(), 16);
      }
    }
    if (s.set == nullptr) return s.fail(Result::no_recovery_set, "no Main packet of the recovery set");
    const SetPackets& set = *s.set;
    if (set.slice == 0 || set.slice % 4 != 0 || set.slice > SIZE_MAX / 4)
      return s.fail(Result::no_recovery_set, "the Main packet's slice size is unusable");
    s.slice = set.slice;
    uint64_t slices = 0;
    for (const Md5Digest& id : set.ids) {
      auto d = set.descs.find(key(id));
      if (d == set.descs.end()) return s.fail(Result::no_recovery_set, "a file description is missing");
      if (!packets::bare_name(d->second.name))
        return s.fail(Result::no_recovery_set, "the set names a file outside its folder: " + d->second.name);
      FileState f;
      f.name = d->second.name;
      f.length = d->second.length;
      f.slices = static_cast<uint32_t>(std::min<uint64_t>((f.length + s.slice - 1) / s.slice, kMaxInputSlices + 1));
      SourceInfo info;
      info.id = id;
      info.hash = d->second.hash;
      info.first_slice = static_cast<uint32_t>(slices);
      auto sums = set.sums.find(key(id));
      if (sums != set.sums.end() && sums->second.size() == f.slices) info.sums = &sums->second;
      slices += f.slices;
      if (slices > kMaxInputSlices) return s.fail(Result::too_many_slices, "more than 32768 input slices");
      s.files.push_back(f);
      s.info.push_back(info);
    }
    for (const auto& r : set.recovery)
      if (r.second.length == s.slice && r.first < kGf16Order) ++s.usable_recovery;
    return Result::ok;
  } catch (const std::bad_alloc&) {
    return s.fail(Result::out_of_memory, "out of memory");
  }
}

// One read of the file for its MD5 and each slice's CRC; when the MD5 fails,
// the slices whose CRC held are read again for their MD5.
Result Repairer::State::check_file(size_t index) {
  FileState& f = files[index];
  const SourceInfo& info = this->info[index];
  Reader r(io, f.name);
  f.good_slices = 0;
  f.status = FileState::missing;
  if (r.file == nullptr) return Result::ok;
  f.status = FileState::damaged;
  std::vector<bool> crc_ok(f.slices, false);
  Bytes buffer(kChunk);
  Md5 whole;
  uint64_t pos = 0, fill = 0;  // fill: bytes of the current slice so far
  uint32_t crc = 0;
  bool longer = false, failed = false;
  for (;;) {
    // Chunks end on slice boundaries, so each CRC closes where its slice
    // does; past the recorded length, one byte more shows a longer file.
    size_t take = 1;
    if (pos < f.length)
      take = static_cast<size_t>(std::min<uint64_t>(std::min<uint64_t>(kChunk, slice - fill), f.length - pos));
    int64_t n = r.read_full(buffer.data(), take);
    if (n < 0) {
      say(f.name + ": read failed");
      failed = true;
      break;
    }
    if (pos >= f.length) {
      longer = n > 0;
      break;
    }
    whole.update(buffer.data(), static_cast<size_t>(n));
    crc = splitset::crc32_update(splitset::shared_crc32_table(), crc, buffer.data(), static_cast<size_t>(n));
    pos += static_cast<uint64_t>(n);
    fill += static_cast<uint64_t>(n);
    const bool short_read = static_cast<size_t>(n) < take;
    if (fill > 0 && (fill == slice || pos == f.length || short_read)) {
      static const unsigned char zeros[4096] = {};
      for (uint64_t pad = slice - fill; pad > 0;) {
        size_t z = static_cast<size_t>(std::min<uint64_t>(pad, sizeof zeros));
        crc = splitset::crc32_update(splitset::shared_crc32_table(), crc, zeros, z);
        pad -= z;
      }
      uint32_t s = static_cast<uint32_t>((pos - 1) / slice);
      crc_ok[s] = info.sums && (*info.sums)[s].crc == crc;
      crc = 0;
      fill = 0;
    }
    if (short_read) break;
  }
  if (!failed && !longer && pos == f.length && packets::same(whole.finish(), info.hash)) {
    f.status = FileState::whole;
    f.good_slices = f.slices;
    for (uint32_t s = 0; s < f.slices; ++s) good[info.first_slice + s] = true;
    return Result::ok;
  }
  // Damaged: confirm the slices whose CRC held by their MD5.
  Bytes data(static_cast<size_t>(slice));
  for (uint32_t s = 0; s < f.slices; ++s) {
    if (!crc_ok[s]) continue;
    int64_t n;
    if (!r.read_at(uint64_t(s) * slice, data.data(), data.size(), &n)) continue;
    uint64_t expect = std::min<uint64_t>(slice, f.length - uint64_t(s) * slice);
    if (static_cast<uint64_t>(n) > expect) n = static_cast<int64_t>(expect);
    memset(data.data() + n, 0, data.size() - static_cast<size_t>(n));
    if (packets::same(Md5::of(data.data(), data.size()), (*info.sums)[s].md5)) {
      good[info.first_slice + s] = true;
      ++f.good_slices;
    }
  }
  return Result::ok;
}

// Chooses recovery slices whose equations for the lost slices are
// independent: each candidate row is reduced against those kept, and kept
// when something remains.
void Repairer::State::plan() {
  rows.clear();
  more = 0;
  const size_t m = lost.size();
  if (m == 0) return;
  std::vector<uint16_t> constants(m);
  for (size_t j = 0; j < m; ++j) constants[j] = par2_input_constant(lost[j]);
  std::vector<std::vector<uint16_t>> basis;
  std::vector<size_t> pivots;
  for (const auto& r : set->recovery) {
    if (r.second.length != slice || r.first >= kGf16Order) continue;
    std::vector<uint16_t> row(m);
    for (size_t j = 0; j < m; ++j) row[j] = gf16_pow(constants[j], r.first);
    for (size_t b = 0; b < basis.size(); ++b) {
      uint16_t f = row[pivots[b]];
      if (f == 0) continue;
      for (size_t j = 0; j < m; ++j) row[j] ^= gf16_mul(f, basis[b][j]);
    }
    size_t p = 0;
    while (p < m && row[p] == 0) ++p;
    if (p == m) continue;
    uint16_t inv = gf16_inverse(row[p]);
    for (uint16_t& x : row) x = gf16_mul(x, inv);
    basis.push_back(std::move(row));
    pivots.push_back(p);
    rows.push_back(r.first);
    if (rows.size() == m) return;
  }
  more = static_cast<uint32_t>(m - rows.size());
}

Result Repairer::check() {
  State& s = *s_;
  if (s.set == nullptr) return s.fail(Result::bad_argument, "check: no recovery set loaded");
  try {
    s.good.assign(kMaxInputSlices, false);
    s.lost.clear();
    for (size_t i = 0; i < s.files.size(); ++i) {
      Result r = s.check_file(i);
      if (r != Result::ok) return r;
      if (s.files[i].status == FileState::whole) continue;
      for (uint32_t k = 0; k < s.files[i].slices; ++k)
        if (!s.good[s.info[i].first_slice + k]) s.lost.push_back(s.info[i].first_slice + k);
    }
    s.plan();
    s.checked = true;
    if (s.more > 0)
      return s.fail(Result::not_enough_recovery,
                    std::to_string(s.more) + " more recovery slice" + (s.more == 1 ? " is" : "s are") + " needed");
    return Result::ok;
  } catch (const std::bad_alloc&) {
    return s.fail(Result::out_of_memory, "out of memory");
  }
}

// sums[r] = R_e(r) + sum over present slices i of c_i^e(r) D_i.
Result Repairer::State::accumulate(std::vector<Bytes>& sums) {
  const size_t m = rows.size();
  sums.resize(m);
  for (size_t r = 0; r < m; ++r) {
    const RecoveryRef& ref = set->recovery.at(rows[r]);
    sums[r].resize(static_cast<size_t>(slice));
    Reader in(io, par2_names[ref.source]);
    int64_t n;
    if (in.file == nullptr || !in.read_at(ref.offset, sums[r].data(), sums[r].size(), &n) ||
        n != static_cast<int64_t>(slice))
      return fail(Result::io_failed, "cannot read the recovery slice in " + par2_names[ref.source]);
  }
  Bytes buffer(kChunk + 2);
  std::vector<Gf16Factor> factors(m);
  for (size_t i = 0; i < files.size(); ++i) {
    const FileState& f = files[i];
    if (f.good_slices == 0) continue;
    Reader in(io, f.name);
    if (in.file == nullptr) return fail(Result::io_failed, "cannot open " + f.name + " again");
    for (uint32_t k = 0; k < f.slices; ++k) {
      uint32_t g = info[i].first_slice + k;
      if (!good[g]) continue;
      for (size_t r = 0; r < m; ++r) factors[r] = gf16_prepare(gf16_pow(par2_input_constant(g), rows[r]));
      uint64_t start = uint64_t(k) * slice;
      uint64_t length = std::min<uint64_t>(slice, f.length - start);
      if (in.io.seek(in.io.context, in.file, start) != 0) return fail(Result::io_failed, "cannot seek in " + f.name);
      for (uint64_t done = 0; done < length;) {
        size_t take = static_cast<size_t>(std::min<uint64_t>(kChunk, length - done));
        if (in.read_full(buffer.data(), take) != static_cast<int64_t>(take))
          return fail(Result::io_failed, "cannot read " + f.name + " again");
        if (take & 1) buffer[take++] = 0;  // the file's last byte: its word padded with zero
        for (size_t r = 0; r < m; ++r)
          gf16_mul_add(sums[r].data() + done, buffer.data(), take, factors[r]);
        done += take;
      }
    }
  }
  return Result::ok;
}

Result Repairer::State::write_file(size_t index, const std::vector<Bytes>& sums,
                                   const std::vector<std::vector<uint16_t>>& inverse) {
  FileState& f = files[index];
  Reader in(io, f.name);  // where the surviving slices are (absent for a missing file)
  void* out = io.open_write(io.context, f.name.c_str());
  if (out == nullptr) return fail(Result::io_failed, "cannot create " + f.name);
  Bytes data(static_cast<size_t>(slice));
  Md5 md5;
  Result result = Result::ok;
  for (uint32_t k = 0; k < f.slices && result == Result::ok; ++k) {
    uint32_t g = info[index].first_slice + k;
    uint64_t start = uint64_t(k) * slice;
    size_t length = static_cast<size_t>(std::min<uint64_t>(slice, f.length - start));
    if (good[g]) {
      int64_t n;
      if (in.file == nullptr || !in.read_at(start, data.data(), length, &n) || n != static_cast<int64_t>(length))
        result = fail(Result::io_failed, "cannot read " + f.name + " again");
    } else {
      size_t j = static_cast<size_t>(std::lower_bound(lost.begin(), lost.end(), g) - lost.begin());
      std::fill(data.begin(), data.end(), 0);
      for (size_t r = 0; r < sums.size(); ++r)
        gf16_mul_add(data.data(), sums[r].data(), data.size(), gf16_prepare(inverse[j][r]));
    }
    if (result != Result::ok) break;
    md5.update(data.data(), length);
    if (io.write(io.context, out, data.data(), length) != 0) result = fail(Result::io_failed, "cannot write " + f.name);
  }
  if (result == Result::ok && !packets::same(md5.finish(), info[index].hash))
    result = fail(Result::output_mismatch, "the rebuilt " + f.name + " does not match its MD5");
  if (result != Result::ok) {
    io.close_write(io.context, out, 0);
    return result;
  }
  if (io.close_write(io.context, out, 1) != 0) return fail(Result::io_failed, "cannot put " + f.name + " in place");
  f.repaired = true;
  return Result::ok;
}

// The inverse of the m x m matrix a, which plan() made sure is regular.
static std::vector<std::vector<uint16_t>> invert(std::vector<std::vector<uint16_t>> a) {
  const size_t m = a.size();
  std::vector<std::vector<uint16_t>> inv(m, std::vector<uint16_t>(m, 0));
  for (size_t i = 0; i < m; ++i) inv[i][i] = 1;
  for (size_t c = 0; c < m; ++c) {
    size_t p = c;
    while (a[p][c] == 0) ++p;
    std::swap(a[p], a[c]);
    std::swap(inv[p], inv[c]);
    uint16_t f = gf16_inverse(a[c][c]);
    for (size_t j = 0; j < m; ++j) {
      a[c][j] = gf16_mul(a[c][j], f);
      inv[c][j] = gf16_mul(inv[c][j], f);
    }
    for (size_t r = 0; r < m; ++r) {
      uint16_t g = a[r][c];
      if (r == c || g == 0) continue;
      for (size_t j = 0; j < m; ++j) {
        a[r][j] ^= gf16_mul(g, a[c][j]);
        inv[r][j] ^= gf16_mul(g, inv[c][j]);
      }
    }
  }
  return inv;
}

Result Repairer::repair() {
  State& s = *s_;
  if (!s.checked) return s.fail(Result::bad_argument, "repair: the set is not checked");
  if (s.more > 0) return s.fail(Result::not_enough_recovery, s.error);
  try {
    std::vector<Bytes> sums;
    std::vector<std::vector<uint16_t>> inverse;
    if (!s.lost.empty()) {
      Result r = s.accumulate(sums);
      if (r != Result::ok) return r;
      // Row r, column j: the constant of lost slice j to the power of exponent r.
      std::vector<std::vector<uint16_t>> a(s.lost.size(), std::vector<uint16_t>(s.lost.size()));
      for (size_t r = 0; r < s.rows.size(); ++r)
        for (size_t j = 0; j < s.lost.size(); ++j) a[r][j] = gf16_pow(par2_input_constant(s.lost[j]), s.rows[r]);
      inverse = invert(std::move(a));
    }
    Result result = Result::ok;
    for (size_t i = 0; i < s.files.size(); ++i) {
      if (s.files[i].status == FileState::whole) continue;
      Result r = s.write_file(i, sums, inverse);
      if (r != Result::ok && result == Result::ok) result = r;
    }
    return result;
  } catch (const std::bad_alloc&) {
    return s.fail(Result::out_of_memory, "out of memory for the repair");
  }
}

}  // namespace par2
