#include "split_engine.h"

#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "checksum_file.h"
#include "compression.h"
#include "crc32_fast.h"
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

// Opened as the C runtime's "rb", "wb" and "rb+" would open them.
UniqueFile open_for_reading(const char* path) {
  return UniqueFile(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}
UniqueFile create_for_writing(const char* path) {
  return UniqueFile(CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
}
UniqueFile open_for_update(const char* path) {
  return UniqueFile(CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

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

  // Copies one block into the piece and adds it to the area's CRC.
  bool copy(HANDLE piece, uint32_t piece_offset, uint32_t length, DataArea& area) {
    if (!copy_block(payload, piece, buffer, source_offset, piece_offset, length)) return false;
    area.crc = crc32_fast(area.crc, buffer, length);
    area.length += length;
    source_offset += length;
    progress.payload_written = source_offset;
    ++progress.blocks;
    hooks.progress(progress);
    return true;
  }

  // Fills one piece's data area, from `piece_offset` up to `section` bytes,
  // with whole blocks and then one short last block, and describes it in
  // `area`. The payload's final block, even a whole one, is always the last
  // step. Break is asked before each whole block; after a break the piece
  // ends at its last whole block. False when a read or write failed.
  bool fill_data_area(HANDLE piece, uint32_t section, uint32_t piece_offset, DataArea& area,
                      bool& broken) {
    ChunkRecord& chunk = area.chunk;
    while (piece_offset + kBlockSize <= section && source_offset + kBlockSize < payload_size) {
      if (hooks.break_requested()) {
        broken = true;
        end_piece_after_break(chunk);
        return true;
      }
      if (!copy(piece, piece_offset, kBlockSize, area)) return false;
      piece_offset += kBlockSize;
      ++chunk.block_count;
    }
    if (piece_offset < section) {
      uint32_t length = section - piece_offset;
      if (payload_size - source_offset < length) length = payload_size - source_offset;
      if (!copy(piece, piece_offset, length, area)) return false;
      chunk.last_block_size = static_cast<int32_t>(length);
      ++chunk.block_count;
    } else {
      chunk.last_block_size = static_cast<int32_t>(kBlockSize);
    }
    return true;
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
// `head_crc` receives the CRC-32 of the head and the ChunkRecord `chunk`
// behind it, the first 6940 bytes of the finished piece.
int finish_first_piece(const char* first_piece, const SplitHeader& header,
                       const ChunkRecord& chunk, uint32_t& head_crc) {
  char module[splitset::kPathCapacity];
  if (!joiner_image_path(module, sizeof module)) return kFirstPieceReopen;
  UniqueFile piece = open_for_update(first_piece);
  if (!piece) return kFirstPieceReopen;
  UniqueFile own = open_for_reading(module);
  if (!own) return kFirstPieceReopen;
  std::unique_ptr<char[]> image(new (std::nothrow) char[splitset::kJoinerImageSize]);
  if (!image) return kNoMemory;
  if (!read_at(own.get(), splitset::kJoinerImageOffset, image.get(), splitset::kJoinerImageSize))
    return kFirstPieceReopen;
  own.reset();
  if (!write_at(piece.get(), 0, image.get(), splitset::kJoinerImageSize) ||
      !write_at(piece.get(), splitset::kHeaderOffset, &header, sizeof header)) {
    return kPieceFailed;
  }
  head_crc = crc32_fast(0, image.get(), splitset::kJoinerImageSize);
  head_crc = crc32_fast(head_crc, &header, sizeof header);
  head_crc = crc32_fast(head_crc, &chunk, sizeof chunk);
  return kSplitDone;
}

}  // namespace

void set_joiner_image_source(const char* executable_path) {
  g_image_source[0] = '\0';
  if (executable_path && std::strlen(executable_path) < sizeof g_image_source)
    std::strcpy(g_image_source, executable_path);
}

const char* bare_file_name(const char* path) {
  const char* last = std::strrchr(path, '\\');
  return last ? last + 1 : path;
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
  if (target_directory[0] != '\0') return target_directory;
  std::string folder = folder_of(source);
  // The base path adds its own backslash: a root folder goes without one.
  if (!folder.empty() && folder.back() == '\\') folder.pop_back();
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

bool copy_block(HANDLE payload, HANDLE piece, char* buffer, uint32_t source_offset,
                uint32_t piece_offset, uint32_t length) {
  // A short write followed by success is how a full disk first shows itself,
  // so every count is checked, not just the call's result.
  DWORD got = 0, written = 0;
  return seek_to(payload, source_offset) && ReadFile(payload, buffer, length, &got, nullptr) &&
         got == length && seek_to(piece, piece_offset) &&
         WriteFile(piece, buffer, length, &written, nullptr) && written == length;
}

int split_file(SplitJob& job, SplitHooks& hooks) {
  char* const source_path = job.source_path;
  const bool compress = job.compress != 0;
  const bool autodetect = job.autodetect != 0;
  int32_t section_size = job.section_size;
  const char* const target_directory_text = job.target_directory;
  // An empty target directory is the source's own folder.
  const std::string target = effective_target(source_path, target_directory_text);
  if (target.empty()) return kPieceFailed;
  const char* target_directory = target.c_str();
  if (!autodetect && section_size <= splitset::kMinSectionSize) return kSectionTooSmall;

  // The source as it is now: 2 GiB and more cannot be split (a section size
  // and every offset of the set are 32-bit numbers).
  WIN32_FILE_ATTRIBUTE_DATA source_info;
  const bool source_known =
      GetFileAttributesExA(source_path, GetFileExInfoStandard, &source_info) != 0 &&
      !(source_info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
  if (source_known && (source_info.nFileSizeHigh != 0 || source_info.nFileSizeLow > 0x7FFFFFFFu))
    return kSourceTooLarge;

  // The header names the user's file, also when a cabinet is split.
  SplitHeader header;
  std::memset(&header, 0, sizeof header);
  const char* bare_name = bare_file_name(source_path);
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
  if (split_would_overwrite_source(source_path, path, later_pieces)) return kSourceInSet;

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
  if (compress) {
    hooks.progress(SplitProgress{});
    if (!cabinet.reserve(source_path)) return kCompressionFailed;
    if (compress_to_cabinet(source_path, cabinet.path()) != 0) return kCompressionFailed;
    std::strcpy(source_path, cabinet.path());
  }

  // The payload, its size and the copy buffer.
  UniqueFile payload = open_for_reading(source_path);
  if (!payload) return kPayloadUnreadable;
  DWORD size_high = 0;
  DWORD size_low = GetFileSize(payload.get(), &size_high);
  if (size_low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return kPayloadUnreadable;
  // A size with a high half, or past 2 GiB, is not what the source was a
  // moment ago (or the cabinet outgrew it): the low half would misstate it.
  if (size_high != 0 || size_low > 0x7FFFFFFFu) return kSourceTooLarge;
  if (static_cast<int32_t>(size_low) <= section_size) return kPayloadTooSmall;
  const uint32_t payload_size = size_low;
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[splitset::kCopyBufferSize]);
  if (!buffer) return kNoMemory;

  // The header and the first piece.
  header.payload_size = payload_size;
  header.piece_count = 1;
  header.compressed = compress ? 1 : 0;
  create_path_dirs(path);
  UniqueFile piece = create_for_writing(path);
  if (!piece) return kPieceFailed;
  // The head (joiner image and header) is written last, but its room is
  // taken now: left as a hole, a file system with sparse files would count it
  // as free space for the next piece, and the head would not fit at the end.
  std::memset(buffer.get(), 0, splitset::kCopyBufferSize);
  for (uint32_t at = 0; at < splitset::kFirstChunkOffset; at += splitset::kCopyBufferSize) {
    DWORD length = splitset::kFirstChunkOffset - at < splitset::kCopyBufferSize
                       ? splitset::kFirstChunkOffset - at
                       : splitset::kCopyBufferSize;
    if (!write_at(piece.get(), at, buffer.get(), length)) return kPieceFailed;
  }

  // The first piece's data area, then its ChunkRecord.
  const uint32_t section = static_cast<uint32_t>(section_size);
  Copier copier{payload.get(), buffer.get(), payload_size, hooks};
  copier.progress.stage = SplitProgress::Stage::kWriting;
  copier.progress.payload_size = payload_size;
  hooks.progress(copier.progress);
  DataArea first_area;
  bool broken = false;
  if (!copier.fill_data_area(piece.get(), section, splitset::kFirstDataOffset, first_area, broken))
    return kPieceFailed;
  if (!write_at(piece.get(), splitset::kFirstChunkOffset, &first_area.chunk,
                sizeof first_area.chunk))
    return kPieceFailed;
  piece.reset();
  // The payload's CRC follows the data areas; each whole piece file's CRC is
  // its head's combined with its area's. Nothing is read twice.
  uint32_t payload_crc = first_area.crc;
  std::vector<uint32_t> piece_crcs(1, 0);  // the first piece's comes at the end

  // The later pieces, one at a time.
  uint32_t later_section = section;
  for (uint32_t number = 0; !broken && copier.source_offset < payload_size; ++number) {
    if (hooks.break_requested()) break;
    if (autodetect) {
      later_section = wait_for_space(splitset::kLaterPieceMinFree, target_directory, hooks);
      if (later_section == 0) return kDiskDeclined;
    }
    char suffix[splitset::kPieceNumberCapacity];
    splitset::format_piece_number(suffix, number);
    if (!splitset::apply_piece_suffix(path, sizeof path, suffix)) return kPieceFailed;
    piece = create_for_writing(path);
    if (!piece) return kPieceFailed;
    DataArea area;
    copier.progress.piece = number + 1;
    if (!copier.fill_data_area(piece.get(), later_section, splitset::kLaterDataOffset, area,
                               broken))
      return kPieceFailed;
    if (!write_at(piece.get(), 0, &area.chunk, sizeof area.chunk)) return kPieceFailed;
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
  splitset::put_integrity(crc_table(), header, record);

  // The first piece gets the joiner image and the header.
  if (autodetect) hooks.ask_for_disk(DiskRequest::kFirstDiskAgain);
  if (!splitset::apply_piece_suffix(path, sizeof path, splitset::kFirstPieceSuffix))
    return kPieceFailed;
  uint32_t head_crc = 0;
  int finished = finish_first_piece(path, header, first_area.chunk, head_crc);
  if (finished != kSplitDone) return finished;
  piece_crcs[0] = splitset::crc32_combine(head_crc, first_area.crc, first_area.length);
  // A checksum file that does not fit (a full first disk) leaves a set that
  // is still complete: the record in the first piece guards it.
  write_checksum_file(path, header.file_name, piece_crcs);

  // Release, and remove the temporary cabinet.
  buffer.reset();
  payload.reset();
  cabinet.remove();
  return kSplitDone;
}

}  // namespace velmora
