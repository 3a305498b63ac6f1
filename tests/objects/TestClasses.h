#pragma once
// Small classes that exercise every published property kind, shared by the tests.
#include <functional>
#include <string>
#include <vector>

#include "objects/Collection.h"
#include "objects/Filer.h"
#include "objects/StringList.h"

namespace rpt::test {

enum TFontStyle : uint8_t { fsBold, fsItalic, fsUnderline, fsStrikeOut };
RPT_ENUM_TYPE(TFontStyle, "fsBold", "fsItalic", "fsUnderline", "fsStrikeOut")
using TFontStyles = TSet<TFontStyle>;

enum TShapeKind : uint8_t { skRectangle, skCircle, skLine };
RPT_ENUM_TYPE(TShapeKind, "skRectangle", "skCircle", "skLine")

RPT_EVENT_TYPE(TTestNotifyEvent, void(TObject*))

// A nested persistent object, streamed as Font.Name, Font.Style, ...
class TTestFont : public TPersistent {
  RPT_CLASS(TTestFont, TPersistent)
  std::string Name = "Arial";
  int32_t Size = 10;
  TColor Color = clBlack;
  TFontCharset Charset = DEFAULT_CHARSET;
  TFontStyles Style;
  void AssignFrom(const TPersistent* source) override;
};

class TTestItem : public TCollectionItem {
  RPT_CLASS(TTestItem, TCollectionItem)
  std::string Caption;
  int32_t Width = 0;
};

// A window control with one property of every kind that streams.
class TTestLabel : public TWinControl {
  RPT_CLASS(TTestLabel, TWinControl)
  TTestLabel();
  ~TTestLabel() override;

  std::string Caption;
  bool AutoSize = true;
  TColor Color = clWhite;
  TShapeKind Shape = skRectangle;
  TFontStyles Styles;
  char Accel = 0;
  double Ratio = 0;
  float Scale = 0;
  long double Precise = 0;
  int64_t Big = 0;
  int16_t Small = 0;
  uint8_t Tiny = 0;
  std::u16string Wide;
  TVariant Value;
  TComponent* Link = nullptr;
  TTestNotifyEvent OnClick;
  int32_t Indexed[3] = {0, 0, 0};
  bool StoreRatio = true;

  TTestFont* Font() const { return FFont; }
  void SetFont(TTestFont* font) { FFont->AssignFrom(font); }
  TStrings* Lines() const { return FLines; }
  void SetLines(TStrings* lines) { FLines->AssignFrom(lines); }
  TCollection* Items() const { return FItems; }
  void SetItems(TCollection* items) { FItems->AssignFrom(items); }
  int32_t GetIndexed(int index) const { return Indexed[index]; }
  void SetIndexed(int index, int32_t value) { Indexed[index] = value; }
  bool IsIndexedStored(int index) const { return index != 2; }
  void SetLink(TComponent* link);
  void ComponentNotification(TComponent* component, TComponentOperation operation) override;

  std::vector<std::string>* AfterLoadLog = nullptr;
  // When set, AfterLoad fails with this message (a read that fails at its very end).
  std::string AfterLoadError;
  void AfterLoad() override;

 private:
  TTestFont* FFont;
  TStrings* FLines;
  TCollection* FItems;
};

// A root with a published handler and a published field.
class TTestForm : public TWinControl {
  RPT_CLASS(TTestForm, TWinControl)
  TTestLabel* Label1 = nullptr;
  void Label1Click(TObject*) { ++Clicks; }
  int Clicks = 0;
};

// A plain component, neither control nor persistent holder.
class TTestComponent : public TComponent {
  RPT_CLASS(TTestComponent, TComponent)
  std::vector<std::string> Heard;
  void ComponentNotification(TComponent* component, TComponentOperation operation) override;
  // When set, hearing the removal of Trigger destroys Victim.
  TComponent* Trigger = nullptr;
  TComponent* Victim = nullptr;
  // When set, every notification is also recorded here as "Self: insert X" or
  // "Self: remove X", so the order across several components can be checked.
  std::vector<std::string>* Log = nullptr;
  // Called with every notification, before it is handled.
  std::function<void(TComponent*, TComponentOperation)> OnNotification;
  // Called when destruction starts, before the owned components go.
  std::function<void(TTestComponent*)> OnDestroy;

 protected:
  void Destroy() override;
};

void RegisterTestClasses();

// A form named Form1 with labels that set every streamed property kind, nested
// children, a reference, a bound handler, a collection and a string list.
TTestForm* CreateRichForm();

// The message of the rpt::Exception that F throws, or "(no error)".
template <class F>
std::string ErrorMessage(F&& f) {
  try {
    f();
  } catch (const Exception& e) {
    return e.what();
  }
  return "(no error)";
}

}  // namespace rpt::test
