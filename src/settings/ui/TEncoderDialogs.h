#pragma once

#include "settings/TEncoderSettings.h"

class QDialog;
class QFormLayout;
class QWidget;

namespace kestrune {

// Opens the option dialog of format FormatIndex (TConvertController::fiWav ...
// fiFlac) over Settings; true when the user saved (Settings then holds what
// the writer keeps of the new values). False, and no dialog, for an unknown
// format.
bool EditEncoderSettings(QWidget* Parent, int FormatIndex, TEncoderSettings& Settings);

// What the option dialogs share: the frame (name, caption, no title-bar
// buttons of their own) around a form, and "Save" and "Cancel" under it.
// Save accepts the dialog and Cancel rejects it; each dialog decides on
// accept what to keep.
QFormLayout* OptionDialogFrame(QDialog& Dialog, const char* Name, const char* Caption);

} // namespace kestrune
