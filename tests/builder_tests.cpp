// The builder exports (init, add, close, progress) against the real engine
// through the real export table. Every cabinet built here is read back with
// the library's reader and later checked by cabextract and gcab
// (check_built_cabinets.sh).
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "built_cabinets.h"
#include "test_support.h"
#include "vornex.h"

using built_cabinets::Expected;
using testing_support::ScratchDir;
using testing_support::file_exists;
using testing_support::dir_exists;
using testing_support::pattern_bytes;
using testing_support::read_file;
using testing_support::write_file;

namespace {

// A scratch directory (current for the test) with a source tree in it.
class BuilderTest : public ::testing::Test {
 protected:
  std::string make(const std::string& relative, const std::string& bytes) {
    std::string path = dir_ / relative;
    for (std::size_t i = relative.find('\\'); i != std::string::npos; i = relative.find('\\', i + 1))
      CreateDirectoryA((dir_ / relative.substr(0, i)).c_str(), nullptr);
    EXPECT_TRUE(write_file(path, bytes));
    return path;
  }

  ScratchDir dir_;
};

TEST_F(BuilderTest, NameModesStoreFullPathFullPathAndBareName) {
  std::string text = "line of text\r\n";
  for (int i = 0; i < 12; ++i) text += text;  // 57 KiB: more than one data block
  std::string a = make("data\\sub\\a.txt", text);
  std::string empty = make("data\\sub\\empty.bin", "");
  struct Case {
    uint32_t mode;
    std::string a_name, empty_name;
  } cases[] = {
      {0, a, empty},
      {1, a, empty},  // no base folder for a single file: the whole path
      {2, "a.txt", "empty.bin"},
      {0x10002, "a.txt", "empty.bin"},  // only the low 16 bits count
  };
  int n = 0;
  for (const Case& c : cases) {
    std::string cab = built_cabinets::cabinet_path_for_test(n++);
    uint32_t h = vornex_init_cab(cab.c_str());
    ASSERT_NE(h, 0u);
    EXPECT_TRUE(vornex_add_file(h, a.c_str(), 0, c.mode));
    EXPECT_TRUE(vornex_add_file(h, empty.c_str(), 0, c.mode));
    EXPECT_TRUE(vornex_close_cab(h));
    std::vector<Expected> files = {{c.a_name, text}, {c.empty_name, ""}};
    built_cabinets::expect_cabinet(cab, files);
  }
}

TEST_F(BuilderTest, LargeMixedSourcesSpanSeveralFoldersAndRoundTrip) {
  // Past the folder threshold (900000 bytes): the engine starts new folders.
  std::string noise = pattern_bytes(1500000, 7);
  std::string text;
  for (int i = 0; i < 40000; ++i) text += "row " + std::to_string(i) + " of the larger text\n";
  std::string cab = built_cabinets::cabinet_path_for_test();
  uint32_t h = vornex_init_cab(cab.c_str());
  ASSERT_NE(h, 0u);
  EXPECT_TRUE(vornex_add_file(h, make("noise.bin", noise).c_str(), 0, 2));
  EXPECT_TRUE(vornex_add_file(h, make("text.txt", text).c_str(), 0, 2));
  EXPECT_TRUE(vornex_close_cab(h));
  std::vector<Expected> files = {{"noise.bin", noise}, {"text.txt", text}};
  built_cabinets::expect_cabinet(cab, files);

  // Every folder is MSZIP: CFHEADER is 36 bytes without reserves, then one
  // 8-byte CFFOLDER per folder with typeCompress in its last two bytes.
  std::string bytes = read_file(cab);
  ASSERT_GT(bytes.size(), 36u);
  unsigned folders = static_cast<unsigned char>(bytes[26]) | static_cast<unsigned char>(bytes[27]) << 8;
  EXPECT_GE(folders, 2u);
  for (unsigned f = 0; f < folders; ++f) {
    std::size_t at = 36 + 8 * f + 6;
    EXPECT_EQ(bytes[at] | bytes[at + 1] << 8, 1) << "folder " << f << " is not MSZIP";
  }
}

TEST_F(BuilderTest, BareCabinetNameGoesIntoTheCurrentDirectory) {
  std::string src = make("in.txt", "bare name cabinet");
  uint32_t h = vornex_init_cab("bare.cab");
  ASSERT_NE(h, 0u);
  EXPECT_TRUE(vornex_add_file(h, src.c_str(), 0, 2));
  EXPECT_FALSE(file_exists(dir_ / "bare.cab"));
  EXPECT_TRUE(vornex_close_cab(h));
  ASSERT_TRUE(file_exists(dir_ / "bare.cab"));
  std::string cab = built_cabinets::cabinet_path_for_test();
  ASSERT_TRUE(CopyFileA((dir_ / "bare.cab").c_str(), cab.c_str(), FALSE));
  std::vector<Expected> files = {{"in.txt", "bare name cabinet"}};
  built_cabinets::expect_cabinet(cab, files);
}

TEST_F(BuilderTest, DirectoriesComeAtInitAndTheCabinetOnlyAtClose) {
  std::string src = make("in.txt", "x");
  std::string cab = dir_ / "new\\deeper\\out.cab";
  uint32_t h = vornex_init_cab(cab.c_str());
  ASSERT_NE(h, 0u);
  EXPECT_TRUE(dir_exists(dir_ / "new\\deeper"));
  EXPECT_TRUE(vornex_add_file(h, src.c_str(), 0, 2));
  EXPECT_FALSE(file_exists(cab));
  EXPECT_TRUE(vornex_close_cab(h));
  EXPECT_TRUE(file_exists(cab));
  EXPECT_EQ(built_cabinets::list_with_reader(cab), std::vector<std::string>{"in.txt"});
}

TEST_F(BuilderTest, MissingFileLogsOneLineAndTheBuilderStaysUsable) {
  std::string good = make("good.txt", "still added");
  std::string missing = dir_ / "no such file.txt";
  std::string cab = built_cabinets::cabinet_path_for_test();
  uint32_t h = vornex_init_cab(cab.c_str());
  ASSERT_NE(h, 0u);
  EXPECT_FALSE(vornex_add_file(h, missing.c_str(), 1, 2));
  EXPECT_EQ(built_cabinets::log_messages(), std::vector<std::string>{"Cant open file - " + missing});
  EXPECT_TRUE(vornex_add_file(h, good.c_str(), 0, 2));
  EXPECT_TRUE(vornex_close_cab(h));
  EXPECT_EQ(built_cabinets::log_messages().size(), 1u);
  std::vector<Expected> files = {{"good.txt", "still added"}};
  built_cabinets::expect_cabinet(cab, files);
}

TEST_F(BuilderTest, DeleteAfterRemovesTheSourceOnlyAtTheClose) {
  std::string kept = make("kept.txt", "kept");
  std::string gone = make("gone.txt", "gone after the close");
  std::string cab = built_cabinets::cabinet_path_for_test();
  uint32_t h = vornex_init_cab(cab.c_str());
  ASSERT_NE(h, 0u);
  EXPECT_TRUE(vornex_add_file(h, gone.c_str(), 0x101, 2));  // low byte 1: set
  EXPECT_TRUE(vornex_add_file(h, kept.c_str(), 0x100, 2));  // low byte 0: not set
  EXPECT_TRUE(file_exists(gone));
  EXPECT_TRUE(vornex_close_cab(h));
  EXPECT_FALSE(file_exists(gone));
  EXPECT_TRUE(file_exists(kept));
  std::vector<Expected> files = {{"gone.txt", "gone after the close"}, {"kept.txt", "kept"}};
  built_cabinets::expect_cabinet(cab, files);
}

TEST_F(BuilderTest, FailedWriteIsReportedAndKeepsTheSources) {
  // The cabinet's directory is an existing file: the engine cannot create the
  // cabinet at the flush.
  std::string blocker = make("blocker", "a file where a directory should be");
  std::string src = make("src.txt", "must survive");
  uint32_t h = vornex_init_cab((blocker + "\\out.cab").c_str());
  ASSERT_NE(h, 0u);
  EXPECT_TRUE(vornex_add_file(h, src.c_str(), 1, 2));
  EXPECT_FALSE(vornex_close_cab(h));
  EXPECT_TRUE(file_exists(src)) << "a source was deleted though no cabinet holds it";
  EXPECT_TRUE(vornex_close_cab(h)) << "a handle that is no longer open";
  EXPECT_EQ(vornex_cab_progress(h), 0.0);
}

TEST_F(BuilderTest, UnreadableSourcesAreRefusedAndTheCabinetIsStillWritten) {
  // Held without sharing, or open for writing elsewhere: the engine could not
  // read either, so the add refuses them itself (the engine cannot write a
  // cabinet after it failed to open a source).
  std::string unshared = make("unshared.txt", "unshared");
  std::string written = make("written.txt", "being written");
  std::string good = make("good.txt", "good");
  std::string cab = built_cabinets::cabinet_path_for_test();
  uint32_t h = vornex_init_cab(cab.c_str());
  ASSERT_NE(h, 0u);
  HANDLE hold = CreateFileA(unshared.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  HANDLE writer = CreateFileA(written.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(hold, INVALID_HANDLE_VALUE);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(vornex_add_file(h, unshared.c_str(), 1, 2));
  EXPECT_FALSE(vornex_add_file(h, written.c_str(), 1, 2));
  EXPECT_TRUE(vornex_add_file(h, good.c_str(), 0, 2));
  CloseHandle(hold);
  CloseHandle(writer);
  EXPECT_TRUE(vornex_close_cab(h));
  EXPECT_TRUE(file_exists(unshared));
  EXPECT_TRUE(file_exists(written));
  EXPECT_EQ(built_cabinets::log_messages(),
            (std::vector<std::string>{"Cant open file - " + unshared, "Cant open file - " + written}));
  std::vector<Expected> files = {{"good.txt", "good"}};
  built_cabinets::expect_cabinet(cab, files);
}

// Wine gives every file the archive bit and keeps no bits beyond these four,
// so the dropping of other bits cannot be shown with a real file here.
TEST_F(BuilderTest, StoredAttributesKeepReadOnlyHiddenSystemArchive) {
  struct Case {
    const char* name;
    DWORD set;
    const char* stored;
  } cases[] = {
      {"ro_hidden.txt", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE,
       "0x23"},
      {"archive.txt", FILE_ATTRIBUTE_ARCHIVE, "0x20"},
      {"system.txt", FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE, "0x24"},
  };
  std::string cab = built_cabinets::cabinet_path_for_test();
  uint32_t h = vornex_init_cab(cab.c_str());
  ASSERT_NE(h, 0u);
  std::vector<Expected> files;
  for (const Case& c : cases) {
    std::string path = make(c.name, c.name);
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), c.set));
    DWORD got = GetFileAttributesA(path.c_str());
    ASSERT_EQ(got & 0x27, c.set & 0x27) << c.name << ": Wine did not keep the bits";
    EXPECT_TRUE(vornex_add_file(h, path.c_str(), 0, 2)) << c.name;
    files.push_back({c.name, c.name, c.stored});
  }
  EXPECT_TRUE(vornex_close_cab(h));
  built_cabinets::expect_cabinet(cab, files);
}

