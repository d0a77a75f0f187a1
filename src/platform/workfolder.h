// The program's private working folder: made at start (mode 0700,
// vantrel-XXXXXX by mkdtemp) inside the user's temporary folder (TEMP, else
// TMP, else TMPDIR, else /tmp), TEMP pointed at it for the process, removed
// at the end. Folders left by programs that died are removed at the next
// start once nothing holds them (each running program holds a lock on its
// own folder).
#pragma once

#include <QByteArray>
#include <QString>

class TWorkFolder {
public:
    TWorkFolder();   // throws EPlatformError when no folder can be made
    ~TWorkFolder();  // removes the folder and everything in it
    TWorkFolder(const TWorkFolder &) = delete;
    TWorkFolder &operator=(const TWorkFolder &) = delete;

    QString Path() const { return FPath; } // no trailing '/'
    // The user's temporary folder the working folder was made in.
    static QString UserTempFolder();
    // Removes stale vantrel-* folders in folder that no running program
    // holds; returns how many were removed.
    static int SweepStale(const QString &folder);

private:
    QString FPath;
    int FLockFd = -1;
    // TEMP as it was, given back when the folder goes.
    bool FHadTemp = false;
    QByteArray FPreviousTemp;
};
