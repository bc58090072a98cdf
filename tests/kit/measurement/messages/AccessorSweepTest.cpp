// Every message × every slot (and the two just outside) × every accessor, on a
// filled and on an empty message: failure lines exactly where the slot's flags
// forbid the call, values back where they allow it, and a message that still
// encodes afterwards. Run in the sanitizer build it also shows no call reads or
// leaks outside its cells.

#include "AccessTestSupport.h"

#include <bit>
#include <functional>

namespace kit::measurement {
namespace {

using testing::WrapperOps;

struct Slot {
    int index;
    NanoFieldFlags kind;
    bool repeated;
    MessageType messageType;
};

bool singularOf(const Slot& slot, std::initializer_list<NanoFieldFlags> kinds) {
    if (slot.repeated) {
        return false;
    }
    for (const NanoFieldFlags kind : kinds) {
        if (slot.kind == kind) {
            return true;
        }
    }
    return false;
}

// The value filledRecord puts in a number slot, as the 64-bit word.
std::uint64_t filledNumber(const Slot& slot) {
    return slot.kind == field_flag::boolean ? 1 : 100 + static_cast<std::uint64_t>(slot.index);
}

// The wrapper used for a message slot's type; Flag stands in where a type has none.
const WrapperOps& wrapperOrFlag(MessageType type) {
    const WrapperOps* ops = testing::wrapperFor(type);
    return ops != nullptr ? *ops : *testing::wrapperFor(MessageType::Flag);
}

struct Accessor {
    std::string_view name;
    std::string_view failureKind;  // "" for REPEATED
    std::function<bool(const Slot&)> allowed;
    // Runs the call; when `filled`, the message held filledRecord's values before.
    // Answers lines the call writes although the flags allow it.
    std::function<std::vector<std::string>(NanoMessage&, const Slot&, bool filled, const std::string& where)> call;
};

std::vector<std::string> none() { return {}; }

const std::vector<Accessor>& accessors() {
    const auto always = [](const Slot&) { return true; };
    static const std::vector<Accessor> all{
        {"HasField", "", always,
         [](NanoMessage& message, const Slot& slot, bool filled, const std::string& where) {
             const bool present = NanoMessageHasField(message, slot.index);
             if (slot.index >= 0 && slot.messageType != MessageType::None && !slot.repeated && filled) {
                 EXPECT_TRUE(present) << where;
             }
             if (slot.repeated) {
                 EXPECT_TRUE(present) << where;
             }
             return none();
         }},
        {"ClearField", "", always,
         [](NanoMessage& message, const Slot& slot, bool, const std::string& where) {
             NanoMessageClearField(message, slot.index);
             if (slot.index >= 0 && slot.kind != 0) {
                 EXPECT_EQ(NanoMessageHasField(message, slot.index), slot.repeated) << where;
             }
             return none();
         }},
        {"GetBool", "BOOL", [](const Slot& slot) { return singularOf(slot, {field_flag::boolean}); },
         [](NanoMessage& message, const Slot& slot, bool filled, const std::string& where) {
             const bool value = NanoMessageGetBool(message, slot.index);
             EXPECT_EQ(value, filled && singularOf(slot, {field_flag::boolean})) << where;
             return none();
         }},
        {"SetBool", "BOOL", [](const Slot& slot) { return singularOf(slot, {field_flag::boolean}); },
         [](NanoMessage& message, const Slot& slot, bool, const std::string& where) {
             NanoMessageSetBool(message, slot.index, true);
             if (singularOf(slot, {field_flag::boolean})) {
                 EXPECT_TRUE(NanoMessageGetBool(message, slot.index)) << where;
             }
             return none();
         }},
        {"GetInt32", "INT32",
         [](const Slot& slot) {
             return singularOf(slot, {field_flag::int32, field_flag::uint32, field_flag::enumeration});
         },
         [](NanoMessage& message, const Slot& slot, bool filled, const std::string& where) {
             const std::int32_t value = NanoMessageGetInt32(message, slot.index);
             const bool allowed = singularOf(slot, {field_flag::int32, field_flag::uint32, field_flag::enumeration});
             EXPECT_EQ(value, filled && allowed ? static_cast<std::int32_t>(filledNumber(slot)) : 0) << where;
             return none();
         }},
        {"SetInt32", "INT32",
         [](const Slot& slot) {
             return singularOf(slot, {field_flag::int32, field_flag::uint32, field_flag::enumeration});
         },
         [](NanoMessage& message, const Slot& slot, bool, const std::string& where) {
             NanoMessageSetInt32(message, slot.index, -5);
             if (singularOf(slot, {field_flag::int32, field_flag::uint32, field_flag::enumeration})) {
                 EXPECT_EQ(NanoMessageGetInt32(message, slot.index), -5) << where;
             }
             return none();
         }},
        {"GetInt64", "INT64",
         [](const Slot& slot) {
             return singularOf(slot, {field_flag::int64, field_flag::uint64});
         },
         [](NanoMessage& message, const Slot& slot, bool filled, const std::string& where) {
             const std::int64_t value = NanoMessageGetInt64(message, slot.index);
             const bool allowed = singularOf(slot, {field_flag::int64, field_flag::uint64});
             EXPECT_EQ(value, filled && allowed ? static_cast<std::int64_t>(filledNumber(slot)) : 0) << where;
             return none();
         }},
        {"SetInt64", "INT64",
         [](const Slot& slot) {
             return singularOf(slot, {field_flag::int64, field_flag::uint64});
         },
         [](NanoMessage& message, const Slot& slot, bool, const std::string& where) {
             NanoMessageSetInt64(message, slot.index, -7000000000000);
             if (singularOf(slot, {field_flag::int64, field_flag::uint64})) {
                 EXPECT_EQ(NanoMessageGetInt64(message, slot.index), -7000000000000) << where;
             }
             return none();
         }},
        {"GetFloat", "FLOAT", [](const Slot& slot) { return singularOf(slot, {field_flag::floatingPoint}); },
         [](NanoMessage& message, const Slot& slot, bool filled, const std::string& where) {
             const float value = NanoMessageGetFloat(message, slot.index);
             const bool allowed = singularOf(slot, {field_flag::floatingPoint});
             EXPECT_EQ(value, filled && allowed ? static_cast<float>(filledNumber(slot)) + 0.5f : 0.0f) << where;
             return none();
         }},
        {"SetFloat", "FLOAT", [](const Slot& slot) { return singularOf(slot, {field_flag::floatingPoint}); },
         [](NanoMessage& message, const Slot& slot, bool, const std::string& where) {
             NanoMessageSetFloat(message, slot.index, -2.5f);
             if (singularOf(slot, {field_flag::floatingPoint})) {
                 EXPECT_EQ(NanoMessageGetFloat(message, slot.index), -2.5f) << where;
             }
             return none();
         }},
        {"GetDouble", "DOUBLE", [](const Slot& slot) { return singularOf(slot, {field_flag::doublePrecision}); },
         [](NanoMessage& message, const Slot& slot, bool filled, const std::string& where) {
             const double value = NanoMessageGetDouble(message, slot.index);
             const bool allowed = singularOf(slot, {field_flag::doublePrecision});
             EXPECT_EQ(value, filled && allowed ? static_cast<double>(filledNumber(slot)) + 0.25 : 0.0) << where;
             return none();
         }},
        {"SetDouble", "DOUBLE", [](const Slot& slot) { return singularOf(slot, {field_flag::doublePrecision}); },
         [](NanoMessage& message, const Slot& slot, bool, const std::string& where) {
             NanoMessageSetDouble(message, slot.index, -0.125);
             if (singularOf(slot, {field_flag::doublePrecision})) {
                 EXPECT_EQ(NanoMessageGetDouble(message, slot.index), -0.125) << where;
             }
             return none();
         }},
        {"GetString", "STRING", [](const Slot& slot) { return singularOf(slot, {field_flag::string}); },
         [](NanoMessage& message, const Slot& slot, bool filled, const std::string& where) {
             const auto value = NanoMessageGetString(message, slot.index);
             const bool allowed = singularOf(slot, {field_flag::string});
             EXPECT_EQ(value,
                       filled && allowed ? std::optional<std::string>("s" + std::to_string(slot.index)) : std::nullopt)
                 << where;
             return none();
         }},
        {"SetString", "STRING", [](const Slot& slot) { return singularOf(slot, {field_flag::string}); },
         [](NanoMessage& message, const Slot& slot, bool, const std::string& where) {
             NanoMessageSetString(message, slot.index, "\xc3\xa9t\xc3\xa9");
             if (singularOf(slot, {field_flag::string})) {
                 EXPECT_EQ(NanoMessageGetString(message, slot.index), "\xc3\xa9t\xc3\xa9") << where;
             }
             return none();
         }},
        {"GetBytes", "BYTES", [](const Slot&) { return false; },
         [](NanoMessage& message, const Slot& slot, bool, const std::string& where) {
             EXPECT_EQ(NanoMessageGetBytes(message, slot.index), std::nullopt) << where;
             return none();
         }},
        {"SetBytes", "BYTES", [](const Slot&) { return false; },
         [](NanoMessage& message, const Slot& slot, bool, const std::string&) {
             const NanoBytes bytes{0xff, 0x00};
             NanoMessageSetBytes(message, slot.index, bytes);
             return none();
         }},
        {"GetMessage", "MESSAGE", [](const Slot& slot) { return singularOf(slot, {field_flag::message}); },
         [](NanoMessage& message, const Slot& slot, bool filled, const std::string& where) {
             const WrapperOps& ops = wrapperOrFlag(slot.messageType);
             const auto value = ops.getMessage(message, slot.index);
             const bool readable = singularOf(slot, {field_flag::message}) && ops.type == slot.messageType && filled;
             EXPECT_EQ(value.has_value(), readable) << where;
             if (readable && value) {
                 const auto& cell = std::get<std::unique_ptr<NanoMessageInfo>>(
                     message.messageInfo()->slots[static_cast<std::size_t>(slot.index)]);
                 EXPECT_NE(value->messageInfo(), cell.get()) << where;
                 EXPECT_EQ(testing::recordDifference(*cell, *value->messageInfo()), "") << where;
             }
             return none();
         }},
        {"SetMessage", "MESSAGE", [](const Slot& slot) { return singularOf(slot, {field_flag::message}); },
         [](NanoMessage& message, const Slot& slot, bool, const std::string& where) -> std::vector<std::string> {
             const WrapperOps& ops = wrapperOrFlag(slot.messageType);
             NanoMessageSetMessage(message, slot.index, ops.makeEmpty());
             if (!singularOf(slot, {field_flag::message})) {
                 return none();
             }
             if (ops.type != slot.messageType) {
                 return {testing::mismatchLine(message.messageID(), slot.index)};
             }
             const auto stored = ops.getMessage(message, slot.index);
             EXPECT_TRUE(stored.has_value()) << where;
             EXPECT_EQ(stored ? stored->protoBuffer() : std::nullopt, NanoBytes{}) << where;
             return none();
         }},
        {"GetArray", "", [](const Slot& slot) { return slot.repeated; },
         [](NanoMessage& message, const Slot& slot, bool filled, const std::string& where) {
             if (slot.kind == field_flag::message) {
                 const WrapperOps& ops = wrapperOrFlag(slot.messageType);
                 const auto elements = ops.getArray(message, slot.index);
                 EXPECT_EQ(elements.has_value(), slot.repeated) << where;
                 const std::size_t expected = filled && slot.repeated && ops.type == slot.messageType ? 2 : 0;
                 EXPECT_EQ(elements ? elements->size() : 0, expected) << where;
             } else if (slot.kind == field_flag::string) {
                 const auto elements = NanoMessageGetArray<std::string>(message, slot.index);
                 EXPECT_EQ(elements.has_value(), slot.repeated) << where;
                 const std::string text = "s" + std::to_string(slot.index);
                 const std::vector<std::string> expected =
                     filled && slot.repeated ? std::vector<std::string>{text, text + "b"} : std::vector<std::string>{};
                 EXPECT_EQ(elements.value_or(std::vector<std::string>{}), expected) << where;
             } else {
                 const auto elements = NanoMessageGetArray<std::int64_t>(message, slot.index);
                 EXPECT_EQ(elements.has_value(), slot.repeated) << where;
                 const auto first = static_cast<std::int64_t>(filledNumber(slot));
                 const std::vector<std::int64_t> expected = filled && slot.repeated
                                                                ? std::vector<std::int64_t>{first, first + 1}
                                                                : std::vector<std::int64_t>{};
                 EXPECT_EQ(elements.value_or(std::vector<std::int64_t>{}), expected) << where;
             }
             return none();
         }},
        {"SetArray", "", [](const Slot& slot) { return slot.repeated; },
         [](NanoMessage& message, const Slot& slot, bool, const std::string& where) -> std::vector<std::string> {
             if (slot.kind == field_flag::message) {
                 const WrapperOps& ops = wrapperOrFlag(slot.messageType);
                 ops.setArrayOfEmpty(message, slot.index, 2);
                 if (!slot.repeated) {
                     return none();
                 }
                 if (ops.type != slot.messageType) {
                     EXPECT_EQ(ops.getArray(message, slot.index)->size(), 0u) << where;
                     return {"<ERROR> Invalid object type. Message fields expect NANOMessageBase. Type: " +
                             std::string(ops.className)};
                 }
                 EXPECT_EQ(ops.getArray(message, slot.index)->size(), 2u) << where;
             } else if (slot.kind == field_flag::string) {
                 NanoMessageSetArray(message, slot.index, std::vector<std::string>{"x", "y"});
                 if (slot.repeated) {
                     EXPECT_EQ(NanoMessageGetArray<std::string>(message, slot.index),
                               (std::vector<std::string>{"x", "y"}))
                         << where;
                 }
             } else {
                 NanoMessageSetArray(message, slot.index, std::vector<std::int64_t>{7, 8});
                 if (slot.repeated) {
                     EXPECT_EQ(NanoMessageGetArray<std::int64_t>(message, slot.index),
                               (std::vector<std::int64_t>{7, 8}))
                         << where;
                 }
             }
             return none();
         }},
    };
    return all;
}

class AccessorSweep : public testing::CapturedLines, public ::testing::WithParamInterface<std::size_t> {};

TEST_P(AccessorSweep, FailsExactlyWhereTheFlagsForbid) {
    const WrapperOps& ops = testing::allWrappers()[GetParam()];
    const NanoMessageDescription& description = messageDescription(ops.type);
    const NanoMessageInfo filledSource = testing::filledRecord(ops.type);
    const int slotCount = static_cast<int>(description.fields.size());
    for (const bool filled : {true, false}) {
        const auto base = filled ? ops.initWithMessageInfo(&filledSource) : ops.initWithMessageInfo(nullptr);
        ASSERT_TRUE(base.has_value());
        const auto baseBytes = base->protoBuffer();
        ASSERT_TRUE(baseBytes.has_value());
        for (int index = -1; index <= slotCount; ++index) {
            Slot slot{index, 0, false, MessageType::None};
            const bool inRange = index >= 0 && index < slotCount;
            if (inRange) {
                const NanoFieldInfo& field = description.fields[static_cast<std::size_t>(index)];
                slot = Slot{index, field.flags & field_flag::types, (field.flags & field_flag::repeated) != 0,
                            field.messageType};
            }
            for (const Accessor& accessor : accessors()) {
                const std::string where = std::string(ops.className) + (filled ? " filled" : " empty") + ", slot " +
                                          std::to_string(index) + ", " + std::string(accessor.name);
                NanoMessage message = *base;
                const bool allowed = inRange && accessor.allowed(slot);
                std::vector<std::string> expected = accessor.call(message, slot, filled, where);
                if (!inRange) {
                    expected = {testing::outOfRangeLine(ops.makeEmpty().messageID(), index)};
                } else if (!allowed) {
                    expected = {accessor.failureKind.empty()
                                    ? testing::notRepeatedLine(message.messageID(), index)
                                    : testing::notScalarLine(accessor.failureKind, message.messageID(), index)};
                }
                EXPECT_EQ(lines(), expected) << where;
                const auto bytes = message.protoBuffer();
                EXPECT_TRUE(bytes.has_value()) << where;
                if (!allowed) {
                    EXPECT_EQ(bytes, baseBytes) << where << ": a refused call changed the message";
                }
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(AllClasses, AccessorSweep, ::testing::Range<std::size_t>(0, testing::allWrappers().size()),
                         [](const ::testing::TestParamInfo<std::size_t>& test) {
                             return std::string(testing::allWrappers()[test.param].className);
                         });

}  // namespace
}  // namespace kit::measurement
