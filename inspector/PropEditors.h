#pragma once
// The concrete property editors, one per kind of value, and the dialogs they open.
// EditorClassForType (PropEdit.h) picks among them.
#include <string>
#include <vector>

#include "inspector/PropEdit.h"

namespace rpt {

class TFont;
class TStrings;

// ---------------------------------------------------------------------------
// Ordinal values.
class TZQKIntegerPropEditor : public TZQKOrdinalPropEditor {
  RPT_PROP_EDITOR(TZQKIntegerPropEditor, TZQKOrdinalPropEditor)
  using TZQKOrdinalPropEditor::TZQKOrdinalPropEditor;
  std::string GetValueText() override;
  void SetValueText(const std::string& text) override;

 protected:
  // Decimal text within the type's range, else "Value must be between %d and %d";
  // a text that is no number: "Invalid property value".
  int32_t ParseInteger(const std::string& text) const;
  // A name of the map (clRed, crArrow, ...) written as its value, else a number.
  void SetIdentOrNumber(const TIdentMap& idents, const std::string& text);
  static void AddIdentNames(const TIdentMap& idents, std::vector<std::string>& list);
};

class TZQKCharPropEditor : public TZQKOrdinalPropEditor {
  RPT_PROP_EDITOR(TZQKCharPropEditor, TZQKOrdinalPropEditor)
  using TZQKOrdinalPropEditor::TZQKOrdinalPropEditor;
  std::string GetValueText() override;
  void SetValueText(const std::string& text) override;
};

class TZQKEnumPropEditor : public TZQKOrdinalPropEditor {
  RPT_PROP_EDITOR(TZQKEnumPropEditor, TZQKOrdinalPropEditor)
  using TZQKOrdinalPropEditor::TZQKOrdinalPropEditor;
  std::string GetValueText() override;
  void SetValueText(const std::string& text) override;
  TZQKPropAttributes GetAttributes() override;
  void FillValueList(std::vector<std::string>& list) override;
};

class TZQKSetPropEditor : public TZQKOrdinalPropEditor {
  RPT_PROP_EDITOR(TZQKSetPropEditor, TZQKOrdinalPropEditor)
  using TZQKOrdinalPropEditor::TZQKOrdinalPropEditor;
  std::string GetValueText() override;  // "[fsBold,fsItalic]"
  TZQKPropAttributes GetAttributes() override;
  void FillSubEditors(TPropEditorList& list, const TZQKChooseEditorClass& choose) override;
};

class TZQKShortCutPropEditor : public TZQKOrdinalPropEditor {
  RPT_PROP_EDITOR(TZQKShortCutPropEditor, TZQKOrdinalPropEditor)
  using TZQKOrdinalPropEditor::TZQKOrdinalPropEditor;
  std::string GetValueText() override;
  void SetValueText(const std::string& text) override;
  TZQKPropAttributes GetAttributes() override;
  void FillValueList(std::vector<std::string>& list) override;
};

// Shortcut values: a key code plus 8192 for Shift, 16384 for Ctrl, 32768 for Alt.
std::string ShortCutToText(int32_t shortCut);
// 0 when the text is no shortcut.
int32_t TextToShortCut(const std::string& text);

class TZQKColorPropEditor : public TZQKIntegerPropEditor {
  RPT_PROP_EDITOR(TZQKColorPropEditor, TZQKIntegerPropEditor)
  using TZQKIntegerPropEditor::TZQKIntegerPropEditor;
  std::string GetValueText() override;  // clRed, or $00A0B0C0
  void SetValueText(const std::string& text) override;
  TZQKPropAttributes GetAttributes() override;
  void FillValueList(std::vector<std::string>& list) override;
  void RunDialog() override;
  void MeasureValueHeight(const std::string& value, TCanvas& canvas, int32_t& height) override;
  void MeasureValueWidth(const std::string& value, TCanvas& canvas, int32_t& width) override;
  void DrawValue(const std::string& value, TCanvas& canvas, const TRect& rect, bool selected) override;
};

class TZQKCursorPropEditor : public TZQKIntegerPropEditor {
  RPT_PROP_EDITOR(TZQKCursorPropEditor, TZQKIntegerPropEditor)
  using TZQKIntegerPropEditor::TZQKIntegerPropEditor;
  std::string GetValueText() override;
  void SetValueText(const std::string& text) override;
  TZQKPropAttributes GetAttributes() override;
  void FillValueList(std::vector<std::string>& list) override;
  void MeasureValueHeight(const std::string& value, TCanvas& canvas, int32_t& height) override;
  void MeasureValueWidth(const std::string& value, TCanvas& canvas, int32_t& width) override;
  void DrawValue(const std::string& value, TCanvas& canvas, const TRect& rect, bool selected) override;
};

class TZQKFontCharsetPropEditor : public TZQKIntegerPropEditor {
  RPT_PROP_EDITOR(TZQKFontCharsetPropEditor, TZQKIntegerPropEditor)
  using TZQKIntegerPropEditor::TZQKIntegerPropEditor;
  std::string GetValueText() override;
  void SetValueText(const std::string& text) override;
  TZQKPropAttributes GetAttributes() override;
  void FillValueList(std::vector<std::string>& list) override;
};

class TZQKModalResultPropEditor : public TZQKIntegerPropEditor {
  RPT_PROP_EDITOR(TZQKModalResultPropEditor, TZQKIntegerPropEditor)
  using TZQKIntegerPropEditor::TZQKIntegerPropEditor;
  std::string GetValueText() override;
  void SetValueText(const std::string& text) override;
  TZQKPropAttributes GetAttributes() override;
  void FillValueList(std::vector<std::string>& list) override;
};

// Shown for one object only (no attribute at all).
class TZQKTabOrderPropEditor : public TZQKIntegerPropEditor {
  RPT_PROP_EDITOR(TZQKTabOrderPropEditor, TZQKIntegerPropEditor)
  using TZQKIntegerPropEditor::TZQKIntegerPropEditor;
  TZQKPropAttributes GetAttributes() override;
};

class TZQKPenStylePropEditor : public TZQKEnumPropEditor {
  RPT_PROP_EDITOR(TZQKPenStylePropEditor, TZQKEnumPropEditor)
  using TZQKEnumPropEditor::TZQKEnumPropEditor;
  TZQKPropAttributes GetAttributes() override;
  void MeasureValueHeight(const std::string& value, TCanvas& canvas, int32_t& height) override;
  void MeasureValueWidth(const std::string& value, TCanvas& canvas, int32_t& width) override;
  void DrawValue(const std::string& value, TCanvas& canvas, const TRect& rect, bool selected) override;
};

class TZQKBrushStylePropEditor : public TZQKEnumPropEditor {
  RPT_PROP_EDITOR(TZQKBrushStylePropEditor, TZQKEnumPropEditor)
  using TZQKEnumPropEditor::TZQKEnumPropEditor;
  TZQKPropAttributes GetAttributes() override;
  void MeasureValueHeight(const std::string& value, TCanvas& canvas, int32_t& height) override;
  void MeasureValueWidth(const std::string& value, TCanvas& canvas, int32_t& width) override;
  void DrawValue(const std::string& value, TCanvas& canvas, const TRect& rect, bool selected) override;
};

// ---------------------------------------------------------------------------
// Other values.
class TZQKFloatPropEditor : public TZQKPropEditor {
  RPT_PROP_EDITOR(TZQKFloatPropEditor, TZQKPropEditor)
  using TZQKPropEditor::TZQKPropEditor;
  std::string GetValueText() override;
  void SetValueText(const std::string& text) override;
  bool ValuesAgree() override;
};

class TZQKStringPropEditor : public TZQKPropEditor {
  RPT_PROP_EDITOR(TZQKStringPropEditor, TZQKPropEditor)
  using TZQKPropEditor::TZQKPropEditor;
  std::string GetValueText() override;
  void SetValueText(const std::string& text) override;
  bool ValuesAgree() override;
};

// A component's name: one object at a time, left out among a referenced component's rows.
class TZQKComponentNamePropEditor : public TZQKStringPropEditor {
  RPT_PROP_EDITOR(TZQKComponentNamePropEditor, TZQKStringPropEditor)
  using TZQKStringPropEditor::TZQKStringPropEditor;
  TZQKPropAttributes GetAttributes() override;
};

// Applied on every keystroke.
class TZQKCaptionPropEditor : public TZQKStringPropEditor {
  RPT_PROP_EDITOR(TZQKCaptionPropEditor, TZQKStringPropEditor)
  using TZQKStringPropEditor::TZQKStringPropEditor;
  TZQKPropAttributes GetAttributes() override;
};

class TZQKFontNamePropEditor : public TZQKStringPropEditor {
  RPT_PROP_EDITOR(TZQKFontNamePropEditor, TZQKStringPropEditor)
  using TZQKStringPropEditor::TZQKStringPropEditor;
  TZQKPropAttributes GetAttributes() override;
  void FillValueList(std::vector<std::string>& list) override;  // the installed font families
};

class TZQKImeNamePropEditor : public TZQKStringPropEditor {
  RPT_PROP_EDITOR(TZQKImeNamePropEditor, TZQKStringPropEditor)
  using TZQKStringPropEditor::TZQKStringPropEditor;
  TZQKPropAttributes GetAttributes() override;
  void FillValueList(std::vector<std::string>& list) override;  // the input method in use
};

// Objects held by a property (a frame, a page, a font): "(TQRFrame)", sub-rows for
// the object's own properties.
class TZQKClassPropEditor : public TZQKPropEditor {
  RPT_PROP_EDITOR(TZQKClassPropEditor, TZQKPropEditor)
  using TZQKPropEditor::TZQKPropEditor;
  std::string GetValueText() override;
  TZQKPropAttributes GetAttributes() override;
  void FillSubEditors(TPropEditorList& list, const TZQKChooseEditorClass& choose) override;
};

class TZQKFontPropEditor : public TZQKClassPropEditor {
  RPT_PROP_EDITOR(TZQKFontPropEditor, TZQKClassPropEditor)
  using TZQKClassPropEditor::TZQKClassPropEditor;
  TZQKPropAttributes GetAttributes() override;
  void RunDialog() override;  // the font dialog with target 0's font; OK writes to all
};

class TZQKStringsPropEditor : public TZQKClassPropEditor {
  RPT_PROP_EDITOR(TZQKStringsPropEditor, TZQKClassPropEditor)
  using TZQKClassPropEditor::TZQKClassPropEditor;
  TZQKPropAttributes GetAttributes() override;
  void RunDialog() override;  // the string list editor with target 0's lines; OK writes to all
};

// A collection (an element's Highlights): its item count, and a dialog that edits the items.
class TZQKItemListPropEditor : public TZQKPropEditor {
  RPT_PROP_EDITOR(TZQKItemListPropEditor, TZQKPropEditor)
  using TZQKPropEditor::TZQKPropEditor;
  std::string GetValueText() override;
  TZQKPropAttributes GetAttributes() override;
  void RunDialog() override;  // the collection editor with target 0's items; OK writes to all
};

// A reference to a component (a dataset, a master, a linked band).
class TZQKComponentPropEditor : public TZQKPropEditor {
  RPT_PROP_EDITOR(TZQKComponentPropEditor, TZQKPropEditor)
  using TZQKPropEditor::TZQKPropEditor;
  std::string GetValueText() override;
  // Empty gives none; otherwise the component of that name, which must be of the
  // property's class, else EPropertyError "Invalid property value".
  void SetValueText(const std::string& text) override;
  TZQKPropAttributes GetAttributes() override;
  void FillValueList(std::vector<std::string>& list) override;
  void FillSubEditors(TPropEditorList& list, const TZQKChooseEditorClass& choose) override;
  bool ValuesAgree() override;
};

class TZQKVariantPropEditor : public TZQKPropEditor {
  RPT_PROP_EDITOR(TZQKVariantPropEditor, TZQKPropEditor)
  using TZQKPropEditor::TZQKPropEditor;
  std::string GetValueText() override;
  void SetValueText(const std::string& text) override;
  TZQKPropAttributes GetAttributes() override;
  void FillSubEditors(TPropEditorList& list, const TZQKChooseEditorClass& choose) override;
};

class TZQKInt64PropEditor : public TZQKPropEditor {
  RPT_PROP_EDITOR(TZQKInt64PropEditor, TZQKPropEditor)
  using TZQKPropEditor::TZQKPropEditor;
  std::string GetValueText() override;
  void SetValueText(const std::string& text) override;
  bool ValuesAgree() override;
};

// Dates and times are days since 1899-12-30 with the time as the fraction; 0 is empty.
class TZQKDateTimePropEditor : public TZQKPropEditor {
  RPT_PROP_EDITOR(TZQKDateTimePropEditor, TZQKPropEditor)
  using TZQKPropEditor::TZQKPropEditor;
  std::string GetValueText() override;
  void SetValueText(const std::string& text) override;
  bool ValuesAgree() override;

