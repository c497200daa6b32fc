// Facts about the system's folder namespace that the file list needs and that differ between systems.
#pragma once

namespace mtsrescue {

// True where the roots of the file systems (drives) sit under an overview of drives, so that
// going up from a root leads there; false where a single root is the top of everything.
bool HasDriveOverview();

}  // namespace mtsrescue
