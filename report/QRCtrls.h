#pragma once
// Printable controls: elements placed on bands (or on the report itself) that know
// their size in native units, paint a design-time picture of themselves and print onto
// the report printer's page canvas. Text printables (labels, memos) format their text
// into lines; shapes draw rectangles, ellipses and rules.
#include <atomic>
#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "objects/Collection.h"
#include "report/QRTextLayout.h"
#include "report/QuickRpt.h"

namespace rpt {

class TQRPrintable;

// A printable's Size: left, top, width and height in the report's unit.
// One rule of an element's Highlights: while Condition gives True the element prints in
// the rule's style. clNone colours and an empty style keep the element's own; Visible
// False leaves the element out of that print.
class TQRHighlight : public TCollectionItem {
  RPT_CLASS(TQRHighlight, TCollectionItem)
  TQRHighlight() = default;
  const std::string& Condition() const { return FCondition; }
  void SetCondition(const std::string& value) { FCondition = value; }
  TColor FontColor() const { return FFontColor; }
  void SetFontColor(TColor value) { FFontColor = value; }
  TFontStyles FontStyle() const { return FFontStyle; }
  void SetFontStyle(TFontStyles value) { FFontStyle = value; }
  TColor Color() const { return FColor; }
  void SetColor(TColor value) { FColor = value; }
  bool Visible() const { return FVisible; }
  void SetVisible(bool value) { FVisible = value; }
  void AssignFrom(const TPersistent* source) override;

 private:
  std::string FCondition;
  TColor FFontColor = clNone;
  TFontStyles FFontStyle;
  TColor FColor = clNone;
  bool FVisible = true;
};

// The rules in order: the first whose condition holds wins.
class TQRHighlights : public TCollection {
  RPT_CLASS(TQRHighlights, TCollection)
  TQRHighlights();
  TQRHighlight* Rule(int index) const { return static_cast<TQRHighlight*>(Items(index)); }
  TQRHighlight* AddRule() { return static_cast<TQRHighlight*>(Add()); }
  std::string EditorNote() const override {
    return "For each print the first rule whose condition holds gives the element its style.";
  }
};

class TQRPrintableSize : public TQRUnitBase {
  RPT_CLASS(TQRPrintableSize, TQRUnitBase)
  TQRPrintableSize() = default;
  explicit TQRPrintableSize(TQRPrintable* control) : FControl(control) {}

  enum TIndex : int32_t { szHeight, szLeft, szTop, szWidth };
  Extended GetValue(int32_t index) const;
  void SetValue(int32_t index, Extended value);
  Extended Native(int32_t index) const { return index >= 0 && index < 4 ? FValues[index] : 0; }
  void SetNative(int32_t index, Extended value) {
    if (index >= 0 && index < 4) FValues[index] = value;
  }
  Extended Height() const { return GetValue(szHeight); }
  void SetHeight(Extended value) { SetValue(szHeight, value); }
  Extended Left() const { return GetValue(szLeft); }
  void SetLeft(Extended value) { SetValue(szLeft, value); }
  Extended Top() const { return GetValue(szTop); }
  void SetTop(Extended value) { SetValue(szTop, value); }
  Extended Width() const { return GetValue(szWidth); }
  void SetWidth(Extended value) { SetValue(szWidth, value); }
  static bool Horizontal(int32_t index) { return index == szLeft || index == szWidth; }

  bool ValuesWereRead() const { return FValuesRead; }
  void ApplyToParent() override;
  void AssignFrom(const TPersistent* source) override;

 protected:
  int ValueCount() const override { return 4; }
  Extended* ValueSlots() override { return FValues; }
  void ValuesRead() override { FValuesRead = true; }
  const char* LengthName(int index) const override {
    return index == szHeight ? "height" : index == szWidth ? "width" : nullptr;
  }

 private:
  TQRPrintable* FControl = nullptr;
  Extended FValues[4] = {20, 20, 20, 20};
  bool FValuesRead = false;
};

class TQRPrintable : public TCustomControl {
  RPT_CLASS(TQRPrintable, TCustomControl)
  TQRPrintable();
  ~TQRPrintable() override;

