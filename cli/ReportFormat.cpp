// The text and JSON reports of mtsrescue-cli.
#include "cli/ReportFormat.h"

#include "cli/ProgressLine.h"
#include "engine/EngineConstants.h"

#include <algorithm>
#include <cstdio>

namespace mtsrescue {
namespace {

std::string Int(std::int64_t value) { return std::to_string(value); }

// Length of the UTF-8 sequence starting at text[i], or 0 when it is not one.
std::size_t Utf8Length(const std::string& text, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  std::size_t length = 0;
  std::uint32_t code = 0;
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    code = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    code = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    code = lead & 0x07;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    code = (code << 6) | (byte(i + k) & 0x3F);
  }
  // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
  if ((length == 3 && code < 0x800) || (length == 4 && code < 0x10000) || code > 0x10FFFF ||
      (code >= 0xD800 && code <= 0xDFFF)) {
    return 0;
  }
  return length;
}

// Tenths of a second: "12.3".
std::string Seconds(std::int64_t milliseconds) {
  return std::to_string(milliseconds / 1000) + "." + std::to_string(milliseconds % 1000 / 100);
}

std::string EntryFileName(const CliResult& result, std::int64_t index) {
  if (result.Options.DestFolder.empty()) return Int(index) + ".MTS";
  return OutputFileName(result.Options.DestFolder, index);
}

}  // namespace

const char* ReportFormat::StatusName(EntryStatus status) {
  switch (status) {
    case EntryStatus::Written: return "written";
    case EntryStatus::WouldWrite: return "would be written";
    case EntryStatus::TooShort: return "too short";
    case EntryStatus::Failed: return "failed";
    case EntryStatus::NotReached: return "not written";
  }
  return "";
}

const char* ReportFormat::ResultName(ExitCode code) {
  switch (code) {
    case ExitCode::Success: return "success";
    case ExitCode::Usage: return "usage error";
    case ExitCode::SourceOrDest: return "source or destination error";
    case ExitCode::Export: return "export error";
    case ExitCode::Interrupted: return "interrupted";
  }
  return "";
}

std::vector<EntryView> ReportFormat::Entries(const CliResult& result) {
  const RunReport& run = result.Run;
  const std::string tooShort = "one group only; only runs longer than " + Int(MinExportBytes) +
                               " bytes are written";
  std::vector<EntryView> views;
  views.reserve(run.Fragments.size());
  for (std::size_t i = 0; i < run.Fragments.size(); ++i) {
    EntryView view;
    view.Index = static_cast<std::int64_t>(i);
    PagePos pos;
    SplitEntry(run.Fragments[i], pos);
    view.StartOffset = ParseOffset(pos.StartText);
    view.EndOffset = ParseOffset(pos.EndText);
    view.Length = view.EndOffset - view.StartOffset;
    const bool longEnough = view.Length > MinExportBytes;
    if (result.Options.DryRun) {
      view.Status = longEnough ? EntryStatus::WouldWrite : EntryStatus::TooShort;
      if (longEnough) {
        view.File = EntryFileName(result, view.Index);
        view.FileBytes = std::min(view.EndOffset, std::max(run.SourceLength, view.StartOffset)) - view.StartOffset;
      } else {
        view.Reason = tooShort;
      }
    } else if (i < run.Export.Entries.size()) {
      const ExportedEntry& done = run.Export.Entries[i];
      view.File = done.FilePath;
      view.UnreadableSectors = done.UnreadableSectors;
      switch (done.Outcome) {
        case EntryOutcome::Written:
          view.Status = EntryStatus::Written;
          view.FileBytes = done.FileBytes;
          break;
        case EntryOutcome::TooShort:
          view.Status = EntryStatus::TooShort;
          view.Reason = tooShort;
          break;
        case EntryOutcome::Failed:
          view.Status = EntryStatus::Failed;
          view.Reason = run.ErrorMessage;
          if (run.Export.CutShort && run.Export.CutShort->FinalPath == done.FilePath) {
            if (!view.Reason.empty() && view.Reason.back() == '.') view.Reason.pop_back();
            view.Reason += run.Export.CutShort->LeftAs.empty()
                               ? "; the part written was removed"
                               : "; the part written stays as " + run.Export.CutShort->LeftAs;
          }
          break;
        case EntryOutcome::NotReached:
          view.Status = EntryStatus::NotReached;
          view.Reason = "the export ended at an earlier entry";
          break;
      }
    } else if (!longEnough) {
      view.Status = EntryStatus::TooShort;
      view.Reason = tooShort;
    } else {
      view.Status = EntryStatus::NotReached;
      view.Reason = run.ErrorMessage.empty() ? "the export did not run"
                                             : "the export did not run: " + run.ErrorMessage;
    }
    views.push_back(std::move(view));
  }
  return views;
}

