#include "platform/concurrency/ClassRegistry.h"

namespace platform {

ClassRegistry& ClassRegistry::shared() {
    static ClassRegistry& registry = *new ClassRegistry();
    return registry;
}

}  // namespace platform
