// Decode and encode speed of the measurement message codec: a 10 MB upload
// batch (bundles of 1,000 events with 8 parameters each) and a 1 MiB remote
// configuration. Target: at least 40 MB/s each way, and a decode that allocates
// at most 8 times its input (plus 1 MiB), shown as the peak over the input size.

#include "BenchTiming.h"
#include "UploadBatchSample.h"

#include "kit/measurement/messages/MessageCodec.h"

#include <malloc.h>
#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>

// Every block counted at its usable size, so the peak of one decode can be read.
namespace {
std::atomic<std::size_t> heldBytes{0};
std::atomic<std::size_t> peakHeldBytes{0};

void* countedBlock(std::size_t size) {
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block != nullptr) {
        const std::size_t usable = malloc_usable_size(block);
        const std::size_t now = heldBytes.fetch_add(usable, std::memory_order_relaxed) + usable;
        std::size_t peak = peakHeldBytes.load(std::memory_order_relaxed);
        while (now > peak && !peakHeldBytes.compare_exchange_weak(peak, now, std::memory_order_relaxed)) {
        }
    }
    return block;
}

void freeBlock(void* block) {
    if (block != nullptr) {
        heldBytes.fetch_sub(malloc_usable_size(block), std::memory_order_relaxed);
        std::free(block);
    }
}
}  // namespace

void* operator new(std::size_t size) {
    if (void* block = countedBlock(size)) {
        return block;
    }
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return countedBlock(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return countedBlock(size); }
void operator delete(void* block) noexcept { freeBlock(block); }
void operator delete[](void* block) noexcept { freeBlock(block); }
void operator delete(void* block, std::size_t) noexcept { freeBlock(block); }
void operator delete[](void* block, std::size_t) noexcept { freeBlock(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { freeBlock(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { freeBlock(block); }

namespace {

using bench::peakResidentMegabytes;
using bench::secondsFor;
using kit::measurement::testing::batchOf;

using namespace kit::measurement;

constexpr double targetMegabytesPerSecond = 40.0;

NanoMessageInfo entity(int depth, int index) {
    NanoMessageInfo node(MessageType::RuntimeEntity);
    node.slots[0] = std::uint64_t(depth == 0 ? 1 : 4);
    if (depth == 0) {
        node.slots[3] = "literal_" + std::to_string(index);
        return node;
    }
    node.slots[2] = std::string("call");
    auto& children = std::get<NanoMessageList>(node.slots[1]);
    for (int child = 0; child < 3; ++child) {
        children.push_back(entity(depth - 1, index * 3 + child));
    }
    return node;
}

NanoMessageInfo configOf(std::size_t minimumBytes) {
    NanoMessageInfo config(MessageType::MeasurementConfig);
    config.slots[0] = std::uint64_t{1717000000000ULL};
    config.slots[1] = std::string("1:123456789012:macos:0a1b2c3d4e5f6789");
    std::size_t size = 0;
    for (int round = 0; size < minimumBytes; ++round) {
        NanoMessageInfo setting(MessageType::Setting);
        setting.slots[0] = "measurement.setting_" + std::to_string(round);
        setting.slots[1] = std::to_string(round * 7);
        std::get<NanoMessageList>(config.slots[3]).push_back(std::move(setting));

        NanoMessageInfo audience(MessageType::Audience);
        audience.slots[0] = std::uint64_t(static_cast<std::uint64_t>(round));
        for (int filterIndex = 0; filterIndex < 3; ++filterIndex) {
            NanoMessageInfo filter(MessageType::EventFilter);
            filter.slots[0] = std::uint64_t(static_cast<std::uint64_t>(filterIndex));
            filter.slots[1] = "event_" + std::to_string(filterIndex);
            NanoMessageInfo condition(MessageType::Filter);
            auto stringFilter = std::make_unique<NanoMessageInfo>(MessageType::StringFilter);
            stringFilter->slots[0] = std::uint64_t{5};
            stringFilter->slots[1] = std::string("pdf");
            condition.slots[0] = std::move(stringFilter);
            std::get<NanoMessageList>(filter.slots[2]).push_back(std::move(condition));
            std::get<NanoMessageList>(audience.slots[2]).push_back(std::move(filter));
        }
        std::get<NanoMessageList>(config.slots[5]).push_back(std::move(audience));

        NanoMessageInfo program(MessageType::Program);
        std::get<NanoMessageList>(program.slots[0]).push_back(entity(4, round));
        std::get<NanoMessageList>(config.slots[8]).push_back(std::move(program));
        if (round % 32 == 31) {
            size = encodeMessage(config)->size();
        }
    }
    return config;
}

bool measure(const char* label, const NanoMessageInfo& message, int rounds) {
    const std::vector<std::uint8_t> bytes = *encodeMessage(message);
    const double megabytes = static_cast<double>(bytes.size()) * rounds / 1e6;
    bool decodedAll = true;
    const double decodeSeconds = secondsFor([&] {
        for (int round = 0; round < rounds; ++round) {
            decodedAll = decodeMessage(message.type, bytes).has_value() && decodedAll;
        }
    });
    const std::size_t heldBefore = heldBytes.load();
    peakHeldBytes.store(heldBefore);
    const NanoMessageInfo decoded = *decodeMessage(message.type, bytes);
    const double peakRatio = static_cast<double>(peakHeldBytes.load() - heldBefore) / static_cast<double>(bytes.size());
    const double allowedRatio = static_cast<double>(bytes.size() * 8 + (1 << 20)) / static_cast<double>(bytes.size());
    bool encodedAll = true;
    const double encodeSeconds = secondsFor([&] {
        for (int round = 0; round < rounds; ++round) {
            encodedAll = encodeMessage(decoded).has_value() && encodedAll;
        }
    });
    const double decodeRate = megabytes / decodeSeconds;
    const double encodeRate = megabytes / encodeSeconds;
    std::printf("%-18s %10zu bytes  decode %8.1f MB/s  encode %8.1f MB/s  decode peak %5.2f x input (allowed %.2f)\n",
                label, bytes.size(), decodeRate, encodeRate, peakRatio, allowedRatio);
    return decodedAll && encodedAll && decodeRate >= targetMegabytesPerSecond &&
           encodeRate >= targetMegabytesPerSecond && peakRatio <= allowedRatio;
}

}  // namespace

int main() {
    const NanoMessageInfo batch = batchOf(10'000'000);
    const NanoMessageInfo config = configOf(1 << 20);
    bool met = measure("MeasurementBatch", batch, 5);
    met = measure("MeasurementConfig", config, 20) && met;
    std::printf("peak resident memory %.1f MB\n", peakResidentMegabytes());
    std::printf("target %.0f MB/s each way: %s\n", targetMegabytesPerSecond, met ? "met" : "missed");
    return met ? 0 : 1;
}
