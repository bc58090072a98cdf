#pragma once

#include "kit/measurement/messages/NanoMessageInfo.h"

#include <concepts>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

// The message wrappers: each owns one record exclusively and is the only way the
// engine holds a measurement message. Fields are read and written through the
// typed accessors of NanoMessageAccess.h.
namespace kit::measurement {

using NanoBytes = std::vector<std::uint8_t>;

// The base of every wrapper. A wrapper always knows its message type; it holds no
// record only after it was moved from, and the accessors then log and answer the
// empty result.
class NanoMessage {
public:
    NanoMessage(const NanoMessage& other);
    NanoMessage& operator=(const NanoMessage& other);
    NanoMessage(NanoMessage&& other) noexcept;
    NanoMessage& operator=(NanoMessage&& other) noexcept;
    ~NanoMessage();

    MessageType messageType() const { return type_; }
    // The message name, e.g. "Event".
    std::string_view messageID() const { return messageDescription(type_).name; }
    const NanoMessageInfo* messageInfo() const { return record_.get(); }
    NanoMessageInfo* messageInfo() { return record_.get(); }

    // The encoding; empty bytes for a message with no field set, nothing when the
    // wrapper holds no record or the record cannot be encoded.
    std::optional<NanoBytes> protoBuffer() const;

protected:
    // An empty message of `type`: every singular field absent, every list empty.
    explicit NanoMessage(MessageType type);
    NanoMessage(MessageType type, std::unique_ptr<NanoMessageInfo> record);

    // A deep copy of `record`, or nothing when it is of another type. A null
    // record gives an empty message.
    static std::optional<std::unique_ptr<NanoMessageInfo>> copiedRecord(MessageType type,
                                                                        const NanoMessageInfo* record);
    // The decoded record, or nothing on failure; empty bytes give an empty message.
    static std::optional<std::unique_ptr<NanoMessageInfo>> decodedRecord(MessageType type,
                                                                         std::span<const std::uint8_t> bytes);

private:
    MessageType type_;
    std::unique_ptr<NanoMessageInfo> record_;  // null only in a moved-from wrapper
};

// The common part of the 39 wrapper classes.
template <class Derived, MessageType Type>
class NanoMessageWrapper : public NanoMessage {
public:
    static constexpr MessageType wrappedType = Type;

    NanoMessageWrapper() : NanoMessage(Type) {}

    // A deep copy of `record`; nothing when it is of another message type. A null
    // record gives an empty message.
    static std::optional<Derived> initWithMessageInfo(const NanoMessageInfo* record) {
        auto copy = copiedRecord(Type, record);
        if (!copy) {
            return std::nullopt;
        }
        return Derived(std::move(*copy));
    }

    // The message decoded from `bytes`; nothing when they do not decode. Empty
    // bytes give an empty message.
    static std::optional<Derived> initWithBuffer(std::span<const std::uint8_t> bytes) {
        auto record = decodedRecord(Type, bytes);
        if (!record) {
            return std::nullopt;
        }
        return Derived(std::move(*record));
    }

    // Takes `record` over without copying; nothing when it is of another type.
    static std::optional<Derived> withRecord(NanoMessageInfo&& record) {
        if (record.type != Type) {
            return std::nullopt;
        }
        return Derived(std::make_unique<NanoMessageInfo>(std::move(record)));
    }

protected:
    explicit NanoMessageWrapper(std::unique_ptr<NanoMessageInfo> record) : NanoMessage(Type, std::move(record)) {}
};

// The wrapped messages: every message but Region and the two unnamed types of
// the bundle's dropped field.
// clang-format off
#define KIT_MEASUREMENT_WRAPPERS(WRAPPER) \
    WRAPPER(AdCampaignInfo) \
    WRAPPER(AppProperty) \
    WRAPPER(Audience) \
    WRAPPER(AudienceLeafFilterResult) \
    WRAPPER(ClientProperty) \
    WRAPPER(ConsentConfig) \
    WRAPPER(ConsentDefaultEntry) \
    WRAPPER(ConsentDelegationEntry) \
    WRAPPER(CorePlatformServiceEntry) \
    WRAPPER(CustomProperty) \
    WRAPPER(DataControl) \
    WRAPPER(DynamicFilterResultTimestamp) \
    WRAPPER(Event) \
    WRAPPER(EventConfig) \
    WRAPPER(EventFilter) \
    WRAPPER(EventParam) \
    WRAPPER(Experiment) \
    WRAPPER(ExperimentRequest) \
    WRAPPER(ExperimentResponse) \
    WRAPPER(Filter) \
    WRAPPER(Flag) \
    WRAPPER(MeasurementBatch) \
    WRAPPER(MeasurementBundle) \
    WRAPPER(MeasurementConfig) \
    WRAPPER(NumberFilter) \
    WRAPPER(OgtActivities) \
    WRAPPER(OgtActivity) \
    WRAPPER(Program) \
    WRAPPER(PropertyFilter) \
    WRAPPER(PsmSetting) \
    WRAPPER(ResultData) \
    WRAPPER(RuntimeEntity) \
    WRAPPER(SdkResponse) \
    WRAPPER(SequenceFilterResultTimestamp) \
    WRAPPER(Setting) \
    WRAPPER(SstSetting) \
    WRAPPER(Snapshot) \
    WRAPPER(StringFilter) \
    WRAPPER(UserAttribute)
// clang-format on

#define KIT_DECLARE_MEASUREMENT_WRAPPER(name)                                                                          \
    class MSRPB##name final : public NanoMessageWrapper<MSRPB##name, MessageType::name> {                              \
    public:                                                                                                            \
        static constexpr std::string_view className = "MSRPB" #name;                                                   \
        MSRPB##name() = default;                                                                                       \
                                                                                                                       \
    private:                                                                                                           \
        friend class NanoMessageWrapper<MSRPB##name, MessageType::name>;                                               \
        using NanoMessageWrapper::NanoMessageWrapper;                                                                  \
    };
KIT_MEASUREMENT_WRAPPERS(KIT_DECLARE_MEASUREMENT_WRAPPER)
#undef KIT_DECLARE_MEASUREMENT_WRAPPER

// One of the wrapper classes.
template <class T>
concept NanoMessageClass = std::derived_from<T, NanoMessage> && requires {
    { T::wrappedType } -> std::convertible_to<MessageType>;
    { T::className } -> std::convertible_to<std::string_view>;
};

}  // namespace kit::measurement
