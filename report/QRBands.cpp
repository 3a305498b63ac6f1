#include <algorithm>
#include <cmath>

#include "data/DB.h"
#include "framework/Application.h"
#include "framework/QtCanvas.h"
#include "objects/Format.h"
#include "report/QRController.h"
#include "report/QRCtrls.h"
#include "report/QuickRpt.h"

namespace rpt {

namespace {

int32_t Round(double x) { return Nearest(x); }

// Links between bands form chains; a walk longer than this has met a loop.
constexpr int kMaxChain = 100000;

// The designer's naming service of a component under design, found through its owners
// and, for the document's report that has no owner, through its parents.
IDesignerHook* DesignerHookOf(TComponent* component) {
  if (!component->HasState(sfDesigning)) return nullptr;
  for (TComponent* o = component->Owner(); o; o = o->Owner())
    if (auto* form = dynamic_cast<TCustomForm*>(o))
      if (form->Designer()) return form->Designer();
  if (auto* control = dynamic_cast<TControl*>(component))
    if (TCustomForm* form = GetParentForm(control)) return form->Designer();
  return nullptr;
}

}  // namespace

// ---------------------------------------------------------------------------
// TQRBandSize

RPT_BEGIN_CLASS(TQRBandSize, TQRUnitBase)
  c.IndexedProperty("Height", 0, &TQRBandSize::GetValue, &TQRBandSize::SetValue).Stored(false);
  c.IndexedProperty("Width", 1, &TQRBandSize::GetValue, &TQRBandSize::SetValue).Stored(false);
RPT_END_CLASS

Extended TQRBandSize::GetValue(int32_t index) const {
  if (index < 0 || index > 1) return 0;
  return FromNative(FUnits, index == 1, FValues[index]);
}

void TQRBandSize::SetValue(int32_t index, Extended value) {
  if (index < 0 || index > 1) return;
  FValues[index] = ToNative(FUnits, index == 1, value);
  ApplyToParent();
}

void TQRBandSize::ApplyToParent() {
  if (!FBand) return;
  const int32_t w = Round(static_cast<double>(FromNative(Pixels, true, FValues[1])));
  const int32_t h = Round(static_cast<double>(FromNative(Pixels, false, FValues[0])));
  FParentUpdating = true;
  try {
    FBand->SetBounds(FBand->Left(), FBand->Top(), w, h);
  } catch (...) {
    FParentUpdating = false;
    throw;
  }
  FParentUpdating = false;
}

void TQRBandSize::AssignFrom(const TPersistent* source) {
  const auto* other = dynamic_cast<const TQRBandSize*>(source);
  if (!other) {
    TQRUnitBase::AssignFrom(source);
    return;
  }
  FValues[0] = other->FValues[0];
  FValues[1] = other->FValues[1];
  ApplyToParent();
}

// ---------------------------------------------------------------------------
// TQRCustomBand

RPT_BEGIN_CLASS(TQRCustomBand, TQRBasePanel)
  c.Property("AfterPrint", &TQRCustomBand::AfterPrint, &TQRCustomBand::AfterPrint);
  c.Property("AlignToBottom", &TQRCustomBand::AlignToBottom, &TQRCustomBand::SetAlignToBottom);
  c.Property("BeforePrint", &TQRCustomBand::BeforePrint, &TQRCustomBand::BeforePrint);
  c.Property("Bookmark", &TQRCustomBand::Bookmark, &TQRCustomBand::SetBookmark);
  c.Property("Color", &TQRCustomBand::Color, &TQRCustomBand::SetColor);
  c.Property("Enabled", &TQRCustomBand::Enabled, &TQRCustomBand::SetEnabled).Default(true);
  c.Property("PrintIf", &TQRCustomBand::PrintIf, &TQRCustomBand::SetPrintIf);
  c.Property("Font", &TQRCustomBand::Font, &TQRCustomBand::SetFont).Stored(&TQRCustomBand::FontStored);
  c.Property("ForceNewColumn", &TQRCustomBand::ForceNewColumn, &TQRCustomBand::SetForceNewColumn);
  c.Property("ForceNewPage", &TQRCustomBand::ForceNewPage, &TQRCustomBand::SetForceNewPage);
  c.Property("HasChild", &TQRCustomBand::HasChild, &TQRCustomBand::SetHasChild).Stored(false);
  c.Property("LinkBand", &TQRCustomBand::LinkBand, &TQRCustomBand::SetLinkBand);
  c.Property("ParentFont", &TQRCustomBand::ParentFont, &TQRCustomBand::SetParentFont).Default(true);
  c.Property("Size", &TQRCustomBand::Size, &TQRCustomBand::SetSize);
RPT_END_CLASS

TQRCustomBand::TQRCustomBand() : FSize(std::make_unique<TQRBandSize>(this)) {
  SetColor(clWhite);
  // The pixel height before the band has a report or a loaded size.
  TControl::SetBounds(Left(), Top(), Width(), 40);
  FSize->SetNativeHeight(FSize->ToNative(Pixels, false, 40));
}

TQRCustomBand::~TQRCustomBand() = default;

bool TQRCustomBand::FontStored() const { return !ParentFont(); }

void TQRCustomBand::SetBandType(TQRBandType value) {
  FBandType = value;
  ReorderReport();
  Invalidate();
}

void TQRCustomBand::ReorderReport() {
  if (!FReport || FReport->HasState(sfDestroying)) return;
  FReport->OrderBands();
  FReport->LayoutBands();
}

void TQRCustomBand::SetParentReport(TCustomQuickRep* report) {
  FReport = report;
  FSize->SetHost(report);
}

void TQRCustomBand::SetEnabled(bool value) {
  // The control itself stays enabled: a disabled band is still selected and moved.
  FBandEnabled = value;
  Invalidate();
}

void TQRCustomBand::SetParent(TWinControl* parent) {
  // Bands never nest: dropped onto a band, a band goes onto that band's report.
  if (auto* band = dynamic_cast<TQRCustomBand*>(parent)) parent = band->Parent();
  if (parent == Parent()) return;
  TCustomQuickRep* old = FReport;
  TQRBasePanel::SetParent(parent);
  if (old && old != parent) {
    FReport = nullptr;
    old->DetachBand(this);
  }
  auto* report = dynamic_cast<TCustomQuickRep*>(parent);
  if (!report) {
    SetParentReport(nullptr);
    return;
  }
  SetParentReport(report);
  FSize->SetUnits(report->Units());
  if (FPixelHeightPending && !HasState(sfLoading)) {
    // A height given in pixels before the band had a report is a height at its zoom.
    FSize->SetZoom(report->Zoom());
    FSize->SetNativeHeight(FSize->ToNative(Pixels, false, Height()));
  }
  FPixelHeightPending = false;
  FZoom = report->Zoom();
  FSize->SetZoom(FZoom);
  if (!HasState(sfLoading)) SetZoom(FZoom);
  report->AttachBand(this);
}

void TQRCustomBand::SetBounds(int32_t left, int32_t top, int32_t width, int32_t height) {
  if (FSize->ParentUpdating() || FUpdating) {
    TQRBasePanel::SetBounds(left, top, width, height);
    if (!FUpdating && FReport) FReport->LayoutBands();
    for (TControl* child : ControlList())
      if (auto* printable = dynamic_cast<TQRPrintable*>(child)) printable->ReceiveNotice(this, qrnBandResized);
    return;
  }
  if (HasState(sfLoading) && !FLoadFinished) {
    // The loaded size decides; a stored pixel height is kept for files without one.
    if (height != 40) FStreamedHeight = height;
    return;
  }
  if (!FReport) {
    TQRBasePanel::SetBounds(left, top, width, height);
    FPixelHeightPending = true;
  }
  // Only the height is the user's: position and width are the layout's.
  FSize->SetPixelsTemporarily();
  try {
    if (Round(static_cast<double>(FSize->Height())) != height) FSize->SetHeight(height);
    if (FReport && (left != Left() || top != Top())) {
      TQRBasePanel::SetBounds(left, top, Width(), Height());
      FReport->LayoutBands();
    }
  } catch (...) {
    FSize->ReturnToSavedUnit();
    throw;
  }
  FSize->ReturnToSavedUnit();
  if (FReport) FReport->MarkDesignChanged();
}

void TQRCustomBand::SetZoom(int32_t value) {
  TQRBasePanel::SetZoom(value);
  FSize->SetZoom(value);
  FSize->ApplyToParent();
}

void TQRCustomBand::SetUnits(TQRUnit value) {
  FSize->SetUnits(value);
  Invalidate();
  for (TControl* child : ControlList())
    if (auto* printable = dynamic_cast<TQRPrintable*>(child)) printable->SetUnits(value);
}

void TQRCustomBand::AfterLoad() {
  TQRBasePanel::AfterLoad();
  FinishLoading();
}

void TQRCustomBand::FinishLoading() {
  if (FLoadFinished) return;
  FLoadFinished = true;
  // A file without the size values keeps its stored pixel height.
  if (!FSize->ValuesWereRead()) FSize->SetNativeHeight(FSize->ToNative(Pixels, false, FStreamedHeight));
  FUpdating = true;
  try {
    FSize->ApplyToParent();
    if (FStreamedHeight != 40 && Height() == 40) TQRBasePanel::SetBounds(Left(), Top(), Width(), FStreamedHeight);
  } catch (...) {
    FUpdating = false;
    throw;
  }
  FUpdating = false;
  ReorderReport();
}

TQRCustomBand* TQRCustomBand::FindChildBand() const {
  if (!FReport) return nullptr;
  for (TQRCustomBand* band : FReport->BandList())
    if (band->BandType() == rbChild)
      if (auto* child = dynamic_cast<TQRChildBand*>(band); child && child->ParentBand() == this) return child;
  return nullptr;
}

TQRBandType TQRCustomBand::EffectiveBandType() const {
  const TQRCustomBand* band = this;
  for (int i = 0; band && band->FBandType == rbChild && i < kMaxChain; ++i) {
    auto* child = dynamic_cast<const TQRChildBand*>(band);
    band = child ? child->ParentBand() : nullptr;
  }
  return band ? band->FBandType : rbChild;
}

void TQRCustomBand::RefuseCircularLink() const {
  if (HasState(sfDesigning) && CanShowMessages()) ShowMessage("Circular linking not allowed");
}

void TQRCustomBand::SetLinkBand(TQRCustomBand* value) {
  int steps = 0;
  for (TQRCustomBand* b = value; b && steps < kMaxChain; b = b->FLinkBand, ++steps) {
    if (b == this) {
      RefuseCircularLink();
      return;
    }
  }
  FLinkBand = value;
  if (value) WatchComponent(value);
}

void TQRCustomBand::SetHasChild(bool value) {
  if (value == HasChild()) return;
  if (value) {
    // A child band always gets a name: a nameless one could not be linked in a file.
    std::string name;
    if (IDesignerHook* hook = DesignerHookOf(this))
      name = hook->MakeUniqueName("ChildBand");
    else
      name = OwnerUniqueName(Owner(), "ChildBand");
    TOwnedPtr<TQRChildBand> child(TComponent::Create<TQRChildBand>(Owner()));
    child->SetName(name);
    child->SetParent(Parent());
    child->SetParentBand(this);
    child.release();
  } else {
    TQRCustomBand* child = FindChildBand();
    if (TQRCustomBand* grandChild = child->FindChildBand())
      static_cast<TQRChildBand*>(grandChild)->SetParentBand(this);
    child->Free();
  }
}

bool TQRCustomBand::RoomToGrow(double amount, double growth) const {
  if (!FReport) return false;
  return FReport->RemainingSpace() >= Round(static_cast<double>(FSize->NativeHeight()) + growth + amount);
}

void TQRCustomBand::NextGrowth(double lineHeight, double& bandGrowth, double& ownGrowth, bool& claimed) const {
  if (!RoomToGrow(lineHeight, bandGrowth)) return;
  // A printable's first line past its box may fit in what the others already claimed.
  if (!claimed && lineHeight < bandGrowth) {
    ownGrowth = bandGrowth;
  } else {
    bandGrowth += lineHeight;
    ownGrowth = bandGrowth;
  }
  claimed = true;
}

void TQRCustomBand::ComponentNotification(TComponent* component, TComponentOperation operation) {
  TQRBasePanel::ComponentNotification(component, operation);
  if (operation == coRemove && component == FLinkBand) FLinkBand = nullptr;
}

void TQRCustomBand::Paint() {
  TCanvas* canvas = Canvas();
  if (!canvas) return;
  const int32_t w = Width(), h = Height();
  canvas->Brush()->SetStyle(bsSolid);
  canvas->Brush()->SetColor(FBandEnabled ? Color() : clSilver);
  canvas->FillRect({0, 0, w, h});
  if (FReport && FReport->Page()->Ruler()) {
    FRulerFontSize = std::abs(FReport->Font()->Size());
    DrawRuler(*canvas, FReport->Units(), false);
  }
  const TQRDesignTheme& theme = DesignTheme();
  canvas->Pen()->SetColor(theme.BandOutlineColor);
  canvas->Pen()->SetStyle(theme.BandOutlineStyle);
  canvas->Pen()->SetWidth(1);
  auto line = [canvas](int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    canvas->MoveTo(x1, y1);
    canvas->LineTo(x2, y2);
  };
  line(0, 0, w, 0);
  line(0, h - 1, w - 1, h - 1);
  line(0, 0, 0, h - 1);
  line(w - 1, 0, w - 1, h - 1);
  canvas->Pen()->SetStyle(psSolid);
  // The frame as the page shows it at this zoom.
  const double factor = kScreenPixelsPerInch / 254.0 * FZoom / 100;
  FFrame->DrawFrameLines(*canvas, {0, 0, w - 1, h - 1}, factor, factor);
  canvas->Font()->SetName(theme.FontName);
  canvas->Font()->SetSize(theme.FontSize);
  canvas->Font()->SetColor(theme.FontColor);
  canvas->Brush()->SetStyle(bsClear);
  canvas->TextOut(2, h - canvas->TextHeight("W") - 4, BandTypeCaption());
}

// ---------------------------------------------------------------------------

RPT_BEGIN_CLASS(TQRBand, TQRCustomBand)
  c.Property("BandType", &TQRBand::BandType, &TQRBand::SetBandType);
RPT_END_CLASS

// ---------------------------------------------------------------------------
// TQRChildBand

RPT_BEGIN_CLASS(TQRChildBand, TQRCustomBand)
  c.Property("ParentBand", &TQRChildBand::ParentBand, &TQRChildBand::SetParentBand);
RPT_END_CLASS

TQRChildBand::TQRChildBand() { FBandType = rbChild; }

void TQRChildBand::SetParentBand(TQRCustomBand* value) {
  int steps = 0;
  for (TQRCustomBand* b = value; b && steps < kMaxChain; ++steps) {
    if (b == this) {
      RefuseCircularLink();
      return;
    }
    auto* child = dynamic_cast<TQRChildBand*>(b);
    b = child ? child->FParentBand : nullptr;
  }
  if (!FReport) return;
  FParentBand = value;
  if (value) WatchComponent(value);
  ReorderReport();
}

void TQRChildBand::ComponentNotification(TComponent* component, TComponentOperation operation) {
  TQRCustomBand::ComponentNotification(component, operation);
  if (operation == coRemove && component == FParentBand) FParentBand = nullptr;
}

// ---------------------------------------------------------------------------
// TQRGroup

RPT_BEGIN_CLASS(TQRGroup, TQRCustomBand)
  c.Property("Expression", &TQRGroup::Expression, &TQRGroup::SetExpression);
  c.Property("FooterBand", &TQRGroup::FooterBand, &TQRGroup::SetFooterBand);
  c.Property("Master", &TQRGroup::Master, &TQRGroup::SetMaster);
  c.Property("ReprintOnNewPage", &TQRGroup::ReprintOnNewPage, &TQRGroup::SetReprintOnNewPage);
  c.Property("ContinuedText", &TQRGroup::ContinuedText, &TQRGroup::SetContinuedText);
  c.Property("KeepWithNext", &TQRGroup::KeepWithNext, &TQRGroup::SetKeepWithNext).Default(true);
  c.Property("KeepTogether", &TQRGroup::KeepTogether, &TQRGroup::SetKeepTogether).Default(false);
RPT_END_CLASS

TQRGroup::TQRGroup() : FEvaluator(std::make_unique<TQREvaluator>()) { FBandType = rbGroupHeader; }

TQRGroup::~TQRGroup() = default;

void TQRGroup::SetFooterBand(TQRBand* value) {
  FFooterBand = value;
  if (value) {
    value->SetBandType(rbGroupFooter);
    WatchComponent(value);
  }
  // The footer's place in the print order follows the group.
  ReorderReport();
}

void TQRGroup::SetMaster(TComponent* value) {
  if (!dynamic_cast<TQRControllerBand*>(value) && !dynamic_cast<TCustomQuickRep*>(value)) return;
  FMaster = value;
  WatchComponent(value);
  ReorderReport();
}

void TQRGroup::SetParent(TWinControl* parent) {
  TQRCustomBand::SetParent(parent);
  if (!FMaster && FReport && Parent() == FReport) SetMaster(FReport);
}

void TQRGroup::ComponentNotification(TComponent* component, TComponentOperation operation) {
  TQRCustomBand::ComponentNotification(component, operation);
  if (operation != coRemove) return;
  if (component == FFooterBand) FFooterBand = nullptr;
  if (component == FMaster) FMaster = nullptr;
}

// ---------------------------------------------------------------------------
// TQRControllerBand

RPT_BEGIN_CLASS(TQRControllerBand, TQRCustomBand)
  c.Property("Master", &TQRControllerBand::Master, &TQRControllerBand::SetMaster);
RPT_END_CLASS

TQRControllerBand::TQRControllerBand() : FController(std::make_unique<TQRController>()) {
  FController->SetHome(this);
  FController->SetDetail(this);
}

TQRControllerBand::~TQRControllerBand() = default;

void TQRControllerBand::BeforeDestruction() {
  if (FReport && !FReport->HasState(sfDestroying)) FReport->Controller()->Forget(this);
  TQRCustomBand::BeforeDestruction();
}

void TQRControllerBand::SetMaster(TComponent* value) {
  if (value == this) return;
  int steps = 0;
  for (TComponent* m = value; m && steps < kMaxChain; ++steps) {
    if (m == this) {
      RefuseCircularLink();
      return;
    }
    auto* band = dynamic_cast<TQRControllerBand*>(m);
    m = band ? band->FMaster : nullptr;
  }
  FMaster = value;
  FController->SetMaster(value);
  if (value) WatchComponent(value);
  ReorderReport();
}

bool TQRControllerBand::PrintBefore() const { return FController->PrintBefore(); }

void TQRControllerBand::SetPrintBefore(bool value) {
  if (value == PrintBefore()) return;
  FController->SetPrintBefore(value);
  ReorderReport();
}

bool TQRControllerBand::PrintIfEmpty() const { return FController->PrintIfEmpty(); }

void TQRControllerBand::SetPrintIfEmpty(bool value) { FController->SetPrintIfEmpty(value); }

void TQRControllerBand::SetParent(TWinControl* parent) {
  TQRCustomBand::SetParent(parent);
  FController->SetReport(FReport);
  if (!FMaster && FReport && Parent() == FReport) SetMaster(FReport);
}

void TQRControllerBand::ComponentNotification(TComponent* component, TComponentOperation operation) {
  TQRCustomBand::ComponentNotification(component, operation);
  if (operation != coRemove) return;
  if (component == FMaster) {
    FMaster = nullptr;
    FController->SetMaster(nullptr);
  }
  FController->Forget(component);
}

// ---------------------------------------------------------------------------
// TQRSubDetail

RPT_BEGIN_CLASS(TQRSubDetailGroupBands, TPersistent)
  c.Property("HasFooter", &TQRSubDetailGroupBands::HasFooter, &TQRSubDetailGroupBands::SetHasFooter).Stored(false);
  c.Property("HasHeader", &TQRSubDetailGroupBands::HasHeader, &TQRSubDetailGroupBands::SetHasHeader).Stored(false);
RPT_END_CLASS

bool TQRSubDetailGroupBands::HasHeader() const { return FOwner && FOwner->HeaderBand(); }

bool TQRSubDetailGroupBands::HasFooter() const { return FOwner && FOwner->FooterBand(); }

void TQRSubDetailGroupBands::SetHasHeader(bool value) {
  if (!FOwner || value == HasHeader()) return;
  if (!value) {
    FOwner->HeaderBand()->Free();
    FOwner->SetHeaderBand(nullptr);
  } else if (TCustomQuickRep* report = FOwner->ParentReport()) {
    FOwner->SetHeaderBand(report->NewBandOfType(rbGroupHeader));
  }
}

void TQRSubDetailGroupBands::SetHasFooter(bool value) {
  if (!FOwner || value == HasFooter()) return;
  if (!value) {
    FOwner->FooterBand()->Free();
    FOwner->SetFooterBand(nullptr);
  } else if (TCustomQuickRep* report = FOwner->ParentReport()) {
    FOwner->SetFooterBand(report->NewBandOfType(rbGroupFooter));
  }
}

void TQRSubDetailGroupBands::AssignFrom(const TPersistent* source) {
  const auto* other = dynamic_cast<const TQRSubDetailGroupBands*>(source);
  if (!other) {
    TPersistent::AssignFrom(source);
    return;
  }
  if (other == this) return;
  SetHasHeader(other->HasHeader());
  SetHasFooter(other->HasFooter());
}

RPT_BEGIN_CLASS(TQRSubDetail, TQRControllerBand)
  c.Property("Bands", &TQRSubDetail::Bands, &TQRSubDetail::SetBands);
  c.Property("DataSet", &TQRSubDetail::DataSet, &TQRSubDetail::SetDataSet);
  c.Property("FooterBand", &TQRSubDetail::FooterBand, &TQRSubDetail::SetFooterBand);
  c.Property("HeaderBand", &TQRSubDetail::HeaderBand, &TQRSubDetail::SetHeaderBand);
  c.Property("OnNeedData", &TQRSubDetail::OnNeedData, &TQRSubDetail::SetOnNeedData);
  c.Property("PrintBefore", &TQRSubDetail::PrintBefore, &TQRSubDetail::SetPrintBefore);
  c.Property("PrintIfEmpty", &TQRSubDetail::PrintIfEmpty, &TQRSubDetail::SetPrintIfEmpty);
RPT_END_CLASS

TQRSubDetail::TQRSubDetail() : FBands(std::make_unique<TQRSubDetailGroupBands>(this)) { FBandType = rbSubDetail; }

TDataSet* TQRSubDetail::DataSet() const { return Controller()->DataSet(); }

void TQRSubDetail::SetDataSet(TDataSet* value) {
  Controller()->SetDataSet(value);
  if (value) WatchComponent(value);
}

TQRCustomBand* TQRSubDetail::HeaderBand() const { return Controller()->Header(); }

TQRCustomBand* TQRSubDetail::FooterBand() const { return Controller()->Footer(); }

void TQRSubDetail::SetHeaderBand(TQRCustomBand* value) {
  if (value == this) return;
  Controller()->SetHeader(value);
  if (value) {
    value->SetBandType(rbGroupHeader);
    WatchComponent(value);
  }
  ReorderReport();
}

void TQRSubDetail::SetFooterBand(TQRCustomBand* value) {
  if (value == this) return;
  Controller()->SetFooter(value);
  if (value) {
    value->SetBandType(rbGroupFooter);
    WatchComponent(value);
  }
  ReorderReport();
}

TQROnNeedDataEvent TQRSubDetail::OnNeedData() const { return Controller()->OnNeedData; }

void TQRSubDetail::SetOnNeedData(TQROnNeedDataEvent value) { Controller()->OnNeedData = std::move(value); }

}  // namespace rpt
