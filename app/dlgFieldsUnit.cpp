#include "app/dlgFieldsUnit.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>

#include "data/DB.h"
#include "framework/Application.h"

namespace rpt {

TdlgFields::TdlgFields(QWidget* parent) : QDialog(parent) {
  setObjectName("dlgFields");
  setWindowTitle("Fields dialog");
  setFixedSize(266, 234);
  auto* text = new QLabel("Select field from fields list and click 'Ok' button", this);
  text->setGeometry(8, 8, 250, 34);
  text->setWordWrap(true);
  ListBox1 = new QListWidget(this);
  ListBox1->setObjectName("ListBox1");
  ListBox1->setGeometry(8, 44, 250, 148);
  ListBox1->setSelectionMode(QAbstractItemView::SingleSelection);
  OkButton = new QPushButton("Ok", this);
  OkButton->setObjectName("OkButton");
  OkButton->setGeometry(102, 201, 75, 25);
  OkButton->setDefault(true);
  CancelButton = new QPushButton("Cancel", this);
  CancelButton->setObjectName("CancelButton");
  CancelButton->setGeometry(183, 201, 75, 25);
  setTabOrder(ListBox1, OkButton);
  setTabOrder(OkButton, CancelButton);

  connect(OkButton, &QPushButton::clicked, this, &QDialog::accept);
  connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
  connect(ListBox1, &QListWidget::itemSelectionChanged, this,
          [this] { OkButton->setEnabled(!ListBox1->selectedItems().isEmpty()); });
  connect(ListBox1, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
    if (!item) return;
    ListBox1->setCurrentItem(item);
    accept();
  });
}

bool TdlgFields::SelectField(TDataSet* dataSet, std::string& fieldName) {
  ListBox1->clear();
  // Fields exist only while a dataset is open (a report read from a file has its
  // dataset closed).
  if (dataSet && !dataSet->Active()) dataSet->Open();
  if (dataSet)
    for (const std::string& name : dataSet->FieldNames()) ListBox1->addItem(QString::fromStdString(name));
  OkButton->setEnabled(false);
  ListBox1->setFocus();
  if (ExecDialog(*this) != QDialog::Accepted) return false;
  const auto selected = ListBox1->selectedItems();
  if (selected.isEmpty()) return false;
  fieldName = selected.first()->text().toStdString();
  return true;
}

}  // namespace rpt
