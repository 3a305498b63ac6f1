#include "report/QRChart.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "data/DB.h"
#include "objects/Format.h"
#include "output/QRPrinter.h"
#include "report/QRController.h"
#include "report/QRDataCtrls.h"

namespace rpt {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// BGR, as TColor holds colours. Lightness (Rec. 601 luma) in brackets: 41, 190, 91, 211,
// 64, 138, 118, 164; neighbours differ by at least 45, any two by at least 20.
constexpr TColor kPalette[] = {
    TColor(0x64281E),  // navy        (41)
    TColor(0x50B4FA),  // orange      (190)
    TColor(0x557823),  // green       (91)
    TColor(0x82D7EB),  // pale yellow (211)
    TColor(0x1E1E91),  // dark red    (64)
    TColor(0xC8965A),  // sky blue    (138)
    TColor(0x965F96),  // purple      (118)
    TColor(0x78B98C),  // light green (164)
};

double Luma(TColor color) {
  const uint32_t c = static_cast<uint32_t>(ColorToRGB(color));
  return 0.299 * (c & 0xFF) + 0.587 * ((c >> 8) & 0xFF) + 0.114 * ((c >> 16) & 0xFF);
}

std::string CategoryText(const TQREvValue& value) {
  switch (value.Kind) {
    case vkInteger: return std::to_string(value.IntValue);
    case vkFloat: return FormatGeneralFloat(value.FloatValue);
    case vkBoolean: return value.BoolValue ? "True" : "False";
    case vkString:
    case vkError: return value.StrValue;
  }
  return {};
}

int32_t Px(double v) { return static_cast<int32_t>(std::lround(v)); }

// A straight stroke of a width between two points, as a filled quadrilateral.
void Stroke(TCanvas& canvas, TPointF a, TPointF b, double width) {
  const double dx = b.X - a.X, dy = b.Y - a.Y, length = std::hypot(dx, dy);
  if (length <= 0) return;
  const double nx = -dy / length * width / 2, ny = dx / length * width / 2;
  canvas.FillPolygonF({{a.X + nx, a.Y + ny}, {b.X + nx, b.Y + ny}, {b.X - nx, b.Y - ny}, {a.X - nx, a.Y - ny}});
}

void Fill(TCanvas& canvas, TColor color) {
  canvas.Brush()->SetStyle(bsSolid);
  canvas.Brush()->SetColor(color);
}

}  // namespace

TColor ChartPaletteColor(size_t index) { return kPalette[index % std::size(kPalette)]; }

std::vector<double> NiceTicks(double lo, double hi, int maxTicks) {
  if (!std::isfinite(lo) || !std::isfinite(hi)) return {0, 1};
  if (lo > hi) std::swap(lo, hi);
  if (hi - lo <= 0) {
    // One value: a range from zero to it (or a unit around zero).
    if (hi > 0) lo = 0;
    else if (lo < 0) hi = 0;
    else hi = 1;
  }
  maxTicks = std::max(2, maxTicks);
  const double rough = (hi - lo) / (maxTicks - 1);
  const double power = std::pow(10.0, std::floor(std::log10(rough)));
  double step = power * 10;
  for (double m : {1.0, 2.0, 5.0, 10.0})
    if (power * m >= rough) {
      step = power * m;
      break;
    }
  const double first = std::floor(lo / step + 1e-9) * step, last = std::ceil(hi / step - 1e-9) * step;
  std::vector<double> ticks;
  for (int i = 0; first + i * step <= last + step * 1e-9 && i < 1000; ++i) {
    double t = first + i * step;
    if (std::abs(t) < step * 1e-9) t = 0;  // no "-0" or 1E-17 for zero
    ticks.push_back(t);
  }
  if (ticks.size() < 2) ticks = {first, first + step};
  return ticks;
}

// ---------------------------------------------------------------------------
// Series

RPT_BEGIN_CLASS(TQRChartSeries, TCollectionItem)
  c.Property("Title", &TQRChartSeries::Title, &TQRChartSeries::SetTitle);
  c.Property("Category", &TQRChartSeries::Category, &TQRChartSeries::SetCategory);
  c.Property("Value", &TQRChartSeries::Value, &TQRChartSeries::SetValue);
  c.Property("Aggregate", &TQRChartSeries::Aggregate, &TQRChartSeries::SetAggregate);
  c.Property("Color", &TQRChartSeries::Color, &TQRChartSeries::SetColor).Default(clNone);
RPT_END_CLASS

void TQRChartSeries::SetTitle(const std::string& value) {
  FTitle = value;
  Changed(false);
}
void TQRChartSeries::SetCategory(const std::string& value) {
  FCategory = value;
  Changed(false);
}
void TQRChartSeries::SetValue(const std::string& value) {
  FValue = value;
  Changed(false);
}
void TQRChartSeries::SetAggregate(TQRChartAggregate value) {
  FAggregate = value;
  Changed(false);
}
void TQRChartSeries::SetColor(TColor value) {
  FColor = value;
  Changed(false);
}

