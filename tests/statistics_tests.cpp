// The overlay's frame rate and text.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <locale>
#include <string>

#include "walk/Statistics.h"

namespace vantrell {
namespace {

std::string rateLine(float framesPerSecond) {
    return statisticsText(0, 1, framesPerSecond, 0.0f);
}

TEST(FrameRate, StaysZeroForTheFirst29FramesThenMeasuresThirty) {
    FrameStatistics statistics;
    statistics.start(1000);
    for (int frame = 1; frame <= 29; ++frame) {
        statistics.countFrame(1000u + static_cast<std::uint32_t>(frame));
        EXPECT_EQ(statistics.framesPerSecond, 0.0f) << "frame " << frame;
        EXPECT_EQ(statistics.framesSinceRate, frame);
    }
    statistics.countFrame(1500);
    EXPECT_EQ(statistics.framesPerSecond, 60.0f);
    EXPECT_EQ(statistics.framesSinceRate, 0);
    EXPECT_EQ(statistics.lastRateTime, 1500u);
    EXPECT_EQ(statisticsText(0, 1, statistics.framesPerSecond, 0.0f), "SPs: 0/1\nFPS: 60\nHeight: 0");
}

TEST(FrameRate, SixSignificantDigitsAndTheNextMeasurementStartsAtTheLast) {
    FrameStatistics statistics;
    statistics.start(0);
    for (int frame = 1; frame <= 30; ++frame) statistics.countFrame(frame == 30 ? 497 : 0);
    EXPECT_EQ(rateLine(statistics.framesPerSecond), "SPs: 0/1\nFPS: 60.3622\nHeight: 0");
    // The second measurement runs from 497, not from the start.
    for (int frame = 1; frame <= 30; ++frame) statistics.countFrame(497 + 1000);
    EXPECT_EQ(statistics.framesPerSecond, 30.0f);
}

TEST(FrameRate, ElapsedTimeIsRightAcrossTheClockWrap) {
    FrameStatistics statistics;
    statistics.start(0xFFFFFF00u);  // 256 ms before the 32-bit clock wraps
    for (int frame = 1; frame < 30; ++frame) statistics.countFrame(0xFFFFFF00u);
    statistics.countFrame(244);  // 256 + 244 = 500 ms later
    EXPECT_EQ(statistics.framesPerSecond, 60.0f);
}

TEST(FrameRate, ThirtyFramesInOneMillisecondKeepThePreviousRate) {
    FrameStatistics statistics;
    statistics.start(0);
    for (int frame = 1; frame <= 30; ++frame) statistics.countFrame(500);
    ASSERT_EQ(statistics.framesPerSecond, 60.0f);
    for (int frame = 1; frame <= 30; ++frame) statistics.countFrame(500);
    EXPECT_EQ(statistics.framesPerSecond, 60.0f);
    EXPECT_EQ(statistics.framesSinceRate, 0);
    EXPECT_EQ(statistics.lastRateTime, 500u);

    // The very first measurement within one millisecond shows 0, not infinity.
    FrameStatistics fresh;
    fresh.start(7);
    for (int frame = 1; frame <= 30; ++frame) fresh.countFrame(7);
    EXPECT_EQ(fresh.framesPerSecond, 0.0f);
}

TEST(FrameRate, StartBeginsAFreshMeasurement) {
    FrameStatistics statistics;
    statistics.start(0);
    for (int frame = 1; frame <= 35; ++frame) statistics.countFrame(250);
    ASSERT_EQ(statistics.framesPerSecond, 120.0f);
    statistics.start(9000);
    EXPECT_EQ(statistics.framesPerSecond, 0.0f);
    EXPECT_EQ(statistics.framesSinceRate, 0);
    EXPECT_EQ(statistics.lastRateTime, 9000u);
}

TEST(StatisticsText, ThreeLinesInTheDefaultFloatFormat) {
    EXPECT_EQ(statisticsText(12, 87, 30000.0f / 504.0f, 1.0f), "SPs: 12/87\nFPS: 59.5238\nHeight: 1");
    EXPECT_EQ(statisticsText(0, 87, 0.0f, 0.5f), "SPs: 0/87\nFPS: 0\nHeight: 0.5");
    EXPECT_EQ(statisticsText(3, 3, 1234567.0f, -0.0001f), "SPs: 3/3\nFPS: 1.23457e+06\nHeight: -0.0001");
    EXPECT_EQ(statisticsText(1, 1, 60.0f, 0.00001f), "SPs: 1/1\nFPS: 60\nHeight: 1e-05");
    EXPECT_EQ(statisticsText(4294967295u, 2147483647, 100000.0f, 123456.7f),
              "SPs: 4294967295/2147483647\nFPS: 100000\nHeight: 123457");
}

// A locale with ',' as the decimal point and grouped thousands, like many users' own.
struct CommaNumbers : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
    char do_thousands_sep() const override { return '.'; }
    std::string do_grouping() const override { return "\3"; }
};

TEST(StatisticsText, IgnoresTheGlobalLocale) {
    const std::locale previous = std::locale::global(std::locale(std::locale::classic(), new CommaNumbers));
    const std::string text = statisticsText(1234, 5678, 59.5f, 0.5f);
    std::locale::global(previous);
    EXPECT_EQ(text, "SPs: 1234/5678\nFPS: 59.5\nHeight: 0.5");
}

TEST(FrameTimes, MeanAndWorstOfTheFramesThatEndedInTheLastSecond) {
    FrameTimes times;
    EXPECT_EQ(times.lastSecond(5000).frames, 0u);
    EXPECT_EQ(times.lastSecond(5000).meanMs, 0.0f);
    times.add(3000, 90.0f);  // more than a second before 4500: left out
    times.add(4000, 10.0f);
    times.add(4200, 30.0f);
    times.add(4500, 20.0f);
    times.add(4600, std::numeric_limits<float>::quiet_NaN());  // not recorded
    times.add(4600, -1.0f);
    FrameTimes::Summary s = times.lastSecond(4500);
    EXPECT_EQ(s.frames, 3u);
    EXPECT_FLOAT_EQ(s.meanMs, 20.0f);
    EXPECT_EQ(s.worstMs, 30.0f);
    // Exactly one second old is out; frames filed after now are not counted either.
    s = times.lastSecond(5000);
    EXPECT_EQ(s.frames, 2u);
    EXPECT_EQ(times.lastSecond(4100).frames, 1u);
}

TEST(FrameTimes, KeepsTheLatestFramesAndSurvivesTheClocksWrap) {
    FrameTimes times;
    const std::uint32_t start = 0xFFFFFF00u;  // wraps after 256 ms
    for (std::size_t k = 0; k < 3 * FrameTimes::capacity; ++k) {
        times.add(start + static_cast<std::uint32_t>(k / 4), k < 2 * FrameTimes::capacity ? 100.0f : 1.0f);
    }
    const FrameTimes::Summary s = times.lastSecond(start + static_cast<std::uint32_t>(3 * FrameTimes::capacity / 4));
    EXPECT_EQ(s.frames, FrameTimes::capacity);
    EXPECT_EQ(s.worstMs, 1.0f);  // only the latest capacity frames are kept
}

}  // namespace
}  // namespace vantrell
