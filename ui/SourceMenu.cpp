// TSourceMenu: building the source menu, the choice of a source and the checks before a run.
#include "ui/SourceMenu.h"

#include "source/DestinationCheck.h"
#include "source/SourceMenu.h"
#include "ui/FailureText.h"
#include "ui/FileDialogs.h"
#include "ui/Main.h"

#include <QAction>
#include <QCoreApplication>
#include <QEvent>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QStatusBar>

namespace mtsrescue {

TSourceMenu::TSourceMenu(TfrmMain& form, SourcePlatform platform, Guard guard)
    : QObject(&form), form_(form), platform_(std::move(platform)), guard_(std::move(guard)), selection_(platform_) {
  form_.od = new QFileDialog(&form_);
  form_.od->setObjectName(QStringLiteral("od"));
  form_.od->setFileMode(QFileDialog::ExistingFile);
  form_.od->setAcceptMode(QFileDialog::AcceptOpen);
  UseChineseFileTexts(*form_.od);
  CloseCompletionWithDialog(*form_.od);
  sourceEdit_ = form_.Source;
  sourceEdit_->installEventFilter(this);
  ChooseImage = [this]() -> std::optional<QString> {
    if (form_.od->exec() != QDialog::Accepted || form_.od->selectedFiles().isEmpty()) return std::nullopt;
    return form_.od->selectedFiles().constFirst();
  };
}

void TSourceMenu::RecBtnDropDown() {
  QCoreApplication::processEvents();
  form_.pop->clear();  // the entries belong to pop and go with it
  SourceMenu entries;
  BuildSourceMenu(entries, platform_);
  for (const SourceMenuEntry& entry : entries) {
    if (entry.IsSeparator()) {
      form_.pop->addSeparator();
      continue;
    }
    auto* action = new QAction(EntryIcon(entry.ImageIndex), QString::fromStdString(entry.Caption), form_.pop);
    action->setObjectName(QString::fromStdString(entry.Name));
    action->setIconVisibleInMenu(true);
    connect(action, &QAction::triggered, this, [this, action] {
      guard_([this, action] {
        try {
          SourceItemClick(action);
        } catch (const StreamError& error) {
          form_.ShowException(
              FailureText({FailureKind::SourceOpen, error.Path().empty() ? RunSourcePath() : error.Path(), error.Code()},
                          error.what()));
        }
      });
    });
    form_.pop->addAction(action);
  }
}

void TSourceMenu::SourceItemClick(QAction* sender) {
  PrepareImageDialog();
  if (sender == nullptr) return;
  const std::string name = sender->objectName().toStdString();
  QString shortForm;
  if (name == OpenImageName) {
    const std::optional<QString> file = ChooseImage ? ChooseImage() : std::nullopt;
    if (!file) return;
    form_.FSourcePath = *file;
    shortForm = *file;
  } else {
    const std::string text = EntryShortForm(name);
    if (text.empty()) return;
    form_.FSourcePath = QString::fromStdString(ResolveShortForm(text));
    shortForm = QString::fromStdString(text);
  }
  // The same choice again is worked out again too: it may open now (a card put in, a password
  // given), and the user has no other way to ask.
  form_.Source->setText(shortForm);
  SourceChange();
}

void TSourceMenu::SourceChange() {
  struct Copy {
    TSourceMenu& menu;
    ~Copy() { menu.CopyToForm(); }
  } copy{*this};
  openNote_.clear();
  selection_.SourceChange(form_.Source->text().toStdString());
  TakeOpenNote();
}

void TSourceMenu::TakeOpenNote() {
  // Whether a disk came through the desktop's disk service or was opened directly.
  openNote_ = OpenNote ? OpenNote() : std::string();
}

std::string TSourceMenu::RunSourcePath() const {
  const std::string path = form_.FSourcePath.toStdString();
  const std::string native = platform_.Query().NativeDevicePath(path);
  return native.empty() ? path : native;
}

bool TSourceMenu::BeforeRun() {
  {
    struct Copy {
      TSourceMenu& menu;
      ~Copy() { menu.CopyToForm(); }
    } copy{*this};
    if (!selection_.Measured()) {
      openNote_.clear();
      selection_.MeasureIfStale();
    }
    // Opened and closed at once: the run itself opens it again. Through the desktop's disk
    // service this is the descriptor already handed over, without a second prompt.
    platform_.Open(form_.FSourcePath.toStdString(), OpenMode::ReadShared);
    TakeOpenNote();
  }
  const std::string dest = form_.Edit1->text().toStdString();
  if (!DestinationOnSource(dest, form_.FSourcePath.toStdString(), platform_)) return true;
  return form_.Boxes().OkCancelQuestion(&form_, form_.ApplicationTitle(),
                                        QString::fromUtf8(DestinationOnSourceQuestion));
}

void TSourceMenu::PrepareImageDialog() {
  form_.od->setDefaultSuffix(QString());
  form_.od->selectFile(QString());
  ClearFileName(*form_.od);  // the line above leaves the previous name in place
  // Any file can be an image; the common image extensions come second, for a quicker look. An
  // empty list leaves the dialog's file-type box blank.
  form_.od->setNameFilters({QStringLiteral("所有文件 (*)"),
                            QStringLiteral("磁盘镜像 (*.img *.dd *.raw *.bin *.iso *.dmg *.vhd *.001)")});
}

void TSourceMenu::CopyToForm() {
  // Only a choice made here: a path put in place otherwise (a test's) stays.
  if (!selection_.SourceText().empty()) {
    form_.FSourcePath = QString::fromStdString(selection_.FSourcePath);
    form_.FSourceSize = selection_.FSourceSize;
  }
  form_.ShowChoice();
}

bool TSourceMenu::eventFilter(QObject* watched, QEvent* event) {
  // Compares with the pointer kept here: the filter also sees events while the window is destroyed.
  if (watched == sourceEdit_ && (event->type() == QEvent::KeyPress || event->type() == QEvent::InputMethod))
    return true;
  return QObject::eventFilter(watched, event);
}

QIcon TSourceMenu::EntryIcon(int imageIndex) {
  QPixmap picture(16, 16);
  picture.fill(Qt::transparent);
  QPainter p(&picture);
  p.setRenderHint(QPainter::Antialiasing);
  switch (imageIndex) {
    case DiskImageIndex:  // a drive with its activity light
      p.setPen(QColor(70, 70, 70));
      p.setBrush(QColor(190, 190, 195));
      p.drawRoundedRect(QRectF(1.5, 4.5, 13, 8), 2, 2);
      p.setPen(Qt::NoPen);
      p.setBrush(QColor(40, 170, 60));
      p.drawEllipse(QRectF(11, 9, 2.5, 2.5));
      break;
    case VolumeImageIndex:  // a drive with a partition band
      p.setPen(QColor(70, 70, 70));
      p.setBrush(QColor(215, 215, 220));
      p.drawRoundedRect(QRectF(1.5, 4.5, 13, 8), 2, 2);
      p.setPen(Qt::NoPen);
      p.setBrush(QColor(50, 110, 200));
      p.drawRect(QRectF(3, 6.5, 6, 4));
      break;
    case OpenImageImageIndex:  // a page with a folded corner and a disc on it
      p.setPen(QColor(90, 90, 90));
      p.setBrush(Qt::white);
      p.drawPolygon(QPolygonF({QPointF(3.5, 1.5), QPointF(10, 1.5), QPointF(13.5, 5), QPointF(13.5, 14.5),
                               QPointF(3.5, 14.5)}));
      p.setBrush(QColor(200, 140, 40));
      p.drawEllipse(QRectF(5.5, 7, 6, 6));
      break;
    default:
      break;
  }
  p.end();
  return QIcon(picture);
}

}  // namespace mtsrescue
