#include "output/QRCompress.h"

#include <algorithm>

#include "objects/Exceptions.h"

namespace rpt {

namespace {
constexpr size_t kOutputBlock = 65536;
constexpr size_t kInputBlock = 4096;
constexpr unsigned kRoot = 0;
constexpr unsigned kFirstLeaf = 256;
// Inner node 255's right child: not a byte, never produced by the coder.
constexpr unsigned kPhantomLeaf = 512;
}  // namespace

TQRCompress::TQRCompress(TStream& stream, bool encoding, int64_t limit)
    : FStream(stream), FEncoding(encoding), FBitIndex(encoding ? 0 : 7), FLimit(limit),
      FStart(stream.Position()) {
  InitTree();
  if (encoding) FBuffer.reserve(kOutputBlock);
}

TQRCompress::~TQRCompress() {
  if (FFinished) return;
  try {
    Finish();
  } catch (...) {
  }
}

void TQRCompress::InitTree() {
  for (unsigned i = 1; i <= 512; ++i) FParentOf[i] = static_cast<uint8_t>((i - 1) / 2);
  FParentOf[0] = 0;
  for (unsigned i = 0; i <= 255; ++i) {
    FLeftChild[i] = static_cast<uint16_t>(2 * i + 1);
    FRightChild[i] = static_cast<uint16_t>(2 * i + 2);
  }
}

// The semi-splaying step: every pair of levels on the way up is rotated, roughly halving
// the leaf's depth, so frequent bytes get short codes.
void TQRCompress::SplayLeaf(unsigned b) {
  unsigned a = kFirstLeaf + b;
  do {
    const unsigned c = FParentOf[a];
    if (c != kRoot) {
      const unsigned d = FParentOf[c];
      unsigned sibling = FLeftChild[d];
      if (sibling == c) {
        sibling = FRightChild[d];
        FRightChild[d] = static_cast<uint16_t>(a);
      } else {
        FLeftChild[d] = static_cast<uint16_t>(a);
      }
      if (a == FLeftChild[c])
        FLeftChild[c] = static_cast<uint16_t>(sibling);
      else
        FRightChild[c] = static_cast<uint16_t>(sibling);
      FParentOf[a] = static_cast<uint8_t>(d);
      FParentOf[sibling] = static_cast<uint8_t>(c);
      a = d;
    } else {
      a = c;
    }
  } while (a != kRoot);
}

void TQRCompress::EncodeByte(uint8_t b) {
  // The path from the leaf up, one bit per level (at most 256 levels).
  uint8_t bits[256];
  unsigned depth = 0;
  for (unsigned a = kFirstLeaf + b; a != kRoot;) {
    const unsigned parent = FParentOf[a];
    bits[depth++] = FRightChild[parent] == a;
    a = parent;
  }
  // Emitted root first, least significant bit of each byte first.
  unsigned index = FBitIndex;
  unsigned pending = FPendingByte;
  while (depth > 0) {
    pending |= static_cast<unsigned>(bits[--depth]) << index;
    if (index == 7) {
      FBuffer.push_back(static_cast<char>(pending));
      index = 0;
      pending = 0;
    } else {
      ++index;
    }
  }
  FBitIndex = static_cast<uint8_t>(index);
  FPendingByte = static_cast<uint8_t>(pending);
  if (FBuffer.size() >= kOutputBlock) Flush();
  SplayLeaf(b);
}

void TQRCompress::Flush() {
  if (FBuffer.empty()) return;
  FStream.Write(FBuffer.data(), FBuffer.size());
  FCoded += static_cast<int64_t>(FBuffer.size());
  FBuffer.clear();
}

uint8_t TQRCompress::NextInput() {
  if (FBufferPos == FBuffer.size()) {
    size_t want = kInputBlock;
    if (FLimit >= 0) want = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(want), FLimit - FCoded));
    FBuffer.resize(want);
    const size_t got = want ? FStream.Read(FBuffer.data(), want) : 0;
    FBuffer.resize(got);
    FBufferPos = 0;
    if (got == 0) throw EReadError("Compressed page data ends early");
  }
  ++FCoded;
  return static_cast<uint8_t>(FBuffer[FBufferPos++]);
}

uint8_t TQRCompress::DecodeByte() {
  unsigned a = kRoot;
  unsigned index = FBitIndex;
  unsigned input = FInputByte;
  do {
    if (index == 7) {
      input = NextInput();
      index = 0;
    } else {
      ++index;
    }
    a = (input >> index) & 1 ? FRightChild[a] : FLeftChild[a];
  } while (a < kFirstLeaf);
  FBitIndex = static_cast<uint8_t>(index);
  FInputByte = static_cast<uint8_t>(input);
  if (a == kPhantomLeaf) throw EReadError("Compressed page data is damaged");
  const unsigned b = a - kFirstLeaf;
  SplayLeaf(b);
  return static_cast<uint8_t>(b);
}

void TQRCompress::Encode(const void* data, size_t count) {
  const auto* p = static_cast<const uint8_t*>(data);
  for (size_t i = 0; i < count; ++i) EncodeByte(p[i]);
}

void TQRCompress::Decode(void* out, size_t count) {
  auto* p = static_cast<uint8_t*>(out);
  for (size_t i = 0; i < count; ++i) p[i] = DecodeByte();
}

void TQRCompress::Finish() {
  if (FFinished) return;
  FFinished = true;
  if (FEncoding) {
    if (FBitIndex != 0) FBuffer.push_back(static_cast<char>(FPendingByte));
    FBitIndex = 0;
    FPendingByte = 0;
    Flush();
  } else {
    // Give back what was read ahead.
    if (FBufferPos != FBuffer.size()) FStream.SetPosition(FStart + FCoded);
    FBuffer.clear();
    FBufferPos = 0;
  }
}

}  // namespace rpt
