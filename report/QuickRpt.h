#pragma once
// The report component and its bands. A report is a white panel the size of one page at
// the chosen zoom; it owns the page, the printer settings and its expression
// environment, keeps its bands in print order and stacks them on the design surface.
// Bands are horizontal strips printed as units (title, headers, details, groups,
// sub-details, footers, summary, children); printable controls (QRCtrls.h) sit on them.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <string>
#include <vector>

#include "expr/QRExpr.h"
#include "framework/Controls.h"
#include "objects/StringList.h"
#include "output/QRExport.h"
#include "output/QRPrnSu.h"
#include "report/QRParams.h"
#include "report/QRPass.h"
#include "report/QRUnits.h"

namespace rpt {

class TDataSet;
class TQRPrinter;
class TQRPrintable;
class TQRCustomLabel;
class TQRHighlight;
class TQRCustomBand;
class TQRBand;
class TQRGroup;
class TQRControllerBand;
class TQRCustomController;
class TQRController;
class TCustomQuickRep;

// ---------------------------------------------------------------------------
enum TQRBandType : uint8_t {
  rbTitle, rbPageHeader, rbDetail, rbPageFooter, rbSummary, rbGroupHeader, rbGroupFooter, rbSubDetail,
  rbColumnHeader, rbOverlay, rbChild
};
RPT_ENUM_TYPE(TQRBandType, "rbTitle", "rbPageHeader", "rbDetail", "rbPageFooter", "rbSummary", "rbGroupHeader",
              "rbGroupFooter", "rbSubDetail", "rbColumnHeader", "rbOverlay", "rbChild")

// The caption a band shows on the design surface ("Page Header") and the base of the
// names given to new bands ("PageHeaderBand").
const std::string& BandCaption(TQRBandType type);
const std::string& BandBaseName(TQRBandType type);

enum TOstrelOption : uint8_t { FirstPageHeader, LastPageFooter, Compression };
RPT_ENUM_TYPE(TOstrelOption, "FirstPageHeader", "LastPageFooter", "Compression")
using TOstrelOptions = TSet<TOstrelOption>;

// What a controller or band tells the printables registered with it.
enum TQRNotifyOperation : uint8_t { qrnDataAdvance = 0, qrnBandResized = 2 };

RPT_EVENT_TYPE(TQRAfterPreviewEvent, void(TObject*))
RPT_EVENT_TYPE(TQRAfterPrintEvent, void(TObject*))
RPT_EVENT_TYPE(TQRReportBeforePrintEvent, void(TCustomQuickRep*, bool&))
RPT_EVENT_TYPE(TQRNotifyEvent, void(TCustomQuickRep*))
RPT_EVENT_TYPE(TQROnNeedDataEvent, void(TObject*, bool&))
RPT_EVENT_TYPE(TQRBandBeforePrintEvent, void(TQRCustomBand*, bool&))
RPT_EVENT_TYPE(TQRBandAfterPrintEvent, void(TQRCustomBand*, bool))

// ---------------------------------------------------------------------------
// How the design surface draws rulers, margins and band outlines; one theme for screens
// with more than 256 colours, a plainer one for the others.
struct TQRDesignTheme {
  TPenStyle RulerMinorStyle, RulerMajorStyle;
  TColor RulerMinorColor, RulerMajorColor;
  const char* FontName;
  int32_t FontSize;
  TColor FontColor;
  TPenStyle MarginStyle;
  TColor MarginColor;
  TPenStyle BandOutlineStyle;
  TColor BandOutlineColor;
};
// Chosen once from the screen's colour count (read when first asked).
const TQRDesignTheme& DesignTheme();
// The theme for a screen of that many colours (a negative count: unknown, the rich one).
const TQRDesignTheme& DesignThemeFor(int64_t colours);
void SetDesignTheme(const TQRDesignTheme& theme);

// The paper size of the printer the program prints to, read once per selected printer.
TQRPaperSize CurrentPrinterPaperSize();

// ---------------------------------------------------------------------------
// The base of the report and the bands: a panel with a frame, a zoom and a ruler.
class TQRBasePanel : public TCustomPanel {
  RPT_CLASS(TQRBasePanel, TCustomPanel)
  TQRBasePanel();
  ~TQRBasePanel() override;