TEST_F(BuilderTest, StoredTimeIsTheLocalLastWriteAtDosResolution) {
  std::string odd = make("odd_second.txt", "odd");
  std::string old = make("before_1980.txt", "old");
  ASSERT_TRUE(built_cabinets::set_local_write_time(odd, 2019, 7, 14, 13, 37, 41));
  if (!built_cabinets::set_local_write_time(old, 1975, 5, 6, 7, 8, 10))
    GTEST_SKIP() << "this file system cannot hold a time before 1980";
  std::string cab = built_cabinets::cabinet_path_for_test();
  uint32_t h = vornex_init_cab(cab.c_str());
  ASSERT_NE(h, 0u);
  EXPECT_TRUE(vornex_add_file(h, odd.c_str(), 0, 2));
  EXPECT_TRUE(vornex_add_file(h, old.c_str(), 0, 2));
  EXPECT_TRUE(vornex_close_cab(h));
  // A time with no DOS form is stored as the earliest DOS time.
  std::vector<Expected> files = {{"odd_second.txt", "odd", "-", "2019-07-14 13:37:40"},
                                 {"before_1980.txt", "old", "-", "1980-01-01 00:00:00"}};
  built_cabinets::expect_cabinet(cab, files);
}

TEST_F(BuilderTest, ProgressOfAnInitCabBuilderReadsZeroUntilAndAfterTheClose) {
  std::string src = make("p.bin", pattern_bytes(300000, 3));
  uint32_t h = vornex_init_cab((dir_ / "p.cab").c_str());
  ASSERT_NE(h, 0u);
  EXPECT_EQ(vornex_cab_progress(h), 0.0);
  EXPECT_TRUE(vornex_add_file(h, src.c_str(), 0, 2));
  EXPECT_EQ(vornex_cab_progress(h), 0.0);
  EXPECT_TRUE(vornex_close_cab(h));
  EXPECT_EQ(vornex_cab_progress(h), 0.0);
}

