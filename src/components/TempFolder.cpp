#include "components/TempFolder.h"

#include "platform/environment.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

constexpr unsigned ExpandCapacity = 256;

} // namespace

TTempFolder::TTempFolder(QObject *AOwner)
    : TComponent(AOwner)
{
    FPath.clear();
    FValid = true;
    if (!ExpandFolderVariable("%temp%", FExpandBuffer, ExpandCapacity) &&
        !ExpandFolderVariable("%tmp%", FExpandBuffer, ExpandCapacity))
        FValid = false;
    FPath = QString::fromLocal8Bit(FExpandBuffer);
    if (!FPath.endsWith(QLatin1Char('/')))
        FPath += QLatin1Char('/');
}

TTempFolder::~TTempFolder()
{
    FPath.clear();
}

int TTempFolder::MakeTempName(char *buffer, const char *prefix, unsigned size)
{
    std::srand(static_cast<unsigned>(std::time(nullptr)));
    if (!buffer || size == 0)
        return 0;
    buffer[0] = '\0';
    if (!prefix)
        prefix = "";
    const int number = std::rand() % 99999;
    // Eight characters cover the number (at most five hex digits) and the
    // terminating zero with room to spare.
    const QByteArray path = FPath.toLocal8Bit();
    const std::size_t needed = static_cast<std::size_t>(path.size()) + std::strlen(prefix) + 8;
    if (needed < size)
        std::snprintf(buffer, size, "%s%s%X", path.constData(), prefix, static_cast<unsigned>(number));
    return static_cast<int>(std::strlen(buffer));
}

namespace TempFolder {
void Register()
{
    RegisterComponents(QStringLiteral("QZ"), {QStringLiteral("TTempFolder")});
}
} // namespace TempFolder
