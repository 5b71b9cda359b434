// The application's standard exception message: what an exception says,
// shown in an error box. Window procedures and the start-up catch every
// exception at their edge and report it through here.
#ifndef VELMORA_EXCEPTION_MESSAGE_H
#define VELMORA_EXCEPTION_MESSAGE_H

#include <windows.h>

#include <exception>
#include <functional>
#include <string>

namespace velmora {

// What start-up throws when a window or a resource cannot be made. It holds
// a literal, so that raising it needs no memory.
class UiError : public std::exception {
 public:
  explicit UiError(const char* text) noexcept : text_(text) {}
  const char* what() const noexcept override { return text_; }

 private:
  const char* text_;
};

// The text for the exception being handled; call only inside a catch block.
std::string current_exception_text() noexcept;

// Shows the text in a message box owned by `owner` (may be null), caption
// "velmora", error icon. Never throws.
void show_exception_message(HWND owner, const std::string& text) noexcept;

// Runs `body`; an exception escaping it goes to `report` with its text.
// Returns 0 either way: the exit code of the program.
int run_guarded(const std::function<void()>& body,
                const std::function<void(const std::string&)>& report) noexcept;

}  // namespace velmora

#endif  // VELMORA_EXCEPTION_MESSAGE_H
