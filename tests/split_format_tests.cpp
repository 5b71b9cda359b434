// The piece-name rule and the block arithmetic of the split set.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "split_set_format.h"

namespace {

using splitset::apply_piece_suffix;
using splitset::chunk_data_length;
using splitset::chunk_for_length;
using splitset::ChunkRecord;

std::string apply(std::string path, const char* suffix) {
  char buffer[splitset::kPathCapacity];
  std::strcpy(buffer, path.c_str());
  EXPECT_TRUE(apply_piece_suffix(buffer, sizeof buffer, suffix));
  return buffer;
}

std::string number(uint32_t n) {
  char text[splitset::kPieceNumberCapacity];
  splitset::format_piece_number(text, n);
  return text;
}

struct NameCase {
  const char* base;  // target directory + "\" + bare name
  const char* first;
  const char* second;
};
// Parameters print as what they say in test names and failures.
void PrintTo(const NameCase& c, std::ostream* os) { *os << c.base; }

class PieceNames : public ::testing::TestWithParam<NameCase> {};

TEST_P(PieceNames, FirstAndLaterPieceNamesFollowTheRule) {
  const NameCase& c = GetParam();
  std::string first = apply(c.base, "exe");
  EXPECT_EQ(first, c.first);
  // The rule rewrites the same buffer: the number replaces only the suffix.
  EXPECT_EQ(apply(first, number(0).c_str()), c.second);
}

INSTANTIATE_TEST_SUITE_P(
    NameTable, PieceNames,
    ::testing::Values(NameCase{"A:\\out\\report.doc", "A:\\out\\reportVRAX.exe", "A:\\out\\reportVRAX.000"},
                      NameCase{"A:\\out\\archive.tar.gz", "A:\\out\\archive.tarVRAX.exe",
                               "A:\\out\\archive.tarVRAX.000"},
                      NameCase{"A:\\out\\README", "A:\\out\\READMEVRAX.exe", "A:\\out\\READMEVRAX.000"},
                      NameCase{"A:\\out\\partVRAX.bin", "A:\\out\\partVRAX.exe", "A:\\out\\partVRAX.000"},
                      // Dots and the marker in folders do not count: the set stays in its folder.
                      NameCase{"D:\\out.dir\\data", "D:\\out.dir\\dataVRAX.exe", "D:\\out.dir\\dataVRAX.000"},
                      NameCase{"C:\\john.smith\\docs\\notes", "C:\\john.smith\\docs\\notesVRAX.exe",
                               "C:\\john.smith\\docs\\notesVRAX.000"},
                      NameCase{"C:/a.b/notes", "C:/a.b/notesVRAX.exe", "C:/a.b/notesVRAX.000"},
                      // A doubled separator (target given with a trailing backslash).
                      NameCase{"C:\\t\\\\x.bin", "C:\\t\\\\xVRAX.exe", "C:\\t\\\\xVRAX.000"},
                      NameCase{"C:\\setVRAX.d\\first.exe", "C:\\setVRAX.d\\firstVRAX.exe",
                               "C:\\setVRAX.d\\firstVRAX.000"},
                      // The writer takes the first marker, exactly as written.
                      NameCase{"C:\\aVRAX.bVRAX.c", "C:\\aVRAX.exe", "C:\\aVRAX.000"},
                      NameCase{"C:\\datavrax.bin", "C:\\datavraxVRAX.exe", "C:\\datavraxVRAX.000"}),
    [](const ::testing::TestParamInfo<NameCase>& info) { return "Name" + std::to_string(info.index); });

// A reader starts from a first piece's name as it arrived: the last marker in
// any case, its letters kept, so lowercased sets find their later pieces.
TEST(PieceNames, AReaderFindsTheLastMarkerInAnyCase) {
  const struct { const char* first; const char* second; } cases[] = {
      {"C:\\x\\datavrax.exe", "C:\\x\\datavrax.000"},
      {"C:\\x\\DATAVRAX.EXE", "C:\\x\\DATAVRAX.000"},
      {"C:\\x\\Xvrax.yvraxVRAX.exe", "C:\\x\\Xvrax.yvraxVRAX.000"},
      {"/m/keepVRAX.box/keepVRAX.exe", "/m/keepVRAX.box/keepVRAX.000"},
      {"C:\\x\\setup.exe", "C:\\x\\setupVRAX.000"},
  };
  for (const auto& c : cases) {
    char buffer[splitset::kPathCapacity];
    std::strcpy(buffer, c.first);
    EXPECT_TRUE(apply_piece_suffix(buffer, sizeof buffer, "000", splitset::MarkerSearch::kReading));
    EXPECT_STREQ(buffer, c.second) << c.first;
  }
}

TEST(PieceNumbers, HaveAtLeastThreeDigitsAndGoPast999) {
  EXPECT_EQ(number(0), "000");
  EXPECT_EQ(number(7), "007");
  EXPECT_EQ(number(999), "999");
  EXPECT_EQ(number(1000), "1000");
  EXPECT_EQ(number(4294967295u), "4294967295");
  EXPECT_EQ(apply(apply("C:\\x\\bigVRAX.999", number(1000).c_str()), number(1001).c_str()),
            "C:\\x\\bigVRAX.1001");
}

TEST(PieceNames, APathThatWouldOverflowItsBufferIsLeftUnchanged) {
  char buffer[16];
  std::strcpy(buffer, "C:\\abcdefgh.b");  // 13 characters: "VRAX.exe" needs 19
  EXPECT_FALSE(apply_piece_suffix(buffer, sizeof buffer, "exe"));
  EXPECT_STREQ(buffer, "C:\\abcdefgh.b");
  std::strcpy(buffer, "C:\\abVRAX.0");
  EXPECT_TRUE(apply_piece_suffix(buffer, sizeof buffer, "1000"));  // 14 characters and the terminator
  EXPECT_STREQ(buffer, "C:\\abVRAX.1000");
}

struct ChunkCase {
  uint32_t length;
  int32_t block_count;
  int32_t last_block_size;
};
void PrintTo(const ChunkCase& c, std::ostream* os) {
  *os << c.length << " bytes: " << c.block_count << " blocks, last " << c.last_block_size;
}

class ChunkArithmetic : public ::testing::TestWithParam<ChunkCase> {};

TEST_P(ChunkArithmetic, RecordDescribesExactlyTheDataArea) {
  const ChunkCase& c = GetParam();
  ChunkRecord chunk = chunk_for_length(c.length);
  EXPECT_EQ(chunk.reserved, 0u);
  EXPECT_EQ(chunk.block_count, c.block_count);
  EXPECT_EQ(chunk.last_block_size, c.last_block_size);
  EXPECT_EQ(chunk_data_length(chunk), c.length);
}

// The worked examples: section 10000 with payload 13049 (3060, 9988, 1),
// section 6941 with payload 6942 (1, 6929, 12), and whole-block areas.
INSTANTIATE_TEST_SUITE_P(WorkedExamples, ChunkArithmetic,
                         ::testing::Values(ChunkCase{3060, 2, 1012}, ChunkCase{9988, 5, 1796},
                                           ChunkCase{1, 1, 1}, ChunkCase{6929, 4, 785},
                                           ChunkCase{12, 1, 12}, ChunkCase{2048, 1, 2048},
                                           ChunkCase{3 * 2048, 3, 2048}, ChunkCase{2049, 2, 1},
                                           ChunkCase{0, 0, 0}));

TEST(ChunkRecords, ImpossibleRecordsHaveNoLength) {
  EXPECT_EQ(chunk_data_length(ChunkRecord{0, -1, 5}), -1);
  EXPECT_EQ(chunk_data_length(ChunkRecord{0, 1, 0}), -1);
  EXPECT_EQ(chunk_data_length(ChunkRecord{0, 1, 2049}), -1);
  EXPECT_EQ(chunk_data_length(ChunkRecord{0, 2, -3}), -1);
  EXPECT_EQ(chunk_data_length(ChunkRecord{0, 0, 99999}), 0);  // no blocks: nothing read
  // The largest count does not wrap.
  EXPECT_EQ(chunk_data_length(ChunkRecord{0, 0x7FFFFFFF, 2048}), int64_t{0x7FFFFFFF} * 2048);
}

}  // namespace
