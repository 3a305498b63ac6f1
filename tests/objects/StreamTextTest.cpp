// The text form of streams: what a dump shows, that building the text gives back the
// exact bytes (also for encodings the writer itself never produces), and how damaged
// bytes and bad text are reported.
#include <gtest/gtest.h>

#include <random>

#include "objects/CodePage.h"
#include "objects/Exceptions.h"
#include "objects/StreamText.h"

namespace rpt {
namespace {

// "04 4C 65" -> the bytes.
std::string Hex(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == ' ') continue;
    out += static_cast<char>(std::stoi(std::string(text.substr(i, 2)), nullptr, 16));
    ++i;
  }
  return out;
}

std::string Short(std::string_view s) { return static_cast<char>(s.size()) + std::string(s); }

std::string Int32(int32_t v) {
  std::string out;
  for (int i = 0; i < 4; ++i) out += static_cast<char>(static_cast<uint32_t>(v) >> (8 * i));
  return out;
}

// A root TQRLabel named L holding the given property bytes and no children.
std::string Label(const std::string& properties) {
  return "TPF0" + Short("TQRLabel") + Short("L") + properties + std::string(2, '\0');
}

::testing::AssertionResult RoundTrips(const std::string& bytes) {
  std::string text, rebuilt;
  try {
    text = DumpStream(bytes);
    rebuilt = BuildStream(text);
  } catch (const std::exception& e) {
    return ::testing::AssertionFailure() << e.what() << "\n" << text;
  }
  if (rebuilt != bytes) return ::testing::AssertionFailure() << "rebuilt bytes differ; text:\n" << text;
  if (!IsValidUtf8(text)) return ::testing::AssertionFailure() << "text is not UTF-8";
  for (char c : text)
    if (static_cast<unsigned char>(c) < 0x20 && c != '\n')
      return ::testing::AssertionFailure() << "unescaped control byte in:\n" << text;
  return ::testing::AssertionSuccess();
}

std::string DumpError(const std::string& bytes) {
  try {
    DumpStream(bytes);
  } catch (const EReadError& e) {
    return e.what();
  }
  return "no error";
}

std::string BuildError(const std::string& text) {
  try {
    BuildStream(text);
  } catch (const EReadError& e) {
    return e.what();
  }
  return "no error";
}

