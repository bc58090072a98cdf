#include "kit/measurement/controller/MSRScreen.h"

#include "ReporterLines.h"
#include "kit/measurement/support/MSRDataTypeValidator.h"
#include "kit/measurement/support/MSRMonitor.h"
#include "kit/measurement/support/MeasurementServices.h"

#include <utility>

namespace kit::measurement {

MSRScreen::MSRScreen(std::optional<std::string> name, std::optional<std::string> className, std::int64_t instanceID)
    : name_(std::move(name)), className_(std::move(className)), instanceID_(instanceID) {}

MSRScreen MSRScreen::copy() const { return MSRScreen(name_, className_, instanceID_); }

namespace {

bool isValidScreenValue(const std::optional<std::string>& value, int* failureCode = nullptr) {
    return value && MSRDataTypeValidator::isValidScreenParameterValue(*value, failureCode);
}

}  // namespace

MSRParameters MSRScreenParametersForScreen(const MSRScreen& screen) {
    MSRParameters parameters;
    parameters.emplace("_si", MSRValue::initWithInt64(screen.instanceID()));
    const std::optional<std::string>& className = screen.className();
    if (!className || className->empty()) {
        reporter_lines::log(reporter_lines::kScreenClassNameEmpty);
    }
    if (className) {
        int failureCode = 0;
        if (!isValidScreenValue(className, &failureCode)) {
            reporter_lines::log(reporter_lines::kScreenClassNameInvalid, static_cast<std::int64_t>(failureCode));
            return parameters;
        }
        parameters.emplace("_sc", MSRValue::initWithString(*className));
    }
    if (isValidScreenValue(screen.name())) {
        parameters.emplace("_sn", MSRValue::initWithString(*screen.name()));
    }
    return parameters;
}

MSRParameters MSRPreviousScreenParametersForScreen(const MSRScreen& screen) {
    MSRParameters parameters;
    parameters.emplace("_pi", MSRValue::initWithInt64(screen.instanceID()));
    if (screen.className() && !screen.className()->empty() && isValidScreenValue(screen.className())) {
        parameters.emplace("_pc", MSRValue::initWithString(*screen.className()));
    }
    if (isValidScreenValue(screen.name())) {
        parameters.emplace("_pn", MSRValue::initWithString(*screen.name()));
    }
    return parameters;
}

bool MSRIsAutomaticScreenReportingEnabled() { return false; }

}  // namespace kit::measurement
