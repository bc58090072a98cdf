#pragma once

#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace stubforge::ui {

using EventParameters = std::map<std::string, std::string>;

// Where the window's usage events go. The analytics kit sits behind this;
// the window knows nothing of it.
class AnalyticsSink {
public:
    virtual ~AnalyticsSink() = default;
    virtual void logEventWithName(std::string_view name, const EventParameters& parameters) = 0;
};

// Keeps every event it is given.
class RecordingAnalyticsSink final : public AnalyticsSink {
public:
    struct Event {
        std::string name;
        EventParameters parameters;
    };

    void logEventWithName(std::string_view name, const EventParameters& parameters) override;
    std::vector<Event> events() const;

private:
    mutable std::mutex mutex_;
    std::vector<Event> events_;  // guarded by mutex_
};

}  // namespace stubforge::ui
