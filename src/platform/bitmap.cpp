// Windows BMP files through Qt's BMP reader and writer. The file is written
// whole into memory first and then to disk through a temporary file beside
// the target, checking every write, so a short write (a full disk, a file
// size limit) is an error and never a truncated file in place of the old one.
#include "platform/bitmap.h"

#include "platform/application.h"

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

} // namespace

void TBitmap::LoadFromFile(const QString &fileName) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw EPlatformError(QStringLiteral("Cannot open file \"%1\". %2").arg(fileName, file.errorString()));
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
