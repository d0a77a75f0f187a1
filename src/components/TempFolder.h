// TTempFolder: finds the user's temporary folder once, when created, and
// hands out its path, always ending in a separator; makes temporary names.
#pragma once

#include "platform/component.h"

#include <QString>

class TTempFolder : public TComponent {
    Q_OBJECT
public:
    explicit TTempFolder(QObject *AOwner);
    ~TTempFolder() override;

    QString Path() const { return FPath; }
    bool Valid() const { return FValid; }
    // Writes path + prefix + a number in upper-case hex into buffer when it
    // fits in size characters; returns the length written (0 otherwise).
    int MakeTempName(char *buffer, const char *prefix, unsigned size);

private:
    QString FPath;
    char FExpandBuffer[256] = {};
    bool FValid = true;
};

// Puts the class on the component palette page "QZ".
namespace TempFolder {
void Register();
}
