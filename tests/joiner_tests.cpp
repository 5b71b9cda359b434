// The real joiner.exe run as a process on sets made here byte by byte: what
// it rebuilds, and that a damaged or incomplete set stops it without losing
// or destroying anything.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "set_integrity.h"
#include "split_set_format.h"
#include "split_test_support.h"
#include "test_support.h"

namespace {

using namespace testing_support;
using namespace split_testing;
using splitset::ChunkRecord;
using splitset::SplitHeader;

PieceSpec piece_for(const std::string& data) { return {splitset::chunk_for_length(data.size()), data}; }

// The path a failure message says the joined data is kept under.
std::string kept_file(const std::string& output) {
  size_t at = output.rfind("kept as ");
  if (at == std::string::npos) return "";
  std::string kept = output.substr(at + 8);
  kept.erase(kept.find_first_of(" \r\n"));
  return kept;
}

class Joiner : public ::testing::Test {
 protected:
  void SetUp() override {
    add_bin_to_path();
    CreateDirectoryA((dir_ / "set").c_str(), nullptr);
    CreateDirectoryA((dir_ / "cwd").c_str(), nullptr);
  }

  // Writes a set: the joiner image, a header naming `name`, the pieces.
  std::string write_set(const std::string& name, const std::vector<PieceSpec>& pieces,
                        bool compressed = false, const std::string& first = "") {
    std::string first_path = first.empty() ? dir_ / "set\\nameVRAX.exe" : first;
    write_test_set(first_path, name, pieces, compressed, false);
    return first_path;
  }

  ProcessResult run(const std::string& first, const std::string& target = "") {
    std::string line = "\"" + first + "\"" + (target.empty() ? "" : " \"" + target + "\"");
    return run_process(line, dir_ / "cwd");
  }

  // The files in the current directory of the joiner.
  std::vector<std::string> cwd_files() { return testing_support::files_in(dir_ / "cwd"); }

