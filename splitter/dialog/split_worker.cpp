#include "split_worker.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "split_engine.h"
#include "split_worker_seams.h"
#include "unique_handle.h"

std::atomic<uint8_t> break_requested{0};
std::atomic<uint8_t> worker_finished{1};

namespace {

// The worker's view of one run: the job and the dialog it reports to.
struct WorkerStart {
  SplitJob job;
  HWND dialog;
  HWND split_button;
};

// The progress slot: stage in the top two bits, the piece in the next 20,
// the share in the low 10; and whether a message is on its way.
std::atomic<uint32_t> g_progress{kProgressReset << 30};
std::atomic<bool> g_progress_posted{false};

uint32_t pack_progress(uint32_t stage, uint32_t permille, uint32_t piece) {
  return stage << 30 | (piece & 0xFFFFF) << 10 | permille;
}

winsup::UniqueKernelHandle g_worker;  // the last worker's handle, closed before the next starts
velmora::ThreadStarter g_thread_starter = nullptr;
velmora::SplitRunner g_split_runner = nullptr;

// Where a test holds the worker (see kProgressHoldVariable).
struct ProgressHold {
  std::vector<uint32_t> blocks;  // ascending
  size_t next = 0;
  winsup::UniqueKernelHandle held, go;

  void load() {
    char value[512];
    DWORD n = GetEnvironmentVariableA(kProgressHoldVariable, value, sizeof value);
    if (n == 0 || n >= sizeof value) return;
    std::string text(value, n);
    size_t colon = text.find(':');
    if (colon == std::string::npos) return;
    std::string name = text.substr(0, colon);
    held.reset(CreateEventA(nullptr, FALSE, FALSE, (name + ".held").c_str()));
    go.reset(CreateEventA(nullptr, FALSE, FALSE, (name + ".go").c_str()));
    for (size_t at = colon + 1; at < text.size();) {
      size_t comma = text.find(',', at);
      if (comma == std::string::npos) comma = text.size();
      blocks.push_back(static_cast<uint32_t>(std::strtoul(text.substr(at, comma - at).c_str(), nullptr, 10)));
      at = comma + 1;
    }
    std::sort(blocks.begin(), blocks.end());
  }
  bool due(uint32_t block) {
    while (next < blocks.size() && blocks[next] < block) ++next;
    return next < blocks.size() && blocks[next] == block && held && go;
  }
  void wait() {
    ++next;
    SetEvent(held.get());
    WaitForSingleObject(go.get(), 60000);
  }
};

// The engine's hooks for a split started by the dialog: the shared break
// flag, the disk prompts as message boxes, and the progress posted to the
// dialog whenever what it shows would change.
class DialogHooks : public velmora::SplitHooks {
 public:
  explicit DialogHooks(HWND dialog) : dialog_(dialog) { hold_.load(); }

  bool break_requested() override {
    return ::break_requested.load(std::memory_order_relaxed) != 0;
  }
  bool ask_for_disk(velmora::DiskRequest request) override {
    post();  // the latest state shows while the user is asked
    return velmora::ask_for_disk_in_a_box(request);
  }
  void progress(const velmora::SplitProgress& progress) override {
    using Stage = velmora::SplitProgress::Stage;
    const bool recovery = progress.stage == Stage::kRecovery;
    uint32_t stage = progress.stage == Stage::kCompressing ? kProgressCompressing
                     : recovery                            ? kProgressRecovery
                                                           : kProgressWriting;
    uint32_t permille = progress.payload_size == 0
                            ? 0
                            : static_cast<uint32_t>(uint64_t{progress.payload_written} * 1000 /
                                                    progress.payload_size);
    const uint32_t state =
        pack_progress(stage, permille, recovery ? progress.volumes : progress.piece + 1);
    if (hold_.due(progress.blocks)) {
      g_progress.store(state);
      SendMessageA(dialog_, kProgressMessage, 0, 0);
      hold_.wait();
      return;
    }
    if (g_progress.exchange(state) == state) return;
    // A message and a repaint cost the dialog's thread more than a block
    // costs the worker: within one stage the bar hears at most every
    // kProgressInterval of the latest state; a new stage goes at once.
    const DWORD now = GetTickCount();
    if (stage == posted_stage_ && now - posted_at_ < kProgressInterval) return;
    post();
    posted_stage_ = stage;
    posted_at_ = now;
  }

  // Before the result: the dialog takes the reset before the box appears.
  void reset() {
    g_progress.store(pack_progress(kProgressReset, 0, 0));
    SendMessageA(dialog_, kProgressMessage, 0, 0);
  }

 private:
  // The dialog takes the latest state when the message arrives; one at a time.
  void post() {
    if (!g_progress_posted.exchange(true)) PostMessageA(dialog_, kProgressMessage, 0, 0);
  }

