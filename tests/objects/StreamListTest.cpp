// Component lists (the clipboard form), references within and across roots, the
// reader's hooks, AfterLoad, root naming, object prefixes and the standard custom
// properties.
#include <gtest/gtest.h>

#include <algorithm>

#include "objects/Filer.h"
#include "tests/objects/TestClasses.h"

namespace rpt::test {
namespace {

using Strings = std::vector<std::string>;

std::string B(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s += static_cast<char>(v);
  return s;
}
std::string S(std::string_view s) { return std::string(1, static_cast<char>(s.size())) + std::string(s); }
std::string Ident(std::string_view s) { return B({svIdent}) + S(s); }
std::string Text(std::string_view s) { return B({svString}) + S(s); }
std::string Prop(std::string_view name, const std::string& value) { return S(name) + value; }
std::string Obj(std::string_view cls, std::string_view name, const std::string& props,
                const std::string& children = "") {
  return S(cls) + S(name) + props + B({svNull}) + children + B({svNull});
}
std::string Signed(const std::string& object) { return "TPF0" + object; }

std::string Save(TComponent* root) {
  TMemoryStream stream;
  SaveComponent(stream, root);
  return stream.Data();
}

bool Contains(const std::string& data, const std::string& part) { return data.find(part) != std::string::npos; }

template <class T>
T* Named(TComponent* owner, const std::string& name) {
  T* c = TComponent::Create<T>(owner);
  c->SetName(name);
  return c;
}

// A label owned by Owner and shown in Parent.
TTestLabel* Child(TComponent* owner, TWinControl* parent, const std::string& name) {
  auto* label = Named<TTestLabel>(owner, name);
  label->SetParent(parent);
  return label;
}

TOwnedPtr<TTestForm> Form(const std::string& name) { return TOwnedPtr<TTestForm>(Named<TTestForm>(nullptr, name)); }

TTestLabel* Label(TComponent* owner, const char* name) { return dynamic_cast<TTestLabel*>(owner->FindComponent(name)); }

bool AnyStillLoading(const TComponent* c) {
  if (c->HasState(sfLoading) || c->HasState(sfReading)) return true;
  for (const TComponent* owned : c->OwnedComponents())
    if (AnyStillLoading(owned)) return true;
  return false;
}

void Load(TComponent* root, const std::string& data) {
  TMemoryStream stream(data);
  LoadComponent(stream, root);
}

class StreamListTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { RegisterTestClasses(); }
  void TearDown() override {
    for (TComponent* c : FTopLevel) RemoveTopLevelComponent(c);
    EXPECT_EQ(PendingGlobalReferenceCount(), 0u);
  }
  // Registered as a top-level component until the test ends.
  void AddTopLevel(TComponent* c) {
    FTopLevel.push_back(c);
    AddTopLevelComponent(c);
  }

