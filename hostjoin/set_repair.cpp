#include "set_repair.h"

#include <dirent.h>
#include <errno.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <new>

#include "par2.h"
#include "posix_files.h"
#include "set_finder.h"
#include "split_set_format.h"

namespace hostjoin {

namespace {

// The PAR2 component's files: read from the set's folder (a name in any
// case, as a set copied from FAT media may have it), written into the
// private folder under the names the join looks for.
struct Folders {
  std::string set;                   // the set's folder
  std::vector<std::string> listing;  // its regular files
  std::string out;                   // the private folder
  std::string first;                 // the first piece's name as given
  std::string base;                  // BASE of BASE.par2
};

struct Output {
  Fd fd;
  std::string temporary, name;
};

Folders& self(void* context) { return *static_cast<Folders*>(context); }

std::string resolve(const Folders& f, const std::string& name) {
  for (const std::string& entry : f.listing)
    if (entry == name) return join_path(f.set, entry);
  for (const std::string& entry : f.listing)
    if (par2::same_name(entry, name)) return join_path(f.set, entry);
  return join_path(f.set, name);
}

// A piece of this set: BASE, the marker's dot, then "exe" or a number.
bool is_piece(const Folders& f, const std::string& name) {
  if (name.size() < f.base.size() + 2 || !par2::same_name(name.substr(0, f.base.size()), f.base) ||
      name[f.base.size()] != '.')
    return false;
  const std::string suffix = name.substr(f.base.size() + 1);
  if (par2::same_name(suffix, splitset::kFirstPieceSuffix)) return true;
  for (char c : suffix)
    if (c < '0' || c > '9') return false;
  return !suffix.empty();
}

// The name the join looks for: a piece's suffix on the first piece's name.
std::string join_name(const Folders& f, const std::string& name) {
  if (!is_piece(f, name)) return name;
  std::string suffix = name.substr(f.base.size() + 1);
  std::vector<char> path(f.first.begin(), f.first.end());
  path.resize(f.first.size() + suffix.size() + sizeof(splitset::kMarker) + 1, '\0');
  if (!splitset::apply_piece_suffix(path.data(), static_cast<uint32_t>(path.size()), suffix.c_str(),
                                    splitset::MarkerSearch::kReading))
    return name;
  return path.data();
}

void* open_read(void* context, const char* name) {
  struct stat st;
  int fd = open_regular(resolve(self(context), name), st);
  return fd < 0 ? nullptr : new (std::nothrow) Fd(fd);
}
int64_t read_file(void*, void* file, void* buffer, size_t length) {
  return read_fully(static_cast<Fd*>(file)->get(), buffer, length);
}
int seek_file(void*, void* file, uint64_t offset) {
  return lseek(static_cast<Fd*>(file)->get(), static_cast<off_t>(offset), SEEK_SET) < 0 ? -1 : 0;
}
void close_read(void*, void* file) { delete static_cast<Fd*>(file); }

void* open_write(void* context, const char* name) {
  Folders& f = self(context);
  std::string pattern = join_path(f.out, "vrxXXXXXX");
  int fd = mkstemp(&pattern[0]);
  if (fd < 0) return nullptr;
  return new (std::nothrow) Output{Fd(fd), pattern, join_path(f.out, join_name(f, name))};
}
int write_file(void*, void* file, const void* data, size_t length) {
  return write_fully(static_cast<Output*>(file)->fd.get(), data, length) ? 0 : -1;
}
int close_write(void*, void* file, int keep) {
  std::unique_ptr<Output> out(static_cast<Output*>(file));
  if (out->fd.close() == 0 && keep && rename_no_replace(out->temporary, out->name) == 0) return 0;
  unlink(out->temporary.c_str());
  return keep ? -1 : 0;
}

std::vector<std::string> regular_files(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
  if (dir == nullptr) return names;
  while (struct dirent* entry = readdir(dir)) {
    struct stat st;
    if (stat(join_path(folder, entry->d_name).c_str(), &st) == 0 && S_ISREG(st.st_mode))
      names.push_back(entry->d_name);
  }
  closedir(dir);
  return names;
}

}  // namespace

RepairedCopy::~RepairedCopy() {
  if (folder_.empty()) return;
  // The private folder holds only what this run put there.
  if (DIR* dir = opendir(folder_.c_str())) {
    while (struct dirent* entry = readdir(dir)) {
      std::string name = entry->d_name;
      if (name != "." && name != "..") unlink(join_path(folder_, name).c_str());
    }
    closedir(dir);
  }
  rmdir(folder_.c_str());
}

std::string RepairedCopy::prepare(JoinRequest& request) {
  Folders f;
  const std::string first = absolute_path(request.first_piece);
  f.first = base_name(first);
  f.set = first.substr(0, first.size() - f.first.size());
  if (f.set.size() > 1) f.set.pop_back();  // the trailing '/', not the root
  f.base = par2::recovery_base(f.first);
  f.listing = regular_files(f.set);
  const std::vector<std::string> par2_names = par2::recovery_files(f.listing, f.base);
  if (par2_names.empty()) return std::string();
  const par2::Io io{&f, open_read, read_file, seek_file, close_read, open_write, write_file, close_write, nullptr};
  par2::Repairer repairer(io);
  const par2::Result checked = par2::load_and_check(repairer, io, par2_names);
  const std::string volumes = join_path(f.set, f.base) + "*.par2";
  bool describes = false, piece_broken = false;
  for (const par2::FileState& file : repairer.files()) {
    describes = describes || par2::same_name(file.name, f.first);
    piece_broken = piece_broken || (file.status != par2::FileState::whole && is_piece(f, file.name));
  }
  if (checked != par2::Result::ok && checked != par2::Result::not_enough_recovery)
    return "the recovery volumes " + volumes + " are unusable: " + repairer.error_text();
  if (!describes || !piece_broken) return std::string();
  if (checked == par2::Result::not_enough_recovery)
    return "the recovery volumes " + volumes + " cannot repair the set: " + std::to_string(repairer.missing_slices()) +
           " slice(s) lost, " + std::to_string(repairer.recovery_slices()) + " recovery slice(s) found, " +
           std::to_string(repairer.more_needed()) + " more needed";

  // The private folder, in the destination.
  const std::string dest = request.target.empty() ? std::string() : full_path(request.target);
  if (!dest.empty()) {
    int error = make_directories(dest);
    if (error != 0) return "cannot repair the set: cannot create " + dest + ": " + error_text(error);
  }
  std::string pattern = join_path(dest, "vrxXXXXXX");
  if (mkdtemp(&pattern[0]) == nullptr)
    return "cannot repair the set: cannot make a private folder in " + (dest.empty() ? std::string(".") : dest) +
           ": " + error_text(errno);
  folder_ = absolute_path(pattern);
  f.out = folder_;
  const par2::Result repaired = repairer.repair();
  std::string names;
  for (const par2::FileState& file : repairer.files())
    if (file.repaired) names += (names.empty() ? "" : ", ") + file.name;
  if (repaired != par2::Result::ok) return "the repair from " + volumes + " failed: " + repairer.error_text();
  // The set's other files beside the rebuilt ones, under their own names.
  for (const std::string& entry : f.listing) {
    if (!par2::same_name(entry.substr(0, std::min(entry.size(), f.base.size())), f.base)) continue;
    bool rebuilt = false;
    for (const par2::FileState& file : repairer.files())
      rebuilt = rebuilt || (file.repaired && par2::same_name(file.name, entry));
    if (!rebuilt && symlink(join_path(f.set, entry).c_str(), join_path(folder_, entry).c_str()) != 0)
      return "cannot repair the set: cannot link " + entry + " into " + folder_ + ": " + error_text(errno);
  }
  request.first_piece = join_path(folder_, f.first);
  return "repaired " + names + " from the recovery volumes " + volumes +
         " into a private folder; rebuilding from the repaired copies";
}

}  // namespace hostjoin
