#include "report/QuickRpt.h"

#include <QGuiApplication>
#include <QLocale>
#include <QScreen>
#include <algorithm>
#include <cmath>
#include <mutex>

#include "data/DB.h"
#include "framework/QtCanvas.h"
#include "objects/Format.h"
#include "output/QRPrinter.h"
#include "report/QRController.h"
#include "report/QRCtrls.h"

namespace rpt {

namespace {

int32_t Round(double x) { return Nearest(x); }

struct TBandTexts {
  const char* Caption;
  const char* Name;
};
constexpr TBandTexts kBandTexts[] = {
    {"Title", "TitleBand"},
    {"Page Header", "PageHeaderBand"},
    {"Detail", "DetailBand"},
    {"Page Footer", "PageFooterBand"},
    {"Summary", "SummaryBand"},
    {"Group Header", "GroupHeaderBand"},
    {"Group Footer", "GroupFooterBand"},
    {"Sub Detail", "SubDetailBand"},
    {"Column Header", "ColumnHeaderBand"},
    {"Overlay", "OverlayBand"},
    {"Child", "ChildBand"},
};

const TQRDesignTheme kRichTheme{psSolid, psSolid, TColor(0xF9F9F9), TColor(0xF0F0F0), "Small Fonts", 6,
                                TColor(0x707070), psDot, TColor(0xFF8080), psDot, TColor(0x606060)};
const TQRDesignTheme kPlainTheme{psDot, psSolid, TColor(0xC0C0C0), TColor(0xC0C0C0), "Small Fonts", 6,
                                 TColor(0xC0C0C0), psDash, TColor(0x808080), psSolid, TColor(0x808080)};

std::mutex gThemeLock;
const TQRDesignTheme* gTheme = nullptr;
TQRDesignTheme gCustomTheme;

// The screen's colour count; -1 when there is no screen to ask.
int64_t ScreenColours() {
  if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return -1;
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return -1;
  const int depth = screen->depth();
  return depth >= 32 ? (int64_t(1) << 32) : (int64_t(1) << std::max(depth, 0));
}

// Runs a block with a size object switched to pixels and always switches it back.
class TPixelsScope {
 public:
  explicit TPixelsScope(TQRUnitBase* size) : FSize(size) { FSize->SetPixelsTemporarily(); }
  ~TPixelsScope() { FSize->ReturnToSavedUnit(); }
  TPixelsScope(const TPixelsScope&) = delete;
  TPixelsScope& operator=(const TPixelsScope&) = delete;

 private:
  TQRUnitBase* FSize;
};

}  // namespace

const std::string& BandCaption(TQRBandType type) {
  static const std::vector<std::string> captions = [] {
    std::vector<std::string> v;
    for (const TBandTexts& t : kBandTexts) v.emplace_back(t.Caption);
    return v;
  }();
  static const std::string none;
  return type < captions.size() ? captions[type] : none;
}

const std::string& BandBaseName(TQRBandType type) {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> v;
    for (const TBandTexts& t : kBandTexts) v.emplace_back(t.Name);
    return v;
  }();
  static const std::string none = "Band";
  return type < names.size() ? names[type] : none;
}

const TQRDesignTheme& DesignThemeFor(int64_t colours) {
  return colours > 256 || colours < 0 ? kRichTheme : kPlainTheme;
}

const TQRDesignTheme& DesignTheme() {
  std::lock_guard guard(gThemeLock);
  if (!gTheme) gTheme = &DesignThemeFor(ScreenColours());
  return *gTheme;
}

void SetDesignTheme(const TQRDesignTheme& theme) {
  std::lock_guard guard(gThemeLock);
  gCustomTheme = theme;
  gTheme = &gCustomTheme;
}

