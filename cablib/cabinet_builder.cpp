// The cabinet builder.
//
// How it works: open_builder fills the cabinet description (kept in the
// builder, since the engine holds on to it), creates an FCI context with the
// callbacks read from the builder's table (the context value is the handle
// and the registry key) and creates the directories along the cabinet path.
// Each add hands the engine a private copy of the source path and the stored
// name. Inside that call the engine opens the source through
// open_info_callback (which also gives it the DOS time and the attributes,
// and notes which file it is), reads it through read_callback (which counts
// the bytes), keeps the compressed data in temporary files named by
// temp_file_callback and made by open_callback, and reports every compressed
// block to status_callback, which moves the progress and calls the caller's
// progress callback. A source with delete-after is queued only when the
// engine took it in and read all of it.
//
// The cabinet file is written only by the flush at the close, and never at
// its own path: while the builder is flushing, open_callback answers the
// engine's request to create the cabinet with a new temporary file in the
// same folder, and delete_callback turns the engine's deletion of a cabinet
// it failed to write into the deletion of that temporary file. Only when the
// flush succeeded and the file was closed is it renamed onto the cabinet's
// path; otherwise it is removed and whatever stood at the path stays as it
// was. Then the queued sources are deleted, each only when the file at its
// path is still the one the engine read (same file, size and last write) and
// is not the new cabinet; so a source at the cabinet's own path, read before
// the cabinet replaced it, survives inside the cabinet. Last the queued
// directories are removed (those still holding anything stay).
//
// All callbacks run on the calling thread inside the engine call, with the
// library lock held. The library is built without exceptions, so none can
// leave a callback; whatever allocates reports its failure as a result.
//
// An add the cabinet cannot hold (more than 0xFFFF files, or a cabinet that
// could grow past 0x7FFFFFFF bytes were every source incompressible; a
// folder past its limit of 0x7FFF8000 bytes lies beyond that bound too) is
// refused before the engine sees it: the engine would fail it only after
// reading the source, and its context could write no cabinet afterwards.
// While an engine call runs, the builder refuses to be closed or added to
// from inside it (the caller's progress callback may reach its handle).
#include "cabinet_builder.h"

#include <fcntl.h>

#include <climits>
#include <cstdlib>
#include <cstring>

#include "engine_binding.h"
#include "library_frame.h"
#include "path_levels.h"
#include "unique_handle.h"

