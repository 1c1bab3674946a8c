// The track-information window and the chooser, driven as a user drives them,
// through the controllers that use them.
#include "mocks/TFakeMainView.h"
#include "recording/TRecordingsList.h"
#include "recording/TTrackChooser.h"
#include "recording/ui/TFTrackInfo.h"
#include "recording/ui/TFTrackList.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

#include <filesystem>

using namespace kestrune;
using namespace kestrune::test;
namespace fs = std::filesystem;

class TrackWindowsTest : public QObject {
    Q_OBJECT
private slots:
    // Edit Info shows the row (a file title without its extension, the genre
    // found whatever its case); Save writes the texts into the row, the tag
    // and the file's name; Cancel changes nothing.
    void TrackInfoSaveAndCancel()
    {
        for (const bool save : {true, false}) {
            TTempDir dir;
            const std::string file = dir.File("Track3.WAV");
            WriteWholeFile(file, PcmWavImage(Sine16(2205, 2, 22050, 440, 8000), 2, 22050));
            TFakeMainView view;
            TRecordingsList list(view);
            TRecordingRow row;
            row.Caption = "Track3.WAV";
            row.Artist = "Unknown";
            row.Album = "Live";
            row.Genre = "jazz";
            row.Data = std::make_shared<TTrackData>();
            row.Data->FileName = file;
            list.Append(row);

            TFTrackInfo window;
            window.SetGenres({"Blues", "Jazz", "Rock"});
            window.SetGenres({"Other"}); // filled once only
            QString shownTitle, shownGenre;
            int genres = 0;
            QTimer::singleShot(0, [&] {
                auto* title = window.findChild<QLineEdit*>("ETitle");
                auto* genre = window.findChild<QComboBox*>("CBGenre");
                shownTitle = title->text();
                shownGenre = genre->currentText();
                genres = genre->count();
                title->setText("Mr. Blue Sky");
                window.findChild<QLineEdit*>("EArtist")->setText("AC/DC");
                genre->setCurrentIndex(2);
                window.findChild<QPushButton*>(save ? "Save" : "Cancel")->click();
            });
            list.EditInfo(0, window);

            QCOMPARE(shownTitle, QString("Track3"));
            QCOMPARE(shownGenre, QString("Jazz"));
            QCOMPARE(genres, 3);
            if (save) {
                QCOMPARE(list.Row(0).Caption, std::string("Mr. Blue Sky"));
                QCOMPARE(list.Row(0).Artist, std::string("AC/DC"));
                QCOMPARE(list.Row(0).Genre, std::string("Rock"));
                QCOMPARE(fs::path(list.Row(0).Data->FileName).filename().string(),
                         std::string("AC_DC - Mr. Blue Sky.WAV"));
                QVERIFY(fs::exists(list.Row(0).Data->FileName));
                QVERIFY(!fs::exists(file));
            } else {
                QCOMPARE(list.Row(0).Caption, std::string("Track3.WAV"));
                QCOMPARE(list.Row(0).Artist, std::string("Unknown"));
                QCOMPARE(list.Row(0).Data->FileName, file);
                QVERIFY(fs::exists(file));
            }
        }
    }

    // A double click on a candidate chooses it and closes the chooser;
    // closing it any other way chooses nothing.
    void ChooserDoubleClickOrClose()
    {
        const std::vector<TTrackInfo> candidates = {
            {"Artist A", "Song A", "Album A"}, {"Artist B", "Song B", "Album B"}, {"Artist C", "Song C", "Album C"}};
        for (const bool doubleClick : {true, false}) {
            TFTrackList window;
            TTrackChooser chooser(window);
            int rows = 0;
            QString secondTitle;
            QTimer::singleShot(0, [&] {
                auto* list = window.findChild<QTreeWidget*>("LV");
                rows = list->topLevelItemCount();
                secondTitle = list->topLevelItem(1)->text(0);
                if (doubleClick) {
                    const QRect cell = list->visualItemRect(list->topLevelItem(1));
                    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, cell.center());
                    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, cell.center());
                } else {
                    window.reject();
                }
            });
            const int chosen = chooser.Choose(candidates);
            QCOMPARE(rows, 3);
            QCOMPARE(secondTitle, QString("Song B"));
            QCOMPARE(window.windowTitle(), QString("Choose a track from the list"));
            QCOMPARE(chosen, doubleClick ? 1 : -1);
            QVERIFY(!window.isVisible());
        }
    }
};

QTEST_MAIN(TrackWindowsTest)
#include "TrackWindowsTest.moc"
