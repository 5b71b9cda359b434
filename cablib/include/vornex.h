// vornex.dll: the cabinet library's whole exported interface.
//
// Sixteen functions that build and read Microsoft Cabinet (CAB) files through
// the operating system's cabinet engine, cabinet.dll, which the library loads
// by name when it is itself loaded. All sixteen use the stdcall convention and
// are exported under decorated names only: `_vornex_init_cab@4` and so on,
// where the number is four times the number of arguments. A program imports
// them through the import library libvornex.a built with this library, which
// maps the plain declarations below onto those names.
//
// Common rules
// - Engine absent: when cabinet.dll could not be loaded, the library still
//   loads, and every export returns its failure value (0, false or 0.0) at
//   once without touching the disk, the handles or the error log.
// - Strings are narrow (ANSI), NUL-terminated, owned by the caller and read
//   only during the call. Only the backslash counts as a path separator.
// - Byte flags: results are one byte, nonzero for true. Flag arguments count
//   by their low byte only; `name_mode` by its low 16 bits only.
// - Handles: an opening export returns a nonzero 32-bit handle (0 = failure);
//   the library owns the object behind it until the matching close. Builder
//   and reader handles are separate kinds. A handle is the engine's context
//   value, and the engine may give the value of a closed context out again
//   to a later opening export. So a handle that was never returned gets the
//   failure result and touches nothing, and so does a closed one until its
//   value is handed out again; from then on it names the new builder or
//   reader, and a call with it acts on that object (the library cannot tell
//   the two callers apart). Use a handle only between its opening export and
//   its close.
// - Threads: the library starts no thread. Every export runs under one
//   re-entrant library lock, so calls from several threads run one at a time;
//   callbacks (the engine's and the caller's progress callback) run on the
//   calling thread with the lock held and may call back into the library.
// - Nothing the library allocates is handed out to be freed by the caller.
// - Memory: when memory runs out, an export returns its failure value (0,
//   false or 0.0) with what its own description says of a failure (an add
//   that fails leaves the builder usable with all it held).
// - Error log: failures on the building side append a line
//   "DD.MM.YYYY hh:mm:ss message" to "_caberrors.log" in the current directory.
//   A builder call the engine fails logs the cause the engine recorded:
//   "Cabinet engine error N: meaning" (N is FCI's error code, 0 when it
//   recorded none), with " (type T)" when it gave an error type. The reading
//   side writes no log.
#ifndef VORNEX_H
#define VORNEX_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// How a file's path becomes its name in the cabinet (a NameMode's value).
// Other values are refused: nothing is added and the add returns false.
enum VornexNameMode {
  // The path unchanged, drive and directories included.
  VORNEX_NAME_WHOLE_PATH = 0,
  // Relative to the folder being added (folder operations only; a single
  // file added with vornex_add_file keeps its whole path).
  VORNEX_NAME_RELATIVE = 1,
  // The bare file name (the text behind the last backslash).
  VORNEX_NAME_BARE = 2
};
typedef uint32_t NameMode;

// A source of this size or more is refused by every add; a source a little
// smaller (within about 2.6 MB of it) is refused too, since the cabinet could
// not hold it were its data incompressible (see vornex_add_file).
#define VORNEX_MAX_SOURCE_BYTES 0x7FFF8000u

// Progress in percent (0.0 to 99.0 while working, exactly one call with
// 100.0 at the close). stdcall, like the exports.
typedef void(__stdcall* ProgressCallback)(double percent);

// ---------------------------------------------------------------- builder --

// Opens a builder for the cabinet file at cabinet_path. The directories along
// the path are created now; the cabinet itself is written only by the close,
// under a temporary name "vx" + four hex digits + ".tmp" in the same folder
// (so the folder's path must leave room for that name).
// A path without a backslash puts the cabinet in the current directory.
// Returns the builder handle, or 0 when cabinet_path is null, its file name or
// directory part is longer than 255 characters, or the engine refused.
uint32_t __stdcall vornex_init_cab(const char* cabinet_path);

