#pragma once
// One generation pass: where the page cursor is, the column, the pages begun, the room
// kept for the page footer, the expressions the pass compiled for its bands and
// controls, and the layout steps that place bands on pages and columns. The report
// makes a pass for each run and asks it to run; the pass reads the report's design and
// writes only its own state (and what the bands and controls keep of their print).
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "expr/QRExpr.h"
#include "report/QRUnits.h"

namespace rpt {

class TCustomQuickRep;
class TQRCustomBand;
class TQRCustomLabel;
class TQRHighlight;
class TQRPrintable;
class TQREvaluator;
class TComponent;

class TQRPass {
 public:
  explicit TQRPass(TCustomQuickRep& report);
  ~TQRPass();
  TQRPass(const TQRPass&) = delete;
  TQRPass& operator=(const TQRPass&) = delete;

  // Back to the state before a run (the report keeps one pass, so whoever reads its
  // state from another thread never meets a pass that has gone).
  void Reset();
  // Walks the data through the report's controllers and finishes the last page.
  void Run();

  // Layout (native units, page coordinates).
  // keepWith: the height of what must print on the same page right after the band.
  void OutputBand(TQRCustomBand* band, double keepWith = 0);
  // Room left on the current page above the footer reserve (0 outside a run).
  double RemainingSpace() const;
  // The room a fresh column or page would give a band (the next column's, or the next
  // page's below its page and column headers).
  double FreshColumnSpace() const;
  // How tall a band and its child bands print for the current record, measured without
  // printing: 0 when the band or its PrintIf leaves it out.
  double MeasureBand(TQRCustomBand* band);
  void BeginNewPage();
  void FinishPage();
  void MeasurePageFooter();
  void NextColumn();
  // The bottom of the printable page: the paper's length less the bottom margin.
  double PageBottom() const;
  // A margin as the pass uses it (0 when the pass dropped it), native units.
  double PassMargin(TQRPageValue index) const;
  // Margins that leave no room on the paper are left out for the pass, said once.
  void DropMarginsWiderThanThePaper();
  void KeepMargins() { FDropSideMargins = FDropTopBottomMargins = false; }

  int32_t PagesDone() const { return FPagesDone; }
  void SetPagesDone(int32_t pages) { FPagesDone = pages; }
  int32_t CursorX() const { return FCursorX; }
  int32_t CursorY() const { return FCursorY; }
  int32_t ColumnNo() const { return FColumnNo; }
  double FooterReserve() const { return FFooterReserve; }
  void SetSkipNextForcedPage(bool value) { FSkipNextForcedPage = value; }
  // A stretching control prints at least one line, even one that does not fit.
  bool ForceLine() const { return FForceLine; }

  // Expressions of the bands and controls (PrintIf, Bookmark, Hyperlink, Highlights),
  // compiled once for the pass.
  void CompileExpressions();
  void ClearExpressions();
  // Where a control's printed text leads this time, or "".
  std::string HyperlinkTarget(const TQRCustomLabel* label);
  // The Highlights rule an element prints with this time, or none.
  const TQRHighlight* ActiveHighlight(const TQRPrintable* printable) const;

  // The report's functions the layout keeps up to date (none when the report has no
  // function of the name).
  TQREvElement PageNumber, ColumnNumber, Continued;

 private:
  friend class TCustomQuickRep;
  void EmitBand(TQRCustomBand* band, double keepWith);
  void EnsureRoom(TQRCustomBand* band, double keepWith);
  void BreakToNewPage();
  void BreakToNewColumn();
  double LinkedHeight(const TQRCustomBand* band) const;
  void PrintPageItems();
  void PrintBandControls(TQRCustomBand* band, bool first, bool& allDone);
  void ExportBand(TQRCustomBand* band);
  static void SetFunctionInteger(TQREvElement element, int32_t value);

  bool PrintConditionHolds(const TComponent* component);
  void DecidePrintedControls(TQRCustomBand* band);
  bool ControlPrints(const TQRPrintable* printable) const;
  void AddBookmark(TQRCustomBand* band);
  std::string StructureRole(const TQRCustomBand* band) const;
  // An expression of a band or control compiled once for the pass.
  struct TPassExpression {
    std::unique_ptr<TQREvaluator> Evaluator;
    bool Told = false;  // an error is reported once a pass
  };
  using TPassExpressions = std::unordered_map<const TComponent*, TPassExpression>;
  // The text of a control's expression of the kind (named by what); "" when it has none
  // or it fails, which is said once a pass.
  std::string PassText(TPassExpressions& expressions, const TComponent* component, const char* what);
  const TQRHighlight* DecideHighlight(const TQRPrintable* printable);

  TCustomQuickRep& FReport;
  int32_t FPagesDone = 0;
  int32_t FCursorX = 0;
  int32_t FCursorY = -1;
  int32_t FColumnNo = 1;
  int32_t FColumnStartY = 0;
  double FFooterReserve = 0;
  bool FOnFinalPage = false;
  bool FSkipNextForcedPage = false;
  bool FColumnBreakArmed = false;
  // Whether the current column holds a band of its own (not only the headers that
  // starting it printed), and how deep the work of starting a page or column nests.
  bool FColumnHasContent = false;
  int FColumnStartDepth = 0;
  // Set while a band carried over to a new column prints: each control places a line.
  bool FForceLine = false;
  // Set while headers repeat on a new page: they are no new places for the outline.
  bool FReprintingHeaders = false;
  // Margins the pass leaves out because they are wider than the paper (read by the
  // design surface too).
  std::atomic<bool> FDropSideMargins{false};
  std::atomic<bool> FDropTopBottomMargins{false};

  TPassExpressions FPrintConditions, FBookmarks, FHyperlinks;
  // Each element's Highlights conditions in rule order, and the rule in force for the
  // print under way (none: the element's own style).
  std::unordered_map<const TQRPrintable*, std::vector<TPassExpression>> FHighlightRules;
  std::unordered_map<const TQRPrintable*, const TQRHighlight*> FActiveHighlights;
  // The controls of the band being printed that a condition leaves out this time.
  std::unordered_set<const TQRPrintable*> FSkippedControls;
  // Controls whose page count an export left out (said once each).
  std::unordered_set<const TQRPrintable*> FPageCountLeftOut;
};

// Every printable on the report and on its bands.
void ForEachPrintable(TCustomQuickRep& report, const std::function<void(TQRPrintable*)>& f);

}  // namespace rpt
