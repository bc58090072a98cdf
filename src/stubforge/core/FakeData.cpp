#include "stubforge/core/FakeData.h"

namespace stubforge {

sham::Faker makeFaker(const GenerationContext& context) {
    return sham::Faker(sham::Config::defaultLocale, context.random(), context.clock());
}

}  // namespace stubforge