void TQRChartSeries::AssignFrom(const TPersistent* source) {
  const auto* other = dynamic_cast<const TQRChartSeries*>(source);
  if (!other) return TCollectionItem::AssignFrom(source);
  FTitle = other->FTitle;
  FCategory = other->FCategory;
  FValue = other->FValue;
  FAggregate = other->FAggregate;
  FColor = other->FColor;
  Changed(false);
}

RPT_BEGIN_CLASS(TQRChartSeriesList, TCollection)
RPT_END_CLASS

TQRChartSeriesList::TQRChartSeriesList() : TCollection(TQRChartSeries::StaticClass()) {}
TQRChartSeriesList::TQRChartSeriesList(TQRChart* chart) : TCollection(TQRChartSeries::StaticClass()), FChart(chart) {}

void TQRChartSeriesList::Update(TCollectionItem*) {
  if (FChart) FChart->Invalidate();
}

// ---------------------------------------------------------------------------
// Accumulation

bool TQRChartData::Empty() const {
  for (const std::vector<double>& series : Values)
    for (double v : series)
      if (!std::isnan(v)) return false;
  return true;
}

void TQRChartAccumulator::Reset(size_t seriesCount) {
  FCategories.clear();
  FIndex.clear();
  FCells.assign(seriesCount, {});
}

void TQRChartAccumulator::Add(size_t series, const TQREvValue& category, const TQREvValue* value) {
  if (series >= FCells.size()) FCells.resize(series + 1);
  std::string text = CategoryText(category);
  auto [it, added] = FIndex.try_emplace(text, FCategories.size());
  if (added) FCategories.push_back({std::move(text), category.IsNumeric(), category.IsNumeric() ? category.AsDouble() : 0});
  std::vector<TCell>& cells = FCells[series];
  if (cells.size() <= it->second) cells.resize(it->second + 1);
  TCell& cell = cells[it->second];
  ++cell.Records;
  if (!value || !value->IsNumeric()) return;
  const double v = value->AsDouble();
  if (!std::isfinite(v)) return;
  cell.Min = cell.Values ? std::min(cell.Min, v) : v;
  cell.Max = cell.Values ? std::max(cell.Max, v) : v;
  cell.Sum += v;
  ++cell.Values;
}

TQRChartData TQRChartAccumulator::Data(const std::vector<TQRChartAggregate>& aggregates,
                                       TQRCategoryOrder order) const {
  std::vector<size_t> at(FCategories.size());
  for (size_t i = 0; i < at.size(); ++i) at[i] = i;
  if (order == coSorted)
    // Numbers by value before texts by their bytes.
    std::stable_sort(at.begin(), at.end(), [this](size_t a, size_t b) {
      const TCategory &x = FCategories[a], &y = FCategories[b];
      if (x.Numeric != y.Numeric) return x.Numeric;
      return x.Numeric ? x.Number < y.Number : x.Text < y.Text;
    });
  TQRChartData data;
  for (size_t i : at) data.Categories.push_back(FCategories[i].Text);
  for (size_t s = 0; s < aggregates.size(); ++s) {
    std::vector<double> values;
    values.reserve(at.size());
    for (size_t i : at) {
      const TCell cell = s < FCells.size() && i < FCells[s].size() ? FCells[s][i] : TCell{};
      double v = kNaN;
      if (cell.Records > 0) switch (aggregates[s]) {
          case caSum: v = cell.Sum; break;
          case caCount: v = static_cast<double>(cell.Records); break;
          case caAverage: v = cell.Values ? cell.Sum / cell.Values : kNaN; break;
          case caMin: v = cell.Values ? cell.Min : kNaN; break;
          case caMax: v = cell.Values ? cell.Max : kNaN; break;
        }
      values.push_back(v);
    }
    data.Values.push_back(std::move(values));
  }
  return data;
}

// ---------------------------------------------------------------------------
// TQRChart

RPT_BEGIN_CLASS(TQRChart, TQRPrintable)
  c.Property("CategoryAxisTitle", &TQRChart::CategoryAxisTitle, &TQRChart::SetCategoryAxisTitle);
  c.Property("CategoryOrder", &TQRChart::CategoryOrder, &TQRChart::SetCategoryOrder);
  c.Property("ChartType", &TQRChart::ChartType, &TQRChart::SetChartType);
  c.Property("Color", &TQRChart::Color, &TQRChart::SetColor);
  c.Property("Font", &TQRChart::Font, &TQRChart::SetFont);
  c.Property("LegendPosition", &TQRChart::LegendPosition, &TQRChart::SetLegendPosition).Default(lpRight);
  c.Property("Mask", &TQRChart::Mask, &TQRChart::SetMask);
  c.Property("Series", &TQRChart::Series, &TQRChart::SetSeries);
  c.Property("ShowValues", &TQRChart::ShowValues, &TQRChart::SetShowValues);
  c.Property("Title", &TQRChart::Title, &TQRChart::SetTitle);
  c.Property("Transparent", &TQRChart::Transparent, &TQRChart::SetTransparent);
  c.Property("ValueAxisTitle", &TQRChart::ValueAxisTitle, &TQRChart::SetValueAxisTitle);
