#include "framework/Actions.h"

#include <QKeySequence>

#include "framework/Application.h"

namespace rpt {

TAction::TAction(TActionList* list, const std::string& name, const std::string& category, const std::string& caption)
    : QAction(QString::fromStdString(caption), list), FName(name), FCategory(category), FList(list) {
  setObjectName(QString::fromStdString(name));
  // Shortcuts work wherever the focus is in the program, as long as no modal window blocks.
  setShortcutContext(Qt::ApplicationShortcut);
  list->FActions.push_back(this);
  connect(this, &QAction::triggered, this, [this] { Execute(); });
}

void TAction::SetImageIndex(int index) {
  FImageIndex = index;
  setIcon(FList ? FList->Image(index) : QIcon());
}

void TAction::SetShortcutText(const std::string& keys) {
  setShortcut(keys.empty() ? QKeySequence() : QKeySequence(QString::fromStdString(keys), QKeySequence::PortableText));
}

void TAction::Execute() {
  if (OnExecute) OnExecute(this);
}

void TAction::RunUpdate() {
  if (OnUpdate) OnUpdate(this);
}

TActionList::TActionList(QObject* parent) : QObject(parent) {
  if (TApplication* app = TApplication::Instance()) FIdleId = app->AddIdleHandler([this] { UpdateActions(); });
}

TActionList::~TActionList() {
  if (TApplication* app = TApplication::Instance(); app && FIdleId) app->RemoveIdleHandler(FIdleId);
}

TAction* TActionList::Find(const std::string& name) const {
  for (TAction* a : FActions)
    if (a->Name() == name) return a;
  return nullptr;
}

void TActionList::SetImages(std::vector<QIcon> images) {
  FImages = std::move(images);
  for (TAction* a : FActions) a->setIcon(Image(a->ImageIndex()));
}

QIcon TActionList::Image(int index) const {
  if (index < 0 || index >= static_cast<int>(FImages.size())) return {};
  return FImages[static_cast<size_t>(index)];
}

void TActionList::UpdateActions() {
  for (TAction* a : FActions) a->RunUpdate();
}

}  // namespace rpt
