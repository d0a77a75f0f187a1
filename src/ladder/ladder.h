// One picture's quality ladder, file to file through the graphics library as
// the window does it: the picture is read once into a working bitmap, and
// each rung is that bitmap written as JPEG and measured as a file.
#pragma once

#include <cstdint>
#include <limits>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "graphics.h"
#include "pool.h"
#include "ssim.h"

namespace ladder {

constexpr int kMinQuality = 5;   // the window's slider
constexpr int kMaxQuality = 95;

// The window's ladder.
std::vector<int> defaultQualities();
// Every quality the slider offers.
std::vector<int> allQualities();

struct Rung {
    int quality = 0;
    int64_t size = 0;  // bytes of the file, measured as the window measures it
    double ssim = std::numeric_limits<double>::quiet_NaN();
    double psnr = std::numeric_limits<double>::quiet_NaN();
    std::string file;  // the rung's JPEG in the work folder
};

struct Target {
    int64_t maxSize = -1;                                     // bytes; -1: no budget
    double minSsim = std::numeric_limits<double>::quiet_NaN();  // NaN: no floor
    bool hasSize() const { return maxSize >= 0; }
    bool hasSsim() const { return minSsim == minSsim; }
    bool any() const { return hasSize() || hasSsim(); }
};

struct TargetResult {
    int quality = 0;             // the answer; 0 when no quality meets the target
    int highestWithinSize = 0;   // when a budget was given; 0: even the lowest is too big
    int lowestReachingSsim = 0;  // when a floor was given; 0: even the highest falls short
};

// Thrown for anything that stops a picture; what() is the reason.
struct LadderError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class PictureLadder {
public:
    // workPrefix: where this picture's working files go, a path prefix inside
    // a private folder ("/tmp/vantrel-ladder-XXXXXX/3").
    PictureLadder(ThreadPool &pool, std::string source, std::string workPrefix, bool score);
    ~PictureLadder();  // removes the working files
    PictureLadder(const PictureLadder &) = delete;
    PictureLadder &operator=(const PictureLadder &) = delete;

    // _anytobmps(source, bitmap, info, 0, 0), as the window opens a picture.
    void open();
    const ImageInfo &info() const { return info_; }
    int64_t sourceSize() const { return sourceSize_; }
    const std::string &bitmapFile() const { return bitmap_; }

    // Writes (and scores) the rungs not written yet, all at once on the pool.
    void evaluate(const std::vector<int> &qualities);
    // Every rung written so far, by quality.
    std::vector<Rung> rungs() const;
    Rung rung(int quality) const;

    // Searches 5..95 assuming size and SSIM grow with quality, probing
    // several qualities per step so that every thread has one.
    int highestWithin(int64_t maxSize);  // 0 if none
    int lowestReaching(double minSsim);  // 0 if none
    TargetResult find(const Target &target);

private:
    void writeRung(int quality);
    // Smallest q in [lo, hi] for which `above` holds (it holds from some q
    // on); hi + 1 when it holds nowhere.
    template <class Above>
    int boundary(int lo, int hi, Above above);

    ThreadPool &pool_;
    std::string source_;
    std::string prefix_;
    std::string bitmap_;
    bool score_;
    ImageInfo info_{};
    int64_t sourceSize_ = 0;
    LumaPlane sourceLuma_;
    mutable std::mutex mutex_;
    std::map<int, Rung> rungs_;
};

}  // namespace ladder
