// CopyFile, DeleteFile, FileSizeOf and the path rules. The copy must leave
// the old target whole on every failure and never write through a link.
#include "platform/files.h"

#include "testenv.h"

#include <QString>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fstream>
#include <functional>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string ReadAll(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const fs::path &path, const std::string &bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

QString Q(const fs::path &path)
{
    return QString::fromStdString(path.string());
}

std::vector<std::string> Names(const fs::path &folder)
{
    std::vector<std::string> names;
    for (const auto &entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Some binary content with zeros and every byte value.
std::string Content(size_t size, unsigned seed)
{
    std::string s(size, '\0');
    for (size_t i = 0; i < size; ++i)
        s[i] = static_cast<char>((i * 131 + seed) & 0xff);
    return s;
}

// Runs fn in a child process; the child's exit code, or -1 when it died.
int InChild(const std::function<int()> &fn)
{
    const pid_t pid = fork();
    if (pid == 0)
        _exit(fn());
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

const int Nobody = 65534;
const int CannotDrop = 77;

class CopyFileTest : public IsolatedTest {
protected:
    fs::path dir() const { return env_.tmp(); }
};

} // namespace

TEST_F(CopyFileTest, CopiesToANewFileWithTheUsualPermissions)
{
    const std::string bytes = Content(300000, 1); // more than one buffer
    WriteBytes(dir() / "a.jpg", bytes);
    const mode_t old = umask(022);
    QString error = "untouched";
    EXPECT_TRUE(CopyFile(Q(dir() / "a.jpg"), Q(dir() / "b.jpg"), false, &error));
    umask(old);
    EXPECT_TRUE(error.isEmpty());
    EXPECT_EQ(ReadAll(dir() / "b.jpg"), bytes);
    struct stat st;
    ASSERT_EQ(stat((dir() / "b.jpg").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
    EXPECT_EQ(Names(dir()), (std::vector<std::string>{"a.jpg", "b.jpg"}));
}

TEST_F(CopyFileTest, OverwritesAndKeepsTheTargetsPermissions)
{
    WriteBytes(dir() / "a.jpg", "short");
    WriteBytes(dir() / "b.jpg", Content(5000, 2));
    chmod((dir() / "b.jpg").c_str(), 0640);
    EXPECT_TRUE(CopyFile(Q(dir() / "a.jpg"), Q(dir() / "b.jpg"), false));
    EXPECT_EQ(ReadAll(dir() / "b.jpg"), "short");
    struct stat st;
    ASSERT_EQ(stat((dir() / "b.jpg").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(Names(dir()), (std::vector<std::string>{"a.jpg", "b.jpg"}));
}

TEST_F(CopyFileTest, EmptySourceAndCopyOntoItself)
{
    WriteBytes(dir() / "empty", "");
    WriteBytes(dir() / "b", "old");
    EXPECT_TRUE(CopyFile(Q(dir() / "empty"), Q(dir() / "b"), false));
    EXPECT_EQ(ReadAll(dir() / "b"), "");

    WriteBytes(dir() / "self", "same bytes");
    EXPECT_TRUE(CopyFile(Q(dir() / "self"), Q(dir() / "self"), false));
    EXPECT_EQ(ReadAll(dir() / "self"), "same bytes");

    // A target name as long as a name may be.
    const std::string longName(255, 'n');
    EXPECT_TRUE(CopyFile(Q(dir() / "self"), Q(dir() / longName), false));
    EXPECT_EQ(ReadAll(dir() / longName), "same bytes");
}

TEST_F(CopyFileTest, FailuresLeaveTheOldTargetAndNoLeftovers)
{
    WriteBytes(dir() / "src", "new");
    fs::create_directory(dir() / "folder");
    WriteBytes(dir() / "target", "old target");
    struct Case {
        const char *what;
        fs::path source, target;
        bool failIfExists;
        int error;
    };
    const Case cases[] = {
        {"target is a folder", dir() / "src", dir() / "folder", false, EISDIR},
        {"missing source", dir() / "missing", dir() / "target", false, ENOENT},
        {"source is a folder", dir() / "folder", dir() / "target", false, EISDIR},
        {"target exists, failIfExists", dir() / "src", dir() / "target", true, EEXIST},
        {"target's folder missing", dir() / "src", dir() / "nowhere" / "t", false, ENOENT},
    };
    for (const Case &c : cases) {
        QString error;
        EXPECT_FALSE(CopyFile(Q(c.source), Q(c.target), c.failIfExists, &error)) << c.what;
        EXPECT_EQ(error.toStdString(), std::strerror(c.error)) << c.what;
        EXPECT_EQ(ReadAll(dir() / "target"), "old target") << c.what;
        EXPECT_TRUE(fs::is_empty(dir() / "folder")) << c.what;
        EXPECT_EQ(Names(dir()), (std::vector<std::string>{"folder", "src", "target"})) << c.what;
    }
    EXPECT_EQ(std::string(std::strerror(EISDIR)), "Is a directory");

    // failIfExists with no target copies.
    EXPECT_TRUE(CopyFile(Q(dir() / "src"), Q(dir() / "fresh"), true));
    EXPECT_EQ(ReadAll(dir() / "fresh"), "new");
}

TEST_F(CopyFileTest, LinkAtTheTargetIsReplacedNotFollowed)
{
    WriteBytes(dir() / "src", "new");
    WriteBytes(env_.root() / "victim", "someone's file");
    fs::create_symlink(env_.root() / "victim", dir() / "target");
    fs::create_symlink(env_.root() / "no-such", dir() / "dangling");

    EXPECT_TRUE(CopyFile(Q(dir() / "src"), Q(dir() / "target"), false));
    EXPECT_EQ(ReadAll(env_.root() / "victim"), "someone's file");
    EXPECT_FALSE(fs::is_symlink(dir() / "target"));
    EXPECT_EQ(ReadAll(dir() / "target"), "new");

    // A dangling link is something that exists: failIfExists refuses it and
    // nothing is created where it points.
    EXPECT_FALSE(CopyFile(Q(dir() / "src"), Q(dir() / "dangling"), true));
    EXPECT_FALSE(fs::exists(env_.root() / "no-such"));
    EXPECT_TRUE(CopyFile(Q(dir() / "src"), Q(dir() / "dangling"), false));
    EXPECT_FALSE(fs::exists(env_.root() / "no-such"));
    EXPECT_EQ(ReadAll(dir() / "dangling"), "new");
}

TEST_F(CopyFileTest, ShortWriteFailsAndKeepsTheOldTarget)
{
    // A file size limit makes the writes come up short, as a full disk does.
    WriteBytes(dir() / "src", Content(200000, 3));
    WriteBytes(dir() / "target", "old target");
    const std::string src = (dir() / "src").string(), target = (dir() / "target").string();
    const int code = InChild([&] {
        signal(SIGXFSZ, SIG_IGN);
        const struct rlimit limit = {70000, 70000};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0)
            return CannotDrop;
        QString error;
        if (CopyFile(QString::fromStdString(src), QString::fromStdString(target), false, &error))
            return 1;
        return error.toStdString() == std::strerror(EFBIG) ? 0 : 2;
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(ReadAll(dir() / "target"), "old target");
    EXPECT_EQ(Names(dir()), (std::vector<std::string>{"src", "target"}));
}

TEST_F(CopyFileTest, ReadOnlyFolderRefusesAndKeepsTheOldTarget)
{
    // Root ignores permission bits, so the copy runs as an unprivileged user.
    const fs::path ro = dir() / "ro";
    fs::create_directory(ro);
    WriteBytes(dir() / "src", "new");
    WriteBytes(ro / "target", "old target");
    const bool root = geteuid() == 0;
    if (root) {
        // The path down to the files must be open to that user.
        chmod(env_.root().c_str(), 0755);
        chmod(dir().c_str(), 0755);
        chmod((dir() / "src").c_str(), 0644);
        if (chown(ro.c_str(), Nobody, Nobody) != 0 || chown((ro / "target").c_str(), Nobody, Nobody) != 0)
            GTEST_SKIP() << "cannot hand the folder to an unprivileged user";
    }
    chmod((ro / "target").c_str(), 0644);
    chmod(ro.c_str(), 0555);
    const std::string src = (dir() / "src").string(), target = (ro / "target").string();
    const int code = InChild([&] {
        if (root && (setgroups(0, nullptr) != 0 || setresgid(Nobody, Nobody, Nobody) != 0 ||
                     setresuid(Nobody, Nobody, Nobody) != 0))
            return CannotDrop;
        QString error;
        if (CopyFile(QString::fromStdString(src), QString::fromStdString(target), false, &error))
            return 1;
        return error.toStdString() == std::strerror(EACCES) ? 0 : 2;
    });
    chmod(ro.c_str(), 0755);
    if (code == CannotDrop)
        GTEST_SKIP() << "cannot run as an unprivileged user";
    EXPECT_EQ(code, 0);
    EXPECT_EQ(ReadAll(ro / "target"), "old target");
    EXPECT_EQ(Names(ro), std::vector<std::string>{"target"});
}

TEST_F(CopyFileTest, DeleteFileAndFileSizeOf)
{
    WriteBytes(dir() / "f", Content(12345, 4));
    WriteBytes(dir() / "empty", "");
    fs::create_directory(dir() / "folder");
    EXPECT_EQ(FileSizeOf(Q(dir() / "f")), 12345);
    EXPECT_EQ(FileSizeOf(Q(dir() / "empty")), 0);
    EXPECT_EQ(FileSizeOf(Q(dir() / "missing")), -1);
    EXPECT_EQ(FileSizeOf(Q(dir() / "folder")), -1);
    EXPECT_EQ(FileSizeOf(QString()), -1);

    EXPECT_TRUE(DeleteFile(Q(dir() / "f")));
    EXPECT_FALSE(fs::exists(dir() / "f"));
    EXPECT_FALSE(DeleteFile(Q(dir() / "f")));
    EXPECT_FALSE(DeleteFile(Q(dir() / "folder")));
    EXPECT_TRUE(fs::exists(dir() / "folder"));
}

TEST(PathRules, SlashIsTheOnlySeparator)
{
    struct Case {
        const char *path, *name, *folder, *ext;
    };
    const Case cases[] = {
        {"/home/a/photo.jpg", "photo.jpg", "/home/a/", ".jpg"},
        {"/a/b.c/photo", "photo", "/a/b.c/", ""},
        {"c:\\photo.jpg", "c:\\photo.jpg", "", ".jpg"},
        {"/x/12:30.bmp", "12:30.bmp", "/x/", ".bmp"},
        {"/x/archive.tar.gz", "archive.tar.gz", "/x/", ".gz"},
        {"/x/.hidden", ".hidden", "/x/", ".hidden"},
        {"/x/", "", "/x/", ""},
        {"/", "", "/", ""},
        {"name", "name", "", ""},
        {"", "", "", ""},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(ExtractFileName(c.path), c.name) << c.path;
        EXPECT_EQ(ExtractFilePath(c.path), c.folder) << c.path;
        EXPECT_EQ(ExtractFileExt(c.path), c.ext) << c.path;
    }
    EXPECT_EQ(ChangeFileExt("/a/b.c/photo", "._tm"), "/a/b.c/photo._tm");
    EXPECT_EQ(ChangeFileExt("/a/photo.jpg", "._tm"), "/a/photo._tm");
    EXPECT_EQ(ChangeFileExt("/a/photo.jpg", ""), "/a/photo");
    EXPECT_EQ(IncludeTrailingPathDelimiter("/tmp"), "/tmp/");
    EXPECT_EQ(IncludeTrailingPathDelimiter("/tmp/"), "/tmp/");
    EXPECT_EQ(IncludeTrailingPathDelimiter("/"), "/");
    EXPECT_EQ(IncludeTrailingPathDelimiter(""), "");
}
