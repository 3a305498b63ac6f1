#pragma once
// Data-aware controls for the data dialog's preview: a grid over a dataset's records
// and a navigator bar that walks them. Both follow a data source; whoever owns the
// source passes its events on with DataEvent.
#include <QAbstractTableModel>
#include <QTableView>
#include <QWidget>
#include <cstdint>
#include <map>
#include <vector>

class QToolButton;

namespace rpt {

class TDataSet;
class TDataSource;

// The records of a data source's open dataset as a table: the field names are the
// column headers, the display texts the cells. Rows are read when a view asks for them,
// a block at a time, and only a few blocks are kept, so a table of any size costs the
// same memory. Reading moves the dataset and puts it back with its controls disabled:
// to everyone else its current record never moves.
class TDataSetModel : public QAbstractTableModel {
 public:
  static constexpr int kBlock = 64;  // records read at a time
  static constexpr int kBlocks = 8;  // blocks kept

  explicit TDataSetModel(TDataSource* source, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
  bool canFetchMore(const QModelIndex& parent) const override;
  void fetchMore(const QModelIndex& parent) override;

  // The source's dataset opened, closed or moved; ignored while the model reads.
  void DataEvent(bool stateChanged);
  // The row of the dataset's current record; -1 when there is none.
  int CurrentRow() const { return FCurrent; }
  // Makes the record of a row the dataset's current one.
  void SetCurrentRow(int row);
  // Records read from the dataset so far, and blocks kept now.
  int64_t RecordsRead() const { return FRecordsRead; }
  int BlocksKept() const { return static_cast<int>(FBlocks.size()); }
  // The dataset shown; none when the source has no open dataset.
  TDataSet* DataSet() const { return FDataSet; }
  // Characters a column needs for typical values of its field.
  int ColumnChars(int column) const;
  // True while the model moves the dataset to read a block.
  bool Reading() const { return FReading; }

 private:
  struct TBlock {
    std::vector<std::vector<QString>> Rows;
    uint64_t Used = 0;
  };
  void Reset();
  // The block of a row, read when it is not kept; none when reading failed.
  const TBlock* Block(int block) const;
  TBlock ReadBlock(int block) const;
  // The current record moved: rows up to it exist.
  void FollowCurrent();
  void GrowTo(int rows, bool atEnd);

  TDataSource* FSource;
  TDataSet* FDataSet = nullptr;
  std::vector<QString> FHeaders;
  std::vector<Qt::Alignment> FAlignments;
  std::vector<int> FChars;
  int FRows = 0;
  bool FAtEnd = true;
  int FCurrent = -1;
  mutable std::map<int, TBlock> FBlocks;
  mutable uint64_t FClock = 0;
  mutable bool FReading = false;
  mutable int64_t FRecordsRead = 0;
};

// A read-only grid over a data source: one row per record, the current record marked
// and selected; choosing a row makes its record the current one.
class TDBGrid : public QTableView {
 public:
  explicit TDBGrid(TDataSource* source, QWidget* parent = nullptr);

  TDataSetModel* Model() const { return FModel; }
  void DataEvent(bool stateChanged);

 private:
  void FitColumns();
  void ShowCurrent();
  TDataSetModel* FModel;
  bool FFollowing = false;
};

// First, prior, next and last record of a data source's dataset; each button is
// enabled when its move can go somewhere.
class TDBNavigator : public QWidget {
 public:
  enum TButton { nbFirst, nbPrior, nbNext, nbLast };

  explicit TDBNavigator(TDataSource* source, QWidget* parent = nullptr);

  QToolButton* Button(TButton button) const { return FButtons[button]; }
  void DataEvent(bool stateChanged);

 private:
  void Click(TButton button);
  TDataSource* FSource;
  QToolButton* FButtons[4] = {};
};

}  // namespace rpt
