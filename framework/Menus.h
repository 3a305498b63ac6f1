#pragma once
// A context menu as a component, so designers can hold it as a property and watch it.
#include <QPointer>

#include "objects/Component.h"

class QMenu;

namespace rpt {

class TPopupMenu : public TComponent {
  RPT_CLASS(TPopupMenu, TComponent)
  TPopupMenu() = default;

  // The menu shown; built by the shell. Not owned.
  QMenu* Menu() const;
  void SetMenu(QMenu* menu);
  bool AutoPopup() const { return FAutoPopup; }
  void SetAutoPopup(bool value) { FAutoPopup = value; }
  // The component that opened the menu last.
  TComponent* PopupComponent() const { return FPopupComponent; }
  void SetPopupComponent(TComponent* component) { FPopupComponent = component; }
  // Opens the menu at a screen point (returns at once).
  void Popup(int32_t x, int32_t y);

 private:
  QPointer<QMenu> FMenu;
  bool FAutoPopup = true;
  TComponent* FPopupComponent = nullptr;
};

}  // namespace rpt
