// The splitter's dialog worked from outside as a person uses it: the real
// velmora.exe under Wine, its real worker and engine, and the real joiner
// (the first piece of a set) run as a process to check what came out.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <memory>
#include <string>

#include "dialog_ids.h"
#include "dialog_ui_support.h"
#include "test_support.h"

using testing_support::ScratchDir;
using ui_driver::Velmora;
using ui_driver::box_text;

namespace {

const char kSplitCaption[] = "File splitting dialog";

class DialogUi : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(app.dialog(), nullptr) << "velmora.exe showed no dialog";
    out = scratch / "out";
  }

  // Fills in the inputs and presses Split.
  void start(const std::string& source, int section_size, bool compress, bool idle,
             bool autodetect = false) {
    app.set_text(IDC_FILE_EDIT, source);
    app.set_text(IDC_DIR_EDIT, out);
    app.set_text(IDC_SECTION_EDIT, std::to_string(section_size));
    app.set_checked(IDC_CHECKBOX1, compress);
    app.set_checked(IDC_CHECKBOX2, idle);
    app.set_checked(IDC_CHECKBOX3, autodetect);
    app.click(IDC_BUTTON1);
  }

  // The worker's result box: checks caption, owner and text, and dismisses it.
  void expect_result(const std::string& text) {
    HWND box = app.wait_for_box("Rudezo");
    ASSERT_NE(box, nullptr) << "no result message";
    EXPECT_EQ(GetWindow(box, GW_OWNER), app.dialog());
    EXPECT_EQ(box_text(box), text);
    ASSERT_TRUE(app.answer(box, IDOK));
  }

  bool split_enabled() const { return IsWindowEnabled(app.control(IDC_BUTTON1)) != FALSE; }

  // Runs the first piece in a new directory; the rebuilt file's path. A set
  // cut short by Break never takes the file's name: its first piece keeps
  // the leading part as the name with ".partial" added, and exits 1.
  std::string join(const std::string& first_piece, const std::string& name, bool cut_short = false) {
    std::string joined = scratch / "joined";
    CreateDirectoryA(joined.c_str(), nullptr);
    DWORD code = 2;
    EXPECT_TRUE(ui_driver::run_program(first_piece, "", joined, &code));
    EXPECT_EQ(code, cut_short ? 1u : 0u);
    return joined + "\\" + name + (cut_short ? ".partial" : "");
  }

  ScratchDir scratch;
  Velmora app;
  std::string out;
};

TEST_F(DialogUi, SplitWithoutAnExistingFileSaysInvalidFileName) {
  // "backup 2.zip" does not exist, "backup" does: the text is not a command line.
  ASSERT_TRUE(testing_support::write_file(scratch / "backup", "another file"));
  const std::string names[] = {"", "no such file.bin", "\"" + (scratch / "missing.bin") + "\"",
                               scratch.path(), scratch / "backup 2.zip"};
  for (const std::string& name : names) {
    SCOPED_TRACE("file_edit: [" + name + "]");
    start(name, 100000, false, false);
    HWND box = app.wait_for_box("Error");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(GetWindow(box, GW_OWNER), app.dialog());
    EXPECT_EQ(box_text(box), "Invalid file name.");
    EXPECT_TRUE(split_enabled()) << "a job was started";
    ASSERT_TRUE(app.answer(box, IDOK));
    EXPECT_EQ(app.wait_for_box("Rudezo", 300), nullptr) << "a job was started";
    EXPECT_FALSE(testing_support::dir_exists(out));
  }
}

