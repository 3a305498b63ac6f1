// The binary component stream: exact bytes for each value kind, reading them back,
// references, hooks and every read failure.
#include <gtest/gtest.h>

#include "objects/Filer.h"
#include "tests/objects/TestClasses.h"

namespace rpt::test {
namespace {

std::string Bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s += static_cast<char>(v);
  return s;
}

std::string Str(std::string_view s) { return std::string(1, static_cast<char>(s.size())) + std::string(s); }

// The bytes an object's header and the default properties of a test label produce.
std::string Save(TComponent* root) {
  TMemoryStream stream;
  SaveComponent(stream, root);
  return stream.Data();
}

// The stream of a label with one property changed; the expectations below check that
// the property's bytes appear in it and not in the stream of a default label.
std::string PropertyBytes(const std::function<void(TTestLabel&)>& set) {
  TTestLabel changed;
  changed.SetName("L");
  set(changed);
  return Save(&changed);
}

::testing::AssertionResult Writes(const std::string& stream, const std::string& expected) {
  TTestLabel plain;
  plain.SetName("L");
  if (Save(&plain).find(expected) != std::string::npos)
    return ::testing::AssertionFailure() << "a default label already writes these bytes";
  if (stream.find(expected) == std::string::npos) return ::testing::AssertionFailure() << "bytes not written";
  return ::testing::AssertionSuccess();
}

class StreamTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { RegisterTestClasses(); }
};

TEST_F(StreamTest, ValueEncodingsMatchTheFormat) {
  // Left is always written, so compare whole streams for Left.
  TTestLabel label;
  label.SetName("L");
  label.SetLeft(40);
  label.SetWidth(300);
  const std::string bytes = Save(&label);
  EXPECT_NE(bytes.find(Bytes({0x04, 'L', 'e', 'f', 't', 0x02, 0x28})), std::string::npos);
  EXPECT_NE(bytes.find(Bytes({0x05, 'W', 'i', 'd', 't', 'h', 0x03, 0x2C, 0x01})), std::string::npos);

  EXPECT_TRUE(Writes(PropertyBytes([](TTestLabel& l) { l.Caption = "Total"; }),
            Bytes({0x07, 'C', 'a', 'p', 't', 'i', 'o', 'n', 0x06, 0x05, 'T', 'o', 't', 'a', 'l'})));
  EXPECT_TRUE(Writes(PropertyBytes([](TTestLabel& l) { l.AutoSize = false; }),
            Bytes({0x08, 'A', 'u', 't', 'o', 'S', 'i', 'z', 'e', 0x08})));
  EXPECT_TRUE(Writes(PropertyBytes([](TTestLabel& l) { l.Color = clRed; }), Str("Color") + Bytes({0x07}) + Str("clRed")));
  EXPECT_TRUE(Writes(PropertyBytes([](TTestLabel& l) { l.Color = TColor(123456); }),
            Str("Color") + Bytes({0x04, 0x40, 0xE2, 0x01, 0x00})));
  EXPECT_TRUE(Writes(PropertyBytes([](TTestLabel& l) { l.Font()->Style = {fsBold}; }),
            Bytes({0x0A, 'F', 'o', 'n', 't', '.', 'S', 't', 'y', 'l', 'e', 0x0B, 0x06, 'f', 's', 'B', 'o', 'l', 'd', 0x00})));
  EXPECT_TRUE(Writes(PropertyBytes([](TTestLabel& l) { l.Styles = {fsItalic, fsBold}; }),
            Str("Styles") + Bytes({0x0B}) + Str("fsBold") + Str("fsItalic") + Bytes({0x00})));
  EXPECT_TRUE(Writes(PropertyBytes([](TTestLabel& l) { l.Shape = skCircle; }),
            Str("Shape") + Bytes({0x07}) + Str("skCircle")));
  EXPECT_TRUE(Writes(PropertyBytes([](TTestLabel& l) { l.Big = 5; }), Str("Big") + Bytes({0x02, 0x05})));
  EXPECT_TRUE(Writes(PropertyBytes([](TTestLabel& l) { l.Big = int64_t(1) << 40; }),
            Str("Big") + Bytes({0x13, 0, 0, 0, 0, 0, 1, 0, 0})));
  EXPECT_TRUE(Writes(PropertyBytes([](TTestLabel& l) { l.Ratio = 1.0; }),
            Str("Ratio") + Bytes({0x05, 0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x3F})));
  EXPECT_TRUE(Writes(PropertyBytes([](TTestLabel& l) { l.Font()->Charset = ANSI_CHARSET; }),
            Str("Font.Charset") + Bytes({0x07}) + Str("ANSI_CHARSET")));
  EXPECT_TRUE(Writes(PropertyBytes([](TTestLabel& l) { l.SetCursor(crSizeAll); }),
            Str("Cursor") + Bytes({0x07}) + Str("crSizeAll")));
}

