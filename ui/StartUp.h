// Program start: the program name from the executable's path, and the whole start-up sequence.
#pragma once

#include <QString>

class QTranslator;

namespace mtsrescue {

// The executable's file name without its folder and without everything from its last "." on
// ("D:\tools\X.beta.exe" gives "X.beta"; a name without a dot stays whole). Both '/' and '\' end
// a folder, so a Windows path reads the same on every system.
QString ProgramNameFromPath(const QString& executablePath);

// The interface speaks Chinese whatever the system's locale: makes Chinese (China) the default
// locale (dates, file types) and loads Qt's own Chinese texts (standard dialogs, the file list's
// types) into qtTexts, installing it. The texts come from the program's resources (":/i18n/",
// where a build embeds them) or else from Qt's translations folder. False when neither has them.
bool UseChineseTexts(QTranslator& qtTexts);

// Creates the application and the main window, runs the event loop until the window closes, and
// returns the exit code.
int RunProgram(int argc, char** argv);

}  // namespace mtsrescue
