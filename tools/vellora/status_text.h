// The library's status codes in words, for the tool's messages.
#pragma once

#include <cstdint>
#include <string>

namespace cli {

std::string status_meaning(int32_t status);

// Throws CliError "<export> returned <status> (<meaning>)" unless status is 0.
void check_status(const char* export_name, int32_t status);

}  // namespace cli
