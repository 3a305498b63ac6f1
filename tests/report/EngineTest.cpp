// Generation: what prints, in which order, on which page and column. Empty data, groups
// and their footers, sub-details fed by the report's functions, forced breaks, columns,
// stretching bands, the page and column numbers, and passes that end however the
// layout is made.
#include <algorithm>
#include <fstream>
#include <numeric>

#include "objects/Format.h"
#include "tests/report/EngineFixture.h"

namespace rpt::test {
namespace {

using Texts = std::vector<std::string>;

// The texts of a list that are one of the given ones, in order.
Texts Only(const Texts& all, std::initializer_list<const char*> wanted) {
  Texts out;
  for (const std::string& t : all)
    for (const char* w : wanted)
      if (t == w || t.rfind(std::string(w) + " ", 0) == 0) {
        out.push_back(t);
        break;
      }
  return out;
}

class EmptyData : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    MakeDatabase("CREATE TABLE items(id INTEGER PRIMARY KEY, name TEXT);");
    Label(Band(rbPageHeader, "PageHeader", 10), "PH", "page header");
    Label(Band(rbTitle, "Title", 10), "T", "title");
    TQRBand* detail = Band(rbDetail, "Detail", 8);
    Label(detail, "D", "detail");
    Field(detail, "Name", Table("items"), "name");
    Label(Band(rbSummary, "Summary", 10), "S", "summary");
    Label(Band(rbPageFooter, "PageFooter", 10), "PF", "page footer");
    Report->SetDataSet(DataSets[0]);
  }
};

TEST_F(EmptyData, PrintsTheStructureOnceOrNothing) {
  EXPECT_EQ(Run(), (std::vector<Texts>{{"page header", "title", "detail", "summary", "page footer"}}));
  Report->SetPrintIfEmpty(false);
  EXPECT_TRUE(Run().empty());
  // Without a dataset (and without a handler that supplies data) it is as empty.
  Report->SetPrintIfEmpty(true);
  Report->SetDataSet(nullptr);
  EXPECT_EQ(Run().size(), 1u);
  // The options leave out the first page header and the last page footer.
  Report->SetOptions({});
  EXPECT_EQ(Run(), (std::vector<Texts>{{"title", "detail", "summary"}}));
}

TEST_F(EmptyData, AVetoFromBeforePrintMakesNoDocument) {
  Report->BeforePrint = [](TCustomQuickRep*, bool& print) { print = false; };
  EXPECT_TRUE(Run().empty());
}

class Groups : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    MakeDatabase(
        "CREATE TABLE lines(id INTEGER PRIMARY KEY, customer TEXT, region TEXT, amount INTEGER);"
        "INSERT INTO lines VALUES (1,'A','north',10),(2,'A','north',20),(3,'B','north',5),"
        "(4,'b','south',7),(5,'b','south',1);");
    Lines = Table("lines");
    Report->SetDataSet(Lines);
    Detail = Band(rbDetail, "Detail", 6);
    Field(Detail, "Id", Lines, "id", 0);
    ByCustomer = Add<TQRGroup>("ByCustomer");
    ByCustomer->SetExpression("lines.customer");
    ByCustomer->Size()->SetHeight(6);
    Field(ByCustomer, "Header", Lines, "customer", 0);
    TQRBand* footer = Band(rbDetail, "CustomerFooter", 6);
    ByCustomer->SetFooterBand(footer);
    // The footer sees the last record of its group.
    Field(footer, "LastOfGroup", Lines, "customer", 0)->SetMask("");
    auto* subtotal = Expr(footer, "Subtotal", "SUM(lines.amount)", 40);
    subtotal->SetMask("'total '0");
    subtotal->SetMaster(Report);
    subtotal->SetResetAfterPrint(true);
  }
  TTable* Lines = nullptr;
  TQRBand* Detail = nullptr;
  TQRGroup* ByCustomer = nullptr;
};

TEST_F(Groups, HeadersAndFootersFrameEachGroupAndFootersSeeItsLastRecord) {
  // Letter case counts: "B" and "b" are two groups.
  EXPECT_EQ(Flat(Run()),
            (Texts{"A", "1", "2", "A", "total 30", "B", "3", "B", "total 5", "b", "4", "5", "b", "total 8"}));
  EXPECT_TRUE(Report->GenerationMessages().empty());
  // A group footer that no group names does not print, and the pass says so.
  TQRBand* stray = Band(rbGroupFooter, "StrayFooter", 6);
  Field(stray, "Never", Lines, "customer", 0);
  Run();
  EXPECT_EQ(Report->GenerationMessages(),
            std::vector<std::string>{"StrayFooter: a group footer that no group names as its FooterBand is not printed"});
}