// Whether the recordings were rebuilt: not for a dry run, with --no-clips, or when the run
// failed before (the report then holds nothing about them).
static bool ClipsRan(const CliResult& result) {
  return !result.Options.DryRun && !result.Options.NoClips &&
         (result.Run.Failure == RunFailure::None || !result.Clips.Folder.empty());
}

static std::string CutShortJson(const std::optional<CutShortFile>& cut) {
  if (!cut) return "null";
  return "{\"file\": " + ReportFormat::JsonString(cut->FinalPath) +
         ", \"left_as\": " + (cut->LeftAs.empty() ? std::string("null") : ReportFormat::JsonString(cut->LeftAs)) + "}";
}

static std::string SpanJson(const ClipSpan& span) {
  return "{\"start\": " + std::to_string(span.StartOffset) + ", \"end\": " + std::to_string(span.EndOffset) + "}";
}

static std::string SpansJson(const std::vector<ClipSpan>& spans) {
  std::string json = "[";
  for (std::size_t k = 0; k < spans.size(); ++k) json += (k == 0 ? "" : ", ") + SpanJson(spans[k]);
  return json + "]";
}

std::string ReportFormat::ClipsText(const CliResult& result) {
  if (!ClipsRan(result)) return "";
  const ClipReport& clips = result.Clips;
  std::string text = "Recordings:   " + Int(static_cast<std::int64_t>(clips.Recordings.size())) +
                     " rebuilt from " + Int(clips.PieceCount) + " pieces (" + Int(clips.JoinedPieceCount) +
                     " joined, " + Int(static_cast<std::int64_t>(clips.UnjoinedPieces.size())) + " unjoined";
  if (!clips.UnusedPieces.empty()) {
    text += "; " + Int(static_cast<std::int64_t>(clips.UnusedPieces.size())) + " joined but in no recording";
  }
  text += ")";
  if (!clips.Recordings.empty()) text += " in " + clips.Folder;
  if (clips.UnreadableSectors > 0) {
    text += "  [" + Int(clips.UnreadableSectors) + " unreadable sectors passed over while finding the pieces]";
  }
  text += "\n";
  if (clips.CutShort) {
    text += "  cut short: " + clips.CutShort->FinalPath +
            (clips.CutShort->LeftAs.empty() ? " (removed)" : " (stays as " + clips.CutShort->LeftAs + ")") + "\n";
  }
  for (const RebuiltClip& clip : clips.Recordings) {
    char line[160];
    std::snprintf(line, sizeof line, "  %6lld  %12lld bytes  %3lld pieces  ", static_cast<long long>(clip.Index),
                  static_cast<long long>(clip.Bytes), static_cast<long long>(clip.Pieces.size()));
    text += line + clip.FilePath;
    if (clip.Recorded) text += "  recorded " + RecordingDateText(*clip.Recorded, ' ', ':');
    text += clip.LinkedTo.empty() ? "  (copy)" : "  (hard link to " + clip.LinkedTo + ": no second copy)";
    if (!clip.TimeError.empty()) text += "  [modification time not set: " + clip.TimeError + "]";
    if (clip.HeadTrimmed) text += "  (head lost: begins at its first picture that can be shown)";
    if (clip.TailTrimmed) text += "  (end lost: ends before its cut-off last picture)";
    if (clip.UnreadableSectors > 0) {
      text += "  [" + Int(clip.UnreadableSectors) + " unreadable sectors written as zeros]";
    }
    text += "\n";
    for (const ClipSpan& span : clip.Pieces) {
      text += "            " + Int(span.StartOffset) + " - " + Int(span.EndOffset) + "\n";
    }
  }
  if (!clips.Dropped.empty()) {
    text += "Not rebuilt:  " + Int(static_cast<std::int64_t>(clips.Dropped.size())) +
            " chains of pieces gave no recording (their bytes stay in the numbered files)\n";
  }
  if (clips.NotWritten > 0) {
    text += "Not written:  " + Int(clips.NotWritten) +
            " recordings were not made: they needed room, and after the failed export only hard links to "
            "whole fragment files were made\n";
  }
  for (const DroppedChain& dropped : clips.Dropped) {
    char line[160];
    std::snprintf(line, sizeof line, "          %12lld bytes  %3lld pieces  ", static_cast<long long>(dropped.Bytes),
                  static_cast<long long>(dropped.Pieces.size()));
    text += line + ("(" + dropped.Reason + ")\n");
    for (const ClipSpan& span : dropped.Pieces) {
      text += "            " + Int(span.StartOffset) + " - " + Int(span.EndOffset) + "\n";
    }
    std::string files;
    for (const std::string& file : dropped.FragmentFiles) files += (files.empty() ? "" : ", ") + file;
    text += "            in: " + (files.empty() ? std::string("no fragment file") : files) + "\n";
  }
  return text;
}

