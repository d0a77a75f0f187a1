// File copy and deletion, and the path rules of the components.
#pragma once

#include <QString>
#include <cstdint>

// Copies source to target through a temporary file in the target's folder,
// renamed over the target at the end: the old target survives any failure.
// failIfExists: refuse when the target exists. On failure returns false and,
// when error is given, sets it to the reason ("No such file or directory",
// "Is a directory", "Permission denied", "No space left on device"...).
bool CopyFile(const QString &source, const QString &target, bool failIfExists, QString *error = nullptr);
// unlink; false when the file could not be deleted.
bool DeleteFile(const QString &fileName);
// Size in bytes by opening the file and seeking to its end; -1 when it does
// not open.
int64_t FileSizeOf(const QString &fileName);

// Path rules: the separator is '/'; a colon is an ordinary character.
QString ExtractFileName(const QString &path);   // after the last '/'
QString ExtractFilePath(const QString &path);   // up to and including the last '/'
// ".jpg" from "/a/b.c/photo.jpg"; "" when the name part has no dot.
QString ExtractFileExt(const QString &path);
QString ChangeFileExt(const QString &path, const QString &ext);
QString IncludeTrailingPathDelimiter(const QString &path);
