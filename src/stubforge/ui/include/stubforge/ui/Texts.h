#pragma once

#include <string_view>

// The window's own texts, in one place so that tests hold the window to them.
namespace stubforge::ui::texts {

inline constexpr std::string_view kApplicationName = "Stubforge";
inline constexpr std::string_view kWindowTitle = "Stubforge";

// Menus.
inline constexpr std::string_view kApplicationMenu = "Stubforge";
inline constexpr std::string_view kAbout = "About Stubforge";
inline constexpr std::string_view kCheckForUpdates = "Check for Updates...";
inline constexpr std::string_view kPreferences = "Preferences...";
inline constexpr std::string_view kQuit = "Quit Stubforge";
inline constexpr std::string_view kEditMenu = "Edit";
inline constexpr std::string_view kUndo = "Undo";
inline constexpr std::string_view kRedo = "Redo";
inline constexpr std::string_view kCut = "Cut";
inline constexpr std::string_view kCopy = "Copy";
inline constexpr std::string_view kPaste = "Paste";
inline constexpr std::string_view kSelectAll = "Select All";
inline constexpr std::string_view kPreferencesShortcut = "Ctrl+,";

inline constexpr std::string_view kPreferencesTitle = "Preferences";

// Sidebar.
inline constexpr std::string_view kAllMyFiles = "All My Files";
inline constexpr std::string_view kVersionPrefix = "Stubforge v";

// Toolbar.
inline constexpr std::string_view kShowInFileManager = "Show in File Manager";

// Generation form.
inline constexpr std::string_view kContentType = "Content type:";
inline constexpr std::string_view kGenerateBy = "Generate by:";
inline constexpr std::string_view kPageCount = "Page count:";
inline constexpr std::string_view kFileSizeInMB = "File size in MB:";
inline constexpr std::string_view kContentSize = "Content size:";
inline constexpr std::string_view kGenerate = "Generate";

// CSV and JSON panels.
inline constexpr std::string_view kCriteria = "Criteria:";
inline constexpr std::string_view kNumberOfColumns = "No. of columns:";
inline constexpr std::string_view kMore = "More...";
inline constexpr std::string_view kNumberOfRows = "No. of rows:";
inline constexpr std::string_view kNumberOfFields = "No. of fields:";
inline constexpr std::string_view kNumberColumn = "No.";
inline constexpr std::string_view kColumnName = "Column Name";
inline constexpr std::string_view kFieldName = "Field Name";
inline constexpr std::string_view kFakerValueType = "Faker Value Type";
inline constexpr std::string_view kImportCSVTemplate = "Import CSV Template";
inline constexpr std::string_view kAddColumn = "Add column";
inline constexpr std::string_view kAddField = "Add field";
inline constexpr std::string_view kImportHelp =
    "Import an existing CSV file to use its column names as a template for generating new data";
inline constexpr std::string_view kCSVFileFilter = "CSV files (*.csv)";

// Status row.
inline constexpr std::string_view kExportLocation = "Export location: ";
inline constexpr std::string_view kTips = "Tips: Spacebar to View File and Delete to Delete File";
inline constexpr std::string_view kGenerationFailed = "Generation failed: ";

// Folder browser.
inline constexpr std::string_view kNameColumn = "Name";
inline constexpr std::string_view kSizeColumn = "Size";
inline constexpr std::string_view kDateCreatedColumn = "Date Created";
inline constexpr std::string_view kTodayAt = "Today at ";
inline constexpr std::string_view kYesterdayAt = "Yesterday at ";
inline constexpr std::string_view kErrorPrefix = "Error: ";
inline constexpr std::string_view kErrorLoadingFiles = "Error loading files: ";
inline constexpr std::string_view kFailedToDeleteFile = "Failed to delete file ";
inline constexpr std::string_view kNotARegularFile = "Not a regular file";

// Output folder preference.
inline constexpr std::string_view kExportLocationLabel = "Export location:";
// The default entry names the data folder in use, "~" standing for the home
// folder: " ~/.local/share/Stubforge (Default)".
inline constexpr std::string_view kDefaultFolderEntryPrefix = " ";
inline constexpr std::string_view kDefaultFolderEntrySuffix = " (Default)";
inline constexpr std::string_view kCustomFolder = "Custom Folder";
inline constexpr std::string_view kOther = "Other...";
inline constexpr std::string_view kCannotUseFolder = "Cannot use this folder: ";
inline constexpr std::string_view kFolderAccessExpired = "Folder access has expired. Please select the folder again.";
inline constexpr std::string_view kCannotWriteSavedFolder = "Cannot write to the saved folder: ";

// Analytics.
inline constexpr std::string_view kGenerateClickEvent = "generate_click";
inline constexpr std::string_view kFileTypeParameter = "file_type";
inline constexpr std::string_view kAppVersionParameter = "app_version";

// Feedback mail.
inline constexpr std::string_view kFeedbackAddress = "feedback@stubforge.org";
inline constexpr std::string_view kFeedbackSubjectPrefix = "Feedback for Stubforge v";

// Settings keys the window reads and writes.
inline constexpr std::string_view kStayOnTopKey = "stayOnTop";
inline constexpr std::string_view kIsDarkModeKey = "isDarkMode";
inline constexpr std::string_view kFolderViewReloadTriggerKey = "folderViewReloadTrigger";

}  // namespace stubforge::ui::texts
