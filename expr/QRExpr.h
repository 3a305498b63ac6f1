#pragma once
// The expression evaluator of report expressions: values, the compiler and evaluator,
// the function library, environments of named functions and the number texts.
//
// An expression such as SUM([Orders.Amount]) * 1.2 is compiled once into a flat program
// (nodes in prefix order: an operator, its left operand, its right operand; a function,
// its arguments) and evaluated as often as needed. Every node owns a result slot that
// is reused from one evaluation to the next, so evaluating a numeric expression
// allocates nothing, and a string expression only when a result outgrows its slot.
// Problems are error values, never exceptions, until an error is turned into text.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "expr/FormatSettings.h"
#include "objects/Exceptions.h"
#include "objects/StringList.h"

namespace rpt {

class TDataSet;
class TQREvaluator;
class TQREvEnvironment;
class TQREvEmbeddedFunction;
struct TEvProgram;

// ---------------------------------------------------------------------------
// Values.
enum TQREvValueKind : uint8_t { vkInteger, vkFloat, vkString, vkBoolean, vkError };

// What PAGECOUNT gives while a report is generated: a noncharacter (U+FDD0, never in
// interchanged text) that the page store replaces by the count once the last page is
// known. STR passes it through; arithmetic on it is an error.
inline constexpr std::string_view kPageCountMark = "\xEF\xB7\x90";

// Every string that becomes a value is cut to this many characters.
inline constexpr size_t kMaxEvString = 255;

struct TQREvValue {
  TQREvValueKind Kind = vkInteger;
  bool BoolValue = false;
  int32_t IntValue = 0;
  double FloatValue = 0;
  std::string StrValue;  // vkString: the text; vkError: the message

  static TQREvValue Integer(int32_t value);
  static TQREvValue Float(double value);
  static TQREvValue String(std::string_view text);  // cut to kMaxEvString characters
  static TQREvValue Boolean(bool value);
  static TQREvValue Error(std::string_view message);

  bool IsError() const { return Kind == vkError; }
  bool IsNumeric() const { return Kind == vkInteger || Kind == vkFloat; }
  double AsDouble() const { return Kind == vkInteger ? IntValue : FloatValue; }

