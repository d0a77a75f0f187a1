// Environment-string expansion: %NAME% is replaced by the variable's value,
// names matched without regard to case; an unknown reference stays as
// written; "%%" and an unmatched "%" stay as they are.
#pragma once

#include <cstddef>
#include <string>

// Expands source into dest (capacity characters, terminating zero included).
// Returns the number of characters the whole expansion needs, terminating
// zero included. When that exceeds capacity, dest is left as the empty text
// (when capacity > 0) and nothing else is written.
unsigned ExpandEnvironmentStrings(const char *source, char *dest, unsigned capacity);
// Unlimited form.
std::string ExpandEnvironment(const std::string &source);
