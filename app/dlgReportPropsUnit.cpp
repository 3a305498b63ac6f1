#include "app/dlgReportPropsUnit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontDialog>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <cmath>

#include "framework/Application.h"
#include "framework/QtCanvas.h"
#include "objects/Exceptions.h"
#include "objects/FloatText.h"
#include "report/QuickRpt.h"

namespace rpt {

namespace {

// The paper list, top to bottom.
constexpr TQRPaperSize kPapers[] = {TQRPaperSize::Default, TQRPaperSize::A3, TQRPaperSize::A4, TQRPaperSize::A4Small,
                                    TQRPaperSize::A5,      TQRPaperSize::B4, TQRPaperSize::B5, TQRPaperSize::Custom};
constexpr int kCustomIndex = 7;
constexpr TQRUnit kUnits[] = {MM, Inches, Pixels, Characters, Native};
// The page value of each number box, Edit1 to Edit7.
constexpr int kBoxValues[] = {pvWidth, pvLength, pvLeftMargin, pvRightMargin, pvTopMargin, pvBottomMargin, pvColumnSpace};
constexpr int kMaxColumns = 20;

// Both ways the same locale, and never a group separator: "1,234" would read back as a
// different number where the comma is the decimal separator.
QLocale NumberLocale() {
  QLocale locale;
  locale.setNumberOptions(QLocale::OmitGroupSeparator | QLocale::RejectGroupSeparator);
  return locale;
}

// The number boxes refuse only typed characters that cannot be part of a length:
// letters, signs, spaces, another separator. Editing keys (Backspace, Delete, Ctrl+A,
// Ctrl+V, Ctrl+Z), moving keys, the dialog's own keys and Alt mnemonics pass; pasted
// text is judged by Ok.
bool DiscardedKey(const QKeyEvent& k) {
  if (k.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return false;
  const QString text = k.text();
  const QString point = QLocale().decimalPoint();
  for (QChar c : text) {
    const bool digit = c >= QLatin1Char('0') && c <= QLatin1Char('9');
    if (!digit && QString(c) != point && c.category() != QChar::Other_Control) return true;
  }
  return false;
}

const char* UnitName(TQRUnit unit) {
  switch (unit) {
    case MM: return "mm";
    case Inches: return "in";
    case Pixels: return "pixels";
    case Characters: return "characters";
    default: return "tenths of a millimetre";
  }
}

}  // namespace

QString FloatText(Extended value) {
  QString text = QString::fromStdString(ShortestFloatText(value));
  return text.replace(QLatin1Char('.'), NumberLocale().decimalPoint());
}

bool IsFloatText(const QString& text, Extended* value) {
  bool ok = false;
  const double v = NumberLocale().toDouble(text, &ok);
  // "inf" and "nan" read as numbers but measure no paper.
  ok = ok && std::isfinite(v);
  if (ok && value) *value = v;
  return ok;
}

QFont ToWidgetFont(const TFont& font) {
  QFont f(QString::fromStdString(font.Name()));
  f.setPointSizeF(font.PointSizeF());
  const TFontStyles s = font.Style();
  f.setBold(s.Contains(fsBold));
  f.setItalic(s.Contains(fsItalic));
  f.setUnderline(s.Contains(fsUnderline));
  f.setStrikeOut(s.Contains(fsStrikeOut));
  if (font.Pitch() == fpFixed) f.setFixedPitch(true);
  return f;
}

void AssignWidgetFont(TFont& font, const QFont& chosen) {
  if (!chosen.family().isEmpty()) font.SetName(chosen.family().toStdString());
  // Dialogs give point sizes; a pixel size is taken as pixels of a 96-dpi screen.
  const double points = chosen.pointSizeF() > 0 ? chosen.pointSizeF() : chosen.pixelSize() * 72.0 / kScreenPixelsPerInch;
  if (points > 0 && std::abs(points - ToWidgetFont(font).pointSizeF()) > 1e-6)
    font.SetHeight(-static_cast<int32_t>(std::lround(points * font.PixelsPerInch() / 72.0)));
  TFontStyles style;
  if (chosen.bold()) style.Include(fsBold);
  if (chosen.italic()) style.Include(fsItalic);
  if (chosen.underline()) style.Include(fsUnderline);
  if (chosen.strikeOut()) style.Include(fsStrikeOut);
  font.SetStyle(style);
}

// ---------------------------------------------------------------------------

TdlgReportProps::TdlgReportProps(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint) {
  setObjectName("dlgReportProps");
  setWindowTitle("Report properties");
  setFixedSize(442, 311);
  CreateControls();
  FontDialog = [this](const QFont& initial) -> std::optional<QFont> {
    bool ok = false;
    const QFont chosen = QFontDialog::getFont(&ok, initial, this, "Font");
    if (!ok) return std::nullopt;
    return chosen;
  };
}

TdlgReportProps::~TdlgReportProps() = default;

void TdlgReportProps::CreateControls() {
  auto label = [](QWidget* parent, const char* name, const char* text, int x, int y) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(name);
    l->move(x, y);
    l->adjustSize();
    return l;
  };
  auto edit = [this](QWidget* parent, int box, int x, int y, int w) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(QString("Edit%1").arg(box + 1));
    e->setGeometry(x, y, w, 22);
    e->installEventFilter(this);
    FEdits[box] = e;
    return e;
  };
  auto list = [](QWidget* parent, const char* name, std::initializer_list<const char*> items, QRect at) {
    auto* c = new QComboBox(parent);
    c->setObjectName(name);
    c->setEditable(false);
    for (const char* item : items) c->addItem(item);
    c->setGeometry(at);
    return c;
  };

