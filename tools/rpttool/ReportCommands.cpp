// rpttool check and resave: a .rpt file loaded into the real report classes, the way a
// document window loads it, without opening its dataset. check prints what was loaded
// as a tree; resave writes it back, which shows whether loading and saving keep a file.
#include <unistd.h>

#include <QCoreApplication>
#include <QGuiApplication>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <set>
#include <span>
#include <sstream>
#include <string>

#include "tools/rpttool/LoadedReport.h"
#include "tools/rpttool/Output.h"
#include "data/DB.h"
#include "objects/CodePage.h"
#include "objects/Exceptions.h"
#include "objects/Filer.h"
#include "objects/Format.h"
#include "objects/ReportFile.h"
#include "objects/StreamText.h"
#include "report/QRCtrls.h"
#include "report/QRFile.h"
#include "report/QRPictures.h"
#include "report/QuickRpt.h"

namespace rpttool {

namespace {

using rpt::Format;

// Text as one quoted line: quotes, backslashes and control characters escaped.
std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
          out += Format("\\x%02X", static_cast<unsigned char>(c));
        else
          out += c;
    }
  }
  return out + "\"";
}

std::string DataSetLine(const rpt::TReportFileHeader& header) {
  switch (header.Kind) {
    case rpt::rdkNone: return "dataset: none";
    case rpt::rdkTable:
      return "dataset: table " + Quoted(header.TableName) + " of database " + Quoted(header.DatabaseName);
    case rpt::rdkQuery: {
      std::string sql;
      for (size_t i = 0; i < header.SqlLines.size(); ++i) sql += (i ? "\n" : "") + header.SqlLines[i];
      return Format("dataset: query of database %s, %d SQL lines %s", Quoted(header.DatabaseName),
                    header.SqlLines.size(), Quoted(sql));
    }
    default: return Format("dataset: unknown kind %d (none bound)", header.Kind);
  }
}

// A length in the report's unit: the unit's own precision and name.
struct TUnitStyle {
  const char* Name;
  int Decimals;
};

TUnitStyle StyleOf(rpt::TQRUnit unit) {
  switch (unit) {
    case rpt::MM: return {"mm", 1};
    case rpt::Inches: return {"in", 3};
    case rpt::Pixels: return {"px", 1};
    case rpt::Characters: return {"chars", 1};
    case rpt::Native: return {"native", 0};
  }
  return {"?", 2};
}

std::string Number(rpt::Extended value, int decimals) {
  double v = static_cast<double>(value);
  if (!std::isfinite(v)) return Format("%g", v);
  const double scale = std::pow(10.0, decimals);
  v = std::round(v * scale) / scale;
  if (v == 0) v = 0;  // no "-0.0"
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, v);
  return text;
}

std::string NameOf(const rpt::TComponent* component) {
  if (!component) return "(none)";
  return component->Name().empty() ? "(unnamed)" : component->Name();
}

std::string JoinedLines(const rpt::TStrings& lines) {
  std::string text;
  for (int i = 0; i < lines.Count(); ++i) text += (i ? "\n" : "") + lines.Strings(i);
  return text;
}

template <class E>
std::string EnumText(E value) {
  const std::string name = rpt::TypeInfoOf<E>()->EnumName(static_cast<int32_t>(value));
  return name.empty() ? std::to_string(static_cast<int>(value)) : name;
}

// What a picture element holds: the kind, size and bytes of its picture, or why it has none.
std::string PictureText(const rpt::TQRImage& image) {
  const rpt::TQRPicture& picture = image.Picture();
  if (!image.PictureError().empty()) return "(" + image.PictureError() + ")";
  if (picture.Empty()) return "(no picture)";
  return Format("%s %d x %d px, %d bytes%s", picture.Format(), picture.PixelSize().width(),
                picture.PixelSize().height(), static_cast<int>(picture.Bytes().size()),
                picture.Warning().empty() ? std::string() : " (" + picture.Warning() + ")");
}

class TTreePrinter {
 public:
  explicit TTreePrinter(const rpt::TCustomQuickRep& report) : FReport(report), FStyle(StyleOf(report.Units())) {}

  std::string Run() {
    Line(FReport, 0);
    // The report's bands in print order, then what else sits on it.
    for (rpt::TQRCustomBand* band : FReport.BandList()) Tree(*band, 1);
    for (rpt::TControl* child : FReport.ControlList()) Tree(*child, 1);
    // Components with no place on the report (datasets, or controls without a parent).
    for (rpt::TComponent* owned : FReport.OwnedComponents()) Tree(*owned, 1);
    return std::move(FOut);
  }

 private:
  void Tree(rpt::TComponent& component, int depth) {
    if (!FShown.insert(&component).second) return;
    Line(component, depth);
    if (auto* container = dynamic_cast<rpt::TWinControl*>(&component))
      for (rpt::TControl* child : container->ControlList()) Tree(*child, depth + 1);
  }

  std::string Length(const rpt::TQRUnitBase& size, bool horizontal, rpt::Extended native) const {
    return Number(size.FromNative(FReport.Units(), horizontal, native), FStyle.Decimals);
  }

