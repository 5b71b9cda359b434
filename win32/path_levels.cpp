#include "path_levels.h"

#include <windows.h>

#include <cstring>

namespace winsup {

void create_parent_levels(const char* path) {
  if (!path) return;
  const size_t length = std::strlen(path);
  if (length >= MAX_PATH) return;
  char level[MAX_PATH];
  std::memcpy(level, path, length + 1);
  char* first = std::strchr(level, '\\');
  if (!first) return;
  for (char* at = std::strchr(first + 1, '\\'); at; at = std::strchr(at + 1, '\\')) {
    const char kept = at[1];
    at[1] = '\0';  // the path up to and including this backslash
    CreateDirectoryA(level, nullptr);
    at[1] = kept;
  }
}

}  // namespace winsup
