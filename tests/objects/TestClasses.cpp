#include "tests/objects/TestClasses.h"

namespace rpt::test {

RPT_BEGIN_CLASS(TTestFont, TPersistent)
  c.Property("Charset", &TTestFont::Charset, &TTestFont::Charset).Default(DEFAULT_CHARSET);
  c.Property("Color", &TTestFont::Color, &TTestFont::Color);
  c.Property("Name", &TTestFont::Name, &TTestFont::Name);
  c.Property("Size", &TTestFont::Size, &TTestFont::Size);
  c.Property("Style", &TTestFont::Style, &TTestFont::Style);
RPT_END_CLASS

void TTestFont::AssignFrom(const TPersistent* source) {
  const auto* other = dynamic_cast<const TTestFont*>(source);
  if (!other) return TPersistent::AssignFrom(source);
  Name = other->Name, Size = other->Size, Color = other->Color, Charset = other->Charset, Style = other->Style;
}

RPT_BEGIN_CLASS(TTestItem, TCollectionItem)
  c.Property("Caption", &TTestItem::Caption, &TTestItem::Caption);
  c.Property("Width", &TTestItem::Width, &TTestItem::Width).Default(0);
RPT_END_CLASS

RPT_BEGIN_CLASS(TTestLabel, TWinControl)
  c.Property("Accel", &TTestLabel::Accel, &TTestLabel::Accel).Default(0);
  c.Property("AutoSize", &TTestLabel::AutoSize, &TTestLabel::AutoSize).Default(true);
  c.Property("Big", &TTestLabel::Big, &TTestLabel::Big);
  c.Property("Caption", &TTestLabel::Caption, &TTestLabel::Caption);
  c.Property("Color", &TTestLabel::Color, &TTestLabel::Color).Default(clWhite);
  c.Property("Font", &TTestLabel::Font, &TTestLabel::SetFont);
  c.IndexedProperty("First", 0, &TTestLabel::GetIndexed, &TTestLabel::SetIndexed)
      .Default(0)
      .Stored(&TTestLabel::IsIndexedStored);
  c.IndexedProperty("Third", 2, &TTestLabel::GetIndexed, &TTestLabel::SetIndexed)
      .Default(0)
      .Stored(&TTestLabel::IsIndexedStored);
  c.Property("Items", &TTestLabel::Items, &TTestLabel::SetItems);
  c.Property("Lines", &TTestLabel::Lines, &TTestLabel::SetLines);
  c.Property("Link", &TTestLabel::Link, &TTestLabel::SetLink);
  c.Property("OnClick", &TTestLabel::OnClick, &TTestLabel::OnClick);
  c.Property("Precise", &TTestLabel::Precise, &TTestLabel::Precise);
  c.Property("Ratio", &TTestLabel::Ratio, &TTestLabel::Ratio).Stored(&TTestLabel::StoreRatio);
  c.Property("Scale", &TTestLabel::Scale, &TTestLabel::Scale);
  c.Property("Shape", &TTestLabel::Shape, &TTestLabel::Shape).Default(skRectangle);
  c.Property("Small", &TTestLabel::Small, &TTestLabel::Small);
  c.Property("Styles", &TTestLabel::Styles, &TTestLabel::Styles).Default(TFontStyles{});
  c.Property("Tiny", &TTestLabel::Tiny, &TTestLabel::Tiny);
  c.Property("Value", &TTestLabel::Value, &TTestLabel::Value);
  c.Property("Wide", &TTestLabel::Wide, &TTestLabel::Wide);
RPT_END_CLASS

TTestLabel::TTestLabel()
    : FFont(new TTestFont), FLines(new TStringList), FItems(new TCollection(TTestItem::StaticClass())) {}

TTestLabel::~TTestLabel() {
  FFont->Free();
  FLines->Free();
  FItems->Free();
}

void TTestLabel::SetLink(TComponent* link) {
  if (Link == link) return;
  if (Link) Link->UnwatchComponent(this);
  Link = link;
  if (Link) Link->WatchComponent(this);
}

void TTestLabel::ComponentNotification(TComponent* component, TComponentOperation operation) {
  TWinControl::ComponentNotification(component, operation);
  if (operation == coRemove && component == Link) Link = nullptr;
}

void TTestLabel::AfterLoad() {
  TWinControl::AfterLoad();
  if (AfterLoadLog) AfterLoadLog->push_back(Name());
  if (!AfterLoadError.empty()) throw Exception(AfterLoadError);
}

RPT_BEGIN_CLASS(TTestForm, TWinControl)
  c.Method("Label1Click", &TTestForm::Label1Click);
  c.Field("Label1", &TTestForm::Label1);
RPT_END_CLASS

RPT_BEGIN_CLASS(TTestComponent, TComponent)
RPT_END_CLASS

void TTestComponent::ComponentNotification(TComponent* component, TComponentOperation operation) {
  if (OnNotification) OnNotification(component, operation);
  Heard.push_back((operation == coInsert ? "insert " : "remove ") + component->Name());
  if (Log) Log->push_back(Name() + ": " + Heard.back());
  if (operation == coRemove && component == Trigger && Victim) {
    TComponent* victim = Victim;
    Victim = nullptr;
    victim->Free();
  }
  TComponent::ComponentNotification(component, operation);
}

void TTestComponent::Destroy() {
  if (OnDestroy) OnDestroy(this);
  TComponent::Destroy();
}

TTestForm* CreateRichForm() {
  auto* form = TComponent::Create<TTestForm>(nullptr);
  form->SetName("Form1");
  form->SetBounds(0, 0, 640, 480);
  form->SetTag(12);
  auto* label = TComponent::Create<TTestLabel>(form);
  label->SetName("Label1");
  label->SetParent(form);
  auto* other = TComponent::Create<TTestLabel>(form);
  other->SetName("Other");
  other->SetParent(label);
  other->SetAnchors({akLeft, akTop, akRight});  // Label1 writes DesignSize
  other->SetIsControlFlag(true);
  other->Caption = "nested";
  other->SetHint("\xC3\xA9");                                       // svWString
  other->Value = TVariant{TVariant::varOleStr, 0, 0, "\xE6\x97\xA5"};  // wide text in a variant
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
  label->SetCursor(crHandPoint);
  label->SetHint("a hint");
  label->Font()->Name = "Courier New";
  label->Font()->Size = 14;
  label->Font()->Charset = ANSI_CHARSET;
  label->Font()->Style = {fsBold, fsItalic};
  label->Lines()->Add("first");
  label->Lines()->Add("");
  label->Lines()->Add("d\xC3\xA9j\xC3\xA0");
  static_cast<TTestItem*>(label->Items()->Add())->Caption = "one";
  static_cast<TTestItem*>(label->Items()->Add())->Width = 4;
  label->SetLink(other);
  label->OnClick.SetMethod({form->ClassType().FindMethod("Label1Click"), form});
  label->SetIndexed(0, 5);
  auto* second = TComponent::Create<TTestLabel>(form);
  second->SetName("Label2");
  second->SetParent(form);
  second->Caption = std::string(300, 'x');  // svLString
  second->Big = int64_t(1) << 40;            // svInt64
  second->Value = TVariant{TVariant::varDouble, 0, 2.5, ""};
  second->Color = clRed;
  second->SetLink(form);  // "Owner"
  return form;
}

void RegisterTestClasses() {
  RegisterStreamClasses({&TTestLabel::StaticClass(), &TTestForm::StaticClass(), &TTestComponent::StaticClass(),
                         &TTestItem::StaticClass(), &TStringList::StaticClass()});
}

}  // namespace rpt::test
