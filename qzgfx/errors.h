// Failures inside the library are C++ exceptions of one type; the entry
// points turn them into a false result and the thread's error text.
#pragma once

#include <stdexcept>
#include <string>

namespace qzgfx {

class Error : public std::runtime_error {
public:
    explicit Error(const std::string &what) : std::runtime_error(what) {}
};

[[noreturn]] void fail(const std::string &why);
// "cannot write /path: Permission denied" style, from errno.
[[noreturn]] void failErrno(const char *verb, const std::string &path);

void setLastError(const char *text);
const char *lastError();

}  // namespace qzgfx
