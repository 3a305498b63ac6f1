#include "data/Engine.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <system_error>
#include <unordered_set>

#include "objects/CodePage.h"
#include "objects/Format.h"

#ifndef RPT_SAMPLE_DB_BUILD_PATH
#define RPT_SAMPLE_DB_BUILD_PATH ""
#endif

namespace fs = std::filesystem;

namespace rpt::engine {

namespace {

constexpr const char* kAppFolder = "report-designer";

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::string(v) : std::string();
}

std::string HomeFolder(const char* xdgVariable, const char* fallback) {
  std::string base = Env(xdgVariable);
  if (base.empty()) {
    const std::string home = Env("HOME");
    base = (home.empty() ? std::string("/tmp") : home) + "/" + fallback;
  }
  return base + "/" + kAppFolder;
}

std::string Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return std::string(s);
}

std::string UpperAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

// The first control character of a line (a tab is white space), or npos.
size_t FindControl(std::string_view line) {
  for (size_t i = 0; i < line.size(); ++i) {
    const auto c = static_cast<unsigned char>(line[i]);
    if ((c < 0x20 && c != '\t') || c == 0x7f) return i;
  }
  return std::string_view::npos;
}

bool IsSqliteFileName(const fs::path& p) {
  const std::string ext = LowerAscii(p.extension().string());
  return ext == ".db" || ext == ".sqlite" || ext == ".sqlite3" || ext == ".db3";
}

// An empty file is an empty database to SQLite; anything else must carry its header.
bool LooksLikeSqlite(const fs::path& p) {
  std::error_code ec;
  if (!fs::is_regular_file(p, ec)) return false;
  if (fs::file_size(p, ec) == 0 && !ec) return true;
  std::ifstream in(p, std::ios::binary);
  char header[16] = {};
  in.read(header, sizeof header);
  return in.gcount() == 16 && std::string_view(header, 16) == std::string_view("SQLite format 3\0", 16);
}

}  // namespace

std::string DataDirectory() {
  const std::string v = Env("RPT_DATA_DIR");
  return v.empty() ? HomeFolder("XDG_DATA_HOME", ".local/share") + "/databases" : v;
}

std::string AliasFilePath() {
  const std::string v = Env("RPT_ALIAS_FILE");
  return v.empty() ? HomeFolder("XDG_CONFIG_HOME", ".config") + "/aliases.ini" : v;
}

std::string SampleDatabasePath() {
  const std::string v = Env("RPT_SAMPLE_DB");
  if (!v.empty()) return v;
  // Installed beside the program (bin/../share/report-designer/sample.db), else the
  // copy the build generated.
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    const fs::path installed = exe.parent_path().parent_path() / "share" / kAppFolder / "sample.db";
    if (fs::is_regular_file(installed, ec)) return installed.string();
  }
  return RPT_SAMPLE_DB_BUILD_PATH;
}

std::string PasswordVariable(std::string_view aliasName) {
  std::string name = "RPT_DB_PASSWORD_";
  for (char c : UpperAscii(aliasName)) name += (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ? c : '_';
  return name;
}

std::string PrintableText(std::string_view text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x20 || c == 0x7f) {
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += ch;
    }
  }
  return out;
}

