#pragma once

#include "recording/IRecordingsView.h"

#include <QDialog>

#include <string>
#include <vector>

class QComboBox;
class QLineEdit;

namespace kestrune {

// "Track Info": title, artist, album and genre of a recorded track, saved or
// cancelled. Made once at start-up and shown for every Edit Info.
class TFTrackInfo : public QDialog, public ITrackInfoDialog {
    Q_OBJECT
public:
    explicit TFTrackInfo(QWidget* Parent = nullptr);

    // The genre chooser's entries; only an empty chooser is filled.
    void SetGenres(const std::vector<std::string>& Names);
    // Shows the fields (the genre chosen ignoring letter case, none when it is
    // not listed) and returns true on "Save" with the user's texts in Fields.
    bool Edit(TFields& Fields) override;

private:
    QLineEdit* ETitle;
    QLineEdit* EArtist;
    QLineEdit* EAlbum;
    QComboBox* CBGenre;
};

} // namespace kestrune