TEST(StreamTextTest, PropertyEncodingsShowTheirValueAndCode) {
  const struct {
    const char* bytes;
    const char* line;
  } cases[] = {
      {"04 4C 65 66 74 02 28", "  Left = 40  (svInt8)\n"},
      {"05 57 69 64 74 68 03 2C 01", "  Width = 300  (svInt16)\n"},
      {"07 43 61 70 74 69 6F 6E 06 05 54 6F 74 61 6C", "  Caption = \"Total\"  (svString)\n"},
      {"08 41 75 74 6F 53 69 7A 65 08", "  AutoSize = False  (svFalse)\n"},
      {"05 43 6F 6C 6F 72 07 07 63 6C 57 68 69 74 65", "  Color = clWhite  (svIdent)\n"},
      {"0A 46 6F 6E 74 2E 53 74 79 6C 65 0B 06 66 73 42 6F 6C 64 00", "  Font.Style = [fsBold]  (svSet)\n"},
      {"01 58 0B 00", "  X = []  (svSet)\n"},
      {"01 58 04 05 00 00 00", "  X = 5  (svInt32)\n"},  // not the smallest form
      {"01 58 13 00 00 00 00 00 00 00 80", "  X = -9223372036854775808  (svInt64)\n"},
      {"01 58 10 00 00 00 00 00 00 00 80", "  X = -922337203685477.5808  (svCurrency)\n"},
      {"01 58 0C 02 00 00 00 68 69", "  X = \"hi\"  (svLString)\n"},
      {"01 58 14 05 00 00 00 43 61 66 C3 A9", "  X = \"Caf\xC3\xA9\"  (svUTF8String)\n"},
      {"01 58 12 01 00 00 00 E9 00", "  X = \"\xC3\xA9\"  (svWString)\n"},
      {"01 58 12 02 00 00 00 00 DC 41 00", "  X = \"\\uDC00A\"  (svWString)\n"},
      {"01 58 06 04 E9 0A 81 22", "  X = \"\xC3\xA9\\n\\x81\\\"\"  (svString)\n"},
      {"01 58 14 03 00 00 00 FF C2 85", "  X = \"\\xFF\\u0085\"  (svUTF8String)\n"},
      {"01 58 05 00 00 00 00 00 00 00 A0 02 40", "  X = 10  (svExtended)\n"},
      {"01 58 05 00 00 00 00 00 00 00 00 01 40", "  X = raw 00 00 00 00 00 00 00 00 01 40  (svExtended)\n"},
      {"01 58 0F 00 00 C0 FF", "  X = -nan  (svSingle)\n"},
      {"01 58 0F 01 00 C0 7F", "  X = raw 01 00 C0 7F  (svSingle)\n"},
      {"01 58 11 00 00 00 00 00 00 D2 3F", "  X = 0.28125  (svDate)  # 1899-12-30 06:45:00\n"},
      {"04 54 79 70 65 07 03 65 6E 64", "  Type = \"end\"  (svIdent)\n"},
      {"06 6F 62 6A 65 63 74 0D", "  \"object\" = nil  (svNil)\n"},
      {"01 58 0A 03 00 00 00 00 7C 41", "  X = binary  (svBinary)\n    00 7C 41"},
      {"01 58 0E 01 00 02 03 01 00 04 07 00 00 00 01 00 00",
       "  X = collection  (svCollection)\n    item\n    end\n    item 3  (svInt8)\n    end\n"
       "    item 7  (svInt32)\n    end\n  end\n"},
  };
  for (const auto& c : cases) {
    const std::string bytes = Label(Hex(c.bytes));
    EXPECT_NE(DumpStream(bytes).find(c.line), std::string::npos) << c.bytes << "\n" << DumpStream(bytes);
    EXPECT_TRUE(RoundTrips(bytes)) << c.bytes;
  }
}

TEST(StreamTextTest, ObjectPrefixesChildrenListsAndReportsRoundTrip) {
  const std::string child = Short("TQRShape") + Short("S") + std::string(2, '\0');
  const std::string withChildren = "TPF0" + Short("TQRBand") + Short("B") + Hex("04 4C 65 66 74 02 28 00") +
                                   child + Hex("F3 03 10 00") + Short("TQRShape") + Short("") + std::string(2, '\0') +
                                   Hex("F8 00 00 00 00 00");
  const std::string text = DumpStream(withChildren);
  EXPECT_NE(text.find("\n  object TQRShape S\n  end\n"), std::string::npos) << text;
  EXPECT_NE(text.find("object TQRShape \"\"  prefix [inherited, childpos] position 16  (svInt16)"), std::string::npos);
  EXPECT_NE(text.find("object \"\" \"\"  prefix [flag8]\n"), std::string::npos);
  EXPECT_TRUE(RoundTrips(withChildren));

  const std::string list = withChildren + withChildren + std::string(1, '\0');
  EXPECT_EQ(DumpStream(list).rfind("components\n  object TQRBand B\n", 0), 0u);
  EXPECT_TRUE(RoundTrips(list));
  EXPECT_TRUE(RoundTrips(withChildren + std::string(1, '\0')));  // a list of one object

  const std::string report = Hex("51 58 52 50 02 05 00 00 00 53 61 6C 65 73 09 00 00 00 6F 72 64 65 72 73 2E 64 62");
  EXPECT_EQ(DumpStream(report + withChildren)
                .rfind("report\n  kind = table\n  database = \"Sales\"\n  table = \"orders.db\"\nend\nobject", 0),
            0u);
  EXPECT_TRUE(RoundTrips(report + withChildren));
  EXPECT_TRUE(RoundTrips(Hex("51 58 52 50 07") + withChildren));  // unknown kind: no fields
}

