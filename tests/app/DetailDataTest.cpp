// Detail data: a sub-detail's table or query made with the data dialog, owned by the
// report with a proxy on the page, bound to the selected sub-detail and its fields, its
// parameters fed from the master's fields; replaced under its name, saved and reopened
// closed, and printed for each master record.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cstdlib>
#include <deque>
#include <filesystem>

#include "app/Startup.h"
#include "app/frmDocUnit.h"
#include "app/frmMainUnit.h"
#include "data/DBTables.h"
#include "designer/Engine.h"
#include "framework/Application.h"
#include "objects/StringList.h"
#include "report/QRDataCtrls.h"
#include "tests/support/SqliteExec.h"
#include "tests/app/ShellFixture.h"

namespace rpt {
namespace {

namespace fs = std::filesystem;

// The texts of every printed band, in order.
class TextsFilter : public TQRExportFilter {
 public:
  TextsFilter() : TQRExportFilter("") {}
  void Band(const TQRCustomBand&, const std::vector<TQRExportItem>& items) override {
    for (const TQRExportItem& item : items) Texts.push_back(item.Text);
  }
  std::vector<std::string> Texts;
};

struct DetailData : test::ShellTest {
  std::deque<TDataSet*> made;  // what the data dialog answers, in order (none: cancelled)

  void SetUp() override {
    fs::create_directories(Path("data"));
    ::setenv("RPT_DATA_DIR", Path("data").c_str(), 1);
    test::RunSqlite(Path("data/shop.db"),
                    "CREATE TABLE orders(order_id INTEGER PRIMARY KEY, customer TEXT);"
                    "CREATE TABLE lines(id INTEGER PRIMARY KEY, order_id INTEGER, product TEXT);"
                    "INSERT INTO orders VALUES (1,'Ann'),(2,'Bob'),(3,'Cy');"
                    "INSERT INTO lines VALUES (1,1,'bolt'),(2,1,'nut'),(3,2,'gear'),(4,3,'cog');");
    ShellTest::SetUp();
    frmMain->DetailDataDialog = [this](TfrmDoc*) -> TDataSet* {
      if (made.empty()) return nullptr;
      TDataSet* next = made.front();
      made.pop_front();
      return next;
    };
  }
  void TearDown() override {
    for (TDataSet* d : made) d->Free();
    ShellTest::TearDown();
  }

  // A document over the orders with a detail band naming the customer and a sub-detail
  // band printing each line's product.
  TfrmDoc* OrdersDocument() {
    frmMain->Action("actNew")->trigger();
    TfrmDoc* doc = frmMain->ActiveDocument();
    auto* orders = TComponent::Create<TTable>(doc);
    orders->SetDatabaseName("shop");
    orders->SetTableName("orders");
    orders->Open();
    doc->AssignDataSet(orders);
    TQuickRep* r = doc->Report;
    for (TQRCustomBand* band : {r->FindBand(rbTitle), r->FindBand(rbColumnHeader), r->FindBand(rbPageFooter)})
      band->Free();
    Sub = TComponent::Create<TQRSubDetail>(r);
    Sub->SetName("LinesBand");
    Sub->SetParent(r);
    Field(r->FindBand(rbDetail), "Customer", "customer");
    Product = Field(Sub, "Product", "product");
    doc->Modified = false;
    return doc;
  }
  TQRDBText* Field(TWinControl* band, const char* name, const char* field) {
    auto* text = TComponent::Create<TQRDBText>(band->Owner());
    text->SetName(name);
    text->SetParent(band);
    text->SetDataField(field);
    return text;
  }
  static TQuery* LinesQuery() {
    auto* query = TComponent::Create<TQuery>(nullptr);
    query->SetDatabaseName("shop");
    TStringList sql;
    sql.Add("select * from lines where order_id = :order_id order by id");
    query->SetSQL(&sql);
    query->Open();  // as the dialog's preview leaves it
    return query;
  }
  static void DetailDataCommand() {
    frmMain->ActionList()->UpdateActions();
    frmMain->Action("actDetailData")->trigger();
  }
  static void Select(TfrmDoc* doc, TComponent* component) {
    doc->ZQKDesigner1->SelectedComponents().Clear();
    doc->ZQKDesigner1->SelectedComponents().Add(component);
  }
  static std::vector<std::string> Printed(TfrmDoc* doc) {
    TextsFilter filter;
    doc->Report->ExportToFilter(filter);
    return filter.Texts;
  }
  static std::vector<TDataSet*> OwnedDataSets(TfrmDoc* doc) {
    std::vector<TDataSet*> list;
    for (TComponent* c : doc->Report->OwnedComponents())
      if (auto* d = dynamic_cast<TDataSet*>(c)) list.push_back(d);
    return list;
  }

