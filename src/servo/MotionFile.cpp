// The motion file in JSON.
#include "servo/MotionFile.h"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

using Json = nlohmann::json;

struct Reader {
    MotionFileError& error;

    bool Fail(const std::string& where, const std::string& what)
    {
        error = {where, what};
        return false;
    }

    // A whole number in [low, high].
    bool Int(const Json& value, const std::string& where, long long low, long long high, int& out)
    {
        if (!value.is_number_integer())
            return Fail(where, "must be a whole number, not " + value.dump());
        long long v = high + 1;
        if (!value.is_number_unsigned() || value.get<unsigned long long>() <= static_cast<unsigned long long>(high))
            v = value.get<long long>();
        if (v < low || v > high)
            return Fail(where, "must be " + std::to_string(low) + ".." + std::to_string(high) +
                                   ", not " + value.dump());
        out = static_cast<int>(v);
        return true;
    }

    bool Id(const std::string& key, const std::string& where, uint8_t& id)
    {
        if (key.empty() || key.size() > 3 || key.find_first_not_of("0123456789") != std::string::npos ||
            std::stoi(key) > 253)
            return Fail(where, "\"" + key + "\" is not a servo ID (0..253)");
        id = static_cast<uint8_t>(std::stoi(key));
        return true;
    }

    bool Keyframe(const Json& j, const std::string& where, ::Keyframe& kf)
    {
        if (!j.is_object())
            return Fail(where, "must be an object with \"pose\" and \"time_ms\"");
        const auto pose = j.find("pose");
        if (pose == j.end())
            return Fail(where + ".pose", "missing");
        if (!pose->is_object() || pose->empty())
            return Fail(where + ".pose", "must be an object of at least one ID and its position");
        for (const auto& [key, value] : pose->items()) {
            uint8_t id = 0;
            int position = 0;
            const std::string at = where + ".pose." + key;
            if (!Id(key, at, id) || !Int(value, at, -30719, 30719, position))
                return false;
            if (!kf.pose.emplace(id, position).second)
                return Fail(at, "names servo " + std::to_string(id) + " twice");
        }
        const auto time = j.find("time_ms");
        if (time == j.end())
            return Fail(where + ".time_ms", "missing");
        if (!Int(*time, where + ".time_ms", 1, kMaxKeyframeMs, kf.timeMs))
            return false;
        kf.holdMs = 0;
        if (const auto hold = j.find("hold_ms"); hold != j.end() &&
                                                 !Int(*hold, where + ".hold_ms", 0, kMaxKeyframeMs, kf.holdMs))
            return false;
        return true;
    }

    bool Motion(const Json& j, ::Motion& motion)
    {
        if (!j.is_object())
            return Fail("", "not a motion file (a JSON object with \"version\" and \"keyframes\")");
        if (const auto format = j.find("format"); format != j.end() && *format != kMotionFormat)
            return Fail("format", "must be \"" + std::string(kMotionFormat) + "\", not " + format->dump());
        const auto version = j.find("version");
        if (version == j.end())
            return Fail("version", "missing");
        int v = 0;
        if (!Int(*version, "version", 1, 1000000, v))
            return false;
        if (v > kMotionFileVersion)
            return Fail("version", "the file is of version " + std::to_string(v) +
                                       ", newer than this program reads (" +
                                       std::to_string(kMotionFileVersion) + ")");
        motion.easing = Easing::MinimumJerk;
        if (const auto easing = j.find("easing"); easing != j.end()) {
            if (*easing == "linear")
                motion.easing = Easing::Linear;
            else if (*easing != "minimum-jerk")
                return Fail("easing", "must be \"linear\" or \"minimum-jerk\", not " + easing->dump());
        }
        const auto keyframes = j.find("keyframes");
        if (keyframes == j.end())
            return Fail("keyframes", "missing");
        if (!keyframes->is_array())
            return Fail("keyframes", "must be a list of keyframes");
        if (keyframes->size() > kMaxKeyframes)
            return Fail("keyframes", "more than " + std::to_string(kMaxKeyframes) + " keyframes");
        motion.keyframes.clear();
        for (size_t k = 0; k < keyframes->size(); ++k) {
            const std::string where = "keyframes[" + std::to_string(k) + "]";
            ::Keyframe kf;
            if (!Keyframe((*keyframes)[k], where, kf))
                return false;
            if (!SameServos(motion, kf))
                return Fail(where + ".pose", "names other servos than keyframes[0] does");
            motion.keyframes.push_back(std::move(kf));
        }
        return true;
    }
};

