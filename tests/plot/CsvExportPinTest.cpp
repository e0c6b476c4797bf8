// The debug page's CSV files held byte for byte on one known run of feedback: the plot's
// export of the 50 ms poll, the fast capture's export and the recording. A servo selected
// half-way changes the position divisor and the speed factor; the poll's lists roll past
// their capacity and the capture past its 10 s; answers go missing in between.
#include "plot/PlotCsv.h"
#include "servo/FeedbackRecorder.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

using Clock = CaptureSample::Clock;

struct Step {
    long long us;  // after the run began
    bool answered;
    Feedback f;
    int divisor;      // of the servo selected when it was read
    int speedFactor;
};

Feedback F(int position, int speed, int load, int target, int current, int fastSlow)
{
    return {position, speed, load, 74, 35, 0x25, 1, target, current, fastSlow};
}

Clock::time_point At(long long us)
{
    return Clock::time_point{} + std::chrono::hours(1) + std::chrono::microseconds(us);
}

CaptureSample Sample(const Step& s, long long offsetUs = 0)
{
    return {1, s.answered, At(offsetUs + s.us), s.f};
}

const std::vector<Step> kPolled = {
    {3'000, true, F(2047, 100, -300, 2047, 12, 50), 1, 10},
    {52'400, true, F(2100, -15, 1023, 3000, -7, -33), 1, 10},
    {101'999, false, {}, 1, 10},
    {150'700, true, F(-100, 0, -1000, 0, 0, 0), 1, 10},
    {203'100, true, F(511, -15, 20000, 4095, 0x12345, -16000), 4, 5},
    {251'000, true, F(20000, 333, 7, -9000, -600, 1), 4, 15},
    {300'900, false, {}, 4, 15},
    {349'001, true, F(1023, -1, -1, 1024, 1, -1), 4, 15},
};

const std::vector<Step> kCaptured = {
    {-400, true, F(2047, 100, -300, 2047, 12, 50), 1, 10},
    {250, true, F(2048, 101, -299, 2047, 13, 49), 1, 10},
    {1'180, true, F(2049, -15, 0, 2047, -7, 0), 1, 10},
    {1'900, false, {}, 1, 10},
    {2'777, true, F(2050, 7, 1023, 3000, 0x12345, -16000), 4, 15},
    {10'001'500, true, F(511, -15, 20000, 4095, -600, 1), 4, 15},
    {10'002'001, true, F(20000, 333, -1000, -9000, 0, -1), 4, 15},
};

// Within its 10 s: a sample from before the capture began counts from its start, one whose
// time goes back from the one before it.
const std::vector<Step> kCapturedShort = {
    {-400, true, F(2047, 100, -300, 2047, 12, 50), 1, 10},
    {250, true, F(2048, 101, -299, 2047, 13, 49), 1, 10},
    {1'180, true, F(2049, -15, 0, 2047, -7, 0), 1, 10},
    {1'000, true, F(2050, 7, 1023, 3000, 0x12345, -16000), 4, 15},
    {1'900, false, {}, 4, 15},
    {2'777, true, F(511, -15, 20000, 4095, -600, 1), 4, 15},
};

// The page's hand-over to its series, and the plot's exports of it; the only part of this
// file that follows the code's interfaces rather than its files.
std::string Export(const std::vector<Step>& steps, SampleKind kind, int capacity)
{
    FeedbackSamples series;
    series.SetPollKeep(capacity);
    series.StartCapture(At(0));
    for (const Step& s : steps) {
        series.SetScale({s.divisor, s.speedFactor});
        series.Add(Sample(s), kind);
    }
    return kind == SampleKind::Polled ? PlotCsv(PollLists(series)) : CaptureCsv(CaptureRows(series));
}

std::string PollExport(const std::vector<Step>& steps, int capacity)
{
    return Export(steps, SampleKind::Polled, capacity);
}

std::string CaptureExport(const std::vector<Step>& steps)
{
    return Export(steps, SampleKind::Captured, 1);
}

std::string Recording(const std::vector<Step>& polled, const std::vector<Step>& captured)
{
    const auto path = std::filesystem::temp_directory_path() /
                      ("pin-record-" + std::to_string(::getpid()) + ".csv");
    std::filesystem::remove(path);
    FeedbackRecorder recorder;
    std::string error;
    EXPECT_TRUE(recorder.Start(path.string(), error, At(0)));
    for (const Step& s : polled)
        EXPECT_TRUE(recorder.Add(s.answered ? &s.f : nullptr, error, At(s.us)));
    for (CaptureBlock block : {CaptureBlock::Full, CaptureBlock::Motion}) {
        std::vector<CaptureSample> samples;
        for (const Step& s : captured)
            samples.push_back(Sample(s, 400'000));
        EXPECT_TRUE(recorder.AddCaptured(samples, block, error));
    }
    recorder.Stop();
    std::stringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();  // closed before the removal
    std::filesystem::remove(path);
    return text.str();
}

TEST(CsvExportPin, PollExportByteForByte)
{
    const struct {
        int capacity;
        const char* csv;
    } cases[] = {
        {0, "index,time_ms_since_first_sample,position,load,speed,target,fast_slow,current\n"
            "0,346,4092,1998,1998,4096,1998,2002\n"},
        {4, "index,time_ms_since_first_sample,position,load,speed,target,fast_slow,current\n"
            "0,147,-100,0,2000,0,2000,2000\n"
            "1,200,2044,-23536,1986,16380,-14000,20058\n"
            "2,248,14464,2014,2998,29536,2002,800\n"
            "3,346,4092,1998,1998,4096,1998,2002\n"},
        {10, "index,time_ms_since_first_sample,position,load,speed,target,fast_slow,current\n"
             "0,0,2047,1400,2200,2047,2100,2024\n"
             "1,49,2100,4046,1970,3000,1934,1986\n"
             "2,147,-100,0,2000,0,2000,2000\n"
             "3,200,2044,-23536,1986,16380,-14000,20058\n"
             "4,248,14464,2014,2998,29536,2002,800\n"
             "5,346,4092,1998,1998,4096,1998,2002\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PollExport(kPolled, c.capacity), c.csv) << c.capacity;
}

TEST(CsvExportPin, CaptureExportByteForByte)
{
    const struct {
        const std::vector<Step>* steps;
        const char* csv;
    } cases[] = {
        {&kCaptured,
         "index,time_ms_since_first_sample,position,load,speed,target,fast_slow,current\n"
         "0,0.000,8200,4046,2020,12000,19536,20058\n"
         "1,9998.723,2044,-23536,1956,16380,2002,800\n"
         "2,9999.224,14464,0,2998,29536,1998,2000\n"},
        {&kCapturedShort,
         "index,time_ms_since_first_sample,position,load,speed,target,fast_slow,current\n"
         "0,0.000,2047,1400,2200,2047,2100,2024\n"
         "1,0.250,2048,1402,2202,2047,2098,2026\n"
         "2,1.180,2049,2000,1970,2047,2000,1986\n"
         "3,1.180,8200,4046,2020,12000,19536,20058\n"
         "4,2.777,2044,-23536,1956,16380,2002,800\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CaptureExport(*c.steps), c.csv) << c.steps->size();
}

TEST(CsvExportPin, RecordingByteForByte)
{
    EXPECT_EQ(Recording(kPolled, kCaptured),
              "time_ms,position,speed,load,voltage,temperature,moving,current,target,fast_slow,status\n"
              "3,2047,100,-300,7.4,35,1,12,2047,50,0x25\n"
              "52,2100,-15,1023,7.4,35,1,-7,3000,-33,0x25\n"
              "101,,,,,,,,,,timeout\n"
              "150,-100,0,-1000,7.4,35,1,0,0,0,0x25\n"
              "203,511,-15,20000,7.4,35,1,74565,4095,-16000,0x25\n"
              "251,20000,333,7,7.4,35,1,-600,-9000,1,0x25\n"
              "300,,,,,,,,,,timeout\n"
              "349,1023,-1,-1,7.4,35,1,1,1024,-1,0x25\n"
              "399.600,2047,100,-300,7.4,35,1,12,2047,50,0x25\n"
              "400.250,2048,101,-299,7.4,35,1,13,2047,49,0x25\n"
              "401.180,2049,-15,0,7.4,35,1,-7,2047,0,0x25\n"
              "401.900,,,,,,,,,,timeout\n"
              "402.777,2050,7,1023,7.4,35,1,74565,3000,-16000,0x25\n"
              "10401.500,511,-15,20000,7.4,35,1,-600,4095,1,0x25\n"
              "10402.001,20000,333,-1000,7.4,35,1,0,-9000,-1,0x25\n"
              "399.600,2047,100,-300,,,,,,,\n"
              "400.250,2048,101,-299,,,,,,,\n"
              "401.180,2049,-15,0,,,,,,,\n"
              "401.900,,,,,,,,,,timeout\n"
              "402.777,2050,7,1023,,,,,,,\n"
              "10401.500,511,-15,20000,,,,,,,\n"
              "10402.001,20000,333,-1000,,,,,,,\n");
}

}  // namespace
