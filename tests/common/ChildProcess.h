#pragma once
// A program run by a test, its standard output and error kept in files; ended by the test or
// at the latest when the object goes. Fork only from a test program without threads.

#include <grp.h>
#include <sys/wait.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <thread>
#include <vector>

class ChildProcess {
public:
    // `asUser`: run with that uid/gid (the test runs as root), else as the test's user.
    explicit ChildProcess(std::vector<std::string> args, std::optional<std::pair<uid_t, gid_t>> asUser = {})
    {
        static int count = 0;
        const std::string base = std::filesystem::temp_directory_path().string() + "/child-" +
                                 std::to_string(::getpid()) + "-" + std::to_string(++count);
        outFile = base + ".out";
        errFile = base + ".err";
        pid = ::fork();
        if (pid == 0) {
            if (!std::freopen(outFile.c_str(), "w", stdout) || !std::freopen(errFile.c_str(), "w", stderr))
                ::_exit(126);
            if (asUser && (::setgroups(0, nullptr) != 0 || ::setgid(asUser->second) != 0 ||
                           ::setuid(asUser->first) != 0))
                ::_exit(125);
            std::vector<char*> argv;
            for (auto& a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
    }
    ~ChildProcess()
    {
        if (!status) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        std::filesystem::remove(outFile);
        std::filesystem::remove(errFile);
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    void Signal(int signal) const { ::kill(pid, signal); }
    // The exit status once it ended within `seconds` (a signal's end gives 128 + its number).
    std::optional<int> Wait(int seconds = 10)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (!status && std::chrono::steady_clock::now() < deadline) {
            int s = 0;
            if (::waitpid(pid, &s, WNOHANG) == pid)
                status = WIFEXITED(s) ? WEXITSTATUS(s) : 128 + WTERMSIG(s);
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return status;
    }
    std::string Out() const { return Read(outFile); }
    std::string Err() const { return Read(errFile); }
    // Whether `text` shows in its standard output within 10 s.
    bool Says(const std::string& text) const
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (Out().find(text) == std::string::npos && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return Out().find(text) != std::string::npos;
    }
    pid_t Pid() const { return pid; }

private:
    static std::string Read(const std::string& file)
    {
        std::ifstream in(file);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    pid_t pid = -1;
    std::optional<int> status;
    std::string outFile, errFile;
};
