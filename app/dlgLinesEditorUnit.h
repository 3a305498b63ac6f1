#pragma once
// The lines editor: edits a list of lines or a text, with a button that inserts a field
// name of a dataset at the caret.
#include <QDialog>
#include <string>
#include <vector>

class QPlainTextEdit;
class QPushButton;

namespace rpt {

class TDataSet;
class TStrings;

class TdlgLinesEditor : public QDialog {
 public:
  explicit TdlgLinesEditor(QWidget* parent = nullptr);

  // Edits a copy of the lines; Ok copies the memo's lines back and gives true.
  bool EditLines(TStrings* lines, TDataSet* dataSet);
  // Edits the text split into lines; Ok gives the lines joined, each followed by CR LF.
  bool EditText(std::string& text, TDataSet* dataSet);

  // "Insert data field": the field dialog over LinesDataSet; the chosen name replaces
  // the memo's selection (or goes in at the caret) and is selected.
  void InsertFieldClick();
  // The memo's lines, and the memo showing lines.
  std::vector<std::string> MemoLines() const;
  void SetMemoLines(const std::vector<std::string>& lines);

  TDataSet* LinesDataSet = nullptr;
  QPlainTextEdit* Memo1 = nullptr;
  QPushButton* InsertButton = nullptr;
  QPushButton* OkButton = nullptr;
  QPushButton* CancelButton = nullptr;

 private:
  bool Run(TDataSet* dataSet);
};

}  // namespace rpt
