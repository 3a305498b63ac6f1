#pragma once
// The string list editor: a modal dialog over a list of lines (the lines of a memo, the
// SQL of a query) with a live line counter.
#include <QDialog>

#include "objects/StringList.h"

class QFrame;
class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace rpt {

class TZQKStringsEditorDialog : public QDialog {
 public:
  explicit TZQKStringsEditorDialog(QWidget* parent = nullptr);

  // The edit area shows a copy of the lines.
  void Load(const TStrings& lines);
  // Shows the dialog modally; true when it closed with OK.
  bool Execute();
  // The edited lines, read after Execute returned true.
  const TStrings& Lines();
  // "%d lines" with the current number of lines.
  void memMainChange();

  QLabel* lbLineCount = nullptr;
  QFrame* bvlMain = nullptr;
  QPlainTextEdit* memMain = nullptr;
  QPushButton* btnOk = nullptr;
  QPushButton* btnCancel = nullptr;

 private:
  // Captions set for every run, as the resource strings would.
  void SetCaptions();
  TStringList FLines;
};

}  // namespace rpt
