#pragma once
// A readable text form of component streams and report files, made for reading them
// and for diffing them in version control. DumpStream turns bytes into text and
// BuildStream turns that text back into exactly the same bytes, so a file can be
// read, edited and rebuilt. Both only look at bytes: no class needs to be
// registered, and damaged input is reported, never trusted.
//
// Layout: one item per line; nested items are indented by two spaces, and every
// block closes with "end" (indentation is ignored when building). Blank lines, lines
// starting with '#', and the rest of a line from a '#' that starts a token are ignored.
//
//   object TQRLabel Label1                      "TPF0", then an object: class and name
//     Left = 40  (svInt8)                       property path = value  (value code)
//     Caption = "Total"  (svString)
//     Font.Style = [fsBold, fsItalic]  (svSet)
//     Lines.Strings = list  (svList)            a list: one value a line, then end
//       "first line"  (svString)
//     end
//     Columns = collection  (svCollection)      a collection: items, then end
//       item                                    an item written without an index
//         Width = 20  (svInt8)
//       end
//       item 3  (svInt8)                        an item preceded by an index value
//       end
//     end
//     Picture.Data = binary  (svBinary)         16 bytes a line; text after '|' is a
//       89 50 4E 47 0D 0A 1A 0A  |.PNG....|     reading aid and ignored when building
//     end
//     object TQRShape ""  prefix [inherited, childpos] position 2  (svInt8)
//     end                                       children follow the properties
//   end
//
// A component list (the clipboard form: objects each after "TPF0", then svNull) is
// "components", its objects, "end". A report file is its header, then its root:
//
//   report
//     kind = query                              none, query, table, or the kind number
//     database = "Sales"                        query and table
//     sql = "select *"                          query: one line per SQL line
//     table = "orders.db"                       table
//   end
//   object TReport Report
//   ...
//
// Object prefix: shown only when stored; flags are inherited, childpos, inline and
// flag8 (the fourth, unnamed bit); "position" carries the child position's integer
// value exactly when childpos is set.
//
// Values by code:
//   svInt8 svInt16 svInt32 svInt64   decimal
//   svExtended svSingle svDate       the shortest decimal that reads back to the stored
//                                    bytes (inf, -inf, nan and -nan included); when no
//                                    decimal does, "raw" and the stored bytes in hex:
//                                    raw 00 00 00 00 00 00 00 40 FF 3F  (svExtended)
//                                    An svDate line ends with a comment giving the date.
//   svCurrency                       decimal with four fraction digits: 12.5000
//   svFalse svTrue svNil svNull      False, True, nil, Null
//   svIdent                          the identifier, quoted when it is not a plain name
//   svString svLString               quoted text; stored as code-page bytes
//   svUTF8String                     quoted text; stored as UTF-8 bytes
//   svWString                        quoted text; stored as UTF-16 units
//
// Names (class, object, property path, set element, identifier) are shown bare when
// plain: an ASCII letter or '_', then letters, digits, '_' or '.', and not one of the
// words object, end, item. Anything else, the empty name included, is quoted. Names
// are code-page bytes, like svString.
//
// Quoted text is UTF-8 with the escapes \" \\ \n \r \t, \xHH for the stored byte HH
// and \uHHHH for the character U+HHHH (in svWString: the UTF-16 unit HHHH, which is
// how an unpaired surrogate is shown). Control characters, bytes that are not text in
// the string's encoding, and invisible or line-breaking characters are always escaped.
#include <string>
#include <string_view>

namespace rpt {

// Objects, lists, collections and collection items nest at most this deep; deeper
// input is refused rather than risking the stack.
inline constexpr int kMaxStreamTextDepth = 1000;

// Accepts a stream of one root ("TPF0", one object, end of data), a component list
// ("TPF0" and an object, repeated, then svNull) or a report file ("QXRP" header, then
// a stream of one root). Throws EReadError "offset N: expected ..., found ..." for
// damaged or truncated data.
std::string DumpStream(std::string_view bytes);

// The inverse of DumpStream. Throws EReadError "line N: ..." for text it cannot build.
std::string BuildStream(std::string_view text);

}  // namespace rpt
