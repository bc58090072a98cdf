#include "kit/measurement/controller/MSREnvironmentInfo.h"

#include "kit/core/KitContext.h"

#include "IdentityTexts.h"
#include "kit/measurement/controller/MSRAEU.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string_view>

namespace kit::measurement {

namespace {

// The first variable of the locale search order that holds something.
std::optional<std::string> preferredLocale() {
    if (const char* languages = std::getenv("LANGUAGE"); languages != nullptr && *languages != '\0') {
        const std::string_view list(languages);
        const std::string first(list.substr(0, list.find(':')));
        if (!first.empty()) {
            return first;
        }
    }
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        if (const char* value = std::getenv(name); value != nullptr && *value != '\0') {
            return std::string(value);
        }
    }
    return std::nullopt;
}

}  // namespace

MSREnvironmentInfo& MSREnvironmentInfo::sharedInstance() { return KitContext::current().service<MSREnvironmentInfo>(); }

std::string MSREnvironmentInfo::deviceModel() {
    std::call_once(deviceModelOnce_, [this] {
        errno = 0;
        deviceModel_ = MSRAEU::deviceModel();
        if (deviceModel_.empty()) {
            identity_texts::log(identity_texts::kDeviceModelFailed, std::string(std::strerror(errno)));
        }
    });
    return deviceModel_;
}

std::string MSREnvironmentInfo::deviceOSVersion() { return MSRAEU::systemVersion(); }

std::optional<std::string> MSREnvironmentInfo::userDefaultLanguage() {
    std::optional<std::string> locale = preferredLocale();
    if (locale) {
        // language[_territory][.encoding][@modifier]
        locale->resize(std::min({locale->find('.'), locale->find('@'), locale->size()}));
        if (*locale == "C" || *locale == "POSIX") {
            locale.reset();
        }
    }
    if (!locale || locale->empty()) {
        identity_texts::log(identity_texts::kPreferredLanguageFailed);
        return std::nullopt;
    }
    std::transform(locale->begin(), locale->end(), locale->begin(), [](unsigned char character) {
        return character == '_' ? '-' : static_cast<char>(std::tolower(character));
    });
    return locale;
}

std::int32_t MSREnvironmentInfo::timeZoneOffsetMinutes() {
    ::tzset();
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (::localtime_r(&now, &local) == nullptr) {
        return 0;
    }
    return static_cast<std::int32_t>(local.tm_gmtoff / 60);
}

}  // namespace kit::measurement
