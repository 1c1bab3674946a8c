#pragma once

#include <QIcon>
#include <QPalette>
#include <QString>

class QApplication;
class QToolButton;
class QWidget;

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
    // A picture button without caption (the bars and the shortcut rows of the
    // windows): the icon of that name at the bar's size, the hint as its
    // tooltip, flat until the pointer is over it.
    static QToolButton* PictureButton(QWidget* Parent, const char* Name, const char* Icon, const char* Hint);
    // The style sheet for a palette, its colours filled in.
    static QString StyleSheet(const QPalette& Palette);
    // The title the desktop shows for a window titled Title: Qt adds " — "
    // and the program's display name unless the title already ends in it, so
    // window titles never carry the program's name themselves.
    static QString ShownTitle(const QString& Title);
    // Widens a dialog or message box so that its title bar, with the
    // window manager's buttons beside it, shows the shown title whole.
    // Apply does this for every dialog when it is shown.
    static void FitTitle(QWidget& Window);
    // Shrinks a window (down to its minimum) and moves it so that it lies
    // within the screen's free area, its title bar included: at 200 % many
    // windows would like more room than the screen has. Apply does this for
    // every dialog when it is shown.
    static void FitScreen(QWidget& Window);
};

} // namespace kestrune