std::string ReportFormat::ClipsJson(const CliResult& result) {
  if (!ClipsRan(result)) return "null";
  const ClipReport& clips = result.Clips;
  std::string json = "{\"folder\": " + JsonString(clips.Folder) + ", \"pieces\": " + Int(clips.PieceCount) +
                     ", \"joined_pieces\": " + Int(clips.JoinedPieceCount) +
                     ", \"cluster_bytes\": " + Int(clips.ClusterBytes) + ", \"bytes_read\": " + Int(clips.BytesRead) +
                     ", \"source_bytes_read\": " + Int(clips.SourceBytesRead) +
                     ", \"bytes_written\": " + Int(clips.BytesWritten) +
                     ", \"unreadable_sectors\": " + Int(clips.UnreadableSectors) +
                     ", \"cut_short\": " + CutShortJson(clips.CutShort) + ",\n    \"recordings\": [";
  for (std::size_t i = 0; i < clips.Recordings.size(); ++i) {
    const RebuiltClip& clip = clips.Recordings[i];
    json += i == 0 ? "\n" : ",\n";
    json += "      {\"index\": " + Int(clip.Index) + ", \"file\": " + JsonString(clip.FilePath) +
            ", \"bytes\": " + Int(clip.Bytes) + ", \"head_trimmed\": " + (clip.HeadTrimmed ? "true" : "false") +
            ", \"tail_trimmed\": " + (clip.TailTrimmed ? "true" : "false") +
            ", \"unreadable_sectors\": " + Int(clip.UnreadableSectors) +
            ", \"recorded\": " + (clip.Recorded ? "\"" + RecordingDateText(*clip.Recorded, 'T', ':') + "\"" : "null") +
            ", \"stored\": " + (clip.LinkedTo.empty() ? "\"copy\"" : "\"link\"") +
            ", \"linked_to\": " + (clip.LinkedTo.empty() ? "null" : JsonString(clip.LinkedTo)) +
            ", \"time_error\": " + (clip.TimeError.empty() ? "null" : JsonString(clip.TimeError)) + ", \"pieces\": ";
    json += SpansJson(clip.Pieces) + "}";
  }
  json += clips.Recordings.empty() ? "],\n" : "\n    ],\n";
  json += "    \"unjoined_pieces\": " + SpansJson(clips.UnjoinedPieces) + ",\n";
  json += "    \"unused_pieces\": " + SpansJson(clips.UnusedPieces) + ",\n";
  json += std::string("    \"all_rebuilt\": ") + (clips.Dropped.empty() && clips.NotWritten == 0 ? "true" : "false") + ",\n";
  json += "    \"dropped\": [";
  for (std::size_t i = 0; i < clips.Dropped.size(); ++i) {
    const DroppedChain& dropped = clips.Dropped[i];
    std::string files = "[";
    for (std::size_t k = 0; k < dropped.FragmentFiles.size(); ++k) {
      files += (k == 0 ? "" : ", ") + JsonString(dropped.FragmentFiles[k]);
    }
    json += (i == 0 ? "\n" : ",\n");
    json += "      {\"reason\": " + JsonString(dropped.Reason) + ", \"bytes\": " + Int(dropped.Bytes) +
            ", \"pieces\": " + SpansJson(dropped.Pieces) + ", \"files\": " + files + "]}";
  }
  json += clips.Dropped.empty() ? "]}" : "\n    ]}";
  return json;
}

std::string ReportFormat::ThumbnailsText(const CliResult& result) {
  if (!result.Thumbnails) return {};
  const ThumbnailReport& report = *result.Thumbnails;
  std::int64_t pictures = 0;
  std::int64_t placeholders = 0;
  for (const ThumbnailEntry& entry : report.Entries) {
    if (entry.PicturePath.empty()) continue;
    ++(entry.Decoded ? pictures : placeholders);
  }
  std::string text = "Pictures:     " + Int(pictures) + " written";
  if (placeholders > 0) text += ", " + Int(placeholders) + " placeholders for recordings that could not be decoded";
  if (!report.Decoding) text += " (this build has no video decoder)";
  if (!report.IndexPath.empty()) text += "; page " + report.IndexPath;
  text += "\n";
  if (!report.Error.empty()) text += "  not finished: " + report.Error + "\n";
  return text;
}

