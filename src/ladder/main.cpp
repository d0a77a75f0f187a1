// vantrel-ladder: the window's quality ladder on the command line.
#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <optional>
#include <map>
#include <set>
#include <string>
#include <system_error>
#include <vector>

#include <malloc.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "graphics.h"
#include "ladder.h"
#include "options.h"
#include "output.h"
#include "pool.h"
#include "report.h"

#ifndef VANTREL_VERSION
#define VANTREL_VERSION "unknown"
#endif

namespace fs = std::filesystem;
using namespace ladder;

namespace {

constexpr const char *kProgram = "vantrel-ladder";

std::atomic<bool> interrupted{false};

void onSignal(int)
{
    interrupted = true;
    // A second Ctrl-C ends the program at once.
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
}

struct Input {
    std::string file;       // as the user will recognise it
    fs::path outStem;       // output name without "-qNN.jpg", relative to the output folder
    std::string error;      // set when the input cannot be a picture at all
    std::string sameNames = {};  // an earlier input whose outputs have this one's names
};

// Two pictures can map to the same output names (a.png and a.jpg). The
// first in the order of the inputs keeps them, whichever finishes first,
// and the other writes nothing rather than overwrite it.
void markSameNames(std::vector<Input> &inputs)
{
    std::map<std::string, std::string> owner;
    for (Input &in : inputs) {
        if (!in.error.empty())
            continue;
        const std::string key = in.outStem.lexically_normal().string();
        auto [it, fresh] = owner.emplace(key, in.file);
        if (!fresh)
            in.sameNames = it->second;
    }
}

bool looksLikePicture(const fs::path &p)
{
    static const std::set<std::string> known = {".jpg", ".jpeg", ".jpe", ".jfif", ".png", ".bmp", ".dib",
                                                ".tif", ".tiff", ".gif", ".webp", ".ppm", ".pgm", ".pbm",
                                                ".pnm", ".heic", ".heif", ".avif"};
    std::string ext = p.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return known.count(ext) > 0;
}

std::vector<Input> collectInputs(const Options &o)
{
    std::vector<Input> inputs;
    std::error_code ec;
    const fs::path outDir = o.outDir.empty() ? fs::path() : fs::weakly_canonical(o.outDir, ec);
    for (const std::string &given : o.inputs) {
        if (!fs::is_directory(given, ec)) {
            inputs.push_back({given, fs::path(given).stem(), ""});
            continue;
        }
        if (!o.recursive) {
            inputs.push_back({given, {}, "is a folder (use --recursive to read the pictures in it)"});
            continue;
        }
        std::vector<fs::path> found;
        fs::recursive_directory_iterator it(given, fs::directory_options::skip_permission_denied, ec), end;
        if (ec) {
            inputs.push_back({given, {}, "cannot read the folder: " + ec.message()});
            continue;
        }
        for (; it != end; it.increment(ec)) {
            if (ec)
                break;
            // Earlier outputs in the folder are no pictures to ladder again.
            if (!outDir.empty() && it->is_directory(ec) && fs::weakly_canonical(it->path(), ec) == outDir) {
                it.disable_recursion_pending();
                continue;
            }
            if (it->is_regular_file(ec) && looksLikePicture(it->path()))
                found.push_back(it->path());
        }
        if (ec) {
            inputs.push_back({given, {}, "cannot read the folder: " + ec.message()});
            continue;
        }
        if (found.empty()) {
            inputs.push_back({given, {}, "no pictures found in the folder"});
            continue;
        }
        std::sort(found.begin(), found.end());
        for (const fs::path &p : found) {
            const fs::path rel = p.lexically_relative(given);
            inputs.push_back({p.string(), rel.parent_path() / rel.stem(), ""});
        }
    }
    return inputs;
}

std::string temporaryBase()
{
    for (const char *name : {"TEMP", "TMP", "TMPDIR"}) {
        const char *v = std::getenv(name);
        if (v && *v)
            return v;
    }
    return "/tmp";
}

std::string twoDigits(int q)
{
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02d", q);
    return buf;
}

// Prints the reports in the order of the inputs as soon as each is ready,
// and keeps one progress line on a terminal's standard error.
class Printer {
public:
    Printer(size_t count, bool json, bool score)
        : slots_(count), json_(json), score_(score), progress_(::isatty(STDERR_FILENO) == 1), total_(count)
    {
        if (json_)
            std::fputs("{\"pictures\": [\n", stdout);
    }

