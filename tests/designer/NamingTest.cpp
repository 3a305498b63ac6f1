#include "tests/designer/DesignerFixture.h"

namespace rpt::test {
namespace {

// The designer's own refusals are EZQKDesigner; anything else is marked.
std::string DesignerError(const std::function<void()>& f) {
  try {
    f();
  } catch (const EZQKDesigner& e) {
    return e.what();
  } catch (const Exception& e) {
    return std::string("not the designer's: ") + e.what();
  }
  return "(no error)";
}

TEST_F(DesignerTest, RenamingADesignedComponentAsksTheDesignerFirst) {
  TTestLabel* a = AddLabel(Band, "Label1", 16, 10);
  TTestLabel* b = AddLabel(Root, "Label2", 100, 10);
  auto* data = TComponent::Create<TTestData>(Root);
  data->SetName("Data1");
  Designer->SetActive(true);
  std::vector<std::string> offered;
  Designer->OnValidateName = [&](TObject*, const std::string& name, bool& ok) {
    offered.push_back(name);
    ok = name != "Forbidden";
  };
  EXPECT_EQ(DesignerError([&] { a->SetName("1abc"); }), "''1abc'' is not a valid component name");
  EXPECT_EQ(DesignerError([&] { a->SetName("Label2"); }), "A component named Label2 already exists");
  EXPECT_EQ(DesignerError([&] { a->SetName("LABEL1"); }), "A component named LABEL1 already exists");
  EXPECT_EQ(DesignerError([&] { a->SetName("Forbidden"); }), "''Forbidden'' is not a valid component name");
  EXPECT_EQ(a->Name(), "Label1");
  EXPECT_EQ(DesignerError([&] { a->SetName("Caption1"); }), "(no error)");
  EXPECT_EQ(Root->FindComponent("Caption1"), a);
  EXPECT_EQ(DesignerError([&] { Root->SetName("2nd"); }), "''2nd'' is not a valid component name");
  // Only valid identifiers are offered to the host.
  EXPECT_EQ(offered, (std::vector<std::string>{"Label2", "LABEL1", "Forbidden", "Caption1"}));

  // Non-visual components skip the designer; the owner still refuses a taken name.
  offered.clear();
  EXPECT_EQ(DesignerError([&] { data->SetName("Label2"); }),
            "not the designer's: A component named Label2 already exists");
  data->SetName("Data2");
  EXPECT_TRUE(offered.empty());

  // Once the designer lets go, renames are the object model's alone again.
  Designer->SetActive(false);
  b->SetName("LABEL2");
  EXPECT_EQ(b->Name(), "LABEL2");
  EXPECT_TRUE(offered.empty());
}

TEST_F(DesignerTest, AnInsertionRefusedItsNameLeavesNothingBehind) {
  Designer->SetActive(true);
  Designer->OnComponentInserting = [](TObject*, TComponentClass& cls) { cls = &TTestLabel::StaticClass(); };
  Designer->OnGetUniqueName = [](TObject*, const std::string&, std::string& name) { name = "Total"; };
  Drag(Root, {100, 100}, {100, 100});
  ASSERT_NE(Root->FindComponent("Total"), nullptr);
  const int owned = Root->ComponentCount();
  EXPECT_EQ(DesignerError([&] { Drag(Root, {200, 100}, {200, 100}); }), "A component named Total already exists");
  EXPECT_EQ(Root->ComponentCount(), owned);
  EXPECT_FALSE(Engine()->Dragging());
  EXPECT_TRUE(Sel()->HandlesVisible());
}

}  // namespace
}  // namespace rpt::test
