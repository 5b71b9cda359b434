// Every word and icon the front ends show for a split, in one place that
// both share (the engine holds none): the texts of the engine's results,
// which the dialog shows in a message box and the command line prints, and
// the prompts for disks, which both ask in message boxes.
#ifndef VELMORA_RESULT_MESSAGES_H
#define VELMORA_RESULT_MESSAGES_H

#include <windows.h>

#include <string>

#include "split_job.h"
#include "split_result.h"

namespace velmora {

// The prompts for the disks asked for by DiskRequest, in boxes captioned
// kMessageCaption.
inline constexpr const char kNoSpacePrompt[] =
    "Not enough free space. Place another disk into the drive and press YES.";
inline constexpr const char kFirstDiskPrompt[] =
    "Place your first disk again into the drive and press OK.";

// Asks for the disk in a message box: another one (YES goes on, NO gives
// up) or the first one again (OK). Both front ends' ask_for_disk.
bool ask_for_disk_in_a_box(DiskRequest request);

}  // namespace velmora

// The text and icon for a result code of split_file; every box has the
// caption "Rudezo" and an OK button. text is nullptr for codes that have no
// message (nothing is shown for them).
struct ResultMessage {
  const char* text;
  UINT icon;  // MB_ICONQUESTION, MB_ICONERROR or MB_ICONWARNING
};
ResultMessage result_message(velmora::SplitResult result);

// What is added to "Procedure comlete." for a set that carries neither the
// integrity record nor the checksum file.
inline constexpr const char kUnprovableNote[] =
    " The set is complete but cannot prove itself: it carries no checksums "
    "(no room for the record in its first piece, and no checksum file beside it).";

// The whole text for the result of the split of `job`: result_message's
// text, with kUnprovableNote for a set that cannot prove itself; empty for
// codes that have no message.
std::string result_text(velmora::SplitResult result, const SplitJob& job);

// The caption of every box of the split.
inline constexpr const char kMessageCaption[] = "Rudezo";

// What is said, followed by the exception's own text, when a split ends in
// an exception instead of a result.
inline constexpr const char kInternalErrorText[] = "The split stopped on an internal error: ";

// kInternalErrorText and the text of the exception being handled; call only
// inside a catch block. Never throws.
std::string internal_error_text() noexcept;

#endif  // VELMORA_RESULT_MESSAGES_H
