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
    : FStream(stream), FEncoding(encoding), FLimit(limit), FStart(stream.Position()) {
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

// Appends count bits (at most 56), least significant first.
void TQRCompress::Emit(uint64_t bits, unsigned count) {
  FBits |= bits << FBitCount;
  FBitCount += count;
  while (FBitCount >= 8) {
    FBuffer.push_back(static_cast<char>(FBits & 0xFF));
    FBits >>= 8;
    FBitCount -= 8;
  }
}

void TQRCompress::EncodeByte(uint8_t b) {
  // The path from the leaf up, one bit per level: 1 for a right child. Built so that the
  // root's bit ends lowest, which is the order the bits are emitted in.
  uint8_t path[256];
  uint64_t code = 0;
  unsigned depth = 0;
  for (unsigned a = kFirstLeaf + b; a != kRoot;) {
    const unsigned parent = FParentOf[a];
    const unsigned bit = FRightChild[parent] == a;
    path[depth++] = static_cast<uint8_t>(bit);
    code = code << 1 | bit;
    a = parent;
  }
  if (depth <= 56) {
    Emit(code, depth);
  } else {
    // A degenerate tree: emit root first in pieces.
    while (depth > 0) {
      const unsigned n = std::min(depth, 32u);
      uint64_t piece = 0;
      for (unsigned i = 0; i < n; ++i) piece |= uint64_t(path[depth - 1 - i]) << i;
      Emit(piece, n);
      depth -= n;
    }
  }
  if (FBuffer.size() >= kOutputBlock) Flush();
  SplayLeaf(b);
}

void TQRCompress::Flush() {
  if (FBuffer.empty()) return;
  FStream.Write(FBuffer.data(), FBuffer.size());
  FCoded += static_cast<int64_t>(FBuffer.size());
  FBuffer.clear();
}

// Tops up the bit word from the read-ahead, refilling that from the stream (never past
// the limit). Fails when no input is left.
void TQRCompress::Refill() {
  while (FBitCount <= 56) {
    if (FBufferPos == FBuffer.size()) {
      size_t want = kInputBlock;
      if (FLimit >= 0) want = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(want), FLimit - FCoded));
      FBuffer.resize(want);
      const size_t got = want ? FStream.Read(FBuffer.data(), want) : 0;
      FBuffer.resize(got);
      FBufferPos = 0;
      FCoded += static_cast<int64_t>(got);
      if (got == 0) break;
    }
    FBits |= uint64_t(static_cast<uint8_t>(FBuffer[FBufferPos++])) << FBitCount;
    FBitCount += 8;
  }
  if (FBitCount == 0) throw EReadError("Compressed page data ends early");
}

uint8_t TQRCompress::DecodeByte() {
  unsigned a = kRoot;
  do {
    if (FBitCount == 0) Refill();
    a = FBits & 1 ? FRightChild[a] : FLeftChild[a];
    FBits >>= 1;
    --FBitCount;
  } while (a < kFirstLeaf);
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

int64_t TQRCompress::CodedBytes() const {
  if (FEncoding) return FCoded;
  // Bits taken from the input: everything read, less the read-ahead and the unused bits.
  const int64_t unread = static_cast<int64_t>(FBuffer.size() - FBufferPos);
  const int64_t usedBits = (FCoded - unread) * 8 - FBitCount;
  return (usedBits + 7) / 8;
}

void TQRCompress::Finish() {
  if (FFinished) return;
  FFinished = true;
  if (FEncoding) {
    // The last, partly filled byte, padded with zero bits.
    if (FBitCount > 0) Emit(0, 8 - FBitCount);
    Flush();
  } else {
    // Give back what was read ahead: the stream continues after the last byte used.
    const int64_t used = CodedBytes();
    if (used != FCoded) FStream.SetPosition(FStart + used);
    FBuffer.clear();
    FBufferPos = 0;
    FBits = 0;
    FBitCount = 0;
  }
}

}  // namespace rpt
