#pragma once
// Components (name, owner, owned components, notifications, watch links, state flags,
// streaming hooks) and the window-less control model (parent, bounds, z-order).
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "objects/ClassBuilder.h"
#include "objects/StdTypes.h"

namespace rpt {

class TFiler;
class TComponent;
class TControl;
class TWinControl;
// The window layer's widget peer of a control; none in headless use.
class TControlPeer;

// What changed on a control that has a peer (or whose new parent has one).
enum TControlChange : uint8_t { ccParent, ccBounds, ccVisible, ccEnabled, ccCursor, ccChildOrder, ccDestroying, ccOpaque };

// The window layer (the framework) follows controls through this interface. Controls
// without a peer never call it, so headless models and worker threads never reach it.
class TWindowLayer {
 public:
  virtual ~TWindowLayer() = default;
  virtual void ControlChanged(TControl* control, TControlChange change) = 0;
  // A component under design (sfDesigning) is about to get a new name: the designer
  // of its root may refuse by throwing. Nothing is checked here by default.
  virtual void CheckRename(TComponent* /*component*/, const std::string& /*oldName*/,
                           const std::string& /*newName*/) {}
};
void SetWindowLayer(TWindowLayer* layer);
TWindowLayer* WindowLayer();

enum TComponentStateFlag : uint32_t {
  sfLoading = 1u << 0,
  sfReading = 1u << 1,
  sfWriting = 1u << 2,
  sfDestroying = 1u << 3,
  sfDesigning = 1u << 4,
  sfInline = 1u << 5,
  sfFreeNotified = 1u << 6,
};
using TComponentState = uint32_t;

enum TComponentOperation : uint8_t { coInsert, coRemove };

using TGetChildProc = std::function<void(class TComponent*)>;

// True for A..Z, a..z and "_" first, then also 0..9; ASCII only.
bool IsValidIdent(std::string_view name);

class TComponent : public TPersistent {
  RPT_CLASS(TComponent, TPersistent)

  TComponent() = default;
  ~TComponent() override;

  // Construction into an owner: the component is complete before the owner hears of
  // it, so notification handlers see its real class.
  template <class T>
  static T* Create(TComponent* owner) {
    return static_cast<T*>(T::StaticClass().CreateComponent(owner));
  }
  // Runs once after construction and insertion into the owner.
  virtual void AfterConstruction() {}

  const std::string& Name() const { return FName; }
  void SetName(const std::string& name);
  int32_t Tag() const { return FTag; }
  void SetTag(int32_t tag) { FTag = tag; }

  TComponent* Owner() const { return FOwner; }
  int ComponentCount() const { return static_cast<int>(FComponents.size()); }
  TComponent* Components(int index) const;  // "List index out of bounds (%d)"
  int ComponentIndex() const;
  // Moves this component to Index among its owner's components (clamped); the order is
  // the one streams and lists follow.
  void SetComponentIndex(int index);
  const std::vector<TComponent*>& OwnedComponents() const { return FComponents; }
  TComponent* FindComponent(std::string_view name) const;

  void InsertComponent(TComponent* component);
  void RemoveComponent(TComponent* component);

  TComponentState ComponentState() const { return FState; }
  bool HasState(TComponentStateFlag flag) const { return (FState & flag) != 0; }
  void SetState(TComponentStateFlag flag) { FState |= flag; }
  void ClearState(TComponentStateFlag flag) { FState &= ~static_cast<uint32_t>(flag); }
  // Sets or clears sfDesigning here and on everything this component owns.
  void SetDesigning(bool value);
  void SetInline(bool value);

  // A sub-component is written nested under the property that holds it.
  bool IsSubComponent() const { return FSubComponent; }
  void SetSubComponent(bool value) { FSubComponent = value; }

