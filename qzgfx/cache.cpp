#include "cache.h"

#include <algorithm>
#include <mutex>
#include <utility>

namespace qzgfx {

namespace {

// Two entries: the working bitmap, and one more so that a second caller
// (another window, another thread) does not evict it with every call.
constexpr int kEntries = 2;

struct Entry {
    FileIdentity id;
    std::shared_ptr<const Image> image;
    bool used = false;  // read back at least once
};

std::mutex mutex;
Entry entries[kEntries];  // most recently used first

}  // namespace

std::shared_ptr<const Image> cachedPixels(const FileIdentity &id)
{
    if (!id.valid)
        return nullptr;
    std::lock_guard<std::mutex> lock(mutex);
    for (int i = 0; i < kEntries; ++i) {
        if (entries[i].image && entries[i].id == id) {
            entries[i].used = true;
            std::rotate(entries, entries + i, entries + i + 1);
            return entries[0].image;
        }
    }
    return nullptr;
}

void rememberPixels(const FileIdentity &id, std::shared_ptr<const Image> image)
{
    if (!id.valid || !image)
        return;
    std::shared_ptr<const Image> dropped;  // freed outside the lock
    std::lock_guard<std::mutex> lock(mutex);
    // The slot to reuse: this file's own, else the oldest that was never
    // read back (the view's and thumbnails' bitmaps), else the oldest. So the
    // working bitmap survives the conversions that run between its encodes.
    int i = -1;
    for (int k = 0; k < kEntries && i < 0; ++k)
        if (entries[k].image && entries[k].id == id)
            i = k;
    for (int k = kEntries - 1; k >= 0 && i < 0; --k)
        if (!entries[k].image || !entries[k].used)
            i = k;
    if (i < 0)
        i = kEntries - 1;
    dropped = std::move(entries[i].image);
    std::rotate(entries, entries + i, entries + i + 1);
    entries[0] = {id, std::move(image), false};
}

}  // namespace qzgfx
