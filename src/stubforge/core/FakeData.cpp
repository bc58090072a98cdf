#include "stubforge/core/FakeData.h"

namespace stubforge {

sham::Faker makeFaker(const GenerationContext& context) {
    sham::Config config = sham::Config::inResources(context.bundle().resourcePath());
    config.log = &context.log();
    return sham::Faker(sham::Config::defaultLocale, config, context.random(), context.clock());
}

}  // namespace stubforge
