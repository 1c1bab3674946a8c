#include "recording/ui/TFAbout.h"

#include "common/ui/TSkin.h"
#include "recording/TLibraryVersions.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QtGlobal>

#ifndef KESTRUNE_VERSION
#define KESTRUNE_VERSION "0"
#endif

namespace kestrune {

TFAbout::TFAbout(QWidget* Parent) : QDialog(Parent)
{
    setObjectName(QStringLiteral("FAbout"));
    setWindowTitle(QStringLiteral("About Kestrune"));

    auto* picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("IPicture"));
    const int side = fontMetrics().height() * 4;
    picture->setPixmap(TSkin::Icon("kestrune").pixmap(side, side));
    picture->setAlignment(Qt::AlignTop);

    auto* name = new QLabel(QStringLiteral("Kestrune"), this);
    name->setObjectName(QStringLiteral("LName"));
    QFont big = name->font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    big.setBold(true);
    name->setFont(big);

    auto* version = new QLabel(QStringLiteral("Version " KESTRUNE_VERSION), this);
    version->setObjectName(QStringLiteral("LVersion"));
    version->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* purpose = new QLabel(
        QStringLiteral("Records from the sound card, splits the recording into songs at the silences, "
                       "recognises them, converts among WAV, MP3, Ogg Vorbis, FLAC and APE, and rips and burns CDs."),
        this);
    purpose->setObjectName(QStringLiteral("LPurpose"));
    purpose->setWordWrap(true);

    auto* heading = new QVBoxLayout;
    heading->addWidget(name);
    heading->addWidget(version);
    heading->addWidget(purpose);
    heading->addStretch(1);
    auto* top = new QHBoxLayout;
    top->addWidget(picture);
    top->addLayout(heading, 1);

    auto* librariesLabel = new QLabel(QStringLiteral("Libraries in use:"), this);
    Libraries = new QTreeWidget(this);
    Libraries->setObjectName(QStringLiteral("LVLibraries"));
    Libraries->setHeaderLabels({QStringLiteral("Library"), QStringLiteral("Version")});
    Libraries->setRootIsDecorated(false);
    Libraries->setSelectionMode(QAbstractItemView::NoSelection);
    Libraries->setFocusPolicy(Qt::NoFocus);
    Libraries->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    Libraries->header()->setStretchLastSection(true);
    librariesLabel->setBuddy(Libraries);

    auto* licence = new QLabel(
        QStringLiteral("Kestrune is free software: you can redistribute it and/or modify it under the terms of "
                       "the GNU General Public License, version 3 or (at your option) any later version "
                       "(GPL-3.0-or-later). It comes with no warranty. The full licence text is in "
                       "/usr/share/common-licenses/GPL-3."),
        this);
    licence->setObjectName(QStringLiteral("LLicence"));
    licence->setWordWrap(true);
    licence->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("BtnOK"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(ok, QDialogButtonBox::AcceptRole);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addSpacing(fontMetrics().height() / 2);
    layout->addWidget(librariesLabel);
    layout->addWidget(Libraries, 1);
    layout->addWidget(licence);
    layout->addWidget(buttons);
    // The window takes the size its wrapped texts and the list need, at any
    // font and screen density.
    layout->setSizeConstraint(QLayout::SetFixedSize);

    // Wide enough for the licence to wrap into a few lines.
    const int em = fontMetrics().averageCharWidth();
    purpose->setMinimumWidth(em * 44);
    licence->setMinimumWidth(em * 60);
}

void TFAbout::setVisible(bool Visible)
{
    // Filled before the window takes its size, so the size fits the list.
    if (Visible && !isVisible())
        FillLibraries();
    QDialog::setVisible(Visible);
}

void TFAbout::FillLibraries()
{
    Libraries->clear();
    auto* qt = new QTreeWidgetItem(Libraries, {QStringLiteral("Qt"), QString::fromLatin1(qVersion())});
    (void)qt;
    for (const TLibraryVersion& library : TLibraryVersions::Read()) {
        auto* item = new QTreeWidgetItem(Libraries, {QString::fromStdString(library.Name),
                                                     QString::fromStdString(TLibraryVersions::Shown(library))});
        item->setToolTip(0, QString::fromStdString(library.SoName));
        if (!library.Installed)
            item->setForeground(1, palette().brush(QPalette::Disabled, QPalette::Text));
    }
    // Tall enough for the whole list, so no scroll bar hides a row.
    int height = Libraries->header()->sizeHint().height() + 2 * Libraries->frameWidth();
    for (int row = 0; row < Libraries->topLevelItemCount(); ++row)
        height += Libraries->sizeHintForRow(row);
    Libraries->setMinimumHeight(height + Libraries->fontMetrics().height() / 2);
}

} // namespace kestrune
