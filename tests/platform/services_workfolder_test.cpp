// TWorkFolder: a private folder per running program, TEMP pointed at it,
// removed at the end; folders of programs that died are swept, those of
// running programs never.
#include "platform/application.h"
#include "platform/workfolder.h"

#include "testenv.h"

#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

fs::path P(const QString &path)
{
    return fs::path(path.toStdString());
}

void Touch(const fs::path &path, const std::string &text = "x")
{
    std::ofstream(path) << text;
}

// A folder as a program that died leaves it: its lock file, held by no one.
fs::path MakeStale(const fs::path &parent, const std::string &name)
{
    const fs::path folder = parent / name;
    fs::create_directory(folder);
    Touch(folder / ".lock", "");
    fs::create_directory(folder / "sub");
    Touch(folder / "temp00.jpg");
    Touch(folder / "sub" / "f");
    return folder;
}

class WorkFolderTest : public IsolatedTest {};

} // namespace

TEST_F(WorkFolderTest, PrivateFolderInTempSetAsTempAndRemovedAtTheEnd)
{
    const std::string before = std::getenv("TEMP");
    fs::path path;
    {
        TWorkFolder work;
        path = P(work.Path());
        EXPECT_EQ(path.parent_path(), env_.tmp());
        EXPECT_EQ(path.filename().string().rfind("vantrel-", 0), 0u) << path;
        EXPECT_FALSE(work.Path().endsWith('/'));
        struct stat st;
        ASSERT_EQ(lstat(path.c_str(), &st), 0);
        EXPECT_TRUE(S_ISDIR(st.st_mode));
        EXPECT_EQ(st.st_mode & 07777, 0700u);
        EXPECT_EQ(std::string(std::getenv("TEMP")), path.string());

        // What the program leaves inside goes with it, links as links.
        Touch(path / "temp09.jpg");
        fs::create_directories(path / "a" / "b");
        Touch(path / "a" / "b" / "c");
        Touch(env_.root() / "outside", "keep me");
        fs::create_directory(env_.root() / "outside-folder");
        Touch(env_.root() / "outside-folder" / "f", "keep me too");
        fs::create_symlink(env_.root() / "outside", path / "link");
        fs::create_symlink(env_.root() / "outside-folder", path / "a" / "folder-link");
    }
    EXPECT_FALSE(fs::exists(fs::symlink_status(path)));
    EXPECT_EQ(std::string(std::getenv("TEMP")), before);
    EXPECT_TRUE(fs::exists(env_.root() / "outside"));
    EXPECT_TRUE(fs::exists(env_.root() / "outside-folder" / "f"));
}

TEST_F(WorkFolderTest, UserTempFolderOrder)
{
    const fs::path a = env_.root() / "a", b = env_.root() / "b", c = env_.root() / "c";
    fs::create_directory(a);
    fs::create_directory(b);
    fs::create_directory(c);
    Touch(env_.root() / "file");
    struct Case {
        const char *temp, *tmp, *tmpdir;
        std::string expected;
    };
    const std::string missing = (env_.root() / "missing").string(), file = (env_.root() / "file").string();
    const Case cases[] = {
        {a.c_str(), b.c_str(), c.c_str(), a.string()},
        {nullptr, b.c_str(), c.c_str(), b.string()},
        {"", b.c_str(), c.c_str(), b.string()},
        {missing.c_str(), b.c_str(), c.c_str(), b.string()},
        {file.c_str(), nullptr, c.c_str(), c.string()},
        {nullptr, nullptr, nullptr, "/tmp"},
        {"", "", "", "/tmp"},
    };
    for (const Case &cs : cases) {
        auto put = [](const char *name, const char *value) {
            if (value)
                setenv(name, value, 1);
            else
                unsetenv(name);
        };
        put("TEMP", cs.temp);
        put("TMP", cs.tmp);
        put("TMPDIR", cs.tmpdir);
        EXPECT_EQ(TWorkFolder::UserTempFolder().toStdString(), cs.expected)
            << (cs.temp ? cs.temp : "(unset)") << " " << (cs.tmp ? cs.tmp : "(unset)");
    }
}

