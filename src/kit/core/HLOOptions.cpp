#include "kit/core/HLOOptions.h"

#include "kit/core/MainBundle.h"
#include "kit/core/CoreTexts.h"
#include "kit/core/Environment.h"
#include "kit/core/HLOApp.h"
#include "kit/core/KitContext.h"
#include "kit/core/Logger.h"

#include "platform/ProgrammerError.h"
#include "platform/concurrency/OperationQueue.h"

#include <cstdio>
#include <fstream>
#include <functional>
#include <mutex>
#include <sstream>

namespace kit {
namespace texts = core_texts;
using platform::Value;

namespace {

std::optional<Value> readPlistFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return std::nullopt;
    }
    std::ostringstream bytes;
    bytes << file.rdbuf();
    if (!file && !file.eof()) {
        return std::nullopt;
    }
    return Value::fromPlist(bytes.str());
}

// The cached options file of the current kit context; each value under its
// own once-guard.
struct DefaultOptionsCache {
    platform::ResettableOnce dictionaryOnce;
    platform::ResettableOnce optionsOnce;
    std::mutex mutex;
    std::optional<Value::Dictionary> dictionary;  // guarded by mutex
    std::shared_ptr<const HLOOptions> options;    // guarded by mutex
};

DefaultOptionsCache& defaultOptionsCache() { return KitContext::current().service<DefaultOptionsCache>(); }

const Value* infoPlistValue(std::string_view key) { return kit::mainBundle().infoDictionary().find(key); }

bool isBooleanNumber(const Value* value) { return value != nullptr && (value->isBool() || value->isNumber()); }

bool boolValue(const Value::Dictionary& dictionary, std::string_view key) {
    const auto found = dictionary.find(key);
    return found != dictionary.end() && found->second.asBool().value_or(false);
}

}  // namespace

// --- HLOBundleUtil

std::vector<const platform::Bundle*> HLOBundleUtil::relevantBundles() { return {&kit::mainBundle()}; }

std::optional<std::filesystem::path> HLOBundleUtil::optionsDictionaryPathWithResourceName(
    std::string_view resourceName, std::string_view fileType, const std::vector<const platform::Bundle*>& bundles) {
    for (const platform::Bundle* bundle : bundles) {
        if (auto path = bundle->pathForResource(resourceName, fileType)) {
            return path;
        }
    }
    return std::nullopt;
}

std::vector<std::string> HLOBundleUtil::relevantURLSchemes() {
    std::vector<std::string> schemes;
    for (const platform::Bundle* bundle : relevantBundles()) {
        const Value* types = bundle->infoDictionary().find(texts::kURLTypesKey);
        if (types == nullptr || types->asArray() == nullptr) {
            continue;
        }
        for (const Value& type : *types->asArray()) {
            const Value* list = type.find(texts::kURLSchemesKey);
            if (list == nullptr || list->asArray() == nullptr) {
                continue;
            }
            for (const Value& scheme : *list->asArray()) {
                if (const std::string* text = scheme.asString()) {
                    schemes.push_back(*text);
                }
            }
        }
    }
    return schemes;
}

bool HLOBundleUtil::hasBundleIdentifierPrefix(std::string_view bundleIdentifier,
                                              const std::vector<const platform::Bundle*>& bundles) {
    for (const platform::Bundle* bundle : bundles) {
        const std::string identifier = bundle->bundleIdentifier();
        if (identifier == bundleIdentifier) {
            return true;
        }
        if (LMUAppEnvironmentUtil::isAppExtension() &&
            bundleIdentifierByRemovingLastPartFrom(identifier) == bundleIdentifier) {
            return true;
        }
    }
    return false;
}

std::string HLOBundleUtil::bundleIdentifierByRemovingLastPartFrom(std::string_view bundleIdentifier) {
    const auto dot = bundleIdentifier.rfind('.');
    return std::string(dot == std::string_view::npos ? bundleIdentifier.substr(0, 0) : bundleIdentifier.substr(0, dot));
}

// --- HLOOptions

