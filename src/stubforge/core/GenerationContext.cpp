#include "stubforge/core/GenerationContext.h"

namespace stubforge {

GenerationContext GenerationContext::standard() {
    return GenerationContext(platform::systemClock(), platform::systemRandom(), platform::UserDefaults::standard(),
                             platform::Bundle::main());
}

}  // namespace stubforge
