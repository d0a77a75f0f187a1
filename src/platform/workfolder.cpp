#include "platform/workfolder.h"

#include "platform/application.h"

#include <QFile>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char LockName[] = ".lock";
const char LockNameNew[] = ".lock-new";
const char Prefix[] = "vantrel-";

bool IsWritableFolder(const char *path)
{
    struct stat st;
    return path && *path && ::stat(path, &st) == 0 && S_ISDIR(st.st_mode) && ::access(path, W_OK | X_OK) == 0;
}

// "vantrel-" and the six characters mkdtemp puts in place of XXXXXX.
bool IsWorkFolderName(const char *name)
{
    if (std::strncmp(name, Prefix, sizeof Prefix - 1) != 0)
        return false;
    const char *rest = name + sizeof Prefix - 1;
    if (std::strlen(rest) != 6)
        return false;
    for (const char *p = rest; *p; ++p) {
        const char c = *p;
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')))
            return false;
    }
    return true;
}

// Removes name inside the folder dirFd and everything below it; symbolic
// links are removed as links, never followed.
void RemoveTreeAt(int dirFd, const char *name)
{
    if (::unlinkat(dirFd, name, 0) == 0 || errno == ENOENT)
        return;
    const int fd = ::openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return;
    if (DIR *dir = ::fdopendir(fd)) {
        while (const dirent *entry = ::readdir(dir)) {
            if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
                continue;
            RemoveTreeAt(::dirfd(dir), entry->d_name);
        }
        ::closedir(dir);
    } else {
        ::close(fd);
    }
    ::unlinkat(dirFd, name, AT_REMOVEDIR);
}

void RemoveTree(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    const QByteArray parent = slash <= 0 ? QByteArray("/") : path.left(slash);
    const QByteArray name = path.mid(slash + 1);
    const int parentFd = ::open(parent.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (parentFd < 0)
        return;
    RemoveTreeAt(parentFd, name.constData());
    ::close(parentFd);
}

// A working folder of a running program handed down to us through TEMP (a
// program started from ours) is not ours to nest in: it goes when its owner
// ends. Its parent is the user's temporary folder.
QByteArray OutsideWorkFolders(QByteArray folder)
{
    while (folder.endsWith('/') && folder.size() > 1)
        folder.chop(1);
    const qsizetype slash = folder.lastIndexOf('/');
    if (slash < 0 || !IsWorkFolderName(folder.constData() + slash + 1))
        return folder;
    struct stat st;
    if (::lstat((folder + '/' + LockName).constData(), &st) != 0)
        return folder;
    const QByteArray parent = slash == 0 ? QByteArray("/") : folder.left(slash);
    return IsWritableFolder(parent.constData()) ? parent : folder;
}

} // namespace

QString TWorkFolder::UserTempFolder()
{
    for (const char *variable : {"TEMP", "TMP", "TMPDIR"}) {
        const char *value = std::getenv(variable);
        if (IsWritableFolder(value))
            return QFile::decodeName(OutsideWorkFolders(QByteArray(value)));
    }
    return QStringLiteral("/tmp");
}

TWorkFolder::TWorkFolder()
{
    const QString parent = UserTempFolder();
    SweepStale(parent);

    QByteArray path = QFile::encodeName(parent);
    if (!path.endsWith('/'))
        path += '/';
    path += Prefix;
    path += "XXXXXX";
    // mkdtemp makes the folder with mode 0700: no other user can see in it
    // or plant anything there.
    if (!::mkdtemp(path.data()))
        throw EPlatformError(QStringLiteral("Cannot make a working folder in %1: %2")
                                 .arg(parent, QString::fromLocal8Bit(std::strerror(errno))));

    // The lock is taken on a file of another name and then renamed into
    // place, so a sweeping program never sees an unlocked lock file of ours.
    const QByteArray lockNew = path + '/' + LockNameNew;
    FLockFd = ::open(lockNew.constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (FLockFd < 0 || ::flock(FLockFd, LOCK_EX | LOCK_NB) != 0 ||
        ::rename(lockNew.constData(), (path + '/' + LockName).constData()) != 0) {
        const int code = errno;
        if (FLockFd >= 0)
            ::close(FLockFd);
        FLockFd = -1;
        RemoveTree(path);
        throw EPlatformError(QStringLiteral("Cannot lock the working folder in %1: %2")
                                 .arg(parent, QString::fromLocal8Bit(std::strerror(code))));
    }

    FPath = QFile::decodeName(path);
    const char *previous = std::getenv("TEMP");
    FHadTemp = previous != nullptr;
    FPreviousTemp = previous ? QByteArray(previous) : QByteArray();
    ::setenv("TEMP", path.constData(), 1);
}

TWorkFolder::~TWorkFolder()
{
    const QByteArray path = QFile::encodeName(FPath);
    RemoveTree(path);
    if (FLockFd >= 0)
        ::close(FLockFd);
    // Give TEMP back unless someone pointed it elsewhere meanwhile.
    const char *now = std::getenv("TEMP");
    if (now && path == now) {
        if (FHadTemp)
            ::setenv("TEMP", FPreviousTemp.constData(), 1);
        else
            ::unsetenv("TEMP");
    }
}

int TWorkFolder::SweepStale(const QString &folder)
{
    const int dirFd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0)
        return 0;
    DIR *dir = ::fdopendir(dirFd);
    if (!dir) {
        ::close(dirFd);
        return 0;
    }
    const uid_t me = ::geteuid();
    int removed = 0;
    while (const dirent *entry = ::readdir(dir)) {
        if (!IsWorkFolderName(entry->d_name))
            continue;
        struct stat st;
        // Only real folders of our own: no links, nothing of another user.
        if (::fstatat(dirFd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(st.st_mode) ||
            st.st_uid != me)
            continue;
        const int sub = ::openat(dirFd, entry->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (sub < 0)
            continue;
        const int lock = ::openat(sub, LockName, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        ::close(sub);
        if (lock < 0)
            continue; // no lock file: not one of ours, or still being made
        struct stat lockStat;
        // A lock we can take belongs to a program that has ended; we keep it
        // while the folder goes so no one else sweeps at the same time.
        if (::fstat(lock, &lockStat) == 0 && S_ISREG(lockStat.st_mode) && lockStat.st_uid == me &&
            ::flock(lock, LOCK_EX | LOCK_NB) == 0) {
            RemoveTreeAt(dirFd, entry->d_name);
            if (::fstatat(dirFd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
                ++removed;
        }
        ::close(lock);
    }
    ::closedir(dir);
    return removed;
}
