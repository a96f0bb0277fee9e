// Dialog units: the layout unit of dialog templates. One horizontal unit is a
// quarter of the dialog font's average character width, one vertical unit an
// eighth of its character height, so that a template keeps its proportions
// under any font and resolution.
#ifndef PORTELLE_APP_QT_DIALOGUNITS_H_
#define PORTELLE_APP_QT_DIALOGUNITS_H_

#include <QRect>

class QFont;

// The font's average character width and height in pixels.
struct DialogBaseUnits {
  int cx = 0;
  int cy = 0;
};

// The base units of `font`, found as the system finds them for a dialog's
// font: the width of the 52 letters A-Z and a-z halved, divided by 26 and
// rounded, and the font's height (ascent plus descent).
DialogBaseUnits BaseUnitsOf(const QFont& font);

// A rectangle given in dialog units, in pixels. Each edge is scaled and
// rounded on its own, so controls that adjoin in units adjoin in pixels.
QRect MapDialogRect(const QRect& units, DialogBaseUnits base);

#endif  // PORTELLE_APP_QT_DIALOGUNITS_H_
