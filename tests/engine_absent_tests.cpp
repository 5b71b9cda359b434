// Run with cabinet.dll made unloadable (WINEDLLOVERRIDES="cabinet="): the
// library still loads and every export answers its engine-absent value
// without touching the disk.
#include <gtest/gtest.h>
#include <windows.h>

#include "test_support.h"
#include "vornex.h"

using testing_support::ScratchDir;

namespace {

TEST(EngineAbsent, TheEngineReallyCannotBeLoaded) {
  HMODULE engine = LoadLibraryA("cabinet.dll");
  DWORD error = GetLastError();
  if (engine) FreeLibrary(engine);
  ASSERT_EQ(engine, nullptr) << "cabinet.dll loaded: the test environment is wrong";
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

TEST(EngineAbsent, EveryExportGivesItsFailureValueAndWritesNothing) {
  ScratchDir dir;
  ASSERT_TRUE(testing_support::write_file("a.txt", "data"));
  const char files[] = "a.txt\0";
  const char folders[] = ".\0";
  char name[300] = "sentinel";

  EXPECT_EQ(vornex_init_cab("out.cab"), 0u);
  EXPECT_EQ(vornex_init_cab(nullptr), 0u);
  EXPECT_EQ(vornex_close_cab(1), 0);
  EXPECT_EQ(vornex_add_file(1, "a.txt", 0, 2), 0);
  EXPECT_EQ(vornex_add_file(1, "missing.txt", 0, 2), 0);  // would log if it ran
  EXPECT_EQ(vornex_cab_progress(1), 0.0);
  EXPECT_EQ(vornex_add_folder(1, ".", 1, 0, 1), 0);
  EXPECT_EQ(vornex_add_files_one_step(files, "one.cab", 1, nullptr, 2), 0);
  EXPECT_EQ(vornex_add_folders_one_step(folders, "two.cab", 1, 1, nullptr, 1), 0);
  EXPECT_EQ(vornex_add_mix_one_step(nullptr, nullptr, "three.cab", 0, 0, nullptr, 0), 0);
  EXPECT_EQ(vornex_init_uncab(testing_support::testdata("two.cab").c_str()), 0u);
  EXPECT_EQ(vornex_close_uncab(1), 0);
  EXPECT_EQ(vornex_file_count(1), 0);
  EXPECT_EQ(vornex_file_name_by_no(1, name, 0), 0);
  EXPECT_STREQ(name, "sentinel");
  EXPECT_EQ(vornex_uncab_by_name(1, "a.txt"), 0);
  EXPECT_EQ(vornex_uncab_by_name_ex(1, "a.txt", "out"), 0);
  EXPECT_EQ(vornex_uncab_all(1), 0);
  EXPECT_EQ(vornex_uncab_all_ex(1, "out"), 0);

  // Nothing was created, logged, deleted or queued.
  EXPECT_FALSE(testing_support::file_exists("_caberrors.log"));
  EXPECT_FALSE(testing_support::file_exists("out.cab"));
  EXPECT_FALSE(testing_support::file_exists("one.cab"));
  EXPECT_FALSE(testing_support::file_exists("two.cab"));
  EXPECT_FALSE(testing_support::file_exists("three.cab"));
  EXPECT_FALSE(testing_support::dir_exists("out"));
  EXPECT_TRUE(testing_support::file_exists("a.txt"));
}

}  // namespace
