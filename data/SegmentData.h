#pragma once
// A dataset over another one segment at a time: a segment is a run of consecutive
// records of the source that belong together (the records of one key, in data ordered
// by that key). Each open reads the current segment forward from where the source
// stands and ends (Eof) before the first record of the next, which stays current in the
// source. The source's statement runs once: a program makes one report pass per segment
// over a single walk of the data, closing the view between segments.
//
// The view keeps what any dataset keeps (the last records read), so going back a few
// records works; going back further would need the segment again and fails with
// EDatabaseError. Counting the records of a segment reads the rest of it ahead and holds
// it until the walk gets there.
#include <functional>
#include <memory>
#include <string>

#include "data/DB.h"

namespace rpt {

class TSegmentDataSet : public TDataSet {
  RPT_CLASS(TSegmentDataSet, TDataSet)

  TSegmentDataSet();
  ~TSegmentDataSet() override;

  // The open dataset whose records are read; the reads move it forward. It is read on
  // the thread that opened it. Cannot change while the view is open.
  TDataSet* Source() const;
  void SetSource(TDataSet* source);
  // Asked with the source on a record after the segment's first: whether that record
  // belongs to the segment being read. Unset: the whole source is one segment.
  std::function<bool()> InSegment;

  // Makes the source's current record the first of the next segment, for the next open
  // to read. False when the source has no record left. The view must be closed.
  bool BeginSegment();
  // Moves the source past the records of the current segment not read yet.
  void SkipSegment();
  // Records of the current segment taken from the source so far: all of them once the
  // segment has been read or skipped to its end.
  int64_t SegmentRecords() const;

  void ComponentNotification(TComponent* component, TComponentOperation operation) override;

  struct TSegment;

 protected:
  std::string SelectSql(engine::TConnection&) override { return {}; }
  std::string CountSql(engine::TConnection&) override { return {}; }
  std::unique_ptr<engine::TConnection> NewConnection() override;

 private:
  // Shared with the cursor and connection the view makes, which the base class may
  // destroy after this class's members.
  std::shared_ptr<TSegment> FSegment;
};

}  // namespace rpt
