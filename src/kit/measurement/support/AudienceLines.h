#pragma once

#include "kit/measurement/support/LogLines.h"

// The log lines of audience evaluation and its filters.
namespace kit::measurement::audience_lines {

using log_lines::Line;
using log_lines::log;

inline constexpr Line kUnableQueryEventFiltersEventEvent{
    6000, 1, "Unable to query event filters for event. Event will not be evaluated. Event name, error"};
inline constexpr Line kUnableQueryPropertyFiltersPropertyProperty{
    6004, 1, "Unable to query property filters for property. Property will not be evaluated. Property name, error"};
inline constexpr Line kConfigurationContainsTooManyAudiencesAudiences{
    6008, 2, "Configuration contains too many audiences. Audiences will not be saved. Audience count"};
inline constexpr Line kAudienceDefinitionInvalidAudienceNotSaved{
    6009, 2, "Audience definition is invalid. Audience will not be saved. Audience, error"};
inline constexpr Line kUnableDeleteExistingAudienceEventFilters{
    6010, 1, "Unable to delete existing Audience event filters. Audiences will not be saved. Error"};
inline constexpr Line kUnableDeleteExistingAudienceUserProperty{
    6011, 1, "Unable to delete existing Audience user property filters. Audiences will not be saved. Error"};
inline constexpr Line kUnableSaveAudienceEventFiltersAudiences{
    6012, 1, "Unable to save Audience event filters. Audiences will not be saved. Error"};
inline constexpr Line kUnableSaveAudienceUserPropertyFilters{
    6013, 1, "Unable to save Audience user property filters. Audiences will not be saved. Error"};
inline constexpr Line kUnableQueryAudienceFilterResultsAudiences{
    6015, 1, "Unable to query Audience filter results. Audiences will not be saved. Error"};
inline constexpr Line kTooManyAudienceFilterResultsDeleting{
    6016, 3,
    "Too many Audience filter results. Deleting filter results for deleted Audiences. Filter result count, max filter "
    "result count"};
inline constexpr Line kUnableQueryCurrentAudienceIDsAudiences{
    6017, 1, "Unable to query current Audience IDs. Audiences will not be saved. Error"};
inline constexpr Line kUnableDeleteStaleAudienceFilterResults{
    6018, 1, "Unable to delete stale Audience filter results. Audiences will not be saved. Error"};
inline constexpr Line kUnableQueryAudienceFilterResultsAudience{
    6019, 1, "Unable to query Audience filter results. Audience results will not be bundled. Error"};
inline constexpr Line kCurrentResultDataNilAudienceResult{
    6020, 2, "Current result data is nil. Audience result will not be bundled. Audience ID"};
inline constexpr Line kCurrentResultStatus0AudienceResult{
    6021, 2, "Current result status is 0. Audience result will not be bundled. Audience ID"};
inline constexpr Line kUnableSaveUpdatedAudienceFilterResults{
    6022, 1, "Unable to save updated Audience filter results. Audience results will not be bundled. Error"};
inline constexpr Line kAudienceFilterResultNonNilMissing{
    6023, 2,
    "Audience filter result is non-nil and is missing status or results array. Audience result will not be bundled. "
    "Audience ID, result data"};
inline constexpr Line kCandidateEvaluationTimestampEarlierThanCached{
    6037, 5, "Candidate evaluation timestamp is earlier than cached evaluation timestamp"};
inline constexpr Line kCouldNotConvertUserPropertyNano{6039, 2, "Could not convert user property from nano format."};
inline constexpr Line kUnableQueryAllSessionScopedFilters{
    6040, 1, "Unable to query all session scoped filters. Session scoped results will not be cleared. Error"};
inline constexpr Line kUnableQueryAllFilterResultsSession{
    6041, 1, "Unable to query all filter results. Session scoped results will not be cleared. Error"};
inline constexpr Line kUnableDeleteFilterResultsSessionScoped{
    6042, 1, "Unable to delete filter results. Session scoped results will not be cleared. Error"};
inline constexpr Line kUnableUpdateFilterResultsSessionScoped{
    6043, 2, "Unable to update filter results. Session scoped results will not be cleared. Error"};
inline constexpr Line kFilterNeitherNumberNorStringFilter{
    7000, 1, "Filter has neither a number nor string filter. Audience filter will not be evaluated"};
inline constexpr Line kStringValueNotNumericValueAudience{
    7001, 3, "String value is not a numeric value. Audience filter will not be evaluated. Value, filter"};
inline constexpr Line kValueNotWithinDoubleRangeAudience{
    7002, 3, "Value is not within double range. Audience filter will not be evaluated"};
inline constexpr Line kValueNotStringAudienceFilterNot{7003, 3,
                                                       "Value is not a string. Audience filter will not be evaluated"};
inline constexpr Line kEventNameNilAudienceFilterNot{7005, 1,
                                                     "Event name is nil. Audience filter will not be evaluated"};
inline constexpr Line kEventFilterNameDoesNotMatch{
    7006, 1, "Event filter name does not match event name. Audience filter will not be evaluated"};
inline constexpr Line kEventAggregatesNameDoesNotMatch{
    7007, 1, "Event aggregates name does not match event name. Audience filter will not be evaluated"};
inline constexpr Line kEventFilterDoesNotParameterName{
    7008, 1, "Event filter does not have parameter name. Audience filter will not be evaluated"};
inline constexpr Line kEventDoesNotParameterRequiredFilter{
    7009, 3, "Event does not have parameter required by filter. Audience filter will not be evaluated"};
inline constexpr Line kEventParamStringFilterDoesNot{
    7010, 3,
    "Event param is a string and the filter does not have a string filter. Audience filter will not be evaluated. "
    "Event name, event params, filter"};
inline constexpr Line kUserPropertyNameDoesNotMatch{
    7013, 1, "User property name does not match property filter name. Audience filter will not be evaluated"};
inline constexpr Line kPropertyFilterDoesNotFilterAudience{
    7014, 1, "Property filter does not have filter. Audience filter will not be evaluated"};
inline constexpr Line kUnknownUserPropertyTypeAudienceFilter{
    7015, 1, "Unknown user property type. Audience filter will not be evaluated. Property Name"};
inline constexpr Line kNumberFilterDoesNotBothMin{8003, 1,
                                                  "Number filter does not have both min and max comparison values"};
inline constexpr Line kNumberFilterNoComparisonType{8006, 1, "Number filter has no comparison type"};
inline constexpr Line kNumberFilterUnknownComparisonType{8007, 1, "Number filter has unknown comparison type"};
inline constexpr Line kNumericFilterDoesNotValidComparison{
    8008, 1, "Numeric filter does not have a valid comparison value. Filter"};
inline constexpr Line kNumericFilterDoesNotValidMin{
    8009, 1, "Numeric filter does not have a valid min comparison value. Filter"};
inline constexpr Line kNumericFilterDoesNotValidMax{
    8010, 1, "Numeric filter does not have a valid max comparison value. Filter"};
inline constexpr Line kNumberFilterRealUnknownComparisonType{8011, 1,
                                                             "Number filter has a real unknown comparison type"};
inline constexpr Line kNumberFilterInvalidComparisonFilterNot{
    8012, 1, "Number filter is invalid, the comparison filter is not valid. Audience filter will not be evaluated"};
inline constexpr Line kParsedDecimalNumberComparisonValuesNot{
    8015, 1, "Parsed decimal number comparison values are not valid. Audience filter will not be evaluated. Filter"};
inline constexpr Line kStringFilterNoMatchType{9000, 1, "String filter has no match type"};
inline constexpr Line kStringFilterUnknownMatchType{9001, 1, "String filter has unknown match type"};
inline constexpr Line kStringFilterNoExpression{9002, 1, "String filter has no expression"};
inline constexpr Line kStringFilterNoExpressionList{9003, 1, "String filter has no expression list"};
inline constexpr Line kUnableParseRegularExpression{9004, 1, "Unable to parse regular expression"};
inline constexpr Line kEvaluationStringNilAudienceFilterNot{
    9005, 1, "Evaluation string is nil. Audience filter will not be evaluated"};
inline constexpr Line kStringFilterInvalidAudienceFilterNot{
    9006, 1, "String filter is invalid. Audience filter will not be evaluated"};
inline constexpr Line kAddingSequenceTimestampLessThanLast{
    42000, 5, "Adding a sequence timestamp less than the last added timestamp"};
inline constexpr Line kSettingSequenceTimestampLessThanLast{
    42001, 5, "Setting a sequence timestamp less than the last set timestamp"};

// Every line of this table, so one check can hold all tables against each other.
inline constexpr const Line* kAllLines[] = {&kUnableQueryEventFiltersEventEvent,
                                            &kUnableQueryPropertyFiltersPropertyProperty,
                                            &kConfigurationContainsTooManyAudiencesAudiences,
                                            &kAudienceDefinitionInvalidAudienceNotSaved,
                                            &kUnableDeleteExistingAudienceEventFilters,
                                            &kUnableDeleteExistingAudienceUserProperty,
                                            &kUnableSaveAudienceEventFiltersAudiences,
                                            &kUnableSaveAudienceUserPropertyFilters,
                                            &kUnableQueryAudienceFilterResultsAudiences,
                                            &kTooManyAudienceFilterResultsDeleting,
                                            &kUnableQueryCurrentAudienceIDsAudiences,
                                            &kUnableDeleteStaleAudienceFilterResults,
                                            &kUnableQueryAudienceFilterResultsAudience,
                                            &kCurrentResultDataNilAudienceResult,
                                            &kCurrentResultStatus0AudienceResult,
                                            &kUnableSaveUpdatedAudienceFilterResults,
                                            &kAudienceFilterResultNonNilMissing,
                                            &kCandidateEvaluationTimestampEarlierThanCached,
                                            &kCouldNotConvertUserPropertyNano,
                                            &kUnableQueryAllSessionScopedFilters,
                                            &kUnableQueryAllFilterResultsSession,
                                            &kUnableDeleteFilterResultsSessionScoped,
                                            &kUnableUpdateFilterResultsSessionScoped,
                                            &kFilterNeitherNumberNorStringFilter,
                                            &kStringValueNotNumericValueAudience,
                                            &kValueNotWithinDoubleRangeAudience,
                                            &kValueNotStringAudienceFilterNot,
                                            &kEventNameNilAudienceFilterNot,
                                            &kEventFilterNameDoesNotMatch,
                                            &kEventAggregatesNameDoesNotMatch,
                                            &kEventFilterDoesNotParameterName,
                                            &kEventDoesNotParameterRequiredFilter,
                                            &kEventParamStringFilterDoesNot,
                                            &kUserPropertyNameDoesNotMatch,
                                            &kPropertyFilterDoesNotFilterAudience,
                                            &kUnknownUserPropertyTypeAudienceFilter,
                                            &kNumberFilterDoesNotBothMin,
                                            &kNumberFilterNoComparisonType,
                                            &kNumberFilterUnknownComparisonType,
                                            &kNumericFilterDoesNotValidComparison,
                                            &kNumericFilterDoesNotValidMin,
                                            &kNumericFilterDoesNotValidMax,
                                            &kNumberFilterRealUnknownComparisonType,
                                            &kNumberFilterInvalidComparisonFilterNot,
                                            &kParsedDecimalNumberComparisonValuesNot,
                                            &kStringFilterNoMatchType,
                                            &kStringFilterUnknownMatchType,
                                            &kStringFilterNoExpression,
                                            &kStringFilterNoExpressionList,
                                            &kUnableParseRegularExpression,
                                            &kEvaluationStringNilAudienceFilterNot,
                                            &kStringFilterInvalidAudienceFilterNot,
                                            &kAddingSequenceTimestampLessThanLast,
                                            &kSettingSequenceTimestampLessThanLast};

}  // namespace kit::measurement::audience_lines
