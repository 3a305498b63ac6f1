// The property inspector over real report elements: common rows of a mixed selection,
// writes to every object with one change event, sub-rows, the remembered state, the
// write hook, and rows rebuilt when an inspected or referenced component goes.
#include <gtest/gtest.h>

#include <QTest>

#include "data/DBTables.h"
#include "framework/Application.h"
#include "inspector/PropInsp.h"
#include "report/QRCtrls.h"
#include "report/QRDataCtrls.h"
#include "report/QuickRpt.h"

namespace rpt {

void RegisterReportClasses();

namespace {

struct PropInsp : ::testing::Test {
  TOwnedPtr<TQuickRep> report{TComponent::Create<TQuickRep>(nullptr)};
  TZQKPropertyInspector inspector;
  std::vector<std::string> errors;
  int changes = 0;

  void SetUp() override {
    TApplication::Instance()->SetErrorHook([this](const std::string& m) { errors.push_back(m); });
    inspector.OnChange = [this](TZQKCustomPropertyInspector*) { ++changes; };
    inspector.resize(300, 600);
    inspector.show();
  }
  void TearDown() override { TApplication::Instance()->SetErrorHook(nullptr); }

  template <class T>
  T* Make(const std::string& name) {
    auto* c = TComponent::Create<T>(report.get());
    c->SetName(name);
    return c;
  }
  void Inspect(const std::vector<TPersistent*>& objects) { inspector.InspectedObjects().SetFromList(objects); }
  std::vector<std::string> Captions() {
    std::vector<std::string> out;
    for (int i = 0; i < inspector.PropItems().Count(); ++i) out.push_back(inspector.PropItems().Items(i)->Caption());
    return out;
  }
  bool Has(const std::string& caption) { return inspector.PropItems().FindItem(caption) != nullptr; }
  // Types a value into a row's in-place editor and presses Enter, as a user does.
  void Type(TZQKPropertyInspectorItem* item, const std::string& text) {
    item->Activate();
    QLineEdit* edit = inspector.InplaceEditor()->Edit();
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, QString::fromStdString(text));
    QTest::keyClick(edit, Qt::Key_Return);
  }
  std::string Value(TZQKPropertyInspectorItem* item) { return item->Row()->GetValueText(); }
};

TEST_F(PropInsp, MixedSelectionShowsOnlyCommonPropertiesAndNoName) {
  RegisterReportClasses();
  auto* label = Make<TQRLabel>("Label1");
  auto* memo = Make<TQRMemo>("Memo1");
  auto* field = Make<TQRDBText>("DBText1");
  Inspect({label});
  EXPECT_TRUE(Has("Name"));
  EXPECT_TRUE(Has("Caption"));
  EXPECT_EQ(Value(inspector.PropItems().FindItem("Name")), "Label1");
  EXPECT_EQ(Value(inspector.PropItems().FindItem("Font")), "(TFont)");
  const std::vector<std::string> one = Captions();
  EXPECT_TRUE(std::is_sorted(one.begin(), one.end(), [](const std::string& a, const std::string& b) {
    return QString::fromStdString(a).compare(QString::fromStdString(b), Qt::CaseInsensitive) < 0;
  })) << "sorted by caption, case-insensitively";

  Inspect({label, memo, field});
  EXPECT_FALSE(Has("Name")) << "a name belongs to one object";
  EXPECT_FALSE(Has("Caption"));
  EXPECT_FALSE(Has("Lines"));
  EXPECT_FALSE(Has("DataField"));
  EXPECT_FALSE(Has("OnPrint")) << "events are not listed";
  for (const char* common : {"Font", "Color", "Frame", "AutoSize", "Alignment", "Size", "Enabled"})
    EXPECT_TRUE(Has(common)) << common;

  auto* shape = Make<TQRShape>("Shape1");
  Inspect({label, shape});
  EXPECT_FALSE(Has("Font"));
  EXPECT_TRUE(Has("Frame"));
  EXPECT_TRUE(Has("Pen") == false);

  // The class's own order without sorting.
  inspector.SetSortType(stNone);
  Inspect({label});
  const std::vector<std::string> unsorted = Captions();
  EXPECT_EQ(unsorted.size(), one.size());
  EXPECT_NE(unsorted, one);
  inspector.SetSortType(stCaption);
  EXPECT_EQ(Captions(), one);

  // Nothing inspected: no rows.
  Inspect({});
  EXPECT_EQ(inspector.PropItems().Count(), 0);
  EXPECT_EQ(inspector.RowCount(), 0);
}

TEST_F(PropInsp, ValuesAreWrittenToEveryObjectWithOneChangeThroughTheHook) {
  RegisterReportClasses();
  auto* a = Make<TQRLabel>("A");
  auto* b = Make<TQRLabel>("B");
  a->SetCaption("one");
  b->SetCaption("two");
  std::vector<std::string> steps;
  std::vector<size_t> touched;
  inspector.OnWrite = [&](const std::string& caption, const std::vector<TComponent*>& components,
                          const std::function<void()>& write) {
    steps.push_back(caption);
    touched.push_back(components.size());
    write();
  };
  Inspect({a, b});
  auto* caption = inspector.PropItems().FindItem("Caption");
  ASSERT_NE(caption, nullptr);
  EXPECT_EQ(Value(caption), "") << "different values show blank";
  // A caption applies at every keystroke: each is a write of both labels.
  Type(caption, "both");
  EXPECT_EQ(a->Caption(), "both");
  EXPECT_EQ(b->Caption(), "both");
  EXPECT_EQ(Value(caption), "both");
  EXPECT_EQ(changes, 4);
  EXPECT_EQ(steps, std::vector<std::string>(4, "Change Caption"));
  EXPECT_EQ(touched, std::vector<size_t>(4, 2));

  // A colour applies once, on Enter: one write of both, one change event.
  changes = 0;
  steps.clear();
  Type(inspector.PropItems().FindItem("Color"), "clRed");
  EXPECT_EQ(a->Color(), clRed);
  EXPECT_EQ(b->Color(), clRed);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(steps, std::vector<std::string>{"Change Color"});

  // Font.Size through the expanded Font row; the Font row keeps its type name.
  auto* font = inspector.PropItems().FindItem("Font");
  ASSERT_NE(font, nullptr);
  font->Expand();
  auto* size = font->FindItem("Size");
  ASSERT_NE(size, nullptr);
  Type(size, "14");
  EXPECT_EQ(a->Font()->Size(), 14);
  EXPECT_EQ(b->Font()->Size(), 14);
  EXPECT_EQ(Value(size), "14");
  EXPECT_EQ(steps.back(), "Change Font.Size");
  EXPECT_EQ(changes, 2);

  // A rejected value changes nothing and is shown by the application's handler.
  Type(size, "big");
  EXPECT_EQ(a->Font()->Size(), 14);
  EXPECT_EQ(errors.size(), 1u);
  EXPECT_EQ(Value(size), "14");
  EXPECT_EQ(changes, 2);
}

TEST_F(PropInsp, BooleanDoubleClickTogglesAndReadOnlyOffersNothing) {
  RegisterReportClasses();
  auto* label = Make<TQRLabel>("Label1");
  label->SetAutoSize(false);
  Inspect({label});
  auto* autoSize = inspector.PropItems().FindItem("AutoSize");
  ASSERT_NE(autoSize, nullptr);
  EXPECT_EQ(autoSize->Row()->EditStyle(), esPickList);
  autoSize->Row()->ValueDblClick();
  EXPECT_TRUE(label->AutoSize());
  autoSize->Row()->ValueDblClick();
  EXPECT_FALSE(label->AutoSize());

  inspector.SetReadOnly(true);
  autoSize = inspector.PropItems().FindItem("AutoSize");
  EXPECT_EQ(autoSize->Row()->EditStyle(), esSimple);
  EXPECT_TRUE(autoSize->Row()->ReadOnlyValue());
  autoSize->Row()->ValueDblClick();
  EXPECT_FALSE(label->AutoSize());
  // Sub-rows still open.
  auto* font = inspector.PropItems().FindItem("Font");
  font->Expand();
  EXPECT_TRUE(font->Expanded());
  EXPECT_GT(font->Count(), 0);
}

TEST_F(PropInsp, ExpandedAndSelectedRowsSurviveAnotherSelection) {
  RegisterReportClasses();
  auto* label = Make<TQRLabel>("Label1");
  auto* memo = Make<TQRMemo>("Memo1");
  Inspect({label});
  auto* font = inspector.PropItems().FindItem("Font");
  font->Expand();
  font->FindItem("Name")->Activate();
  int expandedEvents = 0;
  inspector.OnExpanded = [&](TZQKCustomPropertyInspector*, TZQKPropertyInspectorItem*) { ++expandedEvents; };
  Inspect({memo});
  font = inspector.PropItems().FindItem("Font");
  ASSERT_NE(font, nullptr);
  EXPECT_TRUE(font->Expanded());
  auto* current = static_cast<TZQKPropertyInspectorPageItem*>(inspector.CurrentItem());
  ASSERT_NE(current, nullptr);
  EXPECT_EQ(current->Wrapper()->Caption(), "Name");
  EXPECT_EQ(current->Wrapper()->ParentItem(), font);
  EXPECT_EQ(expandedEvents, 1);

  // The default property when nothing remembered matches.
  inspector.SetDefaultPropName("Color");
  Inspect({});
  Inspect({label});
  EXPECT_EQ(static_cast<TZQKPropertyInspectorPageItem*>(inspector.CurrentItem())->Wrapper()->Caption(), "Color");
}

TEST_F(PropInsp, SelectingWhileAValueIsAppliedIsRefused) {
  RegisterReportClasses();
  auto* label = Make<TQRLabel>("Label1");
  inspector.OnWrite = [&](const std::string&, const std::vector<TComponent*>&, const std::function<void()>& write) {
    write();
    inspector.InspectedObjects().SetFromList({});
  };
  Inspect({label});
  Type(inspector.PropItems().FindItem("Caption"), "x");
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0], "Property inspector is changing property value. Operation not possible at this time.");
  EXPECT_EQ(inspector.InspectedObjects().Count(), 1);
}

