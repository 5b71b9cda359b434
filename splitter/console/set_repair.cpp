#include "set_repair.h"

#include <windows.h>

#include <memory>

#include "folder_par2_io.h"
#include "set_finder.h"
#include "set_integrity.h"
#include "set_verifier.h"
#include "split_engine.h"
#include "split_set_format.h"

namespace velmora {

namespace {

// Where the set lies and what its recovery files are.
struct Located {
  std::string problem;  // empty: found
  std::string full;     // the first piece's full path
  std::string bare;     // its name
  std::string base;     // BASE of BASE.par2
  std::unique_ptr<FolderPar2Io> io;
  std::vector<std::string> par2;
  std::string pattern() const { return io->path(base) + "*.par2"; }
};

Located locate(const std::string& first_piece) {
  Located at;
  if (!full_path(first_piece.c_str(), at.full)) {
    at.problem = first_piece + ": cannot be made a full path";
    return at;
  }
  const uint32_t start = splitset::file_name_start(at.full.c_str());
  at.bare = at.full.substr(start);
  at.base = par2::recovery_base(at.bare);
  char sfv[splitset::kPathCapacity];
  lstrcpynA(sfv, at.bare.c_str(), sizeof sfv);
  if (at.base.empty() || !splitset::apply_piece_suffix(sfv, sizeof sfv, splitset::kChecksumSuffix,
                                                       splitset::MarkerSearch::kReading)) {
    at.problem = at.full + ": the names of its set are too long";
    return at;
  }
  at.io.reset(new FolderPar2Io(at.full.substr(0, start > 0 ? start - 1 : 0), sfv));
  at.par2 = par2::recovery_files(at.io->list(), at.base);
  return at;
}

std::string plural(uint32_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

// How many files of the set are not whole.
uint32_t broken(const par2::Repairer& r) {
  uint32_t n = 0;
  for (const par2::FileState& f : r.files()) n += f.status != par2::FileState::whole;
  return n;
}

std::string cannot_line(const Located& at, const par2::Repairer& r) {
  return at.pattern() + ": the recovery volumes cannot repair the set: " +
         plural(broken(r), "file is", "files are") + " missing or damaged (" +
         plural(r.missing_slices(), "slice", "slices") + " lost, " +
         plural(r.recovery_slices(), "recovery slice", "recovery slices") + " found); " +
         plural(r.more_needed(), "more recovery slice is", "more recovery slices are") +
         " needed (each recovery volume velmora writes holds one)";
}

// Whether the loaded set is the one of this first piece.
bool describes(const par2::Repairer& r, const std::string& bare) {
  for (const par2::FileState& f : r.files())
    if (par2::same_name(f.name, bare)) return true;
  return false;
}

}  // namespace

std::string repair_ability(const std::string& first_piece) {
  Located at = locate(first_piece);
  if (!at.problem.empty() || at.par2.empty()) return std::string();
  par2::Repairer r(at.io->table());
  par2::Result result = par2::load_and_check(r, at.io->table(), at.par2);
  if (result != par2::Result::ok && result != par2::Result::not_enough_recovery)
    return at.pattern() + ": the recovery volumes are unusable: " + r.error_text();
  if (!describes(r, at.bare)) return at.pattern() + ": the recovery volumes describe other files, not this set";
  if (result == par2::Result::not_enough_recovery) return cannot_line(at, r);
  if (broken(r) == 0)
    return at.pattern() + ": the recovery volumes find every file whole, so they cannot repair what is wrong";
  return at.pattern() + ": the recovery volumes can repair the set (" +
         plural(broken(r), "file", "files") + " missing or damaged): velmora.exe /repair " + at.full;
}

RepairReport repair_set(const std::string& first_piece) {
  RepairReport report;
  std::vector<std::string>& lines = report.lines;
  Located at = locate(first_piece);
  if (!at.problem.empty()) {
    lines.push_back(at.problem);
    return report;
  }
  auto verdict = [&](const std::string& before) {
    if (!before.empty()) lines.push_back(before);
    VerifyReport verified = verify_set(at.full);
    lines.insert(lines.end(), verified.lines.begin(), verified.lines.end());
    report.exit_code = verified.sound ? 0 : 1;
    return report;
  };
  if (at.par2.empty()) {
    lines.push_back(at.pattern() + ": no recovery volumes beside the set");
    return verdict(std::string());
  }
  FolderPar2Io& io = *at.io;
  par2::Repairer r(io.table());
  par2::Result result = par2::load_and_check(r, io.table(), at.par2);
  if (result != par2::Result::ok && result != par2::Result::not_enough_recovery) {
    lines.push_back(at.pattern() + ": the recovery volumes are unusable: " + r.error_text());
    return report;
  }
  if (!describes(r, at.bare)) {
    lines.push_back(at.pattern() + ": the recovery volumes describe other files, not this set");
    return report;
  }
  for (const par2::FileState& f : r.files()) {
    if (f.status == par2::FileState::missing) lines.push_back(io.path(f.name) + ": missing");
    if (f.status == par2::FileState::damaged)
      lines.push_back(io.path(f.name) + ": damaged (" + std::to_string(f.good_slices) + " of " +
                      plural(f.slices, "slice", "slices") + " intact)");
  }
  if (result == par2::Result::not_enough_recovery) {
    lines.push_back(cannot_line(at, r) + "; nothing was changed");
    return report;
  }
  if (broken(r) == 0) return verdict(at.pattern() + ": every file of the recovery set is whole; nothing to repair");
  result = r.repair();
  for (const par2::FileState& f : r.files())
    if (f.repaired) lines.push_back(io.path(f.name) + ": rebuilt");
  lines.insert(lines.end(), io.lines.begin(), io.lines.end());
  if (result != par2::Result::ok) {
    lines.push_back(at.pattern() + ": the repair failed: " + r.error_text());
    return report;
  }
  return verdict(std::string());
}

}  // namespace velmora
