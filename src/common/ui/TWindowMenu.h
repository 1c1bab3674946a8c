#pragma once

#include <functional>
#include <vector>

class QAction;
class QMenu;
class QMenuBar;
class QWidget;

namespace kestrune {

// The menu bar of a tool window (rip, burn, conversion): menus and entries
// that carry the names the tests and the help pages go by, and the Help menu
// they all share. The window owns the widgets; this only builds them.
class TWindowMenu {
public:
    // The bar goes above the window's own layout, which must exist.
    explicit TWindowMenu(QWidget& Window);

    QMenu* Menu(const char* Name, const char* Title);
    // An entry that runs Command, with the window as its receiver: nothing
    // runs once the window is gone.
    QAction* Add(QMenu* Menu, const char* Name, const char* Text, std::function<void()> Command);
    // "&Help" with "Online Help" and "About"; a command not given does nothing.
    void AddHelp(std::function<void()> Help, std::function<void()> About);

    // Every entry added, in order.
    const std::vector<QAction*>& Actions() const { return FActions; }

private:
    QWidget& Window;
    QMenuBar* Bar;
    std::vector<QAction*> FActions;
};

} // namespace kestrune
