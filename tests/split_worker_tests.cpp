// The split worker started as the dialog starts it, with a real window as
// the owner of its result message.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "split_engine.h"
#include "split_test_support.h"
#include "split_worker.h"
#include "split_worker_seams.h"
#include "test_support.h"

namespace {

using namespace testing_support;

// A "Rudezo" message box of this process (other test programs may show theirs).
BOOL CALLBACK find_our_box(HWND window, LPARAM found) {
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  char cls[16] = "", title[16] = "";
  GetClassNameA(window, cls, sizeof cls);
  GetWindowTextA(window, title, sizeof title);
  if (process == GetCurrentProcessId() && std::string(cls) == "#32770" &&
      std::string(title) == kMessageCaption) {
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
  }
  return TRUE;
}

HWND our_message_box() {
  HWND found = nullptr;
  EnumWindows(find_our_box, reinterpret_cast<LPARAM>(&found));
  return found;
}

class SplitWorker : public ::testing::Test {
 protected:
  void SetUp() override {
    velmora::set_joiner_image_source(split_testing::velmora_exe().c_str());
    // The first window of a fresh Wine prefix can fail while Wine's desktop
    // process is still starting; try again for a few seconds.
    for (int attempt = 0; attempt < 50 && !dialog_; ++attempt) {
      dialog_ = CreateWindowA("STATIC", "worker test", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                              nullptr, nullptr, nullptr, nullptr);
      if (!dialog_) Sleep(100);
    }
    button_ = CreateWindowA("BUTTON", "Split", WS_CHILD | WS_VISIBLE, 0, 0, 60, 20, dialog_,
                            nullptr, nullptr, nullptr);
    ASSERT_TRUE(dialog_ && button_);
  }
  void TearDown() override {
    velmora::set_thread_starter(nullptr);
    velmora::set_split_runner(nullptr);
    DestroyWindow(dialog_);
  }

