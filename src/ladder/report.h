// What vantrel-ladder prints about one picture: a table for people, JSON
// for scripts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ladder.h"

namespace ladder {

struct PictureReport {
    std::string file;
    bool ok = false;
    std::string error;  // why the picture failed, when !ok
    int width = 0;
    int height = 0;
    int format = 0;  // the library's format code of the source
    int64_t sourceSize = 0;
    std::vector<Rung> rungs;
    bool searched = false;
    Target target;
    TargetResult result;
    std::vector<std::string> written;  // files written to the output folder
    std::vector<std::string> writeErrors;
};

std::string formatName(int code);
// One sentence on how the search ended, without the file's name.
std::string targetSentence(const PictureReport &r);
std::string formatText(const PictureReport &r, bool score);
// One JSON object.
std::string formatJson(const PictureReport &r, bool score);
// A JSON string literal; bytes that are not UTF-8 become U+FFFD.
std::string jsonString(const std::string &s);

}  // namespace ladder
