// The compiler: four recursive levels (expression, simple expression, term, factor)
// translate pieces of the text into nodes in prefix order.
#include <algorithm>
#include <charconv>

#include "data/DB.h"
#include "expr/QRExprInternal.h"
#include "objects/Format.h"

namespace rpt {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsIdentChar(char c) { return IsLetter(c) || IsDigit(c) || c == '_'; }
char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

std::string_view Trim(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return s.substr(b, e - b);
}

// The blank at i followed by the word and a blank ("or ", "and ").
bool WordOperatorAt(std::string_view s, size_t i, std::string_view word) {
  if (!IsBlank(s[i]) || i + word.size() + 1 >= s.size()) return false;
  for (size_t k = 0; k < word.size(); ++k)
    if (Lower(s[i + 1 + k]) != word[k]) return false;
  return IsBlank(s[i + 1 + word.size()]);
}

// Walks a piece keeping the string, bracket and parenthesis states; calls test(i) for
// each character at top level (outside strings and brackets, depth 0) from the second
// to the last but one, and returns the first index where it answers true (npos if none).
template <class F>
size_t FindTopLevel(std::string_view s, F test, bool fromFirst = false, bool toLast = false) {
  bool inString = false, inBrackets = false;
  int depth = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    const char c = s[i];
    if (!inString && !inBrackets && depth == 0 && (i >= 1 || fromFirst) && (i + 1 < s.size() || toLast) && test(i))
      return i;
    if (inBrackets) {
      if (c == ']') inBrackets = false;
    } else if (c == '\'') {
      inString = !inString;
    } else if (!inString) {
      if (c == '[')
        inBrackets = true;
      else if (c == '(')
        ++depth;
      else if (c == ')')
        --depth;
    }
  }
  return std::string_view::npos;
}

class TCompiler {
 public:
  TCompiler(TEvProgram& program, TDataSetList* dataSets, TQREvEnvironment* local)
      : P(program), FDataSets(dataSets), FLocal(local) {}

  void Expression(std::string_view s) {
    TDepth depth(*this);
    if (depth.Exceeded()) return;
    TQREvOpCode op = ocEqual;
    size_t width = 1;
    const size_t at = FindTopLevel(s, [&](size_t i) {
      switch (s[i]) {
        case '<':
          op = s[i + 1] == '>' ? ocNotEqual : s[i + 1] == '=' ? ocLessEqual : ocLess;
          width = op == ocLess ? 1 : 2;
          return true;
        case '=': op = ocEqual; return true;
        case '>':
          op = s[i + 1] == '=' ? ocGreaterEqual : ocGreater;
          width = op == ocGreater ? 1 : 2;
          return true;
        default: return false;
      }
    });
    if (at == std::string_view::npos) {
      SimpleExpression(s, false);
      return;
    }
    const int32_t node = Add(noOperator, op);
    SimpleExpression(s.substr(0, at), false);
    SimpleExpression(s.substr(at + width), false);
    Close(node);
  }

  // After a subtraction every "+" and "-" of the right part's top level counts with the
  // opposite sign, so that a - b + c is (a - b) + c.
  void SimpleExpression(std::string_view s, bool inverted) {
    TDepth depth(*this);
    if (depth.Exceeded()) return;
    bool isOr = false;
    const size_t at = FindTopLevel(s, [&](size_t i) {
      if (s[i] == '+' || s[i] == '-') return true;
      return isOr = WordOperatorAt(s, i, "or");
    });
    if (at == std::string_view::npos) {
      Term(s, false);
      return;
    }
    TQREvOpCode op;
    size_t rest;
    bool restInverted = inverted;
    if (isOr) {
      op = ocOr;
      rest = at + 3;
    } else {
      op = (s[at] == '+') != inverted ? ocAdd : ocSubtract;
      rest = at + 1;
      if (op == ocSubtract) restInverted = !inverted;
    }
    const int32_t node = Add(noOperator, op);
    Term(s.substr(0, at), false);
    SimpleExpression(s.substr(rest), restInverted);
    Close(node);
  }

  void Term(std::string_view s, bool inverted) {
    TDepth depth(*this);
    if (depth.Exceeded()) return;
    bool isAnd = false;
    const size_t at = FindTopLevel(s, [&](size_t i) {
      if (s[i] == '*' || s[i] == '/') return true;
      return isAnd = WordOperatorAt(s, i, "and");
    });
    if (at == std::string_view::npos) {
      Factor(s);
      return;
    }
    TQREvOpCode op;
    size_t rest;
    bool restInverted = inverted;
    if (isAnd) {
      op = ocAnd;
      rest = at + 4;
    } else {
      op = (s[at] == '*') != inverted ? ocMultiply : ocDivide;
      rest = at + 1;
      if (op == ocDivide) restInverted = !inverted;
    }
    const int32_t node = Add(noOperator, op);
    Factor(s.substr(0, at));
    Term(s.substr(rest), restInverted);
    Close(node);
  }

