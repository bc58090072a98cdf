#pragma once

// Helpers of the wrapper and accessor tests: every line the module writes lands
// in a capture sink for the length of a test.

#include "MessageTestSupport.h"
#include "kit/core/KitContext.h"
#include "kit/measurement/messages/ExperimentFlags.h"
#include "kit/measurement/messages/MessagesLog.h"
#include "kit/measurement/messages/NanoMessageAccess.h"

#include <bit>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace kit::measurement::testing {

// The sink belongs to the test's own kit context and ends with it.
class CapturedLines : public ::testing::Test {
protected:
    void SetUp() override { installMessagesLogSink(sink_); }

    std::vector<std::string> lines() { return sink_->drainLines(); }

private:
    kit::KitContext context_;
    std::shared_ptr<platform::CaptureLogSink> sink_ = std::make_shared<platform::CaptureLogSink>();
};

inline std::string notScalarLine(std::string_view kind, std::string_view message, int field) {
    return "<Nano/Failure> Field type isn't a scalar " + std::string(kind) + ". Message: " + std::string(message) +
           ", field ID: " + std::to_string(field);
}

inline std::string notRepeatedLine(std::string_view message, int field) {
    return "<Nano/Failure> Field type isn't REPEATED. Message: " + std::string(message) +
           ", field ID: " + std::to_string(field);
}

inline std::string outOfRangeLine(std::string_view message, int field) {
    return "<Nano/Failure> Field ID is out of range. Message: " + std::string(message) +
           ", field ID: " + std::to_string(field);
}

inline std::string mismatchLine(std::string_view message, int field) {
    return "<Nano/Failure> Message type mismatch. Message: " + std::string(message) +
           ", field ID: " + std::to_string(field);
}

// A monitor that keeps what it was told.
class RecordingMonitor final : public ExperimentMonitor {
public:
    struct Entry {
        int level;
        std::int64_t code;
        std::string message;
        std::optional<platform::Value> context;
        bool operator==(const Entry&) const = default;
    };

    void logWithLevel(int level, std::int64_t messageCode, std::string_view message) override {
        entries.push_back({level, messageCode, std::string(message), std::nullopt});
    }
    void logWithLevel(int level, std::int64_t messageCode, std::string_view message,
                      const platform::Value& context) override {
        entries.push_back({level, messageCode, std::string(message), context});
    }

    std::vector<Entry> entries;
};

}  // namespace kit::measurement::testing

namespace kit::measurement::testing {

// What the tests do with a wrapper class chosen at run time.
struct WrapperOps {
    std::string_view className;
    MessageType type;
    std::function<NanoMessage()> makeEmpty;
    std::function<std::optional<NanoMessage>(const NanoMessageInfo*)> initWithMessageInfo;
    std::function<std::optional<NanoMessage>(std::span<const std::uint8_t>)> initWithBuffer;
    std::function<std::optional<NanoMessage>(const NanoMessage&, int)> getMessage;
    // The list read as this wrapper class: nothing after a failed check.
    std::function<std::optional<std::vector<NanoMessage>>(const NanoMessage&, int)> getArray;
    std::function<void(NanoMessage&, int, std::size_t)> setArrayOfEmpty;
};

template <NanoMessageClass Wrapper>
WrapperOps wrapperOps() {
    return WrapperOps{
        .className = Wrapper::className,
        .type = Wrapper::wrappedType,
        .makeEmpty = [] { return NanoMessage(Wrapper()); },
        .initWithMessageInfo = [](const NanoMessageInfo* record) -> std::optional<NanoMessage> {
            return Wrapper::initWithMessageInfo(record);
        },
        .initWithBuffer = [](std::span<const std::uint8_t> bytes) -> std::optional<NanoMessage> {
            return Wrapper::initWithBuffer(bytes);
        },
        .getMessage = [](const NanoMessage& message, int field) -> std::optional<NanoMessage> {
            return NanoMessageGetMessage<Wrapper>(message, field);
        },
        .getArray = [](const NanoMessage& message, int field) -> std::optional<std::vector<NanoMessage>> {
            auto elements = NanoMessageGetArray<Wrapper>(message, field);
            if (!elements) {
                return std::nullopt;
            }
            return std::vector<NanoMessage>(elements->begin(), elements->end());
        },
        .setArrayOfEmpty = [](NanoMessage& message, int field,
                              std::size_t count) { NanoMessageSetArray(message, field, std::vector<Wrapper>(count)); },
    };
}

inline const std::vector<WrapperOps>& allWrappers() {
    static const std::vector<WrapperOps> wrappers{
#define KIT_WRAPPER_OPS(name) wrapperOps<MSRPB##name>(),
        KIT_MEASUREMENT_WRAPPERS(KIT_WRAPPER_OPS)
#undef KIT_WRAPPER_OPS
    };
    return wrappers;
}

// The wrapper of `type`; null for the messages without one.
inline const WrapperOps* wrapperFor(MessageType type) {
    for (const WrapperOps& ops : allWrappers()) {
        if (ops.type == type) {
            return &ops;
        }
    }
    return nullptr;
}

// A record with every slot set: numbers from the slot, strings "s<slot>", two
// elements per list, embedded messages filled `depth` levels down.
inline NanoMessageInfo filledRecord(MessageType type, int depth = 2) {
    NanoMessageInfo record(type);
    const NanoMessageDescription& description = record.description();
    for (std::size_t slot = 0; slot < description.fields.size(); ++slot) {
        const NanoFieldInfo& field = description.fields[slot];
        const NanoFieldFlags kind = field.flags & field_flag::types;
        const bool repeated = (field.flags & field_flag::repeated) != 0;
        const std::uint64_t number = kind == field_flag::boolean ? 1 : 100 + slot;
        const std::uint64_t word =
            kind == field_flag::floatingPoint     ? std::bit_cast<std::uint32_t>(static_cast<float>(number) + 0.5f)
            : kind == field_flag::doublePrecision ? std::bit_cast<std::uint64_t>(static_cast<double>(number) + 0.25)
                                                  : number;
        NanoCell& cell = record.slots[slot];
        if (kind == field_flag::message) {
            if (depth == 0) {
                continue;
            }
            if (repeated) {
                auto& list = std::get<NanoMessageList>(cell);
                list.push_back(filledRecord(field.messageType, depth - 1));
                list.push_back(filledRecord(field.messageType, depth - 1));
            } else {
                cell = std::make_unique<NanoMessageInfo>(filledRecord(field.messageType, depth - 1));
            }
        } else if (kind == field_flag::string) {
            const std::string text = "s" + std::to_string(slot);
            if (repeated) {
                std::get<NanoStringList>(cell) = {text, text + "b"};
            } else {
                cell = text;
            }
        } else if (repeated) {
            std::get<NanoNumberList>(cell) = {word, word + 1};
        } else {
            cell = word;
        }
    }
    return record;
}

}  // namespace kit::measurement::testing
