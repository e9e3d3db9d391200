// Date texts and times of the store kept as whole seconds since 1899-12-30 00:00 (local time).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace standin {

// "YYYY-MM-DD HH:MM" or "YYYY-MM-DD HH:MM:SS".
std::optional<std::int64_t> parseSeconds(std::string_view text);
// "YYYY-MM-DD HH:MM:SS".
std::string formatSeconds(std::int64_t seconds);
// The current local time.
std::int64_t nowSeconds();
// The local time of this machine (seconds since 1899-12-30 00:00) of a UTC time given as seconds
// since 1970-01-01 00:00.
std::int64_t localSecondsFromUtc(std::int64_t unixSeconds);

}  // namespace standin