TQRPaperSize CurrentPrinterPaperSize() {
  static std::mutex lock;
  static int cachedIndex = -2;
  static TQRPaperSize cached = TQRPaperSize::A4;
  std::lock_guard guard(lock);
  const int index = TPrinter::ApplicationPrinterIndex();
  if (index == cachedIndex) return cached;
  TPrinter printer;
  TPrinterSettings settings;
  settings.AttachPrinter(&printer);
  if (index >= 0 && index < static_cast<int>(printer.Printers().size()) && index != printer.PrinterIndex()) {
    printer.SetPrinterIndex(index);
    settings.ReadFromDevice();
  }
  cached = printer.Printers().empty() ? TQRPaperSize::Default : settings.PaperSize();
  cachedIndex = index;
  return cached;
}

std::string OwnerUniqueName(const TComponent* owner, const std::string& base) {
  for (int n = 1;; ++n) {
    std::string name = Format("%s%d", base, n);
    if (!owner || !owner->FindComponent(name)) return name;
  }
}

// ---------------------------------------------------------------------------
// TQRBasePanel

RPT_BEGIN_CLASS(TQRBasePanel, TCustomPanel)
  c.Property("Frame", &TQRBasePanel::Frame, &TQRBasePanel::SetFrame);
RPT_END_CLASS

TQRBasePanel::TQRBasePanel() : FFrame(std::make_unique<TQRFrame>()) { FFrame->Parent = this; }

TQRBasePanel::~TQRBasePanel() = default;

void TQRBasePanel::SetZoom(int32_t value) {
  FZoom = value;
  for (TControl* child : ControlList()) {
    if (auto* printable = dynamic_cast<TQRPrintable*>(child))
      printable->SetZoom(value);
    else if (auto* band = dynamic_cast<TQRCustomBand*>(child))
      band->SetZoom(value);
  }
  Invalidate();
}

void TQRBasePanel::DrawRuler(TCanvas& canvas, TQRUnit unit, bool labels) {
  const TQRDesignTheme& theme = DesignTheme();
  canvas.Font()->SetName(theme.FontName);
  canvas.Font()->SetSize(theme.FontSize);
  canvas.Font()->SetColor(theme.FontColor);
  canvas.Pen()->SetColor(clSilver);
  canvas.Pen()->SetWidth(1);
  canvas.Brush()->SetStyle(bsClear);
  const double ppi = kScreenPixelsPerInch;
  const double zoom = FZoom;
  const int32_t w = Width(), h = Height();

  auto line = [&](bool vertical, int32_t pos, TPenStyle style, TColor color) {
    canvas.Pen()->SetStyle(style);
    canvas.Pen()->SetColor(color);
    if (vertical) {
      canvas.MoveTo(pos, 0);
      canvas.LineTo(pos, h);
    } else {
      canvas.MoveTo(0, pos);
      canvas.LineTo(w, pos);
    }
  };
  auto label = [&](bool vertical, int32_t pos, int value) {
    const std::string text = std::to_string(value);
    if (vertical)
      canvas.TextOut(pos + 2, 2, text);
    else
      canvas.TextOut(2, pos + 2, text);
  };
  // One direction: `count` lines `step` pixels apart; every `major`-th is major.
  auto ruler = [&](bool vertical, double step, int count, int major, bool minors, int labelFactor) {
    for (int i = 1; i <= count; ++i) {
      const int32_t pos = Round(i * step);
      if (i % major != 0) {
        if (minors) line(vertical, pos, theme.RulerMinorStyle, theme.RulerMinorColor);
        continue;
      }
      line(vertical, pos, theme.RulerMajorStyle, theme.RulerMajorColor);
      if (labels && labelFactor > 0) label(vertical, pos, i / major * labelFactor);
    }
  };

  switch (unit) {
    case MM: {
      // A line every 5 mm, a labelled one every centimetre.
      const double step = ppi * zoom / (5.08 * 100);
      const bool detail = zoom >= 60;
      ruler(true, step, Round(w / step), 2, detail, detail ? 1 : 0);
      ruler(false, step, Round(h / step), 2, detail, detail ? 1 : 0);
      break;
    }
    case Inches: {
      const double step = ppi / 4 * zoom / 100;
      ruler(true, step, Round(w / step), 4, zoom >= 50, 1);
      ruler(false, step, Round(h / step), 4, zoom >= 50, 1);
      break;
    }
    case Characters: {
      // Ten character columns and one row a line, at the ruler font's size and the zoom.
      const double size = std::max(1, std::abs(FRulerFontSize));
      const double columns = CharColumnMM(size) * ppi / 2.54 * zoom / 100;
      const double rows = CharRowMM(size) * ppi / 25.4 * zoom / 100;
      for (int i = 1, n = Round(w / columns); i <= n; ++i) {
        line(true, Round(i * columns), psDot, clSilver);
        if (labels) label(true, Round(i * columns), i * 10);
      }
      for (int j = 1, n = Round(h / rows); j <= n; ++j) {
        line(false, Round(j * rows), psDot, clSilver);
        if (labels) label(false, Round(j * rows), j);
      }
      break;
    }
    default:
      break;
  }
  canvas.Pen()->SetStyle(psSolid);
}

