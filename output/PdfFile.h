#pragma once
// The object layer of a PDF file: numbered objects written one after the other as they
// are ready, streams compressed, and the cross-reference stream at the end. Objects that
// are not streams go a few hundred at a time into compressed object streams: a tagged
// report has one small object for each cell of every row. It knows
// nothing of pages or fonts; the PDF document builds those from it. Numbers are written
// without the C library's formatting (the locale does not reach a file, and a page holds
// hundreds of numbers).
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace rpt {

class TPdfFile {
 public:
  // Bytes go to write, which answers false when they could not be written: from then on
  // the file is failed and nothing more is written.
  using TWrite = std::function<bool(const char* data, size_t size)>;
  explicit TPdfFile(TWrite write);

  // A new object number, for an object written later (or referred to before it is).
  int Reserve();
  // Object number holds body (a dictionary, an array...); it goes into the object stream
  // being filled.
  void Object(int number, std::string_view body);
  // Object number is a stream of data; dictionary holds its entries without the brackets
  // and without /Length. Compressed (and /Filter added) unless level is 0.
  void Stream(int number, std::string_view dictionary, std::string_view data, int level = 6);
  // Writes the cross-reference stream; every reserved object must have been written by
  // then (one left out is written as null, so the file stays sound).
  void Finish(int catalog, int info);
  bool Failed() const { return FFailed; }
  uint64_t Size() const { return FOffset; }

 private:
  void Put(std::string_view bytes);
  uint64_t& Slot(int number);
  void Begin(int number);
  void FlushPack();

  TWrite FWrite;
  uint64_t FOffset = 0;
  bool FFailed = false;
  // By object number: 0 not written yet; an offset in the file; or, with kPacked, the
  // object stream's number and the object's index in it.
  static constexpr uint64_t kPacked = uint64_t(1) << 63;
  std::vector<uint64_t> FOffsets{0};
  std::string FDeflated;
  // The object stream being filled: its number, the numbers and offsets, the objects.
  int FPack = 0;
  int FPackCount = 0;
  std::string FPackIndex, FPackBody;
};

// Appends value with up to `decimals` digits after the point, without trailing zeros
// ("12", "0.5", "-3.125"); values too large for a PDF reader are clamped.
void AppendNumber(std::string& out, double value, int decimals = 3);
void AppendInteger(std::string& out, int64_t value);
// A name object: "/" then the name, bytes outside the printable ASCII letters written as #XX.
void AppendName(std::string& out, std::string_view name);
// A text string from UTF-8: literal when it is plain ASCII, else UTF-16BE with its mark, in hex.
void AppendTextString(std::string& out, std::string_view utf8);
// A byte string in a literal, its brackets and backslashes escaped.
void AppendLiteral(std::string& out, std::string_view bytes);
// "n 0 R"
void AppendReference(std::string& out, int number);

}  // namespace rpt
