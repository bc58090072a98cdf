#include "kit/core/Environment.h"

#include "kit/core/KitContext.h"

#include "kit/core/WireLiterals.h"

#include <sys/utsname.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <fstream>
#include <mutex>

namespace kit {

namespace fs = std::filesystem;

namespace {

// The facts of the current kit context, read once each.
struct EnvironmentState {
    std::mutex mutex;
    EnvironmentOverrides overrides;                                 // guarded by mutex
    std::optional<std::string> cachedDeviceModel;                   // guarded by mutex
    std::optional<std::optional<std::string>> cachedHardwareModel;  // guarded by mutex
    std::optional<std::string> cachedSystemVersion;                 // guarded by mutex
};

EnvironmentState& environment() { return KitContext::current().service<EnvironmentState>(); }

// What `slot` of the current context holds, worked out by `make` (outside
// the lock) the first time.
template <typename T, typename Make>
T cachedValue(std::optional<T> EnvironmentState::*slot, Make make) {
    EnvironmentState& state = environment();
    {
        std::lock_guard lock(state.mutex);
        if (state.*slot) {
            return *(state.*slot);
        }
    }
    T made = make();
    std::lock_guard lock(state.mutex);
    if (!(state.*slot)) {
        state.*slot = std::move(made);
    }
    return *(state.*slot);
}

EnvironmentOverrides currentOverrides() {
    EnvironmentState& state = environment();
    std::lock_guard lock(state.mutex);
    return state.overrides;
}

fs::path systemPath(std::string_view absolute) {
    const auto root = currentOverrides().systemRoot;
    return root ? *root / fs::path(absolute).relative_path() : fs::path(absolute);
}

// The head of a small system file; these never hold more than a few lines.
std::optional<std::string> readSystemFile(const fs::path& path) {
    std::ifstream stream(path, std::ios::binary);
    if (!stream) {
        return std::nullopt;
    }
    std::string text(64 * 1024, '\0');
    stream.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(stream.gcount()));
    return text;
}

std::string trimmed(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\0'; };
    while (!text.empty() && blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && blank(text.back())) {
        text.remove_suffix(1);
    }
    return std::string(text);
}

std::string machineName() {
    if (auto machine = currentOverrides().machine) {
        return *machine;
    }
    utsname names{};
    return ::uname(&names) == 0 ? std::string(names.machine) : std::string();
}

}  // namespace

bool LMUAppEnvironmentUtil::isAppStoreReceiptSandbox() {
    return currentOverrides().appStoreReceiptSandbox.value_or(false);
}

bool LMUAppEnvironmentUtil::isFromAppStore() {
    if (isSimulator() || isAppStoreReceiptSandbox()) {
        return false;
    }
    return currentOverrides().fromAppStore.value_or(false);
}

std::optional<std::string> LMUAppEnvironmentUtil::getSysctlEntry(std::string_view name) {
    std::optional<std::string> text;
    if (name == "hw.model") {
        text = readSystemFile(systemPath("/sys/class/dmi/id/product_name"));
        if (text) {
            // The user agent separates its entries by blanks.
            std::string model = trimmed(*text);
            std::replace_if(
                model.begin(), model.end(), [](char c) { return c == ' ' || c == '\t'; }, '_');
            text = std::move(model);
        }
    } else {
        if (name.empty() || name.find("..") != std::string_view::npos || name.find('/') != std::string_view::npos) {
            return std::nullopt;
        }
        std::string relative(name);
        std::replace(relative.begin(), relative.end(), '.', '/');
        text = readSystemFile(systemPath("/proc/sys") / relative);
        if (text) {
            text = trimmed(*text);
        }
    }
    if (!text || text->empty()) {
        return std::nullopt;
    }
    return text;
}

std::optional<std::string> LMUAppEnvironmentUtil::deviceSimulatorModel() {
    return cachedValue(&EnvironmentState::cachedHardwareModel, [] { return getSysctlEntry("hw.model"); });
}

std::string LMUAppEnvironmentUtil::deviceModel() {
    return cachedValue(&EnvironmentState::cachedDeviceModel, [] {
        std::string model = getSysctlEntry("hw.model").value_or(std::string());
        return model.empty() ? machineName() : model;
    });
}

std::string systemVersionFromOSRelease(std::string_view osRelease) {
    std::string_view version;
    while (!osRelease.empty()) {
        const std::size_t end = std::min(osRelease.find('\n'), osRelease.size());
        std::string_view line = osRelease.substr(0, end);
        osRelease.remove_prefix(std::min(end + 1, osRelease.size()));
        if (line.starts_with("VERSION_ID=")) {
            version = line.substr(11);
        }
    }
    if (version.size() >= 2 && (version.front() == '"' || version.front() == '\'') &&
        version.back() == version.front()) {
        version = version.substr(1, version.size() - 2);
    }
    std::array<long, 3> parts{0, 0, 0};
    for (long& part : parts) {
        const auto [next, error] = std::from_chars(version.data(), version.data() + version.size(), part);
        if (error != std::errc()) {
            part = 0;
            break;
        }
        version.remove_prefix(static_cast<std::size_t>(next - version.data()));
        if (version.empty() || version.front() != '.') {
            break;
        }
        version.remove_prefix(1);
    }
    std::string text = std::to_string(parts[0]) + "." + std::to_string(parts[1]);
    if (parts[2] != 0) {
        text += "." + std::to_string(parts[2]);
    }
    return text;
}

// Read once: every stored event's metadata carries it.
std::string LMUAppEnvironmentUtil::systemVersion() {
    return cachedValue(&EnvironmentState::cachedSystemVersion, [] {
        auto text = readSystemFile(systemPath("/etc/os-release"));
        if (!text) {
            text = readSystemFile(systemPath("/usr/lib/os-release"));
        }
        return systemVersionFromOSRelease(text.value_or(std::string()));
    });
}

std::string LMUAppEnvironmentUtil::applePlatform() { return std::string(kApplePlatform); }

std::string LMUAppEnvironmentUtil::appleDevicePlatform() { return applePlatform(); }

std::string LMUAppEnvironmentUtil::deploymentType() { return std::string(kDeploymentType); }

void LMUAppEnvironmentUtil::setOverridesForTesting(EnvironmentOverrides replacement) {
    EnvironmentState& state = environment();
    std::lock_guard lock(state.mutex);
    state.overrides = std::move(replacement);
    state.cachedDeviceModel.reset();
    state.cachedHardwareModel.reset();
    state.cachedSystemVersion.reset();
}

}  // namespace kit
