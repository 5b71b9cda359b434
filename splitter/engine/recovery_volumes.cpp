#include "recovery_volumes.h"

#include <cstring>
#include <new>

#include "par2.h"
#include "split_engine.h"
#include "path_levels.h"
#include "temp_file.h"
#include "unique_handle.h"

namespace velmora {

using winsup::UniqueFile;

using splitset::ChunkRecord;
using splitset::kBlockSize;

namespace {

constexpr size_t kSlotBytes = 1 << 20;
constexpr int kSlots = 4;
constexpr int kSpans = 256;
constexpr uint32_t kCluster = 4096;  // what a file may take beyond its bytes

// The four habits for every PAR2 file: a new file under a short name of its
// own in the set's folder, renamed into place only when whole; every byte
// count checked.
struct Output {
  UniqueFile file;
  std::string temporary, final_path;
};

struct IoContext {
  std::string folder;  // with its trailing backslash
};

void* open_write(void* context, const char* name) {
  auto* io = static_cast<IoContext*>(context);
  char temporary[MAX_PATH];
  UniqueFile file(winsup::reserve_temp_file(io->folder.c_str(), "vp", 2, GENERIC_WRITE, temporary, sizeof temporary));
  if (!file) return nullptr;
  auto* out = new (std::nothrow) Output{std::move(file), temporary, io->folder + name};
  if (!out) {
    file.reset();
    DeleteFileA(temporary);
  }
  return out;
}

int write_out(void*, void* file, const void* data, size_t length) {
  auto* out = static_cast<Output*>(file);
  const char* p = static_cast<const char*>(data);
  while (length > 0) {
    DWORD part = length > (1u << 24) ? (1u << 24) : static_cast<DWORD>(length);
    DWORD written = 0;
    if (!WriteFile(out->file.get(), p, part, &written, nullptr) || written != part) return -1;
    p += part;
    length -= part;
  }
  return 0;
}

int close_write(void*, void* file, int keep) {
  std::unique_ptr<Output> out(static_cast<Output*>(file));
  bool whole = keep && FlushFileBuffers(out->file.get());
  out->file.reset();
  if (whole && MoveFileExA(out->temporary.c_str(), out->final_path.c_str(),
                           MOVEFILE_REPLACE_EXISTING))
    return 0;
  DeleteFileA(out->temporary.c_str());
  return keep ? -1 : 0;
}

}  // namespace

// The second thread: slots of copied bytes, each with the files its spans
// belong to, handed over full and fed to the writer in order (hashes in the
// first pass, the field arithmetic in the second). Without a thread the
// slots are fed where they are handed over.
struct RecoveryWriter::Feeder {
  struct Span {
    uint32_t file;
    uint32_t length;
  };
  struct Slot {
    std::unique_ptr<unsigned char[]> data;
    size_t used = 0;
    Span spans[kSpans];
    int count = 0;
    bool stop = false;
  };
  par2::Writer writer;
  bool encoding = false;
  par2::Result result = par2::Result::ok;
  Slot slots[kSlots];
  int filling = -1, next_fill = 0, next_take = 0;
  // Without a thread (it could not be started) the slots are consumed on
  // the caller's thread as they are handed over.
  winsup::UniqueKernelHandle free_slots_owner, full_slots_owner, thread_owner;
  HANDLE free_slots = nullptr, full_slots = nullptr, thread = nullptr;

  bool start() {
    for (Slot& slot : slots) {
      slot.data.reset(new (std::nothrow) unsigned char[kSlotBytes]);
      if (!slot.data) return false;
    }
    free_slots_owner.reset(CreateSemaphoreA(nullptr, kSlots, kSlots, nullptr));
    full_slots_owner.reset(CreateSemaphoreA(nullptr, 0, kSlots, nullptr));
    free_slots = free_slots_owner.get();
    full_slots = full_slots_owner.get();
    if (free_slots && full_slots) thread_owner.reset(CreateThread(nullptr, 0, run, this, 0, nullptr));
    thread = thread_owner.get();
    return true;
  }
  ~Feeder() {
    if (thread) {
      take_slot();
      slots[filling].stop = true;
      hand_over();
      WaitForSingleObject(thread, INFINITE);
    }
  }

