#pragma once

#include <string_view>

// The codec's log lines, filled by platform::formatMessage, and the stream error
// texts that fill their last placeholder.
namespace kit::measurement::message_text {

inline constexpr std::string_view decoderFailed = "<ERROR> %s decoder failed: %s";
inline constexpr std::string_view repeatedDecoderFailed = "<ERROR> %s decoder failed: Unable to decode repeated %s";
inline constexpr std::string_view cannotDeallocateField = "<ERROR> %s: Cannot deallocate field %d: Unknown field";
inline constexpr std::string_view bufferTooBig = "Unable to process proto stream. Buffer is too big. %zu > %d";
inline constexpr std::string_view noStreamError = "(none)";

// Our own stream errors, beside nanopb's ("parent stream too short", "varint
// overflow", "invalid wire_type", "end-of-stream").
inline constexpr const char* wrongWireType = "wrong wire type";
inline constexpr const char* integerTooLarge = "integer too large";
inline constexpr const char* callbackFailed = "callback failed";
inline constexpr const char* zeroTag = "zero tag";
inline constexpr const char* nestedTooDeeply = "message nested too deeply";
inline constexpr const char* invalidFieldDescriptor = "invalid field descriptor";

}  // namespace kit::measurement::message_text