std::shared_ptr<const HLOOptions> HLOOptions::defaultOptions() {
    auto& cache = defaultOptionsCache();
    cache.optionsOnce.call([&] {
        auto dictionary = defaultOptionsDictionary();
        std::lock_guard lock(cache.mutex);
        cache.options = dictionary ? std::make_shared<const HLOOptions>(std::move(*dictionary)) : nullptr;
    });
    std::lock_guard lock(cache.mutex);
    return cache.options;
}

std::optional<Value::Dictionary> HLOOptions::defaultOptionsDictionary() {
    auto& cache = defaultOptionsCache();
    cache.dictionaryOnce.call([&] {
        std::optional<Value::Dictionary> dictionary;
        if (const auto path = plistFilePathWithName(texts::kOptionsFileName)) {
            if (auto value = readPlistFile(*path); value && value->asDictionary() != nullptr) {
                dictionary = std::move(*value->asDictionary());
            }
        }
        if (!dictionary) {
            HLOLogErrorMessage(kHLOLoggerServiceCore, texts::kOptionsNotDictionaryCode,
                               texts::kOptionsNotDictionaryFormat, texts::kOptionsFileName, texts::kOptionsFileType);
        }
        std::lock_guard lock(cache.mutex);
        cache.dictionary = std::move(dictionary);
    });
    std::lock_guard lock(cache.mutex);
    return cache.dictionary;
}

std::optional<std::filesystem::path> HLOOptions::plistFilePathWithName(std::string_view fileName) {
    auto path = HLOBundleUtil::optionsDictionaryPathWithResourceName(fileName, texts::kOptionsFileType,
                                                                     HLOBundleUtil::relevantBundles());
    if (!path) {
        HLOLogErrorMessage(kHLOLoggerServiceCore, texts::kOptionsNotFoundCode, texts::kOptionsNotFoundFormat, fileName,
                           texts::kOptionsFileType);
    }
    return path;
}

void HLOOptions::resetDefaultOptions() {
    auto& cache = defaultOptionsCache();
    {
        std::lock_guard lock(cache.mutex);
        cache.dictionary.reset();
        cache.options.reset();
    }
    cache.dictionaryOnce.reset();
    cache.optionsOnce.reset();
}

std::shared_ptr<HLOOptions> HLOOptions::initWithContentsOfFile(const std::optional<std::filesystem::path>& path) {
    if (!path) {
        HLOLogErrorMessage(kHLOLoggerServiceCore, texts::kNilPathCode, texts::kNilPath);
        return nullptr;
    }
    auto value = readPlistFile(*path);
    if (!value || value->asDictionary() == nullptr) {
        HLOLogErrorMessage(kHLOLoggerServiceCore, texts::kBadOptionsFileCode, texts::kBadOptionsFileFormat,
                           path->string());
        return nullptr;
    }
    auto options = std::make_shared<HLOOptions>(std::move(*value->asDictionary()));
    // Options of a file the caller chose are the caller's, not the default file's.
    options->usingOptionsFromDefaultPlist_ = false;
    return options;
}

HLOOptions::HLOOptions(std::string_view lumenAppID, std::string_view LCMSenderID)
    : optionsDictionary_{{"LUMEN_APP_ID", Value(lumenAppID)},
                         {"LCM_SENDER_ID", Value(LCMSenderID)},
                         {"BUNDLE_ID", Value(kit::mainBundle().bundleIdentifier())}} {}

HLOOptions::HLOOptions(Value::Dictionary optionsDictionary)
    : optionsDictionary_(std::move(optionsDictionary)), usingOptionsFromDefaultPlist_(true) {}

std::optional<std::string> HLOOptions::stringFor(std::string_view key) const {
    const auto found = optionsDictionary_.find(key);
    if (found == optionsDictionary_.end()) {
        return std::nullopt;
    }
    if (const std::string* text = found->second.asString()) {
        return *text;
    }
    return std::nullopt;
}

void HLOOptions::checkEditingLocked() const {
    if (editingLocked_) {
        throw platform::ProgrammerError(std::string(texts::kExceptionName), std::string(texts::kOptionsLocked));
    }
}

void HLOOptions::setString(std::string_view key, std::optional<std::string> value) {
    checkEditingLocked();
    if (value) {
        optionsDictionary_[std::string(key)] = Value(std::move(*value));
    } else if (const auto found = optionsDictionary_.find(key); found != optionsDictionary_.end()) {
        optionsDictionary_.erase(found);
    }
}

