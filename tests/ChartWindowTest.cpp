// The chart's gestures and drawing rules without a widget: the time window
// under zoom, pan, wheel and a picked rectangle, the keys and buttons, a
// strip's value range, the shading of periods outside the limits and the
// strips' layout.
#include "viewer/ChartWindow.h"
#include "viewer/ChartAxes.h"
#include "viewer/ChartLayout.h"
#include "viewer/Limits.h"

#include "support/TestSupport.h"

#include <tuple>

using namespace tarvek;

namespace {

// The plot band of the rows below: 100 pixels from x = 10.
constexpr PlotBand Band{10, 100};

struct WindowCase {
    const char* name;
    ChartWindow start;
    enum { Zoom, Wheel, Pan, Pick } gesture;
    double a, b; // Zoom: factor, anchor; Wheel: angle, x; Pan: fraction; Pick: x1, x2
    qint64 from, to;
};

class ChartWindowTable : public ::testing::TestWithParam<WindowCase> {};

TEST_P(ChartWindowTable, GivesTheWindowShownNext) {
    const WindowCase& c = GetParam();
    const ChartWindow next = c.gesture == WindowCase::Zoom ? c.start.Zoomed(c.a, c.b)
                             : c.gesture == WindowCase::Wheel
                                 ? c.start.Zoomed(WheelFactor(int(c.a)), AnchorAt(c.b, Band))
                             : c.gesture == WindowCase::Pan ? c.start.Panned(c.a)
                                                            : c.start.Picked(c.a, c.b, Band);
    EXPECT_EQ(std::tie(next.from, next.to), std::tie(c.from, c.to));
}

INSTANTIATE_TEST_SUITE_P(
    Gestures, ChartWindowTable,
    ::testing::Values(
        WindowCase{"ZoomInToHalfAtTheCentre", {0, 1000}, WindowCase::Zoom, 0.5, 0.5, 250, 750},
        WindowCase{"ZoomKeepsTheAnchoredInstant", {0, 1000}, WindowCase::Zoom, 0.5, 0.2, 100, 600},
        WindowCase{"WheelNotchInAtTheRightEdge", {0, 10000}, WindowCase::Wheel, 120, 110, 2000, 10000},
        WindowCase{"WheelNotchOutLeftOfThePlot", {0, 10000}, WindowCase::Wheel, -120, 0, 0, 12500},
        WindowCase{"PanForwardATenth", {0, 1000}, WindowCase::Pan, 0.1, 0, 100, 1100},
        WindowCase{"PickedPartOfTheBand", {1000, 2000}, WindowCase::Pick, 35, 60, 1250, 1500},
        WindowCase{"PickedNothingIsASecond", {0, 1000}, WindowCase::Pick, 20, 20, 100, 1100}),
    RowName);

// "=" zooms in, "-" out, Left pans back, Home resets, other keys pass on.
// The middle button, or the left one with Shift, pans; the left one zooms; a
// rectangle under 3 pixels either way is a click; a picked rectangle's
// edges read the values of its strip.
TEST(ChartInput, KeysAndButtonsDoWhatTheySayAndARectangleIsPicked) {
    EXPECT_TRUE(
        (std::vector{KeyActionOf(Qt::Key_Equal), KeyActionOf(Qt::Key_Minus), KeyActionOf(Qt::Key_Left),
                     KeyActionOf(Qt::Key_Home), KeyActionOf(Qt::Key_Up)}) ==
        (std::vector<KeyAction>{
            {KeyAction::Zoom, 0.5}, {KeyAction::Zoom, 2.0}, {KeyAction::Pan, -0.1}, {KeyAction::Reset}, {}}));
    EXPECT_EQ(DragStartedBy(Qt::MiddleButton, Qt::NoModifier), ChartDrag::Pan);
    EXPECT_EQ(DragStartedBy(Qt::LeftButton, Qt::ShiftModifier), ChartDrag::Pan);
    EXPECT_EQ(DragStartedBy(Qt::LeftButton, Qt::ControlModifier), ChartDrag::Zoom);
    EXPECT_EQ(DragStartedBy(Qt::RightButton, Qt::ShiftModifier), ChartDrag::None);
    EXPECT_EQ((std::array{EndsZoomRectangle(Qt::RightButton), IsPickedRectangle(QRectF(0, 0, 3, 3)),
                          IsPickedRectangle(QRectF(0, 0, 2.9, 50)), IsPickedRectangle(QRectF(0, 0, 50, 2))}),
              (std::array{false, true, false, false}));
    EXPECT_DOUBLE_EQ(ValueAt(170, QRectF(10, 20, 100, 200), -5, 15), 0);
}

// A range the user picked is shown exactly; otherwise the strip's traces
// and limits fitted on whole steps of the axis.
TEST(StripRange, ShowsAPickedRangeExactlyAndAFittedOneOnWholeSteps) {
    std::array<Trace, ChannelCount> traces;
    traces[0].points = {{0, -4}, {1, 10}}, traces[1].points = {{0, 2}}, traces[2].points = {{0, 40}};
    ChannelInfos infos;
    infos[1].limits.above = 18, infos[2].limits.below = -50;
    const StripValues picked = StripRange({0, 1}, traces, infos, std::pair(2.5, 3.25), 5);
    EXPECT_EQ(std::tie(picked.low, picked.high), std::make_tuple(2.5, 3.25));
    EXPECT_LT(picked.scale.step, 0.75);
    const StripValues fitted = StripRange({0, 1}, traces, infos, std::nullopt, 5);
    EXPECT_EQ(std::tie(fitted.low, fitted.high, fitted.scale.step), std::make_tuple(-10.0, 20.0, 5.0));
}

struct ShadeCase {
    const char* name;
    std::vector<LimitPeriod> periods;
    std::vector<std::pair<double, double>> bands; // of channel 1, above, a record a pixel
};

class ShadeBandTable : public ::testing::TestWithParam<ShadeCase> {};

TEST_P(ShadeBandTable, ShadesEachPeriodAPixelWiderAndMergesNeighbours) {
    const auto xOf = [](qint64 record) { return double(record); };
    EXPECT_EQ(ShadeBands(GetParam().periods, 1, true, xOf), GetParam().bands);
}

LimitPeriod Above(qint64 first, qint64 last, int channel = 1, bool above = true) {
    return {channel, above, first, last, first, last - first + 1};
}

INSTANTIATE_TEST_SUITE_P(
    Periods, ShadeBandTable,
    ::testing::Values(ShadeCase{"One", {Above(2, 4)}, {{1, 5}}},
                      ShadeCase{"OneRecordIsTwoWide", {Above(7, 7)}, {{6, 8}}},
                      ShadeCase{"APixelApartAreOne", {Above(2, 4), Above(6, 8)}, {{1, 9}}},
                      ShadeCase{"FartherApartAreTwo", {Above(2, 4), Above(8, 9)}, {{1, 5}, {7, 10}}},
                      ShadeCase{"OtherSideAndChannelLeftOut",
                                {Above(2, 4, 1, false), Above(6, 8, 2), Above(20, 20)},
                                {{19, 21}}}),
    RowName);

// The strips' places with text 6 pixels a character and lines of 10, in a
// chart of 400 x 300 with 30 pixels for the value labels: plots from x = 36
// to 370, legend entries 26 pixels wider than their headings.
const TextMeasure SixPixels{[](const QString& text) { return 6.0 * double(text.size()); },
                            [](const QString& text, double width) { return text.left(int(width / 6)); }, 10};

struct LayoutCase {
    const char* name;
    std::vector<UnitGroup> groups;
    const char* layout; // "x,y wxh" per strip, then "k@x,y w text" per legend entry
};

class ChartLayoutTable : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(ChartLayoutTable, HeadsEachStripWithItsLegendAndSharesOutTheHeight) {
    ChannelInfos channels;
    for (int k = 0; k < ChannelCount; ++k)
        channels[k].name = QString("Ch.%1").arg(k + 1), channels[k].unit = "Bar";
    channels[6].name = QString(31, u'y');
    channels[7].name = QString(54, u'x');
    const ChartLayout layout = LayOutStrips({400, 300}, 30, SixPixels, GetParam().groups, channels);
    QStringList seen;
    for (const StripPlace& strip : layout.strips)
        seen += QString::asprintf("%g,%g %gx%g", strip.plot.x(), strip.plot.y(), strip.plot.width(),
                                  strip.plot.height());
    for (const LegendEntry& e : layout.legend)
        seen += QString::asprintf("%d@%g,%g %g ", e.channel, e.rect.x(), e.rect.y(), e.rect.width()) + e.text;
    EXPECT_EQ(seen.join("; "), GetParam().layout);
}

INSTANTIATE_TEST_SUITE_P(
    Strips, ChartLayoutTable,
    ::testing::Values(
        LayoutCase{"NothingShownIsOneEmptyStrip", {}, "36,21 334x253"},
        LayoutCase{"TheFourthEntryWraps",
                   {{"Bar", {0, 1, 2, 3}}},
                   "36,31 334x243; 0@36,6 86 Ch.1 [Bar]; 1@122,6 86 Ch.2 [Bar]; 2@208,6 86 Ch.3 [Bar]; "
                   "3@36,16 86 Ch.4 [Bar]"},
        LayoutCase{"OneLineOfLegendUpToTheRightEdge",
                   {{"Bar", {0, 6}}},
                   "36,21 334x253; 0@36,6 86 Ch.1 [Bar]; 6@122,6 248 yyyyyyyyyyyyyyyyyyyyyyyyyyyyyyy [Bar]"},
        LayoutCase{"TwoUnitsShareTheHeight",
                   {{"Bar", {0}}, {"mbar", {1}}},
                   "36,21 334x115; 36,159 334x115; 0@36,6 86 Ch.1 [Bar]; 1@36,144 86 Ch.2 [Bar]"},
        LayoutCase{"ALongHeadingIsCut",
                   {{"Bar", {7}}},
                   "36,21 334x253; 7@36,6 334 xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx"}),
    RowName);

// The value labels get the room they want ("-1000" and 8 pixels), a room
// within a pixel of it kept; laid out once more at most, though labels with
// decimals on a wider plot (the first layout) want more than they then get.
TEST(ChartLayout, GivesTheValueLabelsTheirRoomInOneMoreLayoutAtMost) {
    for (const auto& [axisWidth, wideDecimals, fitted] :
         {std::tuple{0.0, 0, "38: from 44, 12 steps, 2 layouts"},
          std::tuple{38.5, 0, "38.5: from 44.5, 12 steps, 1 layouts"},
          std::tuple{0.0, 3, "62: from 68, 12 steps, 2 layouts"}}) {
        int layouts = 0, steps = 0;
        const auto valuesOf = [&](const StripPlace& place, int maxTicks) {
            ++layouts, steps = maxTicks;
            return StripValues{{-1000, 1000, 500, place.plot.width() > 330 ? wideDecimals : 0}, -1000, 1000};
        };
        const FittedChart chart = FitStrips({400, 300}, axisWidth, SixPixels, {{"Bar", {0}}}, {}, valuesOf);
        EXPECT_EQ(QString::asprintf("%g: from %g, %d steps, %d layouts", chart.axisWidth,
                                    chart.strips[0].place.plot.x(), steps, layouts),
                  fitted);
    }
}

} // namespace
