#pragma once
// Collections: ordered items of one item class, each with published properties.
#include <string>
#include <vector>

#include "objects/ClassBuilder.h"

namespace rpt {

class TCollection;

class TCollectionItem : public TPersistent {
  RPT_CLASS(TCollectionItem, TPersistent)

  TCollectionItem() = default;
  ~TCollectionItem() override;

  TCollection* Collection() const { return FCollection; }
  void SetCollection(TCollection* collection);
  int Index() const;
  void SetIndex(int index);
  int ID() const { return FID; }

 protected:
  // Announces a change of this item to the collection.
  void Changed(bool allItems);

 private:
  friend class TCollection;
  TCollection* FCollection = nullptr;
  int FID = 0;
};

class TCollection : public TPersistent {
  RPT_CLASS(TCollection, TPersistent)

  explicit TCollection(const TClassDescriptor& itemClass = TCollectionItem::StaticClass());
  ~TCollection() override;

  const TClassDescriptor& ItemClass() const { return *FItemClass; }
  int Count() const { return static_cast<int>(FItems.size()); }
  TCollectionItem* Items(int index) const;  // "List index out of bounds (%d)"
  TCollectionItem* Add();
  void Clear();
  void Delete(int index);
  void BeginUpdate() { ++FUpdateCount; }
  void EndUpdate();
  int UpdateCount() const { return FUpdateCount; }
  void AssignFrom(const TPersistent* source) override;
  // What an editor of the collection tells its user about the items (how they are used); "" for nothing.
  virtual std::string EditorNote() const { return {}; }

 protected:
  // Item is the changed item, or null when every item may have changed. Not called
  // inside an update bracket; EndUpdate calls it once with null.
  virtual void Update(TCollectionItem*) {}

 private:
  friend class TCollectionItem;
  void InsertItem(TCollectionItem* item);
  void RemoveItem(TCollectionItem* item);
  void Changed(TCollectionItem* item);

  const TClassDescriptor* FItemClass;
  std::vector<TCollectionItem*> FItems;
  int FUpdateCount = 0;
  int FNextID = 0;
};

}  // namespace rpt
