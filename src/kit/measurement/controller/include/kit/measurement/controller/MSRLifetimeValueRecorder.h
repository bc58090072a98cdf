#pragma once

#include "kit/measurement/support/MSREvent.h"
#include "kit/measurement/support/MSRRecords.h"
#include "platform/Expected.h"

#include <cstdint>
#include <string_view>
#include <vector>

// The lifetime value per currency, kept as the internal user properties
// "_ltv_<CURRENCY>" (an integer in micros) while purchase events are
// written. The write pipeline calls it inside its transaction on the worker
// queue; a NO there rolls the event back.
namespace kit::measurement {

class MSRDatabase;

// Where the recorder keeps its user properties: the measurement store in
// the product (MSRDatabaseLifetimeValueStore), a fake in tests.
class MSRLifetimeValueStore {
public:
    virtual ~MSRLifetimeValueStore() = default;
    // The properties whose names start with "_ltv_", newest set time first.
    virtual platform::Expected<std::vector<MSRUserAttribute>> allLifetimeValueUserAttributes() = 0;
    virtual platform::Expected<void> updateUserAttribute(const MSRUserAttribute& attribute) = 0;
    virtual platform::Expected<void> deleteUserAttributeWithName(std::string_view name) = 0;
};

// The measurement store as the recorder's store; `database` must outlive it.
class MSRDatabaseLifetimeValueStore final : public MSRLifetimeValueStore {
public:
    explicit MSRDatabaseLifetimeValueStore(MSRDatabase& database) : database_(database) {}
    platform::Expected<std::vector<MSRUserAttribute>> allLifetimeValueUserAttributes() override;
    platform::Expected<void> updateUserAttribute(const MSRUserAttribute& attribute) override;
    platform::Expected<void> deleteUserAttributeWithName(std::string_view name) override;

private:
    MSRDatabase& database_;
};

class MSRLifetimeValueRecorder {
public:
    MSRLifetimeValueRecorder() = delete;

    // Adds a purchase event's "value" to "_ltv_" + its "currency" in upper
    // case; a "refund" subtracts it. A new currency past
    // `maxTrackedCurrencies` (the remote setting) first drops the oldest
    // one. `now` is the set time, in seconds since 1970.
    //
    // YES for other events and for a purchase that carries no usable
    // currency or value (logged, nothing stored). NO when the store fails or
    // the amount or the new total does not fit 64 bits: the caller rolls the
    // event back.
    static bool recordLifetimeValueToDatabase(MSRLifetimeValueStore& store, const MSREvent& event,
                                              std::int32_t maxTrackedCurrencies, double now);

    // "_iap", or an ecommerce purchase event.
    static bool isPurchaseEvent(const MSREvent& event);
    // "ecommerce_purchase", "purchase" or "refund".
    static bool isEcommercePurchaseEvent(const MSREvent& event);
};

}  // namespace kit::measurement
