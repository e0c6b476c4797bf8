// The programming page's commands on one servo: the memory table with its values, one value
// written with the page's range check, parameter files, and the reset commands. Each is one
// bus job over the page's own logic, as servoctl's are.
#include "Bindings.h"

#include "Errors.h"
#include "Waiting.h"
#include "servo/ParameterFile.h"
#include "servo/ProgramTexts.h"
#include "servo/ServoProgram.h"
#include "servo/ValueCoding.h"
#include "support/LeadingInt.h"

#include <climits>
#include <functional>

namespace servobus {

namespace {

// What a programming job came to, besides its own result.
struct ProgramRun {
    Reply identified = Reply::Answered();
    Identity identity;
    std::string failure;          // the table could not be had: servoctl's text
    bool noAnswer = false;        // because the servo did not answer
    int selectedId = 0;           // where the servo went (a write of its ID, a restore)
    // The exception a command raises, and its text; none when it succeeded.
    enum class Error { None, Servo, RangeRefused, Value, Key, File } error = Error::None;
    std::string message;
    BusAccess* access = nullptr;  // the job the command runs in
};

std::optional<int> Limit(const std::string& text)
{
    const int v = LeadingInt(text);
    return v == -1 ? std::nullopt : std::optional<int>(v);
}

}  // namespace

// Runs `op` on the page's logic for this servo inside one bus job: the identification (once),
// then, when `table` is set, one poll that loads the memory table and reads the whole image.
// The port's own time-outs are back in force when the job ends.
class ProgramSession {
public:
    using Op = std::function<void(ServoProgram&, const PollReport&, ProgramRun&)>;

