// Console on POSIX: SIGINT/SIGTERM handlers, SIGPIPE ignored, isatty; arguments are already UTF-8 bytes.
#include "platform/Console.h"

#include <atomic>
#include <csignal>
#include <cstring>
#include <unistd.h>

namespace mtsrescue {
namespace {

// Written only by the handler; lock-free so that the handler may touch it.
std::atomic<int> interruptCount{0};
static_assert(std::atomic<int>::is_always_lock_free);
int abortCode = 1;
const char* abortText = "";

extern "C" void OnInterrupt(int) {
  // The second one is counted like the first (the program gives up its writing at the next block
  // and reports); only a third, for a program stuck on a device, ends it here.
  if (interruptCount.fetch_add(1) >= 2) {
    // write and _exit are async-signal-safe; nothing else is done here.
    ssize_t ignored = write(STDERR_FILENO, abortText, std::strlen(abortText));
    (void)ignored;
    _exit(abortCode);
  }
}

}  // namespace

void Console::InstallInterruptHandler(int abortExitCode, const char* abortNote) {
  abortCode = abortExitCode;
  abortText = abortNote;
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;  // a read in progress completes; the loop sees the count after it
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  // A closed stdout or stderr (a pipe into "tee" that Ctrl-C ended first, "| head") must not
  // end the run: writes to it fail with EPIPE and the streams drop what follows.
  signal(SIGPIPE, SIG_IGN);
}

int Console::InterruptCount() noexcept { return interruptCount.load(); }

bool Console::StderrIsTerminal() noexcept { return isatty(STDERR_FILENO) == 1; }

std::vector<std::string> Console::Arguments(int argc, char** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
  return args;
}

void Console::UseUtf8Output() noexcept {}

}  // namespace mtsrescue
