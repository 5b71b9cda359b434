// The library frame's own helpers, linked directly: the log line, the log
// file, the path routines, the registry and the re-entrant lock.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <vector>
#include <memory>
#include <thread>

#include "library_frame.h"
#include "path_levels.h"
#include "temp_file.h"
#include "unique_handle.h"
#include "test_support.h"

using namespace vornex;
using testing_support::ScratchDir;

namespace {

TEST(ErrorLog, LineHasTheStampAndTheMessageVerbatim) {
  SYSTEMTIME t{};
  t.wDay = 8; t.wMonth = 12; t.wYear = 2026; t.wHour = 4; t.wMinute = 21; t.wSecond = 26;
  Text line;
  ASSERT_TRUE(format_log_line(t, "Cant open file - C:\\data\\a.txt", line));
  EXPECT_STREQ(line.c_str(), "08.12.2026 04:21:26 Cant open file - C:\\data\\a.txt");
  // A message is never used as a format: %s and %n stay as they are.
  ASSERT_TRUE(format_log_line(t, "100% %s %n done", line));
  EXPECT_STREQ(line.c_str(), "08.12.2026 04:21:26 100% %s %n done");
}

TEST(ErrorLog, AppendsCrLfLinesInTheCurrentDirectory) {
  ScratchDir dir;
  write_error_log("first %d");
  write_error_log("second");
  std::string log = testing_support::read_file("_caberrors.log");
  ASSERT_EQ(log.size(), 2 * 20 + std::string("first %d\r\nsecond\r\n").size()) << log;
  EXPECT_EQ(log.substr(20, 10), "first %d\r\n");
  EXPECT_EQ(log.substr(50), "second\r\n");
  EXPECT_EQ(log[2], '.');
  EXPECT_EQ(log[13], ':');

  // Another current directory gets its own log.
  CreateDirectoryA("other", nullptr);
  SetCurrentDirectoryA("other");
  write_error_log("third");
  SetCurrentDirectoryA("..");
  EXPECT_NE(testing_support::read_file("other\\_caberrors.log").find("third\r\n"), std::string::npos);
  EXPECT_EQ(testing_support::read_file("_caberrors.log").find("third"), std::string::npos);
}

TEST(ErrorLog, SystemErrorLogsTheSystemTextAndNothingWithoutOne) {
  ScratchDir dir;
  write_system_error(0);
  write_system_error(0x2FFFFFFF);  // a code with no message text
  EXPECT_FALSE(testing_support::file_exists("_caberrors.log"));
  write_system_error(ERROR_FILE_NOT_FOUND);
  std::string log = testing_support::read_file("_caberrors.log");
  ASSERT_GT(log.size(), 22u);
  char text[1024] = {};
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                 ERROR_FILE_NOT_FOUND, 0, text, sizeof text, nullptr);
  std::string expected(text);
  EXPECT_NE(log.find(expected.substr(0, expected.find_first_of("\r\n"))), std::string::npos);
}

TEST(PathRoutines, DirPartLengthCountsUpToTheLastBackslash) {
  EXPECT_EQ(dir_part_length("C:\\in\\x.cab"), 6u);
  EXPECT_EQ(dir_part_length("x.cab"), 0u);
  EXPECT_EQ(dir_part_length("C:/in/x.cab"), 0u);  // only the backslash separates
  EXPECT_EQ(dir_part_length("C:\\"), 3u);
  EXPECT_EQ(dir_part_length(""), 0u);
}