// A name that the ANSI code page (1252 here) cannot spell, in either field,
// is refused with a box of its own and nothing is written: Windows' own
// conversion would split the look-alike Lódz.bin, or create out_L.
TEST_F(DialogUi, ANameTheCodePageCannotSpellIsRefused) {
  const std::string narrow = scratch.path() + "\\";
  const std::wstring dir(narrow.begin(), narrow.end());
  const std::wstring lodz = dir + L"\u0141\u00f3d\u017a.bin", cjk = dir + L"\u6570\u636e.bin";
  for (const std::wstring& name : {lodz, cjk})
    CloseHandle(CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
  ASSERT_TRUE(testing_support::write_file(scratch / "L\xf3dz.bin", testing_support::pattern_bytes(50000, 2)));
  ASSERT_TRUE(testing_support::write_file(scratch / "data.bin", testing_support::pattern_bytes(50000, 3)));
  const std::wstring cases[][2] = {
      {lodz, dir + L"out"}, {cjk, dir + L"out"}, {dir + L"data.bin", dir + L"out_\u0141"}};
  const auto before = testing_support::list_tree(scratch.path());
  app.set_text(IDC_SECTION_EDIT, "20000");
  for (const auto& c : cases) {
    SendMessageW(app.control(IDC_FILE_EDIT), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(c[0].c_str()));
    SendMessageW(app.control(IDC_DIR_EDIT), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(c[1].c_str()));
    app.click(IDC_BUTTON1);
    HWND box = app.wait_for_box("Error");
    ASSERT_NE(box, nullptr);
    EXPECT_NE(box_text(box).find("cannot be spelled in the system's ANSI code page"), std::string::npos)
        << box_text(box);
    ASSERT_TRUE(app.answer(box, IDOK));
    EXPECT_EQ(app.wait_for_box("Rudezo", 300), nullptr) << "a job was started";
    EXPECT_TRUE(testing_support::list_tree(scratch.path()) == before) << "something was written";
  }
}

TEST_F(DialogUi, DefaultSectionSizeIsTooSmall) {
  // Plain and quoted (the first command-line item) names both reach the engine.
  std::string source = scratch / "my data.bin";
  ASSERT_TRUE(testing_support::write_file(source, testing_support::pattern_bytes(50000, 1)));
  EXPECT_EQ(app.text(IDC_SECTION_EDIT), "0");
  for (const std::string& typed : {source, "\"" + source + "\" --ignored"}) {
    SCOPED_TRACE(typed);
    app.set_text(IDC_FILE_EDIT, typed);
    app.click(IDC_BUTTON1);
    expect_result("The section size is too small");
    ASSERT_TRUE(ui_driver::wait_until([&] { return split_enabled(); }));
  }
}

class RoundTrip : public DialogUi, public ::testing::WithParamInterface<bool> {};

TEST_P(RoundTrip, SetRebuildsTheFileByteForByte) {
  const bool compress = GetParam();
  std::string source = scratch / "payload.dat";
  // Compressible text when compressing, so that the cabinet still spans pieces.
  std::string bytes = compress ? std::string(400000, 'x') + testing_support::pattern_bytes(120000, 3)
                               : testing_support::pattern_bytes(300000, 2);
  ASSERT_TRUE(testing_support::write_file(source, bytes));
  start(source, 50000, compress, true);
  expect_result("Procedure comlete.");
  ASSERT_TRUE(ui_driver::wait_until([&] { return split_enabled(); }));
  ASSERT_TRUE(testing_support::file_exists(out + "\\payloadVRAX.exe"));
  EXPECT_TRUE(testing_support::file_exists(out + "\\payloadVRAX.000"));
  // The dialog's sets carry velmora's own library beside the first piece.
  EXPECT_TRUE(testing_support::read_file(out + "\\vornex.dll") ==
              testing_support::read_file(testing_support::bin_dir() + "\\vornex.dll"));
  std::string rebuilt = join(out + "\\payloadVRAX.exe", "payload.dat");
  EXPECT_TRUE(testing_support::read_file(rebuilt) == bytes) << "rebuilt file differs";
}

INSTANTIATE_TEST_SUITE_P(Dialog, RoundTrip, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Compressed" : "Plain"; });

// The system menu's "Recovery volumes" choice (its commands: None 0x110, 1
// 0x120, 2 0x130, 5 % 0x140, 10 % 0x150) holds for every split while the
// dialog is open, until another is chosen.
TEST_F(DialogUi, TheSystemMenusRecoveryChoiceHoldsForEverySplit) {
  std::string source = scratch / "payload.dat";
  ASSERT_TRUE(testing_support::write_file(source, testing_support::pattern_bytes(300000, 5)));
  struct Run { WPARAM choice; const char* volume; bool written; };
  const Run runs[] = {{0x130, "payloadVRAX.vol1+1.par2", true},
                      {0, "payloadVRAX.vol1+1.par2", true},  // the choice holds
                      {0x150, "payloadVRAX.vol0+1.par2", true},  // 10 % of 7 pieces
                      {0x110, "payloadVRAX.par2", false}};
  for (const Run& run : runs) {
    SCOPED_TRACE(run.choice);
    if (run.choice) SendMessageA(app.dialog(), WM_SYSCOMMAND, run.choice, 0);
    start(source, 50000, false, false);
    expect_result("Procedure comlete.");
    ASSERT_TRUE(ui_driver::wait_until([&] { return split_enabled(); }));
    EXPECT_EQ(testing_support::file_exists(out + "\\" + run.volume), run.written);
    EXPECT_FALSE(testing_support::file_exists(out + "\\payloadVRAX.vol1+1.par2") && run.choice == 0x150);
    for (const std::string& name : testing_support::files_in(out))
      DeleteFileA((out + "\\" + name).c_str());
  }
}

// A long split, that Break or Close interrupts: 128 MiB in pieces of 1 MB.
const size_t kLongSplitMegabytes = 128;

TEST_F(DialogUi, BreakDuringASplitLeavesASetOfTheLeadingPart) {
  std::string source = scratch / "big.bin";
  ASSERT_TRUE(ui_driver::write_pattern_file(source, kLongSplitMegabytes));
  start(source, 1000000, false, false);
  // Break once the split is under way: a few pieces written, over a hundred to go.
  ASSERT_TRUE(ui_driver::wait_until(
      [&] { return testing_support::file_exists(out + "\\bigVRAX.002"); }));
  app.click(IDC_BUTTON3);
  expect_result("Procedure comlete.");
  std::string rebuilt = join(out + "\\bigVRAX.exe", "big.bin", true);
  ASSERT_TRUE(testing_support::file_exists(rebuilt));
  EXPECT_LT(ui_driver::file_size(rebuilt), ui_driver::file_size(source)) << "the split was not broken";
  EXPECT_GT(ui_driver::file_size(rebuilt), 0u);
  EXPECT_TRUE(ui_driver::file_starts_with(source, rebuilt));
}

TEST_F(DialogUi, CloseDuringASplitBreaksItAndEndsOnceTheResultIsDismissed) {
  std::string source = scratch / "big.bin";
  ASSERT_TRUE(ui_driver::write_pattern_file(source, kLongSplitMegabytes));
  start(source, 1000000, false, false);
  ASSERT_TRUE(ui_driver::wait_until(
      [&] { return testing_support::file_exists(out + "\\bigVRAX.002"); }));
  app.click(IDC_BUTTON2);
  HWND box = app.wait_for_box("Rudezo");
  ASSERT_NE(box, nullptr) << "the result never appeared while the dialog was closing";
  EXPECT_EQ(GetWindow(box, GW_OWNER), app.dialog());
  EXPECT_EQ(box_text(box), "Procedure comlete.");
  EXPECT_TRUE(app.running()) << "the program ended before the result was dismissed";
  ASSERT_TRUE(app.answer(box, IDOK));
  EXPECT_EQ(app.wait_for_exit(), 0u);
  // The split stopped early: the first piece's set is short of the source.
  std::string rebuilt = join(out + "\\bigVRAX.exe", "big.bin", true);
  EXPECT_LT(ui_driver::file_size(rebuilt), ui_driver::file_size(source));
}

TEST_F(DialogUi, CloseButtonWithNoSplitEndsTheProgram) {
  app.click(IDC_BUTTON2);
  EXPECT_EQ(app.wait_for_exit(), 0u);
}

TEST_F(DialogUi, CloseBoxWithNoSplitEndsTheProgram) {
  PostMessageA(app.dialog(), WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_EQ(app.wait_for_exit(), 0u);
}

TEST_F(DialogUi, BreakWithNoSplitChangesNothing) {
  app.click(IDC_BUTTON3);
  EXPECT_EQ(app.wait_for_other_dialog(300), nullptr);
  EXPECT_TRUE(app.running());
  EXPECT_TRUE(split_enabled());
}

HWND focus_of(HWND dialog) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &info);
  return info.hwndFocus;
}

// Enter is not turned into Tab, and neither Enter nor Escape closes or splits.
TEST_F(DialogUi, EnterAndEscapeNeitherMoveOnNorCloseNorSplit) {
  HWND edit = app.control(IDC_FILE_EDIT);
  ASSERT_TRUE(ui_driver::wait_until([&] { return focus_of(app.dialog()) == edit; }, 3000))
      << "the dialog does not open in file_edit: " << focus_of(app.dialog());
  for (WPARAM key : {VK_RETURN, VK_ESCAPE}) {
    PostMessageA(edit, WM_KEYDOWN, key, 1);
    PostMessageA(edit, WM_KEYUP, key, 0xC0000001);
  }
  EXPECT_EQ(app.wait_for_other_dialog(500), nullptr);
  EXPECT_TRUE(app.running());
  EXPECT_EQ(focus_of(app.dialog()), edit);
}

class IdlePriority : public DialogUi, public ::testing::WithParamInterface<bool> {};

// The worker holds the process's priority class from the start of the split
// until its result is dismissed; so the class is read while the box is up.
TEST_P(IdlePriority, HoldsForTheLengthOfTheSplitOnly) {
  const bool idle = GetParam();
  std::string source = scratch / "data.bin";
  ASSERT_TRUE(testing_support::write_file(source, testing_support::pattern_bytes(60000, 4)));
  EXPECT_EQ(GetPriorityClass(app.process()), static_cast<DWORD>(NORMAL_PRIORITY_CLASS));
  start(source, 20000, false, idle);
  HWND box = app.wait_for_box("Rudezo");
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(GetPriorityClass(app.process()),
            static_cast<DWORD>(idle ? IDLE_PRIORITY_CLASS : NORMAL_PRIORITY_CLASS));
  ASSERT_TRUE(app.answer(box, IDOK));
  ASSERT_TRUE(ui_driver::wait_until([&] { return split_enabled(); }));
  EXPECT_EQ(GetPriorityClass(app.process()), static_cast<DWORD>(NORMAL_PRIORITY_CLASS));
}

INSTANTIATE_TEST_SUITE_P(Dialog, IdlePriority, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "On" : "Off"; });

