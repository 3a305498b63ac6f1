#pragma once
// The binary component stream: byte streams, the writer and the reader, and the
// save/load entry points for one root or a list of components.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "objects/Component.h"
#include "objects/ValueCodes.h"

namespace rpt {

class TReader;
class TWriter;

// ---------------------------------------------------------------------------
// Byte streams.
class TStream {
 public:
  virtual ~TStream() = default;
  // Returns the number of bytes read (fewer at the end).
  virtual size_t Read(void* buffer, size_t count) = 0;
  // Writes all bytes or throws.
  virtual void Write(const void* buffer, size_t count) = 0;
  virtual int64_t Position() const = 0;
  virtual void SetPosition(int64_t position) = 0;
  virtual int64_t Size() const = 0;

  void ReadBuffer(void* buffer, size_t count);  // "Stream read error" when short
  std::string ReadRest();                        // everything from the position on
};

class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::string data) : FData(std::move(data)) {}
  size_t Read(void* buffer, size_t count) override;
  void Write(const void* buffer, size_t count) override;
  int64_t Position() const override { return static_cast<int64_t>(FPosition); }
  void SetPosition(int64_t position) override;
  int64_t Size() const override { return static_cast<int64_t>(FData.size()); }
  const std::string& Data() const { return FData; }
  void Clear() { FData.clear(), FPosition = 0; }

 private:
  std::string FData;
  size_t FPosition = 0;
};

class TFileStream : public TStream {
 public:
  enum TMode { fmOpenRead, fmCreate };
  // Fails with "Cannot open file \"%s\". %s" or "Cannot create file \"%s\". %s".
  TFileStream(const std::string& fileName, TMode mode);
  ~TFileStream() override;
  size_t Read(void* buffer, size_t count) override;
  void Write(const void* buffer, size_t count) override;
  int64_t Position() const override;
  void SetPosition(int64_t position) override;
  int64_t Size() const override;
  // Flushes and closes, reporting a failed write (a full disk) as an error.
  void Close();

 private:
  std::string FFileName;
  std::FILE* FFile = nullptr;
};

// The file an output named fileName really writes: a symbolic link is followed to its
// target (the link stays, the file it names is replaced and keeps its permissions);
// a folder, device, pipe or socket there is refused with EFCreateError.
std::string OutputTarget(const std::string& fileName);
// Replaces FileName (through OutputTarget) only once every byte is on disk: a failure
// leaves the old file.
void WriteFileAtomically(const std::string& fileName, std::string_view bytes);
// Tests make each step of an atomic write fail in turn: the hook gets the step
// ("create", "write", "sync", "close", "rename") and returns an errno value to fail it
// with, or 0. None by default.
using TWriteFailureHook = std::function<int(std::string_view step)>;
void SetWriteFailureHook(TWriteFailureHook hook);
// The errno the hook injects at a step of any file writer (the page store's "spill"
// and "page write" too), else 0.
int InjectedWriteFailure(std::string_view step);

// Temporary files being written beside their targets are registered while they exist, so
// that a program ending on a signal can remove them: RemoveTemporaryFilesNow only calls
// unlink and is safe in a signal handler. Registering returns a token for the release.
void* RegisterTemporaryFile(const std::string& path);
void ReleaseTemporaryFile(void* token);
void RemoveTemporaryFilesNow();

// A file that another writer (a PDF or image writer, a workbook library) fills under a
// temporary name beside its target. Creating it reserves that name, so a folder that
// cannot take the file fails before any work is done; Commit brings the file to disk
// and gives it the target's name (through OutputTarget); a pending file never
// committed is removed.
class TPendingFile {
 public:
  explicit TPendingFile(std::string fileName);
  ~TPendingFile();
  TPendingFile(const TPendingFile&) = delete;
  TPendingFile& operator=(const TPendingFile&) = delete;

  const std::string& FileName() const { return FFileName; }
  const std::string& TempName() const { return FTemp; }
  void Commit();
  void Discard();

