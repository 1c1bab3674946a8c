// The encoder option dialogs, driven offscreen as a user drives them: what
// they show, what "Save" keeps (through the writers' own rules) and that
// "Cancel" keeps nothing.
#include "convert/TConvertController.h"
#include "settings/ui/TEncoderDialogs.h"
#include "settings/ui/TFMP3.h"
#include "settings/ui/TFWav.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QtTest>

#include <functional>

using namespace kestrune;

namespace {

using C = TConvertController;

// Runs Open, which may show a modal dialog; Act gets that dialog (null when
// none came up) and ends it with Save or Cancel. A dialog Act left open is
// cancelled, so a broken test fails instead of hanging.
void WhileModal(const std::function<void()>& Open, const std::function<void(QDialog*)>& Act)
{
    QTimer::singleShot(0, [Act] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        Act(dialog);
        if (dialog && dialog->isVisible())
            dialog->reject();
    });
    Open();
    QCoreApplication::processEvents();
}

template <class T>
T* Child(QDialog& Dialog, const char* Name)
{
    T* child = Dialog.findChild<T*>(QString::fromLatin1(Name));
    if (!child)
        qFatal("no control %s in %s", Name, qPrintable(Dialog.objectName()));
    return child;
}

void Press(QDialog& Dialog, const char* Button)
{
    Child<QPushButton>(Dialog, Button)->click();
}

// Settings that differ from the defaults wherever a dialog shows them.
TEncoderSettings Edited()
{
    TEncoderSettings s;
    s.Wav = {TWavType::wtDVIADPCM, 1024};
    s.Mp3.BitRate = TMP3BitRate::br64;
    s.Ogg.Compression = 0.3f;
    s.Ogg.DesiredNominalBitrate = TVorbisBitRate::br128;
    s.Ogg.DesiredMaximumBitrate = TVorbisBitRate::br192;
    s.Ogg.MinimumBitrate = TVorbisBitRate::br64;
    s.Ogg.Serial = 5;
    s.Ogg.Comments = {"TITLE=Old"};
    s.Flac.Verify = true;
    s.Ape.CompressionLevel = 3000;
    return s;
}

QString Text(QDialog& Dialog, const char* List)
{
    return Child<QComboBox>(Dialog, List)->currentText();
}

} // namespace

