// The command line's view of sources: listing, short forms and the destination guard.
#include "cli/SourceArguments.h"

#include "cli/CliApp.h"
#include "source/DestinationCheck.h"
#include "source/SourceMenu.h"
#include "source/SourceSelection.h"

#include "platform/FileIdentity.h"

#include <cstdio>

namespace mtsrescue {
namespace {

std::string JsonText(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (u < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", u);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

}  // namespace

SourcePlatform CliSourcePlatform(const CliEnvironment& env) {
  std::shared_ptr<DeviceQuery> query = env.Devices ? env.Devices : std::shared_ptr<DeviceQuery>(MakeSystemDeviceQuery());
  return SourcePlatform(std::move(query), env.Opener);
}

void PrintSourceList(std::ostream& out, const SourcePlatform& platform, bool json) {
  SourceMenu pop;
  BuildSourceMenu(pop, platform);
  bool first = true;
  if (json) out << "[";
  for (const SourceMenuEntry& entry : pop) {
    // The image entry opens a dialog in the window; here an image is named by its path.
    if (entry.IsSeparator() || entry.Name == OpenImageName) continue;
    const std::string shortForm = EntryShortForm(entry.Name);
    std::string device = shortForm.empty() ? "" : platform.Query().NativeDevicePath(ResolveShortForm(shortForm));
    if (json) {
      out << (first ? "\n  " : ",\n  ") << "{\"name\": " << JsonText(entry.Name) << ", \"caption\": " << JsonText(entry.Caption)
          << ", \"device\": " << (device.empty() ? "null" : JsonText(device)) << "}";
    } else {
      out << entry.Name << '\t' << entry.Caption << '\t' << (device.empty() ? "-" : device) << '\n';
    }
    first = false;
  }
  if (json) out << (first ? "]\n" : "\n]\n");
}

CliSource ResolveCliSource(const std::string& operand, const SourcePlatform& platform) {
  CliSource source;
  // A volume as --list names it ("Exx") stands for its short form, unless a file has that name.
  const bool volumeEntry = operand.size() == 3 && operand[0] >= 'A' && operand[0] <= 'Z' && operand.compare(1, 2, "xx") == 0;
  const std::string text = volumeEntry && KindOf(operand) == PathKind::Missing ? EntryShortForm(operand) : operand;
  source.Path = ResolveShortForm(text);
  source.LengthBytes = MeasureSource(source.Path, platform);
  return source;
}

std::string DestinationOnSourceRefusal(const std::string& destFolder, const std::string& sourcePath,
                                       const SourcePlatform& platform) {
  if (!DestinationOnSource(destFolder, sourcePath, platform)) return "";
  return "DEST \"" + destFolder + "\" lies on the disk or volume being recovered (" + sourcePath +
         "): writing there can overwrite the video still to be found. Choose a folder on another disk, "
         "or give --force to write there anyway.";
}

}  // namespace mtsrescue
