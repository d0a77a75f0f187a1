// LoadLibrary by module name: the test folders first, then beside the
// program, then the system's search.
#include "platform/dynlib.h"

#include "testenv.h"

#include <QDir>
#include <QFileInfo>
#include <cmath>
#include <dlfcn.h>
#include <fstream>
#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

class DynlibTest : public IsolatedTest {
protected:
    void TearDown() override { SetLibrarySearchPath({}); }
};

// A real shared library to stand in for the graphics library: the maths
// library this test is linked with.
std::string MathLibraryPath()
{
    Dl_info info{};
    double (*fn)(double) = &std::cos;
    if (dladdr(reinterpret_cast<void *>(fn), &info) == 0 || !info.dli_fname)
        return std::string();
    return info.dli_fname;
}

} // namespace

TEST(LibraryFileNameTest, ModuleNamesMapToSharedObjects)
{
    EXPECT_EQ(LibraryFileName("qzgfx"), "libqzgfx.so");
    EXPECT_EQ(LibraryFileName("qzgfx.dll"), "libqzgfx.so");
    EXPECT_EQ(LibraryFileName("QZGFX.DLL"), "libqzgfx.so");
    EXPECT_EQ(LibraryFileName("libqzgfx.so"), "libqzgfx.so");
    EXPECT_EQ(LibraryFileName("libm.so.6"), "libm.so.6");
    EXPECT_EQ(LibraryFileName("/opt/x/libqzgfx.so"), "/opt/x/libqzgfx.so");
}

TEST_F(DynlibTest, SearchPathSeamComesFirst)
{
    const std::string math = MathLibraryPath();
    if (math.empty() || !fs::exists(math))
        GTEST_SKIP() << "no shared maths library to stand in";
    const fs::path folder = env_.root() / "lib";
    fs::create_directory(folder);
    fs::copy_file(math, folder / "libqzgfx.so");
    SetLibrarySearchPath({QString::fromStdString((env_.root() / "empty").string()),
                          QString::fromStdString(folder.string())});

    EXPECT_EQ(FindLibrary("qzgfx").toStdString(), (folder / "libqzgfx.so").string());
    HMODULE module = LoadLibrary("qzgfx.dll");
    ASSERT_NE(module, nullptr) << dlerror();
    auto cosine = reinterpret_cast<double (*)(double)>(GetProcAddress(module, "cos"));
    ASSERT_NE(cosine, nullptr);
    EXPECT_DOUBLE_EQ(cosine(0.0), 1.0);
    EXPECT_EQ(GetProcAddress(module, "_no_such_entry_point"), nullptr);
    EXPECT_TRUE(FreeLibrary(module));
}

TEST_F(DynlibTest, MissingOrBrokenModuleGivesNull)
{
    EXPECT_EQ(LoadLibrary("vantrel_no_such_module"), nullptr);
    EXPECT_TRUE(FindLibrary("vantrel_no_such_module").isEmpty());
    EXPECT_EQ(LoadLibrary(""), nullptr);
    EXPECT_EQ(LoadLibrary(nullptr), nullptr);
    EXPECT_EQ(GetProcAddress(nullptr, "x"), nullptr);
    EXPECT_FALSE(FreeLibrary(nullptr));

    // A file of the right name that is no library fails cleanly.
    const fs::path folder = env_.root() / "broken";
    fs::create_directory(folder);
    std::ofstream(folder / "libvantrelbroken.so") << "not an ELF file";
    SetLibrarySearchPath({QString::fromStdString(folder.string())});
    EXPECT_EQ(LoadLibrary("vantrelbroken"), nullptr);
}

TEST_F(DynlibTest, FoundBesideTheProgram)
{
    const QString exeFolder = QFileInfo(QFileInfo("/proc/self/exe").canonicalFilePath()).absolutePath();
    const QString beside = exeFolder + "/libqzgfx.so";
    if (!QFileInfo(beside).isFile())
        GTEST_SKIP() << "libqzgfx.so is not built beside the test program";
    EXPECT_EQ(FindLibrary("qzgfx.dll"), beside);
    HMODULE module = LoadLibrary("qzgfx");
    ASSERT_NE(module, nullptr);
    EXPECT_NE(GetProcAddress(module, "_anytobmps"), nullptr);
    EXPECT_TRUE(FreeLibrary(module));
}
