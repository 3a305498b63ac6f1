#include "app/dlgParamsUnit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "data/DBTables.h"
#include "framework/Application.h"
#include "objects/Exceptions.h"
#include "objects/Format.h"
#include "report/QuickRpt.h"

namespace rpt {

namespace {

constexpr const char* kIsoDate = "yyyy-MM-dd";
// A list of choices longer than this is cut: the rest is typed.
constexpr int kMaxChoices = 1000;

QString Q(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

TdlgRunParams::TdlgRunParams(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
  setObjectName("dlgRunParams");
  setWindowTitle("Report Parameters");
  auto* layout = new QVBoxLayout(this);
  FForm = new QWidget(this);
  (new QFormLayout(FForm))->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
  FForm->setMinimumWidth(360);
  layout->addWidget(FForm);
  FProblems = new QLabel(this);
  FProblems->setWordWrap(true);
  FProblems->hide();
  layout->addWidget(FProblems);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
}

TQRParamTexts& TdlgRunParams::Remembered() {
  static TQRParamTexts remembered;
  return remembered;
}

void TdlgRunParams::Load(TCustomQuickRep* report, const std::string& database) {
  auto* form = static_cast<QFormLayout*>(FForm->layout());
  const TQRParameters& declared = *report->Parameters();
  // What each editor shows first: the value given last, else the default's value
  // (which may read the parameters before it that have one).
  TQRParamTexts initial;
  TQRParameters known;
  for (int i = 0; i < declared.Count(); ++i) {
    const TQRParameter& p = *declared.Parameter(i);
    const std::string key = EvUpperCase(p.Name());
    if (auto it = Remembered().find(key); it != Remembered().end()) {
      initial[key] = it->second;
    } else if (!p.Default().empty()) {
      TQRParameters withThis;
      withThis.AssignFrom(&known);
      withThis.AddParameter()->AssignFrom(&p);
      try {
        initial[key] = ParamValueText(ResolveParamValues(withThis, initial).at(static_cast<size_t>(known.Count())).Value);
      } catch (const Exception&) {
        // A default that fails here fails again when the run starts; the editor starts empty.
        continue;
      }
    } else {
      continue;
    }
    known.AddParameter()->AssignFrom(&p);
  }
  for (int i = 0; i < declared.Count(); ++i) {
    const TQRParameter* p = declared.Parameter(i);
    const std::string key = EvUpperCase(p->Name());
    QWidget* editor = MakeEditor(p, database, initial.count(key) ? initial[key] : std::string());
    FEntries.push_back({p->Name(), p->DataType(), editor});
    form->addRow(Q((p->Prompt().empty() ? p->Name() : p->Prompt()) + ":"), editor);
  }
  for (const std::string& name : report->UndeclaredSqlParams()) {
    const std::string key = EvUpperCase(name);
    auto* edit = new QLineEdit(FForm);
    edit->setObjectName(Q(key));
    if (auto it = Remembered().find(key); it != Remembered().end()) edit->setText(Q(it->second));
    FEntries.push_back({name, ptString, edit});
    form->addRow(Q(name + ":"), edit);
  }
  if (!FEntries.empty()) FEntries.front().Editor->setFocus();
}

QWidget* TdlgRunParams::MakeEditor(const TQRParameter* p, const std::string& database, const std::string& initial) {
  const QString name = Q(EvUpperCase(p->Name()));
  if (!p->ChoicesSQL().empty()) {
    auto* combo = new QComboBox(FForm);
    combo->setObjectName(name);
    try {
      TOwnedPtr<TQuery> query(TComponent::Create<TQuery>(nullptr));
      query->SetDatabaseName(database);
      query->SQL()->SetText(p->ChoicesSQL());
      query->Open();
      TField* value = p->ValueField().empty() ? query->Fields(0) : query->FieldByName(p->ValueField());
      TField* caption = p->CaptionField().empty() ? value : query->FieldByName(p->CaptionField());
      for (int n = 0; !query->Eof() && n < kMaxChoices; ++n, query->Next())
        combo->addItem(Q(caption->AsString()), Q(value->AsString()));
      const int at = combo->findData(Q(initial));
      if (at >= 0) combo->setCurrentIndex(at);
      return combo;
    } catch (const Exception& e) {
      delete combo;
      FProblems->setText(FProblems->text() + Q("The choices of " + p->Name() + " could not be read: " + e.Message() + "\n"));
      FProblems->show();
    }
  }
  switch (p->DataType()) {
    case ptDate: {
      auto* date = new QDateEdit(FForm);
      date->setObjectName(name);
      date->setDisplayFormat(kIsoDate);
      date->setCalendarPopup(true);
      const QDate d = QDate::fromString(Q(initial), kIsoDate);
      date->setDate(d.isValid() ? d : QDate::currentDate());
      return date;
    }
    case ptBoolean: {
      auto* check = new QCheckBox(FForm);
      check->setObjectName(name);
      TQREvValue v;
      std::string error;
      check->setChecked(ParseParamValue(ptBoolean, initial, v, error) && v.BoolValue);
      return check;
    }
    default: {
      auto* edit = new QLineEdit(FForm);
      edit->setObjectName(name);
      edit->setText(Q(initial));
      return edit;
    }
  }
}

QWidget* TdlgRunParams::Editor(const std::string& name) const {
  for (const TEntry& e : FEntries)
    if (EvUpperCase(e.Name) == EvUpperCase(name)) return e.Editor;
  return nullptr;
}

QString TdlgRunParams::ChoiceProblems() const { return FProblems->isHidden() ? QString() : FProblems->text(); }

TQRParamTexts TdlgRunParams::Values() const {
  TQRParamTexts values;
  for (const TEntry& e : FEntries) {
    std::string text;
    if (auto* combo = qobject_cast<QComboBox*>(e.Editor))
      text = combo->currentData().toString().toStdString();
    else if (auto* date = qobject_cast<QDateEdit*>(e.Editor))
      text = date->date().toString(kIsoDate).toStdString();
    else if (auto* check = qobject_cast<QCheckBox*>(e.Editor))
      text = check->isChecked() ? "true" : "false";
    else if (auto* edit = qobject_cast<QLineEdit*>(e.Editor))
      text = edit->text().toStdString();
    TQREvValue value;
    std::string error;
    if (!ParseParamValue(e.Type, text, value, error)) {
      e.Editor->setFocus();
      throw Exception("Parameter " + e.Name + ": " + error);
    }
    values[EvUpperCase(e.Name)] = text;
  }
  return values;
}

void TdlgRunParams::accept() {
  try {
    for (const auto& [name, text] : Values()) Remembered()[name] = text;
  } catch (const Exception& e) {
    MessageDlg(e.Message(), mtError, {mbOK});
    return;
  }
  QDialog::accept();
}

bool TdlgRunParams::AskForRun(TCustomQuickRep* report, const std::string& database, QWidget* parent) {
  if (report->Parameters()->Count() == 0 && report->UndeclaredSqlParams().empty()) {
    report->SetParamTexts({});
    return true;
  }
  TdlgRunParams dialog(parent);
  dialog.Load(report, database);
  if (ExecDialog(dialog) != QDialog::Accepted) return false;
  report->SetParamTexts(dialog.Values());
  return true;
}

}  // namespace rpt

namespace rpt {

TdlgParams::TdlgParams(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint), FEdited(new TQRParameters) {
  setObjectName("dlgParams");
  setWindowTitle("Parameters");
  auto* layout = new QVBoxLayout(this);
  auto* body = new QHBoxLayout;
  layout->addLayout(body);
  auto* left = new QVBoxLayout;
  body->addLayout(left, 2);
  FList = new QListWidget(this);
  left->addWidget(FList);
  auto* moves = new QHBoxLayout;
  left->addLayout(moves);
  FAdd = new QPushButton("&Add", this);
  FDelete = new QPushButton("De&lete", this);
  FUp = new QPushButton("&Up", this);
  FDown = new QPushButton("Do&wn", this);
  for (QPushButton* b : {FAdd, FDelete, FUp, FDown}) {
    b->setAutoDefault(false);
    moves->addWidget(b);
  }
  auto* form = new QFormLayout;
  form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
  body->addLayout(form, 3);
  FName = new QLineEdit(this);
  FType = new QComboBox(this);
  for (TQRParamType t : {ptString, ptInteger, ptFloat, ptDate, ptBoolean}) FType->addItem(ParamTypeName(t));
  FDefault = new QLineEdit(this);
  FDefault->setPlaceholderText("an expression, e.g. 'Austria', MONTHSTART, 10");
  FPrompt = new QLineEdit(this);
  FChoices = new QLineEdit(this);
  FChoices->setPlaceholderText("select value, caption from ...");
  FValueField = new QLineEdit(this);
  FCaptionField = new QLineEdit(this);
  FName->setMinimumWidth(260);
  form->addRow("&Name:", FName);
  form->addRow("&Type:", FType);
  form->addRow("&Default:", FDefault);
  form->addRow("&Prompt:", FPrompt);
  form->addRow("&Choices SQL:", FChoices);
  form->addRow("&Value column:", FValueField);
  form->addRow("Capt&ion column:", FCaptionField);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);

