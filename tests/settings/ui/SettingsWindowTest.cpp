// The settings window and the noise capture window, offscreen.
#include <QtTest>

class SettingsWindowTest : public QObject {
    Q_OBJECT
private slots:
    void Placeholder() {}
};

QTEST_MAIN(SettingsWindowTest)
#include "SettingsWindowTest.moc"
