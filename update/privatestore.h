#ifndef PRIVATESTORE_H
#define PRIVATESTORE_H

#include <QString>

class QFile;

// The update data folder holds what decides which web pages may command the
// program (setting.ini) and what the next update installs: only this user
// may read or change it. The folder is kept at mode 0700, its files at 0600.
class PrivateStore
{
public:
    // Creates folder (with missing parents) at 0700, or narrows an existing
    // folder of this user to 0700. False when it cannot be made or is not a
    // folder of this user.
    static bool makeFolder(const QString &folder);

    // Before a write: creates path empty at 0600 when missing, or narrows an
    // existing file of this user to 0600. A symbolic link or anything but a
    // regular file of this user is refused (false, logged).
    static bool prepareFile(const QString &path);
    // Narrows path to 0600 if it exists; nothing when it does not.
    static bool narrowFile(const QString &path);

    // Replaces whatever is at path by a new empty file at 0600 and opens it
    // for writing in file. The file is made by this call (never a link or a
    // file somebody else prepared).
    static bool createNew(const QString &path, QFile *file);

    static constexpr unsigned folderMode = 0700;
    static constexpr unsigned fileMode = 0600;

private:
    PrivateStore() = delete;
};

#endif // PRIVATESTORE_H