class EncoderDialogsTest : public QObject {
    Q_OBJECT
private slots:
    // Each format opens its own dialog showing the settings; "Save" writes
    // back what the writer keeps of the user's choice and touches no other
    // format; "Cancel" after the same edits changes nothing.
    void SaveKeepsWhatTheWriterKeepsAndCancelNothing()
    {
        struct TCase {
            const char* Name;
            int Format;
            const char* Dialog;
            std::function<QString(QDialog&)> Shown; // what the dialog shows on opening
            QString ExpectShown;
            std::function<void(QDialog&)> Edit;
            std::function<void(TEncoderSettings&)> Kept; // the change Save leaves
        };
        const std::vector<TCase> cases{
            {"wav DVI ADPCM in 2048-byte blocks", C::fiWav, "TFWav",
             [](QDialog& d) { return Child<QSpinBox>(d, "EBlockSize")->text() + " " + Text(d, "CBWavType"); },
             "1024 DVIADPCM",
             [](QDialog& d) {
                 Child<QSpinBox>(d, "EBlockSize")->setValue(2048);
                 Child<QComboBox>(d, "CBWavType")->setCurrentText("PCM");
             },
             [](TEncoderSettings& s) {
                 s.Wav = {TWavType::wtPCM, 2048};
             }},
            {"wav MS ADPCM is refused and the type stays", C::fiWav, "TFWav",
             [](QDialog& d) { return Text(d, "CBWavType"); }, "DVIADPCM",
             [](QDialog& d) {
                 Child<QComboBox>(d, "CBWavType")->setCurrentText("MSADPCM");
                 Child<QSpinBox>(d, "EBlockSize")->setValue(510); // stereo cannot fill it
             },
             [](TEncoderSettings&) {}},
            {"mp3 192", C::fiMp3, "TFMP3", [](QDialog& d) { return Text(d, "CBBitrate"); }, "64",
             [](QDialog& d) { Child<QComboBox>(d, "CBBitrate")->setCurrentText("192"); },
             [](TEncoderSettings& s) { s.Mp3.BitRate = TMP3BitRate::br192; }},
            {"ogg rates through the writer's rules", C::fiOgg, "TFOgg",
             [](QDialog& d) {
                 return Child<QDoubleSpinBox>(d, "ECompression")->text() + " " + Text(d, "CBMaximumBitrate") + " " +
                        Text(d, "CBNominalBitrate") + " " + Text(d, "CBMinimumBitrate") + " " +
                        Child<QSpinBox>(d, "ESerial")->text() + " " +
                        Child<QPlainTextEdit>(d, "MComments")->toPlainText();
             },
             "0.30 192 128 64 5 TITLE=Old",
             [](QDialog& d) {
                 Child<QDoubleSpinBox>(d, "ECompression")->setValue(0.5);
                 Child<QComboBox>(d, "CBNominalBitrate")->setCurrentText("160");
                 Child<QComboBox>(d, "CBMaximumBitrate")->setCurrentText("96");  // below normal: pulled up
                 Child<QComboBox>(d, "CBMinimumBitrate")->setCurrentText("224"); // above normal: refused
                 Child<QSpinBox>(d, "ESerial")->setValue(-42);
                 Child<QPlainTextEdit>(d, "MComments")->setPlainText("TITLE=New\n\nARTIST=Someone");
             },
             [](TEncoderSettings& s) {
                 s.Ogg.Compression = 0.5f;
                 s.Ogg.DesiredNominalBitrate = TVorbisBitRate::br160;
                 s.Ogg.DesiredMaximumBitrate = TVorbisBitRate::br192;
                 s.Ogg.MinimumBitrate = TVorbisBitRate::br64;
                 s.Ogg.Serial = -42;
                 s.Ogg.Comments = {"TITLE=New", "ARTIST=Someone"};
             }},
            {"flac numbers and loose mid-side", C::fiFlac, "TFFlac",
             [](QDialog& d) {
                 return Text(d, "CBLevel") + " " + QString::number(Child<QSpinBox>(d, "EBlockSize")->isEnabled()) +
                        " " + Child<QSpinBox>(d, "EBlockSize")->text() + " " +
                        QString::number(Child<QCheckBox>(d, "chkVerify")->isChecked()) +
                        QString::number(Child<QCheckBox>(d, "chkMidSideStereo")->isChecked());
             },
             "5 (default) 0 4608 11",
             [](QDialog& d) {
                 // The raw settings below the level count for "Custom" only.
                 Child<QComboBox>(d, "CBLevel")->setCurrentIndex(9);
                 QVERIFY(Child<QSpinBox>(d, "EBlockSize")->isEnabled());
                 Child<QSpinBox>(d, "EBlockSize")->setValue(1152);
                 Child<QSpinBox>(d, "EMaxLPCOrder")->setValue(8);
                 Child<QSpinBox>(d, "EMaxResidualPartitionOrder")->setValue(6);
                 Child<QSpinBox>(d, "EMinResidualPartitionOrder")->setValue(2);
                 Child<QSpinBox>(d, "EQLPCoeffPrecision")->setValue(12);
                 Child<QCheckBox>(d, "chkVerify")->setChecked(false);
                 Child<QCheckBox>(d, "chkMidSideStereo")->setChecked(false);
                 Child<QCheckBox>(d, "chkLooseMidSideStereo")->setChecked(true); // turns mid-side on
                 Child<QCheckBox>(d, "chkCoeffPrecisionSearch")->setChecked(true);
             },
             [](TEncoderSettings& s) { s.Flac = {-1, 1152, 8, 2, 6, 12, false, false, true, true, true}; }},
            {"flac level 8", C::fiFlac, "TFFlac", [](QDialog& d) { return Text(d, "CBLevel"); }, "5 (default)",
             [](QDialog& d) { Child<QComboBox>(d, "CBLevel")->setCurrentText("8 (smallest)"); },
             [](TEncoderSettings& s) { s.Flac.CompressionLevel = 8; }},
            {"ape insane", C::fiApe, "TFApe", [](QDialog& d) { return Text(d, "CBLevel"); }, "High",
             [](QDialog& d) { Child<QComboBox>(d, "CBLevel")->setCurrentText("Insane"); },
             [](TEncoderSettings& s) { s.Ape.CompressionLevel = 5000; }},
        };
        for (const TCase& c : cases) {
            for (const bool save : {true, false}) {
                const QByteArray where = QByteArray(c.Name) + (save ? " / Save" : " / Cancel");
                TEncoderSettings settings = Edited();
                QString dialogName, shown;
                bool result = true;
                WhileModal([&] { result = EditEncoderSettings(nullptr, c.Format, settings); },
                           [&](QDialog* d) {
                               if (!d)
                                   return;
                               dialogName = d->objectName();
                               shown = c.Shown(*d);
                               c.Edit(*d);
                               Press(*d, save ? "Save" : "Cancel");
                           });
                QVERIFY2(dialogName == c.Dialog, where.constData());
                QVERIFY2(shown == c.ExpectShown, qPrintable(where + ": shown " + shown.toUtf8()));
                QVERIFY2(result == save, where.constData());
                TEncoderSettings expected = Edited();
                if (save)
                    c.Kept(expected);
                QVERIFY2(settings == expected, where.constData());
            }
        }
    }