    void started(const std::string &file)
    {
        std::lock_guard lock(mutex_);
        current_ = file;
        drawProgress();
    }

    // Messages to standard error, clear of the progress line.
    void error(const std::string &file, const std::string &message)
    {
        std::lock_guard lock(mutex_);
        clearProgress();
        std::fprintf(stderr, "%s: %s: %s\n", kProgram, file.c_str(), message.c_str());
        drawProgress();
    }

    void done(size_t index, PictureReport report)
    {
        std::lock_guard lock(mutex_);
        ++done_;
        slots_[index] = std::move(report);
        clearProgress();
        while (next_ < slots_.size() && slots_[next_]) {
            const PictureReport &r = *slots_[next_];
            if (json_) {
                std::fputs(printed_ ? ",\n  " : "  ", stdout);
                std::fputs(formatJson(r, score_).c_str(), stdout);
                ++printed_;
            } else if (r.ok) {
                if (printed_++)
                    std::fputs("\n", stdout);
                std::fputs(formatText(r, score_).c_str(), stdout);
            }
            slots_[next_].reset();
            ++next_;
        }
        std::fflush(stdout);
        drawProgress();
    }

    void finish(int failed, int unmet)
    {
        std::lock_guard lock(mutex_);
        clearProgress();
        progress_ = false;
        if (json_)
            std::printf("\n], \"failed\": %d, \"unmet\": %d}\n", failed, unmet);
        std::fflush(stdout);
    }

private:
    void clearProgress()
    {
        if (progress_)
            std::fputs("\r\033[K", stderr);
    }
    void drawProgress()
    {
        if (!progress_ || done_ >= total_)
            return;
        winsize ws{};
        const size_t columns = ::ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0 ? ws.ws_col : 80;
        std::string line = "\r\033[K[";
        line += std::to_string(done_);
        line += "/";
        line += std::to_string(total_);
        line += "] ";
        line += current_;
        // The four bytes of "\r\033[K" take no column; one column is left
        // free so that the terminal does not wrap.
        if (line.size() > columns + 3)
            line.resize(columns + 3);
        std::fputs(line.c_str(), stderr);
        std::fflush(stderr);
    }

