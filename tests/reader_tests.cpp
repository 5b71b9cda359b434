// The reader exports over the real cabinet engine, on cabinets that gcab made
// on the Linux side (plain and MSZIP, with a stored directory), and on files
// that are not cabinets or are damaged.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "raw_cabinet.h"
#include "test_support.h"
#include "vornex.h"

using testing_support::dir_exists;
using testing_support::file_exists;
using testing_support::read_file;
using testing_support::ScratchDir;
using testing_support::testdata;
using testing_support::write_file;

namespace {

const std::string kA = "alpha file\r\n";
const std::string kB = "bravo in a subdirectory\n";

// Opens a cabinet of the test data for the length of a test.
class OpenCabinet {
 public:
  explicit OpenCabinet(const std::string& name) : handle_(vornex_init_uncab(testdata(name).c_str())) {}
  ~OpenCabinet() {
    if (handle_) vornex_close_uncab(handle_);
  }
  uint32_t handle() const { return handle_; }

 private:
  uint32_t handle_;
};

class TwoFileCabinet : public ::testing::TestWithParam<const char*> {
 protected:
  OpenCabinet cab{GetParam()};
  ScratchDir dir;
};

INSTANTIATE_TEST_SUITE_P(PlainAndMszip, TwoFileCabinet, ::testing::Values("two.cab", "two_mszip.cab"));

TEST_P(TwoFileCabinet, ListsBothStoredNamesInCabinetOrder) {
  ASSERT_NE(cab.handle(), 0u);
  EXPECT_EQ(vornex_file_count(cab.handle()), 2);
  char name[300];
  EXPECT_EQ(vornex_file_name_by_no(cab.handle(), name, 0), 1);
  EXPECT_STREQ(name, "a.txt");
  EXPECT_EQ(vornex_file_name_by_no(cab.handle(), name, 1), 1);
  EXPECT_STREQ(name, "sub\\b.txt");

  // Out of range or no buffer: the buffer stays as it was, the result is 1.
  std::strcpy(name, "sentinel");
  EXPECT_EQ(vornex_file_name_by_no(cab.handle(), name, 2), 1);
  EXPECT_EQ(vornex_file_name_by_no(cab.handle(), name, -1), 1);
  EXPECT_STREQ(name, "sentinel");
  EXPECT_EQ(vornex_file_name_by_no(cab.handle(), nullptr, 0), 1);
  // Listing does not write anything.
  EXPECT_FALSE(file_exists("a.txt"));
}

TEST_P(TwoFileCabinet, ByNameNeedsTheWholeCaseSensitiveStoredName) {
  ASSERT_NE(cab.handle(), 0u);
  CreateDirectoryA("sub", nullptr);
  EXPECT_EQ(vornex_uncab_by_name(cab.handle(), "b.txt"), 1);
  EXPECT_EQ(vornex_uncab_by_name(cab.handle(), "SUB\\B.TXT"), 1);
  EXPECT_FALSE(file_exists("b.txt"));
  EXPECT_FALSE(file_exists("sub\\b.txt"));

  EXPECT_EQ(vornex_uncab_by_name(cab.handle(), "sub\\b.txt"), 1);
  EXPECT_EQ(read_file("sub\\b.txt"), kB);
  EXPECT_FALSE(file_exists("a.txt"));
}

TEST_P(TwoFileCabinet, ByNameIntoADirectoryDropsTheStoredDirectories) {
  ASSERT_NE(cab.handle(), 0u);
  std::string out = dir / "out\\deeper";
  EXPECT_EQ(vornex_uncab_by_name_ex(cab.handle(), "sub\\b.txt", out.c_str()), 1);
  EXPECT_EQ(read_file(out + "\\b.txt"), kB);
  EXPECT_FALSE(dir_exists(out + "\\sub"));
}

TEST_P(TwoFileCabinet, AllIntoADirectoryKeepsTheStoredDirectories) {
  ASSERT_NE(cab.handle(), 0u);
  std::string out = dir / "out";
  EXPECT_EQ(vornex_uncab_all_ex(cab.handle(), out.c_str()), 1);
  EXPECT_EQ(read_file(out + "\\a.txt"), kA);
  EXPECT_EQ(read_file(out + "\\sub\\b.txt"), kB);
  EXPECT_FALSE(file_exists("a.txt"));

  // The plain form afterwards writes into the current directory again.
  CreateDirectoryA("sub", nullptr);
  EXPECT_EQ(vornex_uncab_all(cab.handle()), 1);
  EXPECT_EQ(read_file("a.txt"), kA);
  EXPECT_EQ(read_file("sub\\b.txt"), kB);
}

TEST_P(TwoFileCabinet, AllInTheCurrentDirectoryNeedsAnExistingSingleLevelDirectory) {
  ASSERT_NE(cab.handle(), 0u);
  // "sub\b.txt" has only one backslash, so no directory is created for it:
  // a.txt is written, then the engine stops.
  EXPECT_EQ(vornex_uncab_all(cab.handle()), 0);
  EXPECT_EQ(read_file("a.txt"), kA);
  EXPECT_FALSE(dir_exists("sub"));

  CreateDirectoryA("sub", nullptr);
  EXPECT_EQ(vornex_uncab_all(cab.handle()), 1);
  EXPECT_EQ(read_file("sub\\b.txt"), kB);
}

TEST_P(TwoFileCabinet, ReplacesAnExistingFileButFailsWhenItCannotBeCreated) {
  ASSERT_NE(cab.handle(), 0u);
  ASSERT_TRUE(write_file("a.txt", std::string(5000, 'x')));
  EXPECT_EQ(vornex_uncab_by_name(cab.handle(), "a.txt"), 1);
  EXPECT_EQ(read_file("a.txt"), kA);  // emptied, then written

  // A directory in the output's place cannot be created as a file (a
  // read-only file would do on Windows, but root under Wine may write it).
  std::string out = dir / "out";
  CreateDirectoryA(out.c_str(), nullptr);
  CreateDirectoryA((out + "\\a.txt").c_str(), nullptr);
  EXPECT_EQ(vornex_uncab_all_ex(cab.handle(), out.c_str()), 0);
}

TEST_P(TwoFileCabinet, ExtractedFilesCarryTheTimeOfExtraction) {
  ASSERT_NE(cab.handle(), 0u);
  ASSERT_EQ(vornex_uncab_by_name(cab.handle(), "a.txt"), 1);
  WIN32_FILE_ATTRIBUTE_DATA info;
  ASSERT_TRUE(GetFileAttributesExA("a.txt", GetFileExInfoStandard, &info));
  SYSTEMTIME written;
  FileTimeToSystemTime(&info.ftLastWriteTime, &written);
  EXPECT_GT(written.wYear, 2001);  // the cabinet stores 2001-02-03
}

TEST(Reader, ExtractsALargerMultiBlockCabinetByteForByte) {
  OpenCabinet cab("big.cab");
  ASSERT_NE(cab.handle(), 0u);
  EXPECT_EQ(vornex_file_count(cab.handle()), 3);
  ScratchDir dir;
  ASSERT_EQ(vornex_uncab_all(cab.handle()), 1);
  for (const char* name : {"big.txt", "noise.bin", "a.txt"}) {
    std::string expected = read_file(testdata(std::string("src\\") + name));
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(read_file(name), expected) << name;
  }
}

TEST(Reader, ACabinetPathWithoutABackslashIsLookedForInTheCurrentDirectory) {
  char previous[MAX_PATH];
  GetCurrentDirectoryA(sizeof previous, previous);
  ASSERT_TRUE(SetCurrentDirectoryA(testdata().c_str()));
  uint32_t handle = vornex_init_uncab("two.cab");
  SetCurrentDirectoryA(previous);
  ASSERT_NE(handle, 0u);
  EXPECT_EQ(vornex_file_count(handle), 2);
  ScratchDir dir;
  EXPECT_EQ(vornex_uncab_by_name_ex(handle, "a.txt", dir.path().c_str()), 0)
      << "the relative cabinet path now names a file that is not there";
  EXPECT_EQ(vornex_close_uncab(handle), 1);
}

TEST(Reader, RefusesWhatIsNotACabinet) {
  EXPECT_EQ(vornex_init_uncab(testdata("not_a_cabinet.txt").c_str()), 0u);
  EXPECT_EQ(vornex_init_uncab(testdata("no_such_file.cab").c_str()), 0u);
  EXPECT_EQ(vornex_init_uncab(testdata().c_str()), 0u);  // a directory
  EXPECT_EQ(vornex_init_uncab(nullptr), 0u);
  EXPECT_EQ(vornex_init_uncab(""), 0u);
}

TEST(Reader, HandlesThatAreNotOpenGetFailureAndTouchNothing) {
  uint32_t handle = vornex_init_uncab(testdata("two.cab").c_str());
  ASSERT_NE(handle, 0u);
  ASSERT_EQ(vornex_close_uncab(handle), 1);

  ScratchDir dir;
  for (uint32_t h : {handle, 0u, 1u, 0xdeadbeefu}) {
    char name[32] = "sentinel";
    EXPECT_EQ(vornex_close_uncab(h), 0) << h;
    EXPECT_EQ(vornex_file_count(h), 0) << h;
    EXPECT_EQ(vornex_file_name_by_no(h, name, 0), 0) << h;
    EXPECT_STREQ(name, "sentinel");
    EXPECT_EQ(vornex_uncab_by_name(h, "a.txt"), 0) << h;
    EXPECT_EQ(vornex_uncab_by_name_ex(h, "a.txt", dir.path().c_str()), 0) << h;
    EXPECT_EQ(vornex_uncab_all(h), 0) << h;
    EXPECT_EQ(vornex_uncab_all_ex(h, dir.path().c_str()), 0) << h;
  }
  EXPECT_FALSE(file_exists("a.txt"));
}

TEST(Reader, RefusesAWantedNameThatDoesNotFitAndANullOne) {
  OpenCabinet cab("two.cab");
  ASSERT_NE(cab.handle(), 0u);
  ScratchDir dir;
  std::string long_name(256, 'a');
  EXPECT_EQ(vornex_uncab_by_name(cab.handle(), long_name.c_str()), 0);
  // 255 characters still fit (nothing in the cabinet has that name).
  EXPECT_EQ(vornex_uncab_by_name(cab.handle(), long_name.substr(1).c_str()), 1);
  // A long name that begins like a stored one must not be cut down to it.
  std::string padded = "a.txt" + std::string(300, ' ');
  EXPECT_EQ(vornex_uncab_by_name(cab.handle(), padded.c_str()), 0);
  EXPECT_EQ(vornex_uncab_by_name(cab.handle(), nullptr), 0);
  EXPECT_EQ(vornex_uncab_by_name_ex(cab.handle(), nullptr, dir.path().c_str()), 0);
  EXPECT_FALSE(file_exists("a.txt"));
}

TEST(Reader, AnOutputPathBeyondThePathLimitFailsInsteadOfOverflowing) {
  OpenCabinet cab("two.cab");
  ASSERT_NE(cab.handle(), 0u);
  ScratchDir dir;
  std::string deep = dir.path() + "\\" + std::string(240, 'd') + "\\" + std::string(40, 'e');
  EXPECT_EQ(vornex_uncab_all_ex(cab.handle(), deep.c_str()), 0);
}

// Damaged cabinets must give a failure result, never a crash.
class DamagedCabinet : public ::testing::TestWithParam<const char*> {};
INSTANTIATE_TEST_SUITE_P(Cabinets, DamagedCabinet,
                         ::testing::Values("truncated.cab", "flipped.cab", "lying_counts.cab",
                                           "header_only.cab"));

TEST_P(DamagedCabinet, FailsWithoutCrashing) {
  ScratchDir dir;
  uint32_t handle = vornex_init_uncab(testdata(GetParam()).c_str());
  if (handle != 0) {
    int32_t count = vornex_file_count(handle);
    EXPECT_GE(count, 0);
    char name[300];
    for (int32_t i = 0; i < count; ++i) EXPECT_EQ(vornex_file_name_by_no(handle, name, i), 1);
    uint8_t all = vornex_uncab_all_ex(handle, dir.path().c_str());
    // Whatever the engine made of it, a file it reports as extracted intact
    // must really equal the source.
    if (all) {
      for (const char* member : {"big.txt", "noise.bin", "a.txt"}) {
        std::string got = read_file(dir / member);
        if (!got.empty()) {
          EXPECT_EQ(got, read_file(testdata(std::string("src\\") + member))) << member;
        }
      }
    }
    EXPECT_EQ(vornex_close_uncab(handle), 1);
  }
}

TEST(Reader, TruncatedCabinetDoesNotExtractCompletely) {
  OpenCabinet cab("truncated.cab");
  if (cab.handle() == 0) return;  // refused at open is a sound answer too
  ScratchDir dir;
  EXPECT_EQ(vornex_uncab_all(cab.handle()), 0);
}

}  // namespace

