#include "platform/files.h"

#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString Reason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QByteArray Native(const QString &path)
{
    return QFile::encodeName(path);
}

// The process's umask without changing it (glibc has no getter).
mode_t CurrentUmask()
{
    FILE *status = std::fopen("/proc/self/status", "re");
    mode_t mask = 022;
    if (!status)
        return mask;
    char line[256];
    while (std::fgets(line, sizeof line, status)) {
        unsigned value;
        if (std::sscanf(line, "Umask: %o", &value) == 1) {
            mask = static_cast<mode_t>(value & 0777);
            break;
        }
    }
    std::fclose(status);
    return mask;
}

// Writes all of data; false with errno set when any part cannot be written
// (a full disk shows as a short write first).
bool WriteAll(int fd, const char *data, size_t length)
{
    while (length > 0) {
        const ssize_t n = ::write(fd, data, length);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0) {
            errno = ENOSPC;
            return false;
        }
        data += n;
        length -= static_cast<size_t>(n);
    }
    return true;
}

} // namespace

bool CopyFile(const QString &source, const QString &target, bool failIfExists, QString *error)
{
    auto fail = [error](int code) {
        if (error)
            *error = Reason(code);
        return false;
    };
    if (source.isEmpty() || target.isEmpty())
        return fail(ENOENT);

    const QByteArray targetName = Native(target);
    struct stat targetStat;
    const bool targetExists = ::lstat(targetName.constData(), &targetStat) == 0;
    if (targetExists && S_ISDIR(targetStat.st_mode))
        return fail(EISDIR);
    if (targetExists && failIfExists)
        return fail(EEXIST);

    const int in = ::open(Native(source).constData(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return fail(errno);
    struct stat sourceStat;
    const int sourceCode = ::fstat(in, &sourceStat) != 0 ? errno : S_ISDIR(sourceStat.st_mode) ? EISDIR : 0;
    if (sourceCode != 0) {
        ::close(in);
        return fail(sourceCode);
    }

    // The temporary file lies beside the target so that the rename is one
    // step on one file system.
    const QString folder = ExtractFilePath(target);
    // A fixed short name: the target's own may already be as long as a name can be.
    QByteArray tempName = Native(folder + QStringLiteral(".vantrel-copy-XXXXXX"));
    const int out = ::mkostemp(tempName.data(), O_CLOEXEC);
    if (out < 0) {
        const int code = errno;
        ::close(in);
        return fail(code);
    }

    int code = 0;
    char buffer[1 << 16];
    for (;;) {
        const ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            code = errno;
            break;
        }
        if (n == 0)
            break;
        if (!WriteAll(out, buffer, static_cast<size_t>(n))) {
            code = errno;
            break;
        }
    }
    ::close(in);

    // An overwritten regular file keeps its permissions; a new one gets the
    // usual ones (mkstemp makes it private).
    if (code == 0) {
        const mode_t mode = targetExists && S_ISREG(targetStat.st_mode) ? (targetStat.st_mode & 0777)
                                                                         : (0666 & ~CurrentUmask());
        if (::fchmod(out, mode) != 0)
            code = errno;
    }
    // The data must be on disk before the rename makes it the target.
    if (code == 0 && ::fsync(out) != 0)
        code = errno;
    if (::close(out) != 0 && code == 0)
        code = errno;
    // rename replaces a symbolic link at the target, never what it points to.
    // With failIfExists the refusal is made by the rename itself, so a file
    // that appeared meanwhile is not overwritten either.
    if (code == 0) {
        int renamed = -1;
        if (failIfExists) {
            renamed = ::renameat2(AT_FDCWD, tempName.constData(), AT_FDCWD, targetName.constData(), RENAME_NOREPLACE);
            if (renamed != 0 && errno != EINVAL && errno != ENOSYS)
                code = errno;
        }
        if (code == 0 && renamed != 0 && ::rename(tempName.constData(), targetName.constData()) != 0)
            code = errno;
    }
    if (code != 0) {
        ::unlink(tempName.constData());
        return fail(code);
    }
    if (error)
        error->clear();
    return true;
}

bool DeleteFile(const QString &fileName)
{
    return !fileName.isEmpty() && ::unlink(Native(fileName).constData()) == 0;
}

int64_t FileSizeOf(const QString &fileName)
{
    if (fileName.isEmpty())
        return -1;
    const int fd = ::open(Native(fileName).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat st;
    int64_t size = -1;
    // A folder opens here but is no file to measure.
    if (::fstat(fd, &st) == 0 && !S_ISDIR(st.st_mode))
        size = ::lseek(fd, 0, SEEK_END);
    ::close(fd);
    return size;
}

QString ExtractFileName(const QString &path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

QString ExtractFilePath(const QString &path)
{
    return path.left(path.lastIndexOf(QLatin1Char('/')) + 1);
}

QString ExtractFileExt(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    return dot > slash ? path.mid(dot) : QString();
}

QString ChangeFileExt(const QString &path, const QString &ext)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    return (dot > slash ? path.left(dot) : path) + ext;
}

QString IncludeTrailingPathDelimiter(const QString &path)
{
    // An empty path stays empty (the current folder); "/" in its place would
    // send files to the root.
    if (path.isEmpty() || path.endsWith(QLatin1Char('/')))
        return path;
    return path + QLatin1Char('/');
}
