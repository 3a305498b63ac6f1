#include "app/DBControls.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <algorithm>

#include "data/DB.h"
#include "framework/Application.h"

namespace rpt {

TDataSetModel::TDataSetModel(TDataSource* source, QObject* parent) : QAbstractTableModel(parent), FSource(source) {
  Reset();
}

int TDataSetModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : FRows; }

int TDataSetModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(FHeaders.size());
}

int TDataSetModel::ColumnChars(int column) const {
  return column >= 0 && column < static_cast<int>(FChars.size()) ? FChars[static_cast<size_t>(column)] : 0;
}

QVariant TDataSetModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= FRows || index.column() >= columnCount()) return {};
  if (role == Qt::TextAlignmentRole)
    return QVariant::fromValue(FAlignments[static_cast<size_t>(index.column())] | Qt::AlignVCenter);
  if (role != Qt::DisplayRole) return {};
  const TBlock* block = Block(index.row() / kBlock);
  const size_t row = static_cast<size_t>(index.row() % kBlock);
  if (!block || row >= block->Rows.size()) return {};
  return block->Rows[row][static_cast<size_t>(index.column())];
}

QVariant TDataSetModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role == Qt::TextAlignmentRole && orientation == Qt::Vertical) return QVariant::fromValue(Qt::AlignCenter);
  if (role != Qt::DisplayRole) return {};
  if (orientation == Qt::Horizontal)
    return section >= 0 && section < columnCount() ? FHeaders[static_cast<size_t>(section)] : QVariant();
  // The indicator of the current record, as the rows carry no numbers of their own.
  return section == FCurrent ? QString(QChar(0x25B6)) : QString();
}

bool TDataSetModel::canFetchMore(const QModelIndex& parent) const { return !parent.isValid() && !FAtEnd; }

void TDataSetModel::fetchMore(const QModelIndex& parent) {
  if (!canFetchMore(parent)) return;
  const int index = FRows / kBlock;
  const TBlock* block = Block(index);
  if (!block) {
    // Reading failed (the error is on its way to the user): stop asking.
    FAtEnd = true;
    return;
  }
  const int size = static_cast<int>(block->Rows.size());
  GrowTo(index * kBlock + size, size < kBlock);
}

void TDataSetModel::DataEvent(bool stateChanged) {
  if (FReading) return;
  TDataSet* shown = FSource && FSource->State() != dsInactive ? FSource->DataSet() : nullptr;
  if (stateChanged || shown != FDataSet) {
    Reset();
    return;
  }
  if (FDataSet) FollowCurrent();
}

void TDataSetModel::Reset() {
  beginResetModel();
  FBlocks.clear();
  FHeaders.clear();
  FAlignments.clear();
  FChars.clear();
  FRows = 0;
  FCurrent = -1;
  FDataSet = FSource && FSource->State() != dsInactive ? FSource->DataSet() : nullptr;
  FAtEnd = true;
  if (FDataSet) {
    for (int i = 0; i < FDataSet->FieldCount(); ++i) {
      const TField* field = FDataSet->Fields(i);
      FHeaders.push_back(QString::fromStdString(field->DisplayName()));
      FAlignments.push_back(field->Alignment() == taRightJustify ? Qt::AlignRight
                            : field->Alignment() == taCenter     ? Qt::AlignHCenter
                                                                 : Qt::AlignLeft);
      FChars.push_back(field->DisplayWidth());
    }
    if (!FDataSet->IsEmpty()) {
      FCurrent = static_cast<int>(FDataSet->RecNo() - 1);
      FRows = FCurrent + 1;
      FAtEnd = FDataSet->Eof();
    }
  }
  endResetModel();
}

void TDataSetModel::FollowCurrent() {
  const int before = FCurrent;
  FCurrent = FDataSet->IsEmpty() ? -1 : static_cast<int>(FDataSet->RecNo() - 1);
  // Eof stays set on the last record: the rows end with the current one.
  if (FCurrent >= 0) GrowTo(FCurrent + 1, FDataSet->Eof());
  if (before == FCurrent) return;
  for (int row : {before, FCurrent})
    if (row >= 0 && row < FRows) emit headerDataChanged(Qt::Vertical, row, row);
}

void TDataSetModel::GrowTo(int rows, bool atEnd) {
  if (rows > FRows) {
    beginInsertRows({}, FRows, rows - 1);
    FRows = rows;
    endInsertRows();
  }
  if (atEnd) FAtEnd = true;
}

void TDataSetModel::SetCurrentRow(int row) {
  if (FDataSet && row >= 0) FDataSet->SetRecNo(row + 1);
}

const TDataSetModel::TBlock* TDataSetModel::Block(int index) const {
  if (auto it = FBlocks.find(index); it != FBlocks.end()) {
    it->second.Used = ++FClock;
    return &it->second;
  }
  if (!FDataSet || FReading) return nullptr;
  TBlock block;
  try {
    block = ReadBlock(index);
  } catch (const std::exception& e) {
    // Asked while the view paints: the message and the dataset, closed by its failure,
    // are dealt with once the painting is over.
    const std::string message = e.what();
    auto* self = const_cast<TDataSetModel*>(this);
    QTimer::singleShot(0, self, [self, message] {
      self->Reset();
      if (TApplication* app = TApplication::Instance()) app->HandleException(message);
    });
    return nullptr;
  }
  if (FBlocks.size() >= static_cast<size_t>(kBlocks)) {
    auto oldest = std::min_element(FBlocks.begin(), FBlocks.end(),
                                   [](const auto& a, const auto& b) { return a.second.Used < b.second.Used; });
    FBlocks.erase(oldest);
  }
  block.Used = ++FClock;
  return &(FBlocks[index] = std::move(block));
}

