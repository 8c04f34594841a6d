// The update description as the server sends it: an INI text read through
// QSettings, the version texts in it compared with the program's, and the
// manifest it carries.
#include "updatemanifest.h"
#include "updateversion.h"

#include <QCoreApplication>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static int argc = 1;
    static char name[] = "fuzz_updatedescription";
    static char *argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("ServerUpdate.cfg"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        file.write(reinterpret_cast<const char *>(data), qint64(size));
    }
    const QSettings server(path, QSettings::IniFormat);
    for (const QString &section : server.childGroups()) {
        const QString version = server.value(section + QStringLiteral("/Version"), 0).toString();
        QVector<quint32> parts;
        UpdateVersion::parse(version, &parts);
        // Newer is a strict order: never both ways.
        const QString current = UpdateVersion::programVersion();
        if (UpdateVersion::isNewer(version, current) && UpdateVersion::isNewer(current, version))
            __builtin_trap();
        server.value(section + QStringLiteral("/FileSize"), 0).toLongLong();
        const QByteArray manifestText = QByteArray::fromBase64(server.value(section + QStringLiteral("/Manifest")).toString().toLatin1());
        UpdateManifest manifest;
        QString why;
        if (UpdateManifest::decode(manifestText, &manifest, &why) && manifest.encode() != manifestText)
            __builtin_trap();
        server.value(section + QStringLiteral("/ManifestSignature")).toString().toLatin1();
    }
    return 0;
}
