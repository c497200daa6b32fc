// TSkinManager: the built-in skins (palette plus style sheet) and the start-up selection rule.
#include "ui/SkinManager.h"

#include <QApplication>
#include <QPalette>

#include <algorithm>
#include <array>
#include <string>

namespace mtsrescue {

namespace {

TSkin MakeSkin(const char* name, const char* face, const char* base, const char* text, const char* barTop,
               const char* barBottom, const char* barText, const char* highlight, const char* highlightText,
               const char* border) {
  return TSkin{QString::fromUtf8(name), QColor(face),      QColor(base),          QColor(text),
               QColor(barTop),          QColor(barBottom), QColor(barText),       QColor(highlight),
               QColor(highlightText),   QColor(border)};
}

// Halfway between two colours: a greyed text that stays legible on light and dark grounds alike.
QColor Between(const QColor& a, const QColor& b) {
  return QColor((a.red() + b.red()) / 2, (a.green() + b.green()) / 2, (a.blue() + b.blue()) / 2);
}

// Digit of the start-up tick count to skin name.
const std::array<const char*, 10> StartUpSkins = {
    "Acryl (internal)",    "Beijing (internal)", "BlueGauze (internal)",     "BlueIce (internal)",
    "Desert (internal)",   "Golden (internal)",  "MacOS (internal)",         "Office12Style (internal)",
    "WMP11 (internal)",    "Office2007 Black (internal)"};

}  // namespace

TSkinManager::TSkinManager() {
  // The fixed order of the built-in skins.
  //                        name                            face       base       text       barTop     barBottom  barText    highlight  hlText     border
  skins_.push_back(MakeSkin("BlueIce (internal)",          "#dde9f6", "#ffffff", "#10243c", "#f4f9ff", "#b4cfee", "#0d2c55", "#3878b4", "#ffffff", "#7fa5cf"));
  skins_.push_back(MakeSkin("WMP11 (internal)",            "#30343c", "#1f2228", "#e6e9ee", "#eef1f5", "#aeb7c3", "#14161a", "#2778bc", "#ffffff", "#0b0c0e"));
  skins_.push_back(MakeSkin("Acryl (internal)",            "#e6e6e6", "#fbfbfb", "#202020", "#fdfdfd", "#c4c4c4", "#202020", "#5e7691", "#ffffff", "#9a9a9a"));
  skins_.push_back(MakeSkin("Beijing (internal)",          "#f7e9d3", "#fffaf1", "#3a1408", "#fff4dc", "#f0cf8e", "#7a1a0c", "#d9a520", "#3a1408", "#7a2a14"));
  skins_.push_back(MakeSkin("BlueGauze (internal)",        "#eaf2fb", "#ffffff", "#173454", "#ffffff", "#cbe0f5", "#173454", "#4678a6", "#ffffff", "#a9c6e6"));
  skins_.push_back(MakeSkin("Desert (internal)",           "#efe1c4", "#fbf5e8", "#3d2a12", "#fbf3e3", "#dcc398", "#3d2a12", "#a36734", "#ffffff", "#a88a55"));
  skins_.push_back(MakeSkin("Golden (internal)",           "#f6ecce", "#fffbea", "#3b2c00", "#fff6d6", "#e8cd7c", "#3b2c00", "#956f00", "#ffffff", "#b38a1e"));
  skins_.push_back(MakeSkin("Office12Style (internal)",    "#d6e5f5", "#ffffff", "#15428b", "#e4efff", "#a9cdfa", "#15428b", "#ffc365", "#15428b", "#8db2e3"));
  skins_.push_back(MakeSkin("MacOS (internal)",            "#ececec", "#ffffff", "#1c1c1c", "#f6f6f6", "#cfcfcf", "#1c1c1c", "#3175c7", "#ffffff", "#a8a8a8"));
  skins_.push_back(MakeSkin("TheFrog (internal)",          "#e4f1d7", "#f9fdf5", "#1d3409", "#f1f9e8", "#bcdc98", "#13290a", "#49821d", "#ffffff", "#5d8a33"));
  skins_.push_back(MakeSkin("Office2007 Black (internal)", "#dadada", "#ffffff", "#111111", "#f4f4f4", "#b4b4b4", "#111111", "#ffbd5e", "#111111", "#3c3c3c"));
}

QStringList TSkinManager::SkinNames() const {
  QStringList names;
  for (const TSkin& skin : skins_) names << skin.Name;
  return names;
}

const TSkin* TSkinManager::Find(const QString& name) const {
  const auto it = std::find_if(skins_.begin(), skins_.end(), [&](const TSkin& s) { return s.Name == name; });
  return it == skins_.end() ? nullptr : &*it;
}

bool TSkinManager::SetActiveSkin(const QString& name, QApplication* app) {
  const TSkin* skin = Find(name);
  if (skin == nullptr) return false;
  active_ = static_cast<std::size_t>(skin - skins_.data());
  if (app != nullptr) {
    QPalette palette;
    palette.setColor(QPalette::Window, skin->Face);
    palette.setColor(QPalette::Button, skin->Face);
    palette.setColor(QPalette::Base, skin->Base);
    palette.setColor(QPalette::AlternateBase, skin->Face);
    palette.setColor(QPalette::WindowText, skin->Text);
    palette.setColor(QPalette::ButtonText, skin->Text);
    palette.setColor(QPalette::Text, skin->Text);
    palette.setColor(QPalette::Highlight, skin->Highlight);
    palette.setColor(QPalette::HighlightedText, skin->HighlightText);
    palette.setColor(QPalette::ToolTipBase, skin->Base);
    palette.setColor(QPalette::ToolTipText, skin->Text);
    // Greyed, but legible on dark skins too, where the border colour is nearly the face's.
    const QColor greyed = Between(skin->Text, skin->Face);
    palette.setColor(QPalette::Disabled, QPalette::WindowText, greyed);
    palette.setColor(QPalette::Disabled, QPalette::ButtonText, greyed);
    palette.setColor(QPalette::Disabled, QPalette::Text, greyed);
    app->setPalette(palette);
    app->setStyleSheet(StyleSheet(*skin));
  }
  return true;
}

QString TSkinManager::StyleSheet(const TSkin& skin) {
  const auto c = [](const QColor& color) { return color.name(); };
  QColor hover = skin.Highlight;
  hover.setAlpha(90);
  const QString hoverRgba = QStringLiteral("rgba(%1,%2,%3,%4)")
                                .arg(hover.red())
                                .arg(hover.green())
                                .arg(hover.blue())
                                .arg(hover.alpha());
  // Greyed captions stay legible on dark and light bars alike: halfway between text and bar.
  const QColor barDisabled = Between(skin.BarText, skin.BarBottom);
  const QColor menuDisabled = Between(skin.Text, skin.Base);
  QString sheet = QStringLiteral(R"(
QMainWindow, QDialog { background: @face; }
QToolBar#RzToolbar1 { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 @barTop, stop:1 @barBottom);
  border: none; border-top: 2px groove @border; spacing: 0px; padding: 0px; }
QToolBar#RzToolbar1 QToolButton { color: @barText; border: 1px solid transparent; border-radius: 3px; padding: 0px; }
QToolBar#RzToolbar1 QToolButton:hover { background: @hover; border-color: @border; }
QToolBar#RzToolbar1 QToolButton:pressed { background: @highlight; }
QToolBar#RzToolbar1 QToolButton:disabled { color: @barDisabled; }
QToolBar#RzToolbar1 QToolButton[popupMode="1"] { padding-right: 12px; }
QToolBar#RzToolbar1 QToolButton::menu-button { border: none; width: 12px; }
QToolBar#RzToolbar1::separator { background: @border; width: 2px; margin: 6px 5px; }
QToolBar#RzToolbar2 { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 @base, stop:1 @face);
  border: none; border-bottom: 1px solid @border; spacing: 4px; padding: 1px 3px; }
QToolBar#RzToolbar2 QToolButton { color: @text; border: 1px solid @border; border-radius: 2px; padding: 1px 6px; background: @base; }
QToolBar#RzToolbar2 QToolButton:hover { background: @hover; }
QFrame#RzPanel1 { border: 1px solid @border; background: @base; }
QFrame#RzPanel2 { border: 1px solid @border; border-radius: 8px; background: @face; }
QWidget#Panel1 { background: transparent; }
QSplitter::handle { background: @border; }
QMenuBar { background: @face; color: @text; }
QMenuBar::item { padding: 2px 8px; background: transparent; }
QMenuBar::item:selected { background: @highlight; color: @hlText; }
QMenu { background: @base; color: @text; border: 1px solid @border; }
QMenu::item { padding: 4px 24px 4px 30px; }
QMenu::item:selected { background: @highlight; color: @hlText; }
QMenu::item:disabled { color: @menuDisabled; }
QMenu::separator { height: 1px; background: @border; margin: 3px 4px 3px 28px; }
QMenu::icon { padding-left: 4px; }
QStatusBar#RzStatusBar1 { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 @barTop, stop:1 @barBottom);
  color: @barText; border-top: 1px solid @border; }
