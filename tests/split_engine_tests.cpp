// The split engine writing real sets under Wine, each set read back by an
// independent reader and rejoined by running its real first piece.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstring>
#include <iostream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "compression.h"
#include "crc32.h"
#include "crc32_fast.h"
#include "par2.h"
#include "source_guard.h"
#include "split_engine.h"
#include "split_test_support.h"
#include "test_support.h"

namespace {

using namespace testing_support;
using namespace split_testing;

std::vector<std::string> sorted(std::vector<std::string> names) {
  std::sort(names.begin(), names.end());
  return names;
}
std::string bare(const std::string& path) { return path.substr(path.rfind('\\') + 1); }

class SplitEngine : public ::testing::Test {
 protected:
  void SetUp() override {
    add_bin_to_path();
    velmora::set_joiner_image_source(velmora_exe().c_str());
  }

  // Writes `bytes` as the source `name` and splits it into `target`.
  int split(const std::string& name, const std::string& bytes, const std::string& target,
            int32_t section, bool compress = false, bool autodetect = false) {
    source_ = dir_ / name;
    EXPECT_TRUE(write_file(source_, bytes));
    return split_existing(source_, target, section, compress, autodetect);
  }
  int split_existing(const std::string& source, const std::string& target, int32_t section,
                     bool compress = false, bool autodetect = false) {
    return run_split(source, target, section, compress, autodetect, hooks_, &payload_path_);
  }

  // Runs the first piece as a process and returns the rebuilt file's bytes.
  // A set cut short never takes the file's name: the first piece keeps the
  // leading part as the name with ".partial" added, says so and exits 1.
  std::string join(const std::string& first_piece, const std::string& name,
                   const std::string& target_argument = "", bool cut_short = false) {
    std::string cwd = dir_ / "joined";
    CreateDirectoryA(cwd.c_str(), nullptr);
    std::string line = "\"" + first_piece + "\"";
    if (!target_argument.empty()) line += " \"" + target_argument + "\"";
    ProcessResult run = run_process(line, cwd);
    EXPECT_EQ(run.exit_code, cut_short ? 1u : 0u) << run.output;
    EXPECT_EQ(run.output.rfind(cut_short ? "joiner: set cut short by Break: " : "", 0), 0u) << run.output;
    if (!cut_short) EXPECT_EQ(run.output, "");
    return read_file((target_argument.empty() ? cwd : target_argument) + "\\" + name + (cut_short ? ".partial" : ""));
  }

  ScratchDir dir_;
  TestHooks hooks_;
  std::string source_;
  std::string payload_path_;
};

// Section 10000, payload 13049: 10000 + 10000 + 13 bytes, records (2,1012),
// (5,1796), (1,1); the head is the joiner image; the set rejoins exactly.
TEST_F(SplitEngine, WorkedExampleSection10000Payload13049) {
  std::string bytes = pattern_bytes(13049, 1);
  // A checksum file of an earlier set of that name is replaced.
  CreateDirectoryA((dir_ / "out").c_str(), nullptr);
  ASSERT_TRUE(write_file(dir_ / "out\\reportVRAX.sfv", "reportVRAX.exe 00000000\r\n"));
  ASSERT_EQ(split("report.doc", bytes, dir_ / "out", 10000), velmora::kSplitDone);
  std::string first = dir_ / "out\\reportVRAX.exe";
  SetOnDisk set = read_set(first);
  ASSERT_TRUE(set.readable);
  EXPECT_EQ(set.image, read_file(joiner_exe()));
  EXPECT_EQ(set.header.payload_size, 13049u);
  EXPECT_STREQ(set.header.file_name, "report.doc");
  EXPECT_EQ(set.header.piece_count, 3);
  EXPECT_EQ(set.header.compressed, 0);
  ASSERT_EQ(set.pieces.size(), 3u);
  const uint64_t sizes[] = {10000, 10000, 13};
  const int32_t counts[] = {2, 5, 1}, lasts[] = {1012, 1796, 1};
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(set.pieces[i].file_size, sizes[i]) << i;
    EXPECT_EQ(set.pieces[i].chunk.reserved, 0u) << i;
    EXPECT_EQ(set.pieces[i].chunk.block_count, counts[i]) << i;
    EXPECT_EQ(set.pieces[i].chunk.last_block_size, lasts[i]) << i;
  }
  EXPECT_EQ(set.payload(), bytes);
  EXPECT_FALSE(file_exists(dir_ / "out\\reportVRAX.002"));
  // Checksums ride in the free bytes and one more file; the library lies
  // beside the set; nothing else.
  EXPECT_EQ(checksum_findings(set, false, source_), "");
  EXPECT_EQ(sorted(files_in(dir_ / "out")), (std::vector<std::string>{"reportVRAX.000", "reportVRAX.001",
                                                              "reportVRAX.exe", "reportVRAX.sfv",
                                                              "vornex.dll"}));
  EXPECT_EQ(join(first, "report.doc"), bytes);
}

TEST_F(SplitEngine, WorkedExampleSection6941Payload6942) {
  std::string bytes = pattern_bytes(6942, 2);
  ASSERT_EQ(split("p.bin", bytes, dir_.path(), 6941), velmora::kSplitDone);
  SetOnDisk set = read_set(dir_ / "pVRAX.exe");
  ASSERT_TRUE(set.readable);
  EXPECT_EQ(set.header.piece_count, 3);
  ASSERT_EQ(set.pieces.size(), 3u);
  EXPECT_EQ(set.pieces[0].file_size, 6941u);
  EXPECT_EQ(set.pieces[0].data.size(), 1u);
  EXPECT_EQ(set.pieces[1].file_size, 6941u);
  EXPECT_EQ(set.pieces[1].chunk.block_count, 4);
  EXPECT_EQ(set.pieces[1].chunk.last_block_size, 785);
  EXPECT_EQ(set.pieces[2].file_size, 24u);
  EXPECT_EQ(set.pieces[2].data.size(), 12u);
  EXPECT_EQ(set.payload(), bytes);
}

