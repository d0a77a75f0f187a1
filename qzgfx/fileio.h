// Reading whole files and writing files atomically beside their destination.
#pragma once

#include <sys/types.h>
#include <sys/uio.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "image.h"

namespace qzgfx {

// A file's identity: while all of it is unchanged, so are the contents (as
// far as anyone who writes files normally can tell). No ctime: rename()
// changes it, and our own writes end in a rename.
struct FileIdentity {
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    int64_t mtimeSec = 0, mtimeNsec = 0;
    bool valid = false;

    bool operator==(const FileIdentity &) const = default;
};

FileIdentity identityOf(int fd);
// The identity of the file at path (following links, as reading does);
// invalid when it cannot be stat'ed.
FileIdentity identityOf(const std::string &path);

struct Bytes {
    const uint8_t *data = nullptr;
    size_t size = 0;
};

struct FileData {
    PixelBuffer buffer;
    size_t size = 0;
    FileIdentity identity;  // invalid if the file changed while it was read
    Bytes bytes() const { return {buffer.get(), size}; }
};

// Reads a regular file whole (one read call for most files).
FileData readFile(const std::string &path);

// A temporary file beside the destination that becomes the destination on
// commit() through rename(): readers never see a half-written file, a
// symbolic link at the destination is replaced rather than followed, and
// if anything fails the destination is as it was.
class AtomicFile {
public:
    explicit AtomicFile(const std::string &destination);
    ~AtomicFile();
    AtomicFile(const AtomicFile &) = delete;
    AtomicFile &operator=(const AtomicFile &) = delete;

    void write(const void *data, size_t size);
    void writev(const struct iovec *iov, int count);
    // Renames into place; returns the identity of the file now at the
    // destination and its size.
    FileIdentity commit();

private:
    std::string dest_;
    std::string temp_;
    int fd_ = -1;
    bool committed_ = false;
};

}  // namespace qzgfx
