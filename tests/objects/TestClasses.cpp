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
}

RPT_BEGIN_CLASS(TTestForm, TWinControl)
  c.Method("Label1Click", &TTestForm::Label1Click);
  c.Field("Label1", &TTestForm::Label1);
RPT_END_CLASS

RPT_BEGIN_CLASS(TTestComponent, TComponent)
RPT_END_CLASS

void TTestComponent::ComponentNotification(TComponent* component, TComponentOperation operation) {
  Heard.push_back((operation == coInsert ? "insert " : "remove ") + component->Name());
  if (operation == coRemove && component == Trigger && Victim) {
    TComponent* victim = Victim;
    Victim = nullptr;
    victim->Free();
  }
  TComponent::ComponentNotification(component, operation);
}

void RegisterTestClasses() {
  RegisterStreamClasses({&TTestLabel::StaticClass(), &TTestForm::StaticClass(), &TTestComponent::StaticClass(),
                         &TTestItem::StaticClass(), &TStringList::StaticClass()});
}

}  // namespace rpt::test
