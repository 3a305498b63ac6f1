#include "app/dlgDataUnit.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <functional>

#include "app/DBControls.h"
#include "data/DBTables.h"
#include "data/Engine.h"
#include "data/RowImport.h"
#include "framework/Application.h"
#include "objects/Format.h"
#include "objects/StringList.h"

namespace rpt {

namespace {

QWidget* Page(QWidget* parent, const char* name) {
  auto* page = new QWidget(parent);
  page->setObjectName(name);
  page->setGeometry(0, 0, 362, 252);
  return page;
}

// Fixed text; line breaks are where the form has them.
QLabel* Text(QWidget* parent, QRect bounds, const QString& text, bool wrap = false) {
  auto* label = new QLabel(text, parent);
  label->setGeometry(bounds);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label->setWordWrap(wrap);
  return label;
}

QListWidget* ListBox(QWidget* parent, const char* name, QRect bounds) {
  auto* list = new QListWidget(parent);
  list->setObjectName(name);
  list->setGeometry(bounds);
  list->setSelectionMode(QAbstractItemView::SingleSelection);
  return list;
}

bool HasSelection(const QListWidget* list) { return !list->selectedItems().isEmpty(); }

std::string SelectedText(const QListWidget* list) {
  const auto items = list->selectedItems();
  return items.isEmpty() ? std::string() : items.first()->text().toStdString();
}

// Fills a list with what `items` gives and selects its first item; Next is enabled
// only with a selection. When `items` fails the list stays empty and Next disabled.
void Fill(QListWidget* list, const std::function<std::vector<std::string>()>& items, QPushButton* next) {
  list->clear();
  std::vector<std::string> names;
  try {
    names = items();
  } catch (...) {
    next->setEnabled(false);
    throw;
  }
  for (const std::string& name : names) list->addItem(QString::fromStdString(name));
  if (list->count() > 0) list->setCurrentRow(0);
  next->setEnabled(HasSelection(list));
}

}  // namespace

TdlgData::TdlgData(QWidget* parent) : QDialog(parent) {
  setObjectName("dlgData");
  setWindowTitle("Data for report");
  setFixedSize(362, 295);
  DataSource1 = TComponent::Create<TDataSource>(nullptr);
  DataSource1->SetName("DataSource1");
  CreateControls();
  // The preview's controls follow whatever dataset the source has.
  DataSource1->OnStateChange = [this](TObject*) {
    DBGrid1->DataEvent(true);
    DBNavigator1->DataEvent(true);
  };
  DataSource1->OnDataChange = [this](TObject*, TField*) {
    DBGrid1->DataEvent(false);
    DBNavigator1->DataEvent(false);
  };
}

TdlgData::~TdlgData() {
  DestroyNewDataSet();
  // The controls outlive this body by a little: they hear nothing more.
  DataSource1->OnStateChange = nullptr;
  DataSource1->OnDataChange = nullptr;
  DataSource1->Free();
}

void TdlgData::CreateControls() {
  Panel1 = Page(this, "Panel1");
  Text(Panel1, {8, 8, 170, 16}, "Alias names");
  ListBox1 = ListBox(Panel1, "ListBox1", {8, 26, 170, 218});
  Text(Panel1, {188, 26, 168, 90},
       "Select an alias from the\nAlias names list for the\nreport data, then click\nNext to continue.");
  Text(Panel1, {188, 150, 168, 64},
       QStringLiteral("Or take the rows of a JSON or CSV file: they are copied into a table of the alias %1.")
           .arg(QString::fromLatin1(kImportAlias)),
       true);
  Button4 = new QPushButton("From file...", Panel1);
  Button4->setObjectName("Button4");
  Button4->setGeometry(188, 219, 100, 25);
  Button4->setAutoDefault(false);

  Panel2 = Page(this, "Panel2");
  Text(Panel2, {8, 16, 346, 40},
       "You can build report with table or query data. \nChoose below which type of data will be used");
  RadioButton1 = new QRadioButton("Table", Panel2);
  RadioButton1->setObjectName("RadioButton1");
  RadioButton1->setGeometry(32, 76, 120, 22);
  RadioButton1->setChecked(true);
  RadioButton2 = new QRadioButton("Query", Panel2);
  RadioButton2->setObjectName("RadioButton2");
  RadioButton2->setGeometry(32, 102, 120, 22);
  Text(Panel2, {8, 200, 346, 40}, "Click 'Back' to return to the previous screen\nor 'Next' to continue");

  Panel3 = Page(this, "Panel3");
  Panel4 = Page(Panel3, "Panel4");
  Text(Panel4, {8, 8, 170, 16}, "Table names list");
  ListBox2 = ListBox(Panel4, "ListBox2", {8, 26, 170, 218});
  Text(Panel4, {188, 26, 168, 110},
       "Select Table from\nTable names list, then\nclick 'Next' to data\npreview or 'Back' to\nreturn to previous page.");
  Panel5 = Page(Panel3, "Panel5");
  Text(Panel5, {8, 8, 346, 16}, "Enter query SQL text below:");
  Memo1 = new QPlainTextEdit(Panel5);
  Memo1->setObjectName("Memo1");
  Memo1->setGeometry(8, 26, 346, 156);
  // Tab leaves the memo, so the keyboard reaches the buttons; Enter breaks the line.
  Memo1->setTabChangesFocus(true);
  CheckBox1 = new QCheckBox(Panel5);
  CheckBox1->setObjectName("CheckBox1");
  CheckBox1->setGeometry(8, 186, 346, 20);
  CheckBox1->setChecked(true);
  CheckBox1->hide();
  QObject::connect(Memo1, &QPlainTextEdit::textChanged, this, [this] { ShowSqlParameters(); });
  Text(Panel5, {8, 210, 346, 36}, "Click 'Next' to data preview or 'Back' to return to previous page", true);

  Panel6 = Page(this, "Panel6");
  Text(Panel6, {8, 8, 346, 16}, "Data preview page");
  DBNavigator1 = new TDBNavigator(DataSource1, Panel6);
  DBNavigator1->setObjectName("DBNavigator1");
  DBNavigator1->setGeometry(8, 26, 346, 25);
  DBGrid1 = new TDBGrid(DataSource1, Panel6);
  DBGrid1->setObjectName("DBGrid1");
  DBGrid1->setGeometry(8, 54, 346, 152);
  Text(Panel6, {8, 212, 346, 36}, "Click 'Ok' to choose this data or 'Back' to return to previous page.", true);

  auto* bevel = new QFrame(this);
  bevel->setFrameShape(QFrame::HLine);
  bevel->setFrameShadow(QFrame::Sunken);
  bevel->setGeometry(8, 252, 346, 2);

  Button1 = new QPushButton("Cancel", this);
  Button1->setObjectName("Button1");
  Button1->setGeometry(8, 262, 75, 25);
  Button2 = new QPushButton("<< Back", this);
  Button2->setObjectName("Button2");
  Button2->setGeometry(198, 262, 75, 25);
  Button2->setEnabled(false);
  Button3 = new QPushButton("Next >>", this);
  Button3->setObjectName("Button3");
  Button3->setGeometry(279, 262, 75, 25);
  Button3->setDefault(true);
  // Enter presses Next or Ok wherever the focus is on a page, never Cancel or Back.
  Button1->setAutoDefault(false);
  Button2->setAutoDefault(false);

  connect(Button1, &QPushButton::clicked, this, &QDialog::reject);
  connect(Button2, &QPushButton::clicked, this, [this] { BackClick(); });
  connect(Button3, &QPushButton::clicked, this, [this] { NextClick(); });
  connect(Button4, &QPushButton::clicked, this, [this] { FromFileClick(); });
  for (QListWidget* list : {ListBox1, ListBox2}) {
    connect(list, &QListWidget::itemSelectionChanged, this, [this, list] { ListClicked(list); });
    connect(list, &QListWidget::itemDoubleClicked, this, [this, list] { ListDoubleClicked(list); });
  }

  // The page's controls, then the buttons left to right; hidden pages drop out by
  // themselves. Next is last, so when it is disabled under the focus the focus goes to
  // the page rather than to Cancel, where Enter would close the dialog.
  QWidget* order[] = {ListBox1, Button4, RadioButton1, RadioButton2, ListBox2, Memo1, CheckBox1, DBNavigator1, DBGrid1,
                      Button1, Button2, Button3};
  for (size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);
}

bool TdlgData::SelectData(TDataSet*& dataSet, TComponent* owner) {
  NewDataSet = nullptr;
  DataOwner = owner;
  Step = -1;
  UpdatePanels();
  Step = 0;
  UpdateButtons();
  Memo1->clear();
  const bool ok = ExecDialog(*this) == QDialog::Accepted;
  if (!ok) DestroyNewDataSet();
  dataSet = NewDataSet;
  // The dataset is the caller's now; the preview lets go of it.
  NewDataSet = nullptr;
  DataOwner = nullptr;
  DataSource1->SetDataSet(nullptr);
  return ok;
}

// The parameters the text uses, offered as the report's own: asked for before each run.
void TdlgData::ShowSqlParameters() {
  std::string list;
  std::vector<std::string> seen;
  for (const engine::TSqlParamRef& ref : engine::ScanSqlParams(Memo1->toPlainText().toStdString())) {
    if (std::any_of(seen.begin(), seen.end(), [&](const std::string& n) { return SameText(n, ref.Name); })) continue;
    seen.push_back(ref.Name);
    list += (list.empty() ? ":" : ", :") + ref.Name;
  }
  CheckBox1->setText(QString::fromStdString("Ask for " + list + " before each preview and print"));
  CheckBox1->setToolTip(CheckBox1->text());
  CheckBox1->setHidden(list.empty());
}

bool TdlgData::DeclaresParameters() const { return !UseTable && !CheckBox1->isHidden() && CheckBox1->isChecked(); }

void TdlgData::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  HandleErrors([this] { ShowStep(); });
  Button3->setFocus();
}