namespace vornex {

using winsup::UniqueFile;
namespace {

// Attribute bits a cabinet keeps: read-only, hidden, system, archive.
constexpr DWORD kStoredAttributes = 0x27;
// DOS stamp used when the last-write time has no DOS form (before 1980 or
// after 2107): 1 January 1980, 00:00:00.
constexpr WORD kEarliestDosDate = (0 << 9) | (1 << 5) | 1;
constexpr WORD kEarliestDosTime = 0;

// A cabinet's own header (CFHEADER); a file entry without its name (CFFILE),
// a folder entry (CFFOLDER), a data block's header (CFDATA) and a block's
// data. MSZIP adds its two signature bytes and a stored block's header to
// a block it cannot compress; 32 bytes leave room to spare.
constexpr uint64_t kCabinetHeaderBytes = 36;
constexpr uint64_t kFileEntryBytes = 16;
constexpr uint64_t kFolderEntryBytes = 8;
constexpr uint64_t kBlockHeaderBytes = 8;
constexpr uint64_t kBlockBytes = 32768;
constexpr uint64_t kWorstBlockGrowth = 32;

HandleRegistry<CabinetBuilder> g_builders;

HandleRegistry<CabinetBuilder>& builders() { return g_builders; }

HFCI as_context(uint32_t handle) { return reinterpret_cast<HFCI>(static_cast<uintptr_t>(handle)); }
HANDLE as_handle(INT_PTR file) { return reinterpret_cast<HANDLE>(file); }
INT_PTR as_file(HANDLE handle) {
  return handle == INVALID_HANDLE_VALUE ? -1 : reinterpret_cast<INT_PTR>(handle);
}

void clear(int* err) {
  if (err) *err = 0;
}

// Opens an existing file for reading as the engine reads sources.
UniqueFile open_source(const char* path) {
  return UniqueFile(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_FLAG_SEQUENTIAL_SCAN | FILE_ATTRIBUTE_NORMAL, nullptr));
}

// ---- the engine's callbacks; files are kernel handles, -1 is failure ----

// The temporary file that stands in for the cabinet while the engine writes
// it; made on the engine's first request, emptied on a later one.
INT_PTR open_temp_cabinet(CabinetBuilder& builder) {
  HANDLE file = INVALID_HANDLE_VALUE;
  if (builder.temp_cabinet.empty()) {
    file = create_temp_file_in(builder.cabinet_description.szCabPath, "vx", builder.temp_cabinet);
  } else {
    file = CreateFileA(builder.temp_cabinet.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                       nullptr, TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  if (file == INVALID_HANDLE_VALUE) {
    write_system_error(GetLastError());
    return -1;
  }
  builder.cabinet_file = as_file(file);
  builder.cabinet_file_closed = false;
  return builder.cabinet_file;
}

bool is_cabinet_request(const CabinetBuilder* builder, const char* path) {
  return builder && builder->flushing && path && builder->cabinet_path.equals(path);
}

FNFCIOPEN(open_file) {
  (void)pmode;
  clear(err);
  auto* builder = static_cast<CabinetBuilder*>(pv);
  if (oflag & _O_CREAT) {
    if (is_cabinet_request(builder, pszFile)) return open_temp_cabinet(*builder);
    // Created or truncated whatever else the flags ask: the engine makes
    // its temporary files with _O_EXCL on names that temp_file made already.
    DWORD access = GENERIC_READ | GENERIC_WRITE;
    if ((oflag & 3) == 0) access = GENERIC_READ;
    if ((oflag & 3) == 1) access = GENERIC_WRITE;
    return as_file(CreateFileA(pszFile, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  }
  HFILE file = _lopen(pszFile, oflag);
  return file == HFILE_ERROR ? -1 : static_cast<INT_PTR>(file);
}

FNFCIREAD(read_file) {
  clear(err);
  DWORD done = 0;
  if (!ReadFile(as_handle(hf), memory, cb, &done, nullptr)) {
    write_system_error(GetLastError());
    return static_cast<UINT>(-1);
  }
  auto* builder = static_cast<CabinetBuilder*>(pv);
  if (builder && hf == builder->source_file) builder->source_bytes_read += done;
  return done;
}

FNFCIWRITE(write_file) {
  (void)err;
  (void)pv;
  // A short count is handed back as it is: the engine treats it as failure
  // (a full disk may first write short and report success).
  DWORD done = 0;
  if (!WriteFile(as_handle(hf), memory, cb, &done, nullptr)) return static_cast<UINT>(-1);
  return done;
}

FNFCICLOSE(close_file) {
  clear(err);
  auto* builder = static_cast<CabinetBuilder*>(pv);
  bool closed = CloseHandle(as_handle(hf)) != FALSE;
  DWORD error = GetLastError();
  if (builder && hf == builder->cabinet_file) {
    builder->cabinet_file = -1;
    builder->cabinet_file_closed = closed;
  }
  if (builder && hf == builder->source_file) builder->source_file = -1;
  if (!closed) {
    write_system_error(error);
    return -1;
  }
  return 0;
}

FNFCISEEK(seek_file) {
  (void)pv;
  clear(err);
  // Origins 0, 1 and 2 are FILE_BEGIN, FILE_CURRENT and FILE_END.
  DWORD pos = SetFilePointer(as_handle(hf), dist, nullptr, static_cast<DWORD>(seektype));
  if (pos == INVALID_SET_FILE_POINTER) {
    write_system_error(GetLastError());
    return -1;
  }
  return static_cast<__LONG32>(pos);
}

// Returns -1, with the system's text in the log, when the file could not be
// deleted. The engine's deletion of a cabinet it failed to write deletes the
// temporary file that stood in for it, never the file at the cabinet's path.
FNFCIDELETE(delete_file) {
  clear(err);
  auto* builder = static_cast<CabinetBuilder*>(pv);
  bool cabinet = is_cabinet_request(builder, pszFile);
  if (cabinet && builder->temp_cabinet.empty()) return 0;  // no file was made for it
  if (!DeleteFileA(cabinet ? builder->temp_cabinet.c_str() : pszFile)) {
    write_system_error(GetLastError());
    return -1;
  }
  if (cabinet) builder->temp_cabinet.clear();
  return 0;
}

FNFCIGETTEMPFILE(make_temp_file) {
  (void)pv;
  char dir[MAX_PATH];
  DWORD n = GetTempPathA(sizeof dir, dir);
  if (n == 0 || n >= sizeof dir) return FALSE;
  char name[MAX_PATH];
  if (!GetTempFileNameA(dir, "CAB", 0, name)) {  // creates the empty file
    write_system_error(GetLastError());
    return FALSE;
  }
  // The name is made in a buffer of our own and copied only when it fits
  // the engine's.
  std::size_t length = std::strlen(name);
  if (!pszTempName || cbTempName <= 0 || length >= static_cast<std::size_t>(cbTempName)) {
    DeleteFileA(name);
    return FALSE;
  }
  std::memcpy(pszTempName, name, length + 1);
  return TRUE;
}

FNFCIFILEPLACED(file_placed) {
  (void)pccab;
  (void)pszFile;
  (void)cbFile;
  (void)fContinuation;
  (void)pv;
  return 1;
}

// No second cabinet is ever started. With the maximum size at 0x7FFFFFFF the
// engine asks only when the cabinet would grow past it.
FNFCIGETNEXTCABINET(next_cabinet) {
  (void)cbPrevCab;
  (void)pv;
  Text name;
  if (pccab && name.append("FOO") && append_decimal(name, static_cast<uint32_t>(pccab->iCab)) &&
      name.size() < sizeof pccab->szCab)
    std::memcpy(pccab->szCab, name.c_str(), name.size() + 1);
  return FALSE;
}

FNFCISTATUS(report_status) {
  (void)cb1;
  auto* builder = static_cast<CabinetBuilder*>(pv);
  if (typeStatus != statusFile || !builder) return 0;
  builder->processed_bytes += cb2;
  if (builder->expected_bytes != 0) {
    double percent = static_cast<double>(builder->processed_bytes) /
                     static_cast<double>(builder->expected_bytes) * 100.0;
    builder->progress_percent = percent > 99.0 ? 99.0 : percent;  // only the close says 100
  }
  if (builder->progress_callback) builder->progress_callback(builder->progress_percent);
  return 0;
}

// The handle it returns is the one whose information it read, so the file
// the builder notes (identity, size, last write) is the file the engine reads.
FNFCIGETOPENINFO(open_with_info) {
  UniqueFile file = open_source(pszName);
  if (!file) return -1;
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(file.get(), &info)) return -1;
  FileIdentity id = identity_of(file.get());
  if (!id.known || id.size >= kMaxSourceBytes) return -1;
  FILETIME local;
  if (!FileTimeToLocalFileTime(&info.ftLastWriteTime, &local) ||
      !FileTimeToDosDateTime(&local, pdate, ptime)) {
    *pdate = kEarliestDosDate;
    *ptime = kEarliestDosTime;
  }
  *pattribs = static_cast<USHORT>(info.dwFileAttributes & kStoredAttributes);
  clear(err);
  auto* builder = static_cast<CabinetBuilder*>(pv);
  if (builder) {
    builder->source_file = as_file(file.get());
    builder->source = id;
    builder->source_bytes_read = 0;
  }
  return as_file(file.release());
}

// Puts the flushed cabinet at its path: the temporary file is renamed onto it
// (replacing what is there: the caller named that path) only when the flush
// succeeded and the engine closed the file; otherwise it is removed. True
// when the cabinet is in place; a flush that made no file gives its own
// result.
bool place_cabinet(CabinetBuilder& builder, bool flushed) {
  if (builder.cabinet_file != -1) {  // the engine left it open: not a whole cabinet
    CloseHandle(as_handle(builder.cabinet_file));
    builder.cabinet_file = -1;
    flushed = false;
  }
  if (builder.temp_cabinet.empty()) return flushed;
  bool placed = flushed && builder.cabinet_file_closed &&
                MoveFileExA(builder.temp_cabinet.c_str(), builder.cabinet_path.c_str(),
                            MOVEFILE_REPLACE_EXISTING);
  if (!placed) DeleteFileA(builder.temp_cabinet.c_str());
  return placed;
}

// Deletes the queued sources that are still the files the engine read and
// are not the cabinet itself, then removes the queued directories.
void run_queued_deletions(const CabinetBuilder& builder) {
  FileIdentity cabinet = identity_of(builder.cabinet_path.c_str());
  if (!cabinet.known) return;
  for (const QueuedSource* source = builder.delete_on_close.first(); source;
       source = source->next) {
    FileIdentity now = identity_of(source->path.c_str());
    if (now.same_file(cabinet) || !now.unchanged(source->read_as)) continue;
    DeleteFileA(source->path.c_str());
  }
  for (const QueuedDirectory* dir = builder.remove_on_close.first(); dir; dir = dir->next)
    RemoveDirectoryA(dir->path.c_str());
}

}  // namespace

PFNFCIOPEN CabinetBuilder::open_callback() { return &open_file; }
PFNFCIREAD CabinetBuilder::read_callback() { return &read_file; }
PFNFCIWRITE CabinetBuilder::write_callback() { return &write_file; }
PFNFCICLOSE CabinetBuilder::close_callback() { return &close_file; }
PFNFCISEEK CabinetBuilder::seek_callback() { return &seek_file; }
PFNFCIDELETE CabinetBuilder::delete_callback() { return &delete_file; }
PFNFCIGETTEMPFILE CabinetBuilder::temp_file_callback() { return &make_temp_file; }
PFNFCIFILEPLACED CabinetBuilder::file_placed_callback() { return &file_placed; }
PFNFCIGETNEXTCABINET CabinetBuilder::next_cabinet_callback() { return &next_cabinet; }
PFNFCISTATUS CabinetBuilder::status_callback() { return &report_status; }
PFNFCIGETOPENINFO CabinetBuilder::open_info_callback() { return &open_with_info; }

// Zero-filled: the engine reads a stored name into a block it allocated and
// looks for its terminator past what the (truncated) cabinet gave it, so the
// name must not depend on what the heap held before.
void* DIAMONDAPI alloc_callback(ULONG size) { return std::calloc(size ? size : 1, 1); }
void DIAMONDAPI free_callback(void* block) { std::free(block); }

// The compressor's memory. The engine may take its compressor's buffers
// afresh for every 32 KiB block and give them back behind it (Wine's takes
// five, some 260 KiB, per block). Given back to the heap, they went on to the
// system and came back as fresh zero-filled pages, block after block: most
// of a compressed split's system time. So a freed block of kSpareMinimum
// bytes or more waits in a slot for the next request of its size; only when
// every slot is taken does it go back to the heap. A new block comes
// zero-filled like the reader's; a reused one holds what its last user left
// there, which changes no byte a compressor writes (the tests build the same
// cabinet with fresh and with reused blocks). The callbacks run with the
// library lock held, so the slots need no lock of their own.
namespace {
// Ahead of every block: its size, in 16 bytes so that the block keeps the
// heap's alignment.
struct alignas(16) BlockHead {
  ULONG size;
};
constexpr ULONG kSpareMinimum = 4096;
BlockHead* g_spares[8] = {};
}  // namespace

void* DIAMONDAPI compressor_alloc(ULONG size) {
  if (size >= kSpareMinimum) {
    for (BlockHead*& spare : g_spares) {
      if (spare && spare->size == size) {
        BlockHead* head = spare;
        spare = nullptr;
        return head + 1;
      }
    }
  }
  if (size > ULONG_MAX - sizeof(BlockHead)) return nullptr;
  auto* head = static_cast<BlockHead*>(std::calloc(sizeof(BlockHead) + size, 1));
  if (!head) return nullptr;
  head->size = size;
  return head + 1;
}

void DIAMONDAPI compressor_free(void* block) {
  if (!block) return;
  BlockHead* head = static_cast<BlockHead*>(block) - 1;
  if (head->size >= kSpareMinimum) {
    for (BlockHead*& spare : g_spares) {
      if (!spare) {
        spare = head;
        return;
      }
    }
  }
  std::free(head);
}

void release_spare_blocks() {
  for (BlockHead*& spare : g_spares) {
    std::free(spare);
    spare = nullptr;
  }
}

uint64_t worst_case_cabinet_bytes(uint64_t size, std::size_t name_length) {
  uint64_t blocks = size / kBlockBytes + 1;
  return kFileEntryBytes + name_length + 1 + kFolderEntryBytes + size +
         blocks * (kBlockHeaderBytes + kWorstBlockGrowth);
}

const char* stored_name(const char* path, uint32_t name_mode, const char* base_folder) {
  switch (name_mode) {
    case VORNEX_NAME_RELATIVE: {
      if (!base_folder) return path;
      std::size_t n = std::strlen(base_folder);
      bool under_base = std::strlen(path) > n + 1 && std::strncmp(path, base_folder, n) == 0 &&
                        path[n] == '\\';
      return under_base ? path + n + 1 : path;
    }
    case VORNEX_NAME_BARE: {
      const char* slash = std::strrchr(path, '\\');
      return slash ? slash + 1 : path;
    }
    default:  // VORNEX_NAME_WHOLE_PATH
      return path;
  }
}

void log_engine_error(const ERF& record) {
  static const char* const kMeanings[] = {
      "no cause recorded",
      "a source file could not be opened",
      "a source file could not be read",
      "out of memory",
      "a temporary file could not be made",
      "unknown compression type",
      "the cabinet file could not be written",
      "the build was aborted",
      "compressing the data failed",
      "the data or the file count passed the cabinet format's limits",
  };
  const int count = static_cast<int>(sizeof kMeanings / sizeof kMeanings[0]);
  int code = record.fError ? record.erfOper : 0;
  Text line;
  bool made = line.append("Cabinet engine error ") &&
              (code >= 0 ? append_decimal(line, static_cast<uint32_t>(code))
                         : line.append('-') && append_decimal(line, 0u - static_cast<uint32_t>(code))) &&
              line.append(": ") &&
              line.append(code >= 0 && code < count ? kMeanings[code] : "unknown cause");
  if (made && record.fError && record.erfType != 0)
    made = line.append(" (type ") && append_decimal(line, static_cast<uint32_t>(record.erfType)) &&
           line.append(')');
  if (made) write_error_log(line.c_str());
}

CabinetBuilder* find_builder(uint32_t handle) { return builders().find(handle); }

uint32_t open_builder(const char* cabinet_path, ProgressCallback progress_callback) {
  LockGuard lock;
  if (!cabinet_path) return 0;

  const char* name = cabinet_path;
  std::size_t name_length = 0;
  char cwd[256];
  const char* dir = cabinet_path;
  std::size_t dir_length = dir_part_length(cabinet_path);
  if (dir_length != 0) {
    name = cabinet_path + dir_length;
  } else {
    DWORD n = GetCurrentDirectoryA(sizeof cwd - 1, cwd);
    if (n == 0 || n >= sizeof cwd - 1) return 0;
    cwd[n] = '\\';
    cwd[n + 1] = '\0';
    dir = cwd;
    dir_length = n + 1;
  }
  name_length = std::strlen(name);
  // The engine's fields hold 255 characters: longer ones are refused before
  // anything is created.
  if (name_length > kMaxEngineName || dir_length > kMaxEngineName) return 0;

  CabinetBuilder* builder = create<CabinetBuilder>();
  if (!builder) return 0;
  if (!builder->cabinet_path.assign(dir, dir_length) || !builder->cabinet_path.append(name)) {
    destroy(builder);
    return 0;
  }
  builder->progress_callback = progress_callback;
  builder->worst_case_bytes = kCabinetHeaderBytes;
  CCAB& ccab = builder->cabinet_description;
  std::memset(&ccab, 0, sizeof ccab);
  ccab.cb = 0x7FFFFFFF;
  ccab.cbFolderThresh = 900000;
  ccab.iCab = 1;
  ccab.iDisk = 0;
  ccab.setID = 1;
  std::strcpy(ccab.szDisk, "CAB");
  std::memcpy(ccab.szCab, name, name_length + 1);
  std::memcpy(ccab.szCabPath, dir, dir_length);
  ccab.szCabPath[dir_length] = '\0';

  CabinetBuilder& b = *builder;
  HFCI context = engine().fci_create(&b.error_record, b.file_placed_callback(), &compressor_alloc,
                                     &compressor_free, b.open_callback(), b.read_callback(),
                                     b.write_callback(), b.close_callback(), b.seek_callback(),
                                     b.delete_callback(), b.temp_file_callback(), &ccab, &b);
  winsup::create_parent_levels(cabinet_path);
  if (!context) {
    log_engine_error(b.error_record);
    destroy(builder);
    return 0;
  }

  uint32_t handle = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(context));
  builders().register_handle(handle, builder);
  return handle;
}

bool add_one_file(uint32_t handle, const char* file_path, bool delete_after, uint32_t name_mode,
                  const char* base_folder) {
  LockGuard lock;
  if (!file_path || name_mode > VORNEX_NAME_BARE) return false;

  // The probe opens the file as open_info_callback will (shared for reading
  // only): once that callback has failed the engine can no longer write the
  // cabinet, so a file it could not open is refused here, before the engine
  // sees it.
  uint64_t size = 0;
  {
    UniqueFile probe = open_source(file_path);
    if (!probe) {
      write_error_log_path("Cant open file - ", file_path);
      return false;
    }
    LARGE_INTEGER bytes;
    if (!GetFileSizeEx(probe.get(), &bytes)) return false;
    size = static_cast<uint64_t>(bytes.QuadPart);
  }
  if (size >= kMaxSourceBytes) return false;

  CabinetBuilder* builder = builders().find(handle);
  if (!builder || builder->in_engine_call) return false;

  const char* name = stored_name(file_path, name_mode, base_folder);
  std::size_t name_length = std::strlen(name);
  if (name_length == 0 || name_length > kMaxEngineName) return false;

  // What the cabinet cannot hold is refused here, with the builder and what
  // it holds untouched.
  uint64_t worst_case = worst_case_cabinet_bytes(size, name_length);
  if (builder->file_count >= kMaxCabinetFiles ||
      builder->worst_case_bytes + worst_case > kMaxCabinetBytes) {
    write_error_log_path("Cabinet format limit - ", file_path);
    return false;
  }

  // Everything the add needs is allocated before the engine sees the source.
  Text source;
  Text stored;
  QueuedSource* queued = delete_after ? create<QueuedSource>() : nullptr;
  if (!source.assign(file_path) || !stored.assign(name, name_length) ||
      (delete_after && (!queued || !queued->path.assign(file_path)))) {
    destroy(queued);
    return false;
  }

  builder->source_file = -1;
  builder->source = FileIdentity();
  builder->source_bytes_read = 0;
  builder->error_record = ERF();
  builder->in_engine_call = true;
  BOOL taken = engine().fci_add_file(as_context(handle), source.data(), stored.data(), FALSE,
                                     builder->next_cabinet_callback(), builder->status_callback(),
                                     builder->open_info_callback(), tcompTYPE_MSZIP);
  builder->in_engine_call = false;
  if (!taken) {
    log_engine_error(builder->error_record);
    destroy(queued);
    return false;
  }
  builder->file_count += 1;
  builder->worst_case_bytes += worst_case;
  // Only a source whose data the engine took in, all of it, may be deleted.
  bool read_whole = builder->source.known && builder->source_bytes_read == builder->source.size;
  if (queued && read_whole) {
    queued->read_as = builder->source;
    builder->delete_on_close.push_back(queued);
  } else {
    destroy(queued);
  }
  return true;
}

bool close_builder(uint32_t handle) {
  LockGuard lock;
  CabinetBuilder* found = builders().find(handle);
  if (!found) return true;
  if (found->in_engine_call) return false;  // reached from its own progress callback

  HFCI context = as_context(handle);
  found->flushing = true;
  found->in_engine_call = true;
  found->error_record = ERF();
  BOOL flushed = engine().fci_flush_cabinet(context, FALSE, found->next_cabinet_callback(),
                                            found->status_callback());
  found->in_engine_call = false;
  found->flushing = false;
  if (!flushed) log_engine_error(found->error_record);
  engine().fci_destroy(context);
  release_spare_blocks();
  // The context is gone: its value may come back for a builder opened from
  // the progress callback below, so the entry goes now.
  CabinetBuilder* builder = builders().take(handle);

  bool written = place_cabinet(*builder, flushed != FALSE);
  // Sources go only when their data is in a written cabinet; directories only
  // after their files.
  if (written) run_queued_deletions(*builder);

  builder->progress_percent = 100.0;
  ProgressCallback progress_callback = builder->progress_callback;
  destroy(builder);
  if (progress_callback) progress_callback(100.0);
  return written;
}

double builder_progress(uint32_t handle) {
  LockGuard lock;
  CabinetBuilder* builder = builders().find(handle);
  return builder ? builder->progress_percent : 0.0;
}

bool add_expected_bytes(uint32_t handle, uint32_t bytes) {
  LockGuard lock;
  CabinetBuilder* builder = builders().find(handle);
  if (!builder) return false;
  builder->expected_bytes += bytes;
  return true;
}

bool queue_directory_removal(uint32_t handle, const char* directory) {
  LockGuard lock;
  CabinetBuilder* builder = builders().find(handle);
  if (!builder || !directory) return true;
  QueuedDirectory* queued = create<QueuedDirectory>();
  if (!queued || !queued->path.assign(directory)) {
    destroy(queued);
    return false;
  }
  builder->remove_on_close.push_back(queued);
  return true;
}

}  // namespace vornex
