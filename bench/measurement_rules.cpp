// The event rules' cost: cleaning an event of 25 string parameters (target
// at most 20 µs), a "purchase" of 200 items of 5 parameters (target at most
// 2 ms), and filter matches, time per match.

#include "BenchTiming.h"

#include "kit/measurement/messages/NanoMessageAccess.h"
#include "kit/measurement/support/MSREvent.h"
#include "kit/measurement/support/MSRFilterMatching.h"

#include <cstdio>
#include <string>

namespace {

using bench::secondsFor;
using kit::measurement::MSREvent;
using kit::measurement::MSRObjectDictionary;
using kit::measurement::MSRValue;
using platform::Value;

}  // namespace

int main() {
    MSRObjectDictionary strings;
    for (int i = 0; i < 25; ++i) {
        strings.emplace("param_" + std::to_string(i), Value("value number " + std::to_string(i)));
    }
    constexpr int kEvents = 20000;
    std::size_t kept = 0;
    const double stringSeconds = secondsFor([&] {
        for (int i = 0; i < kEvents; ++i) {
            kept += MSREvent::initWithOrigin("app", true, "level_up", 1700000000.0, 0, strings)->parameters().size();
        }
    });
    std::printf("event of 25 string parameters: %.2f us per event (target <= 20)\n", stringSeconds / kEvents * 1e6);

    Value::Array items;
    for (int i = 0; i < 200; ++i) {
        items.emplace_back(Value::Dictionary{{"item_id", Value("sku-" + std::to_string(i))},
                                             {"item_name", Value("Item " + std::to_string(i))},
                                             {"price", Value(9.99)},
                                             {"quantity", Value(std::int64_t{2})},
                                             {"item_brand", Value("Brand")}});
    }
    const MSRObjectDictionary purchase{{"items", Value(items)}, {"currency", Value("EUR")}, {"value", Value(99.9)}};
    constexpr int kPurchases = 200;
    const double purchaseSeconds = secondsFor([&] {
        for (int i = 0; i < kPurchases; ++i) {
            kept += MSREvent::initWithOrigin("app", true, "purchase", 1700000000.0, 0, purchase)->parameters().size();
        }
    });
    std::printf("purchase of 200 items x 5 parameters: %.3f ms per event (target <= 2)\n",
                purchaseSeconds / kPurchases * 1e3);

    kit::measurement::MSRPBStringFilter contains;
    kit::measurement::NanoMessageSetInt32(contains, 0, 4);
    kit::measurement::NanoMessageSetString(contains, 1, "Shoe");
    kit::measurement::MSRPBFilter stringFilter;
    kit::measurement::NanoMessageSetMessage(stringFilter, 0, contains);
    kit::measurement::MSRPBNumberFilter between;
    kit::measurement::NanoMessageSetInt32(between, 0, 4);
    kit::measurement::NanoMessageSetString(between, 3, "1.5");
    kit::measurement::NanoMessageSetString(between, 4, "250");
    kit::measurement::MSRPBFilter numberFilter;
    kit::measurement::NanoMessageSetMessage(numberFilter, 1, between);
    const MSRValue text = MSRValue::initWithString("Red running shoes, size 42");
    const MSRValue number = MSRValue::initWithInt64(42);
    constexpr int kMatches = 1000;
    int matched = 0;
    const double stringMatch = secondsFor([&] {
        for (int i = 0; i < kMatches; ++i)
            matched += kit::measurement::MSRFilterOutcome(stringFilter, text).value_or(false);
    });
    const double numberMatch = secondsFor([&] {
        for (int i = 0; i < kMatches; ++i)
            matched += kit::measurement::MSRFilterOutcome(numberFilter, number).value_or(false);
    });
    std::printf("1000 string filter matches: %.2f us per match\n", stringMatch / kMatches * 1e6);
    std::printf("1000 number filter matches: %.2f us per match\n", numberMatch / kMatches * 1e6);
    std::printf("(checksum %zu %d)\n", kept, matched);
    return 0;
}
