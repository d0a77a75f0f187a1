#include "output.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace ladder {

namespace {

std::string errnoText(int e) { return std::strerror(e); }

// mkstemp makes files only the owner may read; the outputs get the modes the
// user's umask gives new files. Read once, before any thread starts writing:
// umask() can only be read by setting it.
mode_t newFileMode()
{
    static const mode_t mode = [] {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        return mode_t(0666 & ~mask);
    }();
    return mode;
}

// Writes all of it or says why not.
bool writeAll(int fd, const char *data, size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= size_t(n);
    }
    return true;
}

std::string tempBeside(const std::string &to, int &fd)
{
    const fs::path target(to);
    std::string name = ".";
    name += target.filename().string();
    name += ".XXXXXX";
    std::string tmpl = (target.parent_path() / name).string();
    fd = ::mkstemp(tmpl.data());
    return tmpl;
}

}  // namespace

std::string prepareOutputFolder(const std::string &dir)
{
    newFileMode();
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec)
        return "cannot create the output folder: " + ec.message();
    if (!fs::is_directory(dir, ec))
        return "the output folder is not a folder";
    int fd = -1;
    const std::string probe = tempBeside((fs::path(dir) / "probe").string(), fd);
    if (fd < 0)
        return "cannot write in the output folder: " + errnoText(errno);
    ::close(fd);
    ::unlink(probe.c_str());
    return "";
}

std::string publishCopy(const std::string &from, const std::string &to, bool force)
{
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return "cannot read " + from + ": " + errnoText(errno);
    int out = -1;
    const std::string temp = tempBeside(to, out);
    if (out < 0) {
        const int e = errno;
        ::close(in);
        return "cannot write in " + fs::path(to).parent_path().string() + ": " + errnoText(e);
    }
    std::string error;
    if (::fchmod(out, newFileMode()) != 0)
        error = "cannot write " + to + ": " + errnoText(errno);
    char buffer[1 << 16];
    while (error.empty()) {
        const ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            error = "cannot read " + from + ": " + errnoText(errno);
            break;
        }
        if (n == 0)
            break;
        if (!writeAll(out, buffer, size_t(n))) {
            error = "cannot write " + to + ": " + errnoText(errno);
            break;
        }
    }
    ::close(in);
    if (::close(out) != 0 && error.empty())
        error = "cannot write " + to + ": " + errnoText(errno);
    if (error.empty()) {
        if (force) {
            if (::rename(temp.c_str(), to.c_str()) != 0)
                error = "cannot write " + to + ": " + errnoText(errno);
        } else if (::link(temp.c_str(), to.c_str()) != 0) {
            // link() never replaces: an existing file stays as it is.
            const int e = errno;
            if (e == EEXIST) {
                error = to + " exists (use --force to overwrite it)";
            } else if (e == EPERM || e == EOPNOTSUPP || e == ENOSYS || e == EMLINK) {
                // A file system without hard links: claim the name first, then
                // replace our own empty claim.
                const int claim = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
                if (claim < 0)
                    error = errno == EEXIST ? to + " exists (use --force to overwrite it)"
                                            : "cannot write " + to + ": " + errnoText(errno);
                else {
                    ::close(claim);
                    if (::rename(temp.c_str(), to.c_str()) != 0) {
                        error = "cannot write " + to + ": " + errnoText(errno);
                        ::unlink(to.c_str());
                    }
                }
            } else {
                error = "cannot write " + to + ": " + errnoText(e);
            }
        }
    }
    ::unlink(temp.c_str());  // after link() or a failure; gone already after rename()
    return error;
}

}  // namespace ladder
