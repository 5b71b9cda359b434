#include "split_test_support.h"

#include <cstring>
#include <sstream>

#include <gtest/gtest.h>

#include "crc32.h"
#include "set_integrity.h"
#include "split_engine.h"
#include "test_support.h"

namespace split_testing {

using testing_support::bin_dir;
using testing_support::read_file;

bool TestHooks::ask_for_disk(velmora::DiskRequest request) {
  if (!disk) {
    ADD_FAILURE() << "unexpected disk prompt "
                  << (request == velmora::DiskRequest::kAnotherDisk ? "(another disk)"
                                                                     : "(first disk again)");
    return false;
  }
  return disk(request);
}

int run_split(const std::string& source, const std::string& target, int32_t section,
              bool compress, bool autodetect, TestHooks& hooks, std::string* payload_path) {
  SplitJob job{};
  std::strncpy(job.source_path, source.c_str(), sizeof job.source_path - 1);
  std::strncpy(job.target_directory, target.c_str(), sizeof job.target_directory - 1);
  job.section_size = section;
  job.compress = compress ? 1 : 0;
  job.autodetect = autodetect ? 1 : 0;
  job.no_library = hooks.no_library ? 1 : 0;
  int result = velmora::split_file(job, hooks);
  if (payload_path) *payload_path = job.source_path;
  return result;
}

ProcessResult run_process(const std::string& command_line, const std::string& directory,
                          DWORD timeout_ms) {
  ProcessResult result;
  char temp[MAX_PATH];
  GetTempPathA(sizeof temp, temp);
  char capture_path[MAX_PATH];
  GetTempFileNameA(temp, "out", 0, capture_path);
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE capture = CreateFileA(capture_path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = nullptr;
  startup.hStdOutput = capture;
  startup.hStdError = capture;
  PROCESS_INFORMATION process{};
  std::vector<char> line(command_line.begin(), command_line.end());
  line.push_back('\0');
  if (CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                     directory.empty() ? nullptr : directory.c_str(), &startup, &process)) {
    if (WaitForSingleObject(process.hProcess, timeout_ms) == WAIT_TIMEOUT) {
      result.timed_out = true;
      TerminateProcess(process.hProcess, 0xdead);
      WaitForSingleObject(process.hProcess, 10000);
    }
    GetExitCodeProcess(process.hProcess, &result.exit_code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  CloseHandle(capture);
  result.output = read_file(capture_path);
  DeleteFileA(capture_path);
  return result;
}

void add_bin_to_path() {
  char path[32768];
  DWORD n = GetEnvironmentVariableA("PATH", path, sizeof path);
  std::string value = bin_dir() + (n ? ";" + std::string(path, n) : "");
  SetEnvironmentVariableA("PATH", value.c_str());
}

void remove_bin_from_path() {
  char path[8192];
  DWORD n = GetEnvironmentVariableA("PATH", path, sizeof path);
  std::string value(path, n < sizeof path ? n : 0);
  for (size_t at; (at = value.find(bin_dir() + ";")) != std::string::npos;)
    value.erase(at, bin_dir().size() + 1);
  SetEnvironmentVariableA("PATH", value.c_str());
}

std::string velmora_exe() { return bin_dir() + "\\velmora.exe"; }
std::string joiner_exe() { return bin_dir() + "\\joiner.exe"; }

bool make_sized_file(const std::string& path, uint64_t size) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  LONG high = static_cast<LONG>(size >> 32);
  bool ok = SetFilePointer(file, static_cast<LONG>(size & 0xFFFFFFFFu), &high, FILE_BEGIN) !=
                INVALID_SET_FILE_POINTER &&
            SetEndOfFile(file);
  CloseHandle(file);
  return ok;
}

std::string piece_name(const std::string& first_piece, uint32_t number) {
  char path[splitset::kPathCapacity];
  std::strcpy(path, first_piece.c_str());
  char suffix[splitset::kPieceNumberCapacity];
  splitset::format_piece_number(suffix, number);
  splitset::apply_piece_suffix(path, sizeof path, suffix);
  return path;
}

std::string write_test_set(const std::string& first_path, const std::string& name,
                           const std::vector<PieceSpec>& pieces, bool compressed, bool checksums) {
  static splitset::Crc32Table table;
  splitset::crc32_init(table);
  auto bytes_of = [](const void* data, size_t size) { return std::string(static_cast<const char*>(data), size); };
  std::string payload;
  for (const PieceSpec& piece : pieces) payload += piece.data;
  splitset::SplitHeader header;
  std::memset(&header, 0, sizeof header);
  std::strncpy(header.file_name, name.c_str(), sizeof header.file_name - 1);
  header.payload_size = static_cast<uint32_t>(payload.size());
  header.piece_count = static_cast<int32_t>(pieces.size());
  header.compressed = compressed ? 1 : 0;
  if (checksums) {
    splitset::IntegrityRecord record{};
    record.payload_length = header.payload_size;
    record.payload_crc = splitset::crc32_update(table, 0, payload.data(), payload.size());
    splitset::put_integrity(table, header, record);
  }
  std::vector<std::string> files = {
      testing_support::read_file(joiner_exe()) + bytes_of(&header, sizeof header) +
      bytes_of(&pieces[0].chunk, sizeof pieces[0].chunk) + pieces[0].data};
  for (size_t k = 1; k < pieces.size(); ++k)
    files.push_back(bytes_of(&pieces[k].chunk, sizeof pieces[k].chunk) + pieces[k].data);
  std::string sfv = "; checksums\r\n";
  for (size_t k = 0; k < files.size(); ++k) {
    std::string path = k == 0 ? first_path : piece_name(first_path, static_cast<uint32_t>(k - 1));
    testing_support::write_file(path, files[k]);
    char line[300];
    splitset::sfv_line(line, path.substr(path.rfind('\\') + 1).c_str(),
                       splitset::crc32_update(table, 0, files[k].data(), files[k].size()));
    sfv += line;
  }
  char sfv_path[splitset::kPathCapacity];
  std::strcpy(sfv_path, first_path.c_str());
  splitset::apply_piece_suffix(sfv_path, sizeof sfv_path, splitset::kChecksumSuffix);
  if (checksums) testing_support::write_file(sfv_path, sfv);
  return payload;
}

namespace {
// The data area of `bytes` from `data_start` by the block rule; false when
// the record asks for more than the file holds.
bool data_area(const std::string& bytes, size_t data_start, const splitset::ChunkRecord& chunk,
               std::string& out) {
  int64_t length = splitset::chunk_data_length(chunk);
  if (length < 0 || data_start + length > bytes.size()) return false;
  out = bytes.substr(data_start, static_cast<size_t>(length));
  return true;
}
}  // namespace

std::string SetOnDisk::payload() const {
  std::string all;
  for (const Piece& piece : pieces) all += piece.data;
  return all;
}

SetOnDisk read_set(const std::string& first_piece) {
  SetOnDisk set;
  std::string first = read_file(first_piece);
  if (first.size() < splitset::kFirstDataOffset) return set;
  set.image = first.substr(0, splitset::kJoinerImageSize);
  std::memcpy(&set.header, first.data() + splitset::kHeaderOffset, sizeof set.header);
  Piece head;
  head.name = first_piece;
  head.file_size = first.size();
  std::memcpy(&head.chunk, first.data() + splitset::kFirstChunkOffset, sizeof head.chunk);
  if (!data_area(first, splitset::kFirstDataOffset, head.chunk, head.data)) return set;
  set.pieces.push_back(head);
  for (int32_t k = 1; k < set.header.piece_count; ++k) {
    Piece piece;
    piece.name = piece_name(first_piece, static_cast<uint32_t>(k - 1));
    std::string bytes = read_file(piece.name);
    if (bytes.size() < splitset::kChunkSize) return set;
    piece.file_size = bytes.size();
    std::memcpy(&piece.chunk, bytes.data(), sizeof piece.chunk);
    if (!data_area(bytes, splitset::kLaterDataOffset, piece.chunk, piece.data)) return set;
    set.pieces.push_back(piece);
  }
  set.readable = true;
  return set;
}

uint32_t system_crc32(const std::string& bytes) {
  using Crc = DWORD(WINAPI*)(DWORD, const BYTE*, INT);
  static Crc compute =
      reinterpret_cast<Crc>(reinterpret_cast<void*>(
          GetProcAddress(GetModuleHandleA("ntdll.dll"), "RtlComputeCrc32")));
  if (!compute) return 0xdeadbeef;
  return compute(0, reinterpret_cast<const BYTE*>(bytes.data()), static_cast<INT>(bytes.size()));
}

namespace {
// The lines "name CRC" of an SFV file, names in lower case.
std::vector<std::pair<std::string, uint32_t>> sfv_lines(const std::string& text) {
  std::vector<std::pair<std::string, uint32_t>> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == ';') continue;
    size_t blank = line.rfind(' ');
    if (blank == std::string::npos) {
      lines.emplace_back(line, 0);
      continue;
    }
    std::string name = line.substr(0, blank);
    for (char& c : name) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    lines.emplace_back(name, static_cast<uint32_t>(std::stoul(line.substr(blank + 1), nullptr, 16)));
  }
  return lines;
}

std::string lower_bare(const std::string& path) {
  std::string name = path.substr(path.rfind('\\') + 1);
  for (char& c : name) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return name;
}
}  // namespace

