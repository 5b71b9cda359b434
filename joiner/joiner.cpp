// joiner.exe: rebuilds the file of a split set. Its executable is the head
// of every first piece, so running the first piece runs this program, which
// finds the SplitHeader right behind its own 6656-byte image.
//
// Built without a C runtime (see joiner/CMakeLists.txt):
//   i686-w64-mingw32-g++-posix -std=c++17 -Oz -fomit-frame-pointer -fwhole-program -fno-ident
//     -fno-inline-small-functions -nostdlib -ffreestanding -fno-exceptions -fno-rtti
//     -fno-asynchronous-unwind-tables -fno-stack-protector -mno-stack-arg-probe
//     -mno-accumulate-outgoing-args -fno-caller-saves -fno-tree-scev-cprop -fno-ipa-modref
//     -fno-tree-loop-ivcanon -mpreferred-stack-boundary=2 -Werror=frame-larger-than=3072
//     -I format -I cablib joiner/joiner.cpp -o joiner.exe -Wl,-e,_entry
//     -Wl,--subsystem,console -Wl,--gc-sections -s -Wl,-T,joiner/joiner.ld -lkernel32 -lvornex
// then padded with zeros to exactly 6656 bytes (the build fails if it is larger).
// Every byte counts here: all state lives in one zero-initialised record
// (no heap, no file space), and the process's exit closes what is left open.
//
// Usage: firstpiece.exe [target-directory]
//
// How it works
// - The pieces are looked for beside the first piece. Every piece must be
//   there before any output is written; its ChunkRecord is checked as it is
//   copied, and a damaged one removes the partial output.
// - The destination is the target directory, made full first (so that
//   `stray\..\real` or `a/b` mean the folder they name; its missing levels
//   are created from the full path), or without one the current directory;
//   nothing else is written. The output is built there under a temporary
//   name and renamed onto the file's own name only when it is complete and
//   sound. With a target an existing file is not replaced; without one it is
//   (as a rebuild in place always was), unless it is a file of the set itself.
// - Checksums: with the set's checksum file beside the first piece (holding a
//   line for every piece; one that lacks a line is set aside), each piece
//   file is checked as it is copied and the first mismatch stops the join,
//   naming the piece. The integrity record in the header guards the payload's
//   CRC in every case, so a checksum file written over a mixed set does not
//   pass it. A set without either joins as it is.
// - A set whose record says a Break cut it short holds only the leading part
//   of the file and never takes the file's name: the part is kept as the
//   name with ".partial" added (where no such file exists; else under its
//   temporary name), a compressed one's joined cabinet under its temporary
//   name, with a line saying how many bytes of how many it holds.
// - A compressed set is joined into a cabinet in the destination and expanded
//   through vornex.dll into a private folder beside it; the one expected file
//   is moved out of it and the folder removed.
// - On failure one line on standard error says what failed and where the
//   joined data was kept, and the exit code is 1; a joiner started in a
//   console window of its own (a double-click) then waits for a key, so that
//   the line can be read. On success nothing is printed and the code is 0.
#include <windows.h>
#include <cpuid.h>
#include <wmmintrin.h>

#include "crc32.h"
#include "set_integrity.h"
#include "split_set_format.h"
#include "vornex.h"

// The three exports the joiner uses, declared again as imports: each call
// then goes through the import table, without a jump stub of 8 bytes.
extern "C" {
__declspec(dllimport) uint32_t __stdcall vornex_init_uncab(const char* cabinet_path);
__declspec(dllimport) uint8_t __stdcall vornex_close_uncab(uint32_t handle);
__declspec(dllimport) uint8_t __stdcall vornex_uncab_all(uint32_t handle);
}

