// The builder's engine callbacks and its stored-name rule, called directly
// (linked with the library's code, no engine involved): sentinels show what
// each callback writes, a bad handle shows the logged failure paths.
#include <gtest/gtest.h>
#include <windows.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "built_cabinets.h"
#include "cabinet_builder.h"
#include "cabinet_reader.h"
#include "folder_operations.h"
#include "owned.h"
#include "engine_binding.h"
#include "test_support.h"

using namespace vornex;
using testing_support::ScratchDir;
using testing_support::read_file;
using testing_support::write_file;

namespace {

constexpr int kSentinel = static_cast<int>(0xdeadbeef);

TEST(StoredName, FollowsTheNameModeTable) {
  struct Case {
    const char* path;
    uint32_t mode;
    const char* base;
    const char* stored;
  } cases[] = {
      {"C:\\data\\sub\\a.txt", 0, nullptr, "C:\\data\\sub\\a.txt"},
      {"C:\\data\\sub\\a.txt", 0, "C:\\data", "C:\\data\\sub\\a.txt"},
      {"C:\\data\\sub\\a.txt", 1, nullptr, "C:\\data\\sub\\a.txt"},
      {"C:\\data\\sub\\a.txt", 1, "C:\\data", "sub\\a.txt"},
      {"C:\\data\\\\a.txt", 1, "C:\\data\\", "a.txt"},  // base given with its backslash
      {"C:\\database\\a.txt", 1, "C:\\data", "C:\\database\\a.txt"},  // not under the base
      {"D:\\C:\\data\\a.txt", 1, "C:\\data", "D:\\C:\\data\\a.txt"},  // base not at the start
      {"C:\\data", 1, "C:\\data", "C:\\data"},
      {"C:\\data\\sub\\a.txt", 2, "C:\\data", "a.txt"},
      {"a.txt", 2, nullptr, "a.txt"},
      {"C:/data/a.txt", 2, nullptr, "C:/data/a.txt"},  // only the backslash separates
  };
  for (const Case& c : cases) {
    EXPECT_STREQ(stored_name(c.path, c.mode, c.base), c.stored)
        << c.path << " mode " << c.mode << " base " << (c.base ? c.base : "(none)");
  }
}

// The table's slots in their fixed order: each slot, called through the
// object's table of virtual operations, gives the callback that the named
// operation gives.
TEST(CallbackTable, ElevenSlotsInTheirOrder) {
  CabinetBuilder b;
  void* expected[] = {
      reinterpret_cast<void*>(b.open_callback()),         reinterpret_cast<void*>(b.read_callback()),
      reinterpret_cast<void*>(b.write_callback()),        reinterpret_cast<void*>(b.close_callback()),
      reinterpret_cast<void*>(b.seek_callback()),         reinterpret_cast<void*>(b.delete_callback()),
      reinterpret_cast<void*>(b.temp_file_callback()),    reinterpret_cast<void*>(b.file_placed_callback()),
      reinterpret_cast<void*>(b.next_cabinet_callback()), reinterpret_cast<void*>(b.status_callback()),
      reinterpret_cast<void*>(b.open_info_callback()),
  };
  using Slot = void*(__thiscall*)(CabinetBuilder*);
  Slot* table = *reinterpret_cast<Slot**>(&b);
  for (int i = 0; i < 11; ++i) EXPECT_EQ(table[i](&b), expected[i]) << "slot " << i;
  std::set<void*> distinct(std::begin(expected), std::end(expected));
  EXPECT_EQ(distinct.size(), 11u);
}

TEST(OpenCallback, CreateTruncatesAnExistingFileAndIgnoresExclusive) {
  ScratchDir dir;
  ASSERT_TRUE(write_file("made.tmp", "old contents that must go"));
  CabinetBuilder b;
  int err = kSentinel;
  char name[] = "made.tmp";
  INT_PTR f = b.open_callback()(name, _O_RDWR | _O_CREAT | _O_EXCL | _O_BINARY,
                                _S_IREAD | _S_IWRITE, &err, &b);
  ASSERT_NE(f, -1);
  EXPECT_EQ(err, 0);
  char data[] = "new";
  EXPECT_EQ(b.write_callback()(f, data, 3, &err, &b), 3u);
  EXPECT_EQ(b.seek_callback()(f, 0, SEEK_SET, &err, &b), 0);
  char back[8] = {};
  EXPECT_EQ(b.read_callback()(f, back, sizeof back, &err, &b), 3u);
  EXPECT_STREQ(back, "new");
  EXPECT_EQ(b.close_callback()(f, &err, &b), 0);
  EXPECT_EQ(read_file("made.tmp"), "new");
}

TEST(OpenCallback, WithoutCreateOpensOnlyAnExistingFile) {
  ScratchDir dir;
  ASSERT_TRUE(write_file("there.bin", "abc"));
  CabinetBuilder b;
  int err = kSentinel;
  char missing[] = "missing.bin";
  EXPECT_EQ(b.open_callback()(missing, _O_RDONLY | _O_BINARY, 0, &err, &b), -1);
  EXPECT_EQ(err, 0);
  EXPECT_FALSE(testing_support::file_exists("missing.bin"));
  char there[] = "there.bin";
  INT_PTR f = b.open_callback()(there, _O_RDONLY | _O_BINARY, 0, &err, &b);
  ASSERT_NE(f, -1);
  EXPECT_EQ(b.seek_callback()(f, 0, SEEK_END, &err, &b), 3);
  EXPECT_EQ(b.close_callback()(f, &err, &b), 0);
}

TEST(FileCallbacks, FailuresReturnMinusOneLogTheSystemTextAndClearTheError) {
  ScratchDir dir;
  CabinetBuilder b;
  INT_PTR bad = 0x7FF0;  // no such handle (-1 would be the process itself)
  char buffer[16];
  int err = kSentinel;
  EXPECT_EQ(b.read_callback()(bad, buffer, sizeof buffer, &err, &b), static_cast<UINT>(-1));
  EXPECT_EQ(err, 0);
  err = kSentinel;
  EXPECT_EQ(b.seek_callback()(bad, 5, SEEK_SET, &err, &b), -1);
  EXPECT_EQ(err, 0);
  err = kSentinel;
  EXPECT_EQ(b.close_callback()(bad, &err, &b), -1);
  EXPECT_EQ(err, 0);
  err = kSentinel;
  EXPECT_EQ(b.write_callback()(bad, buffer, sizeof buffer, &err, &b), static_cast<UINT>(-1));
  EXPECT_EQ(err, kSentinel) << "the write callback leaves the error value alone";

  // Read, seek and close each logged the system's text for the bad handle.
  char text[1024] = {};
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                 ERROR_INVALID_HANDLE, 0, text, sizeof text, nullptr);
  std::string first_line(text, std::strcspn(text, "\r\n"));
  ASSERT_FALSE(first_line.empty());
  int lines = 0;
  for (const std::string& m : built_cabinets::log_messages()) lines += m == first_line;
  EXPECT_EQ(lines, 3);
}