TEST_F(BuilderTest, ClosedAndUnknownHandlesAreRefusedWithoutHarm) {
  std::string src = make("s.txt", "s");
  uint32_t h = vornex_init_cab((dir_ / "c.cab").c_str());
  ASSERT_NE(h, 0u);
  EXPECT_TRUE(vornex_close_cab(h));
  EXPECT_TRUE(vornex_close_cab(h));  // second close: nothing, true
  EXPECT_FALSE(vornex_add_file(h, src.c_str(), 1, 2));
  for (uint32_t unknown : {0u, 1u, 0xdeadbeefu}) {
    EXPECT_FALSE(vornex_add_file(unknown, src.c_str(), 1, 2));
    EXPECT_EQ(vornex_cab_progress(unknown), 0.0);
    EXPECT_TRUE(vornex_close_cab(unknown));
    EXPECT_FALSE(vornex_add_folder(unknown, dir_.path().c_str(), 1, 1, 1));
  }
  EXPECT_TRUE(file_exists(src));
}

TEST_F(BuilderTest, InputsOutsideTheInterfaceAreRefused) {
  std::string src = make("s.txt", "s");
  EXPECT_EQ(vornex_init_cab(nullptr), 0u);
  std::string long_name(256, 'n');
  EXPECT_EQ(vornex_init_cab((dir_ / long_name).c_str()), 0u);
  EXPECT_EQ(vornex_init_cab(long_name.c_str()), 0u);
  std::string long_dir = "C:\\" + std::string(253, 'd') + "\\x.cab";  // directory part: 257
  EXPECT_EQ(vornex_init_cab(long_dir.c_str()), 0u);

  std::string cab = built_cabinets::cabinet_path_for_test();
  uint32_t h = vornex_init_cab(cab.c_str());
  ASSERT_NE(h, 0u);
  EXPECT_FALSE(vornex_add_file(h, nullptr, 1, 2));
  EXPECT_FALSE(vornex_add_file(h, src.c_str(), 1, 3));
  EXPECT_FALSE(vornex_add_file(h, src.c_str(), 1, 0xFFFF));
  EXPECT_TRUE(vornex_close_cab(h));
  EXPECT_TRUE(file_exists(src)) << "a refused add queued its source";
  EXPECT_TRUE(built_cabinets::log_messages().empty());
  built_cabinets::write_expectations(cab, {});
}

