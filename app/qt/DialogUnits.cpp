#include "app/qt/DialogUnits.h"

#include <QFont>
#include <QFontMetrics>
#include <QString>

namespace {

// a * b / c rounded to the nearest integer (halves away from zero).
int MulDiv(int a, int b, int c) {
  const long long product = static_cast<long long>(a) * b;
  const long long half = c / 2;
  return static_cast<int>(product >= 0 ? (product + half) / c : (product - half) / c);
}

}  // namespace

DialogBaseUnits BaseUnitsOf(const QFont& font) {
  const QFontMetrics metrics(font);
  const int letters = metrics.horizontalAdvance(
      QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  return {(letters / 26 + 1) / 2, metrics.height()};
}

QRect MapDialogRect(const QRect& units, DialogBaseUnits base) {
  const int left = MulDiv(units.x(), base.cx, 4);
  const int top = MulDiv(units.y(), base.cy, 8);
  const int right = MulDiv(units.x() + units.width(), base.cx, 4);
  const int bottom = MulDiv(units.y() + units.height(), base.cy, 8);
  return QRect(left, top, right - left, bottom - top);
}
