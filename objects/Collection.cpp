#include "objects/Collection.h"

#include <algorithm>

#include "objects/Format.h"

namespace rpt {

RPT_BEGIN_CLASS(TCollectionItem, TPersistent)
RPT_END_CLASS

TCollectionItem::~TCollectionItem() {
  if (FCollection) FCollection->RemoveItem(this);
}

void TCollectionItem::SetCollection(TCollection* collection) {
  if (FCollection == collection) return;
  if (FCollection) FCollection->RemoveItem(this);
  if (collection) collection->InsertItem(this);
}

int TCollectionItem::Index() const {
  if (!FCollection) return -1;
  auto& items = FCollection->FItems;
  return static_cast<int>(std::find(items.begin(), items.end(), this) - items.begin());
}

void TCollectionItem::SetIndex(int index) {
  const int current = Index();
  if (current < 0 || index == current) return;
  auto& items = FCollection->FItems;
  index = std::clamp(index, 0, static_cast<int>(items.size()) - 1);
  items.erase(items.begin() + current);
  items.insert(items.begin() + index, this);
  Changed(true);
}

void TCollectionItem::Changed(bool allItems) {
  if (FCollection) FCollection->Changed(allItems ? nullptr : this);
}

RPT_BEGIN_CLASS(TCollection, TPersistent)
RPT_END_CLASS

TCollection::TCollection(const TClassDescriptor& itemClass) : FItemClass(&itemClass) {}

TCollection::~TCollection() {
  FUpdateCount = 1;  // no change announcements from a dying collection
  Clear();
}

TCollectionItem* TCollection::Items(int index) const {
  if (index < 0 || index >= Count()) throw EListError(Format("List index out of bounds (%d)", index));
  return FItems[static_cast<size_t>(index)];
}

TCollectionItem* TCollection::Add() {
  TObject* object = FItemClass->CreateInstance();
  auto* item = dynamic_cast<TCollectionItem*>(object);
  if (!item) {
    if (object) object->Free();
    throw EConvertError(Format("Cannot assign a %s to a %s", FItemClass->ClassName(), ClassName()));
  }
  item->SetCollection(this);
  return item;
}

void TCollection::Clear() {
  if (FItems.empty()) return;
  BeginUpdate();
  while (!FItems.empty()) FItems.back()->Free();
  EndUpdate();
}

void TCollection::Delete(int index) { Items(index)->Free(); }

void TCollection::EndUpdate() {
  if (FUpdateCount > 0 && --FUpdateCount == 0) Changed(nullptr);
}

void TCollection::AssignFrom(const TPersistent* source) {
  const auto* other = dynamic_cast<const TCollection*>(source);
  if (!other) {
    TPersistent::AssignFrom(source);
    return;
  }
  BeginUpdate();
  try {
    Clear();
    for (TCollectionItem* item : other->FItems) Add()->AssignFrom(item);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TCollection::InsertItem(TCollectionItem* item) {
  FItems.push_back(item);
  item->FCollection = this;
  item->FID = FNextID++;
  Changed(nullptr);
}

void TCollection::RemoveItem(TCollectionItem* item) {
  auto it = std::find(FItems.begin(), FItems.end(), item);
  if (it != FItems.end()) FItems.erase(it);
  item->FCollection = nullptr;
  Changed(nullptr);
}

void TCollection::Changed(TCollectionItem* item) {
  if (FUpdateCount == 0) Update(item);
}

}  // namespace rpt
