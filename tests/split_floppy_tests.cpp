// Sets written to a real 1440 KiB drive A: (a tmpfs, see floppy_fixture.sh):
// pieces sized by the free space of each disk, disks changed through the
// prompt seam, and a disk that runs full in the middle of a piece.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "compression.h"
#include "result_messages.h"
#include "set_integrity.h"
#include "split_engine.h"
#include "split_test_support.h"
#include "test_support.h"

namespace {

using namespace testing_support;
using namespace split_testing;

constexpr uint64_t kFloppyBytes = 1474560;
std::vector<std::string> sorted(std::vector<std::string> names) {
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::string> files_on_a() { return testing_support::files_in("A:"); }

// What the prompt seam does: it plays the user who changes disks.
struct DiskChanger {
  std::string shelf;                   // where disks taken out of the drive go
  std::vector<uint32_t> free_offered;  // free space of each new disk
  int no_space_prompts = 0;
  int first_disk_prompts = 0;
  std::string shrink_source;           // when set, the source shrinks at the first change
  std::string older_first_piece;       // when set, the first new disk holds an older
                                       // set's first piece of the same name
  std::vector<std::string> first_disk; // the files of the first disk, brought back at the end
};
DiskChanger* g_changer = nullptr;

// Takes every file out of the drive (junk is thrown away).
void empty_drive() {
  for (const std::string& name : files_on_a()) {
    std::string from = "A:\\" + name;
    if (name == "junk.dat") {
      DeleteFileA(from.c_str());
    } else {
      MoveFileExA(from.c_str(), (g_changer->shelf + "\\" + name).c_str(), MOVEFILE_COPY_ALLOWED | MOVEFILE_REPLACE_EXISTING);
    }
  }
}

bool change_disk(velmora::DiskRequest request) {
  DiskChanger& changer = *g_changer;
  if (request == velmora::DiskRequest::kAnotherDisk) {
    ++changer.no_space_prompts;
    if (changer.no_space_prompts == 1) changer.first_disk = files_on_a();
    empty_drive();
    if (!changer.shrink_source.empty()) {
      HANDLE source = CreateFileA(changer.shrink_source.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
      SetFilePointer(source, 1500000, nullptr, FILE_BEGIN);
      SetEndOfFile(source);
      CloseHandle(source);
    }
    if (changer.no_space_prompts == 1 && !changer.older_first_piece.empty())
      write_file("A:\\bigVRAX.exe", changer.older_first_piece);
    // The second new disk is not empty: it has less room than the others.
    if (changer.no_space_prompts == 2) write_file("A:\\junk.dat", std::string(100000, 'j'));
    changer.free_offered.push_back(velmora::free_space_of("A:\\"));
    return true;
  }
  ++changer.first_disk_prompts;
  empty_drive();
  for (const std::string& name : changer.first_disk)
    MoveFileExA((changer.shelf + "\\" + name).c_str(), ("A:\\" + name).c_str(), MOVEFILE_COPY_ALLOWED);
  return true;
}

class Floppy : public ::testing::Test {
 protected:
  void SetUp() override {
    ULARGE_INTEGER free_bytes, total;
    if (!GetDiskFreeSpaceExA("A:\\", &free_bytes, &total, nullptr) || total.QuadPart != kFloppyBytes)
      GTEST_SKIP() << "drive A: is not a 1440 KiB tmpfs (mounting was refused?); skipped";
    for (const std::string& name : files_on_a()) DeleteFileA(("A:\\" + name).c_str());
    add_bin_to_path();
    velmora::set_joiner_image_source(velmora_exe().c_str());
    changer_.shelf = dir_ / "shelf";
    CreateDirectoryA(changer_.shelf.c_str(), nullptr);
    g_changer = &changer_;
    hooks_.disk = change_disk;
    // These cases are about the disks; the library's share of the first one
    // is the case of its own below.
    hooks_.no_library = true;
  }
  void TearDown() override {
    for (const std::string& name : files_on_a()) DeleteFileA(("A:\\" + name).c_str());
  }

  int split(const std::string& bytes, int32_t section, bool autodetect,
            const std::string& target = "A:\\", bool compress = false) {
    source_ = dir_ / "big.bin";
    write_file(source_, bytes);
    return run_split(source_, target, section, compress, autodetect, hooks_);
  }

  ScratchDir dir_;
  TestHooks hooks_;
  DiskChanger changer_;
  std::string source_;
};

// Every piece takes the whole free space of the disk in the drive at the
// moment it is begun; the first disk comes back for the header; the pieces
// gathered from all disks rebuild the file.
TEST_F(Floppy, AutomaticSizeFillsEachDiskAndTheSetRejoins) {
  const uint32_t first = kFloppyBytes - 6940, full = kFloppyBytes - 12;
  const uint32_t with_junk_disk = kFloppyBytes - 102400 - 12;
  std::string bytes = pattern_bytes(first + full + with_junk_disk + 500000, 21);
  ASSERT_EQ(split(bytes, 0, true), velmora::kSplitDone);
  EXPECT_EQ(changer_.first_disk_prompts, 1);
  ASSERT_EQ(changer_.free_offered.size(), 3u);
  EXPECT_EQ(changer_.free_offered[0], kFloppyBytes);
  EXPECT_EQ(changer_.free_offered[1], kFloppyBytes - 102400);  // tmpfs counts whole pages
  empty_drive();
  SetOnDisk set = read_set(changer_.shelf + "\\bigVRAX.exe");
  ASSERT_TRUE(set.readable);
  std::string sizes;
  for (const Piece& piece : set.pieces) sizes += std::to_string(piece.file_size) + " ";
  for (uint32_t offered : changer_.free_offered) sizes += "/" + std::to_string(offered);
  ASSERT_EQ(set.pieces.size(), 4u) << sizes;
  EXPECT_EQ(set.pieces[0].file_size, kFloppyBytes);
  EXPECT_EQ(set.pieces[1].file_size, changer_.free_offered[0]);
  EXPECT_EQ(set.pieces[2].file_size, changer_.free_offered[1]);
  EXPECT_EQ(set.pieces[3].file_size, 12u + 500000u);
  EXPECT_EQ(set.payload(), bytes);
  // The record travels in the first piece; the checksum file did not fit
  // beside it on the full first disk.
  EXPECT_EQ(checksum_findings(set, false, source_, false), "");

  CreateDirectoryA((dir_ / "cwd").c_str(), nullptr);
  ProcessResult join = run_process("\"" + changer_.shelf + "\\bigVRAX.exe\"", dir_ / "cwd");
  EXPECT_EQ(join.exit_code, 0u) << join.output;
  EXPECT_EQ(read_file(dir_ / "cwd\\big.bin"), bytes);
}

// The library travels on the first disk: the first piece takes the room it
// leaves, and the set gathered from the disks rebuilds through its first
// piece alone, run from another folder with no vornex.dll on the PATH
// (fresh_prefix_check.sh runs this in a fresh Wine prefix as well).
TEST_F(Floppy, TheLibraryAndTheFirstPieceShareTheFirstDisk) {
  hooks_.no_library = false;
  const std::string library = read_file(bin_dir() + "\\vornex.dll");
  std::string bytes = pattern_bytes(2000000, 29);
  ASSERT_EQ(split(bytes, 0, true), velmora::kSplitDone);
  EXPECT_EQ(sorted(files_on_a()), (std::vector<std::string>{"bigVRAX.exe", "vornex.dll"}));
  EXPECT_TRUE(read_file("A:\\vornex.dll") == library);
  empty_drive();
  SetOnDisk set = read_set(changer_.shelf + "\\bigVRAX.exe");
  ASSERT_EQ(set.pieces.size(), 2u);
  const uint64_t library_pages = (library.size() + 4095) / 4096 * 4096;  // tmpfs counts pages
  EXPECT_EQ(set.pieces[0].file_size, kFloppyBytes - library_pages);
  EXPECT_EQ(set.payload(), bytes);

  remove_bin_from_path();
  CreateDirectoryA((dir_ / "cwd").c_str(), nullptr);
  ProcessResult join = run_process("\"" + changer_.shelf + "\\bigVRAX.exe\"", dir_ / "cwd");
  EXPECT_EQ(join.exit_code, 0u) << join.output;
  EXPECT_EQ(read_file(dir_ / "cwd\\big.bin"), bytes);
}

// A checksum file of an earlier set on the first disk is stale: it goes, and
// the new one takes its room beside the first piece.
TEST_F(Floppy, AStaleChecksumFileMakesRoomForTheNewOne) {
  const std::string stale = "bigVRAX.exe 12345678\r\nbigVRAX.000 12345678\r\n";
  ASSERT_TRUE(write_file("A:\\bigVRAX.sfv", stale));
  std::string bytes = pattern_bytes(2000000, 27);
  ASSERT_EQ(split(bytes, 0, true), velmora::kSplitDone);
  EXPECT_EQ(changer_.first_disk_prompts, 1);
  EXPECT_EQ(sorted(files_on_a()), (std::vector<std::string>{"bigVRAX.exe", "bigVRAX.sfv"}));
  EXPECT_NE(read_file("A:\\bigVRAX.sfv"), stale);
  empty_drive();
  SetOnDisk set = read_set(changer_.shelf + "\\bigVRAX.exe");
  ASSERT_EQ(set.pieces.size(), 2u);
  EXPECT_EQ(set.pieces[0].file_size, kFloppyBytes - 4096);  // the stale file's page was taken
  EXPECT_EQ(checksum_findings(set, false, source_, true), "");
  EXPECT_EQ(set.payload(), bytes);
}

// The floppy's tmpfs seen through its folder on drive Z: (a volume mounted in
// a folder of another volume), not through drive A:.
std::string floppy_folder() {
  std::string bin = bin_dir();
  return bin.substr(0, bin.rfind('\\')) + "\\floppy";
}

// Automatic size measures the target folder's own volume (or, while the
// folder does not exist yet, its nearest existing parent's), not the root of
// the drive letter that the path begins with.
TEST_F(Floppy, AutomaticSizeMeasuresTheTargetFolderNotItsDriveRoot) {
  const std::string folder = floppy_folder();
  EXPECT_EQ(velmora::free_space_of(folder.c_str()), kFloppyBytes);
  EXPECT_EQ(velmora::free_space_of((folder + "\\not\\yet\\there").c_str()), kFloppyBytes);
  std::string bytes = pattern_bytes(2000000, 25);
  ASSERT_EQ(split(bytes, 0, true, folder), velmora::kSplitDone);
  EXPECT_EQ(changer_.no_space_prompts, 1);
  empty_drive();
  SetOnDisk set = read_set(changer_.shelf + "\\bigVRAX.exe");
  ASSERT_TRUE(set.readable);
  ASSERT_EQ(set.pieces.size(), 2u);
  EXPECT_EQ(set.pieces[0].file_size, kFloppyBytes);
  EXPECT_EQ(set.payload(), bytes);
}

bool decline_disk(velmora::DiskRequest request) {
  EXPECT_EQ(request, velmora::DiskRequest::kAnotherDisk);
  return false;
}

// A disk declined after the compression stage: result 10, and the temporary
// cabinet is gone with it.
TEST_F(Floppy, ADeclinedDiskAfterCompressionLeavesNoTemporaryCabinet) {
  hooks_.disk = decline_disk;
  char cabinet[260];
  ASSERT_TRUE(velmora::temp_cabinet_path((dir_ / "big.bin").c_str(), cabinet, sizeof cabinet));
  DeleteFileA(cabinet);
  EXPECT_EQ(split(pattern_bytes(2000000, 26), 0, true, "A:\\", true), velmora::kDiskDeclined);
  EXPECT_FALSE(file_exists(cabinet));
  EXPECT_EQ(read_file(source_), pattern_bytes(2000000, 26));
}

// A disk that runs full in the middle of a piece ends the split with result 3,
// never "Procedure comlete." (the write first comes back short).
TEST_F(Floppy, AFullDiskEndsTheSplitWithResult3) {
  EXPECT_EQ(split(pattern_bytes(3000000, 22), 2000000, false), velmora::kPieceFailed);
  EXPECT_EQ(changer_.no_space_prompts, 0);
}

// A source that shrinks while it is split (a read past its new end) ends the
// split with result 1 (the source). The piece being written on the disk in
// the drive goes; a first piece of an older set of the same name on that
// disk is not this split's and stays, as does this split's first piece on
// the first disk, which is out of reach.
TEST_F(Floppy, AFailedReadEndsTheSplitWithResult1AndRemovesOnlyItsOwnPiecesInTheDrive) {
  changer_.shrink_source = dir_ / "big.bin";
  changer_.older_first_piece = "an older set's first piece";
  EXPECT_EQ(split(pattern_bytes(3000000, 23), 0, true), velmora::kPayloadUnreadable);
  EXPECT_EQ(changer_.no_space_prompts, 1);
  EXPECT_EQ(changer_.first_disk_prompts, 0);
  EXPECT_EQ(files_on_a(), std::vector<std::string>{"bigVRAX.exe"});
  EXPECT_EQ(read_file("A:\\bigVRAX.exe"), changer_.older_first_piece);
  EXPECT_TRUE(file_exists(changer_.shelf + "\\bigVRAX.exe"));
}

// A target folder on the disk with automatic size: every new disk gets its
// levels. At "Place your first disk again" a disk holding an older set's
// first piece of the same name and size is not written to: the question
// comes again until the first disk is back, and the set rejoins.
TEST_F(Floppy, EveryDiskGetsTheTargetFolderAndOnlyTheFirstDiskGetsTheHead) {
  const std::string folder = "A:\\backup\\deep", first = folder + "\\bigVRAX.exe";
  std::string disk1, disk2, older, older_after;
  int first_disk_prompts = 0;
  hooks_.disk = [&](velmora::DiskRequest request) {
    if (request == velmora::DiskRequest::kFirstDiskAgain && ++first_disk_prompts == 2) {
      older_after = read_file(first);
      return write_file(first, disk1);
    }
    std::string& shelf = request == velmora::DiskRequest::kAnotherDisk ? disk1 : disk2;
    shelf = read_file(request == velmora::DiskRequest::kAnotherDisk ? first : piece_name(first, 0));
    remove_tree("A:\\backup");  // the next disk: empty, or the older set's
    if (request == velmora::DiskRequest::kFirstDiskAgain) {
      CreateDirectoryA("A:\\backup", nullptr);
      CreateDirectoryA(folder.c_str(), nullptr);
      write_file(first, older = pattern_bytes(disk1.size(), 29));
    }
    return true;
  };
  const std::string bytes = pattern_bytes(2000000, 28);
  ASSERT_EQ(split(bytes, 0, true, folder), velmora::kSplitDone);
  EXPECT_EQ(first_disk_prompts, 2);
  EXPECT_TRUE(older_after == older) << "the older set's first piece was written to";
  const std::string set = dir_ / "bigVRAX.exe";
  ASSERT_TRUE(write_file(set, read_file(first)) && write_file(piece_name(set, 0), disk2));
  ProcessResult join = run_process("\"" + set + "\" \"" + (dir_ / "joined") + "\"", dir_.path());
  EXPECT_EQ(join.exit_code, 0u) << join.output;
  EXPECT_TRUE(read_file(dir_ / "joined\\big.bin") == bytes);
  remove_tree("A:\\backup");
}

// A first piece whose path is 255 characters long (its source's name too
// long for the record in the header) still gets its checksum file; where
// that cannot be written either, velmora.exe /split says the set cannot
// prove itself, after "Procedure comlete." and with exit code 0.
TEST_F(Floppy, ASetNearThePathLimitCarriesItsChecksumFileOrSaysItCannotProveItself) {
  const std::string stem = "A:\\" + std::string(244, 'n'), source = stem + ".bin";
  const std::string first = stem + "VRAX.exe", sfv = stem + "VRAX.sfv";
  ASSERT_TRUE(first.size() == 255 && write_file(source, pattern_bytes(30000, 29)));
  for (bool blocked : {false, true}) {
    if (blocked) ASSERT_TRUE(DeleteFileA(sfv.c_str()) && CreateDirectoryA(sfv.c_str(), nullptr));
    ProcessResult run = run_process(
        "\"" + velmora_exe() + "\" /split \"" + source + "\" A:\\ 20000", dir_.path());
    EXPECT_EQ(run.exit_code, 0u);
    run.output.erase(std::remove(run.output.begin(), run.output.end(), '\r'), run.output.end());
    EXPECT_EQ(run.output, result_message(velmora::kSplitDone).text + std::string(blocked ? kUnprovableNote : "") + "\n");
    char line[300];
    splitset::sfv_line(line, first.substr(3).c_str(), system_crc32(read_file(first)));
    EXPECT_EQ(read_file(sfv).find(line) != std::string::npos, !blocked) << blocked;
  }
  RemoveDirectoryA(sfv.c_str());
}

// The joiner writing onto a full disk stops, says that the rebuilt file
// could not be written, where, and why (not blaming a sound piece), and the
// file of the output's name that was there before is untouched; nothing
// else is left on the disk.
// Recovery volumes with automatic size follow the last piece, one to a
// disk, each asked for like a piece's disk; the second new disk (junk on
// it) has too little room and is asked for again. The first piece leaves
// room so that a volume fits a disk as large as the first, after the
// library, which the volumes cover too. The files of every disk gathered
// into one folder (VELMORA_RECOVERY_SET names it for split_par2_check.sh,
// which repairs a lost first disk there, and a lost later disk's piece).
TEST_F(Floppy, RecoveryVolumesFollowOnDisksOfTheirOwn) {
  source_ = dir_ / "big.bin";
  ASSERT_TRUE(write_file(source_, pattern_bytes(2200000, 34)));
  SplitJob job{};
  std::strcpy(job.source_path, source_.c_str());
  std::strcpy(job.target_directory, "A:\\");
  job.autodetect = 1;
  job.recovery = 2;
  ASSERT_EQ(velmora::split_file(job, hooks_), velmora::kSplitDone) << job.recovery_problem;
  EXPECT_EQ(changer_.no_space_prompts, 4);  // a piece, the junk disk twice, a volume
  EXPECT_EQ(changer_.first_disk_prompts, 1);
  empty_drive();
  char named[MAX_PATH] = "";
  GetEnvironmentVariableA("VELMORA_RECOVERY_SET", named, sizeof named);
  const std::string gathered = named[0] ? std::string(named) : dir_ / "gathered";
  CreateDirectoryA(gathered.c_str(), nullptr);
  for (const std::string& name : files_in(changer_.shelf))
    ASSERT_TRUE(CopyFileA((changer_.shelf + "\\" + name).c_str(), (gathered + "\\" + name).c_str(), FALSE));
  EXPECT_EQ(sorted(files_in(gathered)),
            sorted({"bigVRAX.exe", "bigVRAX.000", "bigVRAX.sfv", "bigVRAX.par2",
                    "bigVRAX.vol0+1.par2", "bigVRAX.vol1+1.par2", "vornex.dll"}));
  const std::string first = read_file(gathered + "\\bigVRAX.exe");
  const std::string volume = read_file(gathered + "\\bigVRAX.vol1+1.par2");
  EXPECT_GT(volume.size(), first.size());
  EXPECT_LE(volume.size(), kFloppyBytes);
}

TEST_F(Floppy, TheJoinerOnAFullDiskDestroysNothing) {
  std::string bytes = pattern_bytes(2000000, 24);
  write_file(dir_ / "big.bin", bytes);
  ASSERT_EQ(run_split(dir_ / "big.bin", dir_ / "set", 500000, false, false, hooks_), velmora::kSplitDone);
  ASSERT_TRUE(write_file("A:\\big.bin", "precious"));
  ProcessResult join = run_process("\"" + (dir_ / "set\\bigVRAX.exe") + "\"", "A:\\");
  EXPECT_EQ(join.exit_code, 1u);
  EXPECT_NE(join.output.find("cannot write in A:\\"), std::string::npos) << join.output;
  char reason[256] = "";
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, ERROR_DISK_FULL, 0,
                 reason, sizeof reason, nullptr);
  std::string disk_full(reason, std::strcspn(reason, ".\r\n"));
  EXPECT_NE(join.output.find(": " + disk_full), std::string::npos) << join.output;
  EXPECT_EQ(join.output.find("bigVRAX"), std::string::npos) << join.output;
  EXPECT_EQ(read_file("A:\\big.bin"), "precious");
  EXPECT_EQ(files_on_a(), std::vector<std::string>{"big.bin"});
}

}  // namespace