  static constexpr DWORD kProgressInterval = 50;  // milliseconds
  HWND dialog_;
  ProgressHold hold_;
  uint32_t posted_stage_ = kProgressReset;
  DWORD posted_at_ = 0;
};

HANDLE create_worker_thread(LPTHREAD_START_ROUTINE routine, void* argument) {
  if (g_thread_starter) return g_thread_starter(routine, argument);
  return CreateThread(nullptr, 0, routine, argument, 0, nullptr);
}

// One split on a thread of its own: its result, or the exception it threw.
struct SplitBeside {
  SplitJob* job;
  velmora::SplitHooks* hooks;
  velmora::SplitResult result = velmora::kSplitDone;
  std::exception_ptr error;
};

DWORD WINAPI run_split(void* argument) {
  auto* run = static_cast<SplitBeside*>(argument);
  try {
    run->result = g_split_runner ? g_split_runner(*run->job, *run->hooks)
                                 : velmora::split_file(*run->job, *run->hooks);
  } catch (...) {
    run->error = std::current_exception();
  }
  return 0;
}

// The split, run beside the worker while the worker makes ready for the
// result box: a thread's first window costs it, under Wine, a connection of
// its own to the display (some 15 ms), paid here while the split runs
// instead of after it. Without a second thread the split runs here.
velmora::SplitResult split_beside(SplitJob& job, velmora::SplitHooks& hooks) {
  SplitBeside run{&job, &hooks, velmora::kSplitDone, {}};
  winsup::UniqueKernelHandle thread(CreateThread(nullptr, 0, run_split, &run, 0, nullptr));
  if (thread) {
    DestroyWindow(CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                  nullptr, nullptr));
    WaitForSingleObject(thread.get(), INFINITE);
  } else {
    run_split(&run);
  }
  if (run.error) std::rethrow_exception(run.error);
  return run.result;
}

void copy_text(char* field, size_t capacity, const char* text) {
  std::strncpy(field, text ? text : "", capacity - 1);
  field[capacity - 1] = '\0';
}

DWORD WINAPI split_worker(void* argument) {
  auto* start = static_cast<WorkerStart*>(argument);
  const HWND dialog = start->dialog;
  const HWND split_button = start->split_button;
  try {
    if (start->job.idle_priority) SetPriorityClass(GetCurrentProcess(), IDLE_PRIORITY_CLASS);
    DialogHooks hooks(dialog);
    const velmora::SplitResult result = split_beside(start->job, hooks);
    hooks.reset();
    ResultMessage message = result_message(result);
    const std::string text = result_text(result, start->job);
    if (message.text) MessageBoxA(dialog, text.c_str(), kMessageCaption, MB_OK | message.icon);
  } catch (...) {
    // Nothing may leave the thread: the user is told, and the job ends like
    // any other.
    std::string text = internal_error_text();
    g_progress.store(pack_progress(kProgressReset, 0, 0));
    SendMessageA(dialog, kProgressMessage, 0, 0);
    MessageBoxA(dialog, text.c_str(), kMessageCaption, MB_OK | MB_ICONERROR);
  }
  delete start;
  SetPriorityClass(GetCurrentProcess(), NORMAL_PRIORITY_CLASS);
  EnableWindow(split_button, TRUE);
  // The last act: from here on the dialog may be gone.
  worker_finished.store(1);
  return 0;
}

}  // namespace

ProgressState take_progress() {
  g_progress_posted.store(false);
  const uint32_t state = g_progress.load();
  return {static_cast<ProgressStage>(state >> 30), state & 1023, (state >> 10) & 0xFFFFF};
}

bool start_split(HWND dialog, HWND split_button, const char* source_path,
                 const char* target_directory, int32_t section_size, bool compress,
                 bool idle_priority, bool autodetect, uint32_t recovery, bool recovery_percent) {
  auto* start = new (std::nothrow) WorkerStart{};
  if (!start) return false;
  copy_text(start->job.source_path, sizeof start->job.source_path, source_path);
  copy_text(start->job.target_directory, sizeof start->job.target_directory, target_directory);
  start->job.section_size = section_size;
  start->job.compress = compress ? 1 : 0;
  start->job.idle_priority = idle_priority ? 1 : 0;
  start->job.autodetect = autodetect ? 1 : 0;
  start->job.recovery = recovery;
  start->job.recovery_percent = recovery_percent ? 1 : 0;
  start->dialog = dialog;
  start->split_button = split_button;

  break_requested.store(0);
  worker_finished.store(0);
  EnableWindow(split_button, FALSE);
  g_worker.reset(create_worker_thread(split_worker, start));
  if (!g_worker) {
    // Nothing else would bring Split back or let the dialog close.
    delete start;
    worker_finished.store(1);
    EnableWindow(split_button, TRUE);
    return false;
  }
  return true;
}

namespace velmora {
void set_thread_starter(ThreadStarter starter) { g_thread_starter = starter; }
void set_split_runner(SplitRunner runner) { g_split_runner = runner; }
}  // namespace velmora
