#include "platform/concurrency/ClassRegistry.h"

namespace platform {

ClassRegistry& ClassRegistry::shared() {
    static ClassRegistry registry;
    return registry;
}

}  // namespace platform
