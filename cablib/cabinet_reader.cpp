// The cabinet reader.
//
// How it works: vornex_init_uncab makes an FDI context (its value is the
// reader handle and the registry key), checks that the file is a cabinet and
// runs one listing pass of FDICopy whose handler records every stored name and
// skips the data. Each extraction runs a fresh FDICopy pass whose handler
// either skips a file (0) or returns a handle of a newly created output file,
// which the engine fills through the write callback and then hands back for
// closing. The handlers run inside the export's FDICopy call on the same
// thread and take the library lock again (a nested take).
#include "cabinet_reader.h"

#include <windows.h>
#include <fdi.h>

#include <cstring>
#include <list>
#include <memory>
#include <string>

#include "cabinet_builder.h"
#include "engine_binding.h"
#include "library_frame.h"

namespace vornex {
namespace {

// The engine keeps cabinet names and directories in 256-byte fields.
constexpr std::size_t kEngineNameField = 256;
constexpr std::size_t kWantedNameField = 256;

struct ReaderState {
  int32_t file_count = 0;
  std::list<std::string> file_names;
  std::string cabinet_path;
  std::unique_ptr<ERF> error_record;
  std::string dest_dir;
};

// ---- the engine's file callbacks (handles are kernel handles); the memory
// callbacks are the builder's ----

FNOPEN(open_callback) {
  (void)pmode;
  HFILE file = _lopen(pszFile, oflag & 3);
  return file == HFILE_ERROR ? -1 : static_cast<INT_PTR>(file);
}

FNREAD(read_callback) {
  UINT n = _lread(static_cast<HFILE>(hf), pv, cb);
  return n == static_cast<UINT>(HFILE_ERROR) ? static_cast<UINT>(-1) : n;
}

FNWRITE(write_file_callback) {
  UINT n = _lwrite(static_cast<HFILE>(hf), static_cast<LPCCH>(pv), cb);
  return n == static_cast<UINT>(HFILE_ERROR) ? static_cast<UINT>(-1) : n;
}

FNCLOSE(close_callback) { return _lclose(static_cast<HFILE>(hf)) == HFILE_ERROR ? -1 : 0; }

FNSEEK(seek_callback) {
  LONG pos = _llseek(static_cast<HFILE>(hf), dist, seektype);
  return pos == HFILE_ERROR ? -1 : pos;
}

class CabinetReader;
INT_PTR listing_handler(FDINOTIFICATIONTYPE type, PFDINOTIFICATION note);
INT_PTR by_name_handler(FDINOTIFICATIONTYPE type, PFDINOTIFICATION note);
INT_PTR all_files_handler(FDINOTIFICATIONTYPE type, PFDINOTIFICATION note);

// One open cabinet. Its table of four operations gives the engine the
// handler for each kind of pass and the write callback.
class CabinetReader final {
 public:
  virtual PFNFDINOTIFY listing_notify() { return &listing_handler; }
  virtual PFNFDINOTIFY by_name_notify() { return &by_name_handler; }
  virtual PFNFDINOTIFY all_files_notify() { return &all_files_handler; }
  virtual PFNWRITE write_callback() { return &write_file_callback; }

