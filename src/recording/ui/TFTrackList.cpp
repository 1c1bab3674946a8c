#include "recording/ui/TFTrackList.h"

#include "recording/TTrackChooser.h"

#include <QHeaderView>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace kestrune {

TFTrackList::TFTrackList(QWidget* Parent) : QDialog(Parent), LV(new QTreeWidget(this))
{
    setObjectName(QStringLiteral("TFTrackList"));
    setWindowTitle(QString::fromLatin1(TTrackChooser::Caption));
    LV->setObjectName(QStringLiteral("LV"));
    LV->setColumnCount(3);
    LV->setHeaderLabels({QStringLiteral("Title"), QStringLiteral("Artist"), QStringLiteral("Album")});
    LV->setRootIsDecorated(false);
    LV->setSelectionBehavior(QAbstractItemView::SelectRows);
    LV->setSelectionMode(QAbstractItemView::SingleSelection);
    LV->setEditTriggers(QAbstractItemView::NoEditTriggers);
    LV->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    LV->header()->setStretchLastSection(true);
    connect(LV, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* Item) {
        if (Chooser && Item)
            Chooser->RowDoubleClicked(LV->indexOfTopLevelItem(Item));
    });
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(LV);
    const int line = fontMetrics().height();
    resize(line * 36, line * 14);
}

void TFTrackList::SetRows(const std::vector<TTrackInfo>& Rows)
{
    LV->clear();
    for (const TTrackInfo& row : Rows)
        LV->addTopLevelItem(new QTreeWidgetItem(
            {QString::fromStdString(row.Title), QString::fromStdString(row.Artist), QString::fromStdString(row.Album)}));
    if (!Rows.empty())
        LV->setCurrentItem(LV->topLevelItem(0));
}

void TFTrackList::ShowModal(TTrackChooser& C)
{
    Chooser = &C;
    exec();
    Chooser = nullptr;
}

void TFTrackList::Close()
{
    accept();
}

} // namespace kestrune