// ---------------------------------------------------------------------------
// TQuickRepBands

RPT_BEGIN_CLASS(TQuickRepBands, TPersistent)
  c.IndexedProperty("HasColumnHeader", 3, &TQuickRepBands::HasBand, &TQuickRepBands::SetHasBand).Stored(false);
  c.IndexedProperty("HasDetail", 4, &TQuickRepBands::HasBand, &TQuickRepBands::SetHasBand).Stored(false);
  c.IndexedProperty("HasPageFooter", 6, &TQuickRepBands::HasBand, &TQuickRepBands::SetHasBand).Stored(false);
  c.IndexedProperty("HasPageHeader", 2, &TQuickRepBands::HasBand, &TQuickRepBands::SetHasBand).Stored(false);
  c.IndexedProperty("HasSummary", 7, &TQuickRepBands::HasBand, &TQuickRepBands::SetHasBand).Stored(false);
  c.IndexedProperty("HasTitle", 1, &TQuickRepBands::HasBand, &TQuickRepBands::SetHasBand).Stored(false);
RPT_END_CLASS

bool TQuickRepBands::TypeOfIndex(int32_t index, TQRBandType& type) {
  switch (index) {
    case 1: type = rbTitle; return true;
    case 2: type = rbPageHeader; return true;
    case 3: type = rbColumnHeader; return true;
    case 4: type = rbDetail; return true;
    case 5: return false;
    case 6: type = rbPageFooter; return true;
    default: type = rbSummary; return true;
  }
}

bool TQuickRepBands::HasBand(int32_t index) const {
  TQRBandType type;
  return FReport && TypeOfIndex(index, type) && FReport->FindBand(type);
}

void TQuickRepBands::SetHasBand(int32_t index, bool value) {
  TQRBandType type;
  if (!FReport || !TypeOfIndex(index, type) || value == HasBand(index)) return;
  if (value)
    FReport->NewBandOfType(type);
  else
    FReport->FindBand(type)->Free();
}

void TQuickRepBands::AssignFrom(const TPersistent* source) {
  const auto* other = dynamic_cast<const TQuickRepBands*>(source);
  if (!other) {
    TPersistent::AssignFrom(source);
    return;
  }
  if (other == this) return;
  for (int32_t index : {1, 2, 3, 4, 6, 7}) SetHasBand(index, other->HasBand(index));
}

// ---------------------------------------------------------------------------
// TQuickRepPrinterSettings

RPT_BEGIN_CLASS(TQuickRepPrinterSettings, TQRPrinterSettings)
  c.Property("Copies", &TQRPrinterSettings::Copies, &TQRPrinterSettings::Copies);
  c.Property("Duplex", &TQRPrinterSettings::Duplex, &TQRPrinterSettings::Duplex);
  c.Property("FirstPage", &TQRPrinterSettings::FirstPage, &TQRPrinterSettings::FirstPage);
  c.Property("LastPage", &TQRPrinterSettings::LastPage, &TQRPrinterSettings::LastPage);
  c.Property("OutputBin", &TQRPrinterSettings::OutputBin, &TQRPrinterSettings::OutputBin);
