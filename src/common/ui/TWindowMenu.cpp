#include "common/ui/TWindowMenu.h"

#include <QAction>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QWidget>

#include <utility>

namespace kestrune {

TWindowMenu::TWindowMenu(QWidget& Window_) : Window(Window_), Bar(new QMenuBar(&Window_))
{
    Bar->setObjectName(QStringLiteral("MainMenu"));
    Window.layout()->setMenuBar(Bar);
}

QMenu* TWindowMenu::Menu(const char* Name, const char* Title)
{
    QMenu* menu = Bar->addMenu(QString::fromLatin1(Title));
    menu->setObjectName(QString::fromLatin1(Name));
    return menu;
}

QAction* TWindowMenu::Add(QMenu* Menu, const char* Name, const char* Text, std::function<void()> Command)
{
    QAction* action = Menu->addAction(QString::fromLatin1(Text));
    action->setObjectName(QString::fromLatin1(Name));
    QObject::connect(action, &QAction::triggered, &Window, [Command = std::move(Command)] { Command(); });
    FActions.push_back(action);
    return action;
}

void TWindowMenu::AddHelp(std::function<void()> Help, std::function<void()> About)
{
    const auto guarded = [](std::function<void()> Command) {
        return [Command = std::move(Command)] {
            if (Command)
                Command();
        };
    };
    QMenu* help = Menu("Help1", "&Help");
    Add(help, "OnlineHelp1", "Online Help", guarded(std::move(Help)));
    Add(help, "About1", "About", guarded(std::move(About)));
}

} // namespace kestrune
