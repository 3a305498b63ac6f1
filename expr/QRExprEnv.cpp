// Environments of named functions, the global environment, and their streaming.
#include <errno.h>

#include <mutex>

#include "expr/QRExprInternal.h"
#include "objects/CodePage.h"
#include "objects/Filer.h"
#include "objects/Format.h"

namespace rpt {

namespace {

// Compiling and discarding environments happen once per report run; one lock keeps two
// runs on different threads from mixing up the counts. Recursive: compiling an entry
// compiles the global environment again.
std::recursive_mutex& EnvironmentLock() {
  static std::recursive_mutex lock;
  return lock;
}

// Set while any environment discards its entries, whose evaluators then leave the
// global environment's count alone.
bool gDiscarding = false;

std::string& ApplicationTitle() {
  static std::string title = program_invocation_short_name ? program_invocation_short_name : "";
  return title;
}

}  // namespace

RPT_BEGIN_CLASS(TQREvEnvironment, TStringList)
RPT_END_CLASS

TQREvEnvironment::TQREvEnvironment() = default;

TQREvEnvironment::~TQREvEnvironment() {
  // The entries' evaluators leave the global environment's count as they go.
  FFunctions.clear();
}

void TQREvEnvironment::DefineFunction(std::string_view name, std::string_view expression) {
  const std::string upper = AsciiUpper(name);
  if (FindFunction(upper)) return;
  FFunctions.push_back(std::make_unique<TQREvEmbeddedFunction>(std::string(expression)));
  FNames.push_back(upper);
  FSyncing = true;
  Add(upper);
  FSyncing = false;
  if (Compiled()) CompileEntry(FFunctions.size() - 1);
}

void TQREvEnvironment::RemoveFunction(std::string_view name) {
  int index = -1;
  for (size_t i = 0; i < FNames.size() && index < 0; ++i)
    if (SameText(FNames[i], name)) index = static_cast<int>(i);
  if (index < 0) return;
  FFunctions.erase(FFunctions.begin() + index);
  FNames.erase(FNames.begin() + index);
  FSyncing = true;
  Delete(index);
  FSyncing = false;
}

void TQREvEnvironment::ClearFunctions() {
  FFunctions.clear();
  FNames.clear();
  FSyncing = true;
  Clear();
  FSyncing = false;
}

TQREvEmbeddedFunction* TQREvEnvironment::Function(int index) const {
  if (index < 0 || index >= FunctionCount()) return nullptr;
  return FFunctions[static_cast<size_t>(index)].get();
}

TQREvEmbeddedFunction* TQREvEnvironment::FindFunction(std::string_view name) const {
  for (size_t i = 0; i < FNames.size(); ++i)
    if (SameText(FNames[i], name)) return FFunctions[i].get();
  return nullptr;
}

// The names were changed through the string list itself (read from a stream, edited,
// cleared): keep one function per name, matched by name, new names with an empty
// expression until "DATA" gives theirs.
void TQREvEnvironment::Changed() {
  if (!FSyncing) {
    const std::vector<std::string>& lines = Lines();
    std::vector<std::unique_ptr<TQREvEmbeddedFunction>> functions;
    std::vector<std::string> names;
    for (const std::string& line : lines) {
      std::unique_ptr<TQREvEmbeddedFunction> function;
      for (size_t k = 0; k < FNames.size(); ++k)
        if (FFunctions[k] && SameText(FNames[k], line)) {
          function = std::move(FFunctions[k]);
          break;
        }
      if (!function) function = std::make_unique<TQREvEmbeddedFunction>(std::string());
      functions.push_back(std::move(function));
      names.push_back(line);
    }
    FFunctions = std::move(functions);
    FNames = std::move(names);
    if (Compiled())
      for (size_t i = 0; i < FFunctions.size(); ++i)
        if (!FFunctions[i]->Evaluator().Compiled()) CompileEntry(i);
  }
  TStringList::Changed();
}

TQREvElement TQREvEnvironment::FindConstantElement(std::string_view name) {
  TQREvEmbeddedFunction* function = FindFunction(name);
  if (!function || !function->Evaluator().Compiled()) return {};
  return {&function->Evaluator(), 0};
}

TEvProgram* TQREvEnvironment::ProgramOf(TQREvElement element) {
  if (!element || !element.Evaluator->Compiled()) return nullptr;
  TEvProgram* program = element.Evaluator->Program();
  if (element.Node < 0 || static_cast<size_t>(element.Node) >= program->Nodes.size()) return nullptr;
  return program;
}

void TQREvEnvironment::AssignInteger(TQREvElement element, int32_t value) {
  if (TEvProgram* p = ProgramOf(element); p && p->Nodes[static_cast<size_t>(element.Node)].Op == noConstant)
    SetInteger(p->Slots[static_cast<size_t>(element.Node)], value);
}

void TQREvEnvironment::AssignString(TQREvElement element, std::string_view text) {
  if (TEvProgram* p = ProgramOf(element); p && p->Nodes[static_cast<size_t>(element.Node)].Op == noString)
    SetString(p->Slots[static_cast<size_t>(element.Node)], text);
}

void TQREvEnvironment::AssignValue(TQREvElement element, const TQREvValue& value) {
  TEvProgram* p = ProgramOf(element);
  if (!p) return;
  TQREvValue& slot = p->Slots[static_cast<size_t>(element.Node)];
  const TNodeOp op = p->Nodes[static_cast<size_t>(element.Node)].Op;
  if (op == noConstant)
    AssignEvValue(slot, value);
  else if (op == noString && value.Kind == vkString)
    SetString(slot, value.StrValue);
}

TQREvValue TQREvEnvironment::ValueOf(std::string_view name) {
  TQREvEmbeddedFunction* function = FindFunction(name);
  if (!function) return TQREvValue::Error(Format(msg::kUnknownFunction, AsciiUpper(name)));
  TQREvValue value;
  AssignEvValue(value, function->Evaluate());
  return value;
}

void TQREvEnvironment::Compile() {
  std::lock_guard guard(EnvironmentLock());
  if (++FCompileCount != 1) return;
  for (size_t i = 0; i < FFunctions.size(); ++i) CompileEntry(i);
}

void TQREvEnvironment::CompileEntry(size_t index) {
  TQREvaluator& evaluator = FFunctions[index]->Evaluator();
  evaluator.SetDataSetList(DataSetList());
  evaluator.SetLocalEnvironment(this);
  evaluator.Compile(FFunctions[index]->Expression());
}

void TQREvEnvironment::Discard() {
  std::lock_guard guard(EnvironmentLock());
  if (this == GlobalEvEnvironment() && gDiscarding) return;
  const bool wasDiscarding = gDiscarding;
  gDiscarding = true;
  if (FCompileCount > 0 && --FCompileCount == 0)
    for (auto& function : FFunctions) function->Evaluator().Discard();
  gDiscarding = wasDiscarding;
}

TDataSetList* TQREvEnvironment::DataSetList() {
  if (!FDataSetList) {
    FOwnedDataSetList = std::make_unique<TDataSetList>();
    FDataSetList = FOwnedDataSetList.get();
  }
  return FDataSetList;
}

void TQREvEnvironment::SetDataSetList(TDataSetList* list) {
  if (FOwnedDataSetList && list != FOwnedDataSetList.get()) FOwnedDataSetList.reset();
  FDataSetList = list;
}

void TQREvEnvironment::AssignFrom(const TPersistent* source) {
  const auto* other = dynamic_cast<const TQREvEnvironment*>(source);
  if (!other) {
    TStringList::AssignFrom(source);
    return;
  }
  if (other == this) return;
  BeginUpdate();
  ClearFunctions();
  for (size_t i = 0; i < other->FFunctions.size(); ++i)
    DefineFunction(other->FNames[i], other->FFunctions[i]->Expression());
  EndUpdate();
}

// The names go as the string list's "Strings"; "DATA" holds the expressions, one string
// per entry in entry order, and is always written.
void TQREvEnvironment::DefineProperties(TFiler& filer) {
  TStringList::DefineProperties(filer);
  filer.DefineCustomProperty(
      "DATA",
      [this](TReader& reader) {
        reader.ReadListBegin();
        for (size_t n = 0; !reader.EndOfList(); ++n) {
          std::string expression = reader.ReadString();
          if (n >= FFunctions.size()) continue;
          FFunctions[n]->SetExpression(std::move(expression));
          if (Compiled()) CompileEntry(n);
        }
        reader.ReadListEnd();
      },
      [this](TWriter& writer) {
        writer.WriteListBegin();
        for (const auto& function : FFunctions) writer.WriteListString(function->Expression());
        writer.WriteListEnd();
      },
      true);
}

// ---------------------------------------------------------------------------

TQREvEnvironment* GlobalEvEnvironment() {
  // Never destroyed: evaluators of other static objects may still discard into it while
  // the program ends.
  static TQREvEnvironment* const environment = [] {
    auto* made = new TQREvEnvironment();
    const TFormatSettings& settings = EvFormatSettings();
    const std::time_t now = EvNow();
    made->DefineFunction("AppStartTime", "'" + settings.FormatTime(settings.LongTimeFormat.c_str(), now) + "'");
    made->DefineFunction("AppStartDate", "'" + settings.FormatTime(settings.ShortDateFormat.c_str(), now) + "'");
    made->DefineFunction("AppName", "'" + ApplicationTitle() + "'");
    return made;
  }();
  return environment;
}

void SetEvApplicationTitle(const std::string& title) { ApplicationTitle() = title; }

}  // namespace rpt