namespace {

// A stored name with a drive, as name mode 0 of our own builder stores it.
TEST(Reader, StoredNameWithADriveKeepsItsDirectoriesOnlyForTheAllForms) {
  ScratchDir dir;
  CreateDirectoryA("data", nullptr);
  const std::string source = dir / "data\\x.bin";
  const std::string bytes = testing_support::pattern_bytes(5000, 7);
  ASSERT_TRUE(write_file(source, bytes));
  const std::string cabinet = dir / "drive.cab";
  uint32_t builder = vornex_init_cab(cabinet.c_str());
  ASSERT_NE(builder, 0u);
  ASSERT_EQ(vornex_add_file(builder, source.c_str(), 0, 0), 1);
  ASSERT_EQ(vornex_close_cab(builder), 1);

  uint32_t handle = vornex_init_uncab(cabinet.c_str());
  ASSERT_NE(handle, 0u);
  char stored[300] = {};
  ASSERT_EQ(vornex_file_name_by_no(handle, stored, 0), 1);
  ASSERT_EQ(std::string(stored), source);
  ASSERT_EQ(stored[1], ':');

  // All into a directory: the drive goes, the directories stay behind a
  // doubled backslash.
  const std::string out = dir / "out";
  EXPECT_EQ(vornex_uncab_all_ex(handle, out.c_str()), 1);
  EXPECT_EQ(read_file(out + "\\" + (stored + 2)), bytes);
  // By name into a directory: the bare name only.
  EXPECT_EQ(vornex_uncab_by_name_ex(handle, stored, out.c_str()), 1);
  EXPECT_EQ(read_file(out + "\\x.bin"), bytes);
  // All without a directory: the stored path itself.
  ASSERT_TRUE(DeleteFileA(source.c_str()));
  EXPECT_EQ(vornex_uncab_all(handle), 1);
  EXPECT_EQ(read_file(source), bytes);
  EXPECT_EQ(vornex_close_uncab(handle), 1);
}

// Two entries with one stored name are both written to the same path; the
// later one remains.
TEST(Reader, TheLaterOfTwoEntriesWithOneNameRemains) {
  ScratchDir dir;
  CreateDirectoryA("one", nullptr);
  CreateDirectoryA("two", nullptr);
  ASSERT_TRUE(write_file(dir / "one\\same.txt", "first"));
  ASSERT_TRUE(write_file(dir / "two\\same.txt", "second"));
  const std::string cabinet = dir / "dup.cab";
  uint32_t builder = vornex_init_cab(cabinet.c_str());
  ASSERT_NE(builder, 0u);
  ASSERT_EQ(vornex_add_file(builder, (dir / "one\\same.txt").c_str(), 0, 2), 1);
  ASSERT_EQ(vornex_add_file(builder, (dir / "two\\same.txt").c_str(), 0, 2), 1);
  ASSERT_EQ(vornex_close_cab(builder), 1);

  uint32_t handle = vornex_init_uncab(cabinet.c_str());
  ASSERT_NE(handle, 0u);
  EXPECT_EQ(vornex_file_count(handle), 2);
  EXPECT_EQ(vornex_uncab_all(handle), 1);
  EXPECT_EQ(read_file("same.txt"), "second");
  EXPECT_EQ(vornex_uncab_by_name_ex(handle, "same.txt", (dir / "out").c_str()), 1);
  EXPECT_EQ(read_file(dir / "out\\same.txt"), "second");
  EXPECT_EQ(vornex_close_uncab(handle), 1);
}

}  // namespace

