#include "source_file_name.h"

#include <windows.h>

namespace velmora {

namespace {
bool is_blank(char c) { return c == ' ' || c == '\t'; }
}  // namespace

std::string first_command_line_item(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && is_blank(text[i])) ++i;
  std::string item;
  bool quoted = false;
  for (; i < text.size(); ++i) {
    char c = text[i];
    if (c == '"') {
      quoted = !quoted;
    } else if (is_blank(c) && !quoted) {
      break;
    } else {
      item += c;
    }
  }
  return item;
}

std::string resolve_source_file(const std::string& text,
                                const std::function<bool(const std::string&)>& file_exists) {
  if (!text.empty() && file_exists(text)) return text;
  // Only a quoted text is read as a command line (to drop its quotes): an
  // unquoted name that does not exist must not fall back on a shorter one.
  size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos || text[first] != '"') return "";
  std::string item = first_command_line_item(text);
  if (!item.empty() && file_exists(item)) return item;
  return "";
}

bool is_existing_file(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace velmora
