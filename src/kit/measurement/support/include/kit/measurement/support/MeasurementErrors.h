#pragma once

#include "platform/Error.h"
#include "platform/Expected.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The measurement engine's errors: one domain, a code per failure, and an
// optional monitor context that the health data carries instead of the text.
namespace kit::measurement {

inline constexpr std::string_view kMSRErrorDomain = "com.lumen.lmp.measurement.ErrorDomain";
// User-info keys.
inline constexpr std::string_view kMSRMonitorContextKey = "MSRMonitorContext";
inline constexpr std::string_view kMSRLocalizedDescriptionKey = "NSLocalizedDescription";

// The codes of the measurement domain: every error the engine makes names one.
enum class MSRErrorCode {
    invalidArgument = 1,         // a bad argument: an empty table name, a second SQL statement
    invalidState = 2,            // wrong state or schema: the store not open, a missing column
    databaseFailure = 3,         // an SQLite or transaction failure
    invalidAudience = 9,         // an audience definition the configuration cannot save
    invalidEventFilter = 10,     // an event filter of such an audience
    invalidPropertyFilter = 11,  // a property filter of such an audience
    sessionIDUnavailable = 13,   // no session ID: analytics gone or disabled, the session expired or unknown
};

constexpr std::string_view errorDomain(MSRErrorCode) { return kMSRErrorDomain; }

// An error of the measurement domain. The user info holds the description
// when it is not empty and the monitor context when that is not empty.
platform::Error msr_errorWithCode(MSRErrorCode code, std::string_view description,
                                  std::string_view monitorContext = {});

// The monitor context of a measurement-domain error; empty for any other.
std::string MSRMonitorContextOfError(const platform::Error& error);

// Where an operation reports its failure, as an error out-parameter does.
using MSRErrorOut = std::optional<platform::Error>*;

void MSRSetError(MSRErrorOut error, MSRErrorCode code, std::string_view description);
void MSRSetErrorWithContext(MSRErrorOut error, MSRErrorCode code, std::string_view description,
                            std::string_view context);

// True when the condition holds; otherwise the error is stored and false.
bool MSRCheckOrSetError(bool condition, MSRErrorOut error, MSRErrorCode code, std::string_view description);
template <typename Pointer>
bool MSRCheckObjectOrSetError(const Pointer& object, MSRErrorOut error, MSRErrorCode code,
                              std::string_view description) {
    return MSRCheckOrSetError(static_cast<bool>(object), error, code, description);
}
bool MSRCheckNonZeroOrSetError(long long value, MSRErrorOut error, MSRErrorCode code, std::string_view description);
bool MSRCheckNonZeroUnsignedOrSetError(unsigned long long value, MSRErrorOut error, MSRErrorCode code,
                                       std::string_view description);

// The non-empty monitor contexts of the measurement-domain errors, joined by ",".
std::string MSRErrorContextsFromErrors(const std::vector<platform::Error>& errors);

}  // namespace kit::measurement
