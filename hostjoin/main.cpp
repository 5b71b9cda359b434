// velmora-join: rebuilds the file of a velmora split set on Linux and other
// POSIX systems, as running the set's first piece does on Windows.
//
// Usage: velmora-join FIRST-PIECE [TARGET-DIRECTORY]
// The later pieces are looked for beside the first piece. Without a target
// the file is rebuilt in the current directory (replacing a file of that
// name); with one it is rebuilt there, and an existing file is not replaced.
// Exit code 0 and no output on success; on failure one line on standard
// error says what failed, and the exit code is 1.
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>
#include <string>

#include "set_join.h"

namespace {

constexpr char kUsage[] = "usage: velmora-join FIRST-PIECE [TARGET-DIRECTORY]";

void say(const std::string& line) { std::fprintf(stderr, "velmora-join: %s\n", line.c_str()); }

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::printf("%s\n", kUsage);
    return 0;
  }
  if (argc < 2 || argc > 3 || argv[1][0] == '\0') {
    say(kUsage);
    return 1;
  }
  hostjoin::JoinRequest request;
  request.first_piece = argv[1];
  if (argc == 3) request.target = argv[2];
  std::string message;
  int code = 1;
  try {
    code = hostjoin::join_set(request, message);
  } catch (const std::bad_alloc&) {
    message = "out of memory";
  } catch (const std::exception& e) {
    message = e.what();
  }
  if (code != 0) say(message);
  return code;
}