 private:
  std::string FFileName;
  std::string FTarget;  // FFileName through OutputTarget
  std::string FTemp;
  void* FRegistered = nullptr;
};
std::string ReadWholeFile(const std::string& fileName);

// ---------------------------------------------------------------------------
using TReaderProc = std::function<void(TReader&)>;
using TWriterProc = std::function<void(TWriter&)>;
using TStreamProc = std::function<void(TStream&)>;

class TFiler {
 public:
  explicit TFiler(TStream& stream) : FStream(stream) {}
  virtual ~TFiler() = default;
  TFiler(const TFiler&) = delete;
  TFiler& operator=(const TFiler&) = delete;

  TComponent* Root() const { return FRoot; }
  TComponent* LookupRoot() const { return FLookupRoot; }
  void SetRoot(TComponent* root) { FRoot = root; }
  void SetLookupRoot(TComponent* root) { FLookupRoot = root; }

  // Custom properties: written (when HasData and a write procedure exists) after the
  // published ones; read for a stored name that is not published.
  virtual void DefineCustomProperty(const std::string& name, TReaderProc read, TWriterProc write,
                                    bool hasData) = 0;
  virtual void DefineBinaryData(const std::string& name, TStreamProc read, TStreamProc write,
                                bool hasData) = 0;

 protected:
  TStream& FStream;
  TComponent* FRoot = nullptr;
  TComponent* FLookupRoot = nullptr;
};

// ---------------------------------------------------------------------------
class TWriter : public TFiler {
 public:
  explicit TWriter(TStream& stream);
  ~TWriter() override;
  // Hands the buffered bytes to the stream.
  void FlushBuffer();

  void WriteSignature();
  void WriteRootComponent(TComponent* root);
  void WriteComponent(TComponent* component);
  void WriteProperties(TPersistent* instance);
  void WriteProperty(TPersistent* instance, const TPropertyInfo& prop);

  // Value operations, for custom properties.
  void WriteValue(TValueCode code);
  void WriteInteger(int32_t value);  // the smallest of svInt8, svInt16, svInt32
  void WriteInt64(int64_t value);    // as an integer in the 32-bit range, else svInt64
  void WriteFloat(Extended value);
  void WriteSingle(float value);
  void WriteCurrency(int64_t tenThousandths);
  void WriteDate(double value);
  void WriteString(std::string_view text);       // string-property rule
  void WriteListString(std::string_view text);   // string-list and code-page text rule
  void WriteWideString(std::u16string_view text);
  void WriteUTF8Str(std::string_view text);
  void WriteIdent(std::string_view ident);
  void WriteBoolean(bool value);
  void WriteChar(char32_t value);
  void WriteListBegin() { WriteValue(svList); }
  void WriteListEnd() { WriteValue(svNull); }
  void WriteVariant(const TVariant& value);
  void WriteBinary(std::string_view bytes);
  void WriteStr(std::string_view shortString);  // cut to 255 bytes
  void WritePropName(std::string_view name);
  void Write(const void* bytes, size_t count);

  void DefineCustomProperty(const std::string& name, TReaderProc read, TWriterProc write, bool hasData) override;
  void DefineBinaryData(const std::string& name, TStreamProc read, TStreamProc write, bool hasData) override;

 private:
  void WriteNested(TPersistent* object, const std::string& name);
  void WriteCollection(class TCollection* collection);
  void WriteStringBytes(std::string_view codePageBytes);
  std::string ReferencePath(TComponent* component) const;

  std::string FBuffer;
  std::string FPropPath;
};

// ---------------------------------------------------------------------------
class TReader : public TFiler {
 public:
  explicit TReader(TStream& stream);
  // Leaves the stream right after the last byte read.
  ~TReader() override;

  std::function<void(TReader&, TComponent*, std::string&)> OnNameRead;
  std::function<void(TReader&, std::string&)> OnReferenceRead;
  std::function<void(TReader&, const std::string&, bool&)> OnReadError;
  // Components are read into the lookup root's components of the same names and classes
  // instead of new ones, as property changes (no loading state, no AfterLoad): a design
  // step put back where it was. A component that is not there fails the read.
  bool ReadIntoExisting = false;