RPT_END_CLASS

TQRChart::TQRChart() : FSeries(std::make_unique<TQRChartSeriesList>(this)) {
  SetOpaque(true);
  SetBounds(Left(), Top(), 240, 160);
}

TQRChart::~TQRChart() = default;

void TQRChart::SetChartType(TQRChartType value) {
  FChartType = value;
  Invalidate();
}
void TQRChart::SetTitle(const std::string& value) {
  FTitle = value;
  Invalidate();
}
void TQRChart::SetLegendPosition(TQRLegendPosition value) {
  FLegendPosition = value;
  Invalidate();
}
void TQRChart::SetCategoryAxisTitle(const std::string& value) {
  FCategoryAxisTitle = value;
  Invalidate();
}
void TQRChart::SetValueAxisTitle(const std::string& value) {
  FValueAxisTitle = value;
  Invalidate();
}
void TQRChart::SetShowValues(bool value) {
  FShowValues = value;
  Invalidate();
}
void TQRChart::SetMask(const std::string& value) {
  FMask = value;
  Invalidate();
}
void TQRChart::SetCategoryOrder(TQRCategoryOrder value) {
  FCategoryOrder = value;
  Invalidate();
}

std::string TQRChart::ValueText(double value) const { return FormatNumericMask(FMask, value); }

TQRChartData TQRChart::Data() const {
  std::vector<TQRChartAggregate> aggregates;
  for (int i = 0; i < FSeries->Count(); ++i) aggregates.push_back(FSeries->Series(i)->Aggregate());
  TQRChartData data = FAccumulator.Data(aggregates, FCategoryOrder);
  for (int i = 0; i < FSeries->Count(); ++i) {
    const TQRChartSeries& s = *FSeries->Series(i);
    data.SeriesTitles.push_back(s.Title().empty() ? "Series " + std::to_string(i + 1) : s.Title());
    data.SeriesColors.push_back(s.Color());
  }
  return data;
}

TQRChartData TQRChart::SampleData() const {
  static const double kSample[] = {5, 8, 6, 9, 7, 4};
  static const char* const kNames[] = {"A", "B", "C", "D", "E", "F"};
  TQRChartData data;
  const size_t categories = FChartType == ctPie ? 5 : 6;
  for (size_t i = 0; i < categories; ++i) data.Categories.push_back(kNames[i]);
  const int series = FChartType == ctPie ? 1 : std::max(1, FSeries->Count());
  for (int s = 0; s < series; ++s) {
    const TQRChartSeries* item = s < FSeries->Count() ? FSeries->Series(s) : nullptr;
    data.SeriesTitles.push_back(item && !item->Title().empty() ? item->Title() : "Series " + std::to_string(s + 1));
    data.SeriesColors.push_back(item ? item->Color() : clNone);
    std::vector<double> values;
    for (size_t i = 0; i < categories; ++i) values.push_back(kSample[(i + 2 * s) % std::size(kSample)] * (1 - 0.15 * (s % 4)));
    data.Values.push_back(std::move(values));
  }
  return data;
}

// ---------------------------------------------------------------------------
// Drawing

