// Directory trees added to an open builder, and the one-step builds.
//
// Both walks (adding and measuring) list folder + "\*.*" in the order the
// system gives, skip "." and "..", and pause 10 ms after every request for the
// next entry. After the first failure nothing more is added or measured, but
// every directory already entered is listed to its end. A folder that cannot
// be listed counts as success with nothing in it. The adding walk queues each
// folder for removal after its contents, so the close removes a tree from the
// bottom up.
#include "folder_operations.h"

#include <windows.h>

#include <cstring>

#include "cabinet_builder.h"
#include "library_frame.h"
#include "unique_handle.h"

namespace vornex {

using winsup::UniqueFile;
using winsup::UniqueFind;
namespace {

constexpr DWORD kEntryPause = 10;  // milliseconds after every FindNextFile

bool valid_mode(uint32_t name_mode) { return name_mode <= VORNEX_NAME_BARE; }

// Calls visit(child, is_directory) for every entry of `folder` and returns
// false once visit has; visit is not called again after that. A path that no
// memory is left for fails like a failed visit.
template <typename Visit>
bool walk_folder(const char* folder, Visit visit) {
  bool ok = true;
  WIN32_FIND_DATAA entry;
  Text pattern;
  if (!pattern.append(folder) || !pattern.append("\\*.*")) return false;
  UniqueFind find(FindFirstFileA(pattern.c_str(), &entry));
  if (!find) return true;
  for (bool more = true; more;) {
    const char* name = entry.cFileName;
    if (std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0 && ok) {
      Text child;
      ok = child.append(folder) && child.append('\\') && child.append(name) &&
           visit(child.c_str(), (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
    }
    more = FindNextFileA(find.get(), &entry) != FALSE;
    Sleep(kEntryPause);
  }
  return ok;
}

// Runs `step` on each path of a list (paths ended by NUL, the list by an
// empty path) while it succeeds; a null list is empty.
template <typename Step>
bool each_path_while_ok(const char* list, Step step) {
  bool ok = true;
  for (const char* p = list; p && *p && ok; p += std::strlen(p) + 1) ok = step(p);
  return ok;
}

// Runs `step` on every path of a list; the last result decides.
template <typename Step>
bool each_path_last_decides(const char* list, Step step) {
  bool ok = true;
  for (const char* p = list; p && *p; p += std::strlen(p) + 1) ok = step(p);
  return ok;
}

// The add pass of one folder, as vornex_add_folder runs it.
bool add_whole_folder(uint32_t handle, const char* folder, bool recurse, bool delete_after,
                      uint32_t name_mode) {
  return add_folder_tree(handle, folder, recurse, delete_after, name_mode, folder);
}

// Opens a builder, runs the measure and add passes, closes it. False when the
// builder cannot be opened, a pass failed or the cabinet was not written.
template <typename Passes>
bool one_step(const char* cabinet_path, ProgressCallback progress_callback, Passes passes) {
  LockGuard lock;
  uint32_t handle = open_builder(cabinet_path, progress_callback);
  if (handle == 0) return false;
  bool ok = passes(handle);
  bool written = close_builder(handle);
  return ok && written;
}

}  // namespace

bool add_folder_tree(uint32_t handle, const char* folder, bool recurse, bool delete_after,
                     uint32_t name_mode, const char* base_folder) {
  LockGuard lock;
  if (!folder) return true;
  bool ok = walk_folder(folder, [&](const char* child, bool is_directory) {
    if (is_directory) {
      return recurse ? add_folder_tree(handle, child, recurse, delete_after, name_mode,
                                       base_folder)
                     : true;
    }
    return add_one_file(handle, child, delete_after, name_mode, base_folder);
  });
  if (delete_after && !queue_directory_removal(handle, folder)) ok = false;
  return ok;
}

bool measure_file(uint32_t handle, const char* path) {
  LockGuard lock;
  if (!path) return false;
  UniqueFile file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    write_error_log_path("Cant open file - ", path);
    return false;
  }
  DWORD size = GetFileSize(file.get(), nullptr);  // the low 32 bits
  if (size == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return false;
  return add_expected_bytes(handle, size);
}

bool measure_folder(uint32_t handle, const char* folder, bool recurse) {
  LockGuard lock;
  if (!folder) return true;
  return walk_folder(folder, [&](const char* child, bool is_directory) {
    if (is_directory) return recurse ? measure_folder(handle, child, recurse) : true;
    return measure_file(handle, child);
  });
}

bool add_folder(uint32_t handle, const char* folder_path, bool recurse, bool delete_after,
                uint32_t name_mode) {
  LockGuard lock;
  if (!folder_path || !valid_mode(name_mode)) return false;
  return add_whole_folder(handle, folder_path, recurse, delete_after, name_mode);
}

bool add_files_one_step(const char* file_list, const char* cabinet_path, bool delete_after,
                        ProgressCallback progress_callback, uint32_t name_mode) {
  LockGuard lock;
  if (!file_list || !valid_mode(name_mode)) return false;
  return one_step(cabinet_path, progress_callback, [&](uint32_t handle) {
    bool ok = each_path_while_ok(file_list, [&](const char* p) { return measure_file(handle, p); });
    return ok && each_path_while_ok(file_list, [&](const char* p) {
             return add_one_file(handle, p, delete_after, name_mode, nullptr);
           });
  });
}

bool add_folders_one_step(const char* folder_list, const char* cabinet_path, bool recurse,
                          bool delete_after, ProgressCallback progress_callback,
                          uint32_t name_mode) {
  LockGuard lock;
  if (!folder_list || !valid_mode(name_mode)) return false;
  return one_step(cabinet_path, progress_callback, [&](uint32_t handle) {
    bool ok = each_path_last_decides(folder_list, [&](const char* folder) {
      return measure_folder(handle, folder, recurse);
    });
    return ok && each_path_while_ok(folder_list, [&](const char* folder) {
             return add_whole_folder(handle, folder, recurse, delete_after, name_mode);
           });
  });
}

bool add_mix_one_step(const char* folder_list, const char* file_list, const char* cabinet_path,
                      bool recurse, bool delete_after, ProgressCallback progress_callback,
                      uint32_t name_mode) {
  LockGuard lock;
  if (!valid_mode(name_mode)) return false;
  return one_step(cabinet_path, progress_callback, [&](uint32_t handle) {
    bool ok = each_path_last_decides(folder_list, [&](const char* folder) {
      return measure_folder(handle, folder, recurse);
    });
    ok = ok && each_path_while_ok(file_list, [&](const char* p) { return measure_file(handle, p); });
    ok = ok && each_path_while_ok(file_list, [&](const char* p) {
           return add_one_file(handle, p, delete_after, name_mode, nullptr);
         });
    return ok && each_path_while_ok(folder_list, [&](const char* folder) {
             return add_whole_folder(handle, folder, recurse, delete_after, name_mode);
           });
  });
}

}  // namespace vornex