  void Factor(std::string_view piece) {
    TDepth depth(*this);
    if (depth.Exceeded()) return;
    const std::string_view s = Trim(piece);
    if (s.empty()) {
      AddError(Format(msg::kErrorInExpression, ""));
      return;
    }
    // "not" is the operator only as a word of its own: NOTES and NOTHING are names.
    if (s.size() >= 3 && Lower(s[0]) == 'n' && Lower(s[1]) == 'o' && Lower(s[2]) == 't' &&
        (s.size() == 3 || !IsIdentChar(s[3]))) {
      const int32_t node = Add(noNot, 0);
      SimpleExpression(s.substr(3), false);
      Close(node);
      return;
    }
    const char first = s[0];
    if (first == '\'') {
      if (s.size() < 2 || s.back() != '\'') {
        AddError(Format(msg::kMissing, "'"));
        return;
      }
      const int32_t node = Add(noString, 0);
      SetString(P.Slots[node], s.substr(1, s.size() - 2));
      Close(node);
    } else if (first == '(') {
      if (s.size() < 2 || s.back() != ')') {
        AddError(Format(msg::kMissing, ")"));
        return;
      }
      Expression(s.substr(1, s.size() - 2));
    } else if (first == '+') {
      Factor(s.substr(1));
    } else if (first == '-') {
      const std::string negated = "0-" + std::string(s.substr(1));
      SimpleExpression(negated, false);
    } else if (IsDigit(first)) {
      Numeric(s);
    } else if (IsLetter(first)) {
      Name(s);
    } else if (first == '[') {
      if (s.size() < 2 || s.back() != ']') {
        AddError(Format(msg::kMissing, "]"));
        return;
      }
      VariableName(s.substr(1, s.size() - 2));
    } else {
      AddError(Format(msg::kErrorInExpression, s.substr(0, CharOffset(s, kMaxEvString))));
    }
  }

  // Digits alone are an integer (a float when beyond 32 bits); digits followed by
  // ".", "E", "e", signs and digits a float. The whole piece converts: a constant is
  // never cut short, which would silently change its value.
  void Numeric(std::string_view s) {
    const char* begin = s.data();
    const char* end = begin + s.size();
    size_t digits = 0;
    while (digits < s.size() && IsDigit(s[digits])) ++digits;
    if (digits == s.size()) {
      int32_t value;
      const auto r = std::from_chars(begin, end, value);
      if (r.ec == std::errc() && r.ptr == end) {
        AddConstant(TQREvValue::Integer(value));
        return;
      }
    } else if (s.find_first_not_of("+-.0123456789Ee", digits) != std::string_view::npos) {
      AddError(Format(msg::kIllegalNumeric, s.substr(0, CharOffset(s, kMaxEvString))));
      return;
    }
    double value;
    const auto r = std::from_chars(begin, end, value, std::chars_format::general);
    if (r.ec != std::errc() || r.ptr != end) {
      AddError(Format(msg::kIllegalNumeric, s.substr(0, CharOffset(s, kMaxEvString))));
      return;
    }
    AddConstant(TQREvValue::Float(value));
  }

  void Name(std::string_view s) {
    std::string name;
    std::string_view args;
    const size_t open = s.find('(');
    if (open == std::string_view::npos) {
      name = AsciiUpper(s);
    } else if (s.back() == ')') {
      name = AsciiUpper(s.substr(0, open));
      args = s.substr(open + 1, s.size() - open - 2);
    }
    if (name == "PARAM" && open != std::string_view::npos) return ParamReference(args);
    const int entry = QRFunctionLibrary().IndexOf(name);
    if (entry < 0) {
      if (!args.empty())
        AddError(Format(msg::kUnknownFunction, name));
      else
        VariableName(name);
      return;
    }
    const TQRLibraryEntry* e = QRFunctionLibrary().Entry(entry);
    const int32_t node = Add(noFunction, static_cast<uint8_t>(e->Builtin >= 0 ? e->Builtin : static_cast<int>(bfRegistered)));
    P.Nodes[node].Ref = entry;
    int count = 0;
    // Arguments are split at top-level commas; a comma as the last character is not a
    // separator.
    while (!args.empty()) {
      const size_t comma = FindTopLevel(args, [&](size_t i) { return args[i] == ','; }, true, false);
      ++count;
      if (comma == std::string_view::npos) {
        Expression(args);
        break;
      }
      Expression(args.substr(0, comma));
      args = args.substr(comma + 1);  // not empty: a last comma is no separator
    }
    P.Nodes[node].Args = static_cast<uint16_t>(std::min(count, 65535));
    if (IsAggregate(P.Nodes[node].Code)) {
      P.Nodes[node].Ref = static_cast<int32_t>(P.Aggregates.size());
      P.Aggregates.emplace_back();
      ResetAggregate(P.Aggregates.back(), P.Nodes[node].Code);
      P.Aggregates.back().Average = TQREvValue::Integer(0);  // a new AVERAGE is 0 until reset
    }
    Close(node);
  }

