// The object model: names and renames, ownership and notifications, watch links,
// destruction order, parents and z-order, assignment, and the class registry.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "objects/Filer.h"
#include "tests/objects/TestClasses.h"

namespace rpt::test {
namespace {

using Strings = std::vector<std::string>;

// Records every rename question it is asked and refuses the name "Forbidden".
class TRenameGuard : public TComponent {
  RPT_CLASS(TRenameGuard, TComponent)
  Strings Asked;

 protected:
  void ValidateRename(TComponent* component, const std::string& curName, const std::string& newName) override {
    Asked.push_back((component ? component->Name() : std::string("?")) + ": " + curName + "->" + newName);
    if (newName == "Forbidden") throw EComponentError("Forbidden");
    TComponent::ValidateRename(component, curName, newName);
  }
};

RPT_BEGIN_CLASS(TRenameGuard, TComponent)
RPT_END_CLASS

// Refuses every owner but a TRenameGuard.
class TPicky : public TComponent {
  RPT_CLASS(TPicky, TComponent)

 protected:
  void ValidateContainer(TComponent* owner) override {
    if (!owner->Is<TRenameGuard>()) throw EComponentError("Wrong container");
  }
};

RPT_BEGIN_CLASS(TPicky, TComponent)
RPT_END_CLASS

// Republishes inherited properties with another default or stored rule.
class TRepublishedLabel : public TTestLabel {
  RPT_CLASS(TRepublishedLabel, TTestLabel)
};

RPT_BEGIN_CLASS(TRepublishedLabel, TTestLabel)
  c.Republish("Color").Default(clRed);
  c.Republish("Caption").Stored(false);
  c.Republish("tag").Default(7);
RPT_END_CLASS

// Two classes that nobody else registers.
class TRegBase : public TComponent {
  RPT_CLASS(TRegBase, TComponent)
};
RPT_BEGIN_CLASS(TRegBase, TComponent)
RPT_END_CLASS

class TRegDerived : public TRegBase {
  RPT_CLASS(TRegDerived, TRegBase)
};
RPT_BEGIN_CLASS(TRegDerived, TRegBase)
RPT_END_CLASS

template <class T>
T* Named(TComponent* owner, const std::string& name) {
  T* c = TComponent::Create<T>(owner);
  c->SetName(name);
  return c;
}

TOwnedPtr<TTestComponent> Root(const std::string& name) {
  return TOwnedPtr<TTestComponent>(Named<TTestComponent>(nullptr, name));
}

std::string Save(TComponent* root) {
  TMemoryStream stream;
  SaveComponent(stream, root);
  return stream.Data();
}

std::string Str(std::string_view s) { return std::string(1, static_cast<char>(s.size())) + std::string(s); }

// ---------------------------------------------------------------------------
// Names

TEST(ComponentNameTest, RenameChecksSiblingsIgnoringCase) {
  auto owner = Root("Owner");
  auto* a = Named<TTestComponent>(owner.get(), "QRLabel1");
  auto* b = Named<TTestComponent>(owner.get(), "qrLABEL2");

  a->SetName("qrlabel1");  // only the letter case changes
  EXPECT_EQ(a->Name(), "qrlabel1");
  EXPECT_EQ(owner->FindComponent("QRLABEL1"), a);

  EXPECT_EQ(ErrorMessage([&] { a->SetName("QRLabel2"); }), "A component named QRLabel2 already exists");
  EXPECT_EQ(a->Name(), "qrlabel1");
  EXPECT_EQ(owner->FindComponent("qrlabel1"), a);
  EXPECT_EQ(owner->FindComponent("QRLabel2"), b);

  // A component may change the case of its own name; the old spelling stays found.
  b->SetName("QRLabel2");
  EXPECT_EQ(owner->FindComponent("qrlabel2"), b);

  // A name given up is free again, and no longer finds its old holder.
  b->SetName("Other");
  a->SetName("QRLabel2");
  EXPECT_EQ(owner->FindComponent("qrlabel1"), nullptr);
  EXPECT_EQ(owner->FindComponent("QRLABEL2"), a);
  EXPECT_EQ(owner->FindComponent("other"), b);

  // Components of different owners, or without one, may share a name.
  auto other = Root("QRLabel2");
  auto* nested = Named<TTestComponent>(a, "Other");
  EXPECT_EQ(nested->Owner(), a);
  EXPECT_EQ(owner->FindComponent("Other"), b);
}

TEST(ComponentNameTest, InvalidNamesAreRefusedWithTheirText) {
  auto owner = Root("Owner");
  auto* c = Named<TTestComponent>(owner.get(), "Label1");
  for (const std::string& bad : std::vector<std::string>{"1Label", "Label 1", " Label", "Label1 ", "Caf\xC3\xA9",
                                                         "\xC3\xA9t\xC3\xA9", "a-b", "a.b"}) {
    EXPECT_EQ(ErrorMessage([&] { c->SetName(bad); }), "''" + bad + "'' is not a valid component name");
    EXPECT_EQ(c->Name(), "Label1");
  }
  EXPECT_THROW(c->SetName(std::string("a\0b", 3)), EComponentError);
  EXPECT_EQ(c->Name(), "Label1");
  for (const char* good : {"_", "_1", "a1", "Z9_z", "x"}) {
    c->SetName(good);
    EXPECT_EQ(c->Name(), good);
  }
  // The empty name never conflicts and finds nothing.
  auto* d = Named<TTestComponent>(owner.get(), "");
  c->SetName("");
  EXPECT_EQ(c->Name(), "");
  EXPECT_EQ(d->Name(), "");
  EXPECT_EQ(owner->FindComponent(""), nullptr);
  EXPECT_EQ(owner->ComponentCount(), 2);
}

TEST(ComponentNameTest, InsertionOfATakenNameFailsAndLeavesTheComponentUnowned) {
  auto owner = Root("Owner");
  Named<TTestComponent>(owner.get(), "Label1");
  owner->Heard.clear();
  TOwnedPtr<TTestComponent> stray(Named<TTestComponent>(nullptr, "LABEL1"));
  EXPECT_EQ(ErrorMessage([&] { owner->InsertComponent(stray.get()); }), "A component named LABEL1 already exists");
  EXPECT_EQ(stray->Owner(), nullptr);
  EXPECT_EQ(owner->ComponentCount(), 1);
  EXPECT_TRUE(owner->Heard.empty());

  // The class-specific container check comes first.
  TOwnedPtr<TPicky> picky(TComponent::Create<TPicky>(nullptr));
  EXPECT_EQ(ErrorMessage([&] { owner->InsertComponent(picky.get()); }), "Wrong container");
  EXPECT_EQ(picky->Owner(), nullptr);
  EXPECT_THROW(TComponent::Create<TPicky>(owner.get()), EComponentError);
  EXPECT_EQ(owner->ComponentCount(), 1);

  // A component cannot come to own itself, directly or through its children.
  auto* child = Named<TTestComponent>(stray.get(), "Child");
  EXPECT_THROW(stray->InsertComponent(stray.get()), EComponentError);
  EXPECT_THROW(child->InsertComponent(stray.get()), EComponentError);
  EXPECT_EQ(stray->Owner(), nullptr);
  EXPECT_EQ(child->Owner(), stray.get());
}

TEST(ComponentNameTest, InsertionMovesFromTheOldOwnerAndAnnouncesBoth) {
  auto first = Root("First");
  auto second = Root("Second");
  auto* c = Named<TTestComponent>(first.get(), "C");
  first->Heard.clear();
  second->InsertComponent(c);
  EXPECT_EQ(c->Owner(), second.get());
  EXPECT_EQ(first->ComponentCount(), 0);
  EXPECT_EQ(first->FindComponent("C"), nullptr);
  EXPECT_EQ(second->FindComponent("c"), c);
  EXPECT_EQ(first->Heard, Strings{"remove C"});
  EXPECT_EQ(second->Heard, Strings{"insert C"});
}

TEST(ComponentNameTest, PublishedFieldFollowsRenameRemovalAndDestruction) {
  TOwnedPtr<TTestForm> form(TComponent::Create<TTestForm>(nullptr));
  auto* label = TComponent::Create<TTestLabel>(form.get());
  EXPECT_EQ(form->Label1, nullptr);
  label->SetName("Label1");
  EXPECT_EQ(form->Label1, label);
  label->SetName("Label2");
  EXPECT_EQ(form->Label1, nullptr);
  label->SetName("LABEL1");  // fields are matched ignoring case
  EXPECT_EQ(form->Label1, label);

  // A failed rename leaves the binding as it was.
  Named<TTestLabel>(form.get(), "Taken");
  EXPECT_THROW(label->SetName("taken"), EComponentError);
  EXPECT_EQ(form->Label1, label);

  form->RemoveComponent(label);
  EXPECT_EQ(form->Label1, nullptr);
  form->InsertComponent(label);
  EXPECT_EQ(form->Label1, label);

  // A component of another class with the field's name is not bound, and renaming
  // it does not unbind the right one.
  label->SetName("Label3");
  auto* plain = Named<TTestComponent>(form.get(), "Label1");
  EXPECT_EQ(form->Label1, nullptr);
  plain->SetName("Plain");
  label->SetName("Label1");
  plain->SetName("Plain2");
  EXPECT_EQ(form->Label1, label);

  label->Free();
  EXPECT_EQ(form->Label1, nullptr);
}

TEST(ComponentNameTest, ADesigningOwnerAsksItsOwnOwner) {
  TOwnedPtr<TRenameGuard> top(Named<TRenameGuard>(nullptr, "Top"));
  auto* form = Named<TTestComponent>(top.get(), "Form");
  top->Asked.clear();
  auto* c = Named<TTestComponent>(form, "A");
  EXPECT_TRUE(top->Asked.empty()) << "only an owner under design passes the question on";

  form->SetDesigning(true);
  c->SetName("B");
  EXPECT_EQ(top->Asked, Strings{"A: A->B"});
  EXPECT_EQ(ErrorMessage([&] { c->SetName("Forbidden"); }), "Forbidden");
  EXPECT_EQ(c->Name(), "B");
  c->SetName("B");  // identical: nobody is asked
  EXPECT_EQ(top->Asked.size(), 2u);

  // Insertion into the designing owner asks as well, and a refusal leaves the
  // component unowned.
  TOwnedPtr<TTestComponent> stray(Named<TTestComponent>(nullptr, "Forbidden"));
  EXPECT_THROW(form->InsertComponent(stray.get()), EComponentError);
  EXPECT_EQ(stray->Owner(), nullptr);

  // A component inserted under design is designing with everything it owns.
  stray->SetName("Fine");
  auto* grandChild = Named<TTestComponent>(stray.get(), "Grand");
  form->InsertComponent(stray.get());
  EXPECT_TRUE(stray->HasState(sfDesigning));
  EXPECT_TRUE(grandChild->HasState(sfDesigning));
  form->RemoveComponent(stray.get());
}

// ---------------------------------------------------------------------------
// Notifications

TEST(ComponentNotificationTest, OwnerHearsFirstThenOwnedComponentsLastToFirst) {
  Strings log;
  auto owner = Root("O");
  auto* a = Named<TTestComponent>(owner.get(), "A");
  auto* b = Named<TTestComponent>(owner.get(), "B");
  for (TTestComponent* t : {owner.get(), a, b}) t->Log = &log;
  TOwnedPtr<TTestComponent> c(Named<TTestComponent>(nullptr, "C"));
  c->Log = &log;
  for (TTestComponent* t : {owner.get(), c.get()}) t->Heard.clear();

  // At coInsert the component is already in the list; at coRemove it still is.
  bool listedAtInsert = false, listedAtRemove = false;
  owner->OnNotification = [&](TComponent* x, TComponentOperation op) {
    const bool listed = x->Owner() == owner.get() && x->ComponentIndex() >= 0;
    (op == coInsert ? listedAtInsert : listedAtRemove) = listed;
  };
  owner->InsertComponent(c.get());
  EXPECT_EQ(log, (Strings{"O: insert C", "C: insert C", "B: insert C", "A: insert C"}));
  EXPECT_TRUE(listedAtInsert);
  log.clear();
  owner->RemoveComponent(c.get());
  EXPECT_EQ(log, (Strings{"O: remove C", "C: remove C", "B: remove C", "A: remove C"}));
  EXPECT_TRUE(listedAtRemove);
  EXPECT_EQ(c->Owner(), nullptr);
  EXPECT_EQ(owner->ComponentCount(), 2);

  // A component created into an owner is complete when the owner hears of it.
  std::string classAtInsert;
  owner->OnNotification = [&](TComponent* x, TComponentOperation op) {
    if (op == coInsert) classAtInsert = x->ClassName();
  };
  TComponent::Create<TTestLabel>(owner.get());
  EXPECT_EQ(classAtInsert, "TTestLabel");
  owner->OnNotification = nullptr;
}

TEST(ComponentNotificationTest, ForwardingReachesListenersBelowPlainComponents) {
  auto aboutX = [](const TTestComponent* t) {
    Strings heard;
    for (const std::string& h : t->Heard)
      if (h.ends_with(" X")) heard.push_back(h);
    return heard;
  };
  TOwnedPtr<TComponent> p(TComponent::Create<TComponent>(nullptr));
  auto* q = TComponent::Create<TComponent>(p.get());
  auto* w = Named<TTestComponent>(q, "W");
  TOwnedPtr<TComponent> x(TComponent::Create<TComponent>(nullptr));
  x->SetName("X");
  p->InsertComponent(x.get());
  EXPECT_EQ(aboutX(w), Strings{"insert X"});

  // With the listener moved away nothing below Q listens; a new one is reached again.
  auto elsewhere = Root("Elsewhere");
  elsewhere->InsertComponent(w);
  p->RemoveComponent(x.get());
  EXPECT_EQ(aboutX(w), Strings{"insert X"});
  auto* w2 = Named<TTestComponent>(q, "W2");
  p->InsertComponent(x.get());
  EXPECT_EQ(aboutX(w2), Strings{"insert X"});
  p->RemoveComponent(x.get());
  EXPECT_EQ(aboutX(w2), (Strings{"insert X", "remove X"}));

  // A plain component that watches one of another owner is told when it goes, and
  // drops the link then.
  auto r = Root("R");
  auto* target = Named<TTestComponent>(r.get(), "Target");
  auto* plain = TComponent::Create<TComponent>(p.get());
  plain->WatchComponent(target);
  EXPECT_TRUE(plain->IsWatching(target));
  r.reset();
  EXPECT_FALSE(plain->IsWatching(target));
}

TEST(ComponentNotificationTest, HandlersThatDestroySiblingsClampTheForwarding) {
  // X's removal reaches E, D, C; C destroys D, and D's own removal makes E, B and X
  // destroy A, E and B. When C's handler returns only X and C are left, so the
  // forwarding resumes at the new end (C) and then reaches X.
  auto owner = Root("O");
  auto* x = Named<TTestComponent>(owner.get(), "X");
  auto* a = Named<TTestComponent>(owner.get(), "A");
  auto* b = Named<TTestComponent>(owner.get(), "B");
  auto* c = Named<TTestComponent>(owner.get(), "C");
  auto* d = Named<TTestComponent>(owner.get(), "D");
  auto* e = Named<TTestComponent>(owner.get(), "E");
  c->Trigger = x, c->Victim = d;
  e->Trigger = d, e->Victim = a;
  b->Trigger = d, b->Victim = e;
  x->Trigger = d, x->Victim = b;
  c->Heard.clear();

  x->Free();
  ASSERT_EQ(owner->ComponentCount(), 1);
  EXPECT_EQ(owner->Components(0), c);
  EXPECT_EQ(std::count(c->Heard.begin(), c->Heard.end(), "remove X"), 2);
  EXPECT_EQ(std::count(c->Heard.begin(), c->Heard.end(), "remove D"), 1);
}

TEST(ComponentNotificationTest, WatchLinksAreMutualOnlyAcrossOwners) {
  auto p = Root("P");
  auto q = Root("Q");
  auto* a = Named<TTestComponent>(p.get(), "A");
  auto* b = Named<TTestComponent>(p.get(), "B");
  auto* c = Named<TTestComponent>(q.get(), "C");

  a->WatchComponent(b);
  EXPECT_FALSE(a->IsWatching(b));
  EXPECT_FALSE(b->IsWatching(a));
  EXPECT_TRUE(a->HasState(sfFreeNotified));
  EXPECT_FALSE(b->HasState(sfFreeNotified));

  b->WatchComponent(c);
  b->WatchComponent(c);
  EXPECT_TRUE(b->IsWatching(c));
  EXPECT_TRUE(c->IsWatching(b));
  b->UnwatchComponent(c);  // recorded once, so one call removes it
  EXPECT_FALSE(b->IsWatching(c));
  EXPECT_FALSE(c->IsWatching(b));

  TOwnedPtr<TTestComponent> loose(Named<TTestComponent>(nullptr, "Loose"));
  TOwnedPtr<TTestComponent> loose2(Named<TTestComponent>(nullptr, "Loose2"));
  loose->WatchComponent(loose2.get());
  EXPECT_TRUE(loose->IsWatching(loose2.get()));
  EXPECT_TRUE(loose2->IsWatching(loose.get()));
  loose->WatchComponent(a);
  EXPECT_TRUE(a->IsWatching(loose.get()));

  // A coRemove about a component drops the links in both directions.
  loose->ComponentNotification(loose2.get(), coRemove);
  EXPECT_FALSE(loose->IsWatching(loose2.get()));
  EXPECT_FALSE(loose2->IsWatching(loose.get()));
}

TEST(ComponentNotificationTest, WatcherHearsRemovalWhileTheWatchedStillExists) {
  auto p = Root("P");
  auto q = Root("Q");
  auto* watcher = Named<TTestComponent>(p.get(), "W");
  auto* watched = Named<TTestComponent>(q.get(), "T");
  watched->WatchComponent(watcher);

  bool heard = false;
  watcher->OnNotification = [&](TComponent* x, TComponentOperation op) {
    if (op != coRemove || x != watched) return;
    heard = true;
    EXPECT_EQ(x->Name(), "T");
    EXPECT_TRUE(x->HasState(sfDestroying));
  };
  q.reset();
  EXPECT_TRUE(heard);
  EXPECT_FALSE(watcher->IsWatching(watched));
  watcher->OnNotification = nullptr;

  // The other way round: the watcher goes first and the watched forgets it.
  auto r = Root("R");
  auto* target = Named<TTestComponent>(r.get(), "Target");
  auto* early = Named<TTestComponent>(p.get(), "Early");
  early->WatchComponent(target);
  early->Free();
  EXPECT_FALSE(target->IsWatching(early));
  EXPECT_EQ(target->Heard.back(), "remove Early");
  r.reset();  // must not reach the freed watcher
}

TEST(ComponentNotificationTest, LinksBetweenLabelsAreClearedWhenTheTargetGoes) {
  TOwnedPtr<TTestForm> f1(TComponent::Create<TTestForm>(nullptr));
  TOwnedPtr<TTestForm> f2(TComponent::Create<TTestForm>(nullptr));
  auto* label = Named<TTestLabel>(f1.get(), "Label1");
  auto* across = Named<TTestLabel>(f2.get(), "Across");
  auto* near = Named<TTestLabel>(f1.get(), "Near");

  label->SetLink(across);
  f2.reset();
  EXPECT_EQ(label->Link, nullptr);

  // Same owner: no link, but the owner's forwarding clears the reference.
  label->SetLink(near);
  EXPECT_FALSE(near->IsWatching(label));
  near->Free();
  EXPECT_EQ(label->Link, nullptr);
}

// ---------------------------------------------------------------------------
// Destruction

TEST(ComponentDestructionTest, OwnedComponentsGoLastToFirstAfterTheWholeTreeIsMarked) {
  auto owner = Root("O");
  auto* a = Named<TTestComponent>(owner.get(), "A");
  Named<TTestComponent>(a, "A1");
  Named<TTestComponent>(a, "A2");
  Named<TTestComponent>(owner.get(), "B");
  Named<TTestComponent>(owner.get(), "C");

  std::set<TComponent*> alive;
  std::vector<TTestComponent*> all{owner.get()};
  for (size_t i = 0; i < all.size(); ++i)
    for (TComponent* c : all[i]->OwnedComponents()) all.push_back(static_cast<TTestComponent*>(c));
  Strings order;
  for (TTestComponent* t : all) {
    alive.insert(t);
    t->OnDestroy = [&](TTestComponent* dying) {
      order.push_back(dying->Name());
      for (TComponent* c : alive) EXPECT_TRUE(c->HasState(sfDestroying)) << c->Name() << " when " << dying->Name();
      alive.erase(dying);
    };
  }
  // A watcher of the root hears it with the whole tree already marked.
  auto watcher = Root("W");
  watcher->WatchComponent(owner.get());
  bool marked = false;
  watcher->OnNotification = [&](TComponent*, TComponentOperation op) {
    if (op == coRemove) marked = a->HasState(sfDestroying) && a->Components(0)->HasState(sfDestroying);
  };

  owner.reset();
  EXPECT_EQ(order, (Strings{"O", "C", "B", "A", "A2", "A1"}));
  EXPECT_TRUE(marked);
}

TEST(ComponentDestructionTest, OwnerHearsOnlyWatchedChildrenUnlessDesigningInline) {
  Strings log;
  auto holder = Root("Holder");
  auto* owner = Named<TTestComponent>(holder.get(), "O");
  Named<TTestComponent>(owner, "Plain");
  auto* watched = Named<TTestComponent>(owner, "Watched");
  auto elsewhere = Root("Elsewhere");
  watched->WatchComponent(elsewhere.get());
  holder->Heard.clear();
  owner->Log = &log;
  owner->Free();
  // Only the watched child is announced; last, O hears its own removal from Holder.
  EXPECT_EQ(log, (Strings{"O: remove Watched", "O: remove O"}));
  EXPECT_EQ(holder->Heard, Strings{"remove O"});
  EXPECT_EQ(elsewhere->Heard, Strings{"remove Watched"});

  log.clear();
  auto designing = Root("D");
  Named<TTestComponent>(designing.get(), "One");
  Named<TTestComponent>(designing.get(), "Two");
  designing->SetDesigning(true);
  designing->SetInline(true);
  designing->Log = &log;
  designing.reset();
  EXPECT_EQ(log, (Strings{"D: remove Two", "D: remove One"}));
}

TEST(ComponentDestructionTest, AWindowControlDestroysItsChildControls) {
  auto holder = Root("Holder");
  auto watcher = Root("Watcher");
  TOwnedPtr<TTestLabel> panel(Named<TTestLabel>(nullptr, "Panel"));
  auto* child = Named<TTestLabel>(holder.get(), "Child");
  auto* grandChild = Named<TTestLabel>(holder.get(), "GrandChild");
  child->SetParent(panel.get());
  grandChild->SetParent(child);
  grandChild->WatchComponent(watcher.get());
  holder->Heard.clear();

  panel.reset();
  EXPECT_EQ(holder->ComponentCount(), 0);
  EXPECT_EQ(watcher->Heard, Strings{"remove GrandChild"});
  EXPECT_NE(std::find(holder->Heard.begin(), holder->Heard.end(), "remove Child"), holder->Heard.end());

  // An owner whose later component is the parent of an earlier one: the parent goes
  // first and takes the child along; nothing is destroyed twice.
  auto* early = Named<TTestLabel>(holder.get(), "Early");
  auto* parent = Named<TTestLabel>(holder.get(), "Parent");
  early->SetParent(parent);
  early->WatchComponent(watcher.get());
  watcher->Heard.clear();
  holder.reset();
  EXPECT_EQ(watcher->Heard, Strings{"remove Early"});
}

// ---------------------------------------------------------------------------
// Controls

TEST(ControlTest, ParentCyclesAreRefused) {
  TOwnedPtr<TTestLabel> a(Named<TTestLabel>(nullptr, "A"));
  auto* b = Named<TTestLabel>(a.get(), "B");
  auto* c = Named<TTestLabel>(a.get(), "C");
  b->SetParent(a.get());
  c->SetParent(b);
  EXPECT_THROW(a->SetParent(c), EComponentError);
  EXPECT_THROW(a->SetParent(a.get()), EComponentError);
  EXPECT_THROW(b->SetParent(c), EComponentError);
  EXPECT_EQ(a->Parent(), nullptr);
  EXPECT_EQ(b->Parent(), a.get());
  EXPECT_EQ(c->ControlCount(), 0);
  EXPECT_EQ(b->ControlList(), (std::vector<TControl*>{c}));

  c->SetParent(a.get());  // moves to the end of the new parent's z-order
  EXPECT_EQ(b->ControlCount(), 0);
  EXPECT_EQ(a->ControlList(), (std::vector<TControl*>{b, c}));
  c->SetParent(nullptr);
  EXPECT_EQ(a->ControlIndex(c), -1);
}

TEST(ControlTest, SetChildPositionMovesWithinTheZOrder) {
  TOwnedPtr<TTestLabel> parent(Named<TTestLabel>(nullptr, "P"));
  std::vector<TControl*> kids;
  for (const char* n : {"C0", "C1", "C2", "C3"}) {
    kids.push_back(Named<TTestLabel>(parent.get(), n));
    kids.back()->SetParent(parent.get());
  }
  auto order = [&] {
    std::string s;
    for (TControl* c : parent->ControlList()) s += c->Name() + " ";
    return s;
  };
  parent->SetChildPosition(kids[0], 2);
  EXPECT_EQ(order(), "C1 C2 C0 C3 ");
  parent->SetChildPosition(kids[3], 0);
  EXPECT_EQ(order(), "C3 C1 C2 C0 ");
  parent->SetChildPosition(kids[1], 99);
  EXPECT_EQ(order(), "C3 C2 C0 C1 ");
  parent->SetChildPosition(kids[1], -7);
  EXPECT_EQ(order(), "C1 C3 C2 C0 ");
  TOwnedPtr<TTestLabel> stranger(Named<TTestLabel>(nullptr, "S"));
  parent->SetChildPosition(stranger.get(), 0);
  EXPECT_EQ(order(), "C1 C3 C2 C0 ");
  EXPECT_EQ(stranger->Parent(), nullptr);
}

TEST(ControlTest, IndexesOutsideTheListsFailWithTheIndex) {
  auto owner = Root("O");
  Named<TTestComponent>(owner.get(), "A");
  Named<TTestComponent>(owner.get(), "B");
  EXPECT_EQ(ErrorMessage([&] { owner->Components(2); }), "List index out of bounds (2)");
  EXPECT_EQ(ErrorMessage([&] { owner->Components(-1); }), "List index out of bounds (-1)");
  EXPECT_THROW(owner->Components(2), EListError);
  TOwnedPtr<TTestLabel> parent(Named<TTestLabel>(nullptr, "P"));
  EXPECT_EQ(ErrorMessage([&] { parent->Controls(0); }), "List index out of bounds (0)");
  EXPECT_EQ(ErrorMessage([&] { parent->Items()->Items(3); }), "List index out of bounds (3)");
  EXPECT_EQ(ErrorMessage([&] { parent->Lines()->Strings(-2); }), "List index out of bounds (-2)");
}

TEST(PersistentTest, AssignBetweenIncompatibleClassesNamesBoth) {
  TOwnedPtr<TTestFont> font(new TTestFont);
  TOwnedPtr<TStringList> lines(new TStringList);
  lines->Add("keep");
  font->Name = "Keep";
  EXPECT_EQ(ErrorMessage([&] { font->AssignFrom(nullptr); }), "Cannot assign a nil to a TTestFont");
  EXPECT_EQ(ErrorMessage([&] { font->AssignFrom(lines.get()); }), "Cannot assign a TStringList to a TTestFont");
  EXPECT_EQ(ErrorMessage([&] { lines->AssignFrom(font.get()); }), "Cannot assign a TTestFont to a TStringList");
  EXPECT_THROW(lines->AssignFrom(nullptr), EConvertError);
  EXPECT_EQ(font->Name, "Keep");
  EXPECT_EQ(lines->Lines(), Strings{"keep"});

  TOwnedPtr<TTestLabel> label(Named<TTestLabel>(nullptr, "L"));
  auto plain = Root("C");
  EXPECT_EQ(ErrorMessage([&] { label->AssignFrom(plain.get()); }), "Cannot assign a TTestComponent to a TTestLabel");
  EXPECT_EQ(ErrorMessage([&] { label->Items()->AssignFrom(font.get()); }),
            "Cannot assign a TTestFont to a TCollection");
}

// ---------------------------------------------------------------------------
// Class registry and property lists

class RegistryTest : public ::testing::Test {
 protected:
  void TearDown() override {
    RegisterStreamClass(TPersistent::StaticClass());
    RegisterTestClasses();
  }
};

TEST_F(RegistryTest, RegisteringAClassRegistersItsAncestorsOnce) {
  const TClassDescriptor* chain[] = {&TTestLabel::StaticClass(), &TWinControl::StaticClass(),
                                     &TControl::StaticClass(), &TComponent::StaticClass(),
                                     &TPersistent::StaticClass()};
  for (const TClassDescriptor* c : chain) UnregisterStreamClass(*c);
  for (const TClassDescriptor* c : chain) ASSERT_EQ(FindStreamClass(c->ClassName()), nullptr);

  RegisterStreamClass(TTestLabel::StaticClass());
  for (const TClassDescriptor* c : chain) EXPECT_EQ(FindStreamClass(c->ClassName()), c) << c->ClassName();
  EXPECT_EQ(FindStreamClass("TObject"), nullptr);
  EXPECT_NO_THROW(RegisterStreamClass(TTestLabel::StaticClass()));
  EXPECT_NO_THROW(RegisterStreamClasses({&TTestLabel::StaticClass(), &TControl::StaticClass()}));
  EXPECT_EQ(FindStreamClass("TTestLabel"), &TTestLabel::StaticClass());

  EXPECT_EQ(FindStreamClass("ttestlabel"), &TTestLabel::StaticClass());
  EXPECT_EQ(FindStreamClass("TWINCONTROL"), &TWinControl::StaticClass());
  EXPECT_EQ(FindStreamClass("TNope"), nullptr);
  EXPECT_EQ(FindStreamClass(""), nullptr);

  RegisterStreamClass(TRegDerived::StaticClass());
  EXPECT_EQ(FindStreamClass("TRegBase"), &TRegBase::StaticClass());
}

TEST_F(RegistryTest, AnotherClassOfTheSameNameIsRefused) {
  RegisterTestClasses();
  TClassDescriptor impostor("ttestlabel", &TWinControl::StaticClass());
  EXPECT_EQ(ErrorMessage([&] { RegisterStreamClass(impostor); }), "A class named ttestlabel already exists");
  EXPECT_THROW(RegisterStreamClass(impostor), EFilerError);
  EXPECT_EQ(FindStreamClass("TTestLabel"), &TTestLabel::StaticClass());

  // A new class whose ancestor's name is taken by another class registers nothing.
  TClassDescriptor fakeParent("TTestComponent", &TComponent::StaticClass());
  TClassDescriptor child("TFreshChild", &fakeParent);
  EXPECT_EQ(ErrorMessage([&] { RegisterStreamClass(child); }), "A class named TTestComponent already exists");
  EXPECT_EQ(FindStreamClass("TFreshChild"), nullptr);
  EXPECT_EQ(FindStreamClass("TTestComponent"), &TTestComponent::StaticClass());
}

TEST(PropertyListTest, AncestorsComeFirstAndPositionsAreIndexes) {
  const auto& component = TComponent::StaticClass().Properties();
  const auto& control = TControl::StaticClass().Properties();
  const auto& label = TTestLabel::StaticClass().Properties();
  ASSERT_GT(control.size(), component.size());
  ASSERT_GT(label.size(), control.size());
  for (size_t i = 0; i < component.size(); ++i) EXPECT_EQ(control[i], component[i]);
  for (size_t i = 0; i < control.size(); ++i) EXPECT_EQ(label[i], control[i]);
  for (size_t i = 0; i < label.size(); ++i) {
    EXPECT_EQ(label[i]->Position, static_cast<int>(i)) << label[i]->Name;
    EXPECT_EQ(TTestLabel::StaticClass().FindProperty(label[i]->Name), label[i]);
  }
  EXPECT_EQ(component[0]->Name, "Name");
  EXPECT_EQ(component[1]->Name, "Tag");
  EXPECT_EQ(control[component.size()]->Name, "Left");
  // The label's own properties follow in declaration order.
  Strings own;
  for (size_t i = control.size(); i < label.size(); ++i) own.push_back(label[i]->Name);
  EXPECT_EQ(own, (Strings{"Accel", "AutoSize", "Big", "Caption", "Color", "Font", "First", "Third", "Items", "Lines",
                          "Link", "OnClick", "Precise", "Ratio", "Scale", "Shape", "Small", "Styles", "Tiny", "Value",
                          "Wide"}));

  TOwnedPtr<TTestLabel> probe(TComponent::Create<TTestLabel>(nullptr));
  EXPECT_EQ(GetPropInfo(probe.get(), "cAPTION"), TTestLabel::StaticClass().FindProperty("Caption"));
  EXPECT_EQ(GetPropInfo(probe.get(), "Nope"), nullptr);
  EXPECT_EQ(GetPropInfo(probe.get(), std::string(100, 'a')), nullptr);
  EXPECT_EQ(&GetPropList(probe.get()), &label);
}

TEST(PropertyListTest, RepublishingKeepsThePositionAndChangesTheRules) {
  const TClassDescriptor& base = TTestLabel::StaticClass();
  const TClassDescriptor& derived = TRepublishedLabel::StaticClass();
  ASSERT_EQ(derived.Properties().size(), base.Properties().size());
  for (const char* name : {"Color", "Caption", "Tag"}) {
    const TPropertyInfo* before = base.FindProperty(name);
    const TPropertyInfo* after = derived.FindProperty(name);
    ASSERT_NE(after, before) << name;
    EXPECT_EQ(after->Position, before->Position) << name;
    EXPECT_EQ(after->Name, before->Name) << name;
    EXPECT_EQ(derived.Properties()[static_cast<size_t>(after->Position)], after) << name;
  }
  EXPECT_EQ(derived.FindProperty("Color")->Default, clRed);
  EXPECT_EQ(base.FindProperty("Color")->Default, clWhite);
  EXPECT_EQ(derived.FindProperty("Tag")->Default, 7);
  EXPECT_EQ(TComponent::StaticClass().FindProperty("Tag")->Default, 0);

  // The new rules decide what the stream writes, and the value access still works.
  TOwnedPtr<TRepublishedLabel> owned(TComponent::Create<TRepublishedLabel>(nullptr));
  TRepublishedLabel& label = *owned;
  label.SetName("L");
  label.Caption = "Hidden";
  label.Color = clWhite;
  const std::string data = Save(&label);
  EXPECT_NE(data.find(Str("Color") + '\x07' + Str("clWhite")), std::string::npos);
  EXPECT_EQ(data.find(Str("Caption")), std::string::npos);
  EXPECT_NE(data.find(Str("Tag") + std::string("\x02\x00", 2)), std::string::npos);
  label.Color = clRed;
  label.SetTag(7);
  const std::string defaults = Save(&label);
  EXPECT_EQ(defaults.find(Str("Color")), std::string::npos);
  EXPECT_EQ(defaults.find(Str("Tag")), std::string::npos);

  TClassDescriptor scratch("TScratch", &TComponent::StaticClass());
  EXPECT_EQ(ErrorMessage([&] { scratch.Republish("Nope"); }), "Property Nope does not exist");
}

}  // namespace
}  // namespace rpt::test
