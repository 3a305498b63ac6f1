#include "report/QRParams.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "objects/Format.h"
#include "output/QRPrinter.h"

namespace rpt {

RPT_BEGIN_CLASS(TQRParameter, TCollectionItem)
  c.Property("CaptionField", &TQRParameter::CaptionField, &TQRParameter::SetCaptionField);
  c.Property("ChoicesSQL", &TQRParameter::ChoicesSQL, &TQRParameter::SetChoicesSQL);
  c.Property("DataType", &TQRParameter::DataType, &TQRParameter::SetDataType).Default(ptString);
  c.Property("Default", &TQRParameter::Default, &TQRParameter::SetDefault);
  c.Property("Name", &TQRParameter::Name, &TQRParameter::SetName);
  c.Property("Prompt", &TQRParameter::Prompt, &TQRParameter::SetPrompt);
  c.Property("ValueField", &TQRParameter::ValueField, &TQRParameter::SetValueField);
RPT_END_CLASS

void TQRParameter::AssignFrom(const TPersistent* source) {
  const auto* other = dynamic_cast<const TQRParameter*>(source);
  if (!other) return TCollectionItem::AssignFrom(source);
  FName = other->FName;
  FDataType = other->FDataType;
  FDefault = other->FDefault;
  FPrompt = other->FPrompt;
  FChoicesSQL = other->FChoicesSQL;
  FValueField = other->FValueField;
  FCaptionField = other->FCaptionField;
  Changed(false);
}

RPT_BEGIN_CLASS(TQRParameters, TCollection)
RPT_END_CLASS

TQRParameters::TQRParameters() : TCollection(TQRParameter::StaticClass()) {}

TQRParameter* TQRParameters::Find(std::string_view name) const {
  const std::string wanted = EvUpperCase(name);
  for (int i = 0; i < Count(); ++i)
    if (EvUpperCase(Parameter(i)->Name()) == wanted) return Parameter(i);
  return nullptr;
}

const char* ParamTypeName(TQRParamType type) {
  switch (type) {
    case ptString: return "string";
    case ptInteger: return "integer";
    case ptFloat: return "float";
    case ptDate: return "date";
    case ptBoolean: return "boolean";
  }
  return "string";
}

bool IsValidParamName(std::string_view name) {
  if (name.empty()) return false;
  const auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; };
  if (!letter(name[0])) return false;
  for (char c : name)
    if (!letter(c) && !(c >= '0' && c <= '9')) return false;
  return true;
}

namespace {

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

bool IsIsoDate(std::string_view t) {
  if (t.size() != 10 || t[4] != '-' || t[7] != '-') return false;
  for (size_t i : {0, 1, 2, 3, 5, 6, 8, 9})
    if (t[i] < '0' || t[i] > '9') return false;
  const int y = std::stoi(std::string(t.substr(0, 4)));
  const int m = std::stoi(std::string(t.substr(5, 2)));
  const int d = std::stoi(std::string(t.substr(8, 2)));
  if (y < 1 || m < 1 || m > 12 || d < 1) return false;
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return d <= kDays[m - 1] + (m == 2 && leap ? 1 : 0);
}

std::string IsoDate(const std::tm& parts) {
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday);
  return text;
}

}  // namespace

