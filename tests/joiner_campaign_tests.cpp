// A seeded campaign of damaged sets against the real joiner, started as a
// process: random bytes in the header and the ChunkRecords, hostile stored
// names, lying piece counts, pieces cut short, removed, swapped or replaced
// by folders, payload bytes changed, in plain and compressed sets with and
// without checksums. Every case runs in a sandbox (with a canary folder
// above it and a private TEMP) that is listed with every file's bytes
// before and after: no crash, no hang, no piece or bystander file changed or
// lost, nothing written outside the current, target and temporary folders.
// How many damaged sets still joined with exit code 0 and a wrong result is
// counted and printed: none of those that carry checksums may.
//
// VELMORA_CAMPAIGN_CASES sets the number of cases of each of the four runs
// (default 100).
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <iostream>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "split_set_format.h"
#include "split_test_support.h"
#include "test_support.h"
#include "vornex.h"

namespace {

using namespace testing_support;
using namespace split_testing;
using Tree = std::map<std::string, std::string>;

struct Figures {
  int cases = 0, crashes = 0, hangs = 0, pieces_changed = 0, files_lost = 0, written_outside = 0;
  int refused = 0, joined = 0, joined_wrong = 0, checked_wrong = 0;
};

// Stored names that must never lead the joiner out of its folders.
const char* const kHostileNames[] = {"..",       "..\\up.bin", "CON",       "NUL",  "AUX",
                                     "a:b.bin",  "a/b.bin",    "sub\\b.bin", "",     "C:\\abs.bin",
                                     ".",        "LPT1.txt",   "a.txt"};

class Campaign : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    add_bin_to_path();
    box_ = dir_ / "box";
    CreateDirectoryA((dir_ / "canary").c_str(), nullptr);
    write_file(dir_ / "canary\\keep.txt", "canary");
    char temp[MAX_PATH];
    GetEnvironmentVariableA("TEMP", temp, sizeof temp);
    saved_temp_ = temp;
  }
  void TearDown() override {
    SetEnvironmentVariableA("TEMP", saved_temp_.c_str());
    SetEnvironmentVariableA("TMP", saved_temp_.c_str());
  }

  // A fresh sandbox: the set's folder, the current, target and temporary
  // folders, each with a bystander file.
  void fresh_box() {
    remove_tree(box_);
    CreateDirectoryA(box_.c_str(), nullptr);
    for (const char* sub : {"set", "cwd", "target", "temp"}) {
      CreateDirectoryA((box_ + "\\" + sub).c_str(), nullptr);
      write_file(box_ + "\\" + sub + "\\bystander.txt", std::string("stays in ") + sub);
    }
    SetEnvironmentVariableA("TEMP", (box_ + "\\temp").c_str());
    SetEnvironmentVariableA("TMP", (box_ + "\\temp").c_str());
  }

  // One damaged set, joined; its outcome is added to `f`.
  void run_case(std::mt19937& rng, Figures& f) {
    fresh_box();
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    const bool compressed = pick(3) == 0;
    const bool checksums = pick(2) == 0;
    std::string name = "data.bin", expected;
    std::vector<PieceSpec> pieces;
    if (compressed) {
      // A cabinet of three members, of which the set's file is one.
      std::string cabinet = read_file(testdata("big.cab"));
      name = "a.txt";
      expected = read_file(testdata("src\\a.txt"));
      for (size_t at = 0; at < cabinet.size(); at += 70000)
        pieces.push_back({splitset::chunk_for_length(static_cast<uint32_t>(std::min<size_t>(70000, cabinet.size() - at))),
                          cabinet.substr(at, 70000)});
    } else {
      for (int k = 0, n = 2 + pick(3); k < n; ++k)
        pieces.push_back({{}, pattern_bytes(1 + pick(9000), rng())});
      for (PieceSpec& piece : pieces) piece.chunk = splitset::chunk_for_length(static_cast<uint32_t>(piece.data.size()));
    }
    const int damage = pick(10);
    // The first piece is the program itself: it is cut only behind its image,
    // and never removed or replaced (it could not be started at all).
    const int victim = (damage == 5 || damage == 6) ? 1 + pick(static_cast<int>(pieces.size()) - 1)
                                                    : pick(static_cast<int>(pieces.size()));
    if (damage == 2) name = kHostileNames[pick(sizeof kHostileNames / sizeof kHostileNames[0])];
    std::string first = box_ + "\\set\\dataVRAX.exe";
    std::string payload = write_test_set(first, name, pieces, compressed, checksums);
    if (!compressed) expected = payload;
    // Damage to the header goes to the first piece, other damage to the victim.
    const bool to_header = damage == 0 || damage == 2 || damage == 3;
    std::string victim_path =
        to_header || victim == 0 ? first : piece_name(first, static_cast<uint32_t>(victim - 1));
    const size_t data_start = victim_path == first ? splitset::kFirstDataOffset : splitset::kLaterDataOffset;
    std::string bytes = read_file(victim_path);
    switch (damage) {
      case 0:  // random bytes in the header
        for (int i = 1 + pick(4); i > 0; --i)
          bytes[splitset::kHeaderOffset + pick(splitset::kHeaderSize)] = static_cast<char>(rng());
        break;
      case 1:  // random bytes in a ChunkRecord
        for (int i = 1 + pick(3); i > 0; --i)
          bytes[data_start - splitset::kChunkSize + pick(splitset::kChunkSize)] = static_cast<char>(rng());
        break;
      case 2:  // a hostile stored name, sometimes without a terminating zero
        if (pick(3) == 0) std::memset(&bytes[splitset::kHeaderOffset + 4], 'n', 259 + pick(2));
        break;
      case 3: {  // a piece count that lies
        const int32_t counts[] = {0, -1, -2147483647 - 1, 0x7FFFFFFF,
                                  static_cast<int32_t>(pieces.size()) - 1, static_cast<int32_t>(pieces.size()) + 1};
        int32_t count = counts[pick(6)];
        std::memcpy(&bytes[splitset::kHeaderOffset + 264], &count, 4);
        break;
      }
      case 4:  // a piece cut short
        bytes.resize(victim_path == first ? splitset::kJoinerImageSize +
                                                pick(static_cast<int>(bytes.size() - splitset::kJoinerImageSize))
                                          : pick(static_cast<int>(bytes.size())));
        if (bytes.empty()) write_file(victim_path, "");
        break;
      case 5:  // a piece removed
        bytes.clear();
        DeleteFileA(victim_path.c_str());
        break;
      case 6:  // a piece replaced by a folder
        bytes.clear();
        DeleteFileA(victim_path.c_str());
        CreateDirectoryA(victim_path.c_str(), nullptr);
        break;
      case 7: case 8:  // payload bytes changed
        for (int i = 1 + pick(3); i > 0 && bytes.size() > data_start; --i)
          bytes[data_start + pick(static_cast<int>(bytes.size() - data_start))] ^= static_cast<char>(1 + pick(255));
        break;
      default:  // two pieces swapped (their places in the set)
        bytes.clear();
        if (pieces.size() > 2) {
          std::string a = piece_name(first, 0), b = piece_name(first, 1), x = read_file(a);
          write_file(a, read_file(b));
          write_file(b, x);
        }
        break;
    }
    if (!bytes.empty()) write_file(victim_path, bytes);
    // A file of the stored name in the current folder, which a sound join
    // replaces and a failed one must leave alone.
    const bool plain_name = name == "data.bin" || name == "a.txt";
    if (plain_name) write_file(box_ + "\\cwd\\" + name, "the user's own file of that name");

    const bool with_target = pick(2) == 0;
    Tree before_box = list_tree(box_), before_all = list_tree(dir_.path());
    ProcessResult result = run_process("\"" + first + "\"" + (with_target ? " \"" + box_ + "\\target\"" : ""),
                                       box_ + "\\cwd", 20000);
    Tree after = list_tree(box_), after_all = list_tree(dir_.path());
    ++f.cases;
    if (result.timed_out) ++f.hangs;
    else if (result.exit_code != 0 && result.exit_code != 1) ++f.crashes;
    (result.exit_code == 0 ? f.joined : f.refused) += 1;

    // Outside the box nothing changes; inside, the set's folder stays as it
    // was, and files that were there are not lost or changed (but for the
    // file of the stored name in the current folder, which a join replaces).
    for (const auto& [path, content] : before_all)
      if (path.rfind("box\\", 0) != 0 && after_all[path] != content) ++f.written_outside;
    for (const auto& [path, content] : after_all)
      if (path.rfind("box\\", 0) != 0 && !before_all.count(path)) ++f.written_outside;
    const std::string output_path = std::string(with_target ? "target\\" : "cwd\\") + name;
    for (const auto& [path, content] : before_box) {
      auto now = after.find(path);
      bool replaced_output = result.exit_code == 0 && path == output_path;
      if (path.rfind("set\\", 0) == 0) {
        if (now == after.end() || now->second != content) ++f.pieces_changed;
      } else if (!replaced_output && (now == after.end() || now->second != content)) {
        ++f.files_lost;
        ADD_FAILURE() << "lost " << path << " (damage " << damage << ", name " << name << "): " << result.output;
      }
    }
    for (const auto& [path, content] : after)
      if (!before_box.count(path) && path.rfind("cwd\\", 0) != 0 && path.rfind("target\\", 0) != 0 &&
          path.rfind("temp\\", 0) != 0)
        ++f.written_outside;
    if (result.exit_code == 0 && after[output_path] != expected) {
      ++f.joined_wrong;
      // A set that carries its checksums never joins wrong silently.
      if (checksums) ++f.checked_wrong;
    }
    if (::testing::Test::HasFailure()) return;
    EXPECT_FALSE(result.timed_out || (result.exit_code != 0 && result.exit_code != 1))
        << "damage " << damage << " name " << name << ": " << result.exit_code << " " << result.output;
  }

  ScratchDir dir_;
  std::string box_;
  std::string saved_temp_;
};

