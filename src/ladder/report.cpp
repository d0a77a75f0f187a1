#include "report.h"

#include <cmath>
#include <cstdio>

#include "graphics.h"

namespace ladder {

namespace {

std::string printf1(const char *fmt, double v)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, fmt, v);
    return buf;
}

double share(const PictureReport &r, const Rung &rung)
{
    return r.sourceSize > 0 ? double(rung.size) / double(r.sourceSize) : std::nan("");
}

double bitsPerPixel(const PictureReport &r, const Rung &rung)
{
    const double pixels = double(r.width) * double(r.height);
    return pixels > 0 ? double(rung.size) * 8.0 / pixels : std::nan("");
}

// JSON has no NaN or infinity: both become null.
std::string jsonNumber(const char *fmt, double v)
{
    return std::isfinite(v) ? printf1(fmt, v) : "null";
}

std::string ssimText(double v) { return std::isnan(v) ? "n/a" : printf1("%.4f", v); }
std::string psnrText(double v)
{
    if (std::isnan(v))
        return "n/a";
    return std::isinf(v) ? "inf" : printf1("%.2f", v);
}

}  // namespace

std::string formatName(int code)
{
    switch (code) {
    case QZ_FORMAT_BMP: return "BMP";
    case QZ_FORMAT_JPEG: return "JPEG";
    case QZ_FORMAT_PNG: return "PNG";
    case QZ_FORMAT_TIFF: return "TIFF";
    case QZ_FORMAT_GIF: return "GIF";
    case QZ_FORMAT_WEBP: return "WebP";
    case QZ_FORMAT_PNM: return "PNM";
    case QZ_FORMAT_HEIC: return "HEIC";
    case QZ_FORMAT_AVIF: return "AVIF";
    case QZ_FORMAT_PCD: return "Photo CD";
    default: return "unknown";
    }
}

std::string targetSentence(const PictureReport &r)
{
    const Target &t = r.target;
    const TargetResult &res = r.result;
    std::string want;
    if (t.hasSsim())
        want = "SSIM " + printf1("%.4g", t.minSsim);
    if (t.hasSize())
        want += (want.empty() ? "at most " : " within ") + std::to_string(t.maxSize) + " bytes";
    auto describe = [&](int q) {
        Rung rung;
        for (const Rung &x : r.rungs)
            if (x.quality == q)
                rung = x;
        std::string s = "quality " + std::to_string(q) + " (" + std::to_string(rung.size) + " bytes";
        if (!std::isnan(rung.ssim))
            s += ", SSIM " + ssimText(rung.ssim);
        return s + ")";
    };
    if (res.quality)
        return "target " + want + ": " + describe(res.quality);
    std::string s = "target " + want + ": no quality from " + std::to_string(kMinQuality) + " to " +
                    std::to_string(kMaxQuality) + " meets it";
    std::vector<std::string> why;
    if (t.hasSsim())
        why.push_back(res.lowestReachingSsim ? "SSIM " + printf1("%.4g", t.minSsim) + " needs " +
                                                   describe(res.lowestReachingSsim)
                                             : "even quality " + std::to_string(kMaxQuality) + " stays below SSIM " +
                                                   printf1("%.4g", t.minSsim));
    if (t.hasSize())
        why.push_back(res.highestWithinSize ? std::to_string(t.maxSize) + " bytes allow at most " +
                                                  describe(res.highestWithinSize)
                                            : "even quality " + std::to_string(kMinQuality) + " is larger than " +
                                                  std::to_string(t.maxSize) + " bytes");
    for (size_t i = 0; i < why.size(); ++i)
        s += (i ? "; " : ": ") + why[i];
    return s;
}

std::string formatText(const PictureReport &r, bool score)
{
    std::string out = r.file + ": " + std::to_string(r.width) + "x" + std::to_string(r.height) + " " +
                      formatName(r.format) + ", " + std::to_string(r.sourceSize) + " bytes\n";
    out += score ? "  quality        bytes    share      bpp    SSIM  PSNR dB\n"
                 : "  quality        bytes    share      bpp\n";
    for (const Rung &rung : r.rungs) {
        const bool chosen = r.searched && rung.quality == r.result.quality;
        char line[160];
        const double sh = share(r, rung), bpp = bitsPerPixel(r, rung);
        std::snprintf(line, sizeof line, "  %6d%c %12lld %7s%% %8s", rung.quality, chosen ? '*' : ' ',
                      static_cast<long long>(rung.size), std::isnan(sh) ? "n/a" : printf1("%.1f", sh * 100).c_str(),
                      std::isnan(bpp) ? "n/a" : printf1("%.3f", bpp).c_str());
        out += line;
        if (score) {
            std::snprintf(line, sizeof line, " %7s %8s", ssimText(rung.ssim).c_str(), psnrText(rung.psnr).c_str());
            out += line;
        }
        out += "\n";
    }
    if (r.searched)
        out += "  " + targetSentence(r) + "\n";
    for (const std::string &w : r.written)
        out += "  wrote " + w + "\n";
    return out;
}