QStatusBar#RzStatusBar1 QLabel { color: @barText; border: 1px solid @border; padding: 0px 3px; }
QStatusBar::item { border: none; }
QTreeView#Shelllist { background: @base; color: @text; border: none; }
QHeaderView::section { background: @face; color: @text; border: 1px solid @border; padding: 2px 4px; }
QLineEdit { background: @base; color: @text; border: 1px solid @border; }
QPushButton#RzBitBtn1, QPushButton#RzBitBtn2, QPushButton#RzBitBtn3 {
  border: 1px solid rgb(0, 60, 116); border-radius: 3px; background: rgb(244, 244, 240); color: black; }
QPushButton#RzBitBtn1:hover, QPushButton#RzBitBtn2:hover, QPushButton#RzBitBtn3:hover {
  background: rgb(255, 244, 200); border: 2px solid rgb(0, 60, 116); }
QLabel#sLabelFX1, QLabel#sLabelFX2, QLabel#RunNotice { color: @text; background: transparent; }
QMessageBox { background: @face; }
QDialogButtonBox { dialogbuttonbox-buttons-have-icons: 0; }
QMessageBox QLabel { color: @text; }
QMessageBox QPushButton { min-width: 64px; padding: 3px 8px; background: @base; color: @text; border: 1px solid @border; border-radius: 2px; }
QMessageBox QPushButton:hover { background: @hover; }
)");
  sheet.replace(QStringLiteral("@face"), c(skin.Face))
      .replace(QStringLiteral("@base"), c(skin.Base))
      .replace(QStringLiteral("@text"), c(skin.Text))
      .replace(QStringLiteral("@barTop"), c(skin.BarTop))
      .replace(QStringLiteral("@barBottom"), c(skin.BarBottom))
      .replace(QStringLiteral("@barText"), c(skin.BarText))
      .replace(QStringLiteral("@barDisabled"), c(barDisabled))
      .replace(QStringLiteral("@menuDisabled"), c(menuDisabled))
      .replace(QStringLiteral("@highlight"), c(skin.Highlight))
      .replace(QStringLiteral("@hlText"), c(skin.HighlightText))
      .replace(QStringLiteral("@border"), c(skin.Border))
      .replace(QStringLiteral("@hover"), hoverRgba);
  return sheet;
}

int TSkinManager::StartUpDigit(std::uint32_t firstTicks, std::uint32_t secondTicks) {
  const std::size_t length = std::to_string(firstTicks).size();
  const std::string second = std::to_string(secondTicks);
  std::size_t position = length - 1;                  // counted from 1
  if (position < 1) position = 1;                     // a one-digit count: its only digit
  if (position > second.size()) position = second.size();  // wrapped between the readings
  return second[position - 1] - '0';
}

QString TSkinManager::StartUpSkinName(int digit) {
  return QString::fromUtf8(StartUpSkins.at(static_cast<std::size_t>(digit)));
}

}  // namespace mtsrescue
