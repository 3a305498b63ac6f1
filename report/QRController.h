#pragma once
// Controllers hold the structure a report walks: the master controller of a report and
// the controller of each sub-detail band know their header, detail and footer bands,
// the groups and sub-details that follow them, and the printables to notify when
// their data advances. The report orders its bands from this structure.
#include <vector>

#include "report/QuickRpt.h"

namespace rpt {

class TQuery;

class TQRCustomController : public TComponent {
  RPT_CLASS(TQRCustomController, TComponent)
  TQRCustomController() = default;
  ~TQRCustomController() override;

  // The component served (the report or a controller band) and the one whose children
  // are collected; both are the same in this program.
  TComponent* Origin() const { return FOrigin; }
  TComponent* Home() const { return FHome; }
  void SetHome(TComponent* home) { FOrigin = FHome = home; }
  TCustomQuickRep* Report() const { return FReport; }
  void SetReport(TCustomQuickRep* report) { FReport = report; }
  // The report, a controller or a controller band; anything else (and itself) is refused.
  TComponent* Master() const { return FMaster; }
  void SetMaster(TComponent* value);
  bool PrintBefore() const { return FPrintBefore; }
  virtual void SetPrintBefore(bool value) { FPrintBefore = value; }
  bool PrintIfEmpty() const { return FPrintIfEmpty; }
  void SetPrintIfEmpty(bool value) { FPrintIfEmpty = value; }

  const std::vector<TQRCustomController*>& BeforeControllers() const { return FBefore; }
  const std::vector<TQRCustomController*>& AfterControllers() const { return FAfter; }
  const std::vector<TQRGroup*>& Groups() const { return FGroups; }
  const std::vector<TQRPrintable*>& NotifyList() const { return FNotifyList; }

  void AddPrintNotify(TQRPrintable* printable);
  void RemovePrintNotify(TQRPrintable* printable);
  void NotifyPrintables(TQRNotifyOperation operation);

  // A generation pass: prepared once, run for every record of its master (once for the
  // report's own), unprepared at the end whatever happened.
  virtual void PrepareRun();
  virtual void UnprepareRun();
  virtual void RunController();
  virtual void PrintEmptyStructure();
  void RunBeforeSubDetails();
  void RunAfterSubDetails();
  // After a new page or column: headers of groups that asked to be repeated print again.
  void ReprintGroupHeaders();

  // Finds the groups and sub-details that follow this controller, recursively.
  virtual void CollectMembers();
  // Appends the bands of this structure to a print order.
  virtual void AppendBandsInOrder(std::vector<TQRCustomBand*>& order);
  virtual void CollectDataSets() {}
  // Forgets a band or controller that is going away.
  virtual void Forget(TComponent* component);

 protected:
  // Groups: which of them break at the current record; their headers and footers.
  bool DetectGroupBreaks();
  void EmitGroupHeaders();
  void EmitGroupFooters();
  void ArmFinalFooters();
  // Marks every group from index on as broken, taking its current value.
  void BreakGroupsFrom(size_t index);
  bool Cancelled() const;
  // The height that follows the last group header: the first record's band.
  virtual double FirstRecordHeight() { return 0; }
  // How tall the group at index prints, header to footer, from the current record on:
  // its records are measured walking ahead, then the walk goes back. The walk stops once
  // the height passes limit. Negative when it cannot be known here.
  virtual double GroupHeightAhead(size_t, double) { return -1; }
  // What the header of the first group that breaks must have room for with it so that
  // a group asking to keep together starts on a fresh page when it fits there;
  // negative when none asks or none fits.
  double KeepTogetherHeight(size_t first);

  // Collecting stops this deep, so a damaged file's master chain cannot recurse forever.
  void CollectMembersAt(int depth);
  void Scan(TComponent* container, int depth);

  TComponent* FOrigin = nullptr;
  TComponent* FHome = nullptr;
  TCustomQuickRep* FReport = nullptr;
  TComponent* FMaster = nullptr;
  bool FPrintBefore = false;
  bool FPrintIfEmpty = true;
  std::vector<TQRCustomController*> FBefore;
  std::vector<TQRCustomController*> FAfter;
  std::vector<TQRGroup*> FGroups;
  std::vector<TQRPrintable*> FNotifyList;
};

class TQRController : public TQRCustomController {
  RPT_CLASS(TQRController, TQRCustomController)
  TQRController() = default;

  TDataSet* DataSet() const { return FDataSet; }
  void SetDataSet(TDataSet* value);
  TQRCustomBand* Header() const { return FHeader; }
  void SetHeader(TQRCustomBand* band) { FHeader = band; }
  TQRCustomBand* Detail() const { return FDetail; }
  void SetDetail(TQRCustomBand* band) { FDetail = band; }
  TQRCustomBand* Footer() const { return FFooter; }
  void SetFooter(TQRCustomBand* band) { FFooter = band; }
  TQROnNeedDataEvent OnNeedData;
  int32_t DetailSerial = 0;
  bool UsesSQLParams = false;

  void AppendBandsInOrder(std::vector<TQRCustomBand*>& order) override;
  void Forget(TComponent* component) override;
  void CollectDataSets() override;
  void PrepareRun() override;
  void RunController() override;
  void PrintEmptyStructure() override;
  double FirstRecordHeight() override;
  double GroupHeightAhead(size_t index, double limit) override;

 private:
  TDataSet* FDataSet = nullptr;
  TQRCustomBand* FHeader = nullptr;
  TQRCustomBand* FDetail = nullptr;
  TQRCustomBand* FFooter = nullptr;
};

// Fills the parameters of a query whose names are names of the report's functions with
// the functions' current values, where the kinds fit (a parameter of no type yet takes
// the value's), and opens it again.
void FillQueryParams(TQuery& query, TQREvEnvironment& functions);

}  // namespace rpt
