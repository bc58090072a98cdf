// The lifetime value per currency kept while purchase events are written,
// and the ad-exposure events kept from listeners.

#include "PurchasesTestSupport.h"
#include "kit/measurement/controller/MSREventIsListenerExempt.h"
#include "kit/measurement/controller/MSRLifetimeValueRecorder.h"
#include "kit/measurement/support/MSRDatabase.h"
#include "kit/measurement/support/MSRPersistedConfig.h"
#include "kit/measurement/support/MeasurementErrors.h"

#include <limits>

namespace kit::measurement {
namespace {

using testing::PurchasesTest;

constexpr double kNow = 1'800'000'000;
constexpr std::int32_t kDefaultCurrencies = 4;

MSREvent purchaseEvent(std::string_view name, std::optional<MSRObject> value, std::optional<std::string> currency,
                       std::string_view origin = "app") {
    MSRObjectDictionary parameters;
    if (value) {
        parameters.emplace("value", *value);
    }
    if (currency) {
        parameters.emplace("currency", platform::Value(*currency));
    }
    auto event = MSREvent::initWithOrigin(origin, false, name, kNow, 0, parameters);
    EXPECT_TRUE(event) << name;
    return *event;
}

MSREvent purchaseEvent(std::string_view name, double value, std::string currency) {
    return purchaseEvent(name, MSRObject(platform::Value(value)), std::move(currency));
}

// The recorder's store in memory; each operation can be made to fail.
class MemoryLifetimeValueStore final : public MSRLifetimeValueStore {
public:
    platform::Expected<std::vector<MSRUserAttribute>> allLifetimeValueUserAttributes() override {
        if (failRead) {
            return platform::unexpected(msr_errorWithCode(MSRErrorCode::databaseFailure, "read failed"));
        }
        std::vector<MSRUserAttribute> newestFirst = attributes;
        std::stable_sort(newestFirst.begin(), newestFirst.end(), [](const auto& first, const auto& second) {
            return first.lastSetTimestamp() > second.lastSetTimestamp();
        });
        return newestFirst;
    }
    platform::Expected<void> updateUserAttribute(const MSRUserAttribute& attribute) override {
        if (failWrite) {
            return platform::unexpected(msr_errorWithCode(MSRErrorCode::databaseFailure, "write failed"));
        }
        std::erase_if(attributes, [&](const auto& known) { return known.name() == attribute.name(); });
        attributes.push_back(attribute);
        return {};
    }
    platform::Expected<void> deleteUserAttributeWithName(std::string_view name) override {
        if (failDelete) {
            return platform::unexpected(msr_errorWithCode(MSRErrorCode::databaseFailure, "delete failed"));
        }
        std::erase_if(attributes, [&](const auto& known) { return known.name() == name; });
        return {};
    }

    void set(std::string_view name, std::int64_t micros, double setAt = kNow - 100) {
        attributes.push_back(*MSRUserAttribute::initWithOrigin("auto", name, MSRValue::initWithInt64(micros), setAt));
    }
    std::optional<std::int64_t> micros(std::string_view name) const {
        for (const auto& attribute : attributes) {
            if (attribute.name() == name) {
                return attribute.value().int64Value();
            }
        }
        return std::nullopt;
    }

    std::vector<MSRUserAttribute> attributes;
    bool failRead = false;
    bool failWrite = false;
    bool failDelete = false;
};

class LifetimeValueRecorderTest : public PurchasesTest {
protected:
    bool record(const MSREvent& event, std::int32_t currencies = kDefaultCurrencies) {
        return MSRLifetimeValueRecorder::recordLifetimeValueToDatabase(store, event, currencies, kNow);
    }