  connect(FList, &QListWidget::currentRowChanged, this, [this](int) { ShowCurrent(); });
  for (QLineEdit* e : {FName, FDefault, FPrompt, FChoices, FValueField, FCaptionField})
    connect(e, &QLineEdit::textEdited, this, [this] { Store(); });
  connect(FType, &QComboBox::currentIndexChanged, this, [this](int) { Store(); });
  connect(FAdd, &QPushButton::clicked, this, [this] {
    int n = FEdited->Count() + 1;
    while (FEdited->Find("PARAM" + std::to_string(n))) ++n;
    FEdited->AddParameter()->SetName("PARAM" + std::to_string(n));
    Fill();
    FList->setCurrentRow(FEdited->Count() - 1);
    FName->setFocus();
    FName->selectAll();
  });
  connect(FDelete, &QPushButton::clicked, this, [this] {
    const int row = FList->currentRow();
    if (row < 0) return;
    FEdited->Delete(row);
    Fill();
    FList->setCurrentRow(std::min(row, FEdited->Count() - 1));
  });
  connect(FUp, &QPushButton::clicked, this, [this] { Move(-1); });
  connect(FDown, &QPushButton::clicked, this, [this] { Move(1); });
}

TdlgParams::~TdlgParams() { FEdited->Free(); }

void TdlgParams::Load(const TQRParameters& params) {
  FEdited->AssignFrom(&params);
  Fill();
  FList->setCurrentRow(FEdited->Count() ? 0 : -1);
  ShowCurrent();
}

TQRParameter* TdlgParams::Current() const {
  const int row = FList->currentRow();
  return row >= 0 && row < FEdited->Count() ? FEdited->Parameter(row) : nullptr;
}

void TdlgParams::Fill() {
  const QSignalBlocker block(FList);
  FList->clear();
  for (int i = 0; i < FEdited->Count(); ++i) {
    const TQRParameter* p = FEdited->Parameter(i);
    FList->addItem(Q(p->Name() + " (" + ParamTypeName(p->DataType()) + ")"));
  }
}

void TdlgParams::ShowCurrent() {
  const TQRParameter* p = Current();
  FShowing = true;
  for (QWidget* w : std::initializer_list<QWidget*>{FName, FType, FDefault, FPrompt, FChoices, FValueField, FCaptionField, FDelete, FUp, FDown})
    w->setEnabled(p != nullptr);
  FName->setText(p ? Q(p->Name()) : QString());
  FType->setCurrentIndex(p ? static_cast<int>(p->DataType()) : 0);
  FDefault->setText(p ? Q(p->Default()) : QString());
  FPrompt->setText(p ? Q(p->Prompt()) : QString());
  FChoices->setText(p ? Q(p->ChoicesSQL()) : QString());
  FValueField->setText(p ? Q(p->ValueField()) : QString());
  FCaptionField->setText(p ? Q(p->CaptionField()) : QString());
  FShowing = false;
}

void TdlgParams::Store() {
  TQRParameter* p = Current();
  if (!p || FShowing) return;
  p->SetName(FName->text().trimmed().toStdString());
  p->SetDataType(static_cast<TQRParamType>(std::max(0, FType->currentIndex())));
  p->SetDefault(FDefault->text().toStdString());
  p->SetPrompt(FPrompt->text().toStdString());
  p->SetChoicesSQL(FChoices->text().toStdString());
  p->SetValueField(FValueField->text().trimmed().toStdString());
  p->SetCaptionField(FCaptionField->text().trimmed().toStdString());
  if (QListWidgetItem* item = FList->item(FList->currentRow()))
    item->setText(Q(p->Name() + " (" + ParamTypeName(p->DataType()) + ")"));
}

void TdlgParams::Move(int by) {
  TQRParameter* p = Current();
  if (!p) return;
  const int to = p->Index() + by;
  if (to < 0 || to >= FEdited->Count()) return;
  p->SetIndex(to);
  Fill();
  FList->setCurrentRow(to);
}

void TdlgParams::Validate() const {
  for (int i = 0; i < FEdited->Count(); ++i) {
    const std::string& name = FEdited->Parameter(i)->Name();
    if (!IsValidParamName(name))
      throw Exception(Format("Parameter %d: '%s' is not a name (a letter or _ first, then letters, digits and _)",
                             i + 1, name));
    if (FEdited->Find(name) != FEdited->Parameter(i)) throw Exception("There are two parameters named " + name);
  }
}

void TdlgParams::accept() {
  try {
    Validate();
  } catch (const Exception& e) {
    MessageDlg(e.Message(), mtError, {mbOK});
    return;
  }
  QDialog::accept();
}

bool TdlgParams::Execute(const TQRParameters& params) {
  Load(params);
  return ExecDialog(*this) == QDialog::Accepted;
}

}  // namespace rpt
