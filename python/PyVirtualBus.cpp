// The virtual bus in the module's own process: servos on a pseudo-terminal that a Port opens
// as it would a serial adapter, for tests and demonstrations without hardware.
#include "Bindings.h"

#include "Errors.h"
#include "Waiting.h"
#include "catalogue/CatalogueLocation.h"
#include "sim/ServoFault.h"
#include "sim/VirtualBus.h"

namespace servobus {

namespace {

class PyVirtualBus {
public:
    PyVirtualBus(const py::object& servos, const py::object& catalogueFile, double load,
                 bool plainMotion, const py::object& faultTexts, bool echoes, double supplyOhms)
        : load(load), echo(echoes)
    {
        const std::string file =
            catalogueFile.is_none()
                ? FindCatalogue().path
                : py::str(py::module_::import("os").attr("fspath")(catalogueFile)).cast<std::string>();
        catalogue = std::make_unique<ModelCatalogue>(file);
        bus = std::make_unique<VirtualBus>(*catalogue);
        if (!(load >= -1000 && load <= 1000))
            throw py::value_error("load must lie from -1000 to 1000");
        bus->SetMotion(plainMotion ? SimMotion::Plain : SimMotion::Body);
        bus->SetLoad(load);
        if (!(supplyOhms >= 0 && supplyOhms <= 100))
            throw py::value_error("supply_resistance must lie from 0 to 100 ohms");
        bus->SetSupplyResistance(supplyOhms);
        bus->SetEcho(echoes);
        if (!faultTexts.is_none()) {
            std::vector<ServoFaultSpec> faults;
            for (const py::handle item : faultTexts) {
                std::string error;
                if (!ParseServoFault(py::str(item).cast<std::string>(), faults, error))
                    throw py::value_error(error);
            }
            for (const auto& f : faults)
                bus->SetServoFault(f.id, f.drop, f.corrupt);
        }
        std::vector<ServoSpec> specs;
        if (servos.is_none()) {
            uint8_t id = 1;
            for (const auto& model : ListServoModels(*catalogue))
                specs.push_back(ServoSpec{id++, model, -1, -1, {}});
        } else {
            for (const py::handle item : servos)
                specs.push_back(SpecOf(py::reinterpret_borrow<py::object>(item)));
        }
        if (specs.empty())
            Raise(Errors().base, "no servo for the virtual bus (catalogue: " + file + ")");
        std::string error;
        for (const auto& spec : specs)
            if (!bus->AddServo(spec, error))
                Raise(Errors().base, "virtual bus: " + error);
        const SignalsToMainThread signals;
        if (!bus->Start(error))
            Raise(Errors().base, "virtual bus: " + error);
    }

    // (ID, MODEL) or (ID, MODEL, BAUDCODE), or the text "ID:MODEL[:BAUDCODE]" as servo-sim
    // takes it.
    static ServoSpec SpecOf(const py::object& item)
    {
        ServoSpec spec;
        py::tuple fields;
        if (py::isinstance<py::str>(item)) {
            const std::string text = item.cast<std::string>();
            const auto first = text.find(':');
            if (first == std::string::npos)
                throw py::value_error("a servo is ID:MODEL[:BAUDCODE], not \"" + text + "\"");
            std::string rest = text.substr(first + 1);
            py::list parts;
            parts.append(py::int_(py::str(text.substr(0, first))));
            const auto second = rest.rfind(':');
            const std::string code = second == std::string::npos ? "" : rest.substr(second + 1);
            if (!code.empty() && code.find_first_not_of("0123456789") == std::string::npos) {
                parts.append(rest.substr(0, second));
                parts.append(py::int_(py::str(code)));
            } else {
                parts.append(rest);
            }
            fields = py::tuple(parts);
        } else {
            fields = py::tuple(item);
        }
        if (fields.size() < 2 || fields.size() > 3)
            throw py::value_error("a servo is (ID, MODEL) or (ID, MODEL, BAUDCODE)");
        spec.id = static_cast<uint8_t>(Checked(fields[0].cast<long long>(), "servo ID", 0, 253));
        spec.model = fields[1].cast<std::string>();
        if (fields.size() == 3)
            spec.baudCode = static_cast<int>(Checked(fields[2].cast<long long>(), "baud-rate code", 0, 7));
        return spec;
    }

