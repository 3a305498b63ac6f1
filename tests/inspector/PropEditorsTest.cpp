// The concrete editors: value text and typed text both ways for each kind of value,
// value lists, the dialogs (through a stand-in service, so nothing runs modally), the
// string list editor, owner-drawn items, and writes that fail half way.
#include <gtest/gtest.h>

#include <functional>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QImage>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include "framework/QtCanvas.h"
#include "inspector/ItemListEditor.h"
#include "inspector/PropDialogs.h"
#include "inspector/StrsEditor.h"
#include "report/QRChart.h"
#include "report/QRCtrls.h"
#include "report/QuickRpt.h"
#include "tests/inspector/EditorFixture.h"

namespace rpt::test {

// One published property of every kind the report classes do not use.
class TKindsSample : public TComponent {
  RPT_CLASS(TKindsSample, TComponent)
  TKindsSample() = default;

  char Ch = 'A';
  uint8_t Small = 0;
  uint32_t Unsigned = 0;
  int64_t Big = 0;
  float Ratio = 0;
  double When = 0, At = 0, Stamp = 0;
  int32_t Result = 0;
  uint16_t Key = 0;
  int16_t Order = 0;
  TVariant Value;
  std::string Ime;
  int32_t Fixed() const { return 5; }
  TFont* HeldFont() const { return FFont.get(); }
  int32_t Guarded() const { return FGuarded; }
  // Refuses one value, as a setter that validates would.
  void SetGuarded(int32_t v) {
    if (v == RefuseValue) throw EComponentError("refused");
    FGuarded = v;
  }
  int32_t RefuseValue = -1;

