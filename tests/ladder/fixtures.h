// Pictures made by the tests, and the program run as a process.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ladder_test {

// A photo-like 24-bit BMP: smooth shading, edges and fine grain, so that
// JPEG sizes and scores behave as they do on photos.
void writePhotoBmp(const std::string &path, int width, int height, unsigned seed = 1);
// The same picture written by the library in `format` (QZ_FORMAT_*); fails
// the test on error.
void writePhoto(const std::string &path, int format, int width, int height, unsigned seed = 1);

std::string readText(const std::string &path);
void writeText(const std::string &path, const std::string &text);

struct Result {
    int status = -1;  // exit status; 128 + signal if killed
    std::string out, err;
};

// Runs vantrel-ladder with args, in `dir`, optionally as an unprivileged
// user (uid 65534 through setpriv).
Result runLadder(const std::vector<std::string> &args, const std::string &dir, bool unprivileged = false);

}  // namespace ladder_test
