// One small interface per codec; the entry points dispatch on the content
// and never know a format themselves.
#pragma once

#include "fileio.h"
#include "image.h"

namespace qzgfx {

struct DecodeOptions {
    int jpegScale = 0;  // 0-3: 1, 1/2, 1/4, 1/8, JPEG only
    int pcdCode = 0;    // Photo CD resolution, passed on
};

class Decoder {
public:
    virtual ~Decoder() = default;
    virtual const char *name() const = 0;
    // True when the first bytes say the file is this decoder's format.
    virtual bool sniff(Bytes data) const = 0;
    // Reads only what is needed for the size and kind of the picture.
    virtual Header readHeader(Bytes data) const = 0;
    // Decodes the whole picture, upright, as BGR. The header has been read
    // and the limits checked before this is called.
    virtual Image decode(Bytes data, const Header &header, const DecodeOptions &options) const = 0;
};

// The decoder for this content; throws "unsupported format" when none claims it.
const Decoder &decoderFor(Bytes data);

// Each codec file provides one.
const Decoder &bmpDecoder();
const Decoder &jpegDecoder();
const Decoder &pngDecoder();
const Decoder &gifDecoder();
const Decoder &tiffDecoder();
const Decoder &webpDecoder();
const Decoder &heifDecoder();
const Decoder &pnmDecoder();
const Decoder &pcdDecoder();

// Little- and big-endian readers over a bounds-checked buffer.
inline uint16_t le16(const uint8_t *p) { return uint16_t(p[0] | (p[1] << 8)); }
inline uint32_t le32(const uint8_t *p)
{
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline uint16_t be16(const uint8_t *p) { return uint16_t((p[0] << 8) | p[1]); }
inline uint32_t be32(const uint8_t *p)
{
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

}  // namespace qzgfx
