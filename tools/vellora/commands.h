// The subcommands of the command-line host, one per export that works on
// pixels. Each takes the words after its name and returns the exit status;
// failures are thrown as CliError.
#pragma once

#include <string>
#include <vector>

namespace cli {

using Words = std::vector<std::string>;

int run_blend(const Words& words);
int run_blur(const Words& words);
int run_mosaic(const Words& words);
int run_tone(const Words& words);
int run_invert(const Words& words);
int run_clip_mask(const Words& words);
int run_save(const Words& words);
int run_info(const Words& words);
int run_showcase(const Words& words);

}  // namespace cli
