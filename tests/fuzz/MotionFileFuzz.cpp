// The motion file's reader on any text: it never throws or crashes; a motion it takes keeps
// every rule of the file (IDs 0..253, positions within ±30719, times 1..an hour, holds 0..an
// hour, every keyframe naming the same servos) and comes back the same through its own JSON;
// a refusal says what is wrong and leaves the motion it was given untouched.
#include "FuzzCheck.h"

#include "servo/MotionFile.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const Motion before{Easing::Linear, {{{{7, 1}}, 5, 6}}};
    Motion motion = before;
    MotionFileError error;
    if (!ParseMotion(text, motion, error)) {
        FUZZ_CHECK(!error.what.empty(), "a refusal without a reason");
        FUZZ_CHECK(motion == before, "a refused file changed the motion");
        return 0;
    }
    FUZZ_CHECK(error.ok(), "taken with an error: %s", error.Text().c_str());
    for (const Keyframe& kf : motion.keyframes) {
        FUZZ_CHECK(kf.timeMs >= 1 && kf.timeMs <= kMaxKeyframeMs, "time %d", kf.timeMs);
        FUZZ_CHECK(kf.holdMs >= 0 && kf.holdMs <= kMaxKeyframeMs, "hold %d", kf.holdMs);
        FUZZ_CHECK(!kf.pose.empty() && SameServos(motion, kf), "a keyframe of other servos");
        for (const auto& [id, position] : kf.pose)
            FUZZ_CHECK(id <= 253 && position >= -30719 && position <= 30719, "servo %d at %d", id, position);
    }
    Motion again;
    FUZZ_CHECK(ParseMotion(MotionJson(motion), again, error), "its own JSON refused: %s",
               error.Text().c_str());
    FUZZ_CHECK(again == motion, "not the same through its own JSON");
    return 0;
}
