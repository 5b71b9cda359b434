// The library on a real 1440 KiB drive A: (a tmpfs, see floppy_fixture.sh):
// an extraction or a build that runs out of space reports failure and leaves
// no truncated or temporary file, the file at a cabinet's path stays as it
// was, and the joiner, which trusts the extraction's result, keeps the
// cabinet of a compressed set and says so.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "split_engine.h"
#include "split_test_support.h"
#include "test_support.h"
#include "vornex.h"

namespace {

using namespace testing_support;

constexpr uint64_t kFloppyBytes = 1474560;

class CabinetFloppy : public ::testing::Test {
 protected:
  void SetUp() override {
    ULARGE_INTEGER free_bytes, total;
    if (!GetDiskFreeSpaceExA("A:\\", &free_bytes, &total, nullptr) || total.QuadPart != kFloppyBytes)
      GTEST_SKIP() << "drive A: is not a 1440 KiB tmpfs (mounting was refused?); skipped";
    remove_tree("A:");
  }
  void TearDown() override { remove_tree("A:"); }

  ScratchDir dir_;
};

TEST_F(CabinetFloppy, ExtractionOntoAFullDiskFailsAndRemovesTheTruncatedFile) {
  const std::string small = "a small file that fits\r\n", big = pattern_bytes(1100000, 31);
  ASSERT_TRUE(write_file(dir_ / "small.txt", small) && write_file(dir_ / "big.bin", big));
  const std::string cab = dir_ / "two.cab";
  ASSERT_TRUE(vornex_add_files_one_step(std::string("small.txt\0big.bin\0", 19).c_str(),
                                        cab.c_str(), 0, nullptr, 2));
  ASSERT_TRUE(write_file("A:\\filler.bin", std::string(600000, 'f')));
  uint32_t h = vornex_init_uncab(cab.c_str());
  ASSERT_NE(h, 0u);
  const std::vector<std::string> only_small = {"small.txt " + std::to_string(small.size())};
  EXPECT_EQ(vornex_uncab_all_ex(h, "A:\\out"), 0);
  EXPECT_EQ(tree_listing("A:\\out"), only_small);
  // The plain form, as the joiner calls it, into the current directory.
  ASSERT_TRUE(SetCurrentDirectoryA("A:\\out"));
  EXPECT_EQ(vornex_uncab_all(h), 0);
  SetCurrentDirectoryA(dir_.path().c_str());
  EXPECT_EQ(tree_listing("A:\\out"), only_small);
  EXPECT_EQ(vornex_close_uncab(h), 1);
}

TEST_F(CabinetFloppy, ABuildThatRunsOutOfSpaceKeepsTheOlderCabinetAndItsSource) {
  ASSERT_TRUE(write_file("A:\\archive.cab", "older cabinet"));
  ASSERT_TRUE(write_file(dir_ / "big.bin", pattern_bytes(2000000, 32)));
  EXPECT_FALSE(vornex_add_files_one_step(std::string("big.bin\0", 9).c_str(), "A:\\archive.cab", 1,
                                         nullptr, 2));
  EXPECT_EQ(read_file("A:\\archive.cab"), "older cabinet");
  EXPECT_TRUE(file_exists(dir_ / "big.bin"));
  EXPECT_EQ(tree_listing("A:"), std::vector<std::string>{"archive.cab 13"});
}

TEST_F(CabinetFloppy, TheJoinerKeepsACompressedSetsCabinetWhenExpandingRunsOutOfSpace) {
  split_testing::add_bin_to_path();
  velmora::set_joiner_image_source(split_testing::velmora_exe().c_str());
  // The joined cabinet (about 600 KB) fits beside the filler; the file it
  // expands to does not fit as well.
  ASSERT_TRUE(write_file(dir_ / "big.bin", pattern_bytes(600000, 33)));
  split_testing::TestHooks hooks;
  ASSERT_EQ(split_testing::run_split(dir_ / "big.bin", dir_ / "set", 300000, true, false, hooks),
            velmora::kSplitDone);
  ASSERT_TRUE(write_file("A:\\filler.bin", std::string(400000, 'f')));
  split_testing::ProcessResult join =
      split_testing::run_process("\"" + (dir_ / "set\\bigVRAX.exe") + "\"", "A:\\");
  EXPECT_EQ(join.exit_code, 1u) << join.output;
  std::size_t at = join.output.find("kept as ");
  ASSERT_NE(at, std::string::npos) << join.output;
  std::string kept = join.output.substr(at + 8);
  kept.erase(kept.find_last_not_of("\r\n") + 1);
  uint32_t h = vornex_init_uncab(kept.c_str());
  EXPECT_NE(h, 0u) << "the kept cabinet is whole";
  if (h) vornex_close_uncab(h);
  DeleteFileA(kept.c_str());
  EXPECT_EQ(tree_listing("A:"), std::vector<std::string>{"filler.bin 400000"});
}

}  // namespace
