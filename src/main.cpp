// Program entry: the private working folder, the main window and the about
// box, then the message loop until the main window closes.
//
//   vantrel [PICTURE] [--screenshot FILE.png]
//
// PICTURE is opened as "Open Image" would open it. With --screenshot the
// window is saved as a PNG once the picture is shown, the status line and
// the eight captions are printed, and the program ends: a run without a
// person in front of it.
#include "Unit1.h"
#include "aboutbox.h"
#include "platform/application.h"
#include "platform/messages.h"
#include "platform/workfolder.h"

#include <QFileInfo>
#include <QLabel>
#include <QPixmap>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

struct TCommandLine {
    QString Picture;
    QString Screenshot;
    QString Error;
};

TCommandLine ParseCommandLine(const QStringList &arguments) {
    TCommandLine line;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments[i];
        if (argument == QLatin1String("--screenshot")) {
            if (i + 1 >= arguments.size()) {
                line.Error = QStringLiteral("--screenshot needs a file name");
                return line;
            }
            line.Screenshot = arguments[++i];
        } else if (argument.startsWith(QLatin1String("--screenshot="))) {
            line.Screenshot = argument.mid(13);
        } else if (argument.startsWith(QLatin1String("-")) && argument != QLatin1String("-")) {
            line.Error = QStringLiteral("unknown option %1").arg(argument);
            return line;
        } else if (line.Picture.isEmpty()) {
            line.Picture = argument;
        } else {
            line.Error = QStringLiteral("only one picture can be opened");
            return line;
        }
    }
    return line;
}

// The private working folder. When the user's temporary folder is so deep
// that the working-file names would not fit, a private folder directly under
// /tmp serves instead: it is just as private, and short.
std::unique_ptr<TWorkFolder> MakeWorkFolder() {
    auto folder = std::make_unique<TWorkFolder>();
    if (folder->Path().toUtf8().size() + 1 <= MaxWorkFolderLength)
        return folder;
    folder.reset();
    setenv("TEMP", "/tmp", 1);
    return std::make_unique<TWorkFolder>();
}

void PrintMessages() {
    for (const TRecordedMessage &message : RecordedMessages())
        std::fprintf(stderr, "%s: %s\n", qPrintable(message.Caption), qPrintable(message.Text));
    ClearRecordedMessages();
}

} // namespace

int main(int argc, char **argv) {
    TApplication application(argc, argv);
    application.setApplicationName(QStringLiteral("Vantrel"));
    application.setApplicationVersion(QStringLiteral(VANTREL_VERSION));

    const TCommandLine line = ParseCommandLine(application.arguments());
    if (!line.Error.isEmpty()) {
        std::fprintf(stderr, "vantrel: %s\nusage: vantrel [PICTURE] [--screenshot FILE.png]\n",
                     qPrintable(line.Error));
        return 2;
    }
    const bool headless = !line.Screenshot.isEmpty();
    // Nobody is there to close a message box: messages go to stderr.
    if (headless)
        StartRecordingMessages();

    std::unique_ptr<TWorkFolder> workFolder;
    bool started = GuardedCall([&] {
        workFolder = MakeWorkFolder();
        Form1 = new TForm1;
        AboutForm = new TAboutForm;
    });
    if (!started) {
        PrintMessages();
        delete Form1;
        Form1 = nullptr;
        // A failed start ends the program; a headless caller learns it from
        // the exit status.
        return headless ? 1 : 0;
    }

    int status = 0;
    Form1->show();
    if (!line.Picture.isEmpty() || headless) {
        QTimer::singleShot(0, Form1, [&] {
            if (!line.Picture.isEmpty()) {
                const QFileInfo picture(line.Picture);
                if (!picture.isFile())
                    MessageBox(Form1, QStringLiteral("Cannot open \"%1\".\nNo such file.").arg(line.Picture),
                               AppName, MB_ICONERROR);
                else
                    GuardedCall([&] { Form1->OpenPicture(picture.absoluteFilePath()); });
            }
            if (!headless)
                return;
            if (!RecordedMessages().isEmpty())
                status = 1;
            PrintMessages();
            QCoreApplication::processEvents();
            if (!Form1->grab().save(line.Screenshot, "PNG")) {
                std::fprintf(stderr, "vantrel: cannot write the screenshot %s\n", qPrintable(line.Screenshot));
                status = 1;
            }
            std::printf("%s\n", qPrintable(Form1->StatusBar1->SimpleText()));
            for (int i = 0; i < VariantCount; ++i)
                std::printf("%s\n", qPrintable(Form1->Caption(i)->text()));
            std::fflush(stdout);
            Form1->close();
        });
    }

    application.exec();
    if (headless) {
        PrintMessages();
        StopRecordingMessages();
    }
    delete AboutForm;
    AboutForm = nullptr;
    delete Form1;
    Form1 = nullptr;
    workFolder.reset();
    return status;
}