TEST(StreamTextTest, TextIsForgivingAboutLayoutAndCommentsButExactAboutValues) {
  const std::string text =
      "# a hand-written label\n\n"
      "object TQRLabel L\r\n"
      "Left=40(svInt8)   # indentation and spacing do not matter\n"
      "\t  Caption = \"\\u00e9\\x41\"  (svString)\n"
      "  W = \"\\uD83D\\uDE00\"  (svWString)\n"
      "  Data = binary  (svBinary)\n    0a ff  | the text column is ignored \"\n  end\n"
      "end\n";
  EXPECT_EQ(BuildStream(text), Label(Hex("04 4C 65 66 74 02 28 07 43 61 70 74 69 6F 6E 06 02 E9 41"
                                         "01 57 12 02 00 00 00 3D D8 00 DE 04 44 61 74 61 0A 02 00 00 00 0A FF")));
}

TEST(StreamTextTest, BadTextNamesTheLineAndWhatWasExpected) {
  const std::string head = "object TQRLabel L\n";
  EXPECT_EQ(BuildError(""), "line 1: expected object, components or report, found the end of the text");
  EXPECT_EQ(BuildError(head + "  Left = 40\nend\n"),
            "line 2: expected a value code in parentheses at the end of the line, such as (svInt8)");
  EXPECT_EQ(BuildError(head + "  Left = 400  (svInt8)\nend\n"),
            "line 2: expected an svInt8 value: a whole number from -128 to 127");
  EXPECT_EQ(BuildError(head + "  Left = 4  (svInt9)\nend\n"), "line 2: unknown value code svInt9");
  EXPECT_EQ(BuildError(head + "  X = \"abc  (svString)\nend\n"), "line 2: expected the closing quote of a string");
  EXPECT_EQ(BuildError(head + "  X = \"\\q\"  (svString)\nend\n"),
            "line 2: expected one of the escapes \\\" \\\\ \\n \\r \\t \\xHH \\uHHHH");
  EXPECT_EQ(BuildError(head + "  X = \"\xE6\x97\xA5\"  (svString)\nend\n"),
            "line 2: U+65E5 has no byte in the code page; use svUTF8String or svWString");
  EXPECT_EQ(BuildError(head + "  X = \"" + std::string(256, 'a') + "\"  (svString)\nend\n"),
            "line 2: an svString holds at most 255 bytes, this one 256; use svLString");
  EXPECT_EQ(BuildError(head + "  X = list  (svList)\n    Null  (svNull)\n  end\nend\n"),
            "line 3: a list cannot hold Null: svNull ends the list");
  EXPECT_EQ(BuildError(head + "  \"\" = 1  (svInt8)\nend\n"), "line 2: a property name cannot be empty");
  EXPECT_EQ(BuildError(head + "  object \"\" S\n  end\nend\n"),
            "line 2: a child object needs a prefix when its class name is empty or 240 bytes or longer");
  EXPECT_EQ(BuildError(head + "  object A B\n  end\n  Left = 1  (svInt8)\nend\n"),
            "line 4: expected a child object or end: properties come before the children");
  EXPECT_EQ(BuildError(head + "  Left = 1  (svInt8)\n"),
            "line 3: expected a property, a child object, or end closing the object of line 1, found the end of "
            "the text");
  EXPECT_EQ(BuildError(head + "end\nend\n"), "line 3: expected the end of the text");
  EXPECT_EQ(BuildError("object A B  prefix [childpos]\nend\n"),
            "line 1: expected position N (svIntN) after a prefix with childpos");
}

