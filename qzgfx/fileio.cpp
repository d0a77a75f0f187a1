#include "fileio.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "errors.h"
#include "picture_limits.h"

namespace qzgfx {

namespace {

FileIdentity fromStat(const struct stat &st)
{
    FileIdentity id;
    id.dev = st.st_dev;
    id.ino = st.st_ino;
    id.size = st.st_size;
    id.mtimeSec = st.st_mtim.tv_sec;
    id.mtimeNsec = st.st_mtim.tv_nsec;
    id.valid = true;
    return id;
}

// New files get the mode an ordinary open(O_CREAT, 0666) would give them.
// umask() cannot be read without setting it, which is not thread-safe, so
// it is read from /proc once.
mode_t fileMode()
{
    static mode_t mode = [] {
        mode_t mask = 022;
        if (FILE *f = std::fopen("/proc/self/status", "re")) {
            char line[256];
            while (std::fgets(line, sizeof line, f)) {
                unsigned m;
                if (std::sscanf(line, "Umask: %o", &m) == 1) {
                    mask = mode_t(m);
                    break;
                }
            }
            std::fclose(f);
        }
        return mode_t(0666 & ~mask);
    }();
    return mode;
}

}  // namespace

FileIdentity identityOf(int fd)
{
    struct stat st;
    if (fstat(fd, &st) != 0)
        return {};
    return fromStat(st);
}

FileIdentity identityOf(const std::string &path)
{
    struct stat st;
    if (stat(path.c_str(), &st) != 0)
        return {};
    return fromStat(st);
}

FileData readFile(const std::string &path)
{
    if (path.empty())
        fail("no file name");
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        failErrno("cannot open", path);
    struct Closer {
        int fd;
        ~Closer() { close(fd); }
    } closer{fd};

    struct stat st;
    if (fstat(fd, &st) != 0)
        failErrno("cannot read", path);
    if (!S_ISREG(st.st_mode))
        fail("not a file: " + path);
    if (st.st_size == 0)
        fail("empty file: " + path);
    // No picture within the limits needs more than 8 bytes a pixel (16-bit
    // RGBA stored uncompressed); 64 MB on top for metadata. Beyond that the
    // file is not a picture we could read, and reading it could exhaust memory.
    const int64_t largest = 8 * maxPixels() + (int64_t(64) << 20);
    if (int64_t(st.st_size) > largest)
        fail("file too large: " + path + " (" + std::to_string(int64_t(st.st_size)) + " bytes)");
    FileData data;
    data.identity = fromStat(st);
    size_t size = size_t(st.st_size);
    data.buffer = allocatePixels(size);
    size_t got = 0;
    while (got < size) {
        ssize_t n = read(fd, data.buffer.get() + got, std::min<size_t>(size - got, 1u << 30));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            failErrno("cannot read", path);
        }
        if (n == 0)
            break;  // shrank while we read: take what is there
        got += size_t(n);
    }
    data.size = got;
    if (!(identityOf(fd) == data.identity) || got != size)
        data.identity = {};
    return data;
}

AtomicFile::AtomicFile(const std::string &destination) : dest_(destination)
{
    if (dest_.empty())
        fail("no destination file name");
    size_t slash = dest_.rfind('/');
    std::string dir = slash == std::string::npos ? std::string() : dest_.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? dest_ : dest_.substr(slash + 1);
    if (base.empty())
        fail("not a file name: " + dest_);
    // Hidden and unique; mkostemp opens with O_EXCL, so nothing planted under
    // the name is followed.
    temp_ = dir + "." + base.substr(0, 200) + ".qzgfx-XXXXXX";
    fd_ = mkostemp(temp_.data(), O_CLOEXEC);
    if (fd_ < 0)
        failErrno("cannot write", dest_);
}

AtomicFile::~AtomicFile()
{
    if (fd_ >= 0)
        close(fd_);
    if (!committed_)
        unlink(temp_.c_str());
}

void AtomicFile::write(const void *data, size_t size)
{
    const uint8_t *p = static_cast<const uint8_t *>(data);
    while (size > 0) {
        ssize_t n = ::write(fd_, p, std::min<size_t>(size, 1u << 30));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = ENOSPC;
            failErrno("cannot write", dest_);
        }
        p += n;
        size -= size_t(n);
    }
}

void AtomicFile::writev(const struct iovec *iov, int count)
{
    // Short writes leave a partial vector; finish it piece by piece.
    while (count > 0) {
        int chunk = std::min(count, IOV_MAX);
        size_t want = 0;
        for (int i = 0; i < chunk; ++i)
            want += iov[i].iov_len;
        ssize_t n = ::writev(fd_, iov, chunk);
        if (n < 0 && errno != EINTR)
            failErrno("cannot write", dest_);
        if (n < 0)
            n = 0;
        if (size_t(n) != want) {
            size_t done = size_t(n);
            for (int i = 0; i < chunk; ++i) {
                if (done >= iov[i].iov_len) {
                    done -= iov[i].iov_len;
                    continue;
                }
                write(static_cast<const uint8_t *>(iov[i].iov_base) + done, iov[i].iov_len - done);
                done = 0;
            }
        }
        iov += chunk;
        count -= chunk;
    }
}

FileIdentity AtomicFile::commit()
{
    if (fchmod(fd_, fileMode()) != 0)
        failErrno("cannot write", dest_);
    FileIdentity id = identityOf(fd_);
    int fd = fd_;
    fd_ = -1;
    if (close(fd) != 0)
        failErrno("cannot write", dest_);
    if (rename(temp_.c_str(), dest_.c_str()) != 0)
        failErrno("cannot write", dest_);
    committed_ = true;
    return id;
}

}  // namespace qzgfx
