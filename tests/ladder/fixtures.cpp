#include "fixtures.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "graphics.h"

namespace ladder_test {

void writePhotoBmp(const std::string &path, int width, int height, unsigned seed)
{
    const int stride = (width * 3 + 3) & ~3;
    std::vector<uint8_t> file(54 + size_t(stride) * size_t(height), 0);
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            file[at + size_t(i)] = uint8_t(v >> (8 * i));
    };
    file[0] = 'B';
    file[1] = 'M';
    put32(2, uint32_t(file.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, uint32_t(width));
    put32(22, uint32_t(height));
    file[26] = 1;
    file[28] = 24;
    put32(34, uint32_t(stride) * uint32_t(height));
    uint32_t state = seed * 2654435761u + 1;
    auto noise = [&] {
        state = state * 1664525u + 1013904223u;
        return int(state >> 24) % 17 - 8;
    };
    for (int y = 0; y < height; ++y) {
        uint8_t *row = &file[54 + size_t(stride) * size_t(height - 1 - y)];
        for (int x = 0; x < width; ++x) {
            const double fx = double(x) / width, fy = double(y) / height;
            // A sky, a disc with a hard edge and stripes of detail.
            double r = 90 + 120 * fy, g = 120 + 80 * fx, b = 200 - 100 * fy;
            const double dx = fx - 0.6, dy = fy - 0.55;
            if (dx * dx + dy * dy < 0.05) {
                r = 220 - 60 * fx;
                g = 90 + 40 * std::sin(30 * fx);
                b = 60;
            }
            if (fy > 0.75)
                g += 40 * std::sin(x * 0.7 + seed) * std::cos(y * 0.3);
            auto clamp = [](double v) { return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v); };
            row[3 * x + 0] = clamp(b + noise());
            row[3 * x + 1] = clamp(g + noise());
            row[3 * x + 2] = clamp(r + noise());
        }
    }
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char *>(file.data()), std::streamsize(file.size()));
}

void writePhoto(const std::string &path, int format, int width, int height, unsigned seed)
{
    const std::string bmp = path + ".src.bmp";
    writePhotoBmp(bmp, width, height, seed);
    if (format != QZ_FORMAT_BMP) {
        ImageInfo info{};
        ASSERT_TRUE(_bmptoanys(bmp.c_str(), path.c_str(), &info, format, 92)) << _qz_last_error();
        std::remove(bmp.c_str());
    } else {
        std::rename(bmp.c_str(), path.c_str());
    }
}

std::string readText(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeText(const std::string &path, const std::string &text)
{
    std::ofstream(path, std::ios::binary) << text;
}

Result runLadder(const std::vector<std::string> &args, const std::string &dir, bool unprivileged)
{
    // Outside the temporary folder the program works in, so that a test can
    // see that the program leaves that folder empty.
    std::string tmpl = (std::filesystem::temp_directory_path().parent_path() / "run-XXXXXX").string();
    if (!mkdtemp(tmpl.data()))
        throw std::runtime_error("mkdtemp");
    const std::string outFile = tmpl + "/out", errFile = tmpl + "/err";
    std::vector<std::string> argv;
    if (unprivileged)
        argv = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"};
    argv.push_back(LADDER_PROGRAM);
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char *> cargv;
    for (auto &a : argv)
        cargv.push_back(a.data());
    cargv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        const int out = open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int in = open("/dev/null", O_RDONLY);
        if (out < 0 || err < 0 || in < 0 || chdir(dir.c_str()) != 0)
            _exit(126);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        execv(cargv[0], cargv.data());
        _exit(127);
    }
    Result r;
    int status = 0;
    waitpid(pid, &status, 0);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    r.out = readText(outFile);
    r.err = readText(errFile);
    std::remove(outFile.c_str());
    std::remove(errFile.c_str());
    rmdir(tmpl.c_str());
    return r;
}

}  // namespace ladder_test
