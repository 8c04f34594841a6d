#include "zipentryname.h"

#include <QStringList>

#include <sys/stat.h>

namespace {
constexpr quint32 hostUnix = 3;

ZipEntryName::Result refuse(const QString &reason)
{
    ZipEntryName::Result r;
    r.kind = ZipEntryName::Refused;
    r.reason = reason;
    return r;
}
} // namespace

ZipEntryName::Result ZipEntryName::check(const QByteArray &rawName, quint32 versionMadeBy, quint32 externalAttributes)
{
    if (rawName.isEmpty())
        return refuse(QStringLiteral("an entry has no name"));
    if (rawName.size() >= nameBufferSize)
        return refuse(QStringLiteral("an entry name is too long"));
    if (rawName.contains('\0'))
        return refuse(QStringLiteral("an entry name contains a zero byte"));

    // Packages made on Windows may separate folders with backslashes.
    QString name = QString::fromLocal8Bit(rawName);
    name.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (name.startsWith(QLatin1Char('/')) || (name.size() >= 2 && name.at(1) == QLatin1Char(':')))
        return refuse(QStringLiteral("entry \"%1\" has an absolute name").arg(name));

    const bool folder = name.endsWith(QLatin1Char('/'));
    if (folder)
        name.chop(1);
    const QStringList parts = name.split(QLatin1Char('/'));
    for (const QString &part : parts) {
        if (part.isEmpty() || part == QLatin1String("."))
            return refuse(QStringLiteral("entry \"%1\" has an empty or \".\" path part").arg(name));
        if (part == QLatin1String(".."))
            return refuse(QStringLiteral("entry \"%1\" leads out of the folder").arg(name));
    }

    Result r;
    r.path = name;
    r.kind = folder ? Folder : File;
    if ((versionMadeBy >> 8) == hostUnix) {
        const quint32 mode = externalAttributes >> 16;
        const quint32 type = mode & S_IFMT;
        if (type == S_IFLNK)
            return refuse(QStringLiteral("entry \"%1\" is a symbolic link").arg(name));
        if (type == S_IFDIR)
            r.kind = Folder;
        else if (type != 0 && type != S_IFREG)
            return refuse(QStringLiteral("entry \"%1\" is not a regular file").arg(name));
        // Permission bits only: no set-user-id, set-group-id or sticky bit.
        r.mode = mode & 0777;
    }
    return r;
}