namespace {

// In the "_ex" forms a stored name whose normalised full path leaves the
// destination is not written; the other files are, and the result is 0.
// Nothing appears outside the destination (a listing of the folders above it
// is compared). The last row climbs out and back in, which stays inside.
TEST(Reader, StoredNamesThatLeaveTheDestinationAreNotWritten) {
  struct Case {
    const char* name;
    bool all_inside;      // dest + "\" + the name after its first colon
    bool by_name_inside;  // dest + "\" + the name after its last backslash
  } cases[] = {
      {"..\\x", false, true},     {"a\\..\\..\\x", false, true}, {"../x", false, false},
      {"\\\\?\\C:\\x", true, true}, {"C:..\\x", false, true},     {"CON", false, false},
      {"d\\..\\x", true, true},
  };
  ScratchDir dir;
  CreateDirectoryA("top", nullptr);
  ASSERT_TRUE(write_file("top\\canary.txt", "canary"));
  const std::string dest = dir / "top\\dest", bare = dir / "top\\bare";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    raw_cabinet::Member escaping{c.name, "escaped"};
    ASSERT_TRUE(write_file("case.cab", raw_cabinet::build({{"good.txt", "good"}, escaping,
                                                            {"sub\\last.txt", "last"}})));
    std::vector<std::string> before = testing_support::tree_listing(dir.path(), {"top\\dest", "top\\bare"});
    uint32_t h = vornex_init_uncab((dir / "case.cab").c_str());
    ASSERT_NE(h, 0u);
    EXPECT_EQ(vornex_uncab_all_ex(h, dest.c_str()), c.all_inside ? 1 : 0);
    EXPECT_EQ(read_file(dest + "\\good.txt"), "good");
    EXPECT_EQ(read_file(dest + "\\sub\\last.txt"), "last");
    EXPECT_EQ(vornex_uncab_by_name_ex(h, c.name, bare.c_str()), c.by_name_inside ? 1 : 0);
    if (c.by_name_inside) {
      EXPECT_EQ(read_file(bare + "\\x"), "escaped");
    }
    EXPECT_EQ(vornex_close_uncab(h), 1);
    EXPECT_EQ(testing_support::tree_listing(dir.path(), {"top\\dest", "top\\bare"}), before);
    std::vector<std::string> written = testing_support::tree_listing(dest);
    EXPECT_EQ(std::count(written.begin(), written.end(), "x 7"), c.all_inside ? 1 : 0);
    testing_support::remove_tree(dest);
    testing_support::remove_tree(bare);
  }
}

}  // namespace

