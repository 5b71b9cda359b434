#include "console_front_end.h"

#include <windows.h>

#include <exception>
#include <string>

#include "console_output.h"
#include "result_messages.h"
#include "set_repair.h"
#include "set_join_command.h"
#include "set_verifier.h"
#include "split_engine.h"

namespace velmora {

namespace {

// Nobody can press Break on the command line; the disks of /auto still need
// a person, so they are asked for in message boxes, as the dialog asks.
class ConsoleHooks : public SplitHooks {
 public:
  bool break_requested() override { return false; }
  bool ask_for_disk(DiskRequest request) override { return ask_for_disk_in_a_box(request); }
  void progress(const SplitProgress&) override {}
};

int run_split(SplitJob& job) {
  if (job.idle_priority) SetPriorityClass(GetCurrentProcess(), IDLE_PRIORITY_CLASS);
  SplitResult result;
  try {
    ConsoleHooks hooks;
    result = split_file(job, hooks);
  } catch (...) {
    std::string text = internal_error_text();
    SetPriorityClass(GetCurrentProcess(), NORMAL_PRIORITY_CLASS);
    write_output(text + "\n");
    return kExitInternal;
  }
  SetPriorityClass(GetCurrentProcess(), NORMAL_PRIORITY_CLASS);
  std::string text = result_text(result, job);
  write_output((text.empty() ? std::string("Unknown result.") : text) + "\n");
  return result;
}

}  // namespace

int run_command(Command& command) noexcept {
  try {
    switch (command.kind) {
      case Command::Kind::kSplit:
        return run_split(command.job);
      case Command::Kind::kVerify: {
        VerifyReport report = verify_set(command.first_piece);
        if (!report.sound) {
          std::string ability = repair_ability(command.first_piece);
          if (!ability.empty()) report.lines.push_back(ability);
        }
        std::string text;
        for (const std::string& line : report.lines) text += line + "\n";
        write_output(text);
        return report.sound ? 0 : 1;
      }
      case Command::Kind::kRepair: {
        RepairReport report = repair_set(command.first_piece);
        std::string text;
        for (const std::string& line : report.lines) text += line + "\n";
        write_output(text);
        return report.exit_code;
      }
      case Command::Kind::kJoin: {
        std::string line;
        int code = join_set(command.first_piece, command.target, line);
        if (!line.empty()) write_output(line + "\n");
        return code;
      }
      case Command::Kind::kUsage:
        write_output("velmora: " + command.problem + "\n" + kUsage);
        return kExitUsage;
      case Command::Kind::kUnspellable:
        write_output("velmora: " + command.problem + "\n");
        return kExitUnspellableName;
      case Command::Kind::kDialog:
        break;
    }
  } catch (...) {
    write_output(std::string(kInternalErrorText) + "\n");
    return kExitInternal;
  }
  return kExitUsage;
}

}  // namespace velmora