TEST_F(Groups, AnOuterGroupBreakBreaksTheInnerOne) {
  auto* byRegion = Add<TQRGroup>("ByRegion");
  byRegion->SetExpression("lines.region");
  byRegion->Size()->SetHeight(6);
  Field(byRegion, "Region", Lines, "region", 0);
  // The group made first is the outer one: the region group is made after, so make
  // the customer group follow it by order of creation.
  ByCustomer->Free();
  auto* inner = Add<TQRGroup>("Inner");
  inner->SetExpression("lines.customer");
  inner->Size()->SetHeight(6);
  Field(inner, "Customer", Lines, "customer", 0);
  const Texts all = Flat(Run());
  EXPECT_EQ(all, (Texts{"north", "A", "1", "2", "B", "3", "south", "b", "4", "5"}));
  // A page that begins with the inner group's break repeats the outer header asked for.
  byRegion->SetReprintOnNewPage(true);
  Label(Band(rbTitle, "Title", 244), "T", "title");  // leaves 9 mm after group A
  const std::vector<Texts> pages = Run();
  ASSERT_EQ(pages.size(), 2u);
  EXPECT_EQ(pages[0].back(), "2");
  EXPECT_EQ(pages[1], (Texts{"north", "B", "3", "south", "b", "4", "5"}));
}

TEST_F(Groups, AGroupRunningOverAPageBreakRepeatsItsHeaderOnlyWhenAsked) {
  Label(Band(rbPageHeader, "PageHeader", 8), "PH", "header");
  Detail->Size()->SetHeight(140);  // one record a page: page 2 starts inside group A
  std::vector<Texts> pages = Run();
  ASSERT_GE(pages.size(), 2u);
  EXPECT_EQ(pages[1][0], "header");
  EXPECT_EQ(pages[1][1], "2");
  ByCustomer->SetReprintOnNewPage(true);
  ByCustomer->SetContinuedText("(continued)");
  Expr(ByCustomer, "More", "CONTINUED", 100);
  pages = Run();
  ASSERT_GE(pages.size(), 2u);
  // The group's header comes again right after the page header, saying so.
  EXPECT_EQ((Texts{pages[1][0], pages[1][1], pages[1][2], pages[1][3]}), (Texts{"header", "A", "(continued)", "2"}));
  EXPECT_EQ(Only(pages[0], {"(continued)"}).size(), 0u);
  // A group that has ended is not repeated: page 3 starts with group B's own header.
  ASSERT_GE(pages.size(), 3u);
  EXPECT_EQ(Only(pages[2], {"A"}).size(), 0u);
}

TEST_F(Groups, AHeaderNeverEndsAPageWithoutItsFirstRecord) {
  // A4 less margins leaves 277 mm: after the title and group A (24 mm) 9 mm are left,
  // room for B's header (6 mm) but not for its first record.
  Label(Band(rbTitle, "Title", 244), "T", "title");
  std::vector<Texts> pages = Run();
  ASSERT_EQ(pages.size(), 2u);
  EXPECT_EQ(pages[0].back(), "total 30");
  EXPECT_EQ((Texts{pages[1][0], pages[1][1]}), (Texts{"B", "3"}));
  // Turned off, the header stays alone at the bottom, as before.
  ByCustomer->SetKeepWithNext(false);
  pages = Run();
  ASSERT_EQ(pages.size(), 2u);
  EXPECT_EQ(pages[0].back(), "B");
  // A header and record taller than a page together still print, one group a page.
  ByCustomer->SetKeepWithNext(true);
  Report->FindComponent("Title")->Free();
  Detail->Size()->SetHeight(275);
  EXPECT_EQ(Only(Flat(Run()), {"total"}), (Texts{"total 30", "total 5", "total 8"}));
}

