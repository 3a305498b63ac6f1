#include "inspector/PropEditors.h"

#include <QDateTime>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QInputMethod>
#include <QLocale>
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>
#include <cinttypes>
#include <cstdio>

#include "framework/Canvas.h"
#include "framework/Graphics.h"
#include "objects/CodePage.h"
#include "objects/Collection.h"
#include "objects/FloatText.h"
#include "objects/StringList.h"

namespace rpt {

void BuildEditorsFor(const std::vector<TPersistent*>& objects, TZQKTypeKinds kinds, TPropEditorList& result,
                     const TZQKPropertyCompare& compare, bool sorted, const TZQKChooseEditorClass& choose,
                     bool isSubProperty, bool skipHidden, const std::vector<TComponent*>& affected,
                     const std::string& parentPath, const TZQKPropEditor* callbacksFrom);

RPT_PROP_EDITOR_IMPL(TZQKIntegerPropEditor, TZQKOrdinalPropEditor)
RPT_PROP_EDITOR_IMPL(TZQKCharPropEditor, TZQKOrdinalPropEditor)
RPT_PROP_EDITOR_IMPL(TZQKEnumPropEditor, TZQKOrdinalPropEditor)
RPT_PROP_EDITOR_IMPL(TZQKSetPropEditor, TZQKOrdinalPropEditor)
RPT_PROP_EDITOR_IMPL(TZQKShortCutPropEditor, TZQKOrdinalPropEditor)
RPT_PROP_EDITOR_IMPL(TZQKColorPropEditor, TZQKIntegerPropEditor)
RPT_PROP_EDITOR_IMPL(TZQKCursorPropEditor, TZQKIntegerPropEditor)
RPT_PROP_EDITOR_IMPL(TZQKFontCharsetPropEditor, TZQKIntegerPropEditor)
RPT_PROP_EDITOR_IMPL(TZQKModalResultPropEditor, TZQKIntegerPropEditor)
RPT_PROP_EDITOR_IMPL(TZQKTabOrderPropEditor, TZQKIntegerPropEditor)
RPT_PROP_EDITOR_IMPL(TZQKPenStylePropEditor, TZQKEnumPropEditor)
RPT_PROP_EDITOR_IMPL(TZQKBrushStylePropEditor, TZQKEnumPropEditor)
RPT_PROP_EDITOR_IMPL(TZQKFloatPropEditor, TZQKPropEditor)
RPT_PROP_EDITOR_IMPL(TZQKStringPropEditor, TZQKPropEditor)
RPT_PROP_EDITOR_IMPL(TZQKComponentNamePropEditor, TZQKStringPropEditor)
RPT_PROP_EDITOR_IMPL(TZQKCaptionPropEditor, TZQKStringPropEditor)
RPT_PROP_EDITOR_IMPL(TZQKFontNamePropEditor, TZQKStringPropEditor)
RPT_PROP_EDITOR_IMPL(TZQKImeNamePropEditor, TZQKStringPropEditor)
RPT_PROP_EDITOR_IMPL(TZQKClassPropEditor, TZQKPropEditor)
RPT_PROP_EDITOR_IMPL(TZQKFontPropEditor, TZQKClassPropEditor)
RPT_PROP_EDITOR_IMPL(TZQKStringsPropEditor, TZQKClassPropEditor)
RPT_PROP_EDITOR_IMPL(TZQKItemListPropEditor, TZQKPropEditor)
RPT_PROP_EDITOR_IMPL(TZQKComponentPropEditor, TZQKPropEditor)
RPT_PROP_EDITOR_IMPL(TZQKVariantPropEditor, TZQKPropEditor)
RPT_PROP_EDITOR_IMPL(TZQKInt64PropEditor, TZQKPropEditor)
RPT_PROP_EDITOR_IMPL(TZQKDateTimePropEditor, TZQKPropEditor)
RPT_PROP_EDITOR_IMPL(TZQKDatePropEditor, TZQKDateTimePropEditor)
RPT_PROP_EDITOR_IMPL(TZQKTimePropEditor, TZQKDateTimePropEditor)
RPT_NESTED_PROP_EDITOR_IMPL(TZQKSetElemPropEditor, TZQKNestedPropEditor)
RPT_NESTED_PROP_EDITOR_IMPL(TZQKVariantTypePropEditor, TZQKNestedPropEditor)

namespace {

const char* const kInvalidValue = "Invalid property value";

std::string Trim(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
  return std::string(s.substr(b, e - b));
}

[[noreturn]] void RangeError(int64_t min, int64_t max) {
  throw EZQKPropEditor("Value must be between " + std::to_string(min) + " and " + std::to_string(max));
}

// Decimal, or hexadecimal after "$" or "0x"; eight hexadecimal digits are a 32-bit
// pattern (so "$FF000005", the way a colour is shown, reads back as that colour).
std::optional<int64_t> ParseInt64(const std::string& typed) {
  const std::string text = Trim(typed);
  if (text.empty()) return std::nullopt;
  std::string_view digits = text;
  bool negative = false;
  if (digits.front() == '-' || digits.front() == '+') {
    negative = digits.front() == '-';
    digits.remove_prefix(1);
  }
  int base = 10;
  if (!digits.empty() && digits.front() == '$') {
    base = 16;
    digits.remove_prefix(1);
  } else if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
    base = 16;
    digits.remove_prefix(2);
  }
  if (digits.empty()) return std::nullopt;
  uint64_t value = 0;
  auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
  if (ec != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
  if (base == 16 && digits.size() == 8 && !negative) return static_cast<int64_t>(static_cast<int32_t>(value));
  if (value > static_cast<uint64_t>(INT64_MAX) + (negative ? 1u : 0u)) return std::nullopt;
  return negative ? static_cast<int64_t>(0 - value) : static_cast<int64_t>(value);
}

std::string HexColor(int32_t value) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "$%08X", static_cast<uint32_t>(value));
  return buf;
}

std::string CursorText(int32_t value) {
  if (auto name = CursorIdents().NameOf(value)) return std::string(*name);
  return std::to_string(value);
}

// The colour a value-list item names (a name or a number).
std::optional<int32_t> ColorOfText(const std::string& text) {
  if (auto v = ColorIdents().ValueOf(text)) return *v;
  if (auto v = ParseInt64(text)) return static_cast<int32_t>(*v);
  return std::nullopt;
}

