// The parameter dialogs driven by the keyboard alone: the values asked for before a
// preview, and Report > Parameters editing the report's list.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <functional>
#include <memory>

#include "app/dlgDataUnit.h"
#include "app/dlgParamsUnit.h"
#include "data/DBTables.h"
#include "tests/app/ShellFixture.h"

namespace rpt {
namespace {

// Runs `steps` on the modal dialog once one shows; one left open afterwards is a failure.
void WhenModal(std::function<void(QDialog*)> steps) {
  auto tries = std::make_shared<int>(0);
  auto poll = std::make_shared<std::function<void()>>();
  *poll = [steps, tries, weak = std::weak_ptr(poll)] {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (!dialog) {
      if (++*tries > 300) {
        ADD_FAILURE() << "no dialog showed";
        return;
      }
      if (auto self = weak.lock()) QTimer::singleShot(10, [self] { (*self)(); });
      return;
    }
    steps(dialog);
    if (dialog->isVisible()) {
      ADD_FAILURE() << "the dialog stayed open";
      dialog->reject();
    }
  };
  QTimer::singleShot(0, [poll] { (*poll)(); });
}

void Click(QWidget* w) { QTest::mouseClick(w, Qt::LeftButton); }
void Keys(QDialog* dialog, const QString& text) { QTest::keyClicks(dialog->focusWidget(), text); }
void Key(QDialog* dialog, Qt::Key key, Qt::KeyboardModifiers mods = {}) {
  QTest::keyClick(dialog->focusWidget() ? dialog->focusWidget() : dialog, key, mods);
}

struct ShellParams : test::ShellTest {
  TfrmDoc* Doc = nullptr;
  std::vector<TQRParamTexts> Runs;
  void SetUp() override {
    setenv("RPT_SAMPLE_DB", RPT_TEST_SAMPLE_DB, 1);
    test::ShellTest::SetUp();
    TdlgRunParams::Remembered().clear();
    Doc = New();
    frmMain->PreviewReport = [this](TfrmDoc* d) { Runs.push_back(d->Report->ParamTexts()); };
  }
  void TearDown() override {
    test::ShellTest::TearDown();
    unsetenv("RPT_SAMPLE_DB");
  }
  TQRParameter* Declare(const char* name, TQRParamType type, const char* def) {
    TQRParameter* p = Doc->Report->Parameters()->AddParameter();
    p->SetName(name), p->SetDataType(type), p->SetDefault(def);
    return p;
  }
};

TEST_F(ShellParams, TheRunDialogTakesTypedValuesByKeyboardRefusesWrongOnesAndRemembersThem) {
  Declare("COUNTRY", ptString, "'Japan'")
      ->SetChoicesSQL("select distinct country from customers where country in ('Austria', 'Japan') order by 1");
  Declare("FROM", ptDate, "'2024-01-31'");
  Declare("TOP", ptInteger, "");
  // The choices come from the report's database; the default is chosen first.
  frmMain->AskParameters = [](TfrmDoc* d) { return TdlgRunParams::AskForRun(d->Report, "Sample", frmMain); };
  WhenModal([&](QDialog* dialog) {
    auto* country = dialog->findChild<QComboBox*>("COUNTRY");
    ASSERT_NE(country, nullptr);
    EXPECT_EQ(country->count(), 2);
    EXPECT_EQ(country->currentText(), "Japan");
    EXPECT_EQ(dialog->focusWidget(), country);
    Key(dialog, Qt::Key_Up);
    Key(dialog, Qt::Key_Tab);
    auto* from = dialog->findChild<QDateEdit*>("FROM");
    ASSERT_NE(from, nullptr);
    EXPECT_EQ(from->text(), "2024-01-31");
    // Tab steps through the date's parts, then on.
    for (int n = 0; n < 4 && dialog->focusWidget() == from; ++n) Key(dialog, Qt::Key_Tab);
    Keys(dialog, "ten");
    answers = {mrOk};
    Key(dialog, Qt::Key_Return);
    ASSERT_EQ(prompts.size(), 1u);
    EXPECT_EQ(prompts[0], "Parameter TOP: 'ten' is not an integer");
    ASSERT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->focusWidget(), dialog->findChild<QLineEdit*>("TOP"));
    Key(dialog, Qt::Key_A, Qt::ControlModifier);
    Keys(dialog, "10");
    Key(dialog, Qt::Key_Return);
  });
  Idle();
  frmMain->Action("actPreview")->trigger();
  ASSERT_EQ(Runs.size(), 1u);
  EXPECT_EQ(Runs[0], (TQRParamTexts{{"COUNTRY", "Austria"}, {"FROM", "2024-01-31"}, {"TOP", "10"}}));

