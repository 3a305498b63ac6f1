#pragma once
// The data dialog: a four-page wizard that builds and opens the dataset a report reads
// (a table or an SQL query of a database alias), with a preview of its records. Page 0
// also takes the rows of a JSON or CSV file: they are copied into a table of the alias
// Imported, which the report then reads like any table.
#include <QDialog>
#include <functional>
#include <optional>
#include <string>

class QCheckBox;
class QLabel;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

namespace rpt {

class TComponent;
class TDataSet;
class TDataSource;
class TDBGrid;
class TDBNavigator;

class TdlgData : public QDialog {
 public:
  explicit TdlgData(QWidget* parent = nullptr);
  ~TdlgData() override;

  // Runs the wizard. Ok: true, and the new open dataset, owned by owner, in dataSet.
  // Cancel: false, dataSet none, and any dataset built during the run destroyed.
  bool SelectData(TDataSet*& dataSet, TComponent* owner);

  // Back and Next (Next is Ok on the preview page).
  void BackClick();
  void NextClick();

  int Step = -1;            // current page, -1..4
  std::string AliasName;    // chosen on page 0
  bool UseTable = true;     // page 1: a table, or a query
  TComponent* DataOwner = nullptr;
  TDataSet* NewDataSet = nullptr;  // built on page 3

  // The controls, by the names the form gives them.
  TDataSource* DataSource1 = nullptr;
  QPushButton* Button1 = nullptr;  // Cancel
  QPushButton* Button2 = nullptr;  // << Back
  QPushButton* Button3 = nullptr;  // Next >> / Ok
  QPushButton* Button4 = nullptr;  // page 0: From file...
  QWidget* Panel1 = nullptr;       // page 0: aliases
  QWidget* Panel2 = nullptr;       // page 1: table or query
  QWidget* Panel3 = nullptr;       // page 2: Panel4 (tables) or Panel5 (SQL)
  QWidget* Panel4 = nullptr;
  QWidget* Panel5 = nullptr;
  QWidget* Panel6 = nullptr;       // page 3: preview
  QListWidget* ListBox1 = nullptr;
  QListWidget* ListBox2 = nullptr;
  QRadioButton* RadioButton1 = nullptr;  // Table
  QRadioButton* RadioButton2 = nullptr;  // Query
  QPlainTextEdit* Memo1 = nullptr;
  // Shown while the SQL text uses :parameters; checked, Ok declares them on the report.
  QCheckBox* CheckBox1 = nullptr;
  bool DeclaresParameters() const;

  // From file...: asks for a JSON or CSV file, copies its rows into a new table of the
  // alias Imported (a table of that name already there: replace it, take a new name, or
  // cancel) and goes on to the preview of that table, as if chosen page by page. A file
  // that does not parse is reported with its line and column and changes nothing.
  void FromFileClick();
  void ImportRowFile(const std::string& fileName);
  // The file dialog of From file..., which the tests replace (none: cancelled).
  std::function<std::optional<std::string>()> RowFileDialog;
  TDBNavigator* DBNavigator1 = nullptr;
  TDBGrid* DBGrid1 = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void CreateControls();
  void ShowStep();
  void UpdateButtons();
  void UpdatePanels();
  void FillAliases();
  void FillTables();
  void OpenDataSet();
  void DestroyNewDataSet();
  void ListClicked(QListWidget* list);
  void ListDoubleClicked(QListWidget* list);
  void ShowSqlParameters();
};

}  // namespace rpt