  ScratchDir dir_;
};

TEST_F(Joiner, AppendsTheDataAreasInPieceOrder) {
  std::string a = pattern_bytes(5000, 1), b = pattern_bytes(2048, 2), c = pattern_bytes(1, 3);
  // An empty piece (block_count 0) contributes nothing, whatever its last size says.
  PieceSpec empty{ChunkRecord{0, 0, 77}, ""};
  std::string first = write_set("out.bin", {piece_for(a), piece_for(b), empty, piece_for(c)});
  ProcessResult result = run(first);
  EXPECT_EQ(result.exit_code, 0u) << result.output;
  EXPECT_EQ(result.output, "");
  EXPECT_EQ(read_file(dir_ / "cwd\\out.bin"), a + b + c);
  EXPECT_EQ(cwd_files(), std::vector<std::string>{"out.bin"});
}

TEST_F(Joiner, ASetOfOnePieceOpensNoOtherFile) {
  std::string a = pattern_bytes(3000, 4);
  std::string first = write_set("one.bin", {piece_for(a)});
  write_file(dir_ / "set\\nameVRAX.000", "a stray file that is not part of the set");
  ProcessResult result = run(first);
  EXPECT_EQ(result.exit_code, 0u) << result.output;
  EXPECT_EQ(read_file(dir_ / "cwd\\one.bin"), a);
}

// A successful join replaces an existing file of the same name.
TEST_F(Joiner, ASuccessfulJoinReplacesAnExistingOutput) {
  write_file(dir_ / "cwd\\out.bin", "older and longer content than the rebuilt file has");
  std::string first = write_set("out.bin", {piece_for("new"), piece_for("er")});
  EXPECT_EQ(run(first).exit_code, 0u);
  EXPECT_EQ(read_file(dir_ / "cwd\\out.bin"), "newer");
}

struct Damage {
  const char* label;
  int piece;            // which piece is damaged (0 = the first)
  ChunkRecord chunk;    // its record
  uint32_t data_bytes;  // what it really holds
  const char* named;    // the piece the message names
};
void PrintTo(const Damage& c, std::ostream* os) { *os << c.label; }

class DamagedSet : public Joiner, public ::testing::WithParamInterface<Damage> {};

// Stops with code 1 and one line naming the piece; the existing file of the
// output's name is untouched and no partial output is left behind.
TEST_P(DamagedSet, StopsAndDestroysNothing) {
  const Damage& d = GetParam();
  std::vector<PieceSpec> pieces = {piece_for(pattern_bytes(4000, 5)), piece_for(pattern_bytes(3000, 6)),
                                   piece_for(pattern_bytes(100, 7))};
  pieces[d.piece] = PieceSpec{d.chunk, pattern_bytes(d.data_bytes, 8)};
  std::string first = write_set("keep.bin", pieces);
  write_file(dir_ / "cwd\\keep.bin", "precious");
  ProcessResult result = run(first);
  EXPECT_EQ(result.exit_code, 1u);
  EXPECT_NE(result.output.find(d.named), std::string::npos) << result.output;
  EXPECT_EQ(std::count(result.output.begin(), result.output.end(), '\n'), 1) << result.output;
  EXPECT_EQ(read_file(dir_ / "cwd\\keep.bin"), "precious");
  EXPECT_EQ(cwd_files(), std::vector<std::string>{"keep.bin"});
}

INSTANTIATE_TEST_SUITE_P(
    Records, DamagedSet,
    ::testing::Values(Damage{"negativeCount", 1, {0, -1, 100}, 100, "nameVRAX.000"},
                      Damage{"lastSizeZero", 1, {0, 1, 0}, 100, "nameVRAX.000"},
                      Damage{"lastSizeTooLarge", 2, {0, 1, 2049}, 2049, "nameVRAX.001"},
                      Damage{"moreThanThePieceHolds", 2, {0, 3, 100}, 4000, "nameVRAX.001"},
                      Damage{"hugeCount", 1, {0, 0x7FFFFFFF, 2048}, 3000, "nameVRAX.000"},
                      Damage{"firstPieceShort", 0, {0, 2, 2048}, 3000, "nameVRAX.exe"}),
    [](const ::testing::TestParamInfo<Damage>& info) { return info.param.label; });

TEST_F(Joiner, AMissingPieceStopsTheJoinBeforeAnyOutput) {
  std::string first = write_set("keep.bin", {piece_for("a"), piece_for("b"), piece_for("c")});
  DeleteFileA(piece_name(first, 1).c_str());
  write_file(dir_ / "cwd\\keep.bin", "precious");
  ProcessResult result = run(first, dir_ / "target");
  EXPECT_EQ(result.exit_code, 1u);
  EXPECT_NE(result.output.find("nameVRAX.001"), std::string::npos) << result.output;
  EXPECT_EQ(read_file(dir_ / "cwd\\keep.bin"), "precious");
  EXPECT_FALSE(dir_exists(dir_ / "target"));
}

// A stored name is a bare file name; one that leads elsewhere is refused.
TEST_F(Joiner, AHeaderNameWithAPathIsRefused) {
  for (const char* name : {"..\\escaped.bin", "C:evil.bin", "", "sub/x.bin"}) {
    std::string first = write_set(name, {piece_for("data")});
    ProcessResult result = run(first);
    EXPECT_EQ(result.exit_code, 1u) << name;
    EXPECT_FALSE(file_exists(dir_ / "escaped.bin"));
    EXPECT_TRUE(cwd_files().empty()) << name;
  }
}

// A header that counts no piece (or fewer than none) describes no set: it is
// refused, rather than rebuilt as an empty file.
TEST_F(Joiner, AHeaderCountingNoPieceIsRefused) {
  for (int32_t count : {0, -1}) {
    std::string first = write_set("none.bin", {piece_for("data")});
    std::string bytes = read_file(first);
    std::memcpy(&bytes[splitset::kHeaderOffset + offsetof(SplitHeader, piece_count)], &count, sizeof count);
    write_file(first, bytes);
    ProcessResult result = run(first);
    EXPECT_EQ(result.exit_code, 1u) << count;
    EXPECT_NE(result.output.find("no sound header"), std::string::npos) << result.output;
    EXPECT_TRUE(cwd_files().empty()) << count;
  }
}

// The marker in a directory of the joiner's own path takes the number.
TEST_F(Joiner, AMarkerInItsFolderNameDoesNotMisleadIt) {
  CreateDirectoryA((dir_ / "keepVRAX.box").c_str(), nullptr);
  std::string first =
      write_set("m.bin", {piece_for("one"), piece_for("two")}, false, dir_ / "keepVRAX.box\\keepVRAX.exe");
  EXPECT_TRUE(file_exists(dir_ / "keepVRAX.box\\keepVRAX.000"));
  ProcessResult result = run(first);
  EXPECT_EQ(result.exit_code, 0u) << result.output;
  EXPECT_EQ(read_file(dir_ / "cwd\\m.bin"), "onetwo");
}

// A relative single-level target that does not exist is created, and the
// rebuilt file goes there.
TEST_F(Joiner, ARelativeSingleLevelTargetIsCreated) {
  std::string first = write_set("r.bin", {piece_for("abc")});
  ProcessResult result = run(first, "absent");
  EXPECT_EQ(result.exit_code, 0u) << result.output;
  EXPECT_EQ(read_file(dir_ / "cwd\\absent\\r.bin"), "abc");
  EXPECT_TRUE(cwd_files().empty());
}

// With a target only the target is written: a file of the output's name in
// the current directory stays as it is, and so does one in the target.
TEST_F(Joiner, WithATargetOnlyTheTargetIsWrittenAndNothingIsReplaced) {
  std::string first = write_set("out.bin", {piece_for("new"), piece_for("er")});
  write_file(dir_ / "cwd\\out.bin", "mine, in the current directory");
  ProcessResult fresh = run(first, dir_ / "target\\deeper");
  EXPECT_EQ(fresh.exit_code, 0u) << fresh.output;
  EXPECT_EQ(read_file(dir_ / "target\\deeper\\out.bin"), "newer");
  EXPECT_EQ(read_file(dir_ / "cwd\\out.bin"), "mine, in the current directory");
  EXPECT_EQ(cwd_files(), std::vector<std::string>{"out.bin"});

  write_file(dir_ / "target\\deeper\\out.bin", "mine, in the target");
  ProcessResult again = run(first, dir_ / "target\\deeper");
  EXPECT_EQ(again.exit_code, 1u);
  EXPECT_EQ(read_file(dir_ / "target\\deeper\\out.bin"), "mine, in the target");
  std::string kept = kept_file(again.output);
  EXPECT_EQ(read_file(kept), "newer") << again.output;
  EXPECT_EQ(kept.rfind(dir_ / "target\\deeper\\", 0), 0u) << kept;
}

// A target that cannot be used is refused before anything is written.
TEST_F(Joiner, AnUnusableTargetIsRefusedBeforeAnythingIsWritten) {
  std::string first = write_set("out.bin", {piece_for("data")});
  write_file(dir_ / "afile", "a file, not a directory");
  for (std::string target : {dir_ / "afile", dir_ / "afile\\sub", dir_ / std::string(250, 'x')}) {
    ProcessResult result = run(first, target);
    EXPECT_EQ(result.exit_code, 1u) << target;
    EXPECT_NE(result.output.find("cannot use target"), std::string::npos) << result.output;
    EXPECT_TRUE(cwd_files().empty());
    EXPECT_EQ(files_in(dir_.path()), std::vector<std::string>{"afile"});
  }
}

// A set whose stored name is one of its own files, joined in the set's
// folder, never replaces that file: the rebuilt file keeps its temporary name.
TEST_F(Joiner, AJoinNeverWritesOverAFileOfItsOwnSet) {
  for (const char* name : {"nameVRAX.000", "nameVRAX.exe", "NAMEvrax.000"}) {
    std::string first = write_set(name, {piece_for("one"), piece_for("two")});
    std::string before = read_file(first) + read_file(piece_name(first, 0));
    ProcessResult result = run_process("\"" + first + "\"", dir_ / "set");
    EXPECT_EQ(result.exit_code, 1u) << name;
    EXPECT_EQ(read_file(first) + read_file(piece_name(first, 0)), before) << name;
    EXPECT_NE(result.output.find("part of the set"), std::string::npos) << result.output;
    EXPECT_NE(result.output.find("target"), std::string::npos) << result.output;
    std::string kept = kept_file(result.output);
    EXPECT_EQ(read_file(kept), "onetwo") << result.output;
    DeleteFileA(kept.c_str());
  }
}

// A compressed set: the joined cabinet is expanded; with a target directory
// the expanded file lands there, without one in the current directory.
TEST_F(Joiner, ACompressedSetIsExpandedIntoTheTargetOrTheCurrentDirectory) {
  std::string cabinet = read_file(testdata("big.cab"));
  ASSERT_GT(cabinet.size(), 10000u);
  std::string expected = read_file(testdata("src\\big.txt"));
  std::string first = write_set(
      "big.txt", {piece_for(cabinet.substr(0, 7000)), piece_for(cabinet.substr(7000))}, true);
  ProcessResult into_target = run(first, dir_ / "target");
  EXPECT_EQ(into_target.exit_code, 0u) << into_target.output;
  EXPECT_EQ(read_file(dir_ / "target\\big.txt"), expected);

  ProcessResult here = run(first);
  EXPECT_EQ(here.exit_code, 0u) << here.output;
  EXPECT_EQ(read_file(dir_ / "cwd\\big.txt"), expected);
}

// A joined cabinet that cannot be expanded, or that does not hold the
// expected file, is kept where the message says; the private expansion
// folder is gone and a file of the stored name in TEMP is untouched.
TEST_F(Joiner, ACabinetThatCannotBeExpandedIsKept) {
  std::string junk = pattern_bytes(9000, 9);
  std::string cabinet = read_file(testdata("big.cab"));
  write_file(temp_dir() + "lost.bin", "a user's file in TEMP");
  for (const std::string& payload : {junk, cabinet}) {
    std::string first =
        write_set("lost.bin", {piece_for(payload.substr(0, 5000)), piece_for(payload.substr(5000))}, true);
    ProcessResult result = run(first);
    EXPECT_EQ(result.exit_code, 1u);
    std::string kept = kept_file(result.output);
    EXPECT_EQ(read_file(kept), payload) << result.output;
    EXPECT_EQ(cwd_files(), std::vector<std::string>{kept.substr(kept.rfind('\\') + 1)});
    EXPECT_EQ(list_tree(dir_ / "cwd").size(), 1u);
    DeleteFileA(kept.c_str());
  }
  EXPECT_EQ(read_file(temp_dir() + "lost.bin"), "a user's file in TEMP");
  DeleteFileA((temp_dir() + "lost.bin").c_str());
}

// The system's text for an error code, as the joiner's line ends with it.
std::string system_text(DWORD code) {
  char text[512] = "";
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                           sizeof text, nullptr);
  while (n > 0 && (text[n - 1] <= ' ' || text[n - 1] == '.')) --n;
  return std::string(text, n);
}

