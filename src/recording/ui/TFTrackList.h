#pragma once

#include "recording/ITrackChooserView.h"

#include <QDialog>

class QTreeWidget;

namespace kestrune {

// "Choose a track from the list": the candidates of a recognition with their
// title, artist and album; a double click on one chooses it.
class TFTrackList : public QDialog, public ITrackChooserView {
    Q_OBJECT
public:
    explicit TFTrackList(QWidget* Parent = nullptr);

    void SetRows(const std::vector<TTrackInfo>& Rows) override;
    void ShowModal(TTrackChooser& Chooser) override;
    void Close() override;

private:
    QTreeWidget* LV;
    TTrackChooser* Chooser = nullptr;
};

} // namespace kestrune