  TQRPrintableSize* Size() const { return FSize.get(); }
  void SetSize(TQRPrintableSize* value);
  TQRFrame* Frame() const { return FFrame.get(); }
  void SetFrame(TQRFrame* value) { FFrame->AssignFrom(value); }
  // The control prints (its own flag: a disabled element is still designed like others).
  bool Enabled() const { return FPrintEnabled; }
  void SetEnabled(bool value) override;
  // An expression; when it gives False the control is left out of that print. Empty: always.
  const std::string& PrintIf() const { return FPrintIf; }
  void SetPrintIf(const std::string& value) { FPrintIf = value; }
  TQRHighlights* Highlights() const { return FHighlights.get(); }
  void SetHighlights(TQRHighlights* value) { FHighlights->AssignFrom(value); }
  bool HighlightsStored() const { return FHighlights->Count() > 0; }
  TAlignment Alignment() const { return FAlignment; }
  virtual void SetAlignment(TAlignment value);
  bool AlignToBand() const { return FAlignToBand; }
  void SetAlignToBand(bool value);
  bool Transparent() const { return !Opaque(); }
  void SetTransparent(bool value);
  TCustomQuickRep* ParentReport() const { return FReport; }
  int32_t Zoom() const { return FZoom; }
  virtual void SetZoom(int32_t value);
  void SetUnits(TQRUnit value);

  virtual bool IsPrintable() const { return FPrintEnabled; }
  virtual void AlignToBandNow();
  // Around a generation: InGeneration and the printer to draw on.
  virtual void Prepare(TQRPrinter* printer);
  virtual void Unprepare();
  // Prints at the band's position (native units).
  virtual void PrintAt(double offsetX, double offsetY);
  // How tall a fresh print of the current record would be (native units), found
  // without drawing or changing what prints: the designed height unless it stretches.
  virtual double MeasureHeight();
  virtual void ReceiveNotice(TObject* sender, TQRNotifyOperation operation);
  // What the last print showed, for an export pass; false for controls that print no text.
  virtual bool ExportItem(TQRExportItem& item) const;
  bool AllPrinted() const { return FAllPrinted; }
  bool LoadFinished() const { return FLoadFinished; }
  bool InGeneration() const { return FInGeneration; }
  TQRPrinter* Printer() const { return FPrinter; }
  // The band that prints this control, or none (on the report itself).
  TQRCustomBand* ParentBand() const;
  // Drawing happens in every pass but an export pass.
  bool FinalPass() const { return !FReport || FReport->OutputPass(); }

  // The report the control belongs to (through its band); sizes follow its zoom.
  void TakeReport(TCustomQuickRep* report);

  void SetParent(TWinControl* parent) override;
  void SetBounds(int32_t left, int32_t top, int32_t width, int32_t height) override;
  void AfterLoad() override;
  // Applies the loaded size (the report does this for everything on it before it lays
  // out its bands); later calls do nothing.
  virtual void FinishLoading();

 protected:
  // The design-time picture: background, corner marks and frame.
  void Paint() override;
  void PaintBackground() override {}
  // The background; the frame and corner marks go on top of the content, so a
  // coloured label or a picture never hides its frame.
  void PaintPrintable(TCanvas& canvas);
  void PaintFrameAndCornerMarks(TCanvas& canvas) const;
  void DrawCornerMarks(TCanvas& canvas) const;
  // The frame around a box of native coordinates on the page (final pass only).
  void PrintFrame(double left, double top, double width, double height);
  // The device rectangle of native coordinates on the printer.
  TRect DeviceRect(double left, double top, double width, double height) const;
  // The control's box on the page in native coordinates, moved by its band's offset.
  struct TNativeBox {
    double Left, Top, Width, Height;
  };
  TNativeBox PrintedBox(double offsetX, double offsetY) const;
  // An opaque control's colour under the box (final pass only).
  void PrintBackground(TCanvas& canvas, double left, double top, double width, double height);

  std::unique_ptr<TQRPrintableSize> FSize;
  std::unique_ptr<TQRFrame> FFrame;
  std::unique_ptr<TQRHighlights> FHighlights;
  TCustomQuickRep* FReport = nullptr;
  TQRPrinter* FPrinter = nullptr;
  TAlignment FAlignment = taLeftJustify;
  bool FAlignToBand = false;
  bool FAlignGuard = false;
  bool FPrintEnabled = true;
  std::string FPrintIf;
  bool FAllPrinted = true;
  // Read by the design surface's paint while a preview's pass sets it on its thread.
  std::atomic<bool> FInGeneration{false};
  int32_t FZoom = 100;