TEST(TempFileCallback, MakesAnEmptyCabFileInTheTemporaryDirectory) {
  CabinetBuilder b;
  char name[256];
  std::memset(name, 'x', sizeof name);
  ASSERT_TRUE(b.temp_file_callback()(name, sizeof name, &b));
  char temp[MAX_PATH];
  GetTempPathA(sizeof temp, temp);
  std::string made(name);
  EXPECT_EQ(made.substr(0, std::strlen(temp)), temp);
  EXPECT_EQ(made.substr(std::strlen(temp), 3), "CAB");
  EXPECT_TRUE(testing_support::file_exists(made));
  EXPECT_EQ(read_file(made), "");
  DeleteFileA(made.c_str());
}

TEST(TempFileCallback, ANameLongerThanTheBufferIsRefusedNotWrittenPastIt) {
  CabinetBuilder b;
  char name[12];
  std::memset(name, 'x', sizeof name);
  EXPECT_FALSE(b.temp_file_callback()(name, 8, &b));
  for (char c : name) EXPECT_EQ(c, 'x');
}

TEST(NextCabinetCallback, RefusesASecondCabinetAndNamesItFooWithTheNumber) {
  CabinetBuilder b;
  CCAB ccab{};
  ccab.iCab = 7;
  std::strcpy(ccab.szCab, "first.cab");
  EXPECT_FALSE(b.next_cabinet_callback()(&ccab, 123, &b));
  EXPECT_STREQ(ccab.szCab, "FOO7");
}

std::vector<double> g_reported;
void __stdcall record_progress(double percent) { g_reported.push_back(percent); }