    MemoryLifetimeValueStore store;
};

TEST_F(LifetimeValueRecorderTest, PurchasesAddAndRefundsSubtractInTheMeasurementStore) {
    platform::TestClock clock{platform::TimePoint{} + std::chrono::seconds(static_cast<std::int64_t>(kNow))};
    auto config = MSRPersistedConfig::create(kMSRPersistedConfigSuiteName, clock);
    auto database = MSRDatabase::initWithDatabaseName(kMSRDatabaseFileName, config, clock);
    ASSERT_TRUE(database);
    MSRDatabaseLifetimeValueStore databaseStore(**database);

    EXPECT_TRUE(MSRLifetimeValueRecorder::recordLifetimeValueToDatabase(
        databaseStore, purchaseEvent("purchase", 9.99, "usd"), kDefaultCurrencies, kNow));
    auto stored = (*database)->userAttributeWithName("_ltv_USD");
    ASSERT_TRUE(stored && *stored);
    EXPECT_EQ((*stored)->value(), MSRValue::initWithInt64(9'990'000));
    EXPECT_EQ((*stored)->origin(), "auto");
    EXPECT_EQ((*stored)->lastSetTimestamp(), kNow);

    EXPECT_TRUE(MSRLifetimeValueRecorder::recordLifetimeValueToDatabase(
        databaseStore, purchaseEvent("refund", 9.99, "USD"), kDefaultCurrencies, kNow + 1));
    stored = (*database)->userAttributeWithName("_ltv_USD");
    ASSERT_TRUE(stored && *stored);
    EXPECT_EQ((*stored)->value(), MSRValue::initWithInt64(0));
    config->cancelScheduledSynchronize();
}

TEST_F(LifetimeValueRecorderTest, AmountsPerEventKind) {
    struct Row {
        const char* name;
        MSRObject value;
        std::int64_t expected;  // micros added
    };
    const Row rows[] = {
        {"purchase", platform::Value(9.99), 9'990'000},
        {"ecommerce_purchase", platform::Value(std::int64_t{3}), 3'000'000},
        {"refund", platform::Value(0.5), -500'000},
        // Rounded to the nearest micro, halves away from zero.
        {"purchase", platform::Value(0.0000015), 2},
        {"refund", platform::Value(0.0000015), -2},
        // "_iap" carries micros already: truncated, not scaled.
        {"_iap", platform::Value(std::int64_t{1'990'000}), 1'990'000},
        {"_iap", platform::Value(12.9), 12},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        MemoryLifetimeValueStore fresh;
        EXPECT_TRUE(MSRLifetimeValueRecorder::recordLifetimeValueToDatabase(
            fresh, purchaseEvent(row.name, row.value, "EUR"), kDefaultCurrencies, kNow));
        EXPECT_EQ(fresh.micros("_ltv_EUR"), row.expected);
    }
}

TEST_F(LifetimeValueRecorderTest, AFifthCurrencyDropsTheOldestFirst) {
    store.set("_ltv_EUR", 1, kNow - 400);  // the oldest
    store.set("_ltv_GBP", 2, kNow - 300);
    store.set("_ltv_JPY", 3, kNow - 200);
    store.set("_ltv_CHF", 4, kNow - 100);
    EXPECT_TRUE(record(purchaseEvent("purchase", 1.0, "usd")));
    EXPECT_FALSE(store.micros("_ltv_EUR"));
    EXPECT_EQ(store.micros("_ltv_USD"), 1'000'000);
    EXPECT_EQ(store.attributes.size(), 4u);

    // A known currency only adds.
    EXPECT_TRUE(record(purchaseEvent("purchase", 1.0, "GBP")));
    EXPECT_EQ(store.micros("_ltv_GBP"), 1'000'002);
    EXPECT_EQ(store.attributes.size(), 4u);
}

TEST_F(LifetimeValueRecorderTest, EventsWithoutAUsableCurrencyOrValueAreKeptWithoutAValue) {
    struct Row {
        const char* why;
        MSREvent event;
        std::int64_t code;
    };
    const Row rows[] = {
        {"two letters", purchaseEvent("purchase", 9.99, "us"), 22000},
        {"four letters", purchaseEvent("purchase", 9.99, "usdd"), 22000},
        {"no currency", purchaseEvent("purchase", MSRObject(platform::Value(1.0)), std::nullopt), 22000},
        {"text value", purchaseEvent("purchase", MSRObject(platform::Value("9.99")), "USD"), 22001},
        {"no value", purchaseEvent("purchase", std::nullopt, "USD"), 22001},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.why);
        codes();
        EXPECT_TRUE(record(row.event));
        EXPECT_TRUE(store.attributes.empty());
        const auto logged = codes();
        EXPECT_NE(std::find(logged.begin(), logged.end(), row.code), logged.end());
    }
    // Not a purchase: nothing is read or written.
    store.failRead = true;
    EXPECT_TRUE(record(purchaseEvent("level_up", 9.99, "us")));
    EXPECT_TRUE(codes().empty());
}

TEST_F(LifetimeValueRecorderTest, AmountsAndTotalsPast64BitsRollTheEventBack) {
    constexpr auto maxMicros = std::numeric_limits<std::int64_t>::max();
    struct Row {
        const char* why;
        MSREvent event;
        std::optional<std::int64_t> stored;  // the total already there
    };
    const Row rows[] = {
        {"amount", purchaseEvent("purchase", 1e13, "USD"), std::nullopt},
        {"refund amount", purchaseEvent("refund", 1e13, "USD"), std::nullopt},
        {"micros", purchaseEvent("_iap", 1e19, "USD"), std::nullopt},
        {"total", purchaseEvent("purchase", 1.0, "USD"), maxMicros - 10},
        {"negative total", purchaseEvent("refund", 1.0, "USD"), std::numeric_limits<std::int64_t>::min() + 10},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.why);
        MemoryLifetimeValueStore fresh;
        if (row.stored) {
            fresh.set("_ltv_USD", *row.stored);
        }
        codes();
        EXPECT_FALSE(
            MSRLifetimeValueRecorder::recordLifetimeValueToDatabase(fresh, row.event, kDefaultCurrencies, kNow));
        EXPECT_EQ(fresh.micros("_ltv_USD"), row.stored);
        const auto logged = codes();
        EXPECT_NE(std::find(logged.begin(), logged.end(), 22002), logged.end());
    }
}

TEST_F(LifetimeValueRecorderTest, StoreFailuresRollTheEventBack) {
    struct Row {
        const char* why;
        bool MemoryLifetimeValueStore::*failure;
        std::int64_t code;
    };
    const Row rows[] = {
        {"read", &MemoryLifetimeValueStore::failRead, 22003},
        {"delete", &MemoryLifetimeValueStore::failDelete, 22004},
        {"write", &MemoryLifetimeValueStore::failWrite, 22005},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.why);
        MemoryLifetimeValueStore fresh;
        for (const char* name : {"_ltv_EUR", "_ltv_GBP", "_ltv_JPY", "_ltv_CHF"}) {
            fresh.set(name, 1);
        }
        fresh.*row.failure = true;
        codes();
        EXPECT_FALSE(MSRLifetimeValueRecorder::recordLifetimeValueToDatabase(
            fresh, purchaseEvent("purchase", 1.0, "USD"), kDefaultCurrencies, kNow));
        const auto logged = codes();
        EXPECT_NE(std::find(logged.begin(), logged.end(), row.code), logged.end());
    }
}

TEST(ListenerExemptionTest, AdExposureEventsAreExempt) {
    struct Row {
        const char* origin;
        const char* name;
        bool exempt;
    };
    const Row rows[] = {
        {"am", "level_up", true},   {"auto", "_xa", true},   {"app", "_xu", true},
        {"app", "level_up", false}, {"auto", "_iap", false}, {"fa", "_xaa", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.origin) + " " + row.name);
        EXPECT_EQ(MSREventIsListenerExempt(row.origin, row.name), row.exempt);
    }
    const auto event = MSREvent::initWithOrigin("am", false, "_e", kNow, 0, {});
    ASSERT_TRUE(event);
    EXPECT_TRUE(MSREventIsListenerExempt(*event));
}

}  // namespace
}  // namespace kit::measurement
