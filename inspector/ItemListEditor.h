#pragma once
// The editor of a property that holds a list of items (an element's Highlights, a
// chart's Series): the items in order with Add, Delete, Up and Down, and the published
// properties of the item chosen, each with a control of its kind (a text, a check box, a
// list of values, check boxes for a set, a colour button). It edits a copy; OK hands the
// copy back.
#include <QDialog>
#include <functional>
#include <string>
#include <vector>

#include "objects/Collection.h"
#include "objects/StdTypes.h"

class QFormLayout;
class QLabel;
class QListWidget;
class QPushButton;
class QWidget;

namespace rpt {

class TItemListDialog : public QDialog {
 public:
  explicit TItemListDialog(QWidget* parent = nullptr);

  // The dialog edits items, which must outlive it.
  void Load(TCollection& items);
  // Shows the dialog modally; true when it closed with OK.
  bool Execute();

  void AddItem();
  void DeleteItem();
  void MoveItem(int step);
  // Shows the properties of item n (none: -1).
  void ShowItem(int n);

  QListWidget* List = nullptr;
  QPushButton* BtnAdd = nullptr;
  QPushButton* BtnDelete = nullptr;
  QPushButton* BtnUp = nullptr;
  QPushButton* BtnDown = nullptr;
  QWidget* Fields = nullptr;
  QLabel* Note = nullptr;  // the list's EditorNote, when it has one
  // Asks for a colour; the platform's colour dialog unless a test puts another.
  std::function<bool(TColor&)> ChooseColor;
  // The program's editor of an expression (with its list of fields), offered beside each
  // text field when set.
  static inline std::function<bool(std::string&)> EditExpression;

 private:
  void RefreshList(int current);
  QString ItemCaption(int n) const;
  TCollection* FItems = nullptr;
  QFormLayout* FForm = nullptr;
};

}  // namespace rpt
