#include "report/QRCtrls.h"

#include <algorithm>
#include <cmath>

#include "objects/Filer.h"
#include "output/QRPrinter.h"

namespace rpt {

namespace {

int32_t Round(double x) { return Nearest(x); }
int32_t Round(Extended x) { return Nearest(static_cast<double>(x)); }

// Raises a flag for the length of a block, whatever leaves it.
class TFlagScope {
 public:
  explicit TFlagScope(bool& flag) : FFlag(flag) { FFlag = true; }
  ~TFlagScope() { FFlag = false; }
  TFlagScope(const TFlagScope&) = delete;
  TFlagScope& operator=(const TFlagScope&) = delete;

 private:
  bool& FFlag;
};

// The font a control draws with on the design surface at a zoom: the same height at a
// resolution scaled the other way, so glyphs grow exactly with the zoom.
void UseZoomedFont(TCanvas& canvas, const TFont& font, int32_t zoom) {
  canvas.SetFont(&font);
  canvas.Font()->SetPixelsPerInch(std::max(1, Round(font.PixelsPerInch() * 100.0 / std::max(1, zoom))));
}

}  // namespace

// ---------------------------------------------------------------------------
// TQRPrintableSize

RPT_BEGIN_CLASS(TQRPrintableSize, TQRUnitBase)
  c.IndexedProperty("Height", TQRPrintableSize::szHeight, &TQRPrintableSize::GetValue, &TQRPrintableSize::SetValue)
      .Stored(false);
  c.IndexedProperty("Left", TQRPrintableSize::szLeft, &TQRPrintableSize::GetValue, &TQRPrintableSize::SetValue)
      .Stored(false);
  c.IndexedProperty("Top", TQRPrintableSize::szTop, &TQRPrintableSize::GetValue, &TQRPrintableSize::SetValue)
      .Stored(false);
  c.IndexedProperty("Width", TQRPrintableSize::szWidth, &TQRPrintableSize::GetValue, &TQRPrintableSize::SetValue)
      .Stored(false);
RPT_END_CLASS

Extended TQRPrintableSize::GetValue(int32_t index) const {
  if (index < 0 || index > 3) return 0;
  return FromNative(FUnits, Horizontal(index), FValues[index]);
}

void TQRPrintableSize::SetValue(int32_t index, Extended value) {
  if (index < 0 || index > 3) return;
  FValues[index] = ToNative(FUnits, Horizontal(index), value);
  if (FControl) FControl->FPixelBoundsPending = false;
  ApplyToParent();
}

void TQRPrintableSize::ApplyToParent() {
  if (!FControl) return;
  auto px = [this](int32_t index) { return Round(FromNative(Pixels, Horizontal(index), FValues[index])); };
  TFlagScope updating(FParentUpdating);
  FControl->SetBounds(px(szLeft), px(szTop), px(szWidth), px(szHeight));
}

void TQRPrintableSize::AssignFrom(const TPersistent* source) {
  const auto* other = dynamic_cast<const TQRPrintableSize*>(source);
  if (!other) {
    TQRUnitBase::AssignFrom(source);
    return;
  }
  std::copy(std::begin(other->FValues), std::end(other->FValues), std::begin(FValues));
  if (FControl) FControl->FPixelBoundsPending = false;
  ApplyToParent();
}

// ---------------------------------------------------------------------------
// TQRPrintable

RPT_BEGIN_CLASS(TQRHighlight, TCollectionItem)
  c.Property("Color", &TQRHighlight::Color, &TQRHighlight::SetColor);
  c.Property("Condition", &TQRHighlight::Condition, &TQRHighlight::SetCondition);
  c.Property("FontColor", &TQRHighlight::FontColor, &TQRHighlight::SetFontColor);
  c.Property("FontStyle", &TQRHighlight::FontStyle, &TQRHighlight::SetFontStyle);
  c.Property("Visible", &TQRHighlight::Visible, &TQRHighlight::SetVisible).Default(true);
RPT_END_CLASS

void TQRHighlight::AssignFrom(const TPersistent* source) {
  const auto* other = dynamic_cast<const TQRHighlight*>(source);
  if (!other) return TCollectionItem::AssignFrom(source);
  FCondition = other->FCondition;
  FFontColor = other->FFontColor;
  FFontStyle = other->FFontStyle;
  FColor = other->FColor;
  FVisible = other->FVisible;
}

RPT_BEGIN_CLASS(TQRHighlights, TCollection)
RPT_END_CLASS

TQRHighlights::TQRHighlights() : TCollection(TQRHighlight::StaticClass()) {}

RPT_BEGIN_CLASS(TQRPrintable, TCustomControl)
  c.Property("Enabled", &TQRPrintable::Enabled, &TQRPrintable::SetEnabled).Default(true);
  c.Property("PrintIf", &TQRPrintable::PrintIf, &TQRPrintable::SetPrintIf);
  c.Property("Highlights", &TQRPrintable::Highlights, &TQRPrintable::SetHighlights)
      .Stored(&TQRPrintable::HighlightsStored);
  c.Property("Frame", &TQRPrintable::Frame, &TQRPrintable::SetFrame);
  c.Property("Size", &TQRPrintable::Size, &TQRPrintable::SetSize);
RPT_END_CLASS

TQRPrintable::TQRPrintable()
    : FSize(std::make_unique<TQRPrintableSize>(this)),
      FFrame(std::make_unique<TQRFrame>()),
      FHighlights(std::make_unique<TQRHighlights>()) {
  FFrame->Parent = this;
  SetColor(clWhite);
  SetBounds(Left(), Top(), 10, 10);
}

TQRPrintable::~TQRPrintable() = default;

void TQRPrintable::SetSize(TQRPrintableSize* value) { FSize->AssignFrom(value); }

void TQRPrintable::SetEnabled(bool value) {
  // The control itself stays enabled: a disabled element is still selected and moved.
  FPrintEnabled = value;
  Invalidate();
}

void TQRPrintable::SetAlignment(TAlignment value) {
  FAlignment = value;
  if (FAlignToBand) AlignToBandNow();
  Invalidate();
}

void TQRPrintable::SetAlignToBand(bool value) {
  FAlignToBand = value;
  AlignToBandNow();
}

void TQRPrintable::SetTransparent(bool value) { SetOpaque(!value); }

void TQRPrintable::SetZoom(int32_t value) {
  FZoom = value;
  FSize->SetZoom(value);
  if (!HasState(sfLoading)) FSize->ApplyToParent();
  Invalidate();
}

void TQRPrintable::SetUnits(TQRUnit value) { FSize->SetUnits(value); }

TQRCustomBand* TQRPrintable::ParentBand() const { return dynamic_cast<TQRCustomBand*>(Parent()); }

void TQRPrintable::TakeReport(TCustomQuickRep* report) {
  FReport = report;
  FSize->SetHost(report);
  if (!report) return;
  if (HasState(sfLoading) && !FLoadFinished) {
    FZoom = report->Zoom();
    FSize->SetZoom(FZoom);
    return;
  }
  if (FPixelBoundsPending) {
    // Bounds given in pixels before there was a report are bounds at its zoom.
    FSize->SetZoom(report->Zoom());
    FSize->SetNative(TQRPrintableSize::szLeft, FSize->ToNative(Pixels, true, Left()));
    FSize->SetNative(TQRPrintableSize::szTop, FSize->ToNative(Pixels, false, Top()));
    FSize->SetNative(TQRPrintableSize::szWidth, FSize->ToNative(Pixels, true, Width()));
    FSize->SetNative(TQRPrintableSize::szHeight, FSize->ToNative(Pixels, false, Height()));
    FPixelBoundsPending = false;
  }
  SetZoom(report->Zoom());
}

void TQRPrintable::SetParent(TWinControl* parent) {
  TCustomControl::SetParent(parent);
  TCustomQuickRep* report = dynamic_cast<TCustomQuickRep*>(parent);
  if (report) {
    FSize->SetUnits(report->Units());
  } else if (auto* band = dynamic_cast<TQRCustomBand*>(parent)) {
    FSize->SetUnits(band->Size()->Units());
    report = band->ParentReport();
  }
  TakeReport(report);
}

void TQRPrintable::SetBounds(int32_t left, int32_t top, int32_t width, int32_t height) {
  if (FSize->ParentUpdating()) {
    TCustomControl::SetBounds(left, top, width, height);
    if (FReport) FReport->MarkDesignChanged();
  } else if (HasState(sfLoading) && !FLoadFinished) {
    // The loaded size decides; stored pixel bounds serve files that have none. Bounds
    // are not applied while loading, so the coordinate that differs is the one read.
    const int32_t values[4] = {left, top, width, height};
    const int32_t current[4] = {Left(), Top(), Width(), Height()};
    for (int i = 0; i < 4; ++i)
      if (values[i] != current[i]) FStreamedBounds[i] = values[i];
  } else if (!FReport) {
    TCustomControl::SetBounds(left, top, width, height);
    FPixelBoundsPending = true;
  } else {
    FSize->SetPixelsTemporarily();
    try {
      const int32_t requested[4] = {height, left, top, width};  // in the size's index order
      for (int32_t index : {TQRPrintableSize::szHeight, TQRPrintableSize::szWidth, TQRPrintableSize::szTop,
                            TQRPrintableSize::szLeft})
        if (Round(FSize->GetValue(index)) != requested[index]) FSize->SetValue(index, requested[index]);
    } catch (...) {
      FSize->ReturnToSavedUnit();
      throw;
    }
    FSize->ReturnToSavedUnit();
  }
  if (FAlignToBand && !FAlignGuard) AlignToBandNow();
}

void TQRPrintable::AfterLoad() {
  TCustomControl::AfterLoad();
  FinishLoading();
}

void TQRPrintable::FinishLoading() {
  if (FLoadFinished) return;
  FLoadFinished = true;
  // The size values decide; a file without them keeps its stored pixel bounds.
  if (!FSize->ValuesWereRead()) {
    const int32_t index[4] = {TQRPrintableSize::szLeft, TQRPrintableSize::szTop, TQRPrintableSize::szWidth,
                              TQRPrintableSize::szHeight};
    const int32_t current[4] = {Left(), Top(), Width(), Height()};
    for (int i = 0; i < 4; ++i) {
      const int32_t pixels = FStreamedBounds[i] ? *FStreamedBounds[i] : current[i];
      FSize->SetNative(index[i], FSize->ToNative(Pixels, TQRPrintableSize::Horizontal(index[i]), pixels));
    }
  }
  FSize->ApplyToParent();
}

void TQRPrintable::AlignToBandNow() {
  if (!FAlignToBand || FAlignGuard) return;
  TFlagScope guard(FAlignGuard);
  if (FAlignment == taLeftJustify) {
    SetLeft(0);
  } else if (TQRCustomBand* band = ParentBand()) {
    SetLeft(FAlignment == taRightJustify ? band->Width() - Width() : (band->Width() - Width()) / 2);
  }
}

void TQRPrintable::Prepare(TQRPrinter* printer) {
  FInGeneration = true;
  FPrinter = printer;
  FAllPrinted = true;
}

void TQRPrintable::Unprepare() {
  FInGeneration = false;
  FPrinter = nullptr;
}

bool TQRPrintable::ExportItem(TQRExportItem&) const { return false; }

void TQRPrintable::ReceiveNotice(TObject*, TQRNotifyOperation operation) {
  if (operation == qrnBandResized) AlignToBandNow();
}

TRect TQRPrintable::DeviceRect(double left, double top, double width, double height) const {
  return {FPrinter->XToDevice(left), FPrinter->YToDevice(top), FPrinter->XToDevice(left + width),
          FPrinter->YToDevice(top + height)};
}

void TQRPrintable::PrintFrame(double left, double top, double width, double height) {
  TCanvas* canvas = FPrinter ? FPrinter->PageCanvas() : nullptr;
  if (!canvas || !FinalPass() || !FFrame->HasAnySide()) return;
  FFrame->DrawFrameLines(*canvas, DeviceRect(left, top, width, height), FPrinter->HorzScale(),
                         FPrinter->VertScale());
}

TQRPrintable::TNativeBox TQRPrintable::PrintedBox(double offsetX, double offsetY) const {
  return {static_cast<double>(FSize->Native(TQRPrintableSize::szLeft)) + offsetX,
          static_cast<double>(FSize->Native(TQRPrintableSize::szTop)) + offsetY,
          static_cast<double>(FSize->Native(TQRPrintableSize::szWidth)),
          static_cast<double>(FSize->Native(TQRPrintableSize::szHeight))};
}

void TQRPrintable::PrintBackground(TCanvas& canvas, double left, double top, double width, double height) {
  const TQRHighlight* rule = FReport ? FReport->ActiveHighlight(this) : nullptr;
  const bool marked = rule && rule->Color() != clNone;
  if (!(Opaque() || marked) || !FinalPass()) return;
  canvas.Pen()->SetWidth(0);
  canvas.Brush()->SetStyle(bsSolid);
  canvas.Brush()->SetColor(marked ? rule->Color() : Color());
  canvas.FillRect(DeviceRect(left, top, width, height));
}

void TQRPrintable::PrintAt(double offsetX, double offsetY) {
  const TNativeBox box = PrintedBox(offsetX, offsetY);
  PrintFrame(box.Left, box.Top, box.Width, box.Height);
}

double TQRPrintable::MeasureHeight() { return static_cast<double>(FSize->Native(TQRPrintableSize::szHeight)); }

void TQRPrintable::DrawCornerMarks(TCanvas& canvas) const {
  const int32_t w = Width(), h = Height();
  canvas.Pen()->SetColor(clBlack);
  canvas.Pen()->SetStyle(psSolid);
  canvas.Pen()->SetWidth(1);
  canvas.Polyline({{0, 4}, {0, 0}, {4, 0}});
  canvas.Polyline({{0, h - 5}, {0, h - 1}, {4, h - 1}});
  canvas.Polyline({{w - 5, 0}, {w - 1, 0}, {w - 1, 4}});
  canvas.Polyline({{w - 5, h - 1}, {w - 1, h - 1}, {w - 1, h - 5}});
  // Elements with Highlights rules carry a small orange corner, so they stand out.
  if (FHighlights->Count() > 0 && w > 8 && h > 8) {
    canvas.Pen()->SetColor(static_cast<TColor>(0x0080FF));
    canvas.Brush()->SetStyle(bsSolid);
    canvas.Brush()->SetColor(static_cast<TColor>(0x0080FF));
    canvas.Polygon({{w - 7, 1}, {w - 2, 1}, {w - 2, 6}});
  }
}

void TQRPrintable::PaintPrintable(TCanvas& canvas) {
  if (!Opaque()) return;
  canvas.Brush()->SetStyle(bsSolid);
  canvas.Brush()->SetColor(clWhite);
  canvas.FillRect({0, 0, Width(), Height()});
}

void TQRPrintable::PaintFrameAndCornerMarks(TCanvas& canvas) const {
  const double factor = FZoom * (kScreenPixelsPerInch / 254.0) / 100;
  FFrame->DrawFrameLines(canvas, {0, 0, Width() - 1, Height() - 1}, factor, factor);
  DrawCornerMarks(canvas);
}

void TQRPrintable::Paint() {
  if (FInGeneration || !Canvas()) return;
  PaintPrintable(*Canvas());
  PaintFrameAndCornerMarks(*Canvas());
}

// ---------------------------------------------------------------------------
// TQRCustomLabel

RPT_BEGIN_CLASS(TQRCustomLabel, TQRPrintable)
RPT_END_CLASS

TQRCustomLabel::TQRCustomLabel()
    : FLines(std::make_unique<TStringList>()), FLayoutLines(std::make_unique<TStringList>()) {
  FLines->OnChange = [this](TObject*) {
    RebuildLines();
    Invalidate();
  };
  SetOpaque(true);
}

TQRCustomLabel::~TQRCustomLabel() = default;

void TQRCustomLabel::SetCaption(const std::string& value) {
  FCaption = value;
  FOutputText = value;
  RebuildLines();
  Invalidate();
}

void TQRCustomLabel::SetOutputText(const std::string& value) {
  FOutputText = value;
  RebuildLines();
  Invalidate();
}

void TQRCustomLabel::SetLines(TStringList* value) { FLines->AssignFrom(value); }

void TQRCustomLabel::SetAutoSize(bool value) {
  FAutoSize = value;
  RebuildLines();
  Invalidate();
}

void TQRCustomLabel::SetAutoStretch(bool value) {
  FAutoStretch = value;
  Invalidate();
}

void TQRCustomLabel::SetWordWrap(bool value) {
  FWordWrap = value;
  RebuildLines();
  Invalidate();
}

void TQRCustomLabel::SetBiDiMode(TBiDiMode value) {
  FBiDiMode = value;
  Invalidate();
}

TAlignment TQRCustomLabel::DrawAlignment() const {
  if (FBiDiMode != bdRightToLeft) return FAlignment;
  return FAlignment == taLeftJustify ? taRightJustify : FAlignment == taRightJustify ? taLeftJustify : taCenter;
}

void TQRCustomLabel::SetAlignment(TAlignment value) {
  TQRPrintable::SetAlignment(value);
  RebuildLines();
}

void TQRCustomLabel::Renamed(const std::string& oldName) {
  // A caption that still shows the name follows it; a loaded caption is the file's.
  if (HasState(sfLoading)) return;
  if (FCaption.empty() || FCaption == oldName) SetCaption(Name());
}

void TQRCustomLabel::FontChanged() {
  TQRPrintable::FontChanged();
  RebuildLines();
}

void TQRCustomLabel::SetParent(TWinControl* parent) {
  TQRPrintable::SetParent(parent);
  RebuildLines();
}

void TQRCustomLabel::DefineProperties(TFiler& filer) {
  TQRPrintable::DefineProperties(filer);
  filer.DefineCustomProperty(
      "FontSize", [this](TReader& r) { FStreamedFontSize = r.ReadInteger(); },
      [this](TWriter& w) { w.WriteInteger(Font()->Size()); }, true);
}

void TQRCustomLabel::FinishLoading() {
  TQRPrintable::FinishLoading();
  // The stored point size wins over the stored font; an equal one changes nothing, so a
  // label that follows its band's font keeps following it.
  if (FStreamedFontSize > 0 && FStreamedFontSize != Font()->Size()) Font()->SetSize(FStreamedFontSize);
  FStreamedFontSize = 0;
  RebuildLines();
}

bool TQRCustomLabel::ShowsPlaceholder() const {
  return !UsesCaption() && FLines->Count() == 0 && HasState(sfDesigning);
}

std::unique_ptr<TQRLineFormatter> TQRCustomLabel::LineFormatter(double width, bool designing) const {
  TQRLineFormat format{width, FAutoSize, FWordWrap};
  const TFont* font = Font();
  TTextWidthFunc measure = [font](std::string_view text) { return TextWidthNative(*font, text); };
  const std::vector<std::string>* source = FPrintLines ? FPrintLines : &FLines->Lines();
  std::vector<std::string> sources;
  if (UsesCaption() && !FPrintLines) {
    sources.push_back(FOutputText);
  } else if (!source->empty()) {
    sources = *source;
    format.Verbatim = FAutoSize;
  } else if (designing) {
    // An empty memo shows its name on the design surface only.
    sources.push_back(Name());
  }
  return std::make_unique<TQRLineFormatter>(format, std::move(measure), std::move(sources));
}

std::vector<std::string> TQRCustomLabel::FormatLines(double width, bool designing, size_t maxLines) const {
  std::vector<std::string> lines;
  const std::unique_ptr<TQRLineFormatter> formatter = LineFormatter(width, designing);
  std::string line;
  while (lines.size() < maxLines && formatter->Next(line)) lines.push_back(std::move(line));
  return lines;
}

double TQRCustomLabel::FrameInset() const { return Round(FFrame->Width() / 72.0 * 254); }

double TQRCustomLabel::FrameSideNative() const {
  const int32_t w = FFrame->Width();
  return w == -1 ? kNativePerPixel : std::max(0, w) / 72.0 * 254;
}

double TQRCustomLabel::AutoWidth(const std::vector<std::string>& lines) const {
  double widest = 0;
  for (const std::string& line : lines) widest = std::max(widest, TextWidthNative(*Font(), line));
  return AutoWidthOf(widest);
}

double TQRCustomLabel::AutoWidthOf(double widest) const {
  if (FFrame->DrawLeft()) widest += FrameSideNative();
  if (FFrame->DrawRight()) widest += FrameSideNative();
  // One pixel more, as the screen measures, so the last glyph is never cut.
  return widest + kNativePerPixel;
}

std::string TQRCustomLabel::LayoutKey(bool designing) const {
  const TFont* f = Font();
  std::string key;
  if (UsesCaption())
    key = FOutputText;
  else if (FLines->Count() > 0)
    key = FLines->Text();
  else if (designing)
    key = "\x01" + Name();
  key += '\x1f' + f->Name() + '\x1f' + std::to_string(f->Height()) + ':' + std::to_string(f->Style().Mask()) + ':' +
         std::to_string(f->PixelsPerInch()) + ':' + std::to_string(f->Pitch()) + '\x1f' + (FAutoSize ? 'A' : 'a') +
         (FWordWrap ? 'W' : 'w') + (UsesCaption() ? 'C' : 'c') + (FFrame->DrawLeft() ? 'L' : 'l') +
         (FFrame->DrawRight() ? 'R' : 'r') + std::to_string(FFrame->Width());
  // Without AutoSize the lines depend on the room (the box shows only the lines its
  // height holds); with it the room follows the lines.
  if (!FAutoSize)
    key += '\x1f' + std::to_string(static_cast<double>(FSize->Native(TQRPrintableSize::szWidth))) + 'x' +
           std::to_string(static_cast<double>(FSize->Native(TQRPrintableSize::szHeight)));
  return key;
}

void TQRCustomLabel::RebuildLines() {
  // While loading, the text and the size are not all read yet: lines are made afterwards.
  if (!Parent() || (HasState(sfLoading) && !LoadFinished())) return;
  const bool designing = HasState(sfDesigning);
  std::string key = LayoutKey(designing);
  if (key != FLayoutKey) {
    // Lines below the box never show: a huge text is not laid out for the design surface.
    FLineHeight = LineHeightNative(*Font()) + kNativePerPixel;
    const double boxHeight = std::max(0.0, static_cast<double>(FSize->Native(TQRPrintableSize::szHeight)));
    const size_t shown = FAutoSize ? SIZE_MAX : static_cast<size_t>(std::min<double>(boxHeight / static_cast<double>(FLineHeight), 1e6)) + 2;
    const std::vector<std::string> lines =
        FormatLines(static_cast<double>(FSize->Native(TQRPrintableSize::szWidth)), designing, shown);
    FLayoutLines->BeginUpdate();
    FLayoutLines->Clear();
    for (const std::string& line : lines) FLayoutLines->Add(line);
    FLayoutLines->EndUpdate();
    FLayoutWidth = FAutoSize ? AutoWidth(lines) : 0;
    FLayoutKey = std::move(key);
  }
  if (FSizingGuard || !FReport) return;
  TFlagScope guard(FSizingGuard);
  // Only what changes is written, so unchanged sizes keep their stored precision.
  const Extended left = FSize->Native(TQRPrintableSize::szLeft);
  const Extended width = FSize->Native(TQRPrintableSize::szWidth);
  const Extended height = FSize->Native(TQRPrintableSize::szHeight);
  const Extended lineHeight = FLineHeight;
  Extended newLeft = left, newWidth = width, newHeight = height;
  if (UsesCaption() && newHeight < lineHeight) newHeight = lineHeight;
  if (FAutoSize) {
    const Extended natural = FLayoutWidth;
    if (natural != width) {
      if (DrawAlignment() == taRightJustify)
        newLeft = left + width - natural;
      else if (DrawAlignment() == taCenter)
        newLeft = left + (width - natural) / 2;
      newWidth = natural;
    }
    if (FLayoutLines->Count() == 0 && designing) newHeight = lineHeight;
    if (newHeight < lineHeight) newHeight = lineHeight;
  }
  if (newLeft == left && newWidth == width && newHeight == height) return;
  FSize->SetNative(TQRPrintableSize::szLeft, newLeft);
  FSize->SetNative(TQRPrintableSize::szWidth, newWidth);
  FSize->SetNative(TQRPrintableSize::szHeight, newHeight);
  FSize->ApplyToParent();
}

void TQRCustomLabel::SetBounds(int32_t left, int32_t top, int32_t width, int32_t height) {
  // A size set by the user or the designer is fitted to the text again at once.
  const bool fromUser = !FSize->ParentUpdating() && !(HasState(sfLoading) && !LoadFinished());
  TQRPrintable::SetBounds(left, top, width, height);
  if (fromUser) RebuildLines();
}

void TQRCustomLabel::Paint() {
  TCanvas* canvas = Canvas();
  if (InGeneration() || !canvas) return;
  UseZoomedFont(*canvas, *Font(), FZoom);
  PaintPrintable(*canvas);
  UseZoomedFont(*canvas, *Font(), FZoom);
  PaintText(*canvas, {0, 0, Width(), Height()});
  PaintFrameAndCornerMarks(*canvas);
}

void TQRCustomLabel::PaintText(TCanvas& canvas, const TRect& rect) {
  RebuildLines();
  if (Opaque()) {
    canvas.Brush()->SetStyle(bsSolid);
    canvas.Brush()->SetColor(Color());
    canvas.FillRect(rect);
  }
  int32_t x0 = rect.Left, y0 = rect.Top;
  const int32_t inset = Round(FZoom * (FFrame->Width() / 72.0 * kScreenPixelsPerInch) / 100);
  if (FFrame->DrawTop() && FFrame->Width() > 0) y0 += inset;
  if (FFrame->DrawLeft()) x0 += inset;
  canvas.Brush()->SetStyle(bsClear);
  const int32_t lineHeight = canvas.TextHeight("W");
  const TAlignment alignment = DrawAlignment();
  for (int i = 0; i < FLayoutLines->Count(); ++i) {
    const std::string& line = FLayoutLines->Strings(i);
    if (line.empty()) continue;
    int32_t x = x0;
    if (alignment == taRightJustify)
      x = x0 + rect.Width() - canvas.TextWidth(line);
    else if (alignment == taCenter)
      x = x0 + rect.Width() / 2 - canvas.TextWidth(line) / 2;
    canvas.TextOut(x, y0 + lineHeight * i, line);
  }
}

void TQRCustomLabel::Prepare(TQRPrinter* printer) {
  TQRPrintable::Prepare(printer);
  // The generation reads the control without changing it: the text to print starts as
  // the caption and the lines are formatted as each print needs them.
  FOutputText = FCaption;
  FNextLineIndex = 0;
}

void TQRCustomLabel::Unprepare() {
  FOutputText = FCaption;
  FNextLineIndex = 0;
  FPrintFormatter.reset();
  FLayoutKey.clear();
  TQRPrintable::Unprepare();
}

bool TQRCustomLabel::ExportItem(TQRExportItem& item) const {
  item.Text = FPrintedText;
  if (FPrintedValue.Type == TVariant::varEmpty) {
    item.Value.Type = TVariant::varString;
    item.Value.Text = FPrintedText;
  } else {
    item.Value = FPrintedValue;
  }
  return true;
}

void TQRCustomLabel::PrintAt(double offsetX, double offsetY) {
  if (!IsPrintable() || !FPrinter || !FPrinter->PageCanvas()) return;
  TCanvas& canvas = *FPrinter->PageCanvas();
  const std::string savedText = FOutputText;
  try {
    PrintLines(canvas, offsetX, offsetY);
  } catch (...) {
    FOutputText = savedText;
    canvas.ClearClipRect();
    throw;
  }
  FOutputText = savedText;
  canvas.ClearClipRect();
}

double TQRCustomLabel::MeasureHeight() {
  const double height = TQRPrintable::MeasureHeight();
  // Mid-print the text already read is what prints on; only a fresh print is measured.
  if (!FAutoStretch || !IsPrintable() || !AllPrinted()) return height;
  const std::string savedText = FOutputText;
  const std::vector<std::string>* savedLines = FPrintLines;
  struct TRestore {
    TQRCustomLabel& Label;
    const std::string& Text;
    const std::vector<std::string>* Lines;
    ~TRestore() {
      Label.FOutputText = Text;
      Label.FPrintLines = Lines;
    }
  } restore{*this, savedText, savedLines};
  FPrintLines = ReadRecord();
  const double lineHeight = LineHeightNative(*Font());
  if (!(lineHeight > 0)) return height;
  // As a print places them: whole lines in the box (and the pixel below it), then one
  // line of growth each; counting stops past a page, which no band can take anyway.
  const auto inBox = static_cast<int64_t>(std::floor((height + 1) / lineHeight));
  const double page = FReport ? FReport->PageBottom() : height;
  const int64_t most = inBox + static_cast<int64_t>(std::ceil(page / lineHeight)) + 1;
  const std::unique_ptr<TQRLineFormatter> lines = LineFormatter(PrintedBox(0, 0).Width, false);
  std::string line;
  int64_t count = 0;
  while (count < most && lines->Next(line)) ++count;
  return height + static_cast<double>(std::max<int64_t>(0, count - inBox)) * lineHeight;
}

void TQRCustomLabel::UseFont(TCanvas& canvas) const {
  canvas.SetFont(Font());
  const TQRHighlight* rule = FReport ? FReport->ActiveHighlight(this) : nullptr;
  if (!rule) return;
  if (rule->FontColor() != clNone) canvas.Font()->SetColor(rule->FontColor());
  if (!rule->FontStyle().Empty()) canvas.Font()->SetStyle(rule->FontStyle());
}

void TQRCustomLabel::PrintLines(TCanvas& canvas, double offsetX, double offsetY) {
  const bool finalPass = FinalPass();
  UseFont(canvas);
  const TNativeBox box = PrintedBox(offsetX, offsetY);
  double left = box.Left, top = box.Top;
  const double boxWidth = box.Width, height = box.Height;
  const double vertScale = FPrinter->VertScale() > 0 ? FPrinter->VertScale() : 1;
  double lineHeight = canvas.TextHeight("W") / vertScale;
  if (!FOutputText.empty() && OnPrint) {
    std::string value = FOutputText;
    OnPrint(this, value);
    UseFont(canvas);
    lineHeight = canvas.TextHeight("W") / vertScale;
    FOutputText = value;
  }
  // A fresh print formats its text as the lines are placed; a print continued in the
  // next column or page goes on with the same lines. A handler may give another text
  // each time: then the lines are made again and those already printed are passed over.
  const bool handlerText = !FOutputText.empty() && OnPrint;
  if (FAllPrinted || !FPrintFormatter || handlerText) {
    if (FAllPrinted) FNextLineIndex = 0;
    // Generated pages never show a control's name for an empty text.
    FPrintFormatter = LineFormatter(boxWidth, false);
    for (int32_t i = 0; i < FNextLineIndex && FPrintFormatter->Peek(); ++i) FPrintFormatter->Pop();
    if (UsesCaption() && !FPrintLines) {
      FPrintedText = FOutputText;
    } else {
      const std::vector<std::string>& source = FPrintLines ? *FPrintLines : FLines->Lines();
      FPrintedText.clear();
      for (size_t i = 0; i < source.size(); ++i) {
        if (i) FPrintedText += '\n';
        FPrintedText += source[i];
      }
    }
    // With AutoSize the lines are the source texts as they are, each measured once.
    if (FAutoSize) {
      double widest = 0;
      const std::unique_ptr<TQRLineFormatter> all = LineFormatter(boxWidth, false);
      std::string line;
      while (all->Next(line)) widest = std::max(widest, TextWidthNative(*Font(), line));
      FPrintWidth = AutoWidthOf(widest);
    }
  }
  // With AutoSize the box is the text's, kept where the design surface shows it.
  double width = boxWidth;
  if (FAutoSize) {
    width = FPrintWidth;
    if (DrawAlignment() == taRightJustify)
      left += boxWidth - width;
    else if (DrawAlignment() == taCenter)
      left += (boxWidth - width) / 2;
  }
  // Measuring first: where this print splits, and the growth it claims.
  const double linesTop = FFrame->DrawTop() ? top + FrameInset() : top;
  TQRCustomBand* band = ParentBand();
  const TTextSplit split = MeasureSplit(band, linesTop, height, lineHeight);
  // Not a line or two alone at a page's end: the text starts on the next page.
  if (FMinLines > 1 && FAutoStretch && FNextLineIndex == 0 && FReport && !FReport->ForceLine() && split.Rest &&
      split.Lines > 0 && split.Lines < FMinLines) {
    FAllPrinted = false;
    return;
  }
  if (band) band->Growth = split.BandGrowth;
  // Then drawing, which an export pass leaves out: it only takes the lines placed here.
  if (finalPass)
    DrawLines(canvas, {left, top, width, height}, linesTop, lineHeight, split);
  else
    for (int64_t i = 0; i < split.Lines; ++i) FPrintFormatter->Pop();
  FNextLineIndex += static_cast<int32_t>(split.Lines);
  FAllPrinted = !split.Rest;
  if (FAllPrinted) FPrintFormatter.reset();
}

TQRCustomLabel::TTextSplit TQRCustomLabel::MeasureSplit(const TQRCustomBand* band, double top, double height,
                                                         double lineHeight) {
  TTextSplit split;
  if (band) split.BandGrowth = band->Growth;
  // A band carried over to a fresh column places a line there whatever its room.
  const bool force = FReport && FReport->ForceLine();
  double limit = top + height + 1;
  bool claimed = false;
  for (double y = top; FPrintFormatter->Peek(static_cast<size_t>(split.Lines)); y += lineHeight, ++split.Lines) {
    if (y + lineHeight <= limit) continue;
    if (FAutoStretch && band) {
      band->NextGrowth(lineHeight, split.BandGrowth, split.Growth, claimed);
      limit = top + height + 1 + split.Growth;
    }
    if (y + lineHeight > limit && !(force && split.Lines == 0)) {
      split.Rest = FAutoStretch;
      break;
    }
  }
  return split;
}

void TQRCustomLabel::DrawLines(TCanvas& canvas, const TNativeBox& box, double linesTop, double lineHeight,
                               const TTextSplit& split) {
  const auto [frameLeft, frameTop, width, height] = box;
  PrintBackground(canvas, frameLeft, frameTop, width, height);
  if (Opaque() && split.Growth > 0) {
    const TQRHighlight* rule = FReport ? FReport->ActiveHighlight(this) : nullptr;
    canvas.Brush()->SetStyle(bsSolid);
    canvas.Brush()->SetColor(rule && rule->Color() != clNone ? rule->Color() : Color());
    canvas.FillRect(DeviceRect(frameLeft, frameTop + height, width, split.Growth));
  }
  canvas.Brush()->SetStyle(bsClear);
  const double left = FFrame->DrawLeft() ? frameLeft + FrameInset() : frameLeft;
  const TAlignment alignment = DrawAlignment();
  const double anchor = alignment == taRightJustify ? left + width : alignment == taCenter ? left + width / 2 : left;
  double y = linesTop;
  for (int64_t i = 0; i < split.Lines; ++i, y += lineHeight) {
    const std::string& line = *FPrintFormatter->Peek();
    if (!line.empty()) {
      const int32_t x = FPrinter->XToDevice(anchor), top = FPrinter->YToDevice(y);
      // Only a line with the page count keeps its anchor in the recording (its width
      // changes once the count is known); the others are placed here.
      if (line.find(kPageCountMark) != std::string::npos)
        canvas.AnchoredTextOut(x, top, line, alignment);
      else
        canvas.TCanvas::AnchoredTextOut(x, top, line, alignment);
    }
    FPrintFormatter->Pop();
  }
  if (split.Lines > 0 && FReport && !FHyperlink.empty()) {
    TPageAnnotation link;
    link.Kind = TPageAnnotation::akLink;
    link.Text = FReport->HyperlinkTarget(this);
    link.Rect = DeviceRect(frameLeft, frameTop, width, y - frameTop);
    if (!link.Text.empty()) canvas.Annotate(link);
  }
  if (FFrame->HasAnySide())
    FFrame->DrawFrameLines(canvas, DeviceRect(frameLeft, frameTop, width, height + split.Growth),
                           FPrinter->HorzScale(), FPrinter->VertScale());
}

// ---------------------------------------------------------------------------
// Labels and memos publish the same text properties; only Caption and Lines differ.

namespace {
template <class C>
void PublishTextProperties(TClassBuilder<C>& c) {
  c.Property("Alignment", &C::Alignment, &C::SetAlignment);
  c.Property("AlignToBand", &C::AlignToBand, &C::SetAlignToBand);
  c.Property("AutoSize", &C::AutoSize, &C::SetAutoSize);
  c.Property("AutoStretch", &C::AutoStretch, &C::SetAutoStretch);
  c.Property("BiDiMode", &C::BiDiMode, &C::SetBiDiMode);
  c.Property("Color", &C::Color, &C::SetColor);
  c.Property("Font", &C::Font, &C::SetFont).Stored(&C::FontStored);
  c.Property("OnPrint", &C::OnPrint, &C::OnPrint);
  c.Property("ParentBiDiMode", &C::ParentBiDiMode, &C::SetParentBiDiMode).Default(true);
  c.Property("ParentFont", &C::ParentFont, &C::SetParentFont).Default(true);
  c.Property("Transparent", &C::Transparent, &C::SetTransparent);
  c.Property("WordWrap", &C::WordWrap, &C::SetWordWrap);
}
}  // namespace

bool TQRCustomLabel::FontStored() const { return !ParentFont(); }

RPT_BEGIN_CLASS(TQRLabel, TQRCustomLabel)
  PublishTextProperties(c);
  c.Property("Caption", &TQRLabel::Caption, &TQRLabel::SetCaption).Type(CaptionTypeInfo());
  c.Property("Hyperlink", &TQRLabel::Hyperlink, &TQRLabel::SetHyperlink);
RPT_END_CLASS

RPT_BEGIN_CLASS(TQRMemo, TQRCustomLabel)
  PublishTextProperties(c);
  c.Property("Lines", &TQRMemo::Lines, &TQRMemo::SetLines);
  c.Property("MinLines", &TQRMemo::MinLines, &TQRMemo::SetMinLines).Default(1);
RPT_END_CLASS

// A memo inserted with a click (no dragged size) has room for a few lines.
TQRMemo::TQRMemo() {
  FAutoSize = false;
  SetBounds(Left(), Top(), 150, 50);
}

// ---------------------------------------------------------------------------
// TQRShape

RPT_BEGIN_CLASS(TQRShape, TQRPrintable)
  c.Property("Brush", &TQRShape::Brush, &TQRShape::SetBrush);
  c.Republish("Height").Default(65);
  c.Property("Pen", &TQRShape::Pen, &TQRShape::SetPen);
  c.Property("Shape", &TQRShape::Shape, &TQRShape::SetShape);
  c.Republish("Width").Default(65);
RPT_END_CLASS

TQRShape::TQRShape() : FPen(std::make_unique<TPen>()), FBrush(std::make_unique<TBrush>()) {
  FPen->OnChange = [this](TObject*) { Invalidate(); };
  FBrush->OnChange = [this](TObject*) { Invalidate(); };
  SetBounds(Left(), Top(), 65, 65);
}

TQRShape::~TQRShape() = default;

void TQRShape::SetShape(TQRShapeType value) {
  if (value == FShape) return;
  FShape = value;
  Invalidate();
}

void TQRShape::Paint() {
  TCanvas* canvas = Canvas();
  if (InGeneration() || !canvas) return;
  PaintPrintable(*canvas);
  canvas->SetPen(FPen.get());
  canvas->SetBrush(FBrush.get());
  const int32_t w = Width(), h = Height();
  auto line = [canvas](int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    canvas->MoveTo(x1, y1);
    canvas->LineTo(x2, y2);
  };
  switch (FShape) {
    case qrsRectangle: canvas->Rectangle(0, 0, w, h); break;
    case qrsCircle: canvas->Ellipse(0, 0, w, h); break;
    case qrsVertLine: line(w / 2, 0, w / 2, h); break;
    case qrsHorLine: line(0, h / 2, w, h / 2); break;
    case qrsTopAndBottom:
      line(0, 0, w, 0);
      line(0, h - 1, w, h - 1);
      break;
    case qrsRightAndLeft:
      line(0, 0, 0, h);
      line(w - 1, 0, w - 1, h);
      break;
  }
  PaintFrameAndCornerMarks(*canvas);
}

void TQRShape::PrintAt(double offsetX, double offsetY) {
  if (!FinalPass() || !IsPrintable() || !FPrinter || !FPrinter->PageCanvas()) return;
  TCanvas& canvas = *FPrinter->PageCanvas();
  canvas.SetBrush(FBrush.get());
  canvas.SetPen(FPen.get());
  const auto [l, t, w, h] = PrintedBox(offsetX, offsetY);
  auto x = [this](double v) { return FPrinter->XToDevice(v); };
  auto y = [this](double v) { return FPrinter->YToDevice(v); };
  auto line = [&canvas](int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    canvas.MoveTo(x1, y1);
    canvas.LineTo(x2, y2);
  };
  switch (FShape) {
    case qrsRectangle: canvas.Rectangle(x(l), y(t), x(l + w), y(t + h)); break;
    case qrsCircle: canvas.Ellipse(x(l), y(t), x(l + w), y(t + h)); break;
    case qrsVertLine: line(x(l + w / 2), y(t), x(l + w / 2), y(t + h)); break;
    case qrsHorLine: line(x(l), y(t + h / 2), x(l + w), y(t + h / 2)); break;
    case qrsTopAndBottom:
      line(x(l), y(t), x(l + w), y(t));
      line(x(l), y(t + h), x(l + w), y(t + h));
      break;
    case qrsRightAndLeft:
      line(x(l), y(t), x(l), y(t + h));
      line(x(l + w), y(t), x(l + w), y(t + h));
      break;
  }
}

}  // namespace rpt
