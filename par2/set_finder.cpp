#include "set_finder.h"

#include <string.h>

#include <algorithm>

#include "packets.h"
#include "split_set_format.h"

namespace par2 {

namespace {

bool starts_with_any_case(const std::string& text, const std::string& head) {
  return text.size() >= head.size() && same_name(text.substr(0, head.size()), head);
}

// The set IDs of the PAR2 files, from the header of each file's first
// packet, each once in the order found (every file a client writes holds
// one set; a damaged head counts for nothing).
std::vector<Md5Digest> set_ids(const Io& io, const std::vector<std::string>& names) {
  std::vector<Md5Digest> ids;
  for (const std::string& name : names) {
    void* file = io.open_read(io.context, name.c_str());
    if (file == nullptr) continue;
    unsigned char head[packets::kHeaderSize];
    size_t got = 0;
    while (got < sizeof head) {
      int64_t n = io.read(io.context, file, head + got, sizeof head - got);
      if (n <= 0) break;
      got += static_cast<size_t>(n);
    }
    io.close_read(io.context, file);
    packets::Header h;
    if (got < sizeof head || !packets::parse_header(head, &h)) continue;
    bool known = false;
    for (const Md5Digest& id : ids) known = known || packets::same(id, h.set_id);
    if (!known) ids.push_back(h.set_id);
  }
  return ids;
}

// Orders outcomes of check(): a set that can repair before one that
// cannot, then by fewer lost slices.
bool better(Result a, uint32_t lost_a, Result b, uint32_t lost_b) {
  const bool ok_a = a == Result::ok, ok_b = b == Result::ok;
  if (ok_a != ok_b) return ok_a;
  const bool checked_a = ok_a || a == Result::not_enough_recovery;
  const bool checked_b = ok_b || b == Result::not_enough_recovery;
  if (checked_a != checked_b) return checked_a;
  return lost_a < lost_b;
}

}  // namespace

bool same_name(const std::string& a, const std::string& b) {
  return a.size() == b.size() && splitset::same_ignoring_case(a.data(), b.data(), a.size());
}

std::string recovery_base(const std::string& first_piece_name) {
  std::vector<char> name(first_piece_name.begin(), first_piece_name.end());
  name.resize(first_piece_name.size() + sizeof(splitset::kMarker) + 8, '\0');
  if (!splitset::apply_piece_suffix(name.data(), static_cast<uint32_t>(name.size()), "par2",
                                    splitset::MarkerSearch::kReading))
    return std::string();
  std::string index = name.data();
  index = index.substr(splitset::file_name_start(index.c_str()));
  return index.substr(0, index.size() - 5);  // less ".par2"
}

std::vector<std::string> recovery_files(const std::vector<std::string>& folder_names,
                                        const std::string& base) {
  std::vector<std::string> index, others;
  if (base.empty()) return index;
  for (const std::string& name : folder_names) {
    if (name.size() < base.size() + 5 || !starts_with_any_case(name, base) ||
        !same_name(name.substr(name.size() - 5), ".par2"))
      continue;
    (name.size() == base.size() + 5 ? index : others).push_back(name);
  }
  std::sort(index.begin(), index.end());
  std::sort(others.begin(), others.end());
  index.insert(index.end(), others.begin(), others.end());
  return index;
}

Result load_and_check(Repairer& repairer, const Io& io, const std::vector<std::string>& par2_names) {
  Result result = repairer.load(par2_names);
  if (result != Result::ok) return result;
  result = repairer.check();
  const std::vector<Md5Digest> ids = set_ids(io, par2_names);
  if (ids.size() < 2) return result;
  // More than one set: the one that describes these files wins.
  Md5Digest chosen = repairer.set_id();
  Result best = result;
  uint32_t best_lost = repairer.missing_slices();
  for (const Md5Digest& id : ids) {
    if (packets::same(id, chosen)) continue;
    Repairer other(io);
    Result r = other.load(par2_names, &id);
    if (r != Result::ok) continue;
    r = other.check();
    if (better(r, other.missing_slices(), best, best_lost)) {
      chosen = id;
      best = r;
      best_lost = other.missing_slices();
    }
  }
  if (packets::same(chosen, repairer.set_id())) return result;
  result = repairer.load(par2_names, &chosen);
  return result == Result::ok ? repairer.check() : result;
}

}  // namespace par2
