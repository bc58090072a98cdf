#pragma once

#include "kit/measurement/support/MSRUtilities.h"
#include "kit/measurement/support/MSRValue.h"

#include <string>
#include <string_view>

// Names and parameters made readable in debug logs: an internal name such
// as "_e" is shown with its public name, "user_engagement (_e)". They
// change only what is logged, and only in debug mode with the public
// analytics class present, except for experiment properties, always shown.
namespace kit::measurement {

// `name` with the public key of `map` whose value it is; a "halo_" key is
// taken only when no other matches.
std::string MSRNameDescription(std::string_view name, const MSRNameMap& map);

std::string MSREventNameDescription(std::string_view name);
std::string MSRParameterNameDescription(std::string_view name);
// "experiment_id (_exp_…)" for every "_exp_" name, in every mode.
std::string MSRUserPropertyNameDescription(std::string_view name);

// In debug mode, one "    name = value;" line per entry, sorted without
// regard to case, within "{" and "}" after `indent`; "_err" codes are shown
// with their names. Otherwise the dictionary's plain description.
std::string MSRDictionaryDescription(const MSRParameters& parameters, std::string_view indent);
std::string MSRDictionaryDescription(const platform::Value& object, std::string_view indent);
std::string MSRParametersDescription(const MSRParameters& parameters);
// In debug mode, each element as a dictionary description, one per line
// within "[" and "]". Otherwise the array's plain description.
std::string MSRArrayDescription(const platform::Value& object);

}  // namespace kit::measurement
