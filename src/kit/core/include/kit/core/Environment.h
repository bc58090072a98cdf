#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

// Facts about the running process and machine that the logger, the user
// agent and the measurement engine report.
namespace kit {

// What tests put in place of the machine's own facts.
struct EnvironmentOverrides {
    std::optional<bool> fromAppStore = std::nullopt;
    std::optional<bool> appStoreReceiptSandbox = std::nullopt;
    // Read etc/os-release, sys/… and proc/sys/… under this folder instead of /.
    std::optional<std::filesystem::path> systemRoot = std::nullopt;
    // Stands for the machine field of uname.
    std::optional<std::string> machine = std::nullopt;
};

class LMUAppEnvironmentUtil {
public:
    // No installed image here carries the App Store's encryption command, so
    // this is false unless a test overrides it; false too in the sandbox.
    static bool isFromAppStore();
    // There is no App Store receipt: false unless a test overrides it.
    static bool isAppStoreReceiptSandbox();
    static bool isSimulator() { return false; }
    static bool isAppExtension() { return false; }

    // "hw.model" is the DMI product name, trimmed, with inner blanks as "_";
    // another name reads /proc/sys with dots as slashes. Nothing when the
    // entry is missing or empty.
    static std::optional<std::string> getSysctlEntry(std::string_view name);
    // "hw.model", else the uname machine; computed once.
    static std::string deviceModel();
    // "hw.model"; computed once.
    static std::optional<std::string> deviceSimulatorModel();
    // The VERSION_ID of os-release as "major.minor", plus ".patch" when the
    // patch is not zero.
    static std::string systemVersion();
    static std::string applePlatform();
    static std::string appleDevicePlatform();
    static std::string deploymentType();

    // Tests only: replaces the overrides and forgets values computed once.
    static void setOverridesForTesting(EnvironmentOverrides overrides);
};

// "major.minor[.patch]" from the text of an os-release file.
std::string systemVersionFromOSRelease(std::string_view osRelease);

class LMUNetworkInfo {
public:
    static long getNetworkType() { return -1; }  // unknown
    static std::string getNetworkRadioType() { return {}; }
};

}  // namespace kit