  // The same kind and the same value of that kind (fields of other kinds are ignored).
  bool operator==(const TQREvValue& other) const;
};

// Copies the fields that matter for the kind, keeping the target's string capacity.
void AssignEvValue(TQREvValue& target, const TQREvValue& source);

// "INTEGER", "FLOAT", "STRING", "BOOLEAN" or "ERROR".
const char* EvValueKindName(TQREvValueKind kind);

// Integer: decimal; float: the general float text; string: itself; Boolean: "True" or
// "False"; error: throws Exception "Error in expression : <message>".
std::string EvValueToString(const TQREvValue& value);

// The general float text: up to 15 significant digits, fixed-point for exponents from
// -3 to 15, else scientific ("1E-5", "1E15"); "INF", "-INF", "NAN".
std::string FormatGeneralFloat(double value, const TFormatSettings& settings = EvFormatSettings());

// A number written by a numeric format mask ("#,##0.00", "0.00E+00", "0;(0);'zero'").
// An empty mask gives the general float text. False for a mask longer than 255
// characters or a text that would be longer.
bool FormatNumericMask(std::string_view mask, double value, std::string& result,
                       const TFormatSettings& settings = EvFormatSettings());
std::string FormatNumericMask(std::string_view mask, double value,
                              const TFormatSettings& settings = EvFormatSettings());

// A date and time (days since 1899-12-30, the fraction the time of day) written by a
// date-time format mask: "c" short date and, when not midnight, long time; "ddddd"
// short date, "dddddd" long date; "t" short time, "tt" long time; d dd ddd dddd,
// m mm mmm mmmm (minutes after h), yy yyyy, h hh, n nn, s ss, z zzz, am/pm, a/p,
// ampm; "/" and ":" literally; text in quotes literal. An empty mask is "c".
std::string FormatDateTimeMask(std::string_view mask, double value,
                               const TFormatSettings& settings = EvFormatSettings());

// Cuts UTF-8 text to kMaxEvString characters without splitting a character.
void CutEvString(std::string& text);
// Characters of UTF-8 text (a stray byte counts as one).
size_t EvStringLength(std::string_view text);
// Case mapping of UTF-8 text for Latin, Greek and Cyrillic letters.
std::string EvUpperCase(std::string_view text);
std::string EvLowerCase(std::string_view text);

// ---------------------------------------------------------------------------
// Operators of the language.
enum TQREvOpCode : uint8_t {
  ocLess, ocLessEqual, ocGreater, ocGreaterEqual, ocEqual, ocNotEqual, ocAdd, ocSubtract, ocOr, ocMultiply,
  ocDivide, ocAnd,
};
const char* EvOperatorText(TQREvOpCode code);

// ---------------------------------------------------------------------------
// The function library: built-in functions and functions registered by the program.

// A function registered from outside: it gets its evaluated arguments and sets the result.
using TQREvComputeProc = void (*)(const TQREvValue* const* args, int count, TQREvValue& result);

struct TQRLibraryEntry {
  std::string Name;
  std::string Description;  // signature, "|", description
  std::string Data;         // category digit and one letter per argument
  std::string Vendor;
  int Builtin = -1;                    // a built-in function, else -1
  TQREvComputeProc Compute = nullptr;  // a registered function
};

class TQRLibrary {
 public:
  int Count() const { return static_cast<int>(FEntries.size()); }
  // Null when the index is outside the list.
  const TQRLibraryEntry* Entry(int index) const;
  // Case-insensitive; the first entry of a name wins. Null when absent.
  const TQRLibraryEntry* Find(std::string_view name) const;
  int IndexOf(std::string_view name) const;
  void Add(TQRLibraryEntry entry);

 private:
  std::vector<TQRLibraryEntry> FEntries;
};

// The one function library, with the built-ins registered at first use.
TQRLibrary& QRFunctionLibrary();
// Register functions before any evaluator runs (the library is read without a lock).
void RegisterEvFunction(TQREvComputeProc compute, const std::string& name, const std::string& description,
                        const std::string& data, const std::string& vendor);

// ---------------------------------------------------------------------------
using TDataSetList = std::vector<TDataSet*>;

// A value holder inside a compiled environment function (the constant of "0" or the
// string of "''"), found by FindConstantElement and changed by AssignInteger and
// AssignString while a report runs. Valid while that function stays compiled.
struct TQREvElement {
  TQREvaluator* Evaluator = nullptr;
  int Node = -1;
  explicit operator bool() const { return Evaluator != nullptr; }
};

// ---------------------------------------------------------------------------
class TQREvaluator {
 public:
  TQREvaluator();
  ~TQREvaluator();
  TQREvaluator(const TQREvaluator&) = delete;
  TQREvaluator& operator=(const TQREvaluator&) = delete;

  // Identifiers are resolved at compile time: set these first. The list is not owned.
  TDataSetList* DataSetList() const { return FDataSetList; }
  void SetDataSetList(TDataSetList* list) { FDataSetList = list; }
  TQREvEnvironment* LocalEnvironment() const { return FLocalEnvironment; }
  void SetLocalEnvironment(TQREvEnvironment* environment) { FLocalEnvironment = environment; }

  // Any text compiles: syntax problems become error values. An empty text is the
  // one-blank string.
  void Compile(std::string_view expression);
  void Discard();
  bool Compiled() const { return FProgram != nullptr; }
  // The message of the first piece of the text that did not compile (a syntax error, an
  // unknown name); empty when every piece did or nothing is compiled.
  std::string CompileError() const;

  // Throws Exception "Evaluator not prepared" when not compiled.
  void GetResult(TQREvValue& value);
  TQREvValue Value();
  // The result without a copy; valid until the next evaluation or Discard.
  const TQREvValue& Evaluate();
  // One accumulation step of the aggregate functions (the value is not needed).
  void Accumulate();
  void ResetAggregates();
  bool HasAggregates() const;

