#include "kit/measurement/script/MSRPNativeModules.h"

#include "kit/measurement/support/MSRMonitor.h"
#include "kit/measurement/support/MeasurementServices.h"

namespace kit::measurement::script {

int MSRScriptLogger::monitorLevel(std::int64_t level, bool silent, bool monitored) {
    switch (level) {
    case 2:
        return 8;
    case 3:
        return 7;
    case 5:
        return silent ? 5 : monitored ? 4 : 3;
    case 6:
        return silent ? 2 : monitored ? 1 : 0;
    default:
        return 6;
    }
}

void MSRScriptLogger::logWithLevel(std::int64_t level, const std::string& message,
                                   const std::vector<std::string>& context, bool silent, bool monitored) {
    MSRLogContexts contexts(context.begin(), context.end());
    // The message is the script's text, logged as data.
    MSRMeasurementMonitor().logWithLevel(monitorLevel(level, silent, monitored), messageCode, message, contexts);
}

}  // namespace kit::measurement::script
