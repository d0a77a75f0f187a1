// vantrel-ladder run as a process: what a person or a script sees.
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include "fixtures.h"
#include "graphics.h"
#include "testenv.h"

namespace fs = std::filesystem;
using namespace ladder_test;

namespace {

class Cli : public IsolatedTest {
protected:
    void SetUp() override { dir_ = env_.root().string(); }
    std::string path(const std::string &name) const { return dir_ + "/" + name; }
    Result run(const std::vector<std::string> &args, bool unprivileged = false)
    {
        return runLadder(args, dir_, unprivileged);
    }
    QJsonObject json(const Result &r)
    {
        QJsonParseError error{};
        const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(r.out), &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString() << "\n" << r.out;
        return doc.object();
    }
    // The bytes the window would save for this picture and quality.
    std::string windowFile(const std::string &picture, int quality)
    {
        ImageInfo info{};
        const std::string bitmap = path("window.bmp"), jpeg = path("window.jpg");
        EXPECT_TRUE(_anytobmps(picture.c_str(), bitmap.c_str(), &info, 0, 0));
        EXPECT_TRUE(_bmptoanys(bitmap.c_str(), jpeg.c_str(), &info, 2, quality));
        const std::string bytes = readText(jpeg);
        fs::remove(bitmap);
        fs::remove(jpeg);
        return bytes;
    }
    bool workFolderEmpty() const { return fs::is_empty(env_.tmp()); }

    std::string dir_;
};

std::vector<std::string> lines(const std::string &text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);)
        out.push_back(l);
    return out;
}

}  // namespace

TEST_F(Cli, TableForASyntheticPicture)
{
    writePhoto(path("photo.jpg"), QZ_FORMAT_JPEG, 320, 240);
    const auto source = fs::file_size(path("photo.jpg"));
    const Result r = run({"photo.jpg"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const auto text = lines(r.out);
    ASSERT_EQ(text.size(), 10u) << r.out;
    EXPECT_EQ(text[0], "photo.jpg: 320x240 JPEG, " + std::to_string(source) + " bytes");
    EXPECT_NE(text[1].find("SSIM"), std::string::npos);
    const std::regex row(R"(\s+(\d+)\s+(\d+)\s+([\d.]+)%\s+([\d.]+)\s+([\d.]+)\s+([\d.]+))");
    long previous = 0;
    for (int i = 0; i < 8; ++i) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(text[2 + i], m, row)) << text[2 + i];
        const int quality = std::stoi(m[1]);
        const long size = std::stol(m[2]);
        EXPECT_EQ(quality, 10 * (i + 1));
        EXPECT_EQ(size, long(windowFile(path("photo.jpg"), quality).size()));
        EXPECT_GT(size, previous);
        EXPECT_NEAR(std::stod(m[3]), 100.0 * size / source, 0.051);
        EXPECT_NEAR(std::stod(m[4]), size * 8.0 / (320 * 240), 0.0006);
        EXPECT_GT(std::stod(m[5]), 0.5);
        EXPECT_LT(std::stod(m[5]), 1.0);
        EXPECT_GT(std::stod(m[6]), 20.0);
        previous = size;
    }
    EXPECT_TRUE(workFolderEmpty());

    const Result bare = run({"--no-score", "--qualities", "15,85", "photo.jpg"});
    ASSERT_EQ(bare.status, 0) << bare.err;
    const auto bareText = lines(bare.out);
    ASSERT_EQ(bareText.size(), 4u) << bare.out;
    EXPECT_EQ(bareText[1].find("SSIM"), std::string::npos);
    EXPECT_EQ(bareText[2].find("15"), 2 + 4u);
}

