#include "set_reader.h"

#include <cstring>

namespace splitset {

namespace {

std::string bare(const std::string& path) { return path.substr(file_name_start(path.c_str())); }

std::string folder_of(const std::string& path) { return path.substr(0, file_name_start(path.c_str())); }

// `base` with the piece-name rule applied for `suffix`; empty when too long.
std::string rule(const std::string& base, const char* suffix) {
  std::vector<char> name(base.begin(), base.end());
  name.resize(base.size() + sizeof(kMarker) + kPieceNumberCapacity, '\0');
  if (!apply_piece_suffix(name.data(), static_cast<uint32_t>(name.size()), suffix, MarkerSearch::kReading))
    return std::string();
  return name.data();
}

std::string cut_short_text(int64_t size) {
  return "is cut short: " + std::to_string(size) + " bytes, less than its head";
}

std::string later_name(const std::string& base, int32_t k) {
  char number[kPieceNumberCapacity];
  format_piece_number(number, static_cast<uint32_t>(k - 1));
  return rule(base, number);
}

}  // namespace

bool is_bare_name(const std::string& name) {
  return !name.empty() && name.size() < sizeof(SplitHeader::file_name) && name != "." && name != ".." &&
         name.find_first_of("\\/:") == std::string::npos;
}

SetReader::SetReader(const ReaderIo& io, bool stop_at_first) : io_(io), stop_at_first_(stop_at_first) {}

bool SetReader::find(Fault fault, int32_t piece, const std::string& path, const std::string& detail) {
  findings_.push_back(Finding{fault, piece, path, detail});
  return false;
}

bool SetReader::unreadable(int32_t k, const std::string& path) {
  return find(Fault::kPieceUnreadable, k, path, io_.reason(io_.context));
}

bool SetReader::open_piece(PieceState& piece, int32_t k, void*& file) {
  Opened why = Opened::kFailed;
  file = io_.open(io_.context, piece.path.c_str(), &why);
  if (file == nullptr) {
    if (why == Opened::kMissing) return find(Fault::kPieceMissing, k, piece.path);
    if (why == Opened::kNotRegular) return find(Fault::kPieceNotRegular, k, piece.path);
    return unreadable(k, piece.path);
  }
  piece.file_size = io_.size(io_.context, file);
  if (piece.file_size < 0) {
    std::string reason = io_.reason(io_.context);
    io_.close(io_.context, file);
    file = nullptr;
    return find(Fault::kPieceUnreadable, k, piece.path, reason);
  }
  return true;
}

// The ChunkRecord at the end of `head` (the piece's first data_offset bytes)
// against the file's size. Bytes behind the data area are no part of the
// payload: a note, and the checksum file (whole-file CRC) judges them.
bool SetReader::check_chunk(PieceState& piece, int32_t k, const char* head, bool noting) {
  std::memcpy(&piece.chunk, head + piece.data_offset - kChunkSize, sizeof piece.chunk);
  const int64_t length = chunk_data_length(piece.chunk);
  if (length < 0)
    return find(Fault::kChunkImpossible, k, piece.path,
                "its ChunkRecord is impossible (" + std::to_string(piece.chunk.block_count) + " blocks, last " +
                    std::to_string(piece.chunk.last_block_size) + " bytes)");
  const int64_t held = piece.file_size - piece.data_offset;
  if (length > held)
    return find(Fault::kChunkTooLong, k, piece.path,
                "its ChunkRecord describes " + std::to_string(length) + " data bytes, the file holds " +
                    std::to_string(held));
  if (length < held && noting && io_.note)
    io_.note(io_.context, piece.path + ": " + std::to_string(held - length) +
                              " bytes behind its data area, which no reader uses");
  piece.data_length = length;
  return true;
}

bool SetReader::read_header(const std::string& first_path) {
  pieces_.assign(1, PieceState{});
  PieceState& first = pieces_[0];
  first.path = first_path;
  first.data_offset = kFirstDataOffset;
  void* file = nullptr;
  if (!open_piece(first, 0, file)) return false;
  char head[kFirstDataOffset];
  const int64_t got = io_.read(io_.context, file, head, sizeof head);
  const std::string reason = got < 0 ? io_.reason(io_.context) : std::string();
  io_.close(io_.context, file);
  if (got < 0) return find(Fault::kPieceUnreadable, 0, first_path, reason);
  if (got < static_cast<int64_t>(sizeof head))
    return find(Fault::kPieceCutShort, 0, first_path,
                cut_short_text(first.file_size));
  std::memcpy(&header_, head + kHeaderOffset, sizeof header_);
  bool sound = true;
  switch (get_integrity_by(io_.crc, header_, record_)) {
    case Integrity::kDamaged:
      sound = find(Fault::kHeaderDamaged, 0, first_path);
      if (stop_at_first_) return false;
      break;
    case Integrity::kSound: has_record_ = true; break;
    case Integrity::kNone: break;
  }
  if (header_.piece_count < 1 || header_.piece_count > kMostPieces)
    return find(Fault::kPieceCount, 0, first_path, std::to_string(header_.piece_count));
  header_usable_ = true;
  stored_name_.assign(header_.file_name, name_length(header_));
  if (!is_bare_name(stored_name_)) {
    sound = find(Fault::kNotBareName, 0, first_path, stored_name_);
    if (stop_at_first_) return false;
  }
  if (!check_chunk(first, 0, head, false)) return false;
  return sound;
}

// The names of the later pieces by the rule on `base`; false when too long.
bool SetReader::name_pieces(const std::string& base) {
  for (int32_t k = 1; k < header_.piece_count; ++k) {
    pieces_[k].path = later_name(base, k);
    if (pieces_[k].path.empty()) return false;
  }
  name_base_ = base;
  return true;
}

bool SetReader::find_pieces() {
  pieces_.resize(static_cast<size_t>(header_.piece_count));
  for (size_t k = 1; k < pieces_.size(); ++k) pieces_[k].data_offset = kLaterDataOffset;
  const std::string& first = pieces_[0].path;
  name_base_ = first;
  if (pieces_.size() == 1) return true;
  // A first piece under another name (setup.exe, reportVRAX.ex_): when its
  // own name leads to no later piece, the stored name beside it may.
  bool named = name_pieces(first);
  const std::string by_stored = folder_of(first) + stored_name_;
  if (is_bare_name(stored_name_) && by_stored != first) {
    Opened why = Opened::kFailed;
    void* file = named ? io_.open(io_.context, pieces_[1].path.c_str(), &why) : nullptr;
    if (file != nullptr) {
      io_.close(io_.context, file);
    } else if (!named || why == Opened::kMissing) {
      const std::string other = later_name(by_stored, 1);
      void* found = other.empty() ? nullptr : io_.open(io_.context, other.c_str(), &why);
      if (found != nullptr || (!other.empty() && why != Opened::kMissing)) named = name_pieces(by_stored);
      if (found != nullptr) io_.close(io_.context, found);
    }
  }
  if (!named) return find(Fault::kNamesTooLong, -1, first);
  bool all = true;
  for (int32_t k = 1; k < header_.piece_count; ++k) {
    PieceState& piece = pieces_[k];
    void* file = nullptr;
    if (!open_piece(piece, k, file)) {
      all = false;
      if (stop_at_first_) return false;
      continue;
    }
    char head[kLaterDataOffset];
    const int64_t got = io_.read(io_.context, file, head, sizeof head);
    const std::string reason = got < 0 ? io_.reason(io_.context) : std::string();
    io_.close(io_.context, file);
    bool ok = got < 0 ? find(Fault::kPieceUnreadable, k, piece.path, reason)
              : got < static_cast<int64_t>(sizeof head)
                  ? find(Fault::kPieceCutShort, k, piece.path,
                         cut_short_text(piece.file_size))
                  : check_chunk(piece, k, head, false);
    if (!ok) {
      all = false;
      if (stop_at_first_) return false;
    }
  }
  return all;
}

bool SetReader::read_checksum_file() {
  // Named in the case of the first piece's own suffix (a lowercased set has
  // a lowercased checksum file), the other case second.
  const std::string own = bare(pieces_[0].path);
  const size_t dot = own.find_last_of('.');
  const bool upper = dot != std::string::npos && dot + 1 < own.size() && own[dot + 1] >= 'A' && own[dot + 1] <= 'Z';
  void* file = nullptr;
  for (const char* suffix : {upper ? "SFV" : "sfv", upper ? "sfv" : "SFV"}) {
    const std::string path = rule(name_base_, suffix);
    if (path.empty()) continue;
    Opened why = Opened::kFailed;
    file = io_.open(io_.context, path.c_str(), &why);
    if (file == nullptr && why == Opened::kMissing) continue;
    sfv_path_ = path;
    if (why == Opened::kNotRegular) return find(Fault::kChecksumNotRegular, -1, path);
    if (file == nullptr) return find(Fault::kChecksumUnreadable, -1, path, io_.reason(io_.context));
    break;
  }
  if (file == nullptr) return true;  // none: the record guards the set
  const int64_t size = io_.size(io_.context, file);
  std::string text(size > 0 && size <= kMostChecksumBytes ? static_cast<size_t>(size) : 0, '\0');
  const int64_t got = size > kMostChecksumBytes ? 0 : io_.read(io_.context, file, &text[0], text.size());
  const std::string reason = got < 0 || size < 0 ? io_.reason(io_.context) : std::string();
  io_.close(io_.context, file);
  if (size > kMostChecksumBytes)
    return find(Fault::kChecksumUnreadable, -1, sfv_path_, "it is too large to be one");
  if (got < 0 || size < 0) return find(Fault::kChecksumUnreadable, -1, sfv_path_, reason);
  text.resize(static_cast<size_t>(got));
  sfv_text_ = text;
  for (size_t k = 0; k < pieces_.size(); ++k) {
    PieceState& piece = pieces_[k];
    std::vector<std::string> names{bare(piece.path)};
    // A renamed first piece has its line under the name the set gave it.
    if (k == 0 && name_base_ != piece.path) names.push_back(bare(rule(name_base_, kFirstPieceSuffix)));
    std::string spelled;
    for (size_t i = 0, n = names.size(); i < n; ++i)
      if (io_.other_spelling && io_.other_spelling(io_.context, names[i], spelled)) names.push_back(spelled);
    for (const std::string& name : names)
      if (!piece.listed) piece.listed = sfv_find(text.data(), text.size(), name.c_str(), piece.listed_crc);
    if (!piece.listed) {
      if (io_.note)
        io_.note(io_.context, sfv_path_ + ": has no line for " + names[0] +
                                  ", so it does not describe this set; set aside, " +
                                  (has_record_ ? "the integrity record decides" : "no checksums to compare"));
      for (PieceState& other : pieces_) other.listed = false;
      return true;
    }
  }
  has_sfv_ = true;
  return true;
}

bool SetReader::scan(DataSink sink, void* sink_context, char* buffer, size_t buffer_size) {
  bool all = true;
  for (int32_t k = 0; k < header_.piece_count; ++k) {
    PieceState& piece = pieces_[k];
    if (piece.data_length < 0) {  // found damaged or missing already
      all = false;
      continue;
    }
    void* file = nullptr;
    bool ok = open_piece(piece, k, file);
    const int64_t got = ok ? io_.read(io_.context, file, buffer, piece.data_offset) : 0;
    if (ok && got < 0) ok = unreadable(k, piece.path);
    if (ok && got < piece.data_offset)
      ok = find(Fault::kPieceCutShort, k, piece.path,
                cut_short_text(piece.file_size));
    if (ok) ok = check_chunk(piece, k, buffer, true);
    const uint32_t head_crc = ok ? io_.crc(0, buffer, piece.data_offset) : 0;
    uint32_t data_crc = 0, tail_crc = 0;
    uint64_t tail_length = 0;
    for (int64_t left = ok ? piece.data_length : 0; left > 0;) {
      const size_t want = left < static_cast<int64_t>(buffer_size) ? static_cast<size_t>(left) : buffer_size;
      const int64_t n = io_.read(io_.context, file, buffer, want);
      if (n < 0) ok = unreadable(k, piece.path);
      else if (n != static_cast<int64_t>(want))
        ok = find(Fault::kChunkTooLong, k, piece.path, "it ended inside its data area");
      else if (sink != nullptr && !sink(sink_context, buffer, want))
        ok = find(Fault::kSinkFailed, k, piece.path);
      if (!ok) break;
      data_crc = io_.crc(data_crc, buffer, want);
      left -= static_cast<int64_t>(want);
    }
    for (int64_t n = 1; ok && n > 0;) {
      n = io_.read(io_.context, file, buffer, buffer_size);
      if (n < 0) ok = unreadable(k, piece.path);
      if (n > 0) tail_crc = io_.crc(tail_crc, buffer, static_cast<size_t>(n));
      if (n > 0) tail_length += static_cast<uint64_t>(n);
    }
    if (file != nullptr) io_.close(io_.context, file);
    if (ok) {
      piece.scanned = true;
      piece.data_crc = data_crc;
      piece.file_crc = crc32_combine(crc32_combine(head_crc, data_crc, static_cast<uint64_t>(piece.data_length)),
                                     tail_crc, tail_length);
      payload_crc_ = crc32_combine(payload_crc_, data_crc, static_cast<uint64_t>(piece.data_length));
      payload_length_ += static_cast<uint64_t>(piece.data_length);
      if (has_sfv_ && piece.file_crc != piece.listed_crc) ok = find(Fault::kPieceChecksum, k, piece.path);
    }
    if (!ok) {
      all = false;
      if (stop_at_first_) return false;
    }
  }
  return all;
}

bool SetReader::check_record() {
  if (!has_record_) return true;
  for (const PieceState& piece : pieces_)
    if (!piece.scanned) return true;  // the findings say why already
  if (payload_length_ == record_.payload_length && payload_crc_ == record_.payload_crc) return true;
  return find(Fault::kRecordDiffers, -1, pieces_[0].path);
}

}  // namespace splitset
