#include "report/QRController.h"

#include <algorithm>

#include "data/DB.h"
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

void TQRController::Forget(TComponent* component) {
  TQRCustomController::Forget(component);
  if (component == FHeader) FHeader = nullptr;
  if (component == FDetail) FDetail = nullptr;
  if (component == FFooter) FFooter = nullptr;
  if (component == FDataSet) FDataSet = nullptr;
}

}  // namespace rpt
