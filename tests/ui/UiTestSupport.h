// Shared helpers of the window tests: the application object, scripted message boxes, temporary
// folders, synthetic camcorder images and a stream opener that lets a test act mid-run.
#pragma once

#include "platform/FileStream.h"
#include "ui/MessageBoxes.h"

#include <QApplication>
#include <QString>

#include <cstdint>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace mtsrescue::testing {

// One QApplication for the whole test program, on the offscreen platform unless told otherwise.
inline QApplication& Application() {
  static int argc = 1;
  static char name[] = "ui_tests";
  static char* argv[] = {name, nullptr};
  static QApplication* app = [] {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    auto* created = new QApplication(argc, argv);
    created->setQuitOnLastWindowClosed(false);
    return created;
  }();
  return *app;
}

// Records every box it is asked to show and answers questions from a queue (OK when empty).
// OnShow runs while a box is "open", as the user's reaction to it.
class TScriptedBoxes final : public TMessageBoxes {
 public:
  struct Shown {
    QString Kind;  // "information", "question" or "error"
    QString Caption;
    QString Text;
  };

  void Information(QWidget*, const QString& caption, const QString& text) override {
    Record("information", caption, text);
  }
  bool OkCancelQuestion(QWidget*, const QString& caption, const QString& text) override {
    Record("question", caption, text);
    if (Answers.empty()) return true;
    const bool answer = Answers.front();
    Answers.pop_front();
    return answer;
  }
  void Error(QWidget*, const QString& caption, const QString& text) override { Record("error", caption, text); }

  std::vector<Shown> Boxes;
  std::deque<bool> Answers;  // true: OK
  std::function<void(const Shown&)> OnShow;

 private:
  void Record(const char* kind, const QString& caption, const QString& text) {
    Boxes.push_back({QString::fromLatin1(kind), caption, text});
    if (OnShow) OnShow(Boxes.back());
  }
};

// A fresh folder under the system's temporary folder, removed with its contents at the end.
class TTempFolder {
 public:
  TTempFolder() {
    static int counter = 0;
    path_ = std::filesystem::temp_directory_path() /
            ("mtsrescue_ui_" + std::to_string(QCoreApplication::applicationPid()) + "_" + std::to_string(++counter));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~TTempFolder() {
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ignored);
    std::filesystem::remove_all(path_, ignored);
  }
  const std::filesystem::path& Path() const { return path_; }
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// A camcorder stream laid on an image: groupCount groups of 8 packets of 192 bytes from
// startOffset, each packet a 4-byte arrival stamp climbing at a steady 27 MHz pace, the sync byte
// 0x47 and a payload that differs per packet.
struct TClip {
  std::int64_t StartOffset = 0;
  std::int64_t GroupCount = 0;
  std::uint32_t FirstStamp = 0;
};

// Writes an image of lengthBytes: zeros everywhere but the clips.
inline std::vector<std::uint8_t> MakeImage(std::int64_t lengthBytes, const std::vector<TClip>& clips) {
  std::vector<std::uint8_t> image(static_cast<std::size_t>(lengthBytes), 0);
  for (const TClip& clip : clips) {
    std::uint32_t stamp = clip.FirstStamp;
    for (std::int64_t packet = 0; packet < clip.GroupCount * 8; ++packet) {
      std::uint8_t* p = image.data() + clip.StartOffset + packet * 192;
      const std::uint32_t header = stamp & 0x3FFFFFFFu;  // copy permission 00
      p[0] = static_cast<std::uint8_t>(header >> 24);
      p[1] = static_cast<std::uint8_t>(header >> 16);
      p[2] = static_cast<std::uint8_t>(header >> 8);
      p[3] = static_cast<std::uint8_t>(header);
      p[4] = 0x47;
      for (int i = 5; i < 192; ++i) p[i] = static_cast<std::uint8_t>(packet * 7 + i + clip.FirstStamp);
      stamp += 3000;  // about 9 Mbit/s at 27 MHz: the top word climbs slowly
    }
  }
  return image;
}

inline void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline std::vector<std::uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The real file streams, with a hook called at every open and every read, so that a test can
// act at a chosen moment of the run (as a user would between two blocks).
struct TWatchingOpener {
  std::function<void(const std::string& path, OpenMode mode)> OnOpen;
  std::function<void(std::int64_t readCount)> OnRead;
  std::int64_t Reads = 0;
  std::int64_t Opens = 0;

  StreamOpener Opener() {
    return [this](const std::string& path, OpenMode mode) -> std::unique_ptr<ByteStream> {
      ++Opens;
      if (OnOpen) OnOpen(path, mode);
      return std::make_unique<Watched>(OpenFileStream(path, mode), *this);
    };
  }

 private:
  class Watched final : public ByteStream {
   public:
    Watched(std::unique_ptr<ByteStream> inner, TWatchingOpener& owner) : inner_(std::move(inner)), owner_(owner) {}
    std::error_code Seek(std::int64_t offset) override { return inner_->Seek(offset); }
    std::int64_t Size() override { return inner_->Size(); }
    IoResult Read(void* buffer, std::int64_t count) override {
      const IoResult result = inner_->Read(buffer, count);
      ++owner_.Reads;
      if (owner_.OnRead) owner_.OnRead(owner_.Reads);
      return result;
    }
    IoResult Write(const void* buffer, std::int64_t count) override { return inner_->Write(buffer, count); }
    std::error_code Flush() override { return inner_->Flush(); }
    std::error_code CloseAs(const std::string& finalPath) override { return inner_->CloseAs(finalPath); }
    std::error_code CloseAndRemove() override { return inner_->CloseAndRemove(); }

   private:
    std::unique_ptr<ByteStream> inner_;
    TWatchingOpener& owner_;
  };
};

}  // namespace mtsrescue::testing
