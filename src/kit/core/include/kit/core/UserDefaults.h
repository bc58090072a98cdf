#pragma once

#include "platform/UserDefaults.h"
#include "platform/Value.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

// The kit's user defaults: a suite that refuses keys and values a settings
// file cannot hold, logging a warning instead of failing. Nothing thrown by
// the store reaches the caller.
namespace kit {

class LMUUserDefaults {
public:
    // The wrapper over the standard suite, made once.
    static LMUUserDefaults& standardUserDefaults();

    // The standard suite when `suiteName` is absent or empty.
    LMUUserDefaults();
    explicit LMUUserDefaults(std::optional<std::string> suiteName);

    // Nothing, with a warning, for an empty key.
    std::optional<platform::Value> objectForKey(std::string_view key) const;
    // An absent or null value removes the key. A value that a settings file
    // cannot hold whole, at any depth, is refused with a warning and the
    // suite left as it was.
    void setObject(std::optional<platform::Value> value, std::string_view key);
    void removeObjectForKey(std::string_view key);

    std::int64_t integerForKey(std::string_view key) const;
    float floatForKey(std::string_view key) const;
    double doubleForKey(std::string_view key) const;
    bool boolForKey(std::string_view key) const;
    std::optional<std::string> stringForKey(std::string_view key) const;
    std::optional<platform::Value::Array> arrayForKey(std::string_view key) const;
    std::optional<platform::Value::Dictionary> dictionaryForKey(std::string_view key) const;

    void setInteger(std::int64_t value, std::string_view key);
    void setFloat(float value, std::string_view key);
    void setDouble(double value, std::string_view key);
    void setBool(bool value, std::string_view key);

private:
    // The standard suite is shared, a named one owned.
    std::unique_ptr<platform::UserDefaults> ownSuite_;
    platform::UserDefaults* userDefaults_;
};

}  // namespace kit
