#pragma once
// Actions: commands with caption, category, shortcut, image, tag, an execute step and
// an update rule run when the event loop is idle. Menu items and tool buttons show
// actions and take caption, image, shortcut, enabled and checked state from them.
#include <QAction>
#include <QIcon>
#include <functional>
#include <string>
#include <vector>

namespace rpt {

class TActionList;

class TAction : public QAction {
 public:
  TAction(TActionList* list, const std::string& name, const std::string& category, const std::string& caption);

  const std::string& Name() const { return FName; }
  const std::string& Category() const { return FCategory; }
  int Tag() const { return FTag; }
  void SetTag(int tag) { FTag = tag; }
  int ImageIndex() const { return FImageIndex; }
  void SetImageIndex(int index);
  // Keys in the portable text form ("Ctrl+N", "Del", "F9"); empty for none.
  void SetShortcutText(const std::string& keys);

  // The execute step gets the action as sender; the update rule sets enabled and checked.
  std::function<void(TAction*)> OnExecute;
  std::function<void(TAction*)> OnUpdate;

  // Runs the execute step (also what triggering does); errors go to the application.
  void Execute();
  void RunUpdate();

 private:
  std::string FName;
  std::string FCategory;
  int FTag = 0;
  int FImageIndex = -1;
  TActionList* FList;
};

class TActionList : public QObject {
 public:
  explicit TActionList(QObject* parent);
  ~TActionList() override;

  const std::vector<TAction*>& Actions() const { return FActions; }
  TAction* Find(const std::string& name) const;
  // Images by index, shared with menus and tool bars.
  void SetImages(std::vector<QIcon> images);
  QIcon Image(int index) const;
  // Runs every update rule; called when the application is idle.
  void UpdateActions();

 private:
  friend class TAction;
  std::vector<TAction*> FActions;
  std::vector<QIcon> FImages;
  int FIdleId = 0;
};

}  // namespace rpt