std::vector<TAlias> ParseAliasFile(std::string_view text, const std::string& fileName, const std::string& baseDir) {
  std::vector<TAlias> result;
  std::vector<bool> hasDriver;
  // Lower-case names seen so far: a file of many sections is read in linear time.
  std::unordered_set<std::string> names;
  // Room for every section at once: no rehashing or moving as the file is read.
  const size_t sections = static_cast<size_t>(std::count(text.begin(), text.end(), '['));
  names.reserve(sections);
  result.reserve(sections);
  int lineNo = 0;
  auto fail = [&](const std::string& message) -> void {
    throw EDatabaseError(Format("Alias file %s, line %d: %s", PrintableText(fileName), lineNo, message));
  };
  size_t pos = 0;
  while (pos <= text.size()) {
    const size_t end = std::min(text.find('\n', pos), text.size());
    std::string_view raw = text.substr(pos, end - pos);
    if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
    const std::string line = Trim(raw);
    pos = end + 1;
    ++lineNo;
    if (line.empty() || line[0] == '#' || line[0] == ';') continue;
    // A NUL or other control byte is no part of a name or value, and would cut short
    // any message that quoted it.
    if (const size_t at = FindControl(line); at != std::string::npos)
      fail(Format("the byte %s at column %d is a control character; an alias file holds text only",
                  PrintableText(line.substr(at, 1)), static_cast<int>(raw.find_first_not_of(" \t\r") + at + 1)));
    if (line.front() == '[') {
      if (line.back() != ']') fail("a section header ends with ]");
      TAlias alias;
      alias.Kind = TAlias::Server;
      alias.Name = Trim(std::string_view(line).substr(1, line.size() - 2));
      alias.Origin = Format("%s, line %d", fileName, lineNo);
      if (alias.Name.empty()) fail("the alias name is empty");
      if (SameText(alias.Name, kSampleAlias)) fail(Format("the name %s is reserved for the sample database", kSampleAlias));
      if (!names.insert(LowerAscii(alias.Name)).second) fail(Format("the alias %s is defined twice", alias.Name));
      result.push_back(std::move(alias));
      hasDriver.push_back(false);
      continue;
    }
    const size_t eq = line.find('=');
    if (eq == std::string::npos) fail("expected Setting = value");
    if (result.empty()) fail("a setting before the first [alias] header");
    const std::string key = Trim(std::string_view(line).substr(0, eq));
    const std::string value = Trim(std::string_view(line).substr(eq + 1));
    TAlias& a = result.back();
    if (SameText(key, "Driver")) {
      const std::string d = LowerAscii(value);
      if (d == "postgresql" || d == "postgres" || d == "qpsql" || d == "pg") {
        a.Driver = TDriver::PostgreSQL;
        a.Kind = TAlias::Server;
      } else if (d == "sqlite" || d == "qsqlite" || d == "sqlite3") {
        a.Driver = TDriver::SQLite;
        a.Kind = TAlias::File;
      } else {
        fail(Format("unknown driver '%s' (use PostgreSQL or SQLite)", value));
      }
      hasDriver.back() = true;
    } else if (SameText(key, "Host")) {
      a.Host = value;
    } else if (SameText(key, "Port")) {
      char* endp = nullptr;
      const long port = std::strtol(value.c_str(), &endp, 10);
      if (value.empty() || *endp || port < 1 || port > 65535) fail(Format("'%s' is not a port number", value));
      a.Port = static_cast<int>(port);
    } else if (SameText(key, "Database")) {
      a.Database = value;
    } else if (SameText(key, "User")) {
      a.User = value;
    } else if (SameText(key, "Password")) {
      a.Password = value;
    } else if (SameText(key, "Path")) {
      fs::path p(value);
      if (p.is_relative() && !baseDir.empty()) p = fs::path(baseDir) / p;
      a.Path = p.lexically_normal().string();
    } else {
      fail(Format("unknown setting '%s'", key));
    }
  }
  for (size_t i = 0; i < result.size(); ++i) {
    if (!hasDriver[i]) throw EDatabaseError(Format("Alias file %s: the alias %s has no Driver", result[i].Origin, result[i].Name));
    if (result[i].Driver == TDriver::SQLite && result[i].Path.empty())
      throw EDatabaseError(Format("Alias file %s: the SQLite alias %s has no Path", result[i].Origin, result[i].Name));
    if (result[i].Driver == TDriver::PostgreSQL && result[i].Database.empty())
      throw EDatabaseError(Format("Alias file %s: the alias %s has no Database", result[i].Origin, result[i].Name));
  }
  return result;
}

