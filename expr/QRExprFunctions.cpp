// The function library: the built-in functions, their results and errors, and the
// aggregates with their accumulation steps.
#include <cmath>

#include "expr/QRExprInternal.h"
#include "objects/CodePage.h"
#include "objects/Format.h"

namespace rpt {

namespace {

constexpr const char* kVendor = "Report Designer";

struct TBuiltinInfo {
  const char* Name;
  const char* Data;
  const char* Description;
};

// In registration order; the index is the TBuiltin code.
const TBuiltinInfo kBuiltins[bfBuiltinCount] = {
    {"IF", "5BVV", "IF(<Exp>, <X>, <Y>)|Returns <X> or <Y> depending on the boolean expression <Exp>"},
    {"STR", "7N", "STR(<X>)|Convert a numeric <X> to a string"},
    {"UPPER", "7S", "UPPER(<X>)|Converts a string to upper case letters"},
    {"LOWER", "7S", "LOWER(<X>)|Converts a string to lower case letters"},
    {"PRETTY", "7S", "PRETTY(<X>)|Makes the first character upper case and the rest lower case"},
    {"TIME", "1", "TIME|Return current time as a string"},
    {"DATE", "1", "DATE|Return current date as a string"},
    {"COPY", "7SNN", "COPY(<X>, <St>,<Len>)|Returns a substring of string X"},
    {"SUM", "3N", "SUM(<X>)|Sums the numeric <X>"},
    {"COUNT", "3", "COUNT|Increments for each iteration"},
    {"MAX", "3V", "MAX(<X>)|Returns the highest <X>"},
    {"MIN", "3V", "MIN(<X>)|Returns the lowest <X>"},
    {"AVERAGE", "3N", "AVERAGE(<X>)|Returns the average of numeric <X>"},
    {"TRUE", "5", "TRUE|boolean value"},
    {"FALSE", "5", "FALSE|boolean value"},
    {"INT", "2N", "INT(<X>)|Returns the integer part of <X>"},
    {"FRAC", "2N", "FRAC(<X>)|Returns the fractional part of <X>"},
    {"SQRT", "2N", "SQRT(<X>)|Returns square root of <X>"},
    {"DIV", "2NN", "DIV(<X>, <Y>) | Integer division of <X> by <Y>"},
    {"TYPEOF", "6N", "TYPEOF(<Exp>)|Returns the data type of <Exp>"},
    {"FORMATNUMERIC", "7SN", "FORMATNUMERIC(<F>,<N>)|Formats numeric <N> using the mask in <F>"},
    {"PAGECOUNT", "6", "PAGECOUNT|The number of pages of the report, filled in when its last page is known"},
};

void Wrong(const char* name, TQREvValue& out) { SetError(out, Format(msg::kWrongArguments, name)); }

// A double that holds a whole number: an integer when it fits 32 bits.
void SetWhole(TQREvValue& out, double value) {
  if (value >= INT32_MIN && value <= INT32_MAX)
    SetInteger(out, static_cast<int32_t>(value));
  else
    SetFloat(out, value);
}

// Adds x to a float total without letting rounding errors pile up: each addition's lost
// low-order part is kept apart and added back (compensated summation), so 60,000
// amounts of two decimals sum to the amount a person would get, not one off in the
// 15th digit.
void AddToFloatTotal(TAggregate& s, double x) {
  const double t = s.Sum + x;
  if (!std::isfinite(t)) {
    s.Sum = t;
    s.Compensation = 0;
  } else {
    s.Compensation += std::fabs(s.Sum) >= std::fabs(x) ? (s.Sum - t) + x : (x - t) + s.Sum;
    s.Sum = t;
  }
  SetFloat(s.Stored, s.Sum + s.Compensation);
}

// A total that turns from integer to float starts from its exact integer value.
void StartFloatTotal(TAggregate& s, double exact) {
  s.Sum = exact;
  s.Compensation = 0;
  SetFloat(s.Stored, exact);
}

// One step of SUM (and AVERAGE). Integers and floats mix: an integer total turns into a
// float total as soon as a float comes (or when it would leave 32 bits), so no value is
// dropped. A text or Boolean makes the total an error, and an error value passes its
// message on: a total never silently leaves records out.
void SumStep(TAggregate& s, const TQREvValue& v, const char* name) {
  TQREvValue& total = s.Stored;
  if (!s.Assigned) {
    s.Assigned = true;
    if (v.IsNumeric() || v.Kind == vkError)
      AssignEvValue(total, v);
    else
      Wrong(name, total);
    s.Sum = v.IsNumeric() ? v.AsDouble() : 0;
    s.Compensation = 0;
    return;
  }
  if (total.Kind == vkError) return;
  switch (v.Kind) {
    case vkInteger:
      if (total.Kind == vkInteger) {
        int32_t sum;
        if (__builtin_add_overflow(total.IntValue, v.IntValue, &sum))
          StartFloatTotal(s, static_cast<double>(total.IntValue) + v.IntValue);
        else
          total.IntValue = sum;
      } else {
        AddToFloatTotal(s, v.IntValue);
      }
      return;
    case vkFloat:
      if (total.Kind == vkInteger) StartFloatTotal(s, total.IntValue);
      AddToFloatTotal(s, v.FloatValue);
      return;
    case vkError: AssignEvValue(total, v); return;
    default: Wrong(name, total); return;
  }
}

// MAX and MIN: numbers compare as numbers whatever their kind, texts in character
// order, Booleans with True above False; other mixes compare as text.
void ExtremeStep(TAggregate& s, const TQREvValue& v, bool wantMax) {
  TQREvValue& best = s.Stored;
  if (!s.Assigned) {
    s.Assigned = true;
    AssignEvValue(best, v);
    return;
  }
  if (best.Kind == vkError) return;
  if (v.Kind == vkError) {
    AssignEvValue(best, v);
    return;
  }
  int order;  // v compared with best
  if (best.IsNumeric() && v.IsNumeric()) {
    if (best.Kind == vkInteger && v.Kind == vkInteger)
      order = v.IntValue < best.IntValue ? -1 : v.IntValue > best.IntValue ? 1 : 0;
    else
      order = v.AsDouble() < best.AsDouble() ? -1 : v.AsDouble() > best.AsDouble() ? 1 : 0;
  } else if (best.Kind == v.Kind) {
    if (v.Kind == vkBoolean)
      order = v.BoolValue == best.BoolValue ? 0 : v.BoolValue ? 1 : -1;
    else
      order = v.StrValue.compare(best.StrValue);
  } else {
    std::string a, b;
    ValueTextInto(v, a);
    ValueTextInto(best, b);
    order = a.compare(b);
  }
  if (wantMax ? order > 0 : order < 0) AssignEvValue(best, v);
}

void CaseFunction(uint8_t builtin, const char* name, const TQREvValue* const* args, int count, TQREvValue& out) {
  if (count != 1) return SetError(out, Format(msg::kMissingArgument, name));
  const TQREvValue& v = *args[0];
  if (v.Kind == vkError) return AssignEvValue(out, v);
  if (v.Kind != vkString) return Wrong(name, out);
  out.Kind = vkString;
  if (builtin == bfUpper)
    UpperCaseInto(v.StrValue, out.StrValue);
  else if (builtin == bfLower)
    LowerCaseInto(v.StrValue, out.StrValue);
  else
    PrettyInto(v.StrValue, out.StrValue);
  CutEvString(out.StrValue);
}

void Copy(const TQREvValue* const* args, int count, TQREvValue& out) {
  if (count != 3 || args[0]->Kind != vkString || args[1]->Kind != vkInteger || args[2]->Kind != vkInteger)
    return Wrong("COPY", out);
  const std::string& text = args[0]->StrValue;
  // Positions and lengths count characters; a start before the first one is the first.
  const int64_t start = std::max<int64_t>(args[1]->IntValue, 1);
  const int64_t length = args[2]->IntValue;
  out.Kind = vkString;
  if (length <= 0) {
    out.StrValue.clear();
    return;
  }
  const size_t begin = CharOffset(text, static_cast<size_t>(start - 1));
  const size_t end = begin + CharOffset(std::string_view(text).substr(begin), static_cast<size_t>(length));
  out.StrValue.assign(text, begin, end - begin);
}

void Div(const TQREvValue* const* args, int count, TQREvValue& out) {
  if (count != 2 || !args[0]->IsNumeric() || !args[1]->IsNumeric()) return Wrong("DIV", out);
  // Floats round to the nearest whole number, halves to even (the default rounding mode).
  const double x = args[0]->Kind == vkInteger ? args[0]->IntValue : std::nearbyint(args[0]->FloatValue);
  const double y = args[1]->Kind == vkInteger ? args[1]->IntValue : std::nearbyint(args[1]->FloatValue);
  if (y == 0) return SetError(out, msg::kDivisionByZero);
  constexpr double kExact = 4611686018427387904.0;  // 2^62: the quotient cannot overflow
  if (std::fabs(x) < kExact && std::fabs(y) < kExact)
    return SetWide(out, static_cast<int64_t>(x) / static_cast<int64_t>(y));
  SetWhole(out, std::trunc(x / y));
}

void FormatNumeric(const TQREvValue* const* args, int count, TQREvValue& out) {
  if (count != 2 || args[0]->Kind != vkString || !args[1]->IsNumeric()) return Wrong("FORMATNUMERIC", out);
  out.Kind = vkString;
  if (!FormatNumericMask(args[0]->StrValue, args[1]->AsDouble(), out.StrValue))
    return SetError(out, msg::kInvalidFormat);
}

}  // namespace

bool IsAggregate(uint8_t builtin) {
  return builtin == bfSum || builtin == bfCount || builtin == bfMax || builtin == bfMin || builtin == bfAverage;
}

void ResetAggregate(TAggregate& state, uint8_t) {
  state.Assigned = false;
  state.Steps = 0;
  state.Average = TQREvValue::Float(0);
}

void ComputeBuiltin(uint8_t builtin, TAggregate* state, bool accumulating, const TQREvValue* const* args, int count,
                    TQREvValue& out) {
  switch (builtin) {
    case bfIf:
      if (count == 3 && args[0]->Kind == vkBoolean) return AssignEvValue(out, args[0]->BoolValue ? *args[1] : *args[2]);
      return Wrong("IF", out);
    case bfStr:
      // The page count is a mark until the pass ends; as text it stays the mark.
      if (count == 1 && args[0]->Kind == vkString && args[0]->StrValue == kPageCountMark)
        return AssignEvValue(out, *args[0]);
      if (count == 1 && args[0]->Kind != vkString && args[0]->Kind != vkError) {
        out.Kind = vkString;
        ValueTextInto(*args[0], out.StrValue);
        return;
      }
      return SetError(out, msg::kConversionError);
    case bfUpper: return CaseFunction(builtin, "UPPER", args, count, out);
    case bfLower: return CaseFunction(builtin, "LOWER", args, count, out);
    case bfPretty: return CaseFunction(builtin, "PRETTY", args, count, out);
    case bfTime:
    case bfDate: {
      if (count != 0) return Wrong(builtin == bfTime ? "TIME" : "DATE", out);
      const TFormatSettings& settings = EvFormatSettings();
      return SetString(out, settings.FormatTime(
                                (builtin == bfTime ? settings.LongTimeFormat : settings.ShortDateFormat).c_str(), EvNow()));
    }
    case bfCopy: return Copy(args, count, out);
    case bfTrue:
    case bfFalse:
      if (count != 0) return SetError(out, msg::kTooManyArguments);
      return SetBoolean(out, builtin == bfTrue);
    case bfInt:
      if (count == 1 && args[0]->Kind == vkInteger) return SetInteger(out, args[0]->IntValue);
      if (count == 1 && args[0]->Kind == vkFloat) return SetWhole(out, std::trunc(args[0]->FloatValue));
      return Wrong("INT", out);
    case bfFrac:
      if (count == 1 && args[0]->Kind == vkInteger) return SetFloat(out, 0);
      if (count == 1 && args[0]->Kind == vkFloat) {
        double whole;
        return SetFloat(out, std::modf(args[0]->FloatValue, &whole));
      }
      return Wrong("FRAC", out);
    case bfSqrt:
      if (count == 1 && args[0]->IsNumeric() && !(args[0]->AsDouble() < 0))
        return SetFloat(out, std::sqrt(args[0]->AsDouble()));
      return SetError(out, msg::kInvalidSqrt);
    case bfDiv: return Div(args, count, out);
    case bfTypeOf:
      if (count != 1) return Wrong("TypeOf", out);
      return SetString(out, EvValueKindName(args[0]->Kind));
    case bfFormatNumeric: return FormatNumeric(args, count, out);
    case bfPageCount:
      if (count != 0) return SetError(out, msg::kTooManyArguments);
      return SetString(out, kPageCountMark);
    case bfSum:
    case bfAverage: {
      const char* name = builtin == bfSum ? "SUM" : "AVERAGE";
      // A total over the wrong number of arguments is an error, not a quiet 0.
      if (count != 1) return Wrong(name, out);
      if (accumulating) {
        SumStep(*state, *args[0], name);
        if (builtin == bfAverage) {
          ++state->Steps;
          if (state->Stored.IsNumeric())
            SetFloat(state->Average, state->Stored.AsDouble() / static_cast<double>(state->Steps));
          else
            AssignEvValue(state->Average, state->Stored);
        }
      }
      if (builtin == bfAverage) return AssignEvValue(out, state->Average);
      if (state->Assigned) return AssignEvValue(out, state->Stored);
      return SetInteger(out, 0);
    }
    case bfMax:
    case bfMin:
      if (count != 1) return Wrong(builtin == bfMax ? "MAX" : "MIN", out);
      if (accumulating) ExtremeStep(*state, *args[0], builtin == bfMax);
      if (state->Assigned) return AssignEvValue(out, state->Stored);
      return SetInteger(out, 0);
    default: return Wrong("?", out);
  }
}

// ---------------------------------------------------------------------------

const TQRLibraryEntry* TQRLibrary::Entry(int index) const {
  if (index < 0 || index >= Count()) return nullptr;
  return &FEntries[static_cast<size_t>(index)];
}

int TQRLibrary::IndexOf(std::string_view name) const {
  for (size_t i = 0; i < FEntries.size(); ++i)
    if (SameText(FEntries[i].Name, name)) return static_cast<int>(i);
  return -1;
}

const TQRLibraryEntry* TQRLibrary::Find(std::string_view name) const { return Entry(IndexOf(name)); }

void TQRLibrary::Add(TQRLibraryEntry entry) { FEntries.push_back(std::move(entry)); }

TQRLibrary& QRFunctionLibrary() {
  static TQRLibrary library = [] {
    TQRLibrary made;
    for (int i = 0; i < bfBuiltinCount; ++i) {
      TQRLibraryEntry entry;
      entry.Name = kBuiltins[i].Name;
      entry.Description = kBuiltins[i].Description;
      entry.Data = kBuiltins[i].Data;
      entry.Vendor = kVendor;
      entry.Builtin = i;
      made.Add(std::move(entry));
    }
    return made;
  }();
  return library;
}

void RegisterEvFunction(TQREvComputeProc compute, const std::string& name, const std::string& description,
                        const std::string& data, const std::string& vendor) {
  TQRLibraryEntry entry;
  entry.Name = name;
  entry.Description = description;
  entry.Data = data;
  entry.Vendor = vendor;
  entry.Compute = compute;
  QRFunctionLibrary().Add(std::move(entry));
}

}  // namespace rpt
