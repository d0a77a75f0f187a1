#include "errors.h"

#include <cerrno>
#include <cstring>

namespace qzgfx {

namespace {
// A plain buffer rather than a std::string: the library is loaded and
// unloaded repeatedly, and a thread_local with a destructor would pin it or
// outlive it.
thread_local char tlsError[512];
}  // namespace

void fail(const std::string &why)
{
    throw Error(why);
}

void failErrno(const char *verb, const std::string &path)
{
    int e = errno;
    throw Error(std::string(verb) + " " + path + ": " + std::strerror(e));
}

void setLastError(const char *text)
{
    size_t n = std::strlen(text);
    if (n >= sizeof tlsError)
        n = sizeof tlsError - 1;
    std::memcpy(tlsError, text, n);
    tlsError[n] = '\0';
}

const char *lastError()
{
    return tlsError;
}

}  // namespace qzgfx