  TQRFrame* Frame() const { return FFrame.get(); }
  void SetFrame(TQRFrame* value) { FFrame->AssignFrom(value); }
  int32_t Zoom() const { return FZoom; }
  virtual void SetZoom(int32_t value);
  int32_t RulerFontSize() const { return FRulerFontSize; }

  // The ruler of a unit over the whole panel; labels only on the report.
  void DrawRuler(TCanvas& canvas, TQRUnit unit, bool labels);

 protected:
  std::unique_ptr<TQRFrame> FFrame;
  int32_t FZoom = 100;
  int32_t FRulerFontSize = 12;
};

// ---------------------------------------------------------------------------
// The report's Bands: which of the main band types it has. Not stored; setting one
// creates or frees a band.
class TQuickRepBands : public TPersistent {
  RPT_CLASS(TQuickRepBands, TPersistent)
  TQuickRepBands() = default;
  explicit TQuickRepBands(TCustomQuickRep* report) : FReport(report) {}

  // Index: 1 title, 2 page header, 3 column header, 4 detail, 6 page footer, 7 summary.
  bool HasBand(int32_t index) const;
  void SetHasBand(int32_t index, bool value);
  // The band type of an index (5, the overlay slot, has none).
  static bool TypeOfIndex(int32_t index, TQRBandType& type);

  void AssignFrom(const TPersistent* source) override;

 private:
  TCustomQuickRep* FReport = nullptr;
};

// The print options a report keeps: copies, duplex, page range and paper source.
class TQuickRepPrinterSettings : public TQRPrinterSettings {
  RPT_CLASS(TQuickRepPrinterSettings, TQRPrinterSettings)
  TQuickRepPrinterSettings() = default;
};

// ---------------------------------------------------------------------------
class TCustomQuickRep : public TQRBasePanel, public TQRUnitHost {
  RPT_CLASS(TCustomQuickRep, TQRBasePanel)
  TCustomQuickRep();
  ~TCustomQuickRep() override;

  // Published state.
  TQuickRepBands* Bands() const { return FBands.get(); }
  void SetBands(TQuickRepBands* value) { FBands->AssignFrom(value); }
  TStringList* Description() const { return FDescription.get(); }
  void SetDescription(TStringList* value) { FDescription->AssignFrom(value); }
  TQREvEnvironment* Functions() const { return FFunctions.get(); }
  void SetFunctions(TQREvEnvironment* value) { FFunctions->AssignFrom(value); }
  TOstrelOptions Options() const { return FOptions; }
  void SetOptions(TOstrelOptions value) { FOptions = value; }
  TQRPage* Page() const { return FPage.get(); }
  void SetPage(TQRPage* value) { FPage->AssignFrom(value); }
  // The parameters the user gives values for each run; stored only when there are any,
  // so a report without them streams as before.
  TQRParameters* Parameters() const { return FParameters.get(); }
  void SetParameters(TQRParameters* value) { FParameters->AssignFrom(value); }
  bool ParametersStored() const { return FParameters->Count() > 0; }
  TQuickRepPrinterSettings* PrinterSettings() const { return FPrinterSettings.get(); }
  void SetPrinterSettings(TQuickRepPrinterSettings* value) { FPrinterSettings->AssignFrom(value); }
  virtual bool PrintIfEmpty() const;
  virtual void SetPrintIfEmpty(bool value);
  const std::string& ReportTitle() const { return FReportTitle; }
  void SetReportTitle(const std::string& value) { FReportTitle = value; }
  bool ShowProgress() const { return FShowProgress; }
  void SetShowProgress(bool value) { FShowProgress = value; }
  // Whether a PDF of the report tells screen readers its structure: the title and group
  // headers as headings, detail bands as table rows with a cell per text. It makes long
  // PDFs about twice as slow to write and larger, so it is asked for.
  bool TaggedPdf() const { return FTaggedPdf; }
  void SetTaggedPdf(bool value) { FTaggedPdf = value; }
  bool SnapToGrid() const { return FSnapToGrid; }
  void SetSnapToGrid(bool value) { FSnapToGrid = value; }
  TQRUnit Units() const { return FPage->Units(); }
  void SetUnits(TQRUnit value);
  void SetZoom(int32_t value) override;

