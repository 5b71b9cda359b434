// The PAR2 component against Debian's par2 (par2cmdline 0.8.1): sets our
// writer makes pass `par2 verify`; after losses both `par2 repair` and our
// repairer rebuild them byte for byte, or both refuse and change nothing;
// our repairer repairs sets that `par2 create` made, and our packets are
// par2's byte for byte.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "gf16.h"
#include "par2.h"
#include "posix_io.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;
using Tree = std::map<std::string, Bytes>;

const std::string kBase = "reportVRAX";

Bytes read_all(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}
void write_all(const fs::path& p, const Bytes& b) {
  std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), b.size());
}
Tree snapshot(const fs::path& dir) {
  Tree t;
  for (const auto& e : fs::directory_iterator(dir))
    if (e.is_regular_file()) t[e.path().filename().string()] = read_all(e.path());
  return t;
}
int run(const fs::path& dir, const std::string& command) {
  int rc = std::system(("cd '" + dir.string() + "' && " + command + " >/dev/null 2>&1").c_str());
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

struct Scratch {
  fs::path dir;
  Scratch() {
    char templ[] = "/tmp/par2-tests-XXXXXX";
    dir = mkdtemp(templ);
  }
  ~Scratch() {
    if (!getenv("PAR2_TESTS_KEEP")) fs::remove_all(dir);
  }
};

// Pieces shaped like a split's: a first piece, full sections, a short odd
// last one, and the library beside them where `library` says so.
Tree make_pieces(uint32_t count, uint32_t section, bool library, uint32_t seed) {
  std::mt19937 rng(seed);
  Tree t;
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t size = i == 0 ? section * 3 / 4 + 6656 % section : i + 1 == count ? section / 3 + 1 : section;
    char name[32];
    snprintf(name, sizeof name, i == 0 ? "%s.exe" : "%s.%03u", kBase.c_str(), i - 1);
    Bytes b(size);
    for (auto& c : b) c = static_cast<unsigned char>(rng());
    t[name] = b;
  }
  if (library) t["vornex.dll"] = Bytes(5003, 0x4D);
  return t;
}

void put_tree(const fs::path& dir, const Tree& t) {
  fs::create_directories(dir);
  for (const auto& f : t) write_all(dir / f.first, f.second);
}

// Our writer over the files: the first pass in random-sized pieces, file
// after file; the second in the opposite file order, in other pieces.
par2::Result write_set(FolderIo& io, const Tree& files, uint32_t volumes, uint32_t seed, par2::Writer& w) {
  std::vector<std::string> names;
  for (const auto& f : files) names.push_back(f.first);
  std::mt19937 rng(seed);
  par2::Result r = w.start(names, volumes);
  auto feed = [&](uint32_t i, bool second) {
    const Bytes& b = files.at(names[i]);
    for (size_t at = 0; at < b.size() && r == par2::Result::ok;) {
      size_t n = std::min<size_t>(b.size() - at, 1 + rng() % 9000);
      r = second ? w.encode(i, b.data() + at, n) : w.hash(i, b.data() + at, n);
      at += n;
    }
  };
  for (uint32_t i = 0; i < names.size(); ++i) feed(i, false);
  if (r == par2::Result::ok) r = w.end_hashing();
  if (w.needs_second_pass()) {
    for (uint32_t i = static_cast<uint32_t>(names.size()); i-- > 0;) feed(i, true);
    if (r == par2::Result::ok) r = w.end_encoding();
  }
  if (r == par2::Result::ok) r = w.write_index(io.table(), kBase + ".par2");
  for (uint32_t e = 0; e < volumes && r == par2::Result::ok; ++e)
    r = w.write_volume(io.table(), par2::Writer::volume_name(kBase, e, volumes), e);
  return r;
}

// Every PAR2 file of the set in dir: BASE.par2 first, then BASE.*.par2.
std::vector<std::string> par2_files(const fs::path& dir, const std::string& base) {
  std::vector<std::string> names{base + ".par2"};
  std::vector<std::string> more;
  for (const auto& e : fs::directory_iterator(dir)) {
    std::string n = e.path().filename().string();
    if (n.size() > base.size() + 6 && n.compare(0, base.size() + 1, base + ".") == 0 &&
        n.compare(n.size() - 5, 5, ".par2") == 0)
      more.push_back(n);
  }
  std::sort(more.begin(), more.end());
  names.insert(names.end(), more.begin(), more.end());
  return names;
}