 private:
  std::vector<TComponent*> FTopLevel;
};

// ---------------------------------------------------------------------------
// Component lists

class ComponentListTest : public StreamListTest {
 protected:
  void SetUp() override {
    Source = Form("Form1");
    L1 = Child(Source.get(), Source.get(), "L1");
    L2 = Child(Source.get(), Source.get(), "L2");
    C1 = Child(Source.get(), L1, "C1");
    Child(Source.get(), Source.get(), "NotCopied");
    L1->SetLink(L2);
    L2->SetLink(Source.get());
    C1->SetLink(L1);
    L1->Caption = "one";
    L1->OnClick.SetMethod({Source->ClassType().FindMethod("Label1Click"), Source.get()});
    SaveComponentList(List, Source.get(), {L1, L2});
    List.Write("XYZ", 3);  // whatever follows the list is not the reader's
  }
  TOwnedPtr<TTestForm> Source;
  TTestLabel *L1 = nullptr, *L2 = nullptr, *C1 = nullptr;
  TMemoryStream List;
};

TEST_F(ComponentListTest, EachComponentIsSignedAndTheListEndsWithNull) {
  const std::string& data = List.Data();
  ASSERT_EQ(data.substr(0, 4), "TPF0");
  size_t signatures = 0;
  for (size_t at = data.find("TPF0"); at != std::string::npos; at = data.find("TPF0", at + 1)) ++signatures;
  EXPECT_EQ(signatures, 2u);
  EXPECT_EQ(data.substr(data.size() - 4), std::string(1, '\0') + "XYZ");
  EXPECT_FALSE(Contains(data, S("NotCopied")));
  EXPECT_TRUE(Contains(data, S("Link") + Ident("Owner")));
  EXPECT_TRUE(Contains(data, S("OnClick") + Ident("Label1Click")));
}

TEST_F(ComponentListTest, ARoundTripKeepsReferencesBetweenTheListedAndToTheRoot) {
  auto target = Form("Form2");
  Child(target.get(), target.get(), "Existing");
  std::vector<TComponent*> delivered;
  List.SetPosition(0);
  LoadComponentList(List, target.get(), target.get(), [&](TComponent* c) { delivered.push_back(c); });
  EXPECT_EQ(List.Position(), List.Size() - 3);

  TTestLabel* n1 = Label(target.get(), "L1");
  TTestLabel* n2 = Label(target.get(), "L2");
  TTestLabel* nc1 = Label(target.get(), "C1");
  ASSERT_TRUE(n1 && n2 && nc1);
  EXPECT_EQ(delivered, (std::vector<TComponent*>{n1, n2}));
  EXPECT_EQ(target->ControlList(), (std::vector<TControl*>{Label(target.get(), "Existing"), n1, n2}));
  EXPECT_EQ(nc1->Owner(), target.get());
  EXPECT_EQ(nc1->Parent(), n1);
  EXPECT_EQ(n1->Link, n2);
  EXPECT_EQ(n2->Link, target.get());
  EXPECT_EQ(nc1->Link, n1);
  EXPECT_EQ(n1->Caption, "one");
  EXPECT_EQ(target->FindComponent("NotCopied"), nullptr);
  ASSERT_TRUE(static_cast<bool>(n1->OnClick));
  n1->OnClick(n1);
  EXPECT_EQ(target->Clicks, 1);
  EXPECT_EQ(Source->Clicks, 0);
  EXPECT_FALSE(AnyStillLoading(target.get()));
}

// Read into the components that are there (a design step put back): their values
// change, nothing is made or loaded again; a component that is not there, or not of
// the stored class, fails the read.
TEST_F(ComponentListTest, ReadingIntoExistingComponentsChangesOnlyTheirValues) {
  const int components = Source->ComponentCount();
  L1->Caption = "changed";
  L1->SetLink(nullptr);
  C1->SetLink(nullptr);
  std::vector<std::string> log;
  for (TTestLabel* l : {L1, L2, C1}) l->AfterLoadLog = &log;
  std::vector<TComponent*> delivered;
  auto readInto = [&] {
    List.SetPosition(0);
    TReader reader(List);
    reader.ReadIntoExisting = true;
    reader.ReadComponents(Source.get(), Source.get(), [&](TComponent* c) { delivered.push_back(c); });
  };
  readInto();
  EXPECT_EQ(delivered, (std::vector<TComponent*>{L1, L2}));
  EXPECT_EQ(Source->ComponentCount(), components);
  EXPECT_EQ(L1->Caption, "one");
  EXPECT_EQ(L1->Link, L2);
  EXPECT_EQ(C1->Link, L1);
  EXPECT_EQ(C1->Parent(), L1);
  EXPECT_TRUE(log.empty());
  EXPECT_FALSE(AnyStillLoading(Source.get()));

  C1->Free();
  EXPECT_EQ(ErrorMessage(readInto), "Component 'C1' of class TTestLabel not found");
  EXPECT_FALSE(AnyStillLoading(Source.get()));
  Named<TTestComponent>(Source.get(), "C1");
  EXPECT_EQ(ErrorMessage(readInto), "Component 'C1' of class TTestLabel not found");
  EXPECT_EQ(Source->ComponentCount(), components);
}

TEST_F(ComponentListTest, PastingBackNeedsNewNamesGivenByTheHooks) {
  const int components = Source->ComponentCount();
  const int controls = Source->ControlCount();
  List.SetPosition(0);
  EXPECT_EQ(ErrorMessage([&] { LoadComponentList(List, Source.get(), Source.get(), nullptr); }),
            "A component named L1 already exists");
  EXPECT_EQ(Source->ComponentCount(), components);
  EXPECT_EQ(Source->ControlCount(), controls);

  List.SetPosition(0);
  {
    TReader reader(List);
    Strings names, paths;
    reader.OnNameRead = [&](TReader&, TComponent* c, std::string& name) {
      EXPECT_TRUE(c->HasState(sfLoading));
      names.push_back(name);
      name += "_copy";
    };
    reader.OnReferenceRead = [&](TReader&, std::string& path) {
      paths.push_back(path);
      if (Source->FindComponent(path + "_copy")) path += "_copy";
    };
    reader.ReadComponents(Source.get(), Source.get(), nullptr);
    EXPECT_EQ(names, (Strings{"L1", "C1", "L2"}));
    std::sort(paths.begin(), paths.end());
    EXPECT_EQ(paths, (Strings{"L1", "L2", "Owner"}));
  }
  TTestLabel* l1 = Label(Source.get(), "L1_copy");
  TTestLabel* l2 = Label(Source.get(), "L2_copy");
  TTestLabel* c1 = Label(Source.get(), "C1_copy");
  ASSERT_TRUE(l1 && l2 && c1);
  EXPECT_EQ(l1->Link, l2);
  EXPECT_EQ(l2->Link, Source.get());
  EXPECT_EQ(c1->Link, l1);
  EXPECT_EQ(c1->Parent(), l1);
  EXPECT_EQ(L1->Link, L2);
}

TEST_F(StreamListTest, NonControlComponentsCarryTheirDesignPosition) {
  auto form = Form("F");
  auto* comp = Named<TTestComponent>(form.get(), "Comp1");
  comp->SetDesignPosition(10, 300);
  TMemoryStream list;
  SaveComponentList(list, form.get(), {comp});
  EXPECT_TRUE(Contains(list.Data(), S("Left") + B({svInt8, 10})));
  EXPECT_TRUE(Contains(list.Data(), S("Top") + B({svInt16, 0x2C, 0x01})));

  auto target = Form("G");
  list.SetPosition(0);
  LoadComponentList(list, target.get(), target.get(), nullptr);
  auto* read = dynamic_cast<TTestComponent*>(target->FindComponent("Comp1"));
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(read->DesignLeft(), 10);
  EXPECT_EQ(read->DesignTop(), 300);

  // Zero is not written.
  TOwnedPtr<TTestComponent> root(Named<TTestComponent>(nullptr, "Comp2"));
  root->SetDesignPosition(0, -5);
  const std::string data = Save(root.get());
  EXPECT_FALSE(Contains(data, S("Left")));
  EXPECT_TRUE(Contains(data, S("Top") + B({svInt8, 0xFB})));
  TOwnedPtr<TTestComponent> copy(TComponent::Create<TTestComponent>(nullptr));
  Load(copy.get(), data);
  EXPECT_EQ(copy->DesignLeft(), 0);
  EXPECT_EQ(copy->DesignTop(), -5);

  // A control keeps its position in its published Left and Top only.
  TOwnedPtr<TTestLabel> label(Named<TTestLabel>(nullptr, "L"));
  label->SetDesignPosition(3, 4);
  label->SetLeft(7);
  const std::string controlData = Save(label.get());
  EXPECT_EQ(controlData.find(S("Left")), controlData.rfind(S("Left")));
  EXPECT_TRUE(Contains(controlData, S("Left") + B({svInt8, 7})));
}

TEST_F(StreamListTest, DesignSizeIsWrittenForChildrenAnchoredOtherThanLeftTop) {
  auto form = Form("F");
  form->SetBounds(0, 0, 400, 300);
  auto* label = Child(form.get(), form.get(), "Label1");
  const std::string designSize = S("DesignSize") + B({svList, svInt16, 0x90, 0x01, svInt16, 0x2C, 0x01, svNull});
  EXPECT_FALSE(Contains(Save(form.get()), S("DesignSize")));

  label->SetAnchors({akLeft, akTop, akRight});
  std::string data = Save(form.get());
  ASSERT_TRUE(Contains(data, designSize));
  // It belongs to the form's own properties, before its first child.
  EXPECT_LT(data.find(designSize), data.find(S("TTestLabel")));
  auto copy = Form("Copy");
  EXPECT_EQ(ErrorMessage([&] { Load(copy.get(), data); }), "(no error)");
  EXPECT_EQ(copy->Label1->Anchors(), (TAnchors{akLeft, akTop})) << "anchors are not streamed";

  label->SetAnchors({akLeft});
  EXPECT_TRUE(Contains(Save(form.get()), designSize));
  label->SetAlign(alClient);  // an aligned child does not count
  EXPECT_FALSE(Contains(Save(form.get()), S("DesignSize")));
}

TEST_F(StreamListTest, IsControlIsWrittenOnlyWhenSet) {
  auto form = Form("F");
  auto* label = Child(form.get(), form.get(), "Label1");
  EXPECT_FALSE(Contains(Save(form.get()), S("IsControl")));
  label->SetIsControlFlag(true);
  const std::string data = Save(form.get());
  EXPECT_TRUE(Contains(data, S("IsControl") + B({svTrue})));
  auto copy = Form("Copy");
  Load(copy.get(), data);
  ASSERT_NE(copy->Label1, nullptr);
  EXPECT_TRUE(copy->Label1->IsControlFlag());
}

// ---------------------------------------------------------------------------
// References

TEST_F(StreamListTest, ReferencePathsFollowTheOwnerChain) {
  auto form = Form("Main");
  auto* label = Child(form.get(), form.get(), "Label1");
  auto pathOf = [&](TComponent* target) -> std::string {
    label->SetLink(target);
    const std::string data = Save(form.get());
    label->SetLink(nullptr);
    const size_t at = data.find(S("Link"));
    if (at == std::string::npos) return "-";
    EXPECT_EQ(data[at + 5], static_cast<char>(svIdent));
    return data.substr(at + 7, static_cast<uint8_t>(data[at + 6]));
  };
  auto* sibling = Child(form.get(), form.get(), "Label2");
  auto* d = Named<TTestComponent>(form.get(), "D");
  auto* c = Named<TTestComponent>(d, "C");
  auto* e = Named<TTestComponent>(c, "E");
  auto other = Form("Other");
  auto* label9 = Named<TTestLabel>(other.get(), "Label9");
  TOwnedPtr<TTestComponent> loose(Named<TTestComponent>(nullptr, "Loose"));
  TOwnedPtr<TTestComponent> unnamedOwner(TComponent::Create<TTestComponent>(nullptr));
  auto* x = Named<TTestComponent>(unnamedOwner.get(), "X");

  EXPECT_EQ(pathOf(sibling), "Label2");
  EXPECT_EQ(pathOf(form.get()), "Owner");
  EXPECT_EQ(pathOf(c), "D.C");
  EXPECT_EQ(pathOf(e), "D.C.E");
  EXPECT_EQ(pathOf(label9), "Other.Label9");
  EXPECT_EQ(pathOf(loose.get()), "Loose.Owner");
  EXPECT_EQ(pathOf(x), "X.Owner");
  EXPECT_EQ(pathOf(TComponent::Create<TTestComponent>(form.get())), "-");
  EXPECT_EQ(pathOf(TComponent::Create<TTestComponent>(other.get())), "-");
  EXPECT_EQ(pathOf(unnamedOwner.get()), "-");
}

TEST_F(StreamListTest, ReferencesResolveThroughOwnedComponents) {
  auto form = Form("Main");
  auto* d = Named<TTestComponent>(form.get(), "D");
  auto* c = Named<TTestComponent>(d, "C");
  // A null expectation stands for the label that holds the reference.
  for (const auto& [path, expected] : std::vector<std::pair<std::string, TComponent*>>{
           {"D.C", c}, {"d.c", c}, {"D-C", c}, {"D->C", c}, {"Owner.D.C", c}, {"Owner", form.get()},
           {"owner", form.get()}, {"D", d}, {"Label1", nullptr}}) {
    SCOPED_TRACE(path);
    if (form->Label1) form->Label1->Free();
    Load(form.get(), Signed(Obj("TTestForm", "Main", "", Obj("TTestLabel", "Label1", S("Link") + Ident(path)))));
    ASSERT_NE(form->Label1, nullptr);
    EXPECT_EQ(form->Label1->Link, expected ? expected : form->Label1);
  }
}

TEST_F(StreamListTest, AnUnresolvableReferenceLeavesThePropertyEmpty) {
  TOwnedPtr<TTestLabel> root(Named<TTestLabel>(nullptr, "R"));
  TOwnedPtr<TTestComponent> previous(Named<TTestComponent>(nullptr, "Previous"));
  root->SetLink(previous.get());
  Load(root.get(), Signed(Obj("TTestLabel", "R", S("Link") + Ident("Ghost"))));
  EXPECT_EQ(root->Link, nullptr);
  EXPECT_EQ(PendingGlobalReferenceCount(), 0u);

  // With a hook that maps the path to something that exists.
  root->SetLink(previous.get());
  auto* real = Named<TTestComponent>(root.get(), "Real");
  TMemoryStream stream(Signed(Obj("TTestLabel", "R", S("Link") + Ident("Ghost"))));
  TReader reader(stream);
  reader.OnReferenceRead = [](TReader&, std::string& path) {
    if (path == "Ghost") path = "Real";
  };
  reader.ReadRootComponent(root.get());
  EXPECT_EQ(root->Link, real);
}

class GlobalReferenceTest : public StreamListTest {
 protected:
  void SetUp() override {
    Other = Form("Other");
    Label9 = Named<TTestLabel>(Other.get(), "Label9");
    auto source = Form("Main");
    Child(source.get(), source.get(), "Label1")->SetLink(Label9);
    Data = Save(source.get());
    ASSERT_TRUE(Contains(Data, S("Link") + Ident("Other.Label9")));
  }
  TOwnedPtr<TTestForm> Other;
  TTestLabel* Label9 = nullptr;
  std::string Data;
};

TEST_F(GlobalReferenceTest, ResolvedWhenTheOtherRootAppears) {
  auto copy = Form("Copy");
  Load(copy.get(), Data);
  ASSERT_NE(copy->Label1, nullptr);
  EXPECT_EQ(copy->Label1->Link, nullptr);
  EXPECT_EQ(PendingGlobalReferenceCount(), 1u);
  AddTopLevel(Other.get());
  EXPECT_EQ(copy->Label1->Link, Label9);
  EXPECT_EQ(PendingGlobalReferenceCount(), 0u);

  // With the other root already there, the read resolves it at its end.
  auto second = Form("Second");
  Load(second.get(), Data);
  EXPECT_EQ(second->Label1->Link, Label9);
  EXPECT_EQ(PendingGlobalReferenceCount(), 0u);
}

TEST_F(GlobalReferenceTest, DroppedWhenTheHolderGoesFirst) {
  auto copy = Form("Copy");
  Load(copy.get(), Data);
  ASSERT_EQ(PendingGlobalReferenceCount(), 1u);
  copy->Label1->Free();
  EXPECT_EQ(PendingGlobalReferenceCount(), 0u);

  Load(copy.get(), Data);
  ASSERT_EQ(PendingGlobalReferenceCount(), 1u);
  copy.reset();
  EXPECT_EQ(PendingGlobalReferenceCount(), 0u);
  AddTopLevel(Other.get());  // nothing left to write into the freed label
  EXPECT_EQ(Label9->Owner(), Other.get());
}

TEST_F(GlobalReferenceTest, AFailedReadDropsOnlyTheReferencesItRegistered) {
  auto kept = Form("Kept");
  Load(kept.get(), Data);
  ASSERT_EQ(PendingGlobalReferenceCount(), 1u);

  auto failed = Form("Failed");
  TMemoryStream stream(Data);
  TReader reader(stream);
  reader.OnNameRead = [](TReader&, TComponent* c, std::string&) {
    if (auto* label = dynamic_cast<TTestLabel*>(c)) label->AfterLoadError = "Late failure";
  };
  EXPECT_EQ(ErrorMessage([&] { reader.ReadRootComponent(failed.get()); }), "Late failure");
  EXPECT_EQ(PendingGlobalReferenceCount(), 1u);
  EXPECT_FALSE(AnyStillLoading(failed.get()));

  AddTopLevel(Other.get());
  EXPECT_EQ(kept->Label1->Link, Label9);
  ASSERT_NE(failed->Label1, nullptr);
  EXPECT_EQ(failed->Label1->Link, nullptr);
}

// ---------------------------------------------------------------------------
// Roots, AfterLoad and prefixes

TEST_F(StreamListTest, AfterLoadRunsOnTheRootFirstThenEachComponentAfterItsChildren) {
  TOwnedPtr<TTestLabel> source(Named<TTestLabel>(nullptr, "R"));
  auto* a = Child(source.get(), source.get(), "A");
  Child(source.get(), a, "A1");
  Child(source.get(), source.get(), "B");
  const std::string data = Save(source.get());

  Strings log;
  TOwnedPtr<TTestLabel> root(TComponent::Create<TTestLabel>(nullptr));
  root->AfterLoadLog = &log;
  TMemoryStream stream(data);
  TReader reader(stream);
  reader.OnNameRead = [&](TReader&, TComponent* c, std::string&) {
    if (auto* label = dynamic_cast<TTestLabel*>(c)) label->AfterLoadLog = &log;
  };
  reader.ReadRootComponent(root.get());
  EXPECT_EQ(log, (Strings{"R", "A1", "A", "B"}));
  EXPECT_FALSE(AnyStillLoading(root.get()));
}

TEST_F(StreamListTest, TheRootNameIsMadeUniqueAmongTopLevelComponents) {
  auto source = Form("Form1");
  const std::string data = Save(source.get());

  auto existing = Form("FORM1");
  AddTopLevel(existing.get());
  auto first = Form("");
  Load(first.get(), data);
  EXPECT_EQ(first->Name(), "Form1_1");
  AddTopLevel(first.get());
  auto second = Form("");
  Load(second.get(), data);
  EXPECT_EQ(second->Name(), "Form1_2");

  // The root's own top-level entry is no conflict.
  Load(existing.get(), data);
  EXPECT_EQ(existing->Name(), "Form1");

  // A root created by the read is named the same way.
  TMemoryStream stream(data);
  TOwnedPtr<TComponent> created(LoadComponent(stream, nullptr));
  EXPECT_EQ(created->Name(), "Form1_2");

  // A root under design keeps its own name.
  auto designing = Form("Doc1");
  designing->SetDesigning(true);
  Load(designing.get(), data);
  EXPECT_EQ(designing->Name(), "Doc1");
}

TEST_F(StreamListTest, ADestroyedTopLevelComponentIsNoLongerFound) {
  auto gone = Form("Form1");
  AddTopLevel(gone.get());
  ASSERT_EQ(FindGlobalComponent("form1"), gone.get());
  gone.reset();
  EXPECT_EQ(FindGlobalComponent("Form1"), nullptr);
  auto source = Form("Form1");
  auto copy = Form("");
  Load(copy.get(), Save(source.get()));
  EXPECT_EQ(copy->Name(), "Form1");
}

TEST_F(StreamListTest, ObjectPrefixesInheritPositionAndInline) {
  auto form = Form("Form1");
  auto* existing = Child(form.get(), form.get(), "Label1");
  existing->Caption = "old";
  Child(form.get(), form.get(), "Label2");

  // hfInherited: the object is the existing component of that name.
  Load(form.get(), Signed(Obj("TTestForm", "Form1", "",
                              B({0xF1}) + Obj("TTestLabel", "label1", Prop("Caption", Text("inherited"))))));
  EXPECT_EQ(form->ComponentCount(), 2);
  EXPECT_EQ(existing->Caption, "inherited");
  EXPECT_EQ(existing->Name(), "label1");
  EXPECT_FALSE(existing->HasState(sfLoading));
  EXPECT_EQ(ErrorMessage([&] { Load(form.get(), Signed(Obj("TTestForm", "Form1", "", B({0xF1}) + Obj("TTestLabel", "Nope", "")))); }),
            "Ancestor for 'Nope' not found");

  // hfChildPos moves the new control in its parent's z-order; hfInline marks it.
  Load(form.get(), Signed(Obj("TTestForm", "Form1", "",
                              B({0xF2, svInt8, 0}) + Obj("TTestLabel", "Front", "") +
                                  B({0xF4}) + Obj("TTestLabel", "Inline", "") +
                                  B({0xF6, svInt16, 1, 0}) + Obj("TTestLabel", "Second", ""))));
  Strings order;
  for (TControl* c : form->ControlList()) order.push_back(c->Name());
  EXPECT_EQ(order, (Strings{"Front", "Second", "label1", "Label2", "Inline"}));
  EXPECT_TRUE(form->FindComponent("Inline")->HasState(sfInline));
  EXPECT_TRUE(form->FindComponent("Second")->HasState(sfInline));
  EXPECT_FALSE(form->FindComponent("Front")->HasState(sfInline));

  // An inherited component whose name a hook spoils is reported and not left loading.
  TMemoryStream stream(Signed(Obj("TTestForm", "Form1", "", B({0xF1}) + Obj("TTestLabel", "Label2", ""))));
  TReader reader(stream);
  reader.OnNameRead = [](TReader&, TComponent*, std::string& name) { name = "1bad"; };
  Strings errors;
  reader.OnReadError = [&](TReader&, const std::string& message, bool& handled) {
    errors.push_back(message);
    handled = true;
  };
  reader.ReadRootComponent(form.get());
  EXPECT_EQ(errors, Strings{"''1bad'' is not a valid component name"});
  ASSERT_NE(form->FindComponent("Label2"), nullptr);
  EXPECT_FALSE(AnyStillLoading(form.get()));
}

}  // namespace
}  // namespace rpt::test
