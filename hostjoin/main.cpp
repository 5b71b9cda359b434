// velmora-join: rebuilds the file of a velmora split set on Linux and other
// POSIX systems, as running the set's first piece does on Windows.
//
// Usage: velmora-join [--codepage NAME] FIRST-PIECE [TARGET-DIRECTORY]
// The later pieces are looked for beside the first piece. The stored file
// name is read in the set's Windows code page, Windows-1252 unless
// --codepage names another (any name iconv knows). Without a target
// the file is rebuilt in the current directory (replacing a file of that
// name); with one it is rebuilt there, and an existing file is not replaced.
// A missing or damaged piece is repaired first, where PAR2 recovery volumes
// lie beside the set (one line says so). Exit code 0 and no other output on
// success; on failure one line on standard
// error says what failed, and the exit code is 1.
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "set_join.h"
#include "set_repair.h"

namespace {

constexpr char kUsage[] = "usage: velmora-join [--codepage NAME] FIRST-PIECE [TARGET-DIRECTORY]";

void say(const std::string& line) { std::fprintf(stderr, "velmora-join: %s\n", line.c_str()); }

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::printf("%s\n", kUsage);
    return 0;
  }
  hostjoin::JoinRequest request;
  std::vector<std::string> paths;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--codepage") != 0) {
      paths.push_back(argv[i]);
    } else if (i + 1 < argc && argv[i + 1][0] != '\0') {
      request.codepage = argv[++i];
    } else {
      say(kUsage);
      return 1;
    }
  }
  if (paths.empty() || paths.size() > 2 || paths[0].empty()) {
    say(kUsage);
    return 1;
  }
  request.first_piece = paths[0];
  if (paths.size() == 2) request.target = paths[1];
  std::string message;
  int code = 1;
  try {
    // A missing or damaged piece is first mended from the recovery volumes
    // beside the set, into a private folder that goes when the join ends.
    hostjoin::RepairedCopy repaired;
    std::string note = repaired.prepare(request);
    if (!note.empty()) say(note);
    code = hostjoin::join_set(request, message);
  } catch (const std::bad_alloc&) {
    message = "out of memory";
  } catch (const std::exception& e) {
    message = e.what();
  } catch (...) {
    // Whatever was thrown, the join did not finish: exit code 1 with a line,
    // never a silent abort.
    message = "the join stopped on an unexpected failure; nothing was put in place";
  }
  if (code != 0) say(message);
  return code;
}
