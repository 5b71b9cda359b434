// The sixteen exports and the entry point. Each export passes the
// engine-present gate first (engine absent: its failure value, nothing else),
// then takes the library lock and runs the operation.
//
// The library is built without C++ exceptions and without the C++ runtime's
// containers, so that the DLL carries no C++ runtime: its objects live on the
// C heap (owned.h), and every caller checks whether one could be made.
#include <windows.h>

#include "cabinet_builder.h"
#include "cabinet_reader.h"
#include "engine_binding.h"
#include "folder_operations.h"
#include "library_frame.h"
#include "vornex.h"

namespace {

bool flag(uint32_t byte_flag) { return (byte_flag & 0xFFu) != 0; }
uint32_t mode(NameMode name_mode) { return name_mode & 0xFFFFu; }

template <typename R, typename Op>
R gated(R failure, Op op) {
  if (!vornex::engine_present()) return failure;
  vornex::LockGuard lock;
  return op();
}

uint8_t as_flag(bool b) { return b ? 1 : 0; }

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      vornex::bind_engine();
      break;
    case DLL_PROCESS_DETACH:
      vornex::unbind_engine();
      break;
    default:
      break;
  }
  return TRUE;  // the library loads with or without the engine
}

extern "C" {

uint32_t __stdcall vornex_init_cab(const char* cabinet_path) {
  return gated<uint32_t>(0, [&] { return vornex::open_builder(cabinet_path, nullptr); });
}

uint8_t __stdcall vornex_close_cab(uint32_t handle) {
  return gated<uint8_t>(0, [&] { return as_flag(vornex::close_builder(handle)); });
}

uint8_t __stdcall vornex_add_file(uint32_t handle, const char* file_path, uint32_t delete_after,
                                  NameMode name_mode) {
  return gated<uint8_t>(0, [&] {
    return as_flag(vornex::add_one_file(handle, file_path, flag(delete_after), mode(name_mode),
                                     nullptr));
  });
}

double __stdcall vornex_cab_progress(uint32_t handle) {
  return gated<double>(0.0, [&] { return vornex::builder_progress(handle); });
}

uint8_t __stdcall vornex_add_folder(uint32_t handle, const char* folder_path, uint32_t recurse,
                                    uint32_t delete_after, NameMode name_mode) {
  return gated<uint8_t>(0, [&] {
    return as_flag(vornex::add_folder(handle, folder_path, flag(recurse), flag(delete_after),
                                   mode(name_mode)));
  });
}

uint8_t __stdcall vornex_add_files_one_step(const char* file_list, const char* cabinet_path,
                                            uint32_t delete_after,
                                            ProgressCallback progress_callback,
                                            NameMode name_mode) {
  return gated<uint8_t>(0, [&] {
    return as_flag(vornex::add_files_one_step(file_list, cabinet_path, flag(delete_after),
                                           progress_callback, mode(name_mode)));
  });
}

uint8_t __stdcall vornex_add_folders_one_step(const char* folder_list, const char* cabinet_path,
                                              uint32_t recurse, uint32_t delete_after,
                                              ProgressCallback progress_callback,
                                              NameMode name_mode) {
  return gated<uint8_t>(0, [&] {
    return as_flag(vornex::add_folders_one_step(folder_list, cabinet_path, flag(recurse),
                                             flag(delete_after), progress_callback,
                                             mode(name_mode)));
  });
}

uint8_t __stdcall vornex_add_mix_one_step(const char* folder_list, const char* file_list,
                                          const char* cabinet_path, uint32_t recurse,
                                          uint32_t delete_after,
                                          ProgressCallback progress_callback,
                                          NameMode name_mode) {
  return gated<uint8_t>(0, [&] {
    return as_flag(vornex::add_mix_one_step(folder_list, file_list, cabinet_path, flag(recurse),
                                         flag(delete_after), progress_callback,
                                         mode(name_mode)));
  });
}

uint32_t __stdcall vornex_init_uncab(const char* cabinet_path) {
  return gated<uint32_t>(0, [&] { return vornex::open_reader(cabinet_path); });
}

uint8_t __stdcall vornex_close_uncab(uint32_t handle) {
  return gated<uint8_t>(0, [&] { return as_flag(vornex::close_reader(handle)); });
}

int32_t __stdcall vornex_file_count(uint32_t handle) {
  return gated<int32_t>(0, [&] { return vornex::reader_file_count(handle); });
}

uint8_t __stdcall vornex_file_name_by_no(uint32_t handle, char* name_buffer, int32_t index) {
  return gated<uint8_t>(0, [&] { return as_flag(vornex::reader_file_name(handle, name_buffer, index)); });
}

uint8_t __stdcall vornex_uncab_by_name(uint32_t handle, const char* stored_name) {
  return gated<uint8_t>(0, [&] { return as_flag(vornex::extract_by_name(handle, stored_name, nullptr)); });
}

uint8_t __stdcall vornex_uncab_by_name_ex(uint32_t handle, const char* stored_name,
                                          const char* dest_dir) {
  return gated<uint8_t>(0, [&] {
    return as_flag(vornex::extract_by_name(handle, stored_name, dest_dir ? dest_dir : ""));
  });
}

uint8_t __stdcall vornex_uncab_all(uint32_t handle) {
  return gated<uint8_t>(0, [&] { return as_flag(vornex::extract_all(handle, nullptr)); });
}

uint8_t __stdcall vornex_uncab_all_ex(uint32_t handle, const char* dest_dir) {
  return gated<uint8_t>(0, [&] { return as_flag(vornex::extract_all(handle, dest_dir ? dest_dir : "")); });
}

}  // extern "C"