  // Pumps this thread's messages until the worker's result box appears; reads
  // its text and owner and presses OK. Returns the text ("" if none came).
  std::string answer_result_box() {
    for (int waited = 0; waited < 30000; waited += 10) {
      MSG message;
      while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
      }
      HWND box = our_message_box();
      if (box) {
        char text[256] = "";
        GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
        owner_ = GetWindow(box, GW_OWNER);
        PostMessageA(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
        return text;
      }
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    return "";
  }

  // Waits for the worker's last act while answering messages.
  bool wait_finished() {
    for (int waited = 0; waited < 30000 && !worker_finished; waited += 5) {
      MSG message;
      while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
      Sleep(5);
    }
    return worker_finished != 0;
  }

  ScratchDir dir_;
  HWND dialog_ = nullptr;
  HWND button_ = nullptr;
  HWND owner_ = nullptr;
};

TEST_F(SplitWorker, RunsTheSplitAndReportsThroughTheDialog) {
  write_file(dir_ / "s.bin", pattern_bytes(30000, 1));
  break_requested = 1;  // left over from a Break while idle
  ASSERT_TRUE(start_split(dialog_, button_, (dir_ / "s.bin").c_str(), (dir_ / "out").c_str(),
                          10000, false, true, false));
  EXPECT_EQ(break_requested, 0);
  EXPECT_FALSE(IsWindowEnabled(button_));
  EXPECT_EQ(answer_result_box(), "Procedure comlete.");
  EXPECT_EQ(owner_, dialog_);
  ASSERT_TRUE(wait_finished());
  EXPECT_TRUE(IsWindowEnabled(button_));
  EXPECT_EQ(GetPriorityClass(GetCurrentProcess()), static_cast<DWORD>(NORMAL_PRIORITY_CLASS));
  EXPECT_TRUE(file_exists(dir_ / "out\\sVRAX.002"));
}

TEST_F(SplitWorker, AFailedSplitShowsItsMessage) {
  write_file(dir_ / "s.bin", pattern_bytes(30000, 1));
  ASSERT_TRUE(start_split(dialog_, button_, (dir_ / "s.bin").c_str(), dir_.path().c_str(), 0,
                          false, false, false));
  EXPECT_EQ(answer_result_box(), "The section size is too small");
  ASSERT_TRUE(wait_finished());
  EXPECT_TRUE(IsWindowEnabled(button_));
}

velmora::SplitResult exploding_split(SplitJob&, velmora::SplitHooks&) { throw std::runtime_error("the prompt failed"); }

// An exception inside the split is reported to the user, and the worker ends
// as after any result.
TEST_F(SplitWorker, AnExceptionInTheSplitIsShownNotSwallowed) {
  write_file(dir_ / "s.bin", pattern_bytes(30000, 1));
  velmora::set_split_runner(exploding_split);
  ASSERT_TRUE(start_split(dialog_, button_, (dir_ / "s.bin").c_str(), dir_.path().c_str(), 20000,
                          false, false, false));
  EXPECT_EQ(answer_result_box(), std::string(kInternalErrorText) + "the prompt failed");
  EXPECT_EQ(owner_, dialog_);
  ASSERT_TRUE(wait_finished());
  EXPECT_TRUE(IsWindowEnabled(button_));
}

HANDLE no_thread(LPTHREAD_START_ROUTINE, void*) {
  SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return nullptr;
}

// Nothing else would bring Split back or let the dialog close.
TEST_F(SplitWorker, AWorkerThatCannotStartRestoresSplitAndTheFlags) {
  velmora::set_thread_starter(no_thread);
  EXPECT_FALSE(start_split(dialog_, button_, "C:\\x.bin", "C:\\", 10000, false, false, false));
  EXPECT_EQ(worker_finished, 1);
  EXPECT_TRUE(IsWindowEnabled(button_));
}

struct MessageCase {
  int result;
  const char* text;
  UINT icon;
};

TEST(ResultMessages, EveryCodeHasItsTextAndIcon) {
  const MessageCase cases[] = {
      {0, "Procedure comlete.", MB_ICONQUESTION},
      {1, "Cannot create file", MB_ICONERROR},
      {2, "The file size is less than a size of section.", MB_ICONERROR},
      {3, "Cannot create file", MB_ICONERROR},
      {4, "The section size is too small", MB_ICONERROR},
      {5, "Memory allocation error", MB_ICONERROR},
      {6, "Compression error", MB_ICONERROR},
      {7, "Cannot open file.", MB_ICONERROR},
      {10, "Procedure breaked.", MB_ICONWARNING},
      {11, "The file is too large to split (2 GB or more).", MB_ICONERROR},
      {12, "The file would be overwritten by its own set. Choose another target directory.",
       MB_ICONERROR},
      {13, "The set is complete, but it has more than 32768 pieces: PAR2 allows no recovery "
           "volumes for it.", MB_ICONWARNING},
      {14, "The set is complete without its recovery volumes: they could not be written.",
       MB_ICONWARNING},
  };
  for (const MessageCase& c : cases) {
    ResultMessage message = result_message(static_cast<velmora::SplitResult>(c.result));
    ASSERT_NE(message.text, nullptr) << c.result;
    EXPECT_STREQ(message.text, c.text) << c.result;
    EXPECT_EQ(message.icon, c.icon) << c.result;
  }
  for (int silent : {8, 9, 15, -1})
    EXPECT_EQ(result_message(static_cast<velmora::SplitResult>(silent)).text, nullptr) << silent;
}

// Why no recovery volumes were written comes from the engine as a code and
// is put in words here, after result 14's text; no code goes without words,
// and a job that says nothing adds nothing.
TEST(ResultMessages, ARecoveryProblemIsSaidAfterResult14) {
  SplitJob job{};
  const std::string plain = result_text(velmora::kRecoveryNotWritten, job);
  EXPECT_EQ(plain, result_message(velmora::kRecoveryNotWritten).text);
  std::strcpy(job.recovery_problem_detail, "cannot write reportVRAX.par2");
  job.recovery_problem_volume = 3;
  std::vector<std::string> said;
  for (int code = static_cast<int>(RecoveryProblem::kNoMemoryToReread);
       code <= static_cast<int>(RecoveryProblem::kNoDiskForVolume); ++code) {
    job.recovery_problem = static_cast<RecoveryProblem>(code);
    const std::string text = result_text(velmora::kRecoveryNotWritten, job);
    ASSERT_GT(text.size(), plain.size() + 3) << code;
    EXPECT_EQ(text.compare(0, plain.size() + 2, plain + " ("), 0) << text;
    EXPECT_EQ(text.back(), ')') << text;
    EXPECT_EQ(std::count(said.begin(), said.end(), text), 0) << text;
    said.push_back(text);
  }
  EXPECT_NE(said[static_cast<int>(RecoveryProblem::kWriterFailed) - 1].find("cannot write reportVRAX.par2"),
            std::string::npos);
  EXPECT_NE(said[static_cast<int>(RecoveryProblem::kNoDiskForVolume) - 1].find("volume 3"), std::string::npos);
  // Only result 14 carries it.
  EXPECT_EQ(result_text(velmora::kSplitDone, job), result_message(velmora::kSplitDone).text);
}

}  // namespace
