// The offline page of what came back.
#include "thumbnails/IndexPage.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace mtsrescue {
namespace {

std::string DateText(const RecordingDate& date) {
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", date.Year, date.Month, date.Day, date.Hour,
                date.Minute, date.Second);
  return text;
}

std::string FileName(const std::string& relativePath) {
  const std::size_t slash = relativePath.rfind('/');
  return slash == std::string::npos ? relativePath : relativePath.substr(slash + 1);
}

constexpr const char* Style = R"(
body{font-family:system-ui,"Noto Sans CJK SC","WenQuanYi Zen Hei",sans-serif;margin:24px;background:#f4f4f2;color:#222}
h1{font-size:22px;margin:0 0 4px}h2{font-size:17px;margin:28px 0 8px}p.lead{margin:0 0 16px;color:#555}
ol{list-style:none;padding:0;margin:0;display:flex;flex-wrap:wrap;gap:14px}
li{background:#fff;border:1px solid #ddd;border-radius:6px;padding:8px;width:176px}
li img{display:block;width:160px;height:auto;background:#888;border-radius:3px;margin:0 auto 6px}
li a{color:#1a4f9c;text-decoration:none;word-break:break-all;font-weight:600}
li .facts{font-size:13px;color:#444;margin-top:3px;line-height:1.4}
li .note{font-size:12px;color:#a33;margin-top:3px}
)";

void AppendCard(std::string& html, const ThumbnailEntry& entry) {
  const ThumbnailItem& item = entry.Item;
  const std::string name = FileName(item.RelativePath);
  html += "<li>";
  if (!entry.PictureRelative.empty()) {
    html += "<a href=\"" + IndexPage::Url(item.RelativePath) + "\"><img src=\"" +
            IndexPage::Url(entry.PictureRelative) + "\" alt=\"" + IndexPage::Escape(name) + "\"></a>";
  }
  html += "<a href=\"" + IndexPage::Url(item.RelativePath) + "\">" + IndexPage::Escape(name) + "</a>";
  html += "<div class=\"facts\">";
  html += item.Recorded ? "<time>" + DateText(*item.Recorded) + "</time>" : std::string("<span>no date</span>");
  html += "<br>";
  const std::string duration = IndexPage::DurationText(entry.DurationSeconds);
  if (!duration.empty()) html += "<span class=\"duration\">" + duration + "</span> · ";
  html += "<span class=\"size\">" + IndexPage::SizeText(item.Bytes) + "</span></div>";
  if (!entry.Note.empty()) html += "<div class=\"note\">" + IndexPage::Escape(entry.Note) + "</div>";
  html += "</li>\n";
}

}  // namespace

std::vector<const ThumbnailEntry*> IndexPage::Order(const std::vector<ThumbnailEntry>& entries) {
  std::vector<const ThumbnailEntry*> recordings;
  std::vector<const ThumbnailEntry*> fragments;
  for (const ThumbnailEntry& entry : entries) {
    if (entry.Item.Recording) recordings.push_back(&entry);
    else if (!entry.PictureRelative.empty() && !entry.Item.LinkedByRecording) fragments.push_back(&entry);
  }
  std::stable_sort(recordings.begin(), recordings.end(), [](const ThumbnailEntry* a, const ThumbnailEntry* b) {
    const auto& x = a->Item;
    const auto& y = b->Item;
    if (x.Recorded.has_value() != y.Recorded.has_value()) return x.Recorded.has_value();
    if (x.Recorded && !(*x.Recorded == *y.Recorded)) return *x.Recorded < *y.Recorded;
    return x.Index < y.Index;
  });
  std::stable_sort(fragments.begin(), fragments.end(),
                   [](const ThumbnailEntry* a, const ThumbnailEntry* b) { return a->Item.Index < b->Item.Index; });
  recordings.insert(recordings.end(), fragments.begin(), fragments.end());
  return recordings;
}

std::string IndexPage::Html(const std::vector<ThumbnailEntry>& entries) {
  const std::vector<const ThumbnailEntry*> ordered = Order(entries);
  const auto recordings = std::count_if(ordered.begin(), ordered.end(), [](const ThumbnailEntry* e) { return e->Item.Recording; });
  std::string html =
      "<!DOCTYPE html>\n<html lang=\"zh-CN\">\n<head>\n<meta charset=\"utf-8\">\n"
      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
      "<title>恢复的录像 · Recovered recordings</title>\n<style>";
  html += Style;
  html += "</style>\n</head>\n<body>\n<h1>恢复的录像 · Recovered recordings</h1>\n";
  html += "<p class=\"lead\">" + std::to_string(recordings) +
          " recordings, in the order they were recorded. Click a picture to play the file.</p>\n";
  bool inFragments = false;
  html += "<ol id=\"recordings\">\n";
  for (const ThumbnailEntry* entry : ordered) {
    if (!entry->Item.Recording && !inFragments) {
      inFragments = true;
      html += "</ol>\n<h2>编号片段 · Numbered fragment files</h2>\n<ol id=\"fragments\">\n";
    }
    AppendCard(html, *entry);
  }
  html += "</ol>\n</body>\n</html>\n";
  return html;
}

std::string IndexPage::Url(const std::string& relativePath) {
  static const char* const Hex = "0123456789ABCDEF";
  std::string url;
  for (const char c : relativePath) {
    const auto byte = static_cast<unsigned char>(c);
    const bool plain = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9') ||
                       byte == '-' || byte == '_' || byte == '.' || byte == '~' || byte == '/';
    if (plain) {
      url += c;
    } else {
      url += '%';
      url += Hex[byte >> 4];
      url += Hex[byte & 15];
    }
  }
  return url;
}

std::string IndexPage::Escape(const std::string& text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string IndexPage::DurationText(double seconds) {
  if (!(seconds >= 0)) return {};
  const auto whole = static_cast<long long>(std::llround(seconds));
  char text[32];
  if (whole >= 3600) {
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", whole / 3600, whole / 60 % 60, whole % 60);
  } else {
    std::snprintf(text, sizeof text, "%lld:%02lld", whole / 60, whole % 60);
  }
  return text;
}

std::string IndexPage::SizeText(std::int64_t bytes) {
  char text[32];
  const double value = static_cast<double>(std::max<std::int64_t>(0, bytes));
  if (value >= 1e9) std::snprintf(text, sizeof text, "%.2f GB", value / 1e9);
  else if (value >= 1e6) std::snprintf(text, sizeof text, "%.1f MB", value / 1e6);
  else if (value >= 1e3) std::snprintf(text, sizeof text, "%.0f KB", value / 1e3);
  else std::snprintf(text, sizeof text, "%lld bytes", static_cast<long long>(value));
  return text;
}

}  // namespace mtsrescue
