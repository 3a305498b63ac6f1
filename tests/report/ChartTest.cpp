// Charts: what each place on the report covers (a group's records, a sub-detail's, the
// whole report), the order of categories, negative values, and the drawing's hard
// cases (one category, no data, a pie without a positive total, thousands of
// categories), and the stream round trip of every property.
#include <cmath>

#include "framework/MetafileCanvas.h"
#include "report/QRChart.h"
#include "tests/report/EngineFixture.h"

namespace rpt::test {
namespace {

using Texts = std::vector<std::string>;

bool Overlap(const TRectF& a, const TRectF& b) {
  return a.Left < b.Right && b.Left < a.Right && a.Top < b.Bottom && b.Top < a.Bottom;
}

class ChartTest : public EngineTest {
 protected:
  TQRChart* Chart(TWinControl* band, const std::string& name, TQRChartType type) {
    auto* chart = Add<TQRChart>(name, band);
    chart->SetChartType(type);
    chart->Size()->SetWidth(120);
    chart->Size()->SetHeight(60);
    return chart;
  }
  static TQRChartSeries* Series(TQRChart* chart, const std::string& category, const std::string& value,
                                TQRChartAggregate aggregate = caSum) {
    TQRChartSeries* s = chart->Series()->AddSeries();
    s->SetCategory(category);
    s->SetValue(value);
    s->SetAggregate(aggregate);
    return s;
  }
  // A chart drawn on a recorded page of 800 x 500 pixels.
  TQRChartLayout DrawOnPage(TQRChart* chart, const TQRChartData& data, std::vector<TPageText>* texts = nullptr) {
    TMetafile page(800, 500);
    TQRChartLayout layout;
    {
      TMetafileCanvas canvas(page);
      layout = chart->Draw(canvas, {0, 0, 800, 500}, data);
      canvas.Close();
    }
    if (texts) *texts = PageTexts(page);
    return layout;
  }
};

TEST_F(ChartTest, GroupFootersChartTheirGroupsAndTheSummaryTheWholeReportInTheOrderAsked) {
  MakeDatabase(
      "CREATE TABLE sales(id INTEGER PRIMARY KEY, region TEXT, month TEXT, amount REAL);"
      "INSERT INTO sales VALUES (1,'north','Mar',10),(2,'north','Jan',-4),(3,'north','Mar',5),"
      "(4,'south','Feb',7),(5,'south','Jan',1),(6,'south','Jan',NULL);");
  TTable* sales = Table("sales");
  Report->SetDataSet(sales);
  Field(Band(rbDetail, "Detail", 5), "Id", sales, "id", 0);
  auto* group = Add<TQRGroup>("ByRegion");
  group->SetExpression("sales.region");
  TQRBand* footer = Band(rbGroupFooter, "RegionFooter", 70);
  group->SetFooterBand(footer);
  TQRChart* perRegion = Chart(footer, "PerRegion", ctBar);
  Series(perRegion, "sales.month", "sales.amount");
  Series(perRegion, "sales.month", "", caCount);
  Series(perRegion, "sales.month", "sales.region");
  TQRChart* year = Chart(Band(rbSummary, "Summary", 70), "Year", ctBar);
  year->SetCategoryOrder(coSorted);
  Series(year, "sales.month", "sales.amount");
  Series(year, "sales.month", "sales.amount", caAverage);
  Series(year, "sales.month", "sales.amount", caMin);
  Series(year, "sales.month", "sales.amount", caMax);
  std::vector<TQRChartData> regions;
  footer->AfterPrint = [&](TQRCustomBand*, bool) { regions.push_back(perRegion->PrintedData()); };
  Run();

  // Each footer shows its own group, categories as they first came (an empty amount is
  // 0, as in expressions); a text is no value to sum, said once a pass.
  ASSERT_EQ(regions.size(), 2u);
  EXPECT_EQ(regions[0].Categories, (Texts{"Mar", "Jan"}));
  EXPECT_EQ(regions[0].Values, (std::vector<std::vector<double>>{{15, -4}, {2, 1}, {0, 0}}));
  EXPECT_EQ(regions[1].Categories, (Texts{"Feb", "Jan"}));
  EXPECT_EQ(regions[1].Values, (std::vector<std::vector<double>>{{7, 1}, {1, 2}, {0, 0}}));
  ASSERT_EQ(Report->GenerationMessages().size(), 1u);
  EXPECT_EQ(Report->GenerationMessages()[0],
            "PerRegion: series 3 is left out where its value is not a number: north");

  // The summary sees every record, sorted; SUM, AVERAGE, MIN and MAX per month.
  const TQRChartData& all = year->PrintedData();
  EXPECT_EQ(all.Categories, (Texts{"Feb", "Jan", "Mar"}));
  EXPECT_EQ(all.Values, (std::vector<std::vector<double>>{{7, -3, 15}, {7, -1, 7.5}, {7, -4, 5}, {7, 1, 10}}));
  // Negative values stand below the zero line, positive ones on it.
  const TQRChartLayout& layout = year->PrintedLayout();
  ASSERT_EQ(layout.Bars.size(), 12u);
  EXPECT_LE(layout.Ticks.front(), -4);
  for (size_t s = 0; s < 4; ++s)
    for (size_t i = 0; i < 3; ++i) {
      const TRectF& bar = layout.Bars[s * 3 + i];
      if (all.Values[s][i] < 0) {
        EXPECT_NEAR(bar.Top, layout.ZeroY, 0.01);
        EXPECT_GT(bar.Bottom, layout.ZeroY + 1);
      } else {
        EXPECT_NEAR(bar.Bottom, layout.ZeroY, 0.01);
        EXPECT_LT(bar.Top, layout.ZeroY - 1);
      }
    }
  for (size_t i = 1; i < layout.CategoryLabels.size(); ++i)
    EXPECT_GT(layout.CategoryLabels[i].Left, layout.CategoryLabels[i - 1].Left) << "labels go left to right";
}

TEST_F(ChartTest, ASubDetailFooterChartsTheLinesOfEachMasterRecord) {
  MakeDatabase(
      "CREATE TABLE orders(id INTEGER PRIMARY KEY, customer TEXT);"
      "CREATE TABLE lines(id INTEGER PRIMARY KEY, order_id INTEGER, product TEXT, qty INTEGER);"
      "INSERT INTO orders VALUES (1,'Ann'),(2,'Bob'),(3,'Cy');"
      "INSERT INTO lines VALUES (1,1,'bolt',3),(2,1,'nut',4),(3,1,'bolt',1),(4,2,'gear',2);");
  TTable* orders = Table("orders");
  Report->SetDataSet(orders);
  Report->Functions()->DefineFunction("ORDERID", "orders.id");
  Field(Band(rbDetail, "Order", 8), "Customer", orders, "customer", 0);
  TQuery* lines = Query("select product, qty from lines where order_id = :orderid order by id");
  lines->Open();
  auto* sub = Add<TQRSubDetail>("Lines");
  sub->SetDataSet(lines);
  sub->Size()->SetHeight(6);
  Field(sub, "Product", lines, "product", 20);
  sub->Bands()->SetHasFooter(true);
  sub->FooterBand()->Size()->SetHeight(50);
  TQRChart* chart = Chart(sub->FooterBand(), "PerOrder", ctPie);
  Series(chart, "product", "qty");
  std::vector<TQRChartData> seen;
  sub->FooterBand()->AfterPrint = [&](TQRCustomBand*, bool) { seen.push_back(chart->PrintedData()); };
  Run();
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0].Categories, (Texts{"bolt", "nut"}));
  EXPECT_EQ(seen[0].Values[0], (std::vector<double>{4, 4}));
  EXPECT_EQ(seen[1].Categories, (Texts{"gear"}));
  EXPECT_TRUE(seen[2].Categories.empty()) << "an order without lines has nothing to chart";
  EXPECT_TRUE(chart->PrintedLayout().NoData);
}

