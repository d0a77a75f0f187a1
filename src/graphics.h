/*
 * graphics.h - the entry points of libqzgfx.so, the file-to-file picture
 * library, and the ImageInfo record they share with their callers.
 *
 * Compiles as C and as C++. Every entry point returns a 32-bit boolean
 * (nonzero = success), takes zero-terminated UTF-8 file names, never throws,
 * and is safe to call from several threads at once. On failure the reason is
 * kept per thread and read with _qz_last_error().
 *
 * Format codes (ImageInfo.Format after a read; the format argument of
 * _bmptoanys):
 *   1 BMP   2 JPEG   3 PNG   4 TIFF   5 GIF   6 WebP   7 PNM
 *   8 HEIC  9 AVIF  10 Photo CD (recognised, not read)
 * _bmptoanys writes codes 1 (24-bit BMP), 2 (baseline JPEG, optimised
 * Huffman tables, 4:2:0), 3 (PNG) and 7 (binary PPM).
 *
 * Photo CD codes (the fourth argument of the _anyto* calls): 0 default,
 * 1 192x128, 2 384x256, 3 768x512. Accepted and passed on; no Photo CD
 * reader exists yet.
 * JPEG scale codes (the fifth argument): 0 full size, 1 half, 2 quarter,
 * 3 eighth; decoded in the DCT domain, so the result is ceil(side / n).
 *
 * Limits: a picture whose width or height exceeds 65535, or whose area
 * exceeds 2^28 pixels (environment variable QZGFX_MAX_PIXELS overrides the
 * area), is refused from its header before any large allocation.
 *
 * Outputs are written to a temporary file beside the destination and renamed
 * into place; on failure the destination is untouched and the result false.
 * A symbolic link at the destination is replaced, never followed.
 *
 * Reading goes by the file's content, never its name. Alpha is composited
 * over white; JPEG EXIF orientation is applied (Width/Height are then the
 * upright size, SourceWidth/SourceHeight the stored one).
 * _bmptoanys and _bmpcrop take any readable picture as their bitmap; the
 * pixels of the bitmap last written or read are kept in memory while the
 * file is unchanged, so encoding one bitmap repeatedly reads it once.
 * _bmptoanys clamps the quality to 1..100. _bmpcrop clips the rectangle to
 * the picture and fails when nothing is left.
 *
 * Error texts (_qz_last_error) are short and name the cause, for example
 * "unsupported format", "picture too large: 70000 x 70000",
 * "truncated JPEG data", "cannot write /path: Permission denied".
 */
#ifndef VANTREL_GRAPHICS_H
#define VANTREL_GRAPHICS_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

enum {
    QZ_FORMAT_BMP = 1,
    QZ_FORMAT_JPEG = 2,
    QZ_FORMAT_PNG = 3,
    QZ_FORMAT_TIFF = 4,
    QZ_FORMAT_GIF = 5,
    QZ_FORMAT_WEBP = 6,
    QZ_FORMAT_PNM = 7,
    QZ_FORMAT_HEIC = 8,
    QZ_FORMAT_AVIF = 9,
    QZ_FORMAT_PCD = 10
};

/* The caller's record: zero it once, pass it to every call. A read fills it;
 * the other calls update Width/Height to what they wrote. */
typedef struct ImageInfo {
    int32_t Width;          /*   0: width of the picture written, in pixels */
    int32_t Height;         /*   4: height of the picture written */
    int32_t Format;         /*   8: format code of the source read */
    int32_t BitsPerPixel;   /*  12: bits per pixel of the source (e.g. 24, 8, 48) */
    int32_t SourceWidth;    /*  16: width stored in the source, before scaling/rotation */
    int32_t SourceHeight;   /*  20: height stored in the source */
    int32_t Orientation;    /*  24: EXIF orientation applied (1-8), 0 if none found */
    int32_t Colors;         /*  28: colours in the written palette, 0 for 24-bit */
    int32_t XDpi;           /*  32: resolution of the source, 0 if unknown */
    int32_t YDpi;           /*  36 */
    int32_t Quality;        /*  40: quality of the last JPEG written */
    int32_t FileSize;       /*  44: bytes of the last file written (low 32 bits) */
    uint8_t Reserved1[892 - 48];
    int32_t ReadFlags;      /* 892: input, set by the caller before a read; 0 = defaults */
    uint8_t Reserved2[1024 - 896];
} ImageInfo;

#ifdef __cplusplus
static_assert(sizeof(ImageInfo) == 1024, "ImageInfo is a 1024-byte record");
#else
_Static_assert(sizeof(ImageInfo) == 1024, "ImageInfo is a 1024-byte record");
#endif

#if defined(_WIN32)
#define QZGFX_CALL __cdecl
#else
#define QZGFX_CALL
#endif

int32_t QZGFX_CALL _anytobmps(const char *source, const char *bitmap, ImageInfo *info,
                              int32_t pcdCode, int32_t jpegScale);
int32_t QZGFX_CALL _anyto256(const char *source, const char *bitmap, ImageInfo *info,
                             int32_t pcdCode, int32_t jpegScale);
int32_t QZGFX_CALL _anytogrey(const char *source, const char *bitmap, ImageInfo *info,
                              int32_t pcdCode, int32_t jpegScale);
int32_t QZGFX_CALL _Pic_Valid(const char *fileName);
int32_t QZGFX_CALL _bmptoanys(const char *bitmap, const char *destination, ImageInfo *info,
                              int32_t format, int32_t quality);
int32_t QZGFX_CALL _bmpcrop(const char *source, const char *destination, ImageInfo *info,
                            int32_t x, int32_t y, int32_t width, int32_t height);
/* Why the last call on this thread failed; "" after a success. Never null. */
const char *QZGFX_CALL _qz_last_error(void);

/* Pointer types for run-time lookup (dlsym). */
typedef int32_t(QZGFX_CALL *TAnyToBmp)(const char *, const char *, ImageInfo *, int32_t, int32_t);
typedef int32_t(QZGFX_CALL *TPicValid)(const char *);
typedef int32_t(QZGFX_CALL *TBmpToAny)(const char *, const char *, ImageInfo *, int32_t, int32_t);
typedef int32_t(QZGFX_CALL *TBmpCrop)(const char *, const char *, ImageInfo *, int32_t, int32_t,
                                      int32_t, int32_t);
typedef const char *(QZGFX_CALL *TQzLastError)(void);

#ifdef __cplusplus
}
#endif

#endif /* VANTREL_GRAPHICS_H */