// Whole-block data areas end with a whole last block, in the first piece
// (section 6940 + 3 * 2048) and where the payload ends inside a later piece.
TEST_F(SplitEngine, DataAreasOfWholeBlocksEndWithAWholeBlock) {
  const int32_t section = 6940 + 3 * 2048;
  // 3 blocks in the first piece, a full piece 000 (13072 bytes), 2 blocks in 001.
  std::string bytes = pattern_bytes(3 * 2048 + (section - 12) + 2 * 2048, 3);
  ASSERT_EQ(split("w.bin", bytes, dir_.path(), section), velmora::kSplitDone);
  SetOnDisk set = read_set(dir_ / "wVRAX.exe");
  ASSERT_TRUE(set.readable);
  ASSERT_EQ(set.pieces.size(), 3u);
  EXPECT_EQ(set.pieces[0].chunk.block_count, 3);
  EXPECT_EQ(set.pieces[0].chunk.last_block_size, 2048);
  EXPECT_EQ(set.pieces[1].chunk.block_count, 7);
  EXPECT_EQ(set.pieces[1].chunk.last_block_size, 784);
  EXPECT_EQ(set.pieces[2].chunk.block_count, 2);
  EXPECT_EQ(set.pieces[2].chunk.last_block_size, 2048);
  EXPECT_EQ(set.pieces[2].file_size, 12u + 4096u);
  EXPECT_EQ(set.payload(), bytes);
}

struct RefusalCase {
  const char* label;
  uint32_t payload;  // bytes of the source (0: no source file)
  int32_t section;
  const char* target;  // relative to the scratch directory
  int result;
};
// Cases are named by their labels in the test names.
void PrintTo(const RefusalCase& c, std::ostream* out) { *out << c.label; }


class SplitRefusals : public SplitEngine, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(SplitRefusals, EndWithTheirResultAndWriteNoSet) {
  const RefusalCase& c = GetParam();
  write_file(dir_ / "blocker", "a file where a directory is needed");
  std::string source = dir_ / "s.bin";
  if (c.payload) write_file(source, pattern_bytes(c.payload, 4));
  EXPECT_EQ(split_existing(source, dir_ / c.target, c.section), c.result);
  EXPECT_FALSE(file_exists(dir_ / "t\\sVRAX.exe"));
}

INSTANTIATE_TEST_SUITE_P(
    Results, SplitRefusals,
    ::testing::Values(RefusalCase{"section6940", 20000, 6940, "t", velmora::kSectionTooSmall},
                      RefusalCase{"section0", 20000, 0, "t", velmora::kSectionTooSmall},
                      RefusalCase{"negative", 20000, -5, "t", velmora::kSectionTooSmall},
                      RefusalCase{"payloadEqualsSection", 10000, 10000, "t", velmora::kPayloadTooSmall},
                      RefusalCase{"payloadSmaller", 9000, 10000, "t", velmora::kPayloadTooSmall},
                      RefusalCase{"noSource", 0, 10000, "t", velmora::kPayloadUnreadable},
                      RefusalCase{"pieceNotCreatable", 20000, 10000, "blocker\\t",
                                  velmora::kPieceFailed}),
    [](const ::testing::TestParamInfo<RefusalCase>& info) { return info.param.label; });

// A source of 2 GiB or more is too large (not "smaller than a section"), also
// when it is to be compressed; a size with a high half is never read by its
// low half alone (4 GiB + 20000 bytes would split as 20000 bytes).
TEST_F(SplitEngine, SourceOf2GiBOrMoreIsTooLargeNotTruncated) {
  const uint64_t sizes[] = {(uint64_t{1} << 32) + 20000, uint64_t{0x80000000} + 5,
                            uint64_t{0x80000000}};
  for (uint64_t size : sizes) {
    for (bool compress : {false, true}) {
      std::string source = dir_ / "huge.bin";
      ASSERT_TRUE(make_sized_file(source, size));
      EXPECT_EQ(split_existing(source, dir_ / "t", 10000, compress), velmora::kSourceTooLarge)
          << size << " compress " << compress;
      EXPECT_FALSE(file_exists(dir_ / "t\\hugeVRAX.exe"));
      DeleteFileA(source.c_str());
    }
  }
}

// Compression refuses a source the cabinet format cannot hold before the
// library sees it, and a source it cannot open; no piece is written.
TEST_F(SplitEngine, CompressionRefusalsEndWithResult6) {
  std::string huge = dir_ / "huge.bin";
  ASSERT_TRUE(make_sized_file(huge, velmora::kMaxCabinetSource));
  EXPECT_EQ(split_existing(huge, dir_ / "t", 10000, true), velmora::kCompressionFailed);
  EXPECT_EQ(split_existing(dir_ / "missing.bin", dir_ / "t", 10000, true),
            velmora::kCompressionFailed);
  EXPECT_FALSE(dir_exists(dir_ / "t"));
}

// A compressed set: the payload is a cabinet of the source under its bare
// name, the header still names the source, the temporary cabinet is gone
// after the split, and the first piece expands the file again, into a target
// directory or into the current directory.
TEST_F(SplitEngine, CompressedSetRebuildsTheSource) {
  std::string text;
  for (int i = 0; text.size() < 300000; ++i) text += "line " + std::to_string(i) + " of a text\r\n";
  std::string bytes = text + pattern_bytes(60000, 12);
  ASSERT_EQ(split("notes.txt", bytes, dir_ / "c", 10000, true), velmora::kSplitDone);
  char cabinet[260];
  ASSERT_TRUE(velmora::temp_cabinet_path(source_.c_str(), cabinet, sizeof cabinet));
  EXPECT_EQ(payload_path_, cabinet);
  EXPECT_FALSE(file_exists(cabinet));
  EXPECT_EQ(read_file(source_), bytes);

  SetOnDisk set = read_set(dir_ / "c\\notesVRAX.exe");
  ASSERT_TRUE(set.readable);
  EXPECT_EQ(set.header.compressed, 1);
  EXPECT_STREQ(set.header.file_name, "notes.txt");
  std::string payload = set.payload();
  EXPECT_EQ(set.header.payload_size, payload.size());
  EXPECT_EQ(payload.substr(0, 4), "MSCF");
  EXPECT_LT(payload.size(), bytes.size());
  EXPECT_EQ(checksum_findings(set, false, source_), "");

  EXPECT_EQ(join(dir_ / "c\\notesVRAX.exe", "notes.txt", dir_ / "expanded\\here"), bytes);
  EXPECT_EQ(join(dir_ / "c\\notesVRAX.exe", "notes.txt"), bytes);
}