std::string jsonString(const std::string &s)
{
    std::string out = "\"";
    const auto *p = reinterpret_cast<const unsigned char *>(s.data());
    const size_t n = s.size();
    for (size_t i = 0; i < n;) {
        const unsigned char c = p[i];
        if (c < 0x80) {
            switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\t': out += "\\t"; break;
            case '\r': out += "\\r"; break;
            default:
                if (c < 0x20) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", c);
                    out += buf;
                } else {
                    out += char(c);
                }
            }
            ++i;
            continue;
        }
        // A well-formed UTF-8 sequence passes; anything else is replaced.
        int len = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 0;
        bool good = len > 0 && i + size_t(len) <= n;
        uint32_t cp = good ? (c & (0x3F >> (len - 1))) : 0;
        for (int k = 1; good && k < len; ++k) {
            good = (p[i + k] & 0xC0) == 0x80;
            cp = cp << 6 | (p[i + k] & 0x3F);
        }
        if (good && ((len == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) ||
                     (len == 4 && (cp < 0x10000 || cp > 0x10FFFF))))
            good = false;
        if (good) {
            out.append(s, i, size_t(len));
            i += size_t(len);
        } else {
            out += "\xEF\xBF\xBD";
            ++i;
        }
    }
    return out + "\"";
}

std::string formatJson(const PictureReport &r, bool score)
{
    std::string o = "{\"file\": " + jsonString(r.file) + ", \"ok\": " + (r.ok ? "true" : "false");
    o += ", \"error\": " + (r.ok ? std::string("null") : jsonString(r.error));
    if (r.ok) {
        o += ", \"width\": " + std::to_string(r.width) + ", \"height\": " + std::to_string(r.height);
        o += ", \"format\": " + jsonString(formatName(r.format));
        o += ", \"source_size\": " + std::to_string(r.sourceSize);
        o += ", \"rungs\": [";
        for (size_t i = 0; i < r.rungs.size(); ++i) {
            const Rung &rung = r.rungs[i];
            o += i ? ", " : "";
            o += "{\"quality\": " + std::to_string(rung.quality) + ", \"size\": " + std::to_string(rung.size);
            o += ", \"share\": " + jsonNumber("%.6f", share(r, rung));
            o += ", \"bits_per_pixel\": " + jsonNumber("%.6f", bitsPerPixel(r, rung));
            if (score) {
                o += ", \"ssim\": " + jsonNumber("%.6f", rung.ssim);
                o += ", \"psnr\": " + jsonNumber("%.4f", rung.psnr);
            }
            o += "}";
        }
        o += "]";
        if (r.searched) {
            const Target &t = r.target;
            o += ", \"target\": {\"max_size\": " + (t.hasSize() ? std::to_string(t.maxSize) : "null");
            o += ", \"min_ssim\": " + (t.hasSsim() ? printf1("%.6g", t.minSsim) : "null");
            o += ", \"met\": " + std::string(r.result.quality ? "true" : "false");
            o += ", \"quality\": " + (r.result.quality ? std::to_string(r.result.quality) : "null");
            if (t.hasSize())
                o += ", \"highest_within_size\": " +
                     (r.result.highestWithinSize ? std::to_string(r.result.highestWithinSize) : "null");
            if (t.hasSsim())
                o += ", \"lowest_reaching_ssim\": " +
                     (r.result.lowestReachingSsim ? std::to_string(r.result.lowestReachingSsim) : "null");
            o += ", \"message\": " + jsonString(targetSentence(r)) + "}";
        } else {
            o += ", \"target\": null";
        }
    }
    o += ", \"written\": [";
    for (size_t i = 0; i < r.written.size(); ++i)
        o += (i ? ", " : "") + jsonString(r.written[i]);
    o += "], \"write_errors\": [";
    for (size_t i = 0; i < r.writeErrors.size(); ++i)
        o += (i ? ", " : "") + jsonString(r.writeErrors[i]);
    return o + "]}";
}

}  // namespace ladder
