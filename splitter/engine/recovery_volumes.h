// The PAR2 recovery volumes of a split set: "reportVRAX.par2" and
// "reportVRAX.volE+1.par2" beside the first piece, over the pieces (and any
// extra file written beside the first piece), one slice per file.
//
// How it works. With a fixed section size the hashes and recovery volume 0
// ride along with the copy: every block the copy buffer passes is handed to a
// second thread that feeds par2::Writer, and each later piece's ChunkRecord,
// which is written after its data area, is fed first as the block rule
// predicts it. The first piece's head is known only at the end, so its bytes
// (head, then its share of the payload) are fed then. Further volumes need
// every file's place in the PAR2 order: a second pass builds each piece's
// bytes again from what the split wrote (its head and its range of the
// payload) and never reads a piece back. With automatic section size the
// pieces are unknown until the end, and both passes run then.
#ifndef VELMORA_RECOVERY_VOLUMES_H
#define VELMORA_RECOVERY_VOLUMES_H

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "split_job.h"
#include "split_result.h"
#include "split_set_format.h"

namespace velmora {

// A file beside the first piece that belongs in the PAR2 set (the cabinet
// library): its bare name there, and its bytes as they were when the split
// wrote or found it, held in memory (with automatic size its disk may have
// left the drive by the time the volumes are made).
struct ExtraSource {
  std::string name;
  std::string bytes;
};

// One piece's bytes as the split wrote them: `head` (the joiner image, the
// header and the ChunkRecord of the first piece; the ChunkRecord of a later
// one), then `length` bytes of the payload from `offset`.
struct PieceBytes {
  std::vector<char> head;
  uint32_t offset = 0;
  uint32_t length = 0;
};

// Recovery volumes `job` asks for, for a set of `pieces` pieces: job.recovery,
// or with recovery_percent that share of `pieces` rounded up.
uint32_t recovery_volume_count(const SplitJob& job, uint32_t pieces);

// The ChunkRecord the block rule gives a data area that starts at
// `piece_offset` of a piece of `section` bytes, at `source_offset` of a
// payload of `payload_size` bytes, when no break cuts it.
splitset::ChunkRecord predict_chunk(uint32_t section, uint32_t piece_offset,
                                    uint32_t source_offset, uint32_t payload_size);

// Bytes to keep free on a disk beside the first piece of a set of about
// `files` files whose first piece has the bare name `first_name`: the index
// file, the checksum file, and room for a volume's critical packets, so that
// one volume fits a disk as large as the first.
uint32_t recovery_reserve(uint32_t files, size_t first_name_length);

class RecoveryWriter {
 public:
  RecoveryWriter(HANDLE payload, SplitHooks& hooks);
  ~RecoveryWriter();
  RecoveryWriter(const RecoveryWriter&) = delete;
  RecoveryWriter& operator=(const RecoveryWriter&) = delete;

  // Begins the hashes along the copy for a set of `pieces` pieces whose
  // first piece is `first_piece` (a path). False when it cannot (too many
  // files, no memory): the volumes are then made after the copy.
  bool ride_along(const char* first_piece, uint32_t pieces, uint32_t volumes,
                  const std::vector<ExtraSource>& extras);
  // From the copy: `length` bytes of piece `file` (0 the first piece).
  void feed(uint32_t file, const void* data, size_t length);
  // A later piece's record turned out other than fed: the hashes along the
  // copy are dropped and made after it.
  void drop_ride() { riding_ = false; }
  bool riding() const { return riding_; }

  // After the set is whole: makes the volumes for `pieces` and writes them
  // beside `first_piece`; with `per_disk` each volume asks for a disk with
  // room for it. Returns kSplitDone, kRecoveryTooManyPieces or
  // kRecoveryNotWritten (problem() says why).
  SplitResult finish(const char* first_piece, const std::vector<PieceBytes>& pieces, uint32_t volumes,
             const std::vector<ExtraSource>& extras, bool per_disk);
  const std::string& problem() const { return problem_; }

 private:
  struct Feeder;
  SplitResult fail(std::string text);
  bool stream(const std::vector<PieceBytes>& pieces, const std::vector<ExtraSource>& extras,
              uint32_t first_file, uint32_t last_file);

  HANDLE payload_;
  SplitHooks& hooks_;
  std::unique_ptr<Feeder> feeder_;
  bool riding_ = false;
  std::string problem_;
  SplitProgress progress_{};
};

}  // namespace velmora

#endif  // VELMORA_RECOVERY_VOLUMES_H
