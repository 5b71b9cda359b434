#include "result_messages.h"

#include <cstring>
#include <exception>

ResultMessage result_message(velmora::SplitResult result) {
  using namespace velmora;
  switch (result) {
    case kSplitDone: return {"Procedure comlete.", MB_ICONQUESTION};
    case kPayloadUnreadable: return {"Cannot create file", MB_ICONERROR};
    case kPayloadTooSmall: return {"The file size is less than a size of section.", MB_ICONERROR};
    case kPieceFailed: return {"Cannot create file", MB_ICONERROR};
    case kSectionTooSmall: return {"The section size is too small", MB_ICONERROR};
    case kNoMemory: return {"Memory allocation error", MB_ICONERROR};
    case kCompressionFailed: return {"Compression error", MB_ICONERROR};
    case kFirstPieceReopen: return {"Cannot open file.", MB_ICONERROR};
    case kDiskDeclined: return {"Procedure breaked.", MB_ICONWARNING};
    case kSourceTooLarge: return {"The file is too large to split (2 GB or more).", MB_ICONERROR};
    case kSourceInSet:
      return {"The file would be overwritten by its own set. Choose another target directory.",
              MB_ICONERROR};
    case kRecoveryTooManyPieces:
      return {"The set is complete, but it has more than 32768 pieces: PAR2 allows no recovery "
              "volumes for it.",
              MB_ICONWARNING};
    case kRecoveryNotWritten:
      return {"The set is complete without its recovery volumes: they could not be written.",
              MB_ICONWARNING};
    default: return {nullptr, 0};
  }
}

std::string result_text(velmora::SplitResult result, const SplitJob& job) {
  const char* text = result_message(result).text;
  if (!text) return {};
  std::string whole = text;
  if (result == velmora::kSplitDone && job.unprovable) whole += kUnprovableNote;
  if (result == velmora::kRecoveryNotWritten && job.recovery_problem[0] != '\0') {
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
