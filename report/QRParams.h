#pragma once
// Report parameters: values the user chooses for one run (a customer, a period, a
// region). A report keeps their declarations in its Parameters collection; the values
// of a run are given as text (the command line, the run-time dialog) and parsed by the
// parameter's type. While a pass runs each parameter is a function of the report's
// environment, so expressions read it by name (or as PARAM('NAME')) and a query's
// ":NAME" is bound to it as a value.
#include <map>
#include <string>
#include <vector>

#include "expr/QRExpr.h"
#include "objects/Collection.h"

namespace rpt {

class TCustomQuickRep;

enum TQRParamType : uint8_t { ptString, ptInteger, ptFloat, ptDate, ptBoolean };
RPT_ENUM_TYPE(TQRParamType, "ptString", "ptInteger", "ptFloat", "ptDate", "ptBoolean")

// "string", "integer", "float", "date", "boolean".
const char* ParamTypeName(TQRParamType type);

class TQRParameter : public TCollectionItem {
  RPT_CLASS(TQRParameter, TCollectionItem)
  TQRParameter() = default;

  const std::string& Name() const { return FName; }
  void SetName(const std::string& value) { FName = value; }
  TQRParamType DataType() const { return FDataType; }
  void SetDataType(TQRParamType value) { FDataType = value; }
  // An expression giving the value when none is given for the run; empty: none.
  const std::string& Default() const { return FDefault; }
  void SetDefault(const std::string& value) { FDefault = value; }
  // What the run-time dialog asks ("Country"); the name when empty.
  const std::string& Prompt() const { return FPrompt; }
  void SetPrompt(const std::string& value) { FPrompt = value; }
  // A query on the report's database whose rows are the choices offered: the value
  // column and the caption column (both the first column when empty).
  const std::string& ChoicesSQL() const { return FChoicesSQL; }
  void SetChoicesSQL(const std::string& value) { FChoicesSQL = value; }
  const std::string& ValueField() const { return FValueField; }
  void SetValueField(const std::string& value) { FValueField = value; }
  const std::string& CaptionField() const { return FCaptionField; }
  void SetCaptionField(const std::string& value) { FCaptionField = value; }

  void AssignFrom(const TPersistent* source) override;

 private:
  std::string FName;
  TQRParamType FDataType = ptString;
  std::string FDefault;
  std::string FPrompt;
  std::string FChoicesSQL;
  std::string FValueField;
  std::string FCaptionField;
};

class TQRParameters : public TCollection {
  RPT_CLASS(TQRParameters, TCollection)
  TQRParameters();

  TQRParameter* Parameter(int index) const { return static_cast<TQRParameter*>(Items(index)); }
  TQRParameter* AddParameter() { return static_cast<TQRParameter*>(Add()); }
  // Case-insensitive; null when absent.
  TQRParameter* Find(std::string_view name) const;
};

// A text read as a value of the type: integers as 32-bit decimal numbers, floats as
// finite decimal numbers, dates as yyyy-mm-dd (kept as that text, which is what date
// columns compare with), Booleans as true/false, yes/no or 1/0. False with the reason
// ("'x' is not an integer") when the text is not one.
bool ParseParamValue(TQRParamType type, std::string_view text, TQREvValue& value, std::string& error);
// A value of an expression (a default) made a value of the type; false when it is not one.
bool ConvertParamValue(TQRParamType type, const TQREvValue& source, TQREvValue& value, std::string& error);
// A value written as ParseParamValue reads it.
std::string ParamValueText(const TQREvValue& value);

// A parameter name: a letter or "_" then letters, digits and "_".
bool IsValidParamName(std::string_view name);

// One value of a run: the name as declared (or as the SQL writes it) and its value.
struct TQRParamValue {
  std::string Name;
  TQREvValue Value;
};

// The values a run gives, by upper-case name, as text.
using TQRParamTexts = std::map<std::string, std::string>;

// The value of every declared parameter: the given text, else its default (an
// expression that sees TODAY, MONTHSTART and YEARSTART, yyyy-mm-dd texts of the
// evaluator's clock, and the parameters before it); then every
// other given name (a parameter the report's SQL uses without declaring it) as a
// string. Throws EQRError naming the parameter for a text that is not of its type, a
// default that fails, or a parameter with neither.
std::vector<TQRParamValue> ResolveParamValues(const TQRParameters& declared, const TQRParamTexts& given);

}  // namespace rpt
