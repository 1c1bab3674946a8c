#include "recording/ui/TFWizard0.h"

#include "recording/ui/TWizardPage.h"

#include <QBoxLayout>
#include <QRadioButton>

namespace kestrune {

TFWizard0::TFWizard0(QWidget* Parent) : QDialog(Parent)
{
    setObjectName("FWizard0");
    QBoxLayout* content = TWizardPage::Begin(*this, "What would you like to do?",
                                             "The wizard takes you through the steps one page at a time. "
                                             "Choose a task and click Next.");
    RBRecord = new QRadioButton("Record music from the sound card's input", this);
    RBRecord->setObjectName("RBRecord");
    RBRecord->setChecked(true);
    RBCD = new QRadioButton("Burn the recordings to a CD", this);
    RBCD->setObjectName("RBCD");
    RBConvert = new QRadioButton("Convert music files to another format", this);
    RBConvert->setObjectName("RBConvert");
    content->addWidget(RBRecord);
    content->addWidget(RBCD);
    content->addWidget(RBConvert);
    QBoxLayout* buttons = TWizardPage::ButtonRow(*this, *content);
    TWizardPage::AddButton(*this, *buttons, "Next", true);
    TWizardPage::AddButton(*this, *buttons, "Cancel", false);
}

IMainWindows::TWizardChoice TFWizard0::Choice() const
{
    if (RBRecord->isChecked())
        return IMainWindows::TWizardChoice::wzRecord;
    if (RBCD->isChecked())
        return IMainWindows::TWizardChoice::wzBurn;
    return IMainWindows::TWizardChoice::wzConvert;
}

} // namespace kestrune
