#pragma once

#include "stubforge/form/FormState.h"

#include "stubforge/core/GenerationContext.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace stubforge {

// One generation, fixed at the click: a copy of the form and the one number
// parsed from it (the page count on the page road, else the size in MB).
struct GenerationRequest {
    FormState form;
    std::optional<std::int64_t> pageCount;
    std::optional<double> sizeInMB;
};

// The dispatch's parse step: nothing when the page count or size does not
// parse, in which case no generation starts.
std::optional<GenerationRequest> startGeneration(const FormState& form);

// Runs the one writer the request's file kind calls for, returning the path
// of the file written. Throws platform::Error when the writer fails.
std::filesystem::path runGeneration(const GenerationRequest& request, const GenerationContext& context);

}  // namespace stubforge
