// Dynamic libraries by module name. "qzgfx" (or "qzgfx.dll") is looked for
// as libqzgfx.so: first in the folders added for tests, then beside the
// executable, then in the installed library folder, then by the system's
// search.
#pragma once

#include <QString>
#include <QStringList>

using HMODULE = void *;

HMODULE LoadLibrary(const char *moduleName); // null when not found
void *GetProcAddress(HMODULE module, const char *procName); // null when missing
bool FreeLibrary(HMODULE module);

// The file name a module name maps to ("qzgfx" -> "libqzgfx.so").
QString LibraryFileName(const QString &moduleName);
// Full path of the file LoadLibrary would load, or empty.
QString FindLibrary(const QString &moduleName);

// Test seam: folders searched before all others (empty list: none).
void SetLibrarySearchPath(const QStringList &folders);
