#include "inspector/PropDialogs.h"

#include <QColorDialog>
#include <QFontDialog>
#include <QFontInfo>

#include "framework/Application.h"
#include "framework/QtCanvas.h"
#include "inspector/ItemListEditor.h"
#include "inspector/StrsEditor.h"

namespace rpt {

QFont ToDialogFont(const TFont& font) {
  QFont q(QString::fromStdString(font.Name()));
  q.setPointSize(std::max(1, font.Size()));
  const TFontStyles style = font.Style();
  q.setBold(style.Contains(fsBold));
  q.setItalic(style.Contains(fsItalic));
  q.setUnderline(style.Contains(fsUnderline));
  q.setStrikeOut(style.Contains(fsStrikeOut));
  return q;
}

void ApplyDialogFont(const QFont& chosen, TFont& font) {
  font.SetName(chosen.family().toStdString());
  // The dialog may give a size in pixels only; points are what the property keeps.
  const int points = chosen.pointSize() > 0 ? chosen.pointSize() : QFontInfo(chosen).pointSize();
  if (points > 0) font.SetSize(points);
  TFontStyles style;
  if (chosen.bold()) style.Include(fsBold);
  if (chosen.italic()) style.Include(fsItalic);
  if (chosen.underline()) style.Include(fsUnderline);
  if (chosen.strikeOut()) style.Include(fsStrikeOut);
  font.SetStyle(style);
}

QColor ToDialogColor(TColor color) { return ToQColor(color); }

TColor FromDialogColor(const QColor& color) {
  // 00BBGGRR.
  return static_cast<TColor>((color.blue() << 16) | (color.green() << 8) | color.red());
}

bool TPlatformDialogs::ChooseColor(TColor& color) {
  const QColor chosen = QColorDialog::getColor(ToDialogColor(color), QApplication::activeWindow());
  if (!chosen.isValid()) return false;
  color = FromDialogColor(chosen);
  return true;
}

bool TPlatformDialogs::ChooseFont(TFont& font) {
  // The dialog lists only installed families, so a chosen font always exists.
  bool ok = false;
  const QFont chosen = QFontDialog::getFont(&ok, ToDialogFont(font), QApplication::activeWindow());
  if (!ok) return false;
  ApplyDialogFont(chosen, font);
  return true;
}

bool TPlatformDialogs::EditStrings(TStrings& lines) {
  TZQKStringsEditorDialog dialog(QApplication::activeWindow());
  dialog.Load(lines);
  if (!dialog.Execute()) return false;
  lines.AssignFrom(&dialog.Lines());
  return true;
}

bool TPlatformDialogs::EditItemList(TCollection& items, const std::string& title) {
  TItemListDialog dialog(QApplication::activeWindow());
  dialog.setWindowTitle(QString::fromStdString(title));
  dialog.Load(items);
  return dialog.Execute();
}

namespace {
TEditorDialogs* gDialogs = nullptr;
}

TEditorDialogs& EditorDialogs() {
  static TPlatformDialogs platform;
  return gDialogs ? *gDialogs : platform;
}

void SetEditorDialogs(TEditorDialogs* dialogs) { gDialogs = dialogs; }

}  // namespace rpt
