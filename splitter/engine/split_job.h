// What the split engine is given: one job, and the hooks through which it
// reaches whoever started it. The engine knows nothing of windows or
// consoles; the dialog's worker and the command line each supply hooks.
#ifndef VELMORA_SPLIT_JOB_H
#define VELMORA_SPLIT_JOB_H

#include <cstdint>

// Why the engine wrote no recovery volumes for a whole set (result 14); the
// front ends' texts put it in words.
enum class RecoveryProblem : uint8_t {
  kNone,
  kNoMemoryToReread,  // no buffer for the second pass over the payload
  kBroken,            // Break was pressed during the second pass
  kRereadFailed,      // the payload could not be read again
  kRereadShort,       // the payload came up short on the second pass
  kNoMemory,          // no memory for the recovery data
  kWriterFailed,      // the PAR2 writer failed; the detail is its own text
  kNoDiskForVolume,   // no disk was given for a volume (recovery_problem_volume)
};

// One split's inputs. The dialog makes one per Split press and the worker
// owns it; the command line makes one from its arguments.
struct SplitJob {
  char source_path[260];       // the file to split; with compress the engine
                               // puts the temporary cabinet's path here
  char target_directory[260];  // empty: the source's own folder
  int32_t section_size;        // bytes; not used with autodetect
  uint8_t compress;
  uint8_t idle_priority;       // for the front end; the engine does not read it
  uint8_t autodetect;
  // Set by the engine: 1 when a set was written (result 0) that carries
  // neither the integrity record nor the checksum file, so that nothing in
  // it can prove it whole; result_text says so.
  uint8_t unprovable;
  // PAR2 recovery volumes to write beside the set: none for 0; with
  // recovery_percent, that share of the finished set's number of pieces,
  // rounded up.
  uint32_t recovery;
  uint8_t recovery_percent;
  // Set by the engine with result 14: why the volumes were not written, and
  // what it knows of it (the PAR2 writer's text, or the volume's number
  // counted from 1).
  RecoveryProblem recovery_problem;
  uint32_t recovery_problem_volume;
  char recovery_problem_detail[160];
  // Nonzero: no vornex.dll beside the set (for scripts that ship the library
  // their own way); zero: the splitter's own library goes beside the first piece.
  uint8_t no_library;
};

namespace velmora {

// The disks the engine asks the user for with automatic section size.
enum class DiskRequest {
  kAnotherDisk,     // too little free space: another disk, or stop
  kFirstDiskAgain,  // the first disk again, for the first piece's head
};

// How far a split has got, as the engine reports it.
struct SplitProgress {
  // kRecovery: the recovery volumes are made (payload_written counts the
  // bytes of their passes) and written; `volumes` says how many.
  enum class Stage { kCompressing, kWriting, kRecovery };
  Stage stage = Stage::kCompressing;
  uint32_t payload_written = 0;  // bytes of the payload in pieces so far
  uint32_t payload_size = 0;     // 0 while compressing (not known yet)
  uint32_t piece = 0;            // the file being written: 0 the first piece, k piece k-1
  uint32_t blocks = 0;           // blocks copied so far, whole and short
  uint32_t volumes = 0;          // kRecovery: the recovery volumes of this set
};

// The engine's way out to its caller. Every call happens on the engine's
// thread; an exception thrown by a hook leaves the engine (which releases
// what it holds) and is the caller's to catch.
class SplitHooks {
 public:
  virtual ~SplitHooks() = default;
  // Asked before each whole block and before each later piece.
  virtual bool break_requested() = 0;
  // kAnotherDisk: true to measure the drive again (Yes), false to end the
  // split with result 10 (No). kFirstDiskAgain: asked again while the disk
  // in the drive does not hold the first piece this split wrote; false (or a
  // break requested meanwhile) ends the split with result 10.
  virtual bool ask_for_disk(DiskRequest request) = 0;
  // At the start of the compression stage and after every block copied.
  virtual void progress(const SplitProgress& progress) = 0;
};

}  // namespace velmora

#endif  // VELMORA_SPLIT_JOB_H