TEST_F(Groups, AGroupKeptTogetherStartsOnAFreshPageWhenItFitsThereMeasuredAsItPrints) {
  // After the title and group A 13 mm are left: room for B's header and record (12 mm)
  // but not its footer.
  auto* title = Band(rbTitle, "Title", 240);
  Label(title, "T", "title");
  std::vector<Texts> pages = Run();
  ASSERT_EQ(pages.size(), 2u);
  EXPECT_EQ(pages[0].back(), "3");
  ByCustomer->SetKeepTogether(true);
  pages = Run();
  ASSERT_EQ(pages.size(), 2u);
  EXPECT_EQ(pages[0].back(), "total 30");
  EXPECT_EQ((Texts{pages[1][0], pages[1][1], pages[1][3]}), (Texts{"B", "3", "total 5"}));
  // With 23 mm left B fits by its designed heights, but its record's stretching text
  // makes it taller than that: measured, the group moves.
  title->Size()->SetHeight(230);
  EXPECT_EQ(Only(Run()[0], {"total"}), (Texts{"total 30", "total 5"}));
  auto* memo = Add<TQRMemo>("Note", Detail);
  memo->Size()->SetLeft(60);
  memo->Size()->SetHeight(1);
  memo->SetAutoStretch(true);
  memo->SetPrintIf("lines.id = 3");
  for (const char* line : {"one", "two", "three"}) memo->Lines()->Add(line);
  pages = Run();
  ASSERT_EQ(pages.size(), 2u);
  EXPECT_EQ(pages[0].back(), "total 30");
  EXPECT_EQ((Texts{pages[1][0], pages[1][1], pages[1][2]}), (Texts{"B", "3", "one"}));
  // A group taller than a page prints where it falls, as without the rule.
  memo->Free();
  title->Free();
  Detail->Size()->SetHeight(140);
  EXPECT_EQ(Only(Flat(Run()), {"total"}), (Texts{"total 30", "total 5", "total 8"}));
}

TEST_F(Groups, PrintIfSkipsBandsWithTheirChildrenAndControlsButTotalsStillCount) {
  Detail->SetHasChild(true);
  Label(Detail->FindChildBand(), "ChildText", "child");
  Detail->SetPrintIf("lines.amount > 6");
  ByCustomer->SetPrintIf("lines.customer <> 'B'");
  Label(Detail, "Big", "big", 100)->SetPrintIf("lines.amount >= 20");
  Label(Detail, "Broken", "broken", 140)->SetPrintIf("lines.nosuchfield = 1");
  // Records 3 (5) and 5 (1) and their child bands are left out, as is B's header; the
  // footers' totals count every record.
  EXPECT_EQ(Flat(Run()), (Texts{"A", "1", "child", "2", "big", "child", "A", "total 30", "B", "total 5", "b", "4",
                                "child", "b", "total 8"}));
  // A condition that fails hides its control and is told once, naming it.
  const std::vector<std::string> messages = Report->GenerationMessages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].rfind("Broken: its PrintIf fails", 0), 0u) << messages[0];
}

TEST_F(Groups, BookmarksNestByGroupAndLinksCarryOnlySafeAddresses) {
  // The group made first is the outer one.
  ByCustomer->Free();
  Report->FindComponent("CustomerFooter")->Free();
  auto* byRegion = Add<TQRGroup>("ByRegion");
  byRegion->SetExpression("lines.region");
  byRegion->Size()->SetHeight(6);
  byRegion->SetBookmark("lines.region");
  auto* inner = Add<TQRGroup>("Inner");
  inner->SetExpression("lines.customer");
  inner->Size()->SetHeight(6);
  inner->SetBookmark("'Customer ' + lines.customer");
  Band(rbTitle, "Title", 10)->SetBookmark("'All'");
  Detail->SetBookmark("lines.nosuchfield");
  Field(Detail, "Mail", Lines, "customer", 100)->SetHyperlink("'mailto:' + lines.customer + '@example.com'");
  Field(Detail, "Local", Lines, "customer", 140)->SetHyperlink("'file:///etc/passwd'");
  Run();
  std::vector<std::string> outline;
  for (const TQRPageList::TBookmark& b : Report->QRPrinter()->PageList().Bookmarks())
    outline.push_back(std::string(size_t(b.Level), '.') + b.Title);
  EXPECT_EQ(outline, (Texts{"All", ".north", "..Customer A", "..Customer B", ".south", "..Customer b"}));
  std::vector<std::string> links;
  for (const TPageAnnotation& a : Report->QRPrinter()->PageImage(1)->Annotations())
    if (a.Kind == TPageAnnotation::akLink) links.push_back(a.Text);
  EXPECT_EQ(links.size(), 5u);
  EXPECT_EQ(links.front(), "mailto:A@example.com");
  // The file address and the failing bookmark are left out, and each is told once.
  const std::vector<std::string> messages = Report->GenerationMessages();
  ASSERT_EQ(messages.size(), 2u) << ::testing::PrintToString(messages);
  EXPECT_EQ(messages[0].rfind("Detail: its Bookmark fails", 0), 0u) << messages[0];
  EXPECT_EQ(messages[1].rfind("Local: its Hyperlink gives \"file:///etc/passwd\"", 0), 0u) << messages[1];
}