void TdlgData::BackClick() {
  if (Step <= 0) return;
  --Step;
  HandleErrors([this] { ShowStep(); });
}

void TdlgData::NextClick() {
  ++Step;
  HandleErrors([this] { ShowStep(); });
}

void TdlgData::ShowStep() {
  UpdateButtons();
  UpdatePanels();
  switch (Step) {
    case 0: FillAliases(); break;
    case 1: AliasName = SelectedText(ListBox1); break;
    case 2:
      UseTable = RadioButton1->isChecked();
      Panel4->setVisible(UseTable);
      Panel5->setVisible(!UseTable);
      if (UseTable) FillTables();
      break;
    case 3: OpenDataSet(); break;
    case 4: accept(); break;
    default: break;
  }
}

void TdlgData::FromFileClick() {
  std::optional<std::string> file;
  if (RowFileDialog) {
    file = RowFileDialog();
  } else {
    QFileDialog dialog(this);
    dialog.setWindowTitle("Rows from a file");
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilter(AnyCaseFilters("Rows (*.json *.csv)"));
    if (ExecDialog(dialog) == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
      file = dialog.selectedFiles().first().toStdString();
  }
  if (file) HandleErrors([&] { ImportRowFile(*file); });
}

void TdlgData::ImportRowFile(const std::string& fileName) {
  // Read whole before anything is written: a malformed file changes nothing.
  const TRowSet rows = ReadRowFile(fileName);
  const std::string database = ImportDatabasePath();
  const std::string proposed = ImportTableName(fileName);
  TImportClash clash = TImportClash::Fail;
  if (ImportTableExists(database, proposed)) {
    const std::string file = QFileInfo(QString::fromStdString(fileName)).fileName().toStdString();
    switch (MessageDlg(Format("The alias %s already has a table %s.\n\nYes: replace it with the rows of %s.\n"
                              "No: keep it and copy the rows into a new table.\nCancel: copy nothing.",
                              kImportAlias, proposed, file),
                       mtConfirmation, {mbYes, mbNo, mbCancel})) {
      case mrYes: clash = TImportClash::Replace; break;
      case mrNo: clash = TImportClash::NewName; break;
      default: return;
    }
  }
  // The preview may be reading the table about to be replaced: it lets go first.
  DataSource1->SetDataSet(nullptr);
  DestroyNewDataSet();
  const std::string table = ImportRows(rows, database, proposed, clash);

  // On to the preview, with the pages behind it as if the user had chosen them.
  auto select = [](QListWidget* list, const std::string& text) {
    const auto found = list->findItems(QString::fromStdString(text), Qt::MatchFixedString);
    if (!found.isEmpty()) list->setCurrentItem(found.first());
  };
  FillAliases();
  select(ListBox1, kImportAlias);
  AliasName = kImportAlias;
  RadioButton1->setChecked(true);
  UseTable = true;
  Panel4->setVisible(true);
  Panel5->setVisible(false);
  FillTables();
  select(ListBox2, table);
  Step = 3;
  ShowStep();
}

void TdlgData::UpdateButtons() {
  Button2->setEnabled(Step > 0);
  Button3->setEnabled(true);
  Button3->setText(Step < 3 ? "Next >>" : "Ok");
}

void TdlgData::UpdatePanels() {
  Panel1->setVisible(Step == 0);
  Panel2->setVisible(Step == 1);
  Panel3->setVisible(Step == 2);
  Panel6->setVisible(Step == 3);
}

void TdlgData::FillAliases() {
  Fill(
      ListBox1,
      [] {
        if (!Session().Active()) Session().Open();
        return Session().AliasNames();
      },
      Button3);
}

void TdlgData::FillTables() {
  Fill(ListBox2, [this] { return Session().TableNames(AliasName); }, Button3);
}

void TdlgData::OpenDataSet() {
  DestroyNewDataSet();
  if (UseTable) {
    auto* table = TComponent::Create<TTable>(DataOwner);
    NewDataSet = table;
    table->SetDatabaseName(AliasName);
    table->SetTableName(SelectedText(ListBox2));
  } else {
    auto* query = TComponent::Create<TQuery>(DataOwner);
    NewDataSet = query;
    query->SetDatabaseName(AliasName);
    TStringList sql;
    sql.SetText(Memo1->toPlainText().toStdString());
    query->SetSQL(&sql);
    // Parameters have no values yet: they are bound as null, so the preview shows the
    // columns (and whatever rows a null selects); a report sets them before it prints.
    for (int i = 0; i < query->ParamCount(); ++i) query->Params()[i]->Clear();
  }
  DataSource1->SetDataSet(NewDataSet);
  try {
    NewDataSet->Open();
  } catch (...) {
    Button3->setEnabled(false);
    DestroyNewDataSet();
    throw;
  }
}

void TdlgData::DestroyNewDataSet() {
  if (!NewDataSet) return;
  TDataSet* old = NewDataSet;
  NewDataSet = nullptr;
  // The data source hears of it and lets go.
  old->Free();
}

void TdlgData::ListClicked(QListWidget* list) {
  if (list->isVisibleTo(this)) Button3->setEnabled(HasSelection(list));
}

void TdlgData::ListDoubleClicked(QListWidget* list) {
  if (HasSelection(list)) NextClick();
}

}  // namespace rpt
