#include "split_engine.h"

#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "checksum_file.h"
#include "recovery_volumes.h"
#include "compression.h"
#include "crc32_fast.h"
#include "set_library.h"
#include "source_guard.h"
#include "crc32.h"
#include "set_integrity.h"
#include "split_set_format.h"
#include "file_identity.h"
#include "path_levels.h"
#include "unique_handle.h"

namespace velmora {

using winsup::UniqueFile;

using splitset::ChunkRecord;
using splitset::SplitHeader;
using splitset::kBlockSize;
using splitset::Crc32Table;

namespace {

char g_image_source[splitset::kPathCapacity] = "";  // empty: the own executable

UniqueFile open_for_reading(const char* path) {
  return UniqueFile(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}
// A piece is shared for reading only while this split holds it: a piece
// that another running split holds cannot be created (the system refuses
// before it truncates anything), and none of ours can be taken over. DELETE
// lets a split that cannot finish remove it through its own handle.
UniqueFile create_piece(const char* path) {
  return UniqueFile(CreateFileA(path, GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}
UniqueFile open_piece_for_update(const char* path) {
  return UniqueFile(CreateFileA(path, GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_READ,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

// Marks the open file for deletion at its last close.
void delete_through(HANDLE file) {
  FILE_DISPOSITION_INFO disposition{TRUE};
  SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition);
}

// The pieces this split has written and closed, so that a split that cannot
// finish removes what it wrote and nothing else: a name that now belongs to
// another file (another disk in the drive, a file put there since) is left.
class PieceLedger {
 public:
  // Records `piece`, written in full and about to be closed, under `path`.
  // `one_volume`: every piece goes to one folder on one disk (no disk is
  // changed), so the first recorded piece's volume is every piece's.
  void add(const char* path, HANDLE piece, bool one_volume) {
    const winsup::FileIdentity id = one_volume && !pieces_.empty()
                                        ? winsup::identity_on_volume(piece, pieces_.front().second.volume)
                                        : winsup::identity_of(piece);
    if (id.known) pieces_.push_back({path, id});
  }
  void remove_reachable() const {
    for (const auto& [path, id] : pieces_) {
      UniqueFile file(CreateFileA(path.c_str(), DELETE | FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
      if (file && winsup::identity_of(file.get()).same_file_and_size(id)) delete_through(file.get());
    }
  }

 private:
  std::vector<std::pair<std::string, winsup::FileIdentity>> pieces_;
};

bool seek_to(HANDLE file, uint32_t offset) {
  // Offsets stay below 2 GiB, so the low half alone names them.
  return SetFilePointer(file, static_cast<LONG>(offset), nullptr, FILE_BEGIN) ==
         static_cast<DWORD>(offset);
}

bool write_at(HANDLE file, uint32_t offset, const void* data, DWORD length) {
  DWORD written = 0;
  return seek_to(file, offset) && WriteFile(file, data, length, &written, nullptr) &&
         written == length;
}

bool read_at(HANDLE file, uint32_t offset, void* data, DWORD length) {
  DWORD got = 0;
  return seek_to(file, offset) && ReadFile(file, data, length, &got, nullptr) && got == length;
}

// Ends a piece whose block loop was cut by a break: the blocks written so far
// are all whole, so the record says so (or holds no data at all).
void end_piece_after_break(ChunkRecord& chunk) {
  chunk.last_block_size = chunk.block_count > 0 ? static_cast<int32_t>(kBlockSize) : 0;
}

// One piece's data area as it is written: its record, and the CRC-32 and
// length of the bytes it holds, computed in the copy buffer on their way.
struct DataArea {
  ChunkRecord chunk{0, 0, 0};
  uint32_t crc = 0;
  uint32_t length = 0;
};

// The copy of one split: the payload, the copy buffer, the position in the
// payload, and the hooks that hear of every block and are asked for a break.
struct Copier {
  HANDLE payload;
  char* buffer;
  uint32_t payload_size;
  SplitHooks& hooks;
  uint32_t source_offset = 0;
  SplitProgress progress{};
  // Where the hashes of the recovery volumes ride along (null: nowhere),
  // and the PAR2 file the blocks belong to.
  RecoveryWriter* recovery = nullptr;
  uint32_t file = 0;

  // Copies one block into the piece and adds it to the area's CRC.
  int copy(HANDLE piece, uint32_t piece_offset, uint32_t length, DataArea& area) {
    switch (copy_block(payload, piece, buffer, source_offset, piece_offset, length)) {
      case BlockCopy::kCopied: break;
      case BlockCopy::kReadShort: return kPayloadUnreadable;
      case BlockCopy::kWriteFailed: return kPieceFailed;
    }
    area.crc = crc32_fast(area.crc, buffer, length);
    if (recovery) recovery->feed(file, buffer, length);
    area.length += length;
    source_offset += length;
    progress.payload_written = source_offset;
    ++progress.blocks;
    hooks.progress(progress);
    return kSplitDone;
  }

  // Fills one piece's data area, from `piece_offset` up to `section` bytes,
  // with whole blocks and then one short last block, and describes it in
  // `area`. The payload's final block, even a whole one, is always the last
  // step. Break is asked before each whole block; after a break the piece
  // ends at its last whole block. Returns kSplitDone, or the result of a
  // failed copy.
  int fill_data_area(HANDLE piece, uint32_t section, uint32_t piece_offset, DataArea& area,
                     bool& broken) {
    ChunkRecord& chunk = area.chunk;
    while (piece_offset + kBlockSize <= section && source_offset + kBlockSize < payload_size) {
      if (hooks.break_requested()) {
        broken = true;
        end_piece_after_break(chunk);
        return kSplitDone;
      }
      if (int failed = copy(piece, piece_offset, kBlockSize, area)) return failed;
      piece_offset += kBlockSize;
      ++chunk.block_count;
    }
    if (piece_offset < section) {
      uint32_t length = section - piece_offset;
      if (payload_size - source_offset < length) length = payload_size - source_offset;
      if (int failed = copy(piece, piece_offset, length, area)) return failed;
      chunk.last_block_size = static_cast<int32_t>(length);
      ++chunk.block_count;
    } else {
      chunk.last_block_size = static_cast<int32_t>(kBlockSize);
    }
    return kSplitDone;
  }
};

// The CRC-32 of a whole piece file: its head (`head`, `head_length` bytes,
// written last or first) followed by its data area.
uint32_t piece_crc(const void* head, uint32_t head_length, const DataArea& area) {
  uint32_t crc = crc32_fast(0, head, head_length);
  return splitset::crc32_combine(crc, area.crc, area.length);
}

// Where the joiner image comes from: the seam's path or the own executable.
bool joiner_image_path(char* out, DWORD capacity) {
  if (g_image_source[0] != '\0') {
    std::strcpy(out, g_image_source);
    return true;
  }
  DWORD length = GetModuleFileNameA(nullptr, out, capacity);
  return length != 0 && length < capacity;
}

// Last: the joiner image and the SplitHeader go to the head of the first
// piece, which makes it runnable.
// `head` receives the head and the ChunkRecord `chunk` behind it, the first
// 6940 bytes of the finished piece, and `head_crc` their CRC-32.
SplitResult finish_first_piece(HANDLE piece, const SplitHeader& header, const ChunkRecord& chunk,
                       std::vector<char>& head, uint32_t& head_crc) {
  char module[splitset::kPathCapacity];
  if (!joiner_image_path(module, sizeof module)) return kFirstPieceReopen;
  UniqueFile own = open_for_reading(module);
  if (!own) return kFirstPieceReopen;
  std::unique_ptr<char[]> image(new (std::nothrow) char[splitset::kJoinerImageSize]);
  if (!image) return kNoMemory;
  if (!read_at(own.get(), splitset::kJoinerImageOffset, image.get(), splitset::kJoinerImageSize))
    return kFirstPieceReopen;
  own.reset();
  if (!write_at(piece, 0, image.get(), splitset::kJoinerImageSize) ||
      !write_at(piece, splitset::kHeaderOffset, &header, sizeof header)) {
    return kPieceFailed;
  }
  head.assign(image.get(), image.get() + splitset::kJoinerImageSize);
  head.insert(head.end(), reinterpret_cast<const char*>(&header),
              reinterpret_cast<const char*>(&header) + sizeof header);
  head.insert(head.end(), reinterpret_cast<const char*>(&chunk),
              reinterpret_cast<const char*>(&chunk) + sizeof chunk);
  head_crc = crc32_fast(0, head.data(), static_cast<uint32_t>(head.size()));
  return kSplitDone;
}

// Whether `piece` is the first piece whose data area `area` describes: its
// length and the CRC of its data area, read back through `buffer`.
bool is_first_piece_of(HANDLE piece, const DataArea& area, char* buffer) {
  DWORD size_high = 0;
  if (GetFileSize(piece, &size_high) != splitset::kFirstDataOffset + area.length || size_high)
    return false;
  uint32_t crc = 0;
  for (uint32_t at = 0; at < area.length; at += kBlockSize) {
    const uint32_t length = area.length - at < kBlockSize ? area.length - at : kBlockSize;
    if (!read_at(piece, splitset::kFirstDataOffset + at, buffer, length)) return false;
    crc = crc32_fast(crc, buffer, length);
  }
  return crc == area.crc;
}

// With automatic size the first disk has been out of the drive: the user is
// asked for it, and the file under the first piece's name is taken back
// only when it is the piece this split wrote; any other disk (an older set
// of the same name on it, say) gets the question again. kDiskDeclined when
// the user gives up (the hook's No, or a break).
SplitResult reclaim_first_piece(const char* path, const DataArea& area, char* buffer, SplitHooks& hooks,
                        UniqueFile& first) {
  for (;;) {
    if (!hooks.ask_for_disk(DiskRequest::kFirstDiskAgain)) return kDiskDeclined;
    first = open_piece_for_update(path);
    if (first && is_first_piece_of(first.get(), area, buffer)) return kSplitDone;
    first.reset();
    if (hooks.break_requested()) return kDiskDeclined;
  }
}

// The library beside the first piece at `first_piece_path` (set_library.h),
// unless the job leaves it out; it goes first, so that with automatic size
// the first piece takes only the room it leaves on the first disk.
SplitResult place_library(const SplitJob& job, const char* first_piece_path, bool autodetect,
                          int32_t& section_size, SetLibrary& library) {
  if (job.no_library) return kSplitDone;
  char own[splitset::kPathCapacity];
  if (!joiner_image_path(own, sizeof own)) return kFirstPieceReopen;
  if (SplitResult placed = library.place(folder_of(first_piece_path), own)) return placed;
  if (!autodetect) return kSplitDone;
  const uint32_t left = free_space_of(folder_of(first_piece_path).c_str());
  if (left < static_cast<uint32_t>(section_size)) section_size = static_cast<int32_t>(left);
  return section_size <= splitset::kMinSectionSize ? kSectionTooSmall : kSplitDone;
}

}  // namespace

void set_joiner_image_source(const char* executable_path) {
  g_image_source[0] = '\0';
  if (executable_path && std::strlen(executable_path) < sizeof g_image_source)
    std::strcpy(g_image_source, executable_path);
}

bool full_path(const char* path, std::string& out) {
  char full[splitset::kPathCapacity];
  char* file_part = nullptr;
  if (path[0] == '\0') {
    SetLastError(ERROR_INVALID_NAME);
    return false;
  }
  const DWORD length = GetFullPathNameA(path, sizeof full, full, &file_part);
  if (length >= sizeof full) SetLastError(ERROR_FILENAME_EXCED_RANGE);
  if (length == 0 || length >= sizeof full) return false;
  out.assign(full, length);
  return true;
}

uint32_t free_space_of(const char* path) {
  std::string folder = path;
  for (;;) {
    std::string query = folder;
    if (!query.empty() && query.back() != '\\') query += '\\';
    ULARGE_INTEGER available;
    if (GetDiskFreeSpaceExA(query.empty() ? nullptr : query.c_str(), &available, nullptr,
                            nullptr)) {
      // A section size is a signed 32-bit number: larger figures are capped.
      return available.QuadPart > 0x7FFFFFFFu ? 0x7FFFFFFFu
                                              : static_cast<uint32_t>(available.QuadPart);
    }
    // A folder that is not there yet is measured by its nearest existing
    // parent, which holds it once it is created; one that is there but
    // cannot be measured is not guessed at.
    if (folder.empty() || GetFileAttributesA(folder.c_str()) != INVALID_FILE_ATTRIBUTES) return 0;
    while (!folder.empty() && folder.back() == '\\') folder.pop_back();
    size_t last = folder.find_last_of('\\');
    if (last == std::string::npos) return 0;
    folder.erase(last);
    if (folder.empty()) return 0;
  }
}

std::string effective_target(const char* source, const char* target_directory) {
  std::string folder;
  if (target_directory[0] == '\0') {
    folder = folder_of(source);
  } else if (!full_path(target_directory, folder)) {
    return "";
  }
  // The base path adds its own backslash: a root folder goes without one.
  while (!folder.empty() && folder.back() == '\\') folder.pop_back();
  return folder;
}

uint32_t wait_for_space(uint32_t minimum, const char* path, SplitHooks& hooks) {
  for (;;) {
    uint32_t free_bytes = free_space_of(path);
    if (free_bytes > minimum) return free_bytes;
    if (!hooks.ask_for_disk(DiskRequest::kAnotherDisk)) return 0;
  }
}

BlockCopy copy_block(HANDLE payload, HANDLE piece, char* buffer, uint32_t source_offset,
                     uint32_t piece_offset, uint32_t length) {
  // A short write followed by success is how a full disk first shows itself,
  // and a short read how a source that shrank does: every count is checked,
  // not just the call's result.
  if (!read_at(payload, source_offset, buffer, length)) return BlockCopy::kReadShort;
  if (!write_at(piece, piece_offset, buffer, length)) return BlockCopy::kWriteFailed;
  return BlockCopy::kCopied;
}

namespace {

// One split as it passes from stage to stage. The members are released in
// the reverse of their order here: the pieces before the payload, the
// temporary cabinet last.
struct SplitRun {
  SplitRun(SplitJob& job, SplitHooks& hooks) : job(job), hooks(hooks) {}

  SplitJob& job;
  SplitHooks& hooks;
  bool compress = false;
  bool autodetect = false;
  int32_t section_size = 0;
  // The job resolved: full paths, the source as it is now, the header's
  // name, and the first piece's path (then each piece's in turn).
  std::string source;
  std::string target;
  WIN32_FILE_ATTRIBUTE_DATA source_info{};
  bool source_known = false;
  SplitHeader header{};
  char path[splitset::kPathCapacity] = "";
  // The payload: the source, or the temporary cabinet of a compressed split.
  TempCabinet cabinet;
  std::string payload_path;
  UniqueFile payload;
  uint32_t payload_size = 0;
  SetLibrary library;
  std::vector<ExtraSource> extras;
  uint32_t reserve = 0;  // the first disk's room for the recovery files
  std::unique_ptr<char[]> buffer;
  // What was written: the first piece, held to the end, and the ledger of
  // the pieces closed since.
  UniqueFile first;
  PieceLedger ledger;
  UniqueFile piece;
  std::unique_ptr<RecoveryWriter> recovery;
  std::vector<PieceBytes> layout;
  DataArea first_area;
  bool broken = false;
  uint32_t written = 0;      // payload bytes the set carries
  uint32_t payload_crc = 0;  // their CRC, from the data areas' CRCs
  std::vector<uint32_t> piece_crcs;

  // A read of the payload came up short: the pieces this split wrote go,
  // those still open through their handles, closed ones through the ledger.
  SplitResult source_fell_short() {
    if (first) delete_through(first.get());
    if (piece) delete_through(piece.get());
    ledger.remove_reachable();
    return kPayloadUnreadable;
  }
};

// The job in its full form, checked before anything is written: every path
// full ('/' and ".." mean what they mean to the system, a relative target
// lies below the current directory, and the header always stores a bare
// name; an empty target is the source's folder), a source below 2 GiB (a
// section size and every offset of the set are 32-bit numbers), the set's
// names none of which may be the source, and with automatic size the first
// piece's room on the disk in the drive.
SplitResult resolve_job(SplitRun& run) {
  SplitJob& job = run.job;
  run.compress = job.compress != 0;
  run.autodetect = job.autodetect != 0;
  run.section_size = job.section_size;
  if (!full_path(job.source_path, run.source) || *splitset::bare_file_name(run.source.c_str()) == '\0')
    return kPayloadUnreadable;
  run.target = effective_target(run.source.c_str(), job.target_directory);
  if (run.target.empty()) return kPieceFailed;
  if (!run.autodetect && run.section_size <= splitset::kMinSectionSize) return kSectionTooSmall;

  run.source_known = GetFileAttributesExA(run.source.c_str(), GetFileExInfoStandard, &run.source_info) != 0 &&
                     !(run.source_info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
  if (run.source_known && (run.source_info.nFileSizeHigh != 0 || run.source_info.nFileSizeLow > 0x7FFFFFFFu))
    return kSourceTooLarge;

  // The header names the user's file, also when a cabinet is split.
  const char* bare_name = splitset::bare_file_name(run.source.c_str());
  std::memcpy(run.header.file_name, bare_name, strnlen(bare_name, sizeof run.header.file_name - 1));

  // The first piece's name, and every name of the set with it. The count of
  // later pieces is known only for a plain split of a fixed size.
  const std::string base = run.target + "\\" + run.header.file_name;
  if (base.size() >= sizeof run.path) return kPieceFailed;
  std::strcpy(run.path, base.c_str());
  if (!splitset::apply_piece_suffix(run.path, sizeof run.path, splitset::kFirstPieceSuffix)) return kPieceFailed;
  int64_t later_pieces = splitset::kUnknownPieceCount;
  if (run.source_known && !run.compress && !run.autodetect)
    later_pieces = splitset::later_piece_count(run.source_info.nFileSizeLow, run.section_size);
  if (split_would_overwrite_source(run.source.c_str(), run.path, later_pieces)) return kSourceInSet;

  if (run.autodetect) {
    const uint32_t free_bytes =
        wait_for_space(static_cast<uint32_t>(splitset::kMinSectionSize), run.target.c_str(), run.hooks);
    if (free_bytes == 0) return kDiskDeclined;
    run.section_size = static_cast<int32_t>(free_bytes);
  }
  return run.section_size <= splitset::kMinSectionSize ? kSectionTooSmall : kSplitDone;
}

// The compression stage: the source into a temporary cabinet, which is the
// payload from here on (job.source_path names it) and goes on every way out.
SplitResult compress_source(SplitRun& run) {
  run.payload_path = run.source;
  if (!run.compress) return kSplitDone;
  run.hooks.progress(SplitProgress{});
  if (!run.cabinet.reserve(run.source.c_str())) return kCompressionFailed;
  if (compress_to_cabinet(run.source.c_str(), run.cabinet.path()) != kSplitDone) return kCompressionFailed;
  run.payload_path = run.cabinet.path();
  std::strcpy(run.job.source_path, run.cabinet.path());
  return kSplitDone;
}

// The payload opened and measured, the library placed beside the first
// piece, the first disk's reserve for the recovery files, the copy buffer.
SplitResult prepare_payload(SplitRun& run) {
  run.payload = open_for_reading(run.payload_path.c_str());
  if (!run.payload) return kPayloadUnreadable;
  DWORD size_high = 0;
  const DWORD size_low = GetFileSize(run.payload.get(), &size_high);
  if (size_low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return kPayloadUnreadable;
  // A size with a high half, or past 2 GiB, is not what the source was a
  // moment ago (or the cabinet outgrew it): the low half would misstate it.
  if (size_high != 0 || size_low > 0x7FFFFFFFu) return kSourceTooLarge;
  // A payload that fits one section makes no set: nothing is written.
  if (static_cast<int32_t>(size_low) <= run.section_size) return kPayloadTooSmall;
  // The library goes first: with automatic size the first piece takes only
  // the room it leaves. Its bytes, as written or found, join the PAR2 set.
  winsup::create_parent_levels(run.path);
  if (SplitResult placed = place_library(run.job, run.path, run.autodetect, run.section_size, run.library))
    return placed;
  if (!run.library.bytes().empty()) run.extras.push_back({run.library.name(), run.library.bytes()});
  // With automatic size and recovery volumes the first piece also leaves
  // room for the PAR2 index, the checksum file and the critical packets: a
  // volume holds one slice (the largest file: the first piece, a later one
  // no larger, or the library) and the critical packets, and so fits a disk
  // as large as the first, which holds the first piece and the library.
  if (run.autodetect && run.job.recovery > 0) {
    const uint32_t estimate = size_low / static_cast<uint32_t>(run.section_size) + 2;
    run.reserve = recovery_reserve(estimate + static_cast<uint32_t>(run.extras.size()),
                                   std::strlen(splitset::bare_file_name(run.path)));
    if (static_cast<uint32_t>(run.section_size) <= run.reserve ||
        run.section_size - static_cast<int32_t>(run.reserve) <= splitset::kMinSectionSize)
      return kSectionTooSmall;
    run.section_size -= static_cast<int32_t>(run.reserve);
  }
  if (static_cast<int32_t>(size_low) <= run.section_size) return kPayloadTooSmall;
  run.payload_size = size_low;
  run.buffer.reset(new (std::nothrow) char[splitset::kCopyBufferSize]);
  return run.buffer ? kSplitDone : kNoMemory;
}

// The pieces: the first one's data area and ChunkRecord (its head comes at
// the end), then the later pieces one at a time, each record fed to the
// recovery volumes as the block rule predicts it before its data.
SplitResult write_pieces(SplitRun& run) {
  SplitJob& job = run.job;
  SplitHooks& hooks = run.hooks;
  run.header.payload_size = run.payload_size;
  run.header.piece_count = 1;
  run.header.compressed = run.compress ? 1 : 0;
  run.first = create_piece(run.path);
  if (!run.first) return kPieceFailed;
  // The head's room is taken now, though it is written last: left as a
  // hole, a file system with sparse files would count it as free space for
  // the next piece, and the head would not fit at the end.
  char* buffer = run.buffer.get();
  std::memset(buffer, 0, splitset::kCopyBufferSize);
  for (uint32_t at = 0; at < splitset::kFirstChunkOffset; at += splitset::kCopyBufferSize) {
    const DWORD length = splitset::kFirstChunkOffset - at < splitset::kCopyBufferSize
                             ? splitset::kFirstChunkOffset - at
                             : splitset::kCopyBufferSize;
    if (!write_at(run.first.get(), at, buffer, length)) return kPieceFailed;
  }

  const uint32_t section = static_cast<uint32_t>(run.section_size);
  Copier copier{run.payload.get(), buffer, run.payload_size, hooks};
  copier.progress.stage = SplitProgress::Stage::kWriting;
  copier.progress.payload_size = run.payload_size;
  hooks.progress(copier.progress);
  // With a fixed size the pieces are known now, and the later pieces'
  // hashes ride along with the copy.
  run.recovery.reset(new RecoveryWriter(run.payload.get(), hooks));
  RecoveryWriter& recovery = *run.recovery;
  run.layout.resize(1);
  if (job.recovery > 0 && !run.autodetect) {
    const uint32_t pieces = 1 + static_cast<uint32_t>(splitset::later_piece_count(run.payload_size, run.section_size));
    if (recovery.ride_along(run.path, pieces, recovery_volume_count(job, pieces), run.extras))
      copier.recovery = &recovery;
  }
  // The first piece's head is final only at the end: its bytes are fed then.
  RecoveryWriter* riding = copier.recovery;
  copier.recovery = nullptr;
  int filled = copier.fill_data_area(run.first.get(), section, splitset::kFirstDataOffset, run.first_area,
                                     run.broken);
  copier.recovery = riding;
  run.layout[0].length = run.first_area.length;
  run.written = copier.source_offset;
  if (filled == kPayloadUnreadable) return run.source_fell_short();
  if (filled != kSplitDone) return static_cast<SplitResult>(filled);
  if (!write_at(run.first.get(), splitset::kFirstChunkOffset, &run.first_area.chunk, sizeof run.first_area.chunk))
    return kPieceFailed;
  // A disk that leaves the drive takes no open file with it: with automatic
  // size the first piece is closed until its disk comes back.
  if (run.autodetect) {
    run.ledger.add(run.path, run.first.get(), !run.autodetect);
    run.first.reset();
  }
  // The payload's CRC follows the data areas; each whole piece file's CRC is
  // its head's combined with its area's. Nothing is read twice.
  run.payload_crc = run.first_area.crc;
  run.piece_crcs.assign(1, 0);  // the first piece's comes at the end

  uint32_t later_section = section;
  for (uint32_t number = 0; !run.broken && copier.source_offset < run.payload_size; ++number) {
    if (hooks.break_requested()) break;
    char suffix[splitset::kPieceNumberCapacity];
    splitset::format_piece_number(suffix, number);
    if (!splitset::apply_piece_suffix(run.path, sizeof run.path, suffix)) return kPieceFailed;
    if (run.autodetect) {
      // The disk after the first piece's is the first disk itself until it
      // is changed: its reserve stays free.
      const uint32_t keep = number == 0 ? run.reserve : 0;
      later_section = wait_for_space(splitset::kLaterPieceMinFree + keep, run.target.c_str(), hooks);
      if (later_section == 0) return kDiskDeclined;
      later_section -= keep;
      // A later piece no larger than the first, so that a volume holding
      // the largest fits a disk as large as the first.
      if (job.recovery > 0 && later_section > section) later_section = section;
      // The disk in the drive may be a new one: the target's levels on it.
      winsup::create_parent_levels(run.path);
    }
    run.piece = create_piece(run.path);
    if (!run.piece) return kPieceFailed;
    DataArea area;
    copier.progress.piece = number + 1;
    // The record goes first in the piece but is written last: the block
    // rule's record is fed first and checked against the written one.
    const uint32_t area_offset = copier.source_offset;
    const ChunkRecord predicted =
        predict_chunk(later_section, splitset::kLaterDataOffset, area_offset, run.payload_size);
    copier.file = number + 1;
    recovery.feed(copier.file, &predicted, sizeof predicted);
    filled = copier.fill_data_area(run.piece.get(), later_section, splitset::kLaterDataOffset, area, run.broken);
    run.written = copier.source_offset;
    if (filled == kPayloadUnreadable) return run.source_fell_short();
    if (filled != kSplitDone) return static_cast<SplitResult>(filled);
    if (!write_at(run.piece.get(), 0, &area.chunk, sizeof area.chunk)) return kPieceFailed;
    if (std::memcmp(&predicted, &area.chunk, sizeof predicted) != 0) recovery.drop_ride();
    PieceBytes bytes;
    bytes.head.assign(reinterpret_cast<const char*>(&area.chunk),
                      reinterpret_cast<const char*>(&area.chunk) + sizeof area.chunk);
    bytes.offset = area_offset;
    bytes.length = area.length;
    run.layout.push_back(std::move(bytes));
    run.ledger.add(run.path, run.piece.get(), !run.autodetect);
    run.piece.reset();
    ++run.header.piece_count;
    run.payload_crc = splitset::crc32_combine(run.payload_crc, area.crc, area.length);
    run.piece_crcs.push_back(piece_crc(&area.chunk, sizeof area.chunk, area));
  }
  return kSplitDone;
}

// The set sealed: the integrity record in the header's free bytes (what the
// set carries, less than payload_size after a break, and the source's
// last-write time; a source name too long to leave room gets none), the
// joiner image and the header at the head of the first piece, the checksum
// file, and the recovery volumes of a whole set, made while the payload is
// still there.
SplitResult seal_set(SplitRun& run) {
  SplitJob& job = run.job;
  splitset::IntegrityRecord record{};
  record.flags = run.written < run.payload_size ? splitset::kIntegrityCutShort : 0;
  record.payload_length = run.written;
  record.payload_crc = run.payload_crc;
  if (run.source_known) {
    record.write_time_low = run.source_info.ftLastWriteTime.dwLowDateTime;
    record.write_time_high = run.source_info.ftLastWriteTime.dwHighDateTime;
  }
  const bool has_record = splitset::put_integrity(splitset::shared_crc32_table(), run.header, record);

  if (!splitset::apply_piece_suffix(run.path, sizeof run.path, splitset::kFirstPieceSuffix)) return kPieceFailed;
  if (run.autodetect) {
    if (SplitResult reclaimed = reclaim_first_piece(run.path, run.first_area, run.buffer.get(), run.hooks, run.first))
      return reclaimed;
  }
  uint32_t head_crc = 0;
  if (SplitResult finished =
          finish_first_piece(run.first.get(), run.header, run.first_area.chunk, run.layout[0].head, head_crc))
    return finished;
  run.piece_crcs[0] = splitset::crc32_combine(head_crc, run.first_area.crc, run.first_area.length);
  // A checksum file that does not fit (a full first disk) leaves a set that
  // is still complete: the record in the first piece guards it. Without
  // either the set cannot prove itself, and the result says so.
  const bool has_checksum_file =
      write_checksum_file(run.path, run.header.file_name, run.piece_crcs, run.library.checksum_line());
  run.library.keep();
  job.unprovable = !has_record && !has_checksum_file ? 1 : 0;

  if (job.recovery == 0 || run.broken || run.written != run.payload_size) return kSplitDone;
  // A disk that leaves the drive takes no open file with it.
  if (run.autodetect) run.first.reset();
  const uint32_t volumes = recovery_volume_count(job, static_cast<uint32_t>(run.layout.size()));
  const SplitResult result = run.recovery->finish(run.path, run.layout, volumes, run.extras, run.autodetect);
  job.recovery_problem = run.recovery->problem();
  job.recovery_problem_volume = run.recovery->problem_volume();
  std::strncpy(job.recovery_problem_detail, run.recovery->problem_detail().c_str(),
               sizeof job.recovery_problem_detail - 1);
  job.recovery_problem_detail[sizeof job.recovery_problem_detail - 1] = '\0';
  return result;
}

}  // namespace

SplitResult split_file(SplitJob& job, SplitHooks& hooks) {
  job.unprovable = 0;
  job.recovery_problem = RecoveryProblem::kNone;
  job.recovery_problem_volume = 0;
  job.recovery_problem_detail[0] = '\0';
  SplitRun run(job, hooks);
  for (SplitResult (*stage)(SplitRun&) : {resolve_job, compress_source, prepare_payload, write_pieces, seal_set}) {
    if (SplitResult result = stage(run)) return result;
  }
  return kSplitDone;
}

}  // namespace velmora
