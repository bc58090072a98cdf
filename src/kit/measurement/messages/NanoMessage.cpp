#include "kit/measurement/messages/NanoMessage.h"

#include "kit/measurement/messages/MessageCodec.h"
#include "kit/measurement/messages/MessagesLog.h"

namespace kit::measurement {

NanoMessage::NanoMessage(MessageType type) : type_(type), record_(std::make_unique<NanoMessageInfo>(type)) {}

NanoMessage::NanoMessage(MessageType type, std::unique_ptr<NanoMessageInfo> record)
    : type_(type), record_(std::move(record)) {}

NanoMessage::NanoMessage(const NanoMessage& other)
    : type_(other.type_),
      record_(other.record_ != nullptr ? std::make_unique<NanoMessageInfo>(copyMessage(*other.record_)) : nullptr) {}

NanoMessage& NanoMessage::operator=(const NanoMessage& other) {
    if (this != &other) {
        NanoMessage copy(other);
        *this = std::move(copy);
    }
    return *this;
}

NanoMessage::NanoMessage(NanoMessage&& other) noexcept : type_(other.type_), record_(std::move(other.record_)) {}

NanoMessage& NanoMessage::operator=(NanoMessage&& other) noexcept {
    type_ = other.type_;
    record_ = std::move(other.record_);
    return *this;
}

NanoMessage::~NanoMessage() = default;

std::optional<NanoBytes> NanoMessage::protoBuffer() const {
    if (record_ == nullptr) {
        return std::nullopt;
    }
    return encodeMessage(*record_);
}

std::optional<std::unique_ptr<NanoMessageInfo>> NanoMessage::copiedRecord(MessageType type,
                                                                          const NanoMessageInfo* record) {
    if (record == nullptr) {
        return std::make_unique<NanoMessageInfo>(type);
    }
    if (record->type != type) {
        return std::nullopt;
    }
    return std::make_unique<NanoMessageInfo>(copyMessage(*record));
}

std::optional<std::unique_ptr<NanoMessageInfo>> NanoMessage::decodedRecord(MessageType type,
                                                                           std::span<const std::uint8_t> bytes) {
    auto record = decodeMessage(type, bytes, messagesLog());
    if (!record) {
        return std::nullopt;
    }
    return std::make_unique<NanoMessageInfo>(std::move(*record));
}

}  // namespace kit::measurement
