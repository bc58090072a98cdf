#pragma once

#include "kit/measurement/support/LogLines.h"

// The log lines of the worker queue and the alarms.
namespace kit::measurement::scheduling_lines {

using log_lines::Line;
using log_lines::log;

inline constexpr Line kTriedScheduleEmptyBlock{2000, 1, " tried to schedule an empty block"};
inline constexpr Line kFired{2001, 7, " fired"};
inline constexpr Line kScheduledFireApprox{2002, 7, " scheduled to fire in approx. (s)"};
inline constexpr Line kCanceled{2003, 7, " canceled"};
inline constexpr Line kNotActive{2004, 4, " is not active"};
inline constexpr Line kExceptionWorkerQueueBlockID{30000, 1, "Exception on worker queue. Block ID=%@. Exception"};
inline constexpr Line kMethodShouldRunOnBackgroundThread{30001, 1, "Method %@ should execute on background thread"};
inline constexpr Line kNilBlockDispatchedSynchronouslyWorkerQueue{
    30002, 1, "Nil block dispatched synchronously on worker queue. Block ID=%@."};
inline constexpr Line kExceptionWorkerQueueWhenProcessingSync{
    30003, 1, "Exception on worker queue when processing sync block. Block ID=%@. Exception"};
inline constexpr Line kSynchronousTaskFailed{30004, 4, "Synchronous task failed. Block ID=%@"};
inline constexpr Line kNilBlockDispatchedAsynchronouslyWorkerQueue{
    30005, 1, "Nil block dispatched asynchronously on worker queue. Block ID=%@."};

// Every line of this table, so one check can hold all tables against each other.
inline constexpr const Line* kAllLines[] = {&kTriedScheduleEmptyBlock,
                                            &kFired,
                                            &kScheduledFireApprox,
                                            &kCanceled,
                                            &kNotActive,
                                            &kExceptionWorkerQueueBlockID,
                                            &kMethodShouldRunOnBackgroundThread,
                                            &kNilBlockDispatchedSynchronouslyWorkerQueue,
                                            &kExceptionWorkerQueueWhenProcessingSync,
                                            &kSynchronousTaskFailed,
                                            &kNilBlockDispatchedAsynchronouslyWorkerQueue};

}  // namespace kit::measurement::scheduling_lines
