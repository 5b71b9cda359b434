#include "split_engine.h"

#include <winternl.h>

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
#include "win_handles.h"

namespace velmora {

using splitset::ChunkRecord;
using splitset::SplitHeader;
using splitset::kBlockSize;
using splitset::Crc32Table;

namespace {

const Crc32Table& crc_table() {
  static const Crc32Table table = [] {
    Crc32Table made;
    splitset::crc32_init(made);
    return made;
  }();
  return table;
}

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

// What tells one file from every other: its volume, its index there, and its
// size (two disks copied from one another can share the first two).
struct FileIdentity {
  DWORD volume = 0, index_high = 0, index_low = 0, size_high = 0, size_low = 0;
  bool operator==(const FileIdentity& o) const {
    return volume == o.volume && index_high == o.index_high && index_low == o.index_low &&
           size_high == o.size_high && size_low == o.size_low;
  }
};

bool identify(HANDLE file, FileIdentity& id) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(file, &info)) return false;
  id = {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow, info.nFileSizeHigh,
        info.nFileSizeLow};
  return true;
}

// The same for a file on the volume `volume`, known from another file: the
// index and the size are a system call each, where the volume's serial number
// costs Wine a round trip to its mount manager (a tenth of a millisecond and
// more: a tenth of a split's time, asked for every piece).
bool identify_on(HANDLE file, DWORD volume, FileIdentity& id) {
  // From ntdll.dll, which every process has loaded (the binaries import
  // only the system's Win32 libraries).
  using Query = LONG(WINAPI*)(HANDLE, IO_STATUS_BLOCK*, void*, ULONG, FILE_INFORMATION_CLASS);
  static const Query query = reinterpret_cast<Query>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationFile")));
  if (!query) return identify(file, id);
  IO_STATUS_BLOCK status;
  LARGE_INTEGER index;  // FILE_INTERNAL_INFORMATION
  if (query(file, &status, &index, sizeof index, FileInternalInformation) != 0) return false;
  DWORD size_high = 0;
  const DWORD size_low = GetFileSize(file, &size_high);
  if (size_low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return false;
  id = {volume, static_cast<DWORD>(index.HighPart), index.LowPart, size_high, size_low};
  return true;
}

// The pieces this split has written and closed, so that a split that cannot
// finish removes what it wrote and nothing else: a name that now belongs to
// another file (another disk in the drive, a file put there since) is left.
class PieceLedger {
 public:
  // `one_volume`: every piece goes to one folder on one disk (no disk is
  // changed), so the first piece's volume is every piece's.
  explicit PieceLedger(bool one_volume) : one_volume_(one_volume) {}
  // Records `piece`, written in full and about to be closed, under `path`.
  void add(const char* path, HANDLE piece) {
    FileIdentity id;
    if (one_volume_ && !pieces_.empty() ? identify_on(piece, pieces_.front().second.volume, id)
                                        : identify(piece, id))
      pieces_.push_back({path, id});
  }
  void remove_reachable() const {
    for (const auto& [path, id] : pieces_) {
      UniqueFile file(CreateFileA(path.c_str(), DELETE | FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
      FileIdentity now;
      if (file && identify(file.get(), now) && now == id) delete_through(file.get());
    }
  }

 private:
  bool one_volume_;
  std::vector<std::pair<std::string, FileIdentity>> pieces_;
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
int finish_first_piece(HANDLE piece, const SplitHeader& header, const ChunkRecord& chunk,
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
int reclaim_first_piece(const char* path, const DataArea& area, char* buffer, SplitHooks& hooks,
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
int place_library(const SplitJob& job, const char* first_piece_path, bool autodetect,
                  int32_t& section_size, SetLibrary& library) {
  if (job.no_library) return kSplitDone;
  char own[splitset::kPathCapacity];
  if (!joiner_image_path(own, sizeof own)) return kFirstPieceReopen;
  if (int placed = library.place(folder_of(first_piece_path), own)) return placed;
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
  DWORD length = path[0] ? GetFullPathNameA(path, sizeof full, full, &file_part) : 0;
  if (length == 0 || length >= sizeof full) return false;
  out.assign(full, length);
  return true;
}

const char* bare_file_name(const char* path) { return path + splitset::file_name_start(path); }

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

int64_t later_piece_count(uint32_t payload_size, int32_t section_size) {
  const uint64_t first = static_cast<uint64_t>(section_size) - splitset::kFirstDataOffset;
  if (payload_size <= first) return 0;
  const uint64_t later = static_cast<uint64_t>(section_size) - splitset::kLaterDataOffset;
  return static_cast<int64_t>((payload_size - first + later - 1) / later);
}

uint32_t wait_for_space(uint32_t minimum, const char* path, SplitHooks& hooks) {
  for (;;) {
    uint32_t free_bytes = free_space_of(path);
    if (free_bytes > minimum) return free_bytes;
    if (!hooks.ask_for_disk(DiskRequest::kAnotherDisk)) return 0;
  }
}

void create_path_dirs(const char* path) {
  std::string copy(path);
  size_t first = copy.find('\\');
  if (first == std::string::npos) return;
  for (size_t i = copy.find('\\', first + 1); i != std::string::npos; i = copy.find('\\', i + 1))
    CreateDirectoryA(copy.substr(0, i + 1).c_str(), nullptr);
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

int split_file(SplitJob& job, SplitHooks& hooks) { return split_file(job, hooks, {}); }

int split_file(SplitJob& job, SplitHooks& hooks, const std::vector<ExtraSource>& extra_sources) {
  job.unprovable = 0;
  job.recovery_problem[0] = '\0';
  // The files beside the first piece that its PAR2 set covers.
  std::vector<ExtraSource> extras = extra_sources;
  const bool compress = job.compress != 0;
  const bool autodetect = job.autodetect != 0;
  int32_t section_size = job.section_size;
  // Every path in its full form: '/' and ".." mean what they mean to the
  // system, a relative target lies below the current directory, and the
  // header always stores a bare name. An empty target is the source's folder.
  std::string source;
  if (!full_path(job.source_path, source) || *bare_file_name(source.c_str()) == '\0')
    return kPayloadUnreadable;
  const std::string target = effective_target(source.c_str(), job.target_directory);
  if (target.empty()) return kPieceFailed;
  const char* target_directory = target.c_str();
  if (!autodetect && section_size <= splitset::kMinSectionSize) return kSectionTooSmall;

  // The source as it is now: 2 GiB and more cannot be split (a section size
  // and every offset of the set are 32-bit numbers).
  WIN32_FILE_ATTRIBUTE_DATA source_info;
  const bool source_known =
      GetFileAttributesExA(source.c_str(), GetFileExInfoStandard, &source_info) != 0 &&
      !(source_info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
  if (source_known && (source_info.nFileSizeHigh != 0 || source_info.nFileSizeLow > 0x7FFFFFFFu))
    return kSourceTooLarge;

  // The header names the user's file, also when a cabinet is split.
  SplitHeader header;
  std::memset(&header, 0, sizeof header);
  const char* bare_name = bare_file_name(source.c_str());
  std::memcpy(header.file_name, bare_name, strnlen(bare_name, sizeof header.file_name - 1));

  // The first piece's name, and every name of the set with it: none of them
  // may be the source. The count of later pieces is known only for a plain
  // split of a fixed size.
  char path[splitset::kPathCapacity];
  std::string base = target + "\\" + header.file_name;
  if (base.size() >= sizeof path) return kPieceFailed;
  std::strcpy(path, base.c_str());
  if (!splitset::apply_piece_suffix(path, sizeof path, splitset::kFirstPieceSuffix))
    return kPieceFailed;
  int64_t later_pieces = kUnknownPieceCount;
  if (source_known && !compress && !autodetect)
    later_pieces = later_piece_count(source_info.nFileSizeLow, section_size);
  if (split_would_overwrite_source(source.c_str(), path, later_pieces)) return kSourceInSet;

  // With automatic size the first piece takes the target's free space.
  if (autodetect) {
    uint32_t free_bytes = wait_for_space(static_cast<uint32_t>(splitset::kMinSectionSize),
                                         target_directory, hooks);
    if (free_bytes == 0) return kDiskDeclined;
    section_size = static_cast<int32_t>(free_bytes);
  }
  if (section_size <= splitset::kMinSectionSize) return kSectionTooSmall;

  // The compression stage; from here on the payload is the cabinet, which
  // `cabinet` deletes on every way out.
  TempCabinet cabinet;
  std::string payload_path = source;
  if (compress) {
    hooks.progress(SplitProgress{});
    if (!cabinet.reserve(source.c_str())) return kCompressionFailed;
    if (compress_to_cabinet(source.c_str(), cabinet.path()) != 0) return kCompressionFailed;
    payload_path = cabinet.path();
    std::strcpy(job.source_path, cabinet.path());
  }

  // The payload, its size and the copy buffer.
  UniqueFile payload = open_for_reading(payload_path.c_str());
  if (!payload) return kPayloadUnreadable;
  DWORD size_high = 0;
  DWORD size_low = GetFileSize(payload.get(), &size_high);
  if (size_low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return kPayloadUnreadable;
  // A size with a high half, or past 2 GiB, is not what the source was a
  // moment ago (or the cabinet outgrew it): the low half would misstate it.
  if (size_high != 0 || size_low > 0x7FFFFFFFu) return kSourceTooLarge;
  // With automatic size and recovery volumes the first piece leaves room
  // for the PAR2 index and the checksum file, and so that a volume (one
  // piece and the critical packets) fits a disk as large as the first.
  uint32_t reserve = 0;
  if (autodetect && job.recovery > 0) {
    const uint32_t estimate = size_low / static_cast<uint32_t>(section_size) + 2;
    reserve = recovery_reserve(estimate + static_cast<uint32_t>(extras.size()),
                               std::strlen(bare_file_name(path)));
    if (static_cast<uint32_t>(section_size) <= reserve ||
        section_size - static_cast<int32_t>(reserve) <= splitset::kMinSectionSize)
      return kSectionTooSmall;
    section_size -= static_cast<int32_t>(reserve);
  }
  if (static_cast<int32_t>(size_low) <= section_size) return kPayloadTooSmall;
  const uint32_t payload_size = size_low;
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[splitset::kCopyBufferSize]);
  if (!buffer) return kNoMemory;

  // The header and the first piece, held from here to the end.
  header.payload_size = payload_size;
  header.piece_count = 1;
  header.compressed = compress ? 1 : 0;
  create_path_dirs(path);
  SetLibrary library;
  if (int placed = place_library(job, path, autodetect, section_size, library)) return placed;
  UniqueFile first = create_piece(path);
  if (!first) return kPieceFailed;
  // The pieces to remove when a read of the payload comes up short: those
  // still open go through their handles, closed ones through the ledger.
  PieceLedger ledger(!autodetect);
  UniqueFile piece;
  auto source_fell_short = [&] {
    if (first) delete_through(first.get());
    if (piece) delete_through(piece.get());
    ledger.remove_reachable();
    return kPayloadUnreadable;
  };
  // The head (joiner image and header) is written last, but its room is
  // taken now: left as a hole, a file system with sparse files would count it
  // as free space for the next piece, and the head would not fit at the end.
  std::memset(buffer.get(), 0, splitset::kCopyBufferSize);
  for (uint32_t at = 0; at < splitset::kFirstChunkOffset; at += splitset::kCopyBufferSize) {
    DWORD length = splitset::kFirstChunkOffset - at < splitset::kCopyBufferSize
                       ? splitset::kFirstChunkOffset - at
                       : splitset::kCopyBufferSize;
    if (!write_at(first.get(), at, buffer.get(), length)) return kPieceFailed;
  }

  // The first piece's data area, then its ChunkRecord.
  const uint32_t section = static_cast<uint32_t>(section_size);
  Copier copier{payload.get(), buffer.get(), payload_size, hooks};
  copier.progress.stage = SplitProgress::Stage::kWriting;
  copier.progress.payload_size = payload_size;
  hooks.progress(copier.progress);
  // The recovery volumes: with a fixed size the pieces are known now, and
  // the later pieces' hashes ride along with the copy.
  RecoveryWriter recovery(payload.get(), hooks);
  std::vector<PieceBytes> layout(1);
  if (job.recovery > 0 && !autodetect) {
    const uint32_t pieces = 1 + static_cast<uint32_t>(later_piece_count(payload_size, section_size));
    if (recovery.ride_along(path, pieces, recovery_volume_count(job, pieces), extras))
      copier.recovery = &recovery;
  }
  DataArea first_area;
  bool broken = false;
  // The first piece's head is final only at the end: its bytes are fed then.
  RecoveryWriter* riding = copier.recovery;
  copier.recovery = nullptr;
  int filled =
      copier.fill_data_area(first.get(), section, splitset::kFirstDataOffset, first_area, broken);
  copier.recovery = riding;
  layout[0].length = first_area.length;
  if (filled == kPayloadUnreadable) return source_fell_short();
  if (filled != kSplitDone) return filled;
  if (!write_at(first.get(), splitset::kFirstChunkOffset, &first_area.chunk,
                sizeof first_area.chunk))
    return kPieceFailed;
  // A disk that leaves the drive takes no open file with it: with automatic
  // size the first piece is closed until its disk comes back.
  if (autodetect) {
    ledger.add(path, first.get());
    first.reset();
  }
  // The payload's CRC follows the data areas; each whole piece file's CRC is
  // its head's combined with its area's. Nothing is read twice.
  uint32_t payload_crc = first_area.crc;
  std::vector<uint32_t> piece_crcs(1, 0);  // the first piece's comes at the end

  // The later pieces, one at a time.
  uint32_t later_section = section;
  for (uint32_t number = 0; !broken && copier.source_offset < payload_size; ++number) {
    if (hooks.break_requested()) break;
    char suffix[splitset::kPieceNumberCapacity];
    splitset::format_piece_number(suffix, number);
    if (!splitset::apply_piece_suffix(path, sizeof path, suffix)) return kPieceFailed;
    if (autodetect) {
      // The disk after the first piece's is the first disk itself until it
      // is changed: its reserve stays free.
      const uint32_t keep = number == 0 ? reserve : 0;
      later_section = wait_for_space(splitset::kLaterPieceMinFree + keep, target_directory, hooks);
      if (later_section == 0) return kDiskDeclined;
      later_section -= keep;
      // A later piece no larger than the first, so that a volume holding
      // the largest fits a disk as large as the first.
      if (job.recovery > 0 && later_section > section) later_section = section;
      // The disk in the drive may be a new one: the target's levels on it.
      create_path_dirs(path);
    }
    piece = create_piece(path);
    if (!piece) return kPieceFailed;
    DataArea area;
    copier.progress.piece = number + 1;
    // The record goes first in the piece but is written last: the block
    // rule's record is fed first and checked against the written one.
    const uint32_t area_offset = copier.source_offset;
    const ChunkRecord predicted = predict_chunk(later_section, splitset::kLaterDataOffset,
                                                area_offset, payload_size);
    copier.file = number + 1;
    recovery.feed(copier.file, &predicted, sizeof predicted);
    filled = copier.fill_data_area(piece.get(), later_section, splitset::kLaterDataOffset, area,
                                   broken);
    if (filled == kPayloadUnreadable) return source_fell_short();
    if (filled != kSplitDone) return filled;
    if (!write_at(piece.get(), 0, &area.chunk, sizeof area.chunk)) return kPieceFailed;
    if (std::memcmp(&predicted, &area.chunk, sizeof predicted) != 0) recovery.drop_ride();
    PieceBytes bytes;
    bytes.head.assign(reinterpret_cast<const char*>(&area.chunk),
                      reinterpret_cast<const char*>(&area.chunk) + sizeof area.chunk);
    bytes.offset = area_offset;
    bytes.length = area.length;
    layout.push_back(std::move(bytes));
    ledger.add(path, piece.get());
    piece.reset();
    ++header.piece_count;
    payload_crc = splitset::crc32_combine(payload_crc, area.crc, area.length);
    piece_crcs.push_back(piece_crc(&area.chunk, sizeof area.chunk, area));
  }

  // The integrity record in the header's free bytes: what the set carries
  // (less than payload_size after a break) and the source's last-write time.
  // A source name too long to leave room for it gets none.
  splitset::IntegrityRecord record{};
  record.flags = copier.source_offset < payload_size ? splitset::kIntegrityCutShort : 0;
  record.payload_length = copier.source_offset;
  record.payload_crc = payload_crc;
  if (source_known) {
    record.write_time_low = source_info.ftLastWriteTime.dwLowDateTime;
    record.write_time_high = source_info.ftLastWriteTime.dwHighDateTime;
  }
  const bool has_record = splitset::put_integrity(crc_table(), header, record);

  // The first piece gets the joiner image and the header.
  if (!splitset::apply_piece_suffix(path, sizeof path, splitset::kFirstPieceSuffix))
    return kPieceFailed;
  if (autodetect) {
    if (int reclaimed = reclaim_first_piece(path, first_area, buffer.get(), hooks, first))
      return reclaimed;
  }
  uint32_t head_crc = 0;
  int finished = finish_first_piece(first.get(), header, first_area.chunk, layout[0].head, head_crc);
  if (finished != kSplitDone) return finished;
  piece_crcs[0] = splitset::crc32_combine(head_crc, first_area.crc, first_area.length);
  // A checksum file that does not fit (a full first disk) leaves a set that
  // is still complete: the record in the first piece guards it. Without
  // either the set cannot prove itself, and the result says so.
  const bool has_checksum_file =
      write_checksum_file(path, header.file_name, piece_crcs, library.checksum_line());
  library.keep();
  job.unprovable = !has_record && !has_checksum_file ? 1 : 0;

  // The recovery volumes of a whole set, made while the payload (the source
  // or the cabinet) is still there. A disk that leaves the drive takes no
  // open file with it.
  int result = kSplitDone;
  if (job.recovery > 0 && !broken && copier.source_offset == payload_size) {
    if (autodetect) first.reset();
    const uint32_t volumes = recovery_volume_count(job, static_cast<uint32_t>(layout.size()));
    result = recovery.finish(path, layout, volumes, extras, autodetect);
    std::strncpy(job.recovery_problem, recovery.problem().c_str(), sizeof job.recovery_problem - 1);
    job.recovery_problem[sizeof job.recovery_problem - 1] = '\0';
  }

  // Release, and remove the temporary cabinet.
  first.reset();
  buffer.reset();
  payload.reset();
  cabinet.remove();
  return result;
}

}  // namespace velmora
