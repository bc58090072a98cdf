#pragma once

#include "stubforge/ui/AnalyticsSink.h"

namespace stubforge::host {

// The window's usage events as analytics events of the application: each
// goes to the kit's public logEventWithName with its texts as parameters.
class KitAnalyticsSink final : public ui::AnalyticsSink {
public:
    void logEventWithName(std::string_view name, const ui::EventParameters& parameters) override;
};

}  // namespace stubforge::host