RPT_END_CLASS

// ---------------------------------------------------------------------------
// TCustomQuickRep

RPT_BEGIN_CLASS(TCustomQuickRep, TQRBasePanel)
RPT_END_CLASS

TCustomQuickRep::TCustomQuickRep()
    : FBands(std::make_unique<TQuickRepBands>(this)),
      FDescription(std::make_unique<TStringList>()),
      FFunctions(std::make_unique<TQREvEnvironment>()),
      FPage(std::make_unique<TQRPage>()),
      FParameters(std::make_unique<TQRParameters>()),
      FPrinterSettings(std::make_unique<TQuickRepPrinterSettings>()) {
  SetController(std::make_unique<TQRCustomController>());
  FPass = std::make_unique<TQRPass>(*this);
  FFunctions->DefineFunction("PAGENUMBER", "0");
  FFunctions->DefineFunction("COLUMNNUMBER", "0");
  FFunctions->DefineFunction("REPORTTITLE", "''");
  // The framework's default font where the thread's language is Japanese.
  if (QLocale().language() != QLocale::Japanese) {
    Font()->SetName("Arial");
    Font()->SetSize(10);
  }
  SetColor(clWhite);
  SetBounds(0, 0, Width(), Height());
  FPage->SetHost(this);
  FPage->SetPaperSize(CurrentPrinterPaperSize());
  FPage->ApplyToParent();
}

TCustomQuickRep::~TCustomQuickRep() {
  // The controllers may still name bands: they go before the page and the lists.
  FController.reset();
}

void TCustomQuickRep::SetController(std::unique_ptr<TQRCustomController> controller) {
  controller->SetHome(this);
  controller->SetReport(this);
  FController = std::move(controller);
}

void TCustomQuickRep::BeforeDestruction() {
  // A preview's pass still running ends before anything it reads goes.
  WaitForGeneration(true);
  TQRBasePanel::BeforeDestruction();
  FBandList.clear();
}

bool TCustomQuickRep::PrintIfEmpty() const { return FController->PrintIfEmpty(); }

void TCustomQuickRep::SetPrintIfEmpty(bool value) { FController->SetPrintIfEmpty(value); }


void TCustomQuickRep::SetUnits(TQRUnit value) {
  FPage->SetUnits(value);
  for (TQRCustomBand* band : FBandList) band->SetUnits(value);
  for (TControl* child : ControlList())
    if (auto* printable = dynamic_cast<TQRPrintable*>(child)) printable->SetUnits(value);
}

void TCustomQuickRep::SetZoom(int32_t value) {
  if (value <= 0 || value > 300) return;
  TQRBasePanel::SetZoom(value);
  FPage->SetZoom(value);
  FPage->ApplyToParent();
  LayoutBands();
}

TQRCustomBand* TCustomQuickRep::FindBand(TQRBandType type) const {
  for (TQRCustomBand* band : FBandList)
    if (band->BandType() == type) return band;
  return nullptr;
}

void TCustomQuickRep::AttachBand(TQRCustomBand* band) {
  if (std::find(FBandList.begin(), FBandList.end(), band) != FBandList.end()) return;
  FBandList.push_back(band);
  OrderBands();
  LayoutBands();
}

void TCustomQuickRep::DetachBand(TQRCustomBand* band) {
  if (HasState(sfDestroying)) return;
  auto it = std::find(FBandList.begin(), FBandList.end(), band);
  if (it == FBandList.end()) return;
  FBandList.erase(it);
  FController->Forget(band);
  OrderBands();
  LayoutBands();
}

