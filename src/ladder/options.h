// The command line of vantrel-ladder.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ladder.h"

namespace ladder {

struct Options {
    std::vector<std::string> inputs;
    std::vector<int> qualities;  // ascending, no repeats
    bool qualitiesGiven = false;  // --qualities or --all
    bool score = true;
    Target target;
    std::string outDir;  // empty: write nothing
    bool force = false;
    bool json = false;
    bool recursive = false;
    unsigned threads = 0;  // 0: every core
    bool help = false;
    bool version = false;
};

// Throws std::invalid_argument with a message fit for the user.
Options parseOptions(const std::vector<std::string> &args);

// "123", "200K", "1.5 MB"...: K/KB/KiB are 1024 bytes, M/MB/MiB 1024 K.
std::optional<int64_t> parseSize(const std::string &text);
// "10,20,35" and ranges "5-95"; each 1..100.
std::optional<std::vector<int>> parseQualities(const std::string &text);

std::string usageText();

}  // namespace ladder