// Has the engine write the cabinet under a temporary name in its folder and,
// once it is written whole, renames it onto cabinet_path, replacing the file
// there. Then deletes the sources queued with delete_after, each only when the
// file at its path is still the one the engine read in full (same file by
// volume and file index, same size and last write) and is not the new
// cabinet: so every deleted source's bytes are in the cabinet, and an older
// file at the cabinet's own path (named as a source, or met by a folder walk)
// is packed and then replaced, never deleted. Then removes queued directories
// (those still holding anything, such as the cabinet, stay) and releases the
// builder.
// Returns true when the cabinet was written; false when it could not be (a
// full disk, an unwritable path, an engine failure): the temporary file is
// removed, the file at cabinet_path stays as it was and no source is deleted.
// A handle that is not open: nothing happens, returns true. Called from a
// progress callback for the builder that is inside an add or its own close
// (its handle, or a closed handle whose value that builder was given):
// returns false and closes nothing; the builder goes on.
uint8_t __stdcall vornex_close_cab(uint32_t handle);

// Adds one file, compressed with MSZIP, stored under the name that name_mode
// gives (mode 1 stores the whole path here). The stored time is the file's
// last write in local time (DOS resolution); the stored attributes are its
// read-only, hidden, system and archive bits. delete_after queues the source
// for deletion once the cabinet is written.
// Returns false, with nothing queued, when: the handle is not open; file_path
// is null; name_mode is not 0, 1 or 2; the file cannot be opened for reading
// shared with readers only (logged as "Cant open file - <path>"); the file is
// VORNEX_MAX_SOURCE_BYTES or larger (a cabinet cannot hold it); the stored name would
// be longer than 255 characters; the cabinet cannot hold it (logged as
// "Cabinet format limit - <path>"); the builder is inside an add or its close
// (a call from its progress callback); or the engine refused it. The
// cabinet cannot hold a file when the builder holds 0xFFFF files already, or
// when the cabinet could grow past 0x7FFFFFFF bytes were every source stored
// as MSZIP stores data it cannot compress: each file counts its size, its
// stored name's length, 25 bytes, and 40 bytes for each whole 32 KiB in it
// and 40 more; the cabinet's header counts 36. Such an add is refused
// before the engine reads the file, and the builder stays usable with all
// it holds.
uint8_t __stdcall vornex_add_file(uint32_t handle, const char* file_path,
                                  uint32_t delete_after, NameMode name_mode);

// The builder's progress in percent. Only builders of the one-step operations
// measure their sources, so a builder from vornex_init_cab reads 0.0.
// 0.0 for a handle that is not open (also after the close).
double __stdcall vornex_cab_progress(uint32_t handle);

// Adds every file of folder_path (and of its subdirectories when recurse is
// set) in the order the directory listing gives. With name_mode 1 the stored
// names are relative to folder_path. delete_after also queues each visited
// directory for removal, deepest first. A folder that cannot be listed adds
// nothing and counts as success. After the first failed add nothing more is
// added and the result is false.
uint8_t __stdcall vornex_add_folder(uint32_t handle, const char* folder_path,
                                    uint32_t recurse, uint32_t delete_after,
                                    NameMode name_mode);

// One-step builds: open a builder on cabinet_path, measure the sources (for the
// progress percentage), add them, close. file_list and folder_list are path
// lists: NUL-terminated paths one after another, ended by an empty string.
// progress_callback may be null. The result is false when the builder cannot
// be opened, a source cannot be measured or added, or the cabinet could not be
// written; the close (and so a cabinet with what was added so far) happens in
// every case once the builder is open. A null list returns false for the
// files and folders variants; the mixed variant treats null as empty.
uint8_t __stdcall vornex_add_files_one_step(const char* file_list, const char* cabinet_path,
                                            uint32_t delete_after,
                                            ProgressCallback progress_callback,
                                            NameMode name_mode);
