#pragma once
// The field dialog: picks one field name of a dataset.
#include <QDialog>
#include <string>

class QListWidget;
class QPushButton;

namespace rpt {

class TDataSet;

class TdlgFields : public QDialog {
 public:
  explicit TdlgFields(QWidget* parent = nullptr);

  // Lists the fields of the dataset (opening it when it is closed) with none selected;
  // true, and the chosen name in fieldName, when the dialog closes with Ok. The
  // incoming name is not used. No dataset gives an empty list.
  bool SelectField(TDataSet* dataSet, std::string& fieldName);

  QListWidget* ListBox1 = nullptr;
  QPushButton* OkButton = nullptr;
  QPushButton* CancelButton = nullptr;
};

}  // namespace rpt
