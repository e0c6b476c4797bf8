// The programming page's logic against the virtual bus on a real pseudo-terminal: the poll,
// the lock-flag sequences of single values and blocks, parameter files and the resets, as
// the servos hear them.
#include "BusFixture.h"
#include "Packets.h"
#include "servo/ParameterFile.h"
#include "servo/ServoProgram.h"
#include "support/BaudRates.h"
#include "support/HexText.h"

#include <csignal>
#include <fstream>
#include <iterator>
#include <sys/resource.h>

namespace {

std::string Lock(int id, int value)
{
    return PacketHex(static_cast<uint8_t>(id), instr::kWrite, {48, static_cast<uint8_t>(value)});
}

std::vector<uint8_t> ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

constexpr int kKestrelRows = 48;
constexpr int kKestrelSize = 73;    // its last row is a word at 71
constexpr int kKestrelEprom = 37;   // its last EPROM row is a byte at 36

}  // namespace

class ProgramBus : public BusFixture {
protected:
    // Runs `f` as a job of the program's bus, on the test's thread.
    template <class F>
    auto Job(F f)
    {
        return jobs.Run(JobKind::Command, f);
    }
    void SetUp() override
    {
        BusFixture::SetUp();
        program = std::make_unique<ServoProgram>(*catalogue);
        program->SetBaudFollower([this](int code) {
            followed.push_back(code);
            if (BaudRateOfCode(code))
                comm.SetBaudRate(BaudRateOfCode(code));
        });
    }
    void TearDown() override
    {
        program.reset();
        BusFixture::TearDown();
    }
    ModelKey KeyOf(int id)
    {
        const ServoMemory m = MemoryOf(id);
        ModelKey key{};
        std::copy_n(m.begin(), key.size(), key.begin());
        return key;
    }
    // Selects a servo as a click in the main window does, and loads its table.
    PollReport Select(int id)
    {
        const ModelKey key = KeyOf(id);
        profile.byteOrder = key[addr::kByteOrder];
        profile.statusLevel = key[addr::kStatusLevel];
        program->SelectServo(id, key, profile);
        PollReport r = Job([&](BusAccess& access) { return program->Poll(access); });
        Settle();
        bus->ClearLog();
        return r;
    }
    std::string Temp(const std::string& name) const
    {
        return testing::TempDir() + "/program-" + std::to_string(::getpid()) + "-" + name;
    }

    ServoBus jobs{comm, ServoBus::Threading::Caller};  // the program's jobs run on the test's thread
    std::unique_ptr<ServoProgram> program;
    std::vector<int> followed;
};

TEST_F(ProgramBus, OnePollIsOneReadOfTheWholeTable)
{
    AddServo(1, kKestrel);
    StartBus();
    bus->SetFaultBits(1, 0x25);
    NextStep();
    profile.byteOrder = 1;
    profile.statusLevel = 0;
    program->SelectServo(1, KeyOf(1), profile);
    const PollReport first = Job([&](BusAccess& access) { return program->Poll(access); });
    Settle();
    ASSERT_TRUE(first.rebuild);
    ASSERT_EQ(first.rows.size(), size_t{kKestrelRows});
    EXPECT_EQ(first.rows[5], (std::array<std::string, 5>{"5", "ID", "1", "EPROM", "读写"}));
    EXPECT_EQ(Sent(), std::vector<std::string>{PacketHex(1, instr::kRead, {0, kKestrelSize})});
    EXPECT_EQ(program->MemorySize(), kKestrelSize);
    // The servo's own byte order and status level are taken from the image.
    EXPECT_EQ(int(program->Profile().byteOrder), 0);
    EXPECT_EQ(int(program->Profile().statusLevel), 1);
    EXPECT_EQ(first.status, PollReport::Status::Faults);
    EXPECT_EQ(first.faults, 0x25);
    const auto value = [&](const PollReport& r, int row) {
        for (const auto& [i, text] : r.values)
            if (i == row)
                return text;
        return std::string("none");
    };
    EXPECT_EQ(value(first, 10), "4095");  // 最大角度限制, a word
    EXPECT_EQ(value(first, 15), "none");  // the "--" row

    bus->ClearLog();
    bus->SetFaultBits(1, 0);
    NextStep();
    bus->ClearLog();
    const PollReport second = Job([&](BusAccess& access) { return program->Poll(access); });
    Settle();
    EXPECT_FALSE(second.rebuild);
    EXPECT_EQ(Sent().size(), 1u);
    EXPECT_EQ(second.status, PollReport::Status::Faults);
    EXPECT_EQ(second.faults, 0);
}

