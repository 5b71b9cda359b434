// The builder side: one CabinetBuilder per open cabinet, over the engine's
// FCI half. The exports in exports.cpp and the folder operations call these;
// each takes the library lock itself.
#ifndef VORNEX_CABINET_BUILDER_H
#define VORNEX_CABINET_BUILDER_H

#include <windows.h>
#include <fci.h>

#include <cstdint>

#include "file_identity.h"
#include "owned.h"
#include "vornex.h"

namespace vornex {

using winsup::FileIdentity;
using winsup::identity_of;

// A source this large or larger is refused: a cabinet folder cannot hold it.
constexpr uint64_t kMaxSourceBytes = VORNEX_MAX_SOURCE_BYTES;

// The engine's name fields (cabinet name, cabinet directory, stored name)
// hold 255 characters and the terminator.
constexpr std::size_t kMaxEngineName = CB_MAX_CABINET_NAME - 1;

// The cabinet format's limits (CB_MAX_DISK): a cabinet is at most
// 0x7FFFFFFF bytes and holds at most 0xFFFF files.
constexpr uint64_t kMaxCabinetBytes = CB_MAX_DISK;
constexpr uint32_t kMaxCabinetFiles = 0xFFFF;

// The most bytes a source of `size` bytes stored under a name of
// `name_length` characters can add to a cabinet: its file entry, a folder
// entry of its own, and its data in blocks of 32 KiB, each with its block
// header and more than MSZIP adds to data it cannot compress.
uint64_t worst_case_cabinet_bytes(uint64_t size, std::size_t name_length);

// A source queued for deletion at the close: its path, and the file as it
// was when the engine read it whole.
struct QueuedSource {
  Text path;
  FileIdentity read_as;
  QueuedSource* next = nullptr;
};

// A directory queued for removal at the close.
struct QueuedDirectory {
  Text path;
  QueuedDirectory* next = nullptr;
};

// One open cabinet. The engine gets its callbacks from the table of eleven
// operations below and passes the builder back as the user context of every
// callback that takes one.
class CabinetBuilder final {
 public:
  virtual PFNFCIOPEN open_callback();
  virtual PFNFCIREAD read_callback();
  virtual PFNFCIWRITE write_callback();
  virtual PFNFCICLOSE close_callback();
  virtual PFNFCISEEK seek_callback();
  virtual PFNFCIDELETE delete_callback();
  virtual PFNFCIGETTEMPFILE temp_file_callback();
  virtual PFNFCIFILEPLACED file_placed_callback();
  virtual PFNFCIGETNEXTCABINET next_cabinet_callback();
  virtual PFNFCISTATUS status_callback();
  virtual PFNFCIGETOPENINFO open_info_callback();

  // The registry's links (library_frame.h).
  uint32_t handle = 0;
  CabinetBuilder* next = nullptr;

  Chain<QueuedSource> delete_on_close;
  Chain<QueuedDirectory> remove_on_close;
  uint32_t expected_bytes = 0;
  uint32_t processed_bytes = 0;
  double progress_percent = 0.0;
  ProgressCallback progress_callback = nullptr;
  ERF error_record = {};
  // The cabinet description handed to the engine; the engine keeps a pointer
  // to it for the life of the context, so it lives with the builder.
  CCAB cabinet_description = {};

  // The cabinet's path as the engine forms it (szCabPath + szCab). While the
  // close flushes, the engine's request to create that file is answered with
  // a new temporary file in the same folder (temp_cabinet), and its request
  // to delete it deletes that temporary file; the close renames it onto the
  // path only when the whole cabinet was written.
  Text cabinet_path;
  bool flushing = false;
  Text temp_cabinet;
  INT_PTR cabinet_file = -1;         // the temporary file while the engine has it open
  bool cabinet_file_closed = false;  // the engine closed it and the system agreed

  // The source the engine has open during an add, as it was when opened, and
  // the bytes the engine has read from it.
  INT_PTR source_file = -1;
  FileIdentity source;
  uint64_t source_bytes_read = 0;

  // Set while an engine call on this builder runs (an add or the close's
  // flush): its progress callback may reach the builder again, and the
  // engine's context must then be neither destroyed nor entered again.
  bool in_engine_call = false;

  // What the builder holds: files, and the most bytes they can take in the
  // cabinet (the cabinet header included), so that an add the format cannot
  // hold is refused before the engine sees it.
  uint32_t file_count = 0;
  uint64_t worst_case_bytes = 0;
};

// The engine's memory callbacks, over the C heap; blocks come zero-filled.
void* DIAMONDAPI alloc_callback(ULONG size);
void DIAMONDAPI free_callback(void* block);

// The compressing engine's memory callbacks: new blocks come zero-filled, and
// freed blocks of 4 KiB or more are kept in a few slots for the next request
// of the same size. release_spare_blocks gives the kept ones to the heap.
void* DIAMONDAPI compressor_alloc(ULONG size);
void DIAMONDAPI compressor_free(void* block);
void release_spare_blocks();

// The name a file is stored under for name mode 0, 1 or 2 (see vornex.h): the
// tail of `path` it begins at. Mode 1 cuts base_folder and the separator
// behind it when the path begins with base_folder; otherwise, and without a
// base folder, it keeps the path.
const char* stored_name(const char* path, uint32_t name_mode, const char* base_folder);

// Logs the cause the engine recorded for a failed call: "Cabinet engine
// error N: meaning", with the error type the engine gave beside it.
void log_engine_error(const ERF& record);

// The open builder behind `handle`, or null (for the library's own code and
// its tests, under the library lock).
CabinetBuilder* find_builder(uint32_t handle);

// Opens a builder; the handle, or 0.
uint32_t open_builder(const char* cabinet_path, ProgressCallback progress_callback);

// Adds one file. base_folder (or null) is the folder that name mode 1 cuts off.
bool add_one_file(uint32_t handle, const char* file_path, bool delete_after, uint32_t name_mode,
                  const char* base_folder);

// Writes the cabinet under a temporary name and renames it onto its path,
// runs the queued deletions and releases the builder. False when the cabinet
// could not be written whole (the file at its path is then left as it was),
// and, closing nothing, for a builder inside an add or its own close (called
// from its progress callback); true for a handle that is not open.
bool close_builder(uint32_t handle);

// The builder's progress in percent; 0.0 for a handle that is not open.
double builder_progress(uint32_t handle);

// Adds the low 32 bits of `bytes` to the builder's expected byte count (the
// folder operations' measuring). False for a handle that is not open.
bool add_expected_bytes(uint32_t handle, uint32_t bytes);

// Queues a directory for removal after the queued files are deleted. False
// when no memory was left to queue it (it then stays).
bool queue_directory_removal(uint32_t handle, const char* directory);

}  // namespace vornex

#endif  // VORNEX_CABINET_BUILDER_H
