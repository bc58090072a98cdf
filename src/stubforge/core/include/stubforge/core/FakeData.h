#pragma once

#include "stubforge/core/GenerationContext.h"

#include "sham/Faker.h"

namespace stubforge {

// A fresh fake-data engine for one writer call: the default locale, read
// from the engine's bundle inside the context's bundle, drawing from the
// context's random source and clock and logging to its log. Each call builds its own, so
// overlapping generations never share an engine.
sham::Faker makeFaker(const GenerationContext& context);

}  // namespace stubforge