TEST_F(PropInsp, RowsAreRebuiltWhenAnInspectedOrReferencedComponentGoes) {
  RegisterReportClasses();
  auto* a = Make<TQRLabel>("A");
  auto* b = Make<TQRLabel>("B");
  Inspect({a, b});
  inspector.PropItems().FindItem("Font")->Expand();
  b->Free();
  EXPECT_EQ(inspector.InspectedObjects().Count(), 1) << "forgotten at once";
  QCoreApplication::processEvents();
  EXPECT_FALSE(inspector.RebuildScheduled());
  EXPECT_TRUE(Has("Name")) << "rows of the one label left";
  EXPECT_TRUE(inspector.PropItems().FindItem("Font")->Expanded());

  // A referenced dataset goes while its sub-rows are shown.
  auto* field = Make<TQRDBText>("DBText1");
  auto* table = Make<TTable>("Table1");
  field->SetDataSet(table);
  Inspect({field});
  auto* dataSet = inspector.PropItems().FindItem("DataSet");
  ASSERT_NE(dataSet, nullptr);
  EXPECT_EQ(Value(dataSet), "Table1");
  dataSet->Expand();
  ASSERT_GT(dataSet->Count(), 0);
  EXPECT_TRUE(dataSet->Row()->Editor()->RefersTo(table));
  table->Free();
  QCoreApplication::processEvents();
  dataSet = inspector.PropItems().FindItem("DataSet");
  ASSERT_NE(dataSet, nullptr);
  EXPECT_EQ(Value(dataSet), "");
  std::vector<TZQKPropertyInspectorPageItem*> pending;
  for (int i = 0; i < inspector.Items().Count(); ++i) pending.push_back(inspector.Row(i));
  while (!pending.empty()) {
    TZQKPropertyInspectorPageItem* row = pending.back();
    pending.pop_back();
    EXPECT_FALSE(row->Editor()->Stale()) << row->Caption();
    for (int i = 0; i < row->Count(); ++i) pending.push_back(row->Child(i));
  }
}

}  // namespace
}  // namespace rpt