  TQRSubDetail* Sub = nullptr;
  TQRDBText* Product = nullptr;
  const std::vector<std::string> kOrdersWithLines = {"Ann", "bolt", "nut", "Bob", "gear", "Cy", "cog"};
};

TEST_F(DetailData, TheSelectedSubDetailGetsAQueryTheReportOwnsAndPrintsEachOrdersLines) {
  TfrmDoc* doc = OrdersDocument();
  Select(doc, Sub);
  made.push_back(LinesQuery());
  DetailDataCommand();
  ASSERT_TRUE(errors.empty()) << errors.front();

  auto* query = dynamic_cast<TQuery*>(Sub->DataSet());
  ASSERT_NE(query, nullptr);
  EXPECT_EQ(query->Owner(), doc->Report);
  EXPECT_EQ(query->Name(), "Query1");
  EXPECT_FALSE(query->Active());  // stored closed: the passes open it
  EXPECT_EQ(Product->DataSet(), query);
  EXPECT_NE(doc->ZQKDesigner1->Engine()->ProxyOf(query), nullptr);
  // The parameter reads the master's field of its name.
  ASSERT_NE(doc->Report->Functions()->FindFunction("ORDER_ID"), nullptr);
  EXPECT_EQ(doc->Report->Functions()->FindFunction("ORDER_ID")->Expression(), "order_id");
  EXPECT_TRUE(doc->Modified);

  EXPECT_EQ(Printed(doc), kOrdersWithLines);
  EXPECT_FALSE(query->Active());
}

TEST_F(DetailData, ASavedReportReopensWithItsSubDetailsQueryBoundAndClosed) {
  TfrmDoc* doc = OrdersDocument();
  Select(doc, Sub);
  made.push_back(LinesQuery());
  DetailDataCommand();
  doc->SaveToFile(Path("orders.rpt"));

  TfrmDoc* opened = frmMain->OpenFile(Path("orders.rpt"));
  ASSERT_NE(opened, nullptr);
  auto* sub = dynamic_cast<TQRSubDetail*>(opened->Report->FindComponent("LinesBand"));
  ASSERT_NE(sub, nullptr);
  auto* query = dynamic_cast<TQuery*>(opened->Report->FindComponent("Query1"));
  ASSERT_NE(query, nullptr);
  EXPECT_EQ(sub->DataSet(), query);
  EXPECT_FALSE(query->Active());
  EXPECT_EQ(static_cast<TQRDBText*>(opened->Report->FindComponent("Product"))->DataSet(), query);
  EXPECT_EQ(static_cast<TQRDBText*>(opened->Report->FindComponent("Customer"))->DataSet(), opened->DataSet);
  EXPECT_NE(opened->ZQKDesigner1->Engine()->ProxyOf(query), nullptr);
  EXPECT_EQ(Printed(opened), kOrdersWithLines);
}

TEST_F(DetailData, ADatasetIsReplacedUnderItsNameAndPlaceAndACancelChangesNothing) {
  TfrmDoc* doc = OrdersDocument();
  Select(doc, Sub);
  made.push_back(LinesQuery());
  DetailDataCommand();
  TDataSet* first = Sub->DataSet();
  first->SetDesignPosition(120, 40);
  doc->Modified = false;

  // Cancelled: the same dataset, no change.
  Select(doc, first);
  DetailDataCommand();
  EXPECT_EQ(Sub->DataSet(), first);
  EXPECT_FALSE(doc->Modified);

  // The proxy selected: a table takes the query's name, place, band and field.
  auto* table = TComponent::Create<TTable>(nullptr);
  table->SetDatabaseName("shop");
  table->SetTableName("lines");
  made.push_back(table);
  DetailDataCommand();
  EXPECT_EQ(Sub->DataSet(), table);
  EXPECT_EQ(table->Name(), "Query1");
  EXPECT_EQ(table->DesignLeft(), 120);
  EXPECT_EQ(table->DesignTop(), 40);
  EXPECT_EQ(Product->DataSet(), table);
  EXPECT_EQ(OwnedDataSets(doc), std::vector<TDataSet*>{table});
  EXPECT_TRUE(doc->Modified);
  // All lines under every order now: the table has no parameter.
  EXPECT_EQ(Printed(doc).size(), 3u + 3 * 4);
}

TEST_F(DetailData, WithoutATargetOnlyTheOneUnboundSubDetailIsBound) {
  TfrmDoc* doc = OrdersDocument();
  Select(doc, doc->Report->FindBand(rbDetail));
  made.push_back(LinesQuery());
  DetailDataCommand();
  EXPECT_EQ(Sub->DataSet(), OwnedDataSets(doc).at(0));

  // A second sub-detail and a third: with two unbound, neither is guessed.
  auto* second = TComponent::Create<TQRSubDetail>(doc->Report);
  second->SetName("Second");
  second->SetParent(doc->Report);
  auto* third = TComponent::Create<TQRSubDetail>(doc->Report);
  third->SetName("Third");
  third->SetParent(doc->Report);
  doc->ZQKDesigner1->SelectedComponents().Clear();
  made.push_back(LinesQuery());
  DetailDataCommand();
  EXPECT_EQ(second->DataSet(), nullptr);
  EXPECT_EQ(third->DataSet(), nullptr);
  ASSERT_EQ(OwnedDataSets(doc).size(), 2u);
  EXPECT_EQ(OwnedDataSets(doc).at(1)->Name(), "Query2");
  // Beside the first proxy, not on it.
  EXPECT_GT(OwnedDataSets(doc).at(1)->DesignLeft(), OwnedDataSets(doc).at(0)->DesignLeft());
}

TEST_F(DetailData, NewMasterDataLeavesTheSubDetailsFieldsAndDeletingItsQueryUnbindsThem) {
  TfrmDoc* doc = OrdersDocument();
  Select(doc, Sub);
  made.push_back(LinesQuery());
  DetailDataCommand();
  TDataSet* lines = Sub->DataSet();

  auto* orders = TComponent::Create<TTable>(doc);
  orders->SetDatabaseName("shop");
  orders->SetTableName("orders");
  doc->AssignDataSet(orders);
  EXPECT_EQ(static_cast<TQRDBText*>(doc->Report->FindComponent("Customer"))->DataSet(), orders);
  EXPECT_EQ(Product->DataSet(), lines);

  lines->Free();
  EXPECT_EQ(Sub->DataSet(), nullptr);
  EXPECT_EQ(Product->DataSet(), nullptr);
  EXPECT_EQ(doc->DataSetForBand(Sub), doc->DataSet);
}

}  // namespace
}  // namespace rpt
