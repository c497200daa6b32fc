// mtsrescue-cli as a testable unit: arguments in, report and exit code out.
#pragma once

#include "cli/CommandLine.h"
#include "platform/ByteStream.h"
#include "platform/DeviceQuery.h"

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace mtsrescue {

// What the program touches outside itself; main passes the real ones, tests their own.
struct CliEnvironment {
  std::ostream* Out = nullptr;          // the report (text or JSON)
  std::ostream* Err = nullptr;          // errors, notes and progress
  bool ErrIsTerminal = false;           // progress is drawn only on a terminal
  std::function<int()> InterruptCount;  // interrupts seen so far (Ctrl-C)
  std::function<double()> Clock;        // seconds, monotonic
  StreamOpener Opener;                  // opens the source and the output files
  std::shared_ptr<DeviceQuery> Devices; // disks and volumes; null: the system's
};

class CliApp {
 public:
  static constexpr const char* ProgramName = "mtsrescue-cli";

  explicit CliApp(CliEnvironment environment);
  // Runs the whole command; never throws. Returns the process exit code (see ExitCode).
  int Run(const std::vector<std::string>& args);

 private:
  ExitCode Recover(const CliOptions& options);
  ExitCode PrepareDestination(const CliOptions& options, const std::string& sourcePath, std::string& error);

  CliEnvironment env_;
};

}  // namespace mtsrescue
