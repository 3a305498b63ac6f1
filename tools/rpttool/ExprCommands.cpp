// rpttool eval: try an expression from the shell. Alone it prints the value and its
// kind; with a dataset it evaluates once per record, accumulating aggregates the way a
// report does, so totals can be checked before they go into a report. An error value
// prints like any other and makes the exit status 1.
#include <cstdio>
#include <span>
#include <string>

#include "tools/rpttool/Output.h"
#include "data/DBTables.h"
#include "expr/QRExpr.h"
#include "objects/Exceptions.h"

namespace rpttool {

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr const char* kUsage =
    "usage: rpttool eval EXPR [--alias ALIAS (--table TABLE | --sql SQL)] [--locale NAME] [--program]";

int UsageError(const std::string& message) {
  std::fprintf(stderr, "rpttool: eval: %s\n%s\n", message.c_str(), kUsage);
  return kExitUsage;
}

// "7 (INTEGER)", "abc (STRING)", "Cannot divide by 0 (ERROR)".
std::string Shown(const rpt::TQREvValue& value) {
  std::string text = value.Kind == rpt::vkError ? value.StrValue : rpt::EvValueToString(value);
  return text + " (" + rpt::EvValueKindName(value.Kind) + ")";
}

struct TOptions {
  std::string Expression;
  bool HasExpression = false;
  std::string Alias, Table, Sql, Locale;
  bool Program = false;
};

// The dataset's component name lets expressions qualify fields ("orders.amount").
void NameDataSet(rpt::TDataSet& dataSet, const std::string& name) {
  try {
    dataSet.SetName(name);
  } catch (const rpt::Exception&) {
    dataSet.SetName("Data");
  }
}

}  // namespace

int Eval(std::span<const std::string> args) {
  TOptions options;
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    auto value = [&](std::string& into) {
      if (i + 1 >= args.size()) return false;
      into = args[++i];
      return true;
    };
    if (!optionsEnded && arg == "--") {
      optionsEnded = true;
    } else if (!optionsEnded && (arg == "--alias" || arg == "--table" || arg == "--sql" || arg == "--locale")) {
      std::string& into = arg == "--alias" ? options.Alias : arg == "--table" ? options.Table
                                                         : arg == "--sql"   ? options.Sql
                                                                            : options.Locale;
      if (!value(into)) return UsageError(arg + " needs a value");
    } else if (!optionsEnded && arg == "--program") {
      options.Program = true;
    } else if (!options.HasExpression) {
      options.Expression = arg;
      options.HasExpression = true;
    } else {
      return UsageError("more than one expression given ('" + arg + "')");
    }
  }
  if (!options.HasExpression) return UsageError("no expression given");
  if (!options.Table.empty() && !options.Sql.empty()) return UsageError("give --table or --sql, not both");
  if ((!options.Table.empty() || !options.Sql.empty()) && options.Alias.empty())
    return UsageError("--table and --sql need --alias");
  if (!options.Alias.empty() && options.Table.empty() && options.Sql.empty())
    return UsageError("--alias needs --table or --sql");

  rpt::SetEvFormatSettings(options.Locale.empty() ? rpt::TFormatSettings::FromSystem()
                                                  : rpt::TFormatSettings::FromLocale(options.Locale));
  rpt::SetEvApplicationTitle("rpttool");

  rpt::TQREvaluator evaluator;
  if (options.Alias.empty()) {
    evaluator.Compile(options.Expression);
    if (options.Program) Print(evaluator.ProgramText());
    const rpt::TQREvValue value = evaluator.Value();
    Print(Shown(value) + "\n");
    if (std::fflush(stdout) != 0) throw rpt::Exception("Cannot write standard output");
    // The text says what went wrong; the status lets a script know without reading it.
    return value.Kind == rpt::vkError ? kExitFailure : 0;
  }

  rpt::TOwnedPtr<rpt::TDataSet> dataSet;
  if (!options.Table.empty()) {
    auto* table = rpt::TComponent::Create<rpt::TTable>(nullptr);
    dataSet.reset(table);
    table->SetTableName(options.Table);
    NameDataSet(*table, options.Table);
  } else {
    auto* query = rpt::TComponent::Create<rpt::TQuery>(nullptr);
    dataSet.reset(query);
    query->SQL()->SetText(options.Sql);
    NameDataSet(*query, "Query");
  }
  dataSet->SetDatabaseName(options.Alias);
  dataSet->Open();

  rpt::TDataSetList dataSets{dataSet.get()};
  evaluator.SetDataSetList(&dataSets);
  evaluator.Compile(options.Expression);
  if (options.Program) Print(evaluator.ProgramText());
  const bool aggregates = evaluator.HasAggregates();
  evaluator.ResetAggregates();
  std::string out;
  int64_t record = 0;
  bool anyError = false;
  for (dataSet->First(); !dataSet->Eof(); dataSet->Next()) {
    if (aggregates) evaluator.Accumulate();
    const rpt::TQREvValue value = evaluator.Evaluate();
    anyError = anyError || value.Kind == rpt::vkError;
    out += std::to_string(++record) + ": " + Shown(value) + "\n";
    if (out.size() >= 1 << 16) {
      Print(out);
      out.clear();
    }
  }
  Print(out);
  if (std::fflush(stdout) != 0) throw rpt::Exception("Cannot write standard output");
  return anyError ? kExitFailure : 0;
}

}  // namespace rpttool
