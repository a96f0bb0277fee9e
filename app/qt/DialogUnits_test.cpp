#include "app/qt/DialogUnits.h"

#include <gtest/gtest.h>

#include <QFont>
#include <QFontMetrics>
#include <cmath>

#include "app/qt/testing/QtTestSupport.h"

namespace {

// The base units of "MS Shell Dlg" 8 at 96 dots per inch.
constexpr DialogBaseUnits kShellDlg8{6, 13};

TEST(DialogUnitsTest, EdgesAreScaledAndRoundedOneByOne) {
  // 250 * 6 / 4 = 375, 21 * 13 / 8 = 34.1, 300 * 6 / 4 = 450, 35 * 13 / 8 = 56.9.
  EXPECT_EQ(MapDialogRect(QRect(250, 21, 50, 14), kShellDlg8), QRect(375, 34, 75, 23));
  // Halves round up: 1.5 -> 2 and 6.5 -> 7; the far edges 3 and 8.1 -> 8.
  EXPECT_EQ(MapDialogRect(QRect(1, 4, 1, 1), kShellDlg8), QRect(2, 7, 1, 1));
  // The whole template: 472.5 -> 473 by 182.
  EXPECT_EQ(MapDialogRect(QRect(0, 0, 315, 112), kShellDlg8).size(), QSize(473, 182));
  // Rectangles that adjoin in units adjoin in pixels, whatever the rounding.
  const DialogBaseUnits odd{7, 15};
  for (int x = 0; x < 12; ++x) {
    const QRect left = MapDialogRect(QRect(0, 0, x, 3), odd);
    const QRect right = MapDialogRect(QRect(x, 0, 5, 3), odd);
    EXPECT_EQ(left.x() + left.width(), right.x()) << x;
  }
}

TEST(DialogUnitsTest, BaseUnitsAreTheAverageLetterWidthAndTheFontHeight) {
  qt_testing::EnsureApplication();
  for (const int points : {8, 16}) {
    QFont font;
    font.setPointSize(points);
    const QFontMetrics metrics(font);
    double letters = 0;
    for (char c = 'A'; c <= 'Z'; ++c) {
      letters += metrics.horizontalAdvance(QChar(c)) + metrics.horizontalAdvance(QChar(c + 32));
    }
    const DialogBaseUnits base = BaseUnitsOf(font);
    EXPECT_LE(std::abs(base.cx - letters / 52), 1.0) << points;
    EXPECT_EQ(base.cy, metrics.ascent() + metrics.descent()) << points;
  }
}

}  // namespace