    // Before anything was changed the WAV dialog shows 512 and PCM; a format
    // index no dialog serves opens nothing.
    void WavDefaultsAndNoDialogForAnUnknownFormat()
    {
        TEncoderSettings settings;
        QString shown;
        WhileModal([&] { EditEncoderSettings(nullptr, C::fiWav, settings); },
                   [&](QDialog* d) {
                       shown = Child<QSpinBox>(*d, "EBlockSize")->text() + " " + Text(*d, "CBWavType");
                       Press(*d, "Cancel");
                   });
        QCOMPARE(shown, QString("512 PCM"));

        bool opened = false;
        WhileModal([&] { QVERIFY(!EditEncoderSettings(nullptr, 99, settings)); },
                   [&](QDialog* d) { opened = d != nullptr; });
        QVERIFY(!opened);
        QVERIFY(settings == TEncoderSettings{});
    }

    // Stand-alone, the MP3 dialog is a plain chooser for its caller: nothing
    // selected unless the caller selects it, and neither Load nor Save touch
    // the settings.
    void Mp3StandAloneReadsAndWritesNothing()
    {
        TFMP3 chooser;
        chooser.SetStandAlone(true);
        chooser.Load(TMp3Settings{TMP3BitRate::br64});
        QCOMPARE(chooser.SelectedIndex(), -1);
        QString shownFirst;
        WhileModal([&] { chooser.exec(); },
                   [&](QDialog* d) {
                       shownFirst = Text(*d, "CBBitrate");
                       Child<QComboBox>(*d, "CBBitrate")->setCurrentText("320");
                       Press(*d, "Save");
                   });
        QCOMPARE(shownFirst, QString());
        QCOMPARE(chooser.SelectedIndex(), static_cast<int>(TMP3BitRate::br320));
        QVERIFY(chooser.Settings() == TMp3Settings{TMP3BitRate::br64});

        chooser.SelectIndex(static_cast<int>(TMP3BitRate::br160));
        QString shownSecond;
        WhileModal([&] { chooser.exec(); },
                   [&](QDialog* d) {
                       shownSecond = Text(*d, "CBBitrate");
                       Press(*d, "Save");
                   });
        QCOMPARE(shownSecond, QString("160"));
        QCOMPARE(chooser.SelectedIndex(), static_cast<int>(TMP3BitRate::br160));
        QVERIFY(chooser.Settings() == TMp3Settings{TMP3BitRate::br64});
    }
};

QTEST_MAIN(EncoderDialogsTest)
#include "EncoderDialogsTest.moc"
