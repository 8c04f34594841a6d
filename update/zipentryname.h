#ifndef ZIPENTRYNAME_H
#define ZIPENTRYNAME_H

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// What an entry of an update package may be, decided from its stored name
// and attributes alone (no file system access), so that a package is judged
// whole before anything of it is written.
class ZipEntryName
{
public:
    enum Kind { File, Folder, Refused };

    struct Result
    {
        Kind kind = Refused;
        // Relative path with forward slashes, without a trailing "/".
        QString path;
        // Permission bits to restore (0: leave the default).
        uint mode = 0;
        // Why a name was refused (for the log and the user).
        QString reason;
    };

    // rawName: the name as stored (8-bit). versionMadeBy and externalAttributes
    // as in the central directory: made on Unix (host 3), the high 16 bits of
    // externalAttributes are the file's st_mode.
    static Result check(const QByteArray &rawName, quint32 versionMadeBy, quint32 externalAttributes);

    // Names the unpacking reads into a buffer of this size; a longer name is
    // refused rather than cut.
    static constexpr int nameBufferSize = 256;

private:
    ZipEntryName() = delete;
};

#endif // ZIPENTRYNAME_H
