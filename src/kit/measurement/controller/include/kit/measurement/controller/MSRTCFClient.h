#pragma once

#include "kit/measurement/controller/MSRAnalytics.h"  // kMSRConsentSettingsTCFKey, the facade key of this consent
#include "kit/measurement/controller/MSRConsentSettingsUtil.h"
#include "kit/measurement/controller/MSRTCFData.h"

#include <atomic>
#include <memory>
#include <string>
#include <string_view>

namespace kit::measurement {

class MSRKeyValueStore;

// Where decided consent goes: the facade's set-consent call. The facade
// implements it and the controller hands it to the client. The client calls
// it before storing its copy of the data, so a call that returns has to have
// taken the consent in (queued behind nothing that can be lost is best).
class MSRConsentSink {
public:
    virtual ~MSRConsentSink() = default;
    virtual void setConsent(const MSRConsentDictionary& settings, std::string_view key) = 0;
};

// Reads the transparency-and-consent data, decides ad storage, ad
// personalisation and ad user data from it, hands them to the facade, logs
// "_tcf" when the data changed, and keeps a copy of what it saw in a suite
// of its own so that unchanged data is not processed twice. Used from the
// controller's worker queue only; isDMARegion may be set from anywhere.
class MSRTCFClient {
public:
    struct Environment {
        // Where the "IABTCF_" keys are read; the shared (standard) user defaults by default.
        std::shared_ptr<MSRKeyValueStore> userDefaults;
        // The copy's suite; "com.lumen.lmp.measurement.tcf.userdefaults" by default.
        std::shared_ptr<MSRKeyValueStore> copyUserDefaults;
        // The Info.plist; the main bundle's by default.
        std::optional<platform::Value> infoDictionary;
        std::shared_ptr<MSRConsentSink> consentSink;
    };

    explicit MSRTCFClient(Environment environment);

    const MSRTCFData& tcfData() const noexcept { return tcfData_; }
    bool isDMARegion() const noexcept { return isDMARegion_.load(); }
    void setIsDMARegion(bool isDMARegion) noexcept { isDMARegion_.store(isDMARegion); }

    // The entry point, at start and before each upload.
    void setConsentFromTCFData();

    void readTCFData();
    bool shouldApplyTCFData() const;
    // Evaluated against the stored copy, before a new one is stored.
    bool shouldApplyOneTimeTCFVendorFix();
    void logTCFChangedEventShouldApplyOneTimeVendorFix(bool shouldApplyOneTimeVendorFix,
                                                       bool isCurrentSameAsPreviousTCFConsent);
    void storeCurrentData();
    std::string stringRepresentationFromTCFData() const;
    static std::string_view consentStatusFromEnabled(bool enabled);
    bool persistedValuesEqualCurrentData();
    bool hasTCFDataToRead() const;
    void clearPersistedValues();
    // The consent the stored copy gives.
    MSRConsentDictionary previousConsent();
    // "_tcfd": "1" and four characters for the CMP, the policy version and the flags.
    std::string tcfBundleParameterValue() const;
    std::string tcfdMigrationParamValueForMigrationDidOccur(bool migrationDidOccur,
                                                            bool didMigrationChangeConsent) const;
    // "_tcfd2": "2" and the reason digits of purposes 1, 3, 4 and 7.
    std::string tcfd2ParamValue() const;
    std::string tcfd2ParamValueForPurposeID(int purposeID) const;

    // The consent a reading gives.
    static MSRConsentDictionary consentFromData(const MSRTCFData& data);

private:
    std::shared_ptr<MSRKeyValueStore> userDefaults_;
    std::shared_ptr<MSRKeyValueStore> copyUserDefaults_;
    std::shared_ptr<MSRConsentSink> consentSink_;
    MSRTCFData tcfData_;
    std::atomic<bool> isDMARegion_{true};
};

}  // namespace kit::measurement