TEST_F(Groups, TotalsMatchTheDataWhateverThePageSize) {
  for (double height : {6.0, 50.0, 130.0}) {
    Detail->Size()->SetHeight(height);
    EXPECT_EQ(Only(Flat(Run()), {"total"}), (Texts{"total 30", "total 5", "total 8"})) << height;
  }
}

class Layout : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    MakeDatabase(
        "CREATE TABLE n(id INTEGER PRIMARY KEY);"
        "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 60) INSERT INTO n SELECT x FROM c;");
    Numbers = Table("n");
    Report->SetDataSet(Numbers);
    Detail = Band(rbDetail, "Detail", 10);
    Field(Detail, "Id", Numbers, "id", 0);
  }
  TTable* Numbers = nullptr;
  TQRBand* Detail = nullptr;
};

TEST_F(Layout, DetailsFillPagesDownToThePageFooter) {
  Label(Band(rbPageFooter, "PageFooter", 20), "PF", "footer");
  const std::vector<Texts> pages = Run();
  // A4 less 2 x 10 mm margins less the 20 mm footer: 25 details of 10 mm a page.
  ASSERT_EQ(pages.size(), 3u);
  EXPECT_EQ(pages[0].size(), 26u);
  EXPECT_EQ(pages[0].front(), "1");
  EXPECT_EQ(pages[0].back(), "footer");
  EXPECT_EQ(pages[1].front(), "26");
  EXPECT_EQ(pages[2].back(), "footer");
  EXPECT_EQ(Flat(pages).size(), 60u + 3);
}

TEST_F(Layout, ColumnsFillFromTheirTopWithTheirHeader) {
  Report->Page()->SetColumns(2);
  Label(Band(rbTitle, "Title", 30), "T", "title");
  Label(Band(rbColumnHeader, "Columns", 10), "CH", "column");
  const std::vector<Texts> pages = Run();
  ASSERT_GE(pages.size(), 1u);
  // Column 1 of page 1: the header once (after the title); column 2 begins below the
  // title with its own header.
  EXPECT_EQ(std::count(pages[0].begin(), pages[0].end(), "column"), 2);
  EXPECT_EQ(pages[0][0], "title");
  EXPECT_EQ(pages[0][1], "column");
  // A later page begins with the header of its first column (no title there).
  ASSERT_EQ(pages.size(), 2u);
  EXPECT_EQ(pages[1][0], "column");
  EXPECT_EQ(Only(Flat(pages), {"column", "title"}).size() + 60, Flat(pages).size());
}

TEST_F(Layout, ForcedBreaksAfterTheTitleAreAbsorbedOnce) {
  Label(Band(rbTitle, "Title", 10), "T", "title");
  Detail->SetForceNewPage(true);
  // The first break is absorbed: the title and record 1 share page 1, then one a page.
  EXPECT_EQ(Run().size(), 60u);
  // Without a title nothing is absorbed... but no page is left empty either.
  Report->FindComponent("Title")->Free();
  const std::vector<Texts> pages = Run();
  EXPECT_EQ(pages.size(), 60u);
  EXPECT_EQ(pages[0], (Texts{"1"}));
}

TEST_F(Layout, TheFirstForcedColumnBreakIsAbsorbed) {
  Report->Page()->SetColumns(3);
  Detail->SetForceNewColumn(true);
  const std::vector<Texts> pages = Run();
  // Records 1 and 2 share column 1; then one a column, three columns a page.
  ASSERT_FALSE(pages.empty());
  EXPECT_EQ(pages[0], (Texts{"1", "2", "3", "4"}));
}