 protected:
  enum TPart { tpDate = 1, tpTime = 2, tpBoth = 3 };
  virtual TPart Part() const { return tpBoth; }
};

class TZQKDatePropEditor : public TZQKDateTimePropEditor {
  RPT_PROP_EDITOR(TZQKDatePropEditor, TZQKDateTimePropEditor)
  using TZQKDateTimePropEditor::TZQKDateTimePropEditor;

 protected:
  TPart Part() const override { return tpDate; }
};

class TZQKTimePropEditor : public TZQKDateTimePropEditor {
  RPT_PROP_EDITOR(TZQKTimePropEditor, TZQKDateTimePropEditor)
  using TZQKDateTimePropEditor::TZQKDateTimePropEditor;

 protected:
  TPart Part() const override { return tpTime; }
};

// ---------------------------------------------------------------------------
// Nested editors.

// One element of a set: "True"/"False". Typing toggles the element in each object's
// own set, so the other elements of every object stay as they were.
class TZQKSetElemPropEditor : public TZQKNestedPropEditor {
  RPT_PROP_EDITOR(TZQKSetElemPropEditor, TZQKNestedPropEditor)
  TZQKSetElemPropEditor(const TZQKPropEditor& parent, int32_t element);
  std::string GetValueText() override;
  void SetValueText(const std::string& text) override;
  TZQKPropAttributes GetAttributes() override;
  void FillValueList(std::vector<std::string>& list) override;
  bool ValuesAgree() override;
  int32_t Element() const { return FElement; }

