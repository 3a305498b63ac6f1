#include "framework/Metafile.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>

#include "framework/Emf.h"
#include "objects/Format.h"

namespace rpt {

using namespace emf;

namespace {

TRect RectAt(const TRecordView& r, uint32_t offset) {
  return {r.I32(offset), r.I32(offset + 4), r.I32(offset + 8), r.I32(offset + 12)};
}

TSize SizeAt(const TRecordView& r, uint32_t offset) { return {r.I32(offset), r.I32(offset + 4)}; }

double SaneDpi(double dpi) { return std::isfinite(dpi) && dpi >= 1 && dpi <= 100000 ? dpi : 96.0; }

int32_t ClampToInt32(double v) {
  if (!std::isfinite(v)) return 0;
  return static_cast<int32_t>(std::clamp(std::lround(v), -2147483647L, 2147483647L));
}

}  // namespace

std::string MakeMetafileHeader(int32_t width, int32_t height, int dpi, const TRect& bounds, uint32_t totalBytes,
                               uint32_t records, uint16_t handles) {
  if (dpi <= 0) dpi = 96;
  std::string out;
  out.reserve(kHeaderSize);
  TRecordWriter w(out);
  w.U32(EMR_HEADER);
  w.U32(kHeaderSize);
  w.I32(bounds.Left), w.I32(bounds.Top), w.I32(bounds.Right), w.I32(bounds.Bottom);
  // The frame is the page, in hundredths of a millimetre.
  w.I32(0), w.I32(0);
  w.I32(ClampToInt32(width * 2540.0 / dpi)), w.I32(ClampToInt32(height * 2540.0 / dpi));
  w.U32(emf::kSignature);
  w.U32(kVersion);
  w.U32(totalBytes);
  w.U32(records);
  w.U16(handles);
  w.U16(0);
  w.U32(0), w.U32(0);  // no description
  w.U32(0);            // no palette
  // A reference device of 20 x 15 inches at dpi: whole millimetres, so readers that use
  // only the millimetre fields still get the exact resolution.
  w.I32(20 * dpi), w.I32(15 * dpi);
  w.I32(508), w.I32(381);
  w.U32(0), w.U32(0), w.U32(0);  // no pixel format, no OpenGL
  w.I32(508000), w.I32(381000);
  return out;
}

TMetafile::TMetafile(int32_t width, int32_t height, int dpi)
    : FWidth(width), FHeight(height), FDpiX(dpi > 0 ? dpi : 96), FDpiY(dpi > 0 ? dpi : 96) {}

TMetafileHeader TMetafile::Check(std::string_view bytes) {
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  if (bytes.size() < kHeaderBaseSize + kEofSize) throw EInvalidMetafile("Invalid metafile: too short");
  if (bytes.size() > 0xFFFFFFFFu) throw EInvalidMetafile("Invalid metafile: too large");
  const uint32_t total = static_cast<uint32_t>(bytes.size());
  const TRecordView head(data, total);
  const uint32_t headerSize = head.U32(4);
  if (head.Type() != EMR_HEADER || head.U32(kHdrSignature) != emf::kSignature)
    throw EInvalidMetafile("Invalid metafile: no metafile header");
  if (headerSize < kHeaderBaseSize || headerSize % 4 != 0 || headerSize > total - kEofSize)
    throw EInvalidMetafile("Invalid metafile: bad header size");
  if (head.U32(kHdrBytes) != total)
    throw EInvalidMetafile(Format("Invalid metafile: its header gives %d bytes, but it has %d",
                                  static_cast<int64_t>(head.U32(kHdrBytes)), static_cast<int64_t>(total)));
  // Every record lies inside the file and the last one is the end record.
  uint32_t offset = 0;
  bool ended = false;
  while (offset < total) {
    if (total - offset < 8) throw EInvalidMetafile("Invalid metafile: a record is cut short");
    const uint32_t type = GetU32(data + offset);
    const uint32_t size = GetU32(data + offset + 4);
    if (size < 8 || size % 4 != 0 || size > total - offset)
      throw EInvalidMetafile(Format("Invalid metafile: record at offset %d has a bad size", static_cast<int64_t>(offset)));
    offset += size;
    if (type == EMR_EOF) {
      ended = true;
      break;
    }
  }
  if (!ended) throw EInvalidMetafile("Invalid metafile: no end record");
  if (offset != total) throw EInvalidMetafile("Invalid metafile: data after the end record");

  const TRecordView header(data, headerSize);
  TMetafileHeader h;
  h.Bounds = RectAt(header, kHdrBounds);
  h.Frame = RectAt(header, kHdrFrame);
  h.Bytes = total;
  h.Records = header.U32(kHdrRecords);
  h.Handles = header.U16(kHdrHandles);
  h.Device = SizeAt(header, kHdrDevice);
  h.Millimeters = SizeAt(header, kHdrMillimeters);
  if (headerSize >= kHeaderSize) h.Micrometers = SizeAt(header, kHdrMicrometers);
  h.HeaderSize = headerSize;
  return h;
}

namespace {

// The UTF-16 string of a text record, when it lies inside the record.
bool TextOf(const TRecordView& r, std::u16string& units) {
  if (r.Type() != EMR_EXTTEXTOUTW || r.Size() < kSizeExtTextOutFixed) return false;
  const uint32_t count = r.U32(44), offString = r.U32(48);
  if (offString < kSizeExtTextOutFixed || !r.Fits(offString, uint64_t(count) * 2)) return false;
  units.resize(count);
  for (uint32_t i = 0; i < count; ++i) units[i] = static_cast<char16_t>(r.U16(offString + uint64_t(i) * 2));
  return true;
}

}  // namespace

namespace {
constexpr std::string_view kAnnotationTag = "RPTA";
constexpr size_t kMaxAnnotationText = 65536;
}  // namespace

std::string EncodeAnnotation(const TPageAnnotation& a) {
  std::string out(kAnnotationTag);
  TRecordWriter w(out);
  const std::string_view text = std::string_view(a.Text).substr(0, kMaxAnnotationText);
  w.U32(a.Kind), w.I32(a.Level);
  w.I32(a.Rect.Left), w.I32(a.Rect.Top), w.I32(a.Rect.Right), w.I32(a.Rect.Bottom);
  w.U32(static_cast<uint32_t>(text.size()));
  out += text;
  w.PadTo4();
  return out;
}

bool DecodeAnnotation(std::string_view data, TPageAnnotation& a) {
  constexpr size_t kFixed = 4 + 4 * 7;
  if (data.size() < kFixed || data.substr(0, 4) != kAnnotationTag) return false;
  const auto* p = reinterpret_cast<const unsigned char*>(data.data());
  const uint32_t kind = GetU32(p + 4);
  if (kind < TPageAnnotation::akBookmark || kind > TPageAnnotation::akEndStructure) return false;
  const uint32_t length = GetU32(p + 28);
  if (length > kMaxAnnotationText || length > data.size() - kFixed) return false;
  a.Kind = static_cast<TPageAnnotation::TKind>(kind);
  a.Level = std::clamp(GetI32(p + 8), 0, 64);
  a.Rect = {GetI32(p + 12), GetI32(p + 16), GetI32(p + 20), GetI32(p + 24)};
  a.Text.assign(data.substr(kFixed, length));
  return true;
}

bool IsSafeLinkTarget(std::string_view target) {
  if (target.size() > 1 && target[0] == '#') return true;
  const auto starts = [&](std::string_view prefix) {
    if (target.size() <= prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i)
      if (std::tolower(static_cast<unsigned char>(target[i])) != prefix[i]) return false;
    return true;
  };
  if (!starts("http://") && !starts("https://") && !starts("mailto:")) return false;
  // No control characters or blanks: they would end the address early in a reader.
  return std::none_of(target.begin(), target.end(), [](char c) { return static_cast<unsigned char>(c) <= ' '; });
}

std::vector<TPageAnnotation> TMetafile::Annotations() const {
  std::vector<TPageAnnotation> found;
  const auto* data = reinterpret_cast<const unsigned char*>(FData.data());
  for (size_t offset = 0; offset + 8 <= FData.size();) {
    const TRecordView r(data + offset, GetU32(data + offset + 4));
    if (r.Type() == EMR_GDICOMMENT && r.Fits(8, 4)) {
      const uint32_t length = r.U32(8);
      TPageAnnotation a;
      if (r.Fits(12, length) &&
          DecodeAnnotation(std::string_view(reinterpret_cast<const char*>(r.Data() + 12), length), a))
        found.push_back(std::move(a));
    }
    if (r.Type() == EMR_EOF || r.Size() < 8) break;
    offset += r.Size();
  }
  return found;
}

bool TMetafile::HasPageCountMarks() const {
  const auto* data = reinterpret_cast<const unsigned char*>(FData.data());
  std::u16string units;
  for (size_t offset = 0; offset + 8 <= FData.size();) {
    const TRecordView r(data + offset, GetU32(data + offset + 4));
    if (TextOf(r, units) && units.find(kPageCountMarkUnit) != std::u16string::npos) return true;
    if (r.Type() == EMR_EOF || r.Size() < 8) break;
    offset += r.Size();
  }
  return false;
}

bool TMetafile::ReplacePageCountMarks(std::string_view text) {
  const auto* data = reinterpret_cast<const unsigned char*>(FData.data());
  std::u16string units, fill;
  for (char c : text) fill += static_cast<char16_t>(static_cast<unsigned char>(c));  // digits or "?"
  std::string out;
  bool replaced = false;
  size_t offset = 0;
  while (offset + 8 <= FData.size()) {
    const TRecordView r(data + offset, GetU32(data + offset + 4));
    if (TextOf(r, units) && units.find(kPageCountMarkUnit) != std::u16string::npos) {
      replaced = true;
      std::u16string next;
      for (char16_t u : units) u == kPageCountMarkUnit ? next += fill : next += u;
      // The fields before the string stay; the string is new and the advances go.
      const uint32_t offString = r.U32(48);
      std::string record(reinterpret_cast<const char*>(r.Data()), offString);
      TRecordWriter w(record);
      for (char16_t u : next) w.U16(u);
      w.PadTo4();
      const auto put = [&record](uint32_t at, uint32_t value) {
        for (int i = 0; i < 4; ++i) record[at + i] = static_cast<char>(value >> (8 * i));
      };
      put(4, static_cast<uint32_t>(record.size()));
      put(44, static_cast<uint32_t>(next.size()));
      put(72, 0);
      out += record;
    } else {
      out.append(reinterpret_cast<const char*>(r.Data()), r.Size());
    }
    if (r.Type() == EMR_EOF || r.Size() < 8) break;
    offset += r.Size();
  }
  if (!replaced) return false;
  for (int i = 0; i < 4; ++i) out[kHdrBytes + i] = static_cast<char>(uint32_t(out.size()) >> (8 * i));
  SetData(std::move(out));
  return true;
}

void TMetafile::ApplyHeader() {
  const TMetafileHeader& h = FHeader;
  double dpiX = 96, dpiY = 96;
  if (h.Micrometers.cx > 0 && h.Micrometers.cy > 0) {
    dpiX = h.Device.cx * 25400.0 / h.Micrometers.cx;
    dpiY = h.Device.cy * 25400.0 / h.Micrometers.cy;
  } else if (h.Millimeters.cx > 0 && h.Millimeters.cy > 0) {
    dpiX = h.Device.cx * 25.4 / h.Millimeters.cx;
    dpiY = h.Device.cy * 25.4 / h.Millimeters.cy;
  }
  FDpiX = SaneDpi(dpiX);
  FDpiY = SaneDpi(dpiY);
  const double frameW = static_cast<double>(h.Frame.Right) - h.Frame.Left;
  const double frameH = static_cast<double>(h.Frame.Bottom) - h.Frame.Top;
  if (frameW > 0 && frameH > 0) {
    FWidth = ClampToInt32(frameW * FDpiX / 2540.0);
    FHeight = ClampToInt32(frameH * FDpiY / 2540.0);
  } else {
    // No usable frame: the drawing's own extent.
    FWidth = ClampToInt32(std::max(0.0, static_cast<double>(h.Bounds.Right) - h.Bounds.Left + 1));
    FHeight = ClampToInt32(std::max(0.0, static_cast<double>(h.Bounds.Bottom) - h.Bounds.Top + 1));
  }
}

void TMetafile::SetData(std::string bytes) {
  const TMetafileHeader header = Check(bytes);
  FData = std::move(bytes);
  FHeader = header;
  ApplyHeader();
}

void TMetafile::Clear() {
  FData.clear();
  FHeader = {};
}

void TMetafile::SaveToStream(TStream& stream) const {
  if (!FData.empty()) {
    stream.Write(FData.data(), FData.size());
    return;
  }
  // A page that was never drawn on is still a complete, blank metafile.
  const int dpi = static_cast<int>(std::lround(FDpiX));
  std::string bytes = MakeMetafileHeader(FWidth, FHeight, dpi, {0, 0, -1, -1}, kHeaderSize + kEofSize, 2, 1);
  TRecordWriter w(bytes);
  w.U32(EMR_EOF), w.U32(kEofSize), w.U32(0), w.U32(16), w.U32(kEofSize);
  stream.Write(bytes.data(), bytes.size());
}

void TMetafile::LoadFromStream(TStream& stream, int64_t maxBytes) {
  const int64_t start = stream.Position();
  int64_t available = std::max<int64_t>(stream.Size() - start, 0);
  if (maxBytes >= 0) available = std::min(available, maxBytes);
  unsigned char head[kHeaderBaseSize];
  if (available < static_cast<int64_t>(kHeaderBaseSize) || stream.Read(head, sizeof head) != sizeof head)
    throw EInvalidMetafile("Invalid metafile: it ends early");
  if (GetU32(head) != EMR_HEADER || GetU32(head + kHdrSignature) != emf::kSignature)
    throw EInvalidMetafile("Invalid metafile: no metafile header");
  const uint32_t total = GetU32(head + kHdrBytes);
  if (total < kHeaderBaseSize + kEofSize)
    throw EInvalidMetafile("Invalid metafile: bad size in its header");
  if (total > available)
    throw EInvalidMetafile(Format("Invalid metafile: its header claims %d bytes, only %d are there",
                                  static_cast<int64_t>(total), available));
  std::string bytes(total, '\0');
  std::memcpy(bytes.data(), head, sizeof head);
  stream.ReadBuffer(bytes.data() + sizeof head, total - sizeof head);
  SetData(std::move(bytes));
}

void TMetafile::LoadFromFile(const std::string& fileName) {
  std::string bytes = ReadWholeFile(fileName);
  try {
    SetData(std::move(bytes));
  } catch (const EInvalidMetafile& e) {
    throw EInvalidMetafile(fileName + ": " + e.what());
  }
}

void TMetafile::SaveToFile(const std::string& fileName) const {
  if (!FData.empty()) {
    WriteFileAtomically(fileName, FData);
    return;
  }
  TMemoryStream blank;
  SaveToStream(blank);
  WriteFileAtomically(fileName, blank.Data());
}

}  // namespace rpt