TEST_F(BuilderTest, StoredNameLongerThan255IsRefusedButItsBareNameIsNot) {
  // A real file whose full path is 256 to 259 characters long.
  std::string relative;
  while ((dir_.path().size() + 1 + relative.size()) < 230) relative += "dddddddddd\\";
  std::string leaf(256 - (dir_.path().size() + 1 + relative.size()) + 2, 'f');
  std::string path = make(relative + leaf, "deep");
  ASSERT_GE(path.size(), 256u);
  ASSERT_LT(path.size(), 260u);
  std::string cab = built_cabinets::cabinet_path_for_test();
  uint32_t h = vornex_init_cab(cab.c_str());
  ASSERT_NE(h, 0u);
  EXPECT_FALSE(vornex_add_file(h, path.c_str(), 1, 0));
  EXPECT_TRUE(vornex_add_file(h, path.c_str(), 0, 2));
  EXPECT_TRUE(vornex_close_cab(h));
  EXPECT_TRUE(file_exists(path));
  std::vector<Expected> files = {{leaf, "deep"}};
  built_cabinets::expect_cabinet(cab, files);
}

TEST_F(BuilderTest, SourcesOfTwoGigabytesLessThirtyTwoKilobytesOrMoreAreRefused) {
  struct Sparse {
    const char* name;
    uint64_t size;
  } sparse[] = {{"limit.bin", 0x7FFF8000ull},
                {"past_4g.bin", 0x100000010ull},
                // Under the limit, but the cabinet could not hold it stored:
                // refused before the engine reads it.
                {"just_under.bin", 0x7FFF7FFFull}};
  std::string cab = built_cabinets::cabinet_path_for_test();
  uint32_t h = vornex_init_cab(cab.c_str());
  ASSERT_NE(h, 0u);
  for (const Sparse& s : sparse) {
    std::string path = dir_ / s.name;
    std::string not_sparse = built_cabinets::make_sparse(path, s.size);
    if (!not_sparse.empty()) {
      vornex_close_cab(h);
      GTEST_SKIP() << not_sparse;
    }
    EXPECT_FALSE(vornex_add_file(h, path.c_str(), 1, 2)) << s.name;
  }
  std::string small = make("small.txt", "small");
  EXPECT_TRUE(vornex_add_file(h, small.c_str(), 0, 2));
  EXPECT_TRUE(vornex_close_cab(h));
  for (const Sparse& s : sparse) EXPECT_TRUE(file_exists(dir_ / s.name)) << s.name;
  EXPECT_EQ(built_cabinets::log_messages(),
            std::vector<std::string>{"Cabinet format limit - " + (dir_ / "just_under.bin")});
  std::vector<Expected> files = {{"small.txt", "small"}};
  built_cabinets::expect_cabinet(cab, files);
  for (const Sparse& s : sparse) DeleteFileA((dir_ / s.name).c_str());
}

}  // namespace

