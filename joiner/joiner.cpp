// joiner.exe: rebuilds the file of a split set. Its executable is the head
// of every first piece, so running the first piece runs this program, which
// finds the SplitHeader right behind its own 6656-byte image.
//
// Built without a C runtime (see joiner/CMakeLists.txt):
//   i686-w64-mingw32-g++-posix -std=c++17 -Os -nostdlib -ffreestanding -fno-exceptions -fno-rtti
//     -fno-asynchronous-unwind-tables -fno-stack-protector -ffunction-sections -fdata-sections
//     -I format -I cablib joiner/joiner.cpp -o joiner.exe -Wl,-e,_entry
//     -Wl,--subsystem,console -Wl,--gc-sections -s -lkernel32 -lvornex -lgcc
// then padded with zeros to exactly 6656 bytes (the build fails if it is larger).
//
// Usage: firstpiece.exe [target-directory]
// The pieces are looked for beside the first piece. Every piece is checked
// before any output is written; the output is written under a temporary name
// and only renamed onto the file's own name when it is complete, so a failed
// join destroys nothing. A compressed set is joined into a cabinet in the
// temporary directory and expanded through vornex.dll; a cabinet that cannot
// be expanded is kept. On failure one line on standard error says what failed
// and the exit code is 1; on success nothing is printed and the code is 0.
#include <windows.h>

#include "split_set_format.h"
#include "vornex.h"

// The compiler may emit calls to these two.
extern "C" void* memset(void* destination, int value, size_t count) {
  auto* d = static_cast<unsigned char*>(destination);
  while (count--) *d++ = static_cast<unsigned char>(value);
  return destination;
}
extern "C" void* memcpy(void* destination, const void* source, size_t count) {
  auto* d = static_cast<unsigned char*>(destination);
  const auto* s = static_cast<const unsigned char*>(source);
  while (count--) *d++ = *s++;
  return destination;
}

