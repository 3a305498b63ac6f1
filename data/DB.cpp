#include "data/DB.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <thread>

#include "data/DBTables.h"
#include "data/Engine.h"
#include "objects/CodePage.h"
#include "objects/Format.h"

namespace rpt {

namespace {

// Records kept behind the current one; the report engine steps back one at a time.
constexpr int64_t kWindow = 32;
// The most records a walk ahead may ask to keep (KeepRecords).
constexpr int64_t kMaxWindow = 4096;

const TValue& NullValue() {
  static const TValue null;
  return null;
}

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool ParseInt64(std::string_view text, int64_t& out) {
  text = TrimBlanks(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
  return !text.empty() && ec == std::errc() && end == text.data() + text.size();
}

bool ParseDouble(std::string_view text, double& out) {
  text = TrimBlanks(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
  return !text.empty() && ec == std::errc() && end == text.data() + text.size();
}

std::string FormatGeneral(double v) {
  if (std::isnan(v)) return "NAN";
  if (std::isinf(v)) return v > 0 ? "INF" : "-INF";
  if (v == 0) return "0";
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.15g", v);
  return buf;
}

std::string FormatFixed(double v, int decimals) {
  if (!std::isfinite(v)) return FormatGeneral(v);
  char buf[400];
  std::snprintf(buf, sizeof buf, "%.*f", std::clamp(decimals, 0, 18), v);
  std::string s = buf;
  // No "-0.00".
  if (s[0] == '-' && s.find_first_not_of("-0.") == std::string::npos) s.erase(0, 1);
  return s;
}

int64_t ToInt64(double v, std::string_view text) {
  const double r = std::nearbyint(v);
  if (!(r >= -9.2233720368547758e18 && r < 9.2233720368547758e18))
    throw EConvertError(Format("'%s' is not a valid integer value", text));
  return static_cast<int64_t>(r);
}

bool IsDateType(TFieldType t) { return t == ftDate || t == ftTime || t == ftDateTime; }

int64_t ValueToInt(const TValue& v) {
  switch (v.Kind) {
    case TValue::kNull: return 0;
    case TValue::kInteger:
    case TValue::kBoolean: return v.Int;
    case TValue::kFloat: return ToInt64(v.Float, FormatGeneral(v.Float));
    case TValue::kDate:
    case TValue::kTime:
    case TValue::kDateTime: return static_cast<int64_t>(std::trunc(v.Float));
    case TValue::kText: {
      int64_t i;
      if (ParseInt64(v.Text, i)) return i;
      throw EConvertError(Format("'%s' is not a valid integer value", v.Text));
    }
    case TValue::kBlob: break;
  }
  throw EConvertError("A blob value cannot be read as an integer");
}

double ValueToFloat(const TValue& v) {
  switch (v.Kind) {
    case TValue::kNull: return 0;
    case TValue::kInteger:
    case TValue::kBoolean: return static_cast<double>(v.Int);
    case TValue::kFloat:
    case TValue::kDate:
    case TValue::kTime:
    case TValue::kDateTime: return v.Float;
    case TValue::kText: {
      double d;
      if (ParseDouble(v.Text, d)) return d;
      throw EConvertError(Format("'%s' is not a valid floating point value", v.Text));
    }
    case TValue::kBlob: break;
  }
  throw EConvertError("A blob value cannot be read as a number");
}

bool ValueToBool(const TValue& v) {
  switch (v.Kind) {
    case TValue::kNull: return false;
    case TValue::kInteger:
    case TValue::kBoolean: return v.Int != 0;
    case TValue::kFloat: return v.Float != 0;
    case TValue::kText: {
      const std::string t = LowerAscii(TrimBlanks(v.Text));
      if (t == "true" || t == "t" || t == "yes" || t == "y" || t == "1") return true;
      if (t == "false" || t == "f" || t == "no" || t == "n" || t == "0" || t.empty()) return false;
      throw EConvertError(Format("'%s' is not a valid boolean value", v.Text));
    }
    default: break;
  }
  throw EConvertError("This value cannot be read as a Boolean");
}

// Date-time fields read the numbers SQLite keeps dates in: integers are Unix times,
// reals Julian day numbers. Other fields read numbers as day counts.
TDateTime ValueToDateTime(const TValue& v, bool dateField) {
  switch (v.Kind) {
    case TValue::kNull: return 0;
    case TValue::kDate:
    case TValue::kTime:
    case TValue::kDateTime: return v.Float;
    case TValue::kInteger: return dateField ? UnixTimeToDateTime(v.Int) : static_cast<double>(v.Int);
    case TValue::kFloat: return dateField ? JulianDayToDateTime(v.Float) : v.Float;
    case TValue::kText:
      if (auto d = ParseIsoDateTime(v.Text)) return *d;
      throw EConvertError(Format("'%s' is not a valid date and time", v.Text));
    default: break;
  }
  throw EConvertError("This value cannot be read as a date and time");
}

std::string ValueText(const TValue& v) {
  switch (v.Kind) {
    case TValue::kNull: return {};
    case TValue::kInteger: return std::to_string(v.Int);
    case TValue::kFloat: return FormatGeneral(v.Float);
    case TValue::kBoolean: return v.Int ? "True" : "False";
    case TValue::kText:
    case TValue::kBlob: return v.Text;
    case TValue::kDate: return DateToIso(v.Float);
    case TValue::kTime: return TimeToIso(v.Float);
    case TValue::kDateTime: return DateTimeToIso(v.Float);
  }
  return {};
}

TField* CreateField(TDataSet* dataSet, int index, const TFieldDef& def) {
  switch (def.DataType) {
    case ftSmallint: return new TSmallintField(dataSet, index, def);
    case ftInteger: return new TIntegerField(dataSet, index, def);
    case ftWord: return new TWordField(dataSet, index, def);
    case ftAutoInc: return new TAutoIncField(dataSet, index, def);
    case ftLargeint: return new TLargeintField(dataSet, index, def);
    case ftBoolean: return new TBooleanField(dataSet, index, def);
    case ftFloat: return new TFloatField(dataSet, index, def);
    case ftCurrency: return new TCurrencyField(dataSet, index, def);
    case ftBCD: return new TBCDField(dataSet, index, def);
    case ftDate: return new TDateField(dataSet, index, def);
    case ftTime: return new TTimeField(dataSet, index, def);
    case ftDateTime: return new TDateTimeField(dataSet, index, def);
    case ftBlob: return new TBlobField(dataSet, index, def);
    case ftMemo: return new TMemoField(dataSet, index, def);
    default: return new TStringField(dataSet, index, def);
  }
}

}  // namespace

// ---------------------------------------------------------------------------

RPT_BEGIN_CLASS(TField, TPersistent)
RPT_END_CLASS
RPT_BEGIN_CLASS(TStringField, TField)
RPT_END_CLASS
RPT_BEGIN_CLASS(TNumericField, TField)
RPT_END_CLASS
RPT_BEGIN_CLASS(TIntegerField, TNumericField)
RPT_END_CLASS
RPT_BEGIN_CLASS(TSmallintField, TIntegerField)
RPT_END_CLASS
RPT_BEGIN_CLASS(TWordField, TIntegerField)
RPT_END_CLASS
RPT_BEGIN_CLASS(TAutoIncField, TIntegerField)
RPT_END_CLASS
RPT_BEGIN_CLASS(TLargeintField, TIntegerField)
RPT_END_CLASS
RPT_BEGIN_CLASS(TFloatField, TNumericField)
RPT_END_CLASS
RPT_BEGIN_CLASS(TCurrencyField, TFloatField)
RPT_END_CLASS
RPT_BEGIN_CLASS(TBCDField, TNumericField)
RPT_END_CLASS
RPT_BEGIN_CLASS(TBooleanField, TField)
RPT_END_CLASS
RPT_BEGIN_CLASS(TDateTimeField, TField)
RPT_END_CLASS
RPT_BEGIN_CLASS(TDateField, TDateTimeField)
RPT_END_CLASS
RPT_BEGIN_CLASS(TTimeField, TDateTimeField)
RPT_END_CLASS
RPT_BEGIN_CLASS(TBlobField, TField)
RPT_END_CLASS
RPT_BEGIN_CLASS(TMemoField, TBlobField)
RPT_END_CLASS

const TValue& TField::Value() const { return FDataSet->FieldValue(FIndex); }
bool TField::IsNull() const { return Value().IsNull(); }
std::string TField::AsString() const { return GetAsString(Value()); }
int64_t TField::AsInteger() const { return ValueToInt(Value()); }
double TField::AsFloat() const { return ValueToFloat(Value()); }
bool TField::AsBoolean() const { return ValueToBool(Value()); }
TDateTime TField::AsDateTime() const { return ValueToDateTime(Value(), IsDateType(DataType())); }
std::string TField::DisplayText() const { return GetDisplayText(Value()); }
std::string TField::GetAsString(const TValue& v) const { return ValueText(v); }
int TField::DisplayWidth() const { return 10; }

TVariant TField::AsVariant() const {
  const TValue& v = Value();
  TVariant r;
  if (IsDateType(DataType()) && !v.IsNull()) {
    try {
      r.Float = ValueToDateTime(v, true);
      r.Type = TVariant::varDate;
      return r;
    } catch (const EConvertError&) {
      // Not a date after all: the stored value as it is.
    }
  }
  // SQLite keeps a truth value as a number: the field knows it is one.
  if (v.Kind == TValue::kInteger && Is<TBooleanField>()) {
    r.Type = TVariant::varBoolean;
    r.Int = v.Int != 0;
    return r;
  }
  switch (v.Kind) {
    case TValue::kNull: r.Type = TVariant::varNull; break;
    case TValue::kInteger:
      r.Type = v.Int >= INT32_MIN && v.Int <= INT32_MAX ? TVariant::varInteger : TVariant::varInt64;
      r.Int = v.Int;
      break;
    case TValue::kBoolean:
      r.Type = TVariant::varBoolean;
      r.Int = v.Int;
      break;
    case TValue::kFloat:
      if (Is<TCurrencyField>() && std::fabs(v.Float) < 9e14) {
        r.Type = TVariant::varCurrency;
        r.Int = std::llround(v.Float * 10000);
      } else {
        r.Type = TVariant::varDouble;
        r.Float = v.Float;
      }
      break;
    case TValue::kDate:
    case TValue::kTime:
    case TValue::kDateTime:
      r.Type = TVariant::varDate;
      r.Float = v.Float;
      break;
    case TValue::kText:
    case TValue::kBlob:
      r.Type = TVariant::varString;
      r.Text = v.Text;
      break;
  }
  return r;
}

int TStringField::DisplayWidth() const { return Size() > 0 ? std::min(Size(), 60) : 20; }

std::string TCurrencyField::GetDisplayText(const TValue& v) const {
  if (v.IsNull()) return {};
  double d;
  try {
    d = ValueToFloat(v);
  } catch (const EConvertError&) {
    return v.Text;
  }
  return FormatFixed(d, 2);
}

std::string TBCDField::GetDisplayText(const TValue& v) const {
  if (v.IsNull() || Def().Scale < 0) return GetAsString(v);
  double d;
  try {
    d = ValueToFloat(v);
  } catch (const EConvertError&) {
    return v.Text;
  }
  return FormatFixed(d, Def().Scale);
}

std::string TBooleanField::GetAsString(const TValue& v) const {
  if (v.IsNull()) return {};
  try {
    return ValueToBool(v) ? "True" : "False";
  } catch (const EConvertError&) {
    return v.Text;
  }
}

namespace {
std::string DateTimeText(const TValue& v, std::string (*format)(TDateTime)) {
  if (v.IsNull()) return {};
  try {
    return format(ValueToDateTime(v, true));
  } catch (const EConvertError&) {
    return ValueText(v);  // a text that is no date: shown as it is
  }
}
}  // namespace

std::string TDateTimeField::GetAsString(const TValue& v) const { return DateTimeText(v, DateTimeToIso); }
std::string TDateField::GetAsString(const TValue& v) const { return DateTimeText(v, DateToIso); }
std::string TTimeField::GetAsString(const TValue& v) const { return DateTimeText(v, TimeToIso); }

std::string TBlobField::GetDisplayText(const TValue& v) const { return v.IsNull() ? std::string() : "(Blob)"; }

// ---------------------------------------------------------------------------

void TParam::Set(TFieldType type, TValue value) {
  FDataType = type;
  FValue = std::move(value);
  FBound = true;
}

void TParam::Clear() {
  FValue = TValue();
  FBound = true;
}

void TParam::SetAsString(std::string_view value) { Set(ftString, {TValue::kText, 0, 0, std::string(value)}); }
void TParam::SetAsMemo(std::string_view value) { Set(ftMemo, {TValue::kText, 0, 0, std::string(value)}); }
void TParam::SetAsBlob(std::string_view bytes) { Set(ftBlob, {TValue::kBlob, 0, 0, std::string(bytes)}); }
void TParam::SetAsInteger(int64_t value) { Set(ftInteger, {TValue::kInteger, value, 0, {}}); }
void TParam::SetAsLargeInt(int64_t value) { Set(ftLargeint, {TValue::kInteger, value, 0, {}}); }

void TParam::SetAsSmallInt(int64_t value) {
  if (value < -32768 || value > 32767) throw EConvertError(Format("%d is out of the small integer range", value));
  Set(ftSmallint, {TValue::kInteger, value, 0, {}});
}

void TParam::SetAsWord(int64_t value) {
  if (value < 0 || value > 65535) throw EConvertError(Format("%d is out of the word range", value));
  Set(ftWord, {TValue::kInteger, value, 0, {}});
}

void TParam::SetAsBoolean(bool value) { Set(ftBoolean, {TValue::kBoolean, value ? 1 : 0, 0, {}}); }
void TParam::SetAsFloat(double value) { Set(ftFloat, {TValue::kFloat, 0, value, {}}); }
void TParam::SetAsCurrency(double value) { Set(ftCurrency, {TValue::kFloat, 0, value, {}}); }
void TParam::SetAsBCD(double value) { Set(ftBCD, {TValue::kFloat, 0, value, {}}); }
void TParam::SetAsDate(TDateTime value) { Set(ftDate, {TValue::kDate, 0, DateOf(value), {}}); }
void TParam::SetAsTime(TDateTime value) { Set(ftTime, {TValue::kTime, 0, TimeOf(value), {}}); }
void TParam::SetAsDateTime(TDateTime value) {
  DecodeDate(value);  // refuses values that are no date
  Set(ftDateTime, {TValue::kDateTime, 0, value, {}});
}

std::string TParam::AsString() const { return ValueText(FValue); }
int64_t TParam::AsInteger() const { return ValueToInt(FValue); }
double TParam::AsFloat() const { return ValueToFloat(FValue); }
bool TParam::AsBoolean() const { return ValueToBool(FValue); }
TDateTime TParam::AsDateTime() const { return ValueToDateTime(FValue, false); }

void TParam::AssignValue(const TParam& other) {
  FDataType = other.FDataType;
  FValue = other.FValue;
  FBound = other.FBound;
}

TParam* TParams::Items(int index) const {
  if (index < 0 || index >= Count()) throw EListError(Format("List index out of bounds (%d)", index));
  return FItems[static_cast<size_t>(index)].get();
}

TParam* TParams::FindParam(std::string_view name) const {
  for (const auto& p : FItems)
    if (SameText(p->Name(), name)) return p.get();
  return nullptr;
}

TParam* TParams::ParamByName(std::string_view name) const {
  if (TParam* p = FindParam(name)) return p;
  throw EDatabaseError(Format("Parameter '%s' not found", name));
}

TParam* TParams::Add(const std::string& name) {
  FItems.push_back(std::make_unique<TParam>(name));
  return FItems.back().get();
}

void TParams::Assign(const TParams& other) {
  if (&other == this) return;
  FItems.clear();
  for (const auto& p : other.FItems) Add(p->Name())->AssignValue(*p);
}

std::vector<std::string> ParseSqlParams(std::string_view sql) {
  std::vector<std::string> names;
  for (const engine::TSqlParamRef& ref : engine::ScanSqlParams(sql))
    if (std::none_of(names.begin(), names.end(), [&](const std::string& n) { return SameText(n, ref.Name); }))
      names.push_back(ref.Name);
  return names;
}

// ---------------------------------------------------------------------------

RPT_BEGIN_CLASS(TDataSet, TComponent)
  c.Property("Active", &TDataSet::Active, &TDataSet::SetActive).Default(false);
  c.Property("DatabaseName", &TDataSet::DatabaseName, &TDataSet::SetDatabaseName);
RPT_END_CLASS

TDataSet::TDataSet() = default;

TDataSet::~TDataSet() { DoClose(); }

void TDataSet::Destroy() {
  DoClose();
  // The sources lose their dataset before anyone is told this one is going.
  const std::vector<TDataSource*> sources = FDataSources;
  FDataSources.clear();
  for (TDataSource* source : sources) {
    source->FDataSet = nullptr;
    source->UnwatchComponent(this);
  }
  FConnection.reset();
  TComponent::Destroy();
}

void TDataSet::CheckInactive() const {
  if (Active()) throw EDatabaseError("Cannot perform this operation on an open dataset");
}

void TDataSet::CheckActive() const {
  if (!Active()) throw EDatabaseError("Cannot perform this operation on a closed dataset");
}

void TDataSet::SetDatabaseName(const std::string& name) {
  if (name == FDatabaseName) return;
  CheckInactive();
  FDatabaseName = name;
  FConnection.reset();
}

void TDataSet::SetActive(bool value) {
  if (HasState(sfLoading)) {
    FStreamedActive = value;
    return;
  }
  if (value == Active()) return;
  if (value) {
    DoOpen();
  } else {
    DoClose();
  }
  DataEvent(true);
}

void TDataSet::AfterLoad() {
  TComponent::AfterLoad();
  if (FStreamedActive) {
    FStreamedActive = false;
    SetActive(true);
  }
}

engine::TConnection& TDataSet::Connection() {
  if (FConnection && FConnection->Thread() != std::this_thread::get_id()) {
    // An open cursor cannot change threads; a closed dataset connects anew on this one.
    if (Active()) throw EDatabaseError("This dataset is open on another thread");
    FConnection.reset();
  }
  if (!FConnection) FConnection = NewConnection();
  return *FConnection;
}

std::unique_ptr<engine::TConnection> TDataSet::NewConnection() {
  if (FDatabaseName.empty()) throw EDatabaseError("Database name missing");
  return Session().Connect(FDatabaseName);
}

void TDataSet::ReleaseConnection() {
  if (!Active()) FConnection.reset();
}

void TDataSet::Fail() {
  const bool wasActive = Active();
  DoClose();
  FConnection.reset();
  if (wasActive) {
    try {
      DataEvent(true);
    } catch (...) {
      // The engine's error is the one to report.
    }
  }
  throw;
}

void TDataSet::DoOpen() {
  try {
    engine::TConnection& connection = Connection();
    FSelectSql = SelectSql(connection);
    if (const TParams* params = StatementParams())
      FOpenParams.Assign(*params);
    else
      FOpenParams.Clear();
    FCursor = connection.OpenCursor(FSelectSql, &FOpenParams);
    FDefs = FCursor->Columns();
    // Unique names, as a second "id" of a join would otherwise be unreachable by name.
    for (size_t i = 0; i < FDefs.size(); ++i) {
      const std::string base = FDefs[i].Name;
      for (int n = 1;; ++n) {
        const bool taken = std::any_of(FDefs.begin(), FDefs.begin() + static_cast<ptrdiff_t>(i),
                                       [&](const TFieldDef& d) { return SameText(d.Name, FDefs[i].Name); });
        if (!taken) break;
        FDefs[i].Name = base + "_" + std::to_string(n);
      }
    }
    FFields.reserve(FDefs.size());
    for (size_t i = 0; i < FDefs.size(); ++i) FFields.push_back(CreateField(this, static_cast<int>(i), FDefs[i]));
    FWindowSize = kWindow;
    FWindow.assign(static_cast<size_t>(FWindowSize), {});
    FWindowStart = 0;
    FFetched = 0;
    FCursorDone = false;
    FRecordCount = -1;
    FState = dsBrowse;
    if (FetchNext()) SetCurrent(0);
    FBof = true;
    FEof = FFetched == 0;
  } catch (...) {
    Fail();
  }
}

void TDataSet::DoClose() noexcept {
  FCursor.reset();
  for (TField* f : FFields) f->Free();
  FFields.clear();
  FDefs.clear();
  FWindow.clear();
  FCurrent = nullptr;
  FRecNo = -1;
  FWindowStart = 0;
  FFetched = 0;
  FCursorDone = false;
  FEof = true;
  FBof = true;
  FRecordCount = -1;
  FState = dsInactive;
}

bool TDataSet::FetchNext() {
  if (FCursorDone) return false;
  bool fetched = false;
  try {
    fetched = FCursor->Fetch(FWindow[static_cast<size_t>(FFetched % FWindowSize)]);
  } catch (...) {
    Fail();
  }
  if (!fetched) {
    FCursorDone = true;
    return false;
  }
  ++FFetched;
  if (FFetched - FWindowStart > FWindowSize) FWindowStart = FFetched - FWindowSize;
  return true;
}

void TDataSet::SetCurrent(int64_t index) {
  FRecNo = index;
  FCurrent = &FWindow[static_cast<size_t>(index % FWindowSize)];
}

void TDataSet::Requery(int64_t index) {
  try {
    const size_t columns = FDefs.size();
    FCursor.reset();
    FCurrent = nullptr;
    FRecNo = -1;
    FCursor = Connection().OpenCursor(FSelectSql, &FOpenParams);
    if (FCursor->Columns().size() != columns)
      throw EDatabaseError("The columns of the data changed while the dataset was open");
    FFetched = 0;
    FWindowStart = 0;
    FCursorDone = false;
    const int64_t start = std::max<int64_t>(0, index - (FWindowSize - 1));
    if (start > 0) {
      FFetched = FWindowStart = FCursor->Skip(start);
      if (FFetched < start) FCursorDone = true;
    }
    while (FFetched <= index && FetchNext()) {
    }
    if (FFetched > FWindowStart) SetCurrent(std::min(index, FFetched - 1));
  } catch (...) {
    Fail();
  }
}

void TDataSet::First() {
  CheckActive();
  if (FWindowStart == 0) {
    if (FFetched > 0) SetCurrent(0);
  } else {
    Requery(0);
  }
  FBof = true;
  FEof = FCurrent == nullptr;
  DataEvent(false);
}

void TDataSet::Next() {
  CheckActive();
  if (FEof) return;
  if (FRecNo + 1 < FFetched || FetchNext()) {
    SetCurrent(FRecNo + 1);
    FBof = false;
  } else {
    FEof = true;
  }
  DataEvent(false);
}

void TDataSet::Prior() {
  CheckActive();
  if (FBof) return;
  FEof = false;
  if (FRecNo <= 0) {
    FBof = true;
  } else if (FRecNo - 1 >= FWindowStart) {
    SetCurrent(FRecNo - 1);
  } else {
    Requery(FRecNo - 1);
  }
  DataEvent(false);
}

void TDataSet::Last() {
  CheckActive();
  while (FetchNext()) {
  }
  if (FFetched > FWindowStart) {
    SetCurrent(FFetched - 1);
    FBof = false;
  }
  FEof = true;
  DataEvent(false);
}

int64_t TDataSet::MoveBy(int64_t distance) {
  CheckActive();
  const int64_t from = FRecNo;
  if (distance > 0) {
    FBof = false;
    for (int64_t i = 0; i < distance; ++i) {
      if (FRecNo + 1 < FFetched || FetchNext()) {
        SetCurrent(FRecNo + 1);
      } else {
        FEof = true;
        break;
      }
    }
  } else if (distance < 0 && FRecNo >= 0) {
    FEof = false;
    const int64_t target = FRecNo + distance;
    if (target < 0) FBof = true;
    const int64_t clamped = std::max<int64_t>(0, target);
    if (clamped >= FWindowStart)
      SetCurrent(clamped);
    else
      Requery(clamped);
  }
  DataEvent(false);
  return FRecNo - from;
}

TDataSet::TPlace TDataSet::Place() const { return {FRecNo, FEof, FBof}; }

void TDataSet::ReturnTo(const TPlace& place) {
  CheckActive();
  if (place.RecNo < 0) return;
  if (place.RecNo != FRecNo) MoveBy(place.RecNo - FRecNo);
  FEof = place.Eof;
  FBof = place.Bof;
}

void TDataSet::KeepRecords(int64_t count) {
  CheckActive();
  const int64_t size = std::clamp<int64_t>(count + 1, kWindow, kMaxWindow);
  if (size <= FWindowSize) return;
  // The records held move to their places in the larger ring.
  std::vector<std::vector<TValue>> window(static_cast<size_t>(size));
  for (int64_t i = FWindowStart; i < FFetched; ++i)
    window[static_cast<size_t>(i % size)] = std::move(FWindow[static_cast<size_t>(i % FWindowSize)]);
  FWindow = std::move(window);
  FWindowSize = size;
  if (FRecNo >= 0) SetCurrent(FRecNo);
}

void TDataSet::SetRecNo(int64_t recNo) {
  CheckActive();
  if (recNo < 1) recNo = 1;
  MoveBy(recNo - RecNo());
}

bool TDataSet::IsEmpty() const { return FCurrent == nullptr; }

int64_t TDataSet::RecordCount() {
  CheckActive();
  if (FCursorDone) return FFetched;
  if (FRecordCount < 0) FRecordCount = Connection().QueryInteger(CountSql(Connection()), &FOpenParams);
  return FRecordCount;
}

std::string TDataSet::CountSql(engine::TConnection&) {
  return "SELECT COUNT(*) FROM (\n" + engine::TrimStatement(FSelectSql) + "\n) AS rpt_count";
}

TField* TDataSet::Fields(int index) const {
  if (index < 0 || index >= FieldCount()) throw EListError(Format("List index out of bounds (%d)", index));
  return FFields[static_cast<size_t>(index)];
}

TField* TDataSet::FindField(std::string_view name) const {
  for (TField* f : FFields)
    if (SameText(f->FieldName(), name)) return f;
  return nullptr;
}

TField* TDataSet::FieldByName(std::string_view name) const {
  if (TField* f = FindField(name)) return f;
  throw EDatabaseError(Format("Field '%s' not found", name));
}

std::vector<std::string> TDataSet::FieldNames() const {
  std::vector<std::string> names;
  for (TField* f : FFields) names.push_back(f->FieldName());
  return names;
}

void TDataSet::GetFieldNames(TStrings* list) const {
  list->BeginUpdate();
  list->Clear();
  for (TField* f : FFields) list->Add(f->FieldName());
  list->EndUpdate();
}

const TValue& TDataSet::FieldValue(int index) const {
  if (!FCurrent || index < 0 || static_cast<size_t>(index) >= FCurrent->size()) return NullValue();
  return (*FCurrent)[static_cast<size_t>(index)];
}

void TDataSet::EnableControls() {
  if (FDisableCount > 0 && --FDisableCount == 0) DataEvent(true);
}

void TDataSet::DataEvent(bool stateChanged) {
  if (FDisableCount > 0 || FDataSources.empty()) return;
  const std::vector<TDataSource*> sources = FDataSources;
  for (TDataSource* source : sources) source->Notify(stateChanged);
}

// ---------------------------------------------------------------------------

RPT_BEGIN_CLASS(TDataSource, TComponent)
  c.Property("DataSet", &TDataSource::DataSet, &TDataSource::SetDataSet);
  c.Property("Enabled", &TDataSource::Enabled, &TDataSource::SetEnabled).Default(true);
RPT_END_CLASS

void TDataSource::SetDataSet(TDataSet* dataSet) {
  if (dataSet == FDataSet) return;
  if (FDataSet) {
    auto& list = FDataSet->FDataSources;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
    UnwatchComponent(FDataSet);
  }
  FDataSet = dataSet;
  if (FDataSet) {
    FDataSet->FDataSources.push_back(this);
    WatchComponent(FDataSet);
  }
  if (!HasState(sfDestroying)) Notify(true);
}

void TDataSource::SetEnabled(bool value) {
  if (value == FEnabled) return;
  FEnabled = value;
  Notify(true);
}

void TDataSource::ComponentNotification(TComponent* component, TComponentOperation operation) {
  if (operation == coRemove && component && component == FDataSet) SetDataSet(nullptr);
  TComponent::ComponentNotification(component, operation);
}

void TDataSource::Destroy() {
  SetDataSet(nullptr);
  TComponent::Destroy();
}

void TDataSource::Notify(bool stateChanged) {
  if (!FEnabled && !stateChanged) return;
  if (stateChanged && OnStateChange) OnStateChange(this);
  if (FEnabled && FDataSet && FDataSet->Active() && OnDataChange) OnDataChange(this, nullptr);
}

}  // namespace rpt