 private:
  int32_t FElement;
};

// The type of a variant (sub-row "Type").
class TZQKVariantTypePropEditor : public TZQKNestedPropEditor {
  RPT_PROP_EDITOR(TZQKVariantTypePropEditor, TZQKNestedPropEditor)
  explicit TZQKVariantTypePropEditor(const TZQKPropEditor& parent);
  std::string GetValueText() override;
  void SetValueText(const std::string& text) override;
  TZQKPropAttributes GetAttributes() override;
  void FillValueList(std::vector<std::string>& list) override;
  bool ValuesAgree() override;
};

// ---------------------------------------------------------------------------
// The modal dialogs of the editors. The platform's are used unless a test installs its
// own, so dialog logic runs without a modal loop.
class TCollection;

class TEditorDialogs {
 public:
  virtual ~TEditorDialogs() = default;
  // True on OK, with the value changed to the chosen one.
  virtual bool ChooseColor(TColor& color) = 0;
  virtual bool ChooseFont(TFont& font) = 0;
  virtual bool EditStrings(TStrings& lines) = 0;
  // The items of a collection property named title.
  virtual bool EditItemList(TCollection& items, const std::string& title);
};
TEditorDialogs& EditorDialogs();
// Null puts the platform's dialogs back.
void SetEditorDialogs(TEditorDialogs* dialogs);

}  // namespace rpt
