#pragma once
// A test with a folder of its own, made empty before the test and removed after it. Its name
// holds the test's and the process's, so test programs run side by side (two builds, a
// parallel CTest) never share one.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

class TempFolderFixture : public testing::Test {
protected:
    void SetUp() override
    {
        const auto* test = testing::UnitTest::GetInstance()->current_test_info();
#ifdef _WIN32
        const int process = _getpid();
#else
        const int process = ::getpid();
#endif
        std::string name = std::string(test->test_suite_name()) + "-" +
                           std::to_string(process) + "-" + test->name();
        std::replace(name.begin(), name.end(), '/', '-');  // parameterised tests' names
        dir = std::filesystem::path(testing::TempDir()) / name;
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    std::filesystem::path dir;
};
