#include "platform/dynlib.h"

#include <QDir>
#include <QFileInfo>

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

namespace {

QStringList GSearchPath;

// Debian's multiarch folder name for the machine we were built for.
const char *MultiarchTriplet()
{
#if defined(__x86_64__)
    return "x86_64-linux-gnu";
#elif defined(__aarch64__)
    return "aarch64-linux-gnu";
#elif defined(__i386__)
    return "i386-linux-gnu";
#elif defined(__arm__)
    return "arm-linux-gnueabihf";
#elif defined(__riscv) && __riscv_xlen == 64
    return "riscv64-linux-gnu";
#elif defined(__powerpc64__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    return "powerpc64le-linux-gnu";
#elif defined(__s390x__)
    return "s390x-linux-gnu";
#else
    return "";
#endif
}

QString ExecutableFolder()
{
    const QString exe = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    return exe.isEmpty() ? QString() : QFileInfo(exe).absolutePath();
}

// The folders searched, in order, before the system's own search.
QStringList SearchFolders()
{
    QStringList folders = GSearchPath;
    const QString exeFolder = ExecutableFolder();
    if (!exeFolder.isEmpty()) {
        folders << exeFolder;
        const QString triplet = QString::fromLatin1(MultiarchTriplet());
        if (!triplet.isEmpty())
            folders << QDir::cleanPath(exeFolder + QStringLiteral("/../lib/") + triplet);
        folders << QDir::cleanPath(exeFolder + QStringLiteral("/../lib"));
    }
    return folders;
}

} // namespace

QString LibraryFileName(const QString &moduleName)
{
    QString name = moduleName;
    if (name.contains(QLatin1Char('/')))
        return name; // a path is taken as it is
    if (name.endsWith(QStringLiteral(".dll"), Qt::CaseInsensitive))
        name.chop(4);
    if (name.endsWith(QStringLiteral(".so")) || name.contains(QStringLiteral(".so.")))
        return name;
    // Module names are case-blind on the system the names come from; library
    // files here are lower case.
    name = name.toLower();
    if (!name.startsWith(QStringLiteral("lib")))
        name.prepend(QStringLiteral("lib"));
    return name + QStringLiteral(".so");
}

QString FindLibrary(const QString &moduleName)
{
    const QString file = LibraryFileName(moduleName);
    if (file.isEmpty())
        return QString();
    if (file.contains(QLatin1Char('/')))
        return QFileInfo(file).isFile() ? QFileInfo(file).absoluteFilePath() : QString();
    for (const QString &folder : SearchFolders()) {
        const QString candidate = folder + QLatin1Char('/') + file;
        if (QFileInfo(candidate).isFile())
            return candidate;
    }
    // The system's search: ask the loader where it found the file.
    void *handle = dlopen(file.toLocal8Bit().constData(), RTLD_LAZY | RTLD_LOCAL | RTLD_NOLOAD);
    if (!handle)
        handle = dlopen(file.toLocal8Bit().constData(), RTLD_LAZY | RTLD_LOCAL);
    if (!handle)
        return QString();
    QString path;
    struct link_map *map = nullptr;
    if (dlinfo(handle, RTLD_DI_LINKMAP, &map) == 0 && map && map->l_name)
        path = QString::fromLocal8Bit(map->l_name);
    dlclose(handle);
    return path;
}

HMODULE LoadLibrary(const char *moduleName)
{
    if (!moduleName || !*moduleName)
        return nullptr;
    const QString file = LibraryFileName(QString::fromLocal8Bit(moduleName));
    if (file.contains(QLatin1Char('/')))
        return dlopen(file.toLocal8Bit().constData(), RTLD_NOW | RTLD_LOCAL);
    // The first file found is the one loaded, as the system the callers were
    // written for does; a later folder does not stand in for a broken one.
    for (const QString &folder : SearchFolders()) {
        const QString candidate = folder + QLatin1Char('/') + file;
        if (QFileInfo(candidate).isFile())
            return dlopen(candidate.toLocal8Bit().constData(), RTLD_NOW | RTLD_LOCAL);
    }
    return dlopen(file.toLocal8Bit().constData(), RTLD_NOW | RTLD_LOCAL);
}

void *GetProcAddress(HMODULE module, const char *procName)
{
    if (!module || !procName)
        return nullptr;
    return dlsym(module, procName);
}

bool FreeLibrary(HMODULE module)
{
    return module && dlclose(module) == 0;
}

void SetLibrarySearchPath(const QStringList &folders)
{
    GSearchPath = folders;
}
