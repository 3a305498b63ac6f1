// The editing commands of an active designer (align, order, lock, delete, select all,
// the clipboard, the keyboard) and the history they record into.
#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QPointer>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>
#include <unordered_map>

#include "designer/Designer.h"
#include "designer/Engine.h"
#include "designer/History.h"
#include "framework/Peer.h"
#include "objects/Filer.h"
#include "objects/Format.h"
#include "objects/StreamText.h"

namespace rpt {

namespace {

const char* const kMustBeActive = "Designer must be active";

class TSelectionUpdate {
 public:
  explicit TSelectionUpdate(TZQKSelCtrls* s) : FSel(s) { s->BeginUpdate(); }
  ~TSelectionUpdate() { FSel->EndUpdate(); }
  TSelectionUpdate(const TSelectionUpdate&) = delete;
  TSelectionUpdate& operator=(const TSelectionUpdate&) = delete;

 private:
  TZQKSelCtrls* FSel;
};

struct TCounter {
  int& Count;
  explicit TCounter(int& count) : Count(count) { ++Count; }
  ~TCounter() { --Count; }
};

// Nearest integer, exact halves to the even neighbour (the default rounding mode).
int32_t RoundEven(double value) { return static_cast<int32_t>(std::nearbyint(value)); }

std::vector<TControl*> SelectedControls(TZQKSelCtrls* sel) {
  std::vector<TControl*> list;
  for (int i = 0; i < sel->Count(); ++i) list.push_back(sel->Controls(i));
  return list;
}

// One direction of the alignment codes; false when there were too few controls to act.
bool AlignDirection(TZQKEngine* e, const std::vector<TControl*>& controls, TZQKDesignerAlign code, bool horizontal) {
  auto pos = [horizontal](const TControl* c) { return horizontal ? c->Left() : c->Top(); };
  auto size = [horizontal](const TControl* c) { return horizontal ? c->Width() : c->Height(); };
  auto place = [horizontal](TControl* c, int32_t p) {
    if (horizontal)
      c->SetBounds(p, c->Top(), c->Width(), c->Height());
    else
      c->SetBounds(c->Left(), p, c->Width(), c->Height());
  };
  const size_t n = controls.size();
  switch (code) {
    case daLeftTop: {
      if (n < 2) return false;
      int32_t p = std::numeric_limits<int32_t>::max();
      for (TControl* c : controls) p = std::min(p, pos(c));
      for (TControl* c : controls) place(c, p);
      return true;
    }
    case daRightBottom: {
      if (n < 2) return false;
      int32_t end = 0;
      for (TControl* c : controls) end = std::max(end, pos(c) + size(c));
      for (TControl* c : controls) place(c, end - size(c));
      return true;
    }
    case daSpaceEqually: {
      if (n < 3) return false;
      std::vector<TControl*> sorted = controls;
      std::stable_sort(sorted.begin(), sorted.end(), [&](TControl* a, TControl* b) { return pos(a) < pos(b); });
      const int32_t a = pos(sorted.front()), b = pos(sorted.back());
      for (size_t i = 1; i + 1 < n; ++i) place(sorted[i], a + RoundEven(double(i) * (b - a) / double(n - 1)));
      return true;
    }
    case daCenters: {
      if (n < 2) return false;
      const int32_t centre = pos(controls.front()) + size(controls.front()) / 2;
      for (TControl* c : controls) place(c, centre - size(c) / 2);
      return true;
    }
    case daCenterInWindow: {
      if (n < 1) return false;
      const TWinControl* parent = e->ParentOf(controls.front());
      if (!parent) return false;
      const int32_t centre = (horizontal ? parent->Width() : parent->Height()) / 2;
      for (TControl* c : controls) place(c, centre - size(c) / 2);
      return true;
    }
    case daNone:
      return false;
  }
  return false;
}

// The step an alignment makes, named after its command in the Align menu; both
// directions at once make a plain "Align".
std::string AlignCaption(TZQKDesignerAlign horizontal, TZQKDesignerAlign vertical) {
  static const char* const kHorizontal[] = {"",
                                            "Align Left Edges",
                                            "Align Right Edges",
                                            "Space Equally, Horizontally",
                                            "Align Horizontal Centers",
                                            "Center Horizontally in Window"};
  static const char* const kVertical[] = {"",
                                          "Align Top Edges",
                                          "Align Bottom Edges",
                                          "Space Equally, Vertically",
                                          "Align Vertical Centers",
                                          "Center Vertically in Window"};
  if (horizontal != daNone && vertical == daNone) return kHorizontal[horizontal];
  if (vertical != daNone && horizontal == daNone) return kVertical[vertical];
  return "Align";
}

// A quarter turn, (x, y) to (-y, x), of a rectangle.
TRect Turn(const TRect& r) { return {-r.Bottom, r.Left, -r.Top, r.Right}; }

bool LooksLikeComponentList(const QString& text) {
  for (const QString& raw : text.split('\n')) {
    const QString line = raw.trimmed();
    if (line.isEmpty() || line.startsWith('#')) continue;
    return line == QLatin1String("components");
  }
  return false;
}

}  // namespace

// The top-left corners of the controls of parent windows, counted, so each of many
// pasted controls finds a free place without scanning all its siblings.
// Many controls appear in one window at once (a paste): the window stays hidden while
// they are made and placed, so no new window works out which window is under the
// pointer and no move is worked out on the screen; shown again once, at the end. Not
// while it holds the focus, which hiding would move.
class THiddenWhileFilling {
 public:
  explicit THiddenWhileFilling(TWinControl* target) {
    QWidget* w = PeerWidget(target);
    QWidget* focus = QApplication::focusWidget();
    if (!w || w->isWindow() || !w->isVisible() || (focus && (focus == w || w->isAncestorOf(focus)))) return;
    FWindow = w;
    FWindow->hide();
  }
  ~THiddenWhileFilling() {
    if (FWindow) FWindow->show();
  }
  THiddenWhileFilling(const THiddenWhileFilling&) = delete;
  THiddenWhileFilling& operator=(const THiddenWhileFilling&) = delete;

