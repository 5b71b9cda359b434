#include "codepage.h"

#include <errno.h>
#include <iconv.h>

#include <vector>

namespace hostjoin {

Conversion convert_text(const std::string& from, const std::string& to, const std::string& text,
                        std::string& out) {
  iconv_t cd = iconv_open(to.c_str(), from.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return Conversion::kUnknownCodePage;
  // A byte becomes at most four bytes of UTF-8 (or of any code page a set uses).
  std::vector<char> in(text.begin(), text.end()), converted(text.size() * 4 + 16);
  char* in_at = in.data();
  char* out_at = converted.data();
  size_t in_left = in.size(), out_left = converted.size();
  size_t result = iconv(cd, &in_at, &in_left, &out_at, &out_left);
  // Flush a stateful encoding's shift back to its initial state.
  if (result != static_cast<size_t>(-1)) result = iconv(cd, nullptr, nullptr, &out_at, &out_left);
  iconv_close(cd);
  // iconv counts characters it replaced by its own choice as irreversible.
  if (result != 0 || in_left != 0) return Conversion::kNotConvertible;
  out.assign(converted.data(), static_cast<size_t>(out_at - converted.data()));
  return Conversion::kDone;
}

}  // namespace hostjoin
