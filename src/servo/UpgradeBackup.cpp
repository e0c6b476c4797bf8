#include "servo/UpgradeBackup.h"

#include "servo/ParameterFile.h"
#include "servo/ServoProgram.h"

#include <cstdlib>
#include <ctime>
#include <filesystem>

namespace fs = std::filesystem;

std::string BackupFolder()
{
#ifdef _WIN32
    const char* appData = std::getenv("APPDATA");
    const fs::path base = appData && *appData ? fs::path(appData) : fs::path(".");
#else
    const char* data = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    // A relative XDG_DATA_HOME is invalid and ignored.
    const fs::path base = data && *data == '/' ? fs::path(data)
                          : home && *home     ? fs::path(home) / ".local" / "share"
                                              : fs::path(".");
#endif
    return (base / "servo-debugger" / "backups").string();
}

std::string BackupPath(const std::string& folder, const std::string& model, int id,
                       std::chrono::system_clock::time_point when)
{
    std::string name;
    for (const char c : model)
        name += std::string("/\\:*?\"<>| ").find(c) == std::string::npos ? c : '_';
    if (name.empty())
        name = "servo";
    const std::time_t t = std::chrono::system_clock::to_time_t(when);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &t);
#else
    localtime_r(&t, &local);
#endif
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    const std::string stem = name + "-ID" + std::to_string(id) + "-" + stamp;
    std::string path = (fs::path(folder) / (stem + ".dat")).string();
    std::error_code ec;
    for (int n = 2; fs::exists(path, ec); ++n)
        path = (fs::path(folder) / (stem + "-" + std::to_string(n) + ".dat")).string();
    return path;
}

BackupResult BackUpServo(BusAccess& access, ModelCatalogue& catalogue, uint8_t id,
                         const std::string& folder)
{
    BackupResult result;
    result.reply = access.protocol.ReadMemory(id, 0, result.key.data(), static_cast<uint8_t>(result.key.size()));
    if (!result.reply)
        return result;
    result.model = catalogue.LookupModelName(result.key);
    // The programming page's own poll: its table, its fresh image, its EPROM block.
    ServoProgram program(catalogue);
    program.SelectServo(id, result.key, catalogue.ProfileOf(result.key));
    const PollReport report = program.Poll(access);
    if (program.MemorySize() == 0) {
        result.status = BackupStatus::NoTable;
        return result;
    }
    if (report.status == PollReport::Status::Timeout) {
        result.reply = Reply::Failed(Outcome::NoAnswer);
        return result;
    }
    // Only a complete, good read of this servo's table is backed up.
    const auto fresh = program.ParameterBytes();
    if (!fresh) {
        result.reply = Reply::Failed(Outcome::NoAnswer);
        return result;
    }
    result.bytes = *fresh;
    if (result.bytes.empty()) {
        result.status = BackupStatus::NoTable;  // a table without an EPROM block
        return result;
    }
    std::error_code ec;
    fs::create_directories(folder, ec);
    result.path = BackupPath(folder, result.model, id, std::chrono::system_clock::now());
    result.status = SaveParameterFile(result.path, result.bytes) ? BackupStatus::Saved
                                                                 : BackupStatus::SaveFailed;
    return result;
}

bool RestoreBackup(BusAccess& access, ModelCatalogue& catalogue, uint8_t id,
                   const BackupResult& backup, const std::function<void(int code)>& followBaud)
{
    ServoProgram program(catalogue);
    if (followBaud)
        program.SetBaudFollower(followBaud);
    program.SelectServo(id, backup.key, catalogue.ProfileOf(backup.key));
    // The table and a fresh image first: the block is laid over what the servo holds now.
    if (program.Poll(access).status == PollReport::Status::Timeout || program.MemorySize() == 0)
        return false;
    return program.LoadParameterBytes(access, backup.bytes);
}
