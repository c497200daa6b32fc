// The real message box and browser behind the support form's hooks.
#include "support/ContactHooks.h"

#include "support/ApplicationTitle.h"

#include <QDesktopServices>
#include <QMessageBox>

namespace mtsrescue {

ContactHooks ContactHooks::Defaults() {
  ContactHooks hooks;
  hooks.ShowMessage = [](QWidget* owner, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, ApplicationTitle(), text,
                    QMessageBox::Ok, owner);
    box.exec();
  };
  hooks.OpenUrl = [](const QUrl& address) { QDesktopServices::openUrl(address); };
  return hooks;
}

}  // namespace mtsrescue