TQRChartLayout TQRChart::Draw(TCanvas& canvas, const TRectF& box, const TQRChartData& given, int32_t zoom) const {
  TQRChartLayout layout;
  // Values beyond any axis (an overflowing sum) are not drawn, as a missing one.
  TQRChartData data = given;
  for (std::vector<double>& series : data.Values)
    for (double& v : series)
      if (!std::isfinite(v) || std::abs(v) > 1e300) v = kNaN;
  if (box.Right - box.Left < 8 || box.Bottom - box.Top < 8) return layout;
  const bool pie = FChartType == ctPie;
  auto useFont = [&](bool bold, int32_t extraPoints) {
    canvas.SetFont(Font());
    if (zoom != 100)
      canvas.Font()->SetPixelsPerInch(std::max(1, Px(Font()->PixelsPerInch() * 100.0 / std::max(1, zoom))));
    if (extraPoints) canvas.Font()->SetSize(Font()->Size() + extraPoints);
    if (bold) canvas.Font()->SetStyle(Font()->Style() + TFontStyles{fsBold});
    canvas.Brush()->SetStyle(bsClear);
  };
  auto width = [&](const std::string& text) { return canvas.TextExtentF(text).Width; };
  auto text = [&](double x, double y, const std::string& s) { canvas.TextOut(Px(x), Px(y), s); };
  useFont(false, 0);
  const double lineH = std::max(1.0, canvas.TextExtentF("Ag").Height);
  const double pad = lineH * 0.4;
  TRectF area{box.Left + pad, box.Top + pad, box.Right - pad, box.Bottom - pad};
  const TColor textColor = Font()->Color();

  if (!FTitle.empty()) {
    useFont(true, 2);
    const TTextExtentF e = canvas.TextExtentF(FTitle);
    const TRect clip{Px(box.Left), Px(area.Top), Px(box.Right), Px(area.Top + e.Height)};
    canvas.TextRect(clip, Px(std::max(area.Left, (area.Left + area.Right - e.Width) / 2)), Px(area.Top), FTitle);
    area.Top += e.Height + pad;
    useFont(false, 0);
  }

  // The pie shows the first series; it draws the categories with a positive value.
  const std::vector<double>* pieValues = pie && !data.Values.empty() ? &data.Values[0] : nullptr;
  double pieTotal = 0;
  if (pieValues)
    for (double v : *pieValues)
      if (v > 0) pieTotal += v;
  const bool noData = data.Empty() || (pie && !(pieTotal > 0));
  auto seriesColor = [&](size_t s) {
    return s < data.SeriesColors.size() && data.SeriesColors[s] != clNone ? data.SeriesColors[s] : ChartPaletteColor(s);
  };
  // Slices take the palette in turn, so neighbours differ in lightness; categories
  // left out of the pie take no colour.
  std::vector<TColor> sliceColors;
  if (pieValues)
    for (size_t i = 0, shown = 0; i < pieValues->size(); ++i)
      sliceColors.push_back((*pieValues)[i] > 0 ? ChartPaletteColor(shown++) : clNone);
  auto sliceColor = [&](size_t i) { return sliceColors[i]; };

  // Legend: the series, or a pie's categories.
  struct TEntry {
    std::string Text;
    TColor Color;
  };
  std::vector<TEntry> entries;
  if (!noData && FLegendPosition != lpNone) {
    if (pie) {
      for (size_t i = 0; i < data.Categories.size(); ++i)
        if ((*pieValues)[i] > 0) entries.push_back({data.Categories[i], sliceColor(i)});
    } else {
      for (size_t s = 0; s < data.SeriesTitles.size(); ++s) entries.push_back({data.SeriesTitles[s], seriesColor(s)});
    }
  }
  const double swatch = lineH * 0.7, rowH = lineH * 1.15;
  auto drawEntry = [&](const TEntry& e, double x, double y, double maxRight) {
    Fill(canvas, e.Color);
    canvas.FillRectsF({{x, y + (lineH - swatch) / 2, x + swatch, y + (lineH + swatch) / 2}});
    canvas.Brush()->SetStyle(bsClear);
    canvas.Font()->SetColor(textColor);
    const TRect clip{Px(x + swatch), Px(y), Px(maxRight), Px(y + lineH)};
    canvas.TextRect(clip, Px(x + swatch + pad), Px(y), e.Text);
  };
  if (!entries.empty() && FLegendPosition == lpRight) {
    double widest = 0;
    for (const TEntry& e : entries) widest = std::max(widest, width(e.Text));
    const double legendW = std::min(widest + swatch + 2 * pad, (area.Right - area.Left) * 0.4);
    const double left = area.Right - legendW;
    const size_t fits = static_cast<size_t>(std::max(0.0, std::floor((area.Bottom - area.Top) / rowH)));
    const size_t shown = std::min(entries.size(), fits);
    double y = area.Top + std::max(0.0, (area.Bottom - area.Top - shown * rowH) / 2);
    for (size_t i = 0; i < shown; ++i, y += rowH) {
      // The last row that fits says how many more there are.
      if (i + 1 == shown && shown < entries.size()) {
        canvas.Font()->SetColor(textColor);
        const TRect clip{Px(left), Px(y), Px(area.Right), Px(y + lineH)};
        canvas.TextRect(clip, Px(left), Px(y), Format("+%d more", int(entries.size() - shown + 1)));
        break;
      }
      drawEntry(entries[i], left, y, area.Right);
    }
    area.Right = left - pad;
  } else if (!entries.empty()) {
    // Rows of entries side by side, at most a third of the height.
    std::vector<std::vector<std::pair<size_t, double>>> rows(1);
    double x = 0;
    const double rowW = area.Right - area.Left;
    for (size_t i = 0; i < entries.size(); ++i) {
      const double w = std::min(rowW, swatch + pad + width(entries[i].Text) + 2 * pad);
      if (x > 0 && x + w > rowW) {
        rows.emplace_back();
        x = 0;
      }
      rows.back().push_back({i, w});
      x += w;
    }
    const size_t maxRows = std::max<size_t>(1, static_cast<size_t>((area.Bottom - area.Top) / 3 / rowH));
    if (rows.size() > maxRows) rows.resize(maxRows);
    const double legendH = rows.size() * rowH;
    double y = FLegendPosition == lpTop ? area.Top : area.Bottom - legendH;
    for (const auto& row : rows) {
      double rowWidth = 0;
      for (const auto& [i, w] : row) rowWidth += w;
      double left = area.Left + std::max(0.0, (rowW - rowWidth) / 2);
      for (const auto& [i, w] : row) {
        drawEntry(entries[i], left, y, left + w - pad);
        left += w;
      }
      y += rowH;
    }
    if (FLegendPosition == lpTop) area.Top += legendH + pad;
    else area.Bottom -= legendH + pad;
  }

  auto noDataText = [&](const TRectF& r) {
    layout.NoData = true;
    layout.Plot = r;
    canvas.Brush()->SetStyle(bsClear);
    canvas.Font()->SetColor(clGray);
    const std::string s = "No data";
    const TTextExtentF e = canvas.TextExtentF(s);
    text((r.Left + r.Right - e.Width) / 2, (r.Top + r.Bottom - e.Height) / 2, s);
  };
  if (area.Right - area.Left < 4 || area.Bottom - area.Top < 4) return layout;

  if (pie) {
    const double cx = (area.Left + area.Right) / 2, cy = (area.Top + area.Bottom) / 2;
    const double r = std::max(1.0, std::min(area.Right - area.Left, area.Bottom - area.Top) / 2 - pad / 2);
    layout.Plot = {cx - r, cy - r, cx + r, cy + r};
    if (noData) {
      // An empty circle with the words in it: zero, negative or no values.
      canvas.Pen()->SetStyle(psSolid);
      canvas.Pen()->SetWidth(1);
      canvas.Pen()->SetColor(clSilver);
      canvas.Brush()->SetStyle(bsClear);
      canvas.Ellipse(Px(cx - r), Px(cy - r), Px(cx + r), Px(cy + r));
      noDataText(layout.Plot);
      return layout;
    }
    const double twoPi = 2 * std::numbers::pi;
    double angle = -std::numbers::pi / 2;
    std::vector<double> bounds;
    for (size_t i = 0; i < pieValues->size(); ++i) {
      const double v = (*pieValues)[i];
      if (!(v > 0)) continue;
      const double sweep = v / pieTotal * twoPi;
      std::vector<TPointF> points;
      if (sweep < twoPi - 1e-9) points.push_back({cx, cy});
      const int steps = std::max(2, static_cast<int>(std::ceil(sweep / (std::numbers::pi / 90))));
      for (int k = 0; k <= steps; ++k) {
        const double a = angle + sweep * k / steps;
        points.push_back({cx + r * std::cos(a), cy + r * std::sin(a)});
      }
      Fill(canvas, sliceColor(i));
      canvas.FillPolygonF(points);
      ++layout.Slices;
      bounds.push_back(angle);
      if (FShowValues) {
        const std::string label = ValueText(v);
        const TTextExtentF e = canvas.TextExtentF(label);
        const double mid = angle + sweep / 2, lr = r * 0.66;
        // Only where the slice is wide enough at that radius for the text.
        if (sweep * lr >= std::max(e.Width * 0.9, e.Height * 1.4) && e.Width < r * 0.9) {
          canvas.Brush()->SetStyle(bsClear);
          canvas.Font()->SetColor(Luma(sliceColor(i)) < 128 ? clWhite : clBlack);
          text(cx + lr * std::cos(mid) - e.Width / 2, cy + lr * std::sin(mid) - e.Height / 2, label);
        }
      }
      angle += sweep;
    }
    if (bounds.size() > 1) {
      Fill(canvas, clWhite);
      for (double a : bounds) Stroke(canvas, {cx, cy}, {cx + r * std::cos(a), cy + r * std::sin(a)}, std::max(1.0, r / 80));
    }
    return layout;
  }

  // Axis charts. Room below for the category labels and the axis title, above for the
  // value axis title.
  if (!FValueAxisTitle.empty()) {
    canvas.Font()->SetColor(textColor);
    const TRect clip{Px(area.Left), Px(area.Top), Px(area.Right), Px(area.Top + lineH)};
    canvas.TextRect(clip, Px(area.Left), Px(area.Top), FValueAxisTitle);
    area.Top += lineH + pad / 2;
  }
  if (!FCategoryAxisTitle.empty()) {
    area.Bottom -= lineH;
    const double w = width(FCategoryAxisTitle);
    canvas.Font()->SetColor(textColor);
    const TRect clip{Px(area.Left), Px(area.Bottom), Px(area.Right), Px(area.Bottom + lineH)};
    canvas.TextRect(clip, Px(std::max(area.Left, (area.Left + area.Right - w) / 2)), Px(area.Bottom),
                    FCategoryAxisTitle);
    area.Bottom -= pad / 2;
  }
  const double labelsTop = area.Bottom - lineH;
  TRectF plot{area.Left, area.Top + lineH / 2, area.Right, labelsTop - pad / 2};
  if (noData || plot.Bottom - plot.Top < lineH) {
    canvas.Pen()->SetStyle(psSolid);
    canvas.Pen()->SetWidth(1);
    canvas.Pen()->SetColor(clSilver);
    canvas.Brush()->SetStyle(bsClear);
    canvas.Rectangle(Px(area.Left), Px(area.Top), Px(area.Right), Px(area.Bottom));
    noDataText(area);
    return layout;
  }

  const size_t n = data.Categories.size();
  const bool stacked = FChartType == ctStackedBar || FChartType == ctArea;
  double lo = 0, hi = 0;
  for (size_t i = 0; i < n; ++i) {
    double up = 0, down = 0;
    for (const std::vector<double>& series : data.Values) {
      const double v = i < series.size() ? series[i] : kNaN;
      if (std::isnan(v)) continue;
      if (stacked) (v >= 0 ? up : down) += v;
      else lo = std::min(lo, v), hi = std::max(hi, v);
    }
    if (stacked) lo = std::min(lo, down), hi = std::max(hi, up);
  }
  // Value labels need a line of room beyond the longest bar.
  if (FShowValues) {
    const double room = (hi - lo) * lineH * 1.2 / std::max(1.0, plot.Bottom - plot.Top);
    if (hi > 0) hi += room;
    if (lo < 0) lo -= room;
  }
  const int maxTicks = std::max(2, static_cast<int>((plot.Bottom - plot.Top) / (lineH * 1.8)) + 1);
  const std::vector<double> ticks = NiceTicks(lo, hi, std::min(maxTicks, 11));
  layout.Ticks = ticks;
  double axisW = 0;
  for (double t : ticks) axisW = std::max(axisW, width(ValueText(t)));
  plot.Left = area.Left + axisW + pad;
  if (plot.Right - plot.Left < 4) plot.Left = area.Left;
  layout.Plot = plot;
  const double t0 = ticks.front(), t1 = ticks.back(), plotH = plot.Bottom - plot.Top;
  auto yOf = [&](double v) { return plot.Bottom - (v - t0) / (t1 - t0) * plotH; };
  const double zeroY = yOf(std::clamp(0.0, t0, t1));
  layout.ZeroY = zeroY;

  // Grid and tick labels.
  for (double t : ticks) {
    const double y = yOf(t);
    Fill(canvas, TColor(0xE0E0E0));
    canvas.FillRectsF({{plot.Left, y - 0.5, plot.Right, y + 0.5}});
    const std::string s = ValueText(t);
    canvas.Brush()->SetStyle(bsClear);
    canvas.Font()->SetColor(textColor);
    text(plot.Left - pad - width(s), y - lineH / 2, s);
  }

  const double band = (plot.Right - plot.Left) / std::max<size_t>(1, n);
  // Every stride-th category is named (and a line's value shown), the stride from the
  // widest name.
  double widest = 0;
  std::vector<double> widths(n);
  for (size_t i = 0; i < n; ++i) widest = std::max(widest, widths[i] = width(data.Categories[i]));
  const double gap = pad;
  const size_t stride =
      band > 0 ? static_cast<size_t>(std::clamp(std::ceil((widest + gap) / band), 1.0, double(std::max<size_t>(1, n))))
               : std::max<size_t>(1, n);
  const size_t seriesCount = data.Values.size();
  const double lineW = std::max(1.0, lineH / 7);
  std::vector<double> up(n, 0), down(n, 0);
  struct TValueLabel {
    double X, Y;  // centre, top
    std::string Text;
    TColor Color;
  };
  std::vector<TValueLabel> valueLabels;
  // Stacked bars and areas sum the series in order; bars stand side by side.
  for (size_t s = 0; s < seriesCount; ++s) {
    const std::vector<double>& values = data.Values[s];
    const TColor color = seriesColor(s);
    auto value = [&](size_t i) { return i < values.size() ? values[i] : kNaN; };
    if (FChartType == ctBar || FChartType == ctStackedBar) {
      const double group = band * 0.75;
      const double barW = FChartType == ctBar ? group / seriesCount : group;
      std::vector<TRectF> bars;
      for (size_t i = 0; i < n; ++i) {
        const double v = value(i);
        if (std::isnan(v)) continue;
        const double x = plot.Left + i * band + (band - group) / 2 + (FChartType == ctBar ? s * barW : 0);
        double from = 0, to = v;
        if (FChartType == ctStackedBar) {
          double& base = v >= 0 ? up[i] : down[i];
          from = base, to = base + v;
          base = to;
        }
        const double y1 = yOf(from), y2 = yOf(to);
        TRectF bar{x, std::min(y1, y2), x + barW, std::max(y1, y2)};
        bars.push_back(bar);
        if (!FShowValues) continue;
        const std::string label = ValueText(v);
        const double w = width(label);
        if (FChartType == ctBar && w <= (seriesCount == 1 ? band : barW * 1.1))
          valueLabels.push_back({x + barW / 2, v >= 0 ? bar.Top - lineH : bar.Bottom, label, textColor});
        else if (FChartType == ctStackedBar && w <= band && bar.Bottom - bar.Top >= lineH)
          valueLabels.push_back({x + barW / 2, (bar.Top + bar.Bottom - lineH) / 2, label,
                                 Luma(color) < 128 ? clWhite : clBlack});
      }
      Fill(canvas, color);
      canvas.FillRectsF(bars);
      layout.Bars.insert(layout.Bars.end(), bars.begin(), bars.end());
    } else {
      // Lines and areas through the middle of each category.
      std::vector<TPointF> top(n), base(n);
      for (size_t i = 0; i < n; ++i) {
        const double x = plot.Left + (i + 0.5) * band, v = value(i);
        if (FChartType == ctArea) {
          const double b = up[i];
          up[i] += std::isnan(v) ? 0 : v;
          base[i] = {x, yOf(b)};
          top[i] = {x, yOf(up[i])};
        } else {
          top[i] = {x, std::isnan(v) ? kNaN : yOf(v)};
        }
        if (FShowValues && !std::isnan(v) && i % stride == 0)
          valueLabels.push_back({x, top[i].Y - lineH - lineW, ValueText(v), textColor});
      }
      Fill(canvas, color);
      if (FChartType == ctArea && n > 0) {
        std::vector<TPointF> shape;
        // A single category spans its band.
        if (n == 1) {
          shape = {{plot.Left, top[0].Y}, {plot.Right, top[0].Y}, {plot.Right, base[0].Y}, {plot.Left, base[0].Y}};
        } else {
          shape.assign(top.begin(), top.end());
          shape.insert(shape.end(), base.rbegin(), base.rend());
        }
        canvas.FillPolygonF(shape);
      } else {
        for (size_t i = 0; i + 1 < n; ++i)
          if (!std::isnan(top[i].Y) && !std::isnan(top[i + 1].Y)) Stroke(canvas, top[i], top[i + 1], lineW);
        // Markers, so a lone point shows too; fewer when they would touch.
        if (band >= lineW * 4 || n == 1) {
          std::vector<TRectF> marks;
          const double m = lineW * 1.6;
          for (const TPointF& p : top)
            if (!std::isnan(p.Y)) marks.push_back({p.X - m, p.Y - m, p.X + m, p.Y + m});
          canvas.FillRectsF(marks);
        }
      }
    }
  }

  // Axis lines: the zero line over the bars, the value axis at the left.
  Fill(canvas, clBlack);
  canvas.FillRectsF({{plot.Left, zeroY - lineW / 4 - 0.25, plot.Right, zeroY + lineW / 4 + 0.25},
                     {plot.Left - 0.5, plot.Top, plot.Left + 0.5, plot.Bottom}});

  // Category labels: every stride-th, the stride from the widest label, so that no two
  // drawn labels touch; each label is also kept from the previous one and the box.
  canvas.Font()->SetColor(textColor);
  canvas.Brush()->SetStyle(bsClear);
  double lastRight = -std::numeric_limits<double>::infinity();
  for (size_t i = 0; i < n; i += stride) {
    const double cx = plot.Left + (i + 0.5) * band;
    const double w = std::min(widths[i], box.Right - box.Left);
    double left = std::clamp(cx - w / 2, box.Left, box.Right - w);
    if (left < lastRight + gap) continue;
    const TRectF r{left, labelsTop, left + w, labelsTop + lineH};
    canvas.TextRect({Px(r.Left), Px(r.Top), Px(r.Right) + 1, Px(r.Bottom)}, Px(left), Px(labelsTop), data.Categories[i]);
    layout.CategoryLabels.push_back(r);
    lastRight = r.Right;
  }
  // Value labels: those that do not overlap one drawn before.
  std::vector<TRectF> taken;
  for (const TValueLabel& l : valueLabels) {
    const double w = width(l.Text);
    const TRectF r{l.X - w / 2, l.Y, l.X + w / 2, l.Y + lineH};
    if (r.Left < box.Left || r.Right > box.Right || r.Top < box.Top) continue;
    bool clash = false;
    for (const TRectF& t : taken)
      if (r.Left < t.Right && t.Left < r.Right && r.Top < t.Bottom && t.Top < r.Bottom) {
        clash = true;
        break;
      }
    if (clash) continue;
    taken.push_back(r);
    canvas.Font()->SetColor(l.Color);
    text(r.Left, r.Top, l.Text);
  }
  return layout;
}