// A cabinet that compresses below the section size is refused like a small
// source, and the temporary cabinet is removed with the refusal.
TEST_F(SplitEngine, CompressedPayloadSmallerThanTheSectionGivesResult2) {
  std::string bytes(200000, 'a');
  EXPECT_EQ(split("flat.bin", bytes, dir_ / "c", 100000, true), velmora::kPayloadTooSmall);
  EXPECT_FALSE(file_exists(payload_path_));
  EXPECT_FALSE(file_exists(dir_ / "c\\flatVRAX.exe"));
}

// The close that reports the cabinet unwritten is a compression failure (a
// directory sits where the cabinet should be written). A split meeting that
// directory at its cabinet's name takes another name and leaves it alone.
TEST_F(SplitEngine, ACabinetThatCannotBeWrittenGivesResult6) {
  source_ = dir_ / "blocked.bin";
  write_file(source_, pattern_bytes(50000, 13));
  char cabinet[260];
  ASSERT_TRUE(velmora::temp_cabinet_path(source_.c_str(), cabinet, sizeof cabinet));
  ASSERT_TRUE(CreateDirectoryA(cabinet, nullptr));
  EXPECT_EQ(velmora::compress_to_cabinet(source_.c_str(), cabinet), velmora::kCompressionFailed);
  EXPECT_EQ(split_existing(source_, dir_ / "c", 10000, true), velmora::kSplitDone);
  EXPECT_NE(payload_path_, cabinet);
  EXPECT_TRUE(dir_exists(cabinet));
  RemoveDirectoryA(cabinet);
  EXPECT_TRUE(file_exists(dir_ / "c\\blockedVRAX.exe"));
}

TEST(TempCabinetPath, IsTheTempDirectoryAndTheSourceFromItsLastBackslash) {
  char temp[MAX_PATH];
  GetTempPathA(sizeof temp, temp);
  char path[260];
  ASSERT_TRUE(velmora::temp_cabinet_path("C:\\data\\report.doc", path, sizeof path));
  EXPECT_EQ(std::string(path), std::string(temp) + "\\report.doc.tmp");
  ASSERT_TRUE(velmora::temp_cabinet_path("report.doc", path, sizeof path));
  EXPECT_EQ(std::string(path), std::string(temp) + "report.doc.tmp");
  EXPECT_FALSE(velmora::temp_cabinet_path(("C:\\" + std::string(250, 'x')).c_str(), path, sizeof path));
}

// The files of the temporary directory whose names begin with `prefix` and
// end in ".tmp": the temporary cabinets of a source of that name.
std::vector<std::string> temp_cabinets_of(const std::string& prefix) {
  char temp[MAX_PATH];
  GetTempPathA(sizeof temp, temp);
  std::vector<std::string> found;
  for (const std::string& name : files_in(temp)) {
    if (name.compare(0, prefix.size(), prefix) == 0 && name.size() > 4 &&
        name.compare(name.size() - 4, 4, ".tmp") == 0)
      found.push_back(name);
  }
  return found;
}

// A file of the user's that has the temporary cabinet's name is neither
// replaced nor deleted: the split reserves another name, and whatever way the
// split ends after compression, the cabinet it made is gone.
struct CabinetExit {
  const char* label;
  int bytes_kind;  // zero: a text that compresses to much less than 100000 bytes
  const char* target;
  bool image_present;
  int result;
};
// Cases are named by their labels in the test names.
void PrintTo(const CabinetExit& c, std::ostream* out) { *out << c.label; }


class TemporaryCabinet : public SplitEngine, public ::testing::WithParamInterface<CabinetExit> {};

TEST_P(TemporaryCabinet, LeavesTheUsersFileAndIsRemovedOnEveryWayOut) {
  const CabinetExit& c = GetParam();
  const std::string name = std::string("cab_") + c.label + ".txt";
  std::string text;
  for (int i = 0; text.size() < 400000; ++i) text += "row " + std::to_string(i) + "\r\n";
  std::string bytes = c.bytes_kind == 0 ? std::string(200000, 'a') : text + pattern_bytes(200000, 30);
  source_ = dir_ / name;
  ASSERT_TRUE(write_file(source_, bytes));
  char users_file[260];
  ASSERT_TRUE(velmora::temp_cabinet_path(source_.c_str(), users_file, sizeof users_file));
  ASSERT_TRUE(write_file(users_file, "the user's own file"));
  write_file(dir_ / "blocker", "a file where a directory is needed");
  if (!c.image_present) velmora::set_joiner_image_source((dir_ / "no_such.exe").c_str());

  EXPECT_EQ(split_existing(source_, dir_ / c.target, 100000, true), c.result);
  EXPECT_EQ(read_file(users_file), "the user's own file");
  EXPECT_EQ(temp_cabinets_of(name), std::vector<std::string>{bare(users_file)});
  EXPECT_EQ(read_file(source_), bytes);
  DeleteFileA(users_file);
  if (c.result == velmora::kSplitDone) {
    std::string first = dir_ / c.target + "\\cab_" + c.label + "VRAX.exe";
    EXPECT_EQ(join(first, name), bytes);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Exits, TemporaryCabinet,
    ::testing::Values(CabinetExit{"done", 1, "out", true, velmora::kSplitDone},
                      CabinetExit{"payloadTooSmall", 0, "out", true, velmora::kPayloadTooSmall},
                      CabinetExit{"pieceFailed", 1, "blocker\\out", true, velmora::kPieceFailed},
                      CabinetExit{"headFailed", 1, "out", false, velmora::kFirstPieceReopen}),
    [](const ::testing::TestParamInfo<CabinetExit>& info) { return info.param.label; });

// A source that the set would write over (a piece's name, the checksum
// file's, in the folder the set goes to, however that folder is spelled) is
// refused before anything is written; one whose names do not clash splits.
struct ClashCase {
  const char* label;
  const char* source;  // in the folder "src"
  const char* target;  // "{src}" stands for that folder, "{SRC}" in capitals,
                       // "{Z}" for it through drive Z:
  bool compress;
  bool autodetect;
  int result;
};
// Cases are named by their labels in the test names.
void PrintTo(const ClashCase& c, std::ostream* out) { *out << c.label; }


class SourceInSet : public SplitEngine, public ::testing::WithParamInterface<ClashCase> {};

std::string upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](char c) { return static_cast<char>(std::toupper(c)); });
  return text;
}

