// SOURCE as the source menu knows it: the --list of disks and volumes, short forms, and the
// refusal of a destination on the source being recovered.
#pragma once

#include "source/SourcePlatform.h"

#include <cstdint>
#include <ostream>
#include <string>

namespace mtsrescue {

struct CliEnvironment;

// The system's devices behind env.Opener; env.Devices when a test gives one.
SourcePlatform CliSourcePlatform(const CliEnvironment& env);

// One line per entry of the source menu but separators: name, caption and device, tab-separated;
// the device is "-" for the image entry. With json, an array of objects with the same three keys.
void PrintSourceList(std::ostream& out, const SourcePlatform& platform, bool json);

// A SOURCE operand resolved as the window resolves its short form, and its length, measured the
// same way. Throws StreamError when it cannot be opened or its length cannot be told.
struct CliSource {
  std::string Path;
  std::int64_t LengthBytes = 0;
};
CliSource ResolveCliSource(const std::string& operand, const SourcePlatform& platform);

// The refusal to print when DEST lies on the disk or volume of SOURCE; empty when it does not.
std::string DestinationOnSourceRefusal(const std::string& destFolder, const std::string& sourcePath,
                                       const SourcePlatform& platform);

}  // namespace mtsrescue
