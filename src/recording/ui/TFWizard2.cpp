#include "recording/ui/TFWizard2.h"

#include "recording/ui/TWizardPage.h"

#include <QBoxLayout>
#include <QPushButton>

namespace kestrune {

TFWizard2::TFWizard2(QWidget* Parent) : QDialog(Parent)
{
    setObjectName("FWizard2");
    QBoxLayout* content = TWizardPage::Begin(
        *this, "Ready to record",
        "Start the music on the input, then click Record. Kestrune cuts the recording into one file per song "
        "wherever it hears silence. Click Stop in the main window when the music is over.");
    QBoxLayout* buttons = TWizardPage::ButtonRow(*this, *content);
    TWizardPage::AddButton(*this, *buttons, "Record", true);
    // The last page can still be left without recording.
    TWizardPage::AddButton(*this, *buttons, "Cancel", false)->setObjectName("BCancel");
}

} // namespace kestrune
