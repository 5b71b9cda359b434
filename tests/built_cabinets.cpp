#include "built_cabinets.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "test_support.h"
#include "vornex.h"

namespace built_cabinets {
namespace {

std::string test_prefix() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string prefix = std::string(info->test_suite_name()) + "_" + info->name();
  std::replace(prefix.begin(), prefix.end(), '/', '_');
  return prefix;
}

void remove_matching(const std::string& dir, const std::string& pattern) {
  WIN32_FIND_DATAA entry;
  HANDLE find = FindFirstFileA((dir + "\\" + pattern).c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    std::string child = dir + "\\" + entry.cFileName;
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      testing_support::remove_tree(child);
    } else {
      SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileA(child.c_str());
    }
  } while (FindNextFileA(find, &entry));
  FindClose(find);
}

}  // namespace

std::string built_dir() {
  std::string dir = testing_support::testdata() + "\\..\\built";
  CreateDirectoryA(dir.c_str(), nullptr);
  return dir;
}

std::string cabinet_path_for_test(int n) {
  std::string prefix = test_prefix() + "_" + std::to_string(n);
  remove_matching(built_dir(), prefix + ".*");
  return built_dir() + "\\" + prefix + ".cab";
}

void write_expectations(const std::string& cabinet, const std::vector<Expected>& files) {
  std::string base = cabinet.substr(0, cabinet.size() - 4);
  std::string leaf = base.substr(base.rfind('\\') + 1);
  std::ostringstream lines;
  int index = 0;
  for (const Expected& f : files) {
    std::string ref = "-";
    if (f.compare_bytes) {
      ref = leaf + ".ref" + std::to_string(index++);
      ASSERT_TRUE(testing_support::write_file(built_dir() + "\\" + ref, f.bytes));
    }
    lines << f.stored_name << '\t' << ref << '\t' << f.attributes << '\t' << f.time << '\n';
  }
  ASSERT_TRUE(testing_support::write_file(base + ".expect", lines.str()));
}

std::vector<std::string> list_with_reader(const std::string& cabinet) {
  std::vector<std::string> names;
  uint32_t reader = vornex_init_uncab(cabinet.c_str());
  if (reader == 0) return names;
  int32_t count = vornex_file_count(reader);
  for (int32_t i = 0; i < count; ++i) {
    char name[260] = {};
    vornex_file_name_by_no(reader, name, i);
    names.emplace_back(name);
  }
  vornex_close_uncab(reader);
  return names;
}

void check_with_reader(const std::string& cabinet, const std::vector<Expected>& files) {
  std::vector<std::string> wanted;
  for (const Expected& f : files) wanted.push_back(f.stored_name);
  std::vector<std::string> names = list_with_reader(cabinet);
  std::vector<std::string> sorted_names = names, sorted_wanted = wanted;
  std::sort(sorted_names.begin(), sorted_names.end());
  std::sort(sorted_wanted.begin(), sorted_wanted.end());
  EXPECT_EQ(sorted_names, sorted_wanted) << cabinet;

  // Each stored name extracted on its own into an empty directory: the bare
  // file there must hold the source's bytes.
  uint32_t reader = vornex_init_uncab(cabinet.c_str());
  ASSERT_NE(reader, 0u) << cabinet;
  char temp[MAX_PATH];
  GetTempPathA(sizeof temp, temp);
  for (const Expected& f : files) {
    if (!f.compare_bytes) continue;
    std::string out = std::string(temp) + "vx_check_" + std::to_string(GetCurrentProcessId());
    testing_support::remove_tree(out);
    EXPECT_TRUE(vornex_uncab_by_name_ex(reader, f.stored_name.c_str(), out.c_str()));
    std::string leaf = f.stored_name.substr(f.stored_name.rfind('\\') + 1);
    EXPECT_EQ(testing_support::read_file(out + "\\" + leaf), f.bytes) << f.stored_name;
    testing_support::remove_tree(out);
  }
  vornex_close_uncab(reader);
}

void expect_cabinet(const std::string& cabinet, const std::vector<Expected>& files) {
  write_expectations(cabinet, files);
  check_with_reader(cabinet, files);
}

bool set_local_write_time(const std::string& path, WORD year, WORD month, WORD day, WORD hour,
                          WORD minute, WORD second) {
  SYSTEMTIME st{};
  st.wYear = year;
  st.wMonth = month;
  st.wDay = day;
  st.wHour = hour;
  st.wMinute = minute;
  st.wSecond = second;
  FILETIME local, utc;
  if (!SystemTimeToFileTime(&st, &local) || !LocalFileTimeToFileTime(&local, &utc)) return false;
  HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  BOOL ok = SetFileTime(file, nullptr, nullptr, &utc);
  CloseHandle(file);
  return ok != FALSE;
}

std::vector<std::string> log_messages() {
  std::vector<std::string> messages;
  std::istringstream in(testing_support::read_file("_caberrors.log"));
  std::string line;
  while (std::getline(in, line)) {
    while (!line.empty() && line.back() == '\r') line.pop_back();
    messages.push_back(line.size() >= 20 ? line.substr(20) : line);
  }
  return messages;
}

std::string make_sparse(const std::string& path, uint64_t size) {
  ULARGE_INTEGER free_before{}, free_after{};
  GetDiskFreeSpaceExA(path.substr(0, path.rfind('\\') + 1).c_str(), &free_before, nullptr, nullptr);
  HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return "cannot create " + path;
  LONG high = static_cast<LONG>(size >> 32);
  SetFilePointer(f, static_cast<LONG>(size & 0xFFFFFFFFu), &high, FILE_BEGIN);
  BOOL sized = SetEndOfFile(f);
  CloseHandle(f);
  // Sparse only if the disk's free space hardly moved (Wine reports no
  // allocation sizes of its own).
  GetDiskFreeSpaceExA(path.substr(0, path.rfind('\\') + 1).c_str(), &free_after, nullptr, nullptr);
  uint64_t used = free_before.QuadPart > free_after.QuadPart
                      ? free_before.QuadPart - free_after.QuadPart : 0;
  if (sized && used <= (64u << 20)) return "";
  DeleteFileA(path.c_str());
  return "the temporary file system does not keep " + path + " sparse (sized " +
         std::to_string(sized) + ", " + std::to_string(used) + " bytes used)";
}

}  // namespace built_cabinets