 private:
  std::unique_ptr<TFont> FFont = std::make_unique<TFont>();
  int32_t FGuarded = 0;
};

RPT_BEGIN_CLASS(TKindsSample, TComponent)
  c.Property("Ch", &TKindsSample::Ch, &TKindsSample::Ch);
  c.Property("Small", &TKindsSample::Small, &TKindsSample::Small);
  c.Property("Unsigned", &TKindsSample::Unsigned, &TKindsSample::Unsigned);
  c.Property("Big", &TKindsSample::Big, &TKindsSample::Big);
  c.Property("Ratio", &TKindsSample::Ratio, &TKindsSample::Ratio);
  c.Property("When", &TKindsSample::When, &TKindsSample::When).Type(DateTypeInfo());
  c.Property("At", &TKindsSample::At, &TKindsSample::At).Type(TimeTypeInfo());
  c.Property("Stamp", &TKindsSample::Stamp, &TKindsSample::Stamp).Type(DateTimeTypeInfo());
  c.Property("Result", &TKindsSample::Result, &TKindsSample::Result).Type(ModalResultTypeInfo());
  c.Property("Key", &TKindsSample::Key, &TKindsSample::Key).Type(ShortCutTypeInfo());
  c.Property("Order", &TKindsSample::Order, &TKindsSample::Order).Type(TabOrderTypeInfo());
  c.Property("Value", &TKindsSample::Value, &TKindsSample::Value);
  c.Property("Ime", &TKindsSample::Ime, &TKindsSample::Ime).Type(ImeNameTypeInfo());
  c.Property("Fixed", &TKindsSample::Fixed);
  c.Property("HeldFont", &TKindsSample::HeldFont);
  c.Property("Guarded", &TKindsSample::Guarded, &TKindsSample::SetGuarded);
RPT_END_CLASS

class KindsTest : public EditorTest {
 protected:
  TKindsSample* NewSample(const std::string& name) {
    auto* s = TComponent::Create<TKindsSample>(Report);
    s->SetName(name);
    return s;
  }
  // The row of one sample (or several).
  TZQKPropEditor* RowOf(std::vector<TPersistent*> objects, const std::string& caption) {
    Kept.push_back(Rows(objects));
    return Row(Kept.back(), caption);
  }
  std::vector<TPropEditorList> Kept;
};

namespace {
std::string MessageOf(const std::function<void()>& step) {
  try {
    step();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "(accepted)";
}
}  // namespace

TEST_F(KindsTest, EachKindGetsItsEditor) {
  TKindsSample* s = NewSample("S");
  const std::vector<std::pair<const char*, TZQKPropEditorClass>> expected{
      {"Ch", TZQKCharPropEditor::StaticClass()},           {"Small", TZQKIntegerPropEditor::StaticClass()},
      {"Big", TZQKInt64PropEditor::StaticClass()},         {"Ratio", TZQKFloatPropEditor::StaticClass()},
      {"When", TZQKDatePropEditor::StaticClass()},         {"At", TZQKTimePropEditor::StaticClass()},
      {"Stamp", TZQKDateTimePropEditor::StaticClass()},    {"Result", TZQKModalResultPropEditor::StaticClass()},
      {"Key", TZQKShortCutPropEditor::StaticClass()},      {"Order", TZQKTabOrderPropEditor::StaticClass()},
      {"Value", TZQKVariantPropEditor::StaticClass()},     {"Ime", TZQKImeNamePropEditor::StaticClass()},
      {"HeldFont", TZQKFontPropEditor::StaticClass()},
  };
  for (const auto& [caption, cls] : expected) {
    TZQKPropEditor* row = RowOf({s}, caption);
    ASSERT_NE(row, nullptr) << caption;
    EXPECT_EQ(row->ClassType(), cls) << caption;
  }
  // A read-only value has no row unless read-only rows are asked for; a read-only
  // object does (its own properties can be edited).
  EXPECT_EQ(RowOf({s}, "Fixed"), nullptr);
  Choice.PropKinds = {pkProperties, pkReadOnly};
  ASSERT_NE(RowOf({s}, "Fixed"), nullptr);
  EXPECT_FALSE(RowOf({s}, "Fixed")->AllWritable());
  // The tab order is one object's: no row for two.
  TKindsSample* t = NewSample("T");
  EXPECT_EQ(RowOf({s, t}, "Order"), nullptr);
  EXPECT_NE(RowOf({s, t}, "Key"), nullptr);
}

TEST_F(KindsTest, CharsIntegersAndInt64) {
  TKindsSample* s = NewSample("S");
  TZQKPropEditor* ch = RowOf({s}, "Ch");
  ch->SetValueText("#66");
  EXPECT_EQ(s->Ch, 'B');
  EXPECT_EQ(ch->GetValueText(), "B");
  ch->SetValueText("A");
  EXPECT_EQ(s->Ch, 'A');
  ch->SetValueText(" ");
  EXPECT_EQ(ch->GetValueText(), "#32");
  ch->SetValueText("#9");
  EXPECT_EQ(ch->GetValueText(), "#9");
  ch->SetValueText("");
  EXPECT_EQ(s->Ch, 0);
  ch->SetValueText("\xC3\xA9");  // é in the code page
  EXPECT_EQ(static_cast<unsigned char>(s->Ch), 0xE9);
  EXPECT_EQ(ch->GetValueText(), "\xC3\xA9");
  EXPECT_EQ(MessageOf([&] { ch->SetValueText("AB"); }), "Invalid property value");
  EXPECT_EQ(MessageOf([&] { ch->SetValueText("#300"); }), "Value must be between 0 and 255");

  TZQKPropEditor* small = RowOf({s}, "Small");
  EXPECT_EQ(MessageOf([&] { small->SetValueText("300"); }), "Value must be between 0 and 255");
  small->SetValueText("255");
  EXPECT_EQ(s->Small, 255);

  TZQKPropEditor* u = RowOf({s}, "Unsigned");
  u->SetValueText("4294967295");
  EXPECT_EQ(s->Unsigned, 4294967295u);
  EXPECT_EQ(u->GetValueText(), "4294967295");
  EXPECT_EQ(MessageOf([&] { u->SetValueText("-1"); }), "Value must be between 0 and 4294967295");

  TZQKPropEditor* big = RowOf({s}, "Big");
  big->SetValueText("-9000000000");
  EXPECT_EQ(s->Big, -9000000000LL);
  EXPECT_EQ(big->GetValueText(), "-9000000000");
  EXPECT_EQ(MessageOf([&] { big->SetValueText("lots"); }), "Invalid property value");
  EXPECT_EQ(s->Big, -9000000000LL);
}

TEST_F(KindsTest, FloatsDatesAndTimes) {
  TKindsSample* s = NewSample("S");
  TZQKPropEditor* ratio = RowOf({s}, "Ratio");
  ratio->SetValueText("0.1");
  EXPECT_FLOAT_EQ(s->Ratio, 0.1f);
  EXPECT_EQ(ratio->GetValueText(), "0.1");  // seven digits for a single
  for (const char* bad : {"inf", "nan", "1e39"}) EXPECT_THROW(ratio->SetValueText(bad), EConvertError) << bad;
  EXPECT_FLOAT_EQ(s->Ratio, 0.1f);

  TZQKPropEditor* when = RowOf({s}, "When");
  EXPECT_EQ(when->GetValueText(), "");
  s->When = 45292;  // 2024-01-01
  const std::string shown = when->GetValueText();
  EXPECT_NE(shown.find("2024"), std::string::npos) << shown;
  when->SetValueText("");
  EXPECT_EQ(s->When, 0);
  EXPECT_EQ(when->GetValueText(), "");
  when->SetValueText(shown);
  EXPECT_DOUBLE_EQ(s->When, 45292);
  EXPECT_THROW(when->SetValueText("someday"), EConvertError);
  EXPECT_DOUBLE_EQ(s->When, 45292);

  TZQKPropEditor* at = RowOf({s}, "At");
  s->At = 0.75;  // 18:00
  const std::string time = at->GetValueText();
  at->SetValueText("");
  at->SetValueText(time);
  EXPECT_DOUBLE_EQ(s->At, 0.75);

  TZQKPropEditor* stamp = RowOf({s}, "Stamp");
  s->Stamp = 45292.5;
  const std::string both = stamp->GetValueText();
  stamp->SetValueText("");
  stamp->SetValueText(both);
  EXPECT_NEAR(s->Stamp, 45292.5, 1e-6);
}

TEST_F(KindsTest, ModalResultsShortcutsCursorsAndColours) {
  TKindsSample* s = NewSample("S");
  TZQKPropEditor* result = RowOf({s}, "Result");
  result->SetValueText("mrcancel");
  EXPECT_EQ(s->Result, 2);
  EXPECT_EQ(result->GetValueText(), "mrCancel");
  result->SetValueText("42");
  EXPECT_EQ(result->GetValueText(), "42");
  result->SetValueText("");
  EXPECT_EQ(s->Result, 0);
  EXPECT_EQ(result->ValueList().size(), 11u);

  TZQKPropEditor* key = RowOf({s}, "Key");
  key->SetValueText("Ctrl+Q");
  EXPECT_EQ(s->Key, 16384 + 'Q');
  key->SetValueText("(none)");
  EXPECT_EQ(s->Key, 0);
  EXPECT_EQ(key->GetValueText(), "(None)");
  EXPECT_EQ(MessageOf([&] { key->SetValueText("Ctrl+Banana"); }), "Invalid property value");
  const std::vector<std::string> keys = key->ValueList();
  ASSERT_EQ(keys.size(), 109u);
  EXPECT_EQ(keys[1], "Ctrl+A");
  EXPECT_EQ(keys[27], "Ctrl+Alt+A");
  EXPECT_EQ(keys.back(), "Shift+Alt+BkSp");
  for (const std::string& k : keys) {
    key->SetValueText(k);
    EXPECT_EQ(key->GetValueText(), k);
  }

  auto* label = Add<TQRLabel>("Label1", Detail);
  TZQKPropEditor* cursor = RowOf({label}, "Cursor");
  cursor->SetValueText("-21");
  EXPECT_EQ(label->Cursor(), crHandPoint);
  EXPECT_EQ(cursor->GetValueText(), "crHandPoint");
  cursor->SetValueText("crSizeAll");
  EXPECT_EQ(cursor->GetValueText(), "crSizeAll");
  const std::vector<std::string> cursors = cursor->ValueList();
  EXPECT_TRUE(std::is_sorted(cursors.begin(), cursors.end(),
                             LessNoCase));

  TZQKPropEditor* color = RowOf({label}, "Color");
  color->SetValueText("255");
  EXPECT_EQ(label->Color(), clRed);
  EXPECT_EQ(color->GetValueText(), "clRed");
  color->SetValueText("$00123456");
  EXPECT_EQ(label->Color(), 0x123456);
  EXPECT_EQ(color->GetValueText(), "$00123456");
  color->SetValueText("$FF000019");  // a system colour without a name
  EXPECT_EQ(color->GetValueText(), "$FF000019");
  color->SetValueText(color->GetValueText());
  EXPECT_EQ(static_cast<uint32_t>(label->Color()), 0xFF000019u);
  const std::vector<std::string> colors = color->ValueList();
  ASSERT_EQ(colors.size(), 52u);
  EXPECT_EQ(colors.front(), "clBlack");
}

TEST_F(KindsTest, VariantsKeepTheirTypeWhenTheTextFits) {
  TKindsSample* s = NewSample("S");
  s->Value.Type = TVariant::varInteger;
  s->Value.Int = 5;
  TZQKPropEditor* value = RowOf({s}, "Value");
  EXPECT_EQ(value->GetValueText(), "5");
  TPropEditorList sub = SubRows(value);
  ASSERT_EQ(sub.size(), 1u);
  TZQKPropEditor* type = sub[0].get();
  EXPECT_EQ(type->GetRowCaption(), "Type");
  EXPECT_EQ(type->GetValueText(), "Integer");

  value->SetValueText("7");
  EXPECT_EQ(s->Value.Type, TVariant::varInteger);
  EXPECT_EQ(s->Value.Int, 7);
  value->SetValueText("abc");
  EXPECT_EQ(s->Value.Type, TVariant::varString);
  EXPECT_EQ(type->GetValueText(), "String");
  value->SetValueText("(null)");
  EXPECT_EQ(value->GetValueText(), "(Null)");
  value->SetValueText("");
  EXPECT_EQ(type->GetValueText(), "Unassigned");

  EXPECT_EQ(MessageOf([&] { type->SetValueText("Quaternion"); }), "Unknown Type");
  // Each object's own value changes type.
  TKindsSample* t = NewSample("T");
  s->Value = {};
  s->Value.Type = TVariant::varString;
  s->Value.Text = "12";
  t->Value.Type = TVariant::varString;
  t->Value.Text = "34";
  TPropEditorList both = SubRows(RowOf({s, t}, "Value"));
  both[0]->SetValueText("Integer");
  EXPECT_EQ(s->Value.Type, TVariant::varInteger);
  EXPECT_EQ(s->Value.Int, 12);
  EXPECT_EQ(t->Value.Int, 34);
  // A value that does not convert becomes the type's empty value.
  t->Value.Type = TVariant::varString;
  t->Value.Text = "x";
  SubRows(RowOf({t}, "Value"))[0]->SetValueText("Double");
  EXPECT_EQ(t->Value.Type, TVariant::varDouble);
  EXPECT_EQ(t->Value.Float, 0);
}

// A setter that refuses one object's value: the objects written before it get their
// old value back, and no change is reported.
TEST_F(KindsTest, AFailedWriteLeavesEveryObjectAsItWas) {
  TKindsSample* a = NewSample("A");
  TKindsSample* b = NewSample("B");
  TKindsSample* c = NewSample("C");
  a->SetGuarded(1);
  b->SetGuarded(2);
  c->SetGuarded(3);
  TZQKPropEditor* guarded = RowOf({a, b, c}, "Guarded");
  c->RefuseValue = 9;
  EXPECT_EQ(MessageOf([&] { guarded->SetValueText("9"); }), "refused");
  EXPECT_EQ(a->Guarded(), 1);
  EXPECT_EQ(b->Guarded(), 2);
  EXPECT_EQ(c->Guarded(), 3);
  EXPECT_EQ(Modified, 0);
  guarded->SetValueText("8");
  EXPECT_EQ(a->Guarded() + b->Guarded() + c->Guarded(), 24);
  EXPECT_EQ(Modified, 1);
}

// ---------------------------------------------------------------------------
// Dialogs, through a stand-in service.
class TFakeDialogs : public TEditorDialogs {
 public:
  bool Accept = true;
  int Runs = 0;
  std::string SeenFontName;
  std::vector<std::string> SeenLines;
  bool ChooseColor(TColor& color) override {
    ++Runs;
    color = clLime;
    return Accept;
  }
  bool ChooseFont(TFont& font) override {
    ++Runs;
    SeenFontName = font.Name();
    font.SetSize(20);
    font.SetStyle({fsBold});
    return Accept;
  }
  bool EditStrings(TStrings& lines) override {
    ++Runs;
    SeenLines = lines.Lines();
    lines.SetText("edited\nlines");
    return Accept;
  }
  std::function<void(TCollection&)> EditItems;
  std::string SeenTitle;
  bool EditItemList(TCollection& items, const std::string& title) override {
    ++Runs;
    SeenTitle = title;
    if (EditItems) EditItems(items);
    return Accept;
  }
};

class DialogTest : public EditorTest {
 protected:
  void SetUp() override {
    EditorTest::SetUp();
    SetEditorDialogs(&Fake);
  }
  void TearDown() override {
    SetEditorDialogs(nullptr);
    EditorTest::TearDown();
  }
  TFakeDialogs Fake;
};

TEST_F(DialogTest, ColourFontAndLinesDialogsWriteEveryObjectOnOkOnly) {
  auto* label1 = Add<TQRLabel>("Label1", Detail);
  auto* label2 = Add<TQRLabel>("Label2", Detail);
  label1->Font()->SetName("Arial");
  TPropEditorList rows = Rows({label1, label2});

  Fake.Accept = false;
  Row(rows, "Color")->RunDialog();
  Row(rows, "Font")->RunDialog();
  EXPECT_EQ(Fake.Runs, 2);
  EXPECT_EQ(label1->Color(), clWhite);
  EXPECT_EQ(label2->Font()->Size(), 10);
  EXPECT_EQ(Modified, 0);

  Fake.Accept = true;
  Row(rows, "Color")->RunDialog();
  EXPECT_EQ(label1->Color(), clLime);
  EXPECT_EQ(label2->Color(), clLime);
  Row(rows, "Font")->RunDialog();
  EXPECT_EQ(Fake.SeenFontName, "Arial");  // the first object's font
  for (TQRLabel* l : {label1, label2}) {
    EXPECT_EQ(l->Font()->Size(), 20);
    EXPECT_EQ(l->Font()->Style(), TFontStyles{fsBold});
    EXPECT_EQ(l->Font()->Name(), "Arial");
  }
  EXPECT_EQ(WriteCaptions.back(), "Change Font");
  EXPECT_EQ(Modified, 2);

  auto* memo1 = Add<TQRMemo>("Memo1", Detail);
  auto* memo2 = Add<TQRMemo>("Memo2", Detail);
  memo1->Lines()->SetText("first");
  TPropEditorList memoRows = Rows({memo1, memo2});
  TZQKPropEditor* lines = Row(memoRows, "Lines");
  EXPECT_EQ(lines->GetAttributes(), eaDialog | eaMultiSelect | eaReadOnlyText);
  Fake.Accept = false;
  lines->RunDialog();
  EXPECT_EQ(memo1->Lines()->Text(), "first\n");
  Fake.Accept = true;
  lines->RunDialog();
  EXPECT_EQ(Fake.SeenLines, (std::vector<std::string>{"first"}));
  EXPECT_EQ(memo1->Lines()->Lines(), (std::vector<std::string>{"edited", "lines"}));
  EXPECT_EQ(memo2->Lines()->Lines(), (std::vector<std::string>{"edited", "lines"}));
}

TEST_F(DialogTest, HighlightsAreEditedInTheListDialogAndWrittenToEveryElementOnOkOnly) {
  auto* a = Add<TQRLabel>("A", Detail);
  auto* b = Add<TQRLabel>("B", Detail);
  TPropEditorList rows = Rows({a, b});
  TZQKPropEditor* highlights = Row(rows, "Highlights");
  ASSERT_NE(highlights, nullptr);
  EXPECT_EQ(highlights->GetValueText(), "(0 items)");
  // The dialog as a user works it: two rules, the second filled in and moved up, the
  // other deleted.
  Fake.EditItems = [](TCollection& items) {
    TItemListDialog dialog;
    dialog.ChooseColor = [](TColor& color) {
      color = clRed;
      return true;
    };
    dialog.Load(items);
    EXPECT_NE(dialog.Note->text().indexOf("the first rule whose condition holds"), -1);
    dialog.AddItem();
    dialog.AddItem();
    auto* condition = dialog.Fields->findChild<QLineEdit*>("Condition");
    ASSERT_NE(condition, nullptr);
    condition->setText("amount > 100");
    emit condition->textEdited(condition->text());
    dialog.Fields->findChild<QWidget*>("FontColor")->findChild<QPushButton*>("Choose")->click();
    dialog.Fields->findChild<QCheckBox*>("fsBold")->setChecked(true);
    dialog.Fields->findChild<QCheckBox*>("Visible")->setChecked(false);
    EXPECT_EQ(dialog.List->item(1)->text(), "2. amount > 100");
    // The program's expression editor, where there is one, edits the condition too.
    TItemListDialog::EditExpression = [](std::string& text) {
      text = "amount > 200\r\n";
      return true;
    };
    dialog.ShowItem(0);
    dialog.Fields->findChild<QPushButton*>("Edit")->click();
    TItemListDialog::EditExpression = nullptr;
    EXPECT_EQ(dialog.List->item(0)->text(), "1. amount > 200");
    dialog.List->setCurrentRow(1);
    dialog.MoveItem(-1);
    dialog.List->setCurrentRow(1);
    EXPECT_EQ(dialog.List->currentItem()->text(), "2. amount > 200");
    dialog.DeleteItem();
    EXPECT_EQ(dialog.List->count(), 1);
  };
  Fake.Accept = false;
  highlights->RunDialog();
  EXPECT_EQ(a->Highlights()->Count(), 0);
  EXPECT_EQ(Modified, 0);
  Fake.Accept = true;
  highlights->RunDialog();
  for (TQRLabel* label : {a, b}) {
    ASSERT_EQ(label->Highlights()->Count(), 1);
    const TQRHighlight& rule = *label->Highlights()->Rule(0);
    EXPECT_EQ(rule.Condition(), "amount > 100");
    EXPECT_EQ(rule.FontColor(), clRed);
    EXPECT_EQ(rule.FontStyle(), TFontStyles{fsBold});
    EXPECT_EQ(rule.Color(), clNone);
    EXPECT_FALSE(rule.Visible());
  }
  EXPECT_EQ(highlights->GetValueText(), "(1 item)");
  EXPECT_EQ(Fake.SeenTitle, "Highlights");
  EXPECT_EQ(Modified, 1);
}

// A chart's rows: each of its own properties has one, its enumerations list their
// values, and its series are made in the list dialog, aggregate chosen from a list.
TEST_F(DialogTest, EveryChartPropertyHasARowAndItsSeriesAreMadeInTheListDialog) {
  auto* chart = Add<TQRChart>("Chart", Detail);
  TPropEditorList rows = Rows({chart});
  for (const char* name : {"CategoryAxisTitle", "CategoryOrder", "ChartType", "LegendPosition", "Mask", "Series",
                           "ShowValues", "Title", "ValueAxisTitle"})
    EXPECT_NE(Row(rows, name), nullptr) << name;
  std::vector<std::string> types;
  Row(rows, "ChartType")->FillValueList(types);
  EXPECT_EQ(types, (std::vector<std::string>{"ctBar", "ctStackedBar", "ctLine", "ctArea", "ctPie"}));
  Row(rows, "ChartType")->SetValueText("ctPie");
  EXPECT_EQ(chart->ChartType(), ctPie);
  Fake.EditItems = [](TCollection& items) {
    TItemListDialog dialog;
    dialog.Load(items);
    dialog.AddItem();
    for (const auto& [field, text] : {std::pair{"Title", "Sales"}, {"Category", "month"}, {"Value", "amount"}}) {
      auto* edit = dialog.Fields->findChild<QLineEdit*>(field);
      ASSERT_NE(edit, nullptr) << field;
      edit->setText(text);
      emit edit->textEdited(edit->text());
    }
    dialog.Fields->findChild<QComboBox*>("Aggregate")->setCurrentText("caAverage");
    EXPECT_EQ(dialog.List->item(0)->text(), "1. Sales");
  };
  Fake.Accept = true;
  Row(rows, "Series")->RunDialog();
  ASSERT_EQ(chart->Series()->Count(), 1);
  const TQRChartSeries& series = *chart->Series()->Series(0);
  EXPECT_EQ(series.Category(), "month");
  EXPECT_EQ(series.Value(), "amount");
  EXPECT_EQ(series.Aggregate(), caAverage);
  EXPECT_EQ(Fake.SeenTitle, "Series");
}

TEST(DialogConversions, FontsAndColoursRoundTripThroughTheDialogs) {
  TFont font;
  font.SetName("DejaVu Sans");
  font.SetSize(13);
  font.SetStyle({fsItalic, fsStrikeOut});
  font.SetColor(clRed);
  const QFont q = ToDialogFont(font);
  EXPECT_EQ(q.family(), "DejaVu Sans");
  EXPECT_EQ(q.pointSize(), 13);
  EXPECT_TRUE(q.italic());
  EXPECT_FALSE(q.bold());
  TFont back;
  ApplyDialogFont(q, back);
  EXPECT_TRUE(back.SameAs(font) || (back.Name() == font.Name() && back.Size() == 13 && back.Style() == font.Style()));
  EXPECT_EQ(back.Color(), clWindowText);  // the dialog chooses no colour
  EXPECT_EQ(FromDialogColor(ToDialogColor(static_cast<TColor>(0x123456))), 0x123456);
  EXPECT_EQ(FromDialogColor(ToDialogColor(clRed)), clRed);
}

TEST(StringsEditorDialog, CountsLinesAndReturnsTheEditedLines) {
  TZQKStringsEditorDialog dialog;
  TStringList empty;
  dialog.Load(empty);
  EXPECT_EQ(dialog.lbLineCount->text(), "0 lines");
  dialog.memMain->setPlainText("one line");
  EXPECT_EQ(dialog.lbLineCount->text(), "1 lines");
  dialog.memMain->setPlainText("a\nb\n");
  EXPECT_EQ(dialog.lbLineCount->text(), "2 lines");
  EXPECT_EQ(dialog.memMain->lineWrapMode(), QPlainTextEdit::NoWrap);

  TStringList lines;
  lines.SetText("select *\nfrom orders\n\nwhere 1");
  dialog.Load(lines);
  EXPECT_EQ(dialog.lbLineCount->text(), "4 lines");
  EXPECT_EQ(dialog.Lines().Lines(), lines.Lines());

  // Execute runs modally: OK and Cancel are pressed from the loop it runs.
  QTimer::singleShot(0, dialog.btnOk, &QPushButton::click);
  EXPECT_TRUE(dialog.Execute());
  EXPECT_EQ(dialog.windowTitle(), "String List Editor");
  EXPECT_EQ(dialog.btnOk->text(), "&Ok");
  QTimer::singleShot(0, dialog.btnCancel, &QPushButton::click);
  EXPECT_FALSE(dialog.Execute());
}

// The colour list paints a swatch of the named colour beside the name.
TEST_F(EditorTest, ColourItemsPaintASwatch) {
  auto* label = Add<TQRLabel>("Label1", Detail);
  TPropEditorList rows = Rows({label});
  TZQKPropEditor* color = Row(rows, "Color");
  QImage image(120, 20, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  TQtCanvas canvas(&painter, 96);
  int32_t height = 0, width = 0;
  color->MeasureValueHeight("clRed", canvas, height);
  color->MeasureValueWidth("clRed", canvas, width);
  EXPECT_EQ(height, canvas.TextHeight("Wg") + 2);
  EXPECT_GT(width, canvas.TextWidth("clRed"));
  canvas.Brush()->SetColor(clWhite);
  color->DrawValue("clRed", canvas, {0, 0, 120, 18}, false);
  painter.end();
  EXPECT_EQ(image.pixelColor(8, 9), QColor(255, 0, 0));
  EXPECT_EQ(canvas.Brush()->Color(), clWhite);  // restored
}

}  // namespace rpt::test