// Targets as typed, and stored names that fill the path (a name that leaves
// `spare` of the 259 characters a path may have, else "out.bin"). Without a
// reason, `outcome` is the tree below the scratch folder afterwards; with
// one, the refusal's line, naming the target or the current directory and
// the reason ({dir}: the scratch folder, {typed}: the target as typed).
constexpr int kOutBin = -1000;
struct TargetCase {
  const char* label;
  std::string target;
  int spare;
  bool compressed;
  std::string outcome;
  DWORD reason;
};
void PrintTo(const TargetCase& c, std::ostream* os) { *os << c.label; }

class TargetSpelling : public Joiner, public ::testing::WithParamInterface<TargetCase> {};

TEST_P(TargetSpelling, LandsWhereTheTargetNamesOrSaysWhyNot) {
  const TargetCase& c = GetParam();
  std::string name = "out.bin";
  if (c.spare != kOutBin) name = std::string(255 - (dir_ / "cwd\\").size() - c.spare, 'n') + ".bin";
  std::string data = c.compressed ? read_file(testdata("big.cab")) : "joined";
  std::string first = write_set(name, {piece_for(data.substr(0, 3)), piece_for(data.substr(3))}, c.compressed);
  write_file(dir_ / "afile", "a file");
  ProcessResult result = run(first, c.target);
  std::string outcome = c.outcome, tree;
  for (auto [key, value] : {std::pair<std::string, std::string>{"{dir}", dir_.path() + "\\"}, {"{name}", name},
                            {"{typed}", c.target.substr(0, 259)}})
    for (size_t at; (at = outcome.find(key)) != std::string::npos;) outcome.replace(at, key.size(), value);
  for (const std::string& entry : tree_listing(dir_.path(), {"set"})) tree += entry + "|";
  EXPECT_EQ(tree, "afile 6|cwd\\|" + (c.reason ? "" : outcome)) << result.output;
  EXPECT_EQ(result.output, c.reason ? "joiner: cannot use " + outcome + ": " + system_text(c.reason) + "\r\n" : "");
  EXPECT_EQ(result.exit_code, c.reason ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Targets, TargetSpelling,
    ::testing::Values(
        TargetCase{"forwardSlashes", "sub/deeper/", kOutBin, false, "cwd\\sub\\|cwd\\sub\\deeper\\|cwd\\sub\\deeper\\out.bin 6|", 0},
        TargetCase{"dotDotDetourLeavesNoFolder", "stray\\..\\real", kOutBin, false, "cwd\\real\\|cwd\\real\\out.bin 6|", 0},
        TargetCase{"longNameThatFits", "", 0, false, "cwd\\{name} 6|", 0},
        TargetCase{"longNameThatDoesNotFit", "", -1, false, "current directory {dir}cwd", ERROR_FILENAME_EXCED_RANGE},
        TargetCase{"compressedNameWithoutRoomToExpand", "", 12, true, "current directory {dir}cwd", ERROR_FILENAME_EXCED_RANGE},
        TargetCase{"targetTooLong", std::string(300, 'x'), kOutBin, false, "target {typed}", ERROR_FILENAME_EXCED_RANGE},
        TargetCase{"targetTooLongMadeFull", std::string(240, 'y'), kOutBin, false, "target {typed}", ERROR_FILENAME_EXCED_RANGE},
        TargetCase{"targetIsAFile", "..\\afile", kOutBin, false, "target {dir}afile", ERROR_DIRECTORY},
        TargetCase{"targetUnderAFile", "../afile/sub", kOutBin, false, "target {dir}afile\\sub", ERROR_PATH_NOT_FOUND}),
    [](const ::testing::TestParamInfo<TargetCase>& info) { return info.param.label; });

// Sets with a checksum file written again over them (as a tool that checks
// nothing would) and the first piece's verdict: only a whole, sound set takes
// the file's name. `kept`: where the joined data are ("": the name the line gives).
struct SetCase {
  const char* label;
  bool compressed, cut_short, partial_there, piece_changed, line_missing;
  const char* line;  // how the line begins ("": none, exit code 0)
  const char* kept;
};
void PrintTo(const SetCase& c, std::ostream* os) { *os << c.label; }

class SetVerdict : public Joiner, public ::testing::WithParamInterface<SetCase> {};

TEST_P(SetVerdict, OnlyAWholeSoundSetTakesTheName) {
  const SetCase& c = GetParam();
  const std::string first = dir_ / "set\\nameVRAX.exe", victim = c.cut_short ? first : piece_name(first, 0);
  std::string joined = write_test_set(first, "out.bin", {piece_for(pattern_bytes(5000, 21)),
                                      piece_for(pattern_bytes(4096, 22)), piece_for(pattern_bytes(999, 23))},
                                      c.compressed, true);
  std::string bytes = read_file(victim);
  if (c.cut_short) {  // the record says a Break left 70000 bytes behind
    static splitset::Crc32Table table;
    splitset::crc32_init(table);
    auto& header = *reinterpret_cast<SplitHeader*>(&bytes[splitset::kHeaderOffset]);
    splitset::IntegrityRecord record;
    ASSERT_EQ(splitset::get_integrity(table, header, record), splitset::Integrity::kSound);
    record.flags |= splitset::kIntegrityCutShort;
    header.payload_size += 70000;
    splitset::put_integrity(table, header, record);
  }
  if (c.piece_changed) bytes[100] ^= 1, joined[5000 + 88] ^= 1;
  write_file(victim, bytes);
  std::string sfv;
  for (int k = 0; k < (c.line_missing ? 2 : 3); ++k) {
    std::string path = k ? piece_name(first, k - 1) : first;
    char line[300];
    splitset::sfv_line(line, path.substr(path.rfind('\\') + 1).c_str(), system_crc32(read_file(path)));
    sfv += line;
  }
  write_file(dir_ / "set\\nameVRAX.sfv", sfv);
  if (c.partial_there) write_file(dir_ / "cwd\\out.bin.partial", "older");
  write_file(dir_ / "cwd\\out.bin", "the user's own");
  ProcessResult result = run(first);
  EXPECT_EQ(result.exit_code, c.line[0] ? 1u : 0u) << result.output;
  EXPECT_EQ(result.output.rfind(c.line, 0), 0u) << result.output;
  EXPECT_EQ(read_file(c.kept[0] ? dir_ / "cwd\\" + c.kept : kept_file(result.output)), joined) << result.output;
  EXPECT_EQ(read_file(dir_ / "cwd\\out.bin"), c.line[0] ? "the user's own" : joined);
  if (c.partial_there) EXPECT_EQ(read_file(dir_ / "cwd\\out.bin.partial"), "older");
}

INSTANTIATE_TEST_SUITE_P(
    Sets, SetVerdict,
    ::testing::Values(
        SetCase{"cutShort", false, true, false, false, false,
                "joiner: set cut short by Break: 10095 of 80095 bytes kept as ", "out.bin.partial"},
        SetCase{"cutShortBesideAPartialFile", false, true, true, false, false,
                "joiner: set cut short by Break: 10095 of 80095 bytes kept as ", ""},
        SetCase{"cutShortCompressed", true, true, false, false, false,
                "joiner: set cut short by Break: 10095 of 80095 bytes of a cabinet kept as ", ""},
        SetCase{"checksumFileWrittenOverAChangedPiece", false, false, false, true, false, "joiner: damaged set; ", ""},
        // A checksum file without a line for every piece is set aside: the record decides.
        SetCase{"checksumFileShortALine", false, false, false, false, true, "", "out.bin"},
        SetCase{"checksumFileShortALineOverAChangedPiece", false, false, false, true, true, "joiner: damaged set; ", ""}),
    [](const ::testing::TestParamInfo<SetCase>& info) { return info.param.label; });

// Started in a console window of its own (as by a double-click), a joiner
// that failed waits for a key before the window closes, so that its line can
// be read; a key ends it with its exit code.
TEST_F(Joiner, InItsOwnConsoleAFailureWaitsForAKey) {
  std::string first = write_set("keep.bin", {piece_for("a"), piece_for("b")});
  DeleteFileA(piece_name(first, 0).c_str());
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  std::string line = "\"" + first + "\"";
  ASSERT_TRUE(CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE, nullptr,
                             (dir_ / "cwd").c_str(), &startup, &process));
  // Still there, waiting, well after the join has failed.
  EXPECT_EQ(WaitForSingleObject(process.hProcess, 3000), static_cast<DWORD>(WAIT_TIMEOUT));
  // A key pressed in its console.
  FreeConsole();
  ASSERT_TRUE(AttachConsole(process.dwProcessId));
  HANDLE input = CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, 0, nullptr);
  INPUT_RECORD keys[2]{};
  for (int i = 0; i < 2; ++i) {
    keys[i].EventType = KEY_EVENT;
    keys[i].Event.KeyEvent.bKeyDown = i == 0;
    keys[i].Event.KeyEvent.wRepeatCount = 1;
    keys[i].Event.KeyEvent.wVirtualKeyCode = 'X';
    keys[i].Event.KeyEvent.uChar.AsciiChar = 'x';
  }
  DWORD written = 0;
  EXPECT_TRUE(WriteConsoleInputA(input, keys, 2, &written));
  CloseHandle(input);
  FreeConsole();
  EXPECT_EQ(WaitForSingleObject(process.hProcess, 60000), static_cast<DWORD>(WAIT_OBJECT_0));
  DWORD code = 0xdeadbeef;
  GetExitCodeProcess(process.hProcess, &code);
  EXPECT_EQ(code, 1u);
  if (code == STILL_ACTIVE) TerminateProcess(process.hProcess, 1);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
}

}  // namespace