void HLOOptions::setDeepLinkURLScheme(std::optional<std::string> value) {
    checkEditingLocked();
    deepLinkURLScheme_ = std::move(value);
}

void HLOOptions::setAppGroupID(std::optional<std::string> value) {
    checkEditingLocked();
    appGroupID_ = std::move(value);
}

std::string HLOOptions::libraryVersionID() {
    static const std::string identifier = [] {
        std::string result;
        std::string_view version = HLOSDKVersionString();
        for (int part = 0; part < 3; ++part) {
            const auto dot = version.find('.');
            const std::string_view text = version.substr(0, dot);
            long number = 0;
            for (const char character : text) {
                if (character < '0' || character > '9') {
                    break;
                }
                number = number * 10 + (character - '0');
            }
            char buffer[24];
            std::snprintf(buffer, sizeof buffer, "%02ld", number);
            result += buffer;
            version = dot == std::string_view::npos ? std::string_view() : version.substr(dot + 1);
        }
        return result + "000";
    }();
    return identifier;
}

Value::Dictionary HLOOptions::analyticsOptionsDictionary() const {
    Value::Dictionary result;
    for (const std::string_view key : {texts::kIsMeasurementEnabledKey, texts::kAnalyticsCollectionEnabledKey,
                                       texts::kAnalyticsCollectionDeactivatedKey}) {
        if (const Value* value = infoPlistValue(key)) {
            result.emplace(key, *value);
        } else if (const auto found = optionsDictionary_.find(key); found != optionsDictionary_.end()) {
            result.emplace(key, found->second);
        }
    }
    return result;
}

bool HLOOptions::isAnalyticsCollectionDeactivated() const {
    return boolValue(analyticsOptionsDictionary(), texts::kAnalyticsCollectionDeactivatedKey);
}

bool HLOOptions::isMeasurementEnabled() const {
    const auto analytics = analyticsOptionsDictionary();
    if (boolValue(analytics, texts::kAnalyticsCollectionDeactivatedKey)) {
        return false;
    }
    if (const auto found = analytics.find(texts::kIsMeasurementEnabledKey); found != analytics.end()) {
        return found->second.asBool().value_or(false);
    }
    if (HLOApp::isDefaultAppConfigured()) {
        if (const auto app = HLOApp::defaultApp()) {
            return app->isDataCollectionDefaultEnabled();
        }
    }
    return false;
}

bool HLOOptions::isAnalyticsCollectionEnabled() const {
    const auto analytics = analyticsOptionsDictionary();
    if (boolValue(analytics, texts::kAnalyticsCollectionDeactivatedKey)) {
        return false;
    }
    if (const auto found = analytics.find(texts::kAnalyticsCollectionEnabledKey); found != analytics.end()) {
        return found->second.asBool().value_or(false);
    }
    return isMeasurementEnabled();
}

bool HLOOptions::isAnalyticsCollectionExplicitlySet() const {
    const auto analytics = analyticsOptionsDictionary();
    if (boolValue(analytics, texts::kAnalyticsCollectionDeactivatedKey)) {
        return true;
    }
    const auto isNumber = [&](std::string_view key) {
        const auto found = analytics.find(key);
        return found != analytics.end() && isBooleanNumber(&found->second);
    };
    return isNumber(texts::kAnalyticsCollectionEnabledKey) || isNumber(texts::kIsMeasurementEnabledKey);
}

bool HLOOptions::operator==(const HLOOptions& other) const {
    return optionsDictionary_ == other.optionsDictionary_ && deepLinkURLScheme_ == other.deepLinkURLScheme_ &&
           appGroupID_ == other.appGroupID_ && analyticsOptionsDictionary() == other.analyticsOptionsDictionary();
}

std::size_t HLOOptions::hash() const {
    const std::hash<std::string> hashText;
    const std::size_t dictionaryHash = hashText(Value(optionsDictionary_).toJson());
    return dictionaryHash ^ hashText(deepLinkURLScheme_.value_or("")) ^ hashText(appGroupID_.value_or(""));
}

}  // namespace kit
