// Program start: the program name from the executable's path, and the whole start-up sequence.
#pragma once

#include <QString>

namespace mtsrescue {

// The executable's file name without its folder and without everything from its last "." on
// ("D:\tools\X.beta.exe" gives "X.beta"; a name without a dot stays whole). Both '/' and '\' end
// a folder, so a Windows path reads the same on every system.
QString ProgramNameFromPath(const QString& executablePath);

// Creates the application and the main window, runs the event loop until the window closes, and
// returns the exit code.
int RunProgram(int argc, char** argv);

}  // namespace mtsrescue
