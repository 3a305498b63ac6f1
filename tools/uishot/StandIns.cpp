#include "tools/uishot/StandIns.h"

#include "objects/ClassBuilder.h"

namespace rpt::uishot {

RPT_BEGIN_CLASS(TElementStandIn, TCustomControl)
  c.Property("Caption", &TElementStandIn::Caption, &TElementStandIn::SetCaption);
  c.Property("DataField", &TElementStandIn::DataField, &TElementStandIn::DataField);
  c.Property("Expression", &TElementStandIn::Expression, &TElementStandIn::Expression);
  c.Property("Lines", &TElementStandIn::Lines, &TElementStandIn::SetLines);
RPT_END_CLASS

TElementStandIn::TElementStandIn() : FLines(std::make_unique<TStringList>()) {
  SetColor(clWhite);
  SetBounds(0, 0, 64, 17);
}

void TElementStandIn::SetCaption(const std::string& value) {
  FCaption = value;
  Invalidate();
}

void TElementStandIn::SetLines(TStringList* value) { FLines->AssignFrom(value); }

void TElementStandIn::Paint() {
  TCanvas* c = Canvas();
  if (!c) return;
  c->Brush()->SetColor(clSilver);
  c->FrameRect({0, 0, Width(), Height()});
  c->SetFont(Font());
  c->Brush()->SetStyle(bsClear);
  c->TextOut(2, 1, FCaption.empty() ? Name() : FCaption);
}

RPT_BEGIN_CLASS(TBandStandIn, TCustomPanel)
RPT_END_CLASS

TBandStandIn::TBandStandIn() {
  SetColor(clWhite);
  SetBounds(0, 0, 320, 40);
}

void TBandStandIn::Paint() {
  TCanvas* c = Canvas();
  if (!c) return;
  c->Pen()->SetColor(clGray);
  c->MoveTo(0, Height() - 1);
  c->LineTo(Width(), Height() - 1);
  c->SetFont(Font());
  c->Brush()->SetStyle(bsClear);
  const TSize e = c->TextExtent(Name());
  c->TextOut(2, Height() - e.cy - 2, Name());
}

// One class per palette name, so each element reports the class it was inserted as.
#define RPT_STANDIN(Name, Base)                   \
  class Name : public Base {                      \
    RPT_CLASS(Name, Base)                         \
    Name() = default;                             \
  };                                              \
  RPT_BEGIN_CLASS(Name, Base)                     \
  RPT_END_CLASS

RPT_STANDIN(TQRBand, TBandStandIn)
RPT_STANDIN(TQRLabel, TElementStandIn)
RPT_STANDIN(TQRDBText, TElementStandIn)
RPT_STANDIN(TQRExpr, TElementStandIn)
RPT_STANDIN(TQRSysData, TElementStandIn)
RPT_STANDIN(TQRMemo, TElementStandIn)
RPT_STANDIN(TQRExprMemo, TElementStandIn)
RPT_STANDIN(TQRShape, TElementStandIn)
#undef RPT_STANDIN

std::string RegisterMissingPaletteClasses() {
  std::string registered;
  for (const TClassDescriptor* cls :
       {&TQRBand::StaticClass(), &TQRLabel::StaticClass(), &TQRDBText::StaticClass(), &TQRExpr::StaticClass(),
        &TQRSysData::StaticClass(), &TQRMemo::StaticClass(), &TQRExprMemo::StaticClass(), &TQRShape::StaticClass()})
    if (!FindStreamClass(cls->ClassName())) {
      RegisterStreamClass(*cls);
      registered += (registered.empty() ? "" : " ") + cls->ClassName();
    }
  return registered;
}

}  // namespace rpt::uishot