    std::mutex mutex_;
    std::vector<std::optional<PictureReport>> slots_;
    size_t next_ = 0;
    int printed_ = 0;
    bool json_, score_, progress_;
    size_t total_, done_ = 0;
    std::string current_;
};

struct Run {
    const Options &options;
    ThreadPool &pool;
    Printer &printer;
    std::string workDir;
    std::atomic<int> failed{0}, unmet{0};
};

void writeOutputs(Run &run, const Input &in, PictureLadder &lad, PictureReport &report)
{
    const Options &o = run.options;
    std::vector<int> chosen;
    if (report.searched) {
        if (report.result.quality)
            chosen.push_back(report.result.quality);
    } else {
        chosen = o.qualities;
    }
    for (int q : chosen) {
        const fs::path dest = fs::path(o.outDir) / (in.outStem.string() + "-q" + twoDigits(q) + ".jpg");
        std::string error;
        std::error_code ec;
        if (!in.sameNames.empty())
            error = "not written: " + dest.string() + " has the name of a rung of " + in.sameNames;
        else if (fs::create_directories(dest.parent_path(), ec); ec)
            error = "cannot create " + dest.parent_path().string() + ": " + ec.message();
        else
            error = publishCopy(lad.rung(q).file, dest.string(), o.force);
        if (error.empty()) {
            report.written.push_back(dest.string());
        } else {
            report.writeErrors.push_back(error);
            run.printer.error(in.file, error);
        }
    }
}

void processPicture(Run &run, const Input &in, size_t index)
{
    const Options &o = run.options;
    PictureReport report;
    report.file = in.file;
    if (interrupted)
        return;
    run.printer.started(in.file);
    try {
        if (!in.error.empty())
            throw LadderError(in.error);
        PictureLadder lad(run.pool, in.file, run.workDir + "/" + std::to_string(index), o.score);
        lad.open();
        report.width = lad.info().Width;
        report.height = lad.info().Height;
        report.format = lad.info().Format;
        report.sourceSize = lad.sourceSize();
        if (o.target.hasSsim() && (report.width < 11 || report.height < 11))
            throw LadderError("too small for SSIM, which needs at least 11 x 11 pixels");
        if (!o.target.any() || o.qualitiesGiven)
            lad.evaluate(o.qualities);
        if (o.target.any()) {
            report.searched = true;
            report.target = o.target;
            report.result = lad.find(o.target);
        }
        report.rungs = lad.rungs();
        report.ok = true;
        if (!o.outDir.empty())
            writeOutputs(run, in, lad, report);
    } catch (const std::exception &e) {
        report.ok = false;
        report.error = e.what();
        run.printer.error(in.file, report.error);
    }
    if (!report.ok || !report.writeErrors.empty())
        ++run.failed;
    else if (report.searched && !report.result.quality) {
        ++run.unmet;
        run.printer.error(in.file, "no quality meets the target");
    }
    run.printer.done(index, std::move(report));
}

int usageError(const std::string &message)
{
    std::fprintf(stderr, "%s: %s\nTry '%s --help' for more.\n", kProgram, message.c_str(), kProgram);
    return 2;
}

}  // namespace

int main(int argc, char **argv)
{
#ifdef M_MMAP_THRESHOLD
    // Every rung allocates and frees the same large encoder buffers. Served
    // by mmap they are faulted in afresh each time, and each munmap stalls
    // the other threads; kept in the heap they are reused.
    mallopt(M_MMAP_THRESHOLD, 256 << 20);
    mallopt(M_TRIM_THRESHOLD, 512 << 20);
#endif
    Options options;
    try {
        options = parseOptions(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const std::exception &e) {
        return usageError(e.what());
    }
    if (options.help) {
        std::fputs(usageText().c_str(), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("%s %s\n", kProgram, VANTREL_VERSION);
        return 0;
    }

    if (!options.outDir.empty()) {
        const std::string why = prepareOutputFolder(options.outDir);
        if (!why.empty()) {
            std::fprintf(stderr, "%s: %s: %s\n", kProgram, options.outDir.c_str(), why.c_str());
            return 1;
        }
    }
    std::vector<Input> inputs = collectInputs(options);
    markSameNames(inputs);

    // The working bitmaps and rungs live in a folder only we can enter.
    std::string workDir = (fs::path(temporaryBase()) / "vantrel-ladder-XXXXXX").string();
    if (!::mkdtemp(workDir.data())) {
        std::fprintf(stderr, "%s: cannot make a working folder in %s: %s\n", kProgram, temporaryBase().c_str(),
                     std::strerror(errno));
        return 1;
    }

    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);

    int failed, unmet;
    {
        ThreadPool pool(options.threads ? options.threads - 1 : ThreadPool::defaultWorkers());
        Printer printer(inputs.size(), options.json, options.score);
        Run run{options, pool, printer, workDir};
        {
            // Pictures queue behind the rungs of those already open.
            TaskGroup pictures(pool, false);
            for (size_t i = 0; i < inputs.size(); ++i)
                pictures.run([&run, &inputs, i] { processPicture(run, inputs[i], i); });
            pictures.wait();
        }
        failed = run.failed;
        unmet = run.unmet;
        printer.finish(failed, unmet);
    }
    std::error_code ec;
    fs::remove_all(workDir, ec);
    if (interrupted) {
        std::fprintf(stderr, "%s: interrupted\n", kProgram);
        return 130;
    }
    return failed ? 1 : unmet ? 3 : 0;
}
