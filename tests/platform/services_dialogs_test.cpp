// File dialogs (script seam, filters, folders), message boxes and the
// application's handling of exceptions from event handlers.
#include "platform/application.h"
#include "platform/dialogs.h"
#include "platform/messages.h"

#include "testenv.h"

#include <QEvent>
#include <QFileDialog>
#include <QMessageBox>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>

namespace {

class DialogTest : public IsolatedTest {
protected:
    void TearDown() override { SetDialogScript(nullptr); }
};

} // namespace

TEST_F(DialogTest, FilterInQtsForm)
{
    struct Case {
        const char *filter, *qt;
    };
    const Case cases[] = {
        {"Jpeg File|*.jpg|Any File|*.*", "Jpeg File (*.jpg);;Any File (*)"},
        {"JPeg File|*.jpg", "JPeg File (*.jpg)"},
        {"Pictures|*.jpg;*.png; *.bmp", "Pictures (*.jpg *.png *.bmp)"},
        {"Lonely", "Lonely (*)"},
        {"", ""},
    };
    for (const Case &c : cases) {
        TOpenDialog dialog(nullptr);
        dialog.SetFilter(c.filter);
        EXPECT_EQ(dialog.QtFilter(), c.qt) << c.filter;
    }
}

TEST_F(DialogTest, FoldersKeepNoTrailingSeparatorButTheRoot)
{
    struct Case {
        const char *in, *dir;
    };
    const Case cases[] = {
        {"/home/a/b.jpg", "/home/a"}, {"/b.jpg", "/"}, {"b.jpg", ""}, {"/home/a/", "/home/a"}, {"", ""},
    };
    for (const Case &c : cases)
        EXPECT_EQ(ExtractFileDir(c.in), c.dir) << c.in;

    TSaveDialog dialog(nullptr);
    dialog.SetInitialDir("/home/a/");
    EXPECT_EQ(dialog.InitialDir(), "/home/a");
    dialog.SetInitialDir("/");
    EXPECT_EQ(dialog.InitialDir(), "/");
    dialog.SetInitialDir("c:\\");
    EXPECT_EQ(dialog.InitialDir(), "c:\\");
}

TEST_F(DialogTest, ScriptAnswersWithoutShowing)
{
    int calls = 0;
    SetDialogScript([&](TFileDialog &d) {
        ++calls;
        EXPECT_EQ(d.DialogKind(), TFileDialog::Open);
        EXPECT_EQ(d.InitialDir(), "/pictures");
        d.SetFileName("/pictures/cat");
        d.SetFilterIndex(2);
        return true;
    });
    EXPECT_TRUE(HasDialogScript());
    TOpenDialog open(nullptr);
    open.SetInitialDir("/pictures");
    open.SetFilter("Jpeg File|*.jpg|Any File|*.*");
    open.SetDefaultExt("jpg");
    EXPECT_TRUE(open.Execute());
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(open.FileName(), "/pictures/cat"); // an open name is taken as it is
    EXPECT_EQ(open.FilterIndex(), 2);

    SetDialogScript([](TFileDialog &d) {
        d.SetFileName("/changed");
        return false;
    });
    TOpenDialog cancelled(nullptr);
    cancelled.SetFileName("/kept.jpg");
    EXPECT_FALSE(cancelled.Execute());
    SetDialogScript(nullptr);
    EXPECT_FALSE(HasDialogScript());
}

TEST_F(DialogTest, SaveNameWithoutExtensionGetsOne)
{
    struct Case {
        const char *filter;
        int index;
        const char *defaultExt, *typed, *result;
    };
    const Case cases[] = {
        {"JPeg File|*.jpg", 1, "jpg", "/out/photo", "/out/photo.jpg"},
        {"JPeg File|*.jpg", 1, "jpg", "/out/photo.jpeg", "/out/photo.jpeg"},
        {"Jpeg File|*.jpg|Any File|*.*", 2, "jpg", "/out/photo", "/out/photo.jpg"},
        {"Png|*.png|Any File|*.*", 1, "jpg", "/out/photo", "/out/photo.png"},
        {"Any File|*.*", 1, "", "/out/photo", "/out/photo"},
        {"Any File|*.*", 1, ".bmp", "/out.d/photo", "/out.d/photo.bmp"},
    };
    for (const Case &c : cases) {
        SetDialogScript([&](TFileDialog &d) {
            d.SetFileName(c.typed);
            return true;
        });
        TSaveDialog save(nullptr);
        save.SetFilter(c.filter);
        save.SetFilterIndex(c.index);
        save.SetDefaultExt(c.defaultExt);
        ASSERT_TRUE(save.Execute());
        EXPECT_EQ(save.FileName(), c.result) << c.filter << " " << c.typed;
    }
}

