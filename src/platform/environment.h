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

// Expands a folder variable reference ("%temp%") into buffer (capacity
// characters). An empty value, or one too long for the buffer, counts as not
// set: an empty folder would put files in the current folder (or, once a
// separator is added, in the root folder), a cut-off one in some other
// folder. Returns false then, or when the variable is not set, leaving the
// reference itself in the buffer as an unset variable would.
bool ExpandFolderVariable(const char *reference, char *buffer, unsigned capacity);