// The compiler may emit calls to these two; each has a section of its own,
// which the link drops while nothing calls it.
extern "C" __attribute__((externally_visible, section(".text$memset")))
void* memset(void* destination, int value, size_t count) {
  auto* d = static_cast<unsigned char*>(destination);
  while (count--) *d++ = static_cast<unsigned char>(value);
  return destination;
}
extern "C" __attribute__((externally_visible, section(".text$memcpy")))
void* memcpy(void* destination, const void* source, size_t count) {
  auto* d = static_cast<unsigned char*>(destination);
  const auto* s = static_cast<const unsigned char*>(source);
  while (count--) *d++ = *s++;
  return destination;
}

namespace {

using splitset::ChunkRecord;
constexpr uint32_t kPath = splitset::kPathCapacity;
constexpr uint32_t kBlock = splitset::kBlockSize;
// A checksum file larger than this (some thousands of pieces) is not read;
// the integrity record still guards such a set.
constexpr uint32_t kChecksumFileCapacity = 128 * 1024;

struct State {
  splitset::Crc32Table table;
  // Every transfer goes through it: a piece's head in one read, the data
  // area block by block.
  char buffer[splitset::kFirstDataOffset];
  char checksum_text[kChecksumFileCapacity];
  // The checksum file's CRC of each piece, found before the copy; no more
  // pieces than lines of at least 11 characters are found in it.
  uint32_t expected[kChecksumFileCapacity / 11 + 1];
  DWORD checksum_size;    // zero when no checksum file is in use
  char own[kPath];        // the first piece
  char name[kPath];       // the piece at hand
  char checksums[kPath];  // the checksum file beside the first piece
  char target[kPath];     // the command line's target directory
  char destination[kPath];  // target or current directory, with a backslash
  char final_path[kPath];   // destination + the file's name
  char temp[kPath];         // the joined data under its temporary name
  char work[kPath];         // a compressed set's expansion folder
  splitset::SplitHeader header;
  splitset::IntegrityRecord record;
  ChunkRecord chunk;
  HANDLE piece;
  HANDLE output;
  uint32_t crc;        // the payload's CRC so far
  uint32_t piece_crc;  // the CRC of the piece file just copied
  uint32_t clmul;      // nonzero where the processor multiplies without carries
  unsigned char fold[16];
};
State s;  // zero-initialised, so it takes no room in the file

uint32_t length_of(const char* text) { return static_cast<uint32_t>(lstrlenA(text)); }

void copy_text(char* to, const char* from) { lstrcpyA(to, from); }

// Copies `text` behind the string in `buffer` (capacity kPath); false, with
// the buffer unchanged, when it does not fit.
bool append(char* buffer, const char* text) {
  uint32_t at = length_of(buffer);
  if (at + length_of(text) >= kPath) return false;
  copy_text(buffer + at, text);
  return true;
}

// One line on standard error. Each '%' in `text` takes the next argument; a
// leading '!' adds the system's text for the last error.
void say(const char* text, const char* a = "", const char* b = "") {
  DWORD code = GetLastError();
  char line[1024];
  uint32_t n = 0;
  bool reason = *text == '!';
  for (const char* p = "joiner: "; *p;) line[n++] = *p++;
  for (const char* p = text + reason; *p; ++p) {
    if (*p != '%') {
      line[n++] = *p;
      continue;
    }
    for (const char* q = a; *q;) line[n++] = *q++;
    a = b;
  }
  if (reason) {
    line[n++] = ':';
    line[n++] = ' ';
    DWORD got = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                               code, 0, line + n, 250, nullptr);
    while (got > 0 && (line[n + got - 1] <= ' ' || line[n + got - 1] == '.')) --got;
    n += got;
  }
  line[n++] = '\r';
  line[n++] = '\n';
  DWORD written;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), line, n, &written, nullptr);
}

