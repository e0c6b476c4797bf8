#include "servo/ValueCoding.h"

#include "servo/MemoryRows.h"
#include "protocol/ZNS.h"
#include "support/LeadingInt.h"

namespace {

constexpr int kNone = -1;

std::string Fill(const char* format, const std::string& name, int limit)
{
    std::string text = format;
    text.replace(text.find("%d"), 2, std::to_string(limit));
    text.replace(text.find("%s"), 2, name);
    return text;
}

}  // namespace

std::string NotBelowMessage(const std::string& name, int limit)
{
    return Fill("%s不能小于%d", name, limit);
}

std::string NotAboveMessage(const std::string& name, int limit)
{
    return Fill("%s不能大于%d", name, limit);
}

WriteRequest PrepareWrite(const MemoryItem& item, int value)
{
    WriteRequest r;
    const int minimum = LeadingInt(item.minimum);
    const int maximum = LeadingInt(item.maximum);
    // A sign bit outside the 16 bits can't carry a sign.
    const int signBit = item.signBit == "-1" ? kNone : LeadingInt(item.signBit);
    const bool signedItem = signBit >= 0 && signBit <= 15;
    if (minimum != kNone && value < minimum)
        r = {WriteRequest::Refused::Below, minimum, NotBelowMessage(item.name, minimum)};
    else if (maximum != kNone && value > maximum)
        r = {WriteRequest::Refused::Above, maximum, NotAboveMessage(item.name, maximum)};
    else if (value < 0 && !signedItem)
        r = {WriteRequest::Refused::Below, 0, NotBelowMessage(item.name, 0)};
    if (r.refused != WriteRequest::Refused::No)
        return r;
    r.address = LeadingInt(item.address);
    r.size = LeadingInt(item.size);
    r.value = EncodeSignMagnitude(value, signedItem ? signBit : kNone);
    r.eprom = item.area == text::kEprom;
    return r;
}
