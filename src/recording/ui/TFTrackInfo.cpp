#include "recording/ui/TFTrackInfo.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace kestrune {

TFTrackInfo::TFTrackInfo(QWidget* Parent)
    : QDialog(Parent), ETitle(new QLineEdit(this)), EArtist(new QLineEdit(this)), EAlbum(new QLineEdit(this)),
      CBGenre(new QComboBox(this))
{
    setObjectName(QStringLiteral("TFTrackInfo"));
    setWindowTitle(QStringLiteral("Track Info"));
    ETitle->setObjectName(QStringLiteral("ETitle"));
    EArtist->setObjectName(QStringLiteral("EArtist"));
    EAlbum->setObjectName(QStringLiteral("EAlbum"));
    CBGenre->setObjectName(QStringLiteral("CBGenre"));
    CBGenre->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    const int wide = fontMetrics().averageCharWidth() * 40;
    for (QLineEdit* edit : {ETitle, EArtist, EAlbum})
        edit->setMinimumWidth(wide);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Title"), ETitle);
    form->addRow(QStringLiteral("Artist"), EArtist);
    form->addRow(QStringLiteral("Album"), EAlbum);
    form->addRow(QStringLiteral("Genre"), CBGenre);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* save = buttons->addButton(QStringLiteral("Save"), QDialogButtonBox::AcceptRole);
    QPushButton* cancel = buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    save->setObjectName(QStringLiteral("Save"));
    cancel->setObjectName(QStringLiteral("Cancel"));
    save->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TFTrackInfo::SetGenres(const std::vector<std::string>& Names)
{
    if (CBGenre->count() > 0)
        return;
    for (const std::string& name : Names)
        CBGenre->addItem(QString::fromStdString(name));
}

bool TFTrackInfo::Edit(TFields& Fields)
{
    ETitle->setText(QString::fromStdString(Fields.Title));
    EArtist->setText(QString::fromStdString(Fields.Artist));
    EAlbum->setText(QString::fromStdString(Fields.Album));
    CBGenre->setCurrentIndex(
        CBGenre->findText(QString::fromStdString(Fields.Genre), Qt::MatchFixedString)); // MatchFixedString ignores case
    ETitle->setFocus();
    if (exec() != QDialog::Accepted)
        return false;
    Fields.Title = ETitle->text().toStdString();
    Fields.Artist = EArtist->text().toStdString();
    Fields.Album = EAlbum->text().toStdString();
    Fields.Genre = CBGenre->currentText().toStdString();
    return true;
}

} // namespace kestrune
