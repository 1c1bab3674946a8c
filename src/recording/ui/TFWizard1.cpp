#include "recording/ui/TFWizard1.h"

#include "recording/ui/TWizardPage.h"

#include <QBoxLayout>
#include <QComboBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>

namespace kestrune {

TFWizard1::TFWizard1(QWidget* Parent) : QDialog(Parent)
{
    setObjectName("FWizard1");
    QBoxLayout* content = TWizardPage::Begin(
        *this, "Name the album",
        "Each recording goes into a folder named after the album, inside the folder chosen below, one file "
        "per song. The genre is written into every song's file.");
    auto* form = new QFormLayout;
    EAlbumName = new QLineEdit(this);
    EAlbumName->setObjectName("EAlbumName");
    CBGenre = new QComboBox(this);
    CBGenre->setObjectName("CBGenre");
    EFolder = new QLineEdit(this);
    EFolder->setObjectName("EFolder");
    // Room for a usual path in full.
    EFolder->setMinimumWidth(EFolder->fontMetrics().averageCharWidth() * 40);
    auto* browse = new QPushButton("Browse...", this);
    browse->setObjectName("BFolder");
    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(EFolder, 1);
    folderRow->addWidget(browse);
    form->addRow("Album", EAlbumName);
    form->addRow("Genre", CBGenre);
    form->addRow("Folder", folderRow);
    content->addLayout(form);
    connect(browse, &QPushButton::clicked, this, [this] {
        const QString chosen = QFileDialog::getExistingDirectory(this, "Folder of the recordings", EFolder->text());
        if (!chosen.isEmpty())
            EFolder->setText(chosen);
    });
    QBoxLayout* buttons = TWizardPage::ButtonRow(*this, *content);
    TWizardPage::AddButton(*this, *buttons, "Next", true);
    TWizardPage::AddButton(*this, *buttons, "Cancel", false);
}

void TFWizard1::SetAlbum(const IMainWindows::TWizardAlbum& Album)
{
    EAlbumName->setText(QString::fromStdString(Album.AlbumName));
    CBGenre->clear();
    for (const std::string& name : Album.Genres)
        CBGenre->addItem(QString::fromStdString(name));
    CBGenre->setCurrentIndex(Album.GenreIndex < CBGenre->count() ? Album.GenreIndex : -1);
    EFolder->setText(QString::fromStdString(Album.Folder));
}

void TFWizard1::GetAlbum(IMainWindows::TWizardAlbum& Album) const
{
    Album.AlbumName = EAlbumName->text().toStdString();
    Album.GenreIndex = CBGenre->currentIndex();
    Album.Folder = EFolder->text().toStdString();
}

} // namespace kestrune
