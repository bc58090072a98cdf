#pragma once

#include "stubforge/form/FormState.h"

#include "stubforge/core/GenerationContext.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace stubforge {

// The dispatch's own refusals (domain "Generation"); a writer's failure
// passes in the writer's domain.
enum class GenerationError {
    notAFileKind = 1,  // "all" stands for every kind, not one to generate
    noWriter = 2,      // no writer makes this kind of file
};
constexpr std::string_view errorDomain(GenerationError) { return "Generation"; }

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
