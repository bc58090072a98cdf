#pragma once

#include "platform/Value.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// One reading of the keys that a consent-management platform following the
// IAB transparency-and-consent framework (v2) leaves in the standard user
// defaults, and the purpose questions the engine asks of it.
namespace kit::measurement {

class MSRKeyValueStore;

// The twelve values of a reading. Numbers stay as read (an integer, a
// double or a Boolean); a missing or wrong-typed key is none.
struct MSRTCFValues {
    bool isTCFDataEnabled = true;
    std::optional<platform::Value> isAdvertiserConsentModeEnabled;
    std::optional<std::string> vendorConsents;
    std::optional<std::string> vendorLegitimateInterests;
    std::optional<platform::Value> cmpSDKID;
    std::optional<platform::Value> gdprApplies;
    std::optional<platform::Value> policyVersion;
    std::optional<std::string> purposeConsents;
    std::optional<std::string> purposeLegitimateInterests;
    // Ten entries, one per purpose: the restriction character for our
    // vendor, or "" when the purpose's string is too short or missing.
    std::optional<std::vector<std::string>> publisherRestrictions;
    std::optional<platform::Value> isPurposeOneTreatmentEnabled;
    std::optional<std::string> publisherCC;

    bool operator==(const MSRTCFValues&) const = default;
};

// The legal basis of a purpose for this engine.
enum class MSRTCFLegalBasis { notAllowed = 0, blockedByRestriction = 1, consent = 2, legitimateInterest = 3 };

class MSRTCFData {
public:
    // Reads the Info.plist flag from `infoDictionary`; the rest stays none
    // until readFromUserDefaults().
    MSRTCFData(std::shared_ptr<MSRKeyValueStore> userDefaults, const platform::Value& infoDictionary);
    // Every value as given.
    MSRTCFData(std::shared_ptr<MSRKeyValueStore> userDefaults, MSRTCFValues values);

    const MSRTCFValues& values() const noexcept { return values_; }
    bool isTCFDataEnabled() const noexcept { return values_.isTCFDataEnabled; }

    // "LUMEN_ANALYTICS_TCF_DATA_ENABLED": absent means enabled, a number its
    // Boolean, anything else disabled.
    void readTCFDataEnabledStateFromPlist(const platform::Value& infoDictionary);
    // Re-reads every "IABTCF_" key.
    void readFromUserDefaults();
    // The values `store` holds under the framework's keys (our copy uses
    // them too), with the typed reads; not the restrictions, which the two
    // keep in different forms, nor the enabled flag.
    static MSRTCFValues valuesFromStore(MSRKeyValueStore& store);

    bool hasLumenInVendorConsents() const;
    bool hasLumenInVendorLegitimateInterests() const;
    bool canAccessAdUserDataPurpose() const;
    bool isAdStoragePurposeGranted() const;
    bool isAdPersonalizationPurposeGranted() const;
    bool isAdUserDataPurposeGranted() const;
    bool isPurposeGrantedWithRestrictionCheckForPurposeID(int purposeID) const;
    // The digit reported for a purpose: 1 granted; 3 not allowed; 4 or 5 our
    // vendor lacks consent or legitimate interest; 6 or 7 the purpose lacks
    // them; 8 blocked by the publisher's restriction.
    int consentReasonForPurposeGrantedWithRestrictionCheckForPurposeID(int purposeID) const;
    MSRTCFLegalBasis legalBasisCheckFromPurposeID(int purposeID) const;
    // 0 not allowed, 1 consent required, 2 legitimate interest required,
    // 3 no restriction.
    int publisherRestrictionForPurposeID(int purposeID) const;
    static int publisherRestrictionTypeFromString(const std::string& restriction);
    bool isPurposeOneGrantedWithSpecialTreatment() const;

private:
    std::shared_ptr<MSRKeyValueStore> userDefaults_;
    MSRTCFValues values_;
};

// Builds a data object from values given one by one (the stored copy).
struct MSRTCFDataGenerator : MSRTCFValues {
    MSRTCFData generateData(std::shared_ptr<MSRKeyValueStore> userDefaults = nullptr) const;
};

// Which purposes the engine uses, and under which legal basis.
class MSRTCFRegistration {
public:
    static const MSRTCFRegistration& sharedInstance();
    bool hasConsentForPurposeID(int purposeID) const;
    bool hasLegitimateInterestForPurposeID(int purposeID) const;
    bool hasFlexibleLegitimateInterestForPurposeID(int purposeID) const;
};

}  // namespace kit::measurement
