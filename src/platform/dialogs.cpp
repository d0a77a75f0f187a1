#include "platform/dialogs.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QWidget>

namespace {

TDialogScript GScript;

// "Jpeg File|*.jpg|Any File|*.*" as pairs of description and patterns, the
// patterns in Qt's spelling ("*.*" matches every name, ';' separates).
QStringList QtFilterList(const QString &filter)
{
    QStringList result;
    if (filter.isEmpty())
        return result;
    const QStringList parts = filter.split(QLatin1Char('|'));
    for (qsizetype i = 0; i < parts.size(); i += 2) {
        const QString description = parts[i].trimmed();
        QStringList patterns;
        if (i + 1 < parts.size()) {
            for (QString pattern : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
                pattern = pattern.trimmed();
                if (pattern == QStringLiteral("*.*"))
                    pattern = QStringLiteral("*");
                if (!pattern.isEmpty())
                    patterns << pattern;
            }
        }
        if (patterns.isEmpty())
            patterns << QStringLiteral("*");
        result << description + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
    }
    return result;
}

// The extension a save name without one gets: the filter's own when it names
// exactly one ("*.jpg"), else DefaultExt.
QString SaveExtension(const QString &filter, int filterIndex, const QString &defaultExt)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    const qsizetype at = 2 * (qsizetype(filterIndex) - 1) + 1;
    if (filterIndex >= 1 && at < parts.size()) {
        const QStringList patterns = parts[at].split(QLatin1Char(';'), Qt::SkipEmptyParts);
        if (patterns.size() == 1) {
            const QString pattern = patterns.first().trimmed();
            if (pattern.startsWith(QStringLiteral("*.")) && pattern.size() > 2) {
                const QString ext = pattern.mid(2);
                if (!ext.contains(QLatin1Char('*')) && !ext.contains(QLatin1Char('?')))
                    return ext;
            }
        }
    }
    QString ext = defaultExt;
    if (ext.startsWith(QLatin1Char('.')))
        ext.remove(0, 1);
    return ext;
}

QString WithExtension(const QString &fileName, const QString &ext)
{
    if (fileName.isEmpty() || ext.isEmpty())
        return fileName;
    const QString name = fileName.mid(fileName.lastIndexOf(QLatin1Char('/')) + 1);
    if (name.isEmpty() || name.contains(QLatin1Char('.')))
        return fileName;
    return fileName + QLatin1Char('.') + ext;
}

} // namespace

void SetDialogScript(TDialogScript script)
{
    GScript = std::move(script);
}

bool HasDialogScript()
{
    return static_cast<bool>(GScript);
}

TFileDialog::TFileDialog(Kind kind, QObject *owner)
    : QObject(owner), FKind(kind)
{
}

TFileDialog::~TFileDialog() = default;

void TFileDialog::SetInitialDir(const QString &dir)
{
    // One trailing separator goes, except the root's.
    QString value = dir;
    if (value.size() > 1 && value.endsWith(QLatin1Char('/')))
        value.chop(1);
    FInitialDir = value;
}

QString TFileDialog::QtFilter() const
{
    return QtFilterList(FFilter).join(QStringLiteral(";;"));
}

bool TFileDialog::Execute(QWidget *parent)
{
    if (GScript) {
        // Copy first: the script may replace itself.
        const TDialogScript script = GScript;
        if (!script(*this))
            return false;
        if (FKind == Save)
            FFileName = WithExtension(FFileName, SaveExtension(FFilter, FFilterIndex, FDefaultExt));
        return true;
    }

    if (!parent)
        parent = qobject_cast<QWidget *>(this->parent());
    if (!parent)
        parent = QApplication::activeWindow();

    QFileDialog dialog(parent, FTitle);
    // Qt's own dialog, the same on every desktop and scriptable in tests.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(FKind == Save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(FKind == Save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);

    // A folder that does not exist here (the old default "c:\" among them)
    // starts in the home folder.
    QString dir = FInitialDir;
    const QString fileFolder = ExtractFileDir(FFileName);
    if (!fileFolder.isEmpty() && QFileInfo(fileFolder).isDir())
        dir = fileFolder;
    if (dir.isEmpty() || !QFileInfo(dir).isDir())
        dir = QDir::homePath();
    dialog.setDirectory(dir);

    const QStringList filters = QtFilterList(FFilter);
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
        if (FFilterIndex >= 1 && FFilterIndex <= filters.size())
            dialog.selectNameFilter(filters[FFilterIndex - 1]);
    }
    if (FKind == Save) {
        // Qt adds the suffix before asking about overwriting, so the question
        // is about the file that will be written.
        auto updateSuffix = [&dialog, &filters, this](const QString &selected) {
            dialog.setDefaultSuffix(SaveExtension(FFilter, int(filters.indexOf(selected)) + 1, FDefaultExt));
        };
        updateSuffix(dialog.selectedNameFilter());
        QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, updateSuffix);
    }
    if (!FFileName.isEmpty())
        dialog.selectFile(FFileName.mid(FFileName.lastIndexOf(QLatin1Char('/')) + 1));

    if (dialog.exec() != QDialog::Accepted)
        return false;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty() || chosen.first().isEmpty())
        return false;
    const qsizetype index = filters.indexOf(dialog.selectedNameFilter());
    if (index >= 0)
        FFilterIndex = int(index) + 1;
    FFileName = chosen.first();
    if (FKind == Save)
        FFileName = WithExtension(FFileName, SaveExtension(FFilter, FFilterIndex, FDefaultExt));
    return true;
}

QString ExtractFileDir(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    if (slash < 0)
        return QString();
    if (slash == 0)
        return QStringLiteral("/");
    return path.left(slash);
}