HANDLE open_existing(const char* path, DWORD access) {
  return CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                     OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// What the file system says of `path` (a file or a directory); false, with
// the system's reason as the last error, when it names nothing that can be
// opened.
bool inspect(const char* path, BY_HANDLE_FILE_INFORMATION& info) {
  HANDLE file = open_existing(path, 0);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool ok = GetFileInformationByHandle(file, &info);
  CloseHandle(file);
  return ok;
}

// Is `path` the file that `info` describes (the same volume and index)?
bool is_file(const BY_HANDLE_FILE_INFORMATION& info, const char* path) {
  BY_HANDLE_FILE_INFORMATION other;
  return inspect(path, other) && info.dwVolumeSerialNumber == other.dwVolumeSerialNumber &&
         info.nFileIndexHigh == other.nFileIndexHigh && info.nFileIndexLow == other.nFileIndexLow;
}

bool seek(HANDLE file, uint32_t offset) {
  return SetFilePointer(file, static_cast<LONG>(offset), nullptr, FILE_BEGIN) == offset;
}

bool read_all(HANDLE file, void* data, uint32_t length) {
  DWORD got = 0;
  return ReadFile(file, data, length, &got, nullptr) && got == length;
}

// Writes the buffer's first `length` bytes. A write that succeeds short is
// how a full disk first shows itself, and is reported as one.
bool write_all(uint32_t length) {
  DWORD written = 0;
  if (!WriteFile(s.output, s.buffer, length, &written, nullptr)) return false;
  if (written != length) SetLastError(ERROR_DISK_FULL);
  return written == length;
}

// The name of piece k (0 = the first piece) into s.name.
bool name_piece(int32_t k) {
  copy_text(s.name, s.own);
  if (k == 0) return true;
  char number[splitset::kPieceNumberCapacity];
  splitset::format_piece_number(number, static_cast<uint32_t>(k - 1));
  return splitset::apply_piece_suffix(s.name, kPath, number, splitset::MarkerSearch::kReading);
}

// Opens piece k as s.piece and reads its ChunkRecord, checked against what
// the file holds behind it (with a checksum file in use the data area must
// end the file, since the checksum covers the whole file). Returns the data
// length; -1 when the record is impossible; -2 when the piece is missing or
// cannot be read.
int64_t open_piece(int32_t k) {
  if (!name_piece(k)) return -2;
  s.piece = open_existing(s.name, GENERIC_READ);
  // The size by a seek to the end: asking the file system for everything it
  // knows of a file costs a tenth of a join under Wine.
  DWORD size = SetFilePointer(s.piece, 0, nullptr, FILE_END);
  uint32_t at = k == 0 ? splitset::kFirstChunkOffset : 0;
  if (size == INVALID_SET_FILE_POINTER || !seek(s.piece, at) || !read_all(s.piece, &s.chunk, sizeof s.chunk))
    return -2;
  int64_t length = splitset::chunk_data_length(s.chunk);
  int64_t end = at + sizeof s.chunk + length;
  if (length < 0 || end > size || (s.checksum_size && end != size)) return -1;
  return length;
}

// a times b modulo the CRC's polynomial, in its reflected form (bit 31 is
// x^0).
uint32_t crc_multiply(uint32_t a, uint32_t b) {
  uint32_t product = 0;
  for (uint32_t m = 1u << 31; m; m >>= 1) {
    if (a & m) product ^= b;
    b = b & 1 ? (b >> 1) ^ splitset::kCrc32Polynomial : b >> 1;
  }
  return product;
}

// The CRC of `crc`'s data followed by `length` zero bytes, with the CRC's
// pre- and post-conditioning left out: crc times x^(8 length). This is the
// linear step of crc32_combine (crc32_combine(a, b, n) == shift(a, n) ^ b),
// here by squaring x^8 instead of 32-by-32 matrices, in a fifth of the bytes.
uint32_t crc_shift(uint32_t crc, uint32_t length) {
  for (uint32_t x = 1u << 23; length; length >>= 1, x = crc_multiply(x, x))
    if (length & 1) crc = crc_multiply(x, crc);
  return crc;
}

// The CRC of `crc`'s data followed by the buffer's 2048 bytes, by carry-less
// multiplication: the first 16 (the CRC register added in) are folded
// forward onto each next 16 until one 128-bit remainder is left, which has
// the same CRC as the whole; the table takes that from there.
__attribute__((target("pclmul,sse2"))) uint32_t crc_fold(uint32_t crc) {
  const __m128i* p = reinterpret_cast<const __m128i*>(s.buffer);
  __m128i x = _mm_xor_si128(_mm_loadu_si128(p), _mm_cvtsi32_si128(static_cast<int>(~crc)));
  // x^(128+64) and x^128 modulo the polynomial, reflected; read from memory
  // as they stand (volatile), so that the compiler does not make them a
  // vector constant whose alignment would pad the section.
  typedef uint64_t Unaligned __attribute__((aligned(4)));
  static const volatile Unaligned kFold[2] = {0x01751997d0, 0x00ccaa009e};
  const __m128i k = _mm_loadu_si128(
      const_cast<const __m128i*>(reinterpret_cast<const volatile __m128i*>(kFold)));
  for (int i = 1; i < static_cast<int>(kBlock / 16); ++i)
    x = _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_clmulepi64_si128(x, k, 0x11)),
                      _mm_loadu_si128(p + i));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(s.fold), x);
  return splitset::crc32_update(s.table, ~0u, s.fold, 16);
}