namespace {
std::vector<TAlias> CollectAliases(bool withAliasFile) {
  std::vector<TAlias> aliases;
  TAlias sample;
  sample.Kind = TAlias::Sample;
  sample.Name = kSampleAlias;
  sample.Driver = TDriver::SQLite;
  sample.Path = SampleDatabasePath();
  sample.Origin = "the built-in sample database";
  aliases.push_back(sample);

  const fs::path aliasFile = AliasFilePath();
  std::error_code ec;
  if (withAliasFile && fs::exists(aliasFile, ec)) {
    std::ifstream in(aliasFile, std::ios::binary);
    if (!in) throw EDatabaseError(Format("Cannot read the alias file %s", aliasFile.string()));
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    for (TAlias& a : ParseAliasFile(text, aliasFile.string(), aliasFile.parent_path().string()))
      aliases.push_back(std::move(a));
  }

  // Files of the data folder, in name order; a name already taken keeps its first owner.
  std::unordered_set<std::string> taken;
  for (const TAlias& a : aliases) taken.insert(LowerAscii(a.Name));
  std::vector<fs::path> files;
  for (fs::directory_iterator it(DataDirectory(), ec), end; !ec && it != end; it.increment(ec))
    if (IsSqliteFileName(it->path())) files.push_back(it->path());
  std::sort(files.begin(), files.end());
  for (const fs::path& file : files) {
    if (!LooksLikeSqlite(file)) continue;
    TAlias a;
    a.Kind = TAlias::File;
    a.Name = file.stem().string();
    a.Driver = TDriver::SQLite;
    a.Path = file.string();
    a.Origin = file.string();
    if (taken.insert(LowerAscii(a.Name)).second) aliases.push_back(std::move(a));
  }
  // By name without regard to case (then by the name itself), each key made once.
  std::vector<std::pair<std::string, size_t>> keys;
  keys.reserve(aliases.size());
  for (size_t i = 0; i < aliases.size(); ++i) keys.emplace_back(LowerAscii(aliases[i].Name), i);
  std::sort(keys.begin(), keys.end(), [&](const auto& a, const auto& b) {
    if (a.first != b.first) return a.first < b.first;
    if (aliases[a.second].Name != aliases[b.second].Name) return aliases[a.second].Name < aliases[b.second].Name;
    return a.second < b.second;
  });
  std::vector<TAlias> sorted;
  sorted.reserve(aliases.size());
  for (const auto& key : keys) sorted.push_back(std::move(aliases[key.second]));
  return sorted;
}

}  // namespace

std::vector<TAlias> ReadAliases() { return CollectAliases(true); }

std::optional<TAlias> FindAlias(std::string_view name) {
  auto find = [&](std::vector<TAlias> aliases) -> std::optional<TAlias> {
    for (TAlias& a : aliases)
      if (SameText(a.Name, name)) return std::move(a);
    return std::nullopt;
  };
  try {
    return find(ReadAliases());
  } catch (const EDatabaseError&) {
    // A broken alias file does not take the sample and the data folder down with it;
    // its error is reported when the name is none of theirs.
    if (auto alias = find(CollectAliases(false))) return alias;
    throw;
  }
}

// ---------------------------------------------------------------------------

std::vector<TSqlParamRef> ScanSqlParams(std::string_view sql) {
  std::vector<TSqlParamRef> refs;
  auto identChar = [](unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c >= 0x80;
  };
  const size_t n = sql.size();
  size_t i = 0;
  while (i < n) {
    const char c = sql[i];
    if (c == '\'' || c == '"' || c == '`') {
      // A backslash escapes only inside E'...' strings.
      const bool backslash = c == '\'' && i > 0 && (sql[i - 1] == 'E' || sql[i - 1] == 'e') &&
                             (i < 2 || !identChar(static_cast<unsigned char>(sql[i - 2])));
      ++i;
      while (i < n) {
        if (backslash && sql[i] == '\\') {
          i += 2;
        } else if (sql[i] == c) {
          if (i + 1 < n && sql[i + 1] == c) {
            i += 2;  // doubled quote
          } else {
            ++i;
            break;
          }
        } else {
          ++i;
        }
      }
    } else if (c == '[') {
      const size_t close = sql.find(']', i + 1);
      i = close == std::string_view::npos ? n : close + 1;
    } else if (c == '-' && i + 1 < n && sql[i + 1] == '-') {
      const size_t eol = sql.find('\n', i);
      i = eol == std::string_view::npos ? n : eol + 1;
    } else if (c == '/' && i + 1 < n && sql[i + 1] == '*') {
      const size_t close = sql.find("*/", i + 2);
      i = close == std::string_view::npos ? n : close + 2;
    } else if (c == '$' && (i == 0 || !identChar(static_cast<unsigned char>(sql[i - 1])))) {
      // A dollar-quoted string: $tag$ ... $tag$.
      size_t j = i + 1;
      while (j < n && identChar(static_cast<unsigned char>(sql[j])) && !(sql[j] >= '0' && sql[j] <= '9' && j == i + 1)) ++j;
      if (j < n && sql[j] == '$') {
        const std::string_view tag = sql.substr(i, j - i + 1);
        const size_t close = sql.find(tag, j + 1);
        i = close == std::string_view::npos ? n : close + tag.size();
      } else {
        i = j;
      }
    } else if (c == ':') {
      if (i + 1 < n && sql[i + 1] == ':') {
        i += 2;  // a type cast
        continue;
      }
      size_t j = i + 1;
      while (j < n && identChar(static_cast<unsigned char>(sql[j]))) ++j;
      if (j > i + 1 && !(sql[i + 1] >= '0' && sql[i + 1] <= '9'))
        refs.push_back({i, j - i, std::string(sql.substr(i + 1, j - i - 1))});
      i = std::max(j, i + 1);
    } else {
      ++i;
    }
  }
  return refs;
}

