#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Components: a module publishes a library that lists protocols with a block
// making an object for each; every configured app owns a container built
// from all registered libraries, and other modules ask it for the object of
// a protocol by the protocol's name.
namespace kit {

class HLOApp;
class HLOComponentContainer;

// The root of every object a component makes. A protocol is an interface
// deriving virtually from it, with its registry key in `kProtocolName`.
class HLOObject {
public:
    virtual ~HLOObject() = default;
};

// A protocol as the registry sees it: its name, and whether an object
// conforms to it.
struct HLOProtocol {
    std::string name;
    std::function<bool(const HLOObject&)> conforms;

    template <typename Protocol>
    static HLOProtocol of() {
        return {std::string(Protocol::kProtocolName),
                [](const HLOObject& object) { return dynamic_cast<const Protocol*>(&object) != nullptr; }};
    }
};

enum HLOInstantiationTiming : int {
    HLOInstantiationTimingLazy = 0,
    HLOInstantiationTimingAlwaysEager = 1,
    HLOInstantiationTimingEagerInDefaultApp = 2,
};

// Makes the object of a protocol; sets `isCacheable` when the container may
// keep it. May call back into the container it is given.
using HLOComponentCreationBlock =
    std::function<std::shared_ptr<HLOObject>(HLOComponentContainer& container, bool& isCacheable)>;

class HLOComponent {
public:
    HLOComponent(HLOProtocol protocol, HLOInstantiationTiming instantiationTiming,
                 HLOComponentCreationBlock creationBlock);

    static HLOComponent componentWithProtocol(HLOProtocol protocol, HLOComponentCreationBlock creationBlock);
    static HLOComponent componentWithProtocol(HLOProtocol protocol, HLOInstantiationTiming instantiationTiming,
                                              HLOComponentCreationBlock creationBlock);

    const HLOProtocol& protocol() const { return protocol_; }
    HLOInstantiationTiming instantiationTiming() const { return instantiationTiming_; }
    const HLOComponentCreationBlock& creationBlock() const { return creationBlock_; }

private:
    HLOProtocol protocol_;
    HLOInstantiationTiming instantiationTiming_;
    HLOComponentCreationBlock creationBlock_;
};

// What a library class is: the components it registers.
class HLOLibrary : public virtual HLOObject {
public:
    static constexpr std::string_view kProtocolName = "HLOLibrary";
    virtual std::vector<HLOComponent> componentsToRegister() const = 0;
};

// A cached object told when its app is deleted.
class HLOComponentLifecycleMaintainer : public virtual HLOObject {
public:
    static constexpr std::string_view kProtocolName = "HLOComponentLifecycleMaintainer";
    virtual void appWillBeDeleted(HLOApp& app) = 0;
};

// An optional library that states its own version.
class HLOSDKVersionProviding : public virtual HLOObject {
public:
    static constexpr std::string_view kProtocolName = "HLOSDKVersionProviding";
    virtual std::optional<std::string> sdkVersion() const = 0;
};

class HLOComponentContainer {
public:
    struct Registrant {
        std::string className;
        std::shared_ptr<HLOLibrary> library;
    };

    // Adds a library (once per class name). Registration order is kept and
    // is the order containers read the libraries in.
    static void registerAsComponentRegistrant(std::string className, std::shared_ptr<HLOLibrary> library);
    static std::vector<Registrant> registrants();

    explicit HLOComponentContainer(const std::shared_ptr<HLOApp>& app);
    HLOComponentContainer(const std::shared_ptr<HLOApp>& app, const std::vector<Registrant>& registrants);
    HLOComponentContainer(const HLOComponentContainer&) = delete;
    HLOComponentContainer& operator=(const HLOComponentContainer&) = delete;

    // The cached object, else a new one from the block. An object that does
    // not conform is logged and still answered.
    std::shared_ptr<HLOObject> instanceForProtocol(const HLOProtocol& protocol);
    // Typed: an object that does not conform is logged and answered as null.
    template <typename Protocol>
    std::shared_ptr<Protocol> instanceFor() {
        return std::dynamic_pointer_cast<Protocol>(instanceForProtocol(HLOProtocol::of<Protocol>()));
    }

    void instantiateEagerComponents();
    void removeAllCachedInstances();
    void removeAllComponents();
    std::shared_ptr<HLOApp> app() const { return app_.lock(); }

private:
    struct Entry {
        HLOProtocol protocol;
        HLOComponentCreationBlock creationBlock;
    };
    void populate(const std::vector<Registrant>& registrants, bool isDefaultApp);

    std::weak_ptr<HLOApp> app_;
    std::recursive_mutex mutex_;
    std::map<std::string, Entry, std::less<>> components_;                            // guarded by mutex_
    std::map<std::string, std::shared_ptr<HLOObject>, std::less<>> cachedInstances_;  // guarded by mutex_
    std::vector<HLOProtocol> eagerProtocolsToInstantiate_;                            // guarded by mutex_
};

struct HLOComponentType {
    template <typename Protocol>
    static std::shared_ptr<Protocol> instanceForProtocol(HLOComponentContainer& container) {
        return container.instanceFor<Protocol>();
    }
};

}  // namespace kit