// The CRC of `crc`'s data followed by the buffer's first `n` bytes: a whole
// block by carry-less multiplication where the processor has it.
uint32_t crc_of(uint32_t crc, uint32_t n) {
  return s.clmul && n == kBlock ? crc_fold(crc) : splitset::crc32_update(s.table, crc, s.buffer, n);
}

enum Copy { kCopied, kReadFailed, kWriteFailed, kDamaged };

// The block rule for the open piece k, whose data area holds `length`
// bytes: the piece's head (its bytes before the data) is read, then the data
// area appended to the output in whole blocks read in sequence; only the
// last block is positioned. One CRC runs over the whole piece file (what the
// checksum file holds); the payload's CRC in s.crc is carried on from it
// without a second pass: crc(head + data) = shift(crc(head)) ^ crc(data),
// so the payload's CRC grows to shift(s.crc) ^ crc(data), which is
// shift(s.crc ^ crc(head)) ^ crc(head + data).
Copy copy_piece(int32_t k, uint32_t length) {
  uint32_t start = k == 0 ? splitset::kFirstDataOffset : splitset::kLaterDataOffset;
  if (!seek(s.piece, 0) || !read_all(s.piece, s.buffer, start)) return kReadFailed;
  uint32_t crc = crc_of(0, start);
  const uint32_t head = crc;
  for (int32_t i = 1; i <= s.chunk.block_count; ++i) {
    uint32_t n = kBlock;
    if (i == s.chunk.block_count) {
      n = static_cast<uint32_t>(s.chunk.last_block_size);
      if (!seek(s.piece, start + kBlock * static_cast<uint32_t>(i - 1))) return kReadFailed;
    }
    if (!read_all(s.piece, s.buffer, n)) return kReadFailed;
    crc = crc_of(crc, n);
    if (!write_all(n)) return kWriteFailed;
  }
  s.piece_crc = crc;
  s.crc = crc_shift(s.crc ^ head, length) ^ crc;
  return kCopied;
}

// Empties and removes the folder `path` (a kPath buffer, as it was on return).
void remove_tree(char* path) {
  uint32_t n = length_of(path);
  WIN32_FIND_DATAA entry;
  if (append(path, "\\*")) {
    HANDLE find = FindFirstFileA(path, &entry);
    if (find != INVALID_HANDLE_VALUE) {
      do {
        path[n + 1] = '\0';
        // "." and ".." (and any folder whose name begins with a dot) stay.
        if (!append(path, entry.cFileName)) continue;
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
          DeleteFileA(path);
        } else if (entry.cFileName[0] != '.') {
          remove_tree(path);
        }
      } while (FindNextFileA(find, &entry));
      FindClose(find);
    }
  }
  path[n] = '\0';
  RemoveDirectoryA(path);
}

