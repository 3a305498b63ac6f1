#include "data/SegmentData.h"

#include <deque>
#include <thread>

#include "data/Engine.h"

namespace rpt {

struct TSegmentDataSet::TSegment {
  TSegmentDataSet* View = nullptr;
  TDataSet* Source = nullptr;
  std::thread::id Thread;
  // Begun and not opened yet: the one open a segment allows.
  bool Armed = false;
  bool Ended = true;
  int64_t Taken = 0;
  // Records read ahead of the walk (to count them), handed out before any other.
  std::deque<engine::TRow> Ahead;

  // The next record of the segment into row (or dropped when there is none); false at
  // the end of the segment.
  bool Take(engine::TRow* row) {
    if (Ended) return false;
    if (std::this_thread::get_id() != Thread)
      throw EDatabaseError("The records of a segment are read on the thread that began it");
    if (!Source || !Source->Active() || Source->Eof() || (Taken > 0 && View->InSegment && !View->InSegment())) {
      Ended = true;
      return false;
    }
    if (row) {
      row->resize(static_cast<size_t>(Source->FieldCount()));
      for (int i = 0; i < Source->FieldCount(); ++i) (*row)[static_cast<size_t>(i)] = Source->FieldValue(i);
    }
    ++Taken;
    Source->Next();
    return true;
  }
};

namespace {

using TSegment = TSegmentDataSet::TSegment;

class TSegmentCursor : public engine::TCursor {
 public:
  explicit TSegmentCursor(std::shared_ptr<TSegment> segment) : FSegment(std::move(segment)) {
    FColumns = FSegment->Source->FieldDefs();
  }
  bool Fetch(engine::TRow& row) override {
    if (!FSegment->Ahead.empty()) {
      row = std::move(FSegment->Ahead.front());
      FSegment->Ahead.pop_front();
      return true;
    }
    return FSegment->Take(&row);
  }
  int64_t Skip(int64_t count) override {
    engine::TRow row;
    int64_t skipped = 0;
    while (skipped < count && Fetch(row)) ++skipped;
    return skipped;
  }

 private:
  std::shared_ptr<TSegment> FSegment;
};

class TSegmentConnection : public engine::TConnection {
 public:
  explicit TSegmentConnection(std::shared_ptr<TSegment> segment)
      : TConnection(SegmentAlias()), FSegment(std::move(segment)) {}
  std::vector<std::string> Tables() override { return {}; }
  std::string QuotedTable(const std::string& name, std::vector<std::string>*) override {
    throw EDatabaseError("Table '" + name + "' not found: the data are a segment of another dataset");
  }
  std::unique_ptr<engine::TCursor> OpenCursor(const std::string&, const TParams*) override {
    // A second cursor would start wherever the source has got to, not at the segment's
    // first record: refused rather than reading the wrong records.
    if (!FSegment->Armed)
      throw EDatabaseError("The records of a segment are read once, forward: the walk went back further than "
                           "the dataset keeps, or no segment was begun");
    if (!FSegment->Source || !FSegment->Source->Active())
      throw EDatabaseError("The dataset the segments are read from is not open");
    FSegment->Armed = false;
    return std::make_unique<TSegmentCursor>(FSegment);
  }
  // The count of the segment: the rest of it is read ahead.
  int64_t QueryInteger(const std::string&, const TParams*) override {
    engine::TRow row;
    while (FSegment->Take(&row)) FSegment->Ahead.push_back(std::move(row));
    return FSegment->Taken;
  }

 private:
  static engine::TAlias SegmentAlias() {
    engine::TAlias alias;
    alias.Name = "(segment)";
    return alias;
  }
  std::shared_ptr<TSegment> FSegment;
};

}  // namespace

RPT_BEGIN_CLASS(TSegmentDataSet, TDataSet)
RPT_END_CLASS

TSegmentDataSet::TSegmentDataSet() : FSegment(std::make_shared<TSegment>()) { FSegment->View = this; }

TSegmentDataSet::~TSegmentDataSet() {
  // The cursor may outlive this part of the object; it must not ask InSegment then.
  FSegment->Ended = true;
  FSegment->View = nullptr;
}

TDataSet* TSegmentDataSet::Source() const { return FSegment->Source; }

void TSegmentDataSet::SetSource(TDataSet* source) {
  CheckInactive();
  if (FSegment->Source) UnwatchComponent(FSegment->Source);
  FSegment->Source = source;
  FSegment->Armed = false;
  FSegment->Ended = true;
  FSegment->Ahead.clear();
  if (source) WatchComponent(source);
}

bool TSegmentDataSet::BeginSegment() {
  CheckInactive();
  TSegment& s = *FSegment;
  s.Thread = std::this_thread::get_id();
  s.Taken = 0;
  s.Ahead.clear();
  s.Ended = !s.Source || !s.Source->Active() || s.Source->Eof();
  s.Armed = !s.Ended;
  return s.Armed;
}

void TSegmentDataSet::SkipSegment() {
  FSegment->Armed = false;
  FSegment->Ahead.clear();
  while (FSegment->Take(nullptr)) {
  }
}

int64_t TSegmentDataSet::SegmentRecords() const { return FSegment->Taken; }

std::unique_ptr<engine::TConnection> TSegmentDataSet::NewConnection() {
  if (!FSegment->Source) throw EDatabaseError("The dataset has no source to read segments from");
  return std::make_unique<TSegmentConnection>(FSegment);
}

void TSegmentDataSet::ComponentNotification(TComponent* component, TComponentOperation operation) {
  if (operation == coRemove && component && component == FSegment->Source) {
    Close();
    FSegment->Source = nullptr;
    FSegment->Ended = true;
    FSegment->Armed = false;
  }
  TDataSet::ComponentNotification(component, operation);
}

}  // namespace rpt
