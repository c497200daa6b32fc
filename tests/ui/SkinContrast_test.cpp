// Every skin keeps its texts readable (contrast 4.5:1 or better, the WCAG AA level) and the
// toolbar pictures visible, both in its colours and in what the window really paints.
#include "ui/Main.h"
#include "ui/SkinManager.h"

#include "UiTestSupport.h"

#include <QImage>
#include <QLabel>
#include <QToolBar>
#include <QToolButton>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>

namespace mtsrescue {
namespace {

// WCAG relative luminance and contrast ratio.
double Luminance(QRgb rgb) {
  const auto channel = [](int value) {
    const double c = value / 255.0;
    return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
  };
  return 0.2126 * channel(qRed(rgb)) + 0.7152 * channel(qGreen(rgb)) + 0.0722 * channel(qBlue(rgb));
}
double Contrast(QRgb a, QRgb b) {
  const double la = Luminance(a);
  const double lb = Luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}
double Contrast(const QColor& a, const QColor& b) { return Contrast(a.rgb(), b.rgb()); }

// The contrast of a painted text: its commonest colour is the background, its inkiest pixel the text.
double PaintedContrast(const QImage& image) {
  std::map<QRgb, int> counts;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) ++counts[image.pixel(x, y) | 0xff000000u];
  const QRgb background =
      std::max_element(counts.begin(), counts.end(), [](const auto& a, const auto& b) { return a.second < b.second; })->first;
  double best = 1;
  for (const auto& [rgb, count] : counts) best = std::max(best, Contrast(rgb, background));
  return best;
}

constexpr double TextContrast = 4.5;
constexpr double PictureContrast = 3.0;  // WCAG's level for the parts of a picture that carry it

class SkinContrastTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::Application();
    TMainEnvironment environment;
    environment.Boxes = &boxes;
    form = std::make_unique<TfrmMain>(environment);
    form->show();
  }
  void TearDown() override { form->sm.SetActiveSkin(QStringLiteral("BlueIce (internal)"), qApp); }

  testing::TScriptedBoxes boxes;
  std::unique_ptr<TfrmMain> form;
};

TEST_F(SkinContrastTest, EverySkinKeepsItsTextsReadableAndItsPicturesVisible) {
  for (const QString& name : form->sm.SkinNames()) {
    SCOPED_TRACE(name.toStdString());
    const TSkin& skin = *form->sm.Find(name);
    // Each text colour on each background it is drawn on.
    const struct {
      const char* where;
      QColor text;
      QColor background;
    } pairs[] = {
        {"window, menus bar, headers, lower pane", skin.Text, skin.Face},
        {"list, edits, menus, tips", skin.Text, skin.Base},
        {"toolbar and status bar, top", skin.BarText, skin.BarTop},
        {"toolbar and status bar, bottom", skin.BarText, skin.BarBottom},
        {"selection and hover", skin.HighlightText, skin.Highlight},
    };
    for (const auto& pair : pairs)
      EXPECT_GE(Contrast(pair.text, pair.background), TextContrast) << pair.where;

    ASSERT_TRUE(form->sm.SetActiveSkin(name, qApp));
    form->TimeLabel->setText(QStringLiteral("剩余时间: 1 : 35"));
    QCoreApplication::processEvents();
    const QImage window = form->grab().toImage();
    const auto painted = [&](const QWidget* widget) {
      return window.copy(QRect(widget->mapTo(form.get(), QPoint(0, 0)), widget->size()));
    };
    // The two large labels of the lower pane as painted (the small status texts are smoothed
    // too much at 12 pixels for a pixel to show their colour; their colours are checked above).
    for (const QLabel* text : {form->sLabelFX1, form->sLabelFX2})
      EXPECT_GE(PaintedContrast(painted(text)), TextContrast) << text->objectName().toStdString();

    // A picture is visible when a good part of it stands out from the bar behind it (a gradient
    // from BarTop to BarBottom over the toolbar's height; the picture sits in its upper part).
    for (const QToolButton* button : {form->RecBtn, form->SaveBtn, form->RunBtn, form->PauseBtn, form->StopBtn,
                                      form->UpdateBtn, form->SupportBtn, form->helpBtn, form->ExitBtn}) {
      const QImage picture = button->icon().pixmap(24, 24).toImage().convertToFormat(QImage::Format_ARGB32);
      const int top = button->mapTo(static_cast<QWidget*>(form->RzToolbar1), QPoint(0, 0)).y() + 2;
      int opaque = 0;
      int standingOut = 0;
      for (int y = 0; y < picture.height(); ++y) {
        const double t = std::clamp((top + y) / double(form->RzToolbar1->height()), 0.0, 1.0);
        const QColor bar = QColor::fromRgbF(skin.BarTop.redF() * (1 - t) + skin.BarBottom.redF() * t,
                                            skin.BarTop.greenF() * (1 - t) + skin.BarBottom.greenF() * t,
                                            skin.BarTop.blueF() * (1 - t) + skin.BarBottom.blueF() * t);
        for (int x = 0; x < picture.width(); ++x) {
          const QRgb pixel = picture.pixel(x, y);
          if (qAlpha(pixel) < 128) continue;
          ++opaque;
          if (Contrast(pixel, bar.rgb()) >= PictureContrast) ++standingOut;
        }
      }
      ASSERT_GT(opaque, 0);
      EXPECT_GE(standingOut * 5, opaque) << button->objectName().toStdString() << ": " << standingOut << " of " << opaque;
    }
  }
}

}  // namespace
}  // namespace mtsrescue