struct Outcome {
  par2::Result result;
  uint32_t more_needed;
};
Outcome our_repair(const fs::path& dir, const std::string& base) {
  FolderIo io(dir.string());
  par2::Repairer r(io.table());
  par2::Result result = r.load(par2_files(dir, base));
  if (result == par2::Result::ok) result = r.check();
  if (result == par2::Result::ok) result = r.repair();
  return {result, r.more_needed()};
}

// A loss: the file deleted, truncated at `offset`, `length` bytes from
// `offset` overwritten, or `length` bytes appended.
struct Hit {
  std::string name;
  enum Kind { deleted, truncated, overwritten, appended } kind;
  uint64_t offset, length;
};
void inflict(const fs::path& dir, const std::vector<Hit>& hits) {
  for (const Hit& h : hits) {
    fs::path p = dir / h.name;
    if (h.kind == Hit::deleted) {
      fs::remove(p);
      continue;
    }
    Bytes b = read_all(p);
    if (h.kind == Hit::truncated) b.resize(std::min<uint64_t>(h.offset, b.size()));
    for (uint64_t i = h.offset; h.kind == Hit::overwritten && i < h.offset + h.length && i < b.size(); ++i) b[i] ^= 0x5A;
    if (h.kind == Hit::appended) b.resize(b.size() + h.length, 0);  // as a copy padded to a cluster
    write_all(p, b);
  }
}

// The one generator of losses: `pieces` source files, the first piece
// always among them and deleted, the others in turn truncated, damaged in
// the middle or deleted; and `volumes` recovery volumes deleted or damaged in turn, volume 0 first
// (the one any client uses first).
std::vector<Hit> generate_losses(const Tree& files, uint32_t pieces, uint32_t volumes, uint32_t all_volumes,
                                 uint32_t seed) {
  std::vector<std::string> names;
  for (const auto& f : files)
    if (f.first != kBase + ".exe") names.push_back(f.first);
  std::shuffle(names.begin(), names.end(), std::mt19937(seed));
  std::vector<Hit> hits;
  for (uint32_t i = 0; i < pieces; ++i) {
    if (i == 0) {
      hits.push_back({kBase + ".exe", Hit::deleted, 0, 0});
      continue;
    }
    const std::string& n = names[i - 1];
    uint64_t size = files.at(n).size();
    hits.push_back({n, static_cast<Hit::Kind>(i % 3), size / 2, 1 + size / 7});
  }
  for (uint32_t e = 0; e < volumes; ++e)
    hits.push_back({par2::Writer::volume_name(kBase, e * 2 % all_volumes, all_volumes),
                    e % 2 ? Hit::deleted : Hit::overwritten, 100, 8});
  return hits;
}

struct SetCase {
  const char* label;
  uint32_t pieces;
  uint32_t section;
  bool library;
  uint32_t volumes;
  uint32_t lost_pieces;
  uint32_t lost_volumes;
};

void PrintTo(const SetCase& c, std::ostream* os) { *os << c.label; }

class WrittenSets : public testing::TestWithParam<SetCase> {};