// Restores the canvas's pen and brush on leaving.
class TCanvasState {
 public:
  explicit TCanvasState(TCanvas& canvas) : FCanvas(canvas) {
    FPen.AssignFrom(canvas.Pen());
    FBrush.AssignFrom(canvas.Brush());
  }
  ~TCanvasState() {
    FCanvas.SetPen(&FPen);
    FCanvas.SetBrush(&FBrush);
  }

 private:
  TCanvas& FCanvas;
  TPen FPen;
  TBrush FBrush;
};

int32_t TextHeightOfCanvas(TCanvas& canvas) { return canvas.TextHeight("Wg"); }

}  // namespace

// ---------------------------------------------------------------------------
// Integer
std::string TZQKIntegerPropEditor::GetValueText() {
  const int32_t v = ReadOrd(0);
  const TTypeInfo* type = ValueType();
  if (type && type->OrdType == otULong) return std::to_string(static_cast<uint32_t>(v));
  return std::to_string(v);
}

int32_t TZQKIntegerPropEditor::ParseInteger(const std::string& text) const {
  const std::optional<int64_t> value = ParseInt64(text);
  if (!value) throw EZQKPropEditor(kInvalidValue);
  const TTypeInfo* type = ValueType();
  int64_t min = INT32_MIN, max = INT32_MAX;
  if (type && type->OrdType == otULong) {
    min = static_cast<uint32_t>(type->MinValue);
    max = static_cast<uint32_t>(type->MaxValue);
  } else if (type) {
    min = type->MinValue;
    max = type->MaxValue;
  }
  if (*value < min || *value > max) RangeError(min, max);
  return static_cast<int32_t>(*value);
}

void TZQKIntegerPropEditor::SetIdentOrNumber(const TIdentMap& idents, const std::string& text) {
  if (auto v = idents.ValueOf(Trim(text))) {
    WriteOrdToAll(*v);
    return;
  }
  TZQKIntegerPropEditor::SetValueText(text);
}

void TZQKIntegerPropEditor::AddIdentNames(const TIdentMap& idents, std::vector<std::string>& list) {
  for (const TIdentMapEntry& e : idents.Entries()) list.push_back(e.Name);
}

void TZQKIntegerPropEditor::SetValueText(const std::string& text) { WriteOrdToAll(ParseInteger(text)); }

// ---------------------------------------------------------------------------
// Char
std::string TZQKCharPropEditor::GetValueText() {
  int32_t v = ReadOrd(0);
  // A single-byte character reads sign-extended; its code is the unsigned byte.
  const TTypeInfo* type = ValueType();
  if (type && type->OrdType == otUByte) v &= 0xFF;
  if (v < 33 || v > 255) return "#" + std::to_string(v);
  return CodePageToUtf8(std::string(1, static_cast<char>(v)));
}

void TZQKCharPropEditor::SetValueText(const std::string& text) {
  int64_t code = 0;
  size_t pos = 0;
  const bool oneCharacter = !text.empty() && DecodeUtf8(text, pos) && pos == text.size();
  if (text.empty()) {
    code = 0;
  } else if (oneCharacter && text.size() == 1) {
    code = static_cast<unsigned char>(text[0]);
  } else if (oneCharacter) {
    const std::optional<std::string> byte = Utf8ToCodePage(text);
    if (!byte || byte->size() != 1) throw EZQKPropEditor(kInvalidValue);
    code = static_cast<unsigned char>((*byte)[0]);
  } else if (text[0] == '#') {
    const std::string digits = text.substr(1);
    int64_t parsed = 0;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), parsed);
    if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size())
      throw EZQKPropEditor(kInvalidValue);
    code = parsed;
  } else {
    throw EZQKPropEditor(kInvalidValue);
  }
  const TTypeInfo* type = ValueType();
  const int64_t min = type ? type->MinValue : 0, max = type ? type->MaxValue : 255;
  if (code < min || code > max) RangeError(min, max);
  WriteOrdToAll(static_cast<int32_t>(code));
}

// ---------------------------------------------------------------------------
// Enumerations
std::string TZQKEnumPropEditor::GetValueText() {
  const TTypeInfo* type = ValueType();
  if (!type) return {};
  int32_t v = ReadOrd(0);
  if (v < type->MinValue || v > type->MaxValue) v = type->MaxValue;
  return type->EnumName(v);
}

void TZQKEnumPropEditor::SetValueText(const std::string& text) {
  const TTypeInfo* type = ValueType();
  const int32_t v = type ? type->EnumValue(Trim(text)) : -1;
  if (v < 0 || v < type->MinValue || v > type->MaxValue) throw EZQKPropEditor(kInvalidValue);
  WriteOrdToAll(v);
}

TZQKPropAttributes TZQKEnumPropEditor::GetAttributes() { return eaValueList | eaMultiSelect | eaSortedValues; }

void TZQKEnumPropEditor::FillValueList(std::vector<std::string>& list) {
  const TTypeInfo* type = ValueType();
  if (!type) return;
  if (type->MinValue < 0) {
    // A Boolean of another size (-1 is its True): offer the two names of 0 and 1.
    list.push_back(type->EnumName(0));
    list.push_back(type->EnumName(1));
    return;
  }
  for (int32_t v = type->MinValue; v <= type->MaxValue; ++v) list.push_back(type->EnumName(v));
}

// ---------------------------------------------------------------------------
// Sets and their elements
std::string TZQKSetPropEditor::GetValueText() {
  const TTypeInfo* type = ValueType();
  const TTypeInfo* comp = type ? type->CompType : nullptr;
  const uint32_t mask = static_cast<uint32_t>(ReadOrd(0));
  std::string text = "[";
  bool first = true;
  for (int bit = 0; bit < 32; ++bit) {
    if (!(mask & (1u << bit))) continue;
    if (!first) text += ",";
    text += comp ? comp->EnumName(bit) : std::to_string(bit);
    first = false;
  }
  return text + "]";
}

TZQKPropAttributes TZQKSetPropEditor::GetAttributes() { return eaSubItems | eaMultiSelect | eaReadOnlyText; }

void TZQKSetPropEditor::FillSubEditors(TPropEditorList& list, const TZQKChooseEditorClass&) {
  if (Stale()) return;
  const TTypeInfo* type = ValueType();
  const TTypeInfo* comp = type ? type->CompType : nullptr;
  if (!comp) return;
  for (int32_t e = comp->MinValue; e <= comp->MaxValue; ++e)
    list.push_back(std::make_unique<TZQKSetElemPropEditor>(*this, e));
}

