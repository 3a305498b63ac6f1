#pragma once
// The page settings dialog: paper, orientation, margins, columns, units, the report
// font and two printing options of one report, edited in one modal window. Lengths are
// shown and typed in the unit the report has when the dialog opens.
#include <QDialog>
#include <QFont>
#include <QString>
#include <functional>
#include <optional>

#include "framework/Graphics.h"
#include "objects/Extended.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace rpt {

class TQuickRep;

// The text of a length: the shortest decimal text of at most 15 significant digits,
// with the locale's decimal separator and no group separators.
QString FloatText(Extended value);
// Whether the locale reads the text as a finite number; the number in value.
bool IsFloatText(const QString& text, Extended* value = nullptr);

// The font a widget shows for a font of the report model (the same em size on a
// screen of any resolution), and the report model's font after a font dialog chose
// `chosen` for `font`: name, size and style follow the choice; colour, character set,
// pitch and PixelsPerInch stay. An unchanged size keeps the font's Height as it was
// (a positive cell height stays one).
QFont ToWidgetFont(const TFont& font);
void AssignWidgetFont(TFont& font, const QFont& chosen);

class TdlgReportProps : public QDialog {
 public:
  explicit TdlgReportProps(QWidget* parent = nullptr);
  ~TdlgReportProps() override;

  // Loads the report, shows the dialog modally; true when it closed with Ok (the
  // report then holds the settings). Cancel or the close box leave it untouched.
  bool EditPageSettings(TQuickRep* report);
  TQuickRep* EditedReport() const { return FReport; }

  void LoadFromReport();
  // Throws an Exception with the message of the first wrong entry.
  void ValidateInput();
  void ApplyToReport();

  // The font the sample panel shows, the report's font once Ok applies it.
  const TFont& PanelFont() const { return FPanelFont; }
  // The font dialog of Change (tests replace it): the chosen font, or none when
  // cancelled. By default the platform's font dialog.
  std::function<std::optional<QFont>(const QFont& initial)> FontDialog;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void CreateControls();
  void PaperChanged(int index);
  void ChangeFontClick();
  void OkClick();
  void ShowPanelFont();
  void SetCustomSizeEnabled(bool enabled);
  // The margins and column space leave printable room on the paper Ok would make.
  void ValidateRoom();
  // Sets a number box's text and remembers the exact value it stands for.
  void ShowValue(int box, Extended value);

  TQuickRep* FReport = nullptr;
  TFont FPanelFont;
  bool FLoading = false;

  QComboBox* FPaper = nullptr;        // ComboBox1
  QLabel* FWidthLabel = nullptr;      // Label "Width"
  QLabel* FHeightLabel = nullptr;     // Label "Height"
  QComboBox* FOrientation = nullptr;  // ComboBox2
  // Edit1..Edit7: width, length, left, right, top, bottom, column space.
  QLineEdit* FEdits[7] = {};
  QString FShownText[7];
  QSpinBox* FColumns = nullptr;  // Edit8 with its arrows
  QComboBox* FUnits = nullptr;   // ComboBox3
  QLabel* FPanel = nullptr;      // Panel1
  QPushButton* FChange = nullptr;
  QCheckBox* FFirstPageHeader = nullptr;
  QCheckBox* FLastPageFooter = nullptr;
  QPushButton* FOk = nullptr;
  QPushButton* FCancel = nullptr;
};

}  // namespace rpt