// Drive A: is an empty 1440 KiB tmpfs (the floppy fixture, where mounting is
// allowed). The first piece fills the disk; the worker then asks for another.
TEST_F(DialogUi, AutodetectOnAFullFloppyAsksForAnotherDiskAndNoBreaksOff) {
  ULARGE_INTEGER free_bytes{}, total_bytes{};
  if (!GetDiskFreeSpaceExA("A:\\", &free_bytes, &total_bytes, nullptr) ||
      total_bytes.QuadPart != 1474560) {
    GTEST_SKIP() << "drive A: is not a 1440 KiB floppy (mounting a tmpfs was refused?)";
  }
  ASSERT_EQ(free_bytes.QuadPart, total_bytes.QuadPart) << "drive A: is not empty";
  std::string source = scratch / "disk.bin";
  ASSERT_TRUE(ui_driver::write_pattern_file(source, 2));
  out = "A:";
  start(source, 0, false, false, true);
  HWND prompt = app.wait_for_box("Rudezo");
  ASSERT_NE(prompt, nullptr);
  EXPECT_EQ(box_text(prompt),
            "Not enough free space. Place another disk into the drive and press YES.");
  ASSERT_TRUE(app.answer(prompt, IDNO));
  expect_result("Procedure breaked.");
  // The library took its pages of the disk first (and went again with No).
  const uint64_t library = ui_driver::file_size(testing_support::bin_dir() + "\\vornex.dll");
  EXPECT_EQ(ui_driver::file_size("A:\\diskVRAX.exe"), 1474560u - (library + 4095) / 4096 * 4096)
      << "the first disk was not filled";
  EXPECT_FALSE(testing_support::file_exists("A:\\vornex.dll"));
  DeleteFileA("A:\\diskVRAX.exe");
}

