#include "kit/measurement/controller/MSRTCFData.h"

#include <utility>

namespace kit::measurement {

MSRTCFData MSRTCFDataGenerator::generateData(std::shared_ptr<MSRKeyValueStore> userDefaults) const {
    return MSRTCFData(std::move(userDefaults), static_cast<const MSRTCFValues&>(*this));
}

}  // namespace kit::measurement
