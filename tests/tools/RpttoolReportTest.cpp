// rpttool check and resave on report files the program itself writes: a report holding
// one of every report class, saved through the real classes, is loaded back by the
// tool, shown as a tree, and resaved to the same bytes; damaged copies of it fail with
// status 1, a message that says where, and no output file.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QGuiApplication>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "objects/Filer.h"
#include "objects/ReportFile.h"
#include "report/QRCtrls.h"
#include "report/QuickRpt.h"

namespace rpt {
namespace {

namespace fs = std::filesystem;

struct TRun {
  int Status = -1;
  std::string Out;
  std::string Err;
};

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::vector<std::string> LinesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

template <class T>
T* Add(TCustomQuickRep* report, TWinControl* parent, const std::string& name) {
  T* component = TComponent::Create<T>(report);
  component->SetName(name);
  component->SetParent(parent);
  return component;
}

// Left, top, width and height in millimetres.
template <class T>
T* Place(T* printable, double left, double top, double width, double height) {
  printable->Size()->SetLeft(left);
  printable->Size()->SetTop(top);
  printable->Size()->SetWidth(width);
  printable->Size()->SetHeight(height);
  return printable;
}

class RpttoolReportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterReportClasses();
    SetUseInchDefaults(false);
    FWork = fs::temp_directory_path() /
            ("rpttool_report_" + std::to_string(::getpid()) + "_" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(FWork);
    fs::create_directories(FWork);
  }
  void TearDown() override {
    if (!HasFailure()) fs::remove_all(FWork);
  }

  fs::path Path(const std::string& name) const { return FWork / name; }

  // Runs rpttool with the arguments (already shell-quoted where needed).
  TRun Tool(const std::string& arguments) const {
    const fs::path out = Path("stdout.txt"), err = Path("stderr.txt");
    const std::string command = "cd '" + FWork.string() + "' && '" + RPTTOOL_PATH + "' " + arguments + " >'" +
                                out.string() + "' 2>'" + err.string() + "'";
    const int raw = std::system(command.c_str());
    TRun run;
    run.Status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.Out = ReadFile(out);
    run.Err = ReadFile(err);
    return run;
  }

  // One of every report class: the main bands, an overlay, a child band, a group with
  // its footer, a sub-detail with header and footer, labels, a memo and a shape.
  // Labels size themselves to their text (their width depends on the fonts installed).
  static TOwnedPtr<TNotifyQuickRep> EveryClassReport(TQRUnit units = MM) {
    TOwnedPtr<TNotifyQuickRep> report(TComponent::Create<TNotifyQuickRep>(nullptr));
    report->SetName("Report");
    report->SetReportTitle("Orders by customer");
    for (int index : {1, 2, 3, 4, 6, 7}) report->Bands()->SetHasBand(index, true);
    TQRCustomBand* title = report->FindBand(rbTitle);
    title->Size()->SetHeight(25);
    report->NewBandOfType(rbOverlay);
    TQRCustomBand* detail = report->FindBand(rbDetail);
    detail->SetHasChild(true);

    auto* group = Add<TQRGroup>(report.get(), report.get(), "CustomerGroup");
    group->SetExpression("customer_id");
    group->SetFooterBand(static_cast<TQRBand*>(report->NewBandOfType(rbGroupFooter)));
    auto* lines = Add<TQRSubDetail>(report.get(), report.get(), "OrderLines");
    lines->Bands()->SetHasHeader(true);
    lines->Bands()->SetHasFooter(true);

    Place(Add<TQRLabel>(report.get(), title, "TitleLabel"), 12.5, 3, 60, 5.3)->SetCaption("Orders \"2024\"");
    auto* memo = Place(Add<TQRMemo>(report.get(), detail, "AddressMemo"), 2, 1, 50, 10);
    memo->Lines()->Add("12 Quay Street");
    memo->Lines()->Add("Tab\there");
    Place(Add<TQRShape>(report.get(), group, "GroupRule"), 0, 1, 180, 2)->SetShape(qrsHorLine);
    Place(Add<TQRLabel>(report.get(), group->FooterBand(), "GroupTotal"), 100, 1.5, 40, 5)->SetCaption("Total:");
    report->SetUnits(units);
    return report;
  }

  static std::string FileBytes(TCustomQuickRep* report, const TReportFileHeader& header) {
    std::string bytes;
    WriteReportFileHeader(bytes, header);
    TMemoryStream stream;
    SaveComponent(stream, report);
    return bytes + stream.Data();
  }

  static TReportFileHeader TableHeader() {
    TReportFileHeader header;
    header.Kind = rdkTable;
    header.DatabaseName = "Sample";
    header.TableName = "orders";
    return header;
  }

  // A label's width as check shows it: millimetres, rounded to one decimal.
  static std::string WidthMM(const TComponent* label) {
    const auto native = static_cast<const TQRLabel*>(label)->Size()->Native(TQRPrintableSize::szWidth);
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", std::round(static_cast<double>(native)) / 10);
    return text;
  }