TEST(StreamTextTest, DamagedBytesNameTheOffsetAndWhatWasExpected) {
  EXPECT_EQ(DumpError(Label(Hex("01 58 9A"))), "offset 17: expected a value code, found 0x9A");
  EXPECT_EQ(DumpError("TPF1"), "offset 0: expected \"TPF0\" (a component stream) or \"QXRP\" (a report file), "
                               "found 0x54 0x50 0x46 0x31");
  EXPECT_EQ(DumpError(Label(Hex("01 58 0C FF FF FF FF"))),
            "offset 18: expected an svLString length from 0 to 2, found -1");
  // A huge length is refused before anything of that size is allocated.
  EXPECT_EQ(DumpError(Label(Hex("01 58 12 FF FF FF 7F"))),
            "offset 18: expected an svWString length in UTF-16 units from 0 to 1, found 2147483647");
  EXPECT_EQ(DumpError(Label(Hex("01 58 0E 05"))), "offset 18: expected svList starting a collection item, found 0x05");
  EXPECT_EQ(DumpError(Label("") + "x"), "offset 17: expected \"TPF0\" starting the next object, or svNull ending "
                                        "the list, found 0x78");
  EXPECT_EQ(DumpError("TPF0\xF2\x05"), "offset 5: expected the child position as svInt8, svInt16 or svInt32, "
                                       "found 0x05");
  EXPECT_EQ(DumpError(Hex("51 58 52 50 02 05 00 00 00 53 61 6C 65 73")),
            "offset 14: expected the length of the table name (4 bytes), found end of data");
}

TEST(StreamTextTest, NestingIsCappedInBothDirections) {
  // The root object is the first level; each list adds one.
  auto nested = [](int lists) {
    return Label(Short("X") + std::string(static_cast<size_t>(lists), '\x01') +
                 std::string(static_cast<size_t>(lists), '\0'));
  };
  EXPECT_TRUE(RoundTrips(nested(kMaxStreamTextDepth - 1)));
  EXPECT_EQ(DumpError(nested(kMaxStreamTextDepth)), "offset " + std::to_string(17 + kMaxStreamTextDepth - 1) +
                                                        ": nesting deeper than 1000 levels");
  EXPECT_NE(DumpError(nested(100000)).find("nesting deeper"), std::string::npos);

  auto objects = [](int levels) {
    std::string bytes = "TPF0";
    for (int i = 0; i < levels; ++i) bytes += Short("TQRBand") + Short("B") + std::string(1, '\0');
    return bytes + std::string(static_cast<size_t>(levels), '\0');
  };
  EXPECT_TRUE(RoundTrips(objects(kMaxStreamTextDepth)));
  EXPECT_NE(DumpError(objects(kMaxStreamTextDepth + 1)).find("nesting deeper"), std::string::npos);

  std::string text = "object A B\n  X = list  (svList)\n";
  for (int i = 0; i < kMaxStreamTextDepth; ++i) text += "list  (svList)\n";
  EXPECT_EQ(BuildError(text), "line " + std::to_string(2 + kMaxStreamTextDepth - 1) +
                                  ": nesting deeper than 1000 levels");
}

// Random valid streams using every value code, prefixes, children, lists and
// collections, in all three container forms.
class TStreamGenerator {
 public:
  explicit TStreamGenerator(unsigned seed) : FRandom(seed) {}

  std::string Any() {
    switch (Below(5)) {
      case 0: {
        std::string list;
        for (int n = 1 + Below(3); n > 0; --n) list += "TPF0" + Object(0);
        return list + '\0';
      }
      case 1: return Header() + "TPF0" + Object(0);
      default: return "TPF0" + Object(0);
    }
  }

  std::string Header() {
    const int kind = Below(4) == 3 ? Below(256) : Below(3);
    std::string out = std::string("QXRP") + static_cast<char>(kind);
    if (kind == 1 || kind == 2) out += Long(Bytes(Below(12)));
    if (kind == 1) {
      std::string block = Int32(Below(4));
      for (int n = static_cast<unsigned char>(block[0]); n > 0; --n) block += Long(Bytes(Below(20)));
      out += Long(block);
    }
    if (kind == 2) out += Long(Bytes(Below(12)));
    return out;
  }

