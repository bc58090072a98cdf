#pragma once

#include "kit/measurement/support/MSRValue.h"

#include <cstdint>
#include <optional>
#include <string>

namespace kit::measurement {

// One occurrence of a screen: what the application named in a "screen_view"
// event, and the instance ID that tells two showings of it apart.
class MSRScreen {
public:
    MSRScreen(std::optional<std::string> name, std::optional<std::string> className, std::int64_t instanceID);

    // A new screen of the same name, class name and instance ID; the flags
    // and the timestamp are not copied.
    MSRScreen copy() const;

    const std::optional<std::string>& name() const { return name_; }
    const std::optional<std::string>& className() const { return className_; }
    std::int64_t instanceID() const { return instanceID_; }

    bool isManuallySet() const { return isManuallySet_; }
    void setManuallySet(bool manuallySet) { isManuallySet_ = manuallySet; }
    // Made from an application "screen_view" event.
    bool isManuallyTracked() const { return isManuallyTracked_; }
    void setManuallyTracked(bool manuallyTracked) { isManuallyTracked_ = manuallyTracked; }
    // Seconds since 1970 of the "screen_view" call.
    double eventTimestamp() const { return eventTimestamp_; }
    void setEventTimestamp(double seconds) { eventTimestamp_ = seconds; }

private:
    bool isManuallySet_ = false;
    bool isManuallyTracked_ = false;
    std::optional<std::string> name_;
    std::optional<std::string> className_;
    std::int64_t instanceID_ = 0;
    double eventTimestamp_ = 0;
};

// "_si", then "_sc" and "_sn" where they are valid screen parameter values.
// An empty class name is logged (31014); an invalid one is logged (31015)
// and leaves only "_si".
MSRParameters MSRScreenParametersForScreen(const MSRScreen& screen);
// "_pi", then "_pc" and "_pn" where valid; logs nothing.
MSRParameters MSRPreviousScreenParametersForScreen(const MSRScreen& screen);

// Screens are tracked only from the application's "screen_view" events.
bool MSRIsAutomaticScreenReportingEnabled();

}  // namespace kit::measurement
