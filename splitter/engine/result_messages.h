// The words for the engine's results, which both front ends use: the dialog
// shows them in a message box, the command line prints them.
#ifndef VELMORA_RESULT_MESSAGES_H
#define VELMORA_RESULT_MESSAGES_H

#include <windows.h>

#include <string>

// The text and icon for a result code of split_file; every box has the
// caption "Rudezo" and an OK button. text is nullptr for codes that have no
// message (nothing is shown for them).
struct ResultMessage {
  const char* text;
  UINT icon;  // MB_ICONQUESTION, MB_ICONERROR or MB_ICONWARNING
};
ResultMessage result_message(int result);

// The caption of every box of the split.
inline constexpr const char kMessageCaption[] = "Rudezo";

// What is said, followed by the exception's own text, when a split ends in
// an exception instead of a result.
inline constexpr const char kInternalErrorText[] = "The split stopped on an internal error: ";

// kInternalErrorText and the text of the exception being handled; call only
// inside a catch block. Never throws.
std::string internal_error_text() noexcept;

#endif  // VELMORA_RESULT_MESSAGES_H
