// Scrolling forms: the two scroll bar settings, automatic ranges from the children,
// scrolling by moving the children, and bringing a control into view. The model does
// all of it; a peer only shows the bars and moves its pixels.
#include <QApplication>
#include <QStyle>
#include <algorithm>

#include "framework/Controls.h"
#include "framework/Peer.h"

namespace rpt {

RPT_BEGIN_CLASS(TControlScrollBar, TPersistent)
  using B = TControlScrollBar;
  c.Property("Increment", &B::Increment, &B::SetIncrement).Default(8);
  c.Property("Margin", &B::Margin, &B::SetMargin).Default(0);
  c.Property("Position", &B::Position, &B::SetPosition).Default(0);
  c.Property("Range", &B::Range, &B::SetRange).Stored(&B::StoreRange);
  c.Property("Tracking", &B::Tracking, &B::SetTracking).Default(true);
  c.Property("Visible", &B::Visible, &B::SetVisible).Default(true);
RPT_END_CLASS

void TControlScrollBar::SetIncrement(int32_t value) {
  value = std::max(1, value);
  if (value == FIncrement) return;
  FIncrement = value;
  Changed();
}

void TControlScrollBar::SetMargin(int32_t value) {
  value = std::max(0, value);
  if (value == FMargin) return;
  FMargin = value;
  Changed();
}

void TControlScrollBar::SetPosition(int32_t value) {
  if (!FControl) {
    FPosition = std::max(0, value);
    return;
  }
  value = std::clamp(value, 0, MaxPosition());
  if (value == FPosition) return;
  if (FKind == sbHorizontal)
    FControl->ScrollChildren(FPosition - value, 0);
  else
    FControl->ScrollChildren(0, FPosition - value);
}

void TControlScrollBar::SetRange(int32_t value) {
  value = std::max(0, value);
  if (FControl) FControl->FAutoScroll = false;
  if (value == FRange) return;
  FRange = value;
  Changed();
}

bool TControlScrollBar::StoreRange() const { return !FControl || !FControl->AutoScroll(); }

void TControlScrollBar::SetTracking(bool value) {
  if (value == FTracking) return;
  FTracking = value;
  Changed();
}

void TControlScrollBar::SetVisible(bool value) {
  if (value == FVisible) return;
  FVisible = value;
  Changed();
}

int32_t TControlScrollBar::MaxPosition() const {
  if (!FVisible) return 0;
  const int32_t client = !FControl                 ? 0
                         : FKind == sbHorizontal ? FControl->ClientWidth()
                                                 : FControl->ClientHeight();
  return std::max(0, FRange - client);
}

void TControlScrollBar::AssignFrom(const TPersistent* source) {
  const auto* other = dynamic_cast<const TControlScrollBar*>(source);
  if (!other) return TPersistent::AssignFrom(source);
  FIncrement = other->FIncrement;
  FMargin = other->FMargin;
  FTracking = other->FTracking;
  FVisible = other->FVisible;
  // A copied range is a range set by hand; with AutoScroll the children decide it.
  if (FControl && !FControl->AutoScroll()) FRange = other->FRange;
  if (!FControl) FRange = other->FRange;
  Changed();
  SetPosition(other->FPosition);
}

void TControlScrollBar::Changed() {
  if (FControl) FControl->UpdateScrollBars();
}

// ---------------------------------------------------------------------------
// TCustomForm

int32_t TCustomForm::ScrollBarExtent() {
  if (qobject_cast<QApplication*>(QCoreApplication::instance()))
    return std::max(1, QApplication::style()->pixelMetric(QStyle::PM_ScrollBarExtent));
  return 16;
}

TPoint TCustomForm::ScrollPos() const { return {FHorzScrollBar->Position(), FVertScrollBar->Position()}; }

void TCustomForm::SetScrollPos(TPoint pos) {
  const TPoint target{std::clamp(pos.X, 0, FHorzScrollBar->MaxPosition()),
                      std::clamp(pos.Y, 0, FVertScrollBar->MaxPosition())};
  const TPoint now = ScrollPos();
  ScrollChildren(now.X - target.X, now.Y - target.Y);
}

void TCustomForm::SetAutoScroll(bool value) {
  if (value == FAutoScroll) return;
  FAutoScroll = value;
  UpdateScrollBars();
}

int32_t TCustomForm::ClientWidth() const {
  const bool bar = FVertScrollBar && FVertScrollBar->FShowing;
  return std::max(0, Width() - (bar ? ScrollBarExtent() : 0));
}

int32_t TCustomForm::ClientHeight() const {
  const bool bar = FHorzScrollBar && FHorzScrollBar->FShowing;
  return std::max(0, Height() - (bar ? ScrollBarExtent() : 0));
}

void TCustomForm::ScrollBy(int32_t dx, int32_t dy) {
  // Positions move opposite to the children; keep them inside 0..MaxPosition.
  const TPoint pos = ScrollPos();
  const int32_t x = std::clamp(pos.X - dx, 0, FHorzScrollBar->MaxPosition());
  const int32_t y = std::clamp(pos.Y - dy, 0, FVertScrollBar->MaxPosition());
  ScrollChildren(pos.X - x, pos.Y - y);
}

void TCustomForm::ScrollChildren(int32_t dx, int32_t dy) {
  if (dx == 0 && dy == 0) return;
  FHorzScrollBar->FPosition -= dx;
  FVertScrollBar->FPosition -= dy;
  // The peer moves its pixels and child windows in one go; the children's geometry
  // applied afterwards then matches and costs nothing.
  ScrollPeer(this, dx, dy);
  // The ranges move with the children: nothing to recompute.
  const bool updating = FUpdatingScrollBars, pending = FScrollBarsPending;
  FUpdatingScrollBars = true;
  const std::vector<TControl*> children = ControlList();
  for (TControl* c : children) c->SetBounds(c->Left() + dx, c->Top() + dy, c->Width(), c->Height());
  FUpdatingScrollBars = updating;
  FScrollBarsPending = pending;
  SyncPeerScrollBars(this);
  TMessage m(CM_SCROLLED, dx, dy);
  Perform(this, m);
}

void TCustomForm::ScrollInView(TControl* control) {
  if (!control || control == this) return;
  // The control's rectangle in this form's client coordinates.
  TRect r = control->BoundsRect();
  const TWinControl* p = control->Parent();
  for (; p && p != this; p = p->Parent()) {
    r.Left += p->Left(), r.Right += p->Left();
    r.Top += p->Top(), r.Bottom += p->Top();
  }
  if (p != this) return;
  auto delta = [](int32_t lo, int32_t hi, int32_t margin, int32_t client) -> int32_t {
    lo -= margin;
    hi += margin;
    if (hi - lo > client) {
      // Larger than the view: only when nothing of it shows, bring its near edge in,
      // so that clicking a tall band does not make the page jump.
      if (hi <= 0) return -lo;
      if (lo >= client) return -lo;
      return 0;
    }
    if (lo < 0) return -lo;
    if (hi > client) return client - hi;
    return 0;
  };
  ScrollBy(delta(r.Left, r.Right, FHorzScrollBar->Margin(), ClientWidth()),
           delta(r.Top, r.Bottom, FVertScrollBar->Margin(), ClientHeight()));
}

void TCustomForm::EnableAutoRange() {
  if (FAutoRangeCount > 0 && --FAutoRangeCount == 0) UpdateScrollBars();
}

void TCustomForm::ChildBoundsChanged() {
  if (FAutoScroll) UpdateScrollBars();
}

void TCustomForm::BoundsChanged() {
  TCustomControl::BoundsChanged();
  UpdateScrollBars();
}

void TCustomForm::InsertControl(TControl* control) {
  TCustomControl::InsertControl(control);
  if (FAutoScroll) UpdateScrollBars();
}

void TCustomForm::RemoveControl(TControl* control) {
  TCustomControl::RemoveControl(control);
  if (FAutoScroll && !HasState(sfDestroying)) UpdateScrollBars();
}

void TCustomForm::UpdateScrollBars() {
  if (FUpdatingScrollBars || FAutoRangeCount > 0) {
    FScrollBarsPending = FScrollBarsPending || FUpdatingScrollBars;
    return;
  }
  if (!FHorzScrollBar || !FVertScrollBar) return;
  FUpdatingScrollBars = true;
  TControlScrollBar& h = *FHorzScrollBar;
  TControlScrollBar& v = *FVertScrollBar;
  // Realigning after a bar came or went may move children again: a few rounds settle it.
  for (int round = 0; round < 3; ++round) {
    FScrollBarsPending = false;
    if (FAutoScroll) {
      // Logical extents: client edges plus the positions.
      int32_t right = 0, bottom = 0;
      for (const TControl* c : ControlList()) {
        if (c->Align() != alNone || (!c->Visible() && !c->HasState(sfDesigning))) continue;
        right = std::max(right, c->Left() + c->Width() + h.FMargin + h.FPosition);
        bottom = std::max(bottom, c->Top() + c->Height() + v.FMargin + v.FPosition);
      }
      h.FRange = right;
      v.FRange = bottom;
    }
    const int32_t ext = ScrollBarExtent();
    bool showH = h.FVisible && h.FRange > Width();
    bool showV = v.FVisible && v.FRange > Height();
    // One bar takes room from the other direction, which may then need its bar too.
    if (showV && !showH) showH = h.FVisible && h.FRange > Width() - ext;
    if (showH && !showV) showV = v.FVisible && v.FRange > Height() - ext;
    const bool changed = showH != h.FShowing || showV != v.FShowing;
    h.FShowing = showH;
    v.FShowing = showV;
    if (changed) Realign();
    // A shrinking range or growing client pulls the positions back.
    const int32_t x = std::clamp(h.FPosition, 0, h.MaxPosition());
    const int32_t y = std::clamp(v.FPosition, 0, v.MaxPosition());
    if (x != h.FPosition || y != v.FPosition) ScrollChildren(h.FPosition - x, v.FPosition - y);
    if (!FScrollBarsPending) break;
  }
  FScrollBarsPending = false;
  FUpdatingScrollBars = false;
  SyncPeerScrollBars(this);
}

}  // namespace rpt
