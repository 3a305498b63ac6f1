#pragma once
// The dataset interface: datasets walked record by record, their fields, query
// parameters and the data source that links a dataset to data-aware controls.
//
// A dataset reads forward from the database and keeps only a small window of recent
// records, so walking any number of rows takes the same memory; stepping back inside
// the window is free, and a longer jump back runs the statement again and skips ahead.
// Fields are created automatically each time a dataset opens (DefaultFields() is true):
// callers that hold a field across a close keep its index and fetch it again.
//
// Datasets only read: database files open read-only and server sessions run read-only
// transactions.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "data/DateTime.h"
#include "objects/Component.h"
#include "objects/Exceptions.h"
#include "objects/StringList.h"

namespace rpt {

// Every failure of the database engine: the message is the engine's own text.
class EDatabaseError : public Exception {
  using Exception::Exception;
};
// The server refused the user name or password, or the login was cancelled.
class ELoginError : public EDatabaseError {
  using EDatabaseError::EDatabaseError;
};

enum TFieldType : uint8_t {
  ftUnknown, ftString, ftSmallint, ftInteger, ftWord, ftBoolean, ftFloat, ftCurrency, ftBCD, ftDate, ftTime,
  ftDateTime, ftAutoInc, ftBlob, ftMemo, ftLargeint,
};
RPT_ENUM_TYPE(TFieldType, "ftUnknown", "ftString", "ftSmallint", "ftInteger", "ftWord", "ftBoolean", "ftFloat",
              "ftCurrency", "ftBCD", "ftDate", "ftTime", "ftDateTime", "ftAutoInc", "ftBlob", "ftMemo", "ftLargeint")

enum TDataSetState : uint8_t { dsInactive, dsBrowse };

// One value of a record or a parameter. Text is UTF-8; Blob holds the bytes in Text;
// the date and time kinds hold a TDateTime in Float; Boolean holds 0 or 1 in Int.
struct TValue {
  enum TKind : uint8_t { kNull, kInteger, kFloat, kBoolean, kText, kBlob, kDate, kTime, kDateTime };
  TKind Kind = kNull;
  int64_t Int = 0;
  double Float = 0;
  std::string Text;

  bool IsNull() const { return Kind == kNull; }
  void SetNull() { Kind = kNull; }
  bool operator==(const TValue& other) const = default;
};

// The description of one column, from the engine.
struct TFieldDef {
  std::string Name;
  TFieldType DataType = ftUnknown;
  int Size = 0;        // characters of a string, 0 when unbounded
  int Precision = 0;   // digits of a BCD value, 0 when not given
  int Scale = -1;      // decimals of a BCD value, -1 when not given
  bool Required = false;
};

class TDataSet;
class TDataSource;
namespace engine {
class TConnection;
class TCursor;
}  // namespace engine

// ---------------------------------------------------------------------------
// Fields. Callers tell them apart by class (Is<TIntegerField>() and so on): small,
// word, auto-increment and large integers are integer fields, currency fields are
// float fields, dates and times are date-time fields, memos are blob fields.
class TField : public TPersistent {
  RPT_CLASS(TField, TPersistent)

  TDataSet* DataSet() const { return FDataSet; }
  int Index() const { return FIndex; }
  const std::string& FieldName() const { return FDef.Name; }
  const std::string& DisplayName() const { return FDef.Name; }
  TFieldType DataType() const { return FDef.DataType; }
  int Size() const { return FDef.Size; }
  bool Required() const { return FDef.Required; }
  const TFieldDef& Def() const { return FDef; }

  // The value of the dataset's current record (null when the dataset is empty).
  // Conversions that cannot be made throw EConvertError; null reads as "", 0, False.
  bool IsNull() const;
  std::string AsString() const;
  int64_t AsInteger() const;
  double AsFloat() const;
  double AsCurrency() const { return AsFloat(); }
  bool AsBoolean() const;
  TDateTime AsDateTime() const;
  // What a grid or a report shows: numbers in their general or fixed format, dates and
  // times in ISO form, Booleans as True / False, "" for null.
  std::string DisplayText() const;
  std::string Text() const { return DisplayText(); }
  TVariant AsVariant() const;
  const TValue& Value() const;

  // Numbers are right-aligned in grids.
  virtual TAlignment Alignment() const { return taLeftJustify; }
  virtual bool IsBlob() const { return false; }
  // Characters a grid column needs for typical values.
  virtual int DisplayWidth() const;

