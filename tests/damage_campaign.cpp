// The bad-input campaign. Damaged cabinets (gcab's, our builder's, and ones
// built byte by byte with hostile stored names) go through the reader
// exports; builds and extractions run against a full drive A: and unwritable
// paths. Every case must end without a crash or a hang, write nothing outside
// its destination and report no success for a job that failed.
//
// How it works: the program supervises itself. Run as
//   damage_campaign.exe [seed [scale]]
// it starts itself as a worker,
//   damage_campaign.exe --work seed scale first dir
// which makes the same seeded cases and runs them from `first` on, writing
// "start N what" before and "done N" or "wrong N: why" after each to dir\log.
// A worker that dies or stops moving is started again after the case it was
// on: a crash (the worker's exception handler names the faulting module, so a
// crash inside the system's cabinet.dll is counted apart; its input is kept
// in build\campaign_kept) or a hang (no new line for kHangSeconds). Then the
// figures are printed; the exit code is 0 only without crashes in our code,
// hangs and wrong results.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "raw_cabinet.h"
#include "test_support.h"
#include "vornex.h"

using namespace testing_support;

namespace {

constexpr DWORD kHangSeconds = 30;
constexpr uint64_t kFloppyBytes = 1474560;
using Members = std::vector<raw_cabinet::Member>;

struct Base {
  std::string name, bytes;
  Members members;       // what an intact copy gives
  bool checked = true;   // an intact copy must extract to `members`
  bool damaged = true;   // make damaged copies of it
};

std::string lower(std::string s) {
  for (char& ch : s) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  return s;
}

bool exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::vector<std::string> files_only(const std::string& dir) {
  std::vector<std::string> files = tree_listing(dir);
  files.erase(std::remove_if(files.begin(), files.end(), [](const std::string& e) { return e.back() == '\\'; }),
              files.end());
  return files;
}

std::vector<Base> make_bases(const std::string& scratch) {
  const std::string a = "alpha file\r\n", b = "bravo in a subdirectory\n";
  std::vector<Base> bases = {
      {"two.cab", read_file(testdata("two.cab")), {{"a.txt", a}, {"sub\\b.txt", b}}},
      {"two_mszip.cab", read_file(testdata("two_mszip.cab")), {{"a.txt", a}, {"sub\\b.txt", b}}},
      {"big.cab", read_file(testdata("big.cab")),
       {{"big.txt", read_file(testdata("src\\big.txt"))}, {"noise.bin", read_file(testdata("src\\noise.bin"))},
        {"a.txt", a}}}};
  std::string text, list;
  for (int i = 0; i < 3000; ++i) text += "line " + std::to_string(i) + " of our own text\r\n";
  Members ours = {{"text.txt", text}, {"noise.bin", pattern_bytes(40000, 3)}, {"empty.txt", ""}};
  for (const auto& m : ours) write_file(scratch + "\\" + m.name, m.bytes), list += scratch + "\\" + m.name + '\0';
  vornex_add_files_one_step((list + '\0').c_str(), (scratch + "\\ours.cab").c_str(), 0, nullptr, 2);
  bases.push_back({"ours.cab", read_file(scratch + "\\ours.cab"), ours});
  Members raw = {{"one.txt", "one"}, {"dir\\two.bin", pattern_bytes(70000, 4)}};
  bases.push_back({"raw.cab", raw_cabinet::build(raw), raw});
  for (const std::string& name :
       {std::string("..\\x"), std::string("a\\..\\..\\x"), std::string("../x"), std::string("\\\\?\\C:\\x"),
        std::string("C:..\\x"), std::string("C:\\abs\\x"), std::string("\\rooted\\x"),
        std::string("..\\..\\..\\..\\..\\..\\x"), std::string("CON"), std::string("sub\\NUL"),
        std::string("x:stream"), std::string("dir\\"), std::string(".."), std::string(""),
        std::string(255, 'n'), std::string(256, 'n'), std::string(300, 'n'), "d\\" + std::string(251, 'n')})
    bases.push_back({"hostile '" + name.substr(0, 20) + "'",
                     raw_cabinet::build({{"good.txt", "good"}, {name, "hostile"}, {"z.txt", "last"}}), {}, false});
  // Inputs that once crashed the system's engine (tests/campaign_kept).
  WIN32_FIND_DATAA entry;
  HANDLE find = FindFirstFileA(testdata("kept\\*.cab").c_str(), &entry);
  for (bool more = find != INVALID_HANDLE_VALUE; more; more = FindNextFileA(find, &entry))
    bases.push_back({std::string("kept ") + entry.cFileName,
                     read_file(testdata(std::string("kept\\") + entry.cFileName)), {}, false, false});
  if (find != INVALID_HANDLE_VALUE) FindClose(find);
  return bases;
}

// ---------------------------------------------------------- reader cases --

// The full path the "_ex" forms give a stored name, or "" when it is not
// inside `dest` (the rule the library promises, computed here on its own).
std::string expected_path(const std::string& dest, const std::string& stored, bool all_files) {
  std::size_t cut = all_files ? stored.find(':') : stored.rfind('\\');
  std::string joined = dest + "\\" + (cut == std::string::npos ? stored : stored.substr(cut + 1));
  char full[MAX_PATH], base[MAX_PATH];
  DWORD n = GetFullPathNameA(joined.c_str(), MAX_PATH, full, nullptr);
  DWORD d = GetFullPathNameA(dest.c_str(), MAX_PATH, base, nullptr);
  if (joined.size() >= MAX_PATH || n == 0 || n >= MAX_PATH || d == 0 || d >= MAX_PATH) return "";
  std::string prefix = lower(std::string(base, d)) + "\\", path = lower(std::string(full, n));
  bool inside = path.size() > prefix.size() && path.compare(0, prefix.size(), prefix) == 0 &&
                path.find(':', prefix.size()) == std::string::npos;
  return inside ? path : "";
}

// Every file an extraction left in `dest` lies where a stored name leads and
// has the full size its entry declares: no truncated, no temporary file.
std::string check_outputs(const std::string& dest, const raw_cabinet::Layout& layout, bool all_files) {
  std::set<std::string> allowed;
  for (std::size_t i = 0; i < layout.stored.size(); ++i) {
    std::string path = expected_path(dest, layout.stored[i], all_files);
    if (!path.empty()) allowed.insert(path + " " + std::to_string(layout.sizes[i]));
  }
  char base[MAX_PATH];
  DWORD d = GetFullPathNameA(dest.c_str(), MAX_PATH, base, nullptr);
  for (const std::string& file : files_only(dest))
    if (!allowed.count(lower(std::string(base, d) + "\\" + file))) return "left " + file + " that no entry declares";
  return "";
}

// A sandbox with a canary folder above the two destinations; everything
// outside them must stay as it was.
struct Sandbox {
  std::string root, input, all_dest, name_dest;
  explicit Sandbox(const std::string& dir)
      : root(dir + "\\box"), input(root + "\\in\\case.cab"), all_dest(root + "\\deep\\er\\all"),
        name_dest(root + "\\deep\\er\\name") {
    for (const char* sub : {"", "\\in", "\\canary", "\\deep", "\\deep\\er"}) CreateDirectoryA((root + sub).c_str(), nullptr);
    write_file(root + "\\canary\\keep.txt", "the canary above the destination");
  }
  std::vector<std::string> outside() const { return tree_listing(root, {"deep\\er\\all", "deep\\er\\name"}); }
};

std::string run_reader_case(const Sandbox& box, const Base& base, const std::string& bytes, bool intact) {
  remove_tree(box.all_dest);
  remove_tree(box.name_dest);
  write_file(box.input, bytes);
  std::vector<std::string> before = box.outside();
  raw_cabinet::Layout layout = raw_cabinet::parse(bytes);
  uint32_t h = vornex_init_uncab(box.input.c_str());
  if (h == 0) return intact && base.checked ? "an intact cabinet was refused" : "";
  std::string why;
  int32_t count = vornex_file_count(h);
  std::vector<std::string> names;
  for (int32_t i = -1; i <= std::min(count, 5000) && why.empty(); ++i) {
    char buffer[256 + 16];
    std::memset(buffer, 0x5A, sizeof buffer);
    if (vornex_file_name_by_no(h, buffer, i) != 1) why = "name query refused";
    if (std::count(buffer + 256, buffer + sizeof buffer, 0x5A) != 16) why = "a name ran past 256 bytes";
    if (i >= 0 && i < count) names.emplace_back(buffer, strnlen(buffer, 256));
  }
  // Success must mean that every listed file is at its place.
  auto missing = [](uint8_t ok, const std::string& dest, const std::string& name, bool all_files) {
    std::string path = expected_path(dest, name, all_files);
    return ok && name.size() < 255 && (path.empty() || !exists(path));
  };
  uint8_t all = vornex_uncab_all_ex(h, box.all_dest.c_str());
  if (why.empty()) why = check_outputs(box.all_dest, layout, true);
  for (const std::string& name : names)
    if (why.empty() && missing(all, box.all_dest, name, true)) why = "success reported without " + name;
  for (std::size_t i = 0; i < names.size() && i < 3 && why.empty(); ++i) {
    uint8_t one = vornex_uncab_by_name_ex(h, names[i].c_str(), box.name_dest.c_str());
    why = check_outputs(box.name_dest, layout, false);
    if (why.empty() && missing(one, box.name_dest, names[i], false)) why = "by-name success without " + names[i];
  }
  if (vornex_close_uncab(h) != 1 && why.empty()) why = "close refused";
  if (why.empty() && box.outside() != before) why = "wrote outside the destination";
  if (why.empty() && intact && base.checked) {
    if (!all || count != static_cast<int32_t>(base.members.size())) why = "an intact cabinet failed";
    for (const auto& m : base.members)
      if (why.empty() && read_file(box.all_dest + "\\" + m.name) != m.bytes) why = m.name + " differs";
  }
  return why;
}

// ---------------------------------------- builds and full-disk extractions --

bool floppy_present() {
  ULARGE_INTEGER free_bytes, total;
  return GetDiskFreeSpaceExA("A:\\", &free_bytes, &total, nullptr) && total.QuadPart == kFloppyBytes;
}

// A one-step build with delete-after into `cabinet`: either the cabinet holds
// the source whole (and the source is gone), or the result is false and no
// file under `watched` changed.
std::string build_case(const std::string& dir, const std::string& cabinet, const std::string& bytes,
                       const std::string& watched) {
  const std::string src = dir + "\\src.bin", out = dir + "\\check";
  write_file(src, bytes);
  std::vector<std::string> before = files_only(watched);
  std::string why;
  if (vornex_add_files_one_step((src + '\0' + '\0').c_str(), cabinet.c_str(), 1, nullptr, 2)) {
    uint32_t h = vornex_init_uncab(cabinet.c_str());
    if (!h || !vornex_uncab_all_ex(h, out.c_str()) || read_file(out + "\\src.bin") != bytes)
      why = "success reported, but the cabinet does not hold the source";
    if (h) vornex_close_uncab(h);
    if (exists(src)) why = "the source of a written cabinet was not deleted";
  } else if (read_file(src) != bytes || files_only(watched) != before) {
    why = "a failed build changed files";
  }
  remove_tree(out);
  DeleteFileA(src.c_str());
  return why;
}

// An extraction onto A: filled up to `filler`: success means every file is
// whole; failure leaves only whole files.
std::string floppy_extraction(const std::string& dir, uint32_t filler) {
  remove_tree("A:");
  write_file("A:\\filler.bin", std::string(filler, 'f'));
  Members members = {{"first.txt", "first"}, {"big.bin", pattern_bytes(900000, 5)}, {"last.txt", "last"}};
  write_file(dir + "\\three.cab", raw_cabinet::build(members));
  uint32_t h = vornex_init_uncab((dir + "\\three.cab").c_str());
  uint8_t ok = h && vornex_uncab_all_ex(h, "A:\\out");
  if (h) vornex_close_uncab(h);
  std::size_t found = 0;
  for (const auto& m : members) {
    if (!exists("A:\\out\\" + m.name)) continue;
    if (read_file("A:\\out\\" + m.name) != m.bytes) return m.name + " was left incomplete";
    ++found;
  }
  if (files_only("A:\\out").size() != found) return "a temporary file was left";
  return ok && found != members.size() ? "success reported, but files are missing" : "";
}

using Check = std::function<std::string()>;
struct Case {
  std::string what;
  Check run;
};

std::vector<Case> make_cases(const std::vector<Base>& bases, const Sandbox& box, const std::string& dir,
                             uint32_t seed, int scale) {
  std::vector<Case> cases;
  std::mt19937 rng(seed);
  for (const Base& base : bases) {
    auto add = [&](const std::string& what, std::function<void(std::string&)> damage) {
      cases.push_back({base.name + ": " + what, [&box, &base, damage, intact = what == "intact"] {
                         std::string bytes = base.bytes;
                         damage(bytes);
                         return run_reader_case(box, base, bytes, intact);
                       }});
    };
    const uint32_t size = static_cast<uint32_t>(base.bytes.size());
    raw_cabinet::Layout layout = raw_cabinet::parse(base.bytes);
    auto cut = [&](uint32_t at) { add("cut at " + std::to_string(at), [at](std::string& b) { b.resize(at); }); };
    auto flip = [&](std::size_t at) {
      add("flip at " + std::to_string(at), [at](std::string& b) { b[at] = static_cast<char>(~b[at]); });
    };
    add("intact", [](std::string&) {});
    if (!base.damaged) continue;
    for (std::size_t at : layout.boundaries)
      for (uint32_t at_or_near : {at - 1, at, at + 1})
        if (at_or_near < size) cut(at_or_near);
    for (const raw_cabinet::Field& name : layout.names)
      if (name.width > 0) flip(name.offset + name.width - 1);
    if (!base.checked) continue;  // a hostile name's cabinet has raw.cab's header
    for (int k = 0; k < 6 * scale; ++k) cut(rng() % size);
    for (const raw_cabinet::Field& f : layout.fields) {
      for (std::size_t k = 0; k < f.width; ++k) flip(f.offset + k);
      uint32_t max = f.width == 4 ? 0xFFFFFFFFu : (1u << (8 * f.width)) - 1;
      for (uint32_t lie : {0u, 1u, max, max >> 1, size & max, (size + 1) & max})
        add("field at " + std::to_string(f.offset) + " = " + std::to_string(lie), [f, lie](std::string& b) {
          for (std::size_t k = 0; k < f.width; ++k) b[f.offset + k] = static_cast<char>(lie >> (8 * k));
        });
    }
    for (int k = 0; k < 10 * scale; ++k) {
      uint32_t s = rng();
      add("scramble " + std::to_string(s), [s](std::string& b) {
        std::mt19937 r(s);
        for (int n = 1 + r() % 8; n > 0; --n) b[r() % std::min<std::size_t>(b.size(), 400)] = static_cast<char>(r());
      });
    }
  }
  for (std::string target : {"blocker\\x.cab", "adir", "adir\\", "Q:\\nowhere\\x.cab", "bad|name.cab",
                             "sub\\in<valid>.cab"}) {
    cases.push_back({"build into " + target, [dir, target] {
                       std::string b = dir + "\\b";
                       remove_tree(b);
                       CreateDirectoryA(b.c_str(), nullptr);
                       CreateDirectoryA((b + "\\adir").c_str(), nullptr);
                       write_file(b + "\\blocker", "a file where a directory should be");
                       return build_case(dir, target[1] == ':' ? target : b + "\\" + target, pattern_bytes(50000, 9), b);
                     }});
  }
  cases.push_back({"build of an empty file over an older cabinet", [dir] {
                     CreateDirectoryA((dir + "\\e").c_str(), nullptr);
                     write_file(dir + "\\e\\older.cab", "older");
                     return build_case(dir, dir + "\\e\\older.cab", "", dir + "\\e");
                   }});
  for (uint32_t filler : {0u, 700000u, 1400000u}) {
    for (uint32_t size : {200000u, 900000u, 1600000u}) {
      cases.push_back({"build onto A: over " + std::to_string(filler) + ", " + std::to_string(size) + " bytes",
                       [dir, filler, size]() -> std::string {
                         if (!floppy_present()) return "";
                         remove_tree("A:");
                         write_file("A:\\filler.bin", std::string(filler, 'f'));
                         write_file("A:\\x.cab", "the older cabinet");
                         std::string why = build_case(dir, "A:\\x.cab", pattern_bytes(size, size + filler), "A:");
                         return why.empty() && !exists("A:\\x.cab") ? "A:\\x.cab is gone" : why;
                       }});
    }
    cases.push_back({"extraction onto A: over " + std::to_string(filler), [dir, filler] {
                       return floppy_present() ? floppy_extraction(dir, filler) : std::string();
                     }});
  }
  return cases;
}

// ---------------------------------------------------------------- worker --

HANDLE g_log = INVALID_HANDLE_VALUE;
long g_case = -1;
uintptr_t g_engine_begin = 0, g_engine_end = 0;  // where cabinet.dll lies

void note(const std::string& line) {
  DWORD done = 0;
  WriteFile(g_log, line.data(), static_cast<DWORD>(line.size()), &done, nullptr);
}

// Names the faulting module and ends the worker at once: it runs on the
// first notice of a fault and touches no heap (the fault may have hurt it).
LONG WINAPI on_fault(EXCEPTION_POINTERS* info) {
  DWORD code = info->ExceptionRecord->ExceptionCode;
  if (code < 0xC0000000u) return EXCEPTION_CONTINUE_SEARCH;  // notices, not faults
  uintptr_t at = reinterpret_cast<uintptr_t>(info->ExceptionRecord->ExceptionAddress);
  char line[128];
  int n = std::snprintf(line, sizeof line, "crash %ld: %08lX at %08lX in %s\n", g_case, code,
                        static_cast<unsigned long>(at),
                        at >= g_engine_begin && at < g_engine_end ? "cabinet.dll" : "our code or the system");
  DWORD done = 0;
  WriteFile(g_log, line, n, &done, nullptr);
  TerminateProcess(GetCurrentProcess(), 3);
  return EXCEPTION_CONTINUE_SEARCH;
}

int work(uint32_t seed, int scale, long first, const std::string& dir) {
  g_log = CreateFileA((dir + "\\log").c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                      FILE_ATTRIBUTE_NORMAL, nullptr);
  if (g_log == INVALID_HANDLE_VALUE) return 2;
  if (auto engine = reinterpret_cast<const unsigned char*>(GetModuleHandleA("cabinet.dll"))) {
    auto nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(engine + reinterpret_cast<const IMAGE_DOS_HEADER*>(engine)->e_lfanew);
    g_engine_begin = reinterpret_cast<uintptr_t>(engine);
    g_engine_end = g_engine_begin + nt->OptionalHeader.SizeOfImage;
  }
  AddVectoredExceptionHandler(1, on_fault);
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  const std::string scratch = dir + "\\w";
  CreateDirectoryA(scratch.c_str(), nullptr);
  SetCurrentDirectoryA(scratch.c_str());  // the builder's error log lands here
  std::vector<Base> bases = make_bases(scratch);
  Sandbox box(dir);
  std::vector<Case> cases = make_cases(bases, box, scratch, seed, scale);
  note("total " + std::to_string(cases.size()) + "\n");
  for (g_case = first; g_case < static_cast<long>(cases.size()); ++g_case) {
    note("start " + std::to_string(g_case) + " " + cases[g_case].what + "\n");
    std::string why = cases[g_case].run();
    note((why.empty() ? "done " : "wrong ") + std::to_string(g_case) + (why.empty() ? "" : ": " + cases[g_case].what + ": " + why) + "\n");
  }
  remove_tree("A:");
  return 0;
}

// ------------------------------------------------------------ supervisor --

struct Figures {
  long total = -1, run = 0, crashes = 0, engine_crashes = 0, hangs = 0, wrong = 0;
  std::vector<std::string> reports;
};

// Runs one worker from case `first` and returns the case after the last one
// it ended (a crash or a hang ends the case it was on).
long run_worker(const std::string& command, long first, const std::string& dir, Figures& f) {
  std::string log = dir + "\\log", line = command + " " + std::to_string(first) + " \"" + dir + "\"";
  DeleteFileA(log.c_str());
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return -1;
  std::size_t seen = 0;
  DWORD quiet_since = GetTickCount();
  bool hung = false;
  while (WaitForSingleObject(pi.hProcess, 200) == WAIT_TIMEOUT) {
    std::size_t size = read_file(log).size();
    if (size != seen) seen = size, quiet_since = GetTickCount();
    if (GetTickCount() - quiet_since > kHangSeconds * 1000) hung = TerminateProcess(pi.hProcess, 4);
  }
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  long started = first - 1, ended = first - 1;
  std::string what, text = read_file(log);
  for (std::size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
    std::string line = text.substr(at, end - at), word = line.substr(0, line.find(' '));
    long index = std::atol(line.c_str() + word.size() + 1);
    if (word == "total") f.total = index;
    if (word == "start") started = index, what = line.substr(line.find(' ', 6) + 1);
    if (word != "done" && word != "wrong" && word != "crash") continue;
    ended = index;
    ++f.run;
    if (word == "wrong") ++f.wrong, f.reports.push_back(line);
    if (word != "crash") continue;
    bool engine = line.find("in cabinet.dll") != std::string::npos;
    ++(engine ? f.engine_crashes : f.crashes);
    auto starts = [&](const char* prefix) { return what.compare(0, std::strlen(prefix), prefix) == 0; };
    if (!starts("build ") && !starts("extraction ") && !starts("kept ")) {  // a new cabinet input
      std::string kept_dir = testdata() + "\\..\\campaign_kept";
      std::string kept = kept_dir + "\\case" + std::to_string(index) + ".cab";
      CreateDirectoryA(kept_dir.c_str(), nullptr);
      CopyFileA((dir + "\\box\\in\\case.cab").c_str(), kept.c_str(), FALSE);
      what += " (input kept as " + kept + ")";
    }
    f.reports.push_back(line + ", " + what);
  }
  if (started > ended) {  // died or hung without a word
    ++f.run;
    ++(hung ? f.hangs : f.crashes);
    f.reports.push_back((hung ? "hang " : "crash ") + std::to_string(started) + ": " +
                        (hung ? "stopped moving, " : "died without a report, ") + what);
    ended = started;
  }
  return ended + 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 6 && std::strcmp(argv[1], "--work") == 0)
    return work(std::strtoul(argv[2], nullptr, 10), std::atoi(argv[3]), std::atol(argv[4]), argv[5]);
  uint32_t seed = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 1;
  int scale = argc > 2 ? std::max(1, std::atoi(argv[2])) : 1;
  char self[MAX_PATH], temp[MAX_PATH];
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  GetTempPathA(MAX_PATH, temp);
  std::string dir = std::string(temp) + "vx_campaign_" + std::to_string(GetCurrentProcessId());
  std::string command = "\"" + std::string(self) + "\" --work " + std::to_string(seed) + " " + std::to_string(scale);
  remove_tree(dir);
  CreateDirectoryA(dir.c_str(), nullptr);
  DWORD began = GetTickCount();
  Figures f;
  // Started again after every crash or hang, until a worker runs to the end.
  for (long next = 0, previous = -1; next != previous;) {
    previous = next;
    if ((next = run_worker(command, next, dir, f)) < 0) return std::printf("damage campaign: no worker\n"), 2;
  }
  if (f.run != f.total) {
    ++f.wrong;
    f.reports.push_back("ran " + std::to_string(f.run) + " of " + std::to_string(f.total) + " cases");
  }
  for (std::size_t i = 0; i < f.reports.size() && i < 40; ++i) std::printf("%s\n", f.reports[i].c_str());
  std::printf("damage campaign (seed %u, scale %d%s): %ld cases run, %ld crashes, %ld crashes inside "
              "cabinet.dll, %ld hangs, %ld wrong results, in %.1f s\n",
              seed, scale, floppy_present() ? "" : ", no drive A: so no full-disk cases", f.run, f.crashes,
              f.engine_crashes, f.hangs, f.wrong, (GetTickCount() - began) / 1000.0);
  remove_tree(dir);
  return f.crashes == 0 && f.hangs == 0 && f.wrong == 0 ? 0 : 1;
}