TEST_F(Cli, JsonIsValidAndComplete)
{
    writePhoto(path("a.png"), QZ_FORMAT_PNG, 120, 90, 1);
    writePhoto(path("b \"q\".jpg"), QZ_FORMAT_JPEG, 64, 48, 2);
    writeText(path("broken.jpg"), "\xFF\xD8\xFF garbage");
    const Result r = run({"--json", "a.png", "broken.jpg", "b \"q\".jpg"});
    EXPECT_EQ(r.status, 1);
    const QJsonObject root = json(r);
    EXPECT_EQ(root["failed"].toInt(), 1);
    EXPECT_EQ(root["unmet"].toInt(), 0);
    const QJsonArray pictures = root["pictures"].toArray();
    ASSERT_EQ(pictures.size(), 3);
    const QStringList order{"a.png", "broken.jpg", "b \"q\".jpg"};
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(pictures[i].toObject()["file"].toString(), order[i]);

    const QJsonObject a = pictures[0].toObject();
    EXPECT_TRUE(a["ok"].toBool());
    EXPECT_TRUE(a["error"].isNull());
    EXPECT_EQ(a["width"].toInt(), 120);
    EXPECT_EQ(a["height"].toInt(), 90);
    EXPECT_EQ(a["format"].toString(), "PNG");
    EXPECT_EQ(a["source_size"].toInteger(), qint64(fs::file_size(path("a.png"))));
    EXPECT_TRUE(a["target"].isNull());
    const QJsonArray rungs = a["rungs"].toArray();
    ASSERT_EQ(rungs.size(), 8);
    for (int i = 0; i < 8; ++i) {
        const QJsonObject rung = rungs[i].toObject();
        const int q = 10 * (i + 1);
        EXPECT_EQ(rung["quality"].toInt(), q);
        const qint64 size = rung["size"].toInteger();
        EXPECT_EQ(size, qint64(windowFile(path("a.png"), q).size()));
        EXPECT_NEAR(rung["share"].toDouble(), double(size) / a["source_size"].toDouble(), 1e-6);
        EXPECT_NEAR(rung["bits_per_pixel"].toDouble(), size * 8.0 / (120 * 90), 1e-6);
        EXPECT_TRUE(rung["ssim"].isDouble());
        EXPECT_TRUE(rung["psnr"].isDouble());
    }

    const QJsonObject broken = pictures[1].toObject();
    EXPECT_FALSE(broken["ok"].toBool());
    EXPECT_FALSE(broken["error"].toString().isEmpty());
    EXPECT_NE(r.err.find("broken.jpg: "), std::string::npos) << r.err;
    EXPECT_TRUE(pictures[2].toObject()["ok"].toBool());

    const Result bare = run({"--json", "--no-score", "a.png"});
    const QJsonObject rung = json(bare)["pictures"].toArray()[0].toObject()["rungs"].toArray()[0].toObject();
    EXPECT_FALSE(rung.contains("ssim"));
    EXPECT_FALSE(rung.contains("psnr"));
}

TEST_F(Cli, BadPicturesFailClearlyAndOthersGoOn)
{
    writePhoto(path("good.jpg"), QZ_FORMAT_JPEG, 100, 80);
    const std::string good = readText(path("good.jpg"));
    writeText(path("cut.jpg"), good.substr(0, good.size() / 3));
    writeText(path("text.jpg"), "hello");
    fs::create_directories(path("folder"));
    struct Case {
        const char *file;
        const char *reason;  // a part of the message, "" for any
    } cases[] = {{"missing.jpg", ""}, {"text.jpg", ""}, {"cut.jpg", ""}, {"folder", "--recursive"}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.file);
        const Result r = run({c.file, "good.jpg"});
        EXPECT_EQ(r.status, 1);
        const std::string prefix = std::string("vantrel-ladder: ") + c.file + ": ";
        ASSERT_EQ(r.err.rfind(prefix, 0), 0u) << r.err;
        EXPECT_GT(r.err.size(), prefix.size() + 3) << "a reason follows the name";
        EXPECT_NE(r.err.find(c.reason), std::string::npos) << r.err;
        EXPECT_EQ(r.out.rfind("good.jpg: 100x80", 0), 0u) << r.out;
        EXPECT_TRUE(workFolderEmpty());
    }
}

TEST_F(Cli, CommandLineMistakesExitWithTwo)
{
    for (auto args : std::vector<std::vector<std::string>>{
             {}, {"--target-size", "lots", "x.jpg"}, {"--no-score", "--min-ssim", "0.9", "x.jpg"}, {"--frobnicate"}}) {
        const Result r = run(args);
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find("--help"), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
    }
    const Result help = run({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("PSNR"), std::string::npos);
    EXPECT_NE(help.out.find("luma"), std::string::npos);
}

TEST_F(Cli, OutWritesEveryRungAsTheWindowWouldSaveIt)
{
    writePhoto(path("pic.png"), QZ_FORMAT_PNG, 90, 70);
    const Result r = run({"--no-score", "--out", "out/sub", "pic.png"});
    ASSERT_EQ(r.status, 0) << r.err;
    for (int q = 10; q <= 80; q += 10) {
        const std::string file = path("out/sub/pic-q" + std::to_string(q) + ".jpg");
        ASSERT_TRUE(fs::exists(file)) << file;
        EXPECT_EQ(readText(file), windowFile(path("pic.png"), q)) << file;
        EXPECT_EQ(fs::status(file).permissions() & fs::perms::others_read, fs::perms::others_read)
            << "outputs get the umask's modes, not a temporary file's";
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(path("out/sub")), fs::directory_iterator()), 8);
}

TEST_F(Cli, ExistingFilesAreKeptWithoutForce)
{
    writePhoto(path("pic.jpg"), QZ_FORMAT_JPEG, 90, 70);
    fs::create_directories(path("out"));
    writeText(path("out/pic-q50.jpg"), "mine");
    const Result kept = run({"--qualities", "40,50", "--out", "out", "pic.jpg"});
    EXPECT_EQ(kept.status, 1);
    EXPECT_NE(kept.err.find("out/pic-q50.jpg exists (use --force"), std::string::npos) << kept.err;
    EXPECT_EQ(readText(path("out/pic-q50.jpg")), "mine");
    EXPECT_TRUE(fs::exists(path("out/pic-q40.jpg"))) << "the other rungs are still written";

    const Result forced = run({"--qualities", "40,50", "--out", "out", "--force", "pic.jpg"});
    EXPECT_EQ(forced.status, 0) << forced.err;
    EXPECT_EQ(readText(path("out/pic-q50.jpg")), windowFile(path("pic.jpg"), 50));
    EXPECT_EQ(std::distance(fs::directory_iterator(path("out")), fs::directory_iterator()), 2)
        << "no temporary files are left";
}

