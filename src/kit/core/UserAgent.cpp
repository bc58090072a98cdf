#include "kit/core/UserAgent.h"

#include "kit/core/MainBundle.h"
#include "kit/core/Environment.h"
#include "platform/Bundle.h"

#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <memory>
#include <string_view>
#include <vector>

namespace kit {

namespace {

// Case-insensitive localized order: ICU's collator at secondary strength
// (case is a tertiary difference). Without a collator, plain byte order.
void sortLocalized(std::vector<std::string>& entries) {
    UErrorCode status = U_ZERO_ERROR;
    // The C and POSIX locales map to ICU's en_US_POSIX, whose order is ASCII
    // and so tells case apart at the first level; they stand for "no
    // preference", so the root order serves them.
    icu::Locale locale = icu::Locale::getDefault();
    if (std::string_view(locale.getName()) == "en_US_POSIX") {
        locale = icu::Locale::getRoot();
    }
    std::unique_ptr<icu::Collator> collator(icu::Collator::createInstance(locale, status));
    if (U_FAILURE(status) || !collator) {
        std::sort(entries.begin(), entries.end());
        return;
    }
    collator->setStrength(icu::Collator::SECONDARY);
    std::stable_sort(entries.begin(), entries.end(), [&](const std::string& left, const std::string& right) {
        UErrorCode compareStatus = U_ZERO_ERROR;
        return collator->compareUTF8(left, right, compareStatus) == UCOL_LESS;
    });
}

}  // namespace

HLOHaloUserAgent::HLOHaloUserAgent() = default;

HLOHaloUserAgent::Components HLOHaloUserAgent::environmentComponents() {
    Components components;
    components.emplace("apple-platform", LMUAppEnvironmentUtil::applePlatform());
    // Our Info.plist carries neither build key, so these stay out unless a
    // bundle adds them.
    const platform::Bundle& bundle = kit::mainBundle();
    if (auto sdk = bundle.infoString("DTSDKBuild")) {
        components.emplace("apple-sdk", *sdk);
    }
    components.emplace("appstore", LMUAppEnvironmentUtil::isFromAppStore() ? "true" : "false");
    components.emplace("deploy", LMUAppEnvironmentUtil::deploymentType());
    if (auto device = LMUAppEnvironmentUtil::deviceModel(); !device.empty()) {
        components.emplace("device", device);
    }
    components.emplace("os-version", LMUAppEnvironmentUtil::systemVersion());
    if (auto xcode = bundle.infoString("DTXcodeBuild")) {
        components.emplace("xcode", *xcode);
    }
    return components;
}

std::string HLOHaloUserAgent::haloUserAgent() {
    std::lock_guard lock(mutex_);
    if (cachedUserAgent_) {
        return *cachedUserAgent_;
    }
    if (!environment_) {
        environment_ = environmentComponents();
    }
    Components all = valuesByComponent_;
    for (const auto& [name, value] : *environment_) {
        all.insert_or_assign(name, value);  // the environment wins over a library of the same name
    }
    std::vector<std::string> entries;
    entries.reserve(all.size());
    for (const auto& [name, version] : all) {
        entries.push_back(name + "/" + version);
    }
    sortLocalized(entries);
    std::string text;
    for (const auto& entry : entries) {
        if (!text.empty()) {
            text.push_back(' ');
        }
        text += entry;
    }
    cachedUserAgent_ = text;
    return text;
}

void HLOHaloUserAgent::setValue(std::string version, std::string component) {
    std::lock_guard lock(mutex_);
    valuesByComponent_.insert_or_assign(std::move(component), std::move(version));
    cachedUserAgent_.reset();
}

void HLOHaloUserAgent::reset() {
    std::lock_guard lock(mutex_);
    if (!environment_) {
        environment_ = environmentComponents();
    }
    valuesByComponent_ = *environment_;
    cachedUserAgent_.reset();
}

}  // namespace kit
