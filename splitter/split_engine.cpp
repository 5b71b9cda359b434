#include "split_engine.h"

#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "compression.h"
#include "split_set_format.h"
#include "split_worker.h"
#include "win_handles.h"

namespace velmora {

using splitset::ChunkRecord;
using splitset::SplitHeader;
using splitset::kBlockSize;

namespace {

PromptFunction g_prompt = nullptr;
char g_image_source[splitset::kPathCapacity] = "";  // empty: the own executable

int show_prompt(const char* text, UINT type) {
  if (g_prompt) return g_prompt(text, type);
  return MessageBoxA(nullptr, text, kMessageCaption, type | MB_SETFOREGROUND);
}

bool break_now() { return break_requested.load(std::memory_order_relaxed) != 0; }

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

// Where the joiner image comes from: the seam's path or the own executable.
bool joiner_image_path(char* out, DWORD capacity) {
  if (g_image_source[0] != '\0') {
    std::strcpy(out, g_image_source);
    return true;
  }
  DWORD length = GetModuleFileNameA(nullptr, out, capacity);
  return length != 0 && length < capacity;
}

// Step 13: the joiner image and the SplitHeader go to the head of the first
// piece, which makes it runnable.
int finish_first_piece(const char* first_piece, const SplitHeader& header) {
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
  return kSplitDone;
}

}  // namespace

void set_prompt_function(PromptFunction prompt) { g_prompt = prompt; }

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
  DWORD sectors_per_cluster = 0, bytes_per_sector = 0, free_clusters = 0, total_clusters = 0;
  BOOL ok;
  const char* colon = std::strchr(path, ':');
  if (colon) {
    // The drive text up to its colon, as a root directory ("A:\").
    std::string root(path, colon - path + 1);
    root += '\\';
    ok = GetDiskFreeSpaceA(root.c_str(), &sectors_per_cluster, &bytes_per_sector, &free_clusters,
                           &total_clusters);
  } else {
    ok = GetDiskFreeSpaceA(nullptr, &sectors_per_cluster, &bytes_per_sector, &free_clusters,
                           &total_clusters);
  }
  if (!ok) return 0;
  // The 32-bit product of the three would wrap past 4 GiB; a section size is
  // a signed 32-bit number, so larger figures are capped at its maximum.
  uint64_t bytes = static_cast<uint64_t>(sectors_per_cluster) * bytes_per_sector * free_clusters;
  return bytes > 0x7FFFFFFFu ? 0x7FFFFFFFu : static_cast<uint32_t>(bytes);
}