TEST_F(StreamTest, StringsChooseTheirCode) {
  EXPECT_TRUE(Writes(PropertyBytes([](TTestLabel& l) { l.Caption = std::string(255, 'x'); }),
            Str("Caption") + Bytes({0x06, 0xFF}) + std::string(255, 'x')));
  EXPECT_TRUE(Writes(PropertyBytes([](TTestLabel& l) { l.Caption = std::string(256, 'x'); }),
            Str("Caption") + Bytes({0x0C, 0x00, 0x01, 0x00, 0x00}) + std::string(256, 'x')));
  EXPECT_TRUE(Writes(PropertyBytes([](TTestLabel& l) { l.Caption = "\xC3\xA9"; }),
            Str("Caption") + Bytes({0x12, 0x01, 0, 0, 0, 0xE9, 0x00})));
  EXPECT_TRUE(Writes(PropertyBytes([](TTestLabel& l) { l.Caption = "Caf\xC3\xA9"; }),
            Str("Caption") + Bytes({0x14, 0x05, 0, 0, 0, 'C', 'a', 'f', 0xC3, 0xA9})));
  // String list lines take the UTF-8 form even for a single non-ASCII character.
  EXPECT_TRUE(Writes(PropertyBytes([](TTestLabel& l) { l.Lines()->Add("\xC3\xA9"); }),
            Str("Lines.Strings") + Bytes({0x01, 0x14, 0x02, 0, 0, 0, 0xC3, 0xA9, 0x00})));
  EXPECT_TRUE(Writes(PropertyBytes([](TTestLabel& l) {
              l.Lines()->Add("a");
              l.Lines()->Add("b");
            }),
            Str("Lines.Strings") + Bytes({0x01, 0x06, 0x01, 'a', 0x06, 0x01, 'b', 0x00})));
}

TEST_F(StreamTest, DefaultsAndStoredRulesSuppressProperties) {
  TTestLabel label;
  label.SetName("L");
  const std::string bytes = Save(&label);
  for (const char* absent : {"Tag", "AutoSize", "Color", "Shape", "Styles", "Caption", "Ratio", "Lines", "Link",
                             "OnClick", "Name", "Third", "First"})
    EXPECT_EQ(bytes.find(Str(absent)), std::string::npos) << absent;
  // A collection is always written, even empty.
  EXPECT_NE(bytes.find(Str("Items") + Bytes({0x0E, 0x00})), std::string::npos);
  for (const char* present : {"Left", "Top", "Width", "Height", "Font.Name", "Font.Size", "Font.Color"})
    EXPECT_NE(bytes.find(Str(present)), std::string::npos) << present;

  label.StoreRatio = false;
  label.Ratio = 2;
  label.SetIndexed(2, 7);
  label.SetIndexed(0, 9);
  const std::string stored = Save(&label);
  EXPECT_EQ(stored.find(Str("Ratio")), std::string::npos);
  EXPECT_EQ(stored.find(Str("Third")), std::string::npos);
  EXPECT_NE(stored.find(Str("First") + Bytes({0x02, 0x09})), std::string::npos);
}

