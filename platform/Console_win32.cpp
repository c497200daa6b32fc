// Console on Windows: console control handler, console-mode test, wide command line to UTF-8.
#include "platform/Console.h"

#include <windows.h>
#include <shellapi.h>

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace mtsrescue {
namespace {

std::atomic<int> interruptCount{0};
int abortCode = 1;
const char* abortText = "";
std::atomic<UINT> previousOutputCodePage{0};  // 0: the console's code page was not changed

void RestoreOutputCodePage() {
  if (const UINT previous = previousOutputCodePage.exchange(0)) SetConsoleOutputCP(previous);
}

// Runs on a thread of its own that the system starts for each console event.
BOOL WINAPI OnConsoleEvent(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  // The second one is counted like the first (the program gives up its writing at the next block
  // and reports); only a third, for a program stuck on a device, ends it here.
  if (interruptCount.fetch_add(1) >= 2) {
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), abortText, static_cast<DWORD>(std::strlen(abortText)),
              &written, nullptr);
    RestoreOutputCodePage();
    ExitProcess(static_cast<UINT>(abortCode));
  }
  return TRUE;
}

std::string ToUtf8(const wchar_t* text) {
  int bytes = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (bytes <= 1) return {};
  std::string out(static_cast<std::size_t>(bytes - 1), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), bytes, nullptr, nullptr);
  return out;
}

}  // namespace

void Console::InstallInterruptHandler(int abortExitCode, const char* abortNote) {
  abortCode = abortExitCode;
  abortText = abortNote;
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

int Console::InterruptCount() noexcept { return interruptCount.load(); }

bool Console::StderrIsTerminal() noexcept {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

std::vector<std::string> Console::Arguments(int argc, char** argv) {
  std::vector<std::string> args;
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) {
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    return args;
  }
  for (int i = 1; i < count; ++i) args.push_back(ToUtf8(wide[i]));
  LocalFree(wide);
  return args;
}

void Console::UseUtf8Output() noexcept {
  // The code page belongs to the console, not to this process: give the console back as it was.
  const UINT previous = GetConsoleOutputCP();
  if (previous == 0 || previous == CP_UTF8 || !SetConsoleOutputCP(CP_UTF8)) return;
  previousOutputCodePage = previous;
  std::atexit(RestoreOutputCodePage);
}

}  // namespace mtsrescue
