#pragma once

namespace kit::measurement {

// True on the thread of the host's main queue.
bool MSRIsMainThread();

}  // namespace kit::measurement
