#include "portusage.h"

#include <QFile>
#include <QList>

namespace {
// A namespace with this much socket table is not one the tool should trust.
constexpr qint64 MaxTableBytes = 8 * 1024 * 1024;
}

bool PortUsage::tableHasPort(const QByteArray &table, quint16 port)
{
    const QList<QByteArray> lines = table.split('\n');
    for (int i = 1; i < lines.size(); ++i) {
        // "  12: 00000000:1F40 00000000:0000 07 ..."
        const QList<QByteArray> columns = lines.at(i).simplified().split(' ');
        if (columns.size() < 2)
            continue;
        const QByteArray &local = columns.at(1);
        const int colon = local.lastIndexOf(':');
        if (colon < 0)
            continue;
        bool ok = false;
        const uint localPort = local.mid(colon + 1).toUInt(&ok, 16);
        if (ok && localPort == port)
            return true;
    }
    return false;
}

bool PortUsage::udpPortInUse(quint16 port)
{
    for (const char *path : {"/proc/net/udp", "/proc/net/udp6"}) {
        QFile file(QString::fromLatin1(path));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        if (tableHasPort(file.read(MaxTableBytes), port))
            return true;
    }
    return false;
}
