#include "luma.h"

#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <memory>
#include <stdexcept>
#include <vector>

#include <jpeglib.h>

namespace ladder {

namespace {

std::vector<uint8_t> readAll(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot open " + path + ": " + std::strerror(errno));
    std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        throw std::runtime_error("cannot read " + path);
    return data;
}

uint32_t le32(const uint8_t *p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
uint16_t le16(const uint8_t *p) { return uint16_t(p[0] | p[1] << 8); }

// JFIF's Y in libjpeg's fixed point, so a grey value survives unchanged.
inline float lumaOf(unsigned r, unsigned g, unsigned b)
{
    constexpr uint32_t kR = 19595, kG = 38470, kB = 7471;  // 0.299, 0.587, 0.114 in 16.16
    return float((kR * r + kG * g + kB * b + 32768) >> 16);
}

}  // namespace

LumaPlane readBitmapLuma(const std::string &path)
{
    const std::vector<uint8_t> file = readAll(path);
    auto bad = [&](const char *why) { return std::runtime_error(path + ": not a usable bitmap (" + why + ")"); };
    if (file.size() < 54 || file[0] != 'B' || file[1] != 'M')
        throw bad("no BMP header");
    const uint32_t offset = le32(&file[10]);
    const uint32_t headerSize = le32(&file[14]);
    if (headerSize < 40 || 14 + uint64_t(headerSize) > file.size())
        throw bad("unknown header");
    const int32_t width = int32_t(le32(&file[18]));
    const int32_t rawHeight = int32_t(le32(&file[22]));
    const int bits = le16(&file[28]);
    const uint32_t compression = le32(&file[30]);
    if (width <= 0 || rawHeight == 0 || rawHeight == std::numeric_limits<int32_t>::min())
        throw bad("bad size");
    if (compression != 0 && !(compression == 3 && bits == 32))
        throw bad("compressed");
    const bool topDown = rawHeight < 0;
    const int64_t height = topDown ? -int64_t(rawHeight) : rawHeight;
    if (bits != 24 && bits != 32 && bits != 8)
        throw bad("unsupported depth");
    const uint64_t stride = (uint64_t(width) * uint64_t(bits) + 31) / 32 * 4;
    if (offset > file.size() || stride * uint64_t(height) > file.size() - offset)
        throw bad("truncated");

    uint8_t palette[256][3] = {};
    if (bits == 8) {
        uint32_t colors = le32(&file[46]);
        if (colors == 0 || colors > 256)
            colors = 256;
        const uint64_t start = 14 + uint64_t(headerSize);
        for (uint32_t i = 0; i < colors && start + 4 * i + 3 <= offset; ++i) {
            const uint8_t *p = &file[start + 4 * i];
            palette[i][0] = p[2];  // stored B, G, R
            palette[i][1] = p[1];
            palette[i][2] = p[0];
        }
    }

    LumaPlane plane;
    plane.width = width;
    plane.height = int(height);
    plane.pixels.resize(size_t(width) * size_t(height));
    for (int64_t y = 0; y < height; ++y) {
        const uint8_t *src = &file[offset + stride * uint64_t(topDown ? y : height - 1 - y)];
        float *dst = plane.row(int(y));
        if (bits == 8) {
            for (int32_t x = 0; x < width; ++x)
                dst[x] = lumaOf(palette[src[x]][0], palette[src[x]][1], palette[src[x]][2]);
        } else {
            const int step = bits / 8;
            for (int32_t x = 0; x < width; ++x, src += step)
                dst[x] = lumaOf(src[2], src[1], src[0]);
        }
    }
    return plane;
}

namespace {

struct ErrorJump {
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void onError(j_common_ptr cinfo)
{
    auto *err = reinterpret_cast<ErrorJump *>(cinfo->err);
    cinfo->err->format_message(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

void onWarning(j_common_ptr, int) {}

}  // namespace

// Runs one stretch of libjpeg calls; false when libjpeg reported an error.
// The stretch must own nothing that needs destroying: an error leaves it by
// longjmp.
template <class F>
bool guarded(ErrorJump &err, F &&stretch)
{
    if (setjmp(err.jump))
        return false;
    stretch();
    return true;
}

LumaPlane decodeJpegLuma(const std::string &path)
{
    const std::vector<uint8_t> file = readAll(path);
    jpeg_decompress_struct cinfo;
    ErrorJump err;
    cinfo.err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = onError;
    err.mgr.emit_message = onWarning;
    jpeg_create_decompress(&cinfo);
    auto fail = [&]() -> std::runtime_error {
        jpeg_destroy_decompress(&cinfo);
        return std::runtime_error(path + ": " + err.message);
    };
    if (!guarded(err, [&] {
            jpeg_mem_src(&cinfo, file.data(), (unsigned long)file.size());
            jpeg_read_header(&cinfo, TRUE);
            // Y alone: libjpeg then skips the colour planes' IDCT and upsampling.
            cinfo.out_color_space = JCS_GRAYSCALE;
            cinfo.dct_method = JDCT_ISLOW;
            jpeg_start_decompress(&cinfo);
        }))
        throw fail();

    LumaPlane plane;
    plane.width = int(cinfo.output_width);
    plane.height = int(cinfo.output_height);
    plane.pixels.resize(size_t(plane.width) * size_t(plane.height));
    constexpr int kBatch = 16;
    std::vector<JSAMPLE> buffer(size_t(plane.width) * kBatch);
    JSAMPROW lines[kBatch];
    for (int i = 0; i < kBatch; ++i)
        lines[i] = buffer.data() + size_t(i) * size_t(plane.width);
    if (!guarded(err, [&] {
            while (cinfo.output_scanline < cinfo.output_height) {
                const int y = int(cinfo.output_scanline);
                const int got = int(jpeg_read_scanlines(&cinfo, lines, kBatch));
                for (int i = 0; i < got; ++i) {
                    float *dst = plane.row(y + i);
                    for (int x = 0; x < plane.width; ++x)
                        dst[x] = lines[i][x];
                }
            }
            jpeg_finish_decompress(&cinfo);
        }))
        throw fail();
    jpeg_destroy_decompress(&cinfo);
    return plane;
}

}  // namespace ladder
