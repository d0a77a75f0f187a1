// JPEG through libjpeg-turbo's libjpeg API: DCT-domain scaling, EXIF
// orientation, and a premature end of data treated as the failure it is.
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>

#include <jpeglib.h>
#include <jerror.h>

#include "decoder.h"
#include "encoders.h"
#include "errors.h"
#include "picture_limits.h"

namespace qzgfx {

namespace {

// libjpeg reports errors by calling error_exit, which must not return; we
// longjmp back to the setjmp in the function that called libjpeg, which then
// throws. Everything that function changes after setjmp lives in a heap
// object, so nothing depends on registers restored by longjmp.
struct ErrorManager {
    jpeg_error_mgr pub;
    jmp_buf jump;
    char message[JMSG_LENGTH_MAX + 32];
};

void errorExit(j_common_ptr cinfo)
{
    auto *err = reinterpret_cast<ErrorManager *>(cinfo->err);
    char text[JMSG_LENGTH_MAX];
    (*cinfo->err->format_message)(cinfo, text);
    std::snprintf(err->message, sizeof err->message, "JPEG: %s", text);
    longjmp(err->jump, 1);
}

// Warnings libjpeg lets pass but that mean the picture is not all there.
void emitMessage(j_common_ptr cinfo, int level)
{
    if (level != -1)
        return;
    auto *err = reinterpret_cast<ErrorManager *>(cinfo->err);
    switch (cinfo->err->msg_code) {
    case JWRN_JPEG_EOF:
        std::snprintf(err->message, sizeof err->message, "truncated JPEG data");
        longjmp(err->jump, 1);
    case JWRN_HIT_MARKER:
    case JWRN_HUFF_BAD_CODE:
    case JWRN_ARITH_BAD_CODE:
    case JWRN_MUST_RESYNC:
        std::snprintf(err->message, sizeof err->message, "corrupt JPEG data");
        longjmp(err->jump, 1);
    default:
        break;  // extraneous bytes and the like: harmless, as every viewer treats them
    }
}

// A progressive file can repeat scans without end; each one costs a pass over
// the coefficients. 500 is far above what any encoder writes (libjpeg-turbo's
// own tools use the same bound).
constexpr int kMaxScans = 500;

void progressMonitor(j_common_ptr cinfo)
{
    if (!cinfo->is_decompressor)
        return;
    auto *d = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (d->input_scan_number > kMaxScans) {
        auto *err = reinterpret_cast<ErrorManager *>(cinfo->err);
        std::snprintf(err->message, sizeof err->message, "corrupt JPEG data: too many scans");
        longjmp(err->jump, 1);
    }
}

struct Decompress {
    jpeg_decompress_struct cinfo;
    ErrorManager err;
    jpeg_progress_mgr progress;
    bool created = false;
    Image image;
    Header header;
    std::unique_ptr<JSAMPROW[]> rows;
    std::unique_ptr<uint8_t[]> cmyk;

    Decompress()
    {
        std::memset(&cinfo, 0, sizeof cinfo);
        cinfo.err = jpeg_std_error(&err.pub);
        err.pub.error_exit = errorExit;
        err.pub.emit_message = emitMessage;
        err.message[0] = '\0';
        progress.progress_monitor = progressMonitor;
    }
    ~Decompress()
    {
        if (created)
            jpeg_destroy_decompress(&cinfo);
    }
};

// The EXIF orientation tag (0x0112) of IFD0, 0 when absent or unreadable.
int exifOrientation(const uint8_t *p, size_t n)
{
    if (n < 14 || std::memcmp(p, "Exif\0\0", 6) != 0)
        return 0;
    p += 6;
    n -= 6;
    bool le;
    if (p[0] == 'I' && p[1] == 'I')
        le = true;
    else if (p[0] == 'M' && p[1] == 'M')
        le = false;
    else
        return 0;
    auto u16 = [&](size_t o) { return le ? le16(p + o) : be16(p + o); };
    auto u32 = [&](size_t o) { return le ? le32(p + o) : be32(p + o); };
    size_t ifd = u32(4);
    if (ifd > n || n - ifd < 2)
        return 0;
    size_t count = u16(ifd);
    for (size_t i = 0; i < count; ++i) {
        size_t e = ifd + 2 + i * 12;
        if (e > n || n - e < 12)
            return 0;
        if (u16(e) == 0x0112) {
            // SHORT, stored in the first two bytes of the value field.
            int v = u16(e) == 0x0112 && u16(e + 2) == 3 ? u16(e + 8) : 0;
            return v >= 1 && v <= 8 ? v : 0;
        }
    }
    return 0;
}

// Reads the header into d (within d's setjmp scope).
void readHeaderInto(Decompress &d, Bytes data)
{
    jpeg_create_decompress(&d.cinfo);
    d.created = true;
    d.cinfo.progress = &d.progress;
    jpeg_mem_src(&d.cinfo, data.data, static_cast<unsigned long>(data.size));
    jpeg_save_markers(&d.cinfo, JPEG_APP0 + 1, 0xFFFF);
    jpeg_read_header(&d.cinfo, TRUE);
    Header &h = d.header;
    h.format = 2;
    h.width = int(d.cinfo.image_width);
    h.height = int(d.cinfo.image_height);
    h.bitsPerPixel = d.cinfo.num_components * 8;
    if (d.cinfo.saw_JFIF_marker && d.cinfo.X_density && d.cinfo.Y_density) {
        if (d.cinfo.density_unit == 1) {
            h.xdpi = d.cinfo.X_density;
            h.ydpi = d.cinfo.Y_density;
        } else if (d.cinfo.density_unit == 2) {
            h.xdpi = int(d.cinfo.X_density * 2.54 + 0.5);
            h.ydpi = int(d.cinfo.Y_density * 2.54 + 0.5);
        }
    }
    for (jpeg_saved_marker_ptr m = d.cinfo.marker_list; m; m = m->next)
        if (m->marker == JPEG_APP0 + 1 && (h.orientation = exifOrientation(m->data, m->data_length)))
            break;
}

class JpegDecoder final : public Decoder {
public:
    const char *name() const override { return "JPEG"; }

