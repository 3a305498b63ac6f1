#pragma once
// Text printables whose text is computed when they print: a dataset field (TQRDBText),
// the value of an expression, aggregates included (TQRExpr), a system value such as
// the date or the page number (TQRSysData), and lines with expressions in braces
// (TQRExprMemo, merged by TQRMerger). They lay out and print as labels do.
#include <memory>
#include <string>
#include <vector>

#include "expr/QRExpr.h"
#include "report/QRCtrls.h"

namespace rpt {

class TField;
class TDataSet;

class TQRDBText : public TQRCustomLabel {
  RPT_CLASS(TQRDBText, TQRCustomLabel)
  TQRDBText();

  TDataSet* DataSet() const { return FDataSet; }
  void SetDataSet(TDataSet* value);
  const std::string& DataField() const { return FDataField; }
  // The design surface shows the field's name (the control's name without one).
  void SetDataField(const std::string& value);
  const std::string& Mask() const { return FMask; }
  void SetMask(const std::string& value) { FMask = value; }

  bool UsesCaption() const override { return !FIsMemo; }
  TAlignment DrawAlignment() const override;
  void Prepare(TQRPrinter* printer) override;
  void Unprepare() override;
  void PrintAt(double offsetX, double offsetY) override;
  void FinishLoading() override;
  void ComponentNotification(TComponent* component, TComponentOperation operation) override;

  // The text a field prints with a mask (numbers by a numeric mask, dates and times by a
  // date-time mask, strings and other kinds by their display text); "" on any error.
  static std::string FieldText(const TField& field, const std::string& mask);

 protected:
  void Renamed(const std::string& oldName) override;

 private:
  const std::vector<std::string>* ReadRecord() override;
  // Prints as a label from these lines (none: from its text); they are let go however
  // the printing ends.
  void PrintLines(const std::vector<std::string>* lines, double offsetX, double offsetY);

  TDataSet* FDataSet = nullptr;
  std::string FDataField;
  std::string FMask;
  bool FFieldFound = false;
  bool FKeepsSide = false;  // the last field printed was a number or a date
  int FFieldIndex = -1;
  bool FIsMemo = false;
  std::vector<std::string> FMemoLines;
};

class TQRExpr : public TQRCustomLabel {
  RPT_CLASS(TQRExpr, TQRCustomLabel)
  TQRExpr();
  ~TQRExpr() override;

  const std::string& Expression() const { return FExpression; }
  // The design surface shows the expression, or "(none)".
  void SetExpression(const std::string& value);
  const std::string& Mask() const { return FMask; }
  void SetMask(const std::string& value);
  // The report or sub-detail whose printed records advance the aggregates.
  TComponent* Master() const { return FMaster; }
  void SetMaster(TComponent* value);
  bool ResetAfterPrint() const { return FResetAfterPrint; }
  void SetResetAfterPrint(bool value) { FResetAfterPrint = value; }
  TQREvaluator& Evaluator() { return *FEvaluator; }

  // The text of a value: numbers by the mask, Booleans as True / False, errors as
  // their message.
  static std::string ValueText(const TQREvValue& value, const std::string& mask);

  void Prepare(TQRPrinter* printer) override;
  void Unprepare() override;
  void PrintAt(double offsetX, double offsetY) override;
  void ReceiveNotice(TObject* sender, TQRNotifyOperation operation) override;
  void FinishLoading() override;
  void ComponentNotification(TComponent* component, TComponentOperation operation) override;

 protected:
  void Renamed(const std::string&) override {}
  const std::vector<std::string>* ReadRecord() override;

 private:
  std::string FExpression;
  std::string FMask;
  TComponent* FMaster = nullptr;
  bool FResetAfterPrint = false;
  std::unique_ptr<TQREvaluator> FEvaluator;
};

enum TQRSysDataType : uint8_t {
  qrsTime, qrsDate, qrsDateTime, qrsPageNumber, qrsReportTitle, qrsDetailCount, qrsDetailNo, qrsPageCount
};
RPT_ENUM_TYPE(TQRSysDataType, "qrsTime", "qrsDate", "qrsDateTime", "qrsPageNumber", "qrsReportTitle",
              "qrsDetailCount", "qrsDetailNo", "qrsPageCount")

// The caption a system value shows on the design surface ("Page#").
const std::string& SysDataCaption(TQRSysDataType data);

class TQRSysData : public TQRCustomLabel {
  RPT_CLASS(TQRSysData, TQRCustomLabel)
  TQRSysData();

  TQRSysDataType Data() const { return FData; }
  void SetData(TQRSysDataType value);
  const std::string& Text() const { return FText; }
  void SetText(const std::string& value);
  // What prints now: Text and the value.
  std::string PrintedText() const;

  void PrintAt(double offsetX, double offsetY) override;
  void FinishLoading() override;

 protected:
  void Renamed(const std::string&) override {}
  const std::vector<std::string>* ReadRecord() override;

 private:
  void UpdateCaption();
  TQRSysDataType FData = qrsTime;
  std::string FText;
};

// Lines with expressions in braces ("Dear {Customers.Name},"): compiled once, merged
// for every print.
class TQRMerger {
 public:
  TQRMerger() = default;
  ~TQRMerger();
  TQRMerger(const TQRMerger&) = delete;
  TQRMerger& operator=(const TQRMerger&) = delete;

  std::vector<std::string> TemplateLines;
  // Nothing until merged.
  const std::vector<std::string>& ResultLines() const { return FResult; }
  TDataSetList* DataSets = nullptr;

  void PrepareMerge();
  void Merge();
  void UnprepareMerge();
  bool Prepared() const { return FPrepared; }
  bool Merged() const { return FMerged; }
  int ExpressionCount() const { return static_cast<int>(FExpressions.size()); }

 private:
  struct TMemoExpression {
    size_t Line = 0;
    size_t Position = 0;
    std::unique_ptr<TQREvaluator> Evaluator;
  };
  std::vector<TMemoExpression> FExpressions;
  std::vector<std::string> FStripped;
  std::vector<std::string> FResult;
  bool FPrepared = false;
  bool FMerged = false;
};

class TQRExprMemo : public TQRCustomLabel {
  RPT_CLASS(TQRExprMemo, TQRCustomLabel)
  TQRExprMemo();
  ~TQRExprMemo() override;

  bool RemoveBlankLines() const { return FRemoveBlankLines; }
  void SetRemoveBlankLines(bool value) { FRemoveBlankLines = value; }
  bool UsesCaption() const override { return false; }

  void Prepare(TQRPrinter* printer) override;
  void Unprepare() override;
  void PrintAt(double offsetX, double offsetY) override;

 protected:
  const std::vector<std::string>* ReadRecord() override;

 private:
  bool FRemoveBlankLines = false;
  std::unique_ptr<TQRMerger> FMerger;
  std::vector<std::string> FMergedLines;  // this record's, kept while the memo continues
};

}  // namespace rpt
