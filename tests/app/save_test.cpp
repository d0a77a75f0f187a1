// Saving the preview: a byte copy under the chosen name that replaces an
// existing file only once complete, and a clear error when it cannot.
#include "appfixture.h"

#include "platform/files.h"

#include <QCoreApplication>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <cstdio>
#include <sys/mount.h>
#include <sys/stat.h>

class SaveTest : public AppTest {
protected:
    // Opens a picture through the dialog; returns the preview's bytes.
    QByteArray OpenPicture(TForm1 &form, const QString &picture) {
        Answer(true, picture);
        form.loaditClick(nullptr);
        return Bytes(Work(PreviewFile));
    }
};

TEST_F(SaveTest, SavesTheExactPreviewAndMovesBothFolders) {
    const QString picture = MakePicture(QStringLiteral("photo.jpg"));
    TForm1 &form = Form();
    const QByteArray preview = OpenPicture(form, picture);
    ASSERT_FALSE(preview.isEmpty());

    const QString target = Folder("out") + QStringLiteral("/chosen.jpg");
    Answer(true, target);
    form.Button2->click();
    ASSERT_EQ(Calls.size(), 2u);
    EXPECT_EQ(Calls[1].Kind, TFileDialog::Save);
    EXPECT_EQ(Bytes(target), preview);
    EXPECT_EQ(form.save->InitialDir(), Folder("out"));
    EXPECT_EQ(form.load->InitialDir(), Folder("out"));
    EXPECT_EQ(form.load->FileName(), target);
    EXPECT_TRUE(RecordedMessages().isEmpty()) << Messages().toStdString();
}

TEST_F(SaveTest, OverwritesAnExistingFile) {
    const QString picture = MakePicture(QStringLiteral("photo.jpg"));
    TForm1 &form = Form();
    const QByteArray preview = OpenPicture(form, picture);
    const QString target = Folder("out") + QStringLiteral("/existing.jpg");
    ASSERT_TRUE(WriteBytes(target, QByteArray(200000, 'x')));
    Answer(true, target);
    form.saveitClick(nullptr);
    EXPECT_EQ(Bytes(target), preview);
    EXPECT_TRUE(RecordedMessages().isEmpty()) << Messages().toStdString();
}

TEST_F(SaveTest, CancelledSaveChangesNothing) {
    const QString picture = MakePicture(QStringLiteral("photo.jpg"), 64, 48);
    TForm1 &form = Form();
    OpenPicture(form, picture);
    const QString loadDir = form.load->InitialDir();
    form.save->SetInitialDir(Folder("elsewhere"));
    Answer(false);
    form.saveitClick(nullptr);
    EXPECT_EQ(form.save->InitialDir(), Folder("elsewhere"));
    EXPECT_EQ(form.load->InitialDir(), loadDir);
    EXPECT_TRUE(RecordedMessages().isEmpty());
}

TEST_F(SaveTest, NothingToSaveYetIsReportedAndWritesNothing) {
    TForm1 &form = Form();
    const QString target = Folder("out") + QStringLiteral("/early.jpg");
    Answer(true, target);
    form.saveitClick(nullptr);
    EXPECT_EQ(SizeOf(target), -1);
    // The dialog's answer still moves the folders.
    EXPECT_EQ(form.save->InitialDir(), Folder("out"));
    EXPECT_EQ(form.load->InitialDir(), Folder("out"));
    ASSERT_EQ(RecordedMessages().size(), 1);
    EXPECT_EQ(RecordedMessages()[0].Flags, MB_ICONERROR);
    EXPECT_TRUE(RecordedMessages()[0].Text.contains(target));
    EXPECT_TRUE(RecordedMessages()[0].Text.contains(QStringLiteral("open one first")));
}

TEST_F(SaveTest, TargetThatIsAFolderIsReportedAndLeftAlone) {
    const QString picture = MakePicture(QStringLiteral("photo.jpg"), 64, 48);
    TForm1 &form = Form();
    OpenPicture(form, picture);
    const QString target = Folder("out") + QStringLiteral("/folder.jpg");
    QDir().mkpath(target);
    Answer(true, target);
    form.saveitClick(nullptr);
    EXPECT_TRUE(QFileInfo(target).isDir());
    ASSERT_EQ(RecordedMessages().size(), 1);
    EXPECT_EQ(RecordedMessages()[0].Flags, MB_ICONERROR);
    EXPECT_TRUE(RecordedMessages()[0].Text.contains(target));
    EXPECT_TRUE(RecordedMessages()[0].Text.contains(QStringLiteral("Is a directory"))) << Messages().toStdString();
}