void TQRChart::Paint() {
  TCanvas* canvas = Canvas();
  if (InGeneration() || !canvas) return;
  PaintPrintable(*canvas);
  if (Opaque()) {
    canvas->Brush()->SetStyle(bsSolid);
    canvas->Brush()->SetColor(Color());
    canvas->FillRect({0, 0, Width(), Height()});
  }
  Draw(*canvas, {0, 0, double(Width()), double(Height())}, SampleData(), FZoom);
  PaintFrameAndCornerMarks(*canvas);
}

// ---------------------------------------------------------------------------
// Generation

TQRCustomController* TQRChart::ScopeController(bool& resetAfterPrint) const {
  resetAfterPrint = false;
  if (!FReport) return nullptr;
  TQRCustomBand* band = ParentBand();
  // A child band covers what the band it continues covers.
  for (int depth = 0; depth < 64; ++depth) {
    auto* child = dynamic_cast<TQRChildBand*>(band);
    if (!child || !child->ParentBand()) break;
    band = child->ParentBand();
  }
  if (band) {
    for (TQRCustomBand* b : FReport->BandList()) {
      if (auto* group = dynamic_cast<TQRGroup*>(b); group && group->FooterBand() == band) {
        resetAfterPrint = true;
        if (auto* owner = dynamic_cast<TQRControllerBand*>(group->Master())) return owner->Controller();
        return FReport->Controller();
      }
      if (auto* sub = dynamic_cast<TQRSubDetail*>(b); sub && sub->FooterBand() == band) {
        resetAfterPrint = true;
        return sub->Controller();
      }
    }
  }
  // The summary: every record of the report. Anywhere else: every record printed so far.
  return FReport->Controller();
}

