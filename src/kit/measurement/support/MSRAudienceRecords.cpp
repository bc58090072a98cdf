#include "kit/measurement/support/MSRAudienceRecords.h"

#include "kit/measurement/messages/NanoMessageAccess.h"

namespace kit::measurement {

namespace {

template <class Message>
MSRFilterFlags flagsFromData(std::span<const std::uint8_t> data, int sessionScopedSlot, int dynamicSlot,
                             int sequenceSlot) {
    const auto message = Message::initWithBuffer(data);
    if (!message) {
        return {};
    }
    return {NanoMessageGetBool(*message, sessionScopedSlot), NanoMessageGetBool(*message, dynamicSlot),
            NanoMessageGetBool(*message, sequenceSlot)};
}

}  // namespace

MSRFilterFlags MSREventFilterFlagsFromData(std::span<const std::uint8_t> data) {
    return flagsFromData<MSRPBEventFilter>(data, 7, 5, 6);
}

MSRFilterFlags MSRPropertyFilterFlagsFromData(std::span<const std::uint8_t> data) {
    return flagsFromData<MSRPBPropertyFilter>(data, 5, 3, 4);
}

}  // namespace kit::measurement