  virtual void ComponentNotification(TComponent* component, TComponentOperation operation);
  // Lets class descriptors tell whether a class overrides ComponentNotification.
  using TNotificationMember = void (TComponent::*)(TComponent*, TComponentOperation);
  void WatchComponent(TComponent* other);
  void UnwatchComponent(TComponent* other);
  bool IsWatching(const TComponent* other) const;

  // Design-time position of a component that is not a control.
  int32_t DesignLeft() const { return FDesignLeft; }
  int32_t DesignTop() const { return FDesignTop; }
  void SetDesignPosition(int32_t left, int32_t top) { FDesignLeft = left, FDesignTop = top; }

  // Streaming hooks.
  virtual void EnumerateChildren(const TGetChildProc& proc, TComponent* root);
  virtual TComponent* OwnerForChildren() { return nullptr; }
  virtual TComponent* ParentForChildren() { return this; }
  virtual bool HasParentComponent() const { return false; }
  virtual TComponent* GetParentComponent() const { return nullptr; }
  virtual void AttachToParent(TComponent* parent);
  virtual void SetChildPosition(TComponent* child, int position);
  virtual void AfterLoad();
  void DefineProperties(TFiler& filer) override;

  // Pending references of a stream to components of another root point at this one.
  void MarkGlobalReferences() { FHasGlobalReferences = true; }

 protected:
  // The container check of insertion: throw to refuse the new owner.
  virtual void ValidateContainer(TComponent* owner);
  // The name has just changed (a label whose caption was its name follows it).
  virtual void Renamed(const std::string& /*oldName*/) {}
  // Rename check (see SetName); an owner under design also asks its own owner.
  virtual void ValidateRename(TComponent* component, const std::string& curName, const std::string& newName);
  void BeforeDestruction() override;
  void Destroy() override;
  // Marks this component and everything it owns sfDestroying.
  void Destroying();
  // True once Destroy() ran; destructors reached through a plain delete do its work.
  bool Destroyed() const { return FDestroyed; }

 private:
  void BindField(bool bind);
  void IndexName(TComponent* component, bool add);
  void Adopt(TComponent* component);
  void Release(TComponent* component);
  bool ComputeQuiet() const { return FComponents.empty() && FWatchLinks.empty() && !FOverridesNotification; }
  void RefreshQuiet();
  void DestroyComponents();
  void NotifyWatchers();
  void AddWatch(TComponent* other);
  void DropWatch(TComponent* other);

  std::string FName;
  int32_t FTag = 0;
  TComponent* FOwner = nullptr;
  std::vector<TComponent*> FComponents;
  // Owned components by lower-case name: loading a large report looks every name up.
  std::unordered_map<std::string, TComponent*> FNameIndex;
  std::vector<TComponent*> FWatchLinks;
  TComponentState FState = 0;
  int32_t FDesignLeft = 0;
  int32_t FDesignTop = 0;
  bool FSubComponent = false;
  bool FHasGlobalReferences = false;
  // A quiet component owns nothing, watches nothing and keeps the default notification
  // handler, so notifications need not be forwarded to it. The owner counts the others.
  bool FOverridesNotification = true;
  bool FQuiet = false;
  int FLoudChildren = 0;
  bool FDestroyed = false;
};

// ---------------------------------------------------------------------------
class TControl : public TComponent {
  RPT_CLASS(TControl, TComponent)

  TControl() = default;
  ~TControl() override;

  TWinControl* Parent() const { return FParent; }
  virtual void SetParent(TWinControl* parent);

  int32_t Left() const { return FLeft; }
  int32_t Top() const { return FTop; }
  int32_t Width() const { return FWidth; }
  int32_t Height() const { return FHeight; }
  void SetLeft(int32_t v) { SetBounds(v, FTop, FWidth, FHeight); }
  void SetTop(int32_t v) { SetBounds(FLeft, v, FWidth, FHeight); }
  void SetWidth(int32_t v) { SetBounds(FLeft, FTop, v, FHeight); }
  void SetHeight(int32_t v) { SetBounds(FLeft, FTop, FWidth, v); }
  virtual void SetBounds(int32_t left, int32_t top, int32_t width, int32_t height);
  TRect BoundsRect() const { return {FLeft, FTop, FLeft + FWidth, FTop + FHeight}; }