TEST_P(WrittenSets, Par2AndOurRepairAgreeOnEveryLoss) {
  const SetCase& c = GetParam();
  Scratch s;
  Tree files = make_pieces(c.pieces, c.section, c.library, c.pieces * 31 + c.volumes);
  put_tree(s.dir / "set", files);
  FolderIo io((s.dir / "set").string());
  par2::Writer w;
  ASSERT_EQ(write_set(io, files, c.volumes, c.pieces, w), par2::Result::ok) << w.error_text();
  ASSERT_EQ(run(s.dir / "set", "par2 verify -q " + kBase + ".par2"), 0);
  ASSERT_EQ(run(s.dir / "set", "par2 verify -q " + par2::Writer::volume_name(kBase, c.volumes - 1, c.volumes)), 0)
      << "a volume alone describes the set";

  const bool repairable = c.lost_pieces + c.lost_volumes <= c.volumes;
  std::vector<Hit> hits = generate_losses(files, c.lost_pieces, c.lost_volumes, c.volumes, c.volumes);
  for (const std::string tool : {"par2", "ours"}) {
    SCOPED_TRACE(tool);
    fs::path dir = s.dir / tool;
    fs::copy(s.dir / "set", dir);
    inflict(dir, hits);
    Tree before = snapshot(dir);
    bool repaired;
    if (tool == std::string("par2")) {
      repaired = run(dir, "par2 repair -q " + kBase + ".par2") == 0;
    } else {
      Outcome o = our_repair(dir, kBase);
      repaired = o.result == par2::Result::ok;
      if (!repairable) {
        EXPECT_EQ(o.result, par2::Result::not_enough_recovery);
        EXPECT_EQ(o.more_needed, c.lost_pieces + c.lost_volumes - c.volumes);
      }
    }
    EXPECT_EQ(repaired, repairable);
    if (!repairable) {
      EXPECT_TRUE(snapshot(dir) == before) << "a refused repair changed the folder";
      continue;
    }
    for (const auto& f : files) EXPECT_TRUE(read_all(dir / f.first) == f.second) << f.first;
  }
}

const SetCase kSetCases[] = {
    {"OneVolumeFirstPieceLost", 5, 20000, true, 1, 1, 0},
    {"OneVolumeTwoLostRefused", 5, 20000, true, 1, 2, 0},
    {"ThreeVolumesThreePiecesLost", 12, 30001, true, 3, 3, 0},
    {"ThreeVolumesFourPiecesLostRefused", 12, 30001, true, 3, 4, 0},
    {"FiveVolumesTwoLostThreePiecesLost", 20, 9000, false, 5, 3, 2},
    {"FiveVolumesTwoLostFourPiecesLostRefused", 20, 9000, false, 5, 4, 2},
    {"ElevenVolumesElevenLost", 16, 4099, true, 11, 11, 0},
    {"SmallPiecesTwoLost", 4, 301, false, 2, 2, 0},
    // Slices of 1 MiB less 100 bytes: in the damaged volume 0 the next
    // packet's header straddles the end of the repairer's 1 MiB read buffer.
    {"VolumeDamagedAcrossTheReadBuffer", 3, 1048476, false, 2, 1, 1},
};

INSTANTIATE_TEST_SUITE_P(Par2, WrittenSets, testing::ValuesIn(kSetCases),
                         [](const testing::TestParamInfo<SetCase>& info) { return std::string(info.param.label); });

// Every packet we write but the Creator is the one `par2 create` writes for
// the same files and slice size, the recovery slices included, and an empty
// file is left out by both.
TEST(WrittenPackets, EqualPar2CreatesForTheSameSlices) {
  Scratch s;
  Tree files = make_pieces(7, 12345, true, 3);
  files["empty.dat"] = {};  // left out of the set by both
  put_tree(s.dir / "ours", files);
  put_tree(s.dir / "theirs", files);
  FolderIo io((s.dir / "ours").string());
  par2::Writer w;
  ASSERT_EQ(write_set(io, files, 4, 9, w), par2::Result::ok) << w.error_text();
  std::string names;
  for (const auto& f : files) names += " " + f.first;
  ASSERT_EQ(run(s.dir / "theirs", "par2 create -q -n1 -c4 -s" + std::to_string(w.slice_size()) + " x.par2" + names), 0);
  auto packets = [](const fs::path& dir, const std::string& base) {
    std::set<Bytes> out;
    for (const std::string& n : par2_files(dir, base)) {
      Bytes b = read_all(dir / n);
      for (size_t at = 0; at + 64 <= b.size();) {
        uint64_t length = 0;
        for (int i = 7; i >= 0; --i) length = length << 8 | b[at + 8 + i];
        if (std::string(b.begin() + at + 56, b.begin() + at + 63) != std::string("Creator", 7))
          out.insert(Bytes(b.begin() + at, b.begin() + at + length));
        at += length;
      }
    }
    return out;
  };
  std::set<Bytes> ours = packets(s.dir / "ours", kBase), theirs = packets(s.dir / "theirs", "x");
  EXPECT_EQ(ours.size(), 1 + 2 * (files.size() - 1) + 4);
  EXPECT_TRUE(ours == theirs) << "packets differ from par2's";
}