  auto* paper = new QGroupBox("Paper", this);
  paper->setObjectName("GroupBox1");
  paper->setGeometry(8, 4, 212, 136);
  FPaper = list(paper, "ComboBox1", {"Default", "A3", "A4", "A4 Small", "A5", "B4", "B5", "Custom"}, {10, 20, 192, 22});
  FWidthLabel = label(paper, "Label1", "Width", 10, 51);
  edit(paper, 0, 70, 47, 132);
  FHeightLabel = label(paper, "Label2", "Height", 10, 78);
  edit(paper, 1, 70, 74, 132);
  FOrientation = list(paper, "ComboBox2", {"Portrait", "Landscape"}, {10, 104, 192, 22});
  connect(FPaper, &QComboBox::currentIndexChanged, this, [this](int index) { PaperChanged(index); });

  auto* margins = new QGroupBox("Margins", this);
  margins->setObjectName("GroupBox2");
  margins->setGeometry(228, 4, 206, 190);
  const char* names[] = {"Left", "Right", "Top", "Bottom", "Column space"};
  for (int i = 0; i < 5; ++i) {
    const int y = 20 + i * 27;
    label(margins, QString("Label%1").arg(i + 3).toUtf8().constData(), names[i], 10, y + 4);
    edit(margins, i + 2, 112, y, 84);
  }
  label(margins, "Label8", "Column number", 10, 20 + 5 * 27 + 4);
  // The column number: typed or moved by the arrows, 1 to 20.
  FColumns = new QSpinBox(margins);
  FColumns->setObjectName("Edit8");
  FColumns->setRange(1, kMaxColumns);
  FColumns->setWrapping(false);
  FColumns->setGeometry(112, 20 + 5 * 27, 84, 22);

  auto* other = new QGroupBox("Other", this);
  other->setObjectName("GroupBox3");
  other->setGeometry(8, 144, 212, 160);
  label(other, "Label9", "Units", 10, 24);
  FUnits = list(other, "ComboBox3", {"MM", "Inches", "Pixels", "Characters", "Native"}, {60, 20, 142, 22});
  auto* fontGroup = new QGroupBox("Font", other);
  fontGroup->setObjectName("GroupBox4");
  fontGroup->setGeometry(10, 48, 192, 60);
  FPanel = new QLabel("Aa Bb Cc Dd Ee", fontGroup);
  FPanel->setObjectName("Panel1");
  FPanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  FPanel->setAlignment(Qt::AlignCenter);
  FPanel->setGeometry(8, 20, 116, 32);
  FChange = new QPushButton("Change", fontGroup);
  FChange->setObjectName("Button3");
  FChange->setGeometry(130, 23, 54, 26);
  connect(FChange, &QPushButton::clicked, this, [this] { ChangeFontClick(); });
  FFirstPageHeader = new QCheckBox("Print first page header", other);
  FFirstPageHeader->setObjectName("CheckBox1");
  FFirstPageHeader->setGeometry(10, 112, 192, 20);
  FLastPageFooter = new QCheckBox("Print last page footer", other);
  FLastPageFooter->setObjectName("CheckBox2");
  FLastPageFooter->setGeometry(10, 134, 192, 20);