uint32_t wait_for_space(uint32_t minimum, const char* path) {
  for (;;) {
    uint32_t free_bytes = free_space_of(path);
    if (free_bytes > minimum) return free_bytes;
    if (show_prompt(kNoSpacePrompt, MB_YESNO | MB_ICONEXCLAMATION) != IDYES) return 0;
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

int split_file(char* source_path, const char* target_directory, int32_t section_size,
               bool compress, bool autodetect) {
  // 1-2: the section size.
  if (autodetect) {
    uint32_t free_bytes = wait_for_space(static_cast<uint32_t>(splitset::kMinSectionSize),
                                         target_directory);
    if (free_bytes == 0) return kDiskDeclined;
    section_size = static_cast<int32_t>(free_bytes);
  }
  if (section_size <= splitset::kMinSectionSize) return kSectionTooSmall;

  // 3: the header names the user's file, also when a cabinet is split.
  SplitHeader header;
  std::memset(&header, 0, sizeof header);
  std::strncpy(header.file_name, bare_file_name(source_path), sizeof header.file_name - 1);

  // 4: the compression stage; from here on the payload is the cabinet.
  if (compress) {
    char cabinet[splitset::kPathCapacity];
    if (!temp_cabinet_path(source_path, cabinet, sizeof cabinet)) return kCompressionFailed;
    if (compress_to_cabinet(source_path, cabinet) != 0) return kCompressionFailed;
    std::strcpy(source_path, cabinet);
  }

  // 5-7: the payload, its size and the copy buffer.
  UniqueFile payload = open_for_reading(source_path);
  if (!payload) return kPayloadUnreadable;
  DWORD size_high = 0;
  DWORD size_low = GetFileSize(payload.get(), &size_high);
  if (size_low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return kPayloadUnreadable;
  // 2 GiB and more reads as negative and is refused; so is anything with a
  // high half, which the low half alone would misstate.
  if (size_high != 0 || static_cast<int32_t>(size_low) <= section_size) return kPayloadTooSmall;
  const uint32_t payload_size = size_low;
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[splitset::kCopyBufferSize]);
  if (!buffer) return kNoMemory;

  // 8-9: the header and the first piece.
  header.payload_size = payload_size;
  header.piece_count = 1;
  header.compressed = compress ? 1 : 0;
  char path[splitset::kPathCapacity];
  std::string base = std::string(target_directory) + "\\" + header.file_name;
  if (base.size() >= sizeof path) return kPieceFailed;
  std::strcpy(path, base.c_str());
  if (!splitset::apply_piece_suffix(path, sizeof path, splitset::kFirstPieceSuffix))
    return kPieceFailed;
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

  // 10: the first piece's data area, then its ChunkRecord.
  const uint32_t section = static_cast<uint32_t>(section_size);
  uint32_t source_offset = 0;
  uint32_t piece_offset = splitset::kFirstDataOffset;
  ChunkRecord chunk{0, 0, 0};
  bool broken = false;
  while (piece_offset + kBlockSize <= section) {
    if (break_now()) {
      broken = true;
      break;
    }
    if (!copy_block(payload.get(), piece.get(), buffer.get(), source_offset, piece_offset,
                    kBlockSize))
      return kPieceFailed;
    source_offset += kBlockSize;
    piece_offset += kBlockSize;
    ++chunk.block_count;
  }
  if (broken) {
    end_piece_after_break(chunk);
  } else if (piece_offset < section) {
    uint32_t length = section - piece_offset;
    if (!copy_block(payload.get(), piece.get(), buffer.get(), source_offset, piece_offset, length))
      return kPieceFailed;
    source_offset += length;
    chunk.last_block_size = static_cast<int32_t>(length);
    ++chunk.block_count;
  } else {
    chunk.last_block_size = static_cast<int32_t>(kBlockSize);
  }
  if (!write_at(piece.get(), splitset::kFirstChunkOffset, &chunk, sizeof chunk))
    return kPieceFailed;
  piece.reset();

  // 11: the later pieces, one at a time.
  uint32_t later_section = section;
  for (uint32_t number = 0; !broken && source_offset < payload_size; ++number) {
    if (break_now()) break;
    if (autodetect) {
      later_section = wait_for_space(splitset::kLaterPieceMinFree, target_directory);
      if (later_section == 0) return kDiskDeclined;
    }
    char suffix[splitset::kPieceNumberCapacity];
    splitset::format_piece_number(suffix, number);
    if (!splitset::apply_piece_suffix(path, sizeof path, suffix)) return kPieceFailed;
    piece = create_for_writing(path);
    if (!piece) return kPieceFailed;
    piece_offset = splitset::kLaterDataOffset;
    chunk = ChunkRecord{0, 0, 0};
    // The payload's final block, even a whole one, is left to the step after.
    while (piece_offset + kBlockSize <= later_section && source_offset + kBlockSize < payload_size) {
      if (break_now()) {
        broken = true;
        break;
      }
      if (!copy_block(payload.get(), piece.get(), buffer.get(), source_offset, piece_offset,
                      kBlockSize))
        return kPieceFailed;
      source_offset += kBlockSize;
      piece_offset += kBlockSize;
      ++chunk.block_count;
    }
    if (broken) {
      end_piece_after_break(chunk);
    } else if (piece_offset < later_section) {
      uint32_t length = later_section - piece_offset;
      if (payload_size - source_offset < length) length = payload_size - source_offset;
      if (!copy_block(payload.get(), piece.get(), buffer.get(), source_offset, piece_offset,
                      length))
        return kPieceFailed;
      source_offset += length;
      chunk.last_block_size = static_cast<int32_t>(length);
      ++chunk.block_count;
    } else {
      chunk.last_block_size = static_cast<int32_t>(kBlockSize);
    }
    if (!write_at(piece.get(), 0, &chunk, sizeof chunk)) return kPieceFailed;
    piece.reset();
    ++header.piece_count;
  }

  // 12-13: the first piece gets the joiner image and the header.
  if (autodetect) show_prompt(kFirstDiskPrompt, MB_OK | MB_ICONEXCLAMATION);
  if (!splitset::apply_piece_suffix(path, sizeof path, splitset::kFirstPieceSuffix))
    return kPieceFailed;
  int finished = finish_first_piece(path, header);
  if (finished != kSplitDone) return finished;

  // 14-15: release, and remove the temporary cabinet.
  buffer.reset();
  payload.reset();
  if (compress) remove_temp_cabinet(source_path);
  return kSplitDone;
}

}  // namespace velmora