  // A field of a dataset of the list ("DATASET.FIELD" or "FIELD"), else an environment
  // function.
  void VariableName(std::string_view name) {
    if (FDataSets) {
      const size_t dot = name.find('.');
      const std::string dataSetName = dot == std::string_view::npos ? std::string() : AsciiUpper(name.substr(0, dot));
      const std::string_view fieldName = dot == std::string_view::npos ? name : name.substr(dot + 1);
      for (TDataSet* dataSet : *FDataSets) {
        if (!dataSet || (!dataSetName.empty() && AsciiUpper(dataSet->Name()) != dataSetName)) continue;
        if (TField* field = dataSet->FindField(fieldName)) {
          AddField(dataSet, field);
          return;
        }
      }
    }
    EnvironmentLookup(name);
  }

  // PARAM('NAME'): the report's parameter of that name, found as its function is.
  void ParamReference(std::string_view args) {
    while (!args.empty() && args.front() == ' ') args.remove_prefix(1);
    while (!args.empty() && args.back() == ' ') args.remove_suffix(1);
    if (args.size() < 3 || args.front() != '\'' || args.back() != '\'' ||
        args.substr(1, args.size() - 2).find('\'') != std::string_view::npos)
      return AddError("PARAM takes the name of a parameter in quotes");
    const std::string name = AsciiUpper(args.substr(1, args.size() - 2));
    if (!FLocal || !FLocal->FindFunction(name)) return AddError(Format("Unknown parameter : %s", name));
    EnvironmentLookup(name);
  }

  void EnvironmentLookup(std::string_view name) {
    TQREvEmbeddedFunction* function = FLocal ? FLocal->FindFunction(name) : nullptr;
    if (!function) function = GlobalEvEnvironment()->FindFunction(name);
    if (!function) {
      AddError(Format(msg::kUnknownFunction, name));
      return;
    }
    const int32_t node = Add(noWrapper, 0);
    P.Nodes[node].Ref = static_cast<int32_t>(P.Wrappers.size());
    P.Wrappers.push_back(function);
    Close(node);
  }

  void AddError(std::string_view message) {
    const int32_t node = Add(noError, 0);
    SetError(P.Slots[node], message);
    Close(node);
  }

 private:
  // Counts the levels of recursion; past the limit the piece becomes an error.
  class TDepth {
   public:
    explicit TDepth(TCompiler& c) : C(c) { C.P.Depth = std::max(C.P.Depth, ++C.FDepth); }
    ~TDepth() { --C.FDepth; }
    bool Exceeded() {
      if (C.FDepth <= kMaxCompileDepth) return false;
      C.AddError(msg::kTooDeep);
      return true;
    }

   private:
    TCompiler& C;
  };

  int32_t Add(TNodeOp op, uint8_t code) {
    TNode node;
    node.Op = op;
    node.Code = code;
    P.Nodes.push_back(node);
    P.Slots.emplace_back();
    return static_cast<int32_t>(P.Nodes.size() - 1);
  }
  void Close(int32_t node) { P.Nodes[static_cast<size_t>(node)].Next = static_cast<int32_t>(P.Nodes.size()); }

  void AddConstant(const TQREvValue& value) {
    const int32_t node = Add(noConstant, 0);
    P.Slots[node] = value;
    Close(node);
  }

  void AddField(TDataSet* dataSet, TField* field) {
    const int32_t node = Add(noField, 0);
    P.Nodes[node].Ref = static_cast<int32_t>(P.Fields.size());
    TFieldRef ref;
    ref.DataSet = dataSet;
    ref.Index = field->Index();
    ref.Name = field->FieldName();
    P.Fields.push_back(std::move(ref));
    Close(node);
  }

  TEvProgram& P;
  TDataSetList* FDataSets;
  TQREvEnvironment* FLocal;
  int FDepth = 0;
};

}  // namespace

void CompileProgram(TEvProgram& program, std::string_view text, TDataSetList* dataSets,
                    TQREvEnvironment* localEnvironment) {
  TCompiler compiler(program, dataSets, localEnvironment);
  if (text.size() > kMaxExpressionLength) {
    compiler.AddError(msg::kTooLong);
    return;
  }
  compiler.Expression(text.empty() ? std::string_view("' '") : text);
}

}  // namespace rpt