TEST(StatusCallback, FileReportsMoveTheProgressCappedAt99AndCallBackEveryTime) {
  CabinetBuilder b;
  b.progress_callback = &record_progress;
  g_reported.clear();
  PFNFCISTATUS status = b.status_callback();

  // Nothing measured: the value stays, the callback still comes.
  EXPECT_EQ(status(statusFile, 10, 100, &b), 0);
  EXPECT_EQ(b.processed_bytes, 100u);
  EXPECT_EQ(b.progress_percent, 0.0);

  b.expected_bytes = 1000;
  EXPECT_EQ(status(statusFile, 10, 300, &b), 0);  // 400 of 1000
  EXPECT_EQ(b.progress_percent, 40.0);
  EXPECT_EQ(status(statusFolder, 1, 2, &b), 0);
  EXPECT_EQ(status(statusCabinet, 1, 2, &b), 0);
  EXPECT_EQ(status(statusFile, 10, 700, &b), 0);  // 1100 of 1000
  EXPECT_EQ(b.progress_percent, 99.0);
  EXPECT_EQ(g_reported, (std::vector<double>{0.0, 40.0, 99.0}));

  // The counters are 32-bit and wrap.
  b.processed_bytes = 0xFFFFFF00u;
  EXPECT_EQ(status(statusFile, 1, 0x200, &b), 0);
  EXPECT_EQ(b.processed_bytes, 0x100u);
  EXPECT_DOUBLE_EQ(b.progress_percent, 25.6);
}

TEST(OpenInfoCallback, GivesLocalDosTimeMaskedAttributesAndAReadHandle) {
  ScratchDir dir;
  ASSERT_TRUE(write_file("info.txt", "info bytes"));
  ASSERT_TRUE(built_cabinets::set_local_write_time(dir / "info.txt", 2019, 7, 14, 13, 37, 41));
  ASSERT_TRUE(SetFileAttributesA("info.txt", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                                 FILE_ATTRIBUTE_ARCHIVE));
  CabinetBuilder b;
  USHORT date = 0xdead, time = 0xdead, attributes = 0xdead;
  int err = kSentinel;
  char name[] = "info.txt";
  INT_PTR f = b.open_info_callback()(name, &date, &time, &attributes, &err, &b);
  ASSERT_NE(f, -1);
  EXPECT_EQ(err, 0);
  EXPECT_EQ(date, ((2019 - 1980) << 9) | (7 << 5) | 14);
  EXPECT_EQ(time, (13 << 11) | (37 << 5) | (41 / 2));
  EXPECT_EQ(attributes, 0x23);
  char back[32] = {};
  EXPECT_EQ(b.read_callback()(f, back, sizeof back, &err, &b), 10u);
  EXPECT_STREQ(back, "info bytes");
  EXPECT_EQ(b.close_callback()(f, &err, &b), 0);
  SetFileAttributesA("info.txt", FILE_ATTRIBUTE_NORMAL);

  char missing[] = "missing.txt";
  EXPECT_EQ(b.open_info_callback()(missing, &date, &time, &attributes, &err, &b), -1);
}

}  // namespace

namespace {

// Deleting a file that is not there, or making a temporary file in a folder
// that does not exist, is reported as the failure it is.
TEST(DeleteAndTempFileCallbacks, ReportFailuresAsFailures) {
  ScratchDir dir;
  CabinetBuilder b;
  int err = kSentinel;
  char missing[] = "missing.tmp";
  EXPECT_EQ(b.delete_callback()(missing, &err, &b), -1);
  EXPECT_EQ(err, 0);
  ASSERT_TRUE(write_file("there.tmp", "x"));
  char there[] = "there.tmp";
  EXPECT_EQ(b.delete_callback()(there, &err, &b), 0);
  EXPECT_FALSE(testing_support::file_exists("there.tmp"));

  char saved_tmp[MAX_PATH] = "", saved_temp[MAX_PATH] = "";
  GetEnvironmentVariableA("TMP", saved_tmp, MAX_PATH);
  GetEnvironmentVariableA("TEMP", saved_temp, MAX_PATH);
  std::string gone = dir / "gone";
  SetEnvironmentVariableA("TMP", gone.c_str());
  SetEnvironmentVariableA("TEMP", gone.c_str());
  char name[MAX_PATH];
  BOOL made = b.temp_file_callback()(name, sizeof name, &b);
  SetEnvironmentVariableA("TMP", saved_tmp[0] ? saved_tmp : nullptr);
  SetEnvironmentVariableA("TEMP", saved_temp[0] ? saved_temp : nullptr);
  EXPECT_FALSE(made);
  std::vector<std::string> logged = built_cabinets::log_messages();
  EXPECT_EQ(logged.size() - std::count(logged.begin(), logged.end(), ""), 2u)
      << "each failure logs the system's text";
}

}  // namespace