// Every name of the width is tried once, each file is new (never one that
// was there, also not a folder of that name), and a folder that refuses new
// files ends the search at once with the system's reason.
TEST(TempFiles, EveryNameOnceNoneThatWasThereAndTheRealCause) {
  ScratchDir dir;
  const std::string folder = dir.path() + "\\";
  ASSERT_TRUE(CreateDirectoryA((folder + "vq7.tmp").c_str(), nullptr));
  std::vector<std::string> made;
  char path[MAX_PATH];
  for (int k = 0; k < 15; ++k) {
    winsup::UniqueFile file(winsup::reserve_temp_file(folder.c_str(), "vq", 1, GENERIC_WRITE, path, sizeof path));
    ASSERT_TRUE(file) << k;
    EXPECT_EQ(std::string(path).rfind(folder + "vq", 0), 0u);
    EXPECT_EQ(std::find(made.begin(), made.end(), path), made.end()) << path;
    made.push_back(path);
  }
  EXPECT_TRUE(testing_support::dir_exists("vq7.tmp"));  // passed over, not opened
  winsup::UniqueFile none(winsup::reserve_temp_file(folder.c_str(), "vq", 1, GENERIC_WRITE, path, sizeof path));
  EXPECT_FALSE(none);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
  winsup::UniqueFile missing(
      winsup::reserve_temp_file((folder + "no\\such\\").c_str(), "vq", 4, GENERIC_WRITE, path, sizeof path));
  EXPECT_FALSE(missing);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

TEST(PathRoutines, CreateParentLevelsMakesEveryLevelAfterTheFirst) {
  ScratchDir dir;
  winsup::create_parent_levels((dir.path() + "\\new\\sub\\x.bin").c_str());
  EXPECT_TRUE(testing_support::dir_exists("new\\sub"));
  EXPECT_FALSE(testing_support::file_exists("new\\sub\\x.bin"));
  winsup::create_parent_levels((dir.path() + "\\t\\u\\").c_str());
  EXPECT_TRUE(testing_support::dir_exists("t\\u"));
  // A relative path with one backslash creates nothing: its first level is
  // the one that is never created.
  winsup::create_parent_levels("rel\\x.cab");
  EXPECT_FALSE(testing_support::dir_exists("rel"));
  winsup::create_parent_levels("one\\two\\x.cab");
  EXPECT_FALSE(testing_support::dir_exists("one"));  // "one\" is the first level
  winsup::create_parent_levels("x.cab");
  winsup::create_parent_levels(nullptr);
}

// An entry met under a handle being registered is stale (the engine reuses a
// context value only after destroying its context): the new object replaces
// it, the stale one is released, and the caller is told.
TEST(HandleRegistry, ADuplicateKeyReplacesTheStaleEntryReleasesItAndSaysSo) {
  struct Counted {
    int* alive;
    uint32_t handle = 0;
    Counted* next = nullptr;
    explicit Counted(int* a) : alive(a) { ++*alive; }
    ~Counted() { --*alive; }
  };
  int alive = 0;
  HandleRegistry<Counted> registry;
  EXPECT_FALSE(registry.register_handle(7, create<Counted>(&alive)));
  Counted* expected = create<Counted>(&alive);
  EXPECT_TRUE(registry.register_handle(7, expected));
  EXPECT_EQ(alive, 1) << "the stale object was kept alive (or the new one dropped)";
  EXPECT_EQ(registry.find(7), expected);
  EXPECT_EQ(registry.find(8), nullptr);
  Counted* taken = registry.take(7);
  EXPECT_EQ(taken, expected);
  destroy(taken);
  EXPECT_EQ(alive, 0);
  EXPECT_EQ(registry.find(7), nullptr);
  EXPECT_EQ(registry.take(7), nullptr);
}

TEST(LibraryLock, IsReentrantOnOneThreadAndExcludesOthers) {
  std::atomic<bool> other_got_it{false};
  {
    LockGuard outer;
    { LockGuard inner; }  // a nested take does not block
    std::thread other([&] { LockGuard lock; other_got_it = true; });
    Sleep(50);
    EXPECT_FALSE(other_got_it.load());  // still held once by this thread
    LockGuard again;
    Sleep(10);
    EXPECT_FALSE(other_got_it.load());
    other.detach();
  }
  for (int i = 0; i < 200 && !other_got_it; ++i) Sleep(5);
  EXPECT_TRUE(other_got_it.load());
}

}  // namespace

namespace {

// The built library, loaded as another program would load it: every export
// is found by its decorated name, and the undecorated forms are not there.
TEST(ExportTable, AllSixteenDecoratedNamesResolveAndNoOtherSpellings) {
  const std::string path = testing_support::bin_dir() + "\\vornex.dll";
  HMODULE library = LoadLibraryA(path.c_str());
  ASSERT_NE(library, nullptr) << path;
  const char* names[] = {
      "_vornex_init_cab@4",           "_vornex_close_cab@4",
      "_vornex_add_file@16",          "_vornex_cab_progress@4",
      "_vornex_add_folder@20",        "_vornex_add_files_one_step@20",
      "_vornex_add_folders_one_step@24", "_vornex_add_mix_one_step@28",
      "_vornex_init_uncab@4",         "_vornex_close_uncab@4",
      "_vornex_file_count@4",         "_vornex_file_name_by_no@12",
      "_vornex_uncab_by_name@8",      "_vornex_uncab_by_name_ex@12",
      "_vornex_uncab_all@4",          "_vornex_uncab_all_ex@8",
  };
  for (const char* name : names) {
    EXPECT_NE(GetProcAddress(library, name), nullptr) << name;
    std::string plain = std::string(name + 1);
    EXPECT_EQ(GetProcAddress(library, plain.c_str()), nullptr) << plain;  // vornex_x@N
    plain = plain.substr(0, plain.find('@'));
    EXPECT_EQ(GetProcAddress(library, plain.c_str()), nullptr) << plain;  // vornex_x
  }

  // Called through the table as stdcall: a bad path gives 0 and the stack
  // stays balanced (a convention mismatch would corrupt it here).
  using InitUncab = uint32_t(__stdcall*)(const char*);
  auto init_uncab = reinterpret_cast<InitUncab>(
      reinterpret_cast<void*>(GetProcAddress(library, "_vornex_init_uncab@4")));
  ASSERT_NE(init_uncab, nullptr);
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(init_uncab("no_such.cab"), 0u);
  FreeLibrary(library);
}

}  // namespace