uint8_t __stdcall vornex_add_folders_one_step(const char* folder_list, const char* cabinet_path,
                                              uint32_t recurse, uint32_t delete_after,
                                              ProgressCallback progress_callback,
                                              NameMode name_mode);
uint8_t __stdcall vornex_add_mix_one_step(const char* folder_list, const char* file_list,
                                          const char* cabinet_path, uint32_t recurse,
                                          uint32_t delete_after,
                                          ProgressCallback progress_callback,
                                          NameMode name_mode);

// ----------------------------------------------------------------- reader --

// Opens a cabinet for reading and lists it once (the listing is kept; later
// count and name queries do not read the file again). Returns the reader
// handle, or 0 when cabinet_path is null, the file cannot be opened or is not
// a cabinet, or its header declares files but no folder (which the system's
// engine cannot be given safely). A listing the engine breaks off keeps the
// names listed so far.
uint32_t __stdcall vornex_init_uncab(const char* cabinet_path);

// Releases the reader. Returns true; false for a handle that is not open.
uint8_t __stdcall vornex_close_uncab(uint32_t handle);

// Number of files in the listing; 0 for a handle that is not open.
int32_t __stdcall vornex_file_count(uint32_t handle);

// Copies the stored name of file number `index` (from 0, listing order) with
// its terminator into name_buffer, which must hold 256 bytes: a stored name
// is at most 255 characters, and a longer one (which the format does not
// allow) is copied cut to 255. An index out of range or a null buffer leaves
// the buffer as it was. Returns true for an open handle, false (buffer
// untouched) for one that is not open.
uint8_t __stdcall vornex_file_name_by_no(uint32_t handle, char* name_buffer, int32_t index);

// Every extraction writes each output file under a temporary name in the
// output's folder and renames it onto its path (replacing a file there) only
// once every byte the cabinet declares for it is written. An output that
// cannot be written whole (a full disk, a damaged cabinet) is removed, the
// extraction stops at the next file and returns false; files finished before
// stay. A cabinet with a data block that does not match its checksum is not
// expanded at all: the extraction returns false and writes nothing.
//
// Extracts the files whose stored name equals stored_name exactly (whole name
// with its directories, case-sensitive) to that stored name, relative to the
// current directory. A name not in the cabinet writes nothing and returns
// true. Returns false when the handle is not open, stored_name is null or 256
// characters or longer, or an output file cannot be created or written.
uint8_t __stdcall vornex_uncab_by_name(uint32_t handle, const char* stored_name);

// As vornex_uncab_by_name, but writes to dest_dir + "\" + the bare file name
// (the stored name's directories are dropped), creating dest_dir's levels.
// In both "_ex" forms an output path whose full path, as GetFullPathNameA
// normalises it, does not lie inside dest_dir's full path (it climbs out with
// "..", names a device such as CON, or a stream after a colon) is not
// written; the other files still are, and the result is false. An empty
// dest_dir means no destination: stored names keep the meaning of the plain
// forms.
uint8_t __stdcall vornex_uncab_by_name_ex(uint32_t handle, const char* stored_name,
                                          const char* dest_dir);

// Extracts every file under its stored name, relative to the current
// directory (a stored name with a drive is used as it stands). Directories are
// created for every level after the first backslash, so a name with a single
// directory level (sub\b.txt) needs that directory to exist.
// Returns true when the engine's pass completed; false when the handle is not
// open or an output file cannot be created or written.
uint8_t __stdcall vornex_uncab_all(uint32_t handle);

// As vornex_uncab_all, but into dest_dir + "\" + the stored name with any drive
// prefix (the text up to its first colon) removed; directories kept.
uint8_t __stdcall vornex_uncab_all_ex(uint32_t handle, const char* dest_dir);

#ifdef __cplusplus
}
#endif

#endif  // VORNEX_H