TZQKSetElemPropEditor::TZQKSetElemPropEditor(const TZQKPropEditor& parent, int32_t element)
    : TZQKNestedPropEditor(parent, parent.ValueType() && parent.ValueType()->CompType
                                       ? parent.ValueType()->CompType->EnumName(element)
                                       : std::string()),
      FElement(element) {}

namespace {
bool BitOf(int32_t mask, int32_t element) {
  return element >= 0 && element < 32 && (static_cast<uint32_t>(mask) >> element) & 1u;
}
}  // namespace

std::string TZQKSetElemPropEditor::GetValueText() { return BitOf(ReadOrd(0), FElement) ? "True" : "False"; }

void TZQKSetElemPropEditor::SetValueText(const std::string& text) {
  if (FElement < 0 || FElement >= 32) throw EZQKPropEditor(kInvalidValue);
  const bool on = SameText(Trim(text), "True");
  const uint32_t bit = 1u << FElement;
  // Each object keeps its own other elements: only this one is set or cleared.
  WriteOrdEach([this, on, bit](int i) {
    const uint32_t mask = static_cast<uint32_t>(ReadOrd(i));
    return static_cast<int32_t>(on ? (mask | bit) : (mask & ~bit));
  });
}

TZQKPropAttributes TZQKSetElemPropEditor::GetAttributes() { return eaValueList | eaMultiSelect | eaSortedValues; }

void TZQKSetElemPropEditor::FillValueList(std::vector<std::string>& list) {
  list.push_back("False");
  list.push_back("True");
}

bool TZQKSetElemPropEditor::ValuesAgree() {
  const int n = TargetCount();
  if (n == 0) return false;
  const bool first = BitOf(ReadOrd(0), FElement);
  for (int i = 1; i < n; ++i)
    if (BitOf(ReadOrd(i), FElement) != first) return false;
  return true;
}

