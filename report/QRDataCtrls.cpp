#include "report/QRDataCtrls.h"

#include <algorithm>
#include <ctime>
#include <exception>

#include "data/DB.h"
#include "data/DateTime.h"
#include "report/QRController.h"

namespace rpt {

namespace {

std::vector<std::string> SplitLines(const std::string& text) {
  TStringList list;
  list.SetText(text);
  return list.Lines();
}

// The clock of expressions (tests set it), as a local date and time.
TDateTime Now() {
  const std::time_t moment = EvNow();
  std::tm parts{};
  localtime_r(&moment, &parts);
  return EncodeDate(parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday) +
         EncodeTime(parts.tm_hour, parts.tm_min, parts.tm_sec);
}

}  // namespace

// ---------------------------------------------------------------------------
// The text printables publish the same set; each class adds its own source.

namespace {
template <class C>
void PublishLayout(TClassBuilder<C>& c) {
  c.Property("Alignment", &C::Alignment, &C::SetAlignment);
  c.Property("AlignToBand", &C::AlignToBand, &C::SetAlignToBand);
  c.Property("AutoSize", &C::AutoSize, &C::SetAutoSize);
  c.Property("Color", &C::Color, &C::SetColor);
  c.Property("Font", &C::Font, &C::SetFont).Stored(&C::FontStored);
  c.Property("ParentFont", &C::ParentFont, &C::SetParentFont).Default(true);
  c.Property("Transparent", &C::Transparent, &C::SetTransparent);
}
template <class C>
void PublishReading(TClassBuilder<C>& c) {
  c.Property("BiDiMode", &C::BiDiMode, &C::SetBiDiMode);
  c.Property("OnPrint", &C::OnPrint, &C::OnPrint);
  c.Property("ParentBiDiMode", &C::ParentBiDiMode, &C::SetParentBiDiMode).Default(true);
}
template <class C>
void PublishFlow(TClassBuilder<C>& c) {
  c.Property("AutoStretch", &C::AutoStretch, &C::SetAutoStretch);
  c.Property("WordWrap", &C::WordWrap, &C::SetWordWrap);
}
}  // namespace

// ---------------------------------------------------------------------------
// TQRDBText

RPT_BEGIN_CLASS(TQRDBText, TQRCustomLabel)
  PublishLayout(c);
  PublishReading(c);
  PublishFlow(c);
  c.Property("DataField", &TQRDBText::DataField, &TQRDBText::SetDataField);
  c.Property("Hyperlink", &TQRDBText::Hyperlink, &TQRDBText::SetHyperlink);
  c.Property("DataSet", &TQRDBText::DataSet, &TQRDBText::SetDataSet);
  c.Property("Mask", &TQRDBText::Mask, &TQRDBText::SetMask);
RPT_END_CLASS

TQRDBText::TQRDBText() = default;

void TQRDBText::SetDataSet(TDataSet* value) {
  FDataSet = value;
  if (value) WatchComponent(value);
}

void TQRDBText::SetDataField(const std::string& value) {
  FDataField = value;
  SetCaption(value.empty() ? Name() : value);
}

void TQRDBText::Renamed(const std::string&) {
  if (!HasState(sfLoading) && FDataField.empty()) SetCaption(Name());
}

void TQRDBText::FinishLoading() {
  TQRCustomLabel::FinishLoading();
  SetDataField(FDataField);
}

void TQRDBText::ComponentNotification(TComponent* component, TComponentOperation operation) {
  TQRCustomLabel::ComponentNotification(component, operation);
  if (operation == coRemove && component == FDataSet) {
    FDataSet = nullptr;
    FFieldFound = false;
  }
}

TAlignment TQRDBText::DrawAlignment() const {
  // Numbers, dates and counters keep their side in right-to-left reading.
  return FKeepsSide ? Alignment() : TQRCustomLabel::DrawAlignment();
}

std::string TQRDBText::FieldText(const TField& field, const std::string& mask) {
  try {
    if (field.IsNull()) return {};
    if (mask.empty() || field.Is<TStringField>()) return field.DisplayText();
    if (field.Is<TIntegerField>()) return FormatNumericMask(mask, static_cast<double>(field.AsInteger()));
    if (field.Is<TNumericField>()) return FormatNumericMask(mask, field.AsFloat());
    if (field.Is<TDateTimeField>()) return FormatDateTimeMask(mask, field.AsDateTime());
    return field.DisplayText();
  } catch (const std::exception&) {
    return {};
  }
}

void TQRDBText::Prepare(TQRPrinter* printer) {
  TQRCustomLabel::Prepare(printer);
  FFieldFound = false;
  FFieldIndex = -1;
  FIsMemo = false;
  if (!FDataSet) return;
  if (TField* field = FDataSet->FindField(FDataField)) {
    FFieldFound = true;
    FFieldIndex = field->Index();
    FIsMemo = field->IsBlob();
    if (FIsMemo) FOutputText.clear();
  }
}

void TQRDBText::Unprepare() {
  FFieldFound = false;
  FKeepsSide = false;
  FFieldIndex = -1;
  FIsMemo = false;
  FMemoLines.clear();
  TQRCustomLabel::Unprepare();
}

void TQRDBText::PrintAt(double offsetX, double offsetY) {
  if (!IsPrintable()) return;
  // Continued in the next column or page: the record is the same, its text already read.
  if (!AllPrinted()) {
    PrintLines(FIsMemo ? &FMemoLines : nullptr, offsetX, offsetY);
    return;
  }
  PrintLines(ReadRecord(), offsetX, offsetY);
}

const std::vector<std::string>* TQRDBText::ReadRecord() {
  // The dataset makes its fields afresh when it reopens (a sub-detail's query does for
  // every master record): the index finds the current one; no field is kept between.
  TField* field = nullptr;
  if (FFieldFound && FDataSet && FDataSet->Active() && FFieldIndex >= 0 && FFieldIndex < FDataSet->FieldCount())
    field = FDataSet->Fields(FFieldIndex);
  FKeepsSide = field && (field->Is<TNumericField>() || field->Is<TDateTimeField>());
  FPrintedValue = {};
  if (field) {
    try {
      FPrintedValue = field->AsVariant();
    } catch (const std::exception&) {
      FPrintedValue = {};
    }
  }
  if (!field) {
    FOutputText.clear();
    return nullptr;
  }
  if (FIsMemo) {
    try {
      FMemoLines = SplitLines(field->Is<TMemoField>() ? field->AsString() : field->DisplayText());
    } catch (const std::exception&) {
      FMemoLines.clear();
    }
    return &FMemoLines;
  }
  FOutputText = FieldText(*field, FMask);
  return nullptr;
}

void TQRDBText::PrintLines(const std::vector<std::string>* lines, double offsetX, double offsetY) {
  FPrintLines = lines;
  struct TRelease {
    const std::vector<std::string>*& Lines;
    ~TRelease() { Lines = nullptr; }
  } release{FPrintLines};
  TQRCustomLabel::PrintAt(offsetX, offsetY);
}

// ---------------------------------------------------------------------------
// TQRExpr

RPT_BEGIN_CLASS(TQRExpr, TQRCustomLabel)
  PublishLayout(c);
  PublishReading(c);
  PublishFlow(c);
  c.Property("Expression", &TQRExpr::Expression, &TQRExpr::SetExpression);
  c.Property("Hyperlink", &TQRExpr::Hyperlink, &TQRExpr::SetHyperlink);
  c.Property("Mask", &TQRExpr::Mask, &TQRExpr::SetMask);
  c.Property("Master", &TQRExpr::Master, &TQRExpr::SetMaster);
  c.Property("ResetAfterPrint", &TQRExpr::ResetAfterPrint, &TQRExpr::SetResetAfterPrint);
RPT_END_CLASS

TQRExpr::TQRExpr() : FEvaluator(std::make_unique<TQREvaluator>()) { SetExpression(""); }

TQRExpr::~TQRExpr() = default;

void TQRExpr::SetExpression(const std::string& value) {
  FExpression = value;
  SetCaption(value.empty() ? "(none)" : value);
}

void TQRExpr::SetMask(const std::string& value) {
  FMask = value;
  SetExpression(FExpression);
}

void TQRExpr::SetMaster(TComponent* value) {
  // Watched, unlike a plain reference: a master deleted while named here is forgotten.
  FMaster = value;
  if (value) WatchComponent(value);
}

void TQRExpr::ComponentNotification(TComponent* component, TComponentOperation operation) {
  TQRCustomLabel::ComponentNotification(component, operation);
  if (operation == coRemove && component == FMaster) FMaster = nullptr;
}

void TQRExpr::FinishLoading() {
  TQRCustomLabel::FinishLoading();
  SetExpression(FExpression);
}

void TQRExpr::Prepare(TQRPrinter* printer) {
  TQRCustomLabel::Prepare(printer);
  FEvaluator->SetDataSetList(FReport ? FReport->RunDataSets() : nullptr);
  FEvaluator->SetLocalEnvironment(FReport ? FReport->Functions() : nullptr);
  FEvaluator->Compile(FExpression);
  if (auto* report = dynamic_cast<TQuickRep*>(FMaster)) {
    report->AddPrintNotify(this);
  } else if (auto* subDetail = dynamic_cast<TQRSubDetail*>(FMaster)) {
    subDetail->Controller()->AddPrintNotify(this);
  } else if (!FMaster && FReport && FEvaluator->HasAggregates()) {
    FReport->AddPrintNotify(this);
  }
  FEvaluator->ResetAggregates();
}

void TQRExpr::Unprepare() {
  FEvaluator->SetDataSetList(nullptr);
  FEvaluator->Discard();
  TQRCustomLabel::Unprepare();
}

void TQRExpr::ReceiveNotice(TObject* sender, TQRNotifyOperation operation) {
  TQRCustomLabel::ReceiveNotice(sender, operation);
  if (operation == qrnDataAdvance && FEvaluator->Compiled()) FEvaluator->Accumulate();
}

std::string TQRExpr::ValueText(const TQREvValue& value, const std::string& mask) {
  switch (value.Kind) {
    case vkInteger: return FormatNumericMask(mask, static_cast<double>(value.IntValue));
    case vkFloat: return FormatNumericMask(mask, value.FloatValue);
    case vkBoolean: return value.BoolValue ? "True" : "False";
    case vkString:
    case vkError: return value.StrValue;
  }
  return {};
}

void TQRExpr::PrintAt(double offsetX, double offsetY) {
  if (!IsPrintable()) return;
  ReadRecord();
  TQRCustomLabel::PrintAt(offsetX, offsetY);
  if (FResetAfterPrint && FEvaluator->Compiled()) FEvaluator->ResetAggregates();
}

const std::vector<std::string>* TQRExpr::ReadRecord() {
  FPrintedValue = {};
  if (!FEvaluator->Compiled()) {
    FOutputText.clear();
    return nullptr;
  }
  const TQREvValue& value = FEvaluator->Evaluate();
  FOutputText = ValueText(value, FMask);
  switch (value.Kind) {
    case vkInteger:
      FPrintedValue.Type = TVariant::varInteger;
      FPrintedValue.Int = value.IntValue;
      break;
    case vkFloat:
      FPrintedValue.Type = TVariant::varDouble;
      FPrintedValue.Float = value.FloatValue;
      break;
    case vkBoolean:
      FPrintedValue.Type = TVariant::varBoolean;
      FPrintedValue.Int = value.BoolValue;
      break;
    default: break;
  }
  return nullptr;
}

// ---------------------------------------------------------------------------
// TQRSysData

const std::string& SysDataCaption(TQRSysDataType data) {
  static const std::string captions[] = {"Time", "Date", "Date/Time", "Page#", "Report title", "Detail count",
                                         "Detail no",   "Page count"};
  return captions[std::min<size_t>(data, std::size(captions) - 1)];
}

RPT_BEGIN_CLASS(TQRSysData, TQRCustomLabel)
  PublishLayout(c);
  PublishReading(c);
  c.Property("Data", &TQRSysData::Data, &TQRSysData::SetData);
  c.Property("Text", &TQRSysData::Text, &TQRSysData::SetText);
RPT_END_CLASS

TQRSysData::TQRSysData() { UpdateCaption(); }

void TQRSysData::SetData(TQRSysDataType value) {
  FData = value;
  UpdateCaption();
}

void TQRSysData::SetText(const std::string& value) {
  FText = value;
  UpdateCaption();
}

void TQRSysData::UpdateCaption() { SetCaption(FText + "(" + SysDataCaption(FData) + ")"); }

void TQRSysData::FinishLoading() {
  TQRCustomLabel::FinishLoading();
  UpdateCaption();
}

std::string TQRSysData::PrintedText() const {
  auto* quickRep = dynamic_cast<TQuickRep*>(FReport);
  switch (FData) {
    case qrsTime: return FText + FormatDateTimeMask("t", Now());
    case qrsDate: return FText + FormatDateTimeMask("c", DateOf(Now()));
    case qrsDateTime: return FText + FormatDateTimeMask("c", Now());
    case qrsPageNumber: return FText + std::to_string(FReport ? FReport->PagesDone() : 0);
    case qrsReportTitle: return FText + (FReport ? FReport->ReportTitle() : std::string());
    case qrsDetailCount:
      if (quickRep) return FText + std::to_string(quickRep->DataSetRecordCount());
      break;
    case qrsDetailNo:
      if (quickRep) return FText + std::to_string(quickRep->CurrentDetailSerial());
      break;
    case qrsPageCount: return FText + std::string(kPageCountMark);
  }
  return Caption();
}

void TQRSysData::PrintAt(double offsetX, double offsetY) {
  if (!IsPrintable()) return;
  ReadRecord();
  TQRCustomLabel::PrintAt(offsetX, offsetY);
}

const std::vector<std::string>* TQRSysData::ReadRecord() {
  // The design caption stays: the printed text is the print's own.
  FOutputText = PrintedText();
  return nullptr;
}

// ---------------------------------------------------------------------------
// TQRMerger

TQRMerger::~TQRMerger() {
  if (FPrepared) UnprepareMerge();
}

void TQRMerger::PrepareMerge() {
  if (FPrepared) UnprepareMerge();
  for (size_t line = 0; line < TemplateLines.size(); ++line) {
    std::string text = TemplateLines[line];
    size_t from = 0;
    for (;;) {
      const size_t open = text.find('{', from);
      if (open == std::string::npos) break;
      const size_t close = text.find('}', open + 1);
      if (close == std::string::npos) break;
      // "{}" holds no expression: it stays as text and the scan moves past it.
      if (close == open + 1) {
        from = open + 1;
        continue;
      }
      TMemoExpression expression;
      expression.Line = line;
      expression.Position = open;
      expression.Evaluator = std::make_unique<TQREvaluator>();
      expression.Evaluator->SetDataSetList(DataSets);
      expression.Evaluator->Compile(std::string_view(text).substr(open + 1, close - open - 1));
      FExpressions.push_back(std::move(expression));
      text.erase(open, close - open + 1);
      from = open;
    }
    FStripped.push_back(std::move(text));
  }
  FPrepared = true;
}

void TQRMerger::Merge() {
  if (FExpressions.empty()) {
    if (!FMerged) FResult = TemplateLines;
    FMerged = true;
    return;
  }
  FResult = FStripped;
  for (auto it = FExpressions.rbegin(); it != FExpressions.rend(); ++it) {
    const TQREvValue& value = it->Evaluator->Evaluate();
    std::string text;
    switch (value.Kind) {
      case vkInteger: text = std::to_string(value.IntValue); break;
      case vkFloat: text = FormatGeneralFloat(value.FloatValue); break;
      case vkString: text = value.StrValue; break;
      case vkBoolean: text = value.BoolValue ? "True" : "False"; break;
      case vkError: break;
    }
    std::string& line = FResult[it->Line];
    line.insert(std::min(it->Position, line.size()), text);
  }
  FMerged = true;
}

void TQRMerger::UnprepareMerge() {
  FExpressions.clear();
  FStripped.clear();
  FResult.clear();
  FPrepared = false;
  FMerged = false;
}

// ---------------------------------------------------------------------------
// TQRExprMemo

RPT_BEGIN_CLASS(TQRExprMemo, TQRCustomLabel)
  PublishLayout(c);
  PublishFlow(c);
  c.Property("Lines", &TQRExprMemo::Lines, &TQRExprMemo::SetLines);
  c.Property("RemoveBlankLines", &TQRExprMemo::RemoveBlankLines, &TQRExprMemo::SetRemoveBlankLines);
  c.Property("MinLines", &TQRExprMemo::MinLines, &TQRExprMemo::SetMinLines).Default(1);
RPT_END_CLASS

// Like a memo: it wraps its lines and a click inserts one with room for a few.
TQRExprMemo::TQRExprMemo() {
  FAutoSize = false;
  SetBounds(Left(), Top(), 150, 50);
}

TQRExprMemo::~TQRExprMemo() = default;

void TQRExprMemo::Prepare(TQRPrinter* printer) {
  FMerger = std::make_unique<TQRMerger>();
  FMerger->TemplateLines = FLines->Lines();
  FMerger->DataSets = FReport ? FReport->RunDataSets() : nullptr;
  FMerger->PrepareMerge();
  TQRCustomLabel::Prepare(printer);
}

void TQRExprMemo::Unprepare() {
  FMerger.reset();
  FMergedLines.clear();
  TQRCustomLabel::Unprepare();
}

void TQRExprMemo::PrintAt(double offsetX, double offsetY) {
  if (!IsPrintable()) return;
  if (!FMerger) {
    TQRCustomLabel::PrintAt(offsetX, offsetY);
    return;
  }
  // Continued in the next column or page: the lines merged for this record go on.
  FPrintLines = AllPrinted() ? ReadRecord() : &FMergedLines;
  try {
    TQRCustomLabel::PrintAt(offsetX, offsetY);
  } catch (...) {
    FPrintLines = nullptr;
    throw;
  }
  FPrintLines = nullptr;
}

const std::vector<std::string>* TQRExprMemo::ReadRecord() {
  if (!FMerger) return nullptr;
  FMerger->Merge();
  FMergedLines = FMerger->ResultLines();
  if (FRemoveBlankLines)
    FMergedLines.erase(std::remove(FMergedLines.begin(), FMergedLines.end(), std::string()), FMergedLines.end());
  return &FMergedLines;
}

}  // namespace rpt
