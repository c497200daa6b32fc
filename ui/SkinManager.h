// TSkinManager: the eleven built-in skins and the choice of one from the tick count at start-up.
#pragma once

#include <QColor>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

class QApplication;

namespace mtsrescue {

// The colours one skin paints the window, its controls and its menus in.
struct TSkin {
  QString Name;
  QColor Face;           // window and panel background
  QColor Base;           // edits, lists, menus
  QColor Text;
  QColor BarTop;         // toolbar and status-bar gradient
  QColor BarBottom;
  QColor BarText;
  QColor Highlight;      // hover and selection
  QColor HighlightText;
  QColor Border;
};

class TSkinManager {
 public:
  // Holds the built-in skins, "BlueIce (internal)" active.
  TSkinManager();

  // The names in their fixed order.
  QStringList SkinNames() const;
  const TSkin* Find(const QString& name) const;
  const TSkin& ActiveSkin() const { return skins_[active_]; }
  // Makes name the active skin and paints app with it; false (nothing changed) for an unknown name.
  bool SetActiveSkin(const QString& name, QApplication* app);

  // The palette-independent part of a skin: its style sheet.
  static QString StyleSheet(const TSkin& skin);

  // The skin picked at start-up from two readings of the millisecond tick count: the digit of the
  // second reading at position L - 1 (from 1), L being the length of the first reading's decimal
  // text; position 0 reads as 1, and a position past the second text's end (the count wrapped
  // between the readings) reads its last digit.
  static int StartUpDigit(std::uint32_t firstTicks, std::uint32_t secondTicks);
  static QString StartUpSkinName(int digit);

 private:
  std::vector<TSkin> skins_;
  std::size_t active_ = 0;
};

}  // namespace mtsrescue
