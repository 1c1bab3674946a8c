#pragma once

#include <QAbstractTableModel>

namespace kestrune {

class TRecordingsList;

// The recordings list as the list control reads it: five columns ("Title",
// "Artist", "Album", "Genre", "Time") and the state icon in the first. The
// rows live in TRecordingsList; the window passes on its notifications, each
// of which comes after the list has changed already.
class TRecordingsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TRecordingsModel(QObject* Parent = nullptr);

    // The list to show, or none (the window is being taken apart).
    void SetList(const TRecordingsList* Value);

    void RowInserted(int Index);
    void RowRemoved(int Index);
    void RowMoved(int From, int To);
    void RowChanged(int Index);

    int rowCount(const QModelIndex& Parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& Parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& Index, int Role) const override;
    QVariant headerData(int Section, Qt::Orientation Orientation, int Role) const override;

private:
    const TRecordingsList* List = nullptr;
    int Rows = 0;
};

} // namespace kestrune