 private:
  friend class TQRPrintableSize;
  bool FLoadFinished = false;
  // Pixel bounds given before the control had a report: converted at the report's zoom.
  bool FPixelBoundsPending = false;
  std::optional<int32_t> FStreamedBounds[4];  // left, top, width, height read while loading
};

RPT_EVENT_TYPE(TQRLabelOnPrintEvent, void(TObject*, std::string&))

// The base of every text printable.
class TQRCustomLabel : public TQRPrintable {
  RPT_CLASS(TQRCustomLabel, TQRPrintable)
  TQRCustomLabel();
  ~TQRCustomLabel() override;

  const std::string& Caption() const { return FCaption; }
  void SetCaption(const std::string& value);
  // An expression giving where the printed text leads: a web or mail address, or
  // "#title" of a bookmark of the report. Empty: nowhere.
  const std::string& Hyperlink() const { return FHyperlink; }
  void SetHyperlink(const std::string& value) { FHyperlink = value; }
  TStringList* Lines() const { return FLines.get(); }
  void SetLines(TStringList* value);
  const TStringList* LayoutLines() const { return FLayoutLines.get(); }
  const std::string& OutputText() const { return FOutputText; }
  void SetOutputText(const std::string& value);
  bool AutoSize() const { return FAutoSize; }
  void SetAutoSize(bool value);
  bool AutoStretch() const { return FAutoStretch; }
  void SetAutoStretch(bool value);
  // A stretching text that starts so near a page's end that fewer than this many of its
  // lines would print there starts on the next page instead (unless all of it fits).
  int32_t MinLines() const { return FMinLines; }
  void SetMinLines(int32_t value) { FMinLines = std::clamp(value, 1, 1000); }
  bool WordWrap() const { return FWordWrap; }
  void SetWordWrap(bool value);
  TBiDiMode BiDiMode() const { return FBiDiMode; }
  void SetBiDiMode(TBiDiMode value);
  bool ParentBiDiMode() const { return FParentBiDiMode; }
  void SetParentBiDiMode(bool value) { FParentBiDiMode = value; }
  // Right-to-left reading flips left and right alignment.
  virtual TAlignment DrawAlignment() const;
  void SetAlignment(TAlignment value) override;
  int32_t NextLineIndex() const { return FNextLineIndex; }

  TQRLabelOnPrintEvent OnPrint;
  // Font is stored only when the control does not take its band's.
  bool FontStored() const;

  virtual bool UsesCaption() const { return true; }
  // Formats the text into LayoutLines and, with AutoSize, fits the size to it.
  virtual void RebuildLines();

  void Prepare(TQRPrinter* printer) override;
  // The text goes back to the caption; the lines follow at the next RebuildLines (the
  // pass may end on its own thread, where nothing is laid out or painted).
  void Unprepare() override;
  void PrintAt(double offsetX, double offsetY) override;
  // A stretching text counts the lines it would print past its box.
  double MeasureHeight() override;
  bool ExportItem(TQRExportItem& item) const override;
  void SetParent(TWinControl* parent) override;
  void SetBounds(int32_t left, int32_t top, int32_t width, int32_t height) override;
  void DefineProperties(TFiler& filer) override;
  void FinishLoading() override;

 protected:
  void Paint() override;
  void PaintText(TCanvas& canvas, const TRect& rect);
  void FontChanged() override;
  void Renamed(const std::string& oldName) override;
  // The lines of the current text at a width (native), without touching the control,
  // formatted as they are asked for.
  std::unique_ptr<TQRLineFormatter> LineFormatter(double width, bool designing) const;
  // At most maxLines of them.
  std::vector<std::string> FormatLines(double width, bool designing, size_t maxLines = SIZE_MAX) const;
  // Lines as the design surface shows them (the name of an empty memo included).
  bool ShowsPlaceholder() const;
  // The natural width of formatted lines (+ frame sides and one pixel), native units.
  double AutoWidth(const std::vector<std::string>& lines) const;
  double AutoWidthOf(double widest) const;
  double FrameSideNative() const;
  // How far the lines keep from a frame's top and left sides, native units.
  double FrameInset() const;
  // Everything the formatted lines depend on.
  std::string LayoutKey(bool designing) const;
  void PrintLines(TCanvas& canvas, double offsetX, double offsetY);
  // Reads what prints for the current record into FOutputText and returns the lines
  // that print in place of Lines (none: the text or Lines). A fresh print and a
  // measurement both read through here.
  virtual const std::vector<std::string>* ReadRecord() { return nullptr; }

