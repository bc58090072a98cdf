#pragma once

#include "platform/Value.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

// What the remote settings ask of the controller and of the identity and
// environment services above this library. This library cannot link them, so
// each fact is a function that its owner installs; until then a default
// answers. Facts are read at each use, from any thread.
namespace kit::measurement {

inline constexpr std::int64_t kMSRDefaultLibraryVersion = 110900;

struct MSRControllerFacts {
    // The shared controller exists and has started. Default: NO.
    std::function<bool()> hasSharedInstance;
    // The shared controller collects (its isEnabled). Default: NO.
    std::function<bool()> isEnabled;
    // The stored server-side tag-manager preview headers. Default: none.
    std::function<std::optional<platform::Value::Dictionary>()> SSTPreviewHeaders;
    // The app version of the controller's identity. Default: none.
    std::function<std::optional<std::string>()> appVersion;
    // The platform identity support's status; -1 without one. Default: -1.
    std::function<std::int64_t()> appDataConsentStatus;
    // The engine's library version. Default: kMSRDefaultLibraryVersion.
    std::function<std::int64_t()> appMeasurementLibraryVersion;
    // Installed from the App Store. Default: NO.
    std::function<bool()> isFAS;
    // The monitor's debug mode. Default: NO.
    std::function<bool()> isDebugModeEnabled;
    // The scheduler's check that the caller is off the main thread; it only
    // logs. Default: YES.
    std::function<bool(std::string_view methodName)> checkOnBackgroundThreadWithMethodName;
};

// Every fact that `facts` gives replaces the installed one; the others stay.
// So the controller and the identity services each install their own.
void installControllerFacts(const MSRControllerFacts& facts);
// Every fact back to its default (tests).
void resetControllerFacts();
// A copy of the installed facts with every function set.
MSRControllerFacts currentControllerFacts();

}  // namespace kit::measurement