void TQRChart::Prepare(TQRPrinter* printer) {
  TQRPrintable::Prepare(printer);
  FRuns.clear();
  for (int i = 0; i < FSeries->Count(); ++i) {
    const TQRChartSeries& s = *FSeries->Series(i);
    TSeriesRun run;
    run.Category = std::make_unique<TQREvaluator>();
    run.Value = std::make_unique<TQREvaluator>();
    for (TQREvaluator* e : {run.Category.get(), run.Value.get()}) {
      e->SetDataSetList(FReport ? FReport->RunDataSets() : nullptr);
      e->SetLocalEnvironment(FReport ? FReport->Functions() : nullptr);
    }
    run.Category->Compile(s.Category().empty() ? "''" : s.Category());
    if (!s.Value().empty()) run.Value->Compile(s.Value());
    FRuns.push_back(std::move(run));
  }
  FAccumulator.Reset(FRuns.size());
  FPrintedData = {};
  FPrintedLayout = {};
  if (TQRCustomController* controller = ScopeController(FResetAfterPrint)) controller->AddPrintNotify(this);
}

void TQRChart::Unprepare() {
  FRuns.clear();
  TQRPrintable::Unprepare();
}

void TQRChart::ReceiveNotice(TObject* sender, TQRNotifyOperation operation) {
  TQRPrintable::ReceiveNotice(sender, operation);
  if (operation != qrnDataAdvance) return;
  // A controller over no records still prints its empty structure once: no record to chart.
  if (const auto* controller = dynamic_cast<const TQRController*>(sender))
    if (const TDataSet* dataSet = controller->DataSet(); dataSet && dataSet->Active() && dataSet->IsEmpty()) return;
  for (size_t s = 0; s < FRuns.size() && s < size_t(FSeries->Count()); ++s) {
    TSeriesRun& run = FRuns[s];
    const TQREvValue category = run.Category->Evaluate();
    TQREvValue value;
    const bool hasValue = run.Value->Compiled();
    if (hasValue) value = run.Value->Evaluate();
    // A value that is no number is left out (and said once a pass); COUNT counts it.
    const TQRChartAggregate aggregate = FSeries->Series(int(s))->Aggregate();
    const bool bad = (category.IsError() || (hasValue && !value.IsNumeric() && aggregate != caCount) ||
                      (!hasValue && aggregate != caCount));
    if (bad && !run.Reported && FReport) {
      run.Reported = true;
      const std::string why = category.IsError() ? "its category gives an error: " + category.StrValue
                              : !hasValue       ? std::string("it has no value expression")
                              : value.IsError() ? "its value gives an error: " + value.StrValue
                                                : "its value is not a number: " + CategoryText(value);
      FReport->AddGenerationMessage(Format("%s: series %d is left out where %s", Name(), int(s + 1), why));
    }
    FAccumulator.Add(s, category, hasValue ? &value : nullptr);
  }
}

void TQRChart::PrintAt(double offsetX, double offsetY) {
  if (!IsPrintable()) return;
  FPrintedData = Data();
  if (FinalPass() && FPrinter && FPrinter->PageCanvas()) {
    TCanvas& canvas = *FPrinter->PageCanvas();
    const auto [left, top, width, height] = PrintedBox(offsetX, offsetY);
    PrintBackground(canvas, left, top, width, height);
    const double hs = FPrinter->HorzScale(), vs = FPrinter->VertScale();
    const double x0 = (left - FPrinter->DeviceLeftOffset()) * hs, y0 = (top - FPrinter->DeviceTopOffset()) * vs;
    FPrintedLayout = Draw(canvas, {x0, y0, x0 + width * hs, y0 + height * vs}, FPrintedData);
    TQRPrintable::PrintAt(offsetX, offsetY);
  }
  if (FResetAfterPrint) FAccumulator.Reset(FRuns.size());
}

}  // namespace rpt
