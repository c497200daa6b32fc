// What the window says when a run or a choice fails: Chinese sentences made from the failure's
// kind, its path and the system's error, with the system's own text after them.
#pragma once

#include "engine/FailureDetail.h"

#include <QString>

#include <string>

namespace mtsrescue {

// The text of the failure's box: what went wrong, on which path, and what the user can do.
// message, the core's English text, is added when it says more than the system's error text
// (how a device was tried, what rights it needs); for FailureKind::Other it is all there is.
QString FailureText(const FailureDetail& detail, const std::string& message);

}  // namespace mtsrescue