// The progress bar, watched from outside while the worker is held at chosen
// blocks (VELMORA_PROGRESS_HOLD; the bar is updated before the worker
// stops): it shows, it moves and never goes back, the piece counts up, a
// compression shows a marquee, and at the result it is reset and hidden.
class DialogProgress : public ::testing::Test {
 protected:
  void SetUp() override {
    name_ = "velmora-progress-" + std::to_string(GetCurrentProcessId());
    held_ = CreateEventA(nullptr, FALSE, FALSE, (name_ + ".held").c_str());
    go_ = CreateEventA(nullptr, FALSE, FALSE, (name_ + ".go").c_str());
    ASSERT_TRUE(held_ && go_);
  }
  void TearDown() override {
    CloseHandle(held_);
    CloseHandle(go_);
  }
  // Starts velmora.exe that holds at `blocks`, and a split in it.
  void start(const std::string& blocks, const std::string& source, int section, bool compress) {
    SetEnvironmentVariableA("VELMORA_PROGRESS_HOLD", (name_ + ":" + blocks).c_str());
    app_ = std::make_unique<Velmora>();
    SetEnvironmentVariableA("VELMORA_PROGRESS_HOLD", nullptr);
    ASSERT_NE(app_->dialog(), nullptr);
    app_->set_text(IDC_FILE_EDIT, source);
    app_->set_text(IDC_DIR_EDIT, scratch / "out");
    app_->set_text(IDC_SECTION_EDIT, std::to_string(section));
    app_->set_checked(IDC_CHECKBOX1, compress);
    app_->set_checked(IDC_CHECKBOX2, false);
    EXPECT_FALSE(IsWindowVisible(bar())) << "a bar before any split";
    app_->click(IDC_BUTTON1);
  }
  HWND bar() const { return app_->control(IDC_PROGRESS); }
  int position() const { return static_cast<int>(SendMessageA(bar(), PBM_GETPOS, 0, 0)); }
  bool marquee() const { return (GetWindowLongA(bar(), GWL_STYLE) & PBS_MARQUEE) != 0; }
  std::string caption() const { return app_->text(IDC_PROGRESS_TEXT); }
  bool wait_held() { return WaitForSingleObject(held_, 60000) == WAIT_OBJECT_0; }
  void go() { SetEvent(go_); }
  // The result box: at that moment the bar is back at 0 and hidden.
  void expect_reset_at_the_result() {
    HWND box = app_->wait_for_box("Rudezo");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box_text(box), "Procedure comlete.");
    EXPECT_EQ(position(), 0);
    EXPECT_FALSE(IsWindowVisible(bar()));
    EXPECT_FALSE(IsWindowVisible(app_->control(IDC_PROGRESS_TEXT)));
    ASSERT_TRUE(app_->answer(box, IDOK));
  }

  ScratchDir scratch;
  std::string name_;
  HANDLE held_ = nullptr, go_ = nullptr;
  std::unique_ptr<Velmora> app_;
};

