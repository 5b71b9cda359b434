// The builder side: one CabinetBuilder per open cabinet, over the engine's
// FCI half. The exports in exports.cpp and the folder operations call these;
// each takes the library lock itself.
#ifndef VORNEX_CABINET_BUILDER_H
#define VORNEX_CABINET_BUILDER_H

#include <windows.h>
#include <fci.h>

#include <cstdint>
#include <list>
#include <string>

#include "file_identity.h"
#include "vornex.h"

namespace vornex {

// A source this large or larger is refused: a cabinet folder cannot hold it.
constexpr uint64_t kMaxSourceBytes = VORNEX_MAX_SOURCE_BYTES;

// The engine's name fields (cabinet name, cabinet directory, stored name)
// hold 255 characters and the terminator.
constexpr std::size_t kMaxEngineName = CB_MAX_CABINET_NAME - 1;

// A source queued for deletion at the close: its path, and the file as it
// was when the engine read it whole.
struct QueuedSource {
  std::string path;
  FileIdentity read_as;
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

  std::list<QueuedSource> delete_on_close;
  std::list<std::string> remove_on_close;
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
  std::string cabinet_path;
  bool flushing = false;
  std::string temp_cabinet;
  INT_PTR cabinet_file = -1;         // the temporary file while the engine has it open
  bool cabinet_file_closed = false;  // the engine closed it and the system agreed

  // The source the engine has open during an add, as it was when opened, and
  // the bytes the engine has read from it.
  INT_PTR source_file = -1;
  FileIdentity source;
  uint64_t source_bytes_read = 0;
};

// The engine's memory callbacks, over the C heap; blocks come zero-filled.
void* DIAMONDAPI alloc_callback(ULONG size);
void DIAMONDAPI free_callback(void* block);

// The name a file is stored under for name mode 0, 1 or 2 (see vornex.h).
// Mode 1 cuts base_folder and the separator behind it when the path begins
// with base_folder; otherwise, and without a base folder, it keeps the path.
std::string stored_name(const std::string& path, uint32_t name_mode, const char* base_folder);

// Opens a builder; the handle, or 0.
uint32_t open_builder(const char* cabinet_path, ProgressCallback progress_callback);

// Adds one file. base_folder (or null) is the folder that name mode 1 cuts off.
bool add_one_file(uint32_t handle, const char* file_path, bool delete_after, uint32_t name_mode,
                  const char* base_folder);

// Writes the cabinet under a temporary name and renames it onto its path,
// runs the queued deletions and releases the builder. False when the cabinet
// could not be written whole (the file at its path is then left as it was);
// true for a handle that is not open.
bool close_builder(uint32_t handle);

// The builder's progress in percent; 0.0 for a handle that is not open.
double builder_progress(uint32_t handle);

// Adds the low 32 bits of `bytes` to the builder's expected byte count (the
// folder operations' measuring). False for a handle that is not open.
bool add_expected_bytes(uint32_t handle, uint32_t bytes);

// Queues a directory for removal after the queued files are deleted.
void queue_directory_removal(uint32_t handle, const char* directory);

}  // namespace vornex

#endif  // VORNEX_CABINET_BUILDER_H
