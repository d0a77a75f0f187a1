// TTempFolder: where the temporary folder comes from, and the names it makes.
#include "components/TempFolder.h"

#include "testenv.h"

#include <QRegularExpression>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <optional>
#include <string>

namespace {

struct FolderCase {
    const char *what;
    std::optional<std::string> temp; // nullopt: unset
    std::optional<std::string> tmp;
    QString path;
    bool valid;
};

void SetOrUnset(const char *name, const std::optional<std::string> &value)
{
    if (value)
        setenv(name, value->c_str(), 1);
    else
        unsetenv(name);
}

class TempFolderTest : public IsolatedTest {};

} // namespace

TEST_F(TempFolderTest, FolderComesFromTempThenTmp)
{
    const std::string longest(255, 'a');  // fills the 256-character buffer exactly
    const std::string tooLong(256, 'b');
    const FolderCase cases[] = {
        {"temp without a trailing separator gets one", "/var/work", "/other", "/var/work/", true},
        {"temp with one gets no second", "/var/work/", "/other", "/var/work/", true},
        {"temp unset, tmp set", std::nullopt, "/other", "/other/", true},
        {"neither set", std::nullopt, std::nullopt, "%tmp%/", false},
        {"a colon is an ordinary character", "/var/c:work", std::nullopt, "/var/c:work/", true},
        // Unusable values count as unset: never the root folder, never the
        // current folder.
        {"temp empty falls back to tmp", "", "/other", "/other/", true},
        {"temp and tmp empty", "", "", "%tmp%/", false},
        {"temp longer than the buffer falls back to tmp", "/" + tooLong, "/other", "/other/", true},
        {"both longer than the buffer", "/" + tooLong, "/" + tooLong, "%tmp%/", false},
        {"the longest value that fits is kept", longest, "/other", QString::fromStdString(longest) + "/", true},
    };
    for (const FolderCase &c : cases) {
        SCOPED_TRACE(c.what);
        SetOrUnset("TEMP", c.temp);
        SetOrUnset("TMP", c.tmp);
        TTempFolder folder(nullptr);
        EXPECT_EQ(folder.Path().toStdString(), c.path.toStdString());
        EXPECT_EQ(folder.Valid(), c.valid);
        EXPECT_NE(folder.Path(), "/");
        EXPECT_FALSE(folder.Path().isEmpty());
    }
}

TEST_F(TempFolderTest, FolderIsFoundOnceAtCreation)
{
    setenv("TEMP", "/first", 1);
    TTempFolder folder(nullptr);
    setenv("TEMP", "/second", 1);
    EXPECT_EQ(folder.Path(), "/first/");
}

TEST_F(TempFolderTest, MakeTempNameIsPathPrefixAndHexNumber)
{
    setenv("TEMP", "/work/t", 1);
    TTempFolder folder(nullptr);
    char buffer[256];
    std::memset(buffer, '#', sizeof buffer);
    const int length = folder.MakeTempName(buffer, "qz", sizeof buffer);
    const QString name = QString::fromLatin1(buffer);
    EXPECT_EQ(length, name.size());
    const QRegularExpression pattern(QStringLiteral("^/work/t/qz([0-9A-F]{1,5})$"));
    const QRegularExpressionMatch match = pattern.match(name);
    ASSERT_TRUE(match.hasMatch()) << buffer;
    EXPECT_FALSE(match.captured(1).startsWith('0') && match.captured(1).size() > 1) << "no leading zeros";
    EXPECT_LT(match.captured(1).toInt(nullptr, 16), 99999);
}

TEST_F(TempFolderTest, MakeTempNameRepeatsWithinOneSecond)
{
    TTempFolder folder(nullptr);
    char first[256], second[256];
    // Retry if the clock ticked over between the two calls.
    for (int attempt = 0; attempt < 5; ++attempt) {
        const std::time_t before = std::time(nullptr);
        folder.MakeTempName(first, "a", sizeof first);
        folder.MakeTempName(second, "a", sizeof second);
        if (std::time(nullptr) == before)
            break;
    }
    EXPECT_STREQ(first, second);
}

TEST_F(TempFolderTest, MakeTempNameSizeLimit)
{
    setenv("TEMP", "/t", 1);
    TTempFolder folder(nullptr);
    const char *prefix = "pre";
    const unsigned limit = static_cast<unsigned>(folder.Path().size() + std::strlen(prefix) + 8);

    char buffer[64];
    std::strcpy(buffer, "old text");
    EXPECT_EQ(folder.MakeTempName(buffer, prefix, limit), 0);
    EXPECT_STREQ(buffer, "");

    const int length = folder.MakeTempName(buffer, prefix, limit + 1);
    EXPECT_GT(length, 0);
    EXPECT_EQ(static_cast<std::size_t>(length), std::strlen(buffer));
    EXPECT_EQ(std::strncmp(buffer, "/t/pre", 6), 0) << buffer;

    EXPECT_EQ(folder.MakeTempName(buffer, prefix, 0), 0);
    EXPECT_EQ(folder.MakeTempName(nullptr, prefix, 64), 0);
}

TEST_F(TempFolderTest, RegistersOnPaletteQZ)
{
    TempFolder::Register();
    EXPECT_TRUE(RegisteredComponents(QStringLiteral("QZ")).contains(QStringLiteral("TTempFolder")));
}
