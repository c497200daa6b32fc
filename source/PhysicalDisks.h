// Physical disks: the probe that lists them in the source menu, their capacity, media type and size text.
#pragma once

#include "platform/ByteStream.h"
#include "platform/DeviceQuery.h"
#include "source/SourceMenuEntry.h"
#include "source/SourcePlatform.h"

#include <cstdint>
#include <string>

namespace mtsrescue {

// Appends one entry per disk that opens (read-only, shared), in number order: name
// "PhysicalDriveN", caption "HD%d, %s, [%s]", image index 17. Every disk the system knows is tried;
// one that cannot be opened or measured is left out silently and the probe goes on. A disk the
// query can describe without opening it (DescribeDisk) is not opened; its model, when known, follows
// the media type in brackets ("HD1, Removable Drive (Generic SD Card Reader, USB), [1.88 GB]"), and
// one that holds no medium (0 bytes) is left out.
void AppendDiskEntries(SourceMenu& pop, const SourcePlatform& platform);

// The true length in bytes of an opened disk device: the system's disk length, else the
// extended geometry's disk size, else whole cylinders, else the stream's size; 0 when nothing says.
std::int64_t GetDiskCapacity(ByteStream& device, DeviceQuery& query);

// The media-type text of an opened disk device; "Unknown Media Type" when the geometry cannot be read.
std::string GetMediaTypeText(ByteStream& device, DeviceQuery& query);
// The text for a MEDIA_TYPE value.
std::string MediaTypeText(std::int32_t mediaType);

// "465.75 GB": powers of 1024 named B, KB, MB, GB, TB; two truncated hundredths, left out when 0.
std::string FormatDiskSize(std::int64_t bytes);

}  // namespace mtsrescue