std::string ReportFormat::ThumbnailsJson(const CliResult& result) {
  if (!result.Thumbnails) return "null";
  const ThumbnailReport& report = *result.Thumbnails;
  const auto optional = [](const std::string& text) { return text.empty() ? std::string("null") : JsonString(text); };
  const auto seconds = [](double value) {
    if (!(value >= 0)) return std::string("null");
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", value);
    return std::string(text);
  };
  std::string json = "{\"index\": " + optional(report.IndexPath) +
                     ", \"decoding\": " + (report.Decoding ? "true" : "false") +
                     ", \"error\": " + optional(report.Error) + ",\n    \"pictures\": [";
  for (std::size_t i = 0; i < report.Entries.size(); ++i) {
    const ThumbnailEntry& entry = report.Entries[i];
    json += i == 0 ? "\n" : ",\n";
    json += "      {\"file\": " + JsonString(entry.Item.FilePath) + ", \"recording\": " +
            (entry.Item.Recording ? "true" : "false") + ", \"picture\": " + optional(entry.PicturePath) +
            ", \"decoded\": " + (entry.Decoded ? "true" : "false") + ", \"duration\": " +
            seconds(entry.DurationSeconds) + ", \"picture_at\": " + seconds(entry.PictureSeconds) +
            ", \"note\": " + optional(entry.Note) + "}";
  }
  json += report.Entries.empty() ? "]}" : "\n    ]}";
  return json;
}

std::string ReportFormat::Text(const CliResult& result) {
  const RunReport& run = result.Run;
  std::string text;
  text += "Source:       " + result.Options.Source + " (" + Int(run.SourceLength) + " bytes, " +
          ProgressLine::Bytes(run.SourceLength) + ")\n";
  const std::int64_t lateUnreadable = run.UnreadableSectors - run.Scan.UnreadableSectors;
  text += "Read:         " + Int(run.Scan.BytesRead) + " bytes" + (run.Scan.Stopped ? " (stopped early)" : "") +
          ", " + Int(std::max(run.UnreadableSectors, run.Scan.UnreadableSectors)) + " unreadable sectors" +
          (lateUnreadable > 0 ? " (" + Int(lateUnreadable) + " of them failed only when copied)" : "") + "\n";
  if (run.Scan.SkippedStretches > 0) {
    text += "Bad areas:    " + Int(run.Scan.SkippedStretches) + " stretches skipped (their sectors are among the "
            "unreadable ones), " + Seconds(run.Scan.BadAreaMilliseconds) + " s spent finding their edges\n";
  }
  text += "Hits:         " + Int(run.HitCount) + " sectors in " + Int(static_cast<std::int64_t>(run.Fragments.size())) +
          " fragment entries\n";
  if (!result.Options.DestFolder.empty()) {
    text += std::string(result.Options.DryRun ? "Destination:  " : "Written to:   ") +
            result.Options.DestFolder + (result.Options.DryRun ? " (dry run: nothing written)" : "") + "\n";
  }
  std::int64_t planned = 0;
  std::int64_t plannedBytes = 0;
  for (const EntryView& view : Entries(result)) {
    char line[160];
    std::snprintf(line, sizeof line, "  %6lld  %14lld - %-14lld %12lld bytes  ",
                  static_cast<long long>(view.Index), static_cast<long long>(view.StartOffset),
                  static_cast<long long>(view.EndOffset), static_cast<long long>(view.Length));
    text += line;
    text += StatusName(view.Status);
    if (!view.File.empty()) text += "  " + view.File;
    if (!view.Reason.empty()) text += "  (" + view.Reason + ")";
    if (view.UnreadableSectors > 0) text += "  [" + Int(view.UnreadableSectors) + " unreadable sectors written as zeros]";
    text += "\n";
    if (view.Status == EntryStatus::WouldWrite) {
      ++planned;
      plannedBytes += view.FileBytes;
    }
  }
  if (!result.Options.DryRun && run.Space.FreeBytes >= 0) {
    text += "Space:        " + Int(run.Space.FreeBytes) + " bytes free before the export for " +
            Int(run.Space.FragmentBytes) + " bytes of fragments and about " + Int(run.Space.RecordingBytes) +
            " of recordings" + (run.Space.Short ? " (not enough room)" : "") + "\n";
  }
  if (result.Options.DryRun) {
    text += "Would write:  " + Int(planned) + " files, " + Int(plannedBytes) + " bytes\n";
  } else {
    text += "Written:      " + Int(run.Export.FilesWritten) + " files, " + Int(run.Export.BytesWritten) +
            " bytes\n";
  }
  text += ClipsText(result);
  text += ThumbnailsText(result);
  if (!result.EarlierFiles.empty()) {
    text += "Not of this run: " + Int(static_cast<std::int64_t>(result.EarlierFiles.size())) +
            " files that DEST held before it and that it did not write again:\n";
    for (const std::string& path : result.EarlierFiles) text += "  " + path + "\n";
  }
  return text;
}