std::string checksum_findings(const SetOnDisk& set, bool cut_short, const std::string& source,
                              bool expect_sfv) {
  std::ostringstream findings;
  if (!set.readable || set.pieces.empty()) return "the set cannot be read\n";
  splitset::Crc32Table table;
  splitset::crc32_init(table);
  splitset::IntegrityRecord record{};
  if (splitset::get_integrity(table, set.header, record) != splitset::Integrity::kSound)
    findings << "no sound integrity record\n";
  const std::string payload = set.payload();
  if (record.piece_count != set.header.piece_count ||
      record.piece_count != static_cast<int32_t>(set.pieces.size()))
    findings << "record counts " << record.piece_count << " pieces\n";
  if (record.payload_length != payload.size())
    findings << "record length " << record.payload_length << ", set holds " << payload.size() << "\n";
  if (record.payload_crc != system_crc32(payload)) findings << "record CRC differs\n";
  if (((record.flags & splitset::kIntegrityCutShort) != 0) != cut_short)
    findings << "cut-short flag " << int(record.flags) << "\n";
  if (cut_short != (payload.size() < set.header.payload_size))
    findings << "payload_size " << set.header.payload_size << " vs " << payload.size() << "\n";
  if (!source.empty()) {
    WIN32_FILE_ATTRIBUTE_DATA info;
    if (!GetFileAttributesExA(source.c_str(), GetFileExInfoStandard, &info) ||
        info.ftLastWriteTime.dwLowDateTime != record.write_time_low ||
        info.ftLastWriteTime.dwHighDateTime != record.write_time_high)
      findings << "record write time differs from the source's\n";
  }
  // Outside the record the free bytes stay as the format leaves them: zero.
  size_t name_end = std::strlen(set.header.file_name);
  for (size_t i = name_end; i < splitset::kIntegrityNameOffset; ++i)
    if (set.header.file_name[i] != 0) findings << "file_name byte " << i << " is not zero\n";
  for (uint8_t b : set.header.reserved)
    if (b != 0) findings << "reserved byte not zero\n";

  std::string sfv_path = set.pieces[0].name;
  sfv_path = sfv_path.substr(0, sfv_path.size() - 3) + "sfv";
  DWORD attributes = GetFileAttributesA(sfv_path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    if (expect_sfv) findings << "no checksum file\n";
    return findings.str();
  }
  if (!expect_sfv) findings << "a checksum file where none was expected\n";
  auto lines = sfv_lines(read_file(sfv_path));
  // The library beside the set, where there is one, has the last line.
  const std::string library = sfv_path.substr(0, sfv_path.rfind('\\') + 1) + "vornex.dll";
  const size_t has_library = GetFileAttributesA(library.c_str()) != INVALID_FILE_ATTRIBUTES;
  if (lines.size() != set.pieces.size() + has_library)
    findings << "checksum file has " << lines.size() << " lines\n";
  else if (has_library && lines.back() != std::make_pair(std::string("vornex.dll"),
                                                         system_crc32(read_file(library))))
    findings << "the library's line is " << lines.back().first << "\n";
  for (size_t k = 0; k < set.pieces.size() && k < lines.size(); ++k) {
    const Piece& piece = set.pieces[k];
    if (lines[k].first != lower_bare(piece.name)) findings << "line " << k << " names " << lines[k].first << "\n";
    if (lines[k].second != system_crc32(read_file(piece.name)))
      findings << "checksum of " << lower_bare(piece.name) << " differs\n";
  }
  return findings.str();
}

}  // namespace split_testing
