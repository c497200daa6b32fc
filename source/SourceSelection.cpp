// Choosing a source: the menu's dispatch, the resolution of the short form and the measuring.
#include "source/SourceSelection.h"

#include "source/DevicePaths.h"
#include "source/PhysicalDisks.h"
#include "source/WinNTVolumeInfo.h"

#include "platform/FileIdentity.h"
#include "platform/FileStream.h"

namespace mtsrescue {

std::string EntryShortForm(const std::string& entryName) {
  if (entryName == OpenImageName || entryName.empty()) return "";
  if (entryName.compare(0, DiskStem.size(), DiskStem) == 0) return entryName;
  return entryName.substr(0, 1) + std::string(DriveColon);
}

std::string ResolveShortForm(const std::string& text) {
  if (text.compare(0, DiskStem.size(), DiskStem) == 0) return std::string(DevicePrefix) + text;
  if (text.size() >= 2 && text[1] == ':' && text.size() < 4) return std::string(DevicePrefix) + text.substr(0, 2);
  return text;
}

namespace {

// A length of 0 would make the run read nothing and look like a card without video.
[[noreturn]] void ThrowNoLength(const std::string& shownPath, const char* hint) {
  throw StreamError("Cannot tell the length of \"" + shownPath + "\"." + hint,
                    std::make_error_code(std::errc::invalid_argument), shownPath);
}

}  // namespace

std::int64_t MeasureSource(const std::string& sourcePath, const SourcePlatform& platform) {
  // Looked at before it is opened: opening a pipe without a writer waits for good, and a
  // character device (/dev/zero, /dev/null, a terminal) is no medium, whatever it reads as.
  if (KindOf(sourcePath) == PathKind::Other) {
    throw StreamError("Cannot open file \"" + sourcePath +
                          "\". It is neither a file nor a disk (a pipe, a socket or a character device such as "
                          "/dev/zero): there is nothing to recover from it.",
                      std::make_error_code(std::errc::invalid_argument), sourcePath);
  }
  const auto stream = platform.Open(sourcePath, OpenMode::ReadShared);
  DeviceQuery& query = platform.Query();
  // Messages name a device as the system does (/dev/sdb on Linux).
  const std::string native = query.NativeDevicePath(sourcePath);
  const std::string& shown = native.empty() ? sourcePath : native;
  // Disks and volumes are never empty: one that tells no length (a card reader without its card
  // opens on Windows) is an error, not a source of 0 bytes.
  constexpr const char* NoMediumHint = " Is the card or disk in the drive?";
  if (sourcePath.size() >= DevicePrefix.size() &&
      sourcePath.compare(DevicePrefix.size(), DiskStem.size(), DiskStem) == 0) {
    const std::int64_t capacity = GetDiskCapacity(*stream, query);
    if (capacity <= 0) ThrowNoLength(shown, NoMediumHint);
    return capacity;
  }
  if (sourcePath.compare(0, DevicePrefix.size(), DevicePrefix) == 0) {
    // The device's own length covers the whole volume, also when its file system is damaged.
    if (const auto length = query.GetDeviceLength(*stream); length && *length > 0) return *length;
    const std::string letter = sourcePath.substr(DevicePrefix.size(), 1);
    const std::int64_t totalBytes = TNTVolumeInfo(letter, query).TotalBytes;
    if (totalBytes <= 0) ThrowNoLength(shown, NoMediumHint);
    return totalBytes;
  }
  const std::int64_t size = stream->Size();
  if (size >= 0) return size;
  if (const auto length = query.GetDeviceLength(*stream)) return *length;
  ThrowNoLength(shown, "");
}

void SourceSelection::SourceItemClick(const std::string& entryName, const ImageChooser& chooseImage) {
  if (entryName == OpenImageName) {
    const std::optional<std::string> file = chooseImage ? chooseImage() : std::nullopt;
    if (!file) return;
    FSourcePath = *file;
    SetSourceText(*file);
    return;
  }
  const std::string shortForm = EntryShortForm(entryName);
  if (shortForm.empty()) return;
  FSourcePath = ResolveShortForm(shortForm);
  SetSourceText(shortForm);
}

void SourceSelection::SetSourceText(const std::string& text) {
  if (text == sourceText_) return;
  sourceText_ = text;
  SourceChange();
}

void SourceSelection::SourceChange() {
  FSourcePath = sourceText_;
  if (sourceText_.empty()) return;
  FSourcePath = ResolveShortForm(sourceText_);
  measured_ = false;
  FSourceSize = MeasureSource(FSourcePath, platform_);
  measured_ = true;
}

void SourceSelection::SourceChange(const std::string& newText) {
  sourceText_ = newText;
  SourceChange();
}

void SourceSelection::MeasureIfStale() {
  if (measured_ || sourceText_.empty()) return;
  SourceChange();
}

}  // namespace mtsrescue