std::string TrimStatement(std::string_view sql) {
  while (!sql.empty() && (static_cast<unsigned char>(sql.back()) <= ' ' || sql.back() == ';')) sql.remove_suffix(1);
  while (!sql.empty() && static_cast<unsigned char>(sql.front()) <= ' ') sql.remove_prefix(1);
  return std::string(sql);
}

std::string QuoteIdent(std::string_view name) {
  std::string out = "\"";
  for (char c : name) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

TFieldType FieldTypeOfDeclaration(std::string_view declaredType, int* size, int* precision, int* scale) {
  const std::string t = UpperAscii(Trim(declaredType));
  *size = 0;
  *precision = 0;
  *scale = -1;
  if (t.empty()) return ftUnknown;
  // "(n)" or "(p,s)".
  std::vector<int> numbers;
  if (const size_t open = t.find('('); open != std::string::npos) {
    int v = -1;
    for (size_t i = open + 1; i < t.size() && t[i] != ')'; ++i) {
      if (t[i] >= '0' && t[i] <= '9') {
        v = (v < 0 ? 0 : v * 10) + (t[i] - '0');
        if (v > 1000000) v = 1000000;
      } else if (t[i] == ',') {
        numbers.push_back(v);
        v = -1;
      }
    }
    numbers.push_back(v);
  }
  auto has = [&](const char* word) { return t.find(word) != std::string::npos; };
  if (has("BOOL")) return ftBoolean;
  if (has("DATETIME") || has("TIMESTAMP")) return ftDateTime;
  if (has("DATE")) return ftDate;
  if (has("TIME")) return ftTime;
  if (has("UNSIGNED SMALLINT") || t == "WORD") return ftWord;
  if (has("SMALLINT") || has("TINYINT") || has("INT2")) return ftSmallint;
  if (has("BIGINT") || has("INT8")) return ftLargeint;
  if (has("INT")) return ftInteger;
  if (has("MONEY") || has("CURRENCY")) return ftCurrency;
  if (has("DECIMAL") || has("NUMERIC")) {
    if (!numbers.empty() && numbers[0] > 0) *precision = numbers[0];
    *scale = numbers.size() > 1 && numbers[1] >= 0 ? numbers[1] : (*precision > 0 ? 0 : -1);
    return ftBCD;
  }
  if (has("REAL") || has("FLOA") || has("DOUB")) return ftFloat;
  if (has("CLOB") || has("MEMO") || has("LONGTEXT") || has("MEDIUMTEXT")) return ftMemo;
  if (has("BLOB") || has("BINARY") || has("BYTEA")) return ftBlob;
  if ((has("CHAR") || has("TEXT")) && !numbers.empty() && numbers[0] > 0) *size = numbers[0];
  return ftString;
}

std::unique_ptr<TConnection> TConnection::Open(const TAlias& alias, const std::string& user,
                                               const std::optional<std::string>& password) {
  if (alias.Driver == TDriver::PostgreSQL) return OpenPostgres(alias, user, password);
  return OpenSqlite(alias);
}

}  // namespace rpt::engine
