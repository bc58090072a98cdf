#pragma once

#include "sham/Provider.h"

#include <filesystem>
#include <memory>

namespace sham::detail {

// Locale files keyed by path, so engines over the same bundle share one
// parse read-only; what to read is each engine's own setting. A file is read
// and parsed on first demand and again only when its size or time stamp
// changed. Null when the file cannot be read. Safe to call from any thread.
std::shared_ptr<const LocaleFile> cachedLocaleFile(const std::filesystem::path& path);

}  // namespace sham::detail
