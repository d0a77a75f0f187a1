// TRegIniFile: the file it writes, the integer rule, types it refuses and
// write failures it reports.
#include "platform/application.h"
#include "platform/settings.h"

#include "testenv.h"

#include <QFile>
#include <QSettings>
#include <climits>
#include <fstream>
#include <gtest/gtest.h>

namespace {

const QString Key = QStringLiteral("\\Software\\QZ");
const QString Section = QStringLiteral("Vantrel");

std::string ReadAll(const std::filesystem::path &path)
{
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteText(const std::filesystem::path &path, const std::string &text)
{
    std::ofstream(path) << text;
}

class RegIniFileTest : public IsolatedTest {};

} // namespace

TEST_F(RegIniFileTest, FirstRunGivesDefaults)
{
    TRegIniFile settings(Key);
    EXPECT_FALSE(settings.SectionExists(Section));
    EXPECT_FALSE(settings.ValueExists(Section, "Width"));
    EXPECT_EQ(settings.ReadInteger(Section, "Width", 512), 512);
    EXPECT_EQ(settings.ReadString(Section, "Load", "c:\\"), "c:\\");
}

TEST_F(RegIniFileTest, WritesQzConfInTheConfigFolderUnderTheSection)
{
    {
        TRegIniFile settings(Key);
        settings.WriteString(Section, "Program", "/usr/bin/vantrel");
        settings.WriteInteger(Section, "Width", 669);
        settings.WriteInteger(Section, "Left", -8);
        EXPECT_EQ(settings.FileName().toStdString(), (env_.config() / "QZ.conf").string());
    }
    const std::string text = ReadAll(env_.config() / "QZ.conf");
    EXPECT_NE(text.find("[Vantrel]"), std::string::npos) << text;
    EXPECT_NE(text.find("Width=669"), std::string::npos) << text;
    EXPECT_NE(text.find("Left=-8"), std::string::npos) << text;
    EXPECT_NE(text.find("Program=/usr/bin/vantrel"), std::string::npos) << text;

    TRegIniFile again(Key);
    EXPECT_TRUE(again.SectionExists(Section));
    EXPECT_EQ(again.ReadInteger(Section, "Width", 512), 669);
    EXPECT_EQ(again.ReadInteger(Section, "Left", 60), -8);
}

TEST_F(RegIniFileTest, StringsRoundTripWithCharactersTheFileFormatEscapes)
{
    // Commas would make a list, a leading '@' a typed value, quotes and
    // semicolons have meanings of their own in the file.
    const QStringList values = {"/home/a, b/photos", "@Variant(x)", "a;b \"c\" =d", "  spaced  ", "", "/ünïcode/фото"};
    {
        TRegIniFile settings(Key);
        for (int i = 0; i < values.size(); ++i)
            settings.WriteString(Section, QStringLiteral("V%1").arg(i), values[i]);
    }
    TRegIniFile again(Key);
    for (int i = 0; i < values.size(); ++i)
        EXPECT_EQ(again.ReadString(Section, QStringLiteral("V%1").arg(i), "default"), values[i]) << i;
}

TEST_F(RegIniFileTest, IntegerRuleDecimalOrHexElseTheDefault)
{
    struct Case {
        const char *text;
        int expected;
    };
    const Case cases[] = {
        {"512", 512},         {"0x200", 512},         {"0X200", 512},      {"0x1f", 31},
        {"0XaBc", 0xabc},     {"-40", -40},           {"+7", 7},           {"0", 0},
        {"0x7FFFFFFF", INT_MAX}, {"-2147483648", INT_MIN}, {"2147483647", INT_MAX},
        // not numbers, or numbers out of range: the default
        {"", 99},             {"12abc", 99},          {"abc", 99},         {"0x", 99},
        {"0x1g", 99},         {" 12", 99},            {"12 ", 99},         {"1.5", 99},
        {"$200", 99},         {"2147483648", 99},     {"0x80000000", 99},  {"99999999999999999999", 99},
        {"-", 99},            {"--1", 99},            {"0x-1", 99},        {"１２", 99},
    };
    {
        TRegIniFile settings(Key);
        for (const Case &c : cases)
            settings.WriteString(Section, QStringLiteral("I_%1").arg(QString::fromUtf8(c.text).toUtf8().toHex()),
                                 QString::fromUtf8(c.text));
    }
    TRegIniFile again(Key);
    for (const Case &c : cases) {
        const QString ident = QStringLiteral("I_%1").arg(QString::fromUtf8(c.text).toUtf8().toHex());
        EXPECT_EQ(again.ReadInteger(Section, ident, 99), c.expected) << "text '" << c.text << "'";
    }
}

TEST_F(RegIniFileTest, HandWrittenFileIsRead)
{
    WriteText(env_.config() / "QZ.conf", "[Vantrel]\nWidth=0x200\nHeight=tall\nTop=12\n");
    TRegIniFile settings(Key);
    EXPECT_EQ(settings.ReadInteger(Section, "Width", 1), 512);
    EXPECT_EQ(settings.ReadInteger(Section, "Height", 360), 360);
    EXPECT_EQ(settings.ReadInteger(Section, "Top", 40), 12);
}

TEST_F(RegIniFileTest, ValueOfAnotherTypeRaises)
{
    WriteText(env_.config() / "QZ.conf", "[Vantrel]\nWidth=1, 2\nHeight=@ByteArray(abc)\n");
    TRegIniFile settings(Key);
    try {
        settings.ReadInteger(Section, "Width", 512);
        FAIL() << "no exception";
    } catch (const EPlatformError &e) {
        EXPECT_EQ(e.Message(), "Invalid data type for 'Width'");
    }
    EXPECT_THROW(settings.ReadString(Section, "Height", ""), EPlatformError);
}

TEST_F(RegIniFileTest, NewObjectSeesAChangedConfigFolder)
{
    {
        TRegIniFile settings(Key);
        settings.WriteInteger(Section, "Width", 700);
    }
    IsolatedEnv other; // XDG_CONFIG_HOME now elsewhere
    TRegIniFile settings(Key);
    EXPECT_EQ(settings.ReadInteger(Section, "Width", 512), 512);
    EXPECT_EQ(settings.FileName().toStdString(), (other.config() / "QZ.conf").string());
}

TEST_F(RegIniFileTest, FlushReportsAFileThatCannotBeWritten)
{
    // A file where the folder should be: no one, root included, can write below it.
    WriteText(env_.root() / "notafolder", "x");
    setenv("XDG_CONFIG_HOME", (env_.root() / "notafolder" / "config").c_str(), 1);
    TRegIniFile settings(Key);
    settings.WriteInteger(Section, "Width", 640);
    EXPECT_THROW(settings.Flush(), EPlatformError);
}

TEST_F(RegIniFileTest, FlushWritesAtOnceMakingTheFolder)
{
    // A first run on a fresh account: the configuration folder is not there yet.
    const auto config = env_.root() / "fresh" / "config";
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    TRegIniFile settings(Key);
    settings.WriteString(Section, "Save", "/home/u/out");
    settings.Flush();
    EXPECT_NE(ReadAll(config / "QZ.conf").find("Save=/home/u/out"), std::string::npos);
}