    void Close()
    {
        py::gil_scoped_release release;
        bus->Stop();
    }

    py::bytes Memory(int id) const
    {
        ServoMemory memory{};
        if (!bus->Memory(static_cast<uint8_t>(Checked(id, "ID", 0, 253)), memory))
            throw py::key_error("no servo " + std::to_string(id) + " on the virtual bus");
        return py::bytes(reinterpret_cast<const char*>(memory.data()), memory.size());
    }

    std::unique_ptr<ModelCatalogue> catalogue;
    std::unique_ptr<VirtualBus> bus;
    double dropShare = 0, corruptShare = 0;
    double load = 0;
    int delayMs = 0;
    bool echo = false;
};

}  // namespace

void AddVirtualBus(py::module_& m)
{
    using V = PyVirtualBus;
    py::class_<V>(m, "VirtualBus",
                  "A virtual servo bus on a pseudo-terminal, served by a thread of this process. "
                  "Open `device` with Port as a serial adapter; each servo answers at its own "
                  "rate only. A context manager: leaving it stops the bus.")
        .def(py::init<const py::object&, const py::object&, double, bool, const py::object&, bool, double>(),
             py::arg("servos") = py::none(), py::arg("catalogue") = py::none(), py::kw_only(),
             py::arg("load") = 0.0, py::arg("plain_motion") = false, py::arg("faults") = py::none(),
             py::arg("echo") = false, py::arg("supply_resistance") = 0.0,
             "Starts the bus with `servos`: (ID, MODEL), (ID, MODEL, BAUDCODE) or "
             "\"ID:MODEL[:BAUDCODE]\"; MODEL is a model name of the catalogue (default: the one "
             "servoctl finds), BAUDCODE an index into the baud list. Without `servos`, one servo "
             "of each model, at IDs 1, 2, ... `load` holds a constant load torque on every servo "
             "(-1000..1000, the maximum-torque row's units); `plain_motion` moves them straight "
             "to their targets as earlier versions did, ignoring their gains and torque. "
             "`faults`: \"ID:drop=SHARE\" and \"ID:corrupt=SHARE\" texts as servo-sim's --fault "
             "takes them; `echo`: the line hands back every byte sent; `supply_resistance`: "
             "ohms of a supply the servos share, whose voltage sags with their current. Two "
             "servos given the same ID both answer, and their bytes collide.")
        .def_property_readonly(
            "device", [](const V& v) { return v.bus->DevicePath(); },
            "The pseudo-terminal to open, such as /dev/pts/3.")
        .def("close", &V::Close, "Stops the bus; its device goes away.")
        .def("__enter__", [](py::object self) { return self; }, "Returns the bus.")
        .def(
            "__exit__", [](V& v, py::args) { v.Close(); return false; },
            "Stops the bus.")
        .def(
            "log", [](const V& v) { return v.bus->LogLines(); },
            "Every packet heard (\"> FF FF ...\") and sent (\"< ...\"), one hex line each.")
        .def(
            "clear_log", [](V& v) { v.bus->ClearLog(); }, "Forgets the lines logged so far.")
        .def_property(
            "drop_share", [](const V& v) { return v.dropShare; },
            [](V& v, double share) { v.dropShare = share; v.bus->SetDropShare(share); },
            "Share of answers dropped, 0 to 1.")
        .def_property(
            "corrupt_share", [](const V& v) { return v.corruptShare; },
            [](V& v, double share) { v.corruptShare = share; v.bus->SetCorruptShare(share); },
            "Share of packets corrupted on the line, either way, 0 to 1.")
        .def_property(
            "reply_delay_ms", [](const V& v) { return v.delayMs; },
            [](V& v, int ms) { v.delayMs = ms; v.bus->SetReplyDelayMs(ms); },
            "Every answer is held this many milliseconds.")
        .def_property(
            "load", [](const V& v) { return v.load; },
            [](V& v, double torque) {
                if (!(torque >= -1000 && torque <= 1000))
                    throw py::value_error("load must lie from -1000 to 1000");
                v.load = torque;
                v.bus->SetLoad(torque);
            },
            "The constant load torque on every servo.")
        .def(
            "set_fault", [](V& v, int id, double drop, double corrupt) {
                if (!(drop >= 0 && drop <= 1 && corrupt >= 0 && corrupt <= 1))
                    throw py::value_error("shares lie from 0 to 1");
                v.bus->SetServoFault(static_cast<uint8_t>(Checked(id, "ID", 0, 253)), drop, corrupt);
            },
            py::arg("id"), py::kw_only(), py::arg("drop") = 0.0, py::arg("corrupt") = 0.0,
            "Faults of the servos at `id` alone: a share of their answers dropped, a share sent "
            "with one wrong byte.")
        .def_property(
            "echo", [](const V& v) { return v.echo; },
            [](V& v, bool on) { v.echo = on; v.bus->SetEcho(on); },
            "Whether the line hands back every byte sent to it.")
        .def(
            "tally", [](const V& v) {
                py::list rows;
                for (const auto& t : v.bus->Tally()) {
                    py::dict d;
                    d["id"] = t.id;
                    d["heard"] = t.heard;
                    d["answered"] = t.answered;
                    d["dropped"] = t.dropped;
                    d["corrupted"] = t.corrupted;
                    rows.append(d);
                }
                return rows;
            },
            "What each servo did, in the order given: [{'id', 'heard', 'answered', 'dropped', "
            "'corrupted'}], as servo-sim prints on stderr when it ends.")
        .def(
            "refuse_blocks", [](V& v, int count) { v.bus->RefuseNextBlocks(count); },
            py::arg("count"), "The loader refuses the next `count` firmware blocks (0x15).")
        .def(
            "set_fault_bits", [](V& v, int id, int bits) {
                v.bus->SetFaultBits(static_cast<uint8_t>(id), static_cast<uint8_t>(bits));
            },
            py::arg("id"), py::arg("bits"), "Sets a servo's fault flags (address 65).")
        .def(
            "turn_by_hand", [](V& v, int id, int position) {
                std::string error;
                if (!v.bus->TurnByHand(static_cast<uint8_t>(Checked(id, "ID", 0, 253)), position, error))
                    throw py::value_error(error);
            },
            py::arg("id"), py::arg("position"),
            "Turns servo `id`'s output shaft by hand to `position`, the position it reads with "
            "no correction (0..4095 in the shipped families). ValueError while its torque is "
            "on, for an unknown ID or a position outside the range.")
        .def(
            "reverse_correction", [](V& v, int id) {
                if (!v.bus->ReverseCorrection(static_cast<uint8_t>(Checked(id, "ID", 0, 253))))
                    throw py::key_error("no servo " + std::to_string(id) + " on the virtual bus");
            },
            py::arg("id"),
            "Servo `id`'s position correction counts the other way from now on, as in a "
            "family built so.")
        .def("memory", &V::Memory, py::arg("id"), "The 256 bytes servo `id` holds now.")
        .def(
            "set_memory", [](V& v, int id, int address, int value) {
                v.bus->SetMemory(static_cast<uint8_t>(id), static_cast<uint8_t>(address),
                                 static_cast<uint8_t>(value));
            },
            py::arg("id"), py::arg("address"), py::arg("value"), "Sets one byte of a servo's memory.")
        .def(
            "loader_image", [](const V& v) {
                const auto bytes = v.bus->LoaderImage();
                return py::bytes(reinterpret_cast<const char*>(bytes.data()), bytes.size());
            },
            "The firmware bytes the loader has accepted.")
        .def_property_readonly(
            "loader_blocks", [](const V& v) { return v.bus->LoaderBlocksAccepted(); },
            "Firmware blocks the loader has accepted.")
        .def_property_readonly(
            "loader_complete", [](const V& v) { return v.bus->LoaderComplete(); },
            "Whether the loader has received the last block.");
}

}  // namespace servobus
