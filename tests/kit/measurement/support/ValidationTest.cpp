#include "RulesTestSupport.h"
#include "kit/measurement/support/MSRDataTypeValidator.h"
#include "kit/measurement/support/MSREvent.h"
#include "kit/measurement/support/MSREventParameters.h"
#include "kit/measurement/support/MSRStrings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>

namespace kit::measurement {
namespace {

using testing::RulesTest;
using V = MSRDataTypeValidator;
using platform::Value;

class ValidationTest : public RulesTest {};

std::string repeat(std::string_view piece, int count) {
    std::string text;
    for (int i = 0; i < count; ++i)
        text += piece;
    return text;
}

const std::string kEmoji = "\xF0\x9F\x98\x80";

Value items(int count, Value::Dictionary element = {{"item_id", Value("sku")}}) {
    return Value(Value::Array(static_cast<std::size_t>(count), Value(std::move(element))));
}

struct RuleRow {
    const char* label;
    std::function<bool(int*)> check;
    bool valid;
    int failureCode;
    std::int64_t logCode;  // 0: no line
};

TEST_F(ValidationTest, RulesAnswerTheirCodesAndLines) {
    const MSRValue empty = MSRValue::initWithString("");
    const MSRValue id256 = MSRValue::initWithString(std::string(256, 'i'));
    const MSRValue id257 = MSRValue::initWithString(std::string(257, 'i'));
    const MSRValue text37 = MSRValue::initWithString(std::string(37, 'v'));
    const MSRValue text36 = MSRValue::initWithString(std::string(36, 'v'));
    const MSRValue number = MSRValue::initWithDouble(1.5);
    const MSRValue word = MSRValue::initWithString("abc");
    const MSRValue usd = MSRValue::initWithString("USD");
    const MSRValue twoLetters = MSRValue::initWithString("US");
    const MSRValue digitInside = MSRValue::initWithString("U1D");
    const MSRValue accented = MSRValue::initWithString("\xC3\x89UR");
    const RuleRow rows[] = {
        {"name of 40", [](int* c) { return V::isValidPublicEventName(std::string(40, 'a'), c); }, true, 0, 0},
        {"name of 41", [](int* c) { return V::isValidPublicEventName(std::string(41, 'a'), c); }, false, 2, 13000},
        {"40 emoji fit the length", [](int* c) { return V::isValidString(repeat(kEmoji, 40), 1, 40, 0, c); }, true, 0,
         0},
        {"41 emoji do not", [](int* c) { return V::isValidString(repeat(kEmoji, 41), 1, 40, 0, c); }, false, 2, 13000},
        {"emoji are not letters", [](int* c) { return V::isValidPublicEventName(repeat(kEmoji, 40), c); }, false, 3,
         13002},
        {"accented letters", [](int* c) { return V::isValidPublicEventName("\xC3\xA9v\xC3\xA9nement", c); }, true, 0,
         0},
        {"screen_view", [](int* c) { return V::isValidPublicEventName("screen_view", c); }, true, 0, 0},
        {"session_start", [](int* c) { return V::isValidPublicEventName("session_start", c); }, false, 4, 13006},
        {"ad_impression", [](int* c) { return V::isValidPublicEventName("ad_impression", c); }, true, 0, 0},
        {"la_ prefix", [](int* c) { return V::isValidPublicEventName("la_thing", c); }, false, 4, 13007},
        {"lumen_ parameter", [](int* c) { return V::isValidPublicEventParameterName("lumen_x", c); }, false, 4, 13008},
        {"_private public", [](int* c) { return V::isValidPublicEventName("_private", c); }, false, 3, 13003},
        {"_private internal", [](int* c) { return V::isValidInternalEventName("_private", c); }, true, 0, 0},
        {"digit first", [](int* c) { return V::isValidPublicEventParameterName("1abc", c); }, false, 3, 13003},
        {"hyphen", [](int* c) { return V::isValidInternalEventName("a-b", c); }, false, 3, 13002},
        {"empty name", [](int* c) { return V::isValidInternalEventName("", c); }, false, 1, 13001},
        {"user_id reserved", [](int* c) { return V::isValidPublicUserAttributeName("user_id", c); }, false, 4, 13009},
        {"halo_ property", [](int* c) { return V::isValidPublicUserAttributeName("halo_x", c); }, false, 4, 13010},
        {"empty property value", [&](int* c) { return V::isValidPublicUserAttributeValue(&empty, c); }, false, 1, 0},
        {"empty parameter value", [&](int* c) { return V::isValidPublicEventParameterValue(&empty, c); }, true, 0, 0},
        {"nil value", [](int* c) { return V::isValidPublicEventParameterValue(nullptr, c); }, false, 1, 13004},
        {"plain object value", [](int* c) { return V::isValidValue(MSRObject(Value("x")), 0, 10, 3, c); }, false, 5,
         13005},
        {"_id at 256", [&](int* c) { return V::isValidInternalUserAttributeValue(&id256, "_id", c); }, true, 0, 0},
        {"_id at 257", [&](int* c) { return V::isValidInternalUserAttributeValue(&id257, "_id", c); }, false, 2, 13000},
        {"other at 36", [&](int* c) { return V::isValidInternalUserAttributeValue(&text36, "_fot", c); }, true, 0, 0},
        {"other at 37", [&](int* c) { return V::isValidInternalUserAttributeValue(&text37, "_fot", c); }, false, 2,
         13000},
        {"app+tgk", [](int* c) { return V::isValidForwardedEventOrigin("app+tgk", c); }, true, 0, 0},
        {"app not forwarded", [](int* c) { return V::isValidForwardedEventOrigin("app", c); }, false, 6, 0},
        {"app internal", [](int* c) { return V::isValidInternalEventOrigin("app", c); }, true, 0, 0},
        {"empty forwarded", [](int* c) { return V::isValidForwardedEventOrigin("", c); }, false, 1, 0},
        {"items of 200", [](int* c) { return V::isValidArrayParamForEvent("purchase", "items", 200, false, c); }, true,
         0, 0},
        {"items of 201", [](int* c) { return V::isValidArrayParamForEvent("purchase", "items", 201, false, c); }, false,
         12, 13013},
        {"outside ecommerce", [](int* c) { return V::isValidArrayParamForEvent("level_up", "items", 1, false, c); },
         false, 10, 13013},
        {"not items", [](int* c) { return V::isValidArrayParamForEvent("purchase", "goods", 1, false, c); }, false, 11,
         13013},
        {"nested", [](int* c) { return V::isValidArrayParamForEvent("purchase", "items", 1, true, c); }, false, 13,
         13013},
        {"element not a dictionary", [](int* c) { return V::isValidArrayParamItem(Value("x"), c); }, false, 14, 13014},
        {"numeric", [&](int* c) { return V::isValidNumericValue(&number, c); }, true, 0, 0},
        {"not numeric", [&](int* c) { return V::isValidNumericValue(&word, c); }, false, 8, 13011},
        {"USD", [&](int* c) { return V::isValidCurrencyCode(&usd, c); }, true, 0, 0},
        {"two letters", [&](int* c) { return V::isValidCurrencyCode(&twoLetters, c); }, false, 9, 13012},
        {"a digit", [&](int* c) { return V::isValidCurrencyCode(&digitInside, c); }, false, 9, 13012},
        {"accented letter", [&](int* c) { return V::isValidCurrencyCode(&accented, c); }, true, 0, 0},
    };
    for (const RuleRow& row : rows) {
        SCOPED_TRACE(row.label);
        int code = -1;
        EXPECT_EQ(row.check(&code), row.valid);
        EXPECT_EQ(code, row.failureCode);
        EXPECT_EQ(services().drainCodes(),
                  row.logCode ? std::vector<std::int64_t>{row.logCode} : std::vector<std::int64_t>{});
    }
}

struct EventRow {
    const char* label;
    std::string origin;
    bool isPublic;
    std::string name;
    std::function<MSRObjectDictionary()> parameters;
    std::function<void(MSRRemoteConfigLimits&)> limits;
    bool created;
    std::optional<std::int64_t> error;        // "_err"
    std::optional<std::string> errorValue;    // "_ev"
    std::optional<std::int64_t> errorLength;  // "_el"
    std::int64_t logCode;                     // a line that must be among those logged; 0: none at all
    std::function<void(const MSREvent&)> more;
};

MSRObjectDictionary plain(std::initializer_list<std::pair<const std::string, Value>> entries) {
    MSRObjectDictionary objects;
    for (const auto& [key, value] : entries)
        objects.emplace(key, value);
    return objects;
}

TEST_F(ValidationTest, EventsAreBuiltCleanedAndTheirFirstFailureRecorded) {
    const auto none = [] { return MSRObjectDictionary{}; };
    const auto keep = [](MSRRemoteConfigLimits&) {};
    const EventRow rows[] = {
        {"name of 41", "app", true, std::string(41, 'e'), none, keep, false, {}, {}, {}, 13000, {}},
        {"reserved name", "app", true, "session_start", none, keep, false, {}, {}, {}, 13006, {}},
        {"reserved prefix", "app", true, "halo_x", none, keep, false, {}, {}, {}, 13007, {}},
        {"screen_view", "app", true, "screen_view", none, keep, true, {}, {}, {}, 0, {}},
        {"ad_impression", "app", true, "ad_impression", none, keep, true, {}, {}, {}, 0, {}},
        {"_private public", "app", true, "_private", none, keep, false, {}, {}, {}, 13003, {}},
        {"_private internal", "app", false, "_private", none, keep, true, {}, {}, {}, 0, {}},
        {"forwarded origin",
         "app+tgk",
         true,
         "level_up",
         none,
         keep,
         true,
         {},
         {},
         {},
         0,
         [](const MSREvent& e) { EXPECT_EQ(*e.parameters().at("_o").stringValue(), "app+tgk"); }},
        {"empty origin", "", true, "level_up", none, keep, false, {}, {}, {}, 0, {}},
        {"bad forwarded origin", "a-b+tgk", true, "level_up", none, keep, false, {}, {}, {}, 13002, {}},
        {"empty value",
         "app",
         true,
         "level_up",
         [] {
             return plain({{"note", Value("")}});
         },
         keep,
         true,
         {},
         {},
         {},
         0,
         [](const MSREvent& e) { EXPECT_TRUE(e.parameters().contains("note")); }},
        {"items of 200",
         "app",
         true,
         "purchase",
         [] {
             return plain({{"items", items(200)}});
         },
         keep,
         true,
         {},
         {},
         {},
         0,
         [](const MSREvent& e) { EXPECT_EQ(MSREventItemCount(&e), 200u); }},
        {"items of 201",
         "app",
         true,
         "purchase",
         [] {
             return plain({{"items", items(201)}});
         },
         keep,
         true,
         17,
         "items",
         {},
         13013,
         [](const MSREvent& e) { EXPECT_EQ(MSREventItemCount(&e), 200u); }},
        {"items outside ecommerce",
         "app",
         true,
         "level_up",
         [] {
             return plain({{"items", items(1)}});
         },
         keep,
         true,
         21,
         "level_up",
         {},
         13013,
         [](const MSREvent& e) { EXPECT_FALSE(e.parameters().contains("items")); }},
        {"array not items",
         "app",
         true,
         "purchase",
         [] {
             return plain({{"goods", items(1)}});
         },
         keep,
         true,
         20,
         "goods",
         {},
         13013,
         {}},
        {"element not a dictionary",
         "app",
         true,
         "purchase",
         [] {
             return plain(
                 {{"items", Value(Value::Array{Value("x"), Value(Value::Dictionary{{"item_id", Value("a")}})})}});
         },
         keep,
         true,
         4,
         "items[0]",
         {},
         13014,
         [](const MSREvent& e) { EXPECT_EQ(MSREventItemCount(&e), 1u); }},
        {"nested array",
         "app",
         true,
         "purchase",
         [] {
             return plain({{"items", items(1, {{"inner", items(1)}, {"item_id", Value("a")}})}});
         },
         keep,
         true,
         {},
         {},
         {},
         13013,
         [](const MSREvent& e) {
             const Value& element = e.parameters().at("items").arrayValue()->front();
             EXPECT_EQ(element.find("_err")->asInteger(), 22);
             EXPECT_EQ(element.find("inner"), nullptr);
         }},
        {"30 parameters, limit 25",
         "app",
         true,
         "level_up",
         [] {
             MSRObjectDictionary objects;
             for (int i = 0; i < 30; ++i)
                 objects.emplace("p" + std::to_string(100 + i), Value(std::int64_t{i}));
             return objects;
         },
         [](MSRRemoteConfigLimits& l) { l.maxPublicEventParams = 25; },
         true,
         5,
         {},
         {},
         18017,
         [](const MSREvent& e) {
             EXPECT_TRUE(e.parameters().contains("p124"));
             EXPECT_FALSE(e.parameters().contains("p125"));
             EXPECT_EQ(e.parameters().size(), 25u + 2u);  // with "_o" and "_err"
         }},
        {"item limit 0",
         "app",
         true,
         "purchase",
         [] {
             return plain({{"items", items(1, {{"item_id", Value("a")}, {"ca", Value("1")}, {"cb", Value("2")}})}});
         },
         [](MSRRemoteConfigLimits& l) { l.maxItemScopedCustomParameters = 0; },
         true,
         {},
         {},
         {},
         18016,
         [](const MSREvent& e) {
             const Value& element = e.parameters().at("items").arrayValue()->front();
             EXPECT_EQ(element.find("_err")->asInteger(), 23);
             EXPECT_EQ(element.find("ca"), nullptr);
             EXPECT_NE(element.find("item_id"), nullptr);
         }},
        {"item limit 1",
         "app",
         true,
         "purchase",
         [] {
             return plain({{"items", items(1, {{"item_id", Value("a")}, {"ca", Value("1")}, {"cb", Value("2")}})}});
         },
         [](MSRRemoteConfigLimits& l) { l.maxItemScopedCustomParameters = 1; },
         true,
         {},
         {},
         {},
         18016,
         [](const MSREvent& e) {
             const Value& element = e.parameters().at("items").arrayValue()->front();
             EXPECT_EQ(element.find("_err")->asInteger(), 28);
             EXPECT_NE(element.find("ca"), nullptr);
             EXPECT_EQ(element.find("cb"), nullptr);
         }},
        {"reserved parameter prefix",
         "app",
         true,
         "level_up",
         [] {
             return plain({{"la_x", Value("1")}});
         },
         keep,
         true,
         14,
         "la_x",
         {},
         13008,
         {}},
        {"parameter name of 41",
         "app",
         true,
         "level_up",
         [] {
             return plain({{std::string(41, 'n'), Value("1")}});
         },
         keep,
         true,
         3,
         std::string(40, 'n') + "...",
         41,
         13000,
         {}},
        {"value too long", "app", true, "level_up",
         [] {
             return plain({{"note", Value(std::string(101, 'v'))}});
         },
         [](MSRRemoteConfigLimits& l) { l.maxPublicEventParameterValueLength = 100; }, true, 4, "note", 101, 13000,
         [](const MSREvent& e) { EXPECT_FALSE(e.parameters().contains("note")); }},
        {"_ev of 45",
         "auto",
         false,
         "_err",
         [] {
             return plain({{"_err", Value(std::int64_t{2})}, {"_ev", Value(std::string(45, 'x'))}});
         },
         keep,
         true,
         2,
         std::string(45, 'x'),
         {},
         0,
         {}},
        {"_ev cut from a long value",
         "auto",
         false,
         "_err",
         [] {
             return plain({{"_err", Value(std::int64_t{19})}, {"_ev", Value(std::string(500, 'x') + "...")}});
         },
         keep,
         true,
         19,
         std::string(500, 'x') + "...",
         {},
         0,
         {}},
        {"value without currency",
         "app",
         true,
         "ad_impression",
         [] {
             return plain({{"value", Value(5.0)}});
         },
         keep,
         true,
         19,
         "currency",
         {},
         18014,
         [](const MSREvent& e) { EXPECT_FALSE(e.parameters().contains("value")); }},
        {"value not numeric",
         "app",
         true,
         "ad_impression",
         [] {
             return plain({{"value", Value("five")}});
         },
         keep,
         true,
         18,
         "value",
         {},
         13011,
         [](const MSREvent& e) { EXPECT_FALSE(e.parameters().contains("value")); }},
        {"value with currency",
         "app",
         true,
         "ad_impression",
         [] {
             return plain({{"value", Value(5.0)}, {"currency", Value("EUR")}});
         },
         keep,
         true,
         {},
         {},
         {},
         0,
         {}},
        {"unsupported object",
         "app",
         true,
         "level_up",
         [] {
             return plain({{"when", Value(Value::Dictionary{})}});
         },
         keep,
         true,
         {},
         {},
         {},
         18015,
         {}},
    };
    for (const EventRow& row : rows) {
        SCOPED_TRACE(row.label);
        services().limits = {};
        row.limits(services().limits);
        services().drainLines();
        const auto event = MSREvent::initWithOrigin(row.origin, row.isPublic, row.name, 1000.0, 0, row.parameters());
        ASSERT_EQ(event.has_value(), row.created);
        const auto codes = services().drainCodes();
        if (row.logCode == 0) {
            EXPECT_TRUE(codes.empty()) << codes.front();
        } else {
            EXPECT_NE(std::find(codes.begin(), codes.end(), row.logCode), codes.end());
        }
        if (!event) {
            continue;
        }
        const MSRParameters& parameters = event->parameters();
        EXPECT_EQ(*parameters.at("_o").stringValue(), row.origin);
        const auto find = [&](const char* key) -> const MSRValue* {
            auto found = parameters.find(key);
            return found == parameters.end() ? nullptr : &found->second;
        };
        EXPECT_EQ(find("_err") ? std::optional(find("_err")->int64Value()) : std::nullopt, row.error);
        EXPECT_EQ(find("_ev") ? std::optional(*find("_ev")->stringValue()) : std::nullopt, row.errorValue);
        EXPECT_EQ(find("_el") ? std::optional(find("_el")->int64Value()) : std::nullopt, row.errorLength);
        if (row.more) {
            row.more(*event);
        }
    }
}

TEST_F(ValidationTest, TheParameterLimitLineNamesTheLimit) {
    services().limits = {};
    services().limits.maxPublicEventParams = 25;
    services().drainLines();
    MSRObjectDictionary objects;
    for (int i = 0; i < 30; ++i) {
        objects.emplace("p" + std::to_string(100 + i), Value(std::int64_t{i}));
    }
    ASSERT_TRUE(MSREvent::initWithOrigin("app", true, "level_up", 1000.0, 0, objects));
    const auto lines = services().drainLines();
    const auto line = std::find_if(lines.begin(), lines.end(), [](const auto& l) { return l.code == 18017; });
    ASSERT_NE(line, lines.end());
    EXPECT_EQ(line->message, "Event cannot contain more than 25 parameters");
}

TEST_F(ValidationTest, TimestampsOutOfRangeAreRefused) {
    const double bad[] = {std::nan(""), INFINITY, -INFINITY, 1e300, 9.3e15};
    for (double timestamp : bad) {
        SCOPED_TRACE(timestamp);
        EXPECT_FALSE(MSREvent::initWithOrigin("app", false, "_e", timestamp, 0, {}));
        EXPECT_FALSE(MSREvent::initWithOrigin("app", false, "_e", 1.0, timestamp, {}));
        EXPECT_EQ(services().drainCodes(), (std::vector<std::int64_t>{16008, 16008}));
    }
    EXPECT_TRUE(MSREvent::initWithOrigin("app", false, "_e", 9.2e15, 0, {}));
    EXPECT_FALSE(MSRSessionStartEvent(1, true, INFINITY));
    services().drainLines();

    EXPECT_TRUE(MSREvent::initWithOrigin("app", false, "_e", 5.0, 6.0, {}));
    EXPECT_EQ(services().drainCodes(), std::vector<std::int64_t>{16002});
}

TEST_F(ValidationTest, FlagsAndScreenParameters) {
    auto event = *MSREvent::initWithOrigin("app", true, "level_up", 10.0, 0, {});
    event.setConversion(true);
    EXPECT_TRUE(event.isConversion());
    EXPECT_TRUE(event.shouldValidateParams());
    event.setConversion(false);
    EXPECT_FALSE(event.isConversion());
    EXPECT_EQ(event.parameters().at("_err").int64Value(), 10);
    event.setConversion(true);
    EXPECT_FALSE(event.parameters().contains("_err"));

    event.parameters().insert_or_assign("_r", MSRValue::initWithString("1"));
    services().drainLines();
    EXPECT_FALSE(event.isRealtime());
    EXPECT_EQ(services().drainCodes(), std::vector<std::int64_t>{16006});
    event.setRealtime(true);
    EXPECT_TRUE(event.isRealtime());

    EXPECT_FALSE(event.addScreenParameters(plain({{"_sc", Value("Main")}})));  // no "_si"
    EXPECT_FALSE(event.addScreenParameters(plain({{"_si", Value(1e300)}})));   // no int64 fits
    EXPECT_TRUE(event.addScreenParameters(plain({{"_si", Value(std::int64_t{7})}, {"_sn", Value("Home")}})));
    EXPECT_EQ(event.parameters().at("_si").int64Value(), 7);
    EXPECT_EQ(*event.parameters().at("_sn").stringValue(), "Home");
    EXPECT_FALSE(event.addScreenParameters(plain({{"_si", Value(std::int64_t{8})}})));  // has one already

    auto other = *MSREvent::initWithOrigin("app", true, "level_up", 10.0, 0, {});
    services().drainLines();
    EXPECT_FALSE(other.addScreenParameters(plain({{"_si", Value(std::int64_t{1})}, {"_sc", Value("")}})));
    const auto codes = services().drainCodes();
    EXPECT_NE(std::find(codes.begin(), codes.end(), 16003), codes.end());
}

TEST_F(ValidationTest, SessionStartAndAggregates) {
    services().screen = {{"_si", MSRValue::initWithInt64(3)}, {"_sn", MSRValue::initWithString("Home")}};
    const auto foreground = MSRSessionStartEvent(4, false, 1700000000.75);
    ASSERT_TRUE(foreground);
    EXPECT_EQ(foreground->name(), "_s");
    EXPECT_EQ(foreground->origin(), "auto");
    EXPECT_EQ(foreground->parameters().at("_sid").int64Value(), 1700000000);
    EXPECT_EQ(foreground->parameters().at("_sno").int64Value(), 4);
    EXPECT_EQ(foreground->parameters().at("_si").int64Value(), 3);
    EXPECT_FALSE(foreground->parameters().contains("_aib"));
    const auto background = MSRSessionStartEvent(4, true, 1700000000.75);
    EXPECT_EQ(background->parameters().at("_aib").int64Value(), 1);
    EXPECT_FALSE(background->parameters().contains("_si"));

    EXPECT_FALSE(MSREventAggregates::initWithName("_e", -1, 0, 0, 0));
    EXPECT_FALSE(MSREventAggregates::initWithName("a b", 0, 0, 0, 0));
    services().drainLines();
    auto aggregates = *MSREventAggregates::initWithName("_e", 2147483647, 2147483647, 5, 0);
    aggregates.incrementLifetimeCount();
    aggregates.incrementCurrentBundleCount();
    aggregates.incrementCurrentSessionCount();
    EXPECT_EQ(aggregates.lifetimeCount(), 0);
    EXPECT_EQ(aggregates.currentBundleCount(), 0);
    EXPECT_EQ(aggregates.currentSessionCount(), 6);
    EXPECT_EQ(services().drainCodes(), (std::vector<std::int64_t>{17001, 17002}));
    EXPECT_EQ(aggregates.lastSamplingRate(), 1);
    EXPECT_FALSE(aggregates.lastSampledComplexEventID());
}

TEST_F(ValidationTest, UserAttributesAndRawEventData) {
    EXPECT_TRUE(MSRUserAttribute::initWithOrigin("app", "_id", MSRValue::initWithString(std::string(256, 'u')), 1.0));
    EXPECT_FALSE(MSRUserAttribute::initWithOrigin("app", "_fot", MSRValue::initWithString(std::string(37, 'u')), 1.0));
    const auto attribute = MSRUserAttribute::initWithOrigin("app", "plan", MSRValue::initWithString("gold"), 1.5);
    EXPECT_TRUE(attribute->isPublic());
    services().drainLines();

    EXPECT_FALSE(MSRRawEventData::initWithRawEvent(nullptr, 1, 2));
    auto event = std::make_shared<const MSREvent>(*MSREvent::initWithOrigin("app", false, "_e", 1.0, 0, {}));
    EXPECT_FALSE(MSRRawEventData::initWithRawEvent(event, -1, 2));
    const auto data = MSRRawEventData::initWithRawEvent(event, 0, 2);
    ASSERT_TRUE(data);
    EXPECT_EQ(data->rawEvent().name(), "_e");
    EXPECT_EQ(services().drainCodes(), (std::vector<std::int64_t>{28000, 28001}));
}

TEST_F(ValidationTest, CleanerKeepsTypedValuesAndNothingForEmpty) {
    EXPECT_FALSE(MSRValidatedEventParameters({}, "level_up", true));
    const MSRObjectDictionary objects{
        {"count", MSRValue::initWithInt64(5)}, {"flag", Value(true)}, {"ratio", Value(0.5)}};
    const auto cleaned = MSRValidatedEventParameters(objects, "level_up", true);
    ASSERT_TRUE(cleaned);
    EXPECT_EQ(cleaned->at("count"), MSRValue::initWithInt64(5));
    EXPECT_EQ(cleaned->at("flag"), MSRValue::initWithInt64(1));
    EXPECT_EQ(cleaned->at("ratio"), MSRValue::initWithDouble(0.5));
    // Every parameter removed: only the error parameters remain.
    const auto removed = MSRValidatedEventParameters({{"la_a", Value("1")}}, "level_up", true);
    ASSERT_TRUE(removed);
    EXPECT_EQ(removed->size(), 2u);
}

}  // namespace
}  // namespace kit::measurement
