#pragma once

class QBoxLayout;
class QDialog;
class QPushButton;

namespace kestrune {

// What the three wizard pages share: the caption, the heading with its
// explanation at the top, and the row of buttons at the bottom.
namespace TWizardPage {

// Sets the caption and puts the heading and text into a new layout of Page;
// the page's own controls go into the layout returned.
QBoxLayout* Begin(QDialog& Page, const char* Heading, const char* Text);
// A button in the bottom row that closes the page with Accept (true) or
// Reject.
QPushButton* AddButton(QDialog& Page, QBoxLayout& Buttons, const char* Caption, bool Accept);
// The bottom row, right-aligned.
QBoxLayout* ButtonRow(QDialog& Page, QBoxLayout& Content);

} // namespace TWizardPage

} // namespace kestrune