  // Fields are made by their dataset when it opens.
  TField(TDataSet* dataSet, int index, TFieldDef def) : FDataSet(dataSet), FIndex(index), FDef(std::move(def)) {}

 protected:
  virtual std::string GetAsString(const TValue& v) const;
  virtual std::string GetDisplayText(const TValue& v) const { return GetAsString(v); }

 private:
  TDataSet* FDataSet;
  int FIndex;
  TFieldDef FDef;
};

class TStringField : public TField {
  RPT_CLASS(TStringField, TField)
  using TField::TField;
  int DisplayWidth() const override;
};

class TNumericField : public TField {
  RPT_CLASS(TNumericField, TField)
  using TField::TField;
  TAlignment Alignment() const override { return taRightJustify; }
  int DisplayWidth() const override { return 12; }
};

class TIntegerField : public TNumericField {
  RPT_CLASS(TIntegerField, TNumericField)
  using TNumericField::TNumericField;
};

class TSmallintField : public TIntegerField {
  RPT_CLASS(TSmallintField, TIntegerField)
  using TIntegerField::TIntegerField;
};

class TWordField : public TIntegerField {
  RPT_CLASS(TWordField, TIntegerField)
  using TIntegerField::TIntegerField;
};

class TAutoIncField : public TIntegerField {
  RPT_CLASS(TAutoIncField, TIntegerField)
  using TIntegerField::TIntegerField;
};

// 64-bit integers (counts and sums on a server); an integer field to every caller.
class TLargeintField : public TIntegerField {
  RPT_CLASS(TLargeintField, TIntegerField)
  using TIntegerField::TIntegerField;
};

class TFloatField : public TNumericField {
  RPT_CLASS(TFloatField, TNumericField)
  using TNumericField::TNumericField;
};

// Shown with two decimals.
class TCurrencyField : public TFloatField {
  RPT_CLASS(TCurrencyField, TFloatField)
  using TFloatField::TFloatField;

 protected:
  std::string GetDisplayText(const TValue& v) const override;
};

// Exact decimals; shown with the column's scale when the engine gives one.
class TBCDField : public TNumericField {
  RPT_CLASS(TBCDField, TNumericField)
  using TNumericField::TNumericField;

 protected:
  std::string GetDisplayText(const TValue& v) const override;
};

class TBooleanField : public TField {
  RPT_CLASS(TBooleanField, TField)
  using TField::TField;
  int DisplayWidth() const override { return 5; }

 protected:
  std::string GetAsString(const TValue& v) const override;
};

class TDateTimeField : public TField {
  RPT_CLASS(TDateTimeField, TField)
  using TField::TField;
  int DisplayWidth() const override { return 19; }

 protected:
  std::string GetAsString(const TValue& v) const override;
};

class TDateField : public TDateTimeField {
  RPT_CLASS(TDateField, TDateTimeField)
  using TDateTimeField::TDateTimeField;
  int DisplayWidth() const override { return 10; }

 protected:
  std::string GetAsString(const TValue& v) const override;
};

class TTimeField : public TDateTimeField {
  RPT_CLASS(TTimeField, TDateTimeField)
  using TDateTimeField::TDateTimeField;
  int DisplayWidth() const override { return 8; }

 protected:
  std::string GetAsString(const TValue& v) const override;
};

// Bytes; AsString gives them unchanged, DisplayText "(Blob)".
class TBlobField : public TField {
  RPT_CLASS(TBlobField, TField)
  using TField::TField;
  bool IsBlob() const override { return true; }
  int DisplayWidth() const override { return 10; }

 protected:
  std::string GetDisplayText(const TValue& v) const override;
};

// Long text: AsString and DisplayText give the text with its line breaks.
class TMemoField : public TBlobField {
  RPT_CLASS(TMemoField, TBlobField)
  using TBlobField::TBlobField;
  int DisplayWidth() const override { return 30; }

 protected:
  std::string GetDisplayText(const TValue& v) const override { return GetAsString(v); }
};

// ---------------------------------------------------------------------------
// Query parameters: ":name" in the SQL text. Setting a value also sets the data type.
// A parameter never given a value is bound as null.
class TParam {
 public:
  explicit TParam(std::string name) : FName(std::move(name)) {}

