#include "kit/core/HLOComponent.h"

#include "kit/core/CoreTexts.h"
#include "kit/core/HLOApp.h"
#include "kit/core/KitContext.h"
#include "kit/core/Logger.h"

#include "kit/core/ClassRegistry.h"

#include <algorithm>

namespace kit {
namespace texts = core_texts;
namespace {

// The registrants of the current kit context; the list only grows.
struct Registrants {
    std::mutex mutex;
    std::vector<HLOComponentContainer::Registrant> list;  // guarded by mutex
};
Registrants& registrantState() { return KitContext::current().service<Registrants>(); }

constexpr std::string_view kLensAppName = "ARLensHLOApp";
constexpr std::string_view kLensSenderID = "271828182845";
constexpr std::string_view kAppCheckClassName = "HLOAppCheckComponent";

}  // namespace

HLOComponent::HLOComponent(HLOProtocol protocol, HLOInstantiationTiming instantiationTiming,
                           HLOComponentCreationBlock creationBlock)
    : protocol_(std::move(protocol)),
      instantiationTiming_(instantiationTiming),
      creationBlock_(std::move(creationBlock)) {}

HLOComponent HLOComponent::componentWithProtocol(HLOProtocol protocol, HLOComponentCreationBlock creationBlock) {
    return HLOComponent(std::move(protocol), HLOInstantiationTimingLazy, std::move(creationBlock));
}

HLOComponent HLOComponent::componentWithProtocol(HLOProtocol protocol, HLOInstantiationTiming instantiationTiming,
                                                 HLOComponentCreationBlock creationBlock) {
    return HLOComponent(std::move(protocol), instantiationTiming, std::move(creationBlock));
}

void HLOComponentContainer::registerAsComponentRegistrant(std::string className, std::shared_ptr<HLOLibrary> library) {
    auto& all = registrantState();
    std::lock_guard lock(all.mutex);
    auto& list = all.list;
    const bool known = std::any_of(list.begin(), list.end(),
                                   [&](const Registrant& registrant) { return registrant.className == className; });
    if (!known) {
        list.push_back({std::move(className), std::move(library)});
    }
}

std::vector<HLOComponentContainer::Registrant> HLOComponentContainer::registrants() {
    auto& all = registrantState();
    std::lock_guard lock(all.mutex);
    return all.list;
}

HLOComponentContainer::HLOComponentContainer(const std::shared_ptr<HLOApp>& app)
    : HLOComponentContainer(app, [&] {
          auto list = registrants();
          if (app->name() == kLensAppName && app->options().LCMSenderID() == std::string(kLensSenderID)) {
              const auto appCheck = kit::classRegistry().lookup<HLOLibrary>(kAppCheckClassName);
              std::erase_if(list, [&](const Registrant& registrant) {
                  return appCheck != nullptr && registrant.library == appCheck;
              });
          }
          return list;
      }()) {}

HLOComponentContainer::HLOComponentContainer(const std::shared_ptr<HLOApp>& app,
                                             const std::vector<Registrant>& registrants)
    : app_(app) {
    populate(registrants, app != nullptr && app->isDefaultApp());
}

void HLOComponentContainer::populate(const std::vector<Registrant>& registrants, bool isDefaultApp) {
    std::lock_guard lock(mutex_);
    for (const Registrant& registrant : registrants) {
        if (registrant.library == nullptr) {
            continue;
        }
        for (const HLOComponent& component : registrant.library->componentsToRegister()) {
            const std::string& key = component.protocol().name;
            if (components_.contains(key)) {
                HLOLogErrorMessage(kHLOLoggerServiceCore, texts::kDuplicateProtocolCode,
                                   texts::kDuplicateProtocolFormat, key);
                continue;
            }
            components_.emplace(key, Entry{component.protocol(), component.creationBlock()});
            const auto timing = component.instantiationTiming();
            if (timing == HLOInstantiationTimingAlwaysEager ||
                (timing == HLOInstantiationTimingEagerInDefaultApp && isDefaultApp)) {
                eagerProtocolsToInstantiate_.push_back(component.protocol());
            }
        }
    }
}

std::shared_ptr<HLOObject> HLOComponentContainer::instanceForProtocol(const HLOProtocol& protocol) {
    std::lock_guard lock(mutex_);
    if (const auto cached = cachedInstances_.find(protocol.name); cached != cachedInstances_.end()) {
        return cached->second;
    }
    const auto found = components_.find(protocol.name);
    if (found == components_.end() || !found->second.creationBlock) {
        return nullptr;
    }
    // The block may re-enter this container and change the maps: work on a copy.
    const HLOComponentCreationBlock block = found->second.creationBlock;
    bool isCacheable = false;
    std::shared_ptr<HLOObject> instance = block(*this, isCacheable);
    if (instance == nullptr) {
        return nullptr;
    }
    if (protocol.conforms && !protocol.conforms(*instance)) {
        HLOLogErrorMessage(kHLOLoggerServiceCore, texts::kNonConformingCode, texts::kNonConformingFormat,
                           protocol.name);
    }
    if (isCacheable) {
        cachedInstances_[protocol.name] = instance;
    }
    return instance;
}

void HLOComponentContainer::instantiateEagerComponents() {
    std::lock_guard lock(mutex_);
    const auto eager = std::move(eagerProtocolsToInstantiate_);
    eagerProtocolsToInstantiate_.clear();
    for (const HLOProtocol& protocol : eager) {
        (void)instanceForProtocol(protocol);
    }
}

void HLOComponentContainer::removeAllCachedInstances() {
    std::lock_guard lock(mutex_);
    if (const auto app = app_.lock()) {
        for (const auto& [name, instance] : cachedInstances_) {
            if (auto* maintainer = dynamic_cast<HLOComponentLifecycleMaintainer*>(instance.get())) {
                maintainer->appWillBeDeleted(*app);
            }
        }
    }
    cachedInstances_.clear();
}

void HLOComponentContainer::removeAllComponents() {
    std::lock_guard lock(mutex_);
    components_.clear();
}

}  // namespace kit
