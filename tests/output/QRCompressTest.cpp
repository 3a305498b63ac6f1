#include <gtest/gtest.h>

#include <random>
#include <string>

#include "objects/Exceptions.h"
#include "output/QRCompress.h"

namespace rpt {
namespace {

std::string Encode(std::string_view data) {
  TMemoryStream out;
  TQRCompress coder(out, true);
  coder.Encode(data.data(), data.size());
  coder.Finish();
  return out.Data();
}

std::string Decode(TStream& in, size_t count, int64_t limit = -1) {
  TQRCompress decoder(in, false, limit);
  std::string out(count, '\0');
  decoder.Decode(out.data(), count);
  decoder.Finish();
  return out;
}

TEST(QRCompress, KnownCodesOfAFreshTree) {
  // Byte 0 is leaf 256, the right child of node 127: seven 0 bits, then a 1.
  EXPECT_EQ(Encode(std::string(1, '\0')), std::string("\x80", 1));
  // Byte 255 is leaf 511, nine levels down the left edge: nine 0 bits.
  EXPECT_EQ(Encode("\xFF"), std::string("\x00\x00", 2));
  EXPECT_EQ(Encode("abc"), std::string("\x46\x3D\x01", 3));
  EXPECT_EQ(Encode(""), "");
}

TEST(QRCompress, DestructionWritesThePartialLastByte) {
  TMemoryStream out;
  {
    TQRCompress coder(out, true);
    coder.EncodeByte(255);
  }
  EXPECT_EQ(out.Data(), std::string("\x00\x00", 2)) << "nine bits: a whole byte and one bit";
}

std::string RandomData(std::mt19937& rng, size_t size, int kind) {
  std::string s(size, '\0');
  std::uniform_int_distribution<int> any(0, 255);
  std::uniform_int_distribution<int> letters(0, 15);
  for (size_t i = 0; i < size; ++i) {
    switch (kind) {
      case 0: s[i] = static_cast<char>(any(rng)); break;                  // incompressible
      case 1: s[i] = " etaoinshrdlucmf"[letters(rng)]; break;             // text-like
      case 2: s[i] = static_cast<char>(i % 97 < 60 ? 0 : any(rng)); break;  // metafile-like runs of zeros
      default: s[i] = static_cast<char>(255 - (i % 3)); break;            // deep leaves repeated
    }
  }
  return s;
}

TEST(QRCompress, RoundTripsAndConsumesExactlyTheCodedBytes) {
  std::mt19937 rng(1234);
  for (int kind = 0; kind < 4; ++kind) {
    for (size_t size : {size_t(0), size_t(1), size_t(2), size_t(7), size_t(255), size_t(4096), size_t(70001)}) {
      const std::string data = RandomData(rng, size, kind);
      const std::string coded = Encode(data);
      // Something after the coded bytes, as the trailing offset follows a page body.
      TMemoryStream in(coded + "TAIL");
      EXPECT_EQ(Decode(in, data.size()), data) << kind << " " << size;
      EXPECT_EQ(in.Position(), static_cast<int64_t>(coded.size())) << kind << " " << size;
      std::string tail(4, '\0');
      in.ReadBuffer(tail.data(), 4);
      EXPECT_EQ(tail, "TAIL");
      if (kind == 1 && size > 1000) {
        EXPECT_LT(coded.size(), data.size() * 6 / 10);
      }
    }
  }
}

TEST(QRCompress, DecodingStartsAtTheStreamPosition) {
  const std::string coded = Encode("hello, page");
  TMemoryStream in("HEAD" + coded + "TAIL");
  in.SetPosition(4);
  EXPECT_EQ(Decode(in, 11), "hello, page");
  EXPECT_EQ(in.Position(), static_cast<int64_t>(4 + coded.size()));
}

TEST(QRCompress, DamagedOrShortDataFailsCleanly) {
  std::mt19937 seeded(7);
  const std::string data = RandomData(seeded, 5000, 1);
  const std::string coded = Encode(data);
  // Short data: the limit stops the decoder before the bytes that follow.
  TMemoryStream cut(coded + std::string(1000, 'x'));
  EXPECT_THROW(Decode(cut, data.size(), static_cast<int64_t>(coded.size()) - 10), EReadError);
  TMemoryStream ended(coded.substr(0, coded.size() / 2));
  EXPECT_THROW(Decode(ended, data.size()), EReadError);
  // The phantom leaf right of node 255: eight 0 bits then a 1 reaches it in a fresh tree.
  TMemoryStream phantom(std::string("\x00\x01", 2));
  EXPECT_THROW(Decode(phantom, 1), EReadError);
  // Random garbage decodes to something or fails, but never reads past the limit.
  std::mt19937 rng(99);
  for (int i = 0; i < 200; ++i) {
    const std::string junk = RandomData(rng, 64, 0);
    TMemoryStream in(junk + "TAIL");
    try {
      Decode(in, 1000, 64);
    } catch (const EReadError&) {
    }
    EXPECT_LE(in.Position(), 64);
  }
}

}  // namespace
}  // namespace rpt
