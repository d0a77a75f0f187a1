// GIF through giflib: the first frame, on a white canvas of the logical
// screen's size; transparent pixels stay white.
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include <gif_lib.h>

#include "decoder.h"
#include "errors.h"
#include "picture_limits.h"

namespace qzgfx {

namespace {

struct Reader {
    Bytes data;
    size_t pos = 0;
};

int readFn(GifFileType *gif, GifByteType *buf, int len)
{
    auto *r = static_cast<Reader *>(gif->UserData);
    size_t n = std::min(size_t(len > 0 ? len : 0), r->data.size - r->pos);
    std::memcpy(buf, r->data.data + r->pos, n);
    r->pos += n;
    return int(n);
}

struct Gif {
    Reader reader;
    GifFileType *gif = nullptr;
    int transparent = -1;

    explicit Gif(Bytes data) : reader{data}
    {
        int err = 0;
        gif = DGifOpen(&reader, readFn, &err);
        if (!gif)
            raise(err);
    }
    ~Gif()
    {
        int err;
        if (gif)
            DGifCloseFile(gif, &err);
    }
    [[noreturn]] void raise(int code) const
    {
        if (code == D_GIF_ERR_READ_FAILED || code == D_GIF_ERR_EOF_TOO_SOON)
            fail("truncated GIF data");
        const char *m = GifErrorString(code);
        fail(std::string("GIF: ") + (m ? m : "corrupt data"));
    }
    [[noreturn]] void raise() const { raise(gif->Error); }

    // Walks the records up to the first image descriptor, keeping the
    // transparent colour of a graphic control extension on the way.
    void toFirstImage()
    {
        for (;;) {
            GifRecordType type;
            if (DGifGetRecordType(gif, &type) == GIF_ERROR)
                raise();
            if (type == IMAGE_DESC_RECORD_TYPE) {
                if (DGifGetImageDesc(gif) == GIF_ERROR)
                    raise();
                return;
            }
            if (type == TERMINATE_RECORD_TYPE)
                fail("GIF: no picture in the file");
            if (type == EXTENSION_RECORD_TYPE) {
                int code;
                GifByteType *ext;
                if (DGifGetExtension(gif, &code, &ext) == GIF_ERROR)
                    raise();
                if (code == GRAPHICS_EXT_FUNC_CODE && ext && ext[0] >= 4) {
                    GraphicsControlBlock gcb;
                    if (DGifExtensionToGCB(ext[0], ext + 1, &gcb) == GIF_OK)
                        transparent = gcb.TransparentColor;
                }
                while (ext) {
                    if (DGifGetExtensionNext(gif, &ext) == GIF_ERROR)
                        raise();
                }
            }
        }
    }

    // The canvas: the logical screen, grown to hold a frame that lies outside it.
    void canvas(int64_t &w, int64_t &h) const
    {
        const GifImageDesc &d = gif->Image;
        w = std::max<int64_t>(gif->SWidth, int64_t(d.Left) + d.Width);
        h = std::max<int64_t>(gif->SHeight, int64_t(d.Top) + d.Height);
    }
};

class GifDecoder final : public Decoder {
public:
    const char *name() const override { return "GIF"; }

    bool sniff(Bytes data) const override
    {
        return data.size >= 6 && (std::memcmp(data.data, "GIF87a", 6) == 0 || std::memcmp(data.data, "GIF89a", 6) == 0);
    }

    Header readHeader(Bytes data) const override
    {
        Gif g(data);
        g.toFirstImage();
        int64_t w, h;
        g.canvas(w, h);
        checkLimits(w, h);
        Header hd;
        hd.format = 5;
        hd.width = int(w);
        hd.height = int(h);
        hd.bitsPerPixel = 8;
        return hd;
    }

    Image decode(Bytes data, const Header &, const DecodeOptions &) const override
    {
        Gif g(data);
        g.toFirstImage();
        int64_t cw, ch;
        g.canvas(cw, ch);
        checkLimits(cw, ch);
        const GifImageDesc &d = g.gif->Image;
        const ColorMapObject *map = d.ColorMap ? d.ColorMap : g.gif->SColorMap;
        if (!map || !map->Colors)
            fail("GIF: no colour table");
        Image img = Image::allocate(int(cw), int(ch));
        for (int y = 0; y < img.height; ++y)
            std::memset(img.row(y), 255, size_t(img.width) * 3);
        if (d.Width <= 0 || d.Height <= 0)
            return img;
        std::unique_ptr<GifPixelType[]> line(new GifPixelType[size_t(d.Width)]);
        auto putLine = [&](int row) {
            uint8_t *o = img.row(d.Top + row) + size_t(d.Left) * 3;
            for (int x = 0; x < d.Width; ++x, o += 3) {
                int i = line[size_t(x)];
                if (i == g.transparent)
                    continue;
                if (i >= map->ColorCount) {
                    o[0] = o[1] = o[2] = 0;
                    continue;
                }
                o[0] = map->Colors[i].Blue;
                o[1] = map->Colors[i].Green;
                o[2] = map->Colors[i].Red;
            }
        };
        if (d.Interlace) {
            static const int start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
            for (int pass = 0; pass < 4; ++pass)
                for (int row = start[pass]; row < d.Height; row += step[pass]) {
                    if (DGifGetLine(g.gif, line.get(), d.Width) == GIF_ERROR)
                        g.raise();
                    putLine(row);
                }
        } else {
            for (int row = 0; row < d.Height; ++row) {
                if (DGifGetLine(g.gif, line.get(), d.Width) == GIF_ERROR)
                    g.raise();
                putLine(row);
            }
        }
        return img;
    }
};

}  // namespace

const Decoder &gifDecoder()
{
    static const GifDecoder decoder;
    return decoder;
}

}  // namespace qzgfx
