#include "ladder.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <unistd.h>

#include "luma.h"

namespace fs = std::filesystem;

namespace ladder {

std::vector<int> defaultQualities()
{
    return {10, 20, 30, 40, 50, 60, 70, 80};
}

std::vector<int> allQualities()
{
    std::vector<int> q;
    for (int i = kMinQuality; i <= kMaxQuality; ++i)
        q.push_back(i);
    return q;
}

PictureLadder::PictureLadder(ThreadPool &pool, std::string source, std::string workPrefix, bool score)
    : pool_(pool), source_(std::move(source)), prefix_(std::move(workPrefix)), score_(score)
{
    // The window's working bitmap is a bitmap whatever its name says; ours
    // says what it is.
    bitmap_ = prefix_ + ".bmp";
}

PictureLadder::~PictureLadder()
{
    ::unlink(bitmap_.c_str());
    for (auto &[q, r] : rungs_)
        ::unlink(r.file.c_str());
}

void PictureLadder::open()
{
    std::error_code ec;
    const auto size = fs::file_size(source_, ec);
    if (ec) {
        // The library's words for a missing or unreadable file are its own;
        // a folder is worth saying plainly.
        if (fs::is_directory(source_, ec))
            throw LadderError("is a folder (use --recursive to read the pictures in it)");
    }
    sourceSize_ = ec ? 0 : int64_t(size);
    info_ = ImageInfo{};
    if (!_anytobmps(source_.c_str(), bitmap_.c_str(), &info_, 0, 0))
        throw LadderError(_qz_last_error());
    if (score_) {
        try {
            sourceLuma_ = readBitmapLuma(bitmap_);
        } catch (const std::exception &e) {
            throw LadderError(std::string("reading the working bitmap: ") + e.what());
        }
    }
}

void PictureLadder::writeRung(int quality)
{
    Rung r;
    r.quality = quality;
    r.file = prefix_ + "-q" + std::to_string(quality) + ".jpg";
    // A record of its own per rung: the window's one record is updated by
    // each write, and the writes here run at once.
    ImageInfo info = info_;
    if (!_bmptoanys(bitmap_.c_str(), r.file.c_str(), &info, QZ_FORMAT_JPEG, quality))
        throw LadderError("writing quality " + std::to_string(quality) + ": " + _qz_last_error());
    std::error_code ec;
    const auto size = fs::file_size(r.file, ec);
    if (ec)
        throw LadderError("measuring quality " + std::to_string(quality) + ": " + ec.message());
    r.size = int64_t(size);
    if (score_) {
        LumaPlane luma;
        try {
            luma = decodeJpegLuma(r.file);
        } catch (const std::exception &e) {
            throw LadderError(std::string("decoding quality ") + std::to_string(quality) + ": " + e.what());
        }
        r.ssim = ssim(sourceLuma_, luma, [this](int count, const std::function<void(int)> &body) {
            parallelFor(pool_, count, body);
        });
        r.psnr = psnr(sourceLuma_, luma);
    }
    std::lock_guard lock(mutex_);
    rungs_[quality] = std::move(r);
}

void PictureLadder::evaluate(const std::vector<int> &qualities)
{
    std::vector<int> todo;
    {
        std::lock_guard lock(mutex_);
        for (int q : qualities)
            if (!rungs_.count(q) && std::find(todo.begin(), todo.end(), q) == todo.end())
                todo.push_back(q);
    }
    if (todo.empty())
        return;
    TaskGroup group(pool_);
    for (int q : todo)
        group.run([this, q] { writeRung(q); });
    group.wait();
}

std::vector<Rung> PictureLadder::rungs() const
{
    std::lock_guard lock(mutex_);
    std::vector<Rung> out;
    for (auto &[q, r] : rungs_)
        out.push_back(r);
    return out;
}

Rung PictureLadder::rung(int quality) const
{
    std::lock_guard lock(mutex_);
    auto it = rungs_.find(quality);
    return it == rungs_.end() ? Rung{} : it->second;
}

template <class Above>
int PictureLadder::boundary(int lo, int hi, Above above)
{
    while (lo <= hi) {
        const int n = hi - lo + 1;
        const int p = std::min<int>(n, int(pool_.concurrency()));
        std::vector<int> probes;
        for (int i = 0; i < p; ++i) {
            const int q = lo + (i + 1) * n / (p + 1);
            if (probes.empty() || probes.back() != q)
                probes.push_back(q);
        }
        evaluate(probes);
        int newLo = lo, newHi = hi;
        for (int q : probes) {
            if (above(rung(q))) {
                newHi = q - 1;
                break;
            }
            newLo = q + 1;
        }
        lo = newLo;
        hi = newHi;
    }
    return lo;
}

int PictureLadder::highestWithin(int64_t maxSize)
{
    const int q = boundary(kMinQuality, kMaxQuality, [&](const Rung &r) { return r.size > maxSize; }) - 1;
    return q < kMinQuality ? 0 : q;
}

int PictureLadder::lowestReaching(double minSsim)
{
    // NaN (a picture too small to score) reaches nothing.
    const int q = boundary(kMinQuality, kMaxQuality, [&](const Rung &r) { return r.ssim >= minSsim; });
    return q > kMaxQuality ? 0 : q;
}

TargetResult PictureLadder::find(const Target &target)
{
    TargetResult result;
    if (target.hasSsim())
        result.lowestReachingSsim = lowestReaching(target.minSsim);
    if (target.hasSize())
        result.highestWithinSize = highestWithin(target.maxSize);
    if (target.hasSsim() && target.hasSize()) {
        const int q = result.lowestReachingSsim;
        if (q != 0 && rung(q).size <= target.maxSize)
            result.quality = q;
    } else {
        result.quality = target.hasSsim() ? result.lowestReachingSsim : result.highestWithinSize;
    }
    return result;
}

}  // namespace ladder