TEST_F(ChartTest, OneCategoryNoDataAPieWithoutAPositiveTotalAndThousandsOfCategoriesDrawSensibly) {
  TQRChart* chart = Chart(Band(rbSummary, "Summary", 70), "Chart", ctBar);
  chart->SetShowValues(true);
  chart->SetMask("#,##0");
  std::vector<TPageText> texts;
  auto has = [&](const std::string& text) {
    for (const TPageText& t : texts)
      if (t.Text == text) return true;
    return false;
  };

  // One category: one bar from the zero line, the axis from 0 past its value.
  TQRChartData one{{"Only"}, {"Sales"}, {clNone}, {{1234}}};
  TQRChartLayout layout = DrawOnPage(chart, one, &texts);
  ASSERT_EQ(layout.Bars.size(), 1u);
  EXPECT_EQ(layout.Ticks.front(), 0);
  EXPECT_GE(layout.Ticks.back(), 1234);
  EXPECT_TRUE(has("Only") && has("1,234"));

  // No data: the frame and the words, nothing else.
  for (TQRChartType type : {ctBar, ctLine, ctPie}) {
    chart->SetChartType(type);
    layout = DrawOnPage(chart, TQRChartData{}, &texts);
    EXPECT_TRUE(layout.NoData);
    EXPECT_EQ(texts.size(), 1u);
    EXPECT_TRUE(has("No data"));
  }
  // A pie shows positive values only; with none it has no data either.
  chart->SetChartType(ctPie);
  EXPECT_TRUE(DrawOnPage(chart, {{"a", "b"}, {"s"}, {clNone}, {{0, 0}}}).NoData);
  EXPECT_TRUE(DrawOnPage(chart, {{"a", "b"}, {"s"}, {clNone}, {{-5, 0}}}).NoData);
  EXPECT_EQ(DrawOnPage(chart, {{"a", "b", "c"}, {"s"}, {clNone}, {{3, -1, 2}}}).Slices, 2);

  // Thousands of categories: labels thinned so that none touches another or leaves the box.
  for (TQRChartType type : {ctBar, ctLine, ctArea}) {
    chart->SetChartType(type);
    TQRChartData many;
    many.SeriesTitles = {"s"};
    many.SeriesColors = {clNone};
    many.Values.resize(1);
    for (int i = 0; i < 3000; ++i) {
      many.Categories.push_back("Category " + std::to_string(1000 + i));
      many.Values[0].push_back(std::sin(i / 50.0) * 1000);
    }
    layout = DrawOnPage(chart, many);
    EXPECT_GT(layout.CategoryLabels.size(), 3u);
    EXPECT_LT(layout.CategoryLabels.size(), 30u);
    for (size_t i = 0; i < layout.CategoryLabels.size(); ++i) {
      const TRectF& r = layout.CategoryLabels[i];
      EXPECT_TRUE(r.Left >= 0 && r.Right <= 800);
      for (size_t j = i + 1; j < layout.CategoryLabels.size(); ++j)
        EXPECT_FALSE(Overlap(r, layout.CategoryLabels[j])) << i << " and " << j;
    }
  }
  // Ticks fall on round steps and cover the values, zero included.
  EXPECT_EQ(NiceTicks(0, 87, 6), (std::vector<double>{0, 20, 40, 60, 80, 100}));
  EXPECT_EQ(NiceTicks(-3, 15, 8), (std::vector<double>{-5, 0, 5, 10, 15}));
  EXPECT_EQ(NiceTicks(-7, 0, 5), (std::vector<double>{-8, -6, -4, -2, 0}));
}