TEST(WrittenPackets, VolumeNamesAreAsWideAsTheirCount) {
  const struct {
    uint32_t exponent, volumes;
    const char* name;
  } cases[] = {{0, 1, "s.vol0+1.par2"},     {8, 9, "s.vol8+1.par2"},       {9, 10, "s.vol09+01.par2"},
               {18, 19, "s.vol18+01.par2"}, {5, 100, "s.vol005+001.par2"}};
  for (const auto& c : cases) EXPECT_EQ(par2::Writer::volume_name("s", c.exponent, c.volumes), c.name);
}

// Sets `par2 create` made, several slices per file where the slice is
// smaller than the files: our repairer finds the slices that survive in
// damaged files and rebuilds the rest, or says how many more it needs.
struct CreatedCase {
  const char* label;
  uint32_t slice;
  uint32_t count;
  std::vector<Hit> hits;
  uint32_t more_needed;
};

void PrintTo(const CreatedCase& c, std::ostream* os) { *os << c.label; }

class CreatedSets : public testing::TestWithParam<CreatedCase> {};

TEST_P(CreatedSets, OurRepairRebuildsWhatPar2Made) {
  const CreatedCase& c = GetParam();
  Scratch s;
  Tree files = make_pieces(6, 10000, false, 77);  // 7500+6656%10000, 10000 x4, 3334 bytes
  put_tree(s.dir, files);
  std::string names;
  for (const auto& f : files) names += " " + f.first;
  ASSERT_EQ(run(s.dir, "par2 create -q -s" + std::to_string(c.slice) + " -c" + std::to_string(c.count) + " x.par2" + names), 0);
  inflict(s.dir, c.hits);
  Tree before = snapshot(s.dir);
  Outcome o = our_repair(s.dir, "x");
  EXPECT_EQ(o.more_needed, c.more_needed);
  if (c.more_needed > 0) {
    EXPECT_EQ(o.result, par2::Result::not_enough_recovery);
    EXPECT_TRUE(snapshot(s.dir) == before);
    return;
  }
  ASSERT_EQ(o.result, par2::Result::ok);
  for (const auto& f : files) EXPECT_TRUE(read_all(s.dir / f.first) == f.second) << f.first;
}

// Slices of 2048 bytes: the pieces of 10000 bytes have five each.
const CreatedCase kCreatedCases[] = {
    {"OneSlicePerFileTwoLost", 14156, 2, {{"reportVRAX.exe", Hit::deleted, 0, 0}, {"reportVRAX.002", Hit::truncated, 9000, 0}}, 0},
    {"FileDeletedAndTwoSlicesHit", 2048, 8,
     {{"reportVRAX.001", Hit::deleted, 0, 0}, {"reportVRAX.003", Hit::overwritten, 100, 10},
      {"reportVRAX.003", Hit::overwritten, 8200, 1}}, 0},
    {"TruncatedInsideASlice", 2048, 3, {{"reportVRAX.000", Hit::truncated, 5000, 0}}, 0},
    // Lengthened with zeros: every slice survives in place.
    {"LengthenedFileNeedsNoRecovery", 2048, 1, {{"reportVRAX.002", Hit::appended, 0, 77}}, 0},
    {"SliceBoundaryOverwrite", 2048, 2, {{"reportVRAX.004", Hit::overwritten, 2040, 16}}, 0},
    {"OneSliceTooManyLost", 2048, 7, {{"reportVRAX.001", Hit::deleted, 0, 0}, {"reportVRAX.002", Hit::overwritten, 0, 6000}}, 1},
};

INSTANTIATE_TEST_SUITE_P(Par2Create, CreatedSets, testing::ValuesIn(kCreatedCases),
                         [](const testing::TestParamInfo<CreatedCase>& info) { return std::string(info.param.label); });

