// Program start: the program name and the start-up sequence of the application.
#include "ui/StartUp.h"

#include "ui/DesktopSources.h"
#include "ui/Main.h"

#include "support/contact.h"

#include <QApplication>
#include <QFileInfo>
#include <QLocale>
#include <QLibraryInfo>
#include <QTranslator>

namespace mtsrescue {

QString ProgramNameFromPath(const QString& executablePath) {
  const qsizetype folderEnd =
      std::max(executablePath.lastIndexOf(QLatin1Char('/')), executablePath.lastIndexOf(QLatin1Char('\\')));
  const QString fileName = executablePath.mid(folderEnd + 1);
  const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
  return dot < 0 ? fileName : fileName.left(dot);
}

bool UseChineseTexts(QTranslator& qtTexts) {
  const QLocale chinese(QLocale::Chinese, QLocale::China);
  QLocale::setDefault(chinese);
  const QString name = QStringLiteral("qtbase_zh_CN.qm");
  for (const QString& folder : {QStringLiteral(":/i18n"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)}) {
    if (QFileInfo::exists(folder + QLatin1Char('/') + name) && qtTexts.load(name, folder)) {
      QCoreApplication::installTranslator(&qtTexts);
      return true;
    }
  }
  return false;
}

int RunProgram(int argc, char** argv) {
  QApplication application(argc, argv);
  QGuiApplication::setDesktopFileName(QStringLiteral(MTSRESCUE_APP_ID));
  // Without Qt's translations the standard dialogs stay in English; the window is Chinese anyway.
  QTranslator qtTexts;
  UseChineseTexts(qtTexts);
  // Disks and volumes through the desktop's disk service where there is one.
  const DesktopSources sources = MakeDesktopSources();
  TMainEnvironment environment;
  environment.Devices = sources.Devices;
  environment.Opener = sources.Opener;
  environment.SourceOpenNote = sources.LastOpenNote;
  TfrmMain frmMain(std::move(environment));
  // Created once, hidden; every showing is modal and keeps what the user typed before.
  TForm3 Form3(frmMain.ProgramName, &frmMain);
  frmMain.ShowSupportForm = [&Form3] { Form3.exec(); };
  frmMain.show();
  return QApplication::exec();
}

}  // namespace mtsrescue
