// The cabinet reader.
//
// How it works: vornex_init_uncab makes an FDI context (its value is the
// reader handle and the registry key), checks that the file is a cabinet and
// runs one listing pass of FDICopy whose handler records every stored name and
// skips the data. Each extraction runs a fresh FDICopy pass whose handler
// either skips a file (0) or returns the handle of a new temporary file in the
// output's folder, which the engine fills through the write callback and then
// hands back for closing (fdintCLOSE_FILE_INFO). The write callback counts the
// bytes the system really wrote. The close renames the temporary file onto
// the output path only when every byte the cabinet declares for the file was
// written, and otherwise removes it and fails the pass: the engine looks at
// neither the write callback's count nor the close's answer, and reports the
// close also for a file whose data it could not expand. After a failed output
// the next file stops the pass. An output the engine closes through the close
// callback without that notification is removed as incomplete.
//
// Before each pass the cabinet's header is checked for what makes Wine's
// engine fault (files declared without a folder), and before each extraction
// its data blocks are checked against their checksums (data_blocks.h).
//
// In the "_ex" forms an output path whose normalised full path does not lie
// inside the destination directory is not written: the file is skipped, the
// other files are written, and the extraction reports failure.
//
// The handlers run inside the export's FDICopy call on the same thread and
// take the library lock again (a nested take).
#include "cabinet_reader.h"

#include <windows.h>
#include <fdi.h>

#include <cstring>

#include "cabinet_builder.h"
#include "data_blocks.h"
#include "engine_binding.h"
#include "library_frame.h"
#include "path_levels.h"

namespace vornex {
namespace {

// The engine keeps cabinet names and directories in 256-byte fields.
constexpr std::size_t kEngineNameField = 256;
constexpr std::size_t kWantedNameField = 256;
// The longest stored name handed out by vornex_file_name_by_no.
constexpr std::size_t kMaxListedName = 255;

// One stored name of the listing.
struct ListedName {
  Text name;
  ListedName* next = nullptr;
};

struct ReaderState {
  int32_t file_count = 0;
  Chain<ListedName> file_names;
  Text cabinet_path;
  ERF error_record = {};
  Text dest_dir;
};

class CabinetReader;

// One output file of an extraction while the engine writes it.
struct OutputFile {
  INT_PTR handle = -1;
  CabinetReader* reader = nullptr;
  Text temp_path;
  Text final_path;
  uint32_t expected = 0;  // the size the cabinet declares for the file
  uint32_t written = 0;   // what the system wrote
  bool failed = false;
  OutputFile* next = nullptr;
};

// The outputs the engine has open: the write callback has no user value to
// find its file with. Used under the library lock only.
Chain<OutputFile> g_outputs;

OutputFile* find_output(INT_PTR handle) {
  for (OutputFile* output = g_outputs.first(); output; output = output->next)
    if (output->handle == handle) return output;
  return nullptr;
}

INT_PTR listing_handler(FDINOTIFICATIONTYPE type, PFDINOTIFICATION note);
INT_PTR by_name_handler(FDINOTIFICATIONTYPE type, PFDINOTIFICATION note);
INT_PTR all_files_handler(FDINOTIFICATIONTYPE type, PFDINOTIFICATION note);
UINT DIAMONDAPI write_file_callback(INT_PTR hf, void* pv, UINT cb);

// One open cabinet. Its table of four operations gives the engine the
// handler for each kind of pass and the write callback.
class CabinetReader final {
 public:
  virtual PFNFDINOTIFY listing_notify() { return &listing_handler; }
  virtual PFNFDINOTIFY by_name_notify() { return &by_name_handler; }
  virtual PFNFDINOTIFY all_files_notify() { return &all_files_handler; }
  virtual PFNWRITE write_callback() { return &write_file_callback; }