  const std::string& Name() const { return FName; }
  TFieldType DataType() const { return FDataType; }
  void SetDataType(TFieldType type) { FDataType = type; }
  bool IsNull() const { return FValue.IsNull(); }
  bool Bound() const { return FBound; }
  // Null, and bound.
  void Clear();

  void SetAsString(std::string_view value);
  void SetAsInteger(int64_t value);
  void SetAsSmallInt(int64_t value);  // -32768..32767, else EConvertError
  void SetAsWord(int64_t value);      // 0..65535, else EConvertError
  void SetAsLargeInt(int64_t value);
  void SetAsBoolean(bool value);
  void SetAsFloat(double value);
  void SetAsCurrency(double value);
  void SetAsBCD(double value);
  void SetAsDate(TDateTime value);
  void SetAsTime(TDateTime value);
  void SetAsDateTime(TDateTime value);
  void SetAsMemo(std::string_view value);
  void SetAsBlob(std::string_view bytes);

  std::string AsString() const;
  int64_t AsInteger() const;
  double AsFloat() const;
  bool AsBoolean() const;
  TDateTime AsDateTime() const;
  const TValue& Value() const { return FValue; }
  // Data type and value of another parameter.
  void AssignValue(const TParam& other);

 private:
  void Set(TFieldType type, TValue value);

  std::string FName;
  TFieldType FDataType = ftUnknown;
  TValue FValue;
  bool FBound = false;
};

class TParams {
 public:
  int Count() const { return static_cast<int>(FItems.size()); }
  TParam* Items(int index) const;  // "List index out of bounds (%d)"
  TParam* operator[](int index) const { return Items(index); }
  // Case-insensitive; null when absent.
  TParam* FindParam(std::string_view name) const;
  // Throws EDatabaseError "Parameter 'NAME' not found".
  TParam* ParamByName(std::string_view name) const;
  TParam* Add(const std::string& name);
  void Clear() { FItems.clear(); }
  // The same parameters with the same types and values.
  void Assign(const TParams& other);

 private:
  std::vector<std::unique_ptr<TParam>> FItems;
};

// The parameter names of an SQL text in order of first use: ":name" outside string
// literals, quoted identifiers and comments; "::" (a type cast) is not a parameter.
std::vector<std::string> ParseSqlParams(std::string_view sql);

// ---------------------------------------------------------------------------
class TDataSet : public TComponent {
  RPT_CLASS(TDataSet, TComponent)

  TDataSet();
  ~TDataSet() override;

  bool Active() const { return FState != dsInactive; }
  // Opening raises EDatabaseError with the engine's message and leaves the dataset
  // closed. While the dataset is being read from a stream, opening waits for the end
  // of the read.
  void SetActive(bool value);
  // A closed dataset lets go of its connection, on the thread that made it, before
  // another thread opens it (the connection is made again there).
  void ReleaseConnection();
  // While loading: the stored Active is not acted on, the dataset stays closed after the
  // load (for an owner that opens it itself, when and on the thread it needs it).
  void IgnoreStreamedActive() { FStreamedActive = false; }
  void Open() { SetActive(true); }
  void Close() { SetActive(false); }
  TDataSetState State() const { return FState; }

  // The alias of the database; cannot change while the dataset is open.
  const std::string& DatabaseName() const { return FDatabaseName; }
  void SetDatabaseName(const std::string& name);

  // The walk. Eof is set by Next on the last record (which stays current) and on an
  // empty dataset; Bof by First and by Prior on the first record. A failure while
  // reading (the server went away) closes the dataset and raises EDatabaseError.
  void First();
  void Next();
  void Prior();
  void Last();
  // Moves by a number of records, stopping at either end; returns how far it moved.
  int64_t MoveBy(int64_t distance);
  bool Eof() const { return FEof; }
  bool Bof() const { return FBof; }
  bool IsEmpty() const;
  // 1-based number of the current record, 0 when there is none.
  int64_t RecNo() const { return FRecNo + 1; }
  void SetRecNo(int64_t recNo);
  // Where the walk is, to come back to after looking ahead (ReturnTo).
  struct TPlace {
    int64_t RecNo = -1;
    bool Eof = true, Bof = true;
  };
  TPlace Place() const;
  void ReturnTo(const TPlace& place);
  // Holds at least count records behind the current one (up to 4,095) while open, so a
  // walk back over them reads nothing again; by default a few dozen are held.
  void KeepRecords(int64_t count);
  // Counted by the engine without reading the records (and cached while open); exact
  // once the walk reached the end. Raises EDatabaseError when the engine cannot count.
  int64_t RecordCount();