std::string ReportFormat::JsonString(const std::string& text) {
  std::string out = "\"";
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const std::size_t length = Utf8Length(text, i);
    if (length == 0) {
      out += "\\ufffd";
      ++i;
      continue;
    }
    if (c == '"') {
      out += "\\\"";
    } else if (c == '\\') {
      out += "\\\\";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c < 0x20 || c == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out.append(text, i, length);
    }
    i += length;
  }
  return out + "\"";
}

std::string ReportFormat::Json(const CliResult& result) {
  const RunReport& run = result.Run;
  const auto optional = [](const std::string& text) {
    return text.empty() ? std::string("null") : JsonString(text);
  };
  std::string json = "{\n";
  json += "  \"source\": " + JsonString(result.Options.Source) + ",\n";
  json += "  \"length\": " + Int(run.SourceLength) + ",\n";
  json += "  \"destination\": " + optional(result.Options.DestFolder) + ",\n";
  json += std::string("  \"dry_run\": ") + (result.Options.DryRun ? "true" : "false") + ",\n";
  json += "  \"bytes_read\": " + Int(run.Scan.BytesRead) + ",\n";
  json += "  \"unreadable_sectors\": " + Int(std::max(run.UnreadableSectors, run.Scan.UnreadableSectors)) + ",\n";
  json += std::string("  \"stopped\": ") + (run.Scan.Stopped ? "true" : "false") + ",\n";
  if (run.Scan.SkippedStretches > 0) {
    json += "  \"bad_areas\": {\"skipped_stretches\": " + Int(run.Scan.SkippedStretches) +
            ", \"seconds\": " + Seconds(run.Scan.BadAreaMilliseconds) + "},\n";
  }
  json += "  \"hits\": " + Int(run.HitCount) + ",\n";
  json += "  \"fragments\": [";
  const std::vector<EntryView> views = Entries(result);
  for (std::size_t i = 0; i < views.size(); ++i) {
    const EntryView& view = views[i];
    json += i == 0 ? "\n" : ",\n";
    json += "    {\"index\": " + Int(view.Index) + ", \"start\": " + Int(view.StartOffset) +
            ", \"end\": " + Int(view.EndOffset) + ", \"length\": " + Int(view.Length) +
            ", \"file_bytes\": " + Int(view.FileBytes) + ", \"status\": " + JsonString(StatusName(view.Status)) + ", \"file\": " + optional(view.File) +
            ", \"reason\": " + optional(view.Reason) +
            ", \"unreadable_sectors\": " + Int(view.UnreadableSectors) + "}";
  }
  json += views.empty() ? "],\n" : "\n  ],\n";
  json += "  \"files_written\": " + Int(run.Export.FilesWritten) + ",\n";
  json += "  \"bytes_written\": " + Int(run.Export.BytesWritten) + ",\n";
  json += "  \"cut_short\": " + CutShortJson(run.Export.CutShort) + ",\n";
  if (result.Options.DryRun) {
    json += "  \"space\": null,\n";
  } else {
    json += "  \"space\": {\"free_bytes\": " + Int(run.Space.FreeBytes) + ", \"fragment_bytes\": " +
            Int(run.Space.FragmentBytes) + ", \"recording_bytes_estimated\": " + Int(run.Space.RecordingBytes) +
            ", \"short\": " + (run.Space.Short ? "true" : "false") + "},\n";
  }
  json += "  \"earlier_files\": [";
  for (std::size_t i = 0; i < result.EarlierFiles.size(); ++i) {
    json += (i == 0 ? "" : ", ") + JsonString(result.EarlierFiles[i]);
  }
  json += "],\n";
  json += "  \"clips\": " + ClipsJson(result) + ",\n";
  json += "  \"thumbnails\": " + ThumbnailsJson(result) + ",\n";
  json += std::string("  \"aborted\": ") + (run.Aborted ? "true" : "false") + ",\n";
  json += "  \"result\": " + JsonString(ResultName(result.Code)) + ",\n";
  json += "  \"exit_code\": " + Int(static_cast<int>(result.Code)) + ",\n";
  json += "  \"error\": " + optional(run.ErrorMessage) + "\n";
  json += "}\n";
  return json;
}

}  // namespace mtsrescue
