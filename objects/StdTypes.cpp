#include "objects/StdTypes.h"

namespace rpt {

namespace {
const TTypeInfo* NamedCopy(const TTypeInfo* base, const char* name) {
  auto* t = new TTypeInfo(*base);
  t->Name = name;
  return t;
}
}  // namespace

const TTypeInfo* ComponentNameTypeInfo() {
  static const TTypeInfo* info = NamedCopy(TypeInfoOf<std::string>(), "TComponentName");
  return info;
}
const TTypeInfo* CaptionTypeInfo() {
  static const TTypeInfo* info = NamedCopy(TypeInfoOf<std::string>(), "TCaption");
  return info;
}
const TTypeInfo* ImeNameTypeInfo() {
  static const TTypeInfo* info = NamedCopy(TypeInfoOf<std::string>(), "TImeName");
  return info;
}
const TTypeInfo* DateTypeInfo() {
  static const TTypeInfo* info = NamedCopy(TypeInfoOf<double>(), "TDate");
  return info;
}
const TTypeInfo* TimeTypeInfo() {
  static const TTypeInfo* info = NamedCopy(TypeInfoOf<double>(), "TTime");
  return info;
}
const TTypeInfo* DateTimeTypeInfo() {
  static const TTypeInfo* info = NamedCopy(TypeInfoOf<double>(), "TDateTime");
  return info;
}
const TTypeInfo* ShortCutTypeInfo() {
  static const TTypeInfo* info = MakeIntegerTypeInfo("TShortCut", otUWord, 0, 65535, nullptr);
  return info;
}
const TTypeInfo* TabOrderTypeInfo() {
  static const TTypeInfo* info = MakeIntegerTypeInfo("TTabOrder", otSWord, -1, 32767, nullptr);
  return info;
}
const TTypeInfo* ModalResultTypeInfo() {
  static const TTypeInfo* info = MakeIntegerTypeInfo("TModalResult", otSLong, INT32_MIN, INT32_MAX, nullptr);
  return info;
}

const TIdentMap& ColorIdents() {
  static const TIdentMap map{
      {clBlack, "clBlack"}, {clMaroon, "clMaroon"}, {clGreen, "clGreen"}, {clOlive, "clOlive"},
      {clNavy, "clNavy"}, {clPurple, "clPurple"}, {clTeal, "clTeal"}, {clGray, "clGray"},
      {clSilver, "clSilver"}, {clRed, "clRed"}, {clLime, "clLime"}, {clYellow, "clYellow"},
      {clBlue, "clBlue"}, {clFuchsia, "clFuchsia"}, {clAqua, "clAqua"}, {clWhite, "clWhite"},
      {clMoneyGreen, "clMoneyGreen"}, {clSkyBlue, "clSkyBlue"}, {clCream, "clCream"},
      {clMedGray, "clMedGray"}, {clActiveBorder, "clActiveBorder"}, {clActiveCaption, "clActiveCaption"},
      {clAppWorkSpace, "clAppWorkSpace"}, {clBackground, "clBackground"}, {clBtnFace, "clBtnFace"},
      {clBtnHighlight, "clBtnHighlight"}, {clBtnShadow, "clBtnShadow"}, {clBtnText, "clBtnText"},
      {clCaptionText, "clCaptionText"}, {clDefault, "clDefault"},
      {clGradientActiveCaption, "clGradientActiveCaption"},
      {clGradientInactiveCaption, "clGradientInactiveCaption"}, {clGrayText, "clGrayText"},
      {clHighlight, "clHighlight"}, {clHighlightText, "clHighlightText"}, {clHotLight, "clHotLight"},
      {clInactiveBorder, "clInactiveBorder"}, {clInactiveCaption, "clInactiveCaption"},
      {clInactiveCaptionText, "clInactiveCaptionText"}, {clInfoBk, "clInfoBk"},
      {clInfoText, "clInfoText"}, {clMenu, "clMenu"}, {clMenuBar, "clMenuBar"},
      {clMenuHighlight, "clMenuHighlight"}, {clMenuText, "clMenuText"}, {clNone, "clNone"},
      {clScrollBar, "clScrollBar"}, {cl3DDkShadow, "cl3DDkShadow"}, {cl3DLight, "cl3DLight"},
      {clWindow, "clWindow"}, {clWindowFrame, "clWindowFrame"}, {clWindowText, "clWindowText"},
  };
  return map;
}

const TIdentMap& CharsetIdents() {
  static const TIdentMap map{
      {ANSI_CHARSET, "ANSI_CHARSET"}, {DEFAULT_CHARSET, "DEFAULT_CHARSET"},
      {SYMBOL_CHARSET, "SYMBOL_CHARSET"}, {MAC_CHARSET, "MAC_CHARSET"},
      {SHIFTJIS_CHARSET, "SHIFTJIS_CHARSET"}, {HANGEUL_CHARSET, "HANGEUL_CHARSET"},
      {JOHAB_CHARSET, "JOHAB_CHARSET"}, {GB2312_CHARSET, "GB2312_CHARSET"},
      {CHINESEBIG5_CHARSET, "CHINESEBIG5_CHARSET"}, {GREEK_CHARSET, "GREEK_CHARSET"},
      {TURKISH_CHARSET, "TURKISH_CHARSET"}, {HEBREW_CHARSET, "HEBREW_CHARSET"},
      {ARABIC_CHARSET, "ARABIC_CHARSET"}, {BALTIC_CHARSET, "BALTIC_CHARSET"},
      {RUSSIAN_CHARSET, "RUSSIAN_CHARSET"}, {THAI_CHARSET, "THAI_CHARSET"},
      {EASTEUROPE_CHARSET, "EASTEUROPE_CHARSET"}, {OEM_CHARSET, "OEM_CHARSET"},
  };
  return map;
}

const TIdentMap& CursorIdents() {
  static const TIdentMap map{
      {crDefault, "crDefault"}, {crArrow, "crArrow"}, {crCross, "crCross"}, {crIBeam, "crIBeam"},
      {crSizeNESW, "crSizeNESW"}, {crSizeNS, "crSizeNS"}, {crSizeNWSE, "crSizeNWSE"},
      {crSizeWE, "crSizeWE"}, {crUpArrow, "crUpArrow"}, {crHourGlass, "crHourGlass"},
      {crDrag, "crDrag"}, {crNoDrop, "crNoDrop"}, {crHSplit, "crHSplit"}, {crVSplit, "crVSplit"},
      {crMultiDrag, "crMultiDrag"}, {crSQLWait, "crSQLWait"}, {crNo, "crNo"},
      {crAppStart, "crAppStart"}, {crHelp, "crHelp"}, {crHandPoint, "crHandPoint"},
      {crSizeAll, "crSizeAll"}, {crSize, "crSize"},
  };
  return map;
}

}  // namespace rpt
