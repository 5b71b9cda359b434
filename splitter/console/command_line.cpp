#include "command_line.h"

#include <windows.h>

#include <cstring>

#include "split_set_format.h"

namespace velmora {

namespace {

std::string lower(std::string text) {
  for (char& c : text) c = splitset::ascii_lower(c);
  return text;
}

Command usage(const std::string& problem) {
  Command command;
  command.kind = Command::Kind::kUsage;
  command.problem = problem;
  return command;
}

// A section size: decimal digits only, at most 2,147,483,647.
bool read_size(const std::string& text, int32_t& value) {
  if (text.empty() || text.size() > 10) return false;
  long long number = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    number = number * 10 + (c - '0');
  }
  if (number > 0x7FFFFFFF) return false;
  value = static_cast<int32_t>(number);
  return true;
}

bool fits(const std::string& text, size_t capacity) { return text.size() < capacity; }

// "/recovery N" (N volumes, at most 32768) or "/recovery N%" (N percent of
// the pieces, at most 100).
bool read_recovery(const std::string& text, SplitJob& job) {
  std::string digits = text;
  job.recovery_percent = !digits.empty() && digits.back() == '%';
  if (job.recovery_percent) digits.pop_back();
  int32_t value = 0;
  if (!read_size(digits, value) || value > (job.recovery_percent ? 100 : 32768)) return false;
  job.recovery = static_cast<uint32_t>(value);
  return true;
}

}  // namespace

Command parse_command_line(const std::vector<std::string>& arguments, size_t unspellable) {
  Command command;
  if (arguments.empty()) return command;
  const std::string word = lower(arguments[0]);
  if (word != "/split" && word != "/verify" && word != "/repair" && word != "/join") {
    const std::string& first = arguments[0];
    if (unspellable != 0 && !first.empty() && first[0] == '/' &&
        GetFileAttributesA(first.c_str()) == INVALID_FILE_ATTRIBUTES)
      return usage("unknown command " + first);
    if (arguments.size() == 1) {
      command.file_unspellable = unspellable == 0;
      if (unspellable != 0) command.file_name = first;
    }
    return command;
  }
  if (unspellable != kAllSpelled) {
    command.kind = Command::Kind::kUnspellable;
    command.problem = "argument " + std::to_string(unspellable + 1) +
                      " names a file or folder that the system's ANSI code page cannot spell "
                      "(Windows would use a look-alike name); nothing was written";
    return command;
  }
  std::vector<std::string> positional;
  bool compress = false, idle = false, autodetect = false, no_library = false;
  SplitJob& job = command.job;
  for (size_t i = 1; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (argument.size() > 1 && argument[0] == '/') {
      const std::string option = lower(argument);
      if (word == "/split" && option == "/recovery") {
        if (i + 1 >= arguments.size() || !read_recovery(arguments[++i], job))
          return usage("/recovery takes a number of volumes (at most 32768) or a share of the "
                       "pieces (N%, at most 100%)");
      } else if (word == "/split" && option == "/compress") {
        compress = true;
      } else if (word == "/split" && option == "/idle") {
        idle = true;
      } else if (word == "/split" && option == "/auto") {
        autodetect = true;
      } else if (word == "/split" && option == "/nolibrary") {
        no_library = true;
      } else {
        return usage("unknown option " + argument);
      }
    } else {
      positional.push_back(argument);
    }
  }
  if (word == "/verify" || word == "/repair") {
    if (positional.size() != 1) return usage(word + " takes one argument, the first piece");
    if (!fits(positional[0], sizeof command.job.source_path))
      return usage("the first piece's path is longer than 259 characters");
    command.kind = word == "/verify" ? Command::Kind::kVerify : Command::Kind::kRepair;
    command.first_piece = positional[0];
    return command;
  }
  if (word == "/join") {
    if (positional.size() < 1 || positional.size() > 2)
      return usage("/join takes the first piece and, if wanted, a target directory");
    for (const std::string& path : positional)
      if (!fits(path, sizeof command.job.source_path)) return usage("a path is longer than 259 characters");
    command.kind = Command::Kind::kJoin;
    command.first_piece = positional[0];
    if (positional.size() == 2) command.target = positional[1];
    return command;
  }
  if (positional.size() != 3)
    return usage("/split takes three arguments: SOURCE TARGET-DIRECTORY SECTION-SIZE");
  if (!read_size(positional[2], job.section_size))
    return usage("the section size " + positional[2] + " is not a whole number of bytes");
  if (autodetect && job.section_size != 0)
    return usage("with /auto the section size is given as 0");
  if (positional[0].empty()) return usage("the source is empty");
  if (!fits(positional[0], sizeof job.source_path) ||
      !fits(positional[1], sizeof job.target_directory))
    return usage("a path is longer than 259 characters");
  std::strcpy(job.source_path, positional[0].c_str());
  std::strcpy(job.target_directory, positional[1].c_str());
  job.compress = compress ? 1 : 0;
  job.idle_priority = idle ? 1 : 0;
  job.autodetect = autodetect ? 1 : 0;
  job.no_library = no_library ? 1 : 0;
  command.kind = Command::Kind::kSplit;
  return command;
}

}  // namespace velmora
