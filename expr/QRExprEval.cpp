// Evaluation of a compiled program: operators, fields, environment functions, and the
// evaluator's interface.
#include <cmath>

#include "data/DB.h"
#include "expr/QRExprInternal.h"
#include "objects/CodePage.h"
#include "objects/Format.h"

namespace rpt {

void SetString(TQREvValue& v, std::string_view text) {
  v.Kind = vkString;
  v.StrValue.assign(text);
  CutEvString(v.StrValue);
}

void SetError(TQREvValue& v, std::string_view message) {
  v.Kind = vkError;
  v.StrValue.assign(message);
  CutEvString(v.StrValue);
}

namespace {

// The operator's name in messages: "OR" and "AND" in capitals, the rest as written.
const char* OperatorName(TQREvOpCode op) { return op == ocOr ? "OR" : op == ocAnd ? "AND" : EvOperatorText(op); }

void NotCompatible(TQREvOpCode op, const char* kind, TQREvValue& out) {
  SetError(out, Format(msg::kNotCompatible, OperatorName(op), kind));
}

void Cannot(TQREvOpCode op, const char* kind, TQREvValue& out) {
  const char* verb = op == ocAdd ? msg::kAdd : op == ocSubtract ? msg::kSubtract : op == ocMultiply ? msg::kMultiply
                                                                                                      : msg::kDivide;
  SetError(out, Format(msg::kCannot, verb, kind));
}

template <class T>
bool Compare(TQREvOpCode op, const T& l, const T& r) {
  switch (op) {
    case ocLess: return l < r;
    case ocLessEqual: return l <= r;
    case ocGreater: return l > r;
    case ocGreaterEqual: return l >= r;
    case ocEqual: return l == r;
    default: return l != r;
  }
}

bool IsComparison(TQREvOpCode op) { return op <= ocNotEqual; }

void FloatOp(TQREvOpCode op, double l, double r, TQREvValue& out) {
  if (IsComparison(op)) return SetBoolean(out, Compare(op, l, r));
  switch (op) {
    case ocAdd: return SetFloat(out, l + r);
    case ocSubtract: return SetFloat(out, l - r);
    case ocMultiply: return SetFloat(out, l * r);
    case ocDivide:
      if (r == 0) return SetError(out, msg::kDivideByZero);
      return SetFloat(out, l / r);
    default: return NotCompatible(op, msg::kNumeric, out);
  }
}

// Sums, differences and products that leave 32 bits become floats instead of wrapping.
void IntOp(TQREvOpCode op, int32_t l, int32_t r, TQREvValue& out) {
  if (IsComparison(op)) return SetBoolean(out, Compare(op, l, r));
  int32_t result;
  switch (op) {
    case ocAdd:
      if (__builtin_add_overflow(l, r, &result)) return SetFloat(out, static_cast<double>(l) + r);
      return SetInteger(out, result);
    case ocSubtract:
      if (__builtin_sub_overflow(l, r, &result)) return SetFloat(out, static_cast<double>(l) - r);
      return SetInteger(out, result);
    case ocMultiply:
      if (__builtin_mul_overflow(l, r, &result)) return SetFloat(out, static_cast<double>(l) * r);
      return SetInteger(out, result);
    case ocDivide:
      if (r == 0) return SetError(out, msg::kDivideByZero);
      return SetFloat(out, static_cast<double>(l) / r);
    case ocOr: return SetInteger(out, l | r);
    default: return SetInteger(out, l & r);
  }
}

void StringOp(TQREvOpCode op, const std::string& l, const std::string& r, TQREvValue& out) {
  if (IsComparison(op)) return SetBoolean(out, Compare(op, l, r));  // byte order is code point order
  switch (op) {
    case ocAdd:
      out.Kind = vkString;
      out.StrValue.assign(l);
      out.StrValue.append(r);
      CutEvString(out.StrValue);
      return;
    case ocOr:
    case ocAnd: return NotCompatible(op, msg::kString, out);
    default: return Cannot(op, msg::kString, out);
  }
}

void BoolOp(TQREvOpCode op, bool l, bool r, TQREvValue& out) {
  switch (op) {
    case ocEqual: return SetBoolean(out, l == r);
    case ocNotEqual: return SetBoolean(out, l != r);
    case ocOr: return SetBoolean(out, l || r);
    case ocAnd: return SetBoolean(out, l && r);
    case ocAdd:
    case ocSubtract:
    case ocMultiply:
    case ocDivide: return Cannot(op, msg::kBoolean, out);
    default: return NotCompatible(op, msg::kBoolean, out);
  }
}

void EvalOperator(TEvProgram& p, int32_t i) {
  const int32_t li = i + 1;
  const int32_t ri = p.Nodes[static_cast<size_t>(li)].Next;
  EvalNode(p, li);
  EvalNode(p, ri);
  const TQREvValue& l = p.Slots[static_cast<size_t>(li)];
  const TQREvValue& r = p.Slots[static_cast<size_t>(ri)];
  TQREvValue& out = p.Slots[static_cast<size_t>(i)];
  if (l.Kind == vkError) return AssignEvValue(out, l);
  if (r.Kind == vkError) return AssignEvValue(out, r);
  const auto op = static_cast<TQREvOpCode>(p.Nodes[static_cast<size_t>(i)].Code);
  if (l.Kind == r.Kind) {
    switch (l.Kind) {
      case vkInteger: return IntOp(op, l.IntValue, r.IntValue, out);
      case vkFloat: return FloatOp(op, l.FloatValue, r.FloatValue, out);
      case vkString: return StringOp(op, l.StrValue, r.StrValue, out);
      case vkBoolean: return BoolOp(op, l.BoolValue, r.BoolValue, out);
      case vkError: break;
    }
  }
  if (l.IsNumeric() && r.IsNumeric()) return FloatOp(op, l.AsDouble(), r.AsDouble(), out);
  // Any other mix is compared and joined as text.
  ValueTextInto(l, p.TextLeft);
  ValueTextInto(r, p.TextRight);
  StringOp(op, p.TextLeft, p.TextRight, out);
}

TFieldCategory CategoryOf(const TField* field) {
  if (field->Is<TStringField>()) return fcString;
  if (field->Is<TIntegerField>()) return fcInteger;
  if (field->Is<TFloatField>() || field->Is<TBCDField>()) return fcFloat;
  if (field->Is<TBooleanField>()) return fcBoolean;
  if (field->Is<TDateTimeField>()) return fcText;
  return fcUnknown;
}

void ReadField(TFieldRef& ref, TQREvValue& out) {
  TDataSet* dataSet = ref.DataSet;
  TField* field = ref.Index < dataSet->FieldCount() ? dataSet->Fields(ref.Index) : nullptr;
  // Fields are made afresh each time the dataset opens, possibly at the address of an
  // old one: the same object also has the same class and name.
  if (!field || field != ref.Field || &field->ClassType() != ref.Class || field->FieldName() != ref.Name) {
    // Take the field again by its index, and by its name should the columns have changed.
    if (!field || !SameText(field->FieldName(), ref.Name)) field = dataSet->FindField(ref.Name);
    ref.Field = field;
    if (!field) return SetError(out, Format(msg::kFieldNotFound, ref.Name));
    ref.Class = &field->ClassType();
    ref.Name = field->FieldName();
    ref.Index = field->Index();
    ref.Category = CategoryOf(field);
  }
  const TValue& v = dataSet->FieldValue(ref.Index);
  try {
    switch (ref.Category) {
      case fcString:
        if (v.Kind == TValue::kText || v.Kind == TValue::kNull) return SetString(out, v.Text);
        return SetString(out, field->AsString());
      case fcInteger:
        if (v.Kind == TValue::kInteger) return SetWide(out, v.Int);
        if (v.Kind == TValue::kNull) return SetInteger(out, 0);
        // A stored real in an integer column keeps its value rather than being rounded.
        if (v.Kind == TValue::kFloat) return SetFloat(out, v.Float);
        return SetWide(out, field->AsInteger());
      case fcFloat:
        if (v.Kind == TValue::kFloat) return SetFloat(out, v.Float);
        if (v.Kind == TValue::kInteger) return SetFloat(out, static_cast<double>(v.Int));
        if (v.Kind == TValue::kNull) return SetFloat(out, 0);
        return SetFloat(out, field->AsFloat());
      case fcBoolean:
        if (v.Kind == TValue::kBoolean || v.Kind == TValue::kInteger) return SetBoolean(out, v.Int != 0);
        if (v.Kind == TValue::kNull) return SetBoolean(out, false);
        return SetBoolean(out, field->AsBoolean());
      case fcText: return SetString(out, field->Text());
      case fcUnknown: break;
    }
  } catch (const std::exception& e) {
    return SetError(out, e.what());
  }
  SetError(out, Format(msg::kUnknownFieldType, ref.Name));
}

void EvalFunction(TEvProgram& p, int32_t i) {
  const TNode& node = p.Nodes[static_cast<size_t>(i)];
  TQREvValue& out = p.Slots[static_cast<size_t>(i)];
  const int count = node.Args;
  TAggregate* state = IsAggregate(node.Code) ? &p.Aggregates[static_cast<size_t>(node.Ref)] : nullptr;
  if (node.Code == bfCount) {
    // COUNT takes no arguments; it counts accumulation steps.
    if (count > 0) return SetError(out, std::string(msg::kCountPrefix) + msg::kTooManyArguments);
    if (p.Accumulating) ++state->Steps;
    return SetWide(out, state->Steps);
  }
  const TQREvValue* args[4] = {};
  int32_t child = i + 1;
  for (int k = 0; k < count; ++k) {
    EvalNode(p, child);
    if (k < 4) args[k] = &p.Slots[static_cast<size_t>(child)];
    child = p.Nodes[static_cast<size_t>(child)].Next;
  }
  if (node.Code != bfRegistered) return ComputeBuiltin(node.Code, state, p.Accumulating, args, count, out);
  p.Args.clear();
  child = i + 1;
  for (int k = 0; k < count; ++k) {
    p.Args.push_back(&p.Slots[static_cast<size_t>(child)]);
    child = p.Nodes[static_cast<size_t>(child)].Next;
  }
  const TQRLibraryEntry* entry = QRFunctionLibrary().Entry(node.Ref);
  if (!entry || !entry->Compute) return SetError(out, Format(msg::kWrongArguments, entry ? entry->Name : ""));
  entry->Compute(p.Args.data(), count, out);
  if (out.Kind == vkString || out.Kind == vkError) CutEvString(out.StrValue);
}

// The depth of the environment functions being evaluated on this thread.
thread_local int tNestedDepth = 0;

}  // namespace

void EvalNode(TEvProgram& p, int32_t i) {
  const TNode& node = p.Nodes[static_cast<size_t>(i)];
  switch (node.Op) {
    case noConstant:
    case noString:
    case noError: return;  // the slot holds the value
    case noField: return ReadField(p.Fields[static_cast<size_t>(node.Ref)], p.Slots[static_cast<size_t>(i)]);
    case noOperator: return EvalOperator(p, i);
    case noNot: {
      EvalNode(p, i + 1);
      const TQREvValue& operand = p.Slots[static_cast<size_t>(i + 1)];
      TQREvValue& out = p.Slots[static_cast<size_t>(i)];
      if (operand.Kind == vkBoolean) return SetBoolean(out, !operand.BoolValue);
      return SetError(out, msg::kInvalidNot);
    }
    case noFunction: return EvalFunction(p, i);
    case noWrapper:
      return AssignEvValue(p.Slots[static_cast<size_t>(i)], p.Wrappers[static_cast<size_t>(node.Ref)]->Evaluate());
  }
}

// ---------------------------------------------------------------------------

const TQREvValue& TQREvEmbeddedFunction::Evaluate() {
  if (FInEvaluation) {
    SetError(FBusy, msg::kRecursiveCall);
    return FBusy;
  }
  if (!FEvaluator.Compiled()) {
    // Reported as a value: an environment entry that was never compiled must not stop
    // the report that uses it.
    SetError(FBusy, msg::kNotPrepared);
    return FBusy;
  }
  const int depth = FEvaluator.Program()->Depth;
  if (tNestedDepth + depth > kMaxNestedDepth) {
    SetError(FBusy, msg::kTooDeep);
    return FBusy;
  }
  tNestedDepth += depth;
  FInEvaluation = true;
  const TQREvValue& result = FEvaluator.Evaluate();
  FInEvaluation = false;
  tNestedDepth -= depth;
  return result;
}

// ---------------------------------------------------------------------------

TQREvaluator::TQREvaluator() = default;

TQREvaluator::~TQREvaluator() { Discard(); }

void TQREvaluator::Compile(std::string_view expression) {
  Discard();
  GlobalEvEnvironment()->Compile();
  FCountedGlobal = true;
  auto program = std::make_unique<TEvProgram>();
  CompileProgram(*program, expression, FDataSetList, FLocalEnvironment);
  FProgram = std::move(program);
}

std::string TQREvaluator::CompileError() const {
  if (!FProgram) return {};
  for (size_t i = 0; i < FProgram->Nodes.size(); ++i)
    if (FProgram->Nodes[i].Op == noError) return FProgram->Slots[i].StrValue;
  return {};
}

void TQREvaluator::Discard() {
  FProgram.reset();
  if (FCountedGlobal) {
    FCountedGlobal = false;
    GlobalEvEnvironment()->Discard();
  }
}

const TQREvValue& TQREvaluator::Evaluate() {
  if (!FProgram) throw Exception(msg::kNotPrepared);
  EvalNode(*FProgram, 0);
  return FProgram->Slots[0];
}

void TQREvaluator::GetResult(TQREvValue& value) { AssignEvValue(value, Evaluate()); }

TQREvValue TQREvaluator::Value() {
  TQREvValue value;
  GetResult(value);
  return value;
}

void TQREvaluator::Accumulate() {
  if (!FProgram) throw Exception(msg::kNotPrepared);
  FProgram->Accumulating = true;
  EvalNode(*FProgram, 0);
  FProgram->Accumulating = false;
}

void TQREvaluator::ResetAggregates() {
  if (!FProgram) return;
  for (const TNode& node : FProgram->Nodes)
    if (node.Op == noFunction && IsAggregate(node.Code))
      ResetAggregate(FProgram->Aggregates[static_cast<size_t>(node.Ref)], node.Code);
}

bool TQREvaluator::HasAggregates() const {
  if (!FProgram) return false;
  for (const TNode& node : FProgram->Nodes)
    if (node.Op == noFunction && IsAggregate(node.Code)) return true;
  return false;
}

std::string TQREvaluator::ProgramText() const {
  if (!FProgram) return {};
  std::string text;
  std::vector<int32_t> ends;  // where the open operands end, for the indentation
  const TEvProgram& p = *FProgram;
  for (size_t i = 0; i < p.Nodes.size(); ++i) {
    while (!ends.empty() && ends.back() <= static_cast<int32_t>(i)) ends.pop_back();
    text.append(ends.size() * 2, ' ');
    const TNode& node = p.Nodes[i];
    const TQREvValue& slot = p.Slots[i];
    switch (node.Op) {
      case noConstant: text += std::string("constant ") + EvValueKindName(slot.Kind) + " "; break;
      case noString: text += "string "; break;
      case noError: text += "error "; break;
      case noField: text += "field "; break;
      case noWrapper: text += "function "; break;
      case noOperator: text += std::string("operator ") + EvOperatorText(static_cast<TQREvOpCode>(node.Code)); break;
      case noNot: text += "not"; break;
      case noFunction: break;
    }
    switch (node.Op) {
      case noConstant: {
        std::string value;
        ValueTextInto(slot, value);
        text += value;
        break;
      }
      case noString:
      case noError: text += "'" + slot.StrValue + "'"; break;
      case noField: {
        const TFieldRef& ref = p.Fields[static_cast<size_t>(node.Ref)];
        text += (ref.DataSet->Name().empty() ? std::string() : ref.DataSet->Name() + ".") + ref.Name;
        break;
      }
      case noWrapper: text += p.Wrappers[static_cast<size_t>(node.Ref)]->Expression(); break;
      case noFunction: {
        const TQRLibraryEntry* entry = nullptr;
        for (int k = 0; k < QRFunctionLibrary().Count() && !entry; ++k) {
          const TQRLibraryEntry* e = QRFunctionLibrary().Entry(k);
          if (node.Code == bfRegistered ? k == node.Ref : e->Builtin == node.Code) entry = e;
        }
        text += "function " + (entry ? entry->Name : std::string("?")) + " (" + std::to_string(node.Args) +
                (node.Args == 1 ? " argument)" : " arguments)");
        break;
      }
      default: break;
    }
    text += '\n';
    if (node.Op == noOperator || node.Op == noNot || node.Op == noFunction) ends.push_back(node.Next);
  }
  return text;
}

}  // namespace rpt