  uint32_t context = 0;
  // The registry's links (library_frame.h).
  uint32_t handle = 0;
  CabinetReader* next = nullptr;
  char wanted_name[kWantedNameField] = {};
  ReaderState state;
  // The extraction under way: an output could not be written whole, or a
  // stored name would have left the destination.
  bool pass_failed = false;
  bool refused = false;
  // The listing ran out of memory: the reader is not opened.
  bool out_of_memory = false;
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

// A full disk may write short and report success, or fail: either way the
// output is marked failed (the engine does not look at the count).
FNWRITE(write_file_callback) {
  DWORD done = 0;
  BOOL ok = WriteFile(reinterpret_cast<HANDLE>(hf), pv, cb, &done, nullptr);
  OutputFile* output = find_output(hf);
  if (output) {
    output->written += done;
    if (!ok || done != cb) output->failed = true;
  }
  return ok ? done : static_cast<UINT>(-1);
}

// Drops an output without placing it (closing it first unless it is closed
// already): the temporary file goes and the pass fails.
void discard_output(OutputFile* output, bool close = true) {
  if (close) CloseHandle(reinterpret_cast<HANDLE>(output->handle));
  DeleteFileA(output->temp_path.c_str());
  output->reader->pass_failed = true;
  destroy(g_outputs.unlink(output));
}

FNCLOSE(close_callback) {
  OutputFile* output = find_output(hf);
  if (output) {  // the engine gave up on an output
    discard_output(output);
    return 0;
  }
  return _lclose(static_cast<HFILE>(hf)) == HFILE_ERROR ? -1 : 0;
}

FNSEEK(seek_callback) {
  LONG pos = _llseek(static_cast<HFILE>(hf), dist, seektype);
  return pos == HFILE_ERROR ? -1 : pos;
}

HandleRegistry<CabinetReader> g_readers;

HandleRegistry<CabinetReader>& readers() { return g_readers; }

HFDI as_context(uint32_t handle) { return reinterpret_cast<HFDI>(static_cast<uintptr_t>(handle)); }

// Gives the engine a new temporary file in the output's folder for one
// stored file; -1 (the engine stops the pass) when none can be made.
INT_PTR open_output(CabinetReader& reader, const Text& path, uint32_t expected) {
  if (path.empty() || path.size() >= MAX_PATH) return -1;
  winsup::create_parent_levels(path.c_str());
  OutputFile* output = create<OutputFile>();
  Text folder;
  if (!output || !output->final_path.assign(path.c_str(), path.size()) ||
      !folder.assign(path.c_str(), dir_part_length(path.c_str()))) {
    destroy(output);
    return -1;
  }
  output->reader = &reader;
  output->expected = expected;
  HANDLE file = create_temp_file_in(folder.c_str(), "vx", output->temp_path);
  if (file == INVALID_HANDLE_VALUE) {
    destroy(output);
    return -1;
  }
  output->handle = reinterpret_cast<INT_PTR>(file);
  g_outputs.push_back(output);
  return output->handle;
}

// Closes an output the engine has finished and puts it at its path (an
// existing file there is replaced) when all its declared bytes were written;
// otherwise removes it and fails the pass.
INT_PTR finish_output(INT_PTR handle) {
  OutputFile* output = find_output(handle);
  if (!output) return _lclose(static_cast<HFILE>(handle)) == HFILE_ERROR ? -1 : 1;
  bool whole = !output->failed && output->written == output->expected;
  bool closed = CloseHandle(reinterpret_cast<HANDLE>(handle)) != FALSE;
  if (!whole || !closed ||
      !MoveFileExA(output->temp_path.c_str(), output->final_path.c_str(),
                   MOVEFILE_REPLACE_EXISTING)) {
    discard_output(output, false);
    return -1;
  }
  destroy(g_outputs.unlink(output));
  return 1;
}

// Whether `path`, normalised to its full path, lies inside `dest` (also
// normalised): below it, and naming neither a device nor a stream.
bool inside_destination(const Text& dest, const Text& path) {
  char base[MAX_PATH + 1];
  char full[MAX_PATH];
  DWORD d = GetFullPathNameA(dest.c_str(), MAX_PATH, base, nullptr);
  DWORD p = GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr);
  if (d == 0 || d >= MAX_PATH || p == 0 || p >= MAX_PATH) return false;
  if (base[d - 1] != '\\') {
    base[d++] = '\\';
    base[d] = '\0';
  }
  if (p <= d || _strnicmp(full, base, d) != 0) return false;
  return std::strchr(full + d, ':') == nullptr;
}

// `all_files`: keep the stored directories (dropping a drive prefix) under
// dest_dir; otherwise keep only the bare name there.
// False when no memory was left for the path.
bool output_path(const CabinetReader& reader, const char* stored, bool all_files, Text& path) {
  const Text& dest = reader.state.dest_dir;
  if (dest.empty()) return path.assign(stored);
  const char* rest;
  if (all_files) {
    const char* colon = std::strchr(stored, ':');
    rest = colon ? colon + 1 : stored;
  } else {
    const char* slash = std::strrchr(stored, '\\');
    rest = slash ? slash + 1 : stored;
  }
  return path.assign(dest.c_str(), dest.size()) && path.append('\\') && path.append(rest);
}

enum class Pass { listing, by_name, all_files };

// What every pass does with the engine's notifications. The listing records
// each stored name and skips its data; the extractions skip what they do not
// want, refuse what would leave the destination and give the engine a new
// output file for the rest.
// No memory left stops the pass (-1): a listing is then not opened, an
// extraction fails.
INT_PTR on_notification(Pass pass, FDINOTIFICATIONTYPE type, PFDINOTIFICATION note) {
  LockGuard lock;
  auto* reader = static_cast<CabinetReader*>(note->pv);
  switch (type) {
    case fdintCOPY_FILE: {
      const char* stored = note->psz1 ? note->psz1 : "";
      if (pass == Pass::listing) {
        ListedName* listed = create<ListedName>();
        if (!listed || !listed->name.assign(stored)) {
          destroy(listed);
          reader->out_of_memory = true;
          return -1;
        }
        reader->state.file_names.push_back(listed);
        reader->state.file_count += 1;
        return 0;
      }
      if (pass == Pass::by_name && std::strcmp(reader->wanted_name, stored) != 0) return 0;
      if (reader->pass_failed) return -1;
      Text path;
      if (!output_path(*reader, stored, pass == Pass::all_files, path)) return -1;
      if (!reader->state.dest_dir.empty() && !inside_destination(reader->state.dest_dir, path)) {
        reader->refused = true;
        return 0;
      }
      return open_output(*reader, path, static_cast<uint32_t>(note->cb));
    }
    case fdintCLOSE_FILE_INFO:
      return finish_output(note->hf);
    default:
      return 1;
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

// The cabinet path cut at its last backslash, as FDICopy takes it. False
// when no memory was left for the parts.
struct CabinetLocation {
  Text name;
  Text directory;
};

bool locate(const char* cabinet_path, CabinetLocation& where) {
  uint32_t dir = dir_part_length(cabinet_path);
  return where.name.assign(cabinet_path + dir) && where.directory.assign(cabinet_path, dir);
}

// Whether the file at `path` is a cabinet the engine can be given: the
// engine says it is one, and its header does not declare files without a
// folder to hold them (Wine's engine follows a null folder then and faults).
// Asked before every pass, since the file may change between passes.
bool engine_can_read(HFDI context, const char* path) {
  HFILE file = _lopen(path, OF_READ);
  if (file == HFILE_ERROR) return false;
  FDICABINETINFO info = {};
  bool is_cabinet = engine().fdi_is_cabinet(context, static_cast<INT_PTR>(file), &info) != FALSE;
  _lclose(file);
  return is_cabinet && (info.cFolders != 0 || info.cFiles == 0);
}

// One copy pass of the engine. An extraction succeeds only when the engine's
// pass completed, every output was placed whole and no name was refused. A
// pass that expands data is not started on damaged data blocks.
bool run_copy(CabinetReader& reader, PFNFDINOTIFY handler, bool expands = true) {
  reader.pass_failed = false;
  reader.refused = false;
  const char* path = reader.state.cabinet_path.c_str();
  if (!engine_can_read(as_context(reader.context), path)) return false;
  if (expands && !data_blocks_match_checksums(path)) return false;
  CabinetLocation where;
  if (!locate(path, where)) return false;
  BOOL ok = engine().fdi_copy(as_context(reader.context), where.name.data(),
                              where.directory.data(), 1, handler, nullptr, &reader);
  // An output the engine neither finished nor closed is incomplete.
  for (OutputFile* output = g_outputs.first(); output;) {
    OutputFile* next = output->next;
    if (output->reader == &reader) discard_output(output);
    output = next;
  }
  return ok != FALSE && !reader.pass_failed && !reader.refused;
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
  uint32_t dir = dir_part_length(cabinet_path);
  if (std::strlen(cabinet_path + dir) >= kEngineNameField || dir >= kEngineNameField) return 0;

  CabinetReader* reader = create<CabinetReader>();
  if (!reader) return 0;
  if (!reader->state.cabinet_path.assign(cabinet_path)) {
    destroy(reader);
    return 0;
  }
  HFDI context = engine().fdi_create(&alloc_callback, &free_callback, &open_callback,
                                     &read_callback, reader->write_callback(), &close_callback,
                                     &seek_callback, cpu80386, &reader->state.error_record);
  if (!context) {
    destroy(reader);
    return 0;
  }
  reader->context = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(context));

  if (!readable(cabinet_path) || !engine_can_read(context, cabinet_path)) {
    engine().fdi_destroy(context);
    destroy(reader);
    return 0;
  }

  uint32_t handle = reader->context;
  readers().register_handle(handle, reader);
  run_copy(*reader, reader->listing_notify(), false);  // a broken-off listing keeps what it found
  if (reader->out_of_memory) {
    close_reader(handle);
    return 0;
  }
  return handle;
}

bool close_reader(uint32_t handle) {
  LockGuard lock;
  CabinetReader* reader = readers().take(handle);
  if (!reader) return false;
  engine().fdi_destroy(as_context(reader->context));
  destroy(reader);
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
    const ListedName* listed = reader->state.file_names.first();
    for (int32_t i = 0; i < index && listed; ++i) listed = listed->next;
    if (!listed) return true;
    // A name longer than the format allows is handed out cut, so that it
    // fits the buffer the interface promises to fill.
    std::size_t length = listed->name.size() < kMaxListedName ? listed->name.size() : kMaxListedName;
    std::memcpy(name_buffer, listed->name.c_str(), length);
    name_buffer[length] = '\0';
  }
  return true;
}

bool extract_by_name(uint32_t handle, const char* stored_name, const char* dest_dir) {
  LockGuard lock;
  CabinetReader* reader = readers().find(handle);
  if (!reader || !stored_name) return false;
  std::size_t length = std::strlen(stored_name);
  if (length >= kWantedNameField) return false;  // would not fit wanted_name
  if (!reader->state.dest_dir.assign(dest_dir)) return false;
  std::memcpy(reader->wanted_name, stored_name, length + 1);
  return run_copy(*reader, reader->by_name_notify());
}

bool extract_all(uint32_t handle, const char* dest_dir) {
  LockGuard lock;
  CabinetReader* reader = readers().find(handle);
  if (!reader) return false;
  if (!reader->state.dest_dir.assign(dest_dir)) return false;
  return run_copy(*reader, reader->all_files_notify());
}

}  // namespace vornex
