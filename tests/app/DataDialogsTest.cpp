// The data dialog, the field dialog and the lines editor driven as a user would, over the
// sample database, and the document's editors that run them.
#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <cstdlib>
#include <deque>
#include <functional>
#include <memory>

#include "app/DBControls.h"
#include "app/dlgDataUnit.h"
#include "app/dlgFieldsUnit.h"
#include "app/dlgLinesEditorUnit.h"
#include "app/frmDocUnit.h"
#include "app/frmMainUnit.h"
#include "data/DBTables.h"
#include "framework/Application.h"
#include "objects/StringList.h"
#include "report/QRCtrls.h"
#include "tests/support/SqliteExec.h"
#include "tests/app/ShellFixture.h"

namespace rpt {
namespace {

const char* kAmountSql = "SELECT line_id, quantity * unit_price AS Amount, comment FROM order_lines\n"
                         "WHERE order_id = :order";

// Runs `steps` inside the modal loop of a dialog once it shows. A dialog that stays open
// afterwards, or never shows, is a failure; the dialog is cancelled so no test waits.
void WhileShown(QDialog* dialog, std::function<void()> steps) {
  auto tries = std::make_shared<int>(0);
  auto poll = std::make_shared<std::function<void()>>();
  *poll = [dialog, steps, tries, weak = std::weak_ptr(poll)] {
    if (!dialog->isVisible() || QApplication::activeModalWidget() != dialog) {
      if (++*tries > 300) {
        ADD_FAILURE() << dialog->objectName().toStdString() << " never showed";
        return;
      }
      if (auto self = weak.lock()) QTimer::singleShot(10, [self] { (*self)(); });
      return;
    }
    steps();
    if (dialog->isVisible()) {
      ADD_FAILURE() << dialog->objectName().toStdString() << " stayed open";
      dialog->reject();
    }
  };
  QTimer::singleShot(0, [poll] { (*poll)(); });
}

// Input where the dialog's keyboard focus is.
void Key(QDialog* dialog, Qt::Key key, Qt::KeyboardModifiers mods = {}) {
  QWidget* target = dialog->focusWidget() ? dialog->focusWidget() : dialog;
  QTest::keyClick(target, key, mods);
}
void Click(QWidget* w) { QTest::mouseClick(w, Qt::LeftButton); }
QListWidgetItem* Item(QListWidget* list, const char* text) {
  const auto found = list->findItems(text, Qt::MatchExactly);
  return found.isEmpty() ? nullptr : found.first();
}
void ClickItem(QListWidget* list, QListWidgetItem* item, Qt::KeyboardModifiers mods = {}) {
  ASSERT_NE(item, nullptr);
  QTest::mouseClick(list->viewport(), Qt::LeftButton, mods, list->visualItemRect(item).center());
}
void DoubleClickItem(QListWidget* list, QListWidgetItem* item) {
  ASSERT_NE(item, nullptr);
  // The window system's order: a click, then the second press as a double-click.
  const QPoint at = list->visualItemRect(item).center();
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
  QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
}
int DataSetsOwnedBy(const TComponent* owner) {
  int n = 0;
  for (const TComponent* c : owner->OwnedComponents()) n += dynamic_cast<const TDataSet*>(c) != nullptr;
  return n;
}

struct ShellDataDialogs : test::ShellTest {
  TdlgData* D = nullptr;

  ShellDataDialogs() { StubDataDialog = false; }
  void SetUp() override {
    // A private data folder holding one database without tables, no alias file, the
    // sample database of the build.
    QDir(dir.path()).mkpath("databases");
    setenv("RPT_DATA_DIR", qPrintable(dir.filePath("databases")), 1);
    setenv("RPT_ALIAS_FILE", qPrintable(dir.filePath("aliases.ini")), 1);
    setenv("RPT_SAMPLE_DB", RPT_TEST_SAMPLE_DB, 1);
    test::RunSqlite(dir.filePath("databases/empty.db").toStdString(), "PRAGMA user_version = 1;");
    ShellTest::SetUp();
    D = dlgData;
  }
  void TearDown() override {
    ShellTest::TearDown();
    for (const char* v : {"RPT_DATA_DIR", "RPT_ALIAS_FILE", "RPT_SAMPLE_DB"}) unsetenv(v);
  }

