#pragma once

#include "sham/Provider.h"

#include <filesystem>
#include <memory>

namespace sham::detail {

// The process-wide store of locale files, keyed by path. A file is read and
// parsed on first demand and again only when its size or time stamp changed.
// Null when the file cannot be read. Safe to call from any thread.
std::shared_ptr<const LocaleFile> cachedLocaleFile(const std::filesystem::path& path);

}  // namespace sham::detail
