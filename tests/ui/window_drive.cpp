// window_drive IMAGE FOLDER: the real main window recovers IMAGE into FOLDER through its own
// commands (the source menu's image entry, SaveBtn, RunBtn), with the two dialogs answered as a
// user would answer them. Prints what the run found and whether Qt's Chinese translations are at
// hand; exits 1 when the window showed an error or the choices did not take, 2 on bad use.
// tools/test-windows.sh runs it on the Windows build under Wine and compares its files with the
// Linux build's.
#include "ui/Main.h"
#include "ui/SourceMenu.h"

#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QMenu>
#include <QTimer>
#include <QToolButton>
#include <QTranslator>

#include <cstdio>
#include <optional>

namespace {

// Prints every box instead of waiting for a user; an error box fails the drive.
class TPrintingBoxes final : public mtsrescue::TMessageBoxes {
 public:
  void Information(QWidget*, const QString&, const QString& text) override { Print("information", text); }
  bool OkCancelQuestion(QWidget*, const QString&, const QString& text) override {
    Print("question", text);
    return true;
  }
  void Error(QWidget*, const QString&, const QString& text) override {
    Print("error", text);
    failed = true;
  }
  bool failed = false;

 private:
  static void Print(const char* kind, const QString& text) {
    std::fprintf(stderr, "window_drive: %s box: %s\n", kind, text.toUtf8().constData());
  }
};

bool Fail(const char* what) {
  std::fprintf(stderr, "window_drive: %s\n", what);
  return false;
}

// The user's way to a run: the image entry of the source menu, the folder dialog, then RunBtn.
bool Drive(mtsrescue::TfrmMain& form, const QString& image, const QString& folder) {
  form.Sources->ChooseImage = [image] { return std::optional<QString>(image); };
  emit form.pop->aboutToShow();
  QAction* imageEntry = nullptr;
  for (QAction* action : form.pop->actions())
    if (action->objectName() == QLatin1String("Openimage")) imageEntry = action;
  if (imageEntry == nullptr) return Fail("the source menu has no image entry");
  imageEntry->trigger();
  if (QFileInfo(form.FSourcePath) != QFileInfo(image) || form.FSourceSize != QFileInfo(image).size())
    return Fail("choosing the image did not set the source and its length");
  form.SaveBtn->click();
  if (QFileInfo(form.Edit1->text()) != QFileInfo(folder)) return Fail("choosing the folder did not set the destination");
  form.RunBtn->click();
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  if (argc != 3) {
    std::fprintf(stderr, "usage: window_drive IMAGE FOLDER\n");
    return 2;
  }
  const QString image = QString::fromLocal8Bit(argv[1]);
  const QString folder = QString::fromLocal8Bit(argv[2]);

  // The same look-up as the program's start-up.
  QTranslator qtTexts;
  const QString translations = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
  const bool translated = qtTexts.load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"),
                                       QStringLiteral("_"), translations);
  std::printf("qt translations: %s in %s\n", translated ? "zh_CN" : "none", translations.toUtf8().constData());

  TPrintingBoxes boxes;
  mtsrescue::TMainEnvironment environment;
  environment.Boxes = &boxes;
  environment.OpenLink = [](const QString&) {};
  environment.OpenFile = [](const QString&) { return true; };
  environment.ChooseFolder = [folder](QWidget*, const QString&) { return folder; };
  mtsrescue::TfrmMain form(environment);
  form.show();

  bool driven = false;
  QTimer::singleShot(200, &form, [&] {
    driven = Drive(form, image, folder);
    QApplication::quit();
  });
  QApplication::exec();
  const mtsrescue::RunReport& report = form.LastRunReport();
  std::printf("hits %lld, files written %lld\n", static_cast<long long>(form.HitCount),
              static_cast<long long>(report.Export.FilesWritten));
  return driven && !boxes.failed ? 0 : 1;
}
