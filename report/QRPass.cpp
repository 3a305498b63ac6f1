// The layout of a pass: bands are placed at the page cursor, each checked for room
// first (with what must stay with it), pages and columns are opened as they fill with
// their headers and closed with their footers; stretching controls grow their band and
// carry over to the next column or page.
#include "report/QRPass.h"

#include <algorithm>
#include <cmath>

#include "output/QRPrinter.h"
#include "report/QRController.h"
#include "report/QRCtrls.h"
#include "report/QRDataCtrls.h"
#include "report/QuickRpt.h"

namespace rpt {

namespace {

int32_t Round(double x) { return Nearest(x); }
double AsDouble(Extended x) { return static_cast<double>(x); }

// Counts the nesting of work that starts a page or column (its headers are no content).
class TDepth {
 public:
  explicit TDepth(int& depth) : FDepth(depth) { ++FDepth; }
  ~TDepth() { --FDepth; }
  TDepth(const TDepth&) = delete;
  TDepth& operator=(const TDepth&) = delete;

 private:
  int& FDepth;
};

}  // namespace

void ForEachPrintable(TCustomQuickRep& report, const std::function<void(TQRPrintable*)>& f) {
  for (TControl* child : report.ControlList()) {
    if (auto* printable = dynamic_cast<TQRPrintable*>(child)) {
      f(printable);
    } else if (auto* band = dynamic_cast<TQRCustomBand*>(child)) {
      for (TControl* inner : band->ControlList())
        if (auto* p = dynamic_cast<TQRPrintable*>(inner)) f(p);
    }
  }
}

TQRPass::TQRPass(TCustomQuickRep& report) : FReport(report) {}

TQRPass::~TQRPass() = default;

void TQRPass::Reset() {
  ClearExpressions();
  PageNumber = ColumnNumber = Continued = TQREvElement{};
  FPagesDone = 0;
  FCursorX = 0;
  FCursorY = -1;
  FColumnNo = 1;
  FColumnStartY = 0;
  FFooterReserve = 0;
  FOnFinalPage = FSkipNextForcedPage = FColumnBreakArmed = FColumnHasContent = false;
  FColumnStartDepth = 0;
  FForceLine = FReprintingHeaders = false;
  KeepMargins();
}

void TQRPass::Run() {
  FColumnNo = std::max(1, FReport.FPage->Columns());
  MeasurePageFooter();
  FCursorX = Round(PassMargin(pvLeftMargin));
  FReport.RunMaster();
  FCursorX = Round(PassMargin(pvLeftMargin));
  FOnFinalPage = true;
  if (!FReport.FCancelRequested && !FReport.FQRPrinter->Cancelled()) FinishPage();
}

// ---------------------------------------------------------------------------
// Expressions of the pass

void TQRPass::ClearExpressions() {
  FPrintConditions.clear();
  FBookmarks.clear();
  FHyperlinks.clear();
  FHighlightRules.clear();
  FActiveHighlights.clear();
  FSkippedControls.clear();
  FPageCountLeftOut.clear();
}

void TQRPass::CompileExpressions() {
  ClearExpressions();
  const auto compile = [this](const std::string& text) {
    auto evaluator = std::make_unique<TQREvaluator>();
    evaluator->SetDataSetList(&FReport.FRunDataSets);
    evaluator->SetLocalEnvironment(FReport.FFunctions.get());
    evaluator->Compile(text);
    return evaluator;
  };
  const auto add = [&compile](TPassExpressions& expressions, const TComponent* component, const std::string& text) {
    if (!text.empty()) expressions[component].Evaluator = compile(text);
  };
  for (TQRCustomBand* band : FReport.FBandList) {
    add(FPrintConditions, band, band->PrintIf());
    add(FBookmarks, band, band->Bookmark());
  }
  ForEachPrintable(FReport, [&](TQRPrintable* p) {
    add(FPrintConditions, p, p->PrintIf());
    if (const auto* label = dynamic_cast<const TQRCustomLabel*>(p)) add(FHyperlinks, p, label->Hyperlink());
    const TQRHighlights& rules = *p->Highlights();
    for (int i = 0; i < rules.Count(); ++i) {
      const std::string& condition = rules.Rule(i)->Condition();
      FHighlightRules[p].push_back({compile(condition.empty() ? "FALSE" : condition), false});
    }
  });
}

// The first rule whose condition gives True; one that fails or gives something else is
// taken as False and said once a pass.
const TQRHighlight* TQRPass::DecideHighlight(const TQRPrintable* printable) {
  const auto it = FHighlightRules.find(printable);
  if (it == FHighlightRules.end()) return nullptr;
  const TQRHighlight* chosen = nullptr;
  for (size_t i = 0; i < it->second.size() && !chosen; ++i) {
    TPassExpression& rule = it->second[i];
    const TQREvValue& value = rule.Evaluator->Evaluate();
    if (value.Kind == vkBoolean) {
      if (value.BoolValue) chosen = printable->Highlights()->Rule(static_cast<int>(i));
    } else if (!rule.Told) {
      rule.Told = true;
      FReport.AddGenerationMessage(printable->Name() + ": its highlight " + std::to_string(i + 1) + " " +
                           (value.Kind == vkError ? "fails (" + value.StrValue + ")" : "gives neither True nor False") +
                           "; it is taken as False");
    }
  }
  if (chosen)
    FActiveHighlights[printable] = chosen;
  else
    FActiveHighlights.erase(printable);
  return chosen;
}

const TQRHighlight* TQRPass::ActiveHighlight(const TQRPrintable* printable) const {
  if (FActiveHighlights.empty()) return nullptr;
  const auto it = FActiveHighlights.find(printable);
  return it == FActiveHighlights.end() ? nullptr : it->second;
}

std::string TQRPass::PassText(TPassExpressions& expressions, const TComponent* component, const char* what) {
  const auto it = expressions.find(component);
  if (it == expressions.end()) return {};
  TPassExpression& expression = it->second;
  const TQREvValue& value = expression.Evaluator->Evaluate();
  if (!value.IsError()) return EvValueToString(value);
  if (!expression.Told) {
    expression.Told = true;
    FReport.AddGenerationMessage(component->Name() + ": its " + what + " fails (" + value.StrValue + "); it is left out");
  }
  return {};
}

std::string TQRPass::HyperlinkTarget(const TQRCustomLabel* label) {
  if (FHyperlinks.empty()) return {};
  std::string target = PassText(FHyperlinks, label, "Hyperlink");
  if (target.empty() || IsSafeLinkTarget(target)) return target;
  TPassExpression& expression = FHyperlinks[label];
  if (!expression.Told) {
    expression.Told = true;
    FReport.AddGenerationMessage(label->Name() + ": its Hyperlink gives \"" + target +
                         "\", which is neither a web or mail address nor a #bookmark; it is left out");
  }
  return {};
}

// What a band is to a reader that follows the structure of a PDF: the title the main
// heading, a group header a heading of its group's level, a detail band a table row.
std::string TQRPass::StructureRole(const TQRCustomBand* band) const {
  if (!FReport.FTaggedPdf) return {};
  const TQRBandType type = band->BandType();
  if (type == rbTitle) return "H1";
  if (type == rbDetail || type == rbSubDetail) return "TR";
  if (type != rbGroupHeader) return {};
  const std::vector<TQRGroup*>& groups = FReport.FController->Groups();
  const auto it = std::find(groups.begin(), groups.end(), band);
  return "H" + std::to_string(std::min<ptrdiff_t>(2 + (it == groups.end() ? 0 : it - groups.begin()), 6));
}

// A title band's entry is at the top; a group header's nests by its group's depth;
// others nest under the innermost group.
void TQRPass::AddBookmark(TQRCustomBand* band) {
  if (FReprintingHeaders) return;
  std::string title = PassText(FBookmarks, band, "Bookmark");
  if (title.empty()) return;
  const std::vector<TQRGroup*>& groups = FReport.FController->Groups();
  int32_t level = static_cast<int32_t>(groups.size()) + 1;
  if (band->BandType() == rbTitle) {
    level = 0;
  } else if (const auto it = std::find(groups.begin(), groups.end(), band); it != groups.end()) {
    level = static_cast<int32_t>(it - groups.begin()) + 1;
  }
  TPageAnnotation bookmark;
  bookmark.Kind = TPageAnnotation::akBookmark;
  bookmark.Level = level;
  bookmark.Rect = band->PrintedRect;
  bookmark.Text = std::move(title);
  FReport.FQRPrinter->PageCanvas()->Annotate(bookmark);
}

// A condition that fails or gives no True or False is taken as False, and said once a
// pass: the rest of the report still prints.
bool TQRPass::PrintConditionHolds(const TComponent* component) {
  if (FPrintConditions.empty()) return true;
  const auto it = FPrintConditions.find(component);
  if (it == FPrintConditions.end()) return true;
  TPassExpression& condition = it->second;
  const TQREvValue& value = condition.Evaluator->Evaluate();
  if (value.Kind == vkBoolean) return value.BoolValue;
  if (!condition.Told) {
    condition.Told = true;
    FReport.AddGenerationMessage(component->Name() + ": its PrintIf " +
                         (value.Kind == vkError ? "fails (" + value.StrValue + ")" : "gives neither True nor False") +
                         "; it is taken as False");
  }
  return false;
}

void TQRPass::DecidePrintedControls(TQRCustomBand* band) {
  if (FPrintConditions.empty() && FHighlightRules.empty()) return;
  for (TControl* child : band->ControlList())
    if (auto* printable = dynamic_cast<TQRPrintable*>(child)) {
      bool prints = FPrintConditions.empty() || PrintConditionHolds(printable);
      if (!FHighlightRules.empty()) {
        const TQRHighlight* rule = DecideHighlight(printable);
        if (rule && !rule->Visible()) prints = false;
      }
      if (prints)
        FSkippedControls.erase(printable);
      else
        FSkippedControls.insert(printable);
    }
}

bool TQRPass::ControlPrints(const TQRPrintable* printable) const {
  return FSkippedControls.empty() || !FSkippedControls.count(printable);
}

void TQRPass::SetFunctionInteger(TQREvElement element, int32_t value) {
  if (element) TQREvEnvironment::AssignInteger(element, value);
}

// ---------------------------------------------------------------------------
// Page and column layout

// Margins that leave no room on the paper would give only blank pages: the pass prints
// without them and says so. The report keeps its margins.
void TQRPass::DropMarginsWiderThanThePaper() {
  const auto value = [this](TQRPageValue index) { return AsDouble(FReport.FPage->NativeValue(index)); };
  FDropSideMargins = value(pvWidth) - value(pvLeftMargin) - value(pvRightMargin) < 0;
  FDropTopBottomMargins = value(pvLength) - value(pvTopMargin) - value(pvBottomMargin) < 0;
  if (FDropSideMargins)
    FReport.AddGenerationMessage("The left and right margins are together wider than the paper: the pages are printed "
                         "without them");
  if (FDropTopBottomMargins)
    FReport.AddGenerationMessage("The top and bottom margins are together longer than the paper: the pages are printed "
                         "without them");
}

double TQRPass::PassMargin(TQRPageValue index) const {
  const bool side = index == pvLeftMargin || index == pvRightMargin;
  if (side ? FDropSideMargins : FDropTopBottomMargins) return 0;
  return AsDouble(FReport.FPage->NativeValue(index));
}

double TQRPass::PageBottom() const {
  return AsDouble(FReport.FPage->NativeValue(pvLength)) - PassMargin(pvBottomMargin);
}

double TQRPass::RemainingSpace() const {
  if (FReport.FIdle || FCursorY == -1) return 0;
  return Round(PageBottom() - FFooterReserve - FCursorY);
}

double TQRPass::FreshColumnSpace() const {
  const auto height = [this](TQRBandType type) {
    const TQRCustomBand* band = FReport.FindBand(type);
    return band && band->Enabled() ? AsDouble(band->Size()->NativeHeight()) : 0.0;
  };
  double top = FColumnStartY;
  if (FColumnNo >= std::max(1, FReport.FPage->Columns())) top = PassMargin(pvTopMargin) + height(rbPageHeader);
  return PageBottom() - FFooterReserve - top - height(rbColumnHeader);
}

double TQRPass::MeasureBand(TQRCustomBand* band) {
  double total = 0;
  size_t guard = FReport.FBandList.size() + 1;
  for (; band && guard > 0; band = band->FindChildBand(), --guard) {
    // As a pass prints them: a disabled band's children still print, a PrintIf that
    // leaves the band out leaves them out too.
    if (!band->Enabled()) continue;
    if (!PrintConditionHolds(band)) break;
    // The band grows by the most any of its stretching controls needs.
    double growth = 0;
    for (TControl* child : band->ControlList()) {
      auto* printable = dynamic_cast<TQRPrintable*>(child);
      if (!printable || !printable->Enabled() || !PrintConditionHolds(printable)) continue;
      growth = std::max(growth, printable->MeasureHeight() - AsDouble(printable->Size()->Native(TQRPrintableSize::szHeight)));
    }
    total += AsDouble(band->Size()->NativeHeight()) + growth;
  }
  return total;
}

void TQRPass::MeasurePageFooter() {
  FFooterReserve = 0;
  for (TQRCustomBand* band : FReport.FBandList) {
    if (band->BandType() != rbPageFooter || !band->Enabled()) continue;
    FFooterReserve += AsDouble(band->Size()->NativeHeight());
    size_t guard = FReport.FBandList.size();
    for (TQRCustomBand* child = band->FindChildBand(); child && guard > 0; child = child->FindChildBand(), --guard)
      FFooterReserve += AsDouble(child->Size()->NativeHeight());
  }
}

double TQRPass::LinkedHeight(const TQRCustomBand* band) const {
  double height = 0;
  size_t guard = FReport.FBandList.size() + 1;
  for (const TQRCustomBand* b = band; b && guard > 0; b = b->LinkBand(), --guard)
    height += AsDouble(b->Size()->NativeHeight());
  return height;
}

void TQRPass::OutputBand(TQRCustomBand* band, double keepWith) {
  if (!band) return;
  if (band->AlignToBottom()) {
    if (band->BandType() == rbSummary && !FReport.FOptions.Contains(LastPageFooter)) FFooterReserve = 0;
    const int32_t target = Round(PageBottom() - AsDouble(band->Size()->NativeHeight()) - FFooterReserve);
    if (FCursorY < target) FCursorY = target;
  }
  EmitBand(band, keepWith);
}

void TQRPass::EnsureRoom(TQRCustomBand* band, double keepWith) {
  const int32_t need = Round(LinkedHeight(band) + keepWith);
  // A band that does not fit moves to the next column, even one taller than a whole page
  // (it then prints alone there, clipped by the page). A column holding nothing but the
  // headers that began it is never left: the band prints there, so a pass always ends.
  if (band->BandType() != rbPageFooter && need > RemainingSpace() && FColumnHasContent)
    NextColumn();
  else if (FPagesDone == 0)
    NextColumn();
}

void TQRPass::BreakToNewColumn() {
  if (FReport.FIdle) return;
  if (FColumnBreakArmed || FColumnNo > 1)
    NextColumn();
  else
    FColumnBreakArmed = true;
}

void TQRPass::BreakToNewPage() {
  if (FReport.FIdle) return;
  if (FSkipNextForcedPage) {
    FSkipNextForcedPage = false;
    return;
  }
  do NextColumn();
  while (FColumnNo != 1 && !FReport.FCancelRequested);
}

void TQRPass::NextColumn() {
  TDepth depth(FColumnStartDepth);
  FColumnHasContent = false;
  const int32_t columns = std::max(1, FReport.FPage->Columns());
  if (FColumnNo >= columns) {
    FColumnNo = 1;
    FCursorX = Round(PassMargin(pvLeftMargin));
    BeginNewPage();
  } else {
    const double space = AsDouble(FReport.FPage->NativeValue(pvColumnSpace));
    int32_t width = 0;
    if (const TQRCustomBand* detail = FReport.FindBand(rbDetail)) {
      width = Round(AsDouble(detail->Size()->NativeWidth()));
    } else {
      const double printable = AsDouble(FReport.FPage->NativeValue(pvWidth)) -
                               (PassMargin(pvLeftMargin) + PassMargin(pvRightMargin));
      width = (Round(printable) - Round(space) * (columns - 1)) / columns;
    }
    FCursorX += Round(space) + width;
    FCursorY = FColumnStartY;
    ++FColumnNo;
  }
  SetFunctionInteger(ColumnNumber, FColumnNo);
  if (!(FColumnNo == 1 && FPagesDone == 1)) {
    OutputBand(FReport.FindBand(rbColumnHeader));
    // Headers repeated for groups that go on are not new places for the outline.
    struct TReprinting {
      bool& Flag;
      ~TReprinting() { Flag = false; }
    } reprinting{FReprintingHeaders = true};
    FReport.FController->ReprintGroupHeaders();
  }
}

void TQRPass::BeginNewPage() {
  TDepth depth(FColumnStartDepth);
  FinishPage();
  FColumnHasContent = false;
  ++FPagesDone;
  SetFunctionInteger(PageNumber, FPagesDone);
  if (FReport.FOutputPass || FPagesDone == 1) FReport.FQRPrinter->NewPage();
  FCursorY = Round(PassMargin(pvTopMargin));
  if (FReport.OnStartPage && !FReport.HasState(sfDesigning)) FReport.OnStartPage(&FReport);
  if (FPagesDone > 1 || FReport.FOptions.Contains(FirstPageHeader)) OutputBand(FReport.FindBand(rbPageHeader));
  FColumnStartY = FCursorY;
  if (FPagesDone == 1)
    if (const TQRCustomBand* title = FReport.FindBand(rbTitle)) FColumnStartY += Round(AsDouble(title->Size()->NativeHeight()));
}

void TQRPass::FinishPage() {
  if (FPagesDone <= 0) return;
  TDepth depth(FColumnStartDepth);
  FCursorY = Round(PageBottom() - FFooterReserve);
  FCursorX = Round(PassMargin(pvLeftMargin));
  if (!(FOnFinalPage && !FReport.FOptions.Contains(LastPageFooter))) OutputBand(FReport.FindBand(rbPageFooter));
  PrintPageItems();
  if (FReport.OnEndPage && !FReport.HasState(sfDesigning)) FReport.OnEndPage(&FReport);
}

void TQRPass::PrintPageItems() {
  for (TControl* child : FReport.ControlList())
    if (auto* printable = dynamic_cast<TQRPrintable*>(child);
        printable && printable->Enabled() && PrintConditionHolds(printable))
      printable->PrintAt(0, 0);
  TQRPrinter& printer = *FReport.FQRPrinter;
  if (FReport.FOutputPass && FReport.Frame()->HasAnySide() && printer.PageCanvas()) {
    const double left = PassMargin(pvLeftMargin), top = PassMargin(pvTopMargin);
    const double right = AsDouble(FReport.FPage->NativeValue(pvWidth)) - PassMargin(pvRightMargin);
    const TRect rect{printer.XToDevice(left), printer.YToDevice(top), printer.XToDevice(right),
                     printer.YToDevice(PageBottom())};
    FReport.Frame()->DrawFrameLines(*printer.PageCanvas(), rect, printer.HorzScale(), printer.VertScale());
  }
}

void TQRPass::EmitBand(TQRCustomBand* band, double keepWith) {
  TQRPrinter& printer = *FReport.FQRPrinter;
  bool printBand = band->Enabled();
  // Handlers run only outside the design state (a designed report previews without them).
  const bool designing = band->HasState(sfDesigning);
  if (printBand && band->BeforePrint && !designing) band->BeforePrint(band, printBand);
  const bool skipped = printBand && !PrintConditionHolds(band);
  if (skipped) printBand = false;
  const TQRBandType type = band->BandType();
  if (printBand) {
    const bool unbreakable = type == rbTitle || type == rbPageHeader || type == rbPageFooter || type == rbOverlay;
    if (band->ForceNewPage() && !unbreakable && FPagesDone > 0)
      BreakToNewPage();
    else if (band->ForceNewColumn() && !unbreakable && FPagesDone > 0)
      BreakToNewColumn();
    else
      EnsureRoom(band, keepWith);
    if (band->DetailController) band->DetailController->NotifyPrintables(qrnDataAdvance);
    DecidePrintedControls(band);
    if (Continued) {
      const auto* group = dynamic_cast<const TQRGroup*>(band);
      TQREvEnvironment::AssignString(Continued, FReprintingHeaders && group ? group->ContinuedText() : "");
    }
    const double height = AsDouble(band->Size()->NativeHeight());
    const double width = AsDouble(band->Size()->NativeWidth());
    band->PrintedRect = {printer.XToDevice(FCursorX), printer.YToDevice(FCursorY),
                         printer.XToDevice(FCursorX + width), printer.YToDevice(FCursorY + height)};
    if (FReport.FOutputPass && printer.PageCanvas() && !FBookmarks.empty()) AddBookmark(band);
    const std::string role = StructureRole(band);
    if (!role.empty() && FReport.FOutputPass && printer.PageCanvas())
      printer.PageCanvas()->Annotate({TPageAnnotation::akBeginStructure, 0, {}, role});
    if (band->Height() != 0) {
      if (FReport.FOutputPass && printer.PageCanvas()) {
        TCanvas& canvas = *printer.PageCanvas();
        canvas.Brush()->SetStyle(bsSolid);
        canvas.Brush()->SetColor(band->Color());
        canvas.FillRect(band->PrintedRect);
      }
      band->Growth = 0;
      bool first = true;
      bool allDone = true;
      do {
        PrintBandControls(band, first, allDone);
        if (FReport.FOutputPass && printer.PageCanvas()) {
          band->PrintedRect = {printer.XToDevice(FCursorX), printer.YToDevice(FCursorY),
                               printer.XToDevice(FCursorX + width),
                               printer.YToDevice(FCursorY + height + band->Growth + 1)};
          band->Frame()->DrawFrameLines(*printer.PageCanvas(), band->PrintedRect, printer.HorzScale(),
                                        printer.VertScale());
        }
        if (FReport.FExportFilter) ExportBand(band);
        if (!allDone) {
          if (FReport.FCancelRequested || printer.Cancelled()) break;
          NextColumn();
          band->Growth = 0;
          first = false;
        }
      } while (!allDone);
      FCursorY += Round(height + band->Growth);
    }
    if (!role.empty() && FReport.FOutputPass && printer.PageCanvas())
      printer.PageCanvas()->Annotate({TPageAnnotation::akEndStructure, 0, {}, role});
    if (FColumnStartDepth == 0) FColumnHasContent = true;
  } else if (band->DetailController && (!band->Enabled() || skipped)) {
    band->DetailController->NotifyPrintables(qrnDataAdvance);
  }
  if (band->AfterPrint && !designing) band->AfterPrint(band, printBand);
  if (TQRCustomBand* child = skipped ? nullptr : band->FindChildBand()) {
    if (type == rbPageFooter) {
      child->SetPrintType(rbPageFooter);
      struct TBack {
        TQRCustomBand* Child;
        ~TBack() { Child->SetPrintType(rbChild); }
      } back{child};
      OutputBand(child);
    } else {
      OutputBand(child);
    }
  }
}

void TQRPass::PrintBandControls(TQRCustomBand* band, bool first, bool& allDone) {
  allDone = true;
  // A band carried over to a new column places at least one line of each control there.
  FForceLine = !first;
  for (TControl* child : band->ControlList()) {
    auto* printable = dynamic_cast<TQRPrintable*>(child);
    if (!printable || !printable->Enabled() || !ControlPrints(printable)) continue;
    if (first || !printable->AllPrinted()) printable->PrintAt(FCursorX, FCursorY);
    allDone = allDone && printable->AllPrinted();
  }
  FForceLine = false;
}

void TQRPass::ExportBand(TQRCustomBand* band) {
  std::vector<TQRExportItem> items;
  for (TControl* child : band->ControlList()) {
    auto* printable = dynamic_cast<TQRPrintable*>(child);
    if (!printable || !printable->Enabled()) continue;
    TQRExportItem item;
    item.Control = printable;
    const TQRPrintableSize& size = *printable->Size();
    item.Left = FCursorX + AsDouble(size.Native(TQRPrintableSize::szLeft));
    item.Top = FCursorY + AsDouble(size.Native(TQRPrintableSize::szTop));
    item.Width = AsDouble(size.Native(TQRPrintableSize::szWidth));
    item.Height = AsDouble(size.Native(TQRPrintableSize::szHeight));
    if (!printable->ExportItem(item)) continue;
    if (const TQRHighlight* rule = ActiveHighlight(printable)) {
      item.FontColor = rule->FontColor();
      item.BackColor = rule->Color();
      item.Bold = rule->FontStyle().Contains(fsBold);
      item.Italic = rule->FontStyle().Contains(fsItalic);
    }
    // A control a condition leaves out keeps its cell, empty, so the columns stay in line.
    if (!ControlPrints(printable)) {
      item.Text.clear();
      item.Value = TVariant{};
    }
    // Rows are written as they come, before the page count is known.
    if (item.Text.find(kPageCountMark) != std::string::npos) {
      std::string text;
      for (size_t at = 0, mark; at <= item.Text.size(); at = mark + kPageCountMark.size()) {
        mark = std::min(item.Text.find(kPageCountMark, at), item.Text.size());
        text.append(item.Text, at, mark - at);
      }
      item.Text = std::move(text);
      if (item.Value.Type == TVariant::varString) item.Value.Text = item.Text;
      if (FPageCountLeftOut.insert(printable).second)
        FReport.AddGenerationMessage(printable->Name() + ": the page count is not known while rows are exported; it is left out");
    }
    items.push_back(std::move(item));
  }
  std::stable_sort(items.begin(), items.end(),
                   [](const TQRExportItem& a, const TQRExportItem& b) { return a.Left < b.Left; });
  FReport.FExportFilter->Band(*band, items);
}

}  // namespace rpt
