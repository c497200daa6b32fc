// The application title, held for the program's whole run like the program name it is made from.
#include "support/ApplicationTitle.h"

namespace mtsrescue {

namespace {

QString& Title() {
  static QString title;
  return title;
}

}  // namespace

void SetApplicationTitle(const QString& title) { Title() = title; }

QString ApplicationTitle() { return Title(); }

}  // namespace mtsrescue
