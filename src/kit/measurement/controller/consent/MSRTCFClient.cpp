#include "kit/measurement/controller/MSRTCFClient.h"

#include "TCFKeys.h"
#include "kit/core/MainBundle.h"
#include "kit/measurement/support/MSRPersistedConfig.h"
#include "kit/measurement/support/MeasurementServices.h"
#include "platform/Bundle.h"

#include <string_view>
#include <utility>

namespace kit::measurement {

namespace {

using platform::Value;

constexpr std::string_view kVersionItem = "_v_=2";
constexpr std::string_view kNothingToRead = "_v_=2,isTCFDataEnabled=1";
constexpr std::string_view kAlphabet = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ-_";

int flag(const std::optional<Value>& number) { return number && number->boolValue().value_or(false) ? 1 : 0; }

// "%d" of a number: its 32-bit integer value.
int intValue(const std::optional<Value>& number) {
    return number ? static_cast<int>(static_cast<std::int32_t>(number->integerValue().value_or(0))) : 0;
}

std::int64_t integerOf(const std::optional<Value>& number) { return number ? number->integerValue().value_or(0) : 0; }

template <typename T>
void storeOrRemove(MSRKeyValueStore& store, std::string_view key, const std::optional<T>& value) {
    if (value) {
        store.setObject(Value(*value), key);
    } else {
        store.removeObjectForKey(key);
    }
}

std::shared_ptr<MSRKeyValueStore> orDefault(std::shared_ptr<MSRKeyValueStore> given,
                                            std::shared_ptr<MSRKeyValueStore> (*make)()) {
    return given ? std::move(given) : make();
}

}  // namespace

MSRTCFClient::MSRTCFClient(Environment environment)
    : userDefaults_(orDefault(std::move(environment.userDefaults),
                              [] { return std::shared_ptr<MSRKeyValueStore>(MSRUserDefaults::sharedUserDefaults()); })),
      copyUserDefaults_(orDefault(std::move(environment.copyUserDefaults),
                                  [] {
                                      return std::shared_ptr<MSRKeyValueStore>(
                                          std::make_shared<MSRUserDefaults>(std::string(tcf_keys::kCopySuiteName)));
                                  })),
      consentSink_(std::move(environment.consentSink)),
      tcfData_(userDefaults_,
               environment.infoDictionary ? *environment.infoDictionary : kit::mainBundle().infoDictionary()) {}

void MSRTCFClient::readTCFData() { tcfData_.readFromUserDefaults(); }

bool MSRTCFClient::shouldApplyTCFData() const {
    const MSRTCFValues& values = tcfData_.values();
    return values.isTCFDataEnabled && flag(values.isAdvertiserConsentModeEnabled) && flag(values.gdprApplies);
}

bool MSRTCFClient::shouldApplyOneTimeTCFVendorFix() {
    const auto stored = copyUserDefaults_->stringForKey(tcf_keys::kStringRepresentation);
    const bool storedHasVersion = stored && stored->find(kVersionItem) != std::string::npos;
    return !storedHasVersion && shouldApplyTCFData() && !tcfData_.hasLumenInVendorConsents();
}

MSRConsentDictionary MSRTCFClient::consentFromData(const MSRTCFData& data) {
    return MSRConsentDictionary{
        {std::string(kMSRConsentTypeAdStorage), Value(consentStatusFromEnabled(data.isAdStoragePurposeGranted()))},
        {std::string(kMSRConsentTypeAdPersonalization),
         Value(consentStatusFromEnabled(data.isAdPersonalizationPurposeGranted()))},
        {std::string(kMSRConsentTypeAdUserData), Value(consentStatusFromEnabled(data.isAdUserDataPurposeGranted()))},
    };
}

void MSRTCFClient::setConsentFromTCFData() {
    readTCFData();
    if (!hasTCFDataToRead() || persistedValuesEqualCurrentData()) {
        return;
    }
    const MSRConsentDictionary consent = consentFromData(tcfData_);
    const bool fix = shouldApplyOneTimeTCFVendorFix();
    const bool same = previousConsent() == consent;
    logTCFChangedEventShouldApplyOneTimeVendorFix(fix, same);
    // The consent goes to the facade before the copy is stored: a copy that
    // says "seen" must never stand for consent that was not applied, or a
    // process ending in between would lose a denial for good.
    if ((fix || shouldApplyTCFData()) && consentSink_) {
        consentSink_->setConsent(consent, kMSRConsentSettingsTCFKey);
    }
    storeCurrentData();
}

void MSRTCFClient::logTCFChangedEventShouldApplyOneTimeVendorFix(bool shouldApplyOneTimeVendorFix,
                                                                 bool isCurrentSameAsPreviousTCFConsent) {
    MSRParameters parameters{
        {"_tcfd", MSRValue::initWithString(tcfBundleParameterValue())},
        {"_tcfd2", MSRValue::initWithString(tcfd2ParamValue())},
        {"_tcfm", MSRValue::initWithString(tcfdMigrationParamValueForMigrationDidOccur(
                      shouldApplyOneTimeVendorFix, !isCurrentSameAsPreviousTCFConsent))},
    };
    MeasurementServices::current().logInternalEventWithOrigin("auto", "_tcf", parameters);
}

void MSRTCFClient::storeCurrentData() {
    const MSRTCFValues& values = tcfData_.values();
    MSRKeyValueStore& copy = *copyUserDefaults_;
    copy.setBool(values.isTCFDataEnabled, tcf_keys::kTCFDataEnabled);
    storeOrRemove(copy, tcf_keys::kEnableAdvertiserConsentMode, values.isAdvertiserConsentModeEnabled);
    storeOrRemove(copy, tcf_keys::kCmpSdkID, values.cmpSDKID);
    storeOrRemove(copy, tcf_keys::kVendorConsents, values.vendorConsents);
    storeOrRemove(copy, tcf_keys::kVendorLegitimateInterests, values.vendorLegitimateInterests);
    storeOrRemove(copy, tcf_keys::kGdprApplies, values.gdprApplies);
    storeOrRemove(copy, tcf_keys::kPolicyVersion, values.policyVersion);
    storeOrRemove(copy, tcf_keys::kPurposeConsents, values.purposeConsents);
    storeOrRemove(copy, tcf_keys::kPurposeLegitimateInterests, values.purposeLegitimateInterests);
    if (values.publisherRestrictions) {
        Value::Array restrictions(values.publisherRestrictions->begin(), values.publisherRestrictions->end());
        copy.setObject(Value(std::move(restrictions)), tcf_keys::kPublisherRestrictions);
    } else {
        copy.removeObjectForKey(tcf_keys::kPublisherRestrictions);
    }
    storeOrRemove(copy, tcf_keys::kPurposeOneTreatment, values.isPurposeOneTreatmentEnabled);
    storeOrRemove(copy, tcf_keys::kPublisherCC, values.publisherCC);
    // Last: the representation is what says the copy is complete.
    copy.setObject(Value(stringRepresentationFromTCFData()), tcf_keys::kStringRepresentation);
    copy.synchronize();
}

std::string MSRTCFClient::stringRepresentationFromTCFData() const {
    const MSRTCFValues& values = tcfData_.values();
    std::string text(kVersionItem);
    const auto add = [&text](std::string_view name, const std::string& value) {
        text += ",";
        text += name;
        text += "=";
        text += value;
    };
    add("isTCFDataEnabled", values.isTCFDataEnabled ? "1" : "0");
    if (values.isAdvertiserConsentModeEnabled) {
        add("isAdvertiserConsentModeEnabled", std::to_string(flag(values.isAdvertiserConsentModeEnabled)));
    }
    if (values.cmpSDKID) {
        add("cmpSDKID", std::to_string(intValue(values.cmpSDKID)));
    }
    if (values.vendorConsents) {
        add("hasLumenInVendorConsents", tcfData_.hasLumenInVendorConsents() ? "1" : "0");
    }
    if (values.vendorLegitimateInterests) {
        add("hasLumenInVendorLegitimateInterests", tcfData_.hasLumenInVendorLegitimateInterests() ? "1" : "0");
    }
    if (values.gdprApplies) {
        add("gdprApplies", std::to_string(flag(values.gdprApplies)));
    }
    if (values.policyVersion) {
        add("policyVersion", std::to_string(intValue(values.policyVersion)));
    }
    if (values.purposeConsents) {
        add("purposeConsents", *values.purposeConsents);
    }
    if (values.purposeLegitimateInterests) {
        add("purposeLegitimateInterests", *values.purposeLegitimateInterests);
    }
    if (values.publisherRestrictions) {
        std::string joined;
        bool anySet = false;
        for (std::size_t index = 0; index < values.publisherRestrictions->size(); ++index) {
            const std::string& entry = (*values.publisherRestrictions)[index];
            joined += (index == 0 ? "" : "|") + entry;
            anySet = anySet || !entry.empty();
        }
        if (anySet) {
            add("publisherRestrictions", joined);
        }
    }
    if (values.isPurposeOneTreatmentEnabled) {
        add("isPurposeOneTreatmentEnabled", values.isPurposeOneTreatmentEnabled->descriptionText());
    }
    if (values.publisherCC) {
        add("publisherCC", *values.publisherCC);
    }
    return text;
}

std::string_view MSRTCFClient::consentStatusFromEnabled(bool enabled) {
    return enabled ? kMSRConsentGranted : kMSRConsentDenied;
}

bool MSRTCFClient::persistedValuesEqualCurrentData() {
    const auto stored = copyUserDefaults_->stringForKey(tcf_keys::kStringRepresentation);
    return stored && *stored == stringRepresentationFromTCFData();
}

bool MSRTCFClient::hasTCFDataToRead() const { return stringRepresentationFromTCFData() != kNothingToRead; }

void MSRTCFClient::clearPersistedValues() { copyUserDefaults_->clearAllData(); }

MSRConsentDictionary MSRTCFClient::previousConsent() {
    MSRKeyValueStore& copy = *copyUserDefaults_;
    MSRTCFDataGenerator generator;
    static_cast<MSRTCFValues&>(generator) = MSRTCFData::valuesFromStore(copy);
    generator.isTCFDataEnabled = copy.boolForKey(tcf_keys::kTCFDataEnabled);
    if (const auto restrictions = copy.arrayForKey(tcf_keys::kPublisherRestrictions)) {
        std::vector<std::string> entries;
        for (const Value& entry : *restrictions) {
            entries.push_back(entry.isString() ? *entry.asString() : std::string());
        }
        generator.publisherRestrictions = std::move(entries);
    }
    return consentFromData(generator.generateData(copyUserDefaults_));
}

std::string MSRTCFClient::tcfBundleParameterValue() const {
    const MSRTCFValues& values = tcfData_.values();
    const std::int64_t cmpID = integerOf(values.cmpSDKID);
    const bool cmpInRange = cmpID >= 0 && cmpID < 4096;
    const std::int64_t version = integerOf(values.policyVersion);
    const int flags = 8 * flag(values.isAdvertiserConsentModeEnabled) + 4 * (values.isTCFDataEnabled ? 1 : 0) +
                      2 * flag(values.gdprApplies) + (isDMARegion() ? 1 : 0);
    std::string text = "1";
    text += cmpInRange ? kAlphabet[static_cast<std::size_t>((cmpID >> 6) & 63)] : '0';
    text += cmpInRange ? kAlphabet[static_cast<std::size_t>(cmpID & 63)] : '0';
    text += version >= 0 && version < 64 ? kAlphabet[static_cast<std::size_t>(version)] : '0';
    text += kAlphabet[static_cast<std::size_t>(flags)];
    return text;
}

std::string MSRTCFClient::tcfdMigrationParamValueForMigrationDidOccur(bool migrationDidOccur,
                                                                      bool didMigrationChangeConsent) const {
    return std::string(migrationDidOccur ? "1" : "0") + (didMigrationChangeConsent ? "1" : "0");
}

std::string MSRTCFClient::tcfd2ParamValue() const {
    std::string text = "2";
    for (const int purpose : {1, 3, 4, 7}) {
        text += tcfd2ParamValueForPurposeID(purpose);
    }
    return text;
}

std::string MSRTCFClient::tcfd2ParamValueForPurposeID(int purposeID) const {
    return std::to_string(tcfData_.consentReasonForPurposeGrantedWithRestrictionCheckForPurposeID(purposeID));
}

}  // namespace kit::measurement
