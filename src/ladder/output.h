// Putting rungs into the output folder without ever losing a file.
#pragma once

#include <string>

namespace ladder {

// Makes the folder (and its parents) and proves it writable by creating and
// removing a file in it. Returns "" or the reason it cannot be used.
std::string prepareOutputFolder(const std::string &dir);

// Copies `from` to `to` through a temporary file beside `to`, so `to` is
// either absent, as it was, or complete. Without `force` an existing `to`
// is kept and the copy fails. Returns "" or the reason.
std::string publishCopy(const std::string &from, const std::string &to, bool force);

}  // namespace ladder