TEST_P(Campaign, DamagedSetsNeverCrashHangOrDestroyAnything) {
  int cases = 100;
  if (const char* env = std::getenv("VELMORA_CAMPAIGN_CASES")) cases = std::atoi(env);
  std::mt19937 rng(20261209u + static_cast<unsigned>(GetParam()));
  Figures f;
  for (int i = 0; i < cases; ++i) run_case(rng, f);
  std::cout << "joiner campaign run " << GetParam() << ": " << f.cases << " cases, " << f.crashes
            << " crashes, " << f.hangs << " hangs, " << f.pieces_changed << " pieces changed, "
            << f.files_lost << " files lost, " << f.written_outside << " written outside; "
            << f.refused << " refused, " << f.joined << " joined, " << f.joined_wrong
            << " of them with exit code 0 and a wrong result (" << f.checked_wrong
            << " of those carrying checksums)\n";
  EXPECT_EQ(f.crashes, 0);
  EXPECT_EQ(f.hangs, 0);
  EXPECT_EQ(f.pieces_changed, 0);
  EXPECT_EQ(f.files_lost, 0);
  EXPECT_EQ(f.written_outside, 0);
  EXPECT_EQ(f.checked_wrong, 0);
}

INSTANTIATE_TEST_SUITE_P(Seeds, Campaign, ::testing::Values(0, 1, 2, 3));

