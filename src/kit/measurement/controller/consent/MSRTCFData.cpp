#include "kit/measurement/controller/MSRTCFData.h"

#include "TCFKeys.h"
#include "kit/measurement/support/MSRDigests.h"
#include "kit/measurement/support/MSRPersistedConfig.h"

#include <utility>

namespace kit::measurement {

namespace {

bool isTrue(const std::optional<platform::Value>& number) { return number && number->boolValue().value_or(false); }

bool hasBit(const std::optional<std::string>& bits, std::int64_t index) {
    return bits && isBitEnabledAtIndex(*bits, index);
}

}  // namespace

MSRTCFData::MSRTCFData(std::shared_ptr<MSRKeyValueStore> userDefaults, const platform::Value& infoDictionary)
    : userDefaults_(std::move(userDefaults)) {
    readTCFDataEnabledStateFromPlist(infoDictionary);
}

MSRTCFData::MSRTCFData(std::shared_ptr<MSRKeyValueStore> userDefaults, MSRTCFValues values)
    : userDefaults_(std::move(userDefaults)), values_(std::move(values)) {}

void MSRTCFData::readTCFDataEnabledStateFromPlist(const platform::Value& infoDictionary) {
    const platform::Value* flag = infoDictionary.find(tcf_keys::kTCFDataEnabled);
    if (flag == nullptr) {
        values_.isTCFDataEnabled = true;
    } else if (flag->isNumber() || flag->isBool()) {
        values_.isTCFDataEnabled = *flag->boolValue();
    } else {
        values_.isTCFDataEnabled = false;
    }
}

void MSRTCFData::readFromUserDefaults() {
    if (!userDefaults_) {
        return;
    }
    MSRKeyValueStore& defaults = *userDefaults_;
    const bool isTCFDataEnabled = values_.isTCFDataEnabled;
    values_ = valuesFromStore(defaults);
    values_.isTCFDataEnabled = isTCFDataEnabled;
    std::vector<std::string> restrictions;
    for (int purpose = 1; purpose <= tcf_keys::kPurposeCount; ++purpose) {
        const auto text =
            defaults.stringForKey(std::string(tcf_keys::kPublisherRestrictions) + std::to_string(purpose));
        const auto index = static_cast<std::size_t>(tcf_keys::kLumenVendorBit);
        // The strings hold one digit per vendor; anything else is no restriction.
        if (text && text->size() > index && static_cast<unsigned char>((*text)[index]) < 0x80) {
            restrictions.emplace_back(1, (*text)[index]);
        } else {
            restrictions.emplace_back();
        }
    }
    values_.publisherRestrictions = std::move(restrictions);
}

MSRTCFValues MSRTCFData::valuesFromStore(MSRKeyValueStore& store) {
    MSRTCFValues values;
    values.isAdvertiserConsentModeEnabled = store.numberForKey(tcf_keys::kEnableAdvertiserConsentMode);
    values.vendorConsents = store.stringForKey(tcf_keys::kVendorConsents);
    values.vendorLegitimateInterests = store.stringForKey(tcf_keys::kVendorLegitimateInterests);
    values.cmpSDKID = store.numberForKey(tcf_keys::kCmpSdkID);
    values.gdprApplies = store.numberForKey(tcf_keys::kGdprApplies);
    values.policyVersion = store.numberForKey(tcf_keys::kPolicyVersion);
    values.purposeConsents = store.stringForKey(tcf_keys::kPurposeConsents);
    values.purposeLegitimateInterests = store.stringForKey(tcf_keys::kPurposeLegitimateInterests);
    values.isPurposeOneTreatmentEnabled = store.numberForKey(tcf_keys::kPurposeOneTreatment);
    values.publisherCC = store.stringForKey(tcf_keys::kPublisherCC);
    return values;
}

bool MSRTCFData::hasLumenInVendorConsents() const { return hasBit(values_.vendorConsents, tcf_keys::kLumenVendorBit); }

bool MSRTCFData::hasLumenInVendorLegitimateInterests() const {
    return hasBit(values_.vendorLegitimateInterests, tcf_keys::kLumenVendorBit);
}

bool MSRTCFData::canAccessAdUserDataPurpose() const {
    return values_.policyVersion && values_.policyVersion->integerValue().value_or(0) >= 4;
}

bool MSRTCFData::isAdStoragePurposeGranted() const { return isPurposeGrantedWithRestrictionCheckForPurposeID(1); }

bool MSRTCFData::isAdPersonalizationPurposeGranted() const {
    return isPurposeGrantedWithRestrictionCheckForPurposeID(3) && isPurposeGrantedWithRestrictionCheckForPurposeID(4);
}

bool MSRTCFData::isAdUserDataPurposeGranted() const {
    return canAccessAdUserDataPurpose() && isPurposeGrantedWithRestrictionCheckForPurposeID(1) &&
           isPurposeGrantedWithRestrictionCheckForPurposeID(7);
}

bool MSRTCFData::isPurposeGrantedWithRestrictionCheckForPurposeID(int purposeID) const {
    return consentReasonForPurposeGrantedWithRestrictionCheckForPurposeID(purposeID) == 1;
}

int MSRTCFData::consentReasonForPurposeGrantedWithRestrictionCheckForPurposeID(int purposeID) const {
    switch (legalBasisCheckFromPurposeID(purposeID)) {
    case MSRTCFLegalBasis::legitimateInterest:
        if (!hasLumenInVendorLegitimateInterests()) {
            return 5;
        }
        return hasBit(values_.purposeLegitimateInterests, purposeID - 1) ? 1 : 7;
    case MSRTCFLegalBasis::consent:
        if (purposeID == 1 && isPurposeOneGrantedWithSpecialTreatment() && hasLumenInVendorConsents()) {
            return 1;
        }
        if (!hasLumenInVendorConsents()) {
            return 4;
        }
        return hasBit(values_.purposeConsents, purposeID - 1) ? 1 : 6;
    case MSRTCFLegalBasis::blockedByRestriction:
        return 8;
    case MSRTCFLegalBasis::notAllowed:
        break;
    }
    return 3;
}

MSRTCFLegalBasis MSRTCFData::legalBasisCheckFromPurposeID(int purposeID) const {
    const int restriction = publisherRestrictionForPurposeID(purposeID);
    const MSRTCFRegistration& registration = MSRTCFRegistration::sharedInstance();
    const bool consent = registration.hasConsentForPurposeID(purposeID);
    const bool legitimateInterest = registration.hasLegitimateInterestForPurposeID(purposeID);
    const bool flexible = registration.hasFlexibleLegitimateInterestForPurposeID(purposeID);
    if (restriction == 0 || (!consent && !legitimateInterest)) {
        return MSRTCFLegalBasis::notAllowed;
    }
    if (consent) {
        if (restriction == 2) {
            return flexible ? MSRTCFLegalBasis::legitimateInterest : MSRTCFLegalBasis::blockedByRestriction;
        }
        return MSRTCFLegalBasis::consent;
    }
    if (restriction == 1) {
        return flexible ? MSRTCFLegalBasis::consent : MSRTCFLegalBasis::blockedByRestriction;
    }
    return MSRTCFLegalBasis::legitimateInterest;
}

int MSRTCFData::publisherRestrictionForPurposeID(int purposeID) const {
    if (!values_.publisherRestrictions || purposeID < 1 ||
        values_.publisherRestrictions->size() < static_cast<std::size_t>(purposeID)) {
        return 3;
    }
    return publisherRestrictionTypeFromString(
        (*values_.publisherRestrictions)[static_cast<std::size_t>(purposeID - 1)]);
}

int MSRTCFData::publisherRestrictionTypeFromString(const std::string& restriction) {
    if (restriction == "0") {
        return 0;
    }
    if (restriction == "1") {
        return 1;
    }
    return restriction == "2" ? 2 : 3;
}

bool MSRTCFData::isPurposeOneGrantedWithSpecialTreatment() const {
    return isTrue(values_.isPurposeOneTreatmentEnabled) && values_.publisherCC == "CH";
}

}  // namespace kit::measurement