  void consume(Slot& slot) {
    size_t at = 0;
    for (int i = 0; i < slot.count && result == par2::Result::ok; ++i) {
      const Span& span = slot.spans[i];
      result = encoding ? writer.encode(span.file, slot.data.get() + at, span.length)
                        : writer.hash(span.file, slot.data.get() + at, span.length);
      at += span.length;
    }
    slot.used = 0;
    slot.count = 0;
  }
  static DWORD WINAPI run(void* self) {
    auto* f = static_cast<Feeder*>(self);
    for (;;) {
      WaitForSingleObject(f->full_slots, INFINITE);
      Slot& slot = f->slots[f->next_take];
      f->next_take = (f->next_take + 1) % kSlots;
      if (slot.stop) return 0;
      f->consume(slot);
      ReleaseSemaphore(f->free_slots, 1, nullptr);
    }
  }
  void take_slot() {
    if (filling >= 0) return;
    if (thread) WaitForSingleObject(free_slots, INFINITE);
    filling = next_fill;
    next_fill = (next_fill + 1) % kSlots;
  }
  void hand_over() {
    if (filling < 0) return;
    if (thread) {
      ReleaseSemaphore(full_slots, 1, nullptr);
    } else {
      consume(slots[filling]);
    }
    filling = -1;
  }
  void put(uint32_t file, const void* data, size_t length) {
    const unsigned char* p = static_cast<const unsigned char*>(data);
    while (length > 0) {
      take_slot();
      Slot& slot = slots[filling];
      size_t room = kSlotBytes - slot.used;
      size_t part = length < room ? length : room;
      if (slot.count > 0 && slot.spans[slot.count - 1].file == file) {
        slot.spans[slot.count - 1].length += static_cast<uint32_t>(part);
      } else {
        slot.spans[slot.count++] = {file, static_cast<uint32_t>(part)};
      }
      std::memcpy(slot.data.get() + slot.used, p, part);
      slot.used += part;
      p += part;
      length -= part;
      if (slot.used == kSlotBytes || slot.count == kSpans) hand_over();
    }
  }
  // Waits until every byte handed over has reached the writer.
  par2::Result drain() {
    hand_over();
    if (thread) {
      for (int i = 0; i < kSlots; ++i) WaitForSingleObject(free_slots, INFINITE);
      ReleaseSemaphore(free_slots, kSlots, nullptr);
    }
    return result;
  }
};

uint32_t recovery_volume_count(const SplitJob& job, uint32_t pieces) {
  if (!job.recovery_percent) return job.recovery;
  return static_cast<uint32_t>((uint64_t{job.recovery} * pieces + 99) / 100);
}

ChunkRecord predict_chunk(uint32_t section, uint32_t piece_offset, uint32_t source_offset,
                          uint32_t payload_size) {
  // The copy loop's block rule, without the copy.
  ChunkRecord chunk{0, 0, 0};
  while (piece_offset + kBlockSize <= section && source_offset + kBlockSize < payload_size) {
    piece_offset += kBlockSize;
    source_offset += kBlockSize;
    ++chunk.block_count;
  }
  if (piece_offset < section) {
    uint32_t length = section - piece_offset;
    if (payload_size - source_offset < length) length = payload_size - source_offset;
    chunk.last_block_size = static_cast<int32_t>(length);
    ++chunk.block_count;
  } else {
    chunk.last_block_size = static_cast<int32_t>(kBlockSize);
  }
  return chunk;
}

uint32_t recovery_reserve(uint32_t files, size_t first_name_length) {
  // Per file a File Description (120 bytes and its name) and a slice
  // checksum packet (100), and its ID in the Main packet (16); the Main,
  // Creator and recovery packets' own bytes; then the index file and the
  // checksum file beside the first piece, each rounded up to whole clusters.
  const uint64_t per_file = 236 + first_name_length + 4;
  const uint64_t critical = per_file * files + 76 + 84 + 68;
  const uint64_t checksum_file = (first_name_length + 12) * uint64_t{files} + 300;
  // A file system counts each file in whole clusters: one more for the
  // first piece's own last cluster.
  const uint64_t reserve = critical + (critical + kCluster) + (checksum_file + kCluster) + kCluster;
  return reserve > 0x40000000u ? 0x40000000u : static_cast<uint32_t>(reserve);
}

RecoveryWriter::RecoveryWriter(HANDLE payload, SplitHooks& hooks)
    : payload_(payload), hooks_(hooks) {}
RecoveryWriter::~RecoveryWriter() = default;

SplitResult RecoveryWriter::fail(RecoveryProblem problem, std::string detail, uint32_t volume) {
  problem_ = problem;
  problem_detail_ = std::move(detail);
  problem_volume_ = volume;
  return kRecoveryNotWritten;
}

namespace {

// The set's names for the PAR2 writer: the pieces' bare names, then the extras'.
std::vector<std::string> set_names(const char* first_piece, uint32_t pieces,
                                   const std::vector<ExtraSource>& extras) {
  std::vector<std::string> names;
  char path[splitset::kPathCapacity];
  std::strncpy(path, first_piece, sizeof path - 1);
  path[sizeof path - 1] = '\0';
  names.push_back(splitset::bare_file_name(path));
  for (uint32_t number = 0; number + 1 < pieces; ++number) {
    char suffix[splitset::kPieceNumberCapacity];
    splitset::format_piece_number(suffix, number);
    if (!splitset::apply_piece_suffix(path, sizeof path, suffix)) return {};
    names.push_back(splitset::bare_file_name(path));
  }
  for (const ExtraSource& extra : extras) names.push_back(extra.name);
  return names;
}

}  // namespace

bool RecoveryWriter::ride_along(const char* first_piece, uint32_t pieces, uint32_t volumes,
                                const std::vector<ExtraSource>& extras) {
  riding_ = false;
  if (volumes == 0 || pieces + extras.size() > par2::kMaxRecoveryVolumes) return false;
  feeder_.reset(new (std::nothrow) Feeder);
  if (!feeder_ || !feeder_->start()) {
    feeder_.reset();
    return false;
  }
  std::vector<std::string> names = set_names(first_piece, pieces, extras);
  if (names.empty() || feeder_->writer.start(names, volumes) != par2::Result::ok) {
    feeder_.reset();
    return false;
  }
  riding_ = true;
  return true;
}

void RecoveryWriter::feed(uint32_t file, const void* data, size_t length) {
  if (riding_) feeder_->put(file, data, length);
}

// Feeds files first_file..last_file (pieces, then extras) in order, each
// built from its head and its payload range, or from the bytes held.
bool RecoveryWriter::stream(const std::vector<PieceBytes>& pieces,
                            const std::vector<ExtraSource>& extras, uint32_t first_file,
                            uint32_t last_file) {
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[kSlotBytes]);
  if (!buffer) return fail(RecoveryProblem::kNoMemoryToReread), false;
  for (uint32_t file = first_file; file <= last_file; ++file) {
    if (hooks_.break_requested()) return fail(RecoveryProblem::kBroken), false;
    if (file < pieces.size()) {
      const PieceBytes& piece = pieces[file];
      feeder_->put(file, piece.head.data(), piece.head.size());
      if (SetFilePointer(payload_, static_cast<LONG>(piece.offset), nullptr, FILE_BEGIN) !=
          piece.offset)
        return fail(RecoveryProblem::kRereadFailed), false;
      for (uint32_t done = 0; done < piece.length;) {
        DWORD want = piece.length - done < kSlotBytes ? piece.length - done : kSlotBytes;
        DWORD got = 0;
        if (!ReadFile(payload_, buffer.get(), want, &got, nullptr) || got != want)
          return fail(RecoveryProblem::kRereadShort), false;
        feeder_->put(file, buffer.get(), got);
        done += got;
        progress_.payload_written += got;
        hooks_.progress(progress_);
      }
    } else {
      const std::string& bytes = extras[file - pieces.size()].bytes;
      feeder_->put(file, bytes.data(), bytes.size());
    }
  }
  return true;
}