    static void Run(Servo& servo, bool table, const Op& op)
    {
        PortCore& c = *servo.core;
        const std::optional<Identity> known = servo.identity;
        const ProfileOptions options = servo.options;
        const int id = servo.id;
        ProgramRun run;
        RunOnBus(*c.bus, JobKind::Command, [&](BusAccess& access) {
            run.access = &access;
            c.Prepare(access, kLongestExchange);
            if (known && known->read) {
                run.identity = *known;
            } else {
                // The page needs the identification bytes whatever the options say.
                run.identified = IdentifyServo(access.protocol, c.catalogue, static_cast<uint8_t>(id),
                                               options, run.identity, true);
                if (!run.identified)
                    return;
            }
            ServoProgram program(c.catalogue);
            program.SelectServo(id, run.identity.key, run.identity.profile);
            run.selectedId = id;
            PollReport report;
            if (table) {
                report = program.Poll(access);
                if (report.status == PollReport::Status::Timeout) {
                    run.failure = kTimeoutText;
                    run.noAnswer = true;
                } else if (program.MemorySize() == 0)
                    run.failure = "the catalogue has no memory table for this model";
            }
            if (run.failure.empty())
                op(program, report, run);
            run.selectedId = program.SelectedId();
            run.identity.profile = program.Profile();
            c.Prepare(access, kLongestExchange);
        });
        if (!run.identified)
            RaiseReply(run.identified, id, c.TimeoutMs(), "the identification read");
        servo.identity = run.identity;
        servo.id = run.selectedId;
        const ErrorClasses& e = Errors();
        if (!run.failure.empty())
            Raise(run.noAnswer ? e.noAnswer : e.base,
                  "servo " + std::to_string(id) + ": " + run.failure, id, run.failure);
        switch (run.error) {
        case ProgramRun::Error::None: return;
        case ProgramRun::Error::Servo: Raise(e.base, run.message, id);
        case ProgramRun::Error::RangeRefused: Raise(e.rangeRefused, run.message, id);
        case ProgramRun::Error::Value: throw py::value_error(run.message);
        case ProgramRun::Error::Key: throw py::key_error(run.message);
        case ProgramRun::Error::File:
            PyErr_SetString(PyExc_OSError, run.message.c_str());
            throw py::error_already_set();
        }
    }
};

std::vector<TableRow> Servo::Table()
{
    std::vector<TableRow> table;
    ProgramSession::Run(*this, true, [&](ServoProgram& program, const PollReport& report, ProgramRun&) {
        const auto rows = program.Rows();
        std::vector<std::optional<std::string>> values(rows.size());
        for (const auto& [row, value] : report.values)
            values[static_cast<size_t>(row)] = value;
        for (size_t i = 0; i < rows.size(); ++i) {
            const MemoryItem& item = rows[i];
            TableRow row;
            row.address = LeadingInt(item.address);
            row.name = item.name;
            row.size = LeadingInt(item.size);
            row.text = values[i].value_or(item.initialValue);
            if (values[i])
                row.value = LeadingInt(*values[i]);
            row.area = item.area;
            row.access = item.access;
            row.minimum = Limit(item.minimum);
            row.maximum = Limit(item.maximum);
            row.writable = item.name != text::kNoValue && RowWritable(item.access);
            table.push_back(std::move(row));
        }
    });
    return table;
}

void Servo::Set(const py::object& item, long long value)
{
    int address = -1;
    std::string name;
    if (py::isinstance<py::int_>(item))
        address = static_cast<int>(Checked(item.cast<long long>(), "address", 0, 255));
    else if (py::isinstance<py::str>(item))
        name = item.cast<std::string>();
    else
        throw py::type_error("the item is its address (int) or its name (str)");
    const int typed = static_cast<int>(Checked(value, "value", INT_MIN, INT_MAX));
    const std::string label = address >= 0 ? std::to_string(address) : name;
    ProgramSession::Run(*this, true, [&](ServoProgram& program, const PollReport&, ProgramRun& run) {
        const auto rows = program.Rows();
        const MemoryItem* found = nullptr;
        for (const auto& row : rows)
            if (address >= 0 ? LeadingInt(row.address) == address : row.name == name) {
                found = &row;
                break;
            }
        if (!found) {
            run.error = ProgramRun::Error::Key;
            run.message = "the memory table has no item " + label;
            return;
        }
        if (found->name == text::kNoValue || !RowWritable(found->access)) {
            run.error = ProgramRun::Error::Value;
            run.message = found->name + " (" + found->address + ") is read-only";
            return;
        }
        const WriteRequest w = PrepareWrite(*found, typed);
        if (!w.refusal.empty()) {
            run.error = ProgramRun::Error::RangeRefused;
            run.message = w.refusal;
            return;
        }
        if (!program.WriteValue(*run.access, w.address, w.size, w.value, w.eprom)) {
            run.error = ProgramRun::Error::Servo;
            run.message = w.eprom ? msg::kSaveFailed : msg::kSetFailed;
        }
    });
}

void Servo::Save(const std::string& path)
{
    ProgramSession::Run(*this, true, [&](ServoProgram& program, const PollReport&, ProgramRun& run) {
        const auto bytes = program.ParameterBytes();
        if (!bytes) {  // the servo's image was not read whole just now
            run.error = ProgramRun::Error::Servo;
            run.message = kTimeoutText;
            return;
        }
        if (!SaveParameterFile(path, *bytes)) {
            run.error = ProgramRun::Error::File;
            run.message = std::string(msg::kCannotSaveFile) + ": " + path;
        }
    });
}

void Servo::Load(const std::string& path)
{
    ProgramSession::Run(*this, true, [&](ServoProgram& program, const PollReport&, ProgramRun& run) {
        switch (program.LoadParameterFile(*run.access, path)) {
        case LoadResult::Loaded: return;
        case LoadResult::CannotOpen:
            run.error = ProgramRun::Error::File;
            run.message = std::string(msg::kCannotOpenFile) + ": " + path;
            return;
        case LoadResult::Failed:
            run.error = ProgramRun::Error::Servo;
            run.message = msg::kLoadFailed;
            return;
        }
    });
}

void Servo::Restore()
{
    ProgramSession::Run(*this, false, [&](ServoProgram& program, const PollReport&, ProgramRun& run) {
        if (!program.RestoreParameters(*run.access)) {
            run.error = ProgramRun::Error::Servo;
            run.message = msg::kRestoreFailed;
        }
    });
}

void Servo::ResetAngle()
{
    ProgramSession::Run(*this, false, [&](ServoProgram& program, const PollReport&, ProgramRun& run) {
        if (!program.ResetAngle(*run.access)) {
            run.error = ProgramRun::Error::Servo;
            run.message = msg::kAngleFailed;
        }
    });
}

}  // namespace servobus
