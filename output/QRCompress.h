#pragma once
// The page-body coder: an adaptive splay-tree prefix code over bytes. Coder and
// decoder start from the same balanced tree and splay the same leaf after every byte,
// so they stay in step without any table in the output. One instance codes one page.
#include <cstdint>
#include <string>

#include "objects/Filer.h"

namespace rpt {

class TQRCompress {
 public:
  // Encoding writes coded bytes at the stream's position; decoding reads them from
  // there. limit (decoding only) is the most bytes the coded data may occupy, so a
  // damaged body fails instead of running into whatever follows it; -1 is no limit.
  TQRCompress(TStream& stream, bool encoding, int64_t limit = -1);
  // Calls Finish when it has not run; errors are swallowed there, so callers that care
  // about a full disk call Finish themselves.
  ~TQRCompress();

  TQRCompress(const TQRCompress&) = delete;
  TQRCompress& operator=(const TQRCompress&) = delete;

  void EncodeByte(uint8_t b);
  // Fails with EReadError on data that ends early or leads to no byte.
  uint8_t DecodeByte();
  void Encode(const void* data, size_t count);
  void Decode(void* out, size_t count);

  // Encoding: writes the last, partly filled byte and everything still buffered.
  // Decoding: leaves the stream right after the last coded byte consumed (the decoder
  // reads ahead in blocks for speed).
  void Finish();

  bool Encoding() const { return FEncoding; }
  // Coded bytes written, or consumed (every byte whose bits were used), so far.
  int64_t CodedBytes() const;

 private:
  void InitTree();
  void SplayLeaf(unsigned b);
  void Flush();
  void Emit(uint64_t bits, unsigned count);
  void Refill();

  TStream& FStream;
  bool FEncoding;
  bool FFinished = false;
  // Bits not yet written (encoding) or not yet used (decoding), least significant first:
  // the pending byte and bit index of the format, kept a word at a time for speed.
  uint64_t FBits = 0;
  unsigned FBitCount = 0;
  int64_t FLimit;
  int64_t FStart;
  int64_t FCoded = 0;      // bytes written (encoding) or read from the stream (decoding)
  // Read-ahead (decoding) or pending output (encoding).
  std::string FBuffer;
  size_t FBufferPos = 0;
  uint16_t FLeftChild[256];
  uint16_t FRightChild[256];
  uint8_t FParentOf[513];
};

}  // namespace rpt
