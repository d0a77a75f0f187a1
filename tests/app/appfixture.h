// The main window under test: a fresh TForm1 per test in an isolated TEMP and
// XDG_CONFIG_HOME, with the file dialogs answered from a script and message
// boxes recorded instead of shown.
#pragma once

#include "Unit1.h"
#include "platform/dialogs.h"
#include "platform/messages.h"
#include "testenv.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QString>
#include <cstring>
#include <deque>
#include <memory>
#include <vector>

struct TDialogAnswer {
    bool Ok;
    QString FileName;
    int FilterIndex = 1;
};

// What a dialog held when it was run.
struct TDialogCall {
    TFileDialog::Kind Kind;
    QString InitialDir;
    QString FileName;
};

class AppTest : public IsolatedTest {
protected:
    void SetUp() override {
        // The unit's data lives for the whole run; each test starts as a
        // fresh program would.
        std::memset(&CurrentInfo, 0, sizeof CurrentInfo);
        std::memset(VariantSizes, 0, sizeof VariantSizes);
        PreviewSize = 0;
        StartRecordingMessages();
        ClearRecordedMessages();
        SetDialogScript([this](TFileDialog &dialog) {
            Calls.push_back({dialog.DialogKind(), dialog.InitialDir(), dialog.FileName()});
            if (Answers.empty()) {
                ADD_FAILURE() << "a dialog was run that the test did not expect";
                return false;
            }
            const TDialogAnswer answer = Answers.front();
            Answers.pop_front();
            if (answer.Ok) {
                dialog.SetFileName(answer.FileName);
                dialog.SetFilterIndex(answer.FilterIndex);
            }
            return answer.Ok;
        });
    }

    void TearDown() override {
        FForm.reset();
        SetDialogScript(nullptr);
        StopRecordingMessages();
        ClearRecordedMessages();
        EXPECT_TRUE(Answers.empty()) << Answers.size() << " dialog answer(s) left unused";
    }

    TForm1 &Form() {
        if (!FForm)
            FForm = std::make_unique<TForm1>();
        return *FForm;
    }
    void DestroyForm() { FForm.reset(); }

    void Answer(bool ok, const QString &fileName = QString(), int filterIndex = 1) {
        Answers.push_back({ok, fileName, filterIndex});
    }

    // A picture with smooth gradients and fine texture, so that each quality
    // gives a different size.
    QString MakePicture(const QString &name, int width = 640, int height = 480, const char *format = "JPG") {
        const QString folder = QString::fromStdString((env_.root() / "pictures").string());
        QDir().mkpath(folder);
        QImage image(width, height, QImage::Format_RGB32);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const int texture = ((x * 7) ^ (y * 13)) & 63;
                image.setPixel(x, y, qRgb(x * 255 / width, y * 255 / height, (texture * 4 + x + y) & 255));
            }
        const QString path = folder + QLatin1Char('/') + name;
        EXPECT_TRUE(image.save(path, format, 90)) << path.toStdString();
        return path;
    }

    QString Folder(const char *name) {
        const QString folder = QString::fromStdString((env_.root() / name).string());
        QDir().mkpath(folder);
        return folder;
    }

    static QString Work(int i) { return QString::fromUtf8(WorkFiles[i]); }
    static qint64 SizeOf(const QString &path) { return QFileInfo(path).exists() ? QFileInfo(path).size() : -1; }
    static QByteArray Bytes(const QString &path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    static bool WriteBytes(const QString &path, const QByteArray &bytes) {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    }
    static QString Messages() {
        QString all;
        for (const TRecordedMessage &m : RecordedMessages())
            all += m.Text + QLatin1Char('\n');
        return all;
    }

    std::deque<TDialogAnswer> Answers;
    std::vector<TDialogCall> Calls;

private:
    std::unique_ptr<TForm1> FForm;
};

// Runs the "save into a folder it cannot write" case as the process it is
// started in (an unprivileged user): defined in save_test.cpp, called by main.
int RunSaveAsChild(const QString &picture, const QString &target);