  std::string Object(int depth) {
    std::string out;
    std::string className = Name();
    if (Below(4) == 0) {
      const int flags = Below(16);
      out += static_cast<char>(0xF0 | flags);
      if (flags & 2) out += SmallInteger();
      if (Below(3) == 0) className.clear();
    }
    out += Short(className) + Short(Below(3) == 0 ? "" : Name());
    for (int n = Below(5); n > 0; --n) out += Short(Name()) + Value(depth, true);
    out += '\0';
    if (depth < 3)
      for (int n = Below(3); n > 0; --n) out += Object(depth + 1);
    return out + '\0';
  }

 private:
  int Below(int n) { return static_cast<int>(FRandom() % static_cast<unsigned>(n)); }
  std::string Bytes(int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += static_cast<char>(Below(256));
    return out;
  }
  std::string Long(const std::string& s) { return Int32(static_cast<int32_t>(s.size())) + s; }
  // Plain identifiers most of the time, arbitrary non-empty bytes otherwise.
  std::string Name() {
    static const char* const kNames[] = {"Left", "Font.Style", "TQRLabel", "end", "object", "item", "x1"};
    return Below(3) ? kNames[Below(7)] : Bytes(1 + Below(8));
  }
  std::string SmallInteger() {
    const int code = 2 + Below(3);
    return static_cast<char>(code) + Bytes(code == 2 ? 1 : code == 3 ? 2 : 4);
  }

  std::string Value(int depth, bool nullAllowed) {
    int code = Below(21);
    if (code == 0 && !nullAllowed) code = 9;
    if ((code == 1 || code == 14) && depth > 4) code = 13;
    std::string out(1, static_cast<char>(code));
    switch (code) {
      case 2: return out + Bytes(1);
      case 3: return out + Bytes(2);
      case 4: case 15: return out + Bytes(4);
      case 16: case 17: case 19: return out + Bytes(8);
      case 5:
        // Mostly real numbers, sometimes any ten bytes.
        return out + (Below(2) ? Bytes(8) + static_cast<char>(Below(256)) + static_cast<char>(0x3F + Below(2))
                               : Bytes(10));
      case 6: return out + Short(Bytes(Below(30)));
      case 7: return out + Short(Name());
      case 10: case 12: case 20: return out + Long(Bytes(Below(2) ? Below(40) : 300));
      case 18: {
        const int n = Below(10);
        return out + Int32(n) + Bytes(2 * n);
      }
      case 11:
        for (int n = Below(4); n > 0; --n) out += Short(Name());
        return out + '\0';
      case 1:
        for (int n = Below(4); n > 0; --n) out += Value(depth + 1, false);
        return out + '\0';
      case 14:
        for (int n = Below(3); n > 0; --n) {
          if (Below(2)) out += SmallInteger();
          out += '\x01';
          for (int k = Below(3); k > 0; --k) out += Short(Name()) + Value(depth + 2, true);
          out += '\0';
        }
        return out + '\0';
      default: return out;  // svNull, svFalse, svTrue, svNil
    }
  }

  std::mt19937 FRandom;
};

TEST(StreamTextTest, RandomValidStreamsRebuildByteForByte) {
  for (unsigned seed = 1; seed <= 400; ++seed) {
    const std::string bytes = TStreamGenerator(seed).Any();
    ASSERT_TRUE(RoundTrips(bytes)) << "seed " << seed;
  }
}

TEST(StreamTextTest, EveryTruncationIsAnErrorNotACrash) {
  for (unsigned seed = 1; seed <= 12; ++seed) {
    TStreamGenerator generator(seed);
    // A list cut just before its final svNull could still be a valid single root, so
    // only roots and reports are cut here.
    const std::string bytes = (seed % 2 ? generator.Header() : std::string()) + "TPF0" + generator.Object(0);
    for (size_t length = 0; length < bytes.size(); ++length)
      EXPECT_THROW(DumpStream(std::string_view(bytes).substr(0, length)), EReadError)
          << "seed " << seed << " length " << length;
  }
}

}  // namespace
}  // namespace rpt
