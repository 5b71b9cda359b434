// Directory trees added to a builder and the one-step builds, through the
// real export table and the real engine. Cabinets land in build/built for the
// Linux-side check and are read back with the library's reader here.
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
using testing_support::dir_exists;
using testing_support::file_exists;
using testing_support::pattern_bytes;
using testing_support::write_file;

namespace {

// A path list: each path ended by NUL, the list by an empty path.
std::string path_list(const std::vector<std::string>& paths) {
  std::string list;
  for (const std::string& p : paths) list += p + '\0';
  return list + '\0';
}

std::vector<double> g_progress;
void __stdcall record_progress(double percent) { g_progress.push_back(percent); }

class FolderTest : public ::testing::Test {
 protected:
  std::string make(const std::string& relative, const std::string& bytes) {
    for (std::size_t i = relative.find('\\'); i != std::string::npos; i = relative.find('\\', i + 1))
      CreateDirectoryA((dir_ / relative.substr(0, i)).c_str(), nullptr);
    EXPECT_TRUE(write_file(dir_ / relative, bytes));
    return dir_ / relative;
  }

  // tree\a.txt, tree\sub\b.txt, tree\sub\deeper\c.txt and an empty tree\empty.
  std::string make_tree(const std::string& root = "tree") {
    make(root + "\\a.txt", "alpha");
    make(root + "\\sub\\b.txt", "bravo");
    make(root + "\\sub\\deeper\\c.txt", pattern_bytes(70000, 5));
    CreateDirectoryA((dir_ / root + "\\empty").c_str(), nullptr);
    return dir_ / root;
  }

  void SetUp() override { g_progress.clear(); }

