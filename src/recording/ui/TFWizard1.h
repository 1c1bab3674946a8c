#pragma once

#include "recording/IMainWindows.h"

#include <QDialog>

class QComboBox;
class QLineEdit;

namespace kestrune {

// The wizard's second page: the album, its genre and the folder the
// recordings go to.
class TFWizard1 : public QDialog {
    Q_OBJECT
public:
    explicit TFWizard1(QWidget* Parent = nullptr);
    void SetAlbum(const IMainWindows::TWizardAlbum& Album);
    // Album name, genre index and folder as the user left them.
    void GetAlbum(IMainWindows::TWizardAlbum& Album) const;

private:
    QLineEdit* EAlbumName = nullptr;
    QComboBox* CBGenre = nullptr;
    QLineEdit* EFolder = nullptr;
};

} // namespace kestrune
