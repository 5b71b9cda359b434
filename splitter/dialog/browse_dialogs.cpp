#include "browse_dialogs.h"

#include <commdlg.h>
#include <shlobj.h>


namespace velmora {

namespace {

bool is_wide_existing(const std::wstring& path, bool directory) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  return !path.empty() && attributes != INVALID_FILE_ATTRIBUTES &&
         ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) == directory;
}

}  // namespace

std::wstring pick_file(HWND owner, const std::wstring& current) {
  wchar_t path[MAX_PATH] = L"";
  if (current.size() < MAX_PATH && is_wide_existing(current, false)) {
    current.copy(path, current.size());
    path[current.size()] = L'\0';
  }
  OPENFILENAMEW request{};
  request.lStructSize = sizeof request;
  request.hwndOwner = owner;
  request.lpstrFilter = L"All files (*.*)\0*.*\0";
  request.nFilterIndex = 1;
  request.lpstrFile = path;
  request.nMaxFile = MAX_PATH;
  request.lpstrTitle = L"Files";
  request.Flags = OFN_EXPLORER | OFN_ENABLESIZING | OFN_HIDEREADONLY;
  return GetOpenFileNameW(&request) ? std::wstring(path) : std::wstring();
}

namespace {

// Selects the starting directory once the picker is up.
int CALLBACK folder_picker_event(HWND picker, UINT message, LPARAM, LPARAM start) {
  if (message == BFFM_INITIALIZED && start) {
    SendMessageW(picker, BFFM_SETSELECTIONW, TRUE, start);
  }
  return 0;
}

}  // namespace

std::wstring pick_directory(HWND owner, const std::wstring& current) {
  wchar_t chosen[MAX_PATH] = L"";
  bool start_there = is_wide_existing(current, true);
  BROWSEINFOW request{};
  request.hwndOwner = owner;
  request.pszDisplayName = chosen;
  request.ulFlags = BIF_RETURNONLYFSDIRS;
  request.lpfn = folder_picker_event;
  request.lParam = start_there ? reinterpret_cast<LPARAM>(current.c_str()) : 0;
  PIDLIST_ABSOLUTE item = SHBrowseForFolderW(&request);
  if (!item) return L"";
  bool is_path = SHGetPathFromIDListW(item, chosen);
  CoTaskMemFree(item);
  return is_path ? std::wstring(chosen) : std::wstring();
}

}  // namespace velmora