  ScratchDir dir_;
};

TEST_F(FolderTest, StoredNamesFollowRecurseAndNameMode) {
  std::string tree = make_tree();
  std::string c = pattern_bytes(70000, 5);
  struct Case {
    uint32_t recurse, mode;
    std::vector<Expected> files;
  } cases[] = {
      {1, 1, {{"a.txt", "alpha"}, {"sub\\b.txt", "bravo"}, {"sub\\deeper\\c.txt", c}}},
      {0, 1, {{"a.txt", "alpha"}}},
      {1, 2, {{"a.txt", "alpha"}, {"b.txt", "bravo"}, {"c.txt", c}}},
      {0x201, 0, {{tree + "\\a.txt", "alpha"}, {tree + "\\sub\\b.txt", "bravo"},
                  {tree + "\\sub\\deeper\\c.txt", c}}},
  };
  int n = 0;
  for (const Case& k : cases) {
    std::string cab = built_cabinets::cabinet_path_for_test(n++);
    uint32_t h = vornex_init_cab(cab.c_str());
    ASSERT_NE(h, 0u);
    EXPECT_TRUE(vornex_add_folder(h, tree.c_str(), k.recurse, 0, k.mode));
    EXPECT_TRUE(vornex_close_cab(h));
    built_cabinets::expect_cabinet(cab, k.files);
  }
}

TEST_F(FolderTest, BareNamesOfDifferentDirectoriesMayRepeat) {
  make("dup\\x.txt", "top");
  make("dup\\s\\x.txt", "nested");
  std::string cab = built_cabinets::cabinet_path_for_test();
  uint32_t h = vornex_init_cab(cab.c_str());
  ASSERT_NE(h, 0u);
  EXPECT_TRUE(vornex_add_folder(h, (dir_ / "dup").c_str(), 1, 0, 2));
  EXPECT_TRUE(vornex_close_cab(h));
  EXPECT_EQ(built_cabinets::list_with_reader(cab), (std::vector<std::string>{"x.txt", "x.txt"}));
  Expected x{"x.txt", ""};
  x.compare_bytes = false;
  built_cabinets::write_expectations(cab, {x, x});
}

TEST_F(FolderTest, MissingFolderAddsNothingAndCountsAsSuccess) {
  std::string cab = built_cabinets::cabinet_path_for_test();
  uint32_t h = vornex_init_cab(cab.c_str());
  ASSERT_NE(h, 0u);
  EXPECT_TRUE(vornex_add_folder(h, (dir_ / "nowhere").c_str(), 1, 1, 1));
  EXPECT_TRUE(vornex_close_cab(h));  // its queued removal fails silently
  EXPECT_TRUE(built_cabinets::log_messages().empty());
  built_cabinets::write_expectations(cab, {});
}

TEST_F(FolderTest, DeleteAfterEmptiesTheTreeFromTheBottomUp) {
  std::string tree = make_tree();
  uint32_t h = vornex_init_cab((dir_ / "out.cab").c_str());
  ASSERT_NE(h, 0u);
  EXPECT_TRUE(vornex_add_folder(h, tree.c_str(), 1, 1, 1));
  EXPECT_TRUE(file_exists(tree + "\\sub\\deeper\\c.txt"));
  EXPECT_TRUE(vornex_close_cab(h));
  EXPECT_FALSE(dir_exists(tree)) << "the whole tree, empty directory included, is gone";
  EXPECT_EQ(built_cabinets::list_with_reader(dir_ / "out.cab").size(), 3u);
}

TEST_F(FolderTest, DeleteAfterWithoutRecurseLeavesDirectoriesThatStillHoldSomething) {
  std::string tree = make_tree();
  uint32_t h = vornex_init_cab((dir_ / "out.cab").c_str());
  ASSERT_NE(h, 0u);
  EXPECT_TRUE(vornex_add_folder(h, tree.c_str(), 0, 1, 1));
  EXPECT_TRUE(vornex_close_cab(h));
  EXPECT_FALSE(file_exists(tree + "\\a.txt"));
  EXPECT_TRUE(file_exists(tree + "\\sub\\b.txt"));
  EXPECT_TRUE(dir_exists(tree + "\\empty")) << "not walked, so not queued";
  EXPECT_TRUE(dir_exists(tree));
}

TEST_F(FolderTest, AFileThatCannotBeReadStopsTheWalkAndOnlyCabinetFilesAreDeleted) {
  std::string tree = make_tree();
  std::string locked = make("tree\\sub\\locked.txt", "locked");
  HANDLE hold = CreateFileA(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(hold, INVALID_HANDLE_VALUE);
  std::string cab = dir_ / "out.cab";
  uint32_t h = vornex_init_cab(cab.c_str());
  ASSERT_NE(h, 0u);
  EXPECT_FALSE(vornex_add_folder(h, tree.c_str(), 1, 1, 1));
  CloseHandle(hold);
  EXPECT_TRUE(vornex_close_cab(h));
  EXPECT_EQ(built_cabinets::log_messages(), std::vector<std::string>{"Cant open file - " + locked});

  // Whatever the listing order was: a file is gone exactly when it is stored.
  std::vector<std::string> stored = built_cabinets::list_with_reader(cab);
  for (const char* name : {"a.txt", "sub\\b.txt", "sub\\deeper\\c.txt", "sub\\locked.txt"}) {
    bool in_cabinet = std::find(stored.begin(), stored.end(), name) != stored.end();
    EXPECT_NE(in_cabinet, file_exists(tree + "\\" + name)) << name;
  }
  EXPECT_TRUE(file_exists(locked));
  EXPECT_TRUE(dir_exists(tree + "\\sub"));
}

TEST_F(FolderTest, AddFolderRefusesAnUnknownNameModeAndQueuesNothing) {
  CreateDirectoryA((dir_ / "empty").c_str(), nullptr);
  uint32_t h = vornex_init_cab((dir_ / "out.cab").c_str());
  ASSERT_NE(h, 0u);
  EXPECT_FALSE(vornex_add_folder(h, (dir_ / "empty").c_str(), 1, 1, 3));
  EXPECT_FALSE(vornex_add_folder(h, nullptr, 1, 1, 1));
  EXPECT_TRUE(vornex_close_cab(h));
  EXPECT_TRUE(dir_exists(dir_ / "empty"));
}

TEST_F(FolderTest, FilesOneStepReportsProgressUpTo99AndOnce100) {
  std::string big = pattern_bytes(400000, 11);
  std::string text;
  while (text.size() < 300000) text += "progress text line\r\n";
  std::vector<std::string> sources = {make("one.bin", big), make("two.txt", text)};
  std::string cab = built_cabinets::cabinet_path_for_test();
  EXPECT_TRUE(vornex_add_files_one_step(path_list(sources).c_str(), cab.c_str(), 1,
                                        &record_progress, 2));
  ASSERT_GE(g_progress.size(), 3u);
  EXPECT_EQ(g_progress.back(), 100.0);
  EXPECT_EQ(std::count(g_progress.begin(), g_progress.end(), 100.0), 1);
  for (std::size_t i = 0; i + 1 < g_progress.size(); ++i) {
    EXPECT_LE(g_progress[i], 99.0) << "report " << i;
    if (i > 0) {
      EXPECT_GE(g_progress[i], g_progress[i - 1]) << "report " << i;
    }
  }
  EXPECT_GT(g_progress[g_progress.size() - 2], 50.0) << "measured sources move the percentage";
  for (const std::string& s : sources) EXPECT_FALSE(file_exists(s)) << s;
  std::vector<Expected> files = {{"one.bin", big}, {"two.txt", text}};
  built_cabinets::expect_cabinet(cab, files);
}

TEST_F(FolderTest, FilesOneStepWithAMissingSecondFileAddsAndDeletesNothing) {
  std::string first = make("first.txt", "first");
  std::string missing = dir_ / "missing.txt";
  std::string cab = built_cabinets::cabinet_path_for_test();
  EXPECT_FALSE(vornex_add_files_one_step(path_list({first, missing}).c_str(), cab.c_str(), 1,
                                         &record_progress, 2));
  EXPECT_TRUE(file_exists(first));
  EXPECT_TRUE(file_exists(cab)) << "the close still has the (empty) cabinet written";
  EXPECT_EQ(built_cabinets::log_messages(), std::vector<std::string>{"Cant open file - " + missing});
  EXPECT_EQ(g_progress, std::vector<double>{100.0});
  built_cabinets::write_expectations(cab, {});
}

TEST_F(FolderTest, EmptyAndNullListsFollowEachOperationsRule) {
  std::string empty_files = built_cabinets::cabinet_path_for_test(0);
  EXPECT_TRUE(vornex_add_files_one_step(path_list({}).c_str(), empty_files.c_str(), 0, nullptr, 1));
  built_cabinets::write_expectations(empty_files, {});
  std::string both_null = built_cabinets::cabinet_path_for_test(1);
  EXPECT_TRUE(vornex_add_mix_one_step(nullptr, nullptr, both_null.c_str(), 1, 0, &record_progress, 1));
  EXPECT_EQ(g_progress, std::vector<double>{100.0});
  built_cabinets::write_expectations(both_null, {});

  // Null lists of the files and folders variants: no builder is opened.
  std::string never = dir_ / "never\\x.cab";
  EXPECT_FALSE(vornex_add_files_one_step(nullptr, never.c_str(), 0, nullptr, 1));
  EXPECT_FALSE(vornex_add_folders_one_step(nullptr, never.c_str(), 1, 0, nullptr, 1));
  EXPECT_FALSE(dir_exists(dir_ / "never"));
}

TEST_F(FolderTest, OneStepRefusesAnUnknownNameModeBeforeOpening) {
  std::string src = make("s.txt", "s");
  std::string cab = dir_ / "out\\x.cab";
  EXPECT_FALSE(vornex_add_files_one_step(path_list({src}).c_str(), cab.c_str(), 1, nullptr, 7));
  EXPECT_FALSE(vornex_add_folders_one_step(path_list({dir_.path()}).c_str(), cab.c_str(), 1, 1,
                                           nullptr, 7));
  EXPECT_FALSE(vornex_add_mix_one_step(nullptr, path_list({src}).c_str(), cab.c_str(), 1, 1,
                                       nullptr, 7));
  EXPECT_FALSE(dir_exists(dir_ / "out"));
  EXPECT_TRUE(file_exists(src));
}

TEST_F(FolderTest, FoldersOneStepMeasuresAllButOnlyTheLastMeasureDecides) {
  std::string a = make_tree("A");
  std::string locked = make("A\\locked.txt", "locked");
  std::string b = make_tree("B");
  HANDLE hold = CreateFileA(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(hold, INVALID_HANDLE_VALUE);

  // A fails to measure, B measures: the add pass still runs and fails in A,
  // so the locked file is logged twice and nothing of B is added.
  std::string cab = built_cabinets::cabinet_path_for_test(0);
  EXPECT_FALSE(vornex_add_folders_one_step(path_list({a, b}).c_str(), cab.c_str(), 1, 0,
                                           nullptr, 1));
  std::vector<std::string> twice(2, "Cant open file - " + locked);
  EXPECT_EQ(built_cabinets::log_messages(), twice);
  std::vector<std::string> stored = built_cabinets::list_with_reader(cab);
  EXPECT_LT(stored.size(), 4u);
  std::vector<Expected> files;
  for (const std::string& name : stored)
    files.push_back({name, testing_support::read_file(a + "\\" + name)});
  built_cabinets::write_expectations(cab, files);

  // B last and failing: nothing is added at all.
  DeleteFileA("_caberrors.log");
  std::string none = built_cabinets::cabinet_path_for_test(1);
  EXPECT_FALSE(vornex_add_folders_one_step(path_list({b, a}).c_str(), none.c_str(), 1, 0,
                                           nullptr, 1));
  EXPECT_EQ(built_cabinets::log_messages().size(), 1u);
  EXPECT_TRUE(built_cabinets::list_with_reader(none).empty());
  built_cabinets::write_expectations(none, {});
  CloseHandle(hold);
}

TEST_F(FolderTest, MixOneStepAddsFilesThenFoldersWithDeleteAfter) {
  std::string tree = make_tree();
  std::string loose = make("loose.txt", "loose file");
  std::string cab = built_cabinets::cabinet_path_for_test();
  EXPECT_TRUE(vornex_add_mix_one_step(path_list({tree}).c_str(), path_list({loose}).c_str(),
                                      cab.c_str(), 1, 1, &record_progress, 1));
  EXPECT_FALSE(file_exists(loose));
  EXPECT_FALSE(dir_exists(tree));
  EXPECT_EQ(g_progress.back(), 100.0);
  // Mode 1 for a listed file has no base folder: its whole path is stored.
  std::vector<Expected> files = {{loose, "loose file"},
                                 {"a.txt", "alpha"},
                                 {"sub\\b.txt", "bravo"},
                                 {"sub\\deeper\\c.txt", pattern_bytes(70000, 5)}};
  std::vector<std::string> stored = built_cabinets::list_with_reader(cab);
  ASSERT_FALSE(stored.empty());
  EXPECT_EQ(stored.front(), loose) << "files are added before folders";
  built_cabinets::expect_cabinet(cab, files);
}

TEST_F(FolderTest, OneStepWhoseCabinetCannotBeWrittenFailsAndKeepsItsSources) {
  std::string blocker = make("blocker", "a file, not a directory");
  std::string src = make("s.txt", "kept");
  EXPECT_FALSE(vornex_add_files_one_step(path_list({src}).c_str(), (blocker + "\\x.cab").c_str(),
                                         1, &record_progress, 2));
  EXPECT_TRUE(file_exists(src));
  EXPECT_EQ(g_progress.back(), 100.0);
}

// A progress callback that calls back into the library while the one-step
// operation holds the library lock on the same thread.
std::string g_nested_source, g_nested_cabinet;
int g_nested_calls = 0;
bool g_nested_ok = true;
void __stdcall reenter(double percent) {
  g_progress.push_back(percent);
  g_nested_ok = g_nested_ok && vornex_cab_progress(0) == 0.0;
  if (g_nested_calls++ != 0) return;
  uint32_t h = vornex_init_cab(g_nested_cabinet.c_str());
  g_nested_ok = g_nested_ok && h != 0 && vornex_add_file(h, g_nested_source.c_str(), 0, 2) &&
                vornex_close_cab(h);
}

TEST_F(FolderTest, ProgressCallbackMayCallTheLibraryAgain) {
  std::string outer = make("outer.bin", pattern_bytes(200000, 9));
  g_nested_source = make("nested.txt", "built from inside a progress callback");
  g_nested_cabinet = built_cabinets::cabinet_path_for_test(1);
  g_nested_calls = 0;
  g_nested_ok = true;
  std::string cab = built_cabinets::cabinet_path_for_test(0);
  EXPECT_TRUE(vornex_add_files_one_step(path_list({outer}).c_str(), cab.c_str(), 0, &reenter, 2));
  EXPECT_TRUE(g_nested_ok);
  EXPECT_GE(g_nested_calls, 2);
  std::vector<Expected> outer_files = {{"outer.bin", pattern_bytes(200000, 9)}};
  built_cabinets::expect_cabinet(cab, outer_files);
  std::vector<Expected> nested_files = {{"nested.txt", "built from inside a progress callback"}};
  built_cabinets::expect_cabinet(g_nested_cabinet, nested_files);
}

}  // namespace

namespace {

// Delete-after never deletes the cabinet: an older file at the cabinet's path
// (met by the folder walk, or named in the file list) is packed, then replaced
// by the new cabinet, and every source that is deleted is inside it.
TEST_F(FolderTest, DeleteAfterPacksAnOlderFileAtTheCabinetsPathAndNeverDeletesTheCabinet) {
  std::string tree = make_tree("docs");
  std::string cab = make("docs\\archive.cab", "an older file at the cabinet's path");
  EXPECT_TRUE(vornex_add_folders_one_step(path_list({tree}).c_str(), cab.c_str(), 1, 1, nullptr, 1));
  built_cabinets::check_with_reader(cab, {{"archive.cab", "an older file at the cabinet's path"},
                                          {"a.txt", "alpha"},
                                          {"sub\\b.txt", "bravo"},
                                          {"sub\\deeper\\c.txt", pattern_bytes(70000, 5)}});
  EXPECT_EQ(testing_support::tree_listing(tree).size(), 1u) << "only the cabinet stays";

  std::string self = make("self.txt", "the cabinet path is the source");
  EXPECT_TRUE(vornex_add_files_one_step(path_list({"self.txt"}).c_str(), "self.txt", 1, nullptr, 2));
  built_cabinets::check_with_reader(self, {{"self.txt", "the cabinet path is the source"}});
}

}  // namespace