  TQRAfterPreviewEvent AfterPreview;
  TQRAfterPrintEvent AfterPrint;
  TQRReportBeforePrintEvent BeforePrint;
  TQRNotifyEvent OnEndPage;
  TQRNotifyEvent OnStartPage;
  TQROnNeedDataEvent OnNeedData;
  TNotifyEvent OnPreview;

  // Bands in print order: every band parented by the report.
  const std::vector<TQRCustomBand*>& BandList() const { return FBandList; }
  void OrderBands();
  void LayoutBands() override;
  TQRCustomBand* NewBandOfType(TQRBandType type);
  void AttachBand(TQRCustomBand* band);
  void DetachBand(TQRCustomBand* band);
  // The first band of a type in the band list, or none.
  TQRCustomBand* FindBand(TQRBandType type) const;
  // Appends a band and its child chain to a new order, once each (OrderBands).
  void AppendBandInOrder(std::vector<TQRCustomBand*>& order, TQRCustomBand* band) const;
  TQRCustomController* Controller() const { return FController.get(); }

  // Text measured as the screen shows it (pixels at 100 %; widths + 1); 0 on failure.
  static int32_t MeasureTextWidth(const TFont& font, std::string_view text);
  static int32_t MeasureTextHeight(const TFont& font, std::string_view text);
  // A design change: repaint once, until the next paint.
  void MarkDesignChanged();
  bool DesignModified() const { return FDesignModified; }

  // Entry points of generation, preview and printing. A preview generates on a thread
  // of its own while the preview window shows the pages as they come; printing and
  // exporting generate on the calling thread. One pass at a time.
  virtual void PreviewReport();
  void StartPreview(bool modal);
  // A pass on the report's thread, as a preview's, onto the report printer it has (made
  // when there is none) with no window: ended runs on that thread once the pass is over.
  // EndGeneration, on the calling thread, waits for it and raises its error.
  void StartGeneration(std::function<void()> ended);
  void EndGeneration();
  virtual void PrintToPrinter();
  // The print dialog over the report's print settings (printer, page range, copies,
  // collation, orientation); true when confirmed, and the settings then hold the
  // choices. Without a registered print dialog nothing runs and the result is false.
  bool PrinterSetup();
  // The print setup of a preview (its printer's OnPrintSetup): once the pass has ended
  // the range offered is the recorded pages.
  void PrintSetupFromPreview(TQRPrinter* printer);
  // One generation pass onto the report printer (made when there is none); raises the
  // pass's error after abandoning the document and restoring the report.
  virtual void GeneratePages();
  virtual void RunMaster();
  virtual void AddPrintNotify(TQRPrintable* printable);
  // An export pass into a filter: nothing is drawn, every printed band is handed over.
  void ExportToFilter(TQRExportFilter& filter);
  // A fresh report printer for a pass; false while a pass runs.
  bool MakePrinter();
  void ApplyPrinterSettings(TQRPrinter& printer) const;
  void CancelGeneration();
  // Problems of the last pass that did not stop it (a barcode text that cannot be
  // encoded), each once; the pass may add them on its own thread.
  void AddGenerationMessage(const std::string& message);
  // Adds a message for each group footer band that no group names.
  void TellUnlinkedGroupFooters();
  std::vector<std::string> GenerationMessages() const;
  // Waits for the preview's generation thread to end (cancelling it first when asked).
  void WaitForGeneration(bool cancel);
  // Joins the thread of a pass that has already ended.
  void JoinEndedPass();
  bool GenerationRunning() const;

