#pragma once

#include <QIcon>
#include <QPalette>
#include <QString>

class QApplication;

namespace kestrune {

// The program's one look: a style sheet whose few colours come from the
// desktop's palette (so a dark desktop gets a dark Kestrune), and the icons of
// the bar, the list's row states and the program, all drawn as SVG and built
// into the program.
class TSkin {
public:
    // Sets the style sheet and the program's icon, and sets the sheet again
    // whenever the desktop's palette changes.
    static void Apply(QApplication& App);
    // The icon of that name ("start", "row-onematch", "kestrune", ...); a null
    // icon for a name the skin does not have.
    static QIcon Icon(const char* Name);
    // The style sheet for a palette, its colours filled in.
    static QString StyleSheet(const QPalette& Palette);
};

} // namespace kestrune