TEST_F(ProgramBus, APollWithoutAnswerOrTableSaysSo)
{
    AddServo(1, kKestrel);
    StartBus();
    ModelKey key = KeyOf(1);
    program->SelectServo(7, key, profile);  // nobody answers at 7
    EXPECT_EQ(Job([&](BusAccess& access) { return program->Poll(access); }).status, PollReport::Status::Timeout);

    key[0] = 99;  // a model the catalogue has no table for
    program->SelectServo(1, key, profile);
    bus->ClearLog();
    const PollReport r = Job([&](BusAccess& access) { return program->Poll(access); });
    EXPECT_TRUE(r.rebuild);
    EXPECT_TRUE(r.rows.empty());
    EXPECT_EQ(Job([&](BusAccess& access) { return program->Poll(access); }).status, PollReport::Status::Unchanged);
    Settle();
    EXPECT_TRUE(Sent().empty());
}

TEST_F(ProgramBus, ATableLongerThanOneReplyIsReadInTwo)
{
    // A catalogue whose table for this servo ends at address 254.
    const std::string path = Temp("long-setup.log");
    {
        std::ofstream out(path, std::ios::binary);
        out << "[\xC4\xDA\xB4\xE6]\n5,0,255,0\n";
        for (int a = 0; a < 252; ++a)
            out << a << ",v" << a << ",1,0,-1,SRAM,rw,-1,-1\n";
        out << "254,last,1,0,-1,SRAM,rw,-1,-1\nNULL,,,,,,,,\n[\xC4\xDA\xB4\xE6\xBD\xE1\xCA\xF8]\n";
    }
    ModelCatalogue longCatalogue(path);
    ServoProgram longProgram(longCatalogue);
    AddServo(1, kKestrel);
    StartBus();
    longProgram.SelectServo(1, KeyOf(1), profile);
    const PollReport r = Job([&](BusAccess& access) { return longProgram.Poll(access); });
    Settle();
    EXPECT_EQ(r.rows.size(), 253u);
    EXPECT_EQ(longProgram.MemorySize(), 255);
    EXPECT_EQ(Sent(), (std::vector<std::string>{PacketHex(1, instr::kRead, {0, 253}),
                                                PacketHex(1, instr::kRead, {253, 2})}));
    EXPECT_EQ(r.status, PollReport::Status::Faults);
    EXPECT_EQ(r.faults, 0);

    // Its whole image is no block one packet can carry: nothing is sent for it.
    bus->ClearLog();
    WriteFile(Temp("long.dat"), std::vector<uint8_t>(255, 1));
    EXPECT_EQ(Job([&](BusAccess& access) { return longProgram.LoadParameterFile(access, Temp("long.dat")); }), LoadResult::Failed);
    Settle();
    EXPECT_TRUE(Sent().empty());
    std::remove(path.c_str());
    std::remove(Temp("long.dat").c_str());
}