  // Generation state (valid while a pass runs).
  bool Idle() const { return FIdle; }
  bool CancelRequested() const { return FCancelRequested; }
  // False only in an export pass: printables draw nothing then.
  bool OutputPass() const { return FOutputPass; }
  void SetOutputPass(bool value) { FOutputPass = value; }
  TQRExportFilter* ExportFilter() const { return FExportFilter; }
  // The report printer of the current run or open preview (owned), or none.
  TQRPrinter* QRPrinter() const { return FQRPrinter.get(); }
  void SetQRPrinter(std::unique_ptr<TQRPrinter> printer);
  std::unique_ptr<TQRPrinter> TakeQRPrinter();
  // Pages begun in the current pass.
  int32_t PagesDone() const { return FPass->PagesDone(); }
  // The values of the next runs, as text by upper-case name (not stored): declared
  // parameters and names the report's SQL uses without declaring them. Each pass
  // resolves them (ResolveParamValues) and fails naming a parameter without a value.
  const TQRParamTexts& ParamTexts() const { return FParamTexts; }
  void SetParamTexts(TQRParamTexts texts) { FParamTexts = std::move(texts); }
  // The ":NAME"s of the report's queries (its dataset and those it owns) that are
  // neither declared parameters nor report functions, in order of first use.
  std::vector<std::string> UndeclaredSqlParams() const;
  // Whether something on the report prints the page count (a system data field of the
  // kind, PAGECOUNT in an expression or a function): its pages are then printed and
  // written only once the pass has made the last.
  bool UsesPageCount() const;
  // Where a control's printed text leads this time (its Hyperlink's text when that is an
  // address a page may carry), or "".
  std::string HyperlinkTarget(const TQRCustomLabel* label) { return FPass->HyperlinkTarget(label); }
  // The Highlights rule an element prints with this time, or none.
  const TQRHighlight* ActiveHighlight(const TQRPrintable* printable) const { return FPass->ActiveHighlight(printable); }

  // The datasets expressions see while a pass runs (empty between passes).
  TDataSetList* RunDataSets() { return &FRunDataSets; }

  // The page and column layout of the running pass (native units, page coordinates);
  // see TQRPass.
  void OutputBand(TQRCustomBand* band, double keepWith = 0) { FPass->OutputBand(band, keepWith); }
  // Room left on the current page above the footer reserve (0 without a pass).
  virtual double RemainingSpace() const { return FPass->RemainingSpace(); }
  double FreshColumnSpace() const { return FPass->FreshColumnSpace(); }
  double MeasureBand(TQRCustomBand* band) { return FPass->MeasureBand(band); }
  void BeginNewPage() { FPass->BeginNewPage(); }
  void FinishPage() { FPass->FinishPage(); }
  void MeasurePageFooter() { FPass->MeasurePageFooter(); }
  void NextColumn() { FPass->NextColumn(); }
  int32_t CursorX() const { return FPass->CursorX(); }
  int32_t CursorY() const { return FPass->CursorY(); }
  int32_t ColumnNo() const { return FPass->ColumnNo(); }
  double FooterReserve() const { return FPass->FooterReserve(); }
  void SetSkipNextForcedPage(bool value) { FPass->SetSkipNextForcedPage(value); }
  bool ForceLine() const { return FPass->ForceLine(); }
  double PageBottom() const { return FPass->PageBottom(); }
  double PassMargin(TQRPageValue index) const { return FPass->PassMargin(index); }