void TCustomQuickRep::AppendBandInOrder(std::vector<TQRCustomBand*>& order, TQRCustomBand* band) const {
  // Only bands of this report: a reference to a band placed elsewhere must not put a
  // band into the list that detaching would never take out again.
  auto attached = [this](TQRCustomBand* b) {
    return b && !b->HasState(sfDestroying) && std::find(FBandList.begin(), FBandList.end(), b) != FBandList.end();
  };
  if (!attached(band) || std::find(order.begin(), order.end(), band) != order.end()) return;
  order.push_back(band);
  // The child chain; bounded by the list, whatever a damaged file links.
  size_t guard = FBandList.size();
  for (TQRCustomBand* child = band->FindChildBand(); child && guard > 0; child = child->FindChildBand(), --guard) {
    if (std::find(order.begin(), order.end(), child) != order.end()) break;
    order.push_back(child);
  }
}

void TCustomQuickRep::OrderBands() {
  if (HasState(sfLoading) || HasState(sfDestroying) || FOrdering) return;
  FOrdering = true;
  try {
    if (auto* master = dynamic_cast<TQRController*>(FController.get())) {
      master->SetHeader(FindBand(rbTitle));
      master->SetDetail(FindBand(rbDetail));
      master->SetFooter(FindBand(rbSummary));
    }
    FController->CollectMembers();
    std::vector<TQRCustomBand*> order;
    order.reserve(FBandList.size());
    for (TQRBandType type : {rbPageHeader, rbTitle, rbColumnHeader})
      for (TQRCustomBand* band : FBandList)
        if (band->BandType() == type) AppendBandInOrder(order, band);
    FController->AppendBandsInOrder(order);
    // A group footer no group names yet shows where it will print once one does: above
    // the page footer, not below it.
    for (TQRCustomBand* band : FBandList)
      if (band->BandType() == rbGroupFooter) AppendBandInOrder(order, band);
    for (TQRCustomBand* band : FBandList)
      if (band->BandType() == rbPageFooter) AppendBandInOrder(order, band);
    for (TQRCustomBand* band : FBandList) AppendBandInOrder(order, band);
    FBandList = std::move(order);
  } catch (...) {
    FOrdering = false;
    throw;
  }
  FOrdering = false;
}

void TCustomQuickRep::LayoutBands() {
  if (!FPage || HasState(sfLoading) || HasState(sfDestroying)) return;
  const auto px = [this](int index) {
    return FPage->FromNative(Pixels, index == pvLeftMargin || index == pvRightMargin || index == pvColumnSpace,
                             FPage->NativeValue(index));
  };
  const int32_t columns = std::max(1, FPage->Columns());
  const int32_t width = Width() - Round(static_cast<double>(px(pvLeftMargin) + px(pvRightMargin)));
  const int32_t columnWidth = (width - Round(static_cast<double>(px(pvColumnSpace))) * (columns - 1)) / columns;
  const int32_t left = Round(static_cast<double>(px(pvLeftMargin)));
  int32_t y = Round(static_cast<double>(px(pvTopMargin)));
  for (TQRCustomBand* band : FBandList) {
    if (band->HasState(sfDestroying)) continue;
    const int32_t h = band->Height();
    int32_t w = columnWidth;
    switch (band->EffectiveBandType()) {
      case rbTitle:
      case rbPageHeader:
      case rbPageFooter:
      case rbSummary:
      case rbOverlay: w = width; break;
      default: break;
    }
    band->SetUpdating(true);
    try {
      // A stored width that already gives these pixels stays as it was.
      if (Round(static_cast<double>(band->Size()->FromNative(Pixels, true, band->Size()->NativeWidth()))) != w)
        band->Size()->SetNativeWidth(band->Size()->ToNative(Pixels, true, w));
      band->SetBounds(left, y, w, h);
    } catch (...) {
      band->SetUpdating(false);
      throw;
    }
    band->SetUpdating(false);
    y += h;
  }
}

