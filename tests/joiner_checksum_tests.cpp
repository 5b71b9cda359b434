// Sets made by the real splitter, copies of them damaged the ways pieces come
// back from disks and mail, each joined by running its first piece: a damaged
// copy never joins with exit code 0, the damaged piece is named where the
// checksum file lies beside the set, no piece is changed and no file is left
// under the source's name. Sound copies join silently, and the rebuilt file
// carries the source's last-write time.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "split_engine.h"
#include "split_test_support.h"
#include "test_support.h"

namespace {

using namespace testing_support;
using namespace split_testing;

// Set A: source.bin split into pieces of 12000 bytes; set B: another file of
// the same size and name, split the same way (its pieces fit A's places).
constexpr int32_t kSection = 12000;
constexpr size_t kSourceSize = 50000;

enum class Damage { kNone, kByte, kSwap, kForeign, kShort, kRecordShort };

struct Case {
  const char* label;
  Damage damage;
  int piece;          // the damaged piece: 0 the first, 1 piece 000, ...
  bool checksum_file;  // the .sfv stays beside the set
  bool names_piece;   // the message names the damaged piece (else: "damaged set")
};
void PrintTo(const Case& c, std::ostream* os) { *os << c.label; }

class DamagedCopy : public ::testing::TestWithParam<std::tuple<Case, bool>> {
 protected:
  void SetUp() override {
    add_bin_to_path();
    velmora::set_joiner_image_source(velmora_exe().c_str());
  }