// With gaps in the exponents a choice of recovery slices can be singular:
// slices 0 and 128 share c^257 (2^257 = 2^2 mod the group's order divided by
// 255). Exponents 0 and 257 alone cannot solve for them; with exponent 1
// beside them, the repairer must pick a regular pair.
TEST(CreatedSets, SingularChoiceOfExponentsIsAvoided) {
  ASSERT_EQ(par2::gf16_pow(par2::par2_input_constant(0), 257), par2::gf16_pow(par2::par2_input_constant(128), 257));
  Scratch s;
  Bytes data(520);
  std::mt19937 rng(1);
  for (auto& b : data) b = static_cast<unsigned char>(rng());
  write_all(s.dir / "data.bin", data);
  ASSERT_EQ(run(s.dir, "par2 create -q -s4 -c1 -f0 x.par2 data.bin"), 0);
  ASSERT_EQ(run(s.dir, "par2 create -q -s4 -c1 -f257 -n1 x2.par2 data.bin"), 0);
  fs::rename(s.dir / "x2.vol257+1.par2", s.dir / "x.vol257+1.par2");
  ASSERT_EQ(run(s.dir, "par2 create -q -s4 -c1 -f1 -n1 x3.par2 data.bin"), 0);
  inflict(s.dir, {{"data.bin", Hit::overwritten, 0, 1}, {"data.bin", Hit::overwritten, 128 * 4, 1}});
  Outcome o = our_repair(s.dir, "x");
  EXPECT_EQ(o.result, par2::Result::not_enough_recovery);
  EXPECT_EQ(o.more_needed, 1u);
  fs::rename(s.dir / "x3.vol1+1.par2", s.dir / "x.vol1+1.par2");
  o = our_repair(s.dir, "x");
  ASSERT_EQ(o.result, par2::Result::ok);
  EXPECT_TRUE(read_all(s.dir / "data.bin") == data);
}

// A volume left from an earlier set of the same name is ignored: the set
// is the one BASE.par2 describes.
TEST(WrittenSets, StaleVolumeOfAnotherSetIsIgnored) {
  Scratch s;
  Tree old_files = make_pieces(4, 3000, false, 1), files = make_pieces(4, 3000, false, 2);
  FolderIo io(s.dir.string());
  par2::Writer old_set, w;
  ASSERT_EQ(write_set(io, old_files, 3, 1, old_set), par2::Result::ok);
  put_tree(s.dir, files);
  ASSERT_EQ(write_set(io, files, 2, 1, w), par2::Result::ok);
  fs::remove(s.dir / (kBase + ".vol0+1.par2"));  // vol2+1 of the old set stays
  inflict(s.dir, {{kBase + ".exe", Hit::deleted, 0, 0}});
  Outcome o = our_repair(s.dir, kBase);
  EXPECT_EQ(o.result, par2::Result::ok);
  EXPECT_TRUE(read_all(s.dir / (kBase + ".exe")) == files.at(kBase + ".exe"));
  fs::remove(s.dir / (kBase + ".vol1+1.par2"));
  inflict(s.dir, {{kBase + ".exe", Hit::deleted, 0, 0}});
  o = our_repair(s.dir, kBase);
  EXPECT_EQ(o.result, par2::Result::not_enough_recovery);
  EXPECT_EQ(o.more_needed, 1u);
}

// Names in a set come from outside: a set that names a file in another
// folder (par2 create stores sub/data.bin) is refused, and so is such a
// name given to the writer.
TEST(CreatedSets, NameOutsideTheFolderIsRefused) {
  Scratch s;
  fs::create_directories(s.dir / "sub");
  write_all(s.dir / "sub" / "data.bin", Bytes(1000, 7));
  ASSERT_EQ(run(s.dir, "par2 create -q -c1 x.par2 sub/data.bin"), 0);
  fs::remove(s.dir / "sub" / "data.bin");
  Tree before = snapshot(s.dir);
  EXPECT_EQ(our_repair(s.dir, "x").result, par2::Result::no_recovery_set);
  EXPECT_TRUE(snapshot(s.dir) == before);
  EXPECT_FALSE(fs::exists(s.dir / "sub" / "data.bin"));
  for (const char* name : {"sub/data.bin", "..", "a\\b", "c:x", ""}) {
    par2::Writer w;
    EXPECT_EQ(w.start({"ok", name}, 1), par2::Result::bad_argument) << name;
  }
}

