#include "test_support.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace testing_support {

std::string testdata(const std::string& name) {
  const char* dir = std::getenv("VELMORA_TESTDATA");
  std::string base = dir ? dir : ".";
  return name.empty() ? base : base + "\\" + name;
}

std::string bin_dir() {
  const char* dir = std::getenv("VELMORA_BIN");
  return dir ? dir : ".";
}

ScratchDir::ScratchDir() {
  char temp[MAX_PATH];
  GetTempPathA(sizeof temp, temp);
  static unsigned counter = 0;
  for (;;) {
    std::ostringstream name;
    name << temp << "vt" << GetCurrentProcessId() << "_" << GetTickCount() << "_" << ++counter;
    if (CreateDirectoryA(name.str().c_str(), nullptr)) {
      path_ = name.str();
      break;
    }
  }
  char cwd[MAX_PATH];
  GetCurrentDirectoryA(sizeof cwd, cwd);
  previous_ = cwd;
  SetCurrentDirectoryA(path_.c_str());
}

ScratchDir::~ScratchDir() {
  SetCurrentDirectoryA(previous_.c_str());
  remove_tree(path_);
}

bool file_exists(const std::string& path) {
  DWORD a = GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool dir_exists(const std::string& path) {
  DWORD a = GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

bool write_file(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

void remove_tree(const std::string& path) {
  WIN32_FIND_DATAA entry;
  HANDLE find = FindFirstFileA((path + "\\*").c_str(), &entry);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::string name = entry.cFileName;
      if (name == "." || name == "..") continue;
      std::string child = path + "\\" + name;
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        remove_tree(child);
      } else {
        SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(child.c_str());
      }
    } while (FindNextFileA(find, &entry));
    FindClose(find);
  }
  RemoveDirectoryA(path.c_str());
}

std::vector<std::string> files_in(const std::string& dir) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA entry;
  HANDLE find = FindFirstFileA((dir + "\\*").c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(entry.cFileName);
  } while (FindNextFileA(find, &entry));
  FindClose(find);
  return names;
}

std::map<std::string, std::string> list_tree(const std::string& dir) {
  std::map<std::string, std::string> tree;
  WIN32_FIND_DATAA entry;
  HANDLE find = FindFirstFileA((dir + "\\*").c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return tree;
  do {
    std::string name = entry.cFileName;
    if (name == "." || name == "..") continue;
    std::string child = dir + "\\" + name;
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      tree[name + "\\"] = "<dir>";
      for (const auto& [below, bytes] : list_tree(child)) tree[name + "\\" + below] = bytes;
    } else {
      tree[name] = read_file(child);
    }
  } while (FindNextFileA(find, &entry));
  FindClose(find);
  return tree;
}

std::string temp_dir() {
  char temp[MAX_PATH];
  DWORD n = GetTempPathA(sizeof temp, temp);
  return std::string(temp, n);
}

std::vector<std::string> tree_listing(const std::string& dir, const std::vector<std::string>& skip) {
  std::vector<std::string> out;
  for (const auto& [path, bytes] : list_tree(dir)) {
    bool skipped = std::any_of(skip.begin(), skip.end(), [&path = path](const std::string& s) {
      return path == s || path.rfind(s + "\\", 0) == 0;
    });
    if (skipped) continue;
    out.push_back(path.back() == '\\' ? path : path + " " + std::to_string(bytes.size()));
  }
  std::sort(out.begin(), out.end());
  return out;
}

std::string pattern_bytes(size_t size, unsigned seed) {
  std::string bytes(size, '\0');
  unsigned x = seed * 2654435761u + 1;
  for (size_t i = 0; i < size; ++i) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    bytes[i] = static_cast<char>(x >> 24);
  }
  return bytes;
}

}  // namespace testing_support