// Reads one item of the command line at `p` (quotes removed) into s.target
// and returns where the next one begins. `length` is the item's whole
// length; of one too long to use (kPath or more) s.target keeps the start.
const char* read_item(const char* p, uint32_t& length) {
  bool quoted = false;
  for (length = 0; *p && (quoted || (*p != ' ' && *p != '\t')); ++p) {
    if (*p == '"') {
      quoted = !quoted;
    } else {
      if (length < kPath - 1) s.target[length] = *p;
      ++length;
    }
  }
  s.target[length < kPath - 1 ? length : kPath - 1] = '\0';
  while (*p == ' ' || *p == '\t') ++p;
  return p;
}

// Tries to create every level of the full folder path `path`, left to
// right, the whole path last; failures are passed over (a drive root, a
// level that exists).
void create_levels(char* path) {
  for (char* p = path + 1;; ++p) {
    char c = *p;
    if (c != '\\' && c != '\0') continue;
    *p = '\0';
    CreateDirectoryA(path, nullptr);
    *p = c;
    if (c == '\0') return;
  }
}

// A stored name must be a bare file name: nothing that leads elsewhere.
bool is_bare_name(const char* name) {
  uint32_t n = 0;
  for (char c; (c = name[n]) != '\0'; ++n)
    if (c == '\\' || c == '/' || c == ':' || n + 1 >= sizeof s.header.file_name) return false;
  return n > 2 || (n > 0 && name[0] != '.') || (n == 2 && name[1] != '.');
}

const char* bare_name(const char* path) { return path + splitset::file_name_start(path); }

// Is the file that `info` describes the first piece, a later piece or the
// checksum file of the set?
bool is_set_file(const BY_HANDLE_FILE_INFORMATION& info) {
  if (is_file(info, s.checksums)) return true;
  for (int32_t k = 0; k < s.header.piece_count; ++k)
    if (name_piece(k) && is_file(info, s.name)) return true;
  return false;
}

// Reads the checksum file into s.checksum_text; s.checksum_size stays 0 when
// there is none, or it is too large or unreadable.
void read_checksum_file() {
  copy_text(s.checksums, s.own);
  if (!splitset::apply_piece_suffix(s.checksums, kPath, splitset::kChecksumSuffix, splitset::MarkerSearch::kReading)) return;
  HANDLE file = open_existing(s.checksums, GENERIC_READ);
  DWORD got = 0;
  if (file != INVALID_HANDLE_VALUE &&
      ReadFile(file, s.checksum_text, kChecksumFileCapacity, &got, nullptr) &&
      got < kChecksumFileCapacity)
    s.checksum_size = got;
  CloseHandle(file);
}

