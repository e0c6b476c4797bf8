#pragma once
// The classes the module shows to Python. Their methods run the core's operations as bus
// jobs and turn what the exchanges came to into values or exceptions.

#include "servo/Scan.h"
#include "PortCore.h"
#include "servo/Feedback.h"
#include "servo/PollPacing.h"
#include "servo/StepTest.h"

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <chrono>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace servobus {

namespace py = pybind11;

// One poll's feedback, as `servoctl monitor --csv` has it.
struct FeedbackRecord {
    long long timeMs = 0;
    long long timeUs = -1;  // a back-to-back poll's time in µs; -1 for the others
    bool answered = true;
    Feedback values;

    std::string Csv() const;
    std::string Repr() const;
};

// One run of a step test, with the addresses its values were swept at.
struct StepResult {
    StepRun run;
    std::vector<SweepAxis> axes;
};

// One row of the memory table, with the value the poll decoded.
struct TableRow {
    int address = 0;
    std::string name;
    int size = 0;
    std::string text;           // as the page shows it: the value, else the initial text
    std::optional<int> value;   // the decoded value, when the row has one
    std::string area, access;
    std::optional<int> minimum, maximum;
    bool writable = false;
};

class Servo {
public:
    Servo(std::shared_ptr<PortCore> core, int id, ProfileOptions options);

    void Identify();
    py::bytes Read(int address, int count);
    void Write(int address, const py::bytes& data);
    void Move(int target, int speed, int time, int acceleration);
    void Torque(bool on);
    FeedbackRecord ReadFeedback(long long timeMs, bool raiseOnFailure);
    // One back-to-back poll: its time in µs from `start`, the middle of its exchange.
    FeedbackRecord CaptureFeedback(std::chrono::steady_clock::time_point start);

    // The programming page's commands (PyProgram.cpp).
    std::vector<TableRow> Table();
    void Set(const py::object& item, long long value);
    void Save(const std::string& path);
    void Load(const std::string& path);
    void Restore();
    void ResetAngle();

    // The step test (PyStep.cpp): once, or once per value (grid point) of the swept
    // addresses, `repeat` times; the originals written back however it ends.
    StepResult Step(int to, std::optional<int> from, double duration, int speed, int time,
                    int acceleration);
    std::vector<StepResult> Sweep(const py::dict& swept, int to, std::optional<int> from,
                                  double duration, int repeat, int speed, int time, int acceleration);

    std::string Repr() const;

    std::shared_ptr<PortCore> core;
    int id;
    ProfileOptions options;
    std::optional<Identity> identity;
    int foundRate = 0;  // the rate a scan found it at, 0 when not from a scan
    int lastError = 0;  // error byte of the last answered reply

private:
    // The identity, read on the bus first when not yet known; raises when the read failed.
    friend class ProgramSession;
    template <class F>
    auto WithIdentity(Exchange exchange, F&& job);
    void Answered(const Reply& reply, const std::string& what = {});
};

// Servo.monitor(): one feedback poll per step, every `interval` (0: back to back), until
// `count` polls or `seconds` have passed, or a signal's handler raises (Ctrl-C).
class Monitor {
public:
    Monitor(std::shared_ptr<Servo> servo, double interval, std::optional<long long> count,
            std::optional<double> seconds);
    FeedbackRecord Next();

private:
    using Clock = std::chrono::steady_clock;
    std::shared_ptr<Servo> servo;
    Clock::duration interval;
    std::optional<long long> count;
    std::optional<Clock::time_point> end;
    long long polls = 0;
    std::optional<PollPacing> pacing;  // from the first poll on
    std::optional<Clock::time_point> start;  // of a back-to-back monitor's first poll
};

class Port {
public:
    // `rate` None: 115200, or the rate of a bus another program shares. `exclusive`: never
    // attach to another program's bus.
    Port(const py::object& name, const py::object& rate, const py::object& timeout,
         const py::object& catalogue, bool exclusive);
    ~Port();

    void Close();
    bool IsOpen() const;
    int Rate() const;
    void SetRate(int rate);
    // The program whose bus this port is attached to, as (name, pid); None for an own port.
    py::object SharedBy() const;
    py::object Timeout() const;
    void SetTimeout(const py::object& timeout);

    std::shared_ptr<Servo> Get(int id, long long byteOrder, long long statusLevel,
                               long long positionAddress);
    // Group commands: one sync-write packet for the IDs, a registered write per ID, and the
    // action packet that performs the registered writes.
    void SyncMove(const std::vector<int>& ids, int target, int speed, int time, int acceleration);
    void RegMove(const std::vector<int>& ids, int target, int speed, int time, int acceleration);
    void Action();

    // PyFlash.cpp.
    int Flash(int id, const std::string& path, const py::object& progress, const py::object& unlock,
              bool inLoader);

    std::shared_ptr<PortCore> core;
};

// Port.scan(): probes IDs first..last at each rate, yielding the servos that answer.
class Scan {
public:
    Scan(std::shared_ptr<PortCore> core, int first, int last, std::vector<int> rates);
    ~Scan();
    std::shared_ptr<Servo> Next();
    void Close();

private:
    std::shared_ptr<PortCore> core;
    int first, last;
    std::vector<int> rates;
    size_t rateIndex = 0;
    int next;
    bool rateSet = false;
    int savedRate;
    bool restored = false;
    // Asks a servo whose answer came late again; one per rate, kept across the probes.
    std::unique_ptr<BusScanner> scanner;
    struct Found {
        int id;
        Identity identity;
        int rate;
    };
    std::deque<Found> found;  // answered, not yet handed out
    std::vector<int> doubled;  // IDs the last probe found doubled, to warn of
};

// Checks a number against its field; ValueError with servoctl's text otherwise.
long long Checked(long long value, const char* what, long long low, long long high);
// A position command's acceleration, speed and time, checked as servoctl move checks them.
void CheckedMotion(int acceleration, int speed, int time);
int CheckedRate(long long rate);

void AddVirtualBus(py::module_& m);
void AddLinkStats(py::module_& m);
void AddImage(py::module_& m);
void AddStep(py::module_& m);
// After AddPort: Pose, Motion, and Port.pose() and Port.play().
void AddMotion(py::module_& m);
// Servo's calibration methods, added to the class AddServo made.
void AddCalibrate(py::module_& m);

}  // namespace servobus