TEST_F(SaveTest, FullDiskIsReportedAndTheOldFileSurvives) {
    const QString picture = MakePicture(QStringLiteral("photo.jpg"));
    TForm1 &form = Form();
    OpenPicture(form, picture);
    ASSERT_GT(SizeOf(Work(PreviewFile)), 8192);

    // A small file system of its own, filled up but for an old save.
    const QString disk = Folder("disk");
    if (::mount("tmpfs", disk.toLocal8Bit().constData(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "cannot mount a small file system here";
    struct Unmount {
        QByteArray path;
        ~Unmount() { ::umount2(path.constData(), MNT_DETACH); }
    } unmount{disk.toLocal8Bit()};
    const QString target = disk + QStringLiteral("/kept.jpg");
    const QByteArray old(1000, 'k');
    ASSERT_TRUE(WriteBytes(target, old));
    {
        QFile filler(disk + QStringLiteral("/filler"));
        ASSERT_TRUE(filler.open(QIODevice::WriteOnly));
        const QByteArray block(4096, 'f');
        while (filler.write(block) == block.size() && filler.flush()) {
        }
    }

    Answer(true, target);
    form.saveitClick(nullptr);
    EXPECT_EQ(Bytes(target), old);
    ASSERT_EQ(RecordedMessages().size(), 1);
    EXPECT_TRUE(RecordedMessages()[0].Text.contains(target));
    EXPECT_TRUE(RecordedMessages()[0].Text.contains(QStringLiteral("No space left"))) << Messages().toStdString();
    // No half-written temporary file is left beside it.
    EXPECT_EQ(QDir(disk).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot).size(), 2);
}

// As root every folder is writable, so the save runs in a child process as
// the unprivileged user "nobody".
TEST_F(SaveTest, ReadOnlyFolderIsReportedAndTheOldFileSurvives) {
    const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
    if (setpriv.isEmpty())
        GTEST_SKIP() << "setpriv is not installed";
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to change to another user";

    // The child needs to reach the picture and to write its own temporary
    // and settings folders.
    ::chmod(env_.root().c_str(), 0755);
    const QString picture = MakePicture(QStringLiteral("photo.jpg"), 160, 120);
    ::chmod(Folder("pictures").toLocal8Bit().constData(), 0755);
    const QString childHome = Folder("child");
    ::chmod(childHome.toLocal8Bit().constData(), 01777);
    const QString locked = Folder("locked");
    const QString target = locked + QStringLiteral("/kept.jpg");
    const QByteArray old(1000, 'k');
    ASSERT_TRUE(WriteBytes(target, old));
    ::chmod(target.toLocal8Bit().constData(), 0644);
    ::chmod(locked.toLocal8Bit().constData(), 0555);

    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TEMP"), childHome);
    environment.insert(QStringLiteral("TMP"), childHome);
    environment.insert(QStringLiteral("TMPDIR"), childHome);
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), childHome);
    environment.insert(QStringLiteral("HOME"), childHome);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    child.setProcessEnvironment(environment);
    child.start(setpriv, {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                          QStringLiteral("--clear-groups"), QCoreApplication::applicationFilePath(),
                          QStringLiteral("--save-as-child"), picture, target});
    ASSERT_TRUE(child.waitForFinished(60000));
    const QString output = QString::fromLocal8Bit(child.readAllStandardOutput() + child.readAllStandardError());
    if (child.exitCode() == 77)
        GTEST_SKIP() << "the unprivileged child could not set up: " << output.toStdString();
    EXPECT_EQ(child.exitCode(), 0) << output.toStdString();
    EXPECT_TRUE(output.contains(target)) << output.toStdString();
    EXPECT_TRUE(output.contains(QStringLiteral("Permission denied"))) << output.toStdString();
    EXPECT_EQ(Bytes(target), old);
    EXPECT_EQ(QDir(locked).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot).size(), 1);
}

// The child's side: open the picture, save it to target, print what the
// window reported. 0: an error was reported; 1: none was; 77: set-up failed.
int RunSaveAsChild(const QString &picture, const QString &target) {
    StartRecordingMessages();
    SetDialogScript([&](TFileDialog &dialog) {
        dialog.SetFileName(dialog.DialogKind() == TFileDialog::Open ? picture : target);
        return true;
    });
    int status = 1;
    {
        TForm1 form;
        form.loaditClick(nullptr);
        if (QFileInfo(QString::fromUtf8(WorkFiles[PreviewFile])).size() <= 0) {
            std::printf("no preview was written: %s\n", qPrintable(QString::fromUtf8(WorkFiles[PreviewFile])));
            return 77;
        }
        form.saveitClick(nullptr);
        for (const TRecordedMessage &message : RecordedMessages()) {
            std::printf("%s\n", qPrintable(message.Text));
            if (message.Flags == MB_ICONERROR)
                status = 0;
        }
    }
    std::fflush(stdout);
    SetDialogScript(nullptr);
    return status;
}
