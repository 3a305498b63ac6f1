#pragma once
// The parameter values of a run: one modal window before a preview or a print asks for
// every parameter the report declares and every ":NAME" its SQL uses without declaring
// it, each with an editor of its type (a date picker for dates, a list for choices
// from SQL, a check box for Booleans). A value that is not of its type is refused
// naming the parameter; Escape or Cancel stops the run before anything is made.
#include <QDialog>
#include <string>
#include <vector>

#include "report/QRParams.h"

class QLabel;
class QWidget;

namespace rpt {

class TCustomQuickRep;

class TdlgRunParams : public QDialog {
 public:
  explicit TdlgRunParams(QWidget* parent = nullptr);

  // Makes one editor per parameter of the report, showing the values given last for
  // the same name while the program runs, else the parameter's default. Choices come
  // from a query on database (the report's dataset's).
  void Load(TCustomQuickRep* report, const std::string& database);
  // The texts typed or chosen, by upper-case name; throws Exception naming the first
  // parameter whose text is not of its type (and puts the focus on its editor).
  TQRParamTexts Values() const;
  // The editor of a parameter (for tests), or none.
  QWidget* Editor(const std::string& name) const;
  // The message shown instead of a list whose query failed, or empty.
  QString ChoiceProblems() const;

  // Asks for the values of the report's parameters and sets them on the report; true
  // at once when it has none, false when the user cancelled.
  static bool AskForRun(TCustomQuickRep* report, const std::string& database, QWidget* parent);
  // The values given in this run of the program, by upper-case name.
  static TQRParamTexts& Remembered();

 protected:
  void accept() override;

 private:
  struct TEntry {
    std::string Name;
    TQRParamType Type = ptString;
    QWidget* Editor = nullptr;
  };
  QWidget* MakeEditor(const TQRParameter* param, const std::string& database, const std::string& initial);
  std::vector<TEntry> FEntries;
  QWidget* FForm = nullptr;
  QLabel* FProblems = nullptr;
};

}  // namespace rpt

class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace rpt {

// Report > Parameters: the report's parameters added, edited, ordered and deleted on a
// copy; Ok checks the names and hands the copy back.
class TdlgParams : public QDialog {
 public:
  explicit TdlgParams(QWidget* parent = nullptr);
  ~TdlgParams() override;

  void Load(const TQRParameters& params);
  const TQRParameters& Edited() const { return *FEdited; }
  // Throws Exception naming the first parameter whose name is empty, not a name, or
  // taken by another.
  void Validate() const;

  QListWidget* List() const { return FList; }
  QLineEdit* NameEdit() const { return FName; }
  QComboBox* TypeBox() const { return FType; }
  QLineEdit* DefaultEdit() const { return FDefault; }
  QLineEdit* PromptEdit() const { return FPrompt; }
  QLineEdit* ChoicesEdit() const { return FChoices; }
  QPushButton* AddButton() const { return FAdd; }
  QPushButton* DeleteButton() const { return FDelete; }
  QPushButton* UpButton() const { return FUp; }
  QPushButton* DownButton() const { return FDown; }

  // Shows the dialog on the report's parameters; true with Ok, the edited list then in
  // Edited().
  bool Execute(const TQRParameters& params);

 protected:
  void accept() override;

 private:
  void Fill();
  void ShowCurrent();
  void Store();
  void Move(int by);
  TQRParameter* Current() const;

  TQRParameters* FEdited;
  bool FShowing = false;
  QListWidget* FList = nullptr;
  QLineEdit *FName = nullptr, *FDefault = nullptr, *FPrompt = nullptr, *FChoices = nullptr;
  QLineEdit *FValueField = nullptr, *FCaptionField = nullptr;
  QComboBox* FType = nullptr;
  QPushButton *FAdd = nullptr, *FDelete = nullptr, *FUp = nullptr, *FDown = nullptr;
};

}  // namespace rpt
