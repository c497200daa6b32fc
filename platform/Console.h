// The console a command-line program runs in: interrupt keys, terminal test, arguments as UTF-8.
#pragma once

#include <string>
#include <vector>

namespace mtsrescue {

class Console {
 public:
  // From now on the first two interrupts (Ctrl-C, Ctrl-Break, SIGTERM) are only counted, for the
  // program to notice between blocks; the third ends the process at once with abortExitCode,
  // after writing abortNote (plain ASCII) to stderr. A closed stdout or stderr no longer ends
  // the process (POSIX: SIGPIPE is ignored). Call once, early.
  static void InstallInterruptHandler(int abortExitCode, const char* abortNote);
  // Interrupts seen since InstallInterruptHandler. Safe to call at any time from the main thread.
  static int InterruptCount() noexcept;
  // True when stderr is an interactive terminal (progress is drawn only there).
  static bool StderrIsTerminal() noexcept;
  // The program's arguments after its name, in UTF-8 (on Windows taken from the wide command line).
  static std::vector<std::string> Arguments(int argc, char** argv);
  // Lets UTF-8 text written to stdout and stderr show correctly.
  static void UseUtf8Output() noexcept;
};

}  // namespace mtsrescue