  // TQRUnitHost.
  TControl* HostControl() override { return this; }
  void RepaintHost() override { Invalidate(); }
  void ReapplyUnits() override { SetUnits(Units()); }
  double FontSize() const override { return Font()->Size(); }

  void EnumerateChildren(const TGetChildProc& proc, TComponent* root) override;
  void AfterLoad() override;
  void WndProc(TMessage& message) override;

 protected:
  void Paint() override;
  void PaintBackground() override {}
  void BoundsChanged() override;
  void BeforeDestruction() override;
  // The master controller of this kind of report.
  void SetController(std::unique_ptr<TQRCustomController> controller);

 private:
  friend class TQRCustomBand;
  void PaintMarginBox(TCanvas& canvas);
  void PaintFrameLines(TCanvas& canvas);
  void PaintColumnTicks(TCanvas& canvas);

  std::unique_ptr<TQuickRepBands> FBands;
  std::unique_ptr<TStringList> FDescription;
  std::unique_ptr<TQREvEnvironment> FFunctions;
  std::unique_ptr<TQRPage> FPage;
  std::unique_ptr<TQRParameters> FParameters;
  TQRParamTexts FParamTexts;
  // Functions a pass defined for the parameters, removed when it ends.
  std::vector<std::string> FParamFunctions;
  std::vector<TQREvValue> FParamValues;
  std::unique_ptr<TQuickRepPrinterSettings> FPrinterSettings;
  std::unique_ptr<TQRCustomController> FController;
  std::vector<TQRCustomBand*> FBandList;
  TOstrelOptions FOptions{FirstPageHeader, LastPageFooter};
  std::string FReportTitle;
  bool FShowProgress = true;
  bool FTaggedPdf = false;
  bool FSnapToGrid = true;
  bool FDesignModified = false;
  bool FOrdering = false;
  std::unique_ptr<TQRPrinter> FQRPrinter;

  // Generation: the report prepares a pass, the pass lays the bands out, the report
  // is put back as it was.
  friend class TQRPass;
  void RunPass();
  void ClearCancel();
  void PreparePass();
  void FinishPass(bool failed);
  void DefineParamFunctions();
  void RemoveParamFunctions();
  // Datasets a preview's thread walks: closed on this thread before it starts, opened
  // and closed again on the thread, then reopened here.
  std::vector<TDataSet*> PassDataSets() const;
  void ReopenPassDataSets();
  bool RunPrintDialog(const TQRPrinter* shown);
  void StartThread(bool notify, std::function<void()> ended);

  std::atomic<bool> FIdle{true};
  std::atomic<bool> FCancelRequested{false};
  bool FOutputPass = true;
  TQRExportFilter* FExportFilter = nullptr;
  // The report's pass, reset for every run.
  std::unique_ptr<TQRPass> FPass;
  bool FDefinedContinued = false;
  std::unique_ptr<std::thread> FThread;
  std::vector<TDataSet*> FClosedForThread;
  std::vector<TDataSet*> FOpenedForPass;
  std::string FThreadError;
  mutable std::mutex FMessagesLock;
  std::vector<std::string> FGenerationMessages;

 protected:
  // The page a pass would be on, for a test that prints controls without one.
  void SetPagesDone(int32_t pages) { FPass->SetPagesDone(pages); }
  TDataSetList FRunDataSets;
};

class TQuickRep : public TCustomQuickRep {
  RPT_CLASS(TQuickRep, TCustomQuickRep)
  TQuickRep();

  // The master controller's dataset (none when it has none).
  TDataSet* DataSet() const;
  void SetDataSet(TDataSet* value);
  // 1 without an open dataset or when the engine cannot count; the count otherwise.
  int64_t DataSetRecordCount() const;
  int32_t CurrentDetailSerial() const;
  TQRController* MasterController() const;
  // The master controller walks the report's dataset with the title, detail and summary.
  void RunMaster() override;

