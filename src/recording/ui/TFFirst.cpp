#include "recording/ui/TFFirst.h"

#include "common/ui/TSkin.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>

namespace kestrune {

TFFirst::TFFirst(QWidget* Parent) : QDialog(Parent)
{
    setObjectName(QStringLiteral("FFirst"));
    setWindowTitle(QStringLiteral("Welcome"));

    auto* picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("IPicture"));
    const int side = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
    picture->setPixmap(TSkin::Icon("kestrune").pixmap(side, side));
    picture->setAlignment(Qt::AlignTop);

    auto* text = new QLabel(QStringLiteral("You are about to enter the first time user setup. Once you are happy with "
                                           "your setup preferences, click 'Save Settings' to continue"),
                            this);
    text->setObjectName(QStringLiteral("LText"));
    text->setWordWrap(true);
    // A wrapped label has no width of its own; give it a readable measure so
    // the text breaks into a few lines rather than a tall column.
    text->setMinimumWidth(fontMetrics().averageCharWidth() * 46);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("BtnOK"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(ok, QDialogButtonBox::AcceptRole);

    auto* top = new QHBoxLayout;
    top->addWidget(picture);
    top->addWidget(text, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TFFirst::showEvent(QShowEvent* Event)
{
    QDialog::showEvent(Event);
    // Centred on the desktop, whatever window (if any) is behind it.
    if (const QScreen* desktop = screen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(desktop->availableGeometry().center());
        move(frame.topLeft());
    }
}

} // namespace kestrune
