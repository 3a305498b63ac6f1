#include <gtest/gtest.h>

#include <QCheckBox>
#include <QClipboard>
#include <QGuiApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>

#include "app/dlgReportPropsUnit.h"
#include "app/frmDocUnit.h"
#include "app/frmMainUnit.h"
#include "framework/Application.h"
#include "report/QRCtrls.h"

namespace rpt {
namespace {

struct ShellReportProps : ::testing::Test {
  std::vector<std::string> prompts;  // message boxes, each answered Ok
  QLocale savedLocale;
  bool stayedOpen = false;

  void SetUp() override {
    QLocale::setDefault(QLocale::c());
    SetUseInchDefaults(false);
    RegisterReportClasses();
    SetMessageBoxHook([this](const std::string& text, TMsgDlgType, TMsgDlgButtons) {
      prompts.push_back(text);
      return int(mrOk);
    });
    CreateSingleInstanceWindows();
    frmMain->DataDialog = [](TfrmDoc*) { return true; };
    frmMain->show();
    Activate();
  }
  void TearDown() override {
    for (TfrmDoc* d : frmMain->Documents()) d->Modified = false;
    frmMain->CloseAllDocuments();
    DestroySingleInstanceWindows();
    SetMessageBoxHook(nullptr);
    QLocale::setDefault(savedLocale);
  }
  static void Activate() {
    QApplication::setActiveWindow(frmMain);
    ASSERT_TRUE(QTest::qWaitForWindowActive(frmMain));
  }
  // A new document's report: A4 in millimetres, margins 10 mm.
  static TQuickRep* NewReport() {
    frmMain->Action("actNew")->trigger();
    TQuickRep* r = frmMain->ActiveDocument()->Report;
    r->Page()->SetPaperSize(TQRPaperSize::A4);
    r->SetUnits(MM);
    return r;
  }
  static TdlgReportProps* Dialog() { return static_cast<TdlgReportProps*>(dlgReportProps); }
  template <class T = QLineEdit>
  static T* Get(const char* name) {
    T* w = Dialog()->findChild<T*>(name);
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  // Runs the dialog; `whileOpen` acts while it is shown. One still open afterwards is
  // noted and cancelled.
  bool Run(TQuickRep* report, const std::function<void()>& whileOpen) {
    stayedOpen = false;
    QTimer::singleShot(0, [&] {
      whileOpen();
      if ((stayedOpen = Dialog()->isVisible())) Dialog()->reject();
    });
    return Dialog()->EditPageSettings(report);
  }
  static void Retype(const char* box, const char* text) {
    Get(box)->selectAll();
    QTest::keyClicks(Get(box), text);
  }
  // Enter in a number box (a focused button would take Enter itself).
  static void Confirm() {
    Get("Edit3")->setFocus();
    QTest::keyClick(Get("Edit3"), Qt::Key_Return);
  }
};

TEST_F(ShellReportProps, NumberTextIsTheShortestOfAtMost15DigitsInTheLocale) {
  EXPECT_EQ(FloatText(210), "210");
  EXPECT_EQ(FloatText(2100 / 254.0L), "8.26771653543307");
  for (const char* bad : {"", "1,5", "1,000", "x", "inf", "nan", "1e999"}) EXPECT_FALSE(IsFloatText(bad)) << bad;
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  EXPECT_EQ(FloatText(1234.5L), "1234,5");
  Extended v = 0;
  EXPECT_TRUE(IsFloatText("1,5", &v) && v == 1.5L);
  EXPECT_FALSE(IsFloatText("1.000"));
}

TEST_F(ShellReportProps, OkWithoutChangesKeepsEveryValueExactlyInEveryUnit) {
  TQuickRep* r = NewReport();
  TQRPage* page = r->Page();
  page->SetPaperSize(TQRPaperSize::Custom);
  const Extended millimetres[7] = {12.3456L, 297.01L, 9.99L, 100.0L / 3, 7.77L, 3.33L, 1.25L};
  Extended natives[7];
  for (int i = 0; i < 7; ++i) {
    page->SetValue(i, millimetres[i]);
    natives[i] = page->NativeValue(i);
  }
  page->SetOrientation(poLandscape);
  page->SetColumns(3);
  r->SetOptions({LastPageFooter, Compression});
  const char* boxes[] = {"Edit6", "Edit2", "Edit5", "Edit1", "Edit3", "Edit4", "Edit7"};  // by page index
  for (TQRUnit unit : {MM, Inches, Pixels, Characters, Native}) {
    r->SetUnits(unit);
    ASSERT_TRUE(Run(r, [&] {
      EXPECT_EQ(Get<QComboBox>("ComboBox1")->currentText(), "Custom");
      EXPECT_EQ(Get<QComboBox>("ComboBox2")->currentText(), "Landscape");
      EXPECT_EQ(Get<QComboBox>("ComboBox3")->currentIndex(), int(unit));
      EXPECT_EQ(Get<QSpinBox>("Edit8")->value(), 3);
      EXPECT_FALSE(Get<QCheckBox>("CheckBox1")->isChecked());
      EXPECT_TRUE(Get<QCheckBox>("CheckBox2")->isChecked());
      for (int i = 0; i < 7; ++i) EXPECT_EQ(Get(boxes[i])->text(), FloatText(page->GetValue(i))) << boxes[i];
      Confirm();
    }));
    for (int i = 0; i < 7; ++i) EXPECT_EQ(page->NativeValue(i), natives[i]) << "unit " << unit << " value " << i;
    EXPECT_TRUE(page->PaperSize() == TQRPaperSize::Custom && page->Orientation() == poLandscape);
    EXPECT_TRUE(page->Columns() == 3 && r->Units() == unit);
    EXPECT_EQ(r->Options(), TOstrelOptions({LastPageFooter, Compression}));
    EXPECT_TRUE(r->Font()->Name() == "Arial" && r->Font()->Height() == -13);
  }
}

TEST_F(ShellReportProps, PaperChoiceDecidesTheCustomSizeBoxesAndLetterMustBeReplaced) {
  TQuickRep* r = NewReport();
  r->Page()->SetPaperSize(TQRPaperSize::Letter);
  EXPECT_FALSE(Run(r, [&] {
    auto* paper = Get<QComboBox>("ComboBox1");
    EXPECT_EQ(paper->currentIndex(), -1);
    Retype("Edit4", "7");
    Confirm();
    EXPECT_EQ(prompts, std::vector<std::string>{"You must select paper type"});
    EXPECT_EQ(Get("Edit4")->text(), "7");
    paper->setCurrentIndex(2);  // A4
    EXPECT_TRUE(Get("Edit1")->text().isEmpty() && Get("Edit2")->text().isEmpty());
    EXPECT_FALSE(Get("Edit1")->isEnabled() || Get("Edit2")->isEnabled() || Get<QLabel>("Label2")->isEnabled());
    paper->setCurrentIndex(7);  // Custom: the page's current size
    EXPECT_TRUE(Get("Edit1")->text() == "215.9" && Get("Edit2")->text() == "279.4");
    EXPECT_TRUE(Get("Edit2")->isEnabled() && Get<QLabel>("Label1")->isEnabled());
  }));
  EXPECT_TRUE(stayedOpen);
  EXPECT_EQ(r->Page()->PaperSize(), TQRPaperSize::Letter);
}

TEST_F(ShellReportProps, OnlyTheFirstWrongEntryIsReportedAndTheReportStaysUnchanged) {
  TQuickRep* r = NewReport();
  EXPECT_FALSE(Run(r, [&] {
    for (const char* box : {"Edit3", "Edit4", "Edit7"}) Get(box)->clear();
    Confirm();
    Retype("Edit3", "5");
    Confirm();
    Get<QComboBox>("ComboBox1")->setCurrentIndex(7);
    Get("Edit2")->clear();
    Confirm();
  }));
  EXPECT_TRUE(stayedOpen);
  EXPECT_EQ(prompts, (std::vector<std::string>{"Wrong left margin", "Wrong right margin", "Wrong page height"}));
  EXPECT_TRUE(r->Page()->PaperSize() == TQRPaperSize::A4 && r->Page()->NativeValue(pvLeftMargin) == 100);
}

TEST_F(ShellReportProps, NumberBoxesRefuseOnlyCharactersThatCannotBeInANumber) {
  TQuickRep* r = NewReport();
  Run(r, [&] {
    QLineEdit* e = Get("Edit3");
    e->setFocus();
    e->end(false);
    QTest::keyClick(e, Qt::Key_Backspace);
    QTest::keyClick(e, Qt::Key_5);
    EXPECT_EQ(e->text(), "15") << "Backspace edits";
    for (auto key : {Qt::Key_X, Qt::Key_Minus, Qt::Key_Comma, Qt::Key_Space}) QTest::keyClick(e, key);
    QTest::keyClicks(e, "0.5");
    EXPECT_EQ(e->text(), "150.5");
    QTest::keyClick(e, Qt::Key_Home);
    QTest::keyClick(e, Qt::Key_Delete);
    EXPECT_EQ(e->text(), "50.5");
    QTest::keyClick(e, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(e->selectedText(), "50.5") << "Ctrl+A selects";
    QGuiApplication::clipboard()->setText("12.25");
    QTest::keyClick(e, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(e->text(), "12.25") << "paste replaces the selection";
  });
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  r->Page()->SetValue(pvTopMargin, 12.5L);
  Run(r, [&] {
    QLineEdit* e = Get("Edit5");
    e->end(false);
    QTest::keyClicks(e, ".,7");
    EXPECT_EQ(e->text(), "12,5,7");
  });
}

TEST_F(ShellReportProps, MarginsThatLeaveNoRoomAreRefusedNamingTheFieldAndTheRoom) {
  TQuickRep* r = NewReport();
  EXPECT_FALSE(Run(r, [&] {
    Retype("Edit4", "500");  // right margin on A4
    Confirm();
    Retype("Edit4", "10");
    Retype("Edit3", "210");
    Confirm();
    Retype("Edit3", "10");
    Get<QComboBox>("ComboBox2")->setCurrentIndex(1);  // landscape: 210 mm high
    Retype("Edit6", "200");
    Confirm();
    Retype("Edit6", "10");
    Get<QSpinBox>("Edit8")->setValue(3);
    Retype("Edit7", "138.5");  // 277 mm across, two spaces
    Confirm();
    Get("Edit3")->setText("-1");  // pasted
    Confirm();
  }));
  EXPECT_TRUE(stayedOpen);
  EXPECT_EQ(prompts, (std::vector<std::string>{
                         "Wrong right margin: the paper is 210 mm wide and the left margin takes 10 mm; it must be "
                         "less than 200 mm",
                         "Wrong left margin: the paper is 210 mm wide; it must be less than 210 mm",
                         "Wrong bottom margin: the paper is 210 mm high and the top margin takes 10 mm; it must be "
                         "less than 200 mm",
                         "Wrong column space: the margins leave 277 mm across for 3 columns; it must be less than "
                         "138.5 mm",
                         "Wrong left margin: it cannot be negative"}));
  EXPECT_EQ(r->Page()->NativeValue(pvRightMargin), 100);
  EXPECT_EQ(r->Page()->Orientation(), poPortrait);
  // What leaves room is taken, in the unit of the report.
  r->SetUnits(Inches);
  ASSERT_TRUE(Run(r, [&] {
    Retype("Edit4", "8");  // 8.27 in wide, 0.39 in left
    Confirm();
    EXPECT_EQ(prompts.back(),
              "Wrong right margin: the paper is 8.26771653543307 in wide and the left margin takes 0.393700787401575 "
              "in; it must be less than 7.8740157480315 in");
    Retype("Edit4", "7.5");
    Confirm();
  }));
  EXPECT_NEAR(static_cast<double>(r->Page()->NativeValue(pvRightMargin)), 1905, 1e-9);
}

TEST_F(ShellReportProps, NumbersAreTakenInTheUnitTheReportHadAndColumnsAreTypedOrMovedByArrows) {
  TQuickRep* r = NewReport();
  ASSERT_TRUE(Run(r, [&] {
    Retype("Edit3", "20");
    Get<QComboBox>("ComboBox3")->setCurrentIndex(1);  // Inches
    auto* columns = Get<QSpinBox>("Edit8");
    columns->selectAll();
    QTest::keyClicks(columns, "7");
    EXPECT_EQ(columns->value(), 7);
    for (int i = 0; i < 25; ++i) QTest::keyClick(columns, Qt::Key_Up);
    EXPECT_EQ(columns->value(), 20);
    for (int i = 0; i < 25; ++i) QTest::keyClick(columns, Qt::Key_Down);
    EXPECT_EQ(columns->value(), 1);
    QTest::keyClick(columns, Qt::Key_Up);
    Confirm();
  }));
  EXPECT_EQ(r->Page()->NativeValue(pvLeftMargin), 200);
  EXPECT_EQ(r->Units(), Inches);
  EXPECT_EQ(r->Page()->Columns(), 2);
  Run(r, [&] { EXPECT_EQ(Get("Edit3")->text(), "0.78740157480315"); });
}

TEST_F(ShellReportProps, AChangedFontReachesTheReportOnlyWithOk) {
  TQuickRep* r = NewReport();
  r->Font()->SetColor(clRed);
  int asked = 0;
  Dialog()->FontDialog = [&](const QFont& initial) -> std::optional<QFont> {
    EXPECT_TRUE(initial.family() == "Arial" && initial.pointSizeF() == 9.75);  // Height -13 at 96 ppi
    if (++asked == 1) return std::nullopt;
    QFont f("DejaVu Serif");
    f.setPointSize(14);
    f.setBold(true);
    return f;
  };
  auto change = [] { QTest::mouseClick(Get<QPushButton>("Button3"), Qt::LeftButton); };
  EXPECT_FALSE(Run(r, [&] {
    change();
    EXPECT_EQ(Dialog()->PanelFont().Name(), "Arial");
    change();
    EXPECT_EQ(Get<QLabel>("Panel1")->font().family(), "DejaVu Serif");
    QTest::keyClick(Get("Edit3"), Qt::Key_Escape);
  }));
  EXPECT_EQ(r->Font()->Name(), "Arial");
  ASSERT_TRUE(Run(r, [&] {
    change();
    Confirm();
  }));
  EXPECT_TRUE(r->Font()->Name() == "DejaVu Serif" && r->Font()->Height() == -19);
  EXPECT_TRUE(r->Font()->Style() == TFontStyles({fsBold}) && r->Font()->Color() == clRed);
  // An unchanged size keeps a positive cell height; a new one is in the font's own ppi.
  TFont font;
  font.SetHeight(20);
  AssignWidgetFont(font, ToWidgetFont(font));
  EXPECT_EQ(font.Height(), 20);
  font.SetPixelsPerInch(120);
  QFont chosen = ToWidgetFont(font);
  chosen.setPointSize(15);
  AssignWidgetFont(font, chosen);
  EXPECT_EQ(font.Height(), -25);
}

TEST_F(ShellReportProps, KeyboardAloneWalksTheDialogAndF12MarksTheDocumentOnlyOnOk) {
  TQuickRep* r = NewReport();
  TfrmDoc* doc = frmMain->ActiveDocument();
  EXPECT_TRUE(Dialog()->windowTitle() == "Report properties" && Dialog()->size() == QSize(442, 311));
  frmMain->ActionList()->UpdateActions();
  QTimer::singleShot(0, [&] {
    EXPECT_EQ(Dialog()->EditedReport(), r);
    QStringList order;
    for (int i = 0; i < 15 && QTest::qWaitForWindowActive(Dialog()); ++i) {
      order << QApplication::focusWidget()->objectName();
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    EXPECT_EQ(order, QStringList({"ComboBox1", "ComboBox2", "Edit3", "Edit4", "Edit5", "Edit6", "Edit7", "Edit8",
                                  "ComboBox3", "Button3", "CheckBox1", "CheckBox2", "Button1", "Button2",
                                  "ComboBox1"}));
    Retype("Edit5", "30");
    QTest::keyClick(Get("Edit5"), Qt::Key_Escape);
  });
  frmMain->Action("actRepProps")->trigger();
  EXPECT_TRUE(!doc->Modified && r->Page()->NativeValue(pvTopMargin) == 100);
  Activate();  // before the next step is queued: waiting runs queued work
  QTimer::singleShot(0, [&] {
    Get<QComboBox>("ComboBox1")->setCurrentIndex(4);  // A5
    Retype("Edit5", "30");
    QTest::keyClick(Get("Edit5"), Qt::Key_Enter);
  });
  QTest::keyClick(frmMain, Qt::Key_F12);
  EXPECT_TRUE(doc->Modified && r->Page()->NativeValue(pvTopMargin) == 300);
  EXPECT_EQ(r->Width(), 559);  // 148 mm at 96 ppi
}

}  // namespace
}  // namespace rpt