  void ComponentNotification(TComponent* component, TComponentOperation operation) override;

};

// The document's report: tells its window about every component it gains or loses.
RPT_EVENT_TYPE(TNotifyQuickRepEvent, void(TObject*, TComponent*, TComponentOperation))
class TNotifyQuickRep : public TQuickRep {
  RPT_CLASS(TNotifyQuickRep, TQuickRep)
  TNotifyQuickRep() = default;
  std::function<void(TNotifyQuickRep*, TComponent*, TComponentOperation)> OnNotify;
  void ComponentNotification(TComponent* component, TComponentOperation operation) override;
};

// ---------------------------------------------------------------------------
// A band's Size: its height and width in the report's unit.
class TQRBandSize : public TQRUnitBase {
  RPT_CLASS(TQRBandSize, TQRUnitBase)
  TQRBandSize() = default;
  explicit TQRBandSize(TQRCustomBand* band) : FBand(band) {}

  Extended GetValue(int32_t index) const;  // 0 Height, 1 Width
  void SetValue(int32_t index, Extended value);
  Extended Height() const { return GetValue(0); }
  void SetHeight(Extended value) { SetValue(0, value); }
  Extended Width() const { return GetValue(1); }
  void SetWidth(Extended value) { SetValue(1, value); }
  Extended NativeHeight() const { return FValues[0]; }
  Extended NativeWidth() const { return FValues[1]; }
  void SetNativeHeight(Extended value) { FValues[0] = value; }
  void SetNativeWidth(Extended value) { FValues[1] = value; }
  bool ValuesWereRead() const { return FValuesRead; }
  void ApplyToParent() override;
  void AssignFrom(const TPersistent* source) override;

 protected:
  int ValueCount() const override { return 2; }
  Extended* ValueSlots() override { return FValues; }
  void ValuesRead() override { FValuesRead = true; }
  const char* LengthName(int index) const override { return index == 0 ? "height" : "width"; }

 private:
  TQRCustomBand* FBand = nullptr;
  Extended FValues[2] = {20, 40};
  bool FValuesRead = false;
};

class TQRCustomBand : public TQRBasePanel {
  RPT_CLASS(TQRCustomBand, TQRBasePanel)
  TQRCustomBand();
  ~TQRCustomBand() override;

  TQRBandType BandType() const { return FBandType; }
  virtual void SetBandType(TQRBandType value);
  TCustomQuickRep* ParentReport() const { return FReport; }
  virtual void SetParentReport(TCustomQuickRep* report);
  TQRBandSize* Size() const { return FSize.get(); }
  void SetSize(TQRBandSize* value) { FSize->AssignFrom(value); }

  bool AlignToBottom() const { return FAlignToBottom; }
  void SetAlignToBottom(bool value) { FAlignToBottom = value; }
  // The band prints (its own flag: a disabled band is still designed like any other).
  bool Enabled() const { return FBandEnabled; }
  void SetEnabled(bool value) override;
  // An expression; when it gives False the band and its child bands are skipped for
  // that record as if disabled. Empty: always printed.
  const std::string& PrintIf() const { return FPrintIf; }
  void SetPrintIf(const std::string& value) { FPrintIf = value; }
  // An expression whose text, each time the band prints, becomes an outline entry at
  // its place (a title band's at the top, a group header's nested by group level).
  // Empty: none.
  const std::string& Bookmark() const { return FBookmark; }
  void SetBookmark(const std::string& value) { FBookmark = value; }
  bool ForceNewColumn() const { return FForceNewColumn; }
  void SetForceNewColumn(bool value) { FForceNewColumn = value; }
  bool ForceNewPage() const { return FForceNewPage; }
  void SetForceNewPage(bool value) { FForceNewPage = value; }
  bool HasChild() const { return FindChildBand() != nullptr; }
  void SetHasChild(bool value);
  TQRCustomBand* LinkBand() const { return FLinkBand; }
  void SetLinkBand(TQRCustomBand* value);
  TQRCustomBand* FindChildBand() const;
  // The type that decides its width and printing: its own, or for a child band that of
  // the first band up its parent chain that is not a child.
  TQRBandType EffectiveBandType() const;