// ---------------------------------------------------------------------------
// Shortcuts
namespace {
constexpr int32_t scShift = 8192, scCtrl = 16384, scAlt = 32768;

struct TKeyName {
  int32_t Key;
  const char* Name;
};
const std::vector<TKeyName>& KeyNames() {
  static const std::vector<TKeyName> names = [] {
    std::vector<TKeyName> k{{0x08, "BkSp"},  {0x09, "Tab"},  {0x0D, "Enter"}, {0x1B, "Esc"},  {0x20, "Space"},
                            {0x21, "PgUp"},  {0x22, "PgDn"}, {0x23, "End"},   {0x24, "Home"}, {0x25, "Left"},
                            {0x26, "Up"},    {0x27, "Right"}, {0x28, "Down"}, {0x2D, "Ins"},  {0x2E, "Del"}};
    static const char* const kDigits[] = {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9"};
    for (int d = 0; d < 10; ++d) k.push_back({0x30 + d, kDigits[d]});
    static const char* const kLetters[] = {"A", "B", "C", "D", "E", "F", "G", "H", "I", "J", "K", "L", "M",
                                           "N", "O", "P", "Q", "R", "S", "T", "U", "V", "W", "X", "Y", "Z"};
    for (int l = 0; l < 26; ++l) k.push_back({0x41 + l, kLetters[l]});
    static const char* const kFunction[] = {"F1", "F2", "F3", "F4",  "F5",  "F6",
                                            "F7", "F8", "F9", "F10", "F11", "F12"};
    for (int f = 0; f < 12; ++f) k.push_back({0x70 + f, kFunction[f]});
    return k;
  }();
  return names;
}

const std::vector<int32_t>& OfferedShortCuts() {
  static const std::vector<int32_t> list = [] {
    std::vector<int32_t> s;
    for (int l = 0; l < 26; ++l) s.push_back(scCtrl + 0x41 + l);
    for (int l = 0; l < 26; ++l) s.push_back(scCtrl + scAlt + 0x41 + l);
    for (int32_t mods : {0, scCtrl, scShift, scShift + scCtrl})
      for (int f = 0; f < 12; ++f) s.push_back(mods + 0x70 + f);
    for (int32_t key : {0x2D, 0x2E})
      for (int32_t mods : {0, scShift, scCtrl}) s.push_back(mods + key);
    s.push_back(scAlt + 0x08);
    s.push_back(scShift + scAlt + 0x08);
    return s;
  }();
  return list;
}
}  // namespace

std::string ShortCutToText(int32_t shortCut) {
  const int32_t key = shortCut & 0xFF;
  std::string keyName;
  for (const TKeyName& k : KeyNames())
    if (k.Key == key) keyName = k.Name;
  if (keyName.empty()) return {};
  std::string text;
  if (shortCut & scShift) text += "Shift+";
  if (shortCut & scCtrl) text += "Ctrl+";
  if (shortCut & scAlt) text += "Alt+";
  return text + keyName;
}

int32_t TextToShortCut(const std::string& typed) {
  std::string_view text = typed;
  int32_t mods = 0;
  for (;;) {
    auto takes = [&text](std::string_view prefix) {
      if (text.size() > prefix.size() && SameText(text.substr(0, prefix.size()), prefix)) {
        text.remove_prefix(prefix.size());
        return true;
      }
      return false;
    };
    if (takes("Shift+")) mods |= scShift;
    else if (takes("Ctrl+")) mods |= scCtrl;
    else if (takes("Alt+")) mods |= scAlt;
    else break;
  }
  for (const TKeyName& k : KeyNames())
    if (SameText(text, k.Name)) return mods | k.Key;
  return 0;
}

std::string TZQKShortCutPropEditor::GetValueText() {
  const int32_t v = ReadOrd(0);
  if (v == 0) return "(None)";
  const std::string text = ShortCutToText(v);
  return text.empty() ? std::to_string(v) : text;
}

void TZQKShortCutPropEditor::SetValueText(const std::string& typed) {
  const std::string text = Trim(typed);
  if (text.empty() || SameText(text, "(None)")) {
    WriteOrdToAll(0);
    return;
  }
  int32_t value = TextToShortCut(text);
  if (value == 0) {
    // A value without a text of its own is shown as its number.
    const std::optional<int64_t> number = ParseInt64(text);
    if (number && *number > 0 && *number <= 65535) value = static_cast<int32_t>(*number);
  }
  if (value == 0) throw EZQKPropEditor(kInvalidValue);
  WriteOrdToAll(value);
}

TZQKPropAttributes TZQKShortCutPropEditor::GetAttributes() { return eaValueList | eaMultiSelect; }

void TZQKShortCutPropEditor::FillValueList(std::vector<std::string>& list) {
  list.push_back("(None)");
  for (int32_t s : OfferedShortCuts()) list.push_back(ShortCutToText(s));
}

// ---------------------------------------------------------------------------
// Colours
std::string TZQKColorPropEditor::GetValueText() {
  const int32_t v = ReadOrd(0);
  if (auto name = ColorIdents().NameOf(v)) return std::string(*name);
  return HexColor(v);
}

void TZQKColorPropEditor::SetValueText(const std::string& text) { SetIdentOrNumber(ColorIdents(), text); }

TZQKPropAttributes TZQKColorPropEditor::GetAttributes() {
  return eaValueList | eaDialog | eaMultiSelect | eaOwnerDrawValues;
}

void TZQKColorPropEditor::FillValueList(std::vector<std::string>& list) {
  AddIdentNames(ColorIdents(), list);
}

void TZQKColorPropEditor::RunDialog() {
  if (Stale()) return;
  TColor color = static_cast<TColor>(ReadOrd(0));
  if (EditorDialogs().ChooseColor(color)) WriteOrdToAll(color);
}

void TZQKColorPropEditor::MeasureValueHeight(const std::string&, TCanvas& canvas, int32_t& height) {
  height = TextHeightOfCanvas(canvas) + 2;
}

void TZQKColorPropEditor::MeasureValueWidth(const std::string& value, TCanvas& canvas, int32_t& width) {
  width = canvas.TextWidth(value) + TextHeightOfCanvas(canvas);
}

void TZQKColorPropEditor::DrawValue(const std::string& value, TCanvas& canvas, const TRect& rect, bool selected) {
  TCanvasState keep(canvas);
  const int32_t side = rect.Bottom - rect.Top;
  const TRect swatch{rect.Left, rect.Top, rect.Left + side, rect.Bottom};
  canvas.FillRect(swatch);  // erased with the background the row set
  const TColor background = canvas.Brush()->Color();
  const TColor color = static_cast<TColor>(ColorOfText(value).value_or(clBlack));
  const TRect inner{swatch.Left + 1, swatch.Top + 1, swatch.Right - 1, swatch.Bottom - 1};
  canvas.Brush()->SetStyle(bsSolid);
  canvas.Brush()->SetColor(color);
  canvas.FillRect(inner);
  const uint32_t rgb = static_cast<uint32_t>(ColorToRGB(color));
  const bool light = (rgb & 0xFF) > 192 || ((rgb >> 8) & 0xFF) > 192 || ((rgb >> 16) & 0xFF) > 192;
  canvas.Brush()->SetColor(light ? clBlack : (selected ? clWhite : color));
  canvas.FrameRect(inner);
  canvas.Brush()->SetColor(background);
  canvas.TextRect({swatch.Right, rect.Top, rect.Right, rect.Bottom}, swatch.Right + 1, rect.Top + 1, value);
}

// ---------------------------------------------------------------------------
// Cursors
namespace {
// The cursor images of the platform are not drawn; their room is kept so names line up.
constexpr int32_t kCursorImageSize = 32;
}  // namespace

std::string TZQKCursorPropEditor::GetValueText() { return CursorText(ReadOrd(0)); }

void TZQKCursorPropEditor::SetValueText(const std::string& text) { SetIdentOrNumber(CursorIdents(), text); }

TZQKPropAttributes TZQKCursorPropEditor::GetAttributes() {
  return eaValueList | eaMultiSelect | eaSortedValues | eaOwnerDrawValues;
}

void TZQKCursorPropEditor::FillValueList(std::vector<std::string>& list) {
  AddIdentNames(CursorIdents(), list);
}

void TZQKCursorPropEditor::MeasureValueHeight(const std::string&, TCanvas& canvas, int32_t& height) {
  height = std::max(TextHeightOfCanvas(canvas), kCursorImageSize + 4);
}

void TZQKCursorPropEditor::MeasureValueWidth(const std::string& value, TCanvas& canvas, int32_t& width) {
  width = canvas.TextWidth(value) + kCursorImageSize + 4;
}

void TZQKCursorPropEditor::DrawValue(const std::string& value, TCanvas& canvas, const TRect& rect, bool) {
  TCanvasState keep(canvas);
  canvas.FillRect(rect);
  canvas.TextRect(rect, rect.Left + kCursorImageSize + 5, rect.Top + 1, value);
}

// ---------------------------------------------------------------------------
// Character sets
std::string TZQKFontCharsetPropEditor::GetValueText() {
  const int32_t v = ReadOrd(0);
  if (auto name = CharsetIdents().NameOf(v)) return std::string(*name);
  return std::to_string(v);
}

void TZQKFontCharsetPropEditor::SetValueText(const std::string& text) { SetIdentOrNumber(CharsetIdents(), text); }

TZQKPropAttributes TZQKFontCharsetPropEditor::GetAttributes() {
  return eaValueList | eaMultiSelect | eaSortedValues;
}

void TZQKFontCharsetPropEditor::FillValueList(std::vector<std::string>& list) {
  AddIdentNames(CharsetIdents(), list);
}

// ---------------------------------------------------------------------------
// Modal results
namespace {
const char* const kModalResultNames[] = {"mrNone", "mrOk",  "mrCancel",  "mrAbort",   "mrRetry",   "mrIgnore",
                                         "mrYes",  "mrNo",  "mrAll",     "mrNoToAll", "mrYesToAll"};
}

std::string TZQKModalResultPropEditor::GetValueText() {
  const int32_t v = ReadOrd(0);
  if (v >= 0 && v <= 10) return kModalResultNames[v];
  return std::to_string(v);
}

void TZQKModalResultPropEditor::SetValueText(const std::string& typed) {
  const std::string text = Trim(typed);
  if (text.empty()) {
    WriteOrdToAll(0);
    return;
  }
  for (int32_t v = 0; v <= 10; ++v)
    if (SameText(text, kModalResultNames[v])) {
      WriteOrdToAll(v);
      return;
    }
  TZQKIntegerPropEditor::SetValueText(text);
}

TZQKPropAttributes TZQKModalResultPropEditor::GetAttributes() { return eaValueList | eaMultiSelect; }

void TZQKModalResultPropEditor::FillValueList(std::vector<std::string>& list) {
  for (const char* name : kModalResultNames) list.push_back(name);
}

TZQKPropAttributes TZQKTabOrderPropEditor::GetAttributes() { return 0; }

// ---------------------------------------------------------------------------
// Pen and brush styles
TZQKPropAttributes TZQKPenStylePropEditor::GetAttributes() {
  return eaValueList | eaMultiSelect | eaSortedValues | eaOwnerDrawValues;
}

void TZQKPenStylePropEditor::MeasureValueHeight(const std::string&, TCanvas& canvas, int32_t& height) {
  height = TextHeightOfCanvas(canvas) + 2;
}

void TZQKPenStylePropEditor::MeasureValueWidth(const std::string& value, TCanvas& canvas, int32_t& width) {
  width = canvas.TextWidth(value) + 2 * TextHeightOfCanvas(canvas);
}

void TZQKPenStylePropEditor::DrawValue(const std::string& value, TCanvas& canvas, const TRect& rect, bool) {
  TCanvasState keep(canvas);
  const int32_t boxWidth = 2 * (rect.Bottom - rect.Top);
  const TRect box{rect.Left, rect.Top, rect.Left + boxWidth, rect.Bottom};
  const TColor background = canvas.Brush()->Color();
  canvas.FillRect(box);
  canvas.Pen()->SetColor(clWindowText);
  canvas.Pen()->SetStyle(psSolid);
  canvas.Pen()->SetWidth(1);
  canvas.Brush()->SetColor(clWindow);
  canvas.Brush()->SetStyle(bsSolid);
  canvas.Rectangle(box.Left, box.Top, box.Right, box.Bottom);
  const TTypeInfo* type = TypeInfoOf<TPenStyle>();
  const int32_t style = std::max(0, type->EnumValue(value));
  canvas.Pen()->SetStyle(static_cast<TPenStyle>(style));
  const int32_t middle = (box.Top + box.Bottom) / 2;
  for (int32_t y : {middle, middle + 1}) {
    canvas.MoveTo(box.Left + 1, y);
    canvas.LineTo(box.Right - 1, y);
  }
  canvas.Brush()->SetColor(background);
  canvas.TextRect({box.Right, rect.Top, rect.Right, rect.Bottom}, box.Right + 1, rect.Top + 1, value);
}

TZQKPropAttributes TZQKBrushStylePropEditor::GetAttributes() {
  return eaValueList | eaMultiSelect | eaSortedValues | eaOwnerDrawValues;
}

void TZQKBrushStylePropEditor::MeasureValueHeight(const std::string&, TCanvas& canvas, int32_t& height) {
  height = TextHeightOfCanvas(canvas) + 2;
}

void TZQKBrushStylePropEditor::MeasureValueWidth(const std::string& value, TCanvas& canvas, int32_t& width) {
  width = canvas.TextWidth(value) + TextHeightOfCanvas(canvas);
}

void TZQKBrushStylePropEditor::DrawValue(const std::string& value, TCanvas& canvas, const TRect& rect, bool) {
  TCanvasState keep(canvas);
  const int32_t side = rect.Bottom - rect.Top;
  const TRect box{rect.Left, rect.Top, rect.Left + side, rect.Bottom};
  const TColor background = canvas.Brush()->Color();
  canvas.Brush()->SetColor(clWindow);
  canvas.Brush()->SetStyle(bsSolid);
  canvas.FillRect(box);
  canvas.Brush()->SetColor(clWindowText);
  canvas.FrameRect(box);
  const TTypeInfo* type = TypeInfoOf<TBrushStyle>();
  const auto style = static_cast<TBrushStyle>(std::max(0, type->EnumValue(value)));
  const TRect inner{box.Left + 1, box.Top + 1, box.Right - 1, box.Bottom - 1};
  if (style == bsClear) {
    canvas.Brush()->SetColor(clWindow);
    canvas.Brush()->SetStyle(bsSolid);
  } else {
    canvas.Brush()->SetColor(clWindowText);
    canvas.Brush()->SetStyle(style);
  }
  canvas.FillRect(inner);
  canvas.Brush()->SetColor(background);
  canvas.Brush()->SetStyle(bsSolid);
  canvas.TextRect({box.Right, rect.Top, rect.Right, rect.Bottom}, box.Right + 1, rect.Top + 1, value);
}

// ---------------------------------------------------------------------------
// Floats
namespace {
int FloatDigits(const TTypeInfo* type) {
  if (!type) return 18;
  switch (type->FloatType) {
    case ftSingle:
      return 7;
    case ftDouble:
      return 15;
    default:
      return 18;
  }
}

QString FloatText(Extended value, int digits, bool single = false) {
  // Typed text reads back as a double: beyond 15 digits of one the digits are noise.
  QString text = QString::fromStdString(ShortestFloatText(value, std::min(digits, 15), single));
  return text.replace(QLatin1Char('.'), QLocale().decimalPoint());
}
}  // namespace

std::string TZQKFloatPropEditor::GetValueText() {
  const TTypeInfo* type = ValueType();
  return FloatText(ReadFloat(0), FloatDigits(type), type && type->FloatType == ftSingle).toStdString();
}

void TZQKFloatPropEditor::SetValueText(const std::string& text) {
  bool ok = false;
  const QString typed = QString::fromStdString(Trim(text));
  double value = QLocale().toDouble(typed, &ok);
  if (!ok) value = QLocale::c().toDouble(typed, &ok);
  // "inf", "nan" and what a single cannot hold would store no number a report can use.
  const TTypeInfo* type = ValueType();
  const bool single = type && type->FloatType == ftSingle;
  if (!ok || !std::isfinite(value) || (single && std::abs(value) > std::numeric_limits<float>::max()))
    throw EConvertError("'" + text + "' is not a valid floating point value");
  WriteFloatToAll(value);
}

bool TZQKFloatPropEditor::ValuesAgree() {
  const int n = TargetCount();
  if (n == 0) return false;
  const Extended first = ReadFloat(0);
  for (int i = 1; i < n; ++i)
    if (ReadFloat(i) != first) return false;
  return true;
}

// ---------------------------------------------------------------------------
// Strings
std::string TZQKStringPropEditor::GetValueText() { return ReadStr(0); }
void TZQKStringPropEditor::SetValueText(const std::string& text) { WriteStrToAll(text); }

bool TZQKStringPropEditor::ValuesAgree() {
  const int n = TargetCount();
  if (n == 0) return false;
  const std::string first = ReadStr(0);
  for (int i = 1; i < n; ++i)
    if (ReadStr(i) != first) return false;
  return true;
}

TZQKPropAttributes TZQKComponentNamePropEditor::GetAttributes() { return eaHideInReference; }
TZQKPropAttributes TZQKCaptionPropEditor::GetAttributes() { return eaMultiSelect | eaApplyOnKeystroke; }

TZQKPropAttributes TZQKFontNamePropEditor::GetAttributes() { return eaValueList | eaMultiSelect | eaSortedValues; }

void TZQKFontNamePropEditor::FillValueList(std::vector<std::string>& list) {
  for (const QString& family : QFontDatabase::families()) list.push_back(family.toStdString());
}

TZQKPropAttributes TZQKImeNamePropEditor::GetAttributes() { return eaValueList | eaMultiSelect | eaSortedValues; }

void TZQKImeNamePropEditor::FillValueList(std::vector<std::string>& list) {
  // The platform names only the input method in use (by its locale), not a list.
  if (!qGuiApp) return;
  if (QInputMethod* im = QGuiApplication::inputMethod()) {
    const QString name = im->locale().name();
    if (!name.isEmpty()) list.push_back(name.toStdString());
  }
}

// ---------------------------------------------------------------------------
// Objects
std::string TZQKClassPropEditor::GetValueText() {
  const TTypeInfo* type = ValueType();
  return "(" + (type ? type->Name : std::string()) + ")";
}

TZQKPropAttributes TZQKClassPropEditor::GetAttributes() { return eaSubItems | eaMultiSelect | eaReadOnlyText; }

namespace {
// Sub-editors over the objects a class property holds in every target.
void FillObjectSubEditors(TZQKPropEditor& editor, TPropEditorList& list, const TZQKChooseEditorClass& choose,
                          bool references) {
  if (editor.Stale()) return;
  std::vector<TPersistent*> objects;
  std::vector<TComponent*> referenced;
  for (int i = 0; i < editor.TargetCount(); ++i) {
    TPersistent* value = editor.ReadObj(i);
    if (!value) continue;
    objects.push_back(value);
    if (auto* c = dynamic_cast<TComponent*>(value)) referenced.push_back(c);
  }
  if (objects.empty()) return;
  TZQKPropertyCompare compare = [&editor](TPersistent* instance, const TPropertyInfo* a, const TPropertyInfo* b) {
    return editor.CompareProperties(instance, a, b);
  };
  // Writes to a referenced component change that component; writes to an object the
  // targets hold (a font, a frame) change the targets' components.
  BuildEditorsFor(objects, kAllTypeKinds, list, compare, editor.SortSubProperties(), choose, true, references,
                  references ? referenced : editor.AffectedComponents(), references ? std::string() : editor.PropertyPath(),
                  &editor);
}
}  // namespace

void TZQKClassPropEditor::FillSubEditors(TPropEditorList& list, const TZQKChooseEditorClass& choose) {
  FillObjectSubEditors(*this, list, choose, false);
}

TZQKPropAttributes TZQKFontPropEditor::GetAttributes() {
  return eaSubItems | eaDialog | eaMultiSelect | eaReadOnlyText;
}

void TZQKFontPropEditor::RunDialog() {
  auto* current = dynamic_cast<TFont*>(ReadObj(0));
  if (!current) return;
  TFont font;
  font.AssignFrom(current);
  if (EditorDialogs().ChooseFont(font)) WriteObjToAll(&font);
}

TZQKPropAttributes TZQKStringsPropEditor::GetAttributes() { return eaDialog | eaMultiSelect | eaReadOnlyText; }

void TZQKStringsPropEditor::RunDialog() {
  auto* current = dynamic_cast<TStrings*>(ReadObj(0));
  if (!current) return;
  TStringList lines;
  lines.AssignFrom(current);
  if (EditorDialogs().EditStrings(lines)) WriteObjToAll(&lines);
}

std::string TZQKItemListPropEditor::GetValueText() {
  const auto* items = dynamic_cast<const TCollection*>(ReadObj(0));
  if (!items) return {};
  return items->Count() == 1 ? "(1 item)" : "(" + std::to_string(items->Count()) + " items)";
}

TZQKPropAttributes TZQKItemListPropEditor::GetAttributes() { return eaDialog | eaMultiSelect | eaReadOnlyText; }

void TZQKItemListPropEditor::RunDialog() {
  auto* current = dynamic_cast<TCollection*>(ReadObj(0));
  if (!current) return;
  std::unique_ptr<TObject, TFreeDeleter> made(current->ClassType().CreateInstance());
  auto* copy = dynamic_cast<TCollection*>(made.get());
  if (!copy) return;
  copy->AssignFrom(current);
  if (EditorDialogs().EditItemList(*copy, PropertyAt(0)->Name)) WriteObjToAll(copy);
}

bool TEditorDialogs::EditItemList(TCollection&, const std::string&) { return false; }

// ---------------------------------------------------------------------------
// Component references
std::string TZQKComponentPropEditor::GetValueText() {
  auto* component = dynamic_cast<TComponent*>(ReadObj(0));
  return component ? ComponentDisplayName(component) : std::string();
}

void TZQKComponentPropEditor::SetValueText(const std::string& typed) {
  const std::string text = Trim(typed);
  if (text.empty()) {
    WriteObjToAll(nullptr);
    return;
  }
  TComponent* component = FindComponentByName(text);
  const TTypeInfo* type = ValueType();
  if (!component || !type || !type->ClassType || !component->InheritsFrom(*type->ClassType))
    throw EPropertyError(kInvalidValue);
  // Where the row offers a list of names, a typed name must be one of them: a
  // setter may ignore a component of the right class that it cannot use.
  std::vector<TComponent*> offered;
  ListComponentsOfClass(type->ClassType, offered);
  if (!offered.empty() && std::find(offered.begin(), offered.end(), component) == offered.end())
    throw EPropertyError(kInvalidValue);
  WriteObjToAll(component);
}

TZQKPropAttributes TZQKComponentPropEditor::GetAttributes() {
  const bool writable = AllWritable();
  TZQKPropAttributes a = writable ? (eaValueList | eaMultiSelect | eaSortedValues | eaComponentReference)
                                  : (eaMultiSelect | eaReadOnlyText | eaComponentReference);
  if (ReadObj(0) && ValuesAgree()) a |= eaSubItems | eaRebuildSubItems;
  return a;
}

void TZQKComponentPropEditor::FillValueList(std::vector<std::string>& list) {
  const TTypeInfo* type = ValueType();
  if (!type || !type->ClassType) return;
  std::vector<TComponent*> components;
  ListComponentsOfClass(type->ClassType, components);
  for (TComponent* c : components)
    if (c) list.push_back(ComponentDisplayName(c));
}

void TZQKComponentPropEditor::FillSubEditors(TPropEditorList& list, const TZQKChooseEditorClass& choose) {
  FillObjectSubEditors(*this, list, choose, true);
}

bool TZQKComponentPropEditor::ValuesAgree() {
  const int n = TargetCount();
  if (n == 0) return false;
  TPersistent* first = ReadObj(0);
  for (int i = 1; i < n; ++i)
    if (ReadObj(i) != first) return false;
  return true;
}

// ---------------------------------------------------------------------------
// Variants
namespace {
struct TVariantTypeName {
  TVariant::TVarType Type;
  const char* Name;
};
// In the order of the classic type codes; "String" last.
const TVariantTypeName kVariantTypeNames[] = {
    {TVariant::varEmpty, "Unassigned"}, {TVariant::varNull, "Null"},      {TVariant::varSmallint, "Smallint"},
    {TVariant::varInteger, "Integer"},  {TVariant::varSingle, "Single"},  {TVariant::varDouble, "Double"},
    {TVariant::varCurrency, "Currency"}, {TVariant::varDate, "Date"},     {TVariant::varOleStr, "OleStr"},
    {TVariant::varBoolean, "Boolean"},  {TVariant::varShortInt, "Shortint"}, {TVariant::varByte, "Byte"},
    {TVariant::varWord, "Word"},        {TVariant::varLongWord, "LongWord"}, {TVariant::varInt64, "Int64"},
    {TVariant::varString, "String"},
};

std::string VariantTypeName(TVariant::TVarType type) {
  for (const TVariantTypeName& t : kVariantTypeNames)
    if (t.Type == type) return t.Name;
  return "(Unknown)";
}

bool IsIntegerVariant(TVariant::TVarType t) {
  switch (t) {
    case TVariant::varShortInt: case TVariant::varSmallint: case TVariant::varInteger: case TVariant::varByte:
    case TVariant::varWord: case TVariant::varLongWord: case TVariant::varInt64:
      return true;
    default:
      return false;
  }
}

bool IntegerFits(TVariant::TVarType t, int64_t v) {
  switch (t) {
    case TVariant::varShortInt: return v >= -128 && v <= 127;
    case TVariant::varSmallint: return v >= -32768 && v <= 32767;
    case TVariant::varInteger: return v >= INT32_MIN && v <= INT32_MAX;
    case TVariant::varByte: return v >= 0 && v <= 255;
    case TVariant::varWord: return v >= 0 && v <= 65535;
    case TVariant::varLongWord: return v >= 0 && v <= 4294967295LL;
    default: return true;
  }
}

TVariant NullVariant() {
  TVariant v;
  v.Type = TVariant::varNull;
  return v;
}

constexpr double kDaysTo1970 = 25569.0;  // 1899-12-30 to 1970-01-01

QDateTime DateTimeOfDays(double days) {
  return QDateTime::fromMSecsSinceEpoch(std::llround((days - kDaysTo1970) * 86400000.0), Qt::UTC);
}
double DaysOfDateTime(const QDateTime& dt) {
  return static_cast<double>(dt.toMSecsSinceEpoch()) / 86400000.0 + kDaysTo1970;
}

// A four-digit year, so a date read back is the date shown.
QString FullYear(QString format) {
  if (!format.contains("yyyy")) format.replace("yy", "yyyy");
  return format;
}

std::string VariantText(const TVariant& v) {
  switch (v.Type) {
    case TVariant::varEmpty: return {};
    case TVariant::varNull: return "(Null)";
    case TVariant::varBoolean: return v.Int ? "True" : "False";
    case TVariant::varCurrency:
      return QLocale().toCurrencyString(static_cast<double>(v.Int) / 10000.0).toStdString();
    case TVariant::varSingle: return FloatText(v.Float, 7, true).toStdString();
    case TVariant::varDouble: return FloatText(v.Float, 15).toStdString();
    case TVariant::varDate:
      return QLocale().toString(DateTimeOfDays(v.Float), FullYear(QLocale().dateTimeFormat(QLocale::ShortFormat)))
          .toStdString();
    case TVariant::varString: case TVariant::varOleStr: return v.Text;
    case TVariant::varArray: return "Error";
    default: return std::to_string(v.Int);
  }
}

// The text as a value of a variant type, when it converts.
std::optional<TVariant> TextAsVariant(const std::string& text, TVariant::TVarType type) {
  TVariant v;
  v.Type = type;
  if (IsIntegerVariant(type)) {
    const std::optional<int64_t> n = ParseInt64(text);
    if (!n || !IntegerFits(type, *n)) return std::nullopt;
    v.Int = *n;
    return v;
  }
  switch (type) {
    case TVariant::varSingle: case TVariant::varDouble: {
      bool ok = false;
      v.Float = QLocale().toDouble(QString::fromStdString(text), &ok);
      if (!ok) return std::nullopt;
      if (type == TVariant::varSingle) v.Float = static_cast<float>(v.Float);
      return v;
    }
    case TVariant::varCurrency: {
      const QLocale locale;
      QString t = QString::fromStdString(text);
      if (!t.contains(locale.currencySymbol())) return std::nullopt;
      t.remove(locale.currencySymbol());
      bool ok = false;
      const double d = locale.toDouble(t.trimmed(), &ok);
      if (!ok) return std::nullopt;
      v.Int = std::llround(d * 10000.0);
      return v;
    }
    case TVariant::varBoolean:
      if (SameText(text, "True")) v.Int = 1;
      else if (SameText(text, "False")) v.Int = 0;
      else return std::nullopt;
      return v;
    case TVariant::varDate: {
      const QLocale locale;
      const QString t = QString::fromStdString(text);
      QDateTime dt = locale.toDateTime(t, FullYear(locale.dateTimeFormat(QLocale::ShortFormat)));
      if (!dt.isValid()) dt = QDateTime(locale.toDate(t, FullYear(locale.dateFormat(QLocale::ShortFormat))), QTime(0, 0));
      if (!dt.isValid()) return std::nullopt;
      dt.setTimeSpec(Qt::UTC);
      v.Float = DaysOfDateTime(dt);
      return v;
    }
    case TVariant::varString: case TVariant::varOleStr:
      v.Text = text;
      return v;
    default:
      return std::nullopt;
  }
}

// The value cast to another type; none when it does not convert.
std::optional<TVariant> CastVariant(const TVariant& value, TVariant::TVarType type) {
  if (value.Type == type) return value;
  if (type == TVariant::varEmpty) return TVariant{};
  if (type == TVariant::varNull) return NullVariant();
  if (value.Type == TVariant::varEmpty || value.Type == TVariant::varNull) {
    TVariant v;  // the type's empty value
    v.Type = type;
    return v;
  }
  return TextAsVariant(VariantText(value), type);
}
}  // namespace

std::string TZQKVariantPropEditor::GetValueText() { return VariantText(ReadVariant(0)); }

void TZQKVariantPropEditor::SetValueText(const std::string& text) {
  if (text.empty()) {
    WriteVariantToAll(TVariant{});
    return;
  }
  if (SameText(text, "(Null)")) {
    WriteVariantToAll(NullVariant());
    return;
  }
  const TVariant current = ReadVariant(0);
  std::optional<TVariant> typed = TextAsVariant(text, current.Type);
  // Kept in the current type only when it reads back as typed (dates may reformat).
  if (typed && current.Type != TVariant::varDate && VariantText(*typed) != text) typed.reset();
  if (!typed) {
    typed = TVariant{};
    typed->Type = TVariant::varString;
    typed->Text = text;
  }
  WriteVariantToAll(*typed);
}

TZQKPropAttributes TZQKVariantPropEditor::GetAttributes() { return eaSubItems | eaMultiSelect; }

void TZQKVariantPropEditor::FillSubEditors(TPropEditorList& list, const TZQKChooseEditorClass&) {
  if (Stale()) return;
  list.push_back(std::make_unique<TZQKVariantTypePropEditor>(*this));
}

TZQKVariantTypePropEditor::TZQKVariantTypePropEditor(const TZQKPropEditor& parent)
    : TZQKNestedPropEditor(parent, "Type") {}

std::string TZQKVariantTypePropEditor::GetValueText() { return VariantTypeName(ReadVariant(0).Type); }

void TZQKVariantTypePropEditor::SetValueText(const std::string& text) {
  const TVariantTypeName* found = nullptr;
  for (const TVariantTypeName& t : kVariantTypeNames)
    if (text == t.Name) found = &t;
  if (!found) throw Exception("Unknown Type");
  const TVariant::TVarType type = found->Type;
  // Each object's own value changes type; a value that does not convert becomes the
  // type's empty value.
  WriteVariantEach([this, type](int i) {
    if (auto cast = CastVariant(ReadVariant(i), type)) return *cast;
    return *CastVariant(TVariant{}, type);
  });
}

TZQKPropAttributes TZQKVariantTypePropEditor::GetAttributes() { return eaValueList | eaMultiSelect | eaSortedValues; }

void TZQKVariantTypePropEditor::FillValueList(std::vector<std::string>& list) {
  for (const TVariantTypeName& t : kVariantTypeNames) list.push_back(t.Name);
}

bool TZQKVariantTypePropEditor::ValuesAgree() {
  const int n = TargetCount();
  if (n == 0) return false;
  const TVariant::TVarType first = ReadVariant(0).Type;
  for (int i = 1; i < n; ++i)
    if (ReadVariant(i).Type != first) return false;
  return true;
}

// ---------------------------------------------------------------------------
// 64-bit integers
std::string TZQKInt64PropEditor::GetValueText() { return std::to_string(ReadInt64(0)); }

void TZQKInt64PropEditor::SetValueText(const std::string& text) {
  const std::optional<int64_t> value = ParseInt64(text);
  if (!value) throw EZQKPropEditor(kInvalidValue);
  const TTypeInfo* type = ValueType();
  if (type && (*value < type->MinInt64 || *value > type->MaxInt64)) RangeError(type->MinInt64, type->MaxInt64);
  WriteInt64ToAll(*value);
}

bool TZQKInt64PropEditor::ValuesAgree() {
  const int n = TargetCount();
  if (n == 0) return false;
  const int64_t first = ReadInt64(0);
  for (int i = 1; i < n; ++i)
    if (ReadInt64(i) != first) return false;
  return true;
}

// ---------------------------------------------------------------------------
// Dates and times
std::string TZQKDateTimePropEditor::GetValueText() {
  const double days = static_cast<double>(ReadFloat(0));
  if (days == 0) return {};
  const QLocale locale;
  const QDateTime dt = DateTimeOfDays(days);
  switch (Part()) {
    case tpDate: return locale.toString(dt.date(), FullYear(locale.dateFormat(QLocale::ShortFormat))).toStdString();
    case tpTime: return locale.toString(dt.time(), locale.timeFormat(QLocale::ShortFormat)).toStdString();
    default: return locale.toString(dt, FullYear(locale.dateTimeFormat(QLocale::ShortFormat))).toStdString();
  }
}

void TZQKDateTimePropEditor::SetValueText(const std::string& typed) {
  const std::string text = Trim(typed);
  if (text.empty()) {
    WriteFloatToAll(0);
    return;
  }
  const QLocale locale;
  const QString t = QString::fromStdString(text);
  double days = 0;
  bool ok = false;
  if (Part() == tpTime) {
    QTime time = locale.toTime(t, locale.timeFormat(QLocale::ShortFormat));
    if (!time.isValid()) time = locale.toTime(t, locale.timeFormat(QLocale::LongFormat));
    ok = time.isValid();
    days = time.msecsSinceStartOfDay() / 86400000.0;
  } else {
    QDateTime dt;
    if (Part() == tpBoth) dt = locale.toDateTime(t, FullYear(locale.dateTimeFormat(QLocale::ShortFormat)));
    if (!dt.isValid()) {
      const QDate date = locale.toDate(t, FullYear(locale.dateFormat(QLocale::ShortFormat)));
      if (date.isValid()) dt = QDateTime(date, QTime(0, 0), Qt::UTC);
    }
    ok = dt.isValid();
    if (ok) {
      dt.setTimeSpec(Qt::UTC);
      days = DaysOfDateTime(dt);
    }
  }
  if (!ok) {
    const char* what = Part() == tpDate ? "date" : Part() == tpTime ? "time" : "date and time";
    throw EConvertError("'" + text + "' is not a valid " + what);
  }
  WriteFloatToAll(days);
}

bool TZQKDateTimePropEditor::ValuesAgree() {
  const int n = TargetCount();
  if (n == 0) return false;
  const Extended first = ReadFloat(0);
  for (int i = 1; i < n; ++i)
    if (ReadFloat(i) != first) return false;
  return true;
}

}  // namespace rpt