  int FieldCount() const { return static_cast<int>(FFields.size()); }
  TField* Fields(int index) const;  // "List index out of bounds (%d)"
  // Case-insensitive; null when absent.
  TField* FindField(std::string_view name) const;
  // Throws EDatabaseError "Field 'NAME' not found".
  TField* FieldByName(std::string_view name) const;
  std::vector<std::string> FieldNames() const;
  void GetFieldNames(TStrings* list) const;
  const std::vector<TFieldDef>& FieldDefs() const { return FDefs; }
  bool DefaultFields() const { return true; }

  // Data sources hear nothing while controls are disabled; enabling tells them the
  // dataset changed.
  void DisableControls() { ++FDisableCount; }
  void EnableControls();
  bool ControlsDisabled() const { return FDisableCount > 0; }

  // The value of a field of the current record; a null value when there is none.
  const TValue& FieldValue(int index) const;

 protected:
  // The statement that reads the records, and the one that counts them.
  virtual std::string SelectSql(engine::TConnection& connection) = 0;
  virtual std::string CountSql(engine::TConnection& connection);
  virtual const TParams* StatementParams() const { return nullptr; }
  // The connection the dataset reads through: the session's, to DatabaseName. A dataset
  // over rows of its own gives one that reads them instead.
  virtual std::unique_ptr<engine::TConnection> NewConnection();
  // Throws "Cannot perform this operation on an open dataset".
  void CheckInactive() const;
  void CheckActive() const;

  void AfterLoad() override;
  void Destroy() override;

 private:
  friend class TDataSource;

  void DoOpen();
  void DoClose() noexcept;
  engine::TConnection& Connection();
  // Runs the statement again and positions on record index (0-based).
  void Requery(int64_t index);
  // Appends the next record to the window; false at the end of the data.
  bool FetchNext();
  void SetCurrent(int64_t index);
  // Inside a handler: closes after a failure of the engine and raises it again.
  [[noreturn]] void Fail();
  void DataEvent(bool stateChanged);

  std::string FDatabaseName;
  TDataSetState FState = dsInactive;
  bool FStreamedActive = false;
  std::unique_ptr<engine::TConnection> FConnection;
  std::unique_ptr<engine::TCursor> FCursor;
  std::vector<TFieldDef> FDefs;
  std::vector<TField*> FFields;
  std::string FSelectSql;
  // The parameter values the statement was opened with, for running it again.
  TParams FOpenParams;
  // The window: the last FWindowSize records read, record i at FWindow[i % FWindowSize], valid
  // for FWindowStart <= i < FFetched.
  std::vector<std::vector<TValue>> FWindow;
  int64_t FWindowSize = 32;
  int64_t FWindowStart = 0;
  int64_t FFetched = 0;
  bool FCursorDone = false;
  int64_t FRecNo = -1;
  const std::vector<TValue>* FCurrent = nullptr;
  bool FEof = true;
  bool FBof = true;
  int64_t FRecordCount = -1;
  int FDisableCount = 0;
  std::vector<TDataSource*> FDataSources;
};

// ---------------------------------------------------------------------------
// Links a dataset to data-aware controls: they listen to its events.
class TDataSource : public TComponent {
  RPT_CLASS(TDataSource, TComponent)

  TDataSource() = default;

  TDataSet* DataSet() const { return FDataSet; }
  void SetDataSet(TDataSet* dataSet);
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool value);
  TDataSetState State() const { return FDataSet && FEnabled ? FDataSet->State() : dsInactive; }

  // The dataset opened or closed.
  TEvent<void(TObject*)> OnStateChange;
  // The current record changed (moved, opened); the field is null for the whole record.
  TEvent<void(TObject*, TField*)> OnDataChange;

  void ComponentNotification(TComponent* component, TComponentOperation operation) override;

 protected:
  void Destroy() override;

 private:
  friend class TDataSet;
  void Notify(bool stateChanged);

  TDataSet* FDataSet = nullptr;
  bool FEnabled = true;
};

}  // namespace rpt
