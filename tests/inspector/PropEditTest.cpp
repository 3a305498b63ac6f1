// The editor framework on real report elements: which editor each property gets, the
// rows common to several objects, writes to all of them through the write hook, sets
// toggled per object, sub-properties, and editors outliving their components.
#include <gtest/gtest.h>

#include <set>

#include "data/DBTables.h"
#include "framework/Graphics.h"
#include "report/QRDataCtrls.h"
#include "report/QuickRpt.h"
#include "tests/inspector/EditorFixture.h"

namespace rpt::test {

namespace {

std::vector<std::string> Captions(const TPropEditorList& rows) {
  std::vector<std::string> captions;
  for (const auto& row : rows) captions.push_back(row->GetRowCaption());
  return captions;
}

bool Has(const std::vector<std::string>& list, const std::string& item) {
  return std::find(list.begin(), list.end(), item) != list.end();
}

// The classes a report file can hold.
std::vector<const TClassDescriptor*> ReportClasses() {
  return {&TQuickRep::StaticClass(),   &TQRBand::StaticClass(),     &TQRChildBand::StaticClass(),
          &TQRGroup::StaticClass(),    &TQRSubDetail::StaticClass(), &TQRLabel::StaticClass(),
          &TQRDBText::StaticClass(),   &TQRExpr::StaticClass(),     &TQRSysData::StaticClass(),
          &TQRMemo::StaticClass(),     &TQRExprMemo::StaticClass(), &TQRShape::StaticClass(),
          &TTable::StaticClass(),      &TQuery::StaticClass()};
}

}  // namespace

// Every published property of every report class, and of the objects they hold, gets an
// editor for its type: never the base editor that can only show "(Unknown)".
TEST_F(EditorTest, EveryReportPropertyTypeGetsItsEditor) {
  std::set<std::string> seenKinds;
  std::function<void(TPersistent*, int)> visit = [&](TPersistent* object, int depth) {
    for (const TPropertyInfo* p : object->ClassType().Properties()) {
      const TZQKPropEditorClass chosen = Choice.Choose(depth > 0, object, p);
      if (p->Kind() == propMethod) {
        EXPECT_EQ(chosen, nullptr) << p->Name << " is an event";
        continue;
      }
      SCOPED_TRACE(object->ClassName() + "." + p->Name);
      ASSERT_NE(chosen, nullptr);
      EXPECT_NE(chosen, TZQKPropEditor::StaticClass());
      EXPECT_EQ(chosen, EditorClassForType(*p));
      seenKinds.insert(chosen->ClassName);
      if (p->Kind() == propClass && depth < 2 && !p->PropType->ClassType->IsComponentClass())
        if (TPersistent* held = GetObjectProp(object, *p)) visit(held, depth + 1);
    }
  };
  for (const TClassDescriptor* cls : ReportClasses()) {
    TComponent* instance = cls->CreateComponent(Report);
    visit(instance, 0);
  }
  // The kinds of the report model, each with its own editor.
  for (const char* editor :
       {"TZQKIntegerPropEditor", "TZQKEnumPropEditor", "TZQKFloatPropEditor", "TZQKStringPropEditor",
        "TZQKSetPropEditor", "TZQKClassPropEditor", "TZQKComponentPropEditor", "TZQKColorPropEditor",
        "TZQKCursorPropEditor", "TZQKFontPropEditor", "TZQKFontNamePropEditor", "TZQKFontCharsetPropEditor",
        "TZQKStringsPropEditor", "TZQKPenStylePropEditor", "TZQKBrushStylePropEditor",
        "TZQKComponentNamePropEditor", "TZQKCaptionPropEditor"})
    EXPECT_TRUE(seenKinds.count(editor)) << editor;
}

// Reading a value as text and typing it back changes nothing, for every row of every
// report element and of the objects they hold.
TEST_F(EditorTest, ValueTextTypedBackKeepsEveryValue) {
  auto* table = TComponent::Create<TTable>(nullptr);
  table->SetName("Orders");
  Extra.push_back(table);
  auto* label = Add<TQRLabel>("Label1", Detail);
  label->SetCaption("Total");
  auto* dbText = Add<TQRDBText>("DBText1", Detail);
  dbText->SetDataSet(table);
  Add<TQRMemo>("Memo1", Detail)->Lines()->SetText("one\ntwo");
  Add<TQRShape>("Shape1", Detail);
  Add<TQRSysData>("SysData1", Detail);
  Add<TQRExpr>("Expr1", Detail)->SetExpression("1+2");
  Add<TQRExprMemo>("ExprMemo1", Detail);

  int checked = 0;
  std::function<void(TPropEditorList&, int)> check = [&](TPropEditorList& rows, int depth) {
    for (auto& row : rows) {
      SCOPED_TRACE(row->PropertyPath());
      const std::string before = row->GetValueText();
      if (!(row->GetAttributes() & eaReadOnlyText) && row->AllWritable()) {
        EXPECT_NO_THROW(row->SetValueText(before));
        EXPECT_EQ(row->GetValueText(), before);
        ++checked;
      }
      if ((row->GetAttributes() & eaSubItems) && depth < 2) {
        TPropEditorList sub = SubRows(row.get());
        check(sub, depth + 1);
      }
    }
  };
  for (TComponent* c : std::vector<TComponent*>(Report->OwnedComponents())) {
    TPropEditorList rows = Rows({c});
    check(rows, 0);
  }
  TPropEditorList reportRows = Rows({Report});
  check(reportRows, 0);
  EXPECT_GT(checked, 200);
  table->Free();
}

TEST_F(EditorTest, SeveralObjectsShareOnlyTheirCommonRows) {
  auto* label1 = Add<TQRLabel>("Label1", Detail);
  auto* label2 = Add<TQRLabel>("Label2", Detail);
  auto* memo = Add<TQRMemo>("Memo1", Detail);
  auto* shape = Add<TQRShape>("Shape1", Detail);

  // One label: its name is offered; two: not (a name is one object's).
  EXPECT_TRUE(Has(Captions(Rows({label1})), "Name"));
  const std::vector<std::string> two = Captions(Rows({label1, label2}));
  EXPECT_FALSE(Has(two, "Name"));
  EXPECT_TRUE(Has(two, "Caption"));
  EXPECT_TRUE(Has(two, "Font"));
  // Sorted by name.
  EXPECT_TRUE(std::is_sorted(two.begin(), two.end(),
                             LessNoCase));

  // A label and a memo share Color and Font but not Caption or Lines.
  const std::vector<std::string> mixed = Captions(Rows({label1, memo}));
  EXPECT_TRUE(Has(mixed, "Color"));
  EXPECT_TRUE(Has(mixed, "Font"));
  EXPECT_FALSE(Has(mixed, "Caption"));
  EXPECT_FALSE(Has(mixed, "Lines"));
  // One of three lacks Color: the row is gone though two have it.
  const std::vector<std::string> three = Captions(Rows({label1, memo, shape}));
  EXPECT_FALSE(Has(three, "Color"));
  EXPECT_TRUE(Has(three, "Frame"));
  EXPECT_TRUE(Has(three, "Size"));
  EXPECT_TRUE(Has(three, "Tag"));
}

TEST_F(EditorTest, DifferingValuesShowBlankAndOneWriteReachesAll) {
  auto* label1 = Add<TQRLabel>("Label1", Detail);
  auto* label2 = Add<TQRLabel>("Label2", Detail);
  label1->SetCaption("One");
  label2->SetCaption("Two");
  TPropEditorList rows = Rows({label1, label2});
  TZQKPropEditor* caption = Row(rows, "Caption");
  ASSERT_NE(caption, nullptr);
  EXPECT_EQ(caption->ClassType(), TZQKCaptionPropEditor::StaticClass());
  EXPECT_FALSE(caption->ValuesAgree());
  EXPECT_EQ(caption->DisplayText(), "");

  caption->SetValueText("Both");
  EXPECT_EQ(label1->Caption(), "Both");
  EXPECT_EQ(label2->Caption(), "Both");
  EXPECT_EQ(caption->DisplayText(), "Both");
  EXPECT_EQ(Modified, 1);
  ASSERT_EQ(WriteCaptions.size(), 1u);
  EXPECT_EQ(WriteCaptions[0], "Change Caption");
  EXPECT_EQ(WriteComponents[0], (std::vector<TComponent*>{label1, label2}));
}

// Each kind compares its own way: a row shows a value only when all objects agree.
TEST_F(EditorTest, ValuesAgreeByKind) {
  auto* table = TComponent::Create<TTable>(nullptr);
  table->SetName("Orders");
  auto* text1 = Add<TQRDBText>("DBText1", Detail);
  auto* text2 = Add<TQRDBText>("DBText2", Detail);
  text1->SetAlignment(taCenter);
  text1->Size()->SetWidth(text2->Size()->Width() + 10);
  text1->SetDataSet(table);
  text1->SetMask("0.00");
  TPropEditorList rows = Rows({text1, text2});
  TPropEditorList size = SubRows(Row(rows, "Size"));
  const std::vector<TZQKPropEditor*> differing{Row(rows, "Alignment"), Row(size, "Width"), Row(rows, "DataSet"),
                                               Row(rows, "Mask")};
  for (TZQKPropEditor* row : differing) {
    ASSERT_NE(row, nullptr);
    EXPECT_FALSE(row->ValuesAgree()) << row->PropertyPath();
    EXPECT_EQ(row->DisplayText(), "") << row->PropertyPath();
  }
  // A reference that differs offers no sub-rows.
  EXPECT_FALSE(Row(rows, "DataSet")->GetAttributes() & eaSubItems);
  text2->SetAlignment(taCenter);
  text2->Size()->SetWidth(text1->Size()->Width());
  text2->SetDataSet(table);
  text2->SetMask("0.00");
  for (TZQKPropEditor* row : differing) EXPECT_TRUE(row->ValuesAgree()) << row->PropertyPath();
  EXPECT_EQ(Row(rows, "Alignment")->DisplayText(), "taCenter");
  EXPECT_EQ(Row(rows, "DataSet")->DisplayText(), "Orders");
  EXPECT_EQ(Row(rows, "Mask")->DisplayText(), "0.00");
  // Objects held by properties never agree for more than one object: the row is blank.
  EXPECT_EQ(Row(rows, "Font")->DisplayText(), "");
  EXPECT_EQ(Row(Rows({text1}), "Font")->DisplayText(), "(TFont)");
  table->Free();
}

// A write hook that does not run the write (an undo step refused) changes nothing but
// is told once; without a hook the write just runs.
TEST_F(EditorTest, WriteHookWrapsTheWholeWrite) {
  auto* label1 = Add<TQRLabel>("Label1", Detail);
  auto* label2 = Add<TQRLabel>("Label2", Detail);
  TPropEditorList rows = Rows({label1, label2});
  TZQKPropEditor* color = Row(rows, "Color");
  ASSERT_NE(color, nullptr);
  int hooked = 0;
  std::vector<TColor> seenInside;
  color->OnWrite = [&](const std::string&, const std::vector<TComponent*>&, const std::function<void()>& write) {
    ++hooked;
    seenInside.push_back(label2->Color());  // before the write
    write();
    seenInside.push_back(label2->Color());  // after it
  };
  color->SetValueText("clRed");
  EXPECT_EQ(hooked, 1);
  EXPECT_EQ(seenInside, (std::vector<TColor>{clWhite, clRed}));

  color->OnWrite = nullptr;
  color->SetValueText("clBlue");
  EXPECT_EQ(label1->Color(), clBlue);
  EXPECT_EQ(label2->Color(), clBlue);
}

// Toggling one style element writes it into each label's own style; the other elements
// of every label stay as they were.
TEST_F(EditorTest, SetElementTogglesInEachObjectsOwnSet) {
  auto* label1 = Add<TQRLabel>("Label1", Detail);
  auto* label2 = Add<TQRLabel>("Label2", Detail);
  label1->Font()->SetStyle({fsBold});
  label2->Font()->SetStyle({fsItalic});
  TPropEditorList rows = Rows({label1, label2});
  TPropEditorList font = SubRows(Row(rows, "Font"));
  TZQKPropEditor* style = Row(font, "Style");
  ASSERT_NE(style, nullptr);
  EXPECT_EQ(style->DisplayText(), "");  // the two styles differ
  TPropEditorList elements = SubRows(style);
  EXPECT_EQ(Captions(elements), (std::vector<std::string>{"fsBold", "fsItalic", "fsUnderline", "fsStrikeOut"}));
  TZQKPropEditor* underline = Row(elements, "fsUnderline");
  TZQKPropEditor* bold = Row(elements, "fsBold");
  EXPECT_TRUE(underline->ValuesAgree());
  EXPECT_FALSE(bold->ValuesAgree());

  underline->SetValueText("True");
  EXPECT_EQ(label1->Font()->Style(), (TFontStyles{fsBold, fsUnderline}));
  EXPECT_EQ(label2->Font()->Style(), (TFontStyles{fsItalic, fsUnderline}));
  bold->SetValueText("false");
  EXPECT_EQ(label1->Font()->Style(), (TFontStyles{fsUnderline}));
  EXPECT_EQ(label2->Font()->Style(), (TFontStyles{fsItalic, fsUnderline}));
  EXPECT_EQ(underline->GetValueText(), "True");
  EXPECT_EQ(WriteCaptions.back(), "Change Font.Style");
  EXPECT_EQ(WriteComponents.back(), (std::vector<TComponent*>{label1, label2}));

  // One label: the set row names its elements.
  TPropEditorList one = SubRows(Row(Rows({label2}), "Font"));
  EXPECT_EQ(Row(one, "Style")->GetValueText(), "[fsItalic,fsUnderline]");
}

TEST_F(EditorTest, ObjectsHeldByPropertiesExpandIntoTheirProperties) {
  auto* label1 = Add<TQRLabel>("Label1", Detail);
  auto* label2 = Add<TQRLabel>("Label2", Detail);
  auto* shape = Add<TQRShape>("Shape1", Detail);
  label1->Font()->SetName("Arial");
  label2->Font()->SetName("Courier New");

  TPropEditorList rows = Rows({label1, label2});
  TZQKPropEditor* font = Row(rows, "Font");
  EXPECT_EQ(font->ClassType(), TZQKFontPropEditor::StaticClass());
  EXPECT_EQ(font->GetValueText(), "(TFont)");
  TPropEditorList fontRows = SubRows(font);
  EXPECT_EQ(Captions(fontRows),
            (std::vector<std::string>{"Charset", "Color", "Height", "Name", "Pitch", "Size", "Style"}));
  EXPECT_EQ(Row(fontRows, "Name")->DisplayText(), "");  // the names differ
  EXPECT_EQ(Row(fontRows, "Size")->DisplayText(), std::to_string(label1->Font()->Size()));
  EXPECT_EQ(Row(fontRows, "Name")->ClassType(), TZQKFontNamePropEditor::StaticClass());

  Row(fontRows, "Size")->SetValueText("14");
  EXPECT_EQ(label1->Font()->Size(), 14);
  EXPECT_EQ(label2->Font()->Size(), 14);
  EXPECT_EQ(WriteCaptions.back(), "Change Font.Size");
  EXPECT_EQ(WriteComponents.back(), (std::vector<TComponent*>{label1, label2}));

  EXPECT_EQ(Captions(SubRows(Row(rows, "Frame"))),
            (std::vector<std::string>{"Color", "DrawBottom", "DrawLeft", "DrawRight", "DrawTop", "Style", "Width"}));
  EXPECT_EQ(Captions(SubRows(Row(rows, "Size"))), (std::vector<std::string>{"Height", "Left", "Top", "Width"}));

  TPropEditorList shapeRows = Rows({shape});
  EXPECT_EQ(Captions(SubRows(Row(shapeRows, "Pen"))), (std::vector<std::string>{"Color", "Mode", "Style", "Width"}));
  TPropEditorList brush = SubRows(Row(shapeRows, "Brush"));
  EXPECT_EQ(Captions(brush), (std::vector<std::string>{"Color", "Style"}));
  EXPECT_EQ(Row(brush, "Style")->ClassType(), TZQKBrushStylePropEditor::StaticClass());

  TPropEditorList page = SubRows(Row(Rows({Report}), "Page"));
  EXPECT_TRUE(Has(Captions(page), "Orientation"));
  EXPECT_TRUE(Has(Captions(page), "PaperSize"));
  EXPECT_TRUE(Has(Captions(page), "LeftMargin"));

  // Unsorted sub-rows keep the class's order.
  TPropEditorList plain;
  font->OnSortSubProperties = [](TZQKPropEditor*, bool& sorted) { sorted = false; };
  font->FillSubEditors(plain, Choice.Chooser());
  EXPECT_EQ(Captions(plain),
            (std::vector<std::string>{"Charset", "Color", "Height", "Name", "Pitch", "Size", "Style"}));
}

TEST_F(EditorTest, ComponentReferenceRowsNameExpandAndRefuse) {
  auto* table = TComponent::Create<TTable>(nullptr);
  table->SetName("Orders");
  table->SetTableName("orders.db");
  Extra.push_back(table);
  auto* dbText = Add<TQRDBText>("DBText1", Detail);
  TPropEditorList rows = Rows({dbText});
  TZQKPropEditor* dataSet = Row(rows, "DataSet");
  ASSERT_NE(dataSet, nullptr);
  EXPECT_EQ(dataSet->ClassType(), TZQKComponentPropEditor::StaticClass());
  EXPECT_EQ(dataSet->GetAttributes(), eaValueList | eaMultiSelect | eaSortedValues | eaComponentReference);
  EXPECT_EQ(dataSet->ValueList(), (std::vector<std::string>{"Orders"}));

  dataSet->SetValueText("Orders");
  EXPECT_EQ(dbText->DataSet(), table);
  EXPECT_EQ(dataSet->GetAttributes() & (eaSubItems | eaRebuildSubItems), eaSubItems | eaRebuildSubItems);
  // The dataset's own rows, without its name; writes there change the dataset.
  TPropEditorList tableRows = SubRows(dataSet);
  EXPECT_FALSE(Has(Captions(tableRows), "Name"));
  ASSERT_NE(Row(tableRows, "TableName"), nullptr);
  EXPECT_EQ(Row(tableRows, "TableName")->GetValueText(), "orders.db");
  Row(tableRows, "TableName")->SetValueText("customers.db");
  EXPECT_EQ(table->TableName(), "customers.db");
  EXPECT_EQ(WriteComponents.back(), (std::vector<TComponent*>{table}));
  EXPECT_EQ(WriteCaptions.back(), "Change TableName");

  // A name that names nothing, or a component of another class, is refused.
  try {
    dataSet->SetValueText("Nowhere");
    FAIL() << "accepted";
  } catch (const EPropertyError& e) {
    EXPECT_STREQ(e.what(), "Invalid property value");
  }
  EXPECT_THROW(dataSet->SetValueText("Detail"), EPropertyError);
  EXPECT_EQ(dbText->DataSet(), table);
  dataSet->SetValueText("");
  EXPECT_EQ(dbText->DataSet(), nullptr);
  table->Free();
}

// Bad text is refused with the editor's message before anything is written.
TEST_F(EditorTest, BadTextIsRefusedAndNothingChanges) {
  auto* label1 = Add<TQRLabel>("Label1", Detail);
  auto* label2 = Add<TQRLabel>("Label2", Detail);
  label1->SetCaption("Keep");
  TPropEditorList rows = Rows({label1, label2});
  TPropEditorList font = SubRows(Row(rows, "Font"));
  struct TCase {
    TZQKPropEditor* Row;
    std::string Text;
    std::string Message;
  };
  const std::vector<TCase> cases{
      {Row(rows, "Tag"), "twelve", "Invalid property value"},
      {Row(rows, "Tag"), "99999999999", "Value must be between -2147483648 and 2147483647"},
      {Row(font, "Charset"), "300", "Value must be between 0 and 255"},
      {Row(font, "Charset"), "NO_CHARSET", "Invalid property value"},
      {Row(rows, "Alignment"), "taSideways", "Invalid property value"},
      {Row(rows, "AutoSize"), "Maybe", "Invalid property value"},
      {Row(rows, "Color"), "clPlaid", "Invalid property value"},
      {Row(font, "Pitch"), "", "Invalid property value"},
  };
  const std::string before = Row(rows, "Tag")->GetValueText() + Row(font, "Charset")->GetValueText() +
                             Row(rows, "Alignment")->GetValueText() + Row(rows, "Color")->GetValueText();
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Row->PropertyPath() + " <- " + c.Text);
    try {
      c.Row->SetValueText(c.Text);
      ADD_FAILURE() << "accepted";
    } catch (const EZQKPropEditor& e) {
      EXPECT_EQ(e.Message(), c.Message);
    }
  }
  EXPECT_EQ(Row(rows, "Tag")->GetValueText() + Row(font, "Charset")->GetValueText() +
                Row(rows, "Alignment")->GetValueText() + Row(rows, "Color")->GetValueText(),
            before);
  // Floats refuse with the platform conversion's message.
  TPropEditorList size = SubRows(Row(rows, "Size"));
  const std::string width = Row(size, "Width")->GetValueText();
  EXPECT_THROW(Row(size, "Width")->SetValueText("wide"), EConvertError);
  EXPECT_EQ(Row(size, "Width")->GetValueText(), width);
  EXPECT_EQ(Modified, 0);
  EXPECT_TRUE(WriteCaptions.empty());
}