TEST_F(DialogProgress, MovesWithTheBlocksAndIsResetAtTheResult) {
  std::string source = scratch / "big.bin";
  ASSERT_TRUE(ui_driver::write_pattern_file(source, 32));
  const double payload = 32.0 * 1048576;
  start("1,4000,9000,16000", source, 1000000, false);
  int last_position = -1, last_piece = 0;
  for (int block : {1, 4000, 9000, 16000}) {
    SCOPED_TRACE("block " + std::to_string(block));
    ASSERT_TRUE(wait_held()) << "the worker never reached the block";
    EXPECT_TRUE(IsWindowVisible(bar()));
    EXPECT_FALSE(marquee());
    // The share in tenths of a percent; short blocks at the pieces' ends
    // keep it a little below block * 2048.
    const int expected = static_cast<int>(block * 2048.0 * 1000 / payload);
    EXPECT_LE(position(), expected);
    EXPECT_GE(position(), expected - 2);
    EXPECT_GT(position(), last_position) << "the bar went back or stood still";
    const std::string text = caption();
    ASSERT_EQ(text.compare(0, 6, "Piece "), 0) << text;
    const int piece = std::stoi(text.substr(6));
    EXPECT_EQ(piece, block * 2048 / 995000 + 1) << text;  // ~485 blocks a piece
    EXPECT_GE(piece, last_piece);
    last_position = position();
    last_piece = piece;
    go();
  }
  expect_reset_at_the_result();
}

TEST_F(DialogProgress, ShowsAMarqueeWhileCompressingThenTheShare) {
  std::string source = scratch / "text.log";
  std::string text;
  for (int i = 0; text.size() < 3000000; ++i) text += "log line " + std::to_string(i) + "\r\n";
  ASSERT_TRUE(testing_support::write_file(source, text + testing_support::pattern_bytes(300000, 5)));
  start("0,20", source, 50000, true);
  ASSERT_TRUE(wait_held());
  EXPECT_TRUE(IsWindowVisible(bar()));
  EXPECT_TRUE(marquee());
  EXPECT_EQ(caption(), "Compressing");
  go();
  ASSERT_TRUE(wait_held());
  EXPECT_FALSE(marquee());
  EXPECT_GT(position(), 0);
  EXPECT_EQ(caption(), "Piece 1");
  go();
  expect_reset_at_the_result();
}

// The program's one argument, when it names an existing file, is the file
// name of the dialog ("Open with", a file dropped on the icon); any other
// text leaves the dialog as it opens by itself.
TEST(DialogArgument, AnExistingFileFillsTheFileName) {
  ScratchDir scratch;
  std::string file = scratch / "my file.doc";
  ASSERT_TRUE(testing_support::write_file(file, "some bytes"));
  {
    Velmora app("\"" + file + "\"");
    ASSERT_NE(app.dialog(), nullptr);
    EXPECT_EQ(app.text(IDC_FILE_EDIT), file);
  }
  {
    Velmora app("\"" + (scratch / "missing.doc") + "\"");
    ASSERT_NE(app.dialog(), nullptr);
    EXPECT_EQ(app.text(IDC_FILE_EDIT), "");
  }
}

}  // namespace