  // Escape: nothing runs. The next dialog shows the values given last.
  WhenModal([&](QDialog* dialog) {
    EXPECT_EQ(dialog->findChild<QComboBox*>("COUNTRY")->currentText(), "Austria");
    EXPECT_EQ(dialog->findChild<QLineEdit*>("TOP")->text(), "10");
    Key(dialog, Qt::Key_Escape);
  });
  Idle();
  frmMain->Action("actPreview")->trigger();
  EXPECT_EQ(Runs.size(), 1u);
  EXPECT_TRUE(errors.empty());
}

TEST_F(ShellParams, ReportParametersAddsEditsOrdersAndDeletes) {
  Declare("FIRST", ptString, "");
  WhenModal([&](QDialog* d) {
    auto* dialog = static_cast<TdlgParams*>(d);
    Click(dialog->AddButton());  // the new name selected for typing
    EXPECT_EQ(dialog->focusWidget(), dialog->NameEdit());
    Keys(dialog, "Till");
    Key(dialog, Qt::Key_Tab);
    Key(dialog, Qt::Key_Down), Key(dialog, Qt::Key_Down), Key(dialog, Qt::Key_Down);  // date
    Key(dialog, Qt::Key_Tab);
    Keys(dialog, "TODAY");
    Click(dialog->UpButton());  // before FIRST
    EXPECT_EQ(dialog->List()->item(0)->text(), "Till (date)");
    // A second parameter of the same name is refused.
    Click(dialog->AddButton());
    Keys(dialog, "first");
    answers = {mrOk};
    Key(dialog, Qt::Key_Return);
    ASSERT_EQ(prompts.size(), 1u);
    EXPECT_EQ(prompts[0], "There are two parameters named first");
    Click(dialog->DeleteButton());
    Key(dialog, Qt::Key_Return);
  });
  Idle();
  frmMain->Action("actParameters")->trigger();
  const TQRParameters& params = *Doc->Report->Parameters();
  ASSERT_EQ(params.Count(), 2);
  EXPECT_EQ(params.Parameter(0)->Name(), "Till");
  EXPECT_EQ(params.Parameter(0)->DataType(), ptDate);
  EXPECT_EQ(params.Parameter(0)->Default(), "TODAY");
  EXPECT_EQ(params.Parameter(1)->Name(), "FIRST");
  EXPECT_TRUE(Doc->Modified);

  // Cancel changes nothing.
  WhenModal([&](QDialog* dialog) {
    Click(static_cast<TdlgParams*>(dialog)->DeleteButton());
    Key(dialog, Qt::Key_Escape);
  });
  Idle();
  frmMain->Action("actParameters")->trigger();
  EXPECT_EQ(params.Count(), 2);
  EXPECT_TRUE(errors.empty());

  // The confirmed edit is one step of the history (undo makes the report anew).
  EXPECT_EQ(Doc->UndoCaption(), "Undo Parameters");
  Doc->Undo();
  EXPECT_EQ(Doc->Report->Parameters()->Count(), 1);
  Doc->Redo();
  ASSERT_EQ(Doc->Report->Parameters()->Count(), 2);
  EXPECT_EQ(Doc->Report->Parameters()->Parameter(0)->Name(), "Till");
}

TEST_F(ShellParams, TheDataWizardsSqlPageDeclaresTheParametersItUses) {
  ASSERT_NE(dlgData, nullptr);
  // The page shows the names the text uses, once each, while it uses any.
  dlgData->Memo1->setPlainText("select * from customers where country = :Country and city <> :CITY or :country = ''");
  EXPECT_FALSE(dlgData->CheckBox1->isHidden());
  EXPECT_EQ(dlgData->CheckBox1->text().toStdString(), "Ask for :Country, :CITY before each preview and print");
  dlgData->Memo1->setPlainText("select * from customers");
  EXPECT_TRUE(dlgData->CheckBox1->isHidden());

  auto* query = TComponent::Create<TQuery>(nullptr);
  query->SetDatabaseName("Sample");
  query->SQL()->SetText("select * from customers where country = :Country and city <> :CITY");
  Doc->AssignDataSet(query);
  frmMain->DeclareParameters(Doc);
  ASSERT_EQ(Doc->Report->Parameters()->Count(), 2);
  EXPECT_EQ(Doc->Report->Parameters()->Parameter(1)->Name(), "CITY");
  EXPECT_TRUE(Doc->Report->UndeclaredSqlParams().empty());
  EXPECT_EQ(Doc->UndoCaption(), "Undo Parameters");
  frmMain->DeclareParameters(Doc);  // nothing left: no second step
  EXPECT_EQ(Doc->Report->Parameters()->Count(), 2);
}

}  // namespace
}  // namespace rpt
