// Start-up and close: the settings read and written, the working files
// deleted, the working-file names that must fit.
#include "appfixture.h"

#include "aboutbox.h"
#include "components/TempFolder.h"
#include "platform/application.h"
#include "platform/files.h"

#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <QTimer>

class SettingsTest : public AppTest {
protected:
    QString ConfigFile() const { return QString::fromStdString((env_.config() / "QZ.conf").string()); }

    void Store(const QString &ident, const QString &value) {
        QSettings settings(ConfigFile(), QSettings::IniFormat);
        settings.setValue(QStringLiteral("Vantrel/") + ident, value);
    }
    QVariant Stored(const QString &ident) const {
        QSettings settings(ConfigFile(), QSettings::IniFormat);
        return settings.value(QStringLiteral("Vantrel/") + ident);
    }
};

TEST_F(SettingsTest, FirstRunUsesTheDefaultsAndWritesTheProgram) {
    {
        TForm1 &form = Form();
        EXPECT_EQ(form.Width(), 512);
        EXPECT_EQ(form.Height(), 360);
        EXPECT_EQ(form.Left(), 60);
        EXPECT_EQ(form.Top(), 40);
        EXPECT_EQ(form.load->InitialDir(), QDir::homePath());
        EXPECT_EQ(form.save->InitialDir(), QDir::homePath());
        EXPECT_EQ(form.windowTitle(), QStringLiteral("Vantrel"));
        EXPECT_FALSE(form.windowIcon().pixmap(32, 32).isNull());
        // Shown, the outer bounds are still the stored ones.
        form.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
        EXPECT_EQ(form.Width(), 512);
        EXPECT_EQ(form.Height(), 360);
        EXPECT_EQ(form.Left(), 60);
        EXPECT_EQ(form.Top(), 40);
    }
    DestroyForm();
    EXPECT_EQ(Stored(QStringLiteral("Program")).toString(), TApplication::ExeName());
}

TEST_F(SettingsTest, ProgramIsRewrittenAtEveryStart) {
    Store(QStringLiteral("Program"), QStringLiteral("/somewhere/else"));
    Form();
    DestroyForm();
    EXPECT_EQ(Stored(QStringLiteral("Program")).toString(), TApplication::ExeName());
}

TEST_F(SettingsTest, StoredWidthIsReadAsDecimalOrHexElseTheDefault) {
    const struct {
        const char *stored;
        int width;
    } cases[] = {
        {"700", 700}, {"0x200", 512}, {"0X2BC", 700}, {"wide", 512}, {"", 512}, {"12px", 512},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.stored);
        Store(QStringLiteral("Width"), QString::fromLatin1(c.stored));
        EXPECT_EQ(Form().Width(), c.width);
        DestroyForm();
    }
}

TEST_F(SettingsTest, BoundsAndFoldersAreRememberedAcrossARestart) {
    const QString picture = MakePicture(QStringLiteral("photo.jpg"), 64, 48);
    {
        TForm1 &form = Form();
        form.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
        form.SetWidth(600);
        form.SetHeight(420);
        form.SetLeft(15);
        form.SetTop(25);
        Answer(true, picture);
        form.loaditClick(nullptr);
        form.close();
    }
    DestroyForm();
    EXPECT_EQ(Stored(QStringLiteral("Width")).toString(), QStringLiteral("600"));
    EXPECT_EQ(Stored(QStringLiteral("Height")).toString(), QStringLiteral("420"));
    EXPECT_EQ(Stored(QStringLiteral("Left")).toString(), QStringLiteral("15"));
    EXPECT_EQ(Stored(QStringLiteral("Top")).toString(), QStringLiteral("25"));

    TForm1 &again = Form();
    EXPECT_EQ(again.load->InitialDir(), ExtractFileDir(picture));
    EXPECT_EQ(again.save->InitialDir(), ExtractFileDir(picture));
    again.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&again));
    EXPECT_EQ(again.Width(), 600);
    EXPECT_EQ(again.Height(), 420);
    EXPECT_EQ(again.Left(), 15);
    EXPECT_EQ(again.Top(), 25);
}

TEST_F(SettingsTest, CloseDeletesAllTenWorkingFiles) {
    const QString picture = MakePicture(QStringLiteral("photo.jpg"), 64, 48);
    TForm1 &form = Form();
    Answer(true, picture);
    form.loaditClick(nullptr);
    for (int i = 0; i < WorkFileCount; ++i)
        ASSERT_GE(SizeOf(Work(i)), 0) << i;
    form.close();
    for (int i = 0; i < WorkFileCount; ++i)
        EXPECT_EQ(SizeOf(Work(i)), -1) << i;
    EXPECT_TRUE(RecordedMessages().isEmpty()) << Messages().toStdString();
}

TEST_F(SettingsTest, SettingsThatCannotBeStoredAreReportedAndTheFilesStillGo) {
    const QString picture = MakePicture(QStringLiteral("photo.jpg"), 64, 48);
    TForm1 &form = Form();
    Answer(true, picture);
    form.loaditClick(nullptr);
    // A folder where the settings file should be: it cannot be written.
    QDir().mkpath(ConfigFile());
    form.close();
    for (int i = 0; i < WorkFileCount; ++i)
        EXPECT_EQ(SizeOf(Work(i)), -1) << i;
    ASSERT_EQ(RecordedMessages().size(), 1);
    EXPECT_EQ(RecordedMessages()[0].Flags, MB_ICONERROR);
}

TEST_F(SettingsTest, TemporaryFolderTooLongForTheNamesIsRefused) {
    // 245 characters with the separator fit; one more does not.
    const QString base = QString::fromStdString(env_.tmp().string()) + QLatin1Char('/');
    for (int length : {MaxWorkFolderLength, MaxWorkFolderLength + 1, 300}) {
        SCOPED_TRACE(length);
        QString folder = base;
        while (folder.size() < length - 1)
            folder += QStringLiteral("d");
        qputenv("TEMP", folder.toLocal8Bit());
        if (length <= MaxWorkFolderLength) {
            Form();
            EXPECT_EQ(Work(0), folder + QStringLiteral("/temp00.jpg"));
            EXPECT_EQ(std::strlen(WorkFiles[9]), size_t(length + 10));
        } else {
            try {
                Form();
                ADD_FAILURE() << "the window was made";
            } catch (const EPlatformError &error) {
                EXPECT_TRUE(error.Message().contains(QStringLiteral("too long"))) << error.what();
            }
        }
        DestroyForm();
    }
}

TEST_F(SettingsTest, AboutShowsTheDescriptionModally) {
    TForm1 &form = Form();
    bool shown = false;
    QString text;
    QTimer::singleShot(0, [&] {
        shown = AboutForm && AboutForm->isVisible();
        if (AboutForm) {
            text = AboutForm->Label1->text();
            AboutForm->Button1->click();
        }
    });
    form.Button3->click();
    EXPECT_TRUE(shown);
    EXPECT_EQ(text, QStringLiteral("Program to display the results of various Jpeg Quality Settings and allow "
                                   "the saving of a selected filesize/quality compromise"));
    EXPECT_EQ(AboutForm->windowTitle(), QStringLiteral("About "));
    EXPECT_FALSE(AboutForm->isVisible());
    // Made for the window, and gone with it.
    DestroyForm();
    EXPECT_EQ(AboutForm, nullptr);
}
