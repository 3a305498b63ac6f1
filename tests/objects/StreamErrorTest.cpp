// Reading damaged and hostile component streams: exact messages for each kind of
// bad value, recovery through OnReadError, and no crash, leak or runaway allocation
// for truncated, mutated, deeply nested or over-long input.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <random>

#include "objects/Filer.h"
#include "tests/objects/TestClasses.h"

#if !defined(__SANITIZE_ADDRESS__)
// Counts the largest single allocation while a test asks for it, so a length field
// that claims gigabytes can be shown not to be trusted. (The sanitizers replace the
// allocator themselves; there only the error is checked.)
// The replacements below pair malloc with free; GCC cannot see that once they are inlined.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
namespace {
std::atomic<bool> gTrackAllocations{false};
std::atomic<size_t> gLargestAllocation{0};
}  // namespace

void* operator new(size_t size) {
  if (gTrackAllocations.load(std::memory_order_relaxed) && size > gLargestAllocation.load(std::memory_order_relaxed))
    gLargestAllocation.store(size, std::memory_order_relaxed);
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
#define RPT_TRACK_ALLOCATIONS 1
#endif

namespace rpt::test {
namespace {

using Strings = std::vector<std::string>;

// A component with a published property that has no write access.
class TReadOnlyHolder : public TComponent {
  RPT_CLASS(TReadOnlyHolder, TComponent)
  int32_t Count() const { return 3; }
};

RPT_BEGIN_CLASS(TReadOnlyHolder, TComponent)
  c.Property("Count", &TReadOnlyHolder::Count);
RPT_END_CLASS

// --- Building streams byte by byte ---------------------------------------------

std::string B(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s += static_cast<char>(v);
  return s;
}
std::string S(std::string_view s) { return std::string(1, static_cast<char>(s.size())) + std::string(s); }
std::string LE32(int32_t v) {
  char bytes[4];
  std::memcpy(bytes, &v, 4);
  return std::string(bytes, 4);
}
std::string Int8(int v) { return B({svInt8, v & 0xFF}); }
std::string Ident(std::string_view s) { return B({svIdent}) + S(s); }
std::string Text(std::string_view s) { return B({svString}) + S(s); }
std::string Prop(std::string_view name, const std::string& value) { return S(name) + value; }
std::string Obj(std::string_view cls, std::string_view name, const std::string& props,
                const std::string& children = "") {
  return S(cls) + S(name) + props + B({svNull}) + children + B({svNull});
}
std::string Signed(const std::string& object) { return "TPF0" + object; }
// Form1 holding Label1 with the given properties, then further children.
std::string FormWith(const std::string& labelProps, const std::string& moreChildren = "") {
  return Signed(Obj("TTestForm", "Form1", "", Obj("TTestLabel", "Label1", labelProps) + moreChildren));
}

std::string Save(TComponent* root) {
  TMemoryStream stream;
  SaveComponent(stream, root);
  return stream.Data();
}

// --- Reading -------------------------------------------------------------------

std::string ReadInto(TComponent* root, const std::string& data) {
  TMemoryStream stream(data);
  return ErrorMessage([&] { LoadComponent(stream, root); });
}

// Reads with an OnReadError that swallows every error; returns the messages offered.
Strings ReadHandled(TComponent* root, const std::string& data) {
  TMemoryStream stream(data);
  TReader reader(stream);
  Strings errors;
  reader.OnReadError = [&](TReader&, const std::string& message, bool& handled) {
    errors.push_back(message);
    handled = true;
  };
  reader.ReadRootComponent(root);
  return errors;
}

bool AnyStillLoading(const TComponent* c) {
  if (c->HasState(sfLoading) || c->HasState(sfReading)) return true;
  for (const TComponent* owned : c->OwnedComponents())
    if (AnyStillLoading(owned)) return true;
  return false;
}

TTestLabel* Label(TComponent* form, const char* name = "Label1") {
  return dynamic_cast<TTestLabel*>(form->FindComponent(name));
}

class StreamErrorTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    RegisterTestClasses();
    RegisterStreamClass(TReadOnlyHolder::StaticClass());
  }
  void TearDown() override { EXPECT_EQ(PendingGlobalReferenceCount(), 0u); }
  static TOwnedPtr<TTestForm> NewForm() { return TOwnedPtr<TTestForm>(TComponent::Create<TTestForm>(nullptr)); }
};

TEST_F(StreamErrorTest, OnlyTheSignatureStartsAStream) {
  const std::string body = Obj("TTestForm", "Form1", "");
  for (const std::string& data : Strings{"", "T", "TPF", "TPF1" + body, "tpf0" + body, B({0}) + "TPF0" + body,
                                         "QXRP" + body}) {
    auto form = NewForm();
    EXPECT_EQ(ReadInto(form.get(), data), "Invalid stream format") << data;
    TMemoryStream stream(data);
    EXPECT_THROW(LoadComponent(stream, nullptr), EInvalidImage);
  }
  EXPECT_EQ(ReadInto(NewForm().get(), Signed(body)), "(no error)");
}

TEST_F(StreamErrorTest, ValuesOfTheWrongKindNameThePropertyAndTheFault) {
  const std::string invalid = "Invalid property value";
  struct Case {
    std::string Name;
    std::string Value;
    std::string Fault;
  };
  const std::vector<Case> cases = {
      {"Caption", Int8(5), invalid},
      {"Caption", Ident("Total"), invalid},
      {"Caption", B({svList, svNull}), invalid},
      {"Left", Text("40"), invalid},
      {"Left", B({svExtended, 0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x3F}), invalid},
      {"Tag", B({svInt64, 1, 0, 0, 0, 0, 0, 0, 0}), invalid},
      {"Tag", Ident("One"), invalid},
      {"AutoSize", Int8(1), invalid},
      {"AutoSize", Ident("Maybe"), invalid},
      {"Color", Ident("clNope"), invalid},
      {"Color", Text("clRed"), invalid},
      {"Cursor", Ident("clRed"), invalid},
      {"Shape", Ident("skNope"), invalid},
      {"Shape", Int8(1), invalid},
      {"Styles", Int8(1), invalid},
      {"Styles", Ident("fsBold"), invalid},
      {"Ratio", Text("1.5"), invalid},
      {"Big", Text("5"), invalid},
      {"Accel", Text("ab"), invalid},
      {"Accel", Int8(65), invalid},
      {"Wide", Int8(1), invalid},
      {"OnClick", Ident("NoSuchHandler"), invalid},
      {"OnClick", Int8(1), invalid},
      {"Link", Int8(1), invalid},
      {"Link", Text("Label1"), invalid},
      {"Items", Int8(1), invalid},
      {"Font", Int8(1), invalid},
      {"Font", B({svNil}), "Cannot assign a nil to a TTestFont"},
      {"Value", B({svList, svNull}), "Stream read error"},
      {"Value", B({svSet, 0}), "Stream read error"},
      {"Font.Size", Text("10"), invalid},
      {"Font.Charset", Ident("NOPE_CHARSET"), invalid},
      {"Lines.Strings", Text("a"), invalid},
      {"Lines.Strings", B({svList}) + Int8(1) + B({svNull}), invalid},
      {"IsControl", Int8(1), invalid},
      {"DesignSize", B({svList}) + Text("wide") + Int8(2) + B({svNull}), invalid},
      {"Foo", Int8(1), "Property Foo does not exist"},
      {"Font.Nope", Text("x"), "Property Nope does not exist"},
      {"Nope.X", Int8(1), "Property Nope does not exist"},
      {"Left.X", Int8(1), "Invalid property path"},
      {"Caption.Length", Int8(1), "Invalid property path"},
      {"Link.Name", Text("x"), "Invalid property path"},
      {"Font.Size.Bits", Int8(1), "Invalid property path"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string data = FormWith(Prop(c.Name, c.Value) + Prop("Caption", Text("after")));
    const std::string expected = "Error reading Label1." + c.Name + ": " + c.Fault;

    auto form = NewForm();
    EXPECT_EQ(ReadInto(form.get(), data), expected);
    ASSERT_NE(Label(form.get()), nullptr) << "what was read before the error stays";
    EXPECT_FALSE(AnyStillLoading(form.get()));

    // Handled, the value is skipped exactly and the next property is read.
    auto handled = NewForm();
    EXPECT_EQ(ReadHandled(handled.get(), data), Strings{expected});
    ASSERT_NE(Label(handled.get()), nullptr);
    EXPECT_EQ(Label(handled.get())->Caption, "after");
  }
}

TEST_F(StreamErrorTest, MessagesUseTheRootOrClassNameWhenThereIsNoName) {
  auto form = NewForm();
  EXPECT_EQ(ReadInto(form.get(), Signed(Obj("TTestForm", "Form1", Prop("Tag", Text("x"))))),
            "Error reading Form1.Tag: Invalid property value");
  form = NewForm();
  EXPECT_EQ(ReadInto(form.get(), Signed(Obj("TTestForm", "Form1", "", Obj("TTestLabel", "", Prop("Caption", Int8(1)))))),
            "Error reading TTestLabel.Caption: Invalid property value");
  // An item of a collection has no name: its class names it.
  const std::string items = B({svCollection, svList}) + Prop("Caption", Int8(1)) + Prop("Width", Int8(3)) +
                            B({svNull, svList}) + Prop("Caption", Text("two")) + B({svNull, svNull});
  // Unhandled, the item's error is wrapped again by the property that holds the items.
  form = NewForm();
  EXPECT_EQ(ReadInto(form.get(), FormWith(Prop("Items", items))),
            "Error reading Label1.Items: Error reading TTestItem.Caption: Invalid property value");
  form = NewForm();
  EXPECT_EQ(ReadHandled(form.get(), FormWith(Prop("Items", items) + Prop("Caption", Text("after")))),
            Strings{"Error reading TTestItem.Caption: Invalid property value"});
  TTestLabel* label = Label(form.get());
  ASSERT_EQ(label->Items()->Count(), 2);
  EXPECT_EQ(static_cast<TTestItem*>(label->Items()->Items(0))->Width, 3);
  EXPECT_EQ(static_cast<TTestItem*>(label->Items()->Items(1))->Caption, "two");
  EXPECT_EQ(label->Caption, "after");
}

TEST_F(StreamErrorTest, ReadOnlyPropertiesAreRefused) {
  const std::string data = Signed(Obj("TTestForm", "Form1", "",
                                      Obj("TReadOnlyHolder", "R1", Prop("Count", Int8(5)) + Prop("Tag", Int8(9)))));
  auto form = NewForm();
  EXPECT_EQ(ReadInto(form.get(), data), "Error reading R1.Count: Property is read-only");
  form = NewForm();
  EXPECT_EQ(ReadHandled(form.get(), data), Strings{"Error reading R1.Count: Property is read-only"});
  ASSERT_NE(form->FindComponent("R1"), nullptr);
  EXPECT_EQ(form->FindComponent("R1")->Tag(), 9);
}

TEST_F(StreamErrorTest, AnUnknownClassSkipsItsWholeObject) {
  const std::string nope = Obj("TNope", "X", Prop("Caption", Text("c")) + Prop("Deep", B({svList, svList, svNull, svNull})),
                               Obj("TTestLabel", "Inner", Prop("Caption", Text("inner"))));
  const std::string data = FormWith("", nope + Obj("TTestLabel", "Label2", Prop("Caption", Text("next"))));

  auto form = NewForm();
  EXPECT_EQ(ReadInto(form.get(), data), "Class TNope not found");
  EXPECT_EQ(form->FindComponent("Label2"), nullptr);

  form = NewForm();
  EXPECT_EQ(ReadHandled(form.get(), data), Strings{"Class TNope not found"});
  EXPECT_EQ(form->FindComponent("X"), nullptr);
  EXPECT_EQ(form->FindComponent("Inner"), nullptr);
  ASSERT_NE(Label(form.get(), "Label2"), nullptr);
  EXPECT_EQ(Label(form.get(), "Label2")->Caption, "next");
  EXPECT_EQ(form->ComponentCount(), 2);

  // A registered class that is no component is not a class the stream can create.
  form = NewForm();
  EXPECT_EQ(ReadInto(form.get(), FormWith("", Obj("TStringList", "S", ""))), "Class TStringList not found");

  // Nor is a root of an unknown class.
  TMemoryStream stream(Signed(Obj("TNope", "Root", "")));
  EXPECT_EQ(ErrorMessage([&] { LoadComponent(stream, nullptr); }), "Class TNope not found");
}

TEST_F(StreamErrorTest, BadOrTakenNamesDropTheObjectAndReadingGoesOn) {
  const std::string data =
      FormWith("", Obj("TTestLabel", "1bad", Prop("Caption", Text("bad")), Obj("TTestLabel", "Child", "")) +
                       Obj("TTestLabel", "LABEL1", "") + Obj("TTestLabel", "Label2", Prop("Caption", Text("ok"))));
  auto form = NewForm();
  EXPECT_EQ(ReadInto(form.get(), data), "''1bad'' is not a valid component name");
  EXPECT_EQ(form->ComponentCount(), 1);

  form = NewForm();
  EXPECT_EQ(ReadHandled(form.get(), data),
            (Strings{"''1bad'' is not a valid component name", "A component named LABEL1 already exists"}));
  EXPECT_EQ(form->ComponentCount(), 2);
  EXPECT_EQ(form->FindComponent("Child"), nullptr);
  EXPECT_EQ(Label(form.get(), "Label2")->Caption, "ok");
  EXPECT_EQ(Label(form.get())->Parent(), form.get());
  EXPECT_EQ(form->ControlCount(), 2);
}

TEST_F(StreamErrorTest, ASetWithAnUnknownElementIsConsumedWhole) {
  const std::string set = B({svSet}) + S("fsBold") + S("fsNope") + S("fsItalic") + B({0});
  const std::string data = FormWith(Prop("Styles", set) + Prop("Caption", Text("after")));
  auto form = NewForm();
  EXPECT_EQ(ReadInto(form.get(), data), "Error reading Label1.Styles: Invalid property value");
  form = NewForm();
  EXPECT_EQ(ReadHandled(form.get(), data), Strings{"Error reading Label1.Styles: Invalid property value"});
  EXPECT_EQ(Label(form.get())->Caption, "after");
  EXPECT_TRUE(Label(form.get())->Styles.Empty());

  // Element names are matched ignoring case; elements above 31 cannot occur here.
  form = NewForm();
  EXPECT_EQ(ReadInto(form.get(), FormWith(Prop("Styles", B({svSet}) + S("FSITALIC") + B({0})))), "(no error)");
  EXPECT_EQ(Label(form.get())->Styles, TFontStyles{fsItalic});
}

TEST_F(StreamErrorTest, ACollectionItemIndexIsReadAndIgnored) {
  auto items = [](const std::string& index) {
    return Prop("Items", B({svCollection}) + index + B({svList}) + Prop("Caption", Text("one")) + B({svNull}) + index +
                             B({svList}) + Prop("Width", Int8(4)) + B({svNull, svNull}));
  };
  for (const std::string& index : Strings{"", Int8(3), B({svInt16, 0x10, 0x27}), B({svInt32}) + LE32(-1)}) {
    auto form = NewForm();
    ASSERT_EQ(ReadInto(form.get(), FormWith(items(index))), "(no error)");
    TCollection* read = Label(form.get())->Items();
    ASSERT_EQ(read->Count(), 2);
    EXPECT_EQ(static_cast<TTestItem*>(read->Items(0))->Caption, "one");
    EXPECT_EQ(static_cast<TTestItem*>(read->Items(1))->Width, 4);
  }
  // Items that the stream does not hold are kept; a stream with items replaces them.
  TOwnedPtr<TTestLabel> root(TComponent::Create<TTestLabel>(nullptr));
  root->Items()->Add();
  root->Items()->Add();
  ASSERT_EQ(ReadInto(root.get(), Signed(Obj("TTestLabel", "R", Prop("Items", B({svCollection, svNull}))))), "(no error)");
  EXPECT_EQ(root->Items()->Count(), 2);
  ASSERT_EQ(ReadInto(root.get(), Signed(Obj("TTestLabel", "R", items(Int8(0))))), "(no error)");
  EXPECT_EQ(root->Items()->Count(), 2);
  EXPECT_EQ(static_cast<TTestItem*>(root->Items()->Items(0))->Caption, "one");
}

TEST_F(StreamErrorTest, DeepNestingFailsWithoutExhaustingTheStack) {
  // 10,000 objects, each the only child of the one before.
  constexpr int kDepth = 10000;
  std::string objects;
  for (int i = 0; i < kDepth; ++i) objects += S("TTestComponent") + S("") + B({svNull});
  objects += std::string(kDepth, '\0');
  const std::string deepObjects = Signed(S("TTestForm") + S("Form1") + B({svNull}) + objects + B({svNull}));
  {
    auto form = NewForm();
    EXPECT_NE(ReadInto(form.get(), deepObjects), "(no error)");
    EXPECT_FALSE(AnyStillLoading(form.get()));
    TMemoryStream stream(deepObjects);
    EXPECT_THROW(LoadComponent(stream, nullptr), Exception);
    EXPECT_THROW(ReadHandled(NewForm().get(), deepObjects), Exception);
  }
  // The same depth under an object whose class is unknown, so it must be skipped.
  const std::string deepSkip =
      Signed(S("TTestForm") + S("Form1") + B({svNull}) + S("TNope") + S("") + B({svNull}) + objects + B({svNull, svNull}));
  EXPECT_THROW(ReadHandled(NewForm().get(), deepSkip), Exception);

  // 100,000 nested lists as the value of a variant, of an unknown property, of a
  // string list and inside a collection item.
  constexpr int kLists = 100000;
  const std::string lists = std::string(kLists, static_cast<char>(svList)) + std::string(kLists, '\0');
  for (const std::string& props :
       Strings{Prop("Value", lists), Prop("Foo", lists), Prop("Lines.Strings", lists),
               Prop("Items", B({svCollection, svList}) + Prop("Caption", lists) + B({svNull, svNull}))}) {
    auto form = NewForm();
    EXPECT_NE(ReadInto(form.get(), FormWith(props)), "(no error)");
    EXPECT_THROW(ReadHandled(NewForm().get(), FormWith(props)), Exception);
  }
}

TEST_F(StreamErrorTest, LengthsBeyondTheDataAreRefusedUnread) {
  const std::vector<std::string> values = {
      B({svLString}) + LE32(0x7FFFFFFF) + "abc",
      B({svLString}) + LE32(-1) + "abc",
      B({svUTF8String}) + LE32(0x7FFFFFF0) + "abc",
      B({svWString}) + LE32(0x7FFFFFF0) + "ab",
      B({svWString}) + LE32(-5) + "ab",
      B({svBinary}) + LE32(0x7FFFFFFF) + "abc",
      B({svString, 200}) + "short",
      B({svIdent, 255}) + "x",
  };
  for (const std::string& name : Strings{"Caption", "Foo", "Wide", "Value"}) {
    for (const std::string& value : values) {
      SCOPED_TRACE(name + " " + std::to_string(&value - values.data()));
      const std::string data = FormWith(Prop(name, value));
      auto form = NewForm();
#ifdef RPT_TRACK_ALLOCATIONS
      gLargestAllocation = 0;
      gTrackAllocations = true;
#endif
      EXPECT_NE(ReadInto(form.get(), data), "(no error)");
      EXPECT_THROW(ReadHandled(NewForm().get(), data), Exception);
#ifdef RPT_TRACK_ALLOCATIONS
      gTrackAllocations = false;
      EXPECT_LT(gLargestAllocation.load(), 1u << 20);
#endif
    }
  }
  // A string list line and an item caption that claim too much.
  for (const std::string& props :
       Strings{Prop("Lines.Strings", B({svList, svLString}) + LE32(0x40000000) + "a"),
               Prop("Items", B({svCollection, svList}) + Prop("Caption", B({svUTF8String}) + LE32(0x40000000)))}) {
    auto form = NewForm();
    EXPECT_NE(ReadInto(form.get(), FormWith(props)), "(no error)");
  }
}

// --- The rich stream: every prefix and random damage ----------------------------

class RichStreamTest : public StreamErrorTest {
 protected:
  void SetUp() override {
    TOwnedPtr<TTestForm> form(CreateRichForm());
    Data = Save(form.get());
  }
  std::string Data;
};

TEST_F(RichStreamTest, TheWholeStreamReads) {
  // The stream holds every kind of value the truncation and damage tests rely on.
  for (const std::string& part :
       Strings{S("Hint") + B({svWString}), S("Caption") + B({svLString}), S("Caption") + B({svUTF8String}),
               S("Big") + B({svInt64}), S("Items") + B({svCollection, svList}), S("Lines.Strings") + B({svList}),
               S("Styles") + B({svSet}), S("OnClick") + B({svIdent}), S("DesignSize") + B({svList}),
               S("IsControl") + B({svTrue}), S("Value") + B({svWString}), S("Value") + B({svExtended}),
               S("Accel") + B({svString}), S("Ratio") + B({svExtended}), S("Font.Charset") + B({svIdent}),
               S("AutoSize") + B({svFalse}), S("Link") + Ident("Owner")})
    EXPECT_NE(Data.find(part), std::string::npos) << part;
  // Anchors are not streamed (DesignSize is): give the nested label its anchors back
  // before comparing what the copy writes.
  auto saveWithAnchors = [](TComponent* root) {
    auto* other = dynamic_cast<TControl*>(root->FindComponent("Other"));
    if (other) other->SetAnchors({akLeft, akTop, akRight});
    return Save(root);
  };
  auto form = NewForm();
  ASSERT_EQ(ReadInto(form.get(), Data), "(no error)");
  EXPECT_EQ(saveWithAnchors(form.get()), Data);
  TMemoryStream stream(Data);
  TOwnedPtr<TComponent> created(LoadComponent(stream, nullptr));
  ASSERT_TRUE(created->Is<TTestForm>());
  EXPECT_EQ(saveWithAnchors(created.get()), Data);
}

TEST_F(RichStreamTest, EveryTruncationFailsCleanly) {
  for (size_t size = 0; size < Data.size(); ++size) {
    SCOPED_TRACE(size);
    const std::string cut = Data.substr(0, size);
    // A root created by the read is destroyed with it (the leak checker watches).
    TMemoryStream stream(cut);
    EXPECT_THROW(LoadComponent(stream, nullptr), Exception);
    // A given root keeps what was read, with no component left loading.
    auto form = NewForm();
    EXPECT_NE(ReadInto(form.get(), cut), "(no error)");
    EXPECT_FALSE(AnyStillLoading(form.get()));
    auto handled = NewForm();
    EXPECT_THROW(ReadHandled(handled.get(), cut), Exception);
    EXPECT_FALSE(AnyStillLoading(handled.get()));
  }
}

TEST_F(RichStreamTest, RandomDamageNeverCrashes) {
  std::mt19937 random(20240611);
  const char interesting[] = {0, 1, 2, 6, 7, 0x0B, 0x0C, 0x0E, 0x12, 0x14, 0x7F, static_cast<char>(0x80),
                              static_cast<char>(0xF3), static_cast<char>(0xFF)};
  int succeeded = 0, failed = 0;
  for (int round = 0; round < 3000; ++round) {
    std::string damaged = Data;
    const int edits = 1 + static_cast<int>(random() % 4);
    for (int e = 0; e < edits; ++e) {
      const size_t at = 4 + random() % (damaged.size() - 4);  // the signature is tested elsewhere
      switch (random() % 4) {
        case 0: damaged[at] = static_cast<char>(random()); break;
        case 1: damaged[at] = interesting[random() % sizeof interesting]; break;
        case 2: damaged.erase(at, 1 + random() % 8); break;
        default: damaged.insert(at, damaged.substr(4 + random() % (damaged.size() - 4), 1 + random() % 16)); break;
      }
      if (damaged.size() < 8) damaged = Data;
    }
    TMemoryStream stream(damaged);
    try {
      TOwnedPtr<TComponent> read(LoadComponent(stream, nullptr));
      Save(read.get());
      ++succeeded;
    } catch (const Exception&) {
      ++failed;
    }
    auto form = NewForm();
    try {
      ReadHandled(form.get(), damaged);
      Save(form.get());
    } catch (const Exception&) {
    }
    EXPECT_FALSE(AnyStillLoading(form.get()));
  }
  EXPECT_GT(failed, 0);
  EXPECT_GT(succeeded, 0);
}

}  // namespace
}  // namespace rpt::test
