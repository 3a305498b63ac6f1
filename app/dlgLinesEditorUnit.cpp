#include "app/dlgLinesEditorUnit.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextCursor>
#include <memory>

#include "app/dlgFieldsUnit.h"
#include "app/frmMainUnit.h"
#include "data/DB.h"
#include "framework/Application.h"
#include "objects/StringList.h"

namespace rpt {

TdlgLinesEditor::TdlgLinesEditor(QWidget* parent) : QDialog(parent) {
  setObjectName("dlgLinesEditor");
  setWindowTitle("Lines editor");
  setFixedSize(386, 305);
  Memo1 = new QPlainTextEdit(this);
  Memo1->setObjectName("Memo1");
  Memo1->setGeometry(16, 12, 353, 241);
  Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
  Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  // Enter breaks the line; Tab moves on to the buttons.
  Memo1->setTabChangesFocus(true);
  InsertButton = new QPushButton("Insert data field", this);
  InsertButton->setObjectName("InsertButton");
  InsertButton->setGeometry(16, 267, 120, 25);
  OkButton = new QPushButton("Ok", this);
  OkButton->setObjectName("OkButton");
  OkButton->setGeometry(213, 267, 75, 25);
  OkButton->setDefault(true);
  CancelButton = new QPushButton("Cancel", this);
  CancelButton->setObjectName("CancelButton");
  CancelButton->setGeometry(294, 267, 75, 25);
  setTabOrder(Memo1, InsertButton);
  setTabOrder(InsertButton, OkButton);
  setTabOrder(OkButton, CancelButton);

  connect(InsertButton, &QPushButton::clicked, this, [this] { HandleErrors([this] { InsertFieldClick(); }); });
  connect(OkButton, &QPushButton::clicked, this, &QDialog::accept);
  connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

std::vector<std::string> TdlgLinesEditor::MemoLines() const {
  // Every line break ends a line: a last line left empty is no line, as a text that
  // ends with a line break has none after it.
  std::vector<std::string> lines;
  for (const QString& line : Memo1->toPlainText().split('\n')) lines.push_back(line.toStdString());
  if (!lines.empty() && lines.back().empty()) lines.pop_back();
  return lines;
}

void TdlgLinesEditor::SetMemoLines(const std::vector<std::string>& lines) {
  QString text;
  for (const std::string& line : lines) text += QString::fromStdString(line) + '\n';
  Memo1->setPlainText(text);
}

bool TdlgLinesEditor::Run(TDataSet* dataSet) {
  LinesDataSet = dataSet;
  InsertButton->setEnabled(dataSet != nullptr);
  Memo1->setFocus();
  const bool ok = ExecDialog(*this) == QDialog::Accepted;
  LinesDataSet = nullptr;
  return ok;
}

bool TdlgLinesEditor::EditLines(TStrings* lines, TDataSet* dataSet) {
  SetMemoLines(lines ? lines->Lines() : std::vector<std::string>());
  if (!Run(dataSet)) return false;
  if (lines) {
    TStringList edited;
    for (const std::string& line : MemoLines()) edited.Add(line);
    lines->AssignFrom(&edited);
  }
  return true;
}

bool TdlgLinesEditor::EditText(std::string& text, TDataSet* dataSet) {
  TStringList lines;
  lines.SetText(text);
  SetMemoLines(lines.Lines());
  if (!Run(dataSet)) return false;
  text.clear();
  for (const std::string& line : MemoLines()) text += line + "\r\n";
  return true;
}

void TdlgLinesEditor::InsertFieldClick() {
  std::string name;
  // The single field dialog; a temporary one when this editor runs on its own.
  std::unique_ptr<TdlgFields> own;
  TdlgFields* fields = dlgFields;
  if (!fields) {
    own = std::make_unique<TdlgFields>(this);
    fields = own.get();
  }
  if (!fields->SelectField(LinesDataSet, name)) return;
  // The memo's text holds one line break per line, so positions in it are positions in
  // its lines joined: the name replaces the selection and the text is set again.
  const QString text = Memo1->toPlainText();
  const QTextCursor cursor = Memo1->textCursor();
  const int start = cursor.selectionStart();
  const int length = cursor.selectionEnd() - start;
  const QString field = QString::fromStdString(name);
  TStringList lines;
  lines.SetText((text.left(start) + field + text.mid(start + length)).toStdString());
  SetMemoLines(lines.Lines());
  QTextCursor selection = Memo1->textCursor();
  selection.setPosition(start);
  selection.setPosition(start + static_cast<int>(field.size()), QTextCursor::KeepAnchor);
  Memo1->setTextCursor(selection);
  // Back in the memo, where the selection shows and typing goes on.
  Memo1->setFocus();
}

}  // namespace rpt
