#include "inspector/ItemListEditor.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "framework/Graphics.h"
#include "inspector/PropEditors.h"
#include "objects/Format.h"
#include "objects/Persistent.h"

namespace rpt {

namespace {

// A colour as the inspector writes it: its identifier, else its hex value.
QString ColorText(TColor color) {
  if (const TIdentMap* map = FindIdentMap(TypeInfoOf<TColor>()))
    if (const std::optional<std::string_view> name = map->NameOf(color)) return QString::fromUtf8(name->data(), int(name->size()));
  return QString::fromStdString(Format("$%.8X", static_cast<uint32_t>(color)));
}

}  // namespace

TItemListDialog::TItemListDialog(QWidget* parent) : QDialog(parent) {
  setObjectName("ItemListEditor");
  setWindowTitle("Edit list");
  resize(520, 320);
  ChooseColor = [](TColor& color) { return EditorDialogs().ChooseColor(color); };
  auto* outer = new QVBoxLayout(this);
  Note = new QLabel(this);
  Note->setObjectName("Note");
  Note->setWordWrap(true);
  Note->hide();
  outer->addWidget(Note);
  auto* layout = new QHBoxLayout;
  outer->addLayout(layout, 1);
  auto* left = new QVBoxLayout;
  List = new QListWidget(this);
  List->setObjectName("Items");
  left->addWidget(List);
  auto* buttons = new QHBoxLayout;
  const auto button = [this, buttons](const char* name, const char* caption) {
    auto* b = new QPushButton(caption, this);
    b->setObjectName(name);
    buttons->addWidget(b);
    return b;
  };
  BtnAdd = button("Add", "&Add");
  BtnDelete = button("Delete", "&Delete");
  BtnUp = button("Up", "&Up");
  BtnDown = button("Down", "Do&wn");
  left->addLayout(buttons);
  layout->addLayout(left, 1);
  auto* right = new QVBoxLayout;
  Fields = new QWidget(this);
  Fields->setObjectName("Fields");
  FForm = new QFormLayout(Fields);
  right->addWidget(Fields, 1);
  auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  right->addWidget(box);
  layout->addLayout(right, 1);
  connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(BtnAdd, &QPushButton::clicked, this, [this] { AddItem(); });
  connect(BtnDelete, &QPushButton::clicked, this, [this] { DeleteItem(); });
  connect(BtnUp, &QPushButton::clicked, this, [this] { MoveItem(-1); });
  connect(BtnDown, &QPushButton::clicked, this, [this] { MoveItem(1); });
  connect(List, &QListWidget::currentRowChanged, this, [this](int row) { ShowItem(row); });
}

void TItemListDialog::Load(TCollection& items) {
  FItems = &items;
  Note->setText(QString::fromStdString(items.EditorNote()));
  Note->setVisible(!Note->text().isEmpty());
  RefreshList(items.Count() > 0 ? 0 : -1);
}

bool TItemListDialog::Execute() { return exec() == QDialog::Accepted; }

// "1. " and the item's first text (a rule's condition).
QString TItemListDialog::ItemCaption(int n) const {
  const TCollectionItem* item = FItems->Items(n);
  std::string text;
  for (const TPropertyInfo* p : item->ClassType().Properties())
    if (p->Kind() == propString) {
      text = GetStrProp(item, *p);
      break;
    }
  return QString("%1. %2").arg(n + 1).arg(text.empty() ? QString("(empty)") : QString::fromStdString(text));
}

void TItemListDialog::RefreshList(int current) {
  const QSignalBlocker block(List);
  List->clear();
  for (int i = 0; i < FItems->Count(); ++i) List->addItem(ItemCaption(i));
  List->setCurrentRow(current);
  ShowItem(current);
}

void TItemListDialog::AddItem() {
  FItems->Add();
  RefreshList(FItems->Count() - 1);
}

void TItemListDialog::DeleteItem() {
  const int n = List->currentRow();
  if (n < 0 || n >= FItems->Count()) return;
  FItems->Delete(n);
  RefreshList(std::min(n, FItems->Count() - 1));
}

void TItemListDialog::MoveItem(int step) {
  const int n = List->currentRow(), to = n + step;
  if (n < 0 || to < 0 || to >= FItems->Count()) return;
  FItems->Items(n)->SetIndex(to);
  RefreshList(to);
}

void TItemListDialog::ShowItem(int n) {
  while (FForm->rowCount() > 0) FForm->removeRow(0);
  BtnDelete->setEnabled(n >= 0);
  BtnUp->setEnabled(n > 0);
  BtnDown->setEnabled(n >= 0 && n + 1 < FItems->Count());
  if (n < 0 || n >= FItems->Count()) return;
  TCollectionItem* item = FItems->Items(n);
  const auto changed = [this, n] {
    if (QListWidgetItem* shown = List->item(n)) shown->setText(ItemCaption(n));
  };
  // Texts first (a rule's condition), then the rest in their order.
  std::vector<const TPropertyInfo*> properties = item->ClassType().Properties();
  std::stable_partition(properties.begin(), properties.end(), [](const TPropertyInfo* p) { return p->Kind() == propString; });
  for (const TPropertyInfo* p : properties) {
    const TTypeInfo* type = p->PropType;
    const QString name = QString::fromStdString(p->Name);
    QWidget* field = nullptr;
    if (p->Kind() == propString) {
      auto* row = new QWidget(Fields);
      auto* rowLayout = new QHBoxLayout(row);
      rowLayout->setContentsMargins(0, 0, 0, 0);
      auto* edit = new QLineEdit(QString::fromStdString(GetStrProp(item, *p)), row);
      edit->setObjectName(name);
      rowLayout->addWidget(edit, 1);
      connect(edit, &QLineEdit::textEdited, this, [item, p, changed](const QString& text) {
        SetStrProp(item, *p, text.toStdString());
        changed();
      });
      if (EditExpression) {
        auto* more = new QPushButton("...", row);
        more->setObjectName("Edit");
        more->setMaximumWidth(32);
        rowLayout->addWidget(more);
        connect(more, &QPushButton::clicked, this, [item, p, edit, changed] {
          std::string text = GetStrProp(item, *p);
          if (!EditExpression || !EditExpression(text)) return;
          // The editor ends each line with CR LF; one line reads best here.
          while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
          for (char& c : text)
            if (c == '\r' || c == '\n') c = ' ';
          SetStrProp(item, *p, text);
          edit->setText(QString::fromStdString(text));
          changed();
        });
      }
      FForm->addRow(name, row);
      continue;
    } else if (type == TypeInfoOf<bool>()) {
      auto* check = new QCheckBox(Fields);
      check->setChecked(GetOrdProp(item, *p) != 0);
      connect(check, &QCheckBox::toggled, this, [item, p](bool on) { SetOrdProp(item, *p, on ? 1 : 0); });
      field = check;
    } else if (p->Kind() == propEnumeration) {
      auto* combo = new QComboBox(Fields);
      for (const std::string& value : type->NameList) combo->addItem(QString::fromStdString(value));
      combo->setCurrentIndex(GetOrdProp(item, *p) - type->MinValue);
      connect(combo, &QComboBox::currentIndexChanged, this,
              [item, p, type](int index) { SetOrdProp(item, *p, index + type->MinValue); });
      field = combo;
    } else if (p->Kind() == propSet && type->CompType) {
      auto* row = new QWidget(Fields);
      auto* boxes = new QHBoxLayout(row);
      boxes->setContentsMargins(0, 0, 0, 0);
      const int32_t bits = GetOrdProp(item, *p);
      for (size_t e = 0; e < type->CompType->NameList.size(); ++e) {
        auto* check = new QCheckBox(QString::fromStdString(type->CompType->NameList[e]), row);
        check->setObjectName(QString::fromStdString(type->CompType->NameList[e]));
        check->setChecked(bits >> e & 1);
        connect(check, &QCheckBox::toggled, this, [item, p, e](bool on) {
          const int32_t now = GetOrdProp(item, *p);
          SetOrdProp(item, *p, on ? now | (1 << e) : now & ~(1 << e));
        });
        boxes->addWidget(check);
      }
      field = row;
    } else if (type == TypeInfoOf<TColor>()) {
      auto* row = new QWidget(Fields);
      auto* rowLayout = new QHBoxLayout(row);
      rowLayout->setContentsMargins(0, 0, 0, 0);
      auto* pick = new QPushButton(ColorText(static_cast<TColor>(GetOrdProp(item, *p))), row);
      pick->setObjectName("Choose");
      auto* none = new QPushButton("None", row);
      none->setObjectName("None");
      rowLayout->addWidget(pick, 1);
      rowLayout->addWidget(none);
      connect(pick, &QPushButton::clicked, this, [this, item, p, pick] {
        auto color = static_cast<TColor>(GetOrdProp(item, *p));
        if (color == clNone) color = clBlack;
        if (!ChooseColor || !ChooseColor(color)) return;
        SetOrdProp(item, *p, color);
        pick->setText(ColorText(color));
      });
      connect(none, &QPushButton::clicked, this, [item, p, pick] {
        SetOrdProp(item, *p, clNone);
        pick->setText(ColorText(clNone));
      });
      field = row;
    }
    if (!field) continue;
    field->setObjectName(name);
    FForm->addRow(name, field);
  }
}

}  // namespace rpt