TEST_F(Layout, APageAndColumnNumberPrintWhereTheyAre) {
  Report->Page()->SetColumns(2);
  Detail->Size()->SetHeight(100);
  Expr(Detail, "Where", "'p' + STR(PAGENUMBER) + 'c' + STR(COLUMNNUMBER)", 20);
  const Texts all = Flat(Run());
  Texts where;
  for (const std::string& t : all)
    if (!t.empty() && t[0] == 'p') where.push_back(t);
  ASSERT_GE(where.size(), 6u);
  EXPECT_EQ(where[0], "p1c1");
  EXPECT_EQ(where[2], "p1c2");
  EXPECT_EQ(where[4], "p2c1");
}

TEST_F(Layout, BottomAlignedSummarySitsOnTheFooter) {
  Numbers->Close();
  Numbers->SetTableName("n");
  Report->SetDataSet(nullptr);
  TQRBand* summary = Band(rbSummary, "Summary", 10);
  Label(summary, "S", "summary");
  summary->SetAlignToBottom(true);
  Label(Band(rbPageFooter, "PageFooter", 20), "PF", "footer");
  Report->SetQRPrinter(std::make_unique<TQRPrinter>(std::vector<TPrinterDevice>{TPrinter::PdfPrinter()}));
  Report->GeneratePages();
  std::unique_ptr<TMetafile> page = Report->QRPrinter()->PageImage(1);
  ASSERT_TRUE(page);
  int32_t summaryY = -1, footerY = -1;
  for (const TPageText& t : PageTexts(*page)) {
    if (t.Text == "summary") summaryY = t.Y;
    if (t.Text == "footer") footerY = t.Y;
  }
  // 10 mm above the footer: 37.8 pixels at 96 per inch.
  EXPECT_NEAR(footerY - summaryY, 38, 1);
}

TEST_F(Layout, PassesEndWhateverTheLayout) {
  // A page header and footer that leave no room: every record prints, page by page.
  Label(Band(rbPageHeader, "PageHeader", 200), "PH", "header");
  Label(Band(rbPageFooter, "PageFooter", 100), "PF", "footer");
  std::vector<Texts> pages = Run();
  EXPECT_GE(pages.size(), 1u);
  EXPECT_LE(pages.size(), 60u);
  EXPECT_EQ(Only(Flat(pages), {"60"}).size(), 1u);

  // A band taller than the page prints where it is.
  Report->FindComponent("PageHeader")->Free();
  Report->FindComponent("PageFooter")->Free();
  Detail->Size()->SetHeight(400);
  pages = Run();
  EXPECT_EQ(pages.size(), 60u);

  // A stretching memo whose band has no room for a single line still ends.
  Detail->Size()->SetHeight(2);
  auto* memo = Add<TQRMemo>("Tall", Detail);
  memo->Size()->SetTop(0);
  memo->Size()->SetHeight(1);
  memo->SetAutoStretch(true);
  for (int i = 0; i < 40; ++i) memo->Lines()->Add("line " + std::to_string(i));
  Label(Band(rbPageHeader, "Header2", 270), "PH2", "full header");
  pages = Run();
  EXPECT_LE(pages.size(), 60u * 41);
  EXPECT_EQ(Only(Flat(pages), {"line 39"}).size(), 60u);
}

TEST_F(Layout, AStretchingMemoContinuesInTheNextColumnAlone) {
  Numbers->Close();
  Report->SetDataSet(nullptr);
  Report->Page()->SetColumns(2);
  Detail->Size()->SetHeight(10);
  auto* memo = Add<TQRMemo>("Long", Detail);
  memo->Size()->SetLeft(20);
  memo->Size()->SetTop(0);
  memo->Size()->SetHeight(5);
  memo->SetAutoStretch(true);
  for (int i = 1; i <= 120; ++i) memo->Lines()->Add("row " + std::to_string(i));
  Label(Detail, "Once", "once");
  const std::vector<Texts> pages = Run();
  const Texts all = Flat(pages);
  // Every line once, the band's other control only in the first column.
  EXPECT_EQ(Only(all, {"row"}).size(), 120u);
  EXPECT_EQ(std::count(all.begin(), all.end(), "once"), 1);
}

