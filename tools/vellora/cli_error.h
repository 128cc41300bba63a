// The one way a command fails: a message for standard error.
#pragma once

#include <stdexcept>
#include <string>

namespace cli {

struct CliError : std::runtime_error {
  explicit CliError(const std::string& message) : std::runtime_error(message) {}
};

// A command line that cannot be understood (exit status 2, not 1).
struct UsageError : CliError {
  explicit UsageError(const std::string& message) : CliError(message) {}
};

}  // namespace cli
