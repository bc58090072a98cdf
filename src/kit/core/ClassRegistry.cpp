#include "kit/core/ClassRegistry.h"

#include "kit/core/KitContext.h"

namespace kit {

platform::ClassRegistry& classRegistry() { return KitContext::current().service<platform::ClassRegistry>(); }

}  // namespace kit