// Two joins of sets with the same stored name at the same moment, in one
// folder: the file of that name is one of the two rebuilt files whole, never
// a mixture, and neither join loses its file: each ends with code 0, or
// (when the other holds the name at that moment) with code 1 and its whole
// rebuilt file kept where it says.
TEST(ConcurrentJoins, SameNamedSetsAtOnceNeverMix) {
  add_bin_to_path();
  ScratchDir dir;
  CreateDirectoryA((dir / "a").c_str(), nullptr);
  CreateDirectoryA((dir / "b").c_str(), nullptr);
  CreateDirectoryA((dir / "cwd").c_str(), nullptr);
  for (bool compressed : {false, true}) {
    std::string sets[2], outcomes[2];
    for (int i = 0; i < 2; ++i) {
      // Two different files of one name; compressed, two cabinets of them.
      std::string source = dir / (i ? "b\\same.bin" : "a\\same.bin");
      outcomes[i] = pattern_bytes(300000, 40 + i);
      write_file(source, outcomes[i]);
      std::string data = outcomes[i];
      if (compressed) {
        std::string cabinet = source + ".cab";
        uint32_t builder = vornex_init_cab(cabinet.c_str());
        ASSERT_NE(builder, 0u);
        EXPECT_TRUE(vornex_add_file(builder, source.c_str(), 0, 2));
        ASSERT_TRUE(vornex_close_cab(builder));
        data = read_file(cabinet);
      }
      std::vector<PieceSpec> pieces;
      for (size_t at = 0; at < data.size(); at += 100000)
        pieces.push_back({splitset::chunk_for_length(static_cast<uint32_t>(std::min<size_t>(100000, data.size() - at))),
                          data.substr(at, 100000)});
      sets[i] = dir / (i ? "b" : "a") + "\\setVRAX.exe";
      write_test_set(sets[i], "same.bin", pieces, compressed, i == 1);
    }
    const std::string out = dir / "cwd\\same.bin";
    for (int round = 0; round < 5; ++round) {
      DeleteFileA(out.c_str());
      ProcessResult results[2];
      std::thread other([&] { results[1] = run_process("\"" + sets[1] + "\"", dir / "cwd"); });
      results[0] = run_process("\"" + sets[0] + "\"", dir / "cwd");
      other.join();
      std::string got = read_file(out);
      EXPECT_TRUE(got == outcomes[0] || got == outcomes[1]) << "a mixture, " << got.size() << " bytes";
      size_t kept_files = 0;
      for (int i = 0; i < 2; ++i) {
        const ProcessResult& result = results[i];
        EXPECT_TRUE(result.exit_code == 0 || result.exit_code == 1) << result.exit_code;
        if (result.exit_code == 0) continue;
        size_t at = result.output.rfind("kept as ");
        ASSERT_NE(at, std::string::npos) << result.output;
        std::string kept = result.output.substr(at + 8, result.output.find(':', at + 10) - at - 8);
        EXPECT_EQ(read_file(kept), outcomes[i]) << result.output;
        DeleteFileA(kept.c_str());
        ++kept_files;
      }
      EXPECT_EQ(list_tree(dir / "cwd").size(), 1u) << kept_files << " kept";
    }
  }
}

}  // namespace
