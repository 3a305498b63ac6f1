#pragma once
// The widget peer of a window control, and the window layer that creates, moves,
// restacks and destroys peers as the model changes.
#include <QPointer>
#include <QScrollBar>
#include <QWidget>

#include "framework/Controls.h"

namespace rpt {

class TControlPeer : public QWidget {
 public:
  TControlPeer(TWinControl* control, QWidget* parent);
  ~TControlPeer() override;

  TWinControl* Control() const { return FControl; }
  // Set while the peer's geometry is changed from the model, so the resulting toolkit
  // events do not write the same geometry back.
  bool FApplyingGeometry = false;
  // True when a host outside the model (a top-level window, an MDI frame) decides the
  // geometry; the model then follows the widget.
  bool ExternalGeometry() const;
  // A form's scroll bars (created when first needed).
  QPointer<QScrollBar> FScrollBars[2];

 protected:
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dragLeaveEvent(QDragLeaveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void enterEvent(QEnterEvent* event) override;

 private:
  void MouseMessage(uint32_t msg, QMouseEvent* event);
  void FollowGeometry();
  TWinControl* FControl;
};

// The peer of a control; none when it has none.
QWidget* PeerWidget(const TControl* control);
// Creates the peer of a form as a child of a widget of the shell (or as a top-level
// window when host is none); the shell puts it where it wants.
QWidget* CreateFormPeer(TCustomForm* form, QWidget* host);
void DestroyPeer(TWinControl* control);
// Forms shown in another control's window follow that window's peer.
void TrackHostedForm(TCustomForm* form, bool hosted);
// A form's peer shows a scroll bar on its right or bottom edge while the model says the
// bar shows, and scrolling the bar scrolls the model.
void SyncPeerScrollBars(TCustomForm* form);
// Moves the pixels and child windows of a form's peer by (dx, dy); only the uncovered
// strip is repainted.
void ScrollPeer(TCustomForm* form, int32_t dx, int32_t dy);
// The bar widget of a form's peer; none without a peer or before the bar was needed.
QScrollBar* PeerScrollBar(const TCustomForm* form, TScrollBarKind kind);
// Qt key and modifiers to a virtual key code and a shift state.
uint16_t VirtualKeyOf(int qtKey);
TShiftState ShiftStateOf(Qt::KeyboardModifiers modifiers, Qt::MouseButtons buttons);

}  // namespace rpt