TEST_F(WorkFolderTest, StaleFoldersAreSweptOthersKept)
{
    const fs::path t = env_.tmp();
    const fs::path stale1 = MakeStale(t, "vantrel-abc123");
    const fs::path stale2 = MakeStale(t, "vantrel-ZZZZZZ");
    // Not ours to remove: no lock file, another name, a link to a stale-looking folder.
    fs::create_directory(t / "vantrel-nolock");
    Touch(t / "vantrel-nolock" / "f");
    const fs::path otherName = MakeStale(t, "vantrel-test-abcdef");
    const fs::path linkTarget = MakeStale(env_.root(), "elsewhere");
    fs::create_symlink(linkTarget, t / "vantrel-linked");
    Touch(t / "vantrel-afile1");
    // A lock file that is a link is no lock of ours either.
    fs::create_directory(t / "vantrel-lnklck");
    fs::create_symlink(env_.root() / "elsewhere" / ".lock", t / "vantrel-lnklck" / ".lock");

    TWorkFolder work; // sweeps at start
    EXPECT_FALSE(fs::exists(stale1));
    EXPECT_FALSE(fs::exists(stale2));
    EXPECT_TRUE(fs::exists(t / "vantrel-nolock" / "f"));
    EXPECT_TRUE(fs::exists(otherName / "temp00.jpg"));
    EXPECT_TRUE(fs::is_symlink(t / "vantrel-linked"));
    EXPECT_TRUE(fs::exists(linkTarget / "sub" / "f"));
    EXPECT_TRUE(fs::exists(t / "vantrel-afile1"));
    EXPECT_TRUE(fs::exists(t / "vantrel-lnklck"));
    EXPECT_TRUE(fs::exists(P(work.Path())));

    EXPECT_EQ(TWorkFolder::SweepStale(QString::fromStdString(t.string())), 0);
    EXPECT_TRUE(fs::exists(P(work.Path()))); // our own is held, so never swept
}

TEST_F(WorkFolderTest, FolderHeldByAnotherRunningProgramIsKept)
{
    const fs::path held = MakeStale(env_.tmp(), "vantrel-held01");
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const std::string lock = (held / ".lock").string();
    const pid_t child = fork();
    if (child == 0) {
        const int fd = open(lock.c_str(), O_RDONLY);
        char ok = (fd >= 0 && flock(fd, LOCK_EX) == 0) ? '1' : '0';
        (void)!write(ready[1], &ok, 1);
        for (;;)
            pause();
    }
    ASSERT_GT(child, 0);
    close(ready[1]);
    char ok = 0;
    ASSERT_EQ(read(ready[0], &ok, 1), 1);
    close(ready[0]);
    ASSERT_EQ(ok, '1');

    EXPECT_EQ(TWorkFolder::SweepStale(QString::fromStdString(env_.tmp().string())), 0);
    EXPECT_TRUE(fs::exists(held / "sub" / "f"));

    // Once that program has ended its folder goes at the next sweep.
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    EXPECT_EQ(TWorkFolder::SweepStale(QString::fromStdString(env_.tmp().string())), 1);
    EXPECT_FALSE(fs::exists(held));
}

TEST_F(WorkFolderTest, TwoProgramsAtOnceKeepTheirOwnFolders)
{
    auto first = std::make_unique<TWorkFolder>();
    const fs::path a = P(first->Path());
    Touch(a / "temp00.jpg", "first");
    {
        // A second program, here also one started from the first with its
        // TEMP: its folder goes beside the first's, not inside it.
        TWorkFolder second;
        const fs::path b = P(second.Path());
        EXPECT_NE(a, b);
        EXPECT_EQ(b.parent_path(), env_.tmp());
        EXPECT_TRUE(fs::exists(a / "temp00.jpg"));
        Touch(b / "temp00.jpg", "second");
        first.reset();
        EXPECT_FALSE(fs::exists(a));
        EXPECT_TRUE(fs::exists(b / "temp00.jpg"));
    }
    EXPECT_TRUE(fs::is_empty(env_.tmp()));
}
