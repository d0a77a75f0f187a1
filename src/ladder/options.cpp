#include "options.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <stdexcept>

namespace ladder {

namespace {

std::string lower(std::string s)
{
    for (char &c : s)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::optional<int> parseInt(const std::string &text)
{
    if (text.empty() || text.size() > 9 || !std::all_of(text.begin(), text.end(), ::isdigit))
        return std::nullopt;
    return std::stoi(text);
}

}  // namespace

std::optional<int64_t> parseSize(const std::string &text)
{
    size_t end = 0;
    while (end < text.size() && (std::isdigit(static_cast<unsigned char>(text[end])) || text[end] == '.'))
        ++end;
    const std::string number = text.substr(0, end);
    std::string unit = lower(text.substr(end));
    unit.erase(std::remove(unit.begin(), unit.end(), ' '), unit.end());
    if (number.empty() || std::count(number.begin(), number.end(), '.') > 1 || number == ".")
        return std::nullopt;
    double factor;
    if (unit.empty() || unit == "b")
        factor = 1;
    else if (unit == "k" || unit == "kb" || unit == "kib")
        factor = 1024;
    else if (unit == "m" || unit == "mb" || unit == "mib")
        factor = 1024.0 * 1024;
    else
        return std::nullopt;
    const double value = std::strtod(number.c_str(), nullptr) * factor;
    if (!std::isfinite(value) || value < 1 || value > 9.0e15)
        return std::nullopt;
    return int64_t(std::floor(value));
}

std::optional<std::vector<int>> parseQualities(const std::string &text)
{
    std::vector<int> out;
    size_t start = 0;
    while (start <= text.size()) {
        size_t comma = text.find(',', start);
        if (comma == std::string::npos)
            comma = text.size();
        std::string item = text.substr(start, comma - start);
        item.erase(std::remove(item.begin(), item.end(), ' '), item.end());
        const size_t dash = item.find('-');
        std::optional<int> a, b;
        if (dash == std::string::npos) {
            a = b = parseInt(item);
        } else {
            a = parseInt(item.substr(0, dash));
            b = parseInt(item.substr(dash + 1));
        }
        if (!a || !b || *a < 1 || *b > 100 || *a > *b)
            return std::nullopt;
        for (int q = *a; q <= *b; ++q)
            out.push_back(q);
        start = comma + 1;
    }
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    if (out.empty())
        return std::nullopt;
    return out;
}

Options parseOptions(const std::vector<std::string> &args)
{
    Options o;
    o.qualities = defaultQualities();
    bool all = false, listed = false, onlyInputs = false;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        if (onlyInputs || arg.empty() || arg[0] != '-' || arg == "-") {
            o.inputs.push_back(arg);
            continue;
        }
        if (arg == "--") {
            onlyInputs = true;
            continue;
        }
        std::string inlineValue;
        bool hasInline = false;
        if (arg.rfind("--", 0) == 0) {
            const size_t eq = arg.find('=');
            if (eq != std::string::npos) {
                inlineValue = arg.substr(eq + 1);
                arg = arg.substr(0, eq);
                hasInline = true;
            }
        }
        auto value = [&]() -> std::string {
            if (hasInline)
                return inlineValue;
            if (i + 1 >= args.size())
                throw std::invalid_argument(arg + " needs a value");
            return args[++i];
        };
        auto flag = [&] {
            if (hasInline)
                throw std::invalid_argument(arg + " takes no value");
        };
        if (arg == "-h" || arg == "--help") {
            flag();
            o.help = true;
        } else if (arg == "--version") {
            flag();
            o.version = true;
        } else if (arg == "-q" || arg == "--qualities") {
            const std::string v = value();
            auto q = parseQualities(v);
            if (!q)
                throw std::invalid_argument("bad quality list \"" + v +
                                            "\": give qualities 1 to 100 separated by commas, or ranges like 5-95");
            o.qualities = *q;
            listed = true;
        } else if (arg == "-a" || arg == "--all") {
            flag();
            all = true;
        } else if (arg == "-n" || arg == "--no-score") {
            flag();
            o.score = false;
        } else if (arg == "-s" || arg == "--target-size") {
            const std::string v = value();
            auto s = parseSize(v);
            if (!s)
                throw std::invalid_argument("bad size \"" + v + "\": give bytes, or a number with K, KB, M or MB");
            o.target.maxSize = *s;
        } else if (arg == "-m" || arg == "--min-ssim") {
            const std::string v = value();
            char *end = nullptr;
            const double s = std::strtod(v.c_str(), &end);
            if (v.empty() || *end != '\0' || !(s > 0 && s <= 1))
                throw std::invalid_argument("bad SSIM \"" + v + "\": give a number above 0 and at most 1");
            o.target.minSsim = s;
        } else if (arg == "-o" || arg == "--out") {
            o.outDir = value();
            if (o.outDir.empty())
                throw std::invalid_argument("--out needs a folder");
        } else if (arg == "-f" || arg == "--force") {
            flag();
            o.force = true;
        } else if (arg == "--json") {
            flag();
            o.json = true;
        } else if (arg == "-r" || arg == "--recursive") {
            flag();
            o.recursive = true;
        } else if (arg == "--threads") {
            const std::string v = value();
            auto n = parseInt(v);
            if (!n || *n < 1 || *n > 1024)
                throw std::invalid_argument("bad thread count \"" + v + "\"");
            o.threads = unsigned(*n);
        } else {
            throw std::invalid_argument("unknown option " + arg);
        }
    }
    if (o.help || o.version)
        return o;
    if (all && listed)
        throw std::invalid_argument("--qualities and --all choose the rungs both; give one");
    if (all)
        o.qualities = allQualities();
    o.qualitiesGiven = all || listed;
    if (!o.score && o.target.hasSsim())
        throw std::invalid_argument("--min-ssim needs the scores; drop --no-score");
    if (o.inputs.empty())
        throw std::invalid_argument("no picture given");
    return o;
}

std::string usageText()
{
    return R"(Usage: vantrel-ladder [OPTIONS] PICTURE...

Writes each picture as JPEG at a ladder of qualities, exactly as Vantrel's
window does (same library, same encoder settings), and prints for each rung
its quality, its size in bytes, the size as a share of the source file, bits
per pixel, and two scores of the luma against the source: SSIM (Gaussian
window 11, sigma 1.5, full resolution) and PSNR in dB (luma only).

Rungs:
  -q, --qualities LIST  qualities to write, 1 to 100: "10,20,35" or "5-95"
                        (default: the window's ladder 10,20,...,80)
  -a, --all             every quality of the window's slider, 5 to 95
  -n, --no-score        sizes only: leave SSIM and PSNR out (faster)

Targets (a search over 5..95 that assumes size and SSIM grow with quality):
  -s, --target-size SIZE  the highest quality whose file is at most SIZE;
                        SIZE in bytes, or with K/KB (1024) or M/MB (1024 K)
  -m, --min-ssim S      the lowest quality whose SSIM is at least S (0 < S <= 1)
                        Both together: the lowest quality that reaches S
                        within SIZE, or a clear "none".
                        The table then shows the qualities the search tried.

Output:
  -o, --out DIR         write the chosen file (with a target) or every rung
                        (without) to DIR as NAME-qQQ.jpg; DIR is created
  -f, --force           overwrite existing files in DIR (kept otherwise)
      --json            print the results as JSON (a PSNR of null means the
                        rung's luma equals the source's)
  -r, --recursive       read the pictures in the folders given, and below
      --threads N       use N threads (default: every core)
  -h, --help            this text
      --version         the program's version

Pictures are read in any format the graphics library reads. Errors go to
standard error and name the file; one bad picture does not stop the others.
Exit status: 0 all went well; 1 a picture or a file to write failed;
2 a bad command line; 3 no quality meets the target for some picture.
)";
}

}  // namespace ladder
