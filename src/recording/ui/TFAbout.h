#pragma once

#include <QDialog>

class QTreeWidget;

namespace kestrune {

// The about window: the program's name and version, the libraries it runs on
// with the versions this machine loads, and the licence. The library list is
// read each time the window is shown, so a library installed or removed since
// the start shows as it is now.
class TFAbout : public QDialog {
    Q_OBJECT
public:
    explicit TFAbout(QWidget* Parent = nullptr);

    void setVisible(bool Visible) override;

private:
    void FillLibraries();

    QTreeWidget* Libraries = nullptr;
};

} // namespace kestrune