// Editors of a dataset's rows must not outlive the dataset: the watch marks them stale
// while the dataset is being destroyed, and the inspector hears which one went.
TEST_F(EditorTest, EditorsOfAComponentThatGoesAwayTurnStale) {
  auto* table = TComponent::Create<TTable>(nullptr);
  table->SetName("Orders");
  Extra.push_back(table);
  auto* dbText = Add<TQRDBText>("DBText1", Detail);
  dbText->SetDataSet(table);
  TPropEditorList rows = Rows({dbText});
  TZQKPropEditor* dataSet = Row(rows, "DataSet");
  TPropEditorList tableRows = SubRows(dataSet);
  ASSERT_FALSE(tableRows.empty());

  TZQKPropEditorWatch* watch = TComponent::Create<TZQKPropEditorWatch>(nullptr);
  std::vector<TComponent*> gone;
  watch->OnGone = [&](TComponent* c) { gone.push_back(c); };
  for (auto& r : rows) watch->Watch(r.get());
  for (auto& r : tableRows) watch->Watch(r.get());
  EXPECT_TRUE(Row(tableRows, "TableName")->RefersTo(table));
  EXPECT_FALSE(Row(rows, "Caption") && Row(rows, "Caption")->RefersTo(table));

  Extra.clear();
  table->Free();  // what "Change data" does to a document's dataset
  EXPECT_EQ(gone, (std::vector<TComponent*>{table}));
  for (auto& r : tableRows) {
    EXPECT_TRUE(r->Stale()) << r->GetRowCaption();
    EXPECT_EQ(r->DisplayText(), "");
    EXPECT_TRUE(r->ValueList().empty());
    try {
      r->SetValueText("x");  // writes nothing, touches nothing (the text may still be refused)
    } catch (const EZQKPropEditor&) {
    }
  }
  EXPECT_EQ(Modified, 0);
  EXPECT_TRUE(SubRows(Row(tableRows, "TableName")).empty());
  // The label's own rows still work; its reference was cleared.
  EXPECT_FALSE(Row(rows, "Mask")->Stale());
  EXPECT_EQ(dbText->DataSet(), nullptr);

  // An inspected element that goes: its rows and their sub-rows turn stale too.
  TPropEditorList font = SubRows(Row(rows, "Font"));
  for (auto& r : font) watch->Watch(r.get());
  gone.clear();
  dbText->Free();
  EXPECT_EQ(gone, (std::vector<TComponent*>{dbText}));
  for (auto& r : rows) EXPECT_TRUE(r->Stale()) << r->GetRowCaption();
  for (auto& r : font) EXPECT_TRUE(r->Stale()) << r->GetRowCaption();
  watch->Clear();
  watch->Free();
}

