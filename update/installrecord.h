#ifndef INSTALLRECORD_H
#define INSTALLRECORD_H

#include <QString>

// Remembers the last version an update installed, so that no package, however
// well signed, takes the program back to it or below: an old signed package
// replayed after a downgrade through the package manager is refused too.
class InstallRecord
{
public:
    // "" when no update was ever installed here.
    static QString lastInstalled();
    static bool remember(const QString &version);
    // What an offered version must exceed: the running program's version,
    // or the last installed one when that is newer.
    static QString floorVersion();

private:
    InstallRecord() = delete;
};

#endif // INSTALLRECORD_H