namespace {

// The cabinet is written under a temporary name beside its path: a close that
// fails (Wine's engine cannot write a cabinet of empty files only) leaves the
// older file at the path as it was, its source, and no temporary file; a close
// that succeeds replaces the older file.
TEST_F(BuilderTest, AFailedCloseKeepsTheFileAtTheCabinetsPathAndLeavesNoTemporaryFile) {
  std::string cab = make("out\\archive.cab", "an older file the caller still has");
  std::string empty = make("empty.txt", "");
  uint32_t h = vornex_init_cab(cab.c_str());
  ASSERT_NE(h, 0u);
  EXPECT_TRUE(vornex_add_file(h, empty.c_str(), 1, 2));
  EXPECT_FALSE(vornex_close_cab(h));
  EXPECT_EQ(read_file(cab), "an older file the caller still has");
  EXPECT_TRUE(file_exists(empty));
  EXPECT_EQ(testing_support::files_in(dir_ / "out"), std::vector<std::string>{"archive.cab"});

  std::string src = make("in.txt", "replaces it");
  h = vornex_init_cab(cab.c_str());
  ASSERT_NE(h, 0u);
  EXPECT_TRUE(vornex_add_file(h, src.c_str(), 0, 2));
  EXPECT_TRUE(vornex_close_cab(h));
  EXPECT_EQ(testing_support::files_in(dir_ / "out"), std::vector<std::string>{"archive.cab"});
  built_cabinets::check_with_reader(cab, {{"in.txt", "replaces it"}});
}

// A source that changed after the engine read it is no longer what the
// cabinet holds, so delete-after keeps it.
TEST_F(BuilderTest, DeleteAfterKeepsASourceThatChangedAfterItWasAdded) {
  std::string changed = make("changed.txt", "as added");
  std::string cab = dir_ / "c.cab";
  uint32_t h = vornex_init_cab(cab.c_str());
  ASSERT_NE(h, 0u);
  EXPECT_TRUE(vornex_add_file(h, changed.c_str(), 1, 2));
  ASSERT_TRUE(write_file(changed, "changed since, and longer"));
  EXPECT_TRUE(vornex_close_cab(h));
  EXPECT_EQ(read_file(changed), "changed since, and longer");
}

}  // namespace

