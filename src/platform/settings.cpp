#include "platform/settings.h"

#include "platform/application.h"

#include <QDir>
#include <QSettings>
#include <QVariant>
#include <climits>

namespace {

// The last element of "\Software\QZ" names the organisation.
QString OrganisationOf(const QString &key)
{
    QString k = key;
    k.replace(QLatin1Char('\\'), QLatin1Char('/'));
    const QStringList parts = k.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    return parts.isEmpty() ? QStringLiteral("QZ") : parts.last();
}

QString KeyOf(const QString &section, const QString &ident)
{
    return section + QLatin1Char('/') + ident;
}

} // namespace

TRegIniFile::TRegIniFile(const QString &key)
{
    const QString organisation = OrganisationOf(key);
#if defined(Q_OS_WIN) || defined(Q_OS_MACOS)
    FSettings = std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, organisation);
#else
    // The same file NativeFormat picks ($XDG_CONFIG_HOME/<organisation>.conf),
    // but named here: QSettings remembers the configuration folder for the
    // whole process and would not see XDG_CONFIG_HOME change.
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty() || !QDir::isAbsolutePath(config))
        config = QDir::homePath() + QStringLiteral("/.config");
    FSettings = std::make_unique<QSettings>(config + QLatin1Char('/') + organisation + QStringLiteral(".conf"),
                                            QSettings::IniFormat);
#endif
}

TRegIniFile::~TRegIniFile()
{
    // Errors on the way out have no one to go to; Flush() reports them.
    FSettings->sync();
}

QString TRegIniFile::ReadString(const QString &section, const QString &ident, const QString &defaultValue) const
{
    const QVariant value = FSettings->value(KeyOf(section, ident));
    if (!value.isValid())
        return defaultValue;
    if (value.typeId() != QMetaType::QString)
        throw EPlatformError(QStringLiteral("Invalid data type for '%1'").arg(ident));
    return value.toString();
}

void TRegIniFile::WriteString(const QString &section, const QString &ident, const QString &value)
{
    FSettings->setValue(KeyOf(section, ident), value);
}

int TRegIniFile::ReadInteger(const QString &section, const QString &ident, int defaultValue) const
{
    const QString text = ReadString(section, ident, QString());
    int value = 0;
    return ParseSettingsInteger(text, value) ? value : defaultValue;
}

void TRegIniFile::WriteInteger(const QString &section, const QString &ident, int value)
{
    WriteString(section, ident, QString::number(value));
}

bool TRegIniFile::ValueExists(const QString &section, const QString &ident) const
{
    return FSettings->contains(KeyOf(section, ident));
}

bool TRegIniFile::SectionExists(const QString &section) const
{
    return FSettings->childGroups().contains(section);
}

void TRegIniFile::Flush()
{
    FSettings->sync();
    switch (FSettings->status()) {
    case QSettings::NoError:
        return;
    case QSettings::AccessError:
        throw EPlatformError(QStringLiteral("Cannot write the settings to %1").arg(FSettings->fileName()));
    case QSettings::FormatError:
        throw EPlatformError(QStringLiteral("The settings file %1 is not readable").arg(FSettings->fileName()));
    }
}

QString TRegIniFile::FileName() const
{
    return FSettings->fileName();
}

bool ParseSettingsInteger(const QString &text, int &value)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    bool negative = false;
    if (i < n && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+'))) {
        negative = text[i] == QLatin1Char('-');
        ++i;
    }
    int base = 10;
    if (i + 1 < n && text[i] == QLatin1Char('0') && (text[i + 1] == QLatin1Char('x') || text[i + 1] == QLatin1Char('X'))) {
        base = 16;
        i += 2;
    }
    if (i == n)
        return false;
    // Accumulate in 64 bits; more than 12 digits can only overflow.
    long long magnitude = 0;
    for (; i < n; ++i) {
        const char16_t c = text[i].unicode();
        int digit;
        if (c >= u'0' && c <= u'9')
            digit = c - u'0';
        else if (base == 16 && c >= u'a' && c <= u'f')
            digit = c - u'a' + 10;
        else if (base == 16 && c >= u'A' && c <= u'F')
            digit = c - u'A' + 10;
        else
            return false;
        magnitude = magnitude * base + digit;
        if (magnitude > static_cast<long long>(INT_MAX) + 1)
            return false;
    }
    const long long result = negative ? -magnitude : magnitude;
    if (result > INT_MAX || result < INT_MIN)
        return false;
    value = static_cast<int>(result);
    return true;
}
