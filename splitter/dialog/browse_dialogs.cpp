#include "browse_dialogs.h"

#include <commdlg.h>
#include <shlobj.h>

#include "source_file_name.h"

namespace velmora {

std::string pick_file(HWND owner, const std::string& current) {
  char path[MAX_PATH] = "";
  if (current.size() < sizeof path && is_existing_file(current)) {
    current.copy(path, current.size());
    path[current.size()] = '\0';
  }
  OPENFILENAMEA request{};
  request.lStructSize = sizeof request;
  request.hwndOwner = owner;
  request.lpstrFilter = "All files (*.*)\0*.*\0";
  request.nFilterIndex = 1;
  request.lpstrFile = path;
  request.nMaxFile = sizeof path;
  request.lpstrTitle = "Files";
  request.Flags = OFN_EXPLORER | OFN_ENABLESIZING | OFN_HIDEREADONLY;
  return GetOpenFileNameA(&request) ? std::string(path) : std::string();
}

namespace {

// Selects the starting directory once the picker is up.
int CALLBACK folder_picker_event(HWND picker, UINT message, LPARAM, LPARAM start) {
  if (message == BFFM_INITIALIZED && start) {
    SendMessageA(picker, BFFM_SETSELECTIONA, TRUE, start);
  }
  return 0;
}

}  // namespace

std::string pick_directory(HWND owner, const std::string& current) {
  char chosen[MAX_PATH] = "";
  DWORD attributes = GetFileAttributesA(current.c_str());
  bool start_there = !current.empty() && attributes != INVALID_FILE_ATTRIBUTES &&
                     (attributes & FILE_ATTRIBUTE_DIRECTORY);
  BROWSEINFOA request{};
  request.hwndOwner = owner;
  request.pszDisplayName = chosen;
  request.ulFlags = BIF_RETURNONLYFSDIRS;
  request.lpfn = folder_picker_event;
  request.lParam = start_there ? reinterpret_cast<LPARAM>(current.c_str()) : 0;
  PIDLIST_ABSOLUTE item = SHBrowseForFolderA(&request);
  if (!item) return "";
  bool is_path = SHGetPathFromIDListA(item, chosen);
  CoTaskMemFree(item);
  return is_path ? std::string(chosen) : std::string();
}

}  // namespace velmora
