#include "framework/Menus.h"

#include <QMenu>

namespace rpt {

RPT_BEGIN_CLASS(TPopupMenu, TComponent)
  c.Property("AutoPopup", &TPopupMenu::AutoPopup, &TPopupMenu::SetAutoPopup).Default(true);
RPT_END_CLASS

QMenu* TPopupMenu::Menu() const { return FMenu.data(); }

void TPopupMenu::SetMenu(QMenu* menu) { FMenu = menu; }

void TPopupMenu::Popup(int32_t x, int32_t y) {
  if (FMenu) FMenu->popup(QPoint(x, y));
}

}  // namespace rpt