  // Splits a source of pattern `seed` into `folder`; returns the first piece.
  std::string make_set(const std::string& folder, unsigned seed, bool compress) {
    std::string source_dir = dir_ / ("src" + std::to_string(seed));
    CreateDirectoryA(source_dir.c_str(), nullptr);
    std::string source = source_dir + "\\source.bin";
    // Text that compresses, behind bytes that do not: a compressed set
    // still has several pieces.
    std::string bytes = pattern_bytes(compress ? kSourceSize : 0, seed);
    while (bytes.size() < kSourceSize * (compress ? 2 : 1))
      bytes += "line " + std::to_string(bytes.size() * seed) + " of text\r\n";
    write_file(source, bytes);
    FILETIME old_time{0x12345678, 0x01C00000};  // 1999
    HANDLE file = CreateFileA(source.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    SetFileTime(file, nullptr, nullptr, &old_time);
    CloseHandle(file);
    sources_[seed] = bytes;
    EXPECT_EQ(run_split(source, folder, kSection, compress, false, hooks_), velmora::kSplitDone);
    return folder + "\\sourceVRAX.exe";
  }

  ScratchDir dir_;
  TestHooks hooks_;
  std::string sources_[3];
};

TEST_P(DamagedCopy, NeverJoinsWrongAndNamesThePiece) {
  const auto& [c, compress] = GetParam();
  std::string first = make_set(dir_ / "a", 1, compress);
  std::string other = make_set(dir_ / "b", 2, compress);
  SetOnDisk set = read_set(first);
  ASSERT_TRUE(set.readable);
  ASSERT_GE(set.pieces.size(), 4u);
  const int piece = c.piece < 0 ? static_cast<int>(set.pieces.size()) + c.piece : c.piece;
  std::string victim = set.pieces[piece].name;
  std::string bytes = read_file(victim);
  switch (c.damage) {
    case Damage::kNone:
      break;
    case Damage::kByte:
      bytes[bytes.size() - 100] ^= 0x20;
      break;
    case Damage::kSwap:
      bytes = read_file(set.pieces[piece + 1].name);
      write_file(set.pieces[piece + 1].name, read_file(victim));
      break;
    case Damage::kForeign:
      bytes = read_file(read_set(other).pieces[piece].name);
      break;
    case Damage::kShort:
      bytes.resize(bytes.size() - 700);
      break;
    case Damage::kRecordShort: {
      // The ChunkRecord claims one block less: the piece's file is left as it is.
      size_t at = piece == 0 ? splitset::kFirstChunkOffset : 0;
      int32_t blocks;
      std::memcpy(&blocks, &bytes[at + 4], 4);
      blocks -= 1;
      std::memcpy(&bytes[at + 4], &blocks, 4);
      break;
    }
  }
  write_file(victim, bytes);
  std::string sfv = dir_ / "a\\sourceVRAX.sfv";
  ASSERT_TRUE(file_exists(sfv));
  if (!c.checksum_file) DeleteFileA(sfv.c_str());

  std::map<std::string, std::string> pieces_before = list_tree(dir_ / "a");
  std::string cwd = dir_ / "cwd";
  CreateDirectoryA(cwd.c_str(), nullptr);
  ProcessResult result = run_process("\"" + first + "\"", cwd);
  EXPECT_EQ(list_tree(dir_ / "a"), pieces_before) << "a piece was changed";
  if (c.damage == Damage::kNone) {
    EXPECT_EQ(result.exit_code, 0u) << result.output;
    EXPECT_EQ(result.output, "");
    EXPECT_EQ(read_file(cwd + "\\source.bin"), sources_[1]);
    WIN32_FILE_ATTRIBUTE_DATA info;
    ASSERT_TRUE(GetFileAttributesExA((cwd + "\\source.bin").c_str(), GetFileExInfoStandard, &info));
    EXPECT_EQ(info.ftLastWriteTime.dwHighDateTime, 0x01C00000u);
    return;
  }
  EXPECT_EQ(result.exit_code, 1u) << result.output;
  EXPECT_EQ(std::count(result.output.begin(), result.output.end(), '\n'), 1) << result.output;
  std::string named = c.names_piece ? victim.substr(victim.rfind('\\') + 1) : "damaged set";
  EXPECT_NE(result.output.find(named), std::string::npos) << result.output;
  EXPECT_FALSE(file_exists(cwd + "\\source.bin"));
  // The joined data, where kept, is what the pieces hold, nothing lost.
  size_t at = result.output.rfind("kept as ");
  if (at != std::string::npos)
    EXPECT_TRUE(file_exists(result.output.substr(at + 8, result.output.find_first_of("\r\n", at) - at - 8)));
}

const Case kCases[] = {
    {"Sound", Damage::kNone, 0, true, true},
    {"SoundWithoutChecksumFile", Damage::kNone, 0, false, false},
    {"ByteInFirstPiece", Damage::kByte, 0, true, true},
    {"ByteInMiddlePiece", Damage::kByte, 2, true, true},
    {"ByteInLastPiece", Damage::kByte, -1, true, true},
    {"TwoPiecesSwapped", Damage::kSwap, 1, true, true},
    {"PieceOfAnotherSet", Damage::kForeign, 2, true, true},
    {"PieceCutShort", Damage::kShort, 1, true, true},
    {"RecordOneBlockShort", Damage::kRecordShort, 2, true, true},
    // Without the checksum file the record in the first piece catches it.
    {"ByteWithoutChecksumFile", Damage::kByte, 2, false, false},
    {"SwapWithoutChecksumFile", Damage::kSwap, 1, false, false},
    {"RecordShortWithoutChecksumFile", Damage::kRecordShort, 2, false, false},
};

INSTANTIATE_TEST_SUITE_P(
    RealSets, DamagedCopy, ::testing::Combine(::testing::ValuesIn(kCases), ::testing::Bool()),
    [](const ::testing::TestParamInfo<DamagedCopy::ParamType>& info) {
      return std::string(std::get<0>(info.param).label) + (std::get<1>(info.param) ? "Compressed" : "Plain");
    });

// A checksum file that is itself damaged (one line wrong) stops the join,
// and the message names both the piece and the checksum file, so that a
// sound piece is never condemned without saying which file disagrees.
TEST(DamagedChecksumFile, NamesThePieceAndTheChecksumFile) {
  add_bin_to_path();
  velmora::set_joiner_image_source(velmora_exe().c_str());
  ScratchDir dir;
  TestHooks hooks;
  write_file(dir / "source.bin", pattern_bytes(40000, 3));
  ASSERT_EQ(run_split(dir / "source.bin", dir / "set", kSection, false, false, hooks), velmora::kSplitDone);
  std::string sfv = read_file(dir / "set\\sourceVRAX.sfv");
  size_t line = sfv.find("sourceVRAX.001 ");
  ASSERT_NE(line, std::string::npos) << sfv;
  char& digit = sfv[line + 15];
  digit = digit == '0' ? '1' : '0';
  write_file(dir / "set\\sourceVRAX.sfv", sfv);
  CreateDirectoryA((dir / "cwd").c_str(), nullptr);
  ProcessResult result = run_process("\"" + dir / "set\\sourceVRAX.exe" + "\"", dir / "cwd");
  EXPECT_EQ(result.exit_code, 1u);
  EXPECT_NE(result.output.find("sourceVRAX.001"), std::string::npos) << result.output;
  EXPECT_NE(result.output.find("sourceVRAX.sfv"), std::string::npos) << result.output;
  EXPECT_TRUE(files_in(dir / "cwd").empty());
}

}  // namespace
