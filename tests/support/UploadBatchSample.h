#pragma once

#include "kit/measurement/messages/MessageCodec.h"

#include <cstdint>
#include <string>
#include <utility>

// An upload batch as the engine sends it: bundles of 1,000 events with eight
// parameters each, for the message benchmark and the decoding tests.
namespace kit::measurement::testing {

inline NanoMessageInfo parameter(int index, int event) {
    NanoMessageInfo param(MessageType::EventParam);
    param.slots[0] = "param_" + std::to_string(index);
    switch (index % 4) {
    case 0:
        param.slots[1] = "value " + std::to_string(event * 31 + index);
        break;
    case 1:
        param.slots[2] = std::uint64_t(1717236000123ULL + static_cast<std::uint64_t>(event));
        break;
    case 2:
        param.slots[4] = std::uint64_t{0x4033FD70A3D70A3DULL};  // 19.99
        break;
    default:
        param.slots[1] = std::string("auto");
    }
    return param;
}

inline NanoMessageInfo bundle(int number) {
    NanoMessageInfo bundle(MessageType::MeasurementBundle);
    bundle.slots[0] = std::uint64_t{1};
    auto& events = std::get<NanoMessageList>(bundle.slots[1]);
    for (int index = 0; index < 1000; ++index) {
        NanoMessageInfo event(MessageType::Event);
        auto& params = std::get<NanoMessageList>(event.slots[0]);
        for (int param = 0; param < 8; ++param) {
            params.push_back(parameter(param, index));
        }
        event.slots[1] = index % 3 == 0 ? std::string("generate_click") : std::string("_e");
        event.slots[2] = std::uint64_t(1717236000000ULL + static_cast<std::uint64_t>(index) * 1000);
        event.slots[3] = std::uint64_t(1717235999000ULL + static_cast<std::uint64_t>(index) * 1000);
        events.push_back(std::move(event));
    }
    bundle.slots[8] = std::string("macos");
    bundle.slots[9] = std::string("14.5");
    bundle.slots[14] = std::string("org.stubforge.Stubforge");
    bundle.slots[24] = std::uint64_t(static_cast<std::uint64_t>(number) * 1000);
    return bundle;
}

// Bundles until their encodings reach `minimumBytes`.
inline NanoMessageInfo batchOf(std::size_t minimumBytes) {
    NanoMessageInfo batch(MessageType::MeasurementBatch);
    auto& bundles = std::get<NanoMessageList>(batch.slots[0]);
    std::size_t size = 0;
    for (int number = 0; size < minimumBytes; ++number) {
        bundles.push_back(bundle(number));
        size += encodeMessage(bundles.back())->size() + 4;
    }
    return batch;
}

}  // namespace kit::measurement::testing