// "line 3, column 7" of byte `offset` (1-based, as the parser counts) of `text`.
std::string LineAndColumn(const std::string& text, size_t offset)
{
    int line = 1;
    size_t lineStart = 0;
    for (size_t i = 0; i + 1 < offset && i < text.size(); ++i)
        if (text[i] == '\n') {
            ++line;
            lineStart = i + 1;
        }
    const size_t column = offset > lineStart ? offset - lineStart : 1;
    return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

}  // namespace

bool SameServos(const Motion& motion, const Keyframe& keyframe)
{
    if (motion.keyframes.empty())
        return true;
    const Pose& first = motion.keyframes.front().pose;
    if (first.size() != keyframe.pose.size())
        return false;
    for (const auto& [id, position] : first)
        if (!keyframe.pose.contains(id))
            return false;
    return true;
}

bool ParseMotion(const std::string& text, Motion& motion, MotionFileError& error)
{
    error = {};
    Json j;
    try {
        j = Json::parse(text);
    } catch (const Json::parse_error& e) {
        error = {LineAndColumn(text, e.byte), "not JSON"};
        return false;
    } catch (const Json::exception& e) {
        // A number too large for any type is refused by the parser without a place.
        error = {"", std::string("not JSON (") + e.what() + ")"};
        return false;
    }
    Motion read;
    try {
        if (!Reader{error}.Motion(j, read))
            return false;
    } catch (const Json::exception& e) {
        // The reader checks every type before it takes a value; this is for what it missed.
        error = {"", std::string("not a motion file (") + e.what() + ")"};
        return false;
    }
    motion = std::move(read);
    return true;
}

std::string MotionJson(const Motion& motion)
{
    // Written by hand in a fixed layout: one line a keyframe, so files diff well.
    std::ostringstream out;
    out << "{\n  \"format\": \"" << kMotionFormat << "\",\n  \"version\": " << kMotionFileVersion
        << ",\n  \"easing\": \"" << EasingName(motion.easing) << "\",\n  \"keyframes\": [";
    for (size_t k = 0; k < motion.keyframes.size(); ++k) {
        const Keyframe& kf = motion.keyframes[k];
        out << (k ? ",\n" : "\n") << "    {\"pose\": {";
        bool first = true;
        for (const auto& [id, position] : kf.pose) {
            out << (first ? "" : ", ") << '"' << int(id) << "\": " << position;
            first = false;
        }
        out << "}, \"time_ms\": " << kf.timeMs << ", \"hold_ms\": " << kf.holdMs << "}";
    }
    out << (motion.keyframes.empty() ? "]\n}\n" : "\n  ]\n}\n");
    return out.str();
}

bool LoadMotion(const std::string& path, Motion& motion, MotionFileError& error)
{
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    if (!in) {
        error = {"", "cannot read " + path + ": " + std::strerror(errno)};
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    return ParseMotion(text.str(), motion, error);
}

bool SaveMotion(const std::string& path, const Motion& motion, std::string& error)
{
    const std::filesystem::path target(path);
    std::filesystem::path temporary = target;
    temporary += ".new";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << MotionJson(motion);
        out.flush();
        if (!out) {
            error = "cannot write " + temporary.string();
            std::error_code ignored;
            std::filesystem::remove(temporary, ignored);
            return false;
        }
    }
    std::error_code ec;
    std::filesystem::rename(temporary, target, ec);
    if (ec) {
        error = "cannot write " + path + ": " + ec.message();
        std::filesystem::remove(temporary, ec);
        return false;
    }
    return true;
}