// `folder` (on drive C:, the Wine prefix's drive_c) through drive Z:.
std::string through_drive_z(const std::string& folder) {
  std::string bin = bin_dir();
  return bin.substr(0, bin.rfind('\\')) + "\\wineprefix\\drive_c" + folder.substr(2);
}

TEST_P(SourceInSet, IsRefusedBeforeAnythingIsWritten) {
  const ClashCase& c = GetParam();
  const std::string src = dir_ / "src";
  ASSERT_TRUE(CreateDirectoryA(src.c_str(), nullptr));
  CreateDirectoryA((src + "\\sub").c_str(), nullptr);
  std::string target = c.target;
  auto put = [&](const std::string& key, const std::string& value) {
    size_t at = target.find(key);
    if (at != std::string::npos) target.replace(at, key.size(), value);
  };
  put("{src}", src);
  put("{SRC}", upper(src));
  if (target.find("{Z}") != std::string::npos) {
    if (!dir_exists(through_drive_z(src))) GTEST_SKIP() << "no Z: spelling of " << src;
    put("{Z}", through_drive_z(src));
  }
  const std::string source = src + "\\" + c.source;
  const std::string bytes = pattern_bytes(25000, 31);  // 3 later pieces of section 10000
  ASSERT_TRUE(write_file(source, bytes));
  std::vector<std::string> before = files_in(src);

  EXPECT_EQ(split_existing(source, target, 10000, c.compress, c.autodetect), c.result) << target;
  EXPECT_EQ(read_file(source), bytes);
  if (c.result == velmora::kSourceInSet) {
    EXPECT_EQ(sorted(files_in(src)), sorted(before));
    EXPECT_TRUE(temp_cabinets_of(c.source).empty());
  } else {
    EXPECT_GT(files_in(src).size() + files_in(dir_ / "other").size(), before.size());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Names, SourceInSet,
    ::testing::Values(
        ClashCase{"laterPiece", "partVRAX.000", "{src}", false, false, velmora::kSourceInSet},
        ClashCase{"lastLaterPiece", "partVRAX.002", "{src}", false, false, velmora::kSourceInSet},
        ClashCase{"pieceBeyondTheSet", "partVRAX.500", "{src}", false, false, velmora::kSplitDone},
        ClashCase{"anyPieceWithAutomaticSize", "partVRAX.500", "{src}", false, true,
                  velmora::kSourceInSet},
        ClashCase{"anyPieceWhenCompressed", "partVRAX.500", "{src}", true, false,
                  velmora::kSourceInSet},
        ClashCase{"firstPiece", "dataVRAX.exe", "{src}", false, false, velmora::kSourceInSet},
        ClashCase{"firstPieceInCapitals", "dataVRAX.EXE", "{src}", false, false,
                  velmora::kSourceInSet},
        ClashCase{"checksumFile", "dataVRAX.sfv", "{src}", false, false, velmora::kSourceInSet},
        ClashCase{"compressedFirstPiece", "dataVRAX.exe", "{src}", true, false,
                  velmora::kSourceInSet},
        ClashCase{"markerInOtherCaseIsNoMarker", "datavrax.exe", "{src}", false, false,
                  velmora::kSplitDone},
        ClashCase{"noClash", "report.doc", "{src}", false, false, velmora::kSplitDone},
        ClashCase{"folderInCapitals", "partVRAX.000", "{SRC}", false, false, velmora::kSourceInSet},
        ClashCase{"dotDetour", "partVRAX.000", "{src}\\.", false, false, velmora::kSourceInSet},
        ClashCase{"parentDetour", "partVRAX.001", "{src}\\sub\\..", false, false,
                  velmora::kSourceInSet},
        ClashCase{"otherDriveLetter", "partVRAX.000", "{Z}", false, false, velmora::kSourceInSet},
        ClashCase{"emptyTarget", "partVRAX.000", "", false, false, velmora::kSourceInSet},
        ClashCase{"otherFolder", "partVRAX.000", "{src}\\..\\other", false, false,
                  velmora::kSplitDone}),
    [](const ::testing::TestParamInfo<ClashCase>& info) { return info.param.label; });

// The library beside the first piece belongs to the PAR2 set with the
// pieces, with the bytes the split wrote ("placed"), or those of a file of
// that name it found and kept, under its name there ("kept"); a file of
// that name too large to be a library of ours is kept but not covered
// ("large"). The index carries the library's MD5. split_par2_check.sh runs
// this with VELMORA_RECOVERY_SET naming a folder of its own and checks the
// first two sets there with par2 and velmora.exe /repair (the library and
// the first piece lost together, both rebuilt).
class RecoveryVolumes : public SplitEngine, public ::testing::WithParamInterface<const char*> {};
TEST_P(RecoveryVolumes, CoverTheLibraryBesideTheFirstPiece) {
  char named[MAX_PATH] = "";
  GetEnvironmentVariableA("VELMORA_RECOVERY_SET", named, sizeof named);
  const std::string kind = GetParam(), target = (named[0] ? std::string(named) : dir_.path()) + "\\" + kind;
  CreateDirectoryA(target.c_str(), nullptr);
  const std::string name = kind == "placed" ? "vornex.dll" : "VORNEX.DLL";
  const std::string library = kind == "placed" ? read_file(bin_dir() + "\\vornex.dll")
                                               : pattern_bytes(kind == "kept" ? 5001 : 65537, 8);
  if (kind != "placed") { ASSERT_TRUE(write_file(target + "\\" + name, library)); }
  source_ = dir_ / "report.doc";
  ASSERT_TRUE(write_file(source_, pattern_bytes(250000, 7)));
  SplitJob job{};
  std::strcpy(job.source_path, source_.c_str());
  std::strcpy(job.target_directory, target.c_str());
  job.section_size = 60000;
  job.recovery = 2;
  ASSERT_EQ(velmora::split_file(job, hooks_), velmora::kSplitDone) << job.recovery_problem_detail;
  EXPECT_TRUE(read_file(target + "\\" + name) == library);
  const par2::Md5Digest md5 = par2::Md5::of(library.data(), library.size());
  const std::string index = read_file(target + "\\reportVRAX.par2");
  const bool covered = index.find(std::string(reinterpret_cast<const char*>(md5.bytes), 16)) != std::string::npos;
  EXPECT_EQ(covered, kind != "large");
  EXPECT_EQ(index.find(name) != std::string::npos, covered);
  for (uint32_t e = 0; e < 2; ++e)
    EXPECT_TRUE(file_exists(target + "\\" + par2::Writer::volume_name("reportVRAX", e, 2)));
}
INSTANTIATE_TEST_SUITE_P(Library, RecoveryVolumes, ::testing::Values("placed", "kept", "large"),
                         [](const ::testing::TestParamInfo<const char*>& info) { return std::string(info.param); });

TEST(SetNames, AreTheFirstPieceTheChecksumFileTheLibraryAndPieceNumbers) {
  struct Case { const char* name; int64_t later; bool in_set; };
  const Case cases[] = {
      {"reportVRAX.exe", 0, true},    {"REPORTvrax.EXE", 0, true},  {"reportVRAX.sfv", 0, true},
      {"reportVRAX.000", 1, true},    {"reportVRAX.000", 0, false}, {"reportVRAX.999", 1000, true},
      {"reportVRAX.999", 999, false}, {"reportVRAX.1000", 1001, true},
      {"reportVRAX.0100", -1, false}, {"reportVRAX.00", -1, false}, {"reportVRAX.12345", -1, true},
      {"reportVRAX.0001", -1, false}, {"reportVRAX.00a", -1, false}, {"reportVRAX.exe.bak", -1, false},
      {"report.doc", -1, false},      {"reportVRAX.", -1, false},   {"xreportVRAX.000", -1, false},
      {"reportVRAX.par2", 0, true},   {"REPORTvrax.VOL07+19.PAR2", 0, true},
      {"reportVRAX.vol0+1.par2", 0, true}, {"reportVRAX.vol+1.par2", -1, false},
      {"reportVRAX.vol1+.par2", -1, false}, {"reportVRAX.vol1+1.par", -1, false},
      {"reportVRAX.vol1-1.par2", -1, false}, {"reportVRAX.par2.bak", -1, false},
      {"vornex.dll", 0, true},        {"VORNEX.DLL", 0, true},      {"vornex.dll.bak", -1, false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(splitset::is_name_of_set("reportVRAX.exe", c.name, c.later), c.in_set)
        << c.name << " " << c.later;
}

// The engine's CRC (carry-less multiplication where the processor has it)
// agrees with the system's and with the set format's tables, for every
// length around its 16- and 64-byte steps and at every alignment.
TEST(Crc32Fast, AgreesWithTheSystemAndTheTables) {
  splitset::Crc32Table table;
  splitset::crc32_init(table);
  const std::string bytes = pattern_bytes(70000, 33);
  for (size_t length : {0, 1, 15, 16, 17, 63, 64, 65, 79, 80, 127, 128, 129, 192, 208, 2047, 2048,
                        2100, 4208, 65536}) {
    for (size_t offset = 0; offset < 4; ++offset) {
      const std::string part = bytes.substr(offset, length);
      const uint32_t expected = system_crc32(part);
      EXPECT_EQ(velmora::crc32_fast(0, part.data(), length), expected) << length << "+" << offset;
      EXPECT_EQ(splitset::crc32_update(table, 0, part.data(), length), expected) << length;
      // Continued from a running CRC, as block after block.
      uint32_t running = velmora::crc32_fast(0, bytes.data(), 100);
      EXPECT_EQ(velmora::crc32_fast(running, part.data(), length), system_crc32(bytes.substr(0, 100) + part));
      if (velmora::crc32_fast_has_clmul() && length >= 64 && length % 16 == 0) {
        EXPECT_EQ(velmora::crc32_clmul(0, part.data(), length, false), expected) << length;
        if (velmora::crc32_fast_has_wide() && length >= 128)
          EXPECT_EQ(velmora::crc32_clmul(0, part.data(), length, true), expected) << length;
      }
    }
  }
  std::cout << "carry-less path: " << (velmora::crc32_fast_has_clmul() ? "yes" : "no")
            << ", 256-bit: " << (velmora::crc32_fast_has_wide() ? "yes" : "no") << "\n";
}

TEST(LaterPieceCount, FollowsTheBlockRule) {
  EXPECT_EQ(splitset::later_piece_count(13049, 10000), 2);
  EXPECT_EQ(splitset::later_piece_count(6942, 6941), 2);
  EXPECT_EQ(splitset::later_piece_count(1 + 1001 * 6929, 6941), 1001);
  EXPECT_EQ(splitset::later_piece_count(3060, 10000), 0);
  EXPECT_EQ(splitset::later_piece_count(3061, 10000), 1);
}

// An empty target directory is the source's own folder (not the root of the
// current drive), also for a source named without a folder.
TEST_F(SplitEngine, AnEmptyTargetDirectoryIsTheSourcesFolder) {
  std::string bytes = pattern_bytes(25000, 32);
  CreateDirectoryA((dir_ / "here").c_str(), nullptr);
  ASSERT_EQ(split("here\\report.doc", bytes, "", 10000), velmora::kSplitDone);
  EXPECT_TRUE(file_exists(dir_ / "here\\reportVRAX.exe"));
  EXPECT_TRUE(file_exists(dir_ / "here\\reportVRAX.002"));
  EXPECT_EQ(join(dir_ / "here\\reportVRAX.exe", "report.doc"), bytes);

  ASSERT_TRUE(write_file(dir_ / "bare.doc", bytes));
  ASSERT_EQ(split_existing("bare.doc", "", 10000), velmora::kSplitDone);  // current directory
  EXPECT_TRUE(file_exists(dir_ / "bareVRAX.exe"));
  EXPECT_EQ(join(dir_ / "bareVRAX.exe", "bare.doc"), bytes);
}

// More than 1000 later pieces: the 1001st is numbered 1000, and the joiner
// finds it.
TEST_F(SplitEngine, PieceNumbersGoPast999) {
  std::string bytes = pattern_bytes(1 + 1001 * 6929, 5);
  ASSERT_EQ(split("many.bin", bytes, dir_ / "m", 6941), velmora::kSplitDone);
  EXPECT_TRUE(file_exists(dir_ / "m\\manyVRAX.999"));
  EXPECT_TRUE(file_exists(dir_ / "m\\manyVRAX.1000"));
  EXPECT_FALSE(file_exists(dir_ / "m\\manyVRAX.1001"));
  SetOnDisk set = read_set(dir_ / "m\\manyVRAX.exe");
  ASSERT_TRUE(set.readable);
  EXPECT_EQ(set.header.piece_count, 1002);
  EXPECT_EQ(checksum_findings(set, false, source_), "");
  EXPECT_EQ(join(dir_ / "m\\manyVRAX.exe", "many.bin"), bytes);
}

// A target directory with a dot and a source name without one: the pieces
// land beside the directory, and the joiner finds them by the same rule.
TEST_F(SplitEngine, ATargetWithADotOrTheMarkerInItsNameGetsThePiecesInside) {
  std::string bytes = pattern_bytes(25000, 6);
  for (const char* folder : {"out.dir", "oldVRAX.d"}) {
    ASSERT_EQ(split("data", bytes, dir_ / folder, 10000), velmora::kSplitDone);
    std::string first = dir_ / (std::string(folder) + "\\dataVRAX.exe");
    EXPECT_TRUE(file_exists(first)) << folder;
    EXPECT_TRUE(file_exists(dir_ / (std::string(folder) + "\\dataVRAX.001"))) << folder;
    EXPECT_EQ(join(first, "data"), bytes) << folder;
  }
  EXPECT_FALSE(file_exists(dir_ / "outVRAX.exe"));
  EXPECT_FALSE(file_exists(dir_ / "oldVRAX.exe"));
}

// The real first piece rebuilds its file: from another current directory,
// into a new target directory (also given with a trailing backslash), and
// renamed as setup.exe beside pieces renamed to match.
TEST_F(SplitEngine, FirstPieceRebuildsTheFileWhereverItIsRun) {
  std::string bytes = pattern_bytes(70000, 7);
  ASSERT_EQ(split("photo.raw", bytes, dir_ / "set", 20000), velmora::kSplitDone);
  std::string first = dir_ / "set\\photoVRAX.exe";
  EXPECT_EQ(join(first, "photo.raw"), bytes);
  EXPECT_EQ(join(first, "photo.raw", dir_ / "new\\deeper"), bytes);
  ProcessResult trailing = run_process("\"" + first + "\" \"" + (dir_ / "tb\\") + "\"", dir_.path());
  EXPECT_EQ(trailing.exit_code, 0u) << trailing.output;
  EXPECT_EQ(read_file(dir_ / "tb\\photo.raw"), bytes);

  CreateDirectoryA((dir_ / "renamed").c_str(), nullptr);
  ASSERT_TRUE(CopyFileA(first.c_str(), (dir_ / "renamed\\setup.exe").c_str(), FALSE));
  for (int n = 0; n < 3; ++n) {
    std::string from = piece_name(first, n), to = piece_name(dir_ / "renamed\\setup.exe", n);
    ASSERT_TRUE(CopyFileA(from.c_str(), to.c_str(), FALSE)) << to;
  }
  EXPECT_EQ(join(dir_ / "renamed\\setup.exe", "photo.raw", dir_ / "from_setup"), bytes);
}

// With automatic size, a target drive with more free space than the payload
// gives result 2 at once; a drive whose space cannot be measured counts as
// full, so the prompt appears, and No gives result 10 before anything is written.
TEST_F(SplitEngine, AutomaticSizeMeasuresTheTargetDrive) {
  uint32_t free_bytes = velmora::free_space_of(dir_.path().c_str());
  EXPECT_GT(free_bytes, 6940u);
  EXPECT_LE(free_bytes, 0x7FFFFFFFu);
  EXPECT_EQ(split("s.bin", pattern_bytes(30000, 8), dir_ / "t", 0, false, true),
            velmora::kPayloadTooSmall);

  int prompts = 0;
  hooks_.disk = [&prompts](velmora::DiskRequest request) {
    ++prompts;
    EXPECT_EQ(request, velmora::DiskRequest::kAnotherDisk);
    return false;
  };
  EXPECT_EQ(velmora::free_space_of("Q:\\nowhere"), 0u);
  EXPECT_EQ(split("s.bin", pattern_bytes(30000, 8), "Q:\\nowhere", 0, false, true),
            velmora::kDiskDeclined);
  EXPECT_EQ(prompts, 1);
}

// The hooks hear of the compression stage first, then of every block, the
// share written never going back and ending at the whole payload, the piece
// counting up.
TEST_F(SplitEngine, ProgressReportsEveryBlockInOrder) {
  hooks_.keep_reports = true;
  std::string text;
  for (int i = 0; text.size() < 300000; ++i) text += "entry " + std::to_string(i) + "\r\n";
  ASSERT_EQ(split("log.txt", text + pattern_bytes(60000, 34), dir_ / "p", 20000, true),
            velmora::kSplitDone);
  const std::vector<velmora::SplitProgress>& reports = hooks_.reports;
  ASSERT_GT(reports.size(), 3u);
  EXPECT_EQ(reports[0].stage, velmora::SplitProgress::Stage::kCompressing);
  const uint32_t payload = read_set(dir_ / "p\\logVRAX.exe").header.payload_size;
  uint32_t blocks = 0, written = 0, piece = 0;
  for (size_t i = 1; i < reports.size(); ++i) {
    const velmora::SplitProgress& r = reports[i];
    EXPECT_EQ(r.stage, velmora::SplitProgress::Stage::kWriting) << i;
    EXPECT_EQ(r.payload_size, payload) << i;
    EXPECT_GE(r.payload_written, written) << i;
    EXPECT_GE(r.piece, piece) << i;
    EXPECT_GE(r.blocks, blocks) << i;
    written = r.payload_written;
    piece = r.piece;
    blocks = r.blocks;
  }
  EXPECT_EQ(written, payload);
  EXPECT_EQ(piece + 1u, static_cast<uint32_t>(read_set(dir_ / "p\\logVRAX.exe").header.piece_count));
}

// copy_block reports a read past the end (a vanished or shrunken source) and
// a write that the piece refuses, each as what it is; it never pretends to
// have copied.
TEST_F(SplitEngine, CopyBlockReportsFailedReadsAndWrites) {
  write_file(dir_ / "src", pattern_bytes(3000, 9));
  HANDLE source = CreateFileA((dir_ / "src").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  HANDLE piece = CreateFileA((dir_ / "piece").c_str(), GENERIC_WRITE | GENERIC_READ, 0, nullptr,
                             CREATE_ALWAYS, 0, nullptr);
  HANDLE read_only = CreateFileA((dir_ / "src").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
  char buffer[2100];
  using velmora::BlockCopy;
  EXPECT_EQ(velmora::copy_block(source, piece, buffer, 0, 100, 2048), BlockCopy::kCopied);
  EXPECT_EQ(velmora::copy_block(source, piece, buffer, 2048, 0, 2048),  // 952 bytes left
            BlockCopy::kReadShort);
  EXPECT_EQ(velmora::copy_block(source, read_only, buffer, 0, 0, 2048), BlockCopy::kWriteFailed);
  CloseHandle(read_only);
  CloseHandle(piece);
  CloseHandle(source);
  EXPECT_EQ(read_file(dir_ / "piece").substr(100), pattern_bytes(3000, 9).substr(0, 2048));
}

// A break cuts the current piece at its last whole block; its record says
// exactly what it holds, no later piece follows, the result is 0 and the set
// rejoins into the leading part of the payload.
class SplitBreak : public SplitEngine {
 protected:
  // Splits on a thread and sets break_requested once `trigger` has reached
  // `min_size` bytes; returns the set read back.
  SetOnDisk split_with_break(const std::string& trigger, uint64_t min_size, int32_t section) {
    bytes_ = pattern_bytes(48 << 20, 10);
    source_ = dir_ / "big.bin";
    write_file(source_, bytes_);
    std::atomic<int> result{-1};
    std::thread worker([&] { result = split_existing(source_, dir_ / "b", section); });
    for (;;) {
      WIN32_FILE_ATTRIBUTE_DATA info;
      if (GetFileAttributesExA(trigger.c_str(), GetFileExInfoStandard, &info) &&
          info.nFileSizeLow >= min_size) {
        hooks_.stop = true;
        break;
      }
      if (result != -1) break;
      Sleep(0);
    }
    worker.join();
    EXPECT_EQ(result, velmora::kSplitDone);
    EXPECT_TRUE(hooks_.stop) << "the split ended before the break";
    return read_set(dir_ / "b\\bigVRAX.exe");
  }

  void expect_cut_set(const SetOnDisk& set, uint64_t section) {
    ASSERT_TRUE(set.readable);
    EXPECT_EQ(set.header.piece_count, static_cast<int32_t>(set.pieces.size()));
    EXPECT_FALSE(file_exists(piece_name(dir_ / "b\\bigVRAX.exe", set.pieces.size() - 1)));
    for (size_t i = 0; i < set.pieces.size(); ++i) {
      uint32_t data_offset = i == 0 ? 6940 : 12;
      EXPECT_EQ(set.pieces[i].file_size, data_offset + set.pieces[i].data.size()) << i;
    }
    // A piece cut by the break ends on a whole block (or holds nothing); only
    // a break between two pieces leaves the last one full.
    const Piece& cut = set.pieces.back();
    if (cut.file_size != section && cut.chunk.block_count > 0) {
      EXPECT_EQ(cut.chunk.last_block_size, 2048);
    }
    // The record describes what the set holds, and says it was cut short.
    EXPECT_EQ(checksum_findings(set, true, source_), "");
    std::string payload = set.payload();
    EXPECT_LT(payload.size(), bytes_.size());
    EXPECT_EQ(payload, bytes_.substr(0, payload.size()));
    EXPECT_EQ(join(dir_ / "b\\bigVRAX.exe", "big.bin", "", true), payload);
  }
  std::string bytes_;
};

TEST_F(SplitBreak, BreakBeforeTheFirstBlockLeavesAnEmptyFirstPiece) {
  write_file(dir_ / "s.bin", pattern_bytes(50000, 11));
  hooks_.stop = true;
  ASSERT_EQ(split_existing(dir_ / "s.bin", dir_ / "b", 20000), velmora::kSplitDone);
  SetOnDisk set = read_set(dir_ / "b\\sVRAX.exe");
  ASSERT_TRUE(set.readable);
  EXPECT_EQ(set.header.piece_count, 1);
  EXPECT_EQ(set.pieces[0].chunk.block_count, 0);
  EXPECT_FALSE(file_exists(dir_ / "b\\sVRAX.000"));
  EXPECT_EQ(checksum_findings(set, true, dir_ / "s.bin"), "");
  EXPECT_EQ(join(dir_ / "b\\sVRAX.exe", "s.bin", "", true), "");
  EXPECT_TRUE(file_exists(dir_ / "joined\\s.bin.partial"));
}

TEST_F(SplitBreak, BreakDuringTheFirstPiece) {
  SetOnDisk set = split_with_break(dir_ / "b\\bigVRAX.exe", 1 << 20, 40 << 20);
  EXPECT_EQ(set.pieces.size(), 1u);
  expect_cut_set(set, 40 << 20);
}

TEST_F(SplitBreak, BreakDuringALaterPiece) {
  SetOnDisk set = split_with_break(dir_ / "b\\bigVRAX.002", 100000, 1 << 20);
  EXPECT_GE(set.pieces.size(), 4u);
  expect_cut_set(set, 1 << 20);
}

// Paths as typed, given to velmora.exe /split from the scratch folder: the set
// lands in the target (its levels created) and stores the bare name; nothing
// else in the tree changes. A source named as a piece of its own set is
// refused however its path is spelled.
struct SpellingCase {
  const char *label, *source, *target, *set_folder, *first_piece;  // set_folder "": the scratch
  int result;
};
void PrintTo(const SpellingCase& c, std::ostream* out) { *out << c.label; }
class PathSpellings : public SplitEngine, public ::testing::WithParamInterface<SpellingCase> {};

TEST_P(PathSpellings, PutTheSetInTheTargetAndStoreTheBareName) {
  const SpellingCase& c = GetParam();
  for (const char* folder : {"sub", "john.smith", "keepVRAX.box"})
    CreateDirectoryA((dir_ / folder).c_str(), nullptr);
  const std::string bytes = pattern_bytes(50000, 35), source = c.source;
  ASSERT_TRUE(write_file(dir_ / source, bytes));
  std::vector<std::string> tree = tree_listing(dir_.path());
  ProcessResult run = run_process("\"" + velmora_exe() + "\" /split \"" + source + "\" \"" +
                                  c.target + "\" 20000", dir_.path());
  EXPECT_EQ(run.exit_code, static_cast<DWORD>(c.result)) << run.output;
  // The tree expected after: what was there, the target's levels, the set.
  const std::string folder = *c.set_folder ? std::string(c.set_folder) + "\\" : "";
  const std::string first = folder + c.first_piece, stem = first.substr(0, first.size() - 3);
  for (size_t at = folder.find('\\'); c.result == 0 && at != std::string::npos;
       at = folder.find('\\', at + 1))
    tree.push_back(folder.substr(0, at + 1));
  if (c.result == 0) {
    for (const char* piece : {"exe 20000", "000 20000", "001 16964", "sfv "})
      tree.push_back(stem + piece);
    tree.push_back(folder + "vornex.dll " +
                   std::to_string(read_file(bin_dir() + "\\vornex.dll").size()));
  }
  std::vector<std::string> after = tree_listing(dir_.path());
  for (std::string& entry : after)  // the checksum file's size follows the name
    if (entry.rfind(stem + "sfv ", 0) == 0) entry.resize(stem.size() + 4);
  std::sort(tree.begin(), tree.end());
  tree.erase(std::unique(tree.begin(), tree.end()), tree.end());
  EXPECT_EQ(after, tree);
  if (c.result != 0) return;
  const std::string name = source.substr(source.find_last_of("\\/") + 1);
  EXPECT_STREQ(read_set(dir_ / first).header.file_name, name.c_str());
  EXPECT_EQ(join(dir_ / first, name), bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Split, PathSpellings,
    ::testing::Values(
        SpellingCase{"forwardSlashSource", "sub/data.bin", ".", "", "dataVRAX.exe", 0},
        SpellingCase{"forwardSlashSourceEmptyTarget", "sub/data.bin", "", "sub", "dataVRAX.exe", 0},
        SpellingCase{"forwardSlashTarget", "d.bin", "out/deep", "out\\deep", "dVRAX.exe", 0},
        SpellingCase{"relativeNewTarget", "d.bin", "new2", "new2", "dVRAX.exe", 0},
        SpellingCase{"relativeTargetTwoLevels", "d.bin", "new\\lvl", "new\\lvl", "dVRAX.exe", 0},
        SpellingCase{"trailingSlash", "d.bin", "tb/", "tb", "dVRAX.exe", 0},
        SpellingCase{"dotDotDetours", "stray\\..\\d.bin", "stray2\\..\\real", "real", "dVRAX.exe", 0},
        SpellingCase{"dotsInFolder", "john.smith\\notes", "", "john.smith", "notesVRAX.exe", 0},
        SpellingCase{"markerInFolders", "keepVRAX.box\\data", "oldVRAX.d", "oldVRAX.d",
                     "dataVRAX.exe", 0},
        SpellingCase{"sourceInItsOwnSetThroughSlash", "keepVRAX.box/dataVRAX.000", "keepVRAX.box",
                     "keepVRAX.box", "dataVRAX.exe", velmora::kSourceInSet}),
    [](const ::testing::TestParamInfo<SpellingCase>& info) { return info.param.label; });

// A source that shrinks while piece 001 is written: result 1, and the held
// first piece, the closed piece 000 and the open piece 001 are gone, while an
// older set's piece and a file of the user's in the target stay. The same
// while piece 003 is written: the closed pieces after the first known by the
// first one's volume.
TEST_F(SplitEngine, ASourceThatShrinksEndsWithResult1AndLeavesNoPieces) {
  for (uint32_t shrink_at : {20, 40}) {  // 7 blocks in the first piece, 10 in each later one
    SCOPED_TRACE(shrink_at);
    ASSERT_TRUE(write_file(dir_ / "s.bin", pattern_bytes(100000, 36)));
    CreateDirectoryA((dir_ / "t").c_str(), nullptr);
    ASSERT_TRUE(write_file(dir_ / "t\\sVRAX.009", "an older set's piece"));
    ASSERT_TRUE(write_file(dir_ / "t\\keep.txt", "the user's"));
    const std::vector<std::string> before = tree_listing(dir_ / "t");
    hooks_.on_progress = [&](const velmora::SplitProgress& progress) {
      if (progress.blocks != shrink_at) return;
      HANDLE source = CreateFileA((dir_ / "s.bin").c_str(), GENERIC_WRITE, FILE_SHARE_READ |
                                  FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
      SetFilePointer(source, progress.payload_written - 100, nullptr, FILE_BEGIN);
      EXPECT_TRUE(SetEndOfFile(source));
      CloseHandle(source);
    };
    EXPECT_EQ(split_existing(dir_ / "s.bin", dir_ / "t", 20000), velmora::kPayloadUnreadable);
    EXPECT_EQ(tree_listing(dir_ / "t"), before);
  }
}

// A second split of a same-named source into the folder where the first is
// writing piece 001 (its first piece and piece 000 written): it cannot create
// the first piece the first split holds (result 3), and the first set
// completes and rebuilds its own source.
TEST_F(SplitEngine, ASecondSplitOfTheSameNameCannotTakeOverTheFirstsSet) {
  const std::string a_bytes = pattern_bytes(80000, 37);
  for (const char* folder : {"a", "b"}) CreateDirectoryA((dir_ / folder).c_str(), nullptr);
  ASSERT_TRUE(write_file(dir_ / "a\\data.bin", a_bytes));
  ASSERT_TRUE(write_file(dir_ / "b\\data.bin", pattern_bytes(25000, 38)));  // two pieces
  HANDLE paused = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE go = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  TestHooks first_hooks;
  first_hooks.on_progress = [&](const velmora::SplitProgress& progress) {
    if (progress.piece == 2 && SetEvent(paused)) WaitForSingleObject(go, 60000);
  };
  std::atomic<int> first_result{-1};
  std::thread first([&] {
    first_result = run_split(dir_ / "a\\data.bin", dir_ / "out", 20000, false, false, first_hooks);
  });
  ASSERT_EQ(WaitForSingleObject(paused, 60000), WAIT_OBJECT_0);
  EXPECT_EQ(split_existing(dir_ / "b\\data.bin", dir_ / "out", 20000), velmora::kPieceFailed);
  SetEvent(go);
  first.join();
  CloseHandle(paused);
  CloseHandle(go);
  EXPECT_EQ(first_result, velmora::kSplitDone);
  EXPECT_EQ(checksum_findings(read_set(dir_ / "out\\dataVRAX.exe"), false, dir_ / "a\\data.bin"), "");
  EXPECT_EQ(join(dir_ / "out\\dataVRAX.exe", "data.bin"), a_bytes);
}

}  // namespace
