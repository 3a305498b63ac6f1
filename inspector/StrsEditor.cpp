#include "inspector/StrsEditor.h"

#include <QFrame>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

#include "framework/Application.h"

namespace rpt {

TZQKStringsEditorDialog::TZQKStringsEditorDialog(QWidget* parent) : QDialog(parent) {
  setObjectName("ZQKStringsEditorDialog");
  setFixedSize(431, 279);
  bvlMain = new QFrame(this);
  bvlMain->setObjectName("bvlMain");
  bvlMain->setFrameShape(QFrame::Box);
  bvlMain->setFrameShadow(QFrame::Sunken);
  bvlMain->setGeometry(8, 8, 413, 229);
  lbLineCount = new QLabel("0 lines", this);
  lbLineCount->setObjectName("lbLineCount");
  lbLineCount->setGeometry(12, 12, 169, 17);
  memMain = new QPlainTextEdit(this);
  memMain->setObjectName("memMain");
  memMain->setGeometry(16, 31, 397, 197);
  // Long lines scroll instead of wrapping.
  memMain->setLineWrapMode(QPlainTextEdit::NoWrap);
  memMain->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  memMain->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  memMain->setTabChangesFocus(true);
  btnOk = new QPushButton("&OK", this);
  btnOk->setObjectName("btnOk");
  btnOk->setGeometry(265, 248, 75, 25);
  btnOk->setDefault(true);
  btnCancel = new QPushButton("Cancel", this);
  btnCancel->setObjectName("btnCancel");
  btnCancel->setGeometry(345, 248, 75, 25);
  setTabOrder(memMain, btnOk);
  setTabOrder(btnOk, btnCancel);
  connect(memMain, &QPlainTextEdit::textChanged, this, [this] { memMainChange(); });
  connect(btnOk, &QPushButton::clicked, this, &QDialog::accept);
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TZQKStringsEditorDialog::Load(const TStrings& lines) {
  memMain->setPlainText(QString::fromStdString(lines.Text()));
  memMainChange();
}

const TStrings& TZQKStringsEditorDialog::Lines() {
  // The lines as a list reads them: a last line break starts no line of its own.
  FLines.SetText(memMain->toPlainText().toStdString());
  return FLines;
}

void TZQKStringsEditorDialog::memMainChange() {
  lbLineCount->setText(QString("%1 lines").arg(Lines().Count()));
}

void TZQKStringsEditorDialog::SetCaptions() {
  setWindowTitle("String List Editor");
  btnOk->setText("&Ok");
  btnCancel->setText("Cancel");
}

bool TZQKStringsEditorDialog::Execute() {
  SetCaptions();
  memMainChange();
  memMain->setFocus();
  return ExecDialog(*this) == QDialog::Accepted;
}

}  // namespace rpt
