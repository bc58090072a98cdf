#pragma once

#include <string_view>

// The error domains of the writers in this library, each with its closed set
// of codes. A writer throws its own domain for what it refuses or cannot
// find; what fails below it (the output file and its folder, the OS) comes
// as that layer's platform::Error, with the OS reason as the underlying
// error.
namespace stubforge {

// The base-file generators. The domain is the generator's name
// ("XLSXGenerator", …), so these codes carry no errorDomain of their own.
enum class BaseFileGeneratorError {
    baseFileNotFound = 1,    // the bundle has no base file of this kind
    baseFileEmpty = 2,       // the base file has no bytes to repeat
    baseFileUnreadable = 3,  // reading the base file failed
    invalidSizeText = 4,     // the size text cannot go into a file name
    invalidSize = 5,         // the size is no size between one byte and the maximum
};

// The 3D model copier.
enum class USDZGeneratorError {
    modelNotFound = 1,    // the bundle has no model of the chosen form
    modelUnreadable = 2,  // reading the model failed
};
constexpr std::string_view errorDomain(USDZGeneratorError) { return "USDZGenerator"; }

// The TXT and plain dummy writers. The first two cases count from 0, as the
// error values the window knows them by.
enum class TXTGeneratorError {
    failedToCreateFileURL = 0,    // declared; never thrown
    failedToWriteDataToFile = 1,  // the file could not be opened, written or saved
    invalidSizeText = 2,
    invalidSize = 3,
};
constexpr std::string_view errorDomain(TXTGeneratorError) { return "TXTGeneratorError"; }

// The CSV writer by columns.
enum class CSVUtilsError {
    invalidColumnCount = 1,  // fewer than one column
};
constexpr std::string_view errorDomain(CSVUtilsError) { return "CSVUtils"; }

// The JSON writer.
enum class JSONGeneratorError {
    invalidRecordCount = 1,  // a negative record count
};
constexpr std::string_view errorDomain(JSONGeneratorError) { return "JSONGenerator"; }

}  // namespace stubforge