// The whole join; returns the exit code.
int join() {
  // A path that fills the buffer is cut short, and is not opened below.
  DWORD own_length = GetModuleFileNameA(nullptr, s.own, kPath);
  if (own_length >= kPath) s.own[0] = '\0';
  // The header: readable, naming a bare file and at least one piece, and
  // sound where it carries an integrity record.
  HANDLE first = open_existing(s.own, GENERIC_READ);
  bool read = seek(first, splitset::kHeaderOffset) && read_all(first, &s.header, sizeof s.header);
  CloseHandle(first);
  splitset::Integrity integrity = splitset::get_integrity(s.table, s.header, s.record);
  if (!read || !is_bare_name(s.header.file_name) || s.header.piece_count < 1 ||
      integrity == splitset::Integrity::kDamaged) {
    say("no sound header in %", s.own);
    return 1;
  }
  const bool has_record = integrity == splitset::Integrity::kSound;
  read_checksum_file();

  // Every piece must be there before any output is written; its record is
  // checked as it is copied. The checksum file counts only when it has a
  // line for every piece.
  for (int32_t k = 0; k < s.header.piece_count; ++k) {
    s.piece = name_piece(k) ? open_existing(s.name, GENERIC_READ) : INVALID_HANDLE_VALUE;
    CloseHandle(s.piece);
    if (s.piece == INVALID_HANDLE_VALUE) {
      say("missing piece %", s.name);
      return 1;
    }
    if (!splitset::sfv_find(s.checksum_text, s.checksum_size, bare_name(s.name), s.expected[k]))
      s.checksum_size = 0;
  }

  // The destination: the target or the current directory, made full (with
  // a backslash) before anything else, the target's levels created from the
  // full path. The command line's first item after the program's own name
  // is the target; its length is 0 without one.
  uint32_t target;
  read_item(read_item(GetCommandLineA(), target), target);
  if (target == 0) copy_text(s.target, ".");
  BY_HANDLE_FILE_INFORMATION info;
  // Each refusal names the folder (as given, until it is made full) and the
  // reason: a path too long, the system's, or a file where the folder goes.
  const char* folder = s.target;
  bool usable = false;
  SetLastError(ERROR_FILENAME_EXCED_RANGE);
  DWORD n = target < kPath ? GetFullPathNameA(s.target, kPath, s.destination, nullptr) : 0;
  // Made full (0 is a failure, kPath or more a path too long), with room for
  // a backslash. The folder itself is looked at without one (a file
  // named with a backslash behind it is an invalid name, not a file).
  if (n - 1 < kPath - 2) {
    if (s.destination[n - 1] == '\\') --n;
    s.destination[n] = '\0';
    folder = s.destination;
    // Room for what the join puts there: the file's name, a temporary name
    // "vrxNNNN.tmp" (GetTempFileNameA takes a folder of up to 246
    // characters), and for a compressed set the file's name inside the
    // expansion folder "vrxNNNN.tmpd\".
    uint32_t need = length_of(s.header.file_name) + (s.header.compressed ? 13 : 0);
    if (need < 13) need = 13;
    if (n + 1 + need < kPath) {
      // (Without a target these are the levels of the current directory,
      // which exist.)
      create_levels(s.destination);
      if (inspect(s.destination, info)) {
        SetLastError(ERROR_DIRECTORY);
        usable = info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
      }
    }
  }
  if (!usable) {
    say(target ? "!cannot use target %" : "!cannot use current directory %", folder);
    return 1;
  }
  s.destination[n] = '\\';
  s.destination[n + 1] = '\0';
  copy_text(s.final_path, s.destination);
  append(s.final_path, s.header.file_name);

  s.output = INVALID_HANDLE_VALUE;
  if (GetTempFileNameA(s.destination, "vrx", 0, s.temp)) {
    s.output = CreateFileA(s.temp, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (s.output == INVALID_HANDLE_VALUE) DeleteFileA(s.temp);
  }
  if (s.output == INVALID_HANDLE_VALUE) {
    say("!cannot write in %", s.destination);
    return 1;
  }

  for (int32_t k = 0; k < s.header.piece_count; ++k) {
    int64_t length = open_piece(k);
    Copy copied = length == -1 ? kDamaged : length < 0 ? kReadFailed : copy_piece(k, static_cast<uint32_t>(length));
    CloseHandle(s.piece);
    bool mismatch = copied == kCopied && s.checksum_size && s.piece_crc != s.expected[k];
    if (copied != kCopied || mismatch) {
      // The system's reason is taken before the clean-up can change it.
      const char* what = mismatch ? "damaged piece % (or %)" : "!cannot read piece %";
      if (copied == kDamaged) what = "damaged piece %";
      if (copied == kWriteFailed) say("!cannot write in %", s.destination);
      else say(what, s.name, s.checksums);
      CloseHandle(s.output);
      DeleteFileA(s.temp);
      return 1;
    }
  }
  CloseHandle(s.output);
  // The record guards the payload also where the checksum file passed every
  // piece: a stale piece with a checksum file written over the mixed set.
  if (has_record && s.crc != s.record.payload_crc) {
    say("damaged set; data kept as %", s.temp);
    return 1;
  }
  // A set cut short by Break holds the file's leading part only: it never
  // takes the file's name. A plain one is kept as the name with ".partial"
  // added where no file of that name exists (MoveFileExA without replacing),
  // else under its temporary name; a compressed one holds part of a cabinet
  // that cannot be expanded and stays under its temporary name.
  if (has_record && (s.record.flags & splitset::kIntegrityCutShort)) {
    const char* kept = s.temp;
    copy_text(s.name, s.final_path);
    if (!s.header.compressed && append(s.name, ".partial") && MoveFileExA(s.temp, s.name, 0)) kept = s.name;
    char count[2 * splitset::kPieceNumberCapacity + 24];
    uint32_t at = splitset::format_piece_number(count, s.record.payload_length, 1);
    copy_text(count + at, " of ");
    at += 4 + splitset::format_piece_number(count + at + 4, s.header.payload_size, 1);
    copy_text(count + at, s.header.compressed ? " bytes of a cabinet" : " bytes");
    say("set cut short by Break: % kept as %", count, kept);
    return 1;
  }

  if (s.header.compressed) {
    // Expand into a private folder named after the joined cabinet, which
    // the library fills as its current directory; keep only the one
    // expected file, under a temporary name of its own.
    copy_text(s.work, s.temp);
    copy_text(s.name, s.temp);  // the joined cabinet
    bool expanded = false;
    if (append(s.work, "d") && CreateDirectoryA(s.work, nullptr) && SetCurrentDirectoryA(s.work)) {
      uint32_t reader = vornex_init_uncab(s.name);
      expanded = reader != 0 && vornex_uncab_all(reader);
      if (reader != 0) vornex_close_uncab(reader);
      // Every path from here on is whole; the folder must not stay current.
      SetCurrentDirectoryA(s.destination);
    }
    // The expected file, moved out under a temporary name of its own (a
    // directory of that name cannot take the place of that file).
    uint32_t folder_length = length_of(s.work);
    bool reserved = expanded && append(s.work, "\\") && append(s.work, s.header.file_name) &&
                    GetTempFileNameA(s.destination, "vrx", 0, s.temp);
    expanded = reserved && MoveFileExA(s.work, s.temp, MOVEFILE_REPLACE_EXISTING);
    s.work[folder_length] = '\0';
    remove_tree(s.work);
    if (!expanded) {
      if (reserved) DeleteFileA(s.temp);
      say("cannot expand the cabinet; kept as %", s.name);
      return 1;
    }
    DeleteFileA(s.name);
  }

  // The source's last-write time, when the set carries it.
  if (has_record && (s.record.write_time_low | s.record.write_time_high)) {
    FILETIME time{s.record.write_time_low, s.record.write_time_high};
    HANDLE file = open_existing(s.temp, FILE_WRITE_ATTRIBUTES);
    SetFileTime(file, nullptr, nullptr, &time);
    CloseHandle(file);
  }

  // The rebuilt file takes its name. With a target an existing file stays;
  // without one it is replaced, unless it belongs to the set.
  if (inspect(s.final_path, info)) {
    if (target) {
      say("% exists; kept as %", s.final_path, s.temp);
      return 1;
    }
    if (is_set_file(info)) {
      say("% is part of the set; kept as % (give a target)",
          s.final_path, s.temp);
      return 1;
    }
  }
  if (!MoveFileExA(s.temp, s.final_path, target ? 0 : MOVEFILE_REPLACE_EXISTING)) {
    say("!cannot rename to %; kept as %", s.final_path, s.temp);
    return 1;
  }
  return 0;
}

// A joiner started in a console window of its own (a double-click) would
// close it with the message unread: wait for a key first. Never when the
// input is not a console or other programs share the console.
void hold_own_console() {
  DWORD processes[2];
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  if (GetConsoleProcessList(processes, 2) == 1 && SetConsoleMode(input, 0)) {
    read_all(input, s.buffer, 1);
  }
}

}  // namespace

extern "C" __attribute__((externally_visible)) void entry() {
  splitset::crc32_init(s.table);
  unsigned a, b, d;
  __cpuid(1, a, b, s.clmul, d);
  s.clmul &= bit_PCLMUL;
  int code = join();
  if (code != 0) hold_own_console();
  ExitProcess(static_cast<UINT>(code));
}