TEST_F(ChartTest, EveryPropertyAndSeriesStreamsRoundTripAndTheDesignSurfaceShowsASample) {
  TQRChart* chart = Chart(Band(rbSummary, "Summary", 70), "Chart", ctStackedBar);
  chart->SetTitle("Sales");
  chart->SetLegendPosition(lpBottom);
  chart->SetCategoryAxisTitle("Month");
  chart->SetValueAxisTitle("EUR");
  chart->SetShowValues(true);
  chart->SetMask("#,##0.0");
  chart->SetCategoryOrder(coSorted);
  Series(chart, "sales.month", "sales.amount", caMax)->SetTitle("Best");
  Series(chart, "sales.region", "", caCount)->SetColor(clTeal);
  const std::string bytes = Save();
  TRoomyReport* loaded = Load(bytes);
  auto* back = dynamic_cast<TQRChart*>(loaded->FindComponent("Chart"));
  ASSERT_TRUE(back);
  EXPECT_EQ(back->ChartType(), ctStackedBar);
  EXPECT_EQ(back->Title(), "Sales");
  EXPECT_EQ(back->LegendPosition(), lpBottom);
  EXPECT_EQ(back->CategoryAxisTitle(), "Month");
  EXPECT_EQ(back->ValueAxisTitle(), "EUR");
  EXPECT_TRUE(back->ShowValues());
  EXPECT_EQ(back->Mask(), "#,##0.0");
  EXPECT_EQ(back->CategoryOrder(), coSorted);
  ASSERT_EQ(back->Series()->Count(), 2);
  EXPECT_EQ(back->Series()->Series(0)->Title(), "Best");
  EXPECT_EQ(back->Series()->Series(0)->Category(), "sales.month");
  EXPECT_EQ(back->Series()->Series(0)->Aggregate(), caMax);
  EXPECT_EQ(back->Series()->Series(1)->Value(), "");
  EXPECT_EQ(back->Series()->Series(1)->Aggregate(), caCount);
  EXPECT_EQ(back->Series()->Series(1)->Color(), clTeal);
  loaded->Free();

  // The design surface draws a sample of the type with one bar stack per category.
  const TQRChartData sample = chart->SampleData();
  EXPECT_EQ(sample.Values.size(), 2u);
  EXPECT_FALSE(sample.Empty());
  const QImage surface = PaintSurface(Report);
  const TPoint at = ClientToScreen(chart, {0, 0}), origin = ClientToScreen(Report, {0, 0});
  const int32_t x = at.X - origin.X, y = at.Y - origin.Y;
  EXPECT_GT(InkInside(surface, {x + 2, y + 2, x + chart->Width() - 2, y + chart->Height() - 2}), 500);
}

}  // namespace
}  // namespace rpt::test
