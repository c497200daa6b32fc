// The application title: the caption of the main window and of the plain information messages.
#pragma once

#include <QString>

namespace mtsrescue {

// Kept here rather than as Qt's application display name, which the window systems append to
// every window's caption (" — title" under X11, " - title" on Windows).
void SetApplicationTitle(const QString& title);
// Empty until the main window has set it.
QString ApplicationTitle();

}  // namespace mtsrescue
