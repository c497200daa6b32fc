// The source menu as data: the image entry, the volumes and the disks, rebuilt each time it opens.
#pragma once

#include "source/SourceMenuEntry.h"
#include "source/SourcePlatform.h"

namespace mtsrescue {

// Replaces pop's entries with: the image entry; a separator and one entry per listed volume, if
// any; a separator; the disks that open. The window shows them in this order.
void BuildSourceMenu(SourceMenu& pop, const SourcePlatform& platform);

}  // namespace mtsrescue
