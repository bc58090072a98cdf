#pragma once

#include <cstdint>
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
inline constexpr const char* decodedTooLarge = "decoded message too large for its input";

// The typed accessors' lines.
inline constexpr std::string_view notInitialized =
    "ProtocolBuffer message hasn't been initialized. %s can't be performed";
inline constexpr std::string_view hasFieldNotInitialized =
    "ProtocolBuffer message hasn't been initialized. HasField operation can't be performed. Message name %s";
inline constexpr std::string_view fieldOutOfRange =
    "<Nano/Failure> Field ID is out of range. Message: %s, field ID: %d";
inline constexpr std::string_view notScalar = "<Nano/Failure> Field type isn't a scalar %s. Message: %s, field ID: %d";
inline constexpr std::string_view notRepeated = "<Nano/Failure> Field type isn't REPEATED. Message: %s, field ID: %d";
inline constexpr std::string_view messageTypeMismatch =
    "<Nano/Failure> Message type mismatch. Message: %s, field ID: %d";
inline constexpr std::string_view repeatedNotAllocated = "<ERROR> Repeated field should have been allocated";
inline constexpr std::string_view unknownTypeToObject =
    "<ERROR> Unable to convert byte data to an ObjC object. Unknown type. %d";
inline constexpr std::string_view unknownTypeFromObject =
    "<ERROR> Unable to convert ObjC object to byte data. Unknown type. %d";
inline constexpr std::string_view invalidBooleanElement =
    "<ERROR> Invalid object type. Boolean fields expect NSNumber. Type: %@";
inline constexpr std::string_view invalidInt32Element =
    "<ERROR> Invalid object type. Int32 fields expect NSNumber. Type: %@";
inline constexpr std::string_view invalidInt64Element =
    "<ERROR> Invalid object type. Int64 fields expect NSNumber. Type: %@";
inline constexpr std::string_view invalidFloatElement =
    "<ERROR> Invalid object type. Float fields expect NSNumber. Type: %@";
inline constexpr std::string_view invalidDoubleElement =
    "<ERROR> Invalid object type. Double fields expect NSNumber. Type: %@";
inline constexpr std::string_view invalidEnumElement =
    "<ERROR> Invalid object type. Enum fields expect NSNumber. Type: %@";
inline constexpr std::string_view invalidStringElement =
    "<ERROR> Invalid object type. String fields expect NSString. Type: %@";
inline constexpr std::string_view invalidBytesElement =
    "<ERROR> Invalid object type. Bytes fields expect NSData. Type: %@";
inline constexpr std::string_view invalidMessageElement =
    "<ERROR> Invalid object type. Message fields expect NANOMessageBase. Type: %@";

// The operation names of notInitialized and the type names of notScalar.
inline constexpr std::string_view scalarBool = "BOOL";
inline constexpr std::string_view scalarInt32 = "INT32";
inline constexpr std::string_view scalarInt64 = "INT64";
inline constexpr std::string_view scalarFloat = "FLOAT";
inline constexpr std::string_view scalarDouble = "DOUBLE";
inline constexpr std::string_view scalarString = "STRING";
inline constexpr std::string_view scalarBytes = "BYTES";
inline constexpr std::string_view scalarMessage = "MESSAGE";

}  // namespace kit::measurement::message_text
