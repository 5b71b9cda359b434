#include "result_messages.h"

#include <cstring>
#include <exception>

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
    case 13:
      return {"The set is complete, but it has more than 32768 pieces: PAR2 allows no recovery "
              "volumes for it.",
              MB_ICONWARNING};
    case 14:
      return {"The set is complete without its recovery volumes: they could not be written.",
              MB_ICONWARNING};
    default: return {nullptr, 0};
  }
}

std::string result_text(int result, const SplitJob& job) {
  const char* text = result_message(result).text;
  if (!text) return {};
  std::string whole = text;
  if (result == 0 && job.unprovable) whole += kUnprovableNote;
  if (result == 14 && job.recovery_problem[0] != '\0') {
    whole += " (";
    whole += std::string(job.recovery_problem, strnlen(job.recovery_problem, sizeof job.recovery_problem));
    whole += ")";
  }
  return whole;
}

bool velmora::ask_for_disk_in_a_box(velmora::DiskRequest request) {
  if (request == velmora::DiskRequest::kAnotherDisk) {
    return MessageBoxA(nullptr, kNoSpacePrompt, kMessageCaption,
                       MB_YESNO | MB_ICONEXCLAMATION | MB_SETFOREGROUND) == IDYES;
  }
  MessageBoxA(nullptr, kFirstDiskPrompt, kMessageCaption, MB_OK | MB_ICONEXCLAMATION | MB_SETFOREGROUND);
  return true;
}

std::string internal_error_text() noexcept {
  try {
    std::string text = kInternalErrorText;
    try {
      throw;
    } catch (const std::exception& e) {
      text += e.what();
    } catch (...) {
      text += "unknown exception.";
    }
    return text;
  } catch (...) {
    return {};
  }
}