namespace {

using splitset::ChunkRecord;
using splitset::SplitHeader;
constexpr uint32_t kPath = splitset::kPathCapacity;

uint32_t length_of(const char* text) {
  uint32_t n = 0;
  while (text[n]) ++n;
  return n;
}

// Appends `text` to the string in `buffer` (capacity kPath); false if it does not fit.
bool append(char* buffer, const char* text) {
  uint32_t at = length_of(buffer), n = length_of(text);
  if (at + n + 1 > kPath) return false;
  memcpy(buffer + at, text, n + 1);
  return true;
}

// One line on standard error: the parts in order.
void say(const char* a, const char* b = "", const char* c = "", const char* d = "") {
  HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
  const char* parts[] = {"joiner: ", a, b, c, d, "\r\n"};
  for (const char* part : parts) {
    DWORD written;
    WriteFile(err, part, length_of(part), &written, nullptr);
  }
}

// A file handle closed at the end of its scope.
class File {
 public:
  File() = default;
  explicit File(HANDLE handle) : handle_(handle) {}
  ~File() { close(); }
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  void reset(HANDLE handle) {
    close();
    handle_ = handle;
  }
  void close() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }
  bool is_open() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

HANDLE open_for_reading(const char* path) {
  return CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                     FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

bool read_at(HANDLE file, uint32_t offset, void* data, uint32_t length) {
  DWORD got = 0;
  return SetFilePointer(file, static_cast<LONG>(offset), nullptr, FILE_BEGIN) == offset &&
         ReadFile(file, data, length, &got, nullptr) && got == length;
}

bool write_at(HANDLE file, uint32_t offset, const void* data, uint32_t length) {
  DWORD written = 0;
  return SetFilePointer(file, static_cast<LONG>(offset), nullptr, FILE_BEGIN) == offset &&
         WriteFile(file, data, length, &written, nullptr) && written == length;
}

// A piece's ChunkRecord, checked against what the file holds behind it.
// Returns the data length, or -1 when the piece cannot be read or the record
// is impossible.
int64_t read_chunk(HANDLE piece, uint32_t chunk_offset, ChunkRecord& chunk) {
  DWORD size_high = 0;
  DWORD size = GetFileSize(piece, &size_high);
  if (size == INVALID_FILE_SIZE || size_high != 0) return -1;
  if (!read_at(piece, chunk_offset, &chunk, sizeof chunk)) return -1;
  int64_t length = splitset::chunk_data_length(chunk);
  if (length < 0 || chunk_offset + sizeof chunk + length > size) return -1;
  return length;
}

// The block rule: the data area of `piece` appended to `output` at
// `output_length`, 2048 bytes at a time through `buffer`.
bool copy_data(HANDLE piece, uint32_t data_start, const ChunkRecord& chunk, HANDLE output,
               uint32_t& output_length, char* buffer) {
  for (int32_t i = 0; i < chunk.block_count; ++i) {
    uint32_t length = i + 1 < chunk.block_count ? splitset::kBlockSize
                                                : static_cast<uint32_t>(chunk.last_block_size);
    uint32_t offset = data_start + splitset::kBlockSize * static_cast<uint32_t>(i);
    if (!read_at(piece, offset, buffer, length) ||
        !write_at(output, output_length, buffer, length))
      return false;
    output_length += length;
  }
  return true;
}

// Creates the directory levels of `path` after its first backslash.
void create_path_dirs(const char* path) {
  char level[kPath];
  uint32_t n = length_of(path);
  bool passed_first = false;
  for (uint32_t i = 0; i < n && i + 1 < kPath; ++i) {
    level[i] = path[i];
    if (path[i] != '\\') continue;
    if (passed_first) {
      level[i + 1] = '\0';
      CreateDirectoryA(level, nullptr);
    }
    passed_first = true;
  }
}

// The first argument of the command line (quotes removed) into `out`;
// false when there is none or it does not fit.
bool first_argument(char* out) {
  const char* p = GetCommandLineA();
  bool quoted = false;
  while (*p && (quoted || (*p != ' ' && *p != '\t'))) {  // the program's own name
    if (*p == '"') quoted = !quoted;
    ++p;
  }
  while (*p == ' ' || *p == '\t') ++p;
  uint32_t n = 0;
  quoted = false;
  while (*p && (quoted || (*p != ' ' && *p != '\t'))) {
    if (*p == '"') {
      quoted = !quoted;
    } else {
      if (n + 1 >= kPath) return false;
      out[n++] = *p;
    }
    ++p;
  }
  out[n] = '\0';
  return n > 0;
}

// A stored name must be a bare file name: nothing that leads elsewhere.
bool is_bare_name(const char* name, uint32_t capacity) {
  uint32_t n = 0;
  while (n < capacity && name[n]) {
    if (name[n] == '\\' || name[n] == '/' || name[n] == ':') return false;
    ++n;
  }
  return n > 0 && n < capacity && !(n <= 2 && name[0] == '.' && name[n - 1] == '.');
}

// The whole join; returns the exit code.
int join(char* buffer) {
  char own[kPath];
  DWORD own_length = GetModuleFileNameA(nullptr, own, kPath);
  if (own_length == 0 || own_length >= kPath) {
    say("cannot find its own file");
    return 1;
  }
  File first(open_for_reading(own));
  SplitHeader header;
  ChunkRecord first_chunk;
  if (!first.is_open() || !read_at(first.get(), splitset::kHeaderOffset, &header, sizeof header) ||
      read_chunk(first.get(), splitset::kFirstChunkOffset, first_chunk) < 0) {
    say("cannot read the set's header or first data in ", own);
    return 1;
  }
  if (!is_bare_name(header.file_name, sizeof header.file_name)) {
    say("the set's header holds no usable file name: ", own);
    return 1;
  }

  // Every later piece must be there and sound before any output is written.
  char piece_name[kPath];
  memcpy(piece_name, own, own_length + 1);
  for (int32_t k = 1; k < header.piece_count; ++k) {
    char number[splitset::kPieceNumberCapacity];
    splitset::format_piece_number(number, static_cast<uint32_t>(k - 1));
    ChunkRecord chunk;
    if (!splitset::apply_piece_suffix(piece_name, kPath, number)) {
      say("the name of piece ", number, " is too long");
      return 1;
    }
    File piece(open_for_reading(piece_name));
    if (!piece.is_open()) {
      say("missing or unreadable piece ", piece_name);
      return 1;
    }
    if (read_chunk(piece.get(), 0, chunk) < 0) {
      say("damaged piece ", piece_name);
      return 1;
    }
  }

  // The output: a cabinet in the temporary directory named after the tick
  // count, or a temporary file beside the final one in the current directory.
  const bool compressed = header.compressed != 0;
  char temp_dir[kPath];
  char output_path[kPath];
  File output;
  if (compressed) {
    DWORD n = GetTempPathA(kPath, temp_dir);
    if (n == 0 || n >= kPath) {
      say("no temporary directory");
      return 1;
    }
    int32_t tick = static_cast<int32_t>(GetTickCount());
    for (int attempt = 0; attempt < 100 && !output.is_open(); ++attempt, ++tick) {
      char digits[splitset::kPieceNumberCapacity + 1];
      uint32_t magnitude = tick < 0 ? 0u - static_cast<uint32_t>(tick) : static_cast<uint32_t>(tick);
      digits[0] = '-';
      splitset::format_piece_number(digits + 1, magnitude, 1);
      memcpy(output_path, temp_dir, n + 1);
      if (!append(output_path, tick < 0 ? digits : digits + 1)) break;
      output.reset(CreateFileA(output_path, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
    }
  } else if (GetTempFileNameA(".", "vrx", 0, output_path)) {
    output.reset(CreateFileA(output_path, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
  }
  if (!output.is_open()) {
    say("cannot create the output for ", header.file_name);
    return 1;
  }

  uint32_t output_length = 0;
  bool copied =
      copy_data(first.get(), splitset::kFirstDataOffset, first_chunk, output.get(), output_length, buffer);
  first.close();
  const char* failed_piece = own;
  memcpy(piece_name, own, own_length + 1);
  for (int32_t k = 1; copied && k < header.piece_count; ++k) {
    char number[splitset::kPieceNumberCapacity];
    splitset::format_piece_number(number, static_cast<uint32_t>(k - 1));
    splitset::apply_piece_suffix(piece_name, kPath, number);
    failed_piece = piece_name;
    File piece(open_for_reading(piece_name));
    ChunkRecord chunk;
    copied = piece.is_open() && read_chunk(piece.get(), 0, chunk) >= 0 &&
             copy_data(piece.get(), splitset::kLaterDataOffset, chunk, output.get(), output_length,
                       buffer);
  }
  output.close();
  if (!copied) {
    DeleteFileA(output_path);
    say("cannot read or write the data of ", failed_piece);
    return 1;
  }

  char target[kPath] = "";
  const bool has_target = first_argument(target);
  char result[kPath];  // where the rebuilt file is now
  if (compressed) {
    // Expand in the temporary directory when the file moves on to a target,
    // so that the expanded file is where the move looks for it.
    char here[kPath];
    DWORD here_length = GetCurrentDirectoryA(kPath, here);
    bool switched = has_target && here_length != 0 && here_length < kPath &&
                    SetCurrentDirectoryA(temp_dir);
    uint32_t reader = vornex_init_uncab(output_path);
    bool expanded = reader != 0 && vornex_uncab_all(reader);
    if (reader != 0) vornex_close_uncab(reader);
    if (switched) SetCurrentDirectoryA(here);
    if (!expanded) {
      say("cannot expand the joined cabinet; it is kept as ", output_path);
      return 1;
    }
    DeleteFileA(output_path);
    memcpy(result, switched ? temp_dir : "", switched ? length_of(temp_dir) + 1 : 1);
    append(result, header.file_name);
  } else {
    if (!MoveFileExA(output_path, header.file_name, MOVEFILE_REPLACE_EXISTING)) {
      say("cannot name the rebuilt file ", header.file_name, "; it is kept as ", output_path);
      return 1;
    }
    memcpy(result, header.file_name, length_of(header.file_name) + 1);
  }

  if (has_target) {
    if (!append(target, "\\") || (create_path_dirs(target), !append(target, header.file_name))) {
      say("the target path is too long: ", target);
      return 1;
    }
    if (!MoveFileA(result, target)) {
      say("cannot move the rebuilt file to ", target, "; it stays at ", result);
      return 1;
    }
  }
  return 0;
}

}  // namespace

extern "C" void entry() {
  char* buffer = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, splitset::kCopyBufferSize));
  int code = 1;
  if (buffer) {
    code = join(buffer);
    HeapFree(GetProcessHeap(), 0, buffer);
  } else {
    say("out of memory");
  }
  ExitProcess(static_cast<UINT>(code));
}