TEST_F(Cli, UnwritableOutputFoldersAreReported)
{
    writePhoto(path("pic.jpg"), QZ_FORMAT_JPEG, 60, 40);
    writeText(path("plainfile"), "x");
    const Result notFolder = run({"--out", "plainfile/x", "pic.jpg"});
    EXPECT_EQ(notFolder.status, 1);
    EXPECT_EQ(notFolder.err.rfind("vantrel-ladder: plainfile/x: ", 0), 0u) << notFolder.err;

    if (access("/usr/bin/setpriv", X_OK) != 0)
        GTEST_SKIP() << "setpriv is needed to run as an unprivileged user";
    // Let the unprivileged run reach the picture and make its working folder.
    chmod(dir_.c_str(), 0755);
    chmod(env_.tmp().c_str(), 01777);
    fs::create_directories(path("locked"));
    chmod(path("locked").c_str(), 0755);
    const Result r = run({"--out", "locked", "pic.jpg"}, true);
    if (r.status == 126 || r.status == 127)
        GTEST_SKIP() << "cannot run as an unprivileged user here";
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind("vantrel-ladder: locked: ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find("ermission denied"), std::string::npos) << r.err;
    EXPECT_TRUE(fs::is_empty(path("locked")));
}

TEST_F(Cli, TargetsChooseOneFileOrSayNoneDoes)
{
    writePhoto(path("pic.jpg"), QZ_FORMAT_JPEG, 160, 120, 4);
    const long q40 = long(windowFile(path("pic.jpg"), 40).size());
    const long q41 = long(windowFile(path("pic.jpg"), 41).size());
    ASSERT_LT(q40, q41);
    const Result r = run({"--json", "--target-size", std::to_string(q41 - 1), "--out", "out", "pic.jpg"});
    ASSERT_EQ(r.status, 0) << r.err;
    const QJsonObject pic = json(r)["pictures"].toArray()[0].toObject();
    EXPECT_EQ(pic["target"].toObject()["quality"].toInt(), 40);
    EXPECT_TRUE(pic["target"].toObject()["met"].toBool());
    EXPECT_EQ(pic["written"].toArray().size(), 1);
    EXPECT_EQ(readText(path("out/pic-q40.jpg")), windowFile(path("pic.jpg"), 40));

    const Result text = run({"--target-size", std::to_string(q41 - 1), "pic.jpg"});
    EXPECT_NE(text.out.find("      40* "), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("quality 40 (" + std::to_string(q40) + " bytes"), std::string::npos) << text.out;

    const Result none = run({"--target-size", "100", "--min-ssim", "0.9", "--out", "out2", "pic.jpg"});
    EXPECT_EQ(none.status, 3);
    EXPECT_NE(none.out.find("no quality from 5 to 95 meets it"), std::string::npos) << none.out;
    EXPECT_NE(none.err.find("pic.jpg: no quality meets the target"), std::string::npos) << none.err;
    EXPECT_TRUE(fs::is_empty(path("out2")));

    writePhoto(path("tiny.png"), QZ_FORMAT_PNG, 8, 20);
    const Result tiny = run({"--min-ssim", "0.9", "tiny.png"});
    EXPECT_EQ(tiny.status, 1);
    EXPECT_NE(tiny.err.find("tiny.png: too small for SSIM"), std::string::npos) << tiny.err;
}

TEST_F(Cli, FoldersWithRecursive)
{
    fs::create_directories(path("shots/2024"));
    writePhoto(path("shots/a.jpg"), QZ_FORMAT_JPEG, 64, 48, 1);
    writePhoto(path("shots/a.png"), QZ_FORMAT_PNG, 64, 48, 2);
    writePhoto(path("shots/2024/b.jpg"), QZ_FORMAT_JPEG, 64, 48, 3);
    writeText(path("shots/readme.txt"), "not a picture");
    const Result r = run({"--json", "--recursive", "--qualities", "50", "--out", "out", "shots"});
    EXPECT_EQ(r.status, 1) << "a.jpg and a.png both want out/a-q50.jpg";
    const QJsonArray pictures = json(r)["pictures"].toArray();
    ASSERT_EQ(pictures.size(), 3);
    EXPECT_TRUE(fs::exists(path("out/a-q50.jpg")));
    EXPECT_TRUE(fs::exists(path("out/2024/b-q50.jpg")));
    EXPECT_NE(r.err.find("shots/a.png: not written: out/a-q50.jpg has the name of a rung of shots/a.jpg"), std::string::npos) << r.err;
    EXPECT_EQ(readText(path("out/a-q50.jpg")), windowFile(path("shots/a.jpg"), 50));
}