TEST_F(Layout, AMemoWithMinLinesStartsOnTheNextPageRatherThanLeaveAnOrphan) {
  Numbers->Close();
  Report->SetDataSet(nullptr);
  Detail->Size()->SetHeight(2);
  Label(Band(rbTitle, "Title", 270), "T", "title");  // leaves about two lines
  auto* memo = Add<TQRMemo>("Long", Detail);
  memo->Size()->SetLeft(20);
  memo->Size()->SetTop(0);
  memo->Size()->SetHeight(1);
  memo->SetAutoStretch(true);
  for (int i = 1; i <= 10; ++i) memo->Lines()->Add("row " + std::to_string(i));
  const auto firstPage = [this] {
    const std::vector<Texts> pages = Run();
    EXPECT_EQ(Only(Flat(pages), {"row"}).size(), 10u);
    return pages.empty() ? Texts{} : Only(pages[0], {"row"});
  };
  const Texts before = firstPage();
  ASSERT_GE(before.size(), 1u);
  ASSERT_LT(before.size(), 4u);
  memo->SetMinLines(4);
  EXPECT_EQ(firstPage(), Texts{});
  // Fewer lines than the minimum that all fit print where they are.
  while (memo->Lines()->Count() > static_cast<int>(before.size())) memo->Lines()->Delete(memo->Lines()->Count() - 1);
  EXPECT_EQ(Only(Run()[0], {"row"}).size(), before.size());
}

class MasterDetail : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    MakeDatabase(
        "CREATE TABLE orders(id INTEGER PRIMARY KEY, customer TEXT);"
        "CREATE TABLE lines(id INTEGER PRIMARY KEY, order_id INTEGER, product TEXT);"
        "INSERT INTO orders VALUES (1,'Ann'),(2,'Bob'),(3,'Cy');"
        "INSERT INTO lines VALUES (1,1,'bolt'),(2,1,'nut'),(3,2,'gear');");
    Orders = Table("orders");
    Report->SetDataSet(Orders);
    Report->Functions()->DefineFunction("ORDERID", "orders.id");
    Field(Band(rbDetail, "Order", 8), "Customer", Orders, "customer", 0);
    LinesQuery = Query("select product from lines where order_id = :orderid order by id");
    LinesQuery->Open();
    Sub = Add<TQRSubDetail>("Lines");
    Sub->SetDataSet(LinesQuery);
    Sub->Size()->SetHeight(6);
    Field(Sub, "Product", LinesQuery, "product", 20);
  }
  TTable* Orders = nullptr;
  TQuery* LinesQuery = nullptr;
  TQRSubDetail* Sub = nullptr;
};

TEST_F(MasterDetail, EachMasterRecordPrintsItsOwnLines) {
  EXPECT_EQ(Flat(Run()), (Texts{"Ann", "bolt", "nut", "Bob", "gear", "Cy"}));
  // Printed before the master's detail, with a header.
  Sub->SetPrintBefore(true);
  Sub->Bands()->SetHasHeader(true);
  Label(Sub->HeaderBand(), "LinesHeader", "lines:");
  // An empty sub-detail prints its structure (as it does by default) or nothing.
  EXPECT_EQ(Flat(Run()), (Texts{"lines:", "bolt", "nut", "Ann", "lines:", "gear", "Bob", "lines:", "Cy"}));
  Sub->SetPrintIfEmpty(false);
  EXPECT_EQ(Flat(Run()), (Texts{"lines:", "bolt", "nut", "Ann", "lines:", "gear", "Bob", "Cy"}));
  // A sub-detail's footer is named by the sub-detail: printed, and nothing said of it.
  Sub->Bands()->SetHasFooter(true);
  Label(Sub->FooterBand(), "LinesFooter", "end");
  EXPECT_EQ(Only(Flat(Run()), {"end"}).size(), 2u);
  EXPECT_TRUE(Report->GenerationMessages().empty()) << Report->GenerationMessages()[0];
}

// A sub-detail's query owned by the report, as the designer makes one: stored with the
// report, loaded closed whatever the file says, opened by each pass and closed after it.
TEST_F(MasterDetail, AQueryTheReportOwnsIsOpenedByThePassOnly) {
  auto* owned = TComponent::Create<TQuery>(Report);
  owned->SetName("OwnedLines");
  owned->SetDatabaseName("shop");
  owned->SQL()->SetText("select product from lines where order_id = :orderid order by id");
  owned->Open();
  Sub->SetDataSet(owned);
  static_cast<TQRDBText*>(Report->FindComponent("Product"))->SetDataSet(owned);
  std::string bytes = Save();
  // The file names a database that is gone: the report still loads, its query closed.
  for (size_t at = bytes.find("shop"); at != std::string::npos; at = bytes.find("shop", at)) bytes.replace(at, 4, "gone");
  TRoomyReport* loaded = Load(bytes);
  auto* loadedQuery = dynamic_cast<TQuery*>(loaded->FindComponent("OwnedLines"));
  ASSERT_NE(loadedQuery, nullptr);
  EXPECT_FALSE(loadedQuery->Active());
  EXPECT_EQ(loadedQuery->DatabaseName(), "gone");
  loaded->Free();

  owned->Close();
  EXPECT_EQ(Flat(Run()), (Texts{"Ann", "bolt", "nut", "Bob", "gear", "Cy"}));
  EXPECT_FALSE(owned->Active());
}

