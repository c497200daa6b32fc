// Writing the pictures and the page.
#include "thumbnails/ThumbnailSet.h"

#include "thumbnails/IndexPage.h"
#include "thumbnails/JpegEncoder.h"
#include "engine/ExportFragments.h"
#include "platform/FileStream.h"
#include "platform/Folders.h"

#include <exception>

namespace mtsrescue {
namespace {

// relative ('/'-separated) as a path under folder with the system's separator.
std::string Under(const std::string& folder, const std::string& relative) {
  std::string path = folder;
  path += PathSeparator();
  for (const char c : relative) path += c == '/' ? PathSeparator() : c;
  return path;
}

// Writes bytes as path; an error message when it cannot.
std::string WriteWhole(const std::string& path, const void* bytes, std::size_t count,
                       const std::vector<FileIdentity>& protectedFiles, const StreamOpener& opener,
                       std::optional<CutShortFile>& cutShort) {
  try {
    OutputFile file(path, protectedFiles, opener);
    const IoResult written = file.Write(bytes, static_cast<std::int64_t>(count));
    if (written.Bytes != static_cast<std::int64_t>(count)) {
      cutShort = file.Abandon();
      return "Cannot write file \"" + path + "\". " +
             (written.Error ? SystemErrorText(written.Error) : std::string("The disk is full."));
    }
    file.Commit();
  } catch (const std::exception& error) {
    return error.what();
  }
  return {};
}

// The last part of path, whichever separator it uses.
std::string BaseName(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::vector<ThumbnailItem> ThumbnailSet::Items(const ExportReport& fragments, const ClipReport& recordings) {
  std::vector<ThumbnailItem> items;
  for (const ExportedEntry& entry : fragments.Entries) {
    if (entry.Outcome != EntryOutcome::Written) continue;
    ThumbnailItem item;
    for (const RebuiltClip& clip : recordings.Recordings) item.LinkedByRecording |= clip.LinkedTo == entry.FilePath;
    item.FilePath = entry.FilePath;
    item.RelativePath = BaseName(entry.FilePath);
    item.Index = entry.Index;
    item.Bytes = entry.FileBytes;
    items.push_back(std::move(item));
  }
  for (const RebuiltClip& clip : recordings.Recordings) {
    ThumbnailItem item;
    item.FilePath = clip.FilePath;
    item.RelativePath = "clips/" + BaseName(clip.FilePath);
    item.Recording = true;
    item.Index = clip.Index;
    item.Recorded = clip.Recorded;
    item.Bytes = clip.Bytes;
    items.push_back(std::move(item));
  }
  return items;
}

std::string ThumbnailSet::PictureRelative(const std::string& relativePath) {
  std::string name = relativePath;
  const std::size_t dot = name.rfind('.');
  const std::size_t slash = name.rfind('/');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) name.erase(dot);
  return std::string(FolderName) + "/" + name + ".jpg";
}

ThumbnailReport ThumbnailSet::Write(const std::string& destFolder, const std::vector<ThumbnailItem>& items,
                                    const StreamOpener& opener, const std::vector<FileIdentity>& protectedFiles,
                                    const Thumbnailer& thumbnailer, const std::function<bool()>& stop,
                                    const MadeCallback& made) {
  ThumbnailReport report;
  report.Decoding = FrameDecoder::Available();
  for (const ThumbnailItem& item : items) {
    ThumbnailEntry entry;
    entry.Item = item;
    if (!report.Error.empty() || (stop && stop())) {
      entry.Note = "no picture made: the pictures were stopped";
      report.Entries.push_back(std::move(entry));
      continue;
    }
    const Thumbnail thumbnail = thumbnailer.Make(item.FilePath, opener);
    entry.Decoded = thumbnail.Decoded;
    entry.DurationSeconds = thumbnail.DurationSeconds;
    entry.PictureSeconds = thumbnail.PictureSeconds;
    entry.Note = thumbnail.Note;
    // A fragment is a piece more often than a recording: only one that shows a picture gets one.
    const bool wanted = item.Recording || thumbnail.Decoded;
    const std::vector<std::uint8_t> jpeg = wanted ? JpegEncoder::Encode(thumbnail.Image) : std::vector<std::uint8_t>();
    if (!jpeg.empty()) {
      const std::string relative = PictureRelative(item.RelativePath);
      const std::string path = Under(destFolder, relative);
      const std::string folder = path.substr(0, path.rfind(PathSeparator()));
      if (const std::error_code code = CreateFolderTree(folder)) {
        report.Error = "Cannot create folder \"" + folder + "\". " + SystemErrorText(code);
      } else {
        report.Error = WriteWhole(path, jpeg.data(), jpeg.size(), protectedFiles, opener, report.CutShort);
      }
      if (report.Error.empty()) {
        entry.PicturePath = path;
        entry.PictureRelative = relative;
      }
    }
    if (made) made(entry, wanted ? thumbnail.Image : Picture());
    report.Entries.push_back(std::move(entry));
  }
  if (report.Error.empty()) {
    const std::string html = IndexPage::Html(report.Entries);
    const std::string path = Under(destFolder, IndexPage::FileName);
    report.Error = WriteWhole(path, html.data(), html.size(), protectedFiles, opener, report.CutShort);
    if (report.Error.empty()) report.IndexPath = path;
  }
  return report;
}

}  // namespace mtsrescue