TEST_F(ProgramBus, AnEpromValueGoesBetweenUnlockAndLock)
{
    AddServo(1, kKestrel);     // answers writes
    AddServo(2, kHeron);       // answers none, high byte first
    StartBus();
    struct Case {
        int id;
        int address, size, value;
        std::vector<std::string> wire;
    } cases[] = {
        {1, 13, 1, 60, {Lock(1, 0), PacketHex(1, 3, {13, 60}), Lock(1, 1)}},
        {1, 16, 2, 0x0203, {Lock(1, 0), PacketHex(1, 3, {16, 0x03, 0x02}), Lock(1, 1)}},
        {2, 16, 2, 0x0203, {Lock(2, 0), PacketHex(2, 3, {16, 0x02, 0x03}), Lock(2, 1)}},
    };
    for (const auto& c : cases) {
        Select(c.id);
        EXPECT_EQ(Job([&](BusAccess& access) { return program->WriteValue(access, c.address, c.size, static_cast<uint16_t>(c.value), true); }), 1);
        Settle();
        EXPECT_EQ(Sent(), c.wire) << c.id << " " << c.address;
        const ServoMemory m = MemoryOf(c.id);
        EXPECT_EQ(m[48], 1);
        EXPECT_EQ(m[static_cast<size_t>(c.address)], c.size == 1 ? c.value : (c.id == 1 ? 3 : 2));
    }
    // A value outside the EPROM area goes alone.
    Select(1);
    EXPECT_EQ(Job([&](BusAccess& access) { return program->WriteValue(access, 41, 1, 7, false); }), 1);
    Settle();
    EXPECT_EQ(Sent(), std::vector<std::string>{PacketHex(1, 3, {41, 7})});
}

// A table without a lock flag: EPROM values and parameter files go alone, and no byte the
// user never chose (address 0 say) is written around them.
TEST_F(ProgramBus, WithoutALockFlagNothingElseIsWritten)
{
    const std::string path = Temp("nolock-setup.log");
    {
        std::ofstream out(path, std::ios::binary);
        out << "[\xC4\xDA\xB4\xE6]\n5,0,255,0\n";
        for (int a = 0; a < 16; ++a)
            out << a << ",v" << a << ",1,0,-1,EPROM,rw,0,255\n";
        out << "NULL,,,,,,,,\n[\xC4\xDA\xB4\xE6\xBD\xE1\xCA\xF8]\n";
    }
    ModelCatalogue noLockCatalogue(path);
    ServoProgram noLock(noLockCatalogue);
    AddServo(1, kKestrel);
    StartBus();
    noLock.SelectServo(1, KeyOf(1), profile);
    Job([&](BusAccess& access) { return noLock.Poll(access); });
    Settle();
    bus->ClearLog();
    EXPECT_EQ(Job([&](BusAccess& access) { return noLock.WriteValue(access, 13, 1, 60, true); }), 1);
    Settle();
    EXPECT_EQ(Sent(), std::vector<std::string>{PacketHex(1, 3, {13, 60})});
    EXPECT_EQ(MemoryOf(1)[13], 60);
    std::remove(path.c_str());
}

TEST_F(ProgramBus, AFailedUnlockSendsNothingElse)
{
    AddServo(1, kKestrel);
    StartBus();
    Select(1);
    profile.statusLevel = 1;
    program->SelectServo(9, KeyOf(1), profile);  // no servo 9; the table stays loaded
    EXPECT_EQ(Job([&](BusAccess& access) { return program->WriteValue(access, 13, 1, 60, true); }), 0);
    Settle();
    EXPECT_EQ(Sent(), std::vector<std::string>{Lock(9, 0)});

    // A servo that sends no status packets can't be told from none: the level 0 write
    // reports success.
    profile.statusLevel = 0;
    program->SelectServo(9, KeyOf(1), profile);
    EXPECT_EQ(Job([&](BusAccess& access) { return program->WriteValue(access, 13, 1, 60, true); }), 1);
}

