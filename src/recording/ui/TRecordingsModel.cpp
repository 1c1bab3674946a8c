#include "recording/ui/TRecordingsModel.h"

#include "common/ui/TSkin.h"
#include "recording/TRecordingsList.h"

namespace kestrune {

namespace {

const char* const ColumnTitles[] = {"Title", "Artist", "Album", "Genre", "Time"};

const char* IconName(TRowState State)
{
    switch (State) {
    case TRowState::rsOneMatch:
        return "row-onematch";
    case TRowState::rsSeveralMatches:
        return "row-severalmatches";
    case TRowState::rsRecorded:
        break;
    }
    return "row-recorded";
}

} // namespace

TRecordingsModel::TRecordingsModel(QObject* Parent) : QAbstractTableModel(Parent) {}

void TRecordingsModel::SetList(const TRecordingsList* Value)
{
    beginResetModel();
    List = Value;
    Rows = List ? List->Count() : 0;
    endResetModel();
}

// The list has changed before it tells. The model's own row count changes
// between the begin and end calls, so a view that looks at the rows while
// they go still finds the count it knew.
void TRecordingsModel::RowInserted(int Index)
{
    beginInsertRows(QModelIndex(), Index, Index);
    ++Rows;
    endInsertRows();
}

void TRecordingsModel::RowRemoved(int Index)
{
    beginRemoveRows(QModelIndex(), Index, Index);
    --Rows;
    endRemoveRows();
}

void TRecordingsModel::RowMoved(int From, int To)
{
    if (From == To)
        return;
    // Qt names the place before which the row lands, counted before the move.
    const int destination = To > From ? To + 1 : To;
    if (beginMoveRows(QModelIndex(), From, From, QModelIndex(), destination))
        endMoveRows();
    else {
        beginResetModel();
        endResetModel();
    }
}

void TRecordingsModel::RowChanged(int Index)
{
    emit dataChanged(index(Index, 0), index(Index, columnCount() - 1));
}

int TRecordingsModel::rowCount(const QModelIndex& Parent) const
{
    return Parent.isValid() ? 0 : Rows;
}

int TRecordingsModel::columnCount(const QModelIndex& Parent) const
{
    return Parent.isValid() ? 0 : static_cast<int>(std::size(ColumnTitles));
}

QVariant TRecordingsModel::data(const QModelIndex& Index, int Role) const
{
    if (!List || !Index.isValid() || Index.row() >= List->Count())
        return {};
    const TRecordingRow& row = List->Row(Index.row());
    if (Role == Qt::DisplayRole) {
        const std::string* texts[] = {&row.Caption, &row.Artist, &row.Album, &row.Genre, &row.Time};
        return QString::fromStdString(*texts[Index.column()]);
    }
    if (Role == Qt::ToolTipRole && !row.Hint.empty())
        return QString::fromStdString(row.Hint);
    if (Role == Qt::DecorationRole && Index.column() == 0)
        return TSkin::Icon(IconName(row.State));
    return {};
}

QVariant TRecordingsModel::headerData(int Section, Qt::Orientation Orientation, int Role) const
{
    if (Orientation == Qt::Horizontal && Role == Qt::DisplayRole && Section >= 0 && Section < columnCount())
        return QString::fromUtf8(ColumnTitles[Section]);
    return {};
}

} // namespace kestrune