  FOk = new QPushButton("Ok", this);
  FOk->setObjectName("Button1");
  FOk->setGeometry(276, 278, 75, 25);
  FOk->setDefault(true);
  connect(FOk, &QPushButton::clicked, this, [this] { OkClick(); });
  FCancel = new QPushButton("Cancel", this);
  FCancel->setObjectName("Button2");
  FCancel->setGeometry(359, 278, 75, 25);
  connect(FCancel, &QPushButton::clicked, this, &QDialog::reject);

  // Tab order: the paper group, the margins, the other settings, then the buttons.
  QWidget* order[] = {FPaper,    FEdits[0],      FEdits[1],        FOrientation,    FEdits[2], FEdits[3],
                      FEdits[4], FEdits[5],      FEdits[6],        FColumns,        FUnits,    FChange,
                      FFirstPageHeader, FLastPageFooter, FOk, FCancel};
  for (size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);
}

bool TdlgReportProps::EditPageSettings(TQuickRep* report) {
  FReport = report;
  LoadFromReport();
  if (QScreen* screen = QGuiApplication::primaryScreen()) move(screen->availableGeometry().center() - rect().center());
  FPaper->setFocus();
  const bool ok = exec() == QDialog::Accepted;
  FReport = nullptr;
  return ok;
}

void TdlgReportProps::ShowValue(int box, Extended value) {
  FShownText[box] = FloatText(value);
  FEdits[box]->setText(FShownText[box]);
}

void TdlgReportProps::SetCustomSizeEnabled(bool enabled) {
  for (QWidget* w : {static_cast<QWidget*>(FEdits[0]), static_cast<QWidget*>(FEdits[1]),
                     static_cast<QWidget*>(FWidthLabel), static_cast<QWidget*>(FHeightLabel)})
    w->setEnabled(enabled);
}

void TdlgReportProps::LoadFromReport() {
  TQRPage* page = FReport->Page();
  FLoading = true;
  int paper = -1;
  for (int i = 0; i < 8; ++i)
    if (kPapers[i] == page->PaperSize()) paper = i;
  FPaper->setCurrentIndex(paper);
  FLoading = false;
  PaperChanged(paper);
  FOrientation->setCurrentIndex(page->Orientation() == poPortrait ? 0 : page->Orientation() == poLandscape ? 1 : -1);
  for (int box = 2; box < 7; ++box) ShowValue(box, page->GetValue(kBoxValues[box]));
  FColumns->setValue(page->Columns());
  FPanelFont.AssignFrom(FReport->Font());
  ShowPanelFont();
  int unit = -1;
  for (int i = 0; i < 5; ++i)
    if (kUnits[i] == FReport->Units()) unit = i;
  FUnits->setCurrentIndex(unit);
  FFirstPageHeader->setChecked(FReport->Options().Contains(FirstPageHeader));
  FLastPageFooter->setChecked(FReport->Options().Contains(LastPageFooter));
}

void TdlgReportProps::PaperChanged(int index) {
  if (FLoading || !FReport) return;
  if (index == kCustomIndex) {
    ShowValue(0, FReport->Page()->GetValue(pvWidth));
    ShowValue(1, FReport->Page()->GetValue(pvLength));
    SetCustomSizeEnabled(true);
  } else {
    for (int box : {0, 1}) {
      FShownText[box].clear();
      FEdits[box]->clear();
    }
    SetCustomSizeEnabled(false);
  }
}

void TdlgReportProps::ShowPanelFont() {
  FPanel->setFont(ToWidgetFont(FPanelFont));
  QPalette palette = FPanel->palette();
  palette.setColor(QPalette::WindowText, ToQColor(FPanelFont.Color()));
  FPanel->setPalette(palette);
}

void TdlgReportProps::ChangeFontClick() {
  if (!FontDialog) return;
  if (std::optional<QFont> chosen = FontDialog(ToWidgetFont(FPanelFont))) {
    AssignWidgetFont(FPanelFont, *chosen);
    ShowPanelFont();
  }
}

void TdlgReportProps::ValidateInput() {
  auto number = [this](int box, const char* message) {
    if (!IsFloatText(FEdits[box]->text())) throw Exception(message);
  };
  if (FPaper->currentIndex() < 0) throw Exception("You must select paper type");
  if (FPaper->currentIndex() == kCustomIndex) {
    number(0, "Wrong page width");
    number(1, "Wrong page height");
  }
  if (FOrientation->currentIndex() < 0) throw Exception("You must select paper orientation");
  number(2, "Wrong left margin");
  number(3, "Wrong right margin");
  number(4, "Wrong top margin");
  number(5, "Wrong bottom margin");
  number(6, "Wrong column space");
  if (FUnits->currentIndex() < 0) throw Exception("You must select unit type");
  ValidateRoom();
}