namespace {

// Damage that Wine's engine mishandles never reaches it: a header that
// declares files but no folder (the engine follows a null folder) is refused
// at the open, and a data block that does not match its checksum (the engine
// would expand it unchecked, which can write past its buffers) fails the
// extraction before anything is written.
TEST(Reader, DamageTheEngineMishandlesIsRefusedBeforeTheEngineSeesIt) {
  ScratchDir dir;
  const std::string good = raw_cabinet::build({{"a.txt", "alpha"}, {"b.txt", "bravo"}});
  std::string no_folder = good;
  no_folder[26] = 0;  // cFolders
  ASSERT_TRUE(write_file("no_folder.cab", no_folder));
  EXPECT_EQ(vornex_init_uncab((dir / "no_folder.cab").c_str()), 0u);

  std::string damaged = good;
  damaged[damaged.size() - 1] ^= 0x20;  // "bravo" becomes "bravO"
  ASSERT_TRUE(write_file("damaged.cab", damaged));
  uint32_t h = vornex_init_uncab((dir / "damaged.cab").c_str());
  ASSERT_NE(h, 0u);
  EXPECT_EQ(vornex_file_count(h), 2) << "the listing expands nothing and still works";
  EXPECT_EQ(vornex_uncab_all_ex(h, (dir / "out").c_str()), 0);
  EXPECT_EQ(vornex_uncab_by_name_ex(h, "a.txt", (dir / "out").c_str()), 0);
  EXPECT_TRUE(testing_support::tree_listing(dir / "out").empty());
  EXPECT_EQ(vornex_close_uncab(h), 1);
}

}  // namespace