TEST_F(StreamTest, EveryKindSurvivesARoundTrip) {
  TTestForm form;
  form.SetName("Form1");
  auto* label = TComponent::Create<TTestLabel>(&form);
  label->SetName("Label1");
  label->SetParent(&form);
  auto* other = TComponent::Create<TTestLabel>(&form);
  other->SetName("Other");
  other->SetParent(label);
  label->SetBounds(-5, 70000, 300, 12);
  label->Caption = "Caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC";
  label->AutoSize = false;
  label->Color = TColor(0x123456);
  label->Shape = skLine;
  label->Styles = {fsUnderline, fsStrikeOut};
  label->Accel = 'Q';
  label->Ratio = 0.1;
  label->Scale = 1.5f;
  label->Precise = 1.0L / 3;
  label->Big = -(int64_t(1) << 50);
  label->Small = -300;
  label->Tiny = 200;
  label->Wide = u"wide \u00e9";
  label->Value = TVariant{TVariant::varInteger, 77, 0, ""};
  label->SetTag(-1);
  label->Font()->Name = "Courier New";
  label->Font()->Size = 14;
  label->Font()->Style = {fsBold, fsItalic};
  label->Lines()->Add("first");
  label->Lines()->Add("");
  label->Lines()->Add("d\xC3\xA9j\xC3\xA0");
  static_cast<TTestItem*>(label->Items()->Add())->Caption = "one";
  static_cast<TTestItem*>(label->Items()->Add())->Width = 4;
  label->SetLink(other);
  label->OnClick.SetMethod({form.ClassType().FindMethod("Label1Click"), &form});
  label->SetIndexed(0, 5);

  TMemoryStream stream;
  SaveComponent(stream, &form);
  stream.SetPosition(0);
  TTestForm copy;
  LoadComponent(stream, &copy);

  ASSERT_EQ(copy.Name(), "Form1");
  ASSERT_EQ(copy.Label1, copy.FindComponent("Label1"));
  TTestLabel* read = copy.Label1;
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(read->Parent(), &copy);
  EXPECT_EQ(read->BoundsRect(), (TRect{-5, 70000, 295, 70012}));
  EXPECT_EQ(read->Caption, label->Caption);
  EXPECT_FALSE(read->AutoSize);
  EXPECT_EQ(read->Color, label->Color);
  EXPECT_EQ(read->Shape, skLine);
  EXPECT_EQ(read->Styles, label->Styles);
  EXPECT_EQ(read->Accel, 'Q');
  EXPECT_EQ(read->Ratio, 0.1);
  EXPECT_EQ(read->Scale, 1.5f);
  EXPECT_EQ(read->Precise, label->Precise);
  EXPECT_EQ(read->Big, label->Big);
  EXPECT_EQ(read->Small, -300);
  EXPECT_EQ(read->Tiny, 200);
  EXPECT_EQ(read->Wide, label->Wide);
  EXPECT_EQ(read->Value.Int, 77);
  EXPECT_EQ(read->Tag(), -1);
  EXPECT_EQ(read->Font()->Name, "Courier New");
  EXPECT_EQ(read->Font()->Size, 14);
  EXPECT_EQ(read->Font()->Style, label->Font()->Style);
  EXPECT_EQ(read->Lines()->Lines(), label->Lines()->Lines());
  ASSERT_EQ(read->Items()->Count(), 2);
  EXPECT_EQ(static_cast<TTestItem*>(read->Items()->Items(0))->Caption, "one");
  EXPECT_EQ(static_cast<TTestItem*>(read->Items()->Items(1))->Width, 4);
  EXPECT_EQ(read->GetIndexed(0), 5);
  TComponent* readOther = copy.FindComponent("Other");
  ASSERT_NE(readOther, nullptr);
  EXPECT_EQ(read->Link, readOther);
  EXPECT_EQ(static_cast<TControl*>(readOther)->Parent(), read);
  ASSERT_TRUE(static_cast<bool>(read->OnClick));
  read->OnClick(read);
  EXPECT_EQ(copy.Clicks, 1);
  EXPECT_FALSE(read->HasState(sfLoading));

  // Writing what was read gives the same bytes.
  EXPECT_EQ(Save(&copy), stream.Data());
}

}  // namespace
}  // namespace rpt::test