class NeedData : public EngineTest {};

TEST_F(NeedData, AHandlerSuppliesTheRecords) {
  Label(Band(rbDetail, "Detail", 8), "D", "row");
  int count = 0;
  Report->OnNeedData = [&count](TObject*, bool& more) { more = ++count <= 5; };
  EXPECT_EQ(Flat(Run()), Texts(5, "row"));
  // While designed, handlers do not run: the report is as empty.
  count = 0;
  Report->SetDesigning(true);
  EXPECT_EQ(Flat(Run()), Texts(1, "row"));
  EXPECT_EQ(count, 0);
  Report->SetDesigning(false);
}

TEST_F(Layout, ThePageCountIsFilledInOnEveryPageAndInWhatIsSaved) {
  // A text holding the mark itself (data may) stays as it is in a report that prints no count.
  Label(Detail, "Odd", "odd \xEF\xB7\x90", 100);
  EXPECT_FALSE(Report->UsesPageCount());
  EXPECT_EQ(Only(Run()[0], {"odd"}).front(), "odd \xEF\xB7\x90");
  Report->FindComponent("Odd")->Free();
  TQRBand* footer = Band(rbPageFooter, "PageFooter", 20);
  TQRExpr* of = Expr(footer, "Of", "'Page ' + STR(PAGENUMBER) + ' of ' + STR(PAGECOUNT)", 100);
  of->SetAutoSize(false);
  of->SetAlignment(taRightJustify);
  of->Size()->SetWidth(80);
  auto* count = Add<TQRSysData>("Count", footer);
  count->SetData(qrsPageCount);
  count->SetText("pages: ");
  count->Size()->SetTop(10);
  EXPECT_TRUE(Report->UsesPageCount());
  const auto footerTexts = [this](int32_t n) {
    std::vector<TPageText> found;
    for (const TPageText& t : PageTexts(*Report->QRPrinter()->PageImage(n)))
      if (t.Text.rfind("Page ", 0) == 0 || t.Text.rfind("pages: ", 0) == 0) found.push_back(t);
    return found;
  };

  // Many pages, then columns, then one page: each page has the final count.
  for (const int columns : {1, 2}) {
    Report->Page()->SetColumns(columns);
    const std::vector<Texts> pages = Run();
    const int32_t n = static_cast<int32_t>(pages.size());
    ASSERT_GE(n, 2);
    for (int32_t i = 1; i <= n; ++i) {
      const std::vector<TPageText> texts = footerTexts(i);
      ASSERT_EQ(texts.size(), 2u) << "page " << i;
      EXPECT_EQ(texts[0].Text, Format("Page %d of %d", i, n));
      EXPECT_EQ(texts[1].Text, Format("pages: %d", n));
      // Right-aligned text keeps its right end however long the number.
      EXPECT_EQ(texts[0].X, footerTexts(1)[0].X);
    }
  }
  Report->Page()->SetColumns(1);
  Numbers->Close();
  Report->SetDataSet(nullptr);
  ASSERT_EQ(Run().size(), 1u);
  EXPECT_EQ(footerTexts(1)[0].Text, "Page 1 of 1");

  // A saved recording carries the count, not the mark, and reads back alike.
  const std::string file = DataDir + "/counted.qrp";
  Report->QRPrinter()->SaveRecording(file);
  TQRPrinter loaded(std::vector<TPrinterDevice>{TPrinter::PdfPrinter()});
  loaded.LoadRecording(file);
  const std::vector<TPageText> back = PageTexts(*loaded.PageImage(1));
  EXPECT_TRUE(std::any_of(back.begin(), back.end(), [](const TPageText& t) { return t.Text == "Page 1 of 1"; }));
  std::ifstream in(file, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_FALSE(bytes.empty());
  EXPECT_EQ(bytes.find("\xD0\xFD"), std::string::npos);
}

}  // namespace
}  // namespace rpt::test
