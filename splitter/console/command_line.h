// velmora's command line, read into what to do:
//   velmora.exe /split SOURCE TARGET-DIRECTORY SECTION-SIZE [/compress] [/idle] [/auto]
//                      [/recovery N | /recovery N%] [/nolibrary]
//   velmora.exe /verify FIRST-PIECE
//   velmora.exe /repair FIRST-PIECE
//   velmora.exe /join FIRST-PIECE [TARGET-DIRECTORY]
//   velmora.exe [FILE]                 the dialog (FILE fills the file name)
// A first argument that begins with '/' and is neither a command word nor an
// existing file is bad usage (a mistyped command must not pass for success).
// The command words and options are matched without regard to case, and
// the options may stand anywhere after the command word.
#ifndef VELMORA_COMMAND_LINE_H
#define VELMORA_COMMAND_LINE_H

#include <string>
#include <vector>

#include "split_job.h"

namespace velmora {

// The exit code of a command line that is not understood; it lies outside
// the engine's result codes. Nothing is written then.
constexpr int kExitUsage = 64;
// The exit code when a split ends in an exception instead of a result.
constexpr int kExitInternal = 70;
// The exit code of /split, /verify or /join given a name that the system's ANSI
// code page cannot spell (ansi_name.h). Nothing is written then either.
constexpr int kExitUnspellableName = 65;
// No argument is unspellable.
constexpr size_t kAllSpelled = static_cast<size_t>(-1);

inline constexpr const char kUsage[] =
    "usage: velmora.exe /split SOURCE TARGET-DIRECTORY SECTION-SIZE [/compress] [/idle] [/auto]\n"
    "                          [/recovery N | /recovery N%] [/nolibrary]\n"
    "       velmora.exe /verify FIRST-PIECE\n"
    "       velmora.exe /repair FIRST-PIECE\n"
    "       velmora.exe /join FIRST-PIECE [TARGET-DIRECTORY]\n"
    "       (with /auto the section size is given as 0; /nolibrary leaves vornex.dll\n"
    "        out of the target, which otherwise gets a copy beside the first piece)\n";

struct Command {
  enum class Kind { kDialog, kSplit, kVerify, kRepair, kJoin, kUsage, kUnspellable };
  Kind kind = Kind::kDialog;
  SplitJob job{};           // kSplit
  std::string first_piece;  // kVerify, kRepair, kJoin
  std::string target;       // kJoin: empty for the current directory
  std::string file_name;    // kDialog: the one argument, when it was given
  std::string problem;      // kUsage, kUnspellable: what is wrong, one line
  bool file_unspellable = false;  // kDialog: the one argument could not be spelled
};

// `arguments` are the program's arguments without the program's name, in
// the ANSI code page; `unspellable` is the index of the first one that has
// no exact spelling there (its text is then not to be used), or kAllSpelled.
Command parse_command_line(const std::vector<std::string>& arguments,
                           size_t unspellable = kAllSpelled);

}  // namespace velmora

#endif  // VELMORA_COMMAND_LINE_H
