#include "split_test_support.h"

#include <cstring>

#include "crc32.h"
#include "set_integrity.h"
#include "test_support.h"

namespace split_testing {

using testing_support::bin_dir;
using testing_support::read_file;

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

}  // namespace split_testing
