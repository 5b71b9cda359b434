// Names between a set's Windows code page and the UTF-8 of Linux file names.
#ifndef VELMORA_HOSTJOIN_CODEPAGE_H
#define VELMORA_HOSTJOIN_CODEPAGE_H

#include <string>

namespace hostjoin {

// The code page of a set made on a western Windows system.
constexpr char kDefaultCodePage[] = "WINDOWS-1252";

enum class Conversion { kDone, kUnknownCodePage, kNotConvertible };

// `text` from the encoding `from` into `to` (names iconv knows), every byte
// or none: a character without an exact counterpart fails the conversion.
Conversion convert_text(const std::string& from, const std::string& to, const std::string& text,
                        std::string& out);

}  // namespace hostjoin

#endif  // VELMORA_HOSTJOIN_CODEPAGE_H
