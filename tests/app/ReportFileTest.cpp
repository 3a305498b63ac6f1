// Report files in document windows: the header bytes, saving and reopening with every
// element class bound to a table or a query, the dataset bound before the report is
// read, saves that fail at any step leaving the old file whole, damaged files refused
// with no window, a database out of reach, and files named on the command line.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QTemporaryDir>
#include <cerrno>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>

#include "app/RecordedReport.h"
#include "app/Startup.h"
#include "app/frmDocUnit.h"
#include "app/frmMainUnit.h"
#include "data/DBTables.h"
#include "framework/Application.h"
#include "objects/Filer.h"
#include "objects/StreamText.h"
#include "output/QRPrev.h"
#include "report/QRDataCtrls.h"
#include "tests/support/SqliteExec.h"

namespace rpt {
namespace {

namespace fs = std::filesystem;

std::string Bytes(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void Write(const std::string& file, const std::string& bytes) {
  std::ofstream(file, std::ios::binary) << bytes;
}

std::string Hex(const std::string& bytes) {
  std::string out;
  char b[4];
  for (unsigned char c : bytes) {
    std::snprintf(b, sizeof b, "%02X ", c);
    out += b;
  }
  if (!out.empty()) out.pop_back();
  return out;
}

struct ReportFile : ::testing::Test {
  QTemporaryDir dir;
  std::deque<int> answers;
  std::vector<std::string> prompts;
  std::vector<std::string> errors;

  void SetUp() override {
    RegisterReportClasses();
    fs::create_directories(Path("data"));
    ::setenv("RPT_DATA_DIR", Path("data").c_str(), 1);
    test::RunSqlite(Path("data/shop.db"),
              "CREATE TABLE items(id INTEGER PRIMARY KEY, name VARCHAR(40), price MONEY, kind INTEGER);"
              "INSERT INTO items VALUES(1, 'Bolt', 0.25, 1), (2, 'Nut', 0.1, 2), (3, 'Gear', 12.5, 1);");
    SetMessageBoxHook([this](const std::string& text, TMsgDlgType, TMsgDlgButtons) {
      prompts.push_back(text);
      if (answers.empty()) ADD_FAILURE() << "unexpected message box: " << text;
      const int a = answers.empty() ? mrCancel : answers.front();
      if (!answers.empty()) answers.pop_front();
      return a;
    });
    TApplication::Instance()->SetErrorHook([this](const std::string& m) { errors.push_back(m); });
  }
  void TearDown() override {
    for (TfrmDoc* d : Docs) d->Free();
    SetWriteFailureHook(nullptr);
    SetMessageBoxHook(nullptr);
    TApplication::Instance()->SetErrorHook(nullptr);
  }
  std::string Path(const std::string& name) const { return dir.filePath(QString::fromStdString(name)).toStdString(); }

  TfrmDoc* NewDoc() {
    TfrmDoc* doc = TfrmDoc::CreateNew(nullptr);
    Docs.push_back(doc);
    return doc;
  }
  TfrmDoc* Open(const std::string& file) {
    TfrmDoc* doc = TfrmDoc::CreateFromFile(nullptr, file);
    Docs.push_back(doc);
    return doc;
  }
  TTable* ItemsTable(TComponent* owner) {
    auto* table = TComponent::Create<TTable>(owner);
    table->SetDatabaseName("shop");
    table->SetTableName("items");
    return table;
  }
  TQuery* KindQuery(TComponent* owner) {
    auto* query = TComponent::Create<TQuery>(owner);
    query->SetDatabaseName("shop");
    TStringList sql;
    sql.Add("select * from items");
    sql.Add("where kind = :kind  ");  // trailing spaces stay
    query->SetSQL(&sql);
    return query;
  }
  // One element of every class on the default bands.
  void FillReport(TfrmDoc* doc) {
    TQuickRep* r = doc->Report;
    TQRCustomBand* title = r->FindBand(rbTitle);
    TQRCustomBand* detail = r->FindBand(rbDetail);
    TQRCustomBand* footer = r->FindBand(rbPageFooter);
    auto add = [r](auto* control, const char* name, TQRCustomBand* band) {
      control->SetName(name);
      control->SetParent(band);
      return control;
    };
    add(TComponent::Create<TQRLabel>(r), "Heading", title)->SetCaption("Items");
    add(TComponent::Create<TQRDBText>(r), "Name", detail)->SetDataField("name");
    auto* price = add(TComponent::Create<TQRDBText>(r), "Price", detail);
    price->SetDataField("price");
    price->SetMask("#,##0.00");
    add(TComponent::Create<TQRExpr>(r), "Total", footer)->SetExpression("SUM(items.price)");
    add(TComponent::Create<TQRSysData>(r), "PageNo", footer)->SetData(qrsPageNumber);
    add(TComponent::Create<TQRMemo>(r), "Notes", detail)->Lines()->Add("per piece");
    add(TComponent::Create<TQRExprMemo>(r), "Line", detail)->Lines()->Add("{items.name} costs {items.price}");
    add(TComponent::Create<TQRShape>(r), "Rule", title)->SetShape(qrsHorLine);
    auto* group = add(TComponent::Create<TQRGroup>(r), "ByKind", nullptr);
    group->SetParent(r);
    group->SetExpression("items.kind");
    detail->SetHasChild(true);
  }
  void ExpectDataFieldsRead(TfrmDoc* doc) {
    for (TComponent* c : doc->Report->OwnedComponents()) {
      if (auto* field = dynamic_cast<TQRDBText*>(c)) {
        EXPECT_EQ(field->DataSet(), doc->DataSet) << field->Name();
      }
    }
  }

  std::vector<TfrmDoc*> Docs;
};

TEST_F(ReportFile, HeaderBytesNameTheTableOrTheQueryLineByLine) {
  TfrmDoc* doc = NewDoc();
  auto* table = TComponent::Create<TTable>(doc);
  table->SetDatabaseName("Sales");
  table->SetTableName("orders.db");
  doc->AssignDataSet(table);
  doc->SaveToFile(Path("table.rpt"));
  const std::string tableBytes = Bytes(Path("table.rpt"));
  EXPECT_EQ(Hex(tableBytes.substr(0, 31)),
            "51 58 52 50 02 05 00 00 00 53 61 6C 65 73 09 00 00 00 6F 72 64 65 72 73 2E 64 62 54 50 46 30");

  auto* query = TComponent::Create<TQuery>(doc);
  query->SetDatabaseName("Sales");
  TStringList sql;
  sql.Add("select *");
  sql.Add("from orders");
  query->SetSQL(&sql);
  doc->AssignDataSet(query);
  doc->SaveToFile(Path("query.rpt"));
  const std::string queryBytes = Bytes(Path("query.rpt"));
  EXPECT_EQ(Hex(queryBytes.substr(0, 14)), "51 58 52 50 01 05 00 00 00 53 61 6C 65 73");
  EXPECT_EQ(Hex(queryBytes.substr(14, 35)),
            "1F 00 00 00 02 00 00 00 08 00 00 00 73 65 6C 65 63 74 20 2A 0B 00 00 00 66 72 6F 6D 20 6F 72 64 65 "
            "72 73");
  EXPECT_EQ(queryBytes.substr(49, 4), "TPF0");

  // No dataset: kind 0 and the stream right after it.
  doc->AssignDataSet(nullptr);
  doc->SaveToFile(Path("none.rpt"));
  EXPECT_EQ(Bytes(Path("none.rpt")).substr(0, 9), std::string("QXRP\0TPF0", 9));
}

TEST_F(ReportFile, SavedReportsReopenBoundAndResaveIdentically) {
  for (bool useQuery : {false, true}) {
    SCOPED_TRACE(useQuery ? "query" : "table");
    TfrmDoc* doc = NewDoc();
    FillReport(doc);
    TDataSet* dataSet = useQuery ? static_cast<TDataSet*>(KindQuery(doc)) : ItemsTable(doc);
    dataSet->Open();
    doc->AssignDataSet(dataSet);
    const std::string file = Path(useQuery ? "query.rpt" : "table.rpt");
    doc->SaveToFile(file);

    TfrmDoc* opened = Open(file);
    ASSERT_NE(opened->DataSet, nullptr);
    EXPECT_TRUE(opened->DataSet->Active());
    EXPECT_EQ(opened->Report->DataSet(), opened->DataSet);
    ExpectDataFieldsRead(opened);
    if (useQuery) {
      auto* query = dynamic_cast<TQuery*>(opened->DataSet);
      ASSERT_NE(query, nullptr);
      EXPECT_EQ(query->SQL()->Lines(), (std::vector<std::string>{"select * from items", "where kind = :kind  "}));
      EXPECT_NE(query->ParamByName("kind"), nullptr);
    } else {
      EXPECT_EQ(dynamic_cast<TTable*>(opened->DataSet)->TableName(), "items");
    }
    opened->SaveToFile(Path("again.rpt"));
    EXPECT_TRUE(Bytes(Path("again.rpt")) == Bytes(file));
    EXPECT_EQ(DumpStream(Bytes(Path("again.rpt"))), DumpStream(Bytes(file)));
  }
}

TEST_F(ReportFile, AnEmptyQueryAndAStoredPositionLoadAsTheFileSays) {
  TfrmDoc* doc = NewDoc();
  auto* query = TComponent::Create<TQuery>(doc);
  query->SetDatabaseName("shop");
  doc->AssignDataSet(query);
  doc->Report->SetBounds(40, 10, doc->Report->Width(), doc->Report->Height());
  doc->SaveToFile(Path("empty.rpt"));
  const std::string bytes = Bytes(Path("empty.rpt"));
  // Database name, then an SQL block holding a line count of 0.
  EXPECT_EQ(Hex(bytes.substr(4, 18)), "01 04 00 00 00 73 68 6F 70 04 00 00 00 00 00 00 00 54");
  // An empty statement does not open: the report opens without its data on request.
  answers = {mrYes};
  TfrmDoc* opened = Open(Path("empty.rpt"));
  ASSERT_EQ(prompts.size(), 1u);
  EXPECT_NE(prompts[0].find("The data of this report cannot be opened"), std::string::npos) << prompts[0];
  auto* loaded = dynamic_cast<TQuery*>(opened->DataSet);
  ASSERT_NE(loaded, nullptr);
  EXPECT_FALSE(loaded->Active());
  EXPECT_EQ(loaded->SQL()->Count(), 0);
  EXPECT_EQ(opened->Report->Left(), 0);
  EXPECT_EQ(opened->Report->Top(), 0);
  // Saved again, the binding is kept.
  opened->SaveToFile(Path("kept.rpt"));
  EXPECT_EQ(Bytes(Path("kept.rpt")).substr(0, 17), bytes.substr(0, 17));
}

TEST_F(ReportFile, ADatabaseOutOfReachOpensWithoutDataOnlyWhenTheUserSaysSo) {
  TfrmDoc* doc = NewDoc();
  FillReport(doc);
  auto* table = ItemsTable(doc);
  table->SetTableName("no_such_table");
  doc->AssignDataSet(table);
  doc->SaveToFile(Path("gone.rpt"));
  const int counter = TfrmDoc::Counter();
  answers = {mrNo};
  EXPECT_THROW(Open(Path("gone.rpt")), Exception);
  EXPECT_EQ(prompts.size(), 1u);
  EXPECT_EQ(TfrmDoc::Counter(), counter + 1);  // a failed open keeps its number
  answers = {mrYes};
  TfrmDoc* opened = Open(Path("gone.rpt"));
  EXPECT_FALSE(opened->DataSet->Active());
  ExpectDataFieldsRead(opened);
  EXPECT_NE(opened->Report->FindComponent("Price"), nullptr);
}

TEST_F(ReportFile, AFailedSaveLeavesTheOldFileWholeAndTheDocumentModified) {
  TfrmDoc* doc = NewDoc();
  FillReport(doc);
  doc->SaveToFile(Path("report.rpt"));
  const std::string before = Bytes(Path("report.rpt"));
  doc->Report->FindBand(rbDetail)->Size()->SetHeight(30);
  doc->Modified = true;
  CreateSingleInstanceWindows();
  doc->FileName = Path("report.rpt");
  for (const char* step : {"create", "write", "sync", "close", "rename"}) {
    SCOPED_TRACE(step);
    SetWriteFailureHook([step](std::string_view at) { return at == step ? ENOSPC : 0; });
    std::string message;
    try {
      frmMain->SaveDocument(doc);
    } catch (const Exception& e) {
      message = e.what();
    }
    EXPECT_NE(message.find("No space left on device"), std::string::npos) << message;
    EXPECT_NE(message.find("report.rpt"), std::string::npos) << message;
    EXPECT_TRUE(doc->Modified);
    EXPECT_TRUE(Bytes(Path("report.rpt")) == before);
    // Nothing half-written is left beside it.
    for (const auto& entry : fs::directory_iterator(dir.path().toStdString()))
      EXPECT_NE(entry.path().filename().string().front(), '.') << entry.path();
  }
  SetWriteFailureHook(nullptr);
  DestroySingleInstanceWindows();
  // A folder that cannot be written to (as root every folder can: the refusal is made).
  fs::create_directories(Path("locked"));
  Write(Path("locked/report.rpt"), before);
  fs::permissions(Path("locked"), fs::perms::owner_read | fs::perms::owner_exec);
  if (::geteuid() == 0) SetWriteFailureHook([](std::string_view at) { return at == "create" ? EACCES : 0; });
  try {
    doc->SaveToFile(Path("locked/report.rpt"));
    ADD_FAILURE() << "saved into a folder without write permission";
  } catch (const Exception& e) {
    EXPECT_NE(std::string(e.what()).find("Permission denied"), std::string::npos) << e.what();
  }
  SetWriteFailureHook(nullptr);
  fs::permissions(Path("locked"), fs::perms::owner_all);
  EXPECT_TRUE(Bytes(Path("locked/report.rpt")) == before);
}

TEST_F(ReportFile, DamagedHeadersAreRefusedWithNoWindow) {
  TfrmDoc* doc = NewDoc();
  doc->AssignDataSet(ItemsTable(doc));
  doc->SaveToFile(Path("good.rpt"));
  const std::string good = Bytes(Path("good.rpt"));
  const size_t headerEnd = good.find("TPF0");
  ASSERT_NE(headerEnd, std::string::npos);
  auto refused = [this](const std::string& bytes) -> std::string {
    Write(Path("bad.rpt"), bytes);
    const size_t windows = Docs.size();
    try {
      Open(Path("bad.rpt"));
    } catch (const Exception& e) {
      EXPECT_EQ(Docs.size(), windows);
      return e.what();
    }
    return "opened";
  };
  for (size_t cut = 0; cut <= headerEnd + 4; ++cut) {
    SCOPED_TRACE(cut);
    const std::string message = refused(good.substr(0, cut));
    if (cut < 4)
      EXPECT_EQ(message, "File \"bad.rpt\" is not a report file");
    else
      EXPECT_EQ(message.rfind("offset ", 0), 0u) << message;
  }
  // A length larger than what remains names its offset.
  std::string huge = good;
  huge[5] = '\x7F';
  huge[8] = '\x7F';
  EXPECT_EQ(refused(huge).rfind("offset 5:", 0), 0u) << refused(huge);
  // A kind this program does not know carries nothing: the dataset block is then read as
  // the report and refused.
  std::string unknownKind = good;
  unknownKind[4] = '\x09';
  EXPECT_NE(refused(unknownKind), "opened");
  // A bare component stream is no report file.
  EXPECT_EQ(refused(good.substr(headerEnd)), "File \"bad.rpt\" is not a report file");
  EXPECT_TRUE(prompts.empty());
}

TEST_F(ReportFile, AFileMadeFromTheByteRulesOpens) {
  // A header written by hand and a stream built from its text form.
  TfrmDoc* doc = NewDoc();
  const std::string text = DumpStream(Bytes([&] {
    doc->SaveToFile(Path("plain.rpt"));
    return Path("plain.rpt");
  }()));
  std::string header("QXRP\x02", 5);
  auto string = [](const std::string& s) {
    const uint32_t n = static_cast<uint32_t>(s.size());
    return std::string(reinterpret_cast<const char*>(&n), 4) + s;
  };
  header += string("shop") + string("items");
  const std::string streamText = text.substr(text.find("object "));
  Write(Path("made.rpt"), header + BuildStream(streamText));
  TfrmDoc* opened = Open(Path("made.rpt"));
  EXPECT_TRUE(opened->DataSet && opened->DataSet->Active());
  EXPECT_EQ(opened->Report->BandList().size(), 4u);
  EXPECT_EQ(opened->Caption(), "made.rpt");
}

TEST_F(ReportFile, FilesNamedOnTheCommandLineOpenAndOneThatFailsIsReported) {
  TfrmDoc* doc = NewDoc();
  doc->SaveToFile(Path("first.rpt"));
  Write(Path("broken.rpt"), "QXRP");
  CreateSingleInstanceWindows();
  OpenFiles({Path("first.rpt"), Path("broken.rpt"), Path("missing.rpt")});
  std::vector<std::string> captions;
  for (TfrmDoc* d : frmMain->Documents()) captions.push_back(d->Caption());
  EXPECT_EQ(captions, (std::vector<std::string>{"first.rpt"}));
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_EQ(errors[0].rfind("offset 4:", 0), 0u) << errors[0];
  EXPECT_NE(errors[1].find("missing.rpt"), std::string::npos) << errors[1];
  for (TfrmDoc* d : frmMain->Documents()) d->Modified = false;
  frmMain->CloseAllDocuments();
  QCoreApplication::processEvents();
  DestroySingleInstanceWindows();
}

// A recording of pages pages, each with its number on it.
void RecordPages(const std::string& file, int pages) {
  TQRPrinter printer({TPrinter::PdfPrinter()});
  printer.OpenDocument();
  for (int i = 1; i <= pages; ++i) {
    printer.NewPage();
    printer.PageCanvas()->TextOut(printer.XToDevice(200), printer.YToDevice(200), "Page " + std::to_string(i));
  }
  printer.CloseDocument();
  printer.SaveRecording(file);
}

std::vector<TQRStandardPreview*> OpenPreviews() {
  std::vector<TQRStandardPreview*> result;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* preview = dynamic_cast<TQRStandardPreview*>(w); preview && preview->isVisible()) result.push_back(preview);
  return result;
}

TEST_F(ReportFile, RecordedReportsOpenInAPreviewByTheirFirstBytes) {
  RecordPages(Path("pages.qrp"), 3);
  fs::copy_file(Path("pages.qrp"), Path("pages-renamed"));
  TfrmDoc* doc = NewDoc();
  doc->SaveToFile(Path("report.rpt"));
  const std::string damaged = ReadWholeFile(Path("pages.qrp")).substr(0, 200);
  Write(Path("damaged.qrp"), damaged + std::string(64, '\xFF'));
  EXPECT_TRUE(IsRecordedReportFile(Path("pages-renamed")));
  EXPECT_FALSE(IsRecordedReportFile(Path("report.rpt")));
  EXPECT_FALSE(IsRecordedReportFile(Path("nothing-here.qrp")));

  CreateSingleInstanceWindows();
  OpenFiles({Path("pages.qrp"), Path("pages-renamed"), Path("damaged.qrp"), Path("report.rpt")});
  std::vector<TQRStandardPreview*> previews = OpenPreviews();
  ASSERT_EQ(previews.size(), 2u);
  for (TQRStandardPreview* preview : previews) {
    ASSERT_NE(preview->Printer(), nullptr);
    EXPECT_EQ(preview->Printer()->TotalPages(), 3);
    EXPECT_TRUE(preview->Printer()->LoadedFromFile());
  }
  // Only the report made a document window; the damaged recording is reported, not shown.
  EXPECT_EQ(frmMain->Documents().size(), 1u);
  EXPECT_EQ(errors.size(), 1u);
  for (TQRStandardPreview* preview : previews) preview->close();
  QCoreApplication::processEvents();
  EXPECT_TRUE(OpenPreviews().empty());
  for (TfrmDoc* d : frmMain->Documents()) d->Modified = false;
  frmMain->CloseAllDocuments();
  QCoreApplication::processEvents();
  DestroySingleInstanceWindows();
}

}  // namespace
}  // namespace rpt
