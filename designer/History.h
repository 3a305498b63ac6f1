#pragma once
// The design history: every change a designer makes to its root is one command that
// holds the state of the components it touched before and after, so the change can be
// undone and redone exactly. States are component streams: putting one back destroys
// the components and reads them again, the way a report file is read, so names,
// parents, z-order, owned order and references come back as they were. A step that only
// changed properties of the same components is put back by reading the stored values
// into them, checked byte for byte against the state. A step that changed the root
// itself holds the whole document instead, which its host makes again.
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "objects/Component.h"

namespace rpt {

// One top-level component of a state (its child controls travel in its bytes).
struct TZQKComponentRecord {
  std::string Name;
  bool HasParent = false;     // a control with a parent window
  std::string ParentName;     // empty: the root
  int ZIndex = -1;            // among the parent's child controls
  // Owned indices in the root of the component and of every root-owned control under it.
  std::vector<std::pair<std::string, int>> OwnedIndices;
  std::string Bytes;          // a component list holding the component alone
  bool operator==(const TZQKComponentRecord&) const = default;
};

// A reference from one component's published property (a dotted path through nested
// objects) to a component of the state; destroying the target clears it.
struct TZQKComponentLink {
  std::string Holder;  // empty: the root
  std::string Path;
  std::string Target;
  bool operator==(const TZQKComponentLink&) const = default;
};

class TZQKDesignState {
 public:
  // The state of the given components of Root (components under another given one are
  // left out: they are part of its bytes). The root itself cannot be part of a state.
  static TZQKDesignState Capture(TComponent* root, const std::vector<TComponent*>& components);
  // Puts this state back in place of Other: Other's components and this state's own
  // are destroyed, this state's are read again. Returns the top-level components read.
  std::vector<TComponent*> Restore(TComponent* root, const TZQKDesignState& other) const;
  // The same without making anything again, where it fits: when both states hold the
  // same components under the same parents (a move, a size, a property edit), this
  // state's bytes are read into the components that are there, so their windows stay
  // and pointers to them stay good. False, with the components possibly half changed,
  // when it does not fit or the components then differ from this state in any byte:
  // Restore puts everything right. Top receives the top-level components.
  bool RestoreInPlace(TComponent* root, const TZQKDesignState& other, std::vector<TComponent*>& top) const;

  // The whole document as its host writes it (the root's own properties, everything it
  // owns and what the host keeps beside it, such as its data): the state of a step that
  // changed the root itself. Putting it back is the host's (see the designer's
  // OnLoadDocument).
  static TZQKDesignState Document(std::string bytes);
  bool IsDocument() const { return FIsDocument; }
  const std::string& DocumentBytes() const { return FDocument; }

  const std::vector<TZQKComponentRecord>& Records() const { return FRecords; }
  std::vector<std::string> TopNames() const;
  size_t Cost() const;
  bool operator==(const TZQKDesignState&) const = default;

 private:
  // Z-order, owned order and references of the components as recorded.
  void PutInOrder(TComponent* root) const;
  bool SameComponentsAs(TComponent* root, const TZQKDesignState& other) const;
  std::vector<TZQKComponentRecord> FRecords;
  std::vector<TZQKComponentLink> FLinks;
  bool FIsDocument = false;
  std::string FDocument;
};

// One step of the history. Caption names what the user did ("Move", "Paste").
class TZQKDesignCommand {
 public:
  TZQKDesignCommand(std::string caption, int mergeKey, TZQKDesignState before)
      : FCaption(std::move(caption)), FMergeKey(mergeKey), FBefore(std::move(before)) {}
  const std::string& Caption() const { return FCaption; }
  int MergeKey() const { return FMergeKey; }
  const TZQKDesignState& Before() const { return FBefore; }
  const TZQKDesignState& After() const { return FAfter; }
  void SetAfter(TZQKDesignState after) { FAfter = std::move(after); }
  bool ChangedNothing() const { return FBefore == FAfter; }
  // A later step of the same kind on the same components folds into this one.
  bool CanMerge(const TZQKDesignCommand& later) const;
  void Merge(TZQKDesignCommand&& later) { FAfter = std::move(later.FAfter); }
  size_t Cost() const { return FBefore.Cost() + FAfter.Cost() + FCaption.size() + sizeof(*this); }

 private:
  std::string FCaption;
  int FMergeKey = 0;
  TZQKDesignState FBefore;
  TZQKDesignState FAfter;
};

// Merge keys of the steps that fold into the previous one.
enum TZQKMergeKey : int { mkNone = 0, mkNudgeMove = 1, mkNudgeSize = 2, mkTyping = 3 };

// The steps of one design, oldest first, with the position between done and undone
// steps and the clean point (where the design equals its file).
class TZQKDesignHistory {
 public:
  // Bounds: the oldest steps go first when either is passed.
  static constexpr size_t kMaxSteps = 1000;
  static constexpr size_t kMaxBytes = size_t(64) << 20;

  // A done step; redo steps are dropped. Merges with the top step when it may.
  void Push(std::unique_ptr<TZQKDesignCommand> command);
  bool CanUndo() const { return FIndex > 0; }
  bool CanRedo() const { return FIndex < FCommands.size(); }
  // The steps undo and redo would take; none when there is none.
  const TZQKDesignCommand* UndoCommand() const { return CanUndo() ? FCommands[FIndex - 1].get() : nullptr; }
  const TZQKDesignCommand* RedoCommand() const { return CanRedo() ? FCommands[FIndex].get() : nullptr; }
  void StepBack() { if (CanUndo()) --FIndex; }
  void StepForward() { if (CanRedo()) ++FIndex; }
  size_t Count() const { return FCommands.size(); }
  size_t Index() const { return FIndex; }
  size_t Cost() const { return FCost; }

  void SetClean() { FClean = static_cast<long>(FIndex); }
  bool IsClean() const { return FClean == static_cast<long>(FIndex); }
  // Forgets every step. A design changed outside the history has no clean point left.
  void Clear(bool clean);

 private:
  void Trim();
  std::vector<std::unique_ptr<TZQKDesignCommand>> FCommands;
  size_t FIndex = 0;
  long FClean = 0;  // -1: unreachable
  size_t FCost = 0;
};

}  // namespace rpt