  TCursor Cursor() const { return FCursor; }
  virtual void SetCursor(TCursor cursor) {
    FCursor = cursor;
    NotifyWindowLayer(ccCursor);
  }
  const std::string& Hint() const { return FHint; }
  void SetHint(const std::string& hint) { FHint = hint; }
  bool Enabled() const { return FEnabled; }
  virtual void SetEnabled(bool value) {
    FEnabled = value;
    NotifyWindowLayer(ccEnabled);
  }
  bool Visible() const { return FVisible; }
  virtual void SetVisible(bool value) {
    FVisible = value;
    NotifyWindowLayer(ccVisible);
  }
  TAlign Align() const { return FAlign; }
  void SetAlign(TAlign value) { FAlign = value; }
  TAnchors Anchors() const { return FAnchors; }
  void SetAnchors(TAnchors value) { FAnchors = value; }
  bool IsControlFlag() const { return FIsControl; }
  void SetIsControlFlag(bool value) { FIsControl = value; }

  bool HasParentComponent() const override { return FParent != nullptr; }
  TComponent* GetParentComponent() const override;
  void AttachToParent(TComponent* parent) override;
  void DefineProperties(TFiler& filer) override;

  // The widget peer; set and cleared by the window layer only.
  TControlPeer* Peer() const { return FPeer; }
  void SetPeer(TControlPeer* peer) { FPeer = peer; }

  THelpType FHelpType = htContext;
  std::string FHelpKeyword;
  int32_t FHelpContext = 0;

 protected:
  // Hooks for the window layer: bounds and parent changed.
  virtual void BoundsChanged() {}
  virtual void ParentChanged() {}
  void Destroy() override;
  // Tells the window layer, when this control has a peer.
  void NotifyWindowLayer(TControlChange change);

 private:
  friend class TWinControl;
  TWinControl* FParent = nullptr;
  TControlPeer* FPeer = nullptr;
  int32_t FLeft = 0, FTop = 0, FWidth = 0, FHeight = 0;
  TCursor FCursor = crDefault;
  std::string FHint;
  bool FEnabled = true;
  bool FVisible = true;
  TAlign FAlign = alNone;
  TAnchors FAnchors{akLeft, akTop};
  bool FIsControl = false;
};

// ---------------------------------------------------------------------------
class TWinControl : public TControl {
  RPT_CLASS(TWinControl, TControl)

  TWinControl() = default;
  ~TWinControl() override;

  // Child controls in z-order, bottom first.
  int ControlCount() const { return static_cast<int>(FControls.size()); }
  TControl* Controls(int index) const;
  const std::vector<TControl*>& ControlList() const { return FControls; }
  int ControlIndex(const TControl* control) const;  // -1 when not a child

  virtual int32_t ClientWidth() const { return Width(); }
  virtual int32_t ClientHeight() const { return Height(); }

  void EnumerateChildren(const TGetChildProc& proc, TComponent* root) override;
  void SetChildPosition(TComponent* child, int position) override;
  void DefineProperties(TFiler& filer) override;

 protected:
  friend class TControl;
  virtual void InsertControl(TControl* control);
  virtual void RemoveControl(TControl* control);
  // The children changed their order; the window layer restacks its peers.
  virtual void ChildOrderChanged() {}
  void Destroy() override;

 private:
  std::vector<TControl*> FControls;
};

// ---------------------------------------------------------------------------
// Top-level components (windows and modules of the program): a stream's root name is
// made unique among them, and references to another root resolve through them.
void AddTopLevelComponent(TComponent* component);
void RemoveTopLevelComponent(TComponent* component);
TComponent* FindGlobalComponent(std::string_view name);

}  // namespace rpt
