// The feedback recording: rows as servoctl monitor --csv writes them, appended, and a write
// that fails part-way (the file-size limit) ending the recording with its whole rows kept.
#include "servo/FeedbackRecorder.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

std::string Temp(const char* name)
{
    const auto path = std::filesystem::temp_directory_path() /
                      (std::string(name) + "-" + std::to_string(::getpid()) + ".csv");
    std::filesystem::remove(path);
    return path.string();
}

std::string Read(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

using Clock = FeedbackRecorder::Clock;

TEST(FeedbackRecorder, OneRowPerPollALostAnswerItsOwnRowAndAppended)
{
    const std::string path = Temp("record");
    Feedback f;
    f.position = -100;
    f.speed = 15;
    f.load = 300;
    f.voltage = 74;
    f.temperature = 35;
    f.status = 0x25;
    f.moving = 1;
    f.target = 3000;
    f.current = -2;
    f.fastSlow = 7;
    FeedbackRecorder r;
    std::string error;
    const auto t0 = Clock::now();
    ASSERT_TRUE(r.Start(path, error, t0));
    EXPECT_TRUE(r.Add(&f, error, t0 + std::chrono::milliseconds(50)));
    EXPECT_TRUE(r.Add(nullptr, error, t0 + std::chrono::milliseconds(100)));
    r.Stop();
    EXPECT_TRUE(r.Add(&f, error));  // not recording: nothing written
    // A second recording into the same file adds rows under the same header.
    ASSERT_TRUE(r.Start(path, error, t0));
    EXPECT_TRUE(r.Add(nullptr, error, t0 + std::chrono::milliseconds(7)));
    r.Stop();
    EXPECT_EQ(Read(path),
              "time_ms,position,speed,load,voltage,temperature,moving,current,target,fast_slow,status\n"
              "50,-100,15,300,7.4,35,1,-2,3000,7,0x25\n"
              "100,,,,,,,,,,timeout\n"
              "7,,,,,,,,,,timeout\n");
    std::filesystem::remove(path);

    EXPECT_FALSE(r.Start("/nonexistent-folder/x.csv", error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(r.Start("/dev/full", error));  // the header can't be written
    EXPECT_FALSE(r.Recording());
}

TEST(FeedbackRecorder, AFailingWriteEndsTheRecordingAndTheWholeRowsStay)
{
    const std::string path = Temp("full");
    // Past the limit a write fails with EFBIG instead of the signal ending the process.
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit limited = old;
    limited.rlim_cur = 1000;
    FeedbackRecorder r;
    std::string error;
    ASSERT_TRUE(r.Start(path, error));
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    Feedback f;
    f.position = 2047;
    int added = 0;
    while (added < 1000 && r.Add(added % 3 ? &f : nullptr, error))
        ++added;
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(r.Recording());
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(r.Rows(), added);
    const std::string text = Read(path);
    EXPECT_LE(text.size(), 1000u);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n');  // no row cut short
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), added + 1);
    EXPECT_TRUE(r.Add(&f, error));  // ended: later polls write nothing
    EXPECT_EQ(Read(path), text);
    std::filesystem::remove(path);
}

}  // namespace
