#include "neighbourtable.h"

#include <QFile>
#include <QHostAddress>
#include <QList>
#include <QRegularExpression>

namespace {

// ATF_COM: the entry is complete (the kernel knows the MAC).
constexpr uint CompleteFlag = 0x2;

bool isUsableMac(const QByteArray &text)
{
    static const QRegularExpression form(QStringLiteral("^[0-9a-f]{2}(:[0-9a-f]{2}){5}$"));
    const QString mac = QString::fromLatin1(text).toLower();
    return form.match(mac).hasMatch() && mac != QLatin1String("00:00:00:00:00:00")
        && mac != QLatin1String("ff:ff:ff:ff:ff:ff");
}

} // namespace

QHash<quint32, NeighbourTable::Entry> NeighbourTable::read(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    // A proc file reports no size: read up to the cap.
    return parse(file.read(MaxBytes));
}

QHash<quint32, NeighbourTable::Entry> NeighbourTable::parse(const QByteArray &text)
{
    QHash<quint32, Entry> table;
    const QList<QByteArray> lines = text.left(MaxBytes).split('\n');
    // "IP address  HW type  Flags  HW address  Mask  Device"; the first line is the heading.
    for (int i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> fields = lines.at(i).simplified().split(' ');
        if (fields.size() < 6)
            continue;
        QHostAddress address;
        bool flagsOk = false;
        const uint flags = fields.at(2).toUInt(&flagsOk, 16);
        if (!address.setAddress(QString::fromLatin1(fields.at(0))) || address.protocol() != QAbstractSocket::IPv4Protocol
            || !flagsOk || !(flags & CompleteFlag) || !isUsableMac(fields.at(3)))
            continue;
        table.insert(address.toIPv4Address(),
                     {QString::fromLatin1(fields.at(3)).toLower(), QString::fromLatin1(fields.at(5).left(64))});
    }
    return table;
}
