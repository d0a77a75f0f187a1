// Windows BMP files. The bitmaps the graphics library writes (uncompressed
// 24 and 8 bits per pixel) are read by a loader of our own straight into the
// picture's memory, at the cost of reading the file; every other kind goes
// through Qt's BMP reader, which converts pixel by pixel and costs some
// hundred times as much for a 24-bit picture. Writing goes through Qt's
// writer: the file is made whole in memory first and then put on disk
// through a temporary file beside the target, checking every write, so a
// short write (a full disk, a file size limit) is an error and never a
// truncated file in place of the old one.
#include "platform/bitmap.h"

#include "platform/application.h"

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#define VANTREL_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VANTREL_ASAN 1
#endif
#endif

namespace {

QString SystemError(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

// Writes data to fileName through a temporary file in the same folder and a
// rename; returns an empty text on success, else the reason.
QString WriteFileAtomically(const QString &fileName, const QByteArray &data) {
    const QByteArray target = QFile::encodeName(fileName);
    if (target.isEmpty())
        return QStringLiteral("No file name");
    const QFileInfo info(fileName);
    const QByteArray folder = QFile::encodeName(info.absolutePath());

    // A new file gets the usual mode under the umask; a replaced one keeps its own.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode_t mode = 0666 & ~mask;
    struct stat st;
    if (::stat(target.constData(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            return SystemError(EISDIR);
        mode = st.st_mode & 0777;
    }

    QByteArray temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = folder + "/.bmp-" + QByteArray::number(QRandomGenerator::global()->generate(), 16) + ".tmp";
        fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0 && errno != EEXIST)
            return SystemError(errno);
    }
    if (fd < 0)
        return SystemError(EEXIST);

    int error = 0;
    qint64 done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.constData() + done, size_t(data.size() - done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            error = errno;
            break;
        }
        if (n == 0) {
            error = ENOSPC;
            break;
        }
        done += n;
    }
    if (!error && ::fchmod(fd, mode) != 0)
        error = errno;
    if (::close(fd) != 0 && !error)
        error = errno;
    if (!error && ::rename(temp.constData(), target.constData()) != 0)
        error = errno;
    if (error) {
        ::unlink(temp.constData());
        return SystemError(error);
    }
    return QString();
}

quint32 Le32(const QByteArray &d, int at) {
    return quint32(quint8(d[at])) | quint32(quint8(d[at + 1])) << 8 | quint32(quint8(d[at + 2])) << 16 |
           quint32(quint8(d[at + 3])) << 24;
}

quint16 Le16(const QByteArray &d, int at) { return quint16(quint8(d[at]) | quint8(d[at + 1]) << 8); }

// Qt's reader accepts a bitmap whose pixel rows are cut off and fills the
// rest; the old loader refused such a file, and so do we. Uncompressed
// bitmaps must hold every row their header announces.
bool PixelDataComplete(const QByteArray &data) {
    if (data.size() < 26 || !data.startsWith("BM"))
        return true;  // not for this check: the reader decides
    const quint64 offBits = Le32(data, 10);
    const quint32 headerSize = Le32(data, 14);
    qint64 width, height;
    quint32 bitCount, compression = 0;
    if (headerSize == 12) {
        width = Le16(data, 18);
        height = Le16(data, 20);
        bitCount = Le16(data, 24);
    } else if (headerSize >= 40 && data.size() >= 34) {
        width = qint32(Le32(data, 18));
        height = qint32(Le32(data, 22));
        bitCount = Le16(data, 28);
        compression = Le32(data, 30);
    } else {
        return true;
    }
    if (compression != 0 && compression != 3 && compression != 6)
        return true;  // run-length data has no fixed size
    if (width <= 0 || bitCount == 0 || bitCount > 32)
        return true;
    const quint64 stride = (quint64(width) * bitCount + 31) / 32 * 4;
    const quint64 rows = quint64(height < 0 ? -height : height);
    return offBits + stride * rows <= quint64(data.size());
}

// Pixel memory for large pictures. On the virtual machines we run on, the
// first touch of a fresh 4 KB page costs some 15 us: the 18,000 pages of a
// 24 MP picture cost 270 ms, fifty times the copy of its file from the page
// cache. Mapped with transparent huge pages asked for they cost 17 ms, and a
// buffer freed lately and taken again nothing at all. Two are kept: the
// image view holds one picture while it loads the next, and the thumbnails'
// smaller pictures come in between.
constexpr size_t kHugePage = size_t(2) << 20;
constexpr int kPooled = 2;

struct Mapping {
    void *base = nullptr;
    size_t length = 0;
};

struct MappingPool {
    std::mutex mutex;
    Mapping kept[kPooled];
};

// Never destroyed: a picture may be freed after static destruction began.
MappingPool &Pool() {
    static MappingPool *pool = new MappingPool;
    return *pool;
}

uchar *AlignedStart(const Mapping &m) {
    return reinterpret_cast<uchar *>((reinterpret_cast<quintptr>(m.base) + kHugePage - 1) & ~(kHugePage - 1));
}

size_t Capacity(const Mapping &m) { return m.length - size_t(AlignedStart(m) - static_cast<uchar *>(m.base)); }

// The picture's cleanup: its mapping goes back to the pool, which keeps the
// larger ones (a small buffer is cheap to have again).
void ReleaseMapping(void *info) {
    Mapping giving = *static_cast<Mapping *>(info);
    delete static_cast<Mapping *>(info);
    {
        MappingPool &pool = Pool();
        std::lock_guard<std::mutex> lock(pool.mutex);
        for (Mapping &slot : pool.kept) {
            if (!slot.base || slot.length < giving.length)
                std::swap(slot, giving);
        }
    }
    if (giving.base)
        ::munmap(giving.base, giving.length);
}

// An uninitialised picture with lines of `stride` bytes; a null one when
// there is no memory for it.
QImage NewImage(int width, int height, qint64 stride, QImage::Format format) {
#ifndef VANTREL_ASAN  // AddressSanitizer guards only what it allocates itself
    const size_t bytes = size_t(stride) * size_t(height);
    if (bytes >= kHugePage / 2) {
        Mapping m;
        {
            // A pooled buffer that fits without wasting more than half of it.
            MappingPool &pool = Pool();
            std::lock_guard<std::mutex> lock(pool.mutex);
            for (Mapping &slot : pool.kept) {
                if (slot.base && Capacity(slot) >= bytes && Capacity(slot) / 2 <= bytes + kHugePage) {
                    std::swap(m, slot);
                    break;
                }
            }
        }
        if (!m.base) {
            m.length = bytes + kHugePage;
            m.base = ::mmap(nullptr, m.length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            if (m.base == MAP_FAILED)
                return QImage();
            ::madvise(AlignedStart(m), bytes, MADV_HUGEPAGE);  // a hint: where refused, ordinary pages
        }
        auto *info = new Mapping(m);
        QImage image(AlignedStart(m), width, height, qsizetype(stride), format, ReleaseMapping, info);
        if (image.isNull())
            ReleaseMapping(info);
        return image;
    }
#endif
    return QImage(width, height, format);
}

// The loader for simple bitmaps. Its verdict on a file it recognises is
// final; anything else is left to Qt's reader.
enum class SimpleLoad { Loaded, NotSimple, Invalid, ReadFailed };

// The graphics library's own limits: nothing it writes is larger, so a
// header that claims more is lying.
constexpr qint64 kMaxSide = 65535;
constexpr qint64 kMaxPixels = qint64(1) << 28;

// The largest header and colour table we read before the rows: a V5 header
// (124 bytes) and 256 colours.
constexpr qint64 kHeadBytes = 14 + 124 + 256 * 4;

quint32 Get32(const uchar *p) {
    return quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24;
}

quint16 Get16(const uchar *p) { return quint16(p[0] | p[1] << 8); }

// What a read came to: all of it, the end of the file first, or an error
// (an errno value).
constexpr int kReadAll = 0, kReadEnded = -1;

// Reads exactly length bytes at offset.
int ReadAt(int fd, uchar *to, qint64 length, qint64 offset) {
    while (length > 0) {
        const ssize_t n = ::pread(fd, to, size_t(length), off_t(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        if (n == 0)
            return kReadEnded;
        to += n;
        offset += n;
        length -= n;
    }
    return kReadAll;
}

// Reads `rows` rows of `stride` bytes at offset into the image's lines in
// file order: bottom-up files fill the last line first. The kernel copies
// each row to its place (batches of scatter reads), so the load costs what
// reading the file costs, with no second pass over the pixels.
int ReadRows(int fd, QImage &image, qint64 stride, qint64 offset, bool bottomUp) {
    const int rows = image.height();
    if (!bottomUp)
        return ReadAt(fd, image.bits(), stride * rows, offset);
    constexpr int kBatch = 512;  // well under IOV_MAX
    iovec iov[kBatch];
    for (int row = 0; row < rows;) {
        const int count = std::min(kBatch, rows - row);
        for (int i = 0; i < count; ++i)
            iov[i] = {image.scanLine(rows - 1 - (row + i)), size_t(stride)};
        const ssize_t n = ::preadv(fd, iov, count, off_t(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        if (n == 0)
            return kReadEnded;
        // A short read ends inside some row: finish that row, go on after it.
        const qint64 whole = n / stride, part = n % stride;
        row += int(whole);
        offset += whole * stride;
        if (part) {
            if (const int r = ReadAt(fd, image.scanLine(rows - 1 - row) + part, stride - part, offset + part))
                return r;
            ++row;
            offset += stride;
        }
    }
    return kReadAll;
}

// Uncompressed 24-bit and 8-bit bitmaps with a Windows info header (40
// bytes, or the V4 and V5 headers of 108 and 124). The whole header is
// checked, and that the file holds every row, before the picture is made,
// so a header cannot make us allocate more than the file holds.
// On ReadFailed, error holds the errno value.
SimpleLoad LoadSimpleBitmap(int fd, QImage &result, int &error) {
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        error = errno;
        return SimpleLoad::ReadFailed;
    }
    if (!S_ISREG(st.st_mode))
        return SimpleLoad::NotSimple;
    const qint64 fileSize = st.st_size;

    uchar head[kHeadBytes];
    const qint64 headBytes = std::min<qint64>(fileSize, kHeadBytes);
    error = ReadAt(fd, head, headBytes, 0);
    if (error)
        return error == kReadEnded ? SimpleLoad::Invalid : SimpleLoad::ReadFailed;  // shrank under us
    if (headBytes < 54 || head[0] != 'B' || head[1] != 'M')
        return SimpleLoad::NotSimple;
    const quint32 headerSize = Get32(head + 14);
    if (headerSize != 40 && headerSize != 108 && headerSize != 124)
        return SimpleLoad::NotSimple;
    const qint64 offBits = Get32(head + 10);
    const qint64 width = qint32(Get32(head + 18));
    const qint64 height = qint32(Get32(head + 22));
    const quint16 planes = Get16(head + 26);
    const quint16 bitCount = Get16(head + 28);
    const quint32 compression = Get32(head + 30);
    const qint64 colorsUsed = Get32(head + 46);
    if (planes != 1 || (bitCount != 24 && bitCount != 8) || compression != 0)
        return SimpleLoad::NotSimple;

    // Ours from here on: a fault is a refusal, not a second opinion.
    const qint64 rows = height < 0 ? -height : height;
    if (width <= 0 || rows == 0 || width > kMaxSide || rows > kMaxSide || width * rows > kMaxPixels)
        return SimpleLoad::Invalid;
    const qint64 colors = bitCount == 8 ? (colorsUsed ? colorsUsed : 256) : 0;
    if (colors > 256)
        return SimpleLoad::Invalid;
    const qint64 paletteAt = 14 + headerSize;
    if (paletteAt + colors * 4 > headBytes)
        return SimpleLoad::Invalid;  // the colour table runs past the end of the file
    // Rows that overlap the header or colour table: Qt's reader has its own
    // reading of such a file, so it keeps deciding it.
    if (offBits < paletteAt + colors * 4)
        return SimpleLoad::NotSimple;
    const qint64 stride = (width * bitCount + 31) / 32 * 4;
    if (offBits > fileSize || stride * rows > fileSize - offBits)
        return SimpleLoad::Invalid;

    QImage::Format format = QImage::Format_BGR888;
    QList<QRgb> table;
    if (bitCount == 8) {
        bool grey = colors == 256;
        table.reserve(int(colors));
        for (int i = 0; i < colors; ++i) {
            const uchar *q = head + paletteAt + 4 * i;
            table.append(qRgb(q[2], q[1], q[0]));
            grey = grey && q[0] == i && q[1] == i && q[2] == i;
        }
        format = grey ? QImage::Format_Grayscale8 : QImage::Format_Indexed8;
    }
    QImage image = NewImage(int(width), int(rows), stride, format);
    if (image.isNull())
        return SimpleLoad::Invalid;  // no memory for it
    // BMP rows and QImage lines are both padded to four bytes.
    if (image.bytesPerLine() != stride)
        return SimpleLoad::NotSimple;
    error = ReadRows(fd, image, stride, offBits, height > 0);
    if (error)
        return error == kReadEnded ? SimpleLoad::Invalid : SimpleLoad::ReadFailed;
    if (format == QImage::Format_Indexed8)
        image.setColorTable(table);
    // As Qt's reader does; a value of 0 leaves the default.
    image.setDotsPerMeterX(qint32(Get32(head + 38)));
    image.setDotsPerMeterY(qint32(Get32(head + 42)));
    result = std::move(image);
    return SimpleLoad::Loaded;
}

} // namespace

void TBitmap::LoadFromFile(const QString &fileName) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw EPlatformError(QStringLiteral("Cannot open file \"%1\". %2").arg(fileName, file.errorString()));
    QImage simple;
    int error = 0;
    switch (LoadSimpleBitmap(file.handle(), simple, error)) {
    case SimpleLoad::Loaded:
        FImage = std::move(simple);
        return;
    case SimpleLoad::Invalid:
        throw EPlatformError(QStringLiteral("Bitmap image is not valid"));
    case SimpleLoad::ReadFailed:
        throw EPlatformError(QStringLiteral("Cannot read file \"%1\". %2").arg(fileName, SystemError(error)));
    case SimpleLoad::NotSimple:
        break;
    }
    QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw EPlatformError(QStringLiteral("Cannot read file \"%1\". %2").arg(fileName, file.errorString()));
    if (!PixelDataComplete(data))
        throw EPlatformError(QStringLiteral("Bitmap image is not valid"));
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    // The format is fixed: a bitmap object reads bitmap files only.
    QImageReader reader(&buffer, "bmp");
    reader.setDecideFormatFromContent(false);
    QImage image;
    if (!reader.read(&image) || image.isNull())
        throw EPlatformError(QStringLiteral("Bitmap image is not valid"));
    FImage = image;
}

void TBitmap::SaveToFile(const QString &fileName) const {
    QByteArray data;
    {
        QBuffer buffer(&data);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "bmp");
        if (FImage.isNull() || !writer.write(FImage))
            throw EPlatformError(QStringLiteral("Cannot write bitmap \"%1\": %2")
                                     .arg(fileName, FImage.isNull() ? QStringLiteral("the bitmap is empty")
                                                                    : writer.errorString()));
    }
    const QString error = WriteFileAtomically(fileName, data);
    if (!error.isEmpty())
        throw EPlatformError(QStringLiteral("Cannot create file \"%1\". %2").arg(fileName, error));
}

void TBitmap::SetSize(int width, int height) {
    if (width <= 0 || height <= 0) {
        FImage = QImage();
        return;
    }
    FImage = QImage(width, height, QImage::Format_RGB32);
    FImage.fill(Qt::white);
}

TBitmap CopyImage(const TBitmap &source, int width, int height) {
    const QImage &src = source.Image();
    if (src.isNull())
        return TBitmap();
    // A side of 0 (or less) keeps the source's length on that side.
    const int w = width > 0 ? width : src.width();
    const int h = height > 0 ? height : src.height();
    if (w == src.width() && h == src.height())
        return TBitmap(src.copy());
    return TBitmap(src.scaled(w, h, Qt::IgnoreAspectRatio, Qt::FastTransformation));
}
