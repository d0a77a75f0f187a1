#include "platform/environment.h"

#include <cstdio>
#include <cstring>
#include <strings.h>

extern char **environ;

namespace {

// The value of the variable whose name matches name[0..length) without
// regard to case, or null.
const char *FindVariable(const char *name, std::size_t length)
{
    if (length == 0)
        return nullptr;
    for (char **entry = environ; entry && *entry; ++entry) {
        const char *equals = std::strchr(*entry, '=');
        if (!equals || static_cast<std::size_t>(equals - *entry) != length)
            continue;
        if (strncasecmp(*entry, name, length) == 0)
            return equals + 1;
    }
    return nullptr;
}

} // namespace

std::string ExpandEnvironment(const std::string &source)
{
    std::string result;
    const char *src = source.c_str();
    while (*src) {
        if (*src != '%') {
            const char *next = std::strchr(src, '%');
            const std::size_t length = next ? static_cast<std::size_t>(next - src) : std::strlen(src);
            result.append(src, length);
            src += length;
            continue;
        }
        const char *close = std::strchr(src + 1, '%');
        if (!close) { // an unmatched '%' and the rest stay as they are
            result.append(src);
            break;
        }
        const std::size_t nameLength = static_cast<std::size_t>(close - src - 1);
        if (const char *value = FindVariable(src + 1, nameLength))
            result.append(value);
        else
            result.append(src, nameLength + 2); // unknown: kept as written
        src = close + 1;
    }
    return result;
}

unsigned ExpandEnvironmentStrings(const char *source, char *dest, unsigned capacity)
{
    const std::string expanded = ExpandEnvironment(source ? source : "");
    const std::size_t needed = expanded.size() + 1;
    if (needed > capacity) {
        if (dest && capacity > 0)
            dest[0] = '\0';
    } else if (dest) {
        std::memcpy(dest, expanded.c_str(), needed);
    }
    return needed > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<unsigned>(needed);
}

bool ExpandFolderVariable(const char *reference, char *buffer, unsigned capacity)
{
    const unsigned needed = ExpandEnvironmentStrings(reference, buffer, capacity);
    if (needed <= capacity && buffer[0] != '\0')
        return std::strcmp(buffer, reference) != 0;
    std::snprintf(buffer, capacity, "%s", reference);
    return false;
}