  // Page 0 to the preview of a table of the sample database.
  void ToTablePreview(const char* table) {
    ClickItem(D->ListBox1, Item(D->ListBox1, "Sample"));
    Click(D->Button3);
    D->RadioButton1->click();
    Click(D->Button3);
    ClickItem(D->ListBox2, Item(D->ListBox2, table));
    Click(D->Button3);
  }
  TfrmDoc* NewWithTable(const char* table) {
    WhileShown(D, [&] {
      ToTablePreview(table);
      Click(D->Button3);
    });
    frmMain->Action("actNew")->trigger();
    return frmMain->ActiveDocument();
  }
};

TEST_F(ShellDataDialogs, NewBindsATableChosenAliasByTableAndConfirmedOnThePreview) {
  // Fixed dialog borders.
  for (QDialog* dialog : std::initializer_list<QDialog*>{dlgData, dlgFields, dlgLinesEditor})
    EXPECT_EQ(dialog->minimumSize(), dialog->maximumSize()) << dialog->objectName().toStdString();
  EXPECT_EQ(D->windowTitle(), "Data for report");
  EXPECT_EQ(D->size(), QSize(362, 295));
  EXPECT_EQ(dlgFields->windowTitle(), "Fields dialog");
  EXPECT_EQ(dlgFields->size(), QSize(266, 234));
  EXPECT_EQ(dlgLinesEditor->windowTitle(), "Lines editor");
  EXPECT_EQ(dlgLinesEditor->size(), QSize(386, 305));
  WhileShown(D, [&] {
    // Page 0: the aliases, the first selected, Back off, Next the default with the focus.
    EXPECT_TRUE(D->Panel1->isVisible());
    EXPECT_EQ(D->ListBox1->currentItem()->text(), QString::fromStdString(Session().AliasNames().front()));
    EXPECT_NE(Item(D->ListBox1, "empty"), nullptr);
    EXPECT_FALSE(D->Button2->isEnabled());
    EXPECT_TRUE(D->Button3->isDefault());
    EXPECT_EQ(D->focusWidget(), D->Button3);
    // Double-clicking an alias is Next.
    DoubleClickItem(D->ListBox1, Item(D->ListBox1, "Sample"));
    EXPECT_EQ(D->Step, 1);
    EXPECT_EQ(D->AliasName, "Sample");
    EXPECT_TRUE(D->Panel2->isVisible() && D->RadioButton1->isChecked());
    Click(D->Button3);
    ASSERT_TRUE(D->Panel4->isVisible());
    EXPECT_FALSE(D->Panel5->isVisible());
    EXPECT_NE(Item(D->ListBox2, "order_lines"), nullptr);
    // A list without a selection leaves Next disabled.
    ClickItem(D->ListBox2, D->ListBox2->currentItem(), Qt::ControlModifier);
    EXPECT_FALSE(D->Button3->isEnabled());
    ClickItem(D->ListBox2, Item(D->ListBox2, "customers"));
    EXPECT_TRUE(D->Button3->isEnabled());
    Click(D->Button3);
    // The preview: Next is Ok now, the grid shows the fields and the first record.
    ASSERT_TRUE(D->Panel6->isVisible());
    EXPECT_EQ(D->Button3->text(), "Ok");
    QAbstractItemModel* grid = D->DBGrid1->model();
    EXPECT_EQ(grid->headerData(0, Qt::Horizontal).toString(), "customer_id");
    EXPECT_EQ(grid->data(grid->index(0, 0)).toString(), "1");
    Click(D->DBNavigator1->Button(TDBNavigator::nbNext));
    EXPECT_EQ(D->DBGrid1->currentIndex().row(), 1);
    Click(D->Button3);
  });
  frmMain->Action("actNew")->trigger();
  TfrmDoc* doc = frmMain->ActiveDocument();
  ASSERT_NE(doc, nullptr);
  auto* table = dynamic_cast<TTable*>(doc->DataSet);
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(table->Owner(), doc);
  EXPECT_TRUE(table->Active());
  EXPECT_EQ(table->DatabaseName(), "Sample");
  EXPECT_EQ(table->TableName(), "customers");
  EXPECT_EQ(doc->Report->DataSet(), table);
  EXPECT_EQ(D->DataSource1->DataSet(), nullptr);  // the preview let go of it
  EXPECT_TRUE(errors.empty());
}

TEST_F(ShellDataDialogs, AQueryWithAParameterOpensWithTheParameterNullAndTheChoiceOfQueryStays) {
  TDataSet* result = nullptr;
  WhileShown(D, [&] {
    ClickItem(D->ListBox1, Item(D->ListBox1, "Sample"));
    Click(D->Button3);
    D->RadioButton2->click();
    Click(D->Button3);
    ASSERT_TRUE(D->Panel5->isVisible());
    EXPECT_TRUE(D->Button3->isEnabled());
    D->Memo1->setPlainText(kAmountSql);
    Click(D->Button3);
    // No order has the number null: the columns and no rows.
    EXPECT_EQ(D->DBGrid1->model()->columnCount(), 3);
    EXPECT_EQ(D->DBGrid1->model()->headerData(1, Qt::Horizontal).toString(), "Amount");
    EXPECT_EQ(D->DBGrid1->model()->rowCount(), 0);
    EXPECT_FALSE(D->DBNavigator1->Button(TDBNavigator::nbNext)->isEnabled());
    Key(D, Qt::Key_Return);  // Enter takes the default button: Ok
  });
  ASSERT_TRUE(D->SelectData(result, nullptr));
  TOwnedPtr<TDataSet> owned(result);
  auto* query = dynamic_cast<TQuery*>(result);
  ASSERT_NE(query, nullptr);
  ASSERT_EQ(query->ParamCount(), 1);
  EXPECT_EQ(query->Params()[0]->Name(), "order");
  EXPECT_TRUE(query->Params()[0]->IsNull());
  EXPECT_EQ(query->SQL()->Count(), 2);
  EXPECT_TRUE(errors.empty());

  // The next run keeps Query chosen and starts with an empty memo.
  WhileShown(D, [&] {
    Click(D->Button3);
    EXPECT_TRUE(D->RadioButton2->isChecked());
    Click(D->Button3);
    EXPECT_TRUE(D->Memo1->toPlainText().isEmpty());
    Key(D, Qt::Key_Escape);
  });
  EXPECT_FALSE(D->SelectData(result, nullptr));
  EXPECT_EQ(result, nullptr);
}

TEST_F(ShellDataDialogs, FailuresKeepTheUserOnThePageAnAliasWithoutTablesAndAnEmptyQuery) {
  TDataSet* result = reinterpret_cast<TDataSet*>(1);
  WhileShown(D, [&] {
    ClickItem(D->ListBox1, Item(D->ListBox1, "empty"));
    Click(D->Button3);
    D->RadioButton1->click();
    Click(D->Button3);
    EXPECT_EQ(D->ListBox2->count(), 0);
    EXPECT_FALSE(D->Button3->isEnabled());
    Key(D, Qt::Key_Return);
    EXPECT_EQ(D->Step, 2);
    // Back, a query with no SQL: the engine's refusal, on the preview page.
    Click(D->Button2);
    D->RadioButton2->click();
    Click(D->Button3);
    Click(D->Button3);
    EXPECT_EQ(D->Step, 3);
    EXPECT_TRUE(D->Panel6->isVisible());
    EXPECT_FALSE(D->Button3->isEnabled());
    EXPECT_EQ(D->NewDataSet, nullptr);
    EXPECT_EQ(D->DBGrid1->model()->columnCount(), 0);
    Click(D->Button2);
    EXPECT_TRUE(D->Panel5->isVisible());
    EXPECT_TRUE(D->Button3->isEnabled());
    Click(D->Button1);
  });
  EXPECT_FALSE(D->SelectData(result, nullptr));
  EXPECT_EQ(result, nullptr);
  // The message is the engine's own.
  TOwnedPtr<TQuery> query(TComponent::Create<TQuery>(nullptr));
  query->SetDatabaseName("empty");
  std::string engine;
  try {
    query->Open();
  } catch (const EDatabaseError& e) {
    engine = e.what();
  }
  ASSERT_FALSE(engine.empty());
  EXPECT_EQ(errors, std::vector<std::string>{engine});
}

TEST_F(ShellDataDialogs, AnUnreachableServerAndABrokenAliasFileAreReportedAndStopTheWizard) {
  auto writeAliases = [this](const char* text) {
    QFile file(dir.filePath("aliases.ini"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
  };
  // Nothing listens on port 1: listing the server's tables fails on page 2.
  writeAliases("[Far]\nDriver = PostgreSQL\nHost = 127.0.0.1\nPort = 1\nDatabase = none\nUser = nobody\n"
               "Password = x\n");
  WhileShown(D, [&] {
    ClickItem(D->ListBox1, Item(D->ListBox1, "Far"));
    Click(D->Button3);
    D->RadioButton1->click();
    Click(D->Button3);
    EXPECT_EQ(D->Step, 2);
    EXPECT_EQ(D->ListBox2->count(), 0);
    EXPECT_FALSE(D->Button3->isEnabled());
    Key(D, Qt::Key_Escape);
  });
  TDataSet* result = nullptr;
  EXPECT_FALSE(D->SelectData(result, nullptr));
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_FALSE(errors[0].empty());
  // A broken alias file: page 0 names its line and offers nothing to go on with.
  writeAliases("[Broken\n");
  WhileShown(D, [&] {
    EXPECT_EQ(D->ListBox1->count(), 0);
    EXPECT_FALSE(D->Button3->isEnabled());
    Key(D, Qt::Key_Escape);
  });
  EXPECT_FALSE(D->SelectData(result, nullptr));
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_NE(errors[1].find("aliases.ini, line 1"), std::string::npos) << errors[1];
}

TEST_F(ShellDataDialogs, CancelOnEveryPageLeavesTheDocumentAsItWas) {
  TfrmDoc* doc = NewWithTable("categories");
  ASSERT_NE(doc, nullptr);
  TDataSet* bound = doc->DataSet;
  ASSERT_NE(bound, nullptr);
  doc->Modified = false;
  for (int page = 0; page <= 3; ++page) {
    WhileShown(D, [&] {
      if (page == 3) {
        ToTablePreview("products");
        EXPECT_NE(D->NewDataSet, nullptr);
        EXPECT_EQ(DataSetsOwnedBy(doc), 2);
      } else {
        for (int i = 0; i < page; ++i) Click(D->Button3);
      }
      EXPECT_EQ(D->Step, page);
      // Esc from page 0 and 2, the Cancel button from the others.
      if (page % 2 == 0)
        Key(D, Qt::Key_Escape);
      else
        Click(D->Button1);
    });
    // The main window has the activation back after each run, and Ctrl+F10 is Change data.
    ASSERT_TRUE(QTest::qWaitForWindowActive(frmMain));
    QTest::keyClick(frmMain, Qt::Key_F10, Qt::ControlModifier);
    EXPECT_EQ(doc->DataSet, bound) << page;
    EXPECT_EQ(DataSetsOwnedBy(doc), 1) << page;
    EXPECT_FALSE(doc->Modified) << page;
  }
  // Confirmed, Change data rebinds and marks the document.
  WhileShown(D, [&] {
    ToTablePreview("products");
    Click(D->Button3);
  });
  frmMain->Action("actChangeData")->trigger();
  ASSERT_NE(doc->DataSet, bound);
  EXPECT_EQ(dynamic_cast<TTable*>(doc->DataSet)->TableName(), "products");
  EXPECT_EQ(DataSetsOwnedBy(doc), 1);
  EXPECT_TRUE(doc->Modified);
  // A cancelled New leaves no window.
  const size_t windows = frmMain->Documents().size();
  WhileShown(D, [&] { Key(D, Qt::Key_Escape); });
  frmMain->Action("actNew")->trigger();
  QCoreApplication::processEvents();
  EXPECT_EQ(frmMain->Documents().size(), windows);
  EXPECT_TRUE(errors.empty());
}

// From file...: a malformed file is reported by line and column and makes nothing; a
// good one becomes a table of Imported, previewed with the pages behind it filled in. A
// name already taken is asked about, also while the preview still reads that table.
TEST_F(ShellDataDialogs, FromFileCopiesTheRowsIntoImportedAndPreviewsThem) {
  auto write = [this](const char* name, const char* text) -> std::string {
    QDir(dir.path()).mkpath(QFileInfo(dir.filePath(name)).path());
    QFile file(dir.filePath(name));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
    return Path(name);
  };
  std::deque<std::string> files = {write("bad.csv", "id,name\n1,\"open\n2,b\n"),
                                   write("sales.csv", "id,name,amount\n1,Zoë,2.5\n2,,3\n"),
                                   write("new/sales.json", R"([{"id": 7, "name": "seven"}])"), Path("sales.csv")};
  D->RowFileDialog = [&files]() -> std::optional<std::string> {
    if (files.empty()) return std::nullopt;
    const std::string f = files.front();
    files.pop_front();
    return f;
  };
  const QString database = dir.filePath("databases/Imported.db");
  TDataSet* result = nullptr;
  answers = {mrYes, mrNo};
  WhileShown(D, [&] {
    Click(D->Button4);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("bad.csv, line 2, column 3"), std::string::npos) << errors[0];
    EXPECT_EQ(D->Step, 0);
    EXPECT_FALSE(QFile::exists(database));

    Click(D->Button4);
    ASSERT_EQ(D->Step, 3);
    EXPECT_TRUE(D->Panel6->isVisible());
    QAbstractItemModel* grid = D->DBGrid1->model();
    EXPECT_EQ(grid->columnCount(), 3);
    EXPECT_EQ(grid->data(grid->index(0, 1)).toString(), "Zoë");
    EXPECT_EQ(grid->data(grid->index(1, 1)).toString(), "");
    Click(D->Button2);
    EXPECT_EQ(D->ListBox2->currentItem()->text(), "sales");
    Click(D->Button2);
    Click(D->Button2);
    EXPECT_NE(Item(D->ListBox1, "Imported"), nullptr);
    // The preview of sales is still open: Yes replaces the table all the same.
    Click(D->Button4);
    ASSERT_EQ(D->Step, 3);
    EXPECT_EQ(D->DBGrid1->model()->data(D->DBGrid1->model()->index(0, 1)).toString(), "seven");
    for (int i = 0; i < 3; ++i) Click(D->Button2);
    // No keeps it and takes a new name.
    Click(D->Button4);
    Click(D->Button3);
  });
  ASSERT_TRUE(D->SelectData(result, nullptr));
  TOwnedPtr<TDataSet> owned(result);
  auto* table = dynamic_cast<TTable*>(result);
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(table->DatabaseName(), "Imported");
  EXPECT_EQ(table->TableName(), "sales_2");
  EXPECT_EQ(table->FieldByName("amount")->AsFloat(), 2.5);
  ASSERT_EQ(prompts.size(), 2u);
  EXPECT_NE(prompts[0].find("already has a table sales"), std::string::npos) << prompts[0];
  EXPECT_EQ(Session().TableNames("Imported"), (std::vector<std::string>{"sales", "sales_2"}));
  EXPECT_EQ(errors.size(), 1u);
}

TEST_F(ShellDataDialogs, ThePreviewReadsOnlyTheRowsItShowsAndFollowsTheNavigator) {
  WhileShown(D, [&] {
    ToTablePreview("order_lines");  // 60,000 records
    TDataSetModel* model = D->DBGrid1->Model();
    TDataSet* ds = model->DataSet();
    ASSERT_NE(ds, nullptr);
    QCoreApplication::processEvents();
    EXPECT_LE(model->RecordsRead(), 2 * TDataSetModel::kBlock);
    EXPECT_LT(model->rowCount(), 200);
    // Reading leaves the dataset where it was, flags included.
    while (model->rowCount() <= 150 && model->canFetchMore({})) model->fetchMore({});
    EXPECT_EQ(model->rowCount(), 3 * TDataSetModel::kBlock);
    EXPECT_EQ(model->data(model->index(150, 0)).toString(), "151");
    EXPECT_EQ(ds->RecNo(), 1);
    EXPECT_TRUE(ds->Bof());
    EXPECT_FALSE(D->DBNavigator1->Button(TDBNavigator::nbPrior)->isEnabled());
    Click(D->DBNavigator1->Button(TDBNavigator::nbLast));
    EXPECT_EQ(model->rowCount(), 60000);
    EXPECT_EQ(model->CurrentRow(), 59999);
    EXPECT_EQ(D->DBGrid1->currentIndex().row(), 59999);
    EXPECT_EQ(model->data(model->index(59999, 0)).toString(), "60000");
    EXPECT_TRUE(ds->Eof());
    // Far back and forth: only the blocks shown stay, the dataset stays on the last.
    for (int row : {0, 5000, 30000, 100, 59000, 12345, 40000, 7, 20000, 59990})
      EXPECT_EQ(model->data(model->index(row, 0)).toString(), QString::number(row + 1));
    EXPECT_LE(model->BlocksKept(), TDataSetModel::kBlocks);
    EXPECT_EQ(ds->RecNo(), 60000);
    EXPECT_TRUE(ds->Eof());
    EXPECT_FALSE(D->DBNavigator1->Button(TDBNavigator::nbNext)->isEnabled());
    // Choosing a row in the grid makes it the current record.
    D->DBGrid1->setCurrentIndex(model->index(12345, 1));
    EXPECT_EQ(ds->RecNo(), 12346);
    Click(D->DBNavigator1->Button(TDBNavigator::nbFirst));
    EXPECT_EQ(D->DBGrid1->currentIndex().row(), 0);
    Click(D->Button1);
  });
  TDataSet* result = nullptr;
  EXPECT_FALSE(D->SelectData(result, nullptr));
  EXPECT_TRUE(errors.empty());
}

struct ShellFieldAndLines : ShellDataDialogs {
  TOwnedPtr<TQuery> Q;
  void SetUp() override {
    ShellDataDialogs::SetUp();
    Q.reset(TComponent::Create<TQuery>(nullptr));
    Q->SetDatabaseName("Sample");
    TStringList sql;
    sql.SetText(kAmountSql);
    Q->SetSQL(&sql);
  }
  void TearDown() override {
    Q.reset();
    ShellDataDialogs::TearDown();
  }
  // Picks a field in the field dialog once it shows.
  static void PickField(const char* name) {
    WhileShown(dlgFields, [name] {
      ClickItem(dlgFields->ListBox1, Item(dlgFields->ListBox1, name));
      Click(dlgFields->OkButton);
    });
  }
};

TEST_F(ShellFieldAndLines, TheFieldDialogListsTheFieldsAndOkWaitsForAClick) {
  std::string name = "Amount";
  WhileShown(dlgFields, [&] {
    QListWidget* list = dlgFields->ListBox1;
    ASSERT_EQ(list->count(), 3);
    EXPECT_EQ(list->item(0)->text(), "line_id");
    // The name passed in is not preselected.
    EXPECT_TRUE(list->selectedItems().isEmpty());
    EXPECT_FALSE(dlgFields->OkButton->isEnabled());
    Key(dlgFields, Qt::Key_Return);
    EXPECT_TRUE(dlgFields->isVisible());
    ClickItem(list, Item(list, "comment"));
    EXPECT_TRUE(dlgFields->OkButton->isEnabled());
    Key(dlgFields, Qt::Key_Escape);
  });
  EXPECT_FALSE(dlgFields->SelectField(Q.get(), name));  // the closed query was opened to list them
  EXPECT_EQ(name, "Amount");
  WhileShown(dlgFields, [&] { DoubleClickItem(dlgFields->ListBox1, Item(dlgFields->ListBox1, "comment")); });
  EXPECT_TRUE(dlgFields->SelectField(Q.get(), name));
  EXPECT_EQ(name, "comment");
}

TEST_F(ShellFieldAndLines, TheLinesEditorEndsEveryLineWithCrLfAndInsertsABareFieldName) {
  TdlgLinesEditor* E = dlgLinesEditor;
  std::string text = "a+b";
  WhileShown(E, [&] {
    EXPECT_FALSE(E->InsertButton->isEnabled());  // no dataset to take a field from
    Click(E->OkButton);
  });
  ASSERT_TRUE(E->EditText(text, nullptr));
  EXPECT_EQ(text, "a+b\r\n");

  text = "SUM()";
  WhileShown(E, [&] {
    ASSERT_TRUE(E->InsertButton->isEnabled());
    QTextCursor caret = E->Memo1->textCursor();
    caret.setPosition(4);
    E->Memo1->setTextCursor(caret);
    PickField("Amount");
    Click(E->InsertButton);
    EXPECT_EQ(E->Memo1->textCursor().selectedText(), "Amount");
    EXPECT_EQ(E->Memo1->textCursor().selectionStart(), 4);
    // A selection is replaced: "b" of the second line by comment.
    E->Memo1->setPlainText("a\nb\n");
    caret = E->Memo1->textCursor();
    caret.setPosition(2);
    caret.setPosition(3, QTextCursor::KeepAnchor);
    E->Memo1->setTextCursor(caret);
    PickField("comment");
    Click(E->InsertButton);
    EXPECT_EQ(E->MemoLines(), (std::vector<std::string>{"a", "comment"}));
    EXPECT_EQ(E->Memo1->textCursor().selectedText(), "comment");
    E->Memo1->setPlainText("SUM(Amount)\n");
    Click(E->OkButton);
  });
  ASSERT_TRUE(E->EditText(text, Q.get()));
  EXPECT_EQ(text, "SUM(Amount)\r\n");

  // Lines: a copy is edited; Cancel keeps the list, Ok copies the memo's lines back.
  TStringList lines;
  lines.SetText("one\ntwo\n\nfour");
  for (bool confirm : {false, true}) {
    WhileShown(E, [&] {
      EXPECT_EQ(E->MemoLines(), lines.Lines());
      E->Memo1->moveCursor(QTextCursor::End);
      QTest::keyClicks(E->Memo1, "five");
      Key(E, Qt::Key_Return);  // a line break in the memo, not Ok
      EXPECT_TRUE(E->isVisible());
      if (confirm)
        Click(E->OkButton);
      else
        Key(E, Qt::Key_Escape);
    });
    EXPECT_EQ(E->EditLines(&lines, nullptr), confirm);
  }
  EXPECT_EQ(lines.Lines(), (std::vector<std::string>{"one", "two", "", "four", "five"}));
}

TEST_F(ShellFieldAndLines, DocumentEditorsSetTheFieldTheLinesAndTheExpression) {
  frmMain->DataDialog = [](TfrmDoc*) { return true; };
  frmMain->Action("actNew")->trigger();
  TfrmDoc* doc = frmMain->ActiveDocument();
  ASSERT_NE(doc, nullptr);
  auto add = [doc](const char* className, const char* name) {
    const TClassDescriptor* cls = FindStreamClass(className);
    auto* c = cls ? static_cast<TControl*>(cls->CreateComponent(doc->Report)) : nullptr;
    if (c) {
      c->SetName(name);
      c->SetParent(doc->Report->FindBand(rbDetail));
    }
    return c;
  };
  TControl* field = add("TQRDBText", "DBText1");
  TControl* memo = add("TQRMemo", "Memo1");
  TControl* exprMemo = add("TQRExprMemo", "ExprMemo1");
  TControl* expr = add("TQRExpr", "Expr1");
  if (!field || !expr) GTEST_SKIP() << "the data field and expression classes are not registered";
  auto text = [](TControl* c, const char* property) { return GetStrProp(c, *GetPropInfo(c, property)); };

  auto enter = [doc] {
    char key = char(VK_RETURN);
    doc->ZQKDesigner1->DoKeyPress(key);
  };
  // No dataset yet: the data field's editor says so and changes nothing.
  doc->ZQKDesigner1->Select({field});
  EXPECT_THROW(doc->ZQKDesigner1->DoDblClick(), Exception);
  EXPECT_FALSE(doc->Modified);

  Q->Open();
  doc->AssignDataSet(Q.release());
  PickField("Amount");
  doc->ZQKDesigner1->DoDblClick();
  EXPECT_EQ(text(field, "DataField"), "Amount");
  EXPECT_TRUE(doc->Modified);
  // Enter opens it too; the other keys type into the field name.
  doc->Modified = false;
  PickField("comment");
  enter();
  EXPECT_EQ(text(field, "DataField"), "comment");
  EXPECT_TRUE(doc->Modified);

  // Memos and expression memos: the lines editor on their lines, by double-click and Enter.
  for (TControl* lines : {memo, exprMemo}) {
    if (!lines) continue;
    doc->ZQKDesigner1->Select({lines});
    for (bool byEnter : {false, true}) {
      doc->Modified = false;
      WhileShown(dlgLinesEditor, [byEnter] {
        EXPECT_TRUE(dlgLinesEditor->InsertButton->isEnabled());
        PickField(byEnter ? "comment" : "Amount");
        Click(dlgLinesEditor->InsertButton);
        Click(dlgLinesEditor->OkButton);
      });
      if (byEnter)
        enter();
      else
        doc->ZQKDesigner1->DoDblClick();
      EXPECT_TRUE(doc->Modified);
    }
    auto* list = dynamic_cast<TStrings*>(GetObjectProp(lines, *GetPropInfo(lines, "Lines")));
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->Lines(), std::vector<std::string>{"commentAmount"}) << lines->Name();
  }

  doc->ZQKDesigner1->Select({expr});
  doc->Modified = false;
  WhileShown(dlgLinesEditor, [] {
    dlgLinesEditor->Memo1->setPlainText("SUM(Amount)");
    Click(dlgLinesEditor->OkButton);
  });
  enter();
  EXPECT_EQ(text(expr, "Expression"), "SUM(Amount)\r\n");
  EXPECT_TRUE(doc->Modified);
  // Cancelled editors change nothing; a band opens none.
  doc->Modified = false;
  WhileShown(dlgLinesEditor, [] { Key(dlgLinesEditor, Qt::Key_Escape); });
  doc->ZQKDesigner1->DoDblClick();
  doc->ZQKDesigner1->Select({doc->Report->FindBand(rbDetail)});
  doc->ZQKDesigner1->DoDblClick();
  EXPECT_FALSE(doc->Modified);
  EXPECT_TRUE(errors.empty());
}

}  // namespace
}  // namespace rpt
