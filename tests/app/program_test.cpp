// The built program as a user runs it: on the command line with a picture
// and --screenshot, two at once, and in a real X window under Xvfb.
#include "appfixture.h"

#include <QProcess>
#include <QSet>
#include <QSettings>
#include <QStandardPaths>

namespace {

struct TRun {
    int ExitCode = -1;
    QStringList Lines;  // stdout
    QString Errors;     // stderr
};

class ProgramTest : public AppTest {
protected:
    QProcessEnvironment Environment() const {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        return environment;
    }

    void Start(QProcess &process, const QStringList &arguments, const QProcessEnvironment &environment,
               const QString &program = QStringLiteral(VANTREL_EXE)) {
        process.setProcessEnvironment(environment);
        process.start(program, arguments);
    }

    static TRun Finish(QProcess &process) {
        TRun run;
        if (!process.waitForFinished(120000)) {
            process.kill();
            process.waitForFinished();
            run.Errors = QStringLiteral("timed out");
            return run;
        }
        run.ExitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        run.Lines = QString::fromLocal8Bit(process.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        run.Errors = QString::fromLocal8Bit(process.readAllStandardError());
        return run;
    }

    TRun Run(const QStringList &arguments, const QProcessEnvironment &environment) {
        QProcess process;
        Start(process, arguments, environment);
        return Finish(process);
    }

    // Private working folders left in a temporary folder.
    static QStringList WorkFolders(const QString &folder) {
        return QDir(folder).entryList({QStringLiteral("vantrel-*")}, QDir::Dirs | QDir::NoDotAndDotDot);
    }

    QString Temp() const { return QString::fromStdString(env_.tmp().string()); }
};

// What a headless run prints: the status line, then the eight captions.
void ExpectReport(const TRun &run, int width, int height) {
    ASSERT_EQ(run.ExitCode, 0) << run.Errors.toStdString();
    ASSERT_EQ(run.Lines.size(), 9) << run.Lines.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(run.Lines[0].startsWith(
        QStringLiteral("Image %1x%2   Jpeg Quality 50%  Filesize ").arg(width).arg(height)))
        << run.Lines[0].toStdString();
    for (int i = 0; i < VariantCount; ++i) {
        const QStringList parts = run.Lines[i + 1].split(QStringLiteral("%  "));
        ASSERT_EQ(parts.size(), 2) << run.Lines[i + 1].toStdString();
        EXPECT_EQ(parts[0].toInt(), Qualities[i]);
        EXPECT_GT(parts[1].toLongLong(), 0);
    }
    // The preview at 50 is the fifth variant.
    EXPECT_EQ(run.Lines[0].section(QLatin1Char(' '), -1), run.Lines[5].section(QLatin1Char(' '), -1));
}

} // namespace

TEST_F(ProgramTest, TwoProgramsAtOnceKeepToTheirOwnFiles) {
    const QString wide = MakePicture(QStringLiteral("wide.jpg"), 1200, 800);
    const QString small = MakePicture(QStringLiteral("small.png"), 320, 200, "PNG");
    const QString shotA = Folder("shots") + QStringLiteral("/a.png");
    const QString shotB = Folder("shots") + QStringLiteral("/b.png");
    // Both share the user's temporary folder and settings.
    QProcess a, b;
    Start(a, {QStringLiteral("--screenshot"), shotA, wide}, Environment());
    Start(b, {QStringLiteral("--screenshot"), shotB, small}, Environment());
    const TRun runA = Finish(a);
    const TRun runB = Finish(b);
    ExpectReport(runA, 1200, 800);
    ExpectReport(runB, 320, 200);
    EXPECT_FALSE(QImage(shotA).isNull());
    EXPECT_FALSE(QImage(shotB).isNull());
    // A picture on the command line moves the dialogs' folders as "Open
    // Image" does, and they are stored at close.
    QSettings settings(QString::fromStdString((env_.config() / "QZ.conf").string()), QSettings::IniFormat);
    EXPECT_EQ(settings.value(QStringLiteral("Vantrel/Load")).toString(), Folder("pictures"));
    EXPECT_EQ(settings.value(QStringLiteral("Vantrel/Save")).toString(), Folder("pictures"));
    EXPECT_TRUE(WorkFolders(Temp()).isEmpty()) << WorkFolders(Temp()).join(QLatin1Char(' ')).toStdString();
}

TEST_F(ProgramTest, OverLongTemporaryFolderFallsBackToAShortPrivateOne) {
    QString deep = Temp();
    for (int i = 0; deep.size() <= MaxWorkFolderLength + 20; ++i)
        deep += QLatin1Char('/') + QString(60, QLatin1Char('a' + i));
    ASSERT_TRUE(QDir().mkpath(deep));
    QProcessEnvironment environment = Environment();
    environment.insert(QStringLiteral("TEMP"), deep);
    const QString picture = MakePicture(QStringLiteral("photo.jpg"), 200, 100);
    const TRun run = Run({QStringLiteral("--screenshot"), Folder("shots") + QStringLiteral("/deep.png"), picture},
                         environment);
    ExpectReport(run, 200, 100);
    EXPECT_TRUE(WorkFolders(deep).isEmpty());
}

TEST_F(ProgramTest, MissingPictureIsReportedAndTheRunFails) {
    const QString missing = Folder("pictures") + QStringLiteral("/missing.jpg");
    const TRun run = Run({QStringLiteral("--screenshot"), Folder("shots") + QStringLiteral("/m.png"), missing},
                         Environment());
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_TRUE(run.Errors.contains(missing)) << run.Errors.toStdString();
    EXPECT_TRUE(WorkFolders(Temp()).isEmpty());
}

TEST_F(ProgramTest, StartFailureIsReportedAndEndsTheProgram) {
    // A list where a number belongs: the settings cannot be read.
    QFile config(QString::fromStdString((env_.config() / "QZ.conf").string()));
    ASSERT_TRUE(config.open(QIODevice::WriteOnly));
    config.write("[Vantrel]\nWidth=1, 2\n");
    config.close();
    const TRun run = Run({QStringLiteral("--screenshot"), Folder("shots") + QStringLiteral("/f.png"),
                          QStringLiteral(VANTREL_SAMPLE)},
                         Environment());
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_TRUE(run.Errors.contains(QStringLiteral("Width"))) << run.Errors.toStdString();
    EXPECT_TRUE(run.Lines.isEmpty());
    EXPECT_TRUE(WorkFolders(Temp()).isEmpty());
}

TEST_F(ProgramTest, RunsInARealWindowUnderXvfb) {
    const QString xvfbRun = QStandardPaths::findExecutable(QStringLiteral("xvfb-run"));
    if (xvfbRun.isEmpty())
        GTEST_SKIP() << "xvfb-run is not installed";
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    const QString shot = Folder("shots") + QStringLiteral("/x.png");
    TRun run;
    // xvfb-run -a can pick the same display as another one starting at the
    // same moment; then its server fails to start and another try is due.
    for (int attempt = 0; attempt < 3; ++attempt) {
        QProcess process;
        Start(process,
              {QStringLiteral("-a"), QStringLiteral("-s"), QStringLiteral("-screen 0 1280x1024x24"),
               QStringLiteral(VANTREL_EXE), QStringLiteral("--screenshot"), shot, QStringLiteral(VANTREL_SAMPLE)},
              environment, xvfbRun);
        run = Finish(process);
        if (!run.Errors.contains(QStringLiteral("Xvfb failed to start")))
            break;
    }
    ExpectReport(run, 1600, 1200);

    const QImage image(shot);
    ASSERT_FALSE(image.isNull());
    // No window manager: the window is exactly the default size.
    EXPECT_EQ(image.size(), QSize(512, 360));
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); y += 3)
        for (int x = 0; x < image.width(); x += 3)
            colours.insert(image.pixel(x, y));
    EXPECT_GT(colours.size(), 200) << "the screenshot looks blank";
    EXPECT_TRUE(WorkFolders(Temp()).isEmpty());
}
