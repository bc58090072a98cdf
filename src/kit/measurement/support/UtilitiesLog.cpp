#include "UtilitiesLog.h"

#include "kit/core/Logger.h"
#include "kit/measurement/support/MSRMonitor.h"
#include "platform/MessageFormat.h"

namespace kit::measurement {

void MSRUtilitiesLog(int sdkLevel, int messageCode, std::string_view message) {
    const std::string code = platform::formatMessage("I-ACS%06d", {platform::MessageArgument(messageCode)});
    kit::LMULogMessageWithLevel(sdkLevel, kMSRLogSubsystem, kMSRDefaultLogTag, false, code, message);
}

}  // namespace kit::measurement
