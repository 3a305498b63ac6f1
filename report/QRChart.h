#pragma once
// Charts: a printable that gathers values from the records its band covers and draws
// them as bars, stacked bars, lines, areas or a pie. Each series groups the records by a
// category expression and aggregates a value expression per category; the values are
// accumulated while the pass walks the data (no second query), the way aggregates of
// expressions are. The drawing is made of canvas shapes and measured text only, so it
// stays vectors on a PDF page.
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "expr/QRExpr.h"
#include "report/QRCtrls.h"

namespace rpt {

class TQRCustomController;

enum TQRChartType : uint8_t { ctBar, ctStackedBar, ctLine, ctArea, ctPie };
RPT_ENUM_TYPE(TQRChartType, "ctBar", "ctStackedBar", "ctLine", "ctArea", "ctPie")

enum TQRChartAggregate : uint8_t { caSum, caCount, caAverage, caMin, caMax };
RPT_ENUM_TYPE(TQRChartAggregate, "caSum", "caCount", "caAverage", "caMin", "caMax")

enum TQRLegendPosition : uint8_t { lpNone, lpRight, lpBottom, lpTop };
RPT_ENUM_TYPE(TQRLegendPosition, "lpNone", "lpRight", "lpBottom", "lpTop")

enum TQRCategoryOrder : uint8_t { coFirstAppearance, coSorted };
RPT_ENUM_TYPE(TQRCategoryOrder, "coFirstAppearance", "coSorted")

// One series: the records grouped by Category, Value aggregated per category. COUNT
// counts the records and needs no value. Color clNone takes the chart palette's colour.
class TQRChartSeries : public TCollectionItem {
  RPT_CLASS(TQRChartSeries, TCollectionItem)
  TQRChartSeries() = default;
  const std::string& Title() const { return FTitle; }
  void SetTitle(const std::string& value);
  const std::string& Category() const { return FCategory; }
  void SetCategory(const std::string& value);
  const std::string& Value() const { return FValue; }
  void SetValue(const std::string& value);
  TQRChartAggregate Aggregate() const { return FAggregate; }
  void SetAggregate(TQRChartAggregate value);
  TColor Color() const { return FColor; }
  void SetColor(TColor value);
  void AssignFrom(const TPersistent* source) override;

 private:
  std::string FTitle;
  std::string FCategory;
  std::string FValue;
  TQRChartAggregate FAggregate = caSum;
  TColor FColor = clNone;
};

class TQRChart;

class TQRChartSeriesList : public TCollection {
  RPT_CLASS(TQRChartSeriesList, TCollection)
  TQRChartSeriesList();
  explicit TQRChartSeriesList(TQRChart* chart);
  TQRChartSeries* Series(int index) const { return static_cast<TQRChartSeries*>(Items(index)); }
  TQRChartSeries* AddSeries() { return static_cast<TQRChartSeries*>(Add()); }
  std::string EditorNote() const override {
    return "Each series groups the records by its category and aggregates its value per category. "
           "A pie shows the first series.";
  }

 protected:
  void Update(TCollectionItem*) override;

 private:
  TQRChart* FChart = nullptr;
};

// What a chart shows: categories in order and one value per series and category (NaN:
// the series has no record in that category).
struct TQRChartData {
  std::vector<std::string> Categories;
  std::vector<std::string> SeriesTitles;
  std::vector<TColor> SeriesColors;  // clNone: the palette's
  std::vector<std::vector<double>> Values;  // [series][category]
  bool Empty() const;
};

// The records gathered for a chart: per series and category the running sum, count,
// minimum and maximum; categories keep the order in which they first came.
class TQRChartAccumulator {
 public:
  void Reset(size_t seriesCount);
  // A record of a series: its category (the text it groups by, and the number it sorts
  // by when it is one) and its value (none: only counted).
  void Add(size_t series, const TQREvValue& category, const TQREvValue* value);
  TQRChartData Data(const std::vector<TQRChartAggregate>& aggregates, TQRCategoryOrder order) const;
  size_t CategoryCount() const { return FCategories.size(); }