namespace {

// The format's limits, met through what a builder holds (set directly here,
// so that no test needs gigabytes): an add that the cabinet could not hold is
// refused before the engine sees the file, and the builder writes what it
// holds with a later file. Sources larger than a few bytes are sparse.
TEST(FormatLimits, AnAddTheCabinetCannotHoldIsRefusedAndTheBuilderGoesOn) {
  ASSERT_TRUE(bind_engine());
  const uint64_t big = 1100ull << 20;
  struct Case {
    const char* name;
    uint64_t held_bytes;  // the cabinet's worst case before the add
    uint32_t held_files;
    uint64_t size;
    bool taken;
  } cases[] = {
      {"second_big.bin", 36 + worst_case_cabinet_bytes(big, 9), 1, big, false},
      {"just_under.bin", 36, 0, kMaxSourceBytes - 1, false},
      {"count_full.txt", 36, kMaxCabinetFiles, 5, false},
      {"count_last.txt", 36, kMaxCabinetFiles - 1, 5, true},
      {"fits_exactly.txt", kMaxCabinetBytes - worst_case_cabinet_bytes(5, 16), 1, 5, true},
      {"one_byte_over.txt", kMaxCabinetBytes - worst_case_cabinet_bytes(5, 17) + 1, 1, 5, false},
  };
  ScratchDir dir;
  ASSERT_TRUE(write_file("later.txt", "later"));
  int n = 0;
  for (const Case& c : cases) {
    if (c.size <= 5) {
      ASSERT_TRUE(write_file(c.name, "12345"));
    } else {
      std::string not_sparse = built_cabinets::make_sparse(dir / c.name, c.size);
      if (!not_sparse.empty()) GTEST_SKIP() << not_sparse;
    }
    std::string cab = built_cabinets::cabinet_path_for_test(n++);
    uint32_t h = open_builder(cab.c_str(), nullptr);
    ASSERT_NE(h, 0u);
    CabinetBuilder* b = find_builder(h);
    ASSERT_NE(b, nullptr);
    b->worst_case_bytes = c.held_bytes;
    b->file_count = c.held_files;
    EXPECT_EQ(add_one_file(h, (dir / c.name).c_str(), true, 2, nullptr), c.taken) << c.name;
    b->worst_case_bytes = 36;  // what was set above never reached the engine
    b->file_count = 0;
    EXPECT_TRUE(add_one_file(h, (dir / "later.txt").c_str(), false, 2, nullptr)) << c.name;
    EXPECT_TRUE(close_builder(h)) << c.name;
    std::vector<built_cabinets::Expected> files = {{"later.txt", "later"}};
    if (c.taken) files.insert(files.begin(), {c.name, "12345"});
    built_cabinets::expect_cabinet(cab, files);
    EXPECT_EQ(testing_support::file_exists(dir / c.name), !c.taken) << "deleted after: " << c.name;
    DeleteFileA((dir / c.name).c_str());
  }
}

}  // namespace