TQRCustomBand* TCustomQuickRep::NewBandOfType(TQRBandType type) {
  // The designer names bands when the report is designed on a form; the form is found
  // through the owners, else through the parents (the document's report has no owner).
  IDesignerHook* hook = nullptr;
  if (HasState(sfDesigning)) {
    for (TComponent* o = Owner(); o && !hook; o = o->Owner())
      if (auto* form = dynamic_cast<TCustomForm*>(o)) hook = form->Designer();
    if (!hook)
      if (TCustomForm* form = GetParentForm(this)) hook = form->Designer();
  }
  TComponent* owner = hook && hook->RootComponent() ? hook->RootComponent() : (Owner() ? Owner() : this);
  TOwnedPtr<TQRBand> band(TComponent::Create<TQRBand>(owner));
  band->SetParent(this);
  band->SetBandType(type);
  const std::string& base = BandBaseName(type);
  if (hook) {
    band->SetName(hook->MakeUniqueName(base[0] == 'T' ? "T" + base : base));
    hook->NotifyModified();
  } else {
    band->SetName(OwnerUniqueName(owner, base));
  }
  return band.release();
}

int32_t TCustomQuickRep::MeasureTextWidth(const TFont& font, std::string_view text) {
  try {
    return Round(MeasureText(font, text, kScreenPixelsPerInch).Width) + 1;
  } catch (...) {
    return 0;
  }
}

int32_t TCustomQuickRep::MeasureTextHeight(const TFont& font, std::string_view text) {
  try {
    return Round(MeasureText(font, text, kScreenPixelsPerInch).Height);
  } catch (...) {
    return 0;
  }
}

void TCustomQuickRep::MarkDesignChanged() {
  if (FDesignModified) return;
  FDesignModified = true;
  Invalidate();
}

void TCustomQuickRep::EnumerateChildren(const TGetChildProc& proc, TComponent* root) {
  TQRBasePanel::EnumerateChildren(proc, root);
  if (root != this) return;
  // Components the report owns outside its controls (a dataset made with it as owner).
  const std::vector<TComponent*> owned = OwnedComponents();
  for (TComponent* c : owned) {
    auto* control = dynamic_cast<TControl*>(c);
    if (!control || !control->Parent()) proc(c);
  }
}

void TCustomQuickRep::AfterLoad() {
  // Datasets the report owns (a sub-detail's query) are opened by its passes, on the
  // thread that walks them: a file that stored one open still loads when its database
  // is out of reach, or about to be replaced.
  for (TComponent* c : OwnedComponents())
    if (auto* dataSet = dynamic_cast<TDataSet*>(c)) dataSet->IgnoreStreamedActive();
  // The root finishes loading first: its bands and printables apply their loaded sizes
  // now, so the bands are ordered and laid out once, with their real heights.
  for (TControl* child : ControlList()) {
    if (auto* band = dynamic_cast<TQRCustomBand*>(child)) {
      band->FinishLoading();
      for (TControl* grandChild : band->ControlList())
        if (auto* printable = dynamic_cast<TQRPrintable*>(grandChild)) printable->FinishLoading();
    } else if (auto* printable = dynamic_cast<TQRPrintable*>(child)) {
      printable->FinishLoading();
    }
  }
  // Units and zoom were read before the children, which took them as they arrived.
  TQRBasePanel::AfterLoad();
  FPage->ApplyToParent();
  OrderBands();
  LayoutBands();
}

void TCustomQuickRep::BoundsChanged() {
  TQRBasePanel::BoundsChanged();
  if (!HasState(sfLoading) && !HasState(sfDestroying) && FPage) FPage->HostResized(Width(), Height());
}

