// The wrapper classes: the family, and how each one comes into being from a
// record, from bytes and from another wrapper.

#include "AccessTestSupport.h"

#include <set>

namespace kit::measurement {
namespace {

using testing::allWrappers;
using testing::WrapperOps;

struct FamilyRow {
    std::string_view className;
    std::string_view messageID;
    std::size_t slots;
};

// The wrapper family as the design lists it.
constexpr FamilyRow family[] = {
    {"MSRPBAdCampaignInfo", "AdCampaignInfo", 8},
    {"MSRPBAppProperty", "AppProperty", 7},
    {"MSRPBAudience", "Audience", 5},
    {"MSRPBAudienceLeafFilterResult", "AudienceLeafFilterResult", 4},
    {"MSRPBClientProperty", "ClientProperty", 5},
    {"MSRPBConsentConfig", "ConsentConfig", 5},
    {"MSRPBConsentDefaultEntry", "ConsentDefaultEntry", 2},
    {"MSRPBConsentDelegationEntry", "ConsentDelegationEntry", 2},
    {"MSRPBCorePlatformServiceEntry", "CorePlatformServiceEntry", 2},
    {"MSRPBCustomProperty", "CustomProperty", 2},
    {"MSRPBDataControl", "DataControl", 3},
    {"MSRPBDynamicFilterResultTimestamp", "DynamicFilterResultTimestamp", 2},
    {"MSRPBEvent", "Event", 5},
    {"MSRPBEventConfig", "EventConfig", 4},
    {"MSRPBEventFilter", "EventFilter", 8},
    {"MSRPBEventParam", "EventParam", 6},
    {"MSRPBExperiment", "Experiment", 2},
    {"MSRPBExperimentRequest", "ExperimentRequest", 2},
    {"MSRPBExperimentResponse", "ExperimentResponse", 2},
    {"MSRPBFilter", "Filter", 4},
    {"MSRPBFlag", "Flag", 5},
    {"MSRPBMeasurementBatch", "MeasurementBatch", 4},
    {"MSRPBMeasurementBundle", "MeasurementBundle", 53},
    {"MSRPBMeasurementConfig", "MeasurementConfig", 16},
    {"MSRPBNumberFilter", "NumberFilter", 5},
    {"MSRPBOgtActivities", "OgtActivities", 1},
    {"MSRPBOgtActivity", "OgtActivity", 2},
    {"MSRPBProgram", "Program", 2},
    {"MSRPBPropertyFilter", "PropertyFilter", 6},
    {"MSRPBPsmSetting", "PsmSetting", 3},
    {"MSRPBResultData", "ResultData", 4},
    {"MSRPBRuntimeEntity", "RuntimeEntity", 6},
    {"MSRPBSdkResponse", "SdkResponse", 3},
    {"MSRPBSequenceFilterResultTimestamp", "SequenceFilterResultTimestamp", 2},
    {"MSRPBSetting", "Setting", 2},
    {"MSRPBSstSetting", "SstSetting", 5},
    {"MSRPBSnapshot", "Snapshot", 2},
    {"MSRPBStringFilter", "StringFilter", 4},
    {"MSRPBUserAttribute", "UserAttribute", 6},
};

TEST(WrapperFamily, HasOneClassPerListedMessageAndNoneForRegion) {
    std::set<std::string_view> listed;
    for (const FamilyRow& row : family) {
        listed.insert(row.className);
    }
    std::set<std::string_view> built;
    for (const WrapperOps& ops : allWrappers()) {
        built.insert(ops.className);
    }
    EXPECT_EQ(built, listed);
    EXPECT_EQ(testing::wrapperFor(MessageType::Region), nullptr);

    for (const FamilyRow& row : family) {
        SCOPED_TRACE(row.className);
        const WrapperOps* ops = nullptr;
        for (const WrapperOps& candidate : allWrappers()) {
            if (candidate.className == row.className) {
                ops = &candidate;
            }
        }
        ASSERT_NE(ops, nullptr);
        const NanoMessage message = ops->makeEmpty();
        EXPECT_EQ(message.messageID(), row.messageID);
        ASSERT_NE(message.messageInfo(), nullptr);
        EXPECT_EQ(message.messageInfo()->slots.size(), row.slots);
        EXPECT_EQ(message.messageInfo()->name(), row.messageID);
    }
}

class Wrapper : public testing::CapturedLines, public ::testing::WithParamInterface<std::size_t> {
protected:
    const WrapperOps& ops() const { return allWrappers()[GetParam()]; }
};

TEST_P(Wrapper, FromNoRecordIsAnEmptyMessageWithEmptyLists) {
    const auto message = ops().initWithMessageInfo(nullptr);
    ASSERT_TRUE(message.has_value());
    const NanoMessageDescription& description = messageDescription(ops().type);
    for (std::size_t slot = 0; slot < description.fields.size(); ++slot) {
        const bool repeated = (description.fields[slot].flags & field_flag::repeated) != 0;
        EXPECT_EQ(NanoMessageHasField(*message, static_cast<int>(slot)), repeated) << slot;
    }
    EXPECT_EQ(message->protoBuffer(), NanoBytes{});
    EXPECT_EQ(ops().makeEmpty().protoBuffer(), NanoBytes{});
    EXPECT_TRUE(lines().empty());
}

TEST_P(Wrapper, FromAnotherMessagesRecordIsNothing) {
    const MessageType other = ops().type == MessageType::Flag ? MessageType::Event : MessageType::Flag;
    const NanoMessageInfo record = testing::filledRecord(other);
    EXPECT_FALSE(ops().initWithMessageInfo(&record).has_value());
    // The same name is not enough: the record must be of the type.
    const NanoMessageInfo region(MessageType::Region);
    EXPECT_FALSE(ops().initWithMessageInfo(&region).has_value());
}

TEST_P(Wrapper, FromARecordIsADeepCopy) {
    NanoMessageInfo record = testing::filledRecord(ops().type);
    const auto message = ops().initWithMessageInfo(&record);
    ASSERT_TRUE(message.has_value());
    EXPECT_EQ(testing::recordDifference(record, *message->messageInfo()), "");
    const auto before = message->protoBuffer();
    ASSERT_TRUE(before.has_value());
    for (std::size_t slot = 0; slot < record.slots.size(); ++slot) {
        releaseField(record, static_cast<int>(slot));
    }
    EXPECT_EQ(message->protoBuffer(), before);
    EXPECT_NE(testing::recordDifference(record, *message->messageInfo()), "");
}

TEST_P(Wrapper, FromBytesDecodesOrGivesNothing) {
    const NanoMessageInfo record = testing::filledRecord(ops().type);
    const auto bytes = encodeMessage(record);
    ASSERT_TRUE(bytes.has_value());
    const auto decoded = ops().initWithBuffer(*bytes);
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(testing::recordDifference(record, *decoded->messageInfo()), "");
    EXPECT_EQ(decoded->protoBuffer(), bytes);

    const auto empty = ops().initWithBuffer({});
    ASSERT_TRUE(empty.has_value());
    EXPECT_EQ(empty->protoBuffer(), NanoBytes{});
    EXPECT_TRUE(lines().empty());

    // A varint cut short.
    const NanoBytes truncated{0x08, 0x80};
    EXPECT_FALSE(ops().initWithBuffer(truncated).has_value());
    const auto failure = lines();
    ASSERT_FALSE(failure.empty());
    EXPECT_EQ(failure.back().rfind("<ERROR> " + std::string(ops().makeEmpty().messageID()) + " decoder failed: ", 0),
              0u)
        << failure.back();
}

TEST_P(Wrapper, CopiesAreDeepAndMovedFromWrappersHoldNothing) {
    const NanoMessageInfo record = testing::filledRecord(ops().type);
    const auto original = ops().initWithMessageInfo(&record);
    ASSERT_TRUE(original.has_value());
    NanoMessage copy = *original;
    ASSERT_NE(copy.messageInfo(), original->messageInfo());
    for (std::size_t slot = 0; slot < record.slots.size(); ++slot) {
        NanoMessageClearField(copy, static_cast<int>(slot));
    }
    EXPECT_EQ(copy.protoBuffer(), NanoBytes{});
    EXPECT_EQ(testing::recordDifference(record, *original->messageInfo()), "");

    copy = *original;
    EXPECT_EQ(testing::recordDifference(record, *copy.messageInfo()), "");

    NanoMessage moved = std::move(copy);
    EXPECT_EQ(copy.messageInfo(), nullptr);  // NOLINT(bugprone-use-after-move)
    EXPECT_EQ(copy.messageID(), original->messageID());
    EXPECT_EQ(copy.protoBuffer(), std::nullopt);
    const NanoMessage copyOfNothing = copy;
    EXPECT_EQ(copyOfNothing.messageInfo(), nullptr);
    EXPECT_EQ(testing::recordDifference(record, *moved.messageInfo()), "");
    EXPECT_TRUE(lines().empty());
}

INSTANTIATE_TEST_SUITE_P(AllClasses, Wrapper, ::testing::Range<std::size_t>(0, allWrappers().size()),
                         [](const ::testing::TestParamInfo<std::size_t>& test) {
                             return std::string(allWrappers()[test.param].className);
                         });

}  // namespace
}  // namespace kit::measurement