TEST_F(ProgramBus, TheIdAndRateFollowTheirWrites)
{
    AddServo(1, kKestrel);
    StartBus();
    Select(1);
    EXPECT_EQ(Job([&](BusAccess& access) { return program->WriteValue(access, addr::kId, 1, 20, true); }), 1);
    Settle();
    EXPECT_EQ(Sent(), (std::vector<std::string>{Lock(1, 0), PacketHex(1, 3, {5, 20}), Lock(20, 1)}));
    EXPECT_EQ(program->SelectedId(), 20);
    EXPECT_EQ(MemoryOf(20)[48], 1);

    // The servo answers at its new rate only: the closing lock write succeeds because the
    // port followed.
    bus->ClearLog();
    EXPECT_EQ(Job([&](BusAccess& access) { return program->WriteValue(access, addr::kBaudCode, 1, 2, true); }), 1);
    Settle();
    EXPECT_EQ(followed, std::vector<int>{2});
    EXPECT_EQ(comm.BaudRate(), 250000);
    EXPECT_EQ(Sent(), (std::vector<std::string>{Lock(20, 0), PacketHex(20, 3, {6, 2}), Lock(20, 1)}));
    EXPECT_EQ(MemoryOf(20)[6], 2);

    // The port follows within the write's own job, whoever listens for the new rate.
    program->SetBaudFollower({});
    EXPECT_EQ(Job([&](BusAccess& access) { return program->WriteValue(access, addr::kBaudCode, 1, 4, true); }), 1);
    EXPECT_EQ(comm.BaudRate(), 115200);
}

TEST_F(ProgramBus, TheStatusLevelsOwnWriteFollowsTheNewLevel)
{
    AddServo(1, kKestrel);
    StartBus();
    Select(1);
    ASSERT_EQ(int(program->Profile().statusLevel), 1);
    // The servo stops answering with this very write; the program must not wait for it.
    EXPECT_EQ(Job([&](BusAccess& access) { return program->WriteValue(access, addr::kStatusLevel, 1, 0, true); }), 1);
    EXPECT_EQ(int(program->Profile().statusLevel), 0);
    EXPECT_EQ(MemoryOf(1)[8], 0);
    EXPECT_EQ(Job([&](BusAccess& access) { return program->WriteValue(access, addr::kStatusLevel, 1, 1, true); }), 1);
    EXPECT_EQ(MemoryOf(1)[8], 1);
}

TEST_F(ProgramBus, SavingWritesTheEpromBlockAtomically)
{
    AddServo(1, kKestrel);
    StartBus();
    Select(1);
    Job([&](BusAccess& access) { return program->Poll(access); });
    const std::vector<uint8_t> bytes = program->ParameterBytes().value();
    const ServoMemory m = MemoryOf(1);
    EXPECT_EQ(bytes, std::vector<uint8_t>(m.begin(), m.begin() + kKestrelEprom));

    const std::string path = Temp("saved.dat");
    WriteFile(path, std::vector<uint8_t>(100, 0xEE));  // an older, longer file
    namespace fs = std::filesystem;
    const auto mode = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
    fs::permissions(path, mode);
    ASSERT_TRUE(SaveParameterFile(path, bytes));
    EXPECT_EQ(ReadFile(path), bytes);
    EXPECT_EQ(fs::status(path).permissions() & fs::perms::all, mode);

    // A write that fails half-way (the file-size limit stops it) leaves the old file whole
    // and no temporary file behind.
    const std::vector<uint8_t> longer(200, 0x11);
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldSignal = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 64;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool saved = SaveParameterFile(path, longer);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldSignal);
    EXPECT_FALSE(saved);
    EXPECT_EQ(ReadFile(path), bytes);
    std::vector<fs::path> others;
    const std::string prefix = fs::path(path).filename().string() + ".";
    for (const auto& e : fs::directory_iterator(fs::path(path).parent_path()))
        if (e.path().filename().string().rfind(prefix, 0) == 0)
            others.push_back(e.path());
    EXPECT_TRUE(others.empty());
    for (const auto& leftover : others)
        fs::remove(leftover);

    // A folder that isn't there: nothing is created.
    EXPECT_FALSE(SaveParameterFile(Temp("no-such-folder") + "/x.dat", bytes));
    std::remove(path.c_str());
}