 private:
  QPointer<QWidget> FWindow;
};

class TTakenPositions {
 public:
  // Whether a control other than Except has its top-left corner at (X, Y) in Parent.
  bool Taken(TWinControl* parent, const TControl* except, int32_t x, int32_t y);
  // Control, a child of Parent, moved from From to where it is now.
  void Moved(TWinControl* parent, const TControl* control, TPoint from);

 private:
  using TCounts = std::unordered_map<uint64_t, int>;
  static uint64_t Key(int32_t x, int32_t y) { return (uint64_t(uint32_t(x)) << 32) | uint32_t(y); }
  TCounts& Of(TWinControl* parent);
  std::unordered_map<const TWinControl*, TCounts> FCounts;
};

// ---------------------------------------------------------------------------
// Selection facade commands.

void TZQKDesignerSelectedComponents::Align(TZQKDesignerAlign horizontal, TZQKDesignerAlign vertical) {
  TZQKEngine* e = Engine();
  TZQKSelCtrls* sel = e->Selection();
  if (sel->Count() == 0 || sel->LastControl() == e->Root()) return;
  sel->RestrictToParent(e->ParentOf(sel->LastControl()));
  TSelectionUpdate update(sel);
  const std::vector<TControl*> controls = SelectedControls(sel);
  const std::vector<TComponent*> components(controls.begin(), controls.end());
  auto command = FDesigner->BeginChange(AlignCaption(horizontal, vertical), components);
  const bool acted = AlignDirection(e, controls, horizontal, true) | AlignDirection(e, controls, vertical, false);
  sel->PlaceHandles();
  if (acted) FDesigner->EndChange(std::move(command), components);
}

void TZQKDesignerSelectedComponents::AlignToGrid() {
  TZQKEngine* e = Engine();
  std::vector<TControl*> controls = SelectedControls(e->Selection());
  std::erase(controls, e->Root());
  if (controls.empty()) return;
  const std::vector<TComponent*> components(controls.begin(), controls.end());
  const int32_t xs = FDesigner->Grid()->XStep(), ys = FDesigner->Grid()->YStep();
  auto command = FDesigner->BeginChange("Align to Grid", components);
  for (TControl* c : controls)
    c->SetBounds(RoundEven(double(c->Left()) / xs) * xs, RoundEven(double(c->Top()) / ys) * ys, c->Width(),
                 c->Height());
  FDesigner->EndChange(std::move(command), components);
}

void TZQKDesignerSelectedComponents::BringToFront() {
  TZQKEngine* e = Engine();
  std::vector<TControl*> controls = SelectedControls(e->Selection());
  std::erase(controls, e->Root());
  if (controls.empty()) return;
  std::vector<TComponent*> components;
  for (TControl* c : controls) components.push_back(e->ComponentOf(c));
  auto command = FDesigner->BeginChange("Bring to Front", components);
  for (TControl* c : controls) rpt::BringToFront(c);
  e->RefreshProxies();
  FDesigner->EndChange(std::move(command), components);
}

void TZQKDesignerSelectedComponents::SendToBack() {
  TZQKEngine* e = Engine();
  std::vector<TControl*> controls = SelectedControls(e->Selection());
  std::erase_if(controls, [e](TControl* c) { return c == e->Root() || e->IsProxy(c); });
  if (controls.empty()) return;
  const std::vector<TComponent*> components(controls.begin(), controls.end());
  auto command = FDesigner->BeginChange("Send to Back", components);
  for (TControl* c : controls) rpt::SendToBack(c);
  e->RefreshProxies();
  FDesigner->EndChange(std::move(command), components);
}

void TZQKDesignerSelectedComponents::Lock(TZQKDesignerLockMode mode) {
  TZQKEngine* e = Engine();
  for (TControl* c : SelectedControls(e->Selection()))
    if (c != e->Root()) FDesigner->SetLockModeOf(c, mode);
  e->Selection()->PlaceHandles();
}

// ---------------------------------------------------------------------------
// Designer commands.

TZQKEngine* TZQKCustomDesigner::ActiveEngine() const {
  if (!FEngine) throw EZQKDesigner(kMustBeActive);
  return FEngine;
}

std::vector<TComponent*> TZQKCustomDesigner::SelectedComponentsOnly() const {
  std::vector<TComponent*> list;
  if (!FEngine) return list;
  TZQKSelCtrls* sel = FEngine->Selection();
  for (int i = 0; i < sel->Count(); ++i)
    if (sel->Controls(i) != FEngine->Root()) list.push_back(FEngine->ComponentOf(sel->Controls(i)));
  return list;
}

TZQKDesignerLockMode TZQKCustomDesigner::LockWithChildren(const TControl* control) const {
  TZQKDesignerLockMode mode = LockModeOf(control);
  if (const auto* w = dynamic_cast<const TWinControl*>(control))
    for (const TControl* child : w->ControlList()) mode = mode + LockModeOf(child);
  return mode;
}

void TZQKCustomDesigner::SelectAll() {
  TZQKEngine* e = ActiveEngine();
  TSelectionUpdate update(e->Selection());
  const std::vector<TComponent*> owned = e->Root()->OwnedComponents();
  for (TComponent* c : owned)
    if (TControl* k = e->ControlOf(c); k && e->CanSelect(k)) e->Selection()->Add(k);
}

void TZQKCustomDesigner::DeleteSelectedComponents() { DeleteSelection("Delete"); }

void TZQKCustomDesigner::DeleteSelection(const std::string& caption) {
  TZQKEngine* e = ActiveEngine();
  e->CancelDrag();
  TZQKSelCtrls* sel = e->Selection();
  if (sel->Count() == 0 || (sel->Count() == 1 && sel->Controls(0) == e->Root())) return;
  TSelectionUpdate update(sel);
  std::vector<TControl*> locked;
  for (TControl* c : SelectedControls(sel))
    if (c != e->Root() && LockWithChildren(c).Contains(lmNoDelete)) locked.push_back(c);
  if (locked.size() == 1)
    throw EZQKDesigner(Format("Component \"%s\" or one of its childrens can not\r\nbe deleted because they are locked",
                              e->ComponentOf(locked.front())->Name()));
  if (locked.size() > 1) throw EZQKDesigner("Some components are locked. Can not delete components");
  auto command = BeginChange(caption, SelectedComponentsOnly());
  // Destroying a component can deselect others (its children): the position is brought
  // back within the count before each step.
  for (int i = sel->Count() - 1; i >= 0; --i) {
    i = std::min(i, sel->Count() - 1);
    if (i < 0) break;
    TControl* c = sel->Controls(i);
    if (c == e->Root()) continue;
    e->ComponentOf(c)->Free();
  }
  EndChange(std::move(command), {});
}

bool TZQKCustomDesigner::CopyAllowed(bool cut) const {
  if (!FEngine) return false;
  TZQKSelCtrls* sel = FEngine->Selection();
  if (sel->Count() == 0 || (sel->Count() == 1 && sel->Controls(0) == FEngine->Root())) return false;
  TWinControl* parent = FEngine->ParentOf(sel->LastControl());
  for (TControl* c : SelectedControls(sel)) {
    if (c == FEngine->Root() || FEngine->ParentOf(c) != parent) continue;
    const TZQKDesignerLockMode mode = LockWithChildren(c);
    if (mode.Contains(lmNoCopy) || (cut && mode.Contains(lmNoDelete))) return false;
  }
  return true;
}

bool TZQKCustomDesigner::CanCopy() const { return CopyAllowed(false); }
bool TZQKCustomDesigner::CanCut() const { return CopyAllowed(true); }

std::string TZQKCustomDesigner::ClipboardMimeType() const {
  std::string type = "application/x-";
  for (unsigned char ch : FClipboardFormat)
    type += std::isalnum(ch) ? static_cast<char>(std::tolower(ch)) : '-';
  return type;
}

void TZQKCustomDesigner::CopyToClipboard() {
  if (!CanCopy()) return;
  TZQKEngine* e = FEngine;
  e->Selection()->RestrictToParent(e->ParentOf(e->Selection()->LastControl()));
  const std::vector<TComponent*> list = SelectedComponentsOnly();
  if (list.empty()) return;
  TMemoryStream stream;
  SaveComponentList(stream, e->Root(), list);
  auto* data = new QMimeData;
  const std::string& bytes = stream.Data();
  data->setData(QString::fromStdString(ClipboardMimeType()), QByteArray(bytes.data(), qsizetype(bytes.size())));
  data->setText(QString::fromStdString(DumpStream(bytes)));
  QGuiApplication::clipboard()->setMimeData(data);
}

void TZQKCustomDesigner::CutToClipboard() {
  if (!CanCut()) return;
  CopyToClipboard();
  DeleteSelection("Cut");
}

TWinControl* TZQKCustomDesigner::PasteTarget() const {
  TControl* last = FEngine->Selection()->LastControl();
  if (!last) return dynamic_cast<TWinControl*>(FEngine->Root());
  return FEngine->FindContainer(last);
}

bool TZQKCustomDesigner::CanPaste() const {
  if (!FEngine) return false;
  if (FEngine->Selection()->Count() > 0) {
    TWinControl* target = PasteTarget();
    if (!target || LockModeOf(target).Contains(lmNoInsertIn)) return false;
  }
  const QMimeData* data = QGuiApplication::clipboard()->mimeData();
  if (!data) return false;
  return data->hasFormat(QString::fromStdString(ClipboardMimeType())) ||
         (data->hasText() && LooksLikeComponentList(data->text()));
}

std::string TZQKCustomDesigner::ClipboardBytes() const {
  const QMimeData* data = QGuiApplication::clipboard()->mimeData();
  if (!data) return {};
  const QString type = QString::fromStdString(ClipboardMimeType());
  if (data->hasFormat(type)) {
    const QByteArray bytes = data->data(type);
    return std::string(bytes.constData(), size_t(bytes.size()));
  }
  return BuildStream(data->text().toStdString());
}

void TZQKCustomDesigner::PasteFromClipboard() {
  if (!CanPaste()) return;
  std::string bytes;
  try {
    bytes = ClipboardBytes();
    // Only a whole, well-formed component list is read: anything else changes nothing.
    if (DumpStream(bytes).rfind("components", 0) != 0) throw EReadError("not a component list");
  } catch (const Exception& e) {
    throw EZQKDesigner(std::string("The clipboard holds no components that can be pasted (") + e.what() + ")");
  }
  PasteBytes(bytes);
}

void TZQKCustomDesigner::PasteBytes(const std::string& bytes) {
  TZQKEngine* e = ActiveEngine();
  e->CancelDrag();
  TComponent* root = e->Root();
  TWinControl* target = PasteTarget();
  if (!target) target = dynamic_cast<TWinControl*>(root);
  TZQKSelCtrls* sel = e->Selection();
  TSelectionUpdate update(sel);
  const std::vector<TControl*> previous = SelectedControls(sel);
  sel->SelectOnly(nullptr);
  auto command = BeginChange("Paste", {});
  THiddenWhileFilling hidden(target);
  std::unordered_map<std::string, std::string> renamed;  // old name to new name
  std::unordered_map<std::string, int> nextNumber;        // by class
  std::vector<TComponent*> pasted;
  const int ownedBefore = root->ComponentCount();
  TMemoryStream stream(bytes);
  TReader reader(stream);
  reader.OnNameRead = [&](TReader&, TComponent* component, std::string& name) {
    if (!root->FindComponent(name)) return;
    const std::string fresh = e->MakeUniqueName(component->ClassName(), nextNumber[component->ClassName()]);
    renamed.emplace(name, fresh);
    name = fresh;
  };
  reader.OnReferenceRead = [&](TReader&, std::string& name) {
    if (auto it = renamed.find(name); it != renamed.end()) name = it->second;
  };
  try {
    reader.ReadComponents(root, target, [&pasted](TComponent* component) { pasted.push_back(component); });
  } catch (...) {
    // Whatever was read goes again: a failed paste changes nothing.
    while (root->ComponentCount() > ownedBefore) root->Components(root->ComponentCount() - 1)->Free();
    sel->SelectExactly(previous);
    throw;
  }
  // Placed once read whole: controls take their stored bounds only when loading ends.
  TTakenPositions taken;
  for (TComponent* component : pasted) {
    e->NotifyComponent(component, coInsert);
    TControl* k = e->ControlOf(component);
    if (!k || !e->CanSelect(k)) continue;
    auto* proxy = dynamic_cast<TZQKNonvisualControl*>(k);
    if (proxy) proxy->Refresh();
    MoveToFreePosition(k, taken);
    if (proxy) proxy->Refresh();
    sel->Add(k);
  }
  EndChange(std::move(command), pasted);
}

void TZQKCustomDesigner::MoveToFreePosition(TControl* control, TTakenPositions& taken) {
  TWinControl* parent = FEngine->ParentOf(control);
  if (!parent) return;
  const int32_t w = control->Width(), h = control->Height();
  const int32_t xs = FGrid->XStep(), ys = FGrid->YStep();
  int32_t x = std::min(control->Left(), parent->Width() - w);
  int32_t y = std::min(control->Top(), parent->Height() - h);
  while (taken.Taken(parent, control, x, y)) {
    const int32_t nx = std::min(x + xs, parent->Width() - w), ny = std::min(y + ys, parent->Height() - h);
    if (nx == x && ny == y) break;
    x = nx, y = ny;
  }
  const TPoint from{control->Left(), control->Top()};
  control->SetBounds(x, y, w, h);
  taken.Moved(parent, control, from);
}

TTakenPositions::TCounts& TTakenPositions::Of(TWinControl* parent) {
  auto [it, fresh] = FCounts.try_emplace(parent);
  if (fresh)
    for (TControl* c : parent->ControlList()) ++it->second[Key(c->Left(), c->Top())];
  return it->second;
}

bool TTakenPositions::Taken(TWinControl* parent, const TControl* except, int32_t x, int32_t y) {
  const TCounts& counts = Of(parent);
  const auto it = counts.find(Key(x, y));
  int n = it == counts.end() ? 0 : it->second;
  if (except->Parent() == parent && except->Left() == x && except->Top() == y) --n;
  return n > 0;
}

void TTakenPositions::Moved(TWinControl* parent, const TControl* control, TPoint from) {
  if (control->Parent() != parent) return;
  TCounts& counts = Of(parent);
  --counts[Key(from.X, from.Y)];
  ++counts[Key(control->Left(), control->Top())];
}

// ---------------------------------------------------------------------------
// The keyboard.

void TZQKCustomDesigner::DesignKeyDown(uint16_t key, TShiftState shift) {
  TZQKEngine* e = ActiveEngine();
  TZQKSelCtrls* sel = e->Selection();
  switch (key) {
    case VK_TAB:
      e->CancelDrag();
      SelectNeighbour(shift.Contains(ssShift));
      return;
    case VK_ESCAPE: {
      if (e->Dragging()) {
        e->CancelDrag();
        return;
      }
      TControl* target = sel->Count() ? e->FindSelectable(e->ParentOf(sel->LastControl())) : nullptr;
      sel->SelectOnly(target ? target : e->Root());
      return;
    }
    case VK_LEFT:
    case VK_UP:
    case VK_RIGHT:
    case VK_DOWN: {
      if (sel->Count() == 0) return;
      e->CancelDrag();
      const int dx = key == VK_LEFT ? -1 : key == VK_RIGHT ? 1 : 0;
      const int dy = key == VK_UP ? -1 : key == VK_DOWN ? 1 : 0;
      if (shift.Contains(ssShift))
        NudgeSelection(dx, dy, true);
      else if (shift.Contains(ssCtrl))
        NudgeSelection(dx, dy, false);
      else if (!shift.Contains(ssAlt))
        SelectNearest(dx, dy);
      return;
    }
    case VK_DELETE:
      DeleteSelectedComponents();
      return;
    default:
      return;
  }
}

void TZQKCustomDesigner::NudgeSelection(int dx, int dy, bool size) {
  TZQKEngine* e = FEngine;
  TZQKSelCtrls* sel = e->Selection();
  if (sel->LastControl() == e->Root()) return;
  TSelectionUpdate update(sel);
  sel->RestrictToParent(e->ParentOf(sel->LastControl()));
  for (TControl* c : SelectedControls(sel))
    if (LockModeOf(c).Contains(size ? lmNoResize : lmNoMove)) sel->Remove(c);
  const std::vector<TControl*> controls = SelectedControls(sel);
  if (controls.empty()) return;
  std::vector<TComponent*> components;
  for (TControl* c : controls) components.push_back(e->ComponentOf(c));
  auto command = BeginChange(size ? "Size" : "Move", components, size ? mkNudgeSize : mkNudgeMove);
  for (TControl* c : controls) {
    if (size)
      c->SetBounds(c->Left(), c->Top(), std::max(c->Width() + dx, 0), std::max(c->Height() + dy, 0));
    else
      c->SetBounds(c->Left() + dx, c->Top() + dy, c->Width(), c->Height());
  }
  EndChange(std::move(command), components);
}

void TZQKCustomDesigner::SelectNeighbour(bool backward) {
  TZQKEngine* e = FEngine;
  TZQKSelCtrls* sel = e->Selection();
  if (sel->Count() == 0 || sel->LastControl() == e->Root()) return;
  const std::vector<TComponent*>& owned = e->Root()->OwnedComponents();
  const int n = static_cast<int>(owned.size());
  const TComponent* last = e->ComponentOf(sel->LastControl());
  const int i = static_cast<int>(std::find(owned.begin(), owned.end(), last) - owned.begin());
  auto fits = [&](int k) -> TControl* {
    TControl* c = e->ControlOf(owned[static_cast<size_t>(k)]);
    return c && e->CanSelect(c) && e->ParentOf(c) ? c : nullptr;
  };
  TControl* found = nullptr;
  if (!backward) {
    for (int k = i + 1; k < n && !found; ++k) found = fits(k);
    for (int k = 0; k < std::min(i, n) && !found; ++k) found = fits(k);
  } else {
    for (int k = i - 1; k >= 0 && !found; --k) found = fits(k);
    for (int k = n - 1; k > i && !found; --k) found = fits(k);
  }
  if (found) sel->SelectOnly(found);
}

void TZQKCustomDesigner::SelectNearest(int dx, int dy) {
  TZQKEngine* e = FEngine;
  TZQKSelCtrls* sel = e->Selection();
  TControl* current = sel->LastControl();
  if (current == e->Root()) return;
  TWinControl* parent = e->ParentOf(current);
  if (!parent) return;
  // Quarter turns that make the arrow point left.
  const int turns = dx < 0 ? 0 : dy < 0 ? 3 : dx > 0 ? 2 : 1;
  auto turned = [turns](TRect r) {
    for (int t = 0; t < turns; ++t) r = Turn(r);
    return r;
  };
  const TRect a = turned(current->BoundsRect());
  const double px = a.Left, py = (a.Top + a.Bottom) / 2;
  TControl* best = nullptr;
  double bestDistance = 0;
  auto consider = [&](TControl* candidate) {
    if (candidate == current || !e->CanSelect(candidate)) return;
    const TRect b = turned(candidate->BoundsRect());
    double distance;
    if (b.Right < a.Left) {
      const int32_t gap = a.Left - b.Right;
      if ((a.Top > b.Bottom && a.Top - b.Bottom > gap) || (b.Top > a.Bottom && b.Top - a.Bottom > gap)) return;
      const double y = std::clamp(py, double(b.Top), double(b.Bottom));
      distance = std::hypot(px - b.Right, py - y);
    } else {
      const bool overlaps = b.Right >= a.Left && a.Right >= b.Left && b.Bottom >= a.Top && b.Top <= a.Bottom;
      if (!overlaps || (b.Left + b.Right) / 2 >= (a.Left + a.Right) / 2) return;
      distance = std::abs(py - std::clamp(py, double(b.Top), double(b.Bottom)));
    }
    if (!best || distance < bestDistance) best = candidate, bestDistance = distance;
  };
  for (TControl* child : parent->ControlList())
    if (!e->IsProxy(child)) consider(child);
  if (parent == e->Root())
    for (TZQKNonvisualControl* proxy : e->Proxies()) consider(proxy);
  if (best) sel->SelectOnly(best);
}

// ---------------------------------------------------------------------------
// The history.

std::unique_ptr<TZQKDesignCommand> TZQKCustomDesigner::BeginChange(const std::string& caption,
                                                                   const std::vector<TComponent*>& components,
                                                                   int mergeKey) {
  if (!FDesignControl) throw EZQKDesigner("Design control not specified");
  return std::make_unique<TZQKDesignCommand>(caption, mergeKey, TZQKDesignState::Capture(FDesignControl, components));
}

void TZQKCustomDesigner::EndChange(std::unique_ptr<TZQKDesignCommand> command,
                                   const std::vector<TComponent*>& components, bool keepEmpty) {
  TCounter recording(FRecording);
  if (command && FDesignControl) {
    command->SetAfter(TZQKDesignState::Capture(FDesignControl, components));
    if (keepEmpty || !command->ChangedNothing()) FHistory->Push(std::move(command));
  }
  if (FEngine)
    FEngine->NotifyModified();
  else
    DoChange();
}

void TZQKCustomDesigner::ChangeComponents(const std::string& caption, const std::vector<TComponent*>& components,
                                          const std::function<void()>& change, int mergeKey) {
  // The root's own properties are part of the whole document only.
  if (std::find(components.begin(), components.end(), FDesignControl) != components.end()) {
    if (CanRecordDocument()) {
      ChangeDocument(caption, change, mergeKey);
      return;
    }
    change();
    DesignChanged();
    return;
  }
  auto command = BeginChange(caption, components, mergeKey);
  try {
    change();
  } catch (...) {
    EndChange(std::move(command), components, true);
    throw;
  }
  EndChange(std::move(command), components, true);
}

bool TZQKCustomDesigner::ChangeDocument(const std::string& caption, const std::function<void()>& change,
                                        int mergeKey) {
  if (!CanRecordDocument()) {
    change();
    DesignChanged();
    return false;
  }
  auto command = std::make_unique<TZQKDesignCommand>(caption, mergeKey, TZQKDesignState::Document(OnSaveDocument()));
  bool recorded = false;
  auto finish = [&] {
    TCounter recording(FRecording);
    command->SetAfter(TZQKDesignState::Document(OnSaveDocument()));
    recorded = !command->ChangedNothing();
    if (recorded) FHistory->Push(std::move(command));
    if (FEngine)
      FEngine->NotifyModified();
    else
      DoChange();
  };
  try {
    TCounter recording(FRecording);
    change();
  } catch (...) {
    finish();
    throw;
  }
  finish();
  return recorded;
}

void TZQKCustomDesigner::ReplaceDesignControl(TComponent* root) {
  if (!root) throw EZQKDesigner("Design control not specified");
  if (root == FDesignControl) return;
  // Lock sets belong to controls: they follow the new ones by name.
  std::vector<std::pair<std::string, TZQKDesignerLockMode>> locks(FRemovedLocks.begin(), FRemovedLocks.end());
  for (const auto& [control, mode] : FLocks)
    if (control->Owner() == FDesignControl) locks.emplace_back(control->Name(), mode);
  TCounter recording(FRecording);
  const bool active = Active();
  if (active) Deactivate();
  if (FDesignControl) UnwatchComponent(FDesignControl);
  FDesignControl = root;
  WatchComponent(root);
  // The old controls go with the old root: they take no lock entries with them.
  for (const auto& entry : FLocks) UnwatchComponent(const_cast<TControl*>(entry.first));
  FLocks.clear();
  FRemovedLocks.clear();
  if (active) Activate();
  for (const auto& [name, mode] : locks) {
    TComponent* c = root->FindComponent(name);
    TControl* k = c && FEngine ? FEngine->ControlOf(c) : nullptr;
    if (k) SetLockModeOf(k, mode);
    else FRemovedLocks[name] = mode;
  }
}

bool TZQKCustomDesigner::CanUndo() const { return FEngine && FHistory->CanUndo(); }
bool TZQKCustomDesigner::CanRedo() const { return FEngine && FHistory->CanRedo(); }

std::string TZQKCustomDesigner::UndoCaption() const {
  const TZQKDesignCommand* c = FHistory->UndoCommand();
  return c ? "Undo " + c->Caption() : "Undo";
}

std::string TZQKCustomDesigner::RedoCaption() const {
  const TZQKDesignCommand* c = FHistory->RedoCommand();
  return c ? "Redo " + c->Caption() : "Redo";
}

void TZQKCustomDesigner::Undo() {
  ActiveEngine();
  const TZQKDesignCommand* command = FHistory->UndoCommand();
  if (!command) return;
  ApplyState(*command, true);
  FHistory->StepBack();
  TCounter recording(FRecording);
  FEngine->NotifyModified();
}

void TZQKCustomDesigner::Redo() {
  ActiveEngine();
  const TZQKDesignCommand* command = FHistory->RedoCommand();
  if (!command) return;
  ApplyState(*command, false);
  FHistory->StepForward();
  TCounter recording(FRecording);
  FEngine->NotifyModified();
}

void TZQKCustomDesigner::ApplyState(const TZQKDesignCommand& command, bool undo) {
  TZQKEngine* e = ActiveEngine();
  e->CancelDrag();
  const TZQKDesignState& wanted = undo ? command.Before() : command.After();
  if (wanted.IsDocument()) {
    // The host makes the document again: the engine, its selection and every control
    // are new afterwards. A document that cannot be made again changes nothing.
    TCounter recording(FRecording);
    e->Selection()->SelectOnly(nullptr);
    try {
      OnLoadDocument(wanted.DocumentBytes());
    } catch (...) {
      if (FEngine && FEngine->Selection()->Count() == 0) FEngine->Selection()->Add(FEngine->Root());
      throw;
    }
    if (FEngine && FEngine->Selection()->Count() == 0) FEngine->Selection()->Add(FEngine->Root());
    return;
  }
  TComponent* root = FDesignControl;
  // Lock sets belong to controls, which are made anew: they follow by name, also those
  // of controls an earlier step destroyed.
  std::vector<std::pair<std::string, TZQKDesignerLockMode>> locks(FRemovedLocks.begin(), FRemovedLocks.end());
  for (const auto& [control, mode] : FLocks)
    if (TComponent* c = e->ComponentOf(const_cast<TControl*>(control)); c && c->Owner() == root)
      locks.emplace_back(c->Name(), mode);
  TCounter recording(FRecording);
  TZQKSelCtrls* sel = e->Selection();
  TSelectionUpdate update(sel);
  sel->SelectOnly(nullptr);
  const TZQKDesignState& target = undo ? command.Before() : command.After();
  const TZQKDesignState& current = undo ? command.After() : command.Before();
  std::vector<TComponent*> made;
  bool inPlace = false;
  try {
    // A step whose streams are equal changed what is not stored: only making the
    // components again undoes that.
    inPlace = !command.ChangedNothing() && target.RestoreInPlace(root, current, made);
    if (!inPlace) made = target.Restore(root, current);
  } catch (...) {
    // Half a step cannot be undone again: the history no longer fits the design.
    FHistory->Clear(false);
    sel->Add(e->Root());
    throw;
  }
  if (inPlace) {
    // The same components, changed: their proxies show where they now stand.
    for (TComponent* c : made)
      if (TZQKNonvisualControl* proxy = e->ProxyOf(c)) proxy->Refresh();
  } else {
    ReinsertRestored(made, locks);
  }
  for (TComponent* c : made)
    if (TControl* k = e->ControlOf(c); k && e->CanSelect(k)) sel->Add(k);
  if (sel->Count() == 0) sel->Add(e->Root());
}

void TZQKCustomDesigner::ReinsertRestored(const std::vector<TComponent*>& made,
                                          const std::vector<std::pair<std::string, TZQKDesignerLockMode>>& locks) {
  TZQKEngine* e = FEngine;
  TComponent* root = FDesignControl;
  for (TComponent* c : made) e->NotifyComponent(c, coInsert);
  for (TComponent* c : made) {
    std::vector<TComponent*> subtree{c};
    for (size_t i = 0; i < subtree.size(); ++i)
      if (auto* w = dynamic_cast<TWinControl*>(subtree[i]))
        for (TControl* child : w->ControlList()) subtree.push_back(child);
    for (TComponent* k : subtree) FRemovedLocks.erase(k->Name());
  }
  for (const auto& [name, mode] : locks)
    if (TComponent* c = root->FindComponent(name))
      if (TControl* k = e->ControlOf(c); k && LockModeOf(k).Empty()) SetLockModeOf(k, mode);
}

void TZQKCustomDesigner::ChangedOutsideHistory() { FHistory->Clear(false); }

void TZQKCustomDesigner::DesignChanged() {
  if (FRecording == 0) ChangedOutsideHistory();
  DoChange();
}

}  // namespace rpt
