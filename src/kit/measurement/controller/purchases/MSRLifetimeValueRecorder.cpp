#include "kit/measurement/controller/MSRLifetimeValueRecorder.h"

#include "PurchaseTexts.h"
#include "kit/measurement/support/MSRDatabase.h"
#include "kit/measurement/support/MSRStrings.h"
#include "platform/Decimal.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>

namespace kit::measurement {

namespace texts = purchase_texts;

platform::Expected<std::vector<MSRUserAttribute>> MSRDatabaseLifetimeValueStore::allLifetimeValueUserAttributes() {
    return database_.allLifetimeValueUserAttributes();
}

platform::Expected<void> MSRDatabaseLifetimeValueStore::updateUserAttribute(const MSRUserAttribute& attribute) {
    return database_.updateUserAttribute(attribute);
}

platform::Expected<void> MSRDatabaseLifetimeValueStore::deleteUserAttributeWithName(std::string_view name) {
    return database_.deleteUserAttributeWithName(name);
}

namespace {

constexpr int kMicrosPerUnit = 6;  // a power of ten

const MSRValue* parameter(const MSREvent& event, std::string_view name) {
    const auto found = event.parameters().find(name);
    return found == event.parameters().end() ? nullptr : &found->second;
}

// The exact decimal of a number value. Doubles too small for the decimal's
// exponent are zero, which is what they round to.
std::optional<platform::Decimal> decimalOf(const MSRValue& value) {
    if (value.isInt64()) {
        return platform::Decimal::fromInt64(value.int64Value());
    }
    const double number = value.doubleValue();
    if (std::isfinite(number) && std::fabs(number) < 1e-100) {
        return platform::Decimal();
    }
    return platform::Decimal::fromDouble(number);
}

// The event's amount in micros, negative for a refund; nothing when it does
// not fit 64 bits.
std::optional<std::int64_t> amountInMicros(const MSREvent& event, const MSRValue& value) {
    auto decimal = decimalOf(value);
    if (!decimal) {
        return std::nullopt;
    }
    if (!MSRLifetimeValueRecorder::isEcommercePurchaseEvent(event)) {
        // "_iap" carries micros already.
        return decimal->toInt64(platform::Decimal::Rounding::towardZero);
    }
    if (event.name() == texts::kRefundEvent) {
        decimal = decimal->negated();
    }
    const auto micros = decimal->scaledByPowerOfTen(kMicrosPerUnit);
    if (!micros) {
        return std::nullopt;
    }
    return micros->toInt64(platform::Decimal::Rounding::halfAwayFromZero);
}

std::string upperCaseASCII(std::string_view text) {
    std::string result(text);
    for (char& character : result) {
        if (character >= 'a' && character <= 'z') {
            character = static_cast<char>(character - 'a' + 'A');
        }
    }
    return result;
}

std::int64_t integerOf(const MSRValue& value) {
    if (value.isInt64()) {
        return value.int64Value();
    }
    const auto decimal = decimalOf(value);
    return decimal ? decimal->toInt64(platform::Decimal::Rounding::towardZero).value_or(0) : 0;
}

}  // namespace

bool MSRLifetimeValueRecorder::isEcommercePurchaseEvent(const MSREvent& event) {
    const std::string& name = event.name();
    return name == texts::kEcommercePurchaseEvent || name == texts::kPublicPurchaseEvent || name == texts::kRefundEvent;
}

bool MSRLifetimeValueRecorder::isPurchaseEvent(const MSREvent& event) {
    return event.name() == texts::kPurchaseEvent || isEcommercePurchaseEvent(event);
}

bool MSRLifetimeValueRecorder::recordLifetimeValueToDatabase(MSRLifetimeValueStore& store, const MSREvent& event,
                                                             std::int32_t maxTrackedCurrencies, double now) {
    if (!isPurchaseEvent(event)) {
        return true;
    }
    const MSRValue* currency = parameter(event, texts::kCurrency);
    if (currency == nullptr || !currency->isString() || msr_UTF32Length(*currency->stringValue()) != 3) {
        texts::log(texts::kInvalidCurrency);
        return true;
    }
    const std::string name = std::string(texts::kLifetimeValuePrefix) + upperCaseASCII(*currency->stringValue());
    // A currency that can't name a user property is as unusable as a
    // missing one: the event is kept, without a lifetime value.
    if (!MSRUserAttribute::initWithOrigin(texts::kOriginAuto, name, MSRValue::initWithInt64(0), now)) {
        texts::log(texts::kInvalidCurrency, name);
        return true;
    }
    const MSRValue* value = parameter(event, texts::kValue);
    if (value == nullptr || !(value->isDouble() || value->isInt64())) {
        texts::log(texts::kInvalidValue);
        return true;
    }
    const auto amount = amountInMicros(event, *value);
    if (!amount) {
        texts::log(texts::kValueOutOfBounds, value->description());
        return false;
    }

    auto existing = store.allLifetimeValueUserAttributes();
    if (!existing) {
        texts::log(texts::kQueryFailed, existing.error());
        return false;
    }
    std::int64_t total = *amount;
    const auto known = std::find_if(existing->begin(), existing->end(),
                                    [&](const MSRUserAttribute& attribute) { return attribute.name() == name; });
    if (known != existing->end()) {
        if (__builtin_add_overflow(integerOf(known->value()), *amount, &total)) {
            texts::log(texts::kValueOutOfBounds, value->description());
            return false;
        }
    } else if (!existing->empty() && existing->size() >= static_cast<std::size_t>(std::max(maxTrackedCurrencies, 0))) {
        const std::string& oldest = existing->back().name();
        if (auto deleted = store.deleteUserAttributeWithName(oldest); !deleted) {
            texts::log(texts::kDeleteFailed, oldest, deleted.error());
            return false;
        }
    }

    const auto attribute =
        MSRUserAttribute::initWithOrigin(texts::kOriginAuto, name, MSRValue::initWithInt64(total), now);
    if (auto written = store.updateUserAttribute(*attribute); !written) {
        texts::log(texts::kUpsertFailed, name, written.error());
        return false;
    }
    texts::log(texts::kLifetimeValueUpdated);
    return true;
}

}  // namespace kit::measurement
