// Opening a web address in the user's browser, and finding out when none took it.
#pragma once

#include <QString>

#include <functional>

class QObject;

namespace mtsrescue {

// Hands url to the desktop's opener (xdg-open where there is one, the system's shell elsewhere)
// without waiting for the browser; failed runs later, on the event loop, when the opener is
// missing or reports that no program could open it. context: failed is dropped with it.
void OpenInBrowser(const QString& url, QObject* context, std::function<void()> failed);

}  // namespace mtsrescue
