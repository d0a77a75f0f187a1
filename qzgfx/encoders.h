// Writers of the output formats; each writes into an AtomicFile.
#pragma once

#include <cstdint>

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "decoder.h"
#include "fileio.h"
#include "image.h"

namespace qzgfx {

void writeBmp24(const Image &img, AtomicFile &out);

// Writes a 24-bit bitmap's rows on a thread of its own while the decoder
// is still producing the rest, so that writing costs next to nothing on top
// of decoding. Rows arrive top-down and land at their bottom-up places.
class StreamingBmpWriter final : public RowListener {
public:
    explicit StreamingBmpWriter(AtomicFile &out) : out_(out) {}
    ~StreamingBmpWriter() override { release(); }

    void rowsReady(const Image &image, int rowsDone) override;
    void release() noexcept override;
    // After decoding: true when img went out whole this way (the header is
    // then written too); false when nothing or not all of it was streamed,
    // and the caller writes it the ordinary way. Throws the writer's error.
    bool finish(const Image &img);

private:
    void run() noexcept;

    AtomicFile &out_;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable wake_;
    // The rows told about, kept as values: the Image object itself may be
    // moved from before finish().
    const uint8_t *pixels_ = nullptr;
    size_t stride_ = 0;
    int height_ = 0;
    int ready_ = 0, written_ = 0;
    bool released_ = false;
    std::string error_;
};
// An 8-bit palette bitmap; indices has rows of `stride` bytes, top-down, and
// palette holds `colors` entries of B, G, R, 0.
void writeBmp8(int width, int height, const uint8_t *indices, size_t stride,
               const uint8_t *palette, int colors, AtomicFile &out);
// Baseline JPEG, optimised Huffman tables, 4:2:0.
void writeJpeg(const Image &img, int quality, AtomicFile &out);
void writePng(const Image &img, AtomicFile &out);
void writePpm(const Image &img, AtomicFile &out);

}  // namespace qzgfx