void TCustomQuickRep::Paint() {
  TCanvas* canvas = Canvas();
  if (!canvas) return;
  canvas->Brush()->SetStyle(bsSolid);
  canvas->Brush()->SetColor(TControl::Enabled() ? Color() : clSilver);
  canvas->FillRect({0, 0, Width(), Height()});
  canvas->Brush()->SetStyle(bsClear);
  FDesignModified = false;
  if (FPage->Ruler()) {
    FRulerFontSize = std::abs(Font()->Size());
    DrawRuler(*canvas, Units(), true);
  }
  PaintMarginBox(*canvas);
  PaintFrameLines(*canvas);
  if (FPage->Columns() >= 2) PaintColumnTicks(*canvas);
}

void TCustomQuickRep::PaintMarginBox(TCanvas& canvas) {
  const TQRDesignTheme& theme = DesignTheme();
  canvas.Pen()->SetStyle(theme.MarginStyle);
  canvas.Pen()->SetColor(theme.MarginColor);
  canvas.Pen()->SetWidth(1);
  canvas.Brush()->SetStyle(bsClear);
  {
    TPixelsScope pixels(FPage.get());
    canvas.Rectangle(Round(static_cast<double>(FPage->GetValue(pvLeftMargin))),
                     Round(static_cast<double>(FPage->GetValue(pvTopMargin))),
                     Width() - Round(static_cast<double>(FPage->GetValue(pvRightMargin))),
                     Height() - Round(static_cast<double>(FPage->GetValue(pvBottomMargin))));
  }
  canvas.Pen()->SetStyle(psSolid);
}

void TCustomQuickRep::PaintFrameLines(TCanvas& canvas) {
  const TQRFrame* frame = Frame();
  if (!frame->HasAnySide()) return;
  canvas.Pen()->SetWidth(1);
  canvas.Pen()->SetStyle(frame->Style());
  canvas.Pen()->SetColor(frame->Color());
  TPixelsScope pixels(FPage.get());
  const auto v = [this](int index) { return static_cast<double>(FPage->GetValue(index)); };
  const int32_t l = Round(v(pvLeftMargin)), t = Round(v(pvTopMargin));
  const int32_t r = Round(v(pvWidth) - v(pvRightMargin)), b = Round(v(pvLength) - v(pvBottomMargin));
  auto line = [&canvas](int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    canvas.MoveTo(x1, y1);
    canvas.LineTo(x2, y2);
  };
  if (frame->DrawTop()) line(l, t, r - 1, t);
  if (frame->DrawBottom()) line(l, b - 1, r - 1, b - 1);
  if (frame->DrawLeft()) line(l, t, l, b - 1);
  if (frame->DrawRight()) line(r - 1, t, r - 1, b - 1);
  canvas.Pen()->SetStyle(psSolid);
}

void TCustomQuickRep::PaintColumnTicks(TCanvas& canvas) {
  const TQRDesignTheme& theme = DesignTheme();
  canvas.Pen()->SetWidth(1);
  canvas.Pen()->SetStyle(theme.MarginStyle);
  canvas.Pen()->SetColor(theme.MarginColor);
  TPixelsScope pixels(FPage.get());
  const auto v = [this](int index) { return static_cast<double>(FPage->GetValue(index)); };
  const int32_t columns = FPage->Columns();
  const double space = v(pvColumnSpace);
  const double column =
      Round((v(pvWidth) - v(pvLeftMargin) - v(pvRightMargin) - space * (columns - 1)) / columns);
  const int32_t top = Round(v(pvTopMargin));
  for (int f = 1; f < columns; ++f) {
    for (double x : {v(pvLeftMargin) + column * f + space * (f - 1), v(pvLeftMargin) + (space + column) * f}) {
      canvas.MoveTo(Round(x), 0);
      canvas.LineTo(Round(x), top);
    }
  }
  canvas.Pen()->SetStyle(psSolid);
}

// ---------------------------------------------------------------------------
// TQuickRep