TEST(ParameterFileName, DefaultSuffix)
{
    EXPECT_EQ(WithDefaultSuffix("/a/servo", "dat"), "/a/servo.dat");
    EXPECT_EQ(WithDefaultSuffix("/a/servo.dat", "dat"), "/a/servo.dat");
    EXPECT_EQ(WithDefaultSuffix("/a/servo.bin", "dat"), "/a/servo.bin");
    EXPECT_EQ(WithDefaultSuffix("/a.b/servo", "dat"), "/a.b/servo.dat");
    EXPECT_EQ(WithDefaultSuffix("servo", "dat"), "servo.dat");
}

TEST_F(ProgramBus, LoadingAShortFileWritesItAndFollowsItsIdAndRate)
{
    AddServo(1, kKestrel);
    StartBus();
    Select(1);
    const ServoMemory m = MemoryOf(1);
    std::vector<uint8_t> file(m.begin(), m.begin() + 32);
    file[5] = 7;     // ID
    file[6] = 3;     // 128000
    file[13] = 60;
    WriteFile(Temp("short.dat"), file);
    EXPECT_EQ(Job([&](BusAccess& access) { return program->LoadParameterFile(access, Temp("short.dat")); }), LoadResult::Loaded);
    Settle();
    std::vector<uint8_t> params = {0};
    params.insert(params.end(), file.begin(), file.end());
    EXPECT_EQ(Sent(), (std::vector<std::string>{Lock(1, 0), PacketHex(1, 3, params), Lock(7, 1)}));
    EXPECT_EQ(program->SelectedId(), 7);
    EXPECT_EQ(comm.BaudRate(), 128000);
    const ServoMemory after = MemoryOf(7);
    EXPECT_EQ(after[13], 60);
    EXPECT_EQ(after[48], 1);
    EXPECT_EQ(program->Image()[13], 60);
    EXPECT_EQ(program->Image()[40], m[40]);  // beyond the file the image stays
}

TEST_F(ProgramBus, LoadingAnEmptyFileStillFramesTheLockSequence)
{
    AddServo(1, kKestrel);
    StartBus();
    Select(1);
    WriteFile(Temp("empty.dat"), {});
    EXPECT_EQ(Job([&](BusAccess& access) { return program->LoadParameterFile(access, Temp("empty.dat")); }), LoadResult::Loaded);
    Settle();
    EXPECT_EQ(Sent(), (std::vector<std::string>{Lock(1, 0), PacketHex(1, 3, {0}), Lock(1, 1)}));
    EXPECT_EQ(Job([&](BusAccess& access) { return program->LoadParameterFile(access, Temp("missing.dat")); }), LoadResult::CannotOpen);

    // A file longer than the memory is read up to the memory size only.
    bus->ClearLog();
    const ServoMemory m = MemoryOf(1);
    std::vector<uint8_t> file(m.begin(), m.begin() + 200);
    WriteFile(Temp("long.dat"), file);
    EXPECT_EQ(Job([&](BusAccess& access) { return program->LoadParameterFile(access, Temp("long.dat")); }), LoadResult::Loaded);
    Settle();
    ASSERT_EQ(Sent().size(), 3u);
    EXPECT_EQ(Sent()[1], PacketHex(1, 3, [&] {
                  std::vector<uint8_t> p = {0};
                  p.insert(p.end(), file.begin(), file.begin() + kKestrelSize);
                  return p;
              }()));
    std::remove(Temp("empty.dat").c_str());
    std::remove(Temp("long.dat").c_str());
}

