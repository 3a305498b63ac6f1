#include "report/QRController.h"

#include <algorithm>

#include "data/DBTables.h"
#include "data/DateTime.h"
#include "objects/Exceptions.h"
#include "objects/Format.h"
#include "output/QRPrinter.h"
#include "report/QRCtrls.h"

namespace rpt {

namespace {
// Sub-details nest through their Master links; deeper than this is a damaged file.
constexpr int kMaxNesting = 64;

template <class T>
void Erase(std::vector<T*>& list, const void* item) {
  list.erase(std::remove(list.begin(), list.end(), item), list.end());
}
}  // namespace

RPT_BEGIN_CLASS(TQRCustomController, TComponent)
RPT_END_CLASS

TQRCustomController::~TQRCustomController() = default;

void TQRCustomController::SetMaster(TComponent* value) {
  if (value == this) return;
  if (value && !dynamic_cast<TCustomQuickRep*>(value) && !dynamic_cast<TQRCustomController*>(value) &&
      !dynamic_cast<TQRControllerBand*>(value))
    return;
  FMaster = value;
}

void TQRCustomController::AddPrintNotify(TQRPrintable* printable) {
  if (printable) FNotifyList.push_back(printable);
}

void TQRCustomController::RemovePrintNotify(TQRPrintable* printable) { Erase(FNotifyList, printable); }

void TQRCustomController::NotifyPrintables(TQRNotifyOperation operation) {
  const std::vector<TQRPrintable*> list = FNotifyList;
  for (TQRPrintable* printable : list) printable->ReceiveNotice(this, operation);
}

void TQRCustomController::CollectMembers() { CollectMembersAt(0); }

void TQRCustomController::CollectMembersAt(int depth) {
  if (!FHome || FHome->HasState(sfDestroying)) return;
  FBefore.clear();
  FAfter.clear();
  FGroups.clear();
  if (depth > kMaxNesting) return;
  if (FHome->Owner()) Scan(FHome->Owner(), depth);
  Scan(FHome, depth);
  CollectDataSets();
}

void TQRCustomController::Scan(TComponent* container, int depth) {
  for (TComponent* c : container->OwnedComponents()) {
    if (c->HasState(sfDestroying)) continue;
    TQRCustomController* member = dynamic_cast<TQRCustomController*>(c);
    if (!member)
      if (auto* band = dynamic_cast<TQRControllerBand*>(c)) member = band->Controller();
    if (member && member != this && member->Master() == FHome) {
      if (std::find(FBefore.begin(), FBefore.end(), member) != FBefore.end() ||
          std::find(FAfter.begin(), FAfter.end(), member) != FAfter.end())
        continue;
      member->SetReport(FReport);
      (member->PrintBefore() ? FBefore : FAfter).push_back(member);
      member->CollectMembersAt(depth + 1);
    } else if (auto* group = dynamic_cast<TQRGroup*>(c); group && group->Master() == FHome) {
      if (std::find(FGroups.begin(), FGroups.end(), group) == FGroups.end()) FGroups.push_back(group);
    }
  }
}

void TQRCustomController::AppendBandsInOrder(std::vector<TQRCustomBand*>& order) {
  for (TQRCustomController* c : FBefore) c->AppendBandsInOrder(order);
  for (TQRCustomController* c : FAfter) c->AppendBandsInOrder(order);
}

void TQRCustomController::Forget(TComponent* component) {
  Erase(FNotifyList, component);
  Erase(FGroups, component);
  if (component == FMaster) FMaster = nullptr;
  for (TQRCustomController* c : FBefore) c->Forget(component);
  for (TQRCustomController* c : FAfter) c->Forget(component);
  if (auto* band = dynamic_cast<TQRControllerBand*>(component)) {
    Erase(FBefore, band->Controller());
    Erase(FAfter, band->Controller());
  }
}

// ---------------------------------------------------------------------------
// A pass

bool TQRCustomController::Cancelled() const {
  return FReport && (FReport->CancelRequested() || (FReport->QRPrinter() && FReport->QRPrinter()->Cancelled()));
}

void TQRCustomController::PrepareRun() {
  FNotifyList.clear();
  for (TQRCustomController* c : FBefore) c->PrepareRun();
  for (TQRCustomController* c : FAfter) c->PrepareRun();
  for (TQRGroup* group : FGroups) {
    group->Evaluator().SetDataSetList(FReport ? FReport->RunDataSets() : nullptr);
    group->Evaluator().SetLocalEnvironment(FReport ? FReport->Functions() : nullptr);
    group->Evaluator().Compile(group->Expression());
    // A group whose expression cannot be evaluated would never break: the pass stops
    // before its first page instead of printing every record as one group.
    if (const std::string error = group->Evaluator().CompileError(); !error.empty())
      throw EQRError(Format("The group %s cannot be formed: its expression \"%s\" does not compile (%s)",
                            group->Name(), group->Expression(), error));
    group->Initialized = false;
    group->Broken = false;
    group->InGroup = false;
    group->HeaderPage = 1;
  }
}

void TQRCustomController::UnprepareRun() {
  for (TQRCustomController* c : FBefore) c->UnprepareRun();
  for (TQRCustomController* c : FAfter) c->UnprepareRun();
  for (TQRGroup* group : FGroups) group->Evaluator().Discard();
}

void TQRCustomController::RunBeforeSubDetails() {
  for (TQRCustomController* c : FBefore) c->RunController();
}

void TQRCustomController::RunAfterSubDetails() {
  for (TQRCustomController* c : FAfter) c->RunController();
}

void TQRCustomController::PrintEmptyStructure() {
  RunBeforeSubDetails();
  RunAfterSubDetails();
}

void TQRCustomController::RunController() {
  if (FPrintIfEmpty) PrintEmptyStructure();
}

namespace {
// A group breaks when its value's kind changes, or its value within a kind; errors of
// the same kind never break.
bool SameGroupValue(const TQREvValue& a, const TQREvValue& b) {
  if (a.Kind != b.Kind) return false;
  switch (a.Kind) {
    case vkInteger: return a.IntValue == b.IntValue;
    case vkFloat: return a.FloatValue == b.FloatValue;
    case vkString: return a.StrValue == b.StrValue;
    case vkBoolean: return a.BoolValue == b.BoolValue;
    case vkError: return true;
  }
  return true;
}
}  // namespace

void TQRCustomController::BreakGroupsFrom(size_t index) {
  for (size_t i = index; i < FGroups.size(); ++i) {
    TQRGroup* group = FGroups[i];
    group->Broken = true;
    group->Initialized = true;
    if (group->Evaluator().Compiled()) AssignEvValue(group->LastValue, group->Evaluator().Evaluate());
  }
}

bool TQRCustomController::DetectGroupBreaks() {
  for (size_t i = 0; i < FGroups.size(); ++i) {
    TQRGroup* group = FGroups[i];
    group->Broken = false;
    if (!group->Evaluator().Compiled()) continue;
    const TQREvValue& value = group->Evaluator().Evaluate();
    if (!group->Initialized || !SameGroupValue(value, group->LastValue)) {
      // A group that breaks breaks every group inside it.
      BreakGroupsFrom(i);
      return true;
    }
  }
  return false;
}

namespace {
double PrintedHeight(const TQRCustomBand* band) {
  return band && band->Enabled() ? static_cast<double>(band->Size()->NativeHeight()) : 0;
}
}  // namespace

void TQRCustomController::EmitGroupHeaders() {
  const auto broken = std::find_if(FGroups.begin(), FGroups.end(), [](const TQRGroup* g) { return g->Broken; });
  if (broken == FGroups.end()) return;
  const auto first = static_cast<size_t>(broken - FGroups.begin());
  const double together = KeepTogetherHeight(first);
  for (size_t i = first; i < FGroups.size(); ++i) {
    TQRGroup* group = FGroups[i];
    // Without a linked band of its own, a header keeps the headers inside it and the
    // first record with it, so it never ends a page alone.
    double keepWith = 0;
    if (i == first && together >= 0) {
      keepWith = together;
    } else if (group->KeepWithNext() && !group->LinkBand()) {
      for (size_t j = i + 1; j < FGroups.size(); ++j) keepWith += PrintedHeight(FGroups[j]);
      keepWith += FirstRecordHeight();
    }
    FReport->OutputBand(group, keepWith);
    group->InGroup = true;
    group->HeaderPage = FReport->PagesDone();
  }
}

double TQRCustomController::KeepTogetherHeight(size_t first) {
  if (std::none_of(FGroups.begin() + static_cast<ptrdiff_t>(first), FGroups.end(),
                   [](const TQRGroup* g) { return g->KeepTogether(); }))
    return -1;
  // A fresh page repeats the headers of the groups around that ask for it.
  double room = FReport->FreshColumnSpace();
  for (size_t i = 0; i < first; ++i)
    if (FGroups[i]->ReprintOnNewPage() && FGroups[i]->InGroup) room -= PrintedHeight(FGroups[i]);
  // The outermost group that fits wins; the headers around it print just before it.
  double headers = 0;
  for (size_t i = first; i < FGroups.size(); ++i) {
    if (FGroups[i]->KeepTogether()) {
      const double height = GroupHeightAhead(i, room - headers);
      if (height >= 0 && height <= room - headers) return std::max(0.0, headers + height - PrintedHeight(FGroups[first]));
    }
    headers += FReport->MeasureBand(FGroups[i]);
  }
  return -1;
}

void TQRCustomController::EmitGroupFooters() {
  for (auto it = FGroups.rbegin(); it != FGroups.rend(); ++it) {
    TQRGroup* group = *it;
    if (!group->Broken) continue;
    if (group->FooterBand()) FReport->OutputBand(group->FooterBand());
    group->InGroup = false;
  }
}

void TQRCustomController::ArmFinalFooters() {
  for (TQRGroup* group : FGroups) group->Broken = !group->Broken;
}

void TQRCustomController::ReprintGroupHeaders() {
  if (!FReport) return;
  // A page that begins at a group break: the groups around the one that broke go on, so
  // those that ask for it print their headers first; the broken ones print their own.
  const auto broken = std::find_if(FGroups.begin(), FGroups.end(), [](const TQRGroup* g) { return g->Broken; });
  if (broken != FGroups.end()) {
    const auto first = std::find_if(FGroups.begin(), broken, [this](const TQRGroup* g) {
      return g->ReprintOnNewPage() && g->InGroup && FReport->PagesDone() != g->HeaderPage;
    });
    for (auto it = first; it != broken; ++it) {
      (*it)->HeaderPage = FReport->PagesDone();
      FReport->OutputBand(*it);
    }
    return;
  }
  for (TQRCustomController* c : FBefore) c->ReprintGroupHeaders();
  for (size_t i = 0; i < FGroups.size(); ++i) {
    TQRGroup* group = FGroups[i];
    if (group->ReprintOnNewPage() && group->InGroup && FReport->PagesDone() != group->HeaderPage) {
      group->HeaderPage = FReport->PagesDone();
      BreakGroupsFrom(i);
      EmitGroupHeaders();
      break;
    }
  }
  for (TQRCustomController* c : FAfter) c->ReprintGroupHeaders();
}

// ---------------------------------------------------------------------------

RPT_BEGIN_CLASS(TQRController, TQRCustomController)
RPT_END_CLASS

void TQRController::SetDataSet(TDataSet* value) { FDataSet = value; }

void TQRController::AppendBandsInOrder(std::vector<TQRCustomBand*>& order) {
  if (!FReport) return;
  FReport->AppendBandInOrder(order, FHeader);
  for (TQRGroup* group : FGroups) FReport->AppendBandInOrder(order, group);
  for (TQRCustomController* c : FBefore) c->AppendBandsInOrder(order);
  FReport->AppendBandInOrder(order, FDetail);
  for (TQRCustomController* c : FAfter) c->AppendBandsInOrder(order);
  for (auto it = FGroups.rbegin(); it != FGroups.rend(); ++it)
    if ((*it)->FooterBand()) FReport->AppendBandInOrder(order, (*it)->FooterBand());
  FReport->AppendBandInOrder(order, FFooter);
}

void TQRController::CollectDataSets() {
  if (!FReport || !FDataSet || !FDataSet->Active() || FReport->Idle()) return;
  TDataSetList& list = *FReport->RunDataSets();
  if (std::find(list.begin(), list.end(), FDataSet) == list.end()) list.push_back(FDataSet);
}

void TQRController::PrepareRun() {
  TQRCustomController::PrepareRun();
  UsesSQLParams = false;
  auto* query = dynamic_cast<TQuery*>(FDataSet);
  if (!query || !FReport) return;
  for (int i = 0; i < query->ParamCount(); ++i) {
    const TParam& param = *query->Params().Items(i);
    if (FReport->Functions()->FindFunction(EvUpperCase(param.Name())))
      UsesSQLParams = true;
    else if (!param.Bound())
      // Run as NULL it would select nothing and the report would come out empty.
      throw EQRError(Format("The query parameter :%s has no value: no function of the report of that name sets it",
                            param.Name()));
  }
}

double TQRController::FirstRecordHeight() { return FDetail ? FReport->MeasureBand(FDetail) : 0; }

double TQRController::GroupHeightAhead(size_t index, double limit) {
  // Sub-details' records are not walked ahead: their groups are not measured.
  if (!FDataSet || !FDataSet->Active() || FDataSet->Eof() || !FBefore.empty() || !FAfter.empty()) return -1;
  const size_t count = FGroups.size();
  std::vector<TQREvValue> values(count);
  const auto read = [this](size_t i, TQREvValue& into) {
    if (FGroups[i]->Evaluator().Compiled()) AssignEvValue(into, FGroups[i]->Evaluator().Evaluate());
  };
  for (size_t i = 0; i < count; ++i) read(i, values[i]);
  double height = 0;
  const auto headers = [&](size_t from) {
    for (size_t i = from; i < count; ++i) height += FReport->MeasureBand(FGroups[i]);
  };
  const auto footers = [&](size_t to) {
    for (size_t i = count; i-- > to;)
      if (FGroups[i]->FooterBand()) height += FReport->MeasureBand(FGroups[i]->FooterBand());
  };
  headers(index);
  height += FDetail ? FReport->MeasureBand(FDetail) : 0;
  // A group longer than the records a walk may keep cannot fit a page in any sensible
  // report: it is taken as too tall rather than read twice.
  constexpr int64_t kMostAhead = 4000;
  FDataSet->KeepRecords(kMostAhead);
  const TDataSet::TPlace place = FDataSet->Place();
  struct TBack {
    TDataSet& DataSet;
    const TDataSet::TPlace& Place;
    ~TBack() { DataSet.ReturnTo(Place); }
  } back{*FDataSet, place};
  bool ended = false;
  for (int64_t ahead = 0; height <= limit && !ended; ++ahead) {
    if (ahead == kMostAhead) return limit + 1;
    FDataSet->Next();
    if (FDataSet->Eof()) {
      ended = true;
      break;
    }
    TQREvValue value;
    for (size_t i = 0; i < count && !ended; ++i) {
      read(i, value);
      if (SameGroupValue(value, values[i])) continue;
      if (i <= index) {
        ended = true;
      } else {
        // A group inside breaks: its footers and the new headers print between records.
        footers(i);
        for (size_t j = i; j < count; ++j) read(j, values[j]);
        headers(i);
        break;
      }
    }
    if (!ended) height += FDetail ? FReport->MeasureBand(FDetail) : 0;
  }
  if (ended) footers(index);
  return height;
}

void TQRController::PrintEmptyStructure() {
  FReport->OutputBand(FHeader);
  RunBeforeSubDetails();
  FReport->OutputBand(FDetail);
  RunAfterSubDetails();
  FReport->OutputBand(FFooter);
}

void TQRController::RunController() {
  for (TQRGroup* group : FGroups) group->Initialized = false;
  // Counted only for the progress figure, once the first page is out: counting a sorted
  // query walks all of it, and the first page should not wait for that.
  int64_t recordCount = -1;
  const bool designing = FHome && FHome->HasState(sfDesigning);
  auto* quickRep = dynamic_cast<TQuickRep*>(FReport);
  const bool master = FReport && FReport->Controller() == this;
  if (!FReport || !((FDataSet && FDataSet->Active()) || OnNeedData)) {
    if (FReport && FPrintIfEmpty) PrintEmptyStructure();
    return;
  }
  bool more = true;
  const bool usesDataSet = FDataSet && FDataSet->Active();
  if (usesDataSet) {
    if (UsesSQLParams) FillQueryParams(*static_cast<TQuery*>(FDataSet), *FReport->Functions());
    FDataSet->First();
    more = !FDataSet->Eof();
    if (!more && FPrintIfEmpty) PrintEmptyStructure();
  } else if (OnNeedData && !designing) {
    OnNeedData(FHome, more);
  }
  DetailSerial = 0;
  if (FDetail) FDetail->DetailController = this;
  if (!more) return;
  ProcessPendingMessages();
  if (Cancelled()) return;
  if (FHeader) {
    FReport->OutputBand(FHeader);
    if (master) FReport->SetSkipNextForcedPage(true);
  }
  if (master && FReport->PagesDone() <= 1) {
    TQRCustomBand* columnHeader = FReport->FindBand(rbColumnHeader);
    if (columnHeader && columnHeader->Enabled()) {
      FReport->OutputBand(columnHeader);
      FReport->SetSkipNextForcedPage(true);
    }
  }
  DetectGroupBreaks();
  while (more) {
    ProcessPendingMessages();
    if (Cancelled()) return;
    ++DetailSerial;
    EmitGroupHeaders();
    RunBeforeSubDetails();
    FReport->OutputBand(FDetail);
    RunAfterSubDetails();
    if (usesDataSet) {
      FDataSet->Next();
      more = !FDataSet->Eof();
    } else {
      more = false;
      if (OnNeedData && !designing) OnNeedData(FHome, more);
    }
    if (DetectGroupBreaks()) {
      // The footers of the group that ended see its last record.
      if (usesDataSet) FDataSet->Prior();
      EmitGroupFooters();
      if (usesDataSet) FDataSet->Next();
    }
    if (quickRep && usesDataSet && FDataSet == quickRep->DataSet() && FReport->QRPrinter()) {
      if (recordCount < 0 && FReport->PagesDone() > 1) recordCount = quickRep->DataSetRecordCount();
      if (recordCount > 0)
        FReport->QRPrinter()->ReportProgress(static_cast<int32_t>(std::min<int64_t>(100, DetailSerial * 100 / recordCount)));
    }
  }
  ArmFinalFooters();
  EmitGroupFooters();
  if (FFooter) {
    if (FReport->PagesDone() == 0) FReport->BeginNewPage();
    FReport->OutputBand(FFooter);
  }
}

void FillQueryParams(TQuery& query, TQREvEnvironment& functions) {
  query.Close();
  for (int i = 0; i < query.ParamCount(); ++i) {
    TParam& param = *query.Params().Items(i);
    const std::string name = EvUpperCase(param.Name());
    if (!functions.FindFunction(name)) continue;
    const TQREvValue value = functions.ValueOf(name);
    const TFieldType type = param.DataType();
    try {
      switch (value.Kind) {
        case vkString:
          if (type == ftString || type == ftUnknown || type == ftMemo) {
            param.SetAsString(value.StrValue);
          } else if (type == ftDate || type == ftTime || type == ftDateTime) {
            if (const auto moment = ParseIsoDateTime(value.StrValue)) {
              if (type == ftDate) param.SetAsDate(*moment);
              else if (type == ftTime) param.SetAsTime(*moment);
              else param.SetAsDateTime(*moment);
            }
          }
          break;
        case vkInteger:
          if (type == ftSmallint) param.SetAsSmallInt(value.IntValue);
          else if (type == ftWord) param.SetAsWord(value.IntValue);
          else if (type == ftInteger || type == ftLargeint || type == ftAutoInc || type == ftUnknown) param.SetAsInteger(value.IntValue);
          break;
        case vkBoolean:
          if (type == ftBoolean || type == ftUnknown) param.SetAsBoolean(value.BoolValue);
          break;
        case vkFloat:
          if (type == ftFloat || type == ftUnknown) param.SetAsFloat(value.FloatValue);
          else if (type == ftCurrency) param.SetAsCurrency(value.FloatValue);
          else if (type == ftBCD) param.SetAsBCD(value.FloatValue);
          break;
        case vkError:
          break;
      }
    } catch (const Exception&) {
      // A value the parameter cannot hold leaves it as it was.
    }
    if (!param.Bound())
      throw EQRError(Format("The query parameter :%s has no value: the function %s gives none it can take", param.Name(),
                            name));
  }
  query.Open();
}

void TQRController::Forget(TComponent* component) {
  TQRCustomController::Forget(component);
  if (component == FHeader) FHeader = nullptr;
  if (component == FDetail) FDetail = nullptr;
  if (component == FFooter) FFooter = nullptr;
  if (component == FDataSet) FDataSet = nullptr;
}

}  // namespace rpt
