#pragma once

#include "kit/core/KeychainStorage.h"
#include "kit/installations/InstallationsItem.h"
#include "kit/promises/PRMPromise.h"

#include <memory>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

// Installations kept as secure items, each with an existence marker in a
// settings suite: a secure item that outlived an earlier installation of the
// app is not taken for the current one.
namespace kit::installations {

class HLOInstallationsStore {
public:
    // The markers go to the suite named by the access group, else to
    // "com.halo.HLOInstallations".
    HLOInstallationsStore(std::shared_ptr<LMUKeychainStorage> secureStorage, std::optional<std::string> accessGroup);
    ~HLOInstallationsStore();
    HLOInstallationsStore(const HLOInstallationsStore&) = delete;
    HLOInstallationsStore& operator=(const HLOInstallationsStore&) = delete;

    // "com.halo.HLOInstallations.installations." followed by the app ID.
    static std::string keychainServiceWithAppID(std::string_view appID);

    const std::optional<std::string>& accessGroup() const noexcept;
    // The settings file holding the markers.
    std::filesystem::path markerSuiteFile() const;

    // Rejects with exactly one of: the not-found error (no marker, or no
    // item), the decoding error (NSCocoaErrorDomain 4864: the item is no
    // archive of a stored installation), or the secure storage's own error.
    promises::PRMPromise<HLOInstallationsItem> installationForAppID(std::string appID, std::string appName);
    // The secure item first, then the marker; a failed item write leaves the
    // marker as it was.
    promises::PRMPromise<promises::Null> saveInstallation(const HLOInstallationsItem& installation);
    // The secure item first, then the marker.
    promises::PRMPromise<promises::Null> removeInstallationForAppID(std::string appID, std::string appName);
    // Fulfils when the marker is set, else rejects with the not-found error.
    promises::PRMPromise<promises::Null> installationExistsForAppID(std::string appID, std::string appName);
    // Sets or removes the marker. A failed write rejects with a code-1 error
    // naming the settings file, the platform's error underneath.
    promises::PRMPromise<promises::Null> setInstallationExists(bool exists, std::string identifier);

private:
    struct State;
    static promises::PRMPromise<promises::Null> markerPromise(const std::shared_ptr<State>& state, bool exists,
                                                              std::string identifier);

    // Shared with the blocks in flight, so the store may go before they end.
    std::shared_ptr<State> state_;
};

}  // namespace kit::installations
