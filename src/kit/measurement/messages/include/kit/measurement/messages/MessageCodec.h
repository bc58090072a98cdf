#pragma once

#include "kit/measurement/messages/MessagesLog.h"
#include "kit/measurement/messages/NanoMessageInfo.h"
#include "platform/Log.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// Decoding, encoding, copying and releasing of measurement message records, one
// table-driven codec for every type. Failures are answered as false or nothing and
// reported as "<ERROR> " lines on the given log (the module's log by default).
namespace kit::measurement {

// A longer string makes the whole decode fail.
inline constexpr std::size_t maximumStringLength = 1048576;
// Embedded levels below the top message that decoding accepts; a deeper input fails,
// so copying, encoding and releasing never meet more.
inline constexpr int maximumNestingDepth = 100;

// What decoding may allocate: at most this many bytes per input byte plus 1 MiB.
// The decoded form gets all but the last 128 KiB, which the lines of a failure at
// the deepest nesting need; an input whose decoded form would take more fails.
inline constexpr std::size_t decodeBytesPerInputByte = 8;
inline constexpr std::size_t decodeAllowance = (std::size_t{1} << 20) - (std::size_t{128} << 10);

// The subsystem and category of the codec's log lines.
inline constexpr std::string_view messagesLogSubsystem = "org.stubforge.kit.measurement";
inline constexpr std::string_view messagesLogCategory = "Messages";

// Frees one field: a singular slot becomes absent, a repeated slot empty. A slot
// outside the message logs and answers false, leaving the record unchanged.
bool releaseField(NanoMessageInfo& message, int slot, platform::LogSink& log = messagesLog());

// A deep copy; the unslotted field is never carried because no record holds it.
NanoMessageInfo copyMessage(const NanoMessageInfo& source);

// Decodes `bytes` into `message`, which is first made empty. On failure the record
// keeps what was stored before the failure; callers drop it.
bool decodeMessage(NanoMessageInfo& message, std::span<const std::uint8_t> bytes,
                   platform::LogSink& log = messagesLog());

std::optional<NanoMessageInfo> decodeMessage(MessageType type, std::span<const std::uint8_t> bytes,
                                             platform::LogSink& log = messagesLog());

// The record's encoding in one buffer of exactly its size; nothing when a cell does
// not fit its slot's flags. A record with no field present encodes to no bytes.
std::optional<std::vector<std::uint8_t>> encodeMessage(const NanoMessageInfo& message);

}  // namespace kit::measurement
