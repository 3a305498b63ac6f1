#pragma once
// The platform's dialogs behind the editors' dialog service, and the conversions they
// need, kept apart from the modal runs so they can be tested without a modal loop.
#include <QFont>

#include "framework/Graphics.h"
#include "inspector/PropEditors.h"

namespace rpt {

// A font as the font dialog shows it, and the dialog's choice written back (name, size,
// styles; colour and character set stay as they were).
QFont ToDialogFont(const TFont& font);
void ApplyDialogFont(const QFont& chosen, TFont& font);

// The colour dialog's colour of a value (system colours resolved) and back.
QColor ToDialogColor(TColor color);
TColor FromDialogColor(const QColor& color);

// The font dialog, the colour dialog and the string list editor, run modally.
class TPlatformDialogs : public TEditorDialogs {
 public:
  bool ChooseColor(TColor& color) override;
  bool ChooseFont(TFont& font) override;
  bool EditStrings(TStrings& lines) override;
  bool EditItemList(TCollection& items, const std::string& title) override;
};

}  // namespace rpt