TEST_F(ProgramBus, ResetsAtBothStatusLevels)
{
    AddServo(3, kKestrel, 2);
    StartBus(250000);
    Select(3);
    ASSERT_EQ(int(program->Profile().statusLevel), 1);
    EXPECT_TRUE(Job([&](BusAccess& access) { return program->ResetAngle(access); }));
    EXPECT_TRUE(Job([&](BusAccess& access) { return program->RiskyOperation(access); }));
    EXPECT_TRUE(Job([&](BusAccess& access) { return program->RestoreParameters(access); }));
    Settle();
    EXPECT_EQ(Sent(), (std::vector<std::string>{PacketHex(3, 10), PacketHex(3, 9), PacketHex(3, 6)}));
    EXPECT_EQ(program->SelectedId(), 1);
    EXPECT_EQ(followed, std::vector<int>{4});
    EXPECT_EQ(comm.BaudRate(), 115200);
    EXPECT_EQ(MemoryOf(1)[6], 4);

    // Nobody at 9: failures at level 1, successes at level 0, where nothing answers anyway.
    profile.statusLevel = 1;
    program->SelectServo(9, KeyOf(1), profile);
    EXPECT_FALSE(Job([&](BusAccess& access) { return program->ResetAngle(access); }));
    EXPECT_FALSE(Job([&](BusAccess& access) { return program->RiskyOperation(access); }));
    EXPECT_FALSE(Job([&](BusAccess& access) { return program->RestoreParameters(access); }));
    EXPECT_EQ(program->SelectedId(), 9);
    profile.statusLevel = 0;
    program->SelectServo(9, KeyOf(1), profile);
    EXPECT_TRUE(Job([&](BusAccess& access) { return program->ResetAngle(access); }));
    EXPECT_TRUE(Job([&](BusAccess& access) { return program->RiskyOperation(access); }));
    EXPECT_TRUE(Job([&](BusAccess& access) { return program->RestoreParameters(access); }));
    EXPECT_EQ(program->SelectedId(), 1);
}

// Found by fuzzing: a table too short to reach the ID, rate and status level bytes (5, 6
// and 8) never read them, so neither the poll nor a block write takes them from the image:
// the servo keeps its own, and the selected ID, the port's rate and the awaited statuses
// stay as they were. A table of 8 bytes reaches the ID and the rate but not the level.
TEST_F(ProgramBus, AShortTableLeavesIdRateAndStatusLevelAlone)
{
    AddServo(3, kKestrel);
    StartBus();
    const ModelKey key = KeyOf(3);
    const ServoMemory memory = MemoryOf(3);
    const std::string path = Temp("short-setup.log");
    for (const int size : {5, 8}) {
        SCOPED_TRACE(size);
        {
            std::ofstream out(path, std::ios::binary);
            out << "[\xC4\xDA\xB4\xE6]\n5,0,255,0\n0,v0,1,0,-1,EPROM,rw,-1,-1\n" << size - 1
                << ",vN,1,0,-1,EPROM,rw,-1,-1\nNULL,,,,,,,,\n[\xC4\xDA\xB4\xE6\xBD\xE1\xCA\xF8]\n";
        }
        ModelCatalogue shortCatalogue(path);
        ServoProgram shortProgram(shortCatalogue);
        std::vector<int> shortFollowed;
        shortProgram.SetBaudFollower([&](int code) { shortFollowed.push_back(code); });
        profile.statusLevel = 1;
        shortProgram.SelectServo(3, key, profile);
        EXPECT_NE(Job([&](BusAccess& access) { return shortProgram.Poll(access); }).status, PollReport::Status::Timeout);
        ASSERT_EQ(shortProgram.MemorySize(), size);
        EXPECT_EQ(int(shortProgram.Profile().statusLevel), 1);

        const std::vector<uint8_t> file(memory.begin(), memory.begin() + size);
        WriteFile(Temp("short.dat"), file);
        Settle();
        bus->ClearLog();
        EXPECT_EQ(Job([&](BusAccess& access) { return shortProgram.LoadParameterFile(access, Temp("short.dat")); }), LoadResult::Loaded);
        Settle();
        std::vector<uint8_t> params{0};
        params.insert(params.end(), file.begin(), file.end());
        EXPECT_EQ(Sent(), std::vector<std::string>{PacketHex(3, instr::kWrite, params)});
        EXPECT_EQ(shortProgram.SelectedId(), 3);
        EXPECT_EQ(shortFollowed.empty(), size <= addr::kBaudCode);
        EXPECT_EQ(int(shortProgram.Profile().statusLevel), 1);
    }
    std::remove(path.c_str());
    std::remove(Temp("short.dat").c_str());
}
