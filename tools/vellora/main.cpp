// vellora: a command-line host for the library. It lays PNG files out as
// host bitmaps, calls the exports by their public names, and writes the
// results with PngSaveA.
#include <cstdio>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "cli_error.h"
#include "commands.h"
#include "vellora.h"

#if defined(_WIN32)
#include <windows.h>
// clang-format off
#include <shellapi.h>
// clang-format on
#endif

namespace {

const char kUsage[] =
    "usage: vellora COMMAND [ARGS...]    (vellora COMMAND --help for each)\n"
    "  blend DST SRC OUT     blend an area of SRC onto DST (BlendBlt)\n"
    "  blur IN OUT           alpha-weighted box blur (Blur)\n"
    "  mosaic IN OUT         alpha-weighted mosaic of an area (Mosaic)\n"
    "  tone IN OUT           move colors toward white or black (ChangeTone)\n"
    "  invert IN OUT         invert colors, keep alpha (InvertColor)\n"
    "  clip-mask IN MASK OUT scale alpha by a mask (ClipMask)\n"
    "  save IN OUT           write again with chosen PNG settings (PngSaveA)\n"
    "  info IN               size and alpha statistics (GetPixelData)\n"
    "  showcase OUT_DIR      draw a scene and run every operation on it\n";

// Arguments as UTF-8, whatever the platform's own encoding of them.
std::vector<std::string> utf8_arguments(int argc, char** argv) {
#if defined(_WIN32)
  (void)argc;
  (void)argv;
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> words;
  for (int i = 0; i < count; ++i) {
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
    std::string word(bytes > 0 ? bytes - 1 : 0, '\0');
    if (bytes > 1)
      WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, word.data(), bytes, nullptr, nullptr);
    words.push_back(word);
  }
  LocalFree(wide);
  return words;
#else
  return std::vector<std::string>(argv, argv + argc);
#endif
}

int dispatch(const std::string& command, const cli::Words& rest) {
  if (command == "blend") return cli::run_blend(rest);
  if (command == "blur") return cli::run_blur(rest);
  if (command == "mosaic") return cli::run_mosaic(rest);
  if (command == "tone") return cli::run_tone(rest);
  if (command == "invert") return cli::run_invert(rest);
  if (command == "clip-mask") return cli::run_clip_mask(rest);
  if (command == "save") return cli::run_save(rest);
  if (command == "info") return cli::run_info(rest);
  if (command == "showcase") return cli::run_showcase(rest);
  throw cli::UsageError("unknown command '" + command + "' (see vellora --help)");
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> words = utf8_arguments(argc, argv);
  if (words.size() < 2 || words[1] == "--help" || words[1] == "-h") {
    std::fputs(kUsage, words.size() < 2 ? stderr : stdout);
    return words.size() < 2 ? 2 : 0;
  }
  if (words[1] == "--version") {
    std::printf("vellora %d\n", Version());
    return 0;
  }
  try {
    return dispatch(words[1], cli::Words(words.begin() + 2, words.end()));
  } catch (const cli::UsageError& error) {
    std::fprintf(stderr, "vellora %s: %s\n", words[1].c_str(), error.what());
    return 2;
  } catch (const cli::CliError& error) {
    std::fprintf(stderr, "vellora %s: %s\n", words[1].c_str(), error.what());
    return 1;
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "vellora %s: out of memory\n", words[1].c_str());
    return 1;
  } catch (const std::exception& error) {
    // Anything else still ends in one line and status 1, not in an abort.
    std::fprintf(stderr, "vellora %s: %s\n", words[1].c_str(), error.what());
    return 1;
  } catch (...) {
    std::fprintf(stderr, "vellora %s: unexpected failure\n", words[1].c_str());
    return 1;
  }
}