  std::string FCaption;
  std::string FHyperlink;
  std::unique_ptr<TStringList> FLines;
  std::unique_ptr<TStringList> FLayoutLines;
  std::string FOutputText;
  bool FAutoSize = true;
  bool FAutoStretch = false;
  int32_t FMinLines = 1;
  // Where a print of the lines still to come splits: how many go in the box (its lines
  // from top, height tall) and the growth the band can give it here, and whether some
  // are left for the next column or page. Found without drawing or claiming anything.
  struct TTextSplit {
    int64_t Lines = 0;
    double Growth = 0;      // the box's
    double BandGrowth = 0;  // the band's, with this box's claimed
    bool Rest = false;
  };
  TTextSplit MeasureSplit(const TQRCustomBand* band, double top, double height, double lineHeight);
  // Draws what a split places: background, the box's growth, lines, link and frame.
  void DrawLines(TCanvas& canvas, const TNativeBox& box, double linesTop, double lineHeight, const TTextSplit& split);
  // The element's font on the canvas, with the colour and style of the Highlights rule in force.
  void UseFont(TCanvas& canvas) const;
  bool FWordWrap = true;
  bool FSizingGuard = false;
  TBiDiMode FBiDiMode = bdLeftToRight;
  bool FParentBiDiMode = true;
  int32_t FNextLineIndex = 0;
  int32_t FStreamedFontSize = 0;
  // What the layout lines were made from; a paint re-formats only when it changed.
  // While a print runs: lines that print in place of Lines (a memo field's text, a
  // merged template), so printing leaves the designed control as it was.
  const std::vector<std::string>* FPrintLines = nullptr;
  // The last print's text and typed value (empty: the text is the value), for exports.
  std::string FPrintedText;
  TVariant FPrintedValue;
  std::string FLayoutKey;
  // The print's lines, kept while the control continues in the next column or page.
  std::unique_ptr<TQRLineFormatter> FPrintFormatter;
  double FPrintWidth = 0;  // with AutoSize: the printed lines' box width
  Extended FLayoutWidth = 0;  // AutoSize: the natural width of the layout lines
  Extended FLineHeight = 0;   // one line and a pixel, native units
};

class TQRLabel : public TQRCustomLabel {
  RPT_CLASS(TQRLabel, TQRCustomLabel)
  TQRLabel() = default;
};

// Text from Lines; a new memo wraps its lines (AutoSize off).
class TQRMemo : public TQRCustomLabel {
  RPT_CLASS(TQRMemo, TQRCustomLabel)
  TQRMemo();
  bool UsesCaption() const override { return false; }
};

// ---------------------------------------------------------------------------
enum TQRShapeType : uint8_t { qrsRectangle, qrsCircle, qrsVertLine, qrsHorLine, qrsTopAndBottom, qrsRightAndLeft };
RPT_ENUM_TYPE(TQRShapeType, "qrsRectangle", "qrsCircle", "qrsVertLine", "qrsHorLine", "qrsTopAndBottom",
              "qrsRightAndLeft")

class TQRShape : public TQRPrintable {
  RPT_CLASS(TQRShape, TQRPrintable)
  TQRShape();
  ~TQRShape() override;

  TQRShapeType Shape() const { return FShape; }
  void SetShape(TQRShapeType value);
  TPen* Pen() const { return FPen.get(); }
  void SetPen(TPen* value) { FPen->AssignFrom(value); }
  TBrush* Brush() const { return FBrush.get(); }
  void SetBrush(TBrush* value) { FBrush->AssignFrom(value); }

  void PrintAt(double offsetX, double offsetY) override;

 protected:
  void Paint() override;

 private:
  TQRShapeType FShape = qrsRectangle;
  std::unique_ptr<TPen> FPen;
  std::unique_ptr<TBrush> FBrush;
};

// Registers every report class and the dataset classes for streaming (once; later
// calls do nothing).
void RegisterReportClasses();

}  // namespace rpt