  // The compiled program, one node a line, for diagnostics.
  std::string ProgramText() const;

 private:
  friend class TQREvEnvironment;
  friend class TQREvEmbeddedFunction;
  TEvProgram* Program() const { return FProgram.get(); }

  std::unique_ptr<TEvProgram> FProgram;
  TDataSetList* FDataSetList = nullptr;
  TQREvEnvironment* FLocalEnvironment = nullptr;
  bool FCountedGlobal = false;
};

// ---------------------------------------------------------------------------
// A named function of an environment: an expression with its own evaluator.
class TQREvEmbeddedFunction {
 public:
  explicit TQREvEmbeddedFunction(std::string expression) : FExpression(std::move(expression)) {}
  const std::string& Expression() const { return FExpression; }
  void SetExpression(std::string expression) { FExpression = std::move(expression); }
  TQREvaluator& Evaluator() { return FEvaluator; }
  // "Recursive calls not allowed" while it is already being evaluated (an expression
  // that uses itself); "Evaluator not prepared" when it is not compiled.
  const TQREvValue& Evaluate();
  void ResetState() { FEvaluator.ResetAggregates(); }

 private:
  std::string FExpression;
  TQREvaluator FEvaluator;
  bool FInEvaluation = false;
  TQREvValue FBusy;
};

// A list of named functions: the report's Functions, or the global environment. The
// strings of the list are the names in upper case; "DATA" streams the expressions.
class TQREvEnvironment : public TStringList {
  RPT_CLASS(TQREvEnvironment, TStringList)

  TQREvEnvironment();
  ~TQREvEnvironment() override;

  // A new name is appended (and compiled at once when the environment is compiled); a
  // name already defined keeps its first expression.
  void DefineFunction(std::string_view name, std::string_view expression);
  void RemoveFunction(std::string_view name);
  void ClearFunctions();
  int FunctionCount() const { return static_cast<int>(FFunctions.size()); }
  TQREvEmbeddedFunction* Function(int index) const;
  TQREvEmbeddedFunction* FindFunction(std::string_view name) const;

  // The value holder of a name's compiled expression (its first element); empty when
  // the name is absent or not compiled.
  TQREvElement FindConstantElement(std::string_view name);
  // Only a constant element takes an integer, only a string element a string.
  static void AssignInteger(TQREvElement element, int32_t value);
  static void AssignString(TQREvElement element, std::string_view text);
  static void AssignValue(TQREvElement element, const TQREvValue& value);
  // An error value when the name is absent.
  TQREvValue ValueOf(std::string_view name);

  // Counted: the first Compile compiles every entry, the last Discard discards them.
  void Compile();
  void Discard();
  bool Compiled() const { return FCompileCount > 0; }
  int CompileCount() const { return FCompileCount; }

  // Created empty on first use and owned, unless set from outside (not owned).
  TDataSetList* DataSetList();
  void SetDataSetList(TDataSetList* list);

  void AssignFrom(const TPersistent* source) override;
  void DefineProperties(TFiler& filer) override;

 protected:
  void Changed() override;

 private:
  friend class TQREvaluator;
  void CompileEntry(size_t index);
  static TEvProgram* ProgramOf(TQREvElement element);

  // One function per line of the list, and the names they were made for.
  std::vector<std::unique_ptr<TQREvEmbeddedFunction>> FFunctions;
  std::vector<std::string> FNames;
  int FCompileCount = 0;
  TDataSetList* FDataSetList = nullptr;
  std::unique_ptr<TDataSetList> FOwnedDataSetList;
  bool FSyncing = false;
};

// The global environment: AppStartTime, AppStartDate, AppName.
TQREvEnvironment* GlobalEvEnvironment();
// The title AppName gives; takes effect when set before the first use of the evaluator.
void SetEvApplicationTitle(const std::string& title);

}  // namespace rpt