RPT_BEGIN_CLASS(TQuickRep, TCustomQuickRep)
  c.Property("AfterPreview", &TQuickRep::AfterPreview, &TQuickRep::AfterPreview);
  c.Property("AfterPrint", &TQuickRep::AfterPrint, &TQuickRep::AfterPrint);
  c.Property("Bands", &TQuickRep::Bands, &TQuickRep::SetBands);
  c.Property("BeforePrint", &TQuickRep::BeforePrint, &TQuickRep::BeforePrint);
  c.Property("DataSet", &TQuickRep::DataSet, &TQuickRep::SetDataSet);
  c.Property("Description", &TQuickRep::Description, &TQuickRep::SetDescription);
  c.Property("Font", &TQuickRep::Font, &TQuickRep::SetFont);
  c.Property("Functions", &TQuickRep::Functions, &TQuickRep::SetFunctions);
  c.Property("OnEndPage", &TQuickRep::OnEndPage, &TQuickRep::OnEndPage);
  c.Property("OnNeedData", &TQuickRep::OnNeedData, &TQuickRep::OnNeedData);
  c.Property("OnPreview", &TQuickRep::OnPreview, &TQuickRep::OnPreview);
  c.Property("OnStartPage", &TQuickRep::OnStartPage, &TQuickRep::OnStartPage);
  c.Property("Options", &TQuickRep::Options, &TQuickRep::SetOptions);
  c.Property("Page", &TQuickRep::Page, &TQuickRep::SetPage);
  c.Property("Parameters", &TQuickRep::Parameters, &TQuickRep::SetParameters).Stored(&TQuickRep::ParametersStored);
  c.Property("PrinterSettings", &TQuickRep::PrinterSettings, &TQuickRep::SetPrinterSettings);
  c.Property("PrintIfEmpty", &TQuickRep::PrintIfEmpty, &TQuickRep::SetPrintIfEmpty);
  c.Property("ReportTitle", &TQuickRep::ReportTitle, &TQuickRep::SetReportTitle);
  c.Property("ShowProgress", &TQuickRep::ShowProgress, &TQuickRep::SetShowProgress).Default(true);
  c.Property("SnapToGrid", &TQuickRep::SnapToGrid, &TQuickRep::SetSnapToGrid);
  c.Property("TaggedPdf", &TQuickRep::TaggedPdf, &TQuickRep::SetTaggedPdf).Default(false);
  c.Property("Units", &TQuickRep::Units, &TQuickRep::SetUnits);
  c.Property("Zoom", &TQuickRep::Zoom, &TQuickRep::SetZoom);
RPT_END_CLASS

TQuickRep::TQuickRep() { SetController(std::make_unique<TQRController>()); }

TQRController* TQuickRep::MasterController() const { return static_cast<TQRController*>(Controller()); }

TDataSet* TQuickRep::DataSet() const { return MasterController()->DataSet(); }

void TQuickRep::SetDataSet(TDataSet* value) {
  MasterController()->SetDataSet(value);
  if (value) WatchComponent(value);
}

int64_t TQuickRep::DataSetRecordCount() const {
  TDataSet* dataSet = DataSet();
  if (!dataSet || !dataSet->Active()) return 1;
  try {
    const int64_t count = dataSet->RecordCount();
    return count < 0 ? 1 : count;
  } catch (...) {
    return 1;
  }
}

int32_t TQuickRep::CurrentDetailSerial() const { return MasterController()->DetailSerial; }

void TQuickRep::ComponentNotification(TComponent* component, TComponentOperation operation) {
  TCustomQuickRep::ComponentNotification(component, operation);
  if (operation == coRemove && component && component == DataSet() && !HasState(sfDestroying))
    MasterController()->SetDataSet(nullptr);
}

// ---------------------------------------------------------------------------
// TNotifyQuickRep

RPT_BEGIN_CLASS(TNotifyQuickRep, TQuickRep)
RPT_END_CLASS

void TNotifyQuickRep::ComponentNotification(TComponent* component, TComponentOperation operation) {
  TQuickRep::ComponentNotification(component, operation);
  if (OnNotify) OnNotify(this, component, operation);
}

}  // namespace rpt