 private:
  struct TCell {
    double Sum = 0, Min = 0, Max = 0;
    int64_t Values = 0, Records = 0;
  };
  struct TCategory {
    std::string Text;
    bool Numeric = false;
    double Number = 0;
  };
  std::vector<TCategory> FCategories;
  std::unordered_map<std::string, size_t> FIndex;
  std::vector<std::vector<TCell>> FCells;  // [series][category]
};

// Where the last drawing put its parts, in device pixels: the plot, the zero line, the
// category labels drawn (after thinning) and the bars or slices.
struct TQRChartLayout {
  TRectF Plot;
  double ZeroY = 0;
  std::vector<TRectF> CategoryLabels;
  std::vector<TRectF> Bars;
  int Slices = 0;
  bool NoData = false;
  std::vector<double> Ticks;
};

// The palette series and slices take without a colour of their own: hues whose
// lightness differs by steps, so they stay apart printed in grey.
TColor ChartPaletteColor(size_t index);
// Tick values from lo to hi at a step of 1, 2 or 5 times a power of ten, at most about
// maxTicks of them, covering both ends.
std::vector<double> NiceTicks(double lo, double hi, int maxTicks);

class TQRChart : public TQRPrintable {
  RPT_CLASS(TQRChart, TQRPrintable)
  TQRChart();
  ~TQRChart() override;

  TQRChartType ChartType() const { return FChartType; }
  void SetChartType(TQRChartType value);
  TQRChartSeriesList* Series() const { return FSeries.get(); }
  void SetSeries(TQRChartSeriesList* value) { FSeries->AssignFrom(value); }
  const std::string& Title() const { return FTitle; }
  void SetTitle(const std::string& value);
  TQRLegendPosition LegendPosition() const { return FLegendPosition; }
  void SetLegendPosition(TQRLegendPosition value);
  const std::string& CategoryAxisTitle() const { return FCategoryAxisTitle; }
  void SetCategoryAxisTitle(const std::string& value);
  const std::string& ValueAxisTitle() const { return FValueAxisTitle; }
  void SetValueAxisTitle(const std::string& value);
  bool ShowValues() const { return FShowValues; }
  void SetShowValues(bool value);
  // The numeric mask of the values and the axis ticks ("#,##0.00"); empty: the general format.
  const std::string& Mask() const { return FMask; }
  void SetMask(const std::string& value);
  TQRCategoryOrder CategoryOrder() const { return FCategoryOrder; }
  void SetCategoryOrder(TQRCategoryOrder value);

  // What the records gathered so far show.
  TQRChartData Data() const;
  // What the last print showed and where it drew it (tests, rpttool).
  const TQRChartData& PrintedData() const { return FPrintedData; }
  const TQRChartLayout& PrintedLayout() const { return FPrintedLayout; }

  // Draws data into a box of device pixels with this chart's options (the design
  // surface passes its zoom for the font).
  TQRChartLayout Draw(TCanvas& canvas, const TRectF& box, const TQRChartData& data, int32_t zoom = 100) const;
  // The fixed sample the design surface shows for the chart's type and series.
  TQRChartData SampleData() const;

  void Prepare(TQRPrinter* printer) override;
  void Unprepare() override;
  void PrintAt(double offsetX, double offsetY) override;
  void ReceiveNotice(TObject* sender, TQRNotifyOperation operation) override;

 protected:
  void Paint() override;

 private:
  struct TSeriesRun {
    std::unique_ptr<TQREvaluator> Category, Value;
    bool Reported = false;
  };
  // The controller whose records the chart covers and whether it starts afresh after
  // each print: a group's or sub-detail's footer; else the report, all records so far.
  TQRCustomController* ScopeController(bool& resetAfterPrint) const;
  std::string ValueText(double value) const;

  TQRChartType FChartType = ctBar;
  std::unique_ptr<TQRChartSeriesList> FSeries;
  std::string FTitle;
  TQRLegendPosition FLegendPosition = lpRight;
  std::string FCategoryAxisTitle;
  std::string FValueAxisTitle;
  bool FShowValues = false;
  std::string FMask;
  TQRCategoryOrder FCategoryOrder = coFirstAppearance;

  std::vector<TSeriesRun> FRuns;
  TQRChartAccumulator FAccumulator;
  bool FResetAfterPrint = false;
  TQRChartData FPrintedData;
  TQRChartLayout FPrintedLayout;
};

}  // namespace rpt