TEST_F(EditorTest, ChoiceFollowsKindsFiltersAndRegistrations) {
  auto* label = Add<TQRLabel>("Label1", Detail);
  const TPropertyInfo* caption = GetPropInfo(label, "Caption");
  const TPropertyInfo* onPrint = GetPropInfo(label, "OnPrint");
  ASSERT_NE(onPrint, nullptr);
  EXPECT_EQ(Choice.Choose(false, label, onPrint), nullptr);

  TZQKEditorChoice events;
  events.PropKinds = {pkEvents};
  EXPECT_EQ(events.Choose(false, label, onPrint), TZQKPropEditor::StaticClass());
  EXPECT_EQ(events.Choose(false, label, caption), nullptr);

  TZQKEditorChoice filtered;
  int filterCalls = 0;
  filtered.OnFilterProp = [&](TPersistent*, const TPropertyInfo* p, bool, bool& include) {
    ++filterCalls;
    include = p->Name != "Caption";
  };
  EXPECT_EQ(filtered.Choose(false, label, caption), nullptr);
  // A class from OnGetEditorClass is final: no filter is asked.
  filtered.OnGetEditorClass = [](TPersistent*, const TPropertyInfo*, TZQKPropEditorClass& c) {
    c = TZQKStringPropEditor::StaticClass();
  };
  filterCalls = 0;
  EXPECT_EQ(filtered.Choose(false, label, caption), TZQKStringPropEditor::StaticClass());
  EXPECT_EQ(filterCalls, 0);

  // Registrations: the last matching one wins; a null editor falls through.
  TZQKEditorChoice registered;
  registered.EditorRegistrations.push_back({CaptionTypeInfo(), nullptr, "", TZQKStringPropEditor::StaticClass()});
  EXPECT_EQ(registered.Choose(false, label, caption), TZQKStringPropEditor::StaticClass());
  registered.EditorRegistrations.push_back({CaptionTypeInfo(), &TQRLabel::StaticClass(), "caption", nullptr});
  EXPECT_EQ(registered.Choose(false, label, caption), TZQKCaptionPropEditor::StaticClass());
  registered.EditorRegistrations.push_back(
      {TFont::StaticClass().TypeInfo(), nullptr, "", TZQKClassPropEditor::StaticClass()});
  EXPECT_EQ(registered.Choose(false, label, GetPropInfo(label, "Font")), TZQKClassPropEditor::StaticClass());
}

}  // namespace rpt::test
