#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace platform {
class Bundle;
}

namespace kit::measurement {

// What the install probes look at. This system has no executable
// encryption record and no store receipt: by default the executable is
// not encrypted and there is no receipt URL.
struct MSRInstallEnvironment {
    bool isNOD = false;
    bool isExecutableEncrypted = false;
    std::optional<std::filesystem::path> appStoreReceiptURL;
    // The application bundle; the main bundle when null.
    std::shared_ptr<const platform::Bundle> bundle;
};

// Probes of how the application was installed (the name: app environment
// utilities). Class operations only. The short names: RURL receipt URL,
// ASRS App Store receipt from the sandbox, NOD a kind of install this
// platform never has, FAS from the App Store, AEX app extension.
class MSRAEU {
public:
    MSRAEU() = delete;

    // None when the Info.plist switches the receipt check off
    // ("HaloAppStoreReceiptURLCheckEnabled" a number that is NO).
    static std::optional<std::filesystem::path> appStoreRURL();
    // The receipt is a sandbox one.
    static bool isASRS();
    static bool isNOD();
    // Installed from the App Store.
    static bool isFAS();
    // Running as an app extension.
    static bool isAEX();
    static std::string deviceModel();
    static std::string systemVersion();

    // Replaces the install environment of the current kit context (nothing:
    // back to the default, the program's own).
    static void setInstallEnvironment(std::optional<MSRInstallEnvironment> environment);
};

}  // namespace kit::measurement
