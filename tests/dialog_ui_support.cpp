#include "dialog_ui_support.h"

#include <algorithm>
#include <fstream>
#include <vector>

#include "dialog_ids.h"
#include "test_support.h"

namespace ui_driver {

bool wait_until(const std::function<bool()>& done, DWORD timeout_ms) {
  DWORD start = GetTickCount();
  for (;;) {
    if (done()) return true;
    if (GetTickCount() - start > timeout_ms) return false;
    Sleep(10);
  }
}

std::string text_of(HWND window) {
  if (!window) return "<no window>";
  char buffer[1024] = "";
  LRESULT copied = SendMessageA(window, WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer));
  return std::string(buffer, copied > 0 ? static_cast<size_t>(copied) : 0);
}

std::string box_text(HWND box) {
  char buffer[1024] = "";
  GetDlgItemTextA(box, 0xFFFF, buffer, sizeof buffer);
  return buffer;
}

namespace {

struct Search {
  DWORD process_id;
  const char* caption;  // null: any caption
  HWND except;
  HWND found;
};

BOOL CALLBACK match_window(HWND window, LPARAM argument) {
  auto* search = reinterpret_cast<Search*>(argument);
  DWORD owner_process = 0;
  GetWindowThreadProcessId(window, &owner_process);
  if (owner_process != search->process_id || window == search->except) return TRUE;
  if (!IsWindowVisible(window)) return TRUE;
  char class_name[64] = "";
  GetClassNameA(window, class_name, sizeof class_name);
  if (std::string(class_name) != "#32770") return TRUE;
  if (search->caption) {
    char caption[256] = "";
    GetWindowTextA(window, caption, sizeof caption);
    if (std::string(caption) != search->caption) return TRUE;
  }
  search->found = window;
  return FALSE;
}

HWND find_window(DWORD process_id, const char* caption, HWND except) {
  Search search{process_id, caption, except, nullptr};
  EnumWindows(match_window, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

}  // namespace

Velmora::Velmora(const std::string& arguments) {
  std::string program = testing_support::bin_dir() + "\\velmora.exe";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  std::string command = "\"" + program + "\"";
  if (!arguments.empty()) command += " " + arguments;
  if (!CreateProcessA(program.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &started)) {
    return;
  }
  CloseHandle(started.hThread);
  process_ = started.hProcess;
  process_id_ = started.dwProcessId;
  wait_until([this] {
    dialog_ = find_window(process_id_, "File splitting dialog", nullptr);
    return dialog_ != nullptr;
  });
}

Velmora::~Velmora() {
  if (!process_) return;
  if (running()) {
    TerminateProcess(process_, 1);
    WaitForSingleObject(process_, 10000);
  }
  CloseHandle(process_);
}

HWND Velmora::control(int id) const {
  HWND direct = GetDlgItem(dialog_, id);
  if (direct) return direct;
  return GetDlgItem(GetDlgItem(dialog_, IDC_PANEL1), id);
}

void Velmora::set_text(int id, const std::string& text) const {
  SendMessageA(control(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void Velmora::click(int id) const { PostMessageA(control(id), BM_CLICK, 0, 0); }

bool Velmora::checked(int id) const {
  return SendMessageA(control(id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void Velmora::set_checked(int id, bool on) const {
  if (checked(id) == on) return;
  SendMessageA(control(id), BM_CLICK, 0, 0);
}

HWND Velmora::wait_for_box(const char* caption, DWORD timeout_ms) const {
  HWND box = nullptr;
  wait_until([&] { return (box = find_window(process_id_, caption, dialog_)) != nullptr; },
             timeout_ms);
  return box;
}

HWND Velmora::wait_for_other_dialog(DWORD timeout_ms) const {
  HWND box = nullptr;
  wait_until([&] { return (box = find_window(process_id_, nullptr, dialog_)) != nullptr; },
             timeout_ms);
  return box;
}

bool Velmora::answer(HWND box, int button) const {
  HWND control = GetDlgItem(box, button);
  if (!control) return false;
  PostMessageA(control, BM_CLICK, 0, 0);
  return wait_until([box] { return !IsWindow(box) || !IsWindowVisible(box); });
}

DWORD Velmora::wait_for_exit(DWORD timeout_ms) const {
  WaitForSingleObject(process_, timeout_ms);
  DWORD code = STILL_ACTIVE;
  GetExitCodeProcess(process_, &code);
  return code;
}

bool Velmora::running() const { return WaitForSingleObject(process_, 0) == WAIT_TIMEOUT; }

bool run_program(const std::string& program, const std::string& arguments,
                 const std::string& directory, DWORD* exit_code) {
  std::string path = testing_support::bin_dir();
  char old_path[8192] = "";
  GetEnvironmentVariableA("PATH", old_path, sizeof old_path);
  SetEnvironmentVariableA("PATH", (path + ";" + old_path).c_str());
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  std::string command = "\"" + program + "\"" + (arguments.empty() ? "" : " " + arguments);
  BOOL ok = CreateProcessA(program.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                           directory.c_str(), &startup, &started);
  SetEnvironmentVariableA("PATH", old_path);
  if (!ok) return false;
  CloseHandle(started.hThread);
  bool ended = WaitForSingleObject(started.hProcess, 120000) == WAIT_OBJECT_0;
  GetExitCodeProcess(started.hProcess, exit_code);
  CloseHandle(started.hProcess);
  return ended;
}

bool write_pattern_file(const std::string& path, size_t megabytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  for (size_t i = 0; i < megabytes && out; ++i) {
    std::string chunk = testing_support::pattern_bytes(1 << 20, static_cast<unsigned>(i + 1));
    out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
  }
  return static_cast<bool>(out);
}

bool file_starts_with(const std::string& whole, const std::string& prefix) {
  std::ifstream a(whole, std::ios::binary), b(prefix, std::ios::binary);
  if (!a || !b) return false;
  std::vector<char> x(1 << 20), y(1 << 20);
  for (;;) {
    b.read(y.data(), static_cast<std::streamsize>(y.size()));
    std::streamsize n = b.gcount();
    if (n == 0) return true;
    a.read(x.data(), n);
    if (a.gcount() != n || !std::equal(y.begin(), y.begin() + n, x.begin())) return false;
  }
}

unsigned long long file_size(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  return (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

}  // namespace ui_driver
