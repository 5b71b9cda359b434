// The floors of the two block rules, for the split benchmark: the least work
// each rule allows, with nothing else around it (no records, no checksums, no
// joiner image). The floor's pieces hold the set's data areas where the set
// holds them, behind the first piece's 6940 bytes of head and record and a
// later piece's 12-byte record, with those bytes left unwritten.
//   block_floor split SOURCE DIR SECTION [flat|thread]   cuts SOURCE into
//       DIR\floor.000, .001, ... of SECTION bytes through one 2048-byte
//       buffer, positioning the source and the piece explicitly before every
//       block read and write; with `flat`, every piece's data from its
//       offset 0 (what a file system pays for the set's offsets: a block at
//       offset 12 straddles two pages half the time); with `thread`, on a
//       second thread while the first waits (what a program pays whose copy
//       runs beside a window's thread, as the dialog's does: under Linux
//       every read, write and seek of a process with threads takes a
//       reference on the file)
//   block_floor join DIR OUTPUT            appends the data areas of
//       DIR\floor.000, .001, ... to OUTPUT in 2048-byte reads, in sequence,
//       positioning each piece once, at its data area
// Exit code 0 when every byte count was right.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "split_set_format.h"

namespace {

constexpr DWORD kBlock = 2048;
char g_buffer[kBlock];

std::string piece_path(const std::string& dir, unsigned number) {
  char name[32];
  std::snprintf(name, sizeof name, "\\floor.%03u", number);
  return dir + name;
}

// Where a piece's data area begins in a set.
DWORD data_offset(unsigned number) {
  return number == 0 ? splitset::kFirstDataOffset : splitset::kLaterDataOffset;
}

int split(const char* source_path, const std::string& dir, DWORD section, bool flat) {
  HANDLE source = CreateFileA(source_path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (source == INVALID_HANDLE_VALUE) return 1;
  const DWORD size = GetFileSize(source, nullptr);
  DWORD source_offset = 0;
  for (unsigned number = 0; source_offset < size; ++number) {
    HANDLE piece = CreateFileA(piece_path(dir, number).c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                               nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (piece == INVALID_HANDLE_VALUE) return 1;
    for (DWORD piece_offset = flat ? 0 : data_offset(number);
         piece_offset < section && source_offset < size;) {
      DWORD length = kBlock;
      if (section - piece_offset < length) length = section - piece_offset;
      if (size - source_offset < length) length = size - source_offset;
      DWORD got = 0, put = 0;
      SetFilePointer(source, static_cast<LONG>(source_offset), nullptr, FILE_BEGIN);
      if (!ReadFile(source, g_buffer, length, &got, nullptr) || got != length) return 1;
      SetFilePointer(piece, static_cast<LONG>(piece_offset), nullptr, FILE_BEGIN);
      if (!WriteFile(piece, g_buffer, length, &put, nullptr) || put != length) return 1;
      source_offset += length;
      piece_offset += length;
    }
    CloseHandle(piece);
  }
  CloseHandle(source);
  return 0;
}

int join(const std::string& dir, const char* output_path) {
  HANDLE output = CreateFileA(output_path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (output == INVALID_HANDLE_VALUE) return 1;
  for (unsigned number = 0;; ++number) {
    HANDLE piece = CreateFileA(piece_path(dir, number).c_str(), GENERIC_READ, FILE_SHARE_READ,
                               nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (piece == INVALID_HANDLE_VALUE) break;
    SetFilePointer(piece, static_cast<LONG>(data_offset(number)), nullptr, FILE_BEGIN);
    for (;;) {
      DWORD got = 0, put = 0;
      if (!ReadFile(piece, g_buffer, kBlock, &got, nullptr)) return 1;
      if (got == 0) break;
      if (!WriteFile(output, g_buffer, got, &put, nullptr) || put != got) return 1;
    }
    CloseHandle(piece);
  }
  CloseHandle(output);
  return 0;
}

// One split on a thread of its own, the process's first thread waiting.
struct SplitArguments {
  const char* source;
  std::string dir;
  DWORD section;
  int result;
};

DWORD WINAPI split_on_thread(void* argument) {
  auto* a = static_cast<SplitArguments*>(argument);
  a->result = split(a->source, a->dir, a->section, false);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc == 6 ? argv[5] : "";
  if ((argc == 5 || mode == "flat" || mode == "thread") && std::string(argv[1]) == "split") {
    const DWORD section = static_cast<DWORD>(std::strtoul(argv[4], nullptr, 10));
    if (mode != "thread") return split(argv[2], argv[3], section, mode == "flat");
    SplitArguments arguments{argv[2], argv[3], section, 1};
    HANDLE thread = CreateThread(nullptr, 0, split_on_thread, &arguments, 0, nullptr);
    if (!thread) return 1;
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    return arguments.result;
  }
  if (argc == 4 && std::string(argv[1]) == "join") return join(argv[2], argv[3]);
  std::fprintf(stderr, "usage: block_floor split SOURCE DIR SECTION [flat|thread] | join DIR OUTPUT\n");
  return 2;
}