bool ParseParamValue(TQRParamType type, std::string_view text, TQREvValue& value, std::string& error) {
  const std::string_view t = type == ptString ? text : Trimmed(text);
  const std::string quoted = "'" + std::string(text) + "'";
  switch (type) {
    case ptString:
      value = TQREvValue::String(t);
      return true;
    case ptInteger: {
      int32_t v = 0;
      const char* begin = t.data() + (!t.empty() && t[0] == '+' ? 1 : 0);
      const auto r = std::from_chars(begin, t.data() + t.size(), v);
      if (t.empty() || r.ec != std::errc() || r.ptr != t.data() + t.size()) {
        error = quoted + " is not an integer";
        return false;
      }
      value = TQREvValue::Integer(v);
      return true;
    }
    case ptFloat: {
      double v = 0;
      const char* begin = t.data() + (!t.empty() && t[0] == '+' ? 1 : 0);
      const auto r = std::from_chars(begin, t.data() + t.size(), v, std::chars_format::general);
      if (t.empty() || r.ec != std::errc() || r.ptr != t.data() + t.size() || !std::isfinite(v)) {
        error = quoted + " is not a number";
        return false;
      }
      value = TQREvValue::Float(v);
      return true;
    }
    case ptDate:
      if (!IsIsoDate(t)) {
        error = quoted + " is not a date (yyyy-mm-dd)";
        return false;
      }
      value = TQREvValue::String(t);
      return true;
    case ptBoolean: {
      const std::string u = EvUpperCase(t);
      if (u == "TRUE" || u == "YES" || u == "1") {
        value = TQREvValue::Boolean(true);
      } else if (u == "FALSE" || u == "NO" || u == "0") {
        value = TQREvValue::Boolean(false);
      } else {
        error = quoted + " is not true or false";
        return false;
      }
      return true;
    }
  }
  return false;
}

bool ConvertParamValue(TQRParamType type, const TQREvValue& source, TQREvValue& value, std::string& error) {
  if (source.IsError()) {
    error = source.StrValue;
    return false;
  }
  if (type == ptFloat && source.IsNumeric()) {
    value = TQREvValue::Float(source.AsDouble());
    return true;
  }
  if ((type == ptInteger && source.Kind == vkInteger) || (type == ptBoolean && source.Kind == vkBoolean)) {
    value = source;
    return true;
  }
  if (source.Kind == vkString && (type == ptString || type == ptDate))
    return ParseParamValue(type, source.StrValue, value, error);
  error = Format("its value is of type %s", EvValueKindName(source.Kind));
  return false;
}

std::string ParamValueText(const TQREvValue& value) {
  switch (value.Kind) {
    case vkBoolean: return value.BoolValue ? "true" : "false";
    case vkFloat: return FormatGeneralFloat(value.FloatValue, TFormatSettings{});
    default: return EvValueToString(value);
  }
}

std::vector<TQRParamValue> ResolveParamValues(const TQRParameters& declared, const TQRParamTexts& given) {
  std::vector<TQRParamValue> values;
  // Defaults see the dates of today and the parameters declared before them.
  TQREvEnvironment environment;
  const std::time_t now = EvNow();
  std::tm parts{};
  localtime_r(&now, &parts);
  environment.DefineFunction("TODAY", "'" + IsoDate(parts) + "'");
  parts.tm_mday = 1;
  environment.DefineFunction("MONTHSTART", "'" + IsoDate(parts) + "'");
  parts.tm_mon = 0;
  environment.DefineFunction("YEARSTART", "'" + IsoDate(parts) + "'");
  environment.Compile();
  for (int i = 0; i < declared.Count(); ++i) {
    const TQRParameter& p = *declared.Parameter(i);
    if (!IsValidParamName(p.Name())) throw EQRError(Format("'%s' is not a valid parameter name", p.Name()));
    TQRParamValue entry{p.Name(), {}};
    std::string error;
    if (auto it = given.find(EvUpperCase(p.Name())); it != given.end()) {
      if (!ParseParamValue(p.DataType(), it->second, entry.Value, error))
        throw EQRError(Format("Parameter %s: %s", p.Name(), error));
    } else if (!p.Default().empty()) {
      TQREvaluator evaluator;
      evaluator.SetLocalEnvironment(&environment);
      evaluator.Compile(p.Default());
      if (!ConvertParamValue(p.DataType(), evaluator.Value(), entry.Value, error))
        throw EQRError(Format("Parameter %s: the default %s gives no %s value: %s", p.Name(), p.Default(),
                              ParamTypeName(p.DataType()), error));
    } else {
      throw EQRError(Format("Parameter %s has no value", p.Name()));
    }
    environment.DefineFunction(EvUpperCase(p.Name()), "0");
    TQREvEnvironment::AssignValue(environment.FindConstantElement(EvUpperCase(p.Name())), entry.Value);
    values.push_back(std::move(entry));
  }
  for (const auto& [name, text] : given)
    if (!declared.Find(name)) values.push_back({name, TQREvValue::String(text)});
  return values;
}

}  // namespace rpt