  // Font is stored only when the band does not take its report's.
  bool FontStored() const;

  virtual std::string BandTypeCaption() const { return BandCaption(FBandType); }
  virtual std::string DefaultBandName() const { return BandBaseName(FBandType); }

  TQRBandBeforePrintEvent BeforePrint;
  TQRBandAfterPrintEvent AfterPrint;

  // Printing state.
  TQRController* DetailController = nullptr;
  // The band type while it prints: a page footer's child prints as a page footer.
  void SetPrintType(TQRBandType type) { FBandType = type; }
  double Growth = 0;
  TRect PrintedRect;
  // Whether the band, grown by growth so far, can grow by amount more on the current page.
  bool RoomToGrow(double amount, double growth) const;
  // One more line of a stretching printable: when the page has room, the band's growth
  // and the printable's own (with its first-claim flag) as they would be after it.
  // Nothing changes on the band: a printable measures with it before it claims.
  void NextGrowth(double lineHeight, double& bandGrowth, double& ownGrowth, bool& claimed) const;

  void SetParent(TWinControl* parent) override;
  void SetBounds(int32_t left, int32_t top, int32_t width, int32_t height) override;
  void SetZoom(int32_t value) override;
  void SetUnits(TQRUnit value);
  void AfterLoad() override;
  // Applies the loaded size (the report does this for all its bands before it lays
  // them out); later calls do nothing.
  void FinishLoading();
  bool Updating() const { return FUpdating; }
  void SetUpdating(bool value) { FUpdating = value; }
  int32_t StreamedHeight() const { return FStreamedHeight; }

  void ComponentNotification(TComponent* component, TComponentOperation operation) override;

 protected:
  void Paint() override;
  void PaintBackground() override {}
  // Shows "Circular linking not allowed" while designing; at run time says nothing.
  void RefuseCircularLink() const;
  // The report orders and lays out its bands again (none when detached or going).
  void ReorderReport();

  std::unique_ptr<TQRBandSize> FSize;
  TQRBandType FBandType = rbTitle;
  TCustomQuickRep* FReport = nullptr;

 private:
  bool FAlignToBottom = false;
  bool FBandEnabled = true;
  std::string FPrintIf;
  std::string FBookmark;
  bool FForceNewColumn = false;
  bool FForceNewPage = false;
  TQRCustomBand* FLinkBand = nullptr;
  bool FUpdating = false;
  bool FLoadFinished = false;
  bool FPixelHeightPending = false;
  int32_t FStreamedHeight = 40;
};

class TQRBand : public TQRCustomBand {
  RPT_CLASS(TQRBand, TQRCustomBand)
  TQRBand() = default;
};

class TQRChildBand : public TQRCustomBand {
  RPT_CLASS(TQRChildBand, TQRCustomBand)
  TQRChildBand();
  TQRCustomBand* ParentBand() const { return FParentBand; }
  void SetParentBand(TQRCustomBand* value);
  void ComponentNotification(TComponent* component, TComponentOperation operation) override;

 private:
  TQRCustomBand* FParentBand = nullptr;
};

class TQRGroup : public TQRCustomBand {
  RPT_CLASS(TQRGroup, TQRCustomBand)
  TQRGroup();
  ~TQRGroup() override;