// A volume whose recovery data is wrong but whose packet hash was made to
// fit: the rebuilt file fails its MD5, is discarded, and nothing is left.
TEST(WrittenSets, RebuiltFileThatFailsItsMd5IsDiscarded) {
  Scratch s;
  Tree files = make_pieces(3, 3000, false, 4);
  put_tree(s.dir, files);
  FolderIo io(s.dir.string());
  par2::Writer w;
  ASSERT_EQ(write_set(io, files, 1, 1, w), par2::Result::ok);
  fs::path volume = s.dir / (kBase + ".vol0+1.par2");
  Bytes v = read_all(volume);
  ASSERT_EQ(std::string(v.begin() + 56, v.begin() + 64), std::string("RecvSlic"));
  v[64 + 4 + 10] ^= 1;
  uint64_t length = 0;
  for (int i = 7; i >= 0; --i) length = length << 8 | v[8 + i];
  par2::Md5Digest hash = par2::Md5::of(v.data() + 32, length - 32);
  std::copy(hash.bytes, hash.bytes + 16, v.begin() + 16);
  write_all(volume, v);
  fs::remove(s.dir / (kBase + ".exe"));
  Tree before = snapshot(s.dir);
  EXPECT_EQ(our_repair(s.dir, kBase).result, par2::Result::output_mismatch);
  EXPECT_TRUE(snapshot(s.dir) == before);
}

// Faults through the seams: a write that fails leaves no volume behind and
// names the file; bytes beyond a file's first-pass length are refused.
TEST(WriterFaults, FailedWriteKeepsNothingAndSaysWhere) {
  Scratch s;
  Tree files = make_pieces(3, 1000, false, 5);
  put_tree(s.dir, files);
  for (int writes : {0, 1, 2}) {
    FolderIo io(s.dir.string(), writes);
    par2::Writer w;
    Tree before = snapshot(s.dir);
    par2::Result r = write_set(io, files, 2, 1, w);
    EXPECT_EQ(r, par2::Result::io_failed) << writes;
    EXPECT_NE(w.error_text().find(writes < 1 ? kBase + ".par2" : kBase + ".vol0+1.par2"), std::string::npos) << w.error_text();
    Tree after = snapshot(s.dir);
    if (writes >= 1) before[kBase + ".par2"] = after[kBase + ".par2"];  // the index went through whole
    EXPECT_TRUE(after == before) << writes;
    fs::remove(s.dir / (kBase + ".par2"));
  }
  par2::Writer w;
  ASSERT_EQ(w.start({"a"}, 2), par2::Result::ok);
  ASSERT_EQ(w.hash(0, "abc", 3), par2::Result::ok);
  ASSERT_EQ(w.end_hashing(), par2::Result::ok);
  EXPECT_EQ(w.encode(0, "abcd", 4), par2::Result::bad_argument);
  EXPECT_EQ(w.hash(0, "a", 1), par2::Result::bad_argument);
  EXPECT_EQ(w.start(std::vector<std::string>(32769, "x"), 1), par2::Result::too_many_slices);
  EXPECT_EQ(w.start({"x"}, 0), par2::Result::bad_argument);
}

// A piece that cannot be read past its first kilobyte (a bad sector) is
// damaged, not fatal: the repair rebuilds it and says which file failed.
TEST(RepairFaults, UnreadablePieceIsRebuilt) {
  Scratch s;
  Tree files = make_pieces(4, 5000, false, 8);
  put_tree(s.dir, files);
  FolderIo io(s.dir.string());
  par2::Writer w;
  ASSERT_EQ(write_set(io, files, 1, 1, w), par2::Result::ok);
  io.unreadable = kBase + ".001";
  par2::Repairer r(io.table());
  ASSERT_EQ(r.load(par2_files(s.dir, kBase)), par2::Result::ok);
  ASSERT_EQ(r.check(), par2::Result::ok);
  EXPECT_EQ(r.missing_slices(), 1u);
  ASSERT_EQ(r.repair(), par2::Result::ok) << r.error_text();
  EXPECT_EQ(io.messages, std::vector<std::string>{kBase + ".001: read failed"});
  for (const auto& f : files) EXPECT_TRUE(read_all(s.dir / f.first) == f.second) << f.first;
}

}  // namespace
