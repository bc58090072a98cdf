#include "kit/measurement/messages/NanoMessageAccess.h"

#include "kit/measurement/messages/MessageCodec.h"
#include "kit/measurement/messages/MessageTexts.h"
#include "kit/measurement/messages/MessagesLog.h"
#include "kit/measurement/messages/Utf8Check.h"
#include "platform/MessageFormat.h"

#include <array>
#include <bit>
#include <cstring>
#include <utility>

namespace kit::measurement {
namespace {

namespace text = message_text;

void logLine(std::string_view line) {
    messagesLog().log(messagesLogSubsystem, messagesLogCategory, platform::LogType::error, line);
}

// The flag tests, one per accessor family.
enum class FlagTest { none, boolean, int32, int64, floatingPoint, doublePrecision, string, bytes, message, repeated };

bool passes(FlagTest test, NanoFieldFlags flags) {
    using namespace field_flag;
    switch (test) {
    case FlagTest::none:
        return true;
    case FlagTest::boolean:
        return (flags & (boolean | repeated)) == boolean;
    case FlagTest::int32:
        return (flags & (enumeration | int32 | uint32)) != 0 && (flags & repeated) == 0;
    case FlagTest::int64:
        return (flags & (int64 | uint64)) != 0 && (flags & repeated) == 0;
    case FlagTest::floatingPoint:
        return (flags & (floatingPoint | repeated)) == floatingPoint;
    case FlagTest::doublePrecision:
        return (flags & (doublePrecision | repeated)) == doublePrecision;
    case FlagTest::string:
        return (flags & (string | repeated)) == string;
    case FlagTest::bytes:
        return (flags & (bytes | repeated)) == bytes;
    case FlagTest::message:
        return (flags & (message | repeated)) == message;
    case FlagTest::repeated:
        return (flags & repeated) != 0;
    }
    return false;
}

std::string_view scalarName(FlagTest test) {
    switch (test) {
    case FlagTest::boolean:
        return text::scalarBool;
    case FlagTest::int32:
        return text::scalarInt32;
    case FlagTest::int64:
        return text::scalarInt64;
    case FlagTest::floatingPoint:
        return text::scalarFloat;
    case FlagTest::doublePrecision:
        return text::scalarDouble;
    case FlagTest::string:
        return text::scalarString;
    case FlagTest::bytes:
        return text::scalarBytes;
    default:
        return text::scalarMessage;
    }
}

// The record when the wrapper holds one, the slot exists and its flags pass;
// otherwise null after one log line.
NanoMessageInfo* checkedRecord(const NanoMessage& message, int field, std::string_view operation, FlagTest test) {
    // The accessors that write take the wrapper non-const; the readers never write.
    auto* record = const_cast<NanoMessageInfo*>(message.messageInfo());
    if (record == nullptr) {
        logLine(platform::formatMessage(text::notInitialized, {operation}));
        return nullptr;
    }
    if (field < 0 || static_cast<std::size_t>(field) >= record->slots.size() ||
        static_cast<std::size_t>(field) >= record->flags().size()) {
        logLine(platform::formatMessage(text::fieldOutOfRange, {record->name(), field}));
        return nullptr;
    }
    const NanoFieldFlags flags = record->flags()[static_cast<std::size_t>(field)];
    if (!passes(test, flags)) {
        if (test == FlagTest::repeated) {
            logLine(platform::formatMessage(text::notRepeated, {record->name(), field}));
        } else {
            logLine(platform::formatMessage(text::notScalar, {scalarName(test), record->name(), field}));
        }
        return nullptr;
    }
    return record;
}

NanoCell* checkedCell(const NanoMessage& message, int field, std::string_view operation, FlagTest test) {
    NanoMessageInfo* record = checkedRecord(message, field, operation, test);
    return record != nullptr ? &record->slots[static_cast<std::size_t>(field)] : nullptr;
}

// As checkedCell, for reading: an absent field gets no cell made for it.
const NanoCell* readCell(const NanoMessage& message, int field, std::string_view operation, FlagTest test) {
    const NanoMessageInfo* record = checkedRecord(message, field, operation, test);
    return record != nullptr ? &record->slots[static_cast<std::size_t>(field)] : nullptr;
}

std::uint64_t numberIn(const NanoCell* cell) {
    if (cell == nullptr) {
        return 0;
    }
    const auto* value = std::get_if<std::uint64_t>(cell);
    return value != nullptr ? *value : 0;
}

void setNumber(NanoMessage& message, int field, std::string_view operation, FlagTest test, std::uint64_t value) {
    if (NanoCell* cell = checkedCell(message, field, operation, test)) {
        *cell = value;
    }
}

// The slot's list of the given kind, or null.
template <class List>
List* listIn(NanoCell& cell) {
    return std::get_if<List>(&cell);
}

template <class List>
const List* listIn(const NanoCell& cell) {
    return std::get_if<List>(&cell);
}

// Saturating, as a number conversion from a double should be; NaN gives 0.
std::int64_t int64FromDouble(double value) {
    if (std::isnan(value)) {
        return 0;
    }
    if (value >= 9223372036854775808.0) {
        return INT64_MAX;
    }
    if (value < -9223372036854775808.0) {
        return INT64_MIN;
    }
    return static_cast<std::int64_t>(value);
}

float floatFromDouble(double value) {
    if (std::isfinite(value) && std::fabs(value) > std::numeric_limits<float>::max()) {
        return value > 0 ? std::numeric_limits<float>::infinity() : -std::numeric_limits<float>::infinity();
    }
    return static_cast<float>(value);
}

// Numbers of the setter's input as the three conversions the flags ask for.
struct InputNumber {
    std::int64_t signedValue;
    double floatingValue;
    bool booleanValue;
};

std::optional<InputNumber> inputNumber(const detail::NanoArrayInputValue& value) {
    if (const auto* flag = std::get_if<bool>(&value)) {
        return InputNumber{*flag ? 1 : 0, *flag ? 1.0 : 0.0, *flag};
    }
    if (const auto* number = std::get_if<std::int64_t>(&value)) {
        return InputNumber{*number, static_cast<double>(*number), *number != 0};
    }
    if (const auto* number = std::get_if<std::uint64_t>(&value)) {
        return InputNumber{static_cast<std::int64_t>(*number), static_cast<double>(*number), *number != 0};
    }
    if (const auto* number = std::get_if<double>(&value)) {
        return InputNumber{int64FromDouble(*number), *number, *number != 0};
    }
    return std::nullopt;
}

// The type bits in the order both array conversions test them.
constexpr std::array<NanoFieldFlags, 11> arrayTypeOrder{
    field_flag::boolean, field_flag::int32,         field_flag::uint32,          field_flag::int64,
    field_flag::uint64,  field_flag::floatingPoint, field_flag::doublePrecision, field_flag::enumeration,
    field_flag::string,  field_flag::bytes,         field_flag::message};

NanoFieldFlags firstTypeBit(NanoFieldFlags flags) {
    for (const NanoFieldFlags bit : arrayTypeOrder) {
        if ((flags & bit) != 0) {
            return bit;
        }
    }
    return 0;
}

// Whether the repeated slot holds the list its flags call for.
bool holdsListFor(const NanoCell& cell, NanoFieldFlags kind) {
    switch (kind) {
    case field_flag::string:
    case field_flag::bytes:
        return std::holds_alternative<NanoStringList>(cell);
    case field_flag::message:
        return std::holds_alternative<NanoMessageList>(cell);
    case 0:
        return true;  // reported per element
    default:
        return std::holds_alternative<NanoNumberList>(cell);
    }
}

}  // namespace

bool NanoMessageHasField(const NanoMessage& message, int field) {
    const NanoMessageInfo* record = message.messageInfo();
    if (record == nullptr) {
        logLine(platform::formatMessage(text::hasFieldNotInitialized, {message.messageID()}));
        return false;
    }
    if (checkedRecord(message, field, "HasField", FlagTest::none) == nullptr) {
        return false;
    }
    const auto slot = static_cast<std::size_t>(field);
    if ((record->flags()[slot] & field_flag::repeated) != 0) {
        return true;
    }
    return !std::holds_alternative<std::monostate>(record->slots[slot]);
}

void NanoMessageClearField(NanoMessage& message, int field) {
    if (NanoMessageInfo* record = checkedRecord(message, field, "ClearField", FlagTest::none)) {
        releaseField(*record, field, messagesLog());
    }
}

bool NanoMessageGetBool(const NanoMessage& message, int field) {
    return (numberIn(readCell(message, field, "GetBool", FlagTest::boolean)) & 0xFF) != 0;
}

void NanoMessageSetBool(NanoMessage& message, int field, bool value) {
    setNumber(message, field, "SetBool", FlagTest::boolean, value ? 1 : 0);
}

std::int32_t NanoMessageGetInt32(const NanoMessage& message, int field) {
    return static_cast<std::int32_t>(
        static_cast<std::uint32_t>(numberIn(readCell(message, field, "GetInt32", FlagTest::int32))));
}

void NanoMessageSetInt32(NanoMessage& message, int field, std::int32_t value) {
    setNumber(message, field, "SetInt32", FlagTest::int32, static_cast<std::uint32_t>(value));
}

std::int64_t NanoMessageGetInt64(const NanoMessage& message, int field) {
    return static_cast<std::int64_t>(numberIn(readCell(message, field, "GetInt64", FlagTest::int64)));
}

void NanoMessageSetInt64(NanoMessage& message, int field, std::int64_t value) {
    setNumber(message, field, "SetInt64", FlagTest::int64, static_cast<std::uint64_t>(value));
}

float NanoMessageGetFloat(const NanoMessage& message, int field) {
    return std::bit_cast<float>(
        static_cast<std::uint32_t>(numberIn(readCell(message, field, "GetFloat", FlagTest::floatingPoint))));
}

void NanoMessageSetFloat(NanoMessage& message, int field, float value) {
    setNumber(message, field, "SetFloat", FlagTest::floatingPoint, std::bit_cast<std::uint32_t>(value));
}

double NanoMessageGetDouble(const NanoMessage& message, int field) {
    return std::bit_cast<double>(numberIn(readCell(message, field, "GetDouble", FlagTest::doublePrecision)));
}

void NanoMessageSetDouble(NanoMessage& message, int field, double value) {
    setNumber(message, field, "SetDouble", FlagTest::doublePrecision, std::bit_cast<std::uint64_t>(value));
}

std::optional<std::string> NanoMessageGetString(const NanoMessage& message, int field) {
    const NanoCell* cell = readCell(message, field, "GetString", FlagTest::string);
    const auto* value = cell != nullptr ? std::get_if<std::string>(cell) : nullptr;
    if (value == nullptr || !isValidUtf8(*value)) {
        return std::nullopt;
    }
    return *value;
}

void NanoMessageSetString(NanoMessage& message, int field, std::optional<std::string_view> value) {
    NanoCell* cell = checkedCell(message, field, "SetString", FlagTest::string);
    if (cell == nullptr) {
        return;
    }
    if (!value) {
        NanoMessageClearField(message, field);
        return;
    }
    *cell = std::string(*value);
}

std::optional<NanoBytes> NanoMessageGetBytes(const NanoMessage& message, int field) {
    const NanoCell* cell = readCell(message, field, "GetBytes", FlagTest::bytes);
    const auto* value = cell != nullptr ? std::get_if<std::string>(cell) : nullptr;
    if (value == nullptr) {
        return std::nullopt;
    }
    return NanoBytes(value->begin(), value->end());
}

void NanoMessageSetBytes(NanoMessage& message, int field, std::optional<std::span<const std::uint8_t>> value) {
    NanoCell* cell = checkedCell(message, field, "SetBytes", FlagTest::bytes);
    if (cell == nullptr) {
        return;
    }
    if (!value) {
        NanoMessageClearField(message, field);
        return;
    }
    *cell = std::string(value->begin(), value->end());
}

void NanoMessageSetMessage(NanoMessage& message, int field, const NanoMessage& value) {
    NanoMessageInfo* record = checkedRecord(message, field, "SetMessage", FlagTest::message);
    if (record == nullptr) {
        return;
    }
    // A record of another type in the slot would be encoded by the slot type's
    // table and read outside its own slots.
    if (record->description().fields[static_cast<std::size_t>(field)].messageType != value.messageType()) {
        logLine(platform::formatMessage(text::messageTypeMismatch, {record->name(), field}));
        return;
    }
    const NanoMessageInfo* source = value.messageInfo();
    if (source == nullptr) {
        releaseField(*record, field, messagesLog());
        return;
    }
    // Copied first: `value` may be `message` itself.
    auto copy = std::make_unique<NanoMessageInfo>(copyMessage(*source));
    record->slots[static_cast<std::size_t>(field)] = std::move(copy);
}

void NanoMessageSetMessage(NanoMessage& message, int field, std::nullopt_t) {
    if (NanoMessageInfo* record = checkedRecord(message, field, "SetMessage", FlagTest::message)) {
        releaseField(*record, field, messagesLog());
    }
}

void NanoMessageSetArray(NanoMessage& message, int field, std::nullopt_t) {
    detail::setArrayValues(message, field, {});
}

namespace detail {

std::string_view valueClassName(const platform::Value& value) {
    if (value.isNull()) {
        return "Null";
    }
    if (value.isBool()) {
        return "Boolean";
    }
    if (value.isInteger()) {
        return "Integer";
    }
    if (value.isDouble()) {
        return "Double";
    }
    if (value.isString()) {
        return "String";
    }
    if (value.isData()) {
        return "Data";
    }
    if (value.isDate()) {
        return "Date";
    }
    if (value.isArray()) {
        return "Array";
    }
    return "Dictionary";
}

std::optional<NanoMessageInfo> embeddedRecord(const NanoMessage& message, int field) {
    const NanoCell* cell = readCell(message, field, "GetMessage", FlagTest::message);
    const auto* embedded = cell != nullptr ? std::get_if<std::unique_ptr<NanoMessageInfo>>(cell) : nullptr;
    if (embedded == nullptr || *embedded == nullptr) {
        return std::nullopt;
    }
    return copyMessage(**embedded);
}

std::optional<std::vector<NanoArrayValue>> arrayValues(const NanoMessage& message, int field) {
    NanoMessageInfo* record = checkedRecord(message, field, "GetArray", FlagTest::repeated);
    if (record == nullptr) {
        return std::nullopt;
    }
    const NanoFieldFlags flags = record->flags()[static_cast<std::size_t>(field)];
    const NanoFieldFlags kind = firstTypeBit(flags);
    const NanoCell& cell = std::as_const(record->slots)[static_cast<std::size_t>(field)];
    if (!holdsListFor(cell, kind)) {
        logLine(text::repeatedNotAllocated);
        return std::nullopt;
    }
    std::vector<NanoArrayValue> values;
    if (kind == 0) {
        // No type bit: nothing can be converted, one line per element.
        const std::size_t count = std::visit(
            [](const auto& list) -> std::size_t {
                using List = std::decay_t<decltype(list)>;
                if constexpr (std::is_same_v<List, NanoNumberList> || std::is_same_v<List, NanoStringList> ||
                              std::is_same_v<List, NanoMessageList>) {
                    return list.size();
                } else {
                    return 0;
                }
            },
            cell);
        for (std::size_t index = 0; index < count; ++index) {
            logLine(platform::formatMessage(text::unknownTypeToObject, {flags}));
        }
        return values;
    }
    if (const auto* numbers = listIn<NanoNumberList>(cell)) {
        values.reserve(numbers->size());
        for (const std::uint64_t word : *numbers) {
            switch (kind) {
            case field_flag::boolean:
                values.emplace_back((word & 0xFF) != 0);
                break;
            case field_flag::int32:
            case field_flag::enumeration:
                values.emplace_back(
                    static_cast<std::int64_t>(static_cast<std::int32_t>(static_cast<std::uint32_t>(word))));
                break;
            case field_flag::uint32:
                values.emplace_back(static_cast<std::uint64_t>(static_cast<std::uint32_t>(word)));
                break;
            case field_flag::int64:
                values.emplace_back(static_cast<std::int64_t>(word));
                break;
            case field_flag::uint64:
                values.emplace_back(word);
                break;
            case field_flag::floatingPoint:
                values.emplace_back(std::bit_cast<float>(static_cast<std::uint32_t>(word)));
                break;
            default:
                values.emplace_back(std::bit_cast<double>(word));
                break;
            }
        }
    } else if (const auto* strings = listIn<NanoStringList>(cell)) {
        values.reserve(strings->size());
        for (const std::string& element : *strings) {
            if (kind == field_flag::bytes) {
                values.emplace_back(NanoBytes(element.begin(), element.end()));
            } else if (isValidUtf8(element)) {
                values.emplace_back(element);
            }
        }
    } else if (const auto* messages = listIn<NanoMessageList>(cell)) {
        values.reserve(messages->size());
        for (const NanoMessageInfo& element : *messages) {
            values.emplace_back(copyMessage(element));
        }
    }
    return values;
}

namespace {

std::string_view invalidElementLine(NanoFieldFlags kind) {
    switch (kind) {
    case field_flag::boolean:
        return text::invalidBooleanElement;
    case field_flag::int32:
    case field_flag::uint32:
        return text::invalidInt32Element;
    case field_flag::int64:
    case field_flag::uint64:
        return text::invalidInt64Element;
    case field_flag::floatingPoint:
        return text::invalidFloatElement;
    case field_flag::doublePrecision:
        return text::invalidDoubleElement;
    case field_flag::enumeration:
        return text::invalidEnumElement;
    case field_flag::string:
        return text::invalidStringElement;
    case field_flag::bytes:
        return text::invalidBytesElement;
    default:
        return text::invalidMessageElement;
    }
}

// Appends `input` to `list` as the slot's flags ask; false when it doesn't fit.
bool appendNumber(NanoNumberList& list, NanoFieldFlags kind, const NanoArrayInputValue& input) {
    const auto number = inputNumber(input);
    if (!number) {
        return false;
    }
    switch (kind) {
    case field_flag::boolean:
        list.push_back(number->booleanValue ? 1 : 0);
        return true;
    case field_flag::int32:
    case field_flag::uint32:
    case field_flag::enumeration:
        list.push_back(static_cast<std::uint32_t>(number->signedValue));
        return true;
    case field_flag::int64:
    case field_flag::uint64:
        list.push_back(static_cast<std::uint64_t>(number->signedValue));
        return true;
    case field_flag::floatingPoint:
        list.push_back(std::bit_cast<std::uint32_t>(floatFromDouble(number->floatingValue)));
        return true;
    case field_flag::doublePrecision:
        list.push_back(std::bit_cast<std::uint64_t>(number->floatingValue));
        return true;
    default:
        return false;
    }
}

// The list built from `inputs`, or nothing after a failure line.
std::optional<NanoCell> builtList(const NanoMessageInfo& record, int field, NanoFieldFlags flags,
                                  std::span<const NanoArrayInput> inputs) {
    const NanoFieldFlags kind = firstTypeBit(flags);
    const auto fail = [](std::string_view line, const NanoArrayInput& input) {
        logLine(platform::formatMessage(line, {input.className}));
        return std::nullopt;
    };
    if (kind == 0) {
        logLine(platform::formatMessage(text::unknownTypeFromObject, {flags}));
        return std::nullopt;
    }
    if (kind == field_flag::string || kind == field_flag::bytes) {
        NanoStringList list;
        list.reserve(inputs.size());
        for (const NanoArrayInput& input : inputs) {
            if (kind == field_flag::string) {
                const auto* value = std::get_if<std::string_view>(&input.value);
                if (value == nullptr) {
                    return fail(text::invalidStringElement, input);
                }
                list.emplace_back(*value);
            } else {
                const auto* value = std::get_if<std::span<const std::uint8_t>>(&input.value);
                if (value == nullptr) {
                    return fail(text::invalidBytesElement, input);
                }
                list.emplace_back(value->begin(), value->end());
            }
        }
        return list;
    }
    if (kind == field_flag::message) {
        const MessageType elementType = record.description().fields[static_cast<std::size_t>(field)].messageType;
        NanoMessageList list;
        list.reserve(inputs.size());
        for (const NanoArrayInput& input : inputs) {
            const auto* value = std::get_if<const NanoMessage*>(&input.value);
            // An element of another type would be encoded by this slot's table.
            if (value == nullptr || *value == nullptr || (*value)->messageType() != elementType ||
                (*value)->messageInfo() == nullptr) {
                return fail(text::invalidMessageElement, input);
            }
            list.push_back(copyMessage(*(*value)->messageInfo()));
        }
        return list;
    }
    NanoNumberList list;
    list.reserve(inputs.size());
    for (const NanoArrayInput& input : inputs) {
        if (!appendNumber(list, kind, input.value)) {
            return fail(invalidElementLine(kind), input);
        }
    }
    return list;
}

}  // namespace

void setArrayValues(NanoMessage& message, int field, std::span<const NanoArrayInput> values) {
    NanoMessageInfo* record = checkedRecord(message, field, "SetArray", FlagTest::repeated);
    if (record == nullptr) {
        return;
    }
    const NanoFieldFlags flags = record->flags()[static_cast<std::size_t>(field)];
    NanoCell& cell = record->slots[static_cast<std::size_t>(field)];
    if (!holdsListFor(cell, firstTypeBit(flags))) {
        logLine(text::repeatedNotAllocated);
        return;
    }
    releaseField(*record, field, messagesLog());
    if (values.empty()) {
        return;
    }
    // Built aside, so a failure leaves the field empty, never half-filled.
    if (auto list = builtList(*record, field, flags, values)) {
        cell = std::move(*list);
    }
}

}  // namespace detail

}  // namespace kit::measurement