  uint32_t context = 0;
  char wanted_name[kWantedNameField] = {};
  ReaderState state;
};

HandleRegistry<CabinetReader>& readers() {
  static HandleRegistry<CabinetReader> registry;
  return registry;
}

HFDI as_context(uint32_t handle) { return reinterpret_cast<HFDI>(static_cast<uintptr_t>(handle)); }

// Closes an output file that the engine has finished writing.
INT_PTR close_output(PFDINOTIFICATION note) {
  return _lclose(static_cast<HFILE>(note->hf)) == HFILE_ERROR ? -1 : 1;
}

// Creates the output file for one stored file; the handle for the engine, or
// -1 (which makes the engine stop the pass).
INT_PTR create_output(const std::string& path) {
  if (path.empty() || path.size() >= MAX_PATH) return -1;
  create_path_dirs(path.c_str());
  HFILE file = _lcreat(path.c_str(), 0);  // an ordinary file, emptied when it exists
  return file == HFILE_ERROR ? -1 : static_cast<INT_PTR>(file);
}

// `all_files`: keep the stored directories (dropping a drive prefix) under
// dest_dir; otherwise keep only the bare name there.
std::string output_path(const CabinetReader& reader, const char* stored, bool all_files) {
  const std::string& dest = reader.state.dest_dir;
  if (dest.empty()) return stored;
  const char* rest;
  if (all_files) {
    const char* colon = std::strchr(stored, ':');
    rest = colon ? colon + 1 : stored;
  } else {
    const char* slash = std::strrchr(stored, '\\');
    rest = slash ? slash + 1 : stored;
  }
  return dest + "\\" + rest;
}

enum class Pass { listing, by_name, all_files };

// What every pass does with the engine's notifications. The listing records
// each stored name and skips its data; the extractions skip what they do not
// want and give the engine a new output file for the rest.
INT_PTR on_notification(Pass pass, FDINOTIFICATIONTYPE type, PFDINOTIFICATION note) {
  try {
    LockGuard lock;
    auto* reader = static_cast<CabinetReader*>(note->pv);
    switch (type) {
      case fdintCOPY_FILE: {
        const char* stored = note->psz1 ? note->psz1 : "";
        if (pass == Pass::listing) {
          reader->state.file_count += 1;
          reader->state.file_names.emplace_back(stored);
          return 0;
        }
        if (pass == Pass::by_name && std::strcmp(reader->wanted_name, stored) != 0) return 0;
        return create_output(output_path(*reader, stored, pass == Pass::all_files));
      }
      case fdintCLOSE_FILE_INFO:
        return close_output(note);
      default:
        return 1;
    }
  } catch (...) {
    return -1;
  }
}

INT_PTR listing_handler(FDINOTIFICATIONTYPE type, PFDINOTIFICATION note) {
  return on_notification(Pass::listing, type, note);
}
INT_PTR by_name_handler(FDINOTIFICATIONTYPE type, PFDINOTIFICATION note) {
  return on_notification(Pass::by_name, type, note);
}
INT_PTR all_files_handler(FDINOTIFICATIONTYPE type, PFDINOTIFICATION note) {
  return on_notification(Pass::all_files, type, note);
}

// The cabinet path cut at its last backslash, as FDICopy takes it.
struct CabinetLocation {
  std::string name;
  std::string directory;
};

CabinetLocation locate(const std::string& cabinet_path) {
  uint32_t dir = dir_part_length(cabinet_path.c_str());
  return {cabinet_path.substr(dir), cabinet_path.substr(0, dir)};
}

bool run_copy(CabinetReader& reader, PFNFDINOTIFY handler) {
  CabinetLocation where = locate(reader.state.cabinet_path);
  BOOL ok = engine().fdi_copy(as_context(reader.context), &where.name[0], &where.directory[0], 1,
                              handler, nullptr, &reader);
  return ok != FALSE;
}

// Releases a reader and everything it made; erases its entry when registered.
void destroy_reader(CabinetReader* reader) {
  if (reader->context != 0) {
    engine().fdi_destroy(as_context(reader->context));
    readers().erase(reader->context);
  }
  delete reader;
}

bool readable(const char* path) {
  HFILE file = _lopen(path, OF_READ);
  if (file == HFILE_ERROR) return false;
  _lclose(file);
  return true;
}

}  // namespace

uint32_t open_reader(const char* cabinet_path) {
  LockGuard lock;
  if (!cabinet_path) return 0;
  CabinetLocation where = locate(cabinet_path);
  if (where.name.size() >= kEngineNameField || where.directory.size() >= kEngineNameField) return 0;

  ReaderState state;
  state.cabinet_path = cabinet_path;
  state.error_record = std::make_unique<ERF>();
  std::memset(state.error_record.get(), 0, sizeof(ERF));

  auto* reader = new CabinetReader;
  HFDI context = engine().fdi_create(&alloc_callback, &free_callback, &open_callback,
                                     &read_callback, reader->write_callback(), &close_callback,
                                     &seek_callback, cpu80386, state.error_record.get());
  if (!context) {
    delete reader;
    return 0;
  }
  reader->context = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(context));
  if (!readable(cabinet_path)) {
    destroy_reader(reader);
    return 0;
  }
  reader->state = std::move(state);
  readers().register_handle(reader->context, reader);

  HFILE file = _lopen(cabinet_path, OF_READ);
  if (file == HFILE_ERROR) {
    destroy_reader(reader);
    return 0;
  }
  FDICABINETINFO info;
  BOOL is_cabinet = engine().fdi_is_cabinet(context, static_cast<INT_PTR>(file), &info);
  _lclose(file);
  if (!is_cabinet) {
    destroy_reader(reader);
    return 0;
  }

  run_copy(*reader, reader->listing_notify());  // a broken-off listing keeps what it found
  return reader->context;
}

bool close_reader(uint32_t handle) {
  LockGuard lock;
  CabinetReader* reader = readers().find(handle);
  if (!reader) return false;
  destroy_reader(reader);
  return true;
}

int32_t reader_file_count(uint32_t handle) {
  LockGuard lock;
  CabinetReader* reader = readers().find(handle);
  return reader ? reader->state.file_count : 0;
}

bool reader_file_name(uint32_t handle, char* name_buffer, int32_t index) {
  LockGuard lock;
  CabinetReader* reader = readers().find(handle);
  if (!reader) return false;
  if (name_buffer && index >= 0 && index < reader->state.file_count) {
    auto it = reader->state.file_names.begin();
    std::advance(it, index);
    std::memcpy(name_buffer, it->c_str(), it->size() + 1);
  }
  return true;
}

bool extract_by_name(uint32_t handle, const char* stored_name, const char* dest_dir) {
  LockGuard lock;
  CabinetReader* reader = readers().find(handle);
  if (!reader || !stored_name) return false;
  std::size_t length = std::strlen(stored_name);
  if (length >= kWantedNameField) return false;  // would not fit wanted_name
  reader->state.dest_dir = dest_dir ? dest_dir : "";
  std::memcpy(reader->wanted_name, stored_name, length + 1);
  return run_copy(*reader, reader->by_name_notify());
}

bool extract_all(uint32_t handle, const char* dest_dir) {
  LockGuard lock;
  CabinetReader* reader = readers().find(handle);
  if (!reader) return false;
  reader->state.dest_dir = dest_dir ? dest_dir : "";
  return run_copy(*reader, reader->all_files_notify());
}

}  // namespace vornex
