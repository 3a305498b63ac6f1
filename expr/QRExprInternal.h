#pragma once
// Inside the evaluator: the message texts, the compiled program and the helpers the
// compiler, the evaluator and the function library share.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "expr/QRExpr.h"

namespace rpt {

class TField;
class TClassDescriptor;

namespace msg {
inline constexpr const char* kNotPrepared = "Evaluator not prepared";
inline constexpr const char* kErrorInExpression = "Error in expression : %s";
inline constexpr const char* kMissing = "Missing %s";
inline constexpr const char* kIllegalNumeric = "Illegal character in numeric contant \"%s\"";
inline constexpr const char* kUnknownFunction = "Unknown function : %s";
inline constexpr const char* kInvalidNot = "Invalid use of NOT";
inline constexpr const char* kUnknownFieldType = "Field %s is of unknown type";
inline constexpr const char* kFieldNotFound = "Field '%s' not found";
inline constexpr const char* kNotCompatible = "Operator %s is not compatible with %s expressions";
inline constexpr const char* kCannot = "Cannot %s %s expressions";
inline constexpr const char* kDivideByZero = "Cannot divide by 0";
inline constexpr const char* kWrongArguments = "Wrong arguments for %s";
inline constexpr const char* kConversionError = "Conversion error";
inline constexpr const char* kMissingArgument = "Missing argument for %s";
inline constexpr const char* kInvalidFormat = "Invalid format or value specified";
inline constexpr const char* kTooManyArguments = "Too many arguments";
inline constexpr const char* kInvalidSqrt = "Invalid argument to SQRT function";
inline constexpr const char* kDivisionByZero = "Division by Zero";
inline constexpr const char* kCountPrefix = "COUNT - ";
inline constexpr const char* kRecursiveCall = "Recursive calls not allowed";
// Limits of our own: any text compiles, within bounded time and stack.
inline constexpr const char* kTooLong = "Expression is too long";
inline constexpr const char* kTooDeep = "Expression is nested too deeply";
// Words of the operator messages.
inline constexpr const char* kBoolean = "boolean";
inline constexpr const char* kString = "string";
inline constexpr const char* kNumeric = "numeric";
inline constexpr const char* kAdd = "add";
inline constexpr const char* kSubtract = "subtract";
inline constexpr const char* kMultiply = "multiply";
inline constexpr const char* kDivide = "divide";
}  // namespace msg

// Expressions longer than this compile to an error; deeper nesting than this too.
inline constexpr size_t kMaxExpressionLength = 32768;
inline constexpr int kMaxCompileDepth = 1000;
// Environment functions calling one another on one thread: their compiled depths add
// up to at most this, which bounds the stack evaluation takes.
inline constexpr int kMaxNestedDepth = 2000;

// ---------------------------------------------------------------------------
// UTF-8 and text helpers.
size_t NextCharEnd(std::string_view text, size_t pos);
// Byte offset after the first chars characters (the size when there are fewer).
size_t CharOffset(std::string_view text, size_t chars);
void UpperCaseInto(std::string_view text, std::string& out);
void LowerCaseInto(std::string_view text, std::string& out);
void PrettyInto(std::string_view text, std::string& out);
std::string AsciiUpper(std::string_view text);
// EvValueToString without the exception: an error gives its message.
void ValueTextInto(const TQREvValue& value, std::string& out);
void FormatGeneralFloatInto(double value, const TFormatSettings& settings, std::string& out);

// A finite double as 0.D1D2... x 10^Exponent with at most 18 significant digits (the
// digits all rounding judges), trailing zeros dropped; zero has no digits.
struct TDecimal {
  char Digits[24] = {};
  int Count = 0;
  int Exponent = 0;
  bool Negative = false;