    bool sniff(Bytes data) const override
    {
        return data.size >= 3 && data.data[0] == 0xFF && data.data[1] == 0xD8 && data.data[2] == 0xFF;
    }

    Header readHeader(Bytes data) const override
    {
        auto d = std::make_unique<Decompress>();
        if (setjmp(d->err.jump))
            fail(d->err.message);
        readHeaderInto(*d, data);
        return d->header;
    }

    Image decode(Bytes data, const Header &, const DecodeOptions &options) const override
    {
        auto d = std::make_unique<Decompress>();
        if (setjmp(d->err.jump))
            fail(d->err.message);
        readHeaderInto(*d, data);
        checkLimits(d->header.width, d->header.height);
        jpeg_decompress_struct &c = d->cinfo;
        int scale = options.jpegScale < 0 ? 0 : options.jpegScale > 3 ? 3 : options.jpegScale;
        c.scale_num = 1;
        c.scale_denom = 1u << scale;
        bool cmyk = c.jpeg_color_space == JCS_CMYK || c.jpeg_color_space == JCS_YCCK;
        c.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGR;
        jpeg_calc_output_dimensions(&c);
        d->image = Image::allocate(int(c.output_width), int(c.output_height));
        jpeg_start_decompress(&c);
        Image &img = d->image;
        if (!cmyk) {
            // Hand libjpeg as many rows as it will take at a time.
            d->rows.reset(new JSAMPROW[img.height]);
            for (int y = 0; y < img.height; ++y)
                d->rows[y] = img.row(y);
            while (c.output_scanline < c.output_height)
                jpeg_read_scanlines(&c, d->rows.get() + c.output_scanline,
                                    c.output_height - c.output_scanline);
        } else {
            d->cmyk.reset(new uint8_t[size_t(img.width) * 4]);
            JSAMPROW row = d->cmyk.get();
            // Adobe writes CMYK inverted (0 = full ink); that is nearly every CMYK JPEG.
            const bool inverted = c.saw_Adobe_marker;
            while (c.output_scanline < c.output_height) {
                int y = int(c.output_scanline);
                jpeg_read_scanlines(&c, &row, 1);
                uint8_t *out = img.row(y);
                const uint8_t *in = row;
                for (int x = 0; x < img.width; ++x, in += 4, out += 3) {
                    unsigned C = in[0], M = in[1], Y = in[2], K = in[3];
                    if (!inverted) {
                        C = 255 - C; M = 255 - M; Y = 255 - Y; K = 255 - K;
                    }
                    out[0] = uint8_t((Y * K + 127) / 255);
                    out[1] = uint8_t((M * K + 127) / 255);
                    out[2] = uint8_t((C * K + 127) / 255);
                }
            }
        }
        jpeg_finish_decompress(&c);
        Image result = std::move(d->image);
        int orientation = d->header.orientation;
        d.reset();
        return applyOrientation(std::move(result), orientation);
    }
};

struct Compress {
    jpeg_compress_struct cinfo;
    ErrorManager err;
    bool created = false;
    unsigned char *buffer = nullptr;
    unsigned long size = 0;
    std::unique_ptr<JSAMPROW[]> rows;

    Compress()
    {
        std::memset(&cinfo, 0, sizeof cinfo);
        cinfo.err = jpeg_std_error(&err.pub);
        err.pub.error_exit = errorExit;
        err.message[0] = '\0';
    }
    ~Compress()
    {
        if (created)
            jpeg_destroy_compress(&cinfo);
        std::free(buffer);
    }
};

}  // namespace

const Decoder &jpegDecoder()
{
    static const JpegDecoder decoder;
    return decoder;
}

void writeJpeg(const Image &img, int quality, AtomicFile &out)
{
    auto e = std::make_unique<Compress>();
    if (setjmp(e->err.jump))
        fail(e->err.message);
    jpeg_compress_struct &c = e->cinfo;
    jpeg_create_compress(&c);
    e->created = true;
    jpeg_mem_dest(&c, &e->buffer, &e->size);
    c.image_width = JDIMENSION(img.width);
    c.image_height = JDIMENSION(img.height);
    c.input_components = 3;
    c.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, quality, TRUE);
    c.optimize_coding = TRUE;
    // 4:2:0, which jpeg_set_defaults chooses already; said here so that it stays.
    c.comp_info[0].h_samp_factor = 2;
    c.comp_info[0].v_samp_factor = 2;
    c.comp_info[1].h_samp_factor = c.comp_info[1].v_samp_factor = 1;
    c.comp_info[2].h_samp_factor = c.comp_info[2].v_samp_factor = 1;
    jpeg_start_compress(&c, TRUE);
    e->rows.reset(new JSAMPROW[img.height]);
    for (int y = 0; y < img.height; ++y)
        e->rows[y] = const_cast<JSAMPROW>(img.row(y));
    while (c.next_scanline < c.image_height)
        jpeg_write_scanlines(&c, e->rows.get() + c.next_scanline, c.image_height - c.next_scanline);
    jpeg_finish_compress(&c);
    out.write(e->buffer, e->size);
}

}  // namespace qzgfx
