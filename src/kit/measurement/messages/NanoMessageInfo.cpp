#include "kit/measurement/messages/NanoMessageInfo.h"

namespace kit::measurement {

NanoMessageInfo::NanoMessageInfo(MessageType messageType)
    : type(messageType), name(messageDescription(messageType).name), flags(messageDescription(messageType).flags) {
    slots.resize(flags.size());
    for (std::size_t slot = 0; slot < flags.size(); ++slot) {
        if ((flags[slot] & field_flag::repeated) == 0) {
            continue;
        }
        if ((flags[slot] & field_flag::message) != 0) {
            slots[slot].emplace<NanoMessageList>();
        } else if ((flags[slot] & field_flag::string) != 0) {
            slots[slot].emplace<NanoStringList>();
        } else {
            slots[slot].emplace<NanoNumberList>();
        }
    }
}

NanoMessageInfo::~NanoMessageInfo() = default;

}  // namespace kit::measurement