SplitResult RecoveryWriter::finish(const char* first_piece, const std::vector<PieceBytes>& pieces,
                           uint32_t volumes, const std::vector<ExtraSource>& extras,
                           bool per_disk) {
  if (volumes == 0) return kSplitDone;
  const uint32_t files = static_cast<uint32_t>(pieces.size() + extras.size());
  if (files > par2::kMaxRecoveryVolumes) {
    feeder_.reset();
    return kRecoveryTooManyPieces;
  }
  progress_.stage = SplitProgress::Stage::kRecovery;
  progress_.volumes = volumes;
  progress_.piece = static_cast<uint32_t>(pieces.size());
  uint64_t pass = 0;
  for (const PieceBytes& piece : pieces) pass += piece.length;
  const bool second = volumes > 1;
  // The progress counts the payload once per pass still to come.
  const uint64_t total = (riding_ ? pieces[0].length : pass) + (second ? pass : 0);
  progress_.payload_size = total > 0x7FFFFFFFu ? 0x7FFFFFFFu : static_cast<uint32_t>(total);
  hooks_.progress(progress_);

  // The first pass: what the copy has not hashed.
  uint32_t from = 0;
  if (riding_) {
    if (feeder_->drain() != par2::Result::ok)
      return fail(RecoveryProblem::kWriterFailed, feeder_->writer.error_text());
    // The first piece now, its head final; the extras after the pieces.
    if (!stream(pieces, {}, 0, 0)) return kRecoveryNotWritten;
    from = static_cast<uint32_t>(pieces.size());
  } else {
    feeder_.reset(new (std::nothrow) Feeder);
    if (!feeder_ || !feeder_->start()) return fail(RecoveryProblem::kNoMemory);
    std::vector<std::string> names = set_names(first_piece, static_cast<uint32_t>(pieces.size()),
                                               extras);
    if (names.empty() || feeder_->writer.start(names, volumes) != par2::Result::ok)
      return fail(RecoveryProblem::kWriterFailed, feeder_->writer.error_text());
  }
  if (files > from && !stream(pieces, extras, from, files - 1)) return kRecoveryNotWritten;
  par2::Writer& writer = feeder_->writer;
  if (feeder_->drain() != par2::Result::ok || writer.end_hashing() != par2::Result::ok)
    return fail(RecoveryProblem::kWriterFailed, writer.error_text());

  // The second pass, for the volumes past the first.
  if (writer.needs_second_pass()) {
    feeder_->encoding = true;
    if (!stream(pieces, extras, 0, files - 1)) return kRecoveryNotWritten;
    if (feeder_->drain() != par2::Result::ok || writer.end_encoding() != par2::Result::ok)
      return fail(RecoveryProblem::kWriterFailed, writer.error_text());
  }

  // The index beside the first piece, then one volume after another (with
  // automatic size each on a disk with room for it).
  std::string first = first_piece;
  const size_t name_at = first.find_last_of('\\') + 1;
  IoContext context{first.substr(0, name_at)};
  par2::Io io{&context, nullptr, nullptr, nullptr, nullptr, open_write, write_out, close_write,
              nullptr};
  // "reportVRAX.exe" gives "reportVRAX".
  std::string base = first.substr(name_at);
  base.erase(base.size() - std::strlen(splitset::kFirstPieceSuffix) - 1);
  if (writer.write_index(io, base + ".par2") != par2::Result::ok)
    return fail(RecoveryProblem::kWriterFailed, writer.error_text());
  for (uint32_t e = 0; e < volumes; ++e) {
    if (per_disk) {
      const uint64_t need = writer.volume_size() + kCluster;
      if (need > 0x7FFFFFFFu || wait_for_space(static_cast<uint32_t>(need),
                                               context.folder.c_str(), hooks_) == 0)
        return fail(RecoveryProblem::kNoDiskForVolume, {}, e + 1);
      winsup::create_parent_levels(first_piece);
    }
    if (writer.write_volume(io, par2::Writer::volume_name(base, e, volumes), e) !=
        par2::Result::ok)
      return fail(RecoveryProblem::kWriterFailed, writer.error_text());
  }
  feeder_.reset();
  return kSplitDone;
}

}  // namespace velmora
