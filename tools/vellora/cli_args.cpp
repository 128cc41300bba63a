#include "cli_args.h"

#include <cerrno>
#include <cstdlib>
#include <iterator>
#include <string>

#include "cli_error.h"
#include "vellora.h"

namespace cli {

namespace {

const char* const kModeNames[] = {"normal",      "add",        "subtract", "multiply",
                                  "color-dodge", "color-burn", "screen",   "overlay"};
static_assert(std::size(kModeNames) == BLEND_MODE_COUNT, "a name for every blend mode");

}  // namespace

Arguments parse_arguments(const std::vector<std::string>& words, const OptionNames& options) {
  Arguments args;
  for (size_t i = 0; i < words.size(); ++i) {
    const std::string& word = words[i];
    if (word == "--help" || word == "-h") {
      args.help = true;
    } else if (word.size() > 2 && word.compare(0, 2, "--") == 0) {
      const std::string name = word.substr(2);
      if (options.flags.count(name) != 0) {
        args.flags.insert(name);
      } else if (options.with_value.count(name) != 0) {
        if (i + 1 == words.size()) throw UsageError("option --" + name + " needs a value");
        args.values[name] = words[++i];
      } else {
        throw UsageError("unknown option " + word);
      }
    } else {
      args.positional.push_back(word);
    }
  }
  return args;
}

int32_t parse_int(const std::string& option, const std::string& text) {
  if (text.empty()) throw UsageError("--" + option + ": empty number");
  char* end = nullptr;
  errno = 0;
  const long long value = std::strtoll(text.c_str(), &end, 10);
  if (*end != '\0' || errno == ERANGE || value < INT32_MIN || value > INT32_MAX) {
    throw UsageError("--" + option + ": '" + text + "' is not a 32-bit integer");
  }
  return static_cast<int32_t>(value);
}

template <size_t N>
std::array<int32_t, N> parse_ints(const std::string& option, const std::string& text) {
  std::array<int32_t, N> values{};
  size_t start = 0;
  for (size_t i = 0; i < N; ++i) {
    const size_t comma = text.find(',', start);
    const bool last = i + 1 == N;
    if (last != (comma == std::string::npos)) {
      throw UsageError("--" + option + ": expected " + std::to_string(N) +
                       " comma-separated integers, got '" + text + "'");
    }
    values[i] = parse_int(option, text.substr(start, last ? std::string::npos : comma - start));
    start = comma + 1;
  }
  return values;
}

template std::array<int32_t, 2> parse_ints<2>(const std::string&, const std::string&);
template std::array<int32_t, 4> parse_ints<4>(const std::string&, const std::string&);

int32_t parse_blend_mode(const std::string& text) {
  for (int32_t mode = 0; mode < BLEND_MODE_COUNT; ++mode) {
    if (text == kModeNames[mode]) return mode;
  }
  const int32_t mode = parse_int("mode", text);
  if (mode < 0 || mode >= BLEND_MODE_COUNT) {
    throw UsageError("--mode: " + text + " is not a blend mode (0.." +
                     std::to_string(BLEND_MODE_COUNT - 1) + " or a name)");
  }
  return mode;
}

const char* blend_mode_name(int32_t mode) {
  return mode >= 0 && mode < BLEND_MODE_COUNT ? kModeNames[mode] : "none";
}

}  // namespace cli
