#pragma once
// The properties window: the object selector above the property inspector, showing the
// selection of the document that was activated last. Every change made in it is a named
// step of that document's design history.
#include <QWidget>
#include <vector>

#include "inspector/ObjectComboBox.h"
#include "inspector/PropInsp.h"

namespace rpt {

class TfrmDoc;
class TComponent;
class TClassDescriptor;

class TfrmProps : public QWidget {
 public:
  explicit TfrmProps(QWidget* parent = nullptr);

  TZQKObjectComboBox* ZQKObjectComboBox1 = nullptr;
  TZQKPropertyInspector* PropInsp = nullptr;

  TfrmDoc* Document() const { return FDocument; }
  // The document whose elements are shown (none allowed); the offered objects follow.
  void SetDocument(TfrmDoc* doc);
  // Offers every component the shown document's report owns, in its owned order.
  void RefreshObjectList();
  // A component inserted into a report: offered at once, in order at the next idle moment.
  void ComponentInserted(TComponent* component);
  // A component leaving a report: dropped from both lists of the selector.
  void RemoveObject(TComponent* component);
  // The designer's selection of the shown document goes to the inspector and the selector.
  void ShowSelection(const std::vector<TComponent*>& selection);

  void ZQKObjectComboBox1Click();
  void PropInspChange();

  // What a reference row offers and accepts: the components of the shown report, the
  // window's dataset, and the report itself under the name "Owner" (as a stored
  // reference names it), each where the property's class admits it.
  std::vector<TComponent*> ReferableComponents(const TClassDescriptor* cls) const;
  TComponent* FindReferable(const std::string& name) const;
  std::string ReferenceName(TComponent* component) const;

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  // The inspector's writes: one undoable step of the document when the designer can
  // record it, else a change the history cannot undo.
  void WriteToDocument(const std::string& caption, const std::vector<TComponent*>& components,
                       const std::function<void()>& write);
  bool FOrderPending = false;
  TfrmDoc* FDocument = nullptr;
};

}  // namespace rpt
