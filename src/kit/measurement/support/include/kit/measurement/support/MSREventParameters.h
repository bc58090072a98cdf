#pragma once

#include "kit/measurement/support/MSRValue.h"

#include <optional>
#include <string_view>

// The one cleaner every event's parameters pass through: bad names and
// values are removed, the rest typed, arrays cleaned item by item, public
// parameters cut to the remote limits, and the first failure recorded in
// "_err", "_ev" and "_el".
namespace kit::measurement {

// Nothing for empty parameters.
std::optional<MSRParameters> MSRValidatedEventParameters(const MSRObjectDictionary& parameters,
                                                         std::string_view eventName, bool isPublic,
                                                         bool isItem = false);

// Removes public names, last in ascending order first, down to `limit`.
void MSRTrimEventParametersToLimit(MSRParameters& parameters, int limit);
inline void MSRTrimPublicEventParametersToLimit(MSRParameters& parameters, int limit) {
    MSRTrimEventParametersToLimit(parameters, limit);
}
// The same for the custom (not item) parameters of an item.
void MSRTrimItemParametersToLimit(MSRParameters& parameters, int limit);

// Records a failure of the array rules (validator codes 10 to 13).
void MSRRecordArrayParameterError(MSRParameters& parameters, int validatorCode, std::string_view paramName,
                                  std::string_view eventName);

// A "value" needs a numeric type and a currency; otherwise it is removed and
// the failure recorded (18 or 19).
bool MSRCheckValueAndCurrency(MSRParameters& parameters);

// The typed parameters as objects again, for a fresh pass through the rules.
MSRObjectDictionary MSRObjectDictionaryFromParameters(const MSRParameters& parameters);

}  // namespace kit::measurement
