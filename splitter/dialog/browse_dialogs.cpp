#include "browse_dialogs.h"

#include <commdlg.h>
#include <shlobj.h>


namespace velmora {

namespace {

bool is_wide_existing(const wchar_t* path, bool directory) {
  DWORD attributes = GetFileAttributesW(path);
  return path[0] != L'\0' && attributes != INVALID_FILE_ATTRIBUTES &&
         ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) == directory;
}

}  // namespace

WideName pick_file(HWND owner, const wchar_t* current) {
  wchar_t path[MAX_PATH] = L"";
  if (lstrlenW(current) < MAX_PATH && is_wide_existing(current, false)) lstrcpyW(path, current);
  OPENFILENAMEW request{};
  request.lStructSize = sizeof request;
  request.hwndOwner = owner;
  request.lpstrFilter = L"All files (*.*)\0*.*\0";
  request.nFilterIndex = 1;
  request.lpstrFile = path;
  request.nMaxFile = MAX_PATH;
  request.lpstrTitle = L"Files";
  request.Flags = OFN_EXPLORER | OFN_ENABLESIZING | OFN_HIDEREADONLY;
  return GetOpenFileNameW(&request) ? wide_name(path) : WideName();
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

WideName pick_directory(HWND owner, const wchar_t* current) {
  wchar_t chosen[MAX_PATH] = L"";
  bool start_there = is_wide_existing(current, true);
  BROWSEINFOW request{};
  request.hwndOwner = owner;
  request.pszDisplayName = chosen;
  request.ulFlags = BIF_RETURNONLYFSDIRS;
  request.lpfn = folder_picker_event;
  request.lParam = start_there ? reinterpret_cast<LPARAM>(current) : 0;
  PIDLIST_ABSOLUTE item = SHBrowseForFolderW(&request);
  if (!item) return WideName();
  bool is_path = SHGetPathFromIDListW(item, chosen);
  CoTaskMemFree(item);
  return is_path ? wide_name(chosen) : WideName();
}

}  // namespace velmora
