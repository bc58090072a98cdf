#pragma once

#include <string_view>

// The error domains of the platform library, each with its closed set of
// codes. Codes start at 1. The OS reason of a failure is never a code: it
// travels as the underlying error (platform::posixError).
namespace platform {

// Writing an output or settings file (OutputFile, replaceFileAtomically) and
// making the folder it goes into.
enum class OutputFileError {
    couldNotCreate = 1,        // the temporary file could not be made
    couldNotWrite = 2,         // a write failed
    couldNotFinish = 3,        // the sync or close failed: the bytes may not be on disk
    couldNotSave = 4,          // the file could not be moved or linked into place
    cancelled = 5,             // the request was cancelled
    alreadyClosed = 6,         // written or committed after commit or a failure
    nothingToRepeat = 7,       // writeRepeated with an empty pattern
    couldNotCreateFolder = 8,  // the output folder is missing and could not be made
};
constexpr std::string_view errorDomain(OutputFileError) { return "OutputFile"; }

// Reading a regular file (InputFile).
enum class InputFileError {
    couldNotOpen = 1,    // open failed
    couldNotRead = 2,    // a read failed, or the path is a directory
    notRegularFile = 3,  // a device, FIFO or socket, which may never end or may block
    tooLarge = 4,        // more bytes than the reader takes
};
constexpr std::string_view errorDomain(InputFileError) { return "InputFile"; }

// Turning a Value into a property list.
enum class ValueError {
    nestedTooDeeply = 1,  // arrays and dictionaries deeper than a plist may hold
    textWithNul = 2,      // a text or key with a NUL character
    dateOutOfRange = 3,   // a date outside the 32-bit seconds of a plist
};
constexpr std::string_view errorDomain(ValueError) { return "Value"; }

// Settings storage.
enum class UserDefaultsError {
    invalidSuiteName = 1,   // a suite name that is no plain file name
    couldNotLock = 2,       // the lock file could not be made or taken
    couldNotKeepAside = 3,  // an unreadable settings file could not be moved out of the way
};
constexpr std::string_view errorDomain(UserDefaultsError) { return "UserDefaults"; }

// Number, currency and date texts.
enum class FormatError {
    icuFailed = 1,  // ICU could not make or run a formatter
};
constexpr std::string_view errorDomain(FormatError) { return "Format"; }

// The domain of an underlying ICU failure; the code is ICU's UErrorCode.
inline constexpr std::string_view kICUErrorDomain = "ICU";

// Random draws.
enum class RandomSourceError {
    invalidBound = 1,  // a draw below 0, where no value lies
    invalidRange = 2,  // a range with equal or non-finite bounds
    unavailable = 3,   // the OS gave no random bytes
};
constexpr std::string_view errorDomain(RandomSourceError) { return "RandomSource"; }

}  // namespace platform
