#include "stubforge/ui/AnalyticsSink.h"

namespace stubforge::ui {

void RecordingAnalyticsSink::logEventWithName(std::string_view name, const EventParameters& parameters) {
    const std::lock_guard lock(mutex_);
    events_.push_back(Event{std::string(name), parameters});
}

std::vector<RecordingAnalyticsSink::Event> RecordingAnalyticsSink::events() const {
    const std::lock_guard lock(mutex_);
    return events_;
}

}  // namespace stubforge::ui