void TdlgReportProps::ValidateRoom() {
  const TQRPage* page = FReport->Page();
  const TQRUnit unit = page->Units();
  Extended v[7] = {};
  for (int box = 2; box < 7; ++box) IsFloatText(FEdits[box]->text(), &v[box]);
  // The paper as Ok would make it, in the unit of the boxes.
  const int paper = FPaper->currentIndex();
  Extended width = page->GetValue(pvWidth), length = page->GetValue(pvLength);
  if (paper == kCustomIndex) {
    IsFloatText(FEdits[0]->text(), &width);
    IsFloatText(FEdits[1]->text(), &length);
  } else if (kPapers[paper] != TQRPaperSize::Default) {
    const TPaperDimensions d = PaperSizeTable(kPapers[paper]);
    const bool portrait = FOrientation->currentIndex() == 0;
    width = page->FromNative(unit, true, page->ToNative(MM, true, portrait ? d.Width : d.Length));
    length = page->FromNative(unit, false, page->ToNative(MM, false, portrait ? d.Length : d.Width));
  }
  const std::string u = UnitName(unit);
  auto text = [&u](Extended value) { return FloatText(value).toStdString() + " " + u; };
  if (paper == kCustomIndex && !(width > 0)) throw Exception("Wrong page width: it must be more than 0 " + u);
  if (paper == kCustomIndex && !(length > 0)) throw Exception("Wrong page height: it must be more than 0 " + u);
  const char* names[] = {"", "", "left margin", "right margin", "top margin", "bottom margin", "column space"};
  for (int box = 2; box < 7; ++box)
    if (v[box] < 0) throw Exception(std::string("Wrong ") + names[box] + ": it cannot be negative");
  // Each margin must leave printable room; the column spaces must leave room for columns.
  auto room = [&](int box, Extended available, const std::string& what) {
    if (v[box] < available) return;
    throw Exception(std::string("Wrong ") + names[box] + ": " + what + "; it must be less than " + text(available));
  };
  room(2, width, "the paper is " + text(width) + " wide");
  room(3, width - v[2], "the paper is " + text(width) + " wide and the left margin takes " + text(v[2]));
  room(4, length, "the paper is " + text(length) + " high");
  room(5, length - v[4], "the paper is " + text(length) + " high and the top margin takes " + text(v[4]));
  const int columns = FColumns->value();
  if (columns > 1)
    room(6, (width - v[2] - v[3]) / (columns - 1),
         "the margins leave " + text(width - v[2] - v[3]) + " across for " + std::to_string(columns) + " columns");
}

void TdlgReportProps::ApplyToReport() {
  TQRPage* page = FReport->Page();
  // A box still showing the text it was given keeps the stored value: reading the
  // rounded text back would move it by the rounding.
  auto apply = [this, page](int box) {
    Extended value = 0;
    if (FEdits[box]->text() != FShownText[box] && IsFloatText(FEdits[box]->text(), &value))
      page->SetValue(kBoxValues[box], value);
  };
  const int paper = FPaper->currentIndex();
  page->SetPaperSize(kPapers[paper]);
  if (paper == kCustomIndex) {
    apply(0);
    apply(1);
  }
  page->SetOrientation(FOrientation->currentIndex() == 1 ? poLandscape : poPortrait);
  for (int box = 2; box < 7; ++box) apply(box);
  page->SetColumns(FColumns->value());
  FReport->SetFont(&FPanelFont);
  // Last: the numbers above are in the unit the report had when the dialog opened.
  FReport->SetUnits(kUnits[FUnits->currentIndex()]);
  TOstrelOptions options = FReport->Options();
  options.Exclude(FirstPageHeader).Exclude(LastPageFooter);
  if (FFirstPageHeader->isChecked()) options.Include(FirstPageHeader);
  if (FLastPageFooter->isChecked()) options.Include(LastPageFooter);
  FReport->SetOptions(options);
}

void TdlgReportProps::OkClick() {
  try {
    ValidateInput();
  } catch (const Exception& e) {
    MessageDlg(e.Message(), mtError, {mbOK});
    return;
  }
  ApplyToReport();
  accept();
}

bool TdlgReportProps::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress)
    for (QLineEdit* box : FEdits)
      if (watched == box) return DiscardedKey(*static_cast<QKeyEvent*>(event));
  return QDialog::eventFilter(watched, event);
}

}  // namespace rpt
