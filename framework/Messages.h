#pragma once
// Messages of the window layer: every toolkit event on a control's peer becomes one of
// these, goes to the form's design hook first, then to the control. Ids follow the
// classic window message numbers so message tables read as their authors expect.
#include <cstdint>
#include <string>

#include "objects/Component.h"

namespace rpt {

class TCanvas;

enum TShiftStateFlag : uint8_t { ssShift, ssAlt, ssCtrl, ssLeft, ssRight, ssMiddle, ssDouble };
RPT_ENUM_TYPE(TShiftStateFlag, "ssShift", "ssAlt", "ssCtrl", "ssLeft", "ssRight", "ssMiddle", "ssDouble")
using TShiftState = TSet<TShiftStateFlag>;

enum TMouseButton : uint8_t { mbLeft, mbRight, mbMiddle };
RPT_ENUM_TYPE(TMouseButton, "mbLeft", "mbRight", "mbMiddle")

enum TDragState : uint8_t { dsDragEnter, dsDragLeave, dsDragMove };
RPT_ENUM_TYPE(TDragState, "dsDragEnter", "dsDragLeave", "dsDragMove")

enum TCloseAction : uint8_t { caNone, caHide, caFree, caMinimize };
RPT_ENUM_TYPE(TCloseAction, "caNone", "caHide", "caFree", "caMinimize")

enum : uint32_t {
  WM_NULL = 0x0000,
  WM_MOVE = 0x0003,
  WM_SIZE = 0x0005,
  WM_SETFOCUS = 0x0007,
  WM_KILLFOCUS = 0x0008,
  WM_PAINT = 0x000F,
  WM_CLOSE = 0x0010,
  WM_CANCELMODE = 0x001F,
  WM_SETCURSOR = 0x0020,
  WM_WINDOWPOSCHANGED = 0x0047,
  WM_CONTEXTMENU = 0x007B,
  WM_KEYDOWN = 0x0100,
  WM_KEYUP = 0x0101,
  WM_CHAR = 0x0102,
  WM_DEADCHAR = 0x0103,
  WM_SYSKEYDOWN = 0x0104,
  WM_SYSKEYUP = 0x0105,
  WM_SYSCHAR = 0x0106,
  WM_SYSDEADCHAR = 0x0107,
  WM_MOUSEMOVE = 0x0200,
  WM_LBUTTONDOWN = 0x0201,
  WM_LBUTTONUP = 0x0202,
  WM_LBUTTONDBLCLK = 0x0203,
  WM_RBUTTONDOWN = 0x0204,
  WM_RBUTTONUP = 0x0205,
  WM_RBUTTONDBLCLK = 0x0206,
  WM_MBUTTONDOWN = 0x0207,
  WM_MBUTTONUP = 0x0208,
  WM_MBUTTONDBLCLK = 0x0209,
  WM_MOUSEWHEEL = 0x020A,
  WM_USER = 0x0400,
  // The framework's own drag-and-drop message (enter, move, leave, drop).
  CM_DRAG = 0xB02F,
  // Sent to a form after its client area scrolled (WParam: horizontal, LParam: vertical
  // distance the children moved), so a design hook can follow.
  CM_SCROLLED = 0xB030,
  // Registered messages are numbered from here.
  kFirstRegisteredMessage = 0xC000,
};

enum TDragMessage : uint8_t { dmDragEnter, dmDragLeave, dmDragMove, dmDragDrop, dmFindTarget };

// Virtual key codes (letters and digits are their upper-case ASCII codes).
enum : uint16_t {
  VK_BACK = 8, VK_TAB = 9, VK_RETURN = 13, VK_SHIFT = 16, VK_CONTROL = 17, VK_MENU = 18,
  VK_PAUSE = 19, VK_CAPITAL = 20, VK_ESCAPE = 27, VK_SPACE = 32, VK_PRIOR = 33, VK_NEXT = 34,
  VK_END = 35, VK_HOME = 36, VK_LEFT = 37, VK_UP = 38, VK_RIGHT = 39, VK_DOWN = 40,
  VK_INSERT = 45, VK_DELETE = 46, VK_APPS = 93,
  VK_F1 = 112, VK_F2, VK_F3, VK_F4, VK_F5, VK_F6, VK_F7, VK_F8, VK_F9, VK_F10, VK_F11, VK_F12,
};

struct TMessage {
  uint32_t Msg = WM_NULL;
  intptr_t WParam = 0;
  intptr_t LParam = 0;
  intptr_t Result = 0;

  // Mouse: position in the client coordinates of the control the message is for, and
  // on the screen; buttons and keys held; the button of a press or release.
  TPoint Pos;
  TPoint ScreenPos;
  TShiftState Shift;
  TMouseButton Button = mbLeft;
  int32_t WheelDelta = 0;
  // Key down/up: the virtual key code; character messages: the character's code-page
  // byte (0 when the character has none) with the UTF-8 text beside it.
  uint16_t CharCode = 0;
  std::string Text;
  // Paint: the canvas to draw on, valid during the message only.
  TCanvas* Canvas = nullptr;
  // Focus: the control that loses or gains the focus at the same time.
  TControl* OtherControl = nullptr;
  // Drag and drop.
  TDragMessage DragMessage = dmDragMove;
  TObject* DragSource = nullptr;

  TMessage() = default;
  explicit TMessage(uint32_t msg, intptr_t wParam = 0, intptr_t lParam = 0)
      : Msg(msg), WParam(wParam), LParam(lParam) {}

  bool IsMouse() const { return Msg >= WM_MOUSEMOVE && Msg <= WM_MOUSEWHEEL; }
  bool IsKey() const { return Msg >= WM_KEYDOWN && Msg <= WM_SYSDEADCHAR; }
};

// The same name gives the same id for the whole run; ids start at kFirstRegisteredMessage.
uint32_t RegisterWindowMessage(const std::string& name);

}  // namespace rpt
