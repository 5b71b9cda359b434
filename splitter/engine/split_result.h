// What a split comes to: the result of split_file and of its stages. The
// values are the ones every front end and script has always seen.
#ifndef VELMORA_SPLIT_RESULT_H
#define VELMORA_SPLIT_RESULT_H

namespace velmora {

// Result codes of split_file (8 and 9 are not produced).
enum SplitResult : int {
  kSplitDone = 0,            // the set was written (also after a break)
  kPayloadUnreadable = 1,    // the payload cannot be opened, or a read of it came up short
  kPayloadTooSmall = 2,      // payload not larger than the section
  kPieceFailed = 3,          // a piece cannot be created, or a block read/write failed
  kSectionTooSmall = 4,      // section size 6940 or less
  kNoMemory = 5,             // the copy buffer cannot be allocated
  kCompressionFailed = 6,    // the compression stage failed
  kFirstPieceReopen = 7,     // the joiner image cannot be read
  kDiskDeclined = 10,        // the user declined to insert another disk
  kSourceTooLarge = 11,      // the source is 2 GiB or larger
  kSourceInSet = 12,         // the source would be one of the files the split writes
  kRecoveryTooManyPieces = 13,  // the set is complete; it has too many pieces for PAR2 volumes
  kRecoveryNotWritten = 14,     // the set is complete; its recovery volumes could not be written
};

}  // namespace velmora

#endif  // VELMORA_SPLIT_RESULT_H