  void Load(double value);
  // Keeps `keep` digits, rounding half up in magnitude; a carry out of the first digit
  // raises the exponent. Fewer than zero digits kept is zero.
  void Round(int keep);
  void StripZeros();
};

// ---------------------------------------------------------------------------
// The compiled program: nodes in prefix order, each with a result slot of the same index.
enum TNodeOp : uint8_t {
  noConstant,  // the slot holds the value (a number)
  noString,    // the slot holds the value (a string literal)
  noError,     // the slot holds the error
  noField,     // a dataset field: Ref indexes Fields
  noWrapper,   // an environment function: Ref indexes Wrappers
  noOperator,  // Code is the TQREvOpCode; left operand at index + 1, right after it
  noNot,       // one operand at index + 1
  noFunction,  // Code is the TBuiltin (or bfRegistered); Args operands from index + 1
};

enum TBuiltin : uint8_t {
  bfIf, bfStr, bfUpper, bfLower, bfPretty, bfTime, bfDate, bfCopy, bfSum, bfCount, bfMax, bfMin, bfAverage, bfTrue,
  bfFalse, bfInt, bfFrac, bfSqrt, bfDiv, bfTypeOf, bfFormatNumeric, bfPageCount, bfBuiltinCount,
  bfRegistered = 255,
};
bool IsAggregate(uint8_t builtin);

struct TNode {
  TNodeOp Op = noError;
  uint8_t Code = 0;
  uint16_t Args = 0;
  int32_t Next = 0;  // the index after this node's operands
  int32_t Ref = -1;  // Fields / Wrappers / Aggregates / library entry, by Op
};

enum TFieldCategory : uint8_t { fcString, fcInteger, fcFloat, fcBoolean, fcText, fcUnknown };

struct TFieldRef {
  TDataSet* DataSet = nullptr;
  int Index = 0;
  std::string Name;
  // The field object last seen at Index and how it reads; fields are made afresh each
  // time their dataset opens.
  TField* Field = nullptr;
  const TClassDescriptor* Class = nullptr;
  TFieldCategory Category = fcUnknown;
};

struct TAggregate {
  bool Assigned = false;
  int64_t Steps = 0;  // AVERAGE's n, COUNT's c
  TQREvValue Stored;  // S
  // A float SUM or AVERAGE: the running sum and the low-order parts its additions lost;
  // Stored holds their total.
  double Sum = 0, Compensation = 0;
  TQREvValue Average = TQREvValue::Integer(0);
};

struct TEvProgram {
  std::vector<TNode> Nodes;
  std::vector<TQREvValue> Slots;
  std::vector<TFieldRef> Fields;
  std::vector<TQREvEmbeddedFunction*> Wrappers;
  std::vector<TAggregate> Aggregates;
  std::vector<const TQREvValue*> Args;  // scratch for registered functions
  std::string TextLeft, TextRight;      // scratch for operands turned into text
  bool Accumulating = false;
  int Depth = 0;  // how deep evaluation recurses, at most (the compiler's deepest level)
};

// Translates a text into the program (which must be empty).
void CompileProgram(TEvProgram& program, std::string_view text, TDataSetList* dataSets,
                    TQREvEnvironment* localEnvironment);
// Evaluates node `index` into its slot.
void EvalNode(TEvProgram& program, int32_t index);
void ResetAggregate(TAggregate& state, uint8_t builtin);
// A built-in's result from its evaluated arguments (first four at most, count given).
void ComputeBuiltin(uint8_t builtin, TAggregate* state, bool accumulating, const TQREvValue* const* args,
                    int count, TQREvValue& result);

// Sets a slot without touching its string (numbers) or reusing its capacity (texts).
inline void SetInteger(TQREvValue& v, int32_t x) {
  v.Kind = vkInteger;
  v.IntValue = x;
}
inline void SetFloat(TQREvValue& v, double x) {
  v.Kind = vkFloat;
  v.FloatValue = x;
}
inline void SetBoolean(TQREvValue& v, bool x) {
  v.Kind = vkBoolean;
  v.BoolValue = x;
}
// An int64 that does not fit 32 bits becomes a float: totals never wrap.
inline void SetWide(TQREvValue& v, int64_t x) {
  if (x >= INT32_MIN && x <= INT32_MAX)
    SetInteger(v, static_cast<int32_t>(x));
  else
    SetFloat(v, static_cast<double>(x));
}
void SetString(TQREvValue& v, std::string_view text);
void SetError(TQREvValue& v, std::string_view message);

}  // namespace rpt
