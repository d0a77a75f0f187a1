// TRegIniFile: string settings under a key, one group per section, over
// QSettings(NativeFormat, UserScope, organisation): on Linux the file
// $XDG_CONFIG_HOME/<organisation>.conf, on Windows the registry.
// The key "\Software\QZ" names the organisation "QZ".
#pragma once

#include <QString>
#include <memory>

class QSettings;

class TRegIniFile {
public:
    // key: "\Software\QZ" (the last path element is the organisation).
    explicit TRegIniFile(const QString &key);
    ~TRegIniFile(); // writes what is pending

    QString ReadString(const QString &section, const QString &ident, const QString &defaultValue) const;
    void WriteString(const QString &section, const QString &ident, const QString &value);
    // Decimal, or hexadecimal behind 0x / 0X; anything else gives the default.
    int ReadInteger(const QString &section, const QString &ident, int defaultValue) const;
    void WriteInteger(const QString &section, const QString &ident, int value); // decimal text
    bool ValueExists(const QString &section, const QString &ident) const;
    bool SectionExists(const QString &section) const;
    // Writes pending values now; throws EPlatformError when they cannot be stored.
    void Flush();
    QString FileName() const;

private:
    std::unique_ptr<QSettings> FSettings;
};

// The integer rule alone, for tests and callers with their own text.
bool ParseSettingsInteger(const QString &text, int &value);
