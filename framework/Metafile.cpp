#include "framework/Metafile.h"

#include <algorithm>
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