  // Reads one root: into Root when given, else into a new instance of the stored class.
  TComponent* ReadRootComponent(TComponent* root);
  // Reads a component list; each object becomes owned by Owner and parented to Parent.
  void ReadComponents(TComponent* owner, TComponent* parent, const std::function<void(TComponent*)>& proc);
  TComponent* ReadComponent();

  // Value operations, for custom properties.
  TValueCode NextValue();  // not consumed
  TValueCode ReadValue();
  bool EndOfList() { return NextValue() == svNull; }
  void ReadListBegin();
  void ReadListEnd();
  int32_t ReadInteger();
  int64_t ReadInt64();
  Extended ReadFloat();
  float ReadSingle();
  int64_t ReadCurrency();
  double ReadDate();
  std::string ReadString();  // any of the four string codes, as UTF-8
  std::u16string ReadWideString();
  std::string ReadIdent();
  bool ReadBoolean();
  char32_t ReadChar();
  TVariant ReadVariant();
  std::string ReadBinary();  // svBinary payload
  std::string ReadStr();     // short string, code-page bytes as UTF-8
  void ReadSignature();
  void ReadPrefix(uint8_t& flags, int32_t& childPosition);
  void SkipValue();
  void Read(void* buffer, size_t count);
  size_t Position() const { return FPosition; }
  size_t Remaining() const { return FData.size() - FPosition; }

  void DefineCustomProperty(const std::string& name, TReaderProc read, TWriterProc write, bool hasData) override;
  void DefineBinaryData(const std::string& name, TStreamProc read, TStreamProc write, bool hasData) override;

 private:
  struct TFixup {
    TPersistent* Instance;
    TComponent* Holder;  // the component being read when the reference was met
    const TPropertyInfo* Prop;
    std::string Path;
  };

  void ReadData(TComponent* instance);
  void ReadProperty(TPersistent* instance);
  void ReadPropValue(TPersistent* instance, const TPropertyInfo& prop);
  void ReadSet(TPersistent* instance, const TPropertyInfo& prop);
  void ReadCollection(class TCollection* collection);
  void SkipProperty();
  void SkipComponent(bool skipHeader);
  void SkipSetBody();
  bool HandleError(const std::string& message);
  const TClassDescriptor* FindComponentClass(const std::string& className) const;
  void FixupReferences();
  void CallAfterLoad();
  void ClearLoadingState();
  void Need(size_t count);
  uint8_t ReadByte();
  std::string TakeBytes(size_t count);
  // A little-endian value of fixed size at the current position.
  template <class T>
  T Fixed() {
    T value;
    Read(&value, sizeof value);
    return value;
  }
  uint32_t ReadCount();  // a 4-byte count, checked against the bytes left

  TStream& FSource;
  int64_t FStartPosition = 0;
  std::string FData;
  size_t FPosition = 0;
  int FDepth = 0;
  TComponent* FOwner = nullptr;
  TComponent* FParent = nullptr;
  TComponent* FCurrentHolder = nullptr;
  std::string FPropName;
  bool FPropHandled = false;
  std::vector<TFixup> FFixups;
  std::vector<TComponent*> FLoaded;
};

// ---------------------------------------------------------------------------
void SaveComponent(TStream& stream, TComponent* instance);
// Into Instance when given; else creates the root from the registered class.
TComponent* LoadComponent(TStream& stream, TComponent* instance);
void SaveComponentList(TStream& stream, TComponent* root, const std::vector<TComponent*>& list);
void LoadComponentList(TStream& stream, TComponent* root, TComponent* parent,
                       const std::function<void(TComponent*)>& proc);

// References to components of another root wait until a top-level component of the
// root's name exists.
void ResolveGlobalReferences();
void DropGlobalReferences(TComponent* holder);
size_t PendingGlobalReferenceCount();

}  // namespace rpt