namespace {

// A progress callback reaches the builder it reports on through a closed
// handle whose value the engine gave to that builder: closing it or adding
// to it from there is refused, and the build goes on whole.
uint32_t g_reached = 0;
std::string g_extra;
std::vector<std::string> g_inside;  // what each call from the callback gave
void __stdcall reach_own_builder(double percent) {
  if (percent >= 100.0) return;
  g_inside.push_back(std::to_string(vornex_cab_progress(g_reached) == percent && percent > 0.0) +
                     std::to_string(vornex_add_file(g_reached, g_extra.c_str(), 0, 2)) +
                     std::to_string(vornex_close_cab(g_reached)));
}

TEST_F(BuilderTest, AProgressCallbackCannotCloseOrAddToTheBuilderInsideAnAdd) {
  std::string a = make("a.bin", pattern_bytes(200000, 3));
  std::string b = make("b.bin", pattern_bytes(70000, 4));
  g_extra = make("extra.txt", "never added");
  std::string cab = built_cabinets::cabinet_path_for_test();
  std::string list = a + '\0' + b + '\0' + '\0';
  g_inside.reserve(100);
  // Nothing allocates between the close and the next open, so that the
  // engine gives the next builder the closed one's value.
  uint32_t closed = vornex_init_cab(cab.c_str());
  ASSERT_NE(closed, 0u);
  vornex_close_cab(closed);
  g_reached = closed;
  EXPECT_TRUE(vornex_add_files_one_step(list.c_str(), cab.c_str(), 0, &reach_own_builder, 2));
  ASSERT_FALSE(g_inside.empty());
  // "1" first: the handle named the running builder (its progress); then the
  // add and the close from inside it were refused.
  for (const std::string& calls : g_inside) EXPECT_EQ(calls, "100");
  built_cabinets::expect_cabinet(cab, {{"a.bin", read_file(a)}, {"b.bin", read_file(b)}});
}

// A build the engine fails names the engine's cause in the error log.
TEST_F(BuilderTest, AFailedBuildLogsTheEnginesErrorCodeAndMeaning) {
  std::string blocker = make("blocker", "a file where the cabinet's folder should be");
  uint32_t h = vornex_init_cab((blocker + "\\out.cab").c_str());
  ASSERT_NE(h, 0u);
  EXPECT_TRUE(vornex_add_file(h, make("src.txt", "data").c_str(), 0, 2));
  EXPECT_FALSE(vornex_close_cab(h));
  std::vector<std::string> log = built_cabinets::log_messages();
  EXPECT_NE(std::find(log.begin(), log.end(),
                      "Cabinet engine error 6: the cabinet file could not be written"),
            log.end())
      << ::testing::PrintToString(log);
}

}  // namespace