  fs::path FWork;
};

TEST_F(RpttoolReportTest, CheckShowsEveryComponentWithBandTypeBoundsAndText) {
  const auto report = EveryClassReport();
  WriteFile(Path("every.rpt"), FileBytes(report.get(), TableHeader()));
  const TRun run = Tool("check every.rpt");
  ASSERT_EQ(run.Status, 0) << run.Err;
  // Bands in print order, each with what sits on it; the group's footer after the
  // sub-detail and its footer, the page footer and the overlay last.
  const std::vector<std::string> expected = {
      "dataset: table \"orders\" of database \"Sample\"",
      "TNotifyQuickRep Report  parent (none)  page 210.0 x 297.0 mm",
      "  TQRBand PageHeaderBand1 rbPageHeader  parent Report  height 10.6, width 190.0 mm",
      "  TQRBand TitleBand1 rbTitle  parent Report  height 25.0, width 190.0 mm",
      "    TQRLabel TitleLabel  parent TitleBand1  " + WidthMM(report->FindComponent("TitleLabel")) +
          " x 5.3 mm at 12.5, 3.0  \"Orders \\\"2024\\\"\"",
      "  TQRBand ColumnHeaderBand1 rbColumnHeader  parent Report  height 10.6, width 190.0 mm",
      "  TQRGroup CustomerGroup rbGroupHeader  parent Report  height 10.6, width 190.0 mm",
      "    TQRShape GroupRule  parent CustomerGroup  180.0 x 2.0 mm at 0.0, 1.0  \"qrsHorLine\"",
      "  TQRBand DetailBand1 rbDetail  parent Report  height 10.6, width 190.0 mm",
      "    TQRMemo AddressMemo  parent DetailBand1  50.0 x 10.0 mm at 2.0, 1.0  \"12 Quay Street\\nTab\\there\"",
      "  TQRChildBand ChildBand1 rbChild  parent Report  height 10.6, width 190.0 mm",
      "  TQRBand GroupHeaderBand1 rbGroupHeader  parent Report  height 10.6, width 190.0 mm",
      "  TQRSubDetail OrderLines rbSubDetail  parent Report  height 10.6, width 190.0 mm",
      "  TQRBand GroupFooterBand2 rbGroupFooter  parent Report  height 10.6, width 190.0 mm",
      "  TQRBand GroupFooterBand1 rbGroupFooter  parent Report  height 10.6, width 190.0 mm",
      "    TQRLabel GroupTotal  parent GroupFooterBand1  " + WidthMM(report->FindComponent("GroupTotal")) +
          " x 5.0 mm at 100.0, 1.5  \"Total:\"",
      "  TQRBand SummaryBand1 rbSummary  parent Report  height 10.6, width 190.0 mm",
      "  TQRBand PageFooterBand1 rbPageFooter  parent Report  height 10.6, width 190.0 mm",
      "  TQRBand OverlayBand1 rbOverlay  parent Report  height 10.6, width 190.0 mm",
  };
  EXPECT_EQ(LinesOf(run.Out), expected) << run.Out;
}

TEST_F(RpttoolReportTest, CheckShowsSizesInTheReportsUnit) {
  const auto report = EveryClassReport(Inches);
  WriteFile(Path("inches.rpt"), FileBytes(report.get(), {}));
  const TRun run = Tool("check inches.rpt");
  ASSERT_EQ(run.Status, 0) << run.Err;
  const std::vector<std::string> lines = LinesOf(run.Out);
  ASSERT_GE(lines.size(), 8u) << run.Out;
  EXPECT_EQ(lines[0], "dataset: none");
  EXPECT_EQ(lines[1], "TNotifyQuickRep Report  parent (none)  page 8.268 x 11.693 in");
  EXPECT_EQ(lines[3], "  TQRBand TitleBand1 rbTitle  parent Report  height 0.984, width 7.479 in");
  EXPECT_EQ(lines[7], "    TQRShape GroupRule  parent CustomerGroup  7.087 x 0.079 in at 0.000, 0.039  \"qrsHorLine\"");
}

TEST_F(RpttoolReportTest, CheckShowsTheQueryOfTheHeaderWithoutOpeningIt) {
  const auto report = EveryClassReport();
  TReportFileHeader header;
  header.Kind = rdkQuery;
  header.DatabaseName = "NoSuchAlias";
  header.SqlLines = {"select *", "from \"orders\""};
  WriteFile(Path("query.rpt"), FileBytes(report.get(), header));
  const TRun run = Tool("check query.rpt");
  ASSERT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(LinesOf(run.Out).at(0),
            "dataset: query of database \"NoSuchAlias\", 2 SQL lines \"select *\\nfrom \\\"orders\\\"\"");
}

// Whatever the header holds, a file the program wrote comes back byte for byte, and
// saving the result again changes nothing either.
TEST_F(RpttoolReportTest, ResaveReproducesEveryFileTheProgramWrites) {
  TReportFileHeader query;
  query.Kind = rdkQuery;
  query.DatabaseName = "Sales";
  query.SqlLines = {"select *", "", "from orders  "};
  TReportFileHeader unknownKind;
  unknownKind.Kind = 9;
  const std::vector<std::pair<TQRUnit, TReportFileHeader>> cases = {
      {MM, TableHeader()}, {Inches, query}, {Pixels, {}}, {Characters, unknownKind}, {Native, TableHeader()}};
  for (const auto& [units, header] : cases) {
    SCOPED_TRACE(::testing::Message() << "units " << static_cast<int>(units) << ", kind " << int(header.Kind));
    const auto report = EveryClassReport(units);
    const std::string bytes = FileBytes(report.get(), header);
    WriteFile(Path("in.rpt"), bytes);
    const TRun run = Tool("resave in.rpt out.rpt");
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_TRUE(ReadFile(Path("out.rpt")) == bytes) << "resave changed the file";
    ASSERT_EQ(Tool("resave out.rpt out.rpt").Status, 0);
    EXPECT_TRUE(ReadFile(Path("out.rpt")) == bytes) << "resaving in place changed the file";
  }
}

// Cut anywhere, the file is refused with status 1 and a message naming the offset, and
// the output is neither written nor replaced.
TEST_F(RpttoolReportTest, TruncatedFilesAreRefusedWithTheirOffset) {
  const auto report = EveryClassReport();
  const std::string bytes = FileBytes(report.get(), TableHeader());
  WriteFile(Path("kept.rpt"), "previous contents");
  size_t tried = 0;
  for (size_t length = 0; length < bytes.size(); length += length < 64 ? 3 : 293, ++tried) {
    SCOPED_TRACE(::testing::Message() << "cut after " << length << " of " << bytes.size() << " bytes");
    WriteFile(Path("cut.rpt"), bytes.substr(0, length));
    const TRun check = Tool("check cut.rpt");
    EXPECT_EQ(check.Status, 1) << check.Err;
    EXPECT_EQ(check.Out, "");
    if (length < 4) {
      EXPECT_NE(check.Err.find("rpttool: cut.rpt: File \"cut.rpt\" is not a report file"), std::string::npos)
          << check.Err;
    } else {
      // The offset named lies within what is left of the file.
      const std::string prefix = "rpttool: cut.rpt: offset ";
      const size_t at = check.Err.find(prefix);
      ASSERT_NE(at, std::string::npos) << check.Err;
      EXPECT_LE(std::stoul(check.Err.substr(at + prefix.size())), length) << check.Err;
    }
    // Every other cut is written to a new name, the others over an existing file.
    const std::string target = tried % 2 ? "new.rpt" : "kept.rpt";
    EXPECT_EQ(Tool("resave cut.rpt " + target).Status, 1);
    EXPECT_EQ(ReadFile(Path("kept.rpt")), "previous contents");
    EXPECT_FALSE(fs::exists(Path("new.rpt")));
  }
  EXPECT_GT(tried, 40u);
  // No temporary file is left beside the outputs.
  for (const auto& entry : fs::directory_iterator(FWork))
    EXPECT_NE(entry.path().filename().string().front(), '.') << entry.path();
}

TEST_F(RpttoolReportTest, BytesAfterTheReportAreRefused) {
  const auto report = EveryClassReport();
  const std::string bytes = FileBytes(report.get(), TableHeader());
  WriteFile(Path("long.rpt"), bytes + "xyz");
  const TRun run = Tool("check long.rpt");
  EXPECT_EQ(run.Status, 1);
  EXPECT_NE(run.Err.find("rpttool: long.rpt: offset " + std::to_string(bytes.size()) +
                         ": expected the end of the data after the report, found 3 more bytes"),
            std::string::npos)
      << run.Err;
}

// A label that does not size itself, at the top of its band, keeps its bounds through
// a load: its layout must not run before AutoSize is read, nor interim bounds be taken
// for stored ones.
TEST_F(RpttoolReportTest, FixedWidthLabelAtTheTopKeepsItsBounds) {
  const auto report = EveryClassReport();
  auto* label = static_cast<TQRLabel*>(report->FindComponent("GroupTotal"));
  label->SetAutoSize(false);
  Place(label, 100, 0, 40, 5);
  const std::string bytes = FileBytes(report.get(), TableHeader());
  WriteFile(Path("fixed.rpt"), bytes);
  const TRun run = Tool("check fixed.rpt");
  ASSERT_EQ(run.Status, 0) << run.Err;
  EXPECT_NE(run.Out.find("    TQRLabel GroupTotal  parent GroupFooterBand1  40.0 x 5.0 mm at 100.0, 0.0  \"Total:\"\n"),
            std::string::npos)
      << run.Out;
  ASSERT_EQ(Tool("resave fixed.rpt out.rpt").Status, 0);
  EXPECT_TRUE(ReadFile(Path("out.rpt")) == bytes);
}

}  // namespace
}  // namespace rpt

// Reports measure their labels' text while they are built: one GUI application object.
int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QGuiApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
