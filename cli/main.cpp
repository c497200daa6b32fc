// mtsrescue-cli: recovers camcorder video from a disk or image into a folder (see --help).
#include "cli/CliApp.h"
#include "platform/Console.h"
#include "platform/FileStream.h"

#include <chrono>
#include <iostream>

int main(int argc, char** argv) {
  using namespace mtsrescue;
  Console::UseUtf8Output();
  Console::InstallInterruptHandler(static_cast<int>(ExitCode::Interrupted),
                                   "\nmtsrescue-cli: aborted by a second interrupt\n");
  CliEnvironment env;
  env.Out = &std::cout;
  env.Err = &std::cerr;
  env.ErrIsTerminal = Console::StderrIsTerminal();
  env.InterruptCount = &Console::InterruptCount;
  env.Clock = [] {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
  };
  env.Opener = &OpenFileStream;
  return CliApp(env).Run(Console::Arguments(argc, argv));
}
