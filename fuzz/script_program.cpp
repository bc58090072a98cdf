// Two modes, picked by the first byte. Trees: builds program entity trees
// from the input bytes and runs them, twice, with a collection in between and
// the runtime dropped at the end. Editing (first byte 0xF0 or above): decodes
// the rest as a Program message, loads it for event editing and hands it
// three fixed events, one with an item array.

#include "kit/measurement/messages/MessageCodec.h"
#include "kit/measurement/messages/NanoMessageInfo.h"
#include "kit/measurement/script/MSRPEventEditing.h"
#include "kit/measurement/script/MSRPNativeModules.h"
#include "kit/measurement/script/ScriptRuntime.h"
#include "kit/measurement/script/ScriptValues.h"

#include <array>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace {

using kit::measurement::MessageType;
using kit::measurement::NanoMessageInfo;
using kit::measurement::NanoMessageList;

class TreeBuilder {
public:
    TreeBuilder(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    std::vector<NanoMessageInfo> program() {
        std::vector<NanoMessageInfo> entities;
        std::size_t count = 1 + next() % 8;
        for (std::size_t index = 0; index < count && position_ < size_; ++index) {
            entities.push_back(entity(0));
        }
        return entities;
    }

private:
    static constexpr std::array<std::string_view, 12> names = {"a",
                                                               "b",
                                                               "x",
                                                               "i",
                                                               "f",
                                                               "require",
                                                               "runtime.counter",
                                                               "internal.platform",
                                                               "length",
                                                               "toString",
                                                               "getVersion",
                                                               "hasOwnProperty"};
    static constexpr std::array<double, 12> numbers = {0,
                                                       1,
                                                       2,
                                                       -1,
                                                       0.5,
                                                       1e19,
                                                       3000000000,
                                                       1e21,
                                                       999999,
                                                       std::numeric_limits<double>::infinity(),
                                                       std::numeric_limits<double>::quiet_NaN(),
                                                       -0.0};

    std::uint8_t next() { return position_ < size_ ? data_[position_++] : 0; }

    NanoMessageInfo entity(int depth) {
        ++nodes_;
        NanoMessageInfo record(MessageType::RuntimeEntity);
        std::uint8_t choice = next();
        switch (choice % 10) {
        case 0:
            record.slots[0] = std::uint64_t{1};
            record.slots[3] = std::string(names[next() % names.size()]);
            break;
        case 1:
            record.slots[0] = std::uint64_t{2};
            record.slots[5] = std::bit_cast<std::uint64_t>(numbers[next() % numbers.size()]);
            break;
        case 2:
            record.slots[0] = std::uint64_t{3};
            record.slots[4] = std::uint64_t{next() & 1u};
            break;
        case 9:
            // Entities a server should never send.
            if (choice & 0x10) {
                record.slots[0] = std::uint64_t{choice};
            } else if (choice & 0x20) {
                record.slots[0] = std::uint64_t{4};
            }
            break;
        default: {
            record.slots[0] = std::uint64_t{4};
            std::uint8_t name = next();
            record.slots[2] = name < 200 ? std::to_string(name % 70) : std::string(names[name % names.size()]);
            std::size_t children = next() % 6;
            auto& list = std::get<NanoMessageList>(record.slots[1]);
            for (std::size_t child = 0; child < children && depth < 60 && nodes_ < 600; ++child) {
                list.push_back(entity(depth + 1));
            }
            break;
        }
        }
        return record;
    }

    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t position_ = 0;
    std::size_t nodes_ = 0;
};

using namespace kit::measurement::script;

void runProgram(MSRPRuntime& runtime, const std::vector<NanoMessageInfo>& program) {
    // Most runs should not spend a million evaluations: start near the limit.
    runtime.resetInstructionCount();
    runtime.objectManager().executionState().instructionCount = limits::instructionLimit - 20000;
    ScriptError error;
    ValueRef result = runtime.executeStatements(program, error);
    if (!error) {
        ScriptError conversion;
        result->stringValueOrError(conversion);
    }
}

class DiscardLogSink final : public platform::LogSink {
public:
    void write(const platform::LogEntry&) override {}
};

class DiscardScriptLogger final : public MSRPLoggerDelegate {
public:
    void logWithLevel(std::int64_t, const std::string&, const std::vector<std::string>&, bool, bool) override {}
};

constexpr std::uint8_t editingMode = 0xF0;

const std::vector<kit::measurement::MSRPEvent>& fixedEvents() {
    using platform::Value;
    static const std::vector<kit::measurement::MSRPEvent> events{
        {"level_up", 1700000000.25, {{"level", Value(std::int64_t{3})}, {"_o", Value("app")}}},
        {"session_start", 1700000001, {{"_err", Value(std::int64_t{2})}, {"ratio", Value(0.5)}, {"flag", Value(true)}}},
        {"purchase",
         1700000002,
         {{"value", Value(9.99)},
          {"currency", Value("EUR")},
          {"items", Value(Value::Array{Value(Value::Dictionary{{"item_id", Value("a")}, {"price", Value(1.5)}}),
                                       Value(Value::Dictionary{{"item_id", Value("b")}, {"quantity", Value(2)}})})}}},
    };
    return events;
}

void runEditing(const std::uint8_t* data, std::size_t size) {
    DiscardLogSink log;
    std::optional<NanoMessageInfo> program =
        kit::measurement::decodeMessage(MessageType::Program, std::span(data, size), log);
    if (!program) {
        return;
    }
    MSRPEventEditing editing;
    editing.setModuleCreator(
        [] {
            return ValueRef(makeRef<MSRPKeyValueStore>(u"internal.remoteConfig", [](std::string_view key) {
                return key == "a" ? std::optional<std::string>("10") : std::nullopt;
            }));
        },
        u"internal.remoteConfig");
    editing.setModuleCreator(
        [] {
            return ValueRef(makeRef<MSRPObjectProvider>(u"internal.appMetadata", [] {
                return platform::Value(platform::Value::Dictionary{{"platform", platform::Value("macos")}});
            }));
        },
        u"internal.appMetadata");
    editing.setModuleCreator(
        [] { return ValueRef(makeRef<MSRPMessageLogger>(std::make_shared<DiscardScriptLogger>())); },
        u"internal.logger");
    if (!editing.loadProgram(*program)) {
        return;
    }
    for (const kit::measurement::MSRPEvent& event : fixedEvents()) {
        auto handled = editing.handleEvent(event);
        if (handled && !*handled && (editing.hasEdits() || editing.hasCreatedEvents())) {
            std::abort();  // "no edit" with an edit
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 0 && data[0] >= editingMode) {
        runEditing(data + 1, size - 1);
        return 0;
    }
    TreeBuilder builder(data, size);
    std::vector<NanoMessageInfo> program = builder.program();
    {
        MSRPRuntime runtime;
        runtime.setModuleCreator([] { return ValueRef(); }, u"a");
        runProgram(runtime, program);
        runtime.collectGarbage();
        runProgram(runtime, program);
        runtime.collectGarbage();
    }
    return 0;
}
