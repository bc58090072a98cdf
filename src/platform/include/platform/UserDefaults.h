#pragma once

#include "platform/Log.h"
#include "platform/Value.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

class Bundle;

// Typed settings kept in named suites. A suite is one XML plist file,
// <folder>/<suite name>.plist, by default under $XDG_CONFIG_HOME/Stubforge.
// Safe to use from any thread. Every instance over the same file in this
// process shares one state, and changes by other processes are picked up
// when the file changes on disk. Writes replace the file atomically under a
// lock shared with other processes; a failed write throws platform::Error and
// leaves file and values as they were. A suite file that cannot be read (not
// a regular file, larger than 16 MiB, not a plist dictionary) is logged and
// read as empty; the next write first moves it aside as
// <file>.corrupt-<UTC timestamp>, so nothing of the user's is overwritten.
class UserDefaults {
public:
    using Observer = std::function<void(const std::string& key, const Value* newValue)>;

    // Removes its observer when destroyed.
    class Observation {
    public:
        Observation() = default;
        Observation(Observation&&) noexcept;
        Observation& operator=(Observation&&) noexcept;
        ~Observation();
        void reset();

    private:
        friend class UserDefaults;
        struct Link;
        std::shared_ptr<Link> link_;
    };

    // Diagnostics go to `log`, which must outlive the instance.
    explicit UserDefaults(std::string suiteName, LogSink& log = standardLogSink());
    UserDefaults(std::string suiteName, std::filesystem::path folder, LogSink& log = standardLogSink());
    ~UserDefaults();

    // The suite named after the bundle identifier.
    static UserDefaults& standard();
    // The name of that suite for `bundle`.
    static std::string standardSuiteName(const Bundle& bundle);

    const std::string& suiteName() const { return suiteName_; }
    std::filesystem::path filePath() const;

    std::optional<Value> object(std::string_view key) const;
    bool boolForKey(std::string_view key) const;             // false when absent
    std::int64_t integerForKey(std::string_view key) const;  // 0 when absent
    double doubleForKey(std::string_view key) const;         // 0 when absent
    std::optional<std::string> stringForKey(std::string_view key) const;
    std::optional<Value::Data> dataForKey(std::string_view key) const;
    Value::Dictionary dictionaryRepresentation() const;

    // Stores `value`; a null value removes the key.
    void set(std::string_view key, Value value);
    void removeObject(std::string_view key);
    // Removes every key of the suite.
    void removeAll();

    // Re-reads the file now; observers hear of what changed on disk.
    void synchronize();

    // Calls `observer` after each change of `key`, on the thread that made
    // or noticed the change; newValue is null when the key was removed.
    [[nodiscard]] Observation observe(std::string key, Observer observer);

    struct Suite;

private:
    std::string suiteName_;
    std::shared_ptr<Suite> suite_;
    LogSink* log_;
};

}  // namespace platform