namespace {

// The compressing engine's memory: a freed block of 4 KiB or more goes to
// the next request of its size, a block of another size is not handed out
// for it, and a new block comes zero-filled.
TEST(CompressorMemory, KeepsFreedBlocksForRequestsOfTheirSize) {
  release_spare_blocks();
  auto* kept = static_cast<unsigned char*>(compressor_alloc(65536));
  ASSERT_NE(kept, nullptr);
  std::memset(kept, 0xA5, 65536);
  compressor_free(kept);
  auto* other = static_cast<unsigned char*>(compressor_alloc(65540));
  ASSERT_NE(other, nullptr);
  EXPECT_NE(other, kept);
  EXPECT_TRUE(std::all_of(other, other + 65540, [](unsigned char c) { return c == 0; }));
  EXPECT_EQ(compressor_alloc(65536), kept);
  compressor_free(kept);
  compressor_free(other);
  release_spare_blocks();
}

// A cabinet whose source fills many 32 KiB blocks, of text and of noise,
// built through the library (the compressor's blocks reused from one data
// block to the next) has every byte of the one the engine builds when every
// request gets fresh zero-filled memory.
TEST(CompressorMemory, ReusedBlocksChangeNoByteOfTheCabinet) {
  ASSERT_TRUE(bind_engine());
  ScratchDir dir;
  std::string source;
  uint32_t noise = 12345;
  for (int block = 0; block < 10; ++block) {
    for (int i = 0; i < 32768; ++i) {
      noise = noise * 1103515245u + 12345u;
      source += block % 2 ? static_cast<char>(noise >> 24) : "a line of text, 0123456789\n"[i % 27];
    }
  }
  ASSERT_TRUE(write_file("source.bin", source));
  const std::string path = dir / "source.bin";
  uint32_t h = open_builder((dir / "kept.cab").c_str(), nullptr);
  ASSERT_NE(h, 0u);
  ASSERT_TRUE(add_one_file(h, path.c_str(), false, VORNEX_NAME_BARE, nullptr));
  ASSERT_TRUE(close_builder(h));

  CabinetBuilder b;  // its callbacks, without a builder behind them
  CCAB ccab{};
  ccab.cb = 0x7FFFFFFF;
  ccab.cbFolderThresh = 900000;
  ccab.iCab = 1;
  ccab.setID = 1;
  std::strcpy(ccab.szDisk, "CAB");
  std::strcpy(ccab.szCab, "fresh.cab");
  std::strcpy(ccab.szCabPath, (dir / "").c_str());
  ERF error{};
  HFCI context = engine().fci_create(&error, b.file_placed_callback(), &alloc_callback,
                                     &free_callback, b.open_callback(), b.read_callback(),
                                     b.write_callback(), b.close_callback(), b.seek_callback(),
                                     b.delete_callback(), b.temp_file_callback(), &ccab, nullptr);
  ASSERT_NE(context, nullptr);
  char source_path[MAX_PATH], stored[] = "source.bin";
  std::strcpy(source_path, path.c_str());
  EXPECT_TRUE(engine().fci_add_file(context, source_path, stored, FALSE, b.next_cabinet_callback(),
                                    b.status_callback(), b.open_info_callback(), tcompTYPE_MSZIP));
  EXPECT_TRUE(engine().fci_flush_cabinet(context, FALSE, b.next_cabinet_callback(),
                                         b.status_callback()));
  engine().fci_destroy(context);
  const std::string fresh = read_file("fresh.cab");
  ASSERT_GT(fresh.size(), source.size() / 2) << "the noise does not compress";
  EXPECT_TRUE(read_file("kept.cab") == fresh);
}

// Each allocation of the library failing in turn (one failure a run), over
// one build and one read of its cabinet: each call gives its result or its
// failure value, the process goes on, and what a call reported is what
// happened on disk.
TEST(AllocationFailures, EachCallGivesItsFailureValueAndReportsWhatHappened) {
  ASSERT_TRUE(bind_engine());
  ScratchDir dir;
  const std::map<std::string, std::string> sources = {
      {"a.txt", "alpha"}, {"b.txt", "bravo"}, {"sub\\c.txt", "charlie"}};
  CreateDirectoryA("tree", nullptr);
  CreateDirectoryA("tree\\sub", nullptr);
  ASSERT_TRUE(write_file("tree\\b.txt", "bravo") && write_file("tree\\sub\\c.txt", "charlie"));
  const std::string cab = dir / "out.cab", a = dir / "a.txt", tree = dir / "tree";
  bool nothing_failed = false;
  for (long limit = 0; !nothing_failed && limit < 500; ++limit) {
    SCOPED_TRACE("allocations before the one that fails: " + std::to_string(limit));
    ASSERT_TRUE(testing_support::file_exists(a) || write_file(a, "alpha"));
    testing_support::remove_tree(dir / "x");
    g_allocations_left = limit;
    uint32_t h = open_builder(cab.c_str(), nullptr);
    bool added_a = h != 0 && add_one_file(h, a.c_str(), true, 2, nullptr);
    bool added_tree = h != 0 && add_folder_tree(h, tree.c_str(), true, false, 1, tree.c_str());
    bool written = h != 0 && close_builder(h);
    uint32_t r = written ? open_reader(cab.c_str()) : 0;
    bool extracted = r != 0 && extract_all(r, (dir / "x").c_str());
    bool closed = r == 0 || close_reader(r);
    nothing_failed = g_allocations_left >= 0;
    g_allocations_left = -1;

    EXPECT_TRUE(closed);
    EXPECT_EQ(testing_support::file_exists(cab), written);
    EXPECT_EQ(testing_support::file_exists(a), !(added_a && written)) << "deleted only when packed";
    if (!written) continue;
    std::vector<std::string> names = built_cabinets::list_with_reader(cab);
    DeleteFileA(cab.c_str());
    for (const std::string& name : names) {
      EXPECT_EQ(sources.count(name), 1u) << name;
      EXPECT_TRUE(!extracted || read_file(dir / ("x\\" + name)) == sources.at(name)) << name;
    }
    std::set<std::string> held(names.begin(), names.end());
    EXPECT_EQ(held.size(), names.size());
    EXPECT_EQ(held.count("a.txt"), added_a ? 1u : 0u);
    EXPECT_TRUE(!added_tree || held.count("b.txt") + held.count("sub\\c.txt") == 2u);
  }
  EXPECT_TRUE(nothing_failed) << "the build needs more allocations than the test tries";
}

}  // namespace
