// A seeded loop of random input through the readers of outside data: event
// messages, names and values, the code-point cut and the string filter.
// The sanitizer build runs it too; nothing may crash, hang or over-read.

#include "MeasurementTestSupport.h"
#include "kit/measurement/messages/MessagesLog.h"
#include "kit/measurement/messages/NanoMessageAccess.h"
#include "kit/measurement/support/MSRDataTypeValidator.h"
#include "kit/measurement/support/MSREvent.h"
#include "kit/measurement/support/MSRFilterMatching.h"
#include "kit/measurement/support/MSRStrings.h"
#include "platform/Random.h"

#include <gtest/gtest.h>

namespace kit::measurement {
namespace {

class NullLogging final : public MSRLogging {
public:
    void logMessage(std::string_view, std::string_view, std::int64_t, std::int64_t) override {}
};

// A quiet monitor: the loop logs a great deal.
class QuietServices final : public MeasurementServices {
public:
    QuietServices() { monitor_ = std::make_unique<MSRMonitor>(-1, std::make_shared<NullLogging>(), 1); }
    MSRMonitor& monitor() override { return *monitor_; }
    bool isFAS() override { return false; }
    std::int64_t appMeasurementLibraryVersion() override { return 1; }

private:
    std::unique_ptr<MSRMonitor> monitor_;
};

// The decoders' failure lines are many and say nothing here.
class DroppingLogSink final : public platform::LogSink {
public:
    void write(const platform::LogEntry&) override {}
};

class RulesFuzzTest : public testing::ContextTest {
protected:
    RulesFuzzTest() {
        MeasurementServices::install(std::make_shared<QuietServices>());
        installMessagesLogSink(std::make_shared<DroppingLogSink>());
    }
    ~RulesFuzzTest() override { MeasurementServices::current().monitor().waitUntilIdle(); }
};

constexpr std::string_view kPieces[] = {
    "a",
    "Z",
    "_",
    "9",
    "+",
    ".",
    "(",
    "*",
    "\xC3\xA9",
    "\xE4\xB8\xAD",
    "\xF0\x9F\x98\x80",
    "\xCC\x81",
    "\x80",
    "\xC0",
    "\xE0\x80",
    "\xED\xA0\x80",
    "\xF4\x90",
    "\xFF",
    "\xF0\x9F\x98",
    std::string_view("\0", 1),
};

std::string randomText(platform::RandomSource& random) {
    std::string text;
    const auto pieces = random.below(24);
    for (std::uint64_t i = 0; i < pieces; ++i) {
        text += kPieces[random.below(std::size(kPieces))];
    }
    return text;
}

bool isValidUTF8(std::string_view text) {
    for (std::size_t position = 0; position < text.size();) {
        const std::size_t start = position;
        const char32_t codePoint = msr_nextCodePoint(text, position);
        // A real U+FFFD takes three bytes; a stand-in for bad bytes fewer.
        if (codePoint == 0xFFFD && position - start != 3)
            return false;
    }
    return true;
}

NanoBytes seedEvent() {
    const MSRObjectDictionary parameters{
        {"n", platform::Value(std::int64_t{5})},
        {"s", platform::Value("text")},
        {"d", platform::Value(2.5)},
        {"items", platform::Value(platform::Value::Array{
                      platform::Value(platform::Value::Dictionary{{"item_id", platform::Value("a")}})})},
    };
    return *MSREvent::initWithOrigin("app", true, "purchase", 1700000000.5, 1.0, parameters)
                ->protoEvent()
                .protoBuffer();
}

TEST_F(RulesFuzzTest, RandomInputNeverBreaksTheRules) {
    platform::SeededRandom random(20261210);
    const NanoBytes seed = seedEvent();
    constexpr int kCases = 100000;
    for (int round = 0; round < kCases; ++round) {
        if (round % 2 == 0) {
            NanoBytes bytes;
            if (random.below(2) == 0) {
                bytes = seed;
                for (std::uint64_t flips = random.below(4) + 1; flips > 0; --flips) {
                    bytes[random.below(bytes.size())] = static_cast<std::uint8_t>(random.next());
                }
                bytes.resize(random.below(bytes.size() + 1));
            } else {
                bytes.resize(random.below(48));
                for (auto& byte : bytes)
                    byte = static_cast<std::uint8_t>(random.next());
            }
            if (auto proto = MSRPBEvent::initWithBuffer(bytes)) {
                if (auto event = MSREvent::initWithEventProto(*proto)) {
                    ASSERT_TRUE(event->protoEvent().protoBuffer());
                }
            }
            continue;
        }
        const std::string text = randomText(random);
        const std::size_t count = random.below(30);
        const std::string cut = msr_substringToCodePoints(text, count);
        ASSERT_TRUE(isValidUTF8(cut));
        ASSERT_EQ(msr_UTF32Length(cut), std::min(count, msr_UTF32Length(text)));
        MSRDataTypeValidator::isValidPublicEventName(text);
        MSRDataTypeValidator::isValidInternalUserAttributeName(text);
        const MSRValue value = MSRValue::initWithString(text);
        MSRDataTypeValidator::isValidCurrencyCode(&value);
        MSRDataTypeValidator::isValidPublicEventParameterValue(&value);

        MSRPBStringFilter filter;
        // Expressions are few: each may run to the match time limit.
        const auto matchType = random.below(8);
        NanoMessageSetInt32(filter, 0,
                            static_cast<std::int32_t>(matchType == 1 && random.below(16) != 0 ? 4 : matchType));
        NanoMessageSetString(filter, 1, randomText(random));
        NanoMessageSetBool(filter, 2, random.below(2) == 0);
        NanoMessageSetArray(filter, 3, std::vector<std::string>{randomText(random)});
        MSRMatchString(filter, text);
    }
}

}  // namespace
}  // namespace kit::measurement