TEST_F(DialogTest, RealDialogStartsInTheFolderAndReportsTheFilter)
{
    const QString folder = QString::fromStdString(env_.tmp().string());
    TSaveDialog save(nullptr);
    save.SetInitialDir(folder + "/");
    save.SetFilter("Jpeg File|*.jpg|Any File|*.*");
    save.SetFilterIndex(2);
    save.SetDefaultExt("jpg");
    QString shownDir, shownFilter;
    QTimer::singleShot(0, [&] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        shownDir = dialog->directory().absolutePath();
        shownFilter = dialog->selectedNameFilter();
        dialog->selectFile("result");
        static_cast<QDialog *>(dialog)->accept(); // QFileDialog::accept, as OK runs it
    });
    ASSERT_TRUE(save.Execute());
    EXPECT_EQ(shownDir, folder);
    EXPECT_EQ(shownFilter, "Any File (*)");
    EXPECT_EQ(save.FileName(), folder + "/result.jpg");
    EXPECT_EQ(save.FilterIndex(), 2);

    // A folder that does not exist here starts in the home folder; cancel.
    TOpenDialog open(nullptr);
    open.SetInitialDir("c:\\");
    QTimer::singleShot(0, [&] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        shownDir = dialog->directory().absolutePath();
        dialog->reject();
    });
    EXPECT_FALSE(open.Execute());
    EXPECT_EQ(shownDir, QDir::homePath());
}

TEST(MessageBoxTest, RecordsWhileRecording)
{
    StartRecordingMessages();
    ClearRecordedMessages();
    EXPECT_EQ(MessageBox(nullptr, "Cannot find qzgfx.dll", "AnyImage", MB_OK | MB_ICONERROR), IDOK);
    StopRecordingMessages();
    ASSERT_EQ(RecordedMessages().size(), 1);
    EXPECT_EQ(RecordedMessages()[0].Text, "Cannot find qzgfx.dll");
    EXPECT_EQ(RecordedMessages()[0].Caption, "AnyImage");
    EXPECT_EQ(RecordedMessages()[0].Flags, MB_ICONERROR);
    ClearRecordedMessages();
    EXPECT_TRUE(RecordedMessages().isEmpty());
}

TEST(MessageBoxTest, ErrorBoxIsCriticalAndOwnedByTheFocusWindow)
{
    QWidget window;
    window.show();
    window.activateWindow();
    window.setFocus();
    QApplication::processEvents();
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QWidget *owner = nullptr;
    QString title, text;
    QTimer::singleShot(0, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        icon = box->icon();
        owner = box->parentWidget();
        title = box->windowTitle();
        text = box->text();
        box->accept();
    });
    EXPECT_EQ(MessageBox(nullptr, "Cannot find qzgfx.dll", "AnyImage", MB_ICONERROR), IDOK);
    EXPECT_EQ(icon, QMessageBox::Critical);
    EXPECT_EQ(owner, &window);
    EXPECT_EQ(title, "AnyImage");
    EXPECT_EQ(text, "Cannot find qzgfx.dll");
}

namespace {

// A handler that fails the way platform code fails.
class Thrower : public QObject {
public:
    int delivered = 0;
    bool throwStd = true;

protected:
    void customEvent(QEvent *) override
    {
        ++delivered;
        if (delivered == 1) {
            if (throwStd)
                throw EPlatformError("Invalid data type for 'Width'");
            throw 42;
        }
    }
};

} // namespace

TEST(ApplicationTest, ExceptionInAHandlerIsShownAndTheProgramGoesOn)
{
    ASSERT_NE(Application(), nullptr);
    const QString oldTitle = Application()->Title();
    Application()->SetTitle("Vantrel");
    StartRecordingMessages();
    ClearRecordedMessages();
    for (bool throwStd : {true, false}) {
        Thrower thrower;
        thrower.throwStd = throwStd;
        QCoreApplication::postEvent(&thrower, new QEvent(QEvent::User));
        QCoreApplication::postEvent(&thrower, new QEvent(QEvent::User));
        QCoreApplication::sendPostedEvents(&thrower);
        EXPECT_EQ(thrower.delivered, 2); // the next event still arrives
    }
    StopRecordingMessages();
    ASSERT_EQ(RecordedMessages().size(), 2);
    EXPECT_EQ(RecordedMessages()[0].Text, "Invalid data type for 'Width'");
    EXPECT_EQ(RecordedMessages()[0].Caption, "Vantrel");
    EXPECT_EQ(RecordedMessages()[0].Flags & MB_ICONERROR, MB_ICONERROR);
    EXPECT_EQ(RecordedMessages()[1].Text, "Unknown exception");
    ClearRecordedMessages();
    Application()->SetTitle(oldTitle);
}

TEST(ApplicationTest, GuardedCallShowsAndReportsFailure)
{
    StartRecordingMessages();
    ClearRecordedMessages();
    EXPECT_TRUE(GuardedCall([] {}));
    EXPECT_FALSE(GuardedCall([] { throw EPlatformError("broken"); }));
    StopRecordingMessages();
    ASSERT_EQ(RecordedMessages().size(), 1);
    EXPECT_EQ(RecordedMessages()[0].Text, "broken");
    ClearRecordedMessages();
    EXPECT_EQ(TApplication::ExeName(), QCoreApplication::applicationFilePath());
}
