#pragma once
// The backup taken before every firmware upgrade: the servo's EPROM block, read fresh inside
// a bus job and saved atomically as a parameter file in the user's data folder, so that the
// settings can be put back after an upgrade (or by hand, with "载入参数").

#include "bus/ServoBus.h"
#include "catalogue/ModelCatalogue.h"

#include <chrono>
#include <functional>
#include <string>
#include <vector>

enum class BackupStatus {
    Saved,       // the block is in `path`
    NoTable,     // the catalogue has no memory table for the model: nothing to back up
    ReadFailed,  // the servo did not answer the identification or the block read
    SaveFailed,  // the file could not be written
};

struct BackupResult {
    BackupStatus status = BackupStatus::ReadFailed;
    std::string path;            // the file (Saved, SaveFailed)
    std::string model;           // the model name, "未知型号" when unknown
    ModelKey key{};              // the identification bytes read
    std::vector<uint8_t> bytes;  // the EPROM block read
    Reply reply;                 // what the failed read came to (ReadFailed)
};

// $XDG_DATA_HOME/servo-debugger/backups, $HOME/.local/share/... without it; on Windows
// %APPDATA%\servo-debugger\backups.
std::string BackupFolder();

// "<model>-ID<id>-<YYYYMMDD-HHMMSS>.dat" in `folder`, the model's characters that a file
// name can't hold replaced by "_"; "-2", "-3", ... before the extension while a file of that
// name exists.
std::string BackupPath(const std::string& folder, const std::string& model, int id,
                       std::chrono::system_clock::time_point when);

// Reads servo `id`'s identification bytes and its memory table's EPROM block (as the
// programming page reads them) and saves the block in `folder`, which is created when
// missing. Runs inside a bus job, whose access it takes.
BackupResult BackUpServo(BusAccess& access, ModelCatalogue& catalogue, uint8_t id,
                         const std::string& folder);

// Writes a backup's block back into servo `id` as "载入参数" does (the lock sequence, the
// block from address 0). Inside a bus job. `followBaud` is told a new baud-rate code when
// the port follows the servo.
bool RestoreBackup(BusAccess& access, ModelCatalogue& catalogue, uint8_t id,
                   const BackupResult& backup, const std::function<void(int code)>& followBaud);
