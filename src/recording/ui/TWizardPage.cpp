#include "recording/ui/TWizardPage.h"

#include "common/ui/TSkin.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace kestrune::TWizardPage {

QBoxLayout* Begin(QDialog& Page, const char* Heading, const char* Text)
{
    Page.setWindowTitle("Wizard"); // the desktop adds the program's name
    auto* outer = new QHBoxLayout(&Page);
    auto* picture = new QLabel(&Page);
    picture->setPixmap(TSkin::Icon("wizard").pixmap(QSize(48, 48)));
    picture->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
    outer->addWidget(picture);
    auto* content = new QVBoxLayout;
    outer->addLayout(content, 1);
    auto* heading = new QLabel(QString::fromUtf8(Heading), &Page);
    heading->setObjectName("Heading");
    QFont font = heading->font();
    font.setBold(true);
    font.setPointSizeF(font.pointSizeF() * 1.3);
    heading->setFont(font);
    content->addWidget(heading);
    auto* text = new QLabel(QString::fromUtf8(Text), &Page);
    text->setObjectName("Explanation");
    text->setWordWrap(true);
    text->setMinimumWidth(text->fontMetrics().averageCharWidth() * 48);
    content->addWidget(text);
    return content;
}

QBoxLayout* ButtonRow(QDialog& Page, QBoxLayout& Content)
{
    Q_UNUSED(Page);
    Content.addStretch(1);
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    Content.addLayout(row);
    return row;
}

QPushButton* AddButton(QDialog& Page, QBoxLayout& Buttons, const char* Caption, bool Accept)
{
    auto* button = new QPushButton(QString::fromUtf8(Caption), &Page);
    Buttons.addWidget(button);
    if (Accept) {
        button->setDefault(true);
        QObject::connect(button, &QPushButton::clicked, &Page, &QDialog::accept);
    } else
        QObject::connect(button, &QPushButton::clicked, &Page, &QDialog::reject);
    return button;
}

} // namespace kestrune::TWizardPage
