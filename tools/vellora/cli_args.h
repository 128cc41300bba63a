// The command line of one subcommand: positional arguments and --options.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace cli {

struct OptionNames {
  std::set<std::string> with_value;  // --name VALUE
  std::set<std::string> flags;       // --name
};

struct Arguments {
  std::vector<std::string> positional;
  std::map<std::string, std::string> values;
  std::set<std::string> flags;
  bool help = false;

  bool has(const std::string& name) const { return values.count(name) != 0; }
};

// Throws UsageError for an unknown option or one that lacks its value.
Arguments parse_arguments(const std::vector<std::string>& words, const OptionNames& options);

// A whole decimal int32_t ("-12", "+7"); anything else throws UsageError
// naming the option.
int32_t parse_int(const std::string& option, const std::string& text);

// N comma-separated integers ("3,4" for --at X,Y).
template <size_t N>
std::array<int32_t, N> parse_ints(const std::string& option, const std::string& text);

// A blend mode by name (normal, add, subtract, multiply, color-dodge,
// color-burn, screen, overlay) or by number.
int32_t parse_blend_mode(const std::string& text);
const char* blend_mode_name(int32_t mode);

}  // namespace cli
