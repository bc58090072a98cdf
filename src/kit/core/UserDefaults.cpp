#include "kit/core/UserDefaults.h"

#include "kit/core/KitContext.h"
#include "kit/core/MainBundle.h"
#include "kit/core/PlistCheck.h"
#include "kit/core/Logger.h"

#include <cstdlib>
#include <exception>

namespace kit {

namespace {

constexpr std::string_view kReadService = "<LumenUtilities>";
constexpr std::string_view kWriteService = "[LumenUtilities/UserDefaults]";
constexpr std::string_view kCodeFormat = "I-LMU%06ld";

std::string messageCode(long number) { return platform::formatMessage(kCodeFormat, {number}); }

void warn(std::string_view service, long code, std::string_view format, const LogArguments& arguments = {}) {
    if (detail::utilitiesLineWanted(LMULoggerLevelWarning, false)) {
        LMULogMessageWithLevel(LMULoggerLevelWarning, kLMULoggerSubsystem, service, false, messageCode(code), format,
                               arguments);
    }
}

std::optional<double> numberOf(const platform::Value& value) {
    if (auto flag = value.asBool()) {
        return *flag ? 1.0 : 0.0;
    }
    if (auto number = value.asDouble()) {
        return number;
    }
    if (const auto* text = value.asString()) {
        return std::strtod(text->c_str(), nullptr);
    }
    return std::nullopt;
}

}  // namespace

LMUUserDefaults& LMUUserDefaults::standardUserDefaults() {
    // One per kit context, over the context's standard suite.
    struct Standard {
        LMUUserDefaults defaults;
    };
    return KitContext::current().service<Standard>().defaults;
}

LMUUserDefaults::LMUUserDefaults() : LMUUserDefaults(std::nullopt) {}

LMUUserDefaults::LMUUserDefaults(std::optional<std::string> suiteName) {
    if (suiteName && !suiteName->empty()) {
        ownSuite_ = std::make_unique<platform::UserDefaults>(std::move(*suiteName));
        userDefaults_ = ownSuite_.get();
    } else {
        userDefaults_ = &kit::standardDefaults();
    }
}

std::optional<platform::Value> LMUUserDefaults::objectForKey(std::string_view key) const {
    if (key.empty()) {
        warn(kReadService, 1, "Cannot get object for invalid user default key.");
        return std::nullopt;
    }
    return userDefaults_->object(key);
}

void LMUUserDefaults::setObject(std::optional<platform::Value> value, std::string_view key) {
    if (key.empty()) {
        warn(kWriteService, 2, "Cannot set object for invalid user default key.");
        return;
    }
    try {
        if (!value || value->isNull()) {
            userDefaults_->removeObject(key);
            return;
        }
        if (!plistCanHold(*value)) {
            warn(kWriteService, 3,
                 "Cannot set invalid object to user defaults. Must be a string, number, array, dictionary, date, or "
                 "data. Value: %@",
                 {value->toJson()});
            return;
        }
        userDefaults_->set(key, std::move(*value));
    } catch (const std::exception& error) {
        warn(kWriteService, 4, "Cannot save user defaults. Error: %@", {std::string(error.what())});
    }
}

void LMUUserDefaults::removeObjectForKey(std::string_view key) { setObject(std::nullopt, key); }

std::int64_t LMUUserDefaults::integerForKey(std::string_view key) const {
    const auto value = objectForKey(key);
    if (!value) {
        return 0;
    }
    if (auto integer = value->asInteger(); integer && !value->isDouble()) {
        return *integer;
    }
    return static_cast<std::int64_t>(numberOf(*value).value_or(0.0));
}

float LMUUserDefaults::floatForKey(std::string_view key) const { return static_cast<float>(doubleForKey(key)); }

double LMUUserDefaults::doubleForKey(std::string_view key) const {
    const auto value = objectForKey(key);
    return value ? numberOf(*value).value_or(0.0) : 0.0;
}

bool LMUUserDefaults::boolForKey(std::string_view key) const {
    const auto value = objectForKey(key);
    if (!value) {
        return false;
    }
    if (const auto* text = value->asString()) {
        return *text == "YES" || *text == "yes" || *text == "true" || std::strtol(text->c_str(), nullptr, 10) != 0;
    }
    return numberOf(*value).value_or(0.0) != 0.0;
}

std::optional<std::string> LMUUserDefaults::stringForKey(std::string_view key) const {
    const auto value = objectForKey(key);
    if (value && value->isString()) {
        return *value->asString();
    }
    return std::nullopt;
}

std::optional<platform::Value::Array> LMUUserDefaults::arrayForKey(std::string_view key) const {
    const auto value = objectForKey(key);
    if (value && value->isArray()) {
        return *value->asArray();
    }
    return std::nullopt;
}

std::optional<platform::Value::Dictionary> LMUUserDefaults::dictionaryForKey(std::string_view key) const {
    const auto value = objectForKey(key);
    if (value && value->isDictionary()) {
        return *value->asDictionary();
    }
    return std::nullopt;
}

void LMUUserDefaults::setInteger(std::int64_t value, std::string_view key) { setObject(platform::Value(value), key); }

void LMUUserDefaults::setFloat(float value, std::string_view key) {
    setObject(platform::Value(static_cast<double>(value)), key);
}

void LMUUserDefaults::setDouble(double value, std::string_view key) { setObject(platform::Value(value), key); }

void LMUUserDefaults::setBool(bool value, std::string_view key) { setObject(platform::Value(value), key); }

}  // namespace kit
