// Writing bitmaps: a header, then the rows bottom-up straight from the
// picture's memory (one writev, no copy).
#include <cstring>
#include <memory>
#include <vector>

#include "encoders.h"
#include "errors.h"

namespace qzgfx {

namespace {

void put16(uint8_t *p, uint32_t v) { p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); }
void put32(uint8_t *p, uint32_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

void fillHeader(uint8_t *h, int width, int height, int bpp, size_t paletteBytes, size_t imageBytes, int colors)
{
    std::memset(h, 0, 54);
    const size_t offset = 54 + paletteBytes;
    h[0] = 'B';
    h[1] = 'M';
    put32(h + 2, uint32_t(offset + imageBytes));
    put32(h + 10, uint32_t(offset));
    put32(h + 14, 40);
    put32(h + 18, uint32_t(width));
    put32(h + 22, uint32_t(height));  // positive: bottom-up, what every reader takes
    put16(h + 26, 1);
    put16(h + 28, uint16_t(bpp));
    put32(h + 34, uint32_t(imageBytes));
    put32(h + 46, uint32_t(colors));
}

void writeRows(AtomicFile &out, const uint8_t *header, size_t headerBytes, const uint8_t *rows,
               size_t stride, int height)
{
    std::vector<iovec> iov(size_t(height) + 1);
    iov[0] = {const_cast<uint8_t *>(header), headerBytes};
    for (int y = 0; y < height; ++y)
        iov[size_t(y) + 1] = {const_cast<uint8_t *>(rows + size_t(height - 1 - y) * stride), stride};
    out.writev(iov.data(), int(iov.size()));
}

}  // namespace

void writeBmp24(const Image &img, AtomicFile &out)
{
    uint8_t header[54];
    fillHeader(header, img.width, img.height, 24, 0, img.bytes(), 0);
    writeRows(out, header, sizeof header, img.pixels.get(), img.stride, img.height);
}

void StreamingBmpWriter::rowsReady(const Image &image, int rowsDone)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (released_ || (pixels_ && pixels_ != image.pixels.get()))
            return;
        pixels_ = image.pixels.get();
        stride_ = image.stride;
        height_ = image.height;
        ready_ = rowsDone;
    }
    if (!thread_.joinable())
        thread_ = std::thread([this] { run(); });
    wake_.notify_one();
}

void StreamingBmpWriter::run() noexcept
{
    std::unique_lock<std::mutex> lock(mutex_);
    std::vector<iovec> iov;
    for (;;) {
        wake_.wait(lock, [this] { return ready_ > written_ || released_; });
        if (ready_ <= written_ || !error_.empty())
            return;  // released with nothing left, or failed before
        const int from = written_, to = ready_;
        lock.unlock();
        // Rows from..to-1 fill one stretch of the file, last row first.
        iov.clear();
        for (int y = to - 1; y >= from; --y)
            iov.push_back({const_cast<uint8_t *>(pixels_ + size_t(y) * stride_), stride_});
        std::string failure;
        try {
            out_.pwritev(iov.data(), int(iov.size()), off_t(54 + size_t(height_ - to) * stride_));
        } catch (const std::exception &e) {
            failure = e.what();
        }
        lock.lock();
        written_ = to;
        if (!failure.empty()) {
            error_ = failure;
            return;
        }
    }
}

void StreamingBmpWriter::release() noexcept
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        released_ = true;
    }
    wake_.notify_one();
    if (thread_.joinable())
        thread_.join();
}

bool StreamingBmpWriter::finish(const Image &img)
{
    release();
    std::lock_guard<std::mutex> lock(mutex_);
    if (!error_.empty())
        fail(error_);
    if (!pixels_ || pixels_ != img.pixels.get() || written_ != img.height || height_ != img.height)
        return false;
    uint8_t header[54];
    fillHeader(header, img.width, img.height, 24, 0, img.bytes(), 0);
    iovec one{header, sizeof header};
    out_.pwritev(&one, 1, 0);
    return true;
}

void writeBmp8(int width, int height, const uint8_t *indices, size_t stride, const uint8_t *palette,
               int colors, AtomicFile &out)
{
    const size_t paletteBytes = size_t(colors) * 4;
    std::vector<uint8_t> header(54 + paletteBytes);
    fillHeader(header.data(), width, height, 8, paletteBytes, stride * size_t(height), colors);
    std::memcpy(header.data() + 54, palette, paletteBytes);
    writeRows(out, header.data(), header.size(), indices, stride, height);
}

}  // namespace qzgfx
