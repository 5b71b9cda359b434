#include "split_worker.h"

#include <cstring>
#include <exception>
#include <new>
#include <string>

#include "split_engine.h"
#include "split_worker_seams.h"

std::atomic<uint8_t> break_requested{0};
std::atomic<uint8_t> worker_finished{1};

namespace {

// The worker's view of one run: the job and the dialog it reports to.
struct WorkerStart {
  SplitJob job;
  HWND dialog;
  HWND split_button;
};

HANDLE g_worker = nullptr;  // the last worker's handle, closed before the next starts
velmora::ThreadStarter g_thread_starter = nullptr;

HANDLE create_worker_thread(LPTHREAD_START_ROUTINE routine, void* argument) {
  if (g_thread_starter) return g_thread_starter(routine, argument);
  return CreateThread(nullptr, 0, routine, argument, 0, nullptr);
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
    int result = velmora::split_file(start->job.source_path, start->job.target_directory,
                                     start->job.section_size, start->job.compress != 0,
                                     start->job.autodetect != 0);
    ResultMessage message = result_message(result);
    if (message.text) MessageBoxA(dialog, message.text, kMessageCaption, MB_OK | message.icon);
  } catch (...) {
    // Nothing may leave the thread: the user is told, and the job ends like
    // any other.
    std::string text = kInternalErrorText;
    try {
      throw;
    } catch (const std::exception& e) {
      text += e.what();
    } catch (...) {
      text += "unknown exception.";
    }
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

ResultMessage result_message(int result) {
  switch (result) {
    case 0: return {"Procedure comlete.", MB_ICONQUESTION};
    case 1: return {"Cannot create file", MB_ICONERROR};
    case 2: return {"The file size is less than a size of section.", MB_ICONERROR};
    case 3: return {"Cannot create file", MB_ICONERROR};
    case 4: return {"The section size is too small", MB_ICONERROR};
    case 5: return {"Memory allocation error", MB_ICONERROR};
    case 6: return {"Compression error", MB_ICONERROR};
    case 7: return {"Cannot open file.", MB_ICONERROR};
    case 10: return {"Procedure breaked.", MB_ICONWARNING};
    case 11: return {"The file is too large to split (2 GB or more).", MB_ICONERROR};
    case 12:
      return {"The file would be overwritten by its own set. Choose another target directory.",
              MB_ICONERROR};
    default: return {nullptr, 0};
  }
}

bool start_split(HWND dialog, HWND split_button, const char* source_path,
                 const char* target_directory, int32_t section_size, bool compress,
                 bool idle_priority, bool autodetect) {
  auto* start = new (std::nothrow) WorkerStart{};
  if (!start) return false;
  copy_text(start->job.source_path, sizeof start->job.source_path, source_path);
  copy_text(start->job.target_directory, sizeof start->job.target_directory, target_directory);
  start->job.section_size = section_size;
  start->job.compress = compress ? 1 : 0;
  start->job.idle_priority = idle_priority ? 1 : 0;
  start->job.autodetect = autodetect ? 1 : 0;
  start->dialog = dialog;
  start->split_button = split_button;

  break_requested.store(0);
  worker_finished.store(0);
  EnableWindow(split_button, FALSE);
  if (g_worker) {
    CloseHandle(g_worker);
    g_worker = nullptr;
  }
  g_worker = create_worker_thread(split_worker, start);
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
}  // namespace velmora
