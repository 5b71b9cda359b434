// velmora.exe on the command line, started as a process as a script starts
// it: /split with every result it can end in (also through a batch file,
// which waits for the GUI program and sees its exit code), bad usage, and
// /verify on sound and damaged sets, named every way a user may spell them;
// /join; names the ANSI code page cannot spell.
#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "result_messages.h"
#include "split_engine.h"
#include "split_test_support.h"
#include "test_support.h"

namespace {

using namespace testing_support;
using namespace split_testing;

// Every file under `dir` with its bytes: what "nothing was written" compares.
std::string tree_state(const std::string& dir) {
  std::string state;
  WIN32_FIND_DATAA entry;
  HANDLE find = FindFirstFileA((dir + "\\*").c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return state;
  std::vector<std::string> names;
  do {
    std::string name = entry.cFileName;
    if (name != "." && name != "..") names.push_back(name);
  } while (FindNextFileA(find, &entry));
  FindClose(find);
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    std::string path = dir + "\\" + name;
    state += dir_exists(path) ? name + "/{" + tree_state(path) + "}" : name + "=" + read_file(path) + ";";
  }
  return state;
}

std::string trimmed(std::string text) {
  std::string out;
  for (char c : text)
    if (c != '\r') out += c;
  while (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

class CommandLine : public ::testing::Test {
 protected:
  void SetUp() override { add_bin_to_path(); }

  // Runs velmora.exe with `arguments`, directly or from a batch file run by
  // cmd /c; the exit code and the text it wrote to its standard output.
  ProcessResult velmora(const std::string& arguments, bool through_batch = false) {
    if (!through_batch) return run_process("\"" + velmora_exe() + "\" " + arguments, dir_.path());
    const std::string batch = dir_ / "run.bat", out = dir_ / "run.out";
    std::string in_batch;  // a batch file spells a percent sign %%
    for (char c : arguments) in_batch += c == '%' ? std::string("%%") : std::string(1, c);
    write_file(batch, "@\"" + velmora_exe() + "\" " + in_batch + " > \"" + out +
                          "\"\r\n@exit /b %ERRORLEVEL%\r\n");
    ProcessResult run = run_process("cmd /c \"" + batch + "\"", dir_.path());
    run.output = read_file(out);
    DeleteFileA(batch.c_str());
    DeleteFileA(out.c_str());
    return run;
  }
  std::string quoted(const std::string& text) { return "\"" + text + "\""; }

  ScratchDir dir_;
};

// Each result of /split reached from the command line, with its exit code
// and its text, directly and through a batch file.
struct SplitCase {
  const char* label;
  size_t source_bytes;  // zero: no source file
  const char* source;   // its name in the scratch folder
  const char* target;   // relative to the scratch folder
  const char* section;
  const char* options;
  int result;
};
void PrintTo(const SplitCase& c, std::ostream* out) { *out << c.label; }


class CommandLineSplit : public CommandLine,
                         public ::testing::WithParamInterface<std::tuple<SplitCase, bool>> {};

TEST_P(CommandLineSplit, ExitsWithTheEnginesResultAndPrintsItsText) {
  const SplitCase& c = std::get<0>(GetParam());
  const bool through_batch = std::get<1>(GetParam());
  write_file(dir_ / "blocker", "a file where a directory is needed");
  std::string bytes;
  for (int i = 0; bytes.size() < c.source_bytes / 2; ++i) bytes += "line " + std::to_string(i) + "\r\n";
  bytes += pattern_bytes(c.source_bytes - bytes.size(), 40);
  if (c.source_bytes) {
    ASSERT_TRUE(write_file(dir_ / c.source, bytes));
  }
  const std::string target = dir_ / c.target;
  ProcessResult run = velmora("/split " + quoted(dir_ / c.source) + " " + quoted(target) + " " + c.section +
                    " " + c.options,
                through_batch);
  EXPECT_EQ(run.exit_code, static_cast<DWORD>(c.result));
  EXPECT_EQ(trimmed(run.output), result_message(static_cast<velmora::SplitResult>(c.result)).text);
  if (c.result == velmora::kSplitDone) {
    std::string first = target + "\\" + std::string(c.source).substr(0, std::string(c.source).find('.')) + "VRAX.exe";
    SetOnDisk set = read_set(first);
    ASSERT_TRUE(set.readable);
    EXPECT_EQ(checksum_findings(set, false, dir_ / c.source), "");
    CreateDirectoryA((dir_ / "joined").c_str(), nullptr);
    ProcessResult join = run_process(quoted(first), dir_ / "joined");
    EXPECT_EQ(join.exit_code, 0u) << join.output;
    EXPECT_TRUE(read_file(dir_ / "joined\\" + c.source) == bytes) << "rebuilt file differs";
  } else if (c.source_bytes) {
    EXPECT_EQ(read_file(dir_ / c.source), bytes);
  }
}

const SplitCase kSplitCases[] = {
    {"plain", 300000, "data.bin", "out", "100000", "", velmora::kSplitDone},
    {"compressed", 400000, "notes.txt", "out", "50000", "/compress /idle", velmora::kSplitDone},
    {"missingSource", 0, "nothing.bin", "out", "100000", "", velmora::kPayloadUnreadable},
    {"fileSmallerThanSection", 5000, "small.bin", "out", "100000", "", velmora::kPayloadTooSmall},
    {"sectionTooSmall", 300000, "data.bin", "out", "6940", "", velmora::kSectionTooSmall},
    {"unwritableTarget", 300000, "data.bin", "blocker\\out", "100000", "", velmora::kPieceFailed},
    {"sourceInItsSet", 300000, "dataVRAX.exe", ".", "100000", "", velmora::kSourceInSet},
    {"sourceIsItsRecoveryVolume", 300000, "dataVRAX.vol1+3.par2", ".", "100000", "/recovery 3",
     velmora::kSourceInSet},
    {"withRecoveryVolumes", 300000, "data.bin", "out", "100000", "/Recovery 50%",
     velmora::kSplitDone},
    {"libraryBesideItsSet", 300000, "vornex.dll", ".", "100000", "", velmora::kSourceInSet},
    {"compressionFailed", 0, "nothing.bin", "out", "100000", "/COMPRESS", velmora::kCompressionFailed},
};

INSTANTIATE_TEST_SUITE_P(
    Results, CommandLineSplit,
    ::testing::Combine(::testing::ValuesIn(kSplitCases), ::testing::Bool()),
    [](const ::testing::TestParamInfo<std::tuple<SplitCase, bool>>& info) {
      return std::string(std::get<0>(info.param).label) +
             (std::get<1>(info.param) ? "ThroughBatch" : "Direct");
    });

// Bad usage: one line saying what is wrong, the usage, exit code 64, and
// nothing written anywhere.
TEST_F(CommandLine, BadUsageExits64AndWritesNothing) {
  write_file(dir_ / "s.bin", pattern_bytes(300000, 41));
  const std::string s = quoted(dir_ / "s.bin"), t = quoted(dir_ / "out");
  const std::string cases[] = {
      "/split",
      "/split " + s,
      "/split " + s + " " + t,
      "/split " + s + " " + t + " 100000 extra",
      "/split " + s + " " + t + " 12x",
      "/split " + s + " " + t + " -5",
      "/split " + s + " " + t + " 99999999999",
      "/split " + s + " " + t + " 100000 /zip",
      "/split " + s + " " + t + " 100000 /auto",
      "/split " + s + " " + t + " 100000 /verify",
      "/split " + s + " " + t + " 100000 /recovery",
      "/split " + s + " " + t + " 100000 /recovery x",
      "/split " + s + " " + t + " 100000 /recovery 101%",
      "/split " + s + " " + t + " 100000 /recovery 32769",
      "/verify " + s + " /recovery 1",
      "/verify",
      "/verify " + s + " " + t,
      "/verify " + s + " /compress",
      "/repair",
      "/repair " + s + " " + t,
      "/join",
      "/join " + s + " " + t + " " + t,
      "/join " + s + " /compress",
      "/jion " + s + " " + t,  // a mistyped command, not the dialog
      "/Split" + s,
  };
  const std::string before = tree_state(dir_.path());
  for (const std::string& arguments : cases) {
    for (bool through_batch : {false, true}) {
      SCOPED_TRACE(arguments + (through_batch ? " (batch)" : ""));
      ProcessResult run = velmora(arguments, through_batch);
      EXPECT_EQ(run.exit_code, 64u);
      std::string output = trimmed(run.output);
      EXPECT_EQ(output.compare(0, 9, "velmora: "), 0) << output;
      EXPECT_NE(output.find("\nusage: velmora.exe /split SOURCE TARGET-DIRECTORY SECTION-SIZE"),
                std::string::npos)
          << output;
      EXPECT_EQ(tree_state(dir_.path()), before);
    }
  }
}

// /verify: sound sets (plain, compressed, cut short by a Break) exit 0 with
// one line; every kind of damage exits 1 with a line naming the piece; and
// /verify itself writes nothing.
struct Damage {
  const char* label;
  // What is done to the set in `dir`, first piece "dataVRAX.exe", pieces
  // .000 to .004 (section 20000, payload 100000).
  void (*apply)(const std::string& dir);
  const char* named;  // a name that the output must hold
};
void PrintTo(const Damage& c, std::ostream* out) { *out << c.label; }


void flip(const std::string& path, size_t at) {
  std::string bytes = read_file(path);
  bytes[at] = static_cast<char>(bytes[at] ^ 0x5A);
  write_file(path, bytes);
}
std::string piece(const std::string& dir, const char* suffix) { return dir + "\\dataVRAX." + suffix; }

const Damage kDamages[] = {
    {"byteInTheFirstPiece", [](const std::string& d) { flip(piece(d, "exe"), 10000); }, "dataVRAX.exe"},
    {"byteInAMiddlePiece", [](const std::string& d) { flip(piece(d, "001"), 5000); }, "dataVRAX.001"},
    {"byteInTheLastPiece", [](const std::string& d) { flip(piece(d, "004"), 20); }, "dataVRAX.004"},
    {"twoPiecesSwapped",
     [](const std::string& d) {
       MoveFileA(piece(d, "001").c_str(), (d + "\\swap").c_str());
       MoveFileA(piece(d, "002").c_str(), piece(d, "001").c_str());
       MoveFileA((d + "\\swap").c_str(), piece(d, "002").c_str());
     },
     "dataVRAX.002"},
    {"pieceOfAnotherSet",
     [](const std::string& d) {
       std::string other = read_file(piece(d, "002"));
       for (size_t i = 12; i < other.size(); ++i) other[i] = static_cast<char>(other[i] + 1);
       write_file(piece(d, "002"), other);
     },
     "dataVRAX.002"},
    {"pieceCutShort",
     [](const std::string& d) {
       std::string bytes = read_file(piece(d, "003"));
       write_file(piece(d, "003"), bytes.substr(0, bytes.size() - 100));
     },
     "dataVRAX.003"},
    {"chunkRecordOneBlockShort",
     [](const std::string& d) {
       std::string bytes = read_file(piece(d, "001"));
       bytes[4] = static_cast<char>(bytes[4] - 1);
       write_file(piece(d, "001"), bytes);
     },
     "dataVRAX.001"},
    {"missingPiece", [](const std::string& d) { DeleteFileA(piece(d, "002").c_str()); }, "dataVRAX.002"},
    {"checksumFileMissingRecordCatches",
     [](const std::string& d) {
       DeleteFileA(piece(d, "sfv").c_str());
       flip(piece(d, "001"), 5000);
     },
     "integrity record"},
    {"checksumFileWrong",
     [](const std::string& d) {
       std::string text = read_file(piece(d, "sfv"));
       size_t line = text.find("dataVRAX.001 ");
       text[line + 13] = text[line + 13] == '0' ? '1' : '0';
       write_file(piece(d, "sfv"), text);
     },
     "dataVRAX.sfv"},
    {"headerDamaged",
     [](const std::string& d) { flip(piece(d, "exe"), 6656 + 268); },  // compressed flag
     "dataVRAX.exe"},
};

class SetMaker : public CommandLine {
 protected:
  std::string make_set(bool compress = false, bool broken = false) {
    std::string bytes = pattern_bytes(100000, 42);
    if (compress) bytes = std::string(300000, 'v') + pattern_bytes(100000, 43);
    write_file(dir_ / "data.bin", bytes);
    velmora::set_joiner_image_source(velmora_exe().c_str());
    TestHooks hooks;
    hooks.stop = broken;
    EXPECT_EQ(run_split(dir_ / "data.bin", dir_ / "set", 20000, compress, false, hooks),
              velmora::kSplitDone);
    return dir_ / "set";
  }
};
class Verify : public SetMaker, public ::testing::WithParamInterface<Damage> {};

TEST_F(Verify, SoundSetsExitZeroWithOneLine) {
  struct Sound { bool compress, broken; const char* says; };
  for (const Sound& c : {Sound{false, false, "sound, 6 pieces, 100000 bytes"},
                         Sound{true, false, "sound, "},
                         Sound{false, true, "cut short by a Break: it holds only the leading 0 of 100000 bytes"}}) {
    SCOPED_TRACE(c.says);
    remove_tree(dir_ / "set");
    std::string set = make_set(c.compress, c.broken);
    const std::string before = tree_state(set);
    ProcessResult run = velmora("/verify " + quoted(set + "\\dataVRAX.exe"));
    EXPECT_EQ(run.exit_code, 0u) << run.output;
    std::string output = trimmed(run.output);
    EXPECT_EQ(output.find('\n'), std::string::npos) << output;
    EXPECT_NE(output.find(c.says), std::string::npos) << output;
    EXPECT_EQ(tree_state(set), before);
  }
}

TEST_P(Verify, DamageExitsOneAndNamesThePiece) {
  const Damage& damage = GetParam();
  std::string set = make_set();
  damage.apply(set);
  const std::string before = tree_state(set);
  for (bool through_batch : {false, true}) {
    ProcessResult run = velmora("/verify " + quoted(set + "\\dataVRAX.exe"), through_batch);
    EXPECT_EQ(run.exit_code, 1u) << run.output;
    EXPECT_NE(run.output.find(damage.named), std::string::npos) << run.output;
    EXPECT_EQ(run.output.find("sound,"), std::string::npos) << run.output;
  }
  EXPECT_EQ(tree_state(set), before) << "/verify wrote something";
}

INSTANTIATE_TEST_SUITE_P(Kinds, Verify, ::testing::ValuesIn(kDamages),
                         [](const ::testing::TestParamInfo<Damage>& info) { return info.param.label; });

// /join: the set rebuilt by velmora.exe, the first piece under any name (the
// later pieces then found by the stored name), into a target or the current
// directory; a damaged set or an existing file in the target: exit code 1,
// one line naming the cause, nothing written.
struct JoinCase {
  const char* label;
  bool compress;
  const char* first;   // the first piece's name in the set's folder
  const char* target;  // "" for the current directory (the source's own folder)
  void (*apply)(const std::string& dir);  // after the renaming; may be null
  DWORD exit_code;
  const char* says;    // in the line, when the join fails
};
void PrintTo(const JoinCase& c, std::ostream* out) { *out << c.label; }
const JoinCase kJoins[] = {
    {"asMade", false, "dataVRAX.exe", "out\\new", nullptr, 0, ""},
    {"renamedSetupExe", false, "setup.exe", "out", nullptr, 0, ""},
    {"renamedCompressed", true, "reportVRAX.ex_", "out", nullptr, 0, ""},
    {"renamedIntoCurrentDirectory", false, "setup.exe", "", nullptr, 0, ""},
    {"damagedPiece", false, "setup.exe", "out", [](const std::string& d) { flip(piece(d, "002"), 5000); }, 1,
     "damaged piece"},
    {"missingPiece", false, "dataVRAX.exe", "out", [](const std::string& d) { DeleteFileA(piece(d, "003").c_str()); },
     1, "missing piece"},
    {"existingFileInTarget", false, "dataVRAX.exe", "out",
     [](const std::string& d) { CreateDirectoryA((d + "\\..\\out").c_str(), nullptr);
                                write_file(d + "\\..\\out\\data.bin", "precious"); }, 1, "exists"},
};
class Join : public SetMaker, public ::testing::WithParamInterface<JoinCase> {};

TEST_P(Join, RebuildsWithTheFirstPiecesRules) {
  const JoinCase& c = GetParam();
  std::string set = make_set(c.compress);
  const std::string source = read_file(dir_ / "data.bin");
  MoveFileA(piece(set, "exe").c_str(), (set + "\\" + c.first).c_str());
  if (c.apply) c.apply(set);
  if (c.exit_code != 0) CreateDirectoryA((dir_ / c.target).c_str(), nullptr);  // levels may be made first
  const std::string before = tree_state(dir_.path());
  ProcessResult run = velmora("/join " + quoted(set + "\\" + c.first) + (*c.target ? " " + std::string(c.target) : ""));
  EXPECT_EQ(run.exit_code, c.exit_code) << run.output;
  const std::string rebuilt = dir_ / (*c.target ? std::string(c.target) + "\\data.bin" : "data.bin");
  if (c.exit_code == 0) {
    EXPECT_EQ(trimmed(run.output), "");
    EXPECT_EQ(read_file(rebuilt), source);
  } else {
    EXPECT_EQ(trimmed(run.output).find('\n'), std::string::npos) << run.output;
    EXPECT_NE(run.output.find(c.says), std::string::npos) << run.output;
    // Nothing written, but what the line says it kept (the rebuilt file beside an existing one).
    if (run.output.find("kept as") == std::string::npos)
      EXPECT_TRUE(tree_state(dir_.path()) == before) << "a failed /join wrote something";
    else
      EXPECT_EQ(read_file(rebuilt), "precious");
  }
}

INSTANTIATE_TEST_SUITE_P(Sets, Join, ::testing::ValuesIn(kJoins),
                         [](const ::testing::TestParamInfo<JoinCase>& info) { return info.param.label; });

// A damaged compressed set is named by its piece as well.
TEST_F(Verify, DamagedCompressedSetNamesThePiece) {
  std::string set = make_set(true);
  flip(piece(set, "000"), 300);
  ProcessResult run = velmora("/verify " + quoted(set + "\\dataVRAX.exe"));
  EXPECT_EQ(run.exit_code, 1u) << run.output;
  EXPECT_NE(run.output.find("dataVRAX.000"), std::string::npos) << run.output;
}

// Where the checksum file and the record disagree, the output says which:
// a wrong line for a later piece, with the record finding the data sound.
TEST_F(Verify, ACheckSumFileThatDisagreesWithTheRecordIsNamed) {
  std::string set = make_set();
  std::string text = read_file(piece(set, "sfv"));
  size_t line = text.find("dataVRAX.002 ");
  text[line + 13] = text[line + 13] == 'A' ? 'B' : 'A';
  write_file(piece(set, "sfv"), text);
  ProcessResult run = velmora("/verify " + quoted(set + "\\dataVRAX.exe"));
  EXPECT_EQ(run.exit_code, 1u);
  EXPECT_NE(run.output.find("dataVRAX.sfv: its line for dataVRAX.002 is wrong"), std::string::npos)
      << run.output;
  EXPECT_NE(run.output.find("the integrity record finds the data sound"), std::string::npos);
}

// One verdict on one set: what the set holds decides, and the checksum
// file counts only where it describes every piece. Each case is a set in
// `dir` (first piece dataVRAX.exe, pieces .000 to .004) changed as given.
struct Verdict {
  const char* label;
  void (*apply)(const std::string& dir);
  DWORD exit_code;
  const char* says;  // a text the output holds
};
void PrintTo(const Verdict& c, std::ostream* out) { *out << c.label; }

// The checksum file written again over the pieces as they now are.
void rewrite_checksum_file(const std::string& d) {
  std::string text = "; written again\r\n";
  for (const char* suffix : {"exe", "000", "001", "002", "003", "004"}) {
    char crc[9];
    snprintf(crc, sizeof crc, "%08X", system_crc32(read_file(piece(d, suffix))));
    text += std::string("dataVRAX.") + suffix + " " + crc + "\r\n";
  }
  write_file(piece(d, "sfv"), text);
}

// The set replaced by a sealed one of two pieces whose header stores `name`.
void store_name(const std::string& d, const char* name) {
  for (const std::string& file : files_in(d)) DeleteFileA((d + "\\" + file).c_str());
  const std::string a = pattern_bytes(20000, 7), b = pattern_bytes(5000, 8);
  write_test_set(piece(d, "exe"), name,
                 {{splitset::chunk_for_length(20000), a}, {splitset::chunk_for_length(5000), b}},
                 false, true);
}

const Verdict kVerdicts[] = {
    {"checksumFileLacksAPiece",  // set aside: the record finds the set sound
     [](const std::string& d) {
       std::string text = read_file(piece(d, "sfv"));
       size_t line = text.find("dataVRAX.003 ");
       text.erase(line, text.find('\n', line) + 1 - line);
       write_file(piece(d, "sfv"), text);
     },
     0, "has no line for dataVRAX.003, so it does not describe this set; set aside, the integrity "
        "record decides\n"},
    {"checksumFileRewrittenOverAStalePiece",
     [](const std::string& d) {
       std::string stale = read_file(piece(d, "002"));
       for (size_t i = 12; i < stale.size(); ++i) stale[i] = static_cast<char>(stale[i] + 1);
       write_file(piece(d, "002"), stale);
       rewrite_checksum_file(d);
     },
     1, "the two disagree"},
    {"storedNameWithAFolder", [](const std::string& d) { store_name(d, "sub\\data.bin"); }, 1,
     "stores the name \"sub\\data.bin\", which is not a bare file name"},
    {"storedNameWithASlash", [](const std::string& d) { store_name(d, "sub/data.bin"); }, 1,
     "not a bare file name"},
    {"storedNameOnADrive", [](const std::string& d) { store_name(d, "C:data.bin"); }, 1,
     "not a bare file name"},
};

class VerifyVerdict : public SetMaker, public ::testing::WithParamInterface<Verdict> {};

TEST_P(VerifyVerdict, OneVerdictForWhatTheSetHolds) {
  const Verdict& c = GetParam();
  std::string set = make_set();
  c.apply(set);
  ProcessResult run = velmora("/verify " + quoted(set + "\\dataVRAX.exe"));
  EXPECT_EQ(run.exit_code, c.exit_code) << run.output;
  std::string output = trimmed(run.output) + "\n";
  EXPECT_NE(output.find(c.says), std::string::npos) << output;
  EXPECT_EQ(output.find(": sound, ") != std::string::npos, c.exit_code == 0) << output;
}

INSTANTIATE_TEST_SUITE_P(Sets, VerifyVerdict, ::testing::ValuesIn(kVerdicts),
                         [](const ::testing::TestParamInfo<Verdict>& info) { return info.param.label; });

// The same sound set named every way a user may spell it, from another
// current directory: relative, with '/', with a ".." detour, in a folder
// whose name holds the marker, and with its names lowercased or uppercased
// on the way (later pieces and the checksum file in the first piece's case).
struct Spelling {
  const char* label;
  const char* folder;    // where the set lies, below the scratch folder
  const char* current;   // the current directory, below the scratch folder
  const char* argument;  // the first piece as given
  int (*change_case)(int);  // applied to the set's file names, or null
};
void PrintTo(const Spelling& c, std::ostream* out) { *out << c.label; }

const Spelling kSpellings[] = {
    {"relative", "set", ".", "set\\dataVRAX.exe", nullptr},
    {"forwardSlashes", "set", ".", "set/dataVRAX.exe", nullptr},
    {"dotDotDetour", "set", ".", "stray\\..\\set\\dataVRAX.exe", nullptr},
    {"upFromASibling", "set", "other", "..\\set\\dataVRAX.exe", nullptr},
    {"markerInTheFolder", "keepVRAX.box", ".", "keepVRAX.box\\dataVRAX.exe", nullptr},
    {"markerInTheFolderFromInside", "keepVRAX.box", "keepVRAX.box", "dataVRAX.exe", nullptr},
    {"lowercased", "set", ".", "set/datavrax.exe", tolower},
    {"uppercased", "set", "set", "DATAVRAX.EXE", toupper},
};

class VerifySpelling : public SetMaker, public ::testing::WithParamInterface<Spelling> {};

TEST_P(VerifySpelling, FindsTheSoundSetFromAnyCurrentDirectory) {
  const Spelling& c = GetParam();
  std::string set = make_set();
  const std::string folder = dir_ / c.folder;
  if (folder != set) ASSERT_TRUE(MoveFileA(set.c_str(), folder.c_str()));
  CreateDirectoryA((dir_ / "other").c_str(), nullptr);
  for (const std::string& name : c.change_case ? files_in(folder) : std::vector<std::string>{}) {
    std::string renamed = name;
    for (char& ch : renamed) ch = static_cast<char>(c.change_case(ch));
    ASSERT_TRUE(MoveFileA((folder + "\\" + name).c_str(), (folder + "\\x").c_str()));
    ASSERT_TRUE(MoveFileA((folder + "\\x").c_str(), (folder + "\\" + renamed).c_str()));
  }
  const std::string before = tree_state(dir_.path());
  ProcessResult run = run_process("\"" + velmora_exe() + "\" /verify \"" + c.argument + "\"",
                                  dir_ / c.current);
  EXPECT_EQ(run.exit_code, 0u) << run.output;
  EXPECT_NE(run.output.find("sound, 6 pieces, 100000 bytes; record and checksum file agree"),
            std::string::npos) << run.output;
  EXPECT_EQ(tree_state(dir_.path()), before);
}

INSTANTIATE_TEST_SUITE_P(Paths, VerifySpelling, ::testing::ValuesIn(kSpellings),
                         [](const ::testing::TestParamInfo<Spelling>& info) { return info.param.label; });

// A name that the ANSI code page (1252 here) cannot spell is refused before
// anything is written, with a line and an exit code of its own: Windows'
// own conversion would split Lódz.bin for Łódź.bin, or make out_L for out_Ł.
// velmora.exe is started with a wide command line, as Explorer starts it.
TEST_F(CommandLine, ANameTheCodePageCannotSpellIsRefused) {
  const std::string narrow = dir_.path() + "\\", program = velmora_exe();
  const std::wstring dir(narrow.begin(), narrow.end()), exe(program.begin(), program.end());
  const std::wstring lodz = dir + L"\u0141\u00f3d\u017a.bin", cjk = dir + L"\u6570\u636e.bin";
  for (const std::wstring& name : {lodz, cjk})
    CloseHandle(CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
  write_file(dir_ / "L\xf3" "dz.bin", pattern_bytes(300000, 44));  // the look-alike
  write_file(dir_ / "data.bin", pattern_bytes(300000, 45));
  const std::wstring cases[] = {
      L"/split \"" + lodz + L"\" \"" + dir + L"out\" 100000",
      L"/split \"" + cjk + L"\" \"" + dir + L"out\" 100000 /compress",
      L"/split \"" + dir + L"data.bin\" \"" + dir + L"out_\u0141\" 100000",
      L"/verify \"" + dir + L"\u0141\u00f3d\u017aVRAX.exe\"",
  };
  const std::string before = tree_state(dir_.path()), capture_path = temp_dir() + "wide.out";
  for (std::wstring line : cases) {
    line = L"\"" + exe + L"\" " + line;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = CreateFileA(capture_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                     CREATE_ALWAYS, 0, nullptr);
    PROCESS_INFORMATION process{};
    DWORD exit_code = STILL_ACTIVE;
    ASSERT_TRUE(CreateProcessW(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, dir.c_str(),
                               &startup, &process));
    WaitForSingleObject(process.hProcess, 60000);
    GetExitCodeProcess(process.hProcess, &exit_code);
    for (HANDLE handle : {process.hThread, process.hProcess, startup.hStdOutput}) CloseHandle(handle);
    const std::string output = read_file(capture_path);
    EXPECT_EQ(exit_code, 65u) << output;  // the documented code of its own
    EXPECT_EQ(output.find("velmora: argument "), 0u) << output;
    EXPECT_NE(output.find(" names a file or folder that the system's ANSI code page cannot spell"),
              std::string::npos) << output;
    EXPECT_EQ(tree_state(dir_.path()), before) << "something was written";
  }
  DeleteFileA(capture_path.c_str());
}

// The library travels with the set: /split puts velmora's own vornex.dll
// beside the first piece (one already there is kept byte for byte;
// /nolibrary leaves it out) with a line of its own in the checksum file, and
// the first piece, run from another folder with no vornex.dll on the PATH,
// rebuilds the file through that copy (without it, it cannot start:
// STATUS_DLL_NOT_FOUND, which also shows that no other vornex.dll is within
// reach).
// fresh_prefix_check.sh runs these in a fresh Wine prefix as well.
struct LibraryCase {
  const char* label;
  const char* options;
  bool kept;    // a vornex.dll of another build waits in the target
  bool beside;  // a vornex.dll lies beside the set afterwards
};
void PrintTo(const LibraryCase& c, std::ostream* out) { *out << c.label; }

class LibraryBesideTheSet : public CommandLine, public ::testing::WithParamInterface<LibraryCase> {
 protected:
  void SetUp() override { remove_bin_from_path(); }
};

TEST_P(LibraryBesideTheSet, TheFirstPieceRebuildsFromAnotherFolderWithNoOtherLibrary) {
  const LibraryCase& c = GetParam();
  const std::string own = read_file(bin_dir() + "\\vornex.dll"), kept = own + "another build";
  const std::string out = dir_ / "out", first = out + "\\dataVRAX.exe", library = out + "\\vornex.dll";
  const std::string bytes = std::string(200000, 'q') + pattern_bytes(200000, 44);
  ASSERT_TRUE(write_file(dir_ / "data.bin", bytes));
  CreateDirectoryA(out.c_str(), nullptr);
  if (c.kept) ASSERT_TRUE(write_file(library, kept));
  ProcessResult split = velmora("/split " + quoted(dir_ / "data.bin") + " " + quoted(out) + " 50000 " + c.options);
  ASSERT_EQ(split.exit_code, 0u) << split.output;
  EXPECT_EQ(file_exists(library), c.beside);
  if (c.beside) EXPECT_TRUE(read_file(library) == (c.kept ? kept : own)) << "the library beside the set differs";
  EXPECT_EQ(checksum_findings(read_set(first), false, dir_ / "data.bin"), "");

  CreateDirectoryA((dir_ / "joined").c_str(), nullptr);
  ProcessResult join = run_process(quoted(first), dir_ / "joined");
  EXPECT_EQ(join.exit_code, c.beside ? 0u : static_cast<DWORD>(STATUS_DLL_NOT_FOUND)) << join.output;
  if (c.beside) EXPECT_TRUE(read_file(dir_ / "joined\\data.bin") == bytes) << "rebuilt file differs";

  // /verify: one line, exit 0; a library that no longer matches its line is
  // a warning, not damage.
  ProcessResult verify = velmora("/verify " + quoted(first));
  EXPECT_EQ(verify.exit_code, 0u) << verify.output;
  EXPECT_EQ(trimmed(verify.output).find('\n'), std::string::npos) << verify.output;
  if (!c.beside) return;
  ASSERT_TRUE(write_file(library, own + "patched"));
  verify = velmora("/verify " + quoted(first));
  EXPECT_EQ(verify.exit_code, 0u) << verify.output;
  EXPECT_NE(verify.output.find("vornex.dll: warning: its CRC "), std::string::npos) << verify.output;
  EXPECT_NE(verify.output.find(": sound, "), std::string::npos) << verify.output;
}

const LibraryCase kLibraryCases[] = {
    {"plain", "", false, true},
    {"compressed", "/compress", false, true},
    {"existingLibraryKept", "", true, true},
    {"noLibrary", "/NoLibrary", false, false},
};
INSTANTIATE_TEST_SUITE_P(Sets, LibraryBesideTheSet, ::testing::ValuesIn(kLibraryCases),
                         [](const ::testing::TestParamInfo<LibraryCase>& info) { return info.param.label; });

}  // namespace