  void Line(const rpt::TComponent& component, int depth) {
    FShown.insert(&component);
    std::string line(static_cast<size_t>(depth) * 2, ' ');
    line += component.ClassName() + " " + NameOf(&component);
    if (const auto* band = dynamic_cast<const rpt::TQRCustomBand*>(&component))
      line += " " + EnumText(band->BandType());
    if (const auto* control = dynamic_cast<const rpt::TControl*>(&component))
      line += "  parent " + NameOf(control->Parent());
    else
      line += "  parent (none)";

    if (const auto* report = dynamic_cast<const rpt::TCustomQuickRep*>(&component)) {
      const rpt::TQRPage& page = *report->Page();
      line += "  page " + Length(page, true, page.NativeValue(rpt::pvWidth)) + " x " +
              Length(page, false, page.NativeValue(rpt::pvLength)) + " " + FStyle.Name;
    } else if (const auto* band = dynamic_cast<const rpt::TQRCustomBand*>(&component)) {
      const rpt::TQRBandSize& size = *band->Size();
      line += "  height " + Length(size, false, size.NativeHeight()) + ", width " +
              Length(size, true, size.NativeWidth()) + " " + FStyle.Name;
    } else if (const auto* printable = dynamic_cast<const rpt::TQRPrintable*>(&component)) {
      using S = rpt::TQRPrintableSize;
      const S& size = *printable->Size();
      line += "  " + Length(size, true, size.Native(S::szWidth)) + " x " +
              Length(size, false, size.Native(S::szHeight)) + " " + FStyle.Name + " at " +
              Length(size, true, size.Native(S::szLeft)) + ", " + Length(size, false, size.Native(S::szTop));
      if (const auto* shape = dynamic_cast<const rpt::TQRShape*>(printable)) {
        line += "  " + Quoted(EnumText(shape->Shape()));
      } else if (const auto* image = dynamic_cast<const rpt::TQRImage*>(printable)) {
        line += "  " + PictureText(*image);
      } else if (const auto* dbImage = dynamic_cast<const rpt::TQRDBImage*>(printable)) {
        line += "  field " + Quoted(dbImage->DataField());
      } else if (const auto* barcode = dynamic_cast<const rpt::TQRBarcode*>(printable)) {
        line += "  " + rpt::BarcodeTypeName(barcode->BarcodeType()) + " " +
                (barcode->Expression().empty() ? Quoted(barcode->Text()) : "of " + Quoted(barcode->Expression()));
      } else if (const auto* text = dynamic_cast<const rpt::TQRCustomLabel*>(printable)) {
        line += "  " + Quoted(text->UsesCaption() ? text->Caption() : JoinedLines(*text->Lines()));
      }
    }
    FOut += line + "\n";
  }

  const rpt::TCustomQuickRep& FReport;
  TUnitStyle FStyle;
  std::set<const rpt::TComponent*> FShown;
  std::string FOut;
};

}  // namespace

// One line per parameter: the declared ones with their type, default, prompt and
// choices, then the ":NAME"s the SQL uses without declaring them (given as strings).
std::string ParameterLines(const TLoadedReport& loaded) {
  std::string out;
  const rpt::TQRParameters& declared = *loaded.Report->Parameters();
  for (int i = 0; i < declared.Count(); ++i) {
    const rpt::TQRParameter& p = *declared.Parameter(i);
    out += Format("parameter: %s %s", p.Name(), rpt::ParamTypeName(p.DataType()));
    if (!p.Default().empty()) out += "  default " + Quoted(p.Default());
    if (!p.Prompt().empty()) out += "  prompt " + Quoted(p.Prompt());
    if (!p.ChoicesSQL().empty()) out += "  choices " + Quoted(p.ChoicesSQL());
    out += "\n";
  }
  std::vector<std::string> undeclared;
  if (loaded.Header.Kind == rpt::rdkQuery) {
    std::string sql;
    for (const std::string& line : loaded.Header.SqlLines) sql += line + "\n";
    undeclared = rpt::ParseSqlParams(sql);
  }
  for (const std::string& name : loaded.Report->UndeclaredSqlParams()) undeclared.push_back(name);
  std::vector<std::string> shown;
  for (const std::string& name : undeclared) {
    if (declared.Find(name) || loaded.Report->Functions()->FindFunction(rpt::EvUpperCase(name))) continue;
    if (std::any_of(shown.begin(), shown.end(), [&](const std::string& n) { return rpt::SameText(n, name); })) continue;
    shown.push_back(name);
    out += "parameter: " + name + " string  undeclared, used in SQL\n";
  }
  return out;
}

int CheckReport(std::span<const std::string> args) {
  const std::unique_ptr<QGuiApplication> app = GuiApplication();
  const TLoadedReport loaded = LoadReportFile(args[0]);
  Print(DataSetLine(loaded.Header) + "\n" + ParameterLines(loaded) + TTreePrinter(*loaded.Report).Run());
  return 0;
}

int ResaveReport(std::span<const std::string> args) {
  const std::unique_ptr<QGuiApplication> app = GuiApplication();
  const TLoadedReport loaded = LoadReportFile(args[0]);
  // Written beside the target and renamed over it, so a failure leaves no partial file.
  rpt::WriteFileAtomically(args[1], rpt::ReportFileBytes(loaded.Header, loaded.Report.get()));
  return 0;
}

}  // namespace rpttool