  const std::string& Expression() const { return FExpression; }
  void SetExpression(const std::string& value) { FExpression = value; }
  TQRBand* FooterBand() const { return FFooterBand; }
  void SetFooterBand(TQRBand* value);
  // The report or a controller band whose data the group follows.
  TComponent* Master() const { return FMaster; }
  void SetMaster(TComponent* value);
  bool ReprintOnNewPage() const { return FReprintOnNewPage; }
  void SetReprintOnNewPage(bool value) { FReprintOnNewPage = value; }
  // What the function CONTINUED gives while the header repeats on a new page
  // ("(continued)"); '' elsewhere.
  const std::string& ContinuedText() const { return FContinuedText; }
  void SetContinuedText(const std::string& value) { FContinuedText = value; }
  // A header that would end a page alone moves to the next one with its first record.
  bool KeepWithNext() const { return FKeepWithNext; }
  void SetKeepWithNext(bool value) { FKeepWithNext = value; }
  // A group that would not end on the page it starts on, but fits on a fresh one,
  // starts on a fresh one.
  bool KeepTogether() const { return FKeepTogether; }
  void SetKeepTogether(bool value) { FKeepTogether = value; }
  TQREvaluator& Evaluator() { return *FEvaluator; }

  // Printing state.
  TQREvValue LastValue;
  bool Broken = false;
  bool Initialized = false;
  bool InGroup = false;
  int32_t HeaderPage = 1;

  void SetParent(TWinControl* parent) override;
  void ComponentNotification(TComponent* component, TComponentOperation operation) override;

 private:
  std::string FExpression;
  TQRBand* FFooterBand = nullptr;
  TComponent* FMaster = nullptr;
  bool FReprintOnNewPage = false;
  std::string FContinuedText;
  bool FKeepWithNext = true;
  bool FKeepTogether = false;
  std::unique_ptr<TQREvaluator> FEvaluator;
};

// A band that prints the records of its own controller (a sub-detail).
class TQRControllerBand : public TQRCustomBand {
  RPT_CLASS(TQRControllerBand, TQRCustomBand)
  TQRControllerBand();
  ~TQRControllerBand() override;

  TQRController* Controller() const { return FController.get(); }
  TComponent* Master() const { return FMaster; }
  virtual void SetMaster(TComponent* value);
  bool PrintBefore() const;
  void SetPrintBefore(bool value);
  bool PrintIfEmpty() const;
  void SetPrintIfEmpty(bool value);

  void SetParent(TWinControl* parent) override;
  void ComponentNotification(TComponent* component, TComponentOperation operation) override;

 protected:
  void BeforeDestruction() override;

 private:
  std::unique_ptr<TQRController> FController;
  TComponent* FMaster = nullptr;
};

class TQRSubDetail;

// A sub-detail's Bands: whether it has a header and a footer band. Not stored.
class TQRSubDetailGroupBands : public TPersistent {
  RPT_CLASS(TQRSubDetailGroupBands, TPersistent)
  TQRSubDetailGroupBands() = default;
  explicit TQRSubDetailGroupBands(TQRSubDetail* owner) : FOwner(owner) {}
  bool HasHeader() const;
  void SetHasHeader(bool value);
  bool HasFooter() const;
  void SetHasFooter(bool value);
  void AssignFrom(const TPersistent* source) override;

 private:
  TQRSubDetail* FOwner = nullptr;
};

class TQRSubDetail : public TQRControllerBand {
  RPT_CLASS(TQRSubDetail, TQRControllerBand)
  TQRSubDetail();

  TQRSubDetailGroupBands* Bands() const { return FBands.get(); }
  void SetBands(TQRSubDetailGroupBands* value) { FBands->AssignFrom(value); }
  TDataSet* DataSet() const;
  void SetDataSet(TDataSet* value);
  TQRCustomBand* HeaderBand() const;
  void SetHeaderBand(TQRCustomBand* value);
  TQRCustomBand* FooterBand() const;
  void SetFooterBand(TQRCustomBand* value);
  TQROnNeedDataEvent OnNeedData() const;
  void SetOnNeedData(TQROnNeedDataEvent value);

 private:
  std::unique_ptr<TQRSubDetailGroupBands> FBands;
};

// A unique name in an owner: Base + the first free number from 1.
std::string OwnerUniqueName(const TComponent* owner, const std::string& base);

}  // namespace rpt