TDataSetModel::TBlock TDataSetModel::ReadBlock(int index) const {
  TDataSet* ds = FDataSet;
  TBlock block;
  if (ds->IsEmpty()) return block;
  // Where the dataset stands, flags included, to put it back exactly.
  const int64_t home = ds->RecNo();
  const bool bof = ds->Bof();
  const bool eof = ds->Eof();
  struct TQuiet {
    const TDataSetModel* Model;
    TDataSet* DataSet;
    TQuiet(const TDataSetModel* m, TDataSet* d) : Model(m), DataSet(d) {
      Model->FReading = true;
      DataSet->DisableControls();
    }
    ~TQuiet() {
      DataSet->EnableControls();
      Model->FReading = false;
    }
  } quiet(this, ds);
  const int64_t first = static_cast<int64_t>(index) * kBlock + 1;
  ds->SetRecNo(first);
  if (ds->RecNo() == first) {
    const int columns = static_cast<int>(FHeaders.size());
    for (;;) {
      std::vector<QString>& row = block.Rows.emplace_back();
      row.reserve(static_cast<size_t>(columns));
      for (int c = 0; c < columns; ++c) row.push_back(QString::fromStdString(ds->Fields(c)->DisplayText()));
      ++FRecordsRead;
      if (static_cast<int>(block.Rows.size()) == kBlock) break;
      ds->Next();
      if (ds->Eof()) break;
    }
  }
  if (bof)
    ds->First();
  else
    ds->SetRecNo(home);
  // Next on the last record only sets the flag again.
  if (eof) ds->Next();
  return block;
}

// ---------------------------------------------------------------------------

TDBGrid::TDBGrid(TDataSource* source, QWidget* parent) : QTableView(parent), FModel(new TDataSetModel(source, this)) {
  setModel(FModel);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::SingleSelection);
  // Tab moves on to the next control; the arrow keys walk the records.
  setTabKeyNavigation(false);
  setWordWrap(false);
  // Equal rows: the view places any row without asking for the ones before it.
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
  horizontalHeader()->setHighlightSections(false);
  connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this](const QModelIndex& current) {
    if (FFollowing || !current.isValid() || current.row() == FModel->CurrentRow()) return;
    HandleErrors([&] { FModel->SetCurrentRow(current.row()); });
  });
}

void TDBGrid::DataEvent(bool stateChanged) {
  if (FModel->Reading()) return;
  TDataSet* before = FModel->DataSet();
  FModel->DataEvent(stateChanged);
  if (FModel->DataSet() != before || stateChanged) FitColumns();
  ShowCurrent();
}

void TDBGrid::FitColumns() {
  const QFontMetrics metrics(font());
  const int charWidth = metrics.averageCharWidth();
  for (int c = 0; c < FModel->columnCount(); ++c) {
    const int header = metrics.horizontalAdvance(FModel->headerData(c, Qt::Horizontal).toString()) + 12;
    const int text = std::min(FModel->ColumnChars(c), 24) * charWidth + 8;
    setColumnWidth(c, std::max(header, text));
  }
}

void TDBGrid::ShowCurrent() {
  FFollowing = true;
  const int row = FModel->CurrentRow();
  if (row >= 0 && FModel->columnCount() > 0) {
    const QModelIndex index = FModel->index(row, std::max(0, currentIndex().column()));
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    scrollTo(index);
  } else {
    selectionModel()->clear();
  }
  FFollowing = false;
}

// ---------------------------------------------------------------------------

TDBNavigator::TDBNavigator(TDataSource* source, QWidget* parent) : QWidget(parent), FSource(source) {
  struct TButtonLook {
    const char* Name;
    QStyle::StandardPixmap Icon;
    const char* Hint;
  };
  const TButtonLook looks[] = {
      {"NavFirst", QStyle::SP_MediaSkipBackward, "First record"},
      {"NavPrior", QStyle::SP_MediaSeekBackward, "Prior record"},
      {"NavNext", QStyle::SP_MediaSeekForward, "Next record"},
      {"NavLast", QStyle::SP_MediaSkipForward, "Last record"},
  };
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  for (int i = 0; i < 4; ++i) {
    auto* b = new QToolButton(this);
    b->setObjectName(looks[i].Name);
    b->setIcon(style()->standardIcon(looks[i].Icon));
    b->setToolTip(looks[i].Hint);
    b->setFixedSize(25, 25);
    b->setFocusPolicy(Qt::TabFocus);
    connect(b, &QToolButton::clicked, this, [this, i] { Click(static_cast<TButton>(i)); });
    layout->addWidget(b);
    FButtons[i] = b;
  }
  layout->addStretch(1);
  DataEvent(true);
}

void TDBNavigator::Click(TButton button) {
  TDataSet* ds = FSource && FSource->State() != dsInactive ? FSource->DataSet() : nullptr;
  if (!ds) return;
  HandleErrors([&] {
    switch (button) {
      case nbFirst: ds->First(); break;
      case nbPrior: ds->Prior(); break;
      case nbNext: ds->Next(); break;
      case nbLast: ds->Last(); break;
    }
  });
}

void TDBNavigator::DataEvent(bool) {
  const TDataSet* ds = FSource && FSource->State() != dsInactive ? FSource->DataSet() : nullptr;
  const bool back = ds && !ds->Bof();
  const bool ahead = ds && !ds->Eof();
  FButtons[nbFirst]->setEnabled(back);
  FButtons[nbPrior]->setEnabled(back);
  FButtons[nbNext]->setEnabled(ahead);
  FButtons[nbLast]->setEnabled(ahead);
}

}  // namespace rpt
