#include "components/TempFolder.h"

#include "platform/environment.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

constexpr unsigned ExpandCapacity = 256;

// Expands reference ("%temp%") into buffer. A value that does not fit the
// buffer, or that is the empty text, is treated like an unset variable: a
// cut-off path could name some other folder, and an empty one would put the
// working files in the current folder (or, once the separator is added, in
// the root folder). Returns false in those cases, leaving the reference
// itself in the buffer as an unexpanded variable would.
bool ExpandFolder(const char *reference, char *buffer)
{
    const unsigned needed = ExpandEnvironmentStrings(reference, buffer, ExpandCapacity);
    if (needed <= ExpandCapacity && buffer[0] != '\0')
        return std::strcmp(buffer, reference) != 0;
    std::snprintf(buffer, ExpandCapacity, "%s", reference);
    return false;
}

} // namespace

TTempFolder::TTempFolder(QObject *AOwner)
    : TComponent(AOwner)
{
    FPath.clear();
    FValid = true;
    if (!ExpandFolder("%temp%", FExpandBuffer) && !ExpandFolder("%tmp%", FExpandBuffer))
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
