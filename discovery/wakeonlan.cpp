#include "wakeonlan.h"

#include <QNetworkAddressEntry>
#include <QNetworkInterface>
#include <QStringList>

#include <cctype>

namespace {

// Leading hexadecimal digits of the text, truncated to one byte; 0 if none.
char macPartByte(const QString &part)
{
    unsigned value = 0;
    for (const QChar c : part) {
        const int digit = QStringLiteral("0123456789abcdef").indexOf(c.toLower());
        if (digit < 0)
            break;
        value = (value << 4) | static_cast<unsigned>(digit);
    }
    return static_cast<char>(value & 0xff);
}

} // namespace

QByteArray WakeOnLan::buildMagicPacket(const QString &mac)
{
    QByteArray macBytes;
    const QStringList parts = mac.split(QLatin1Char(':'), Qt::KeepEmptyParts);
    for (const QString &part : parts)
        macBytes.append(macPartByte(part));

    QByteArray packet(6, '\xff');
    packet.reserve(6 + 16 * macBytes.size());
    for (int i = 0; i < 16; ++i)
        packet.append(macBytes);
    return packet;
}

bool WakeOnLan::isMacText(const QString &text)
{
    if (text.size() != 17)
        return false;
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (i % 3 == 2) {
            if (c != QLatin1Char(':'))
                return false;
        } else if (!isxdigit(c.toLatin1()) || c.unicode() > 0x7f) {
            return false;
        }
    }
    return true;
}

int WakeOnLan::delayAfterPass(int passIndex)
{
    if (passIndex < 0 || passIndex >= TotalPasses)
        return 0;
    const bool lastOfBurst = (passIndex + 1) % PassesPerBurst == 0;
    return lastOfBurst ? PassGapMs + BurstGapMs : PassGapMs;
}

QString WakeOnLan::macOfMagicPacket(const QByteArray &packet)
{
    if (packet.size() != PacketSize || !packet.startsWith(QByteArray(6, '\xff')))
        return QString();
    const QByteArray mac = packet.mid(6, 6);
    for (int i = 1; i < 16; ++i) {
        if (packet.mid(6 + 6 * i, 6) != mac)
            return QString();
    }
    return QString::fromLatin1(mac.toHex(':'));
}

QList<QHostAddress> WakeOnLan::broadcastAddresses()
{
    QList<QHostAddress> result;
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &iface : interfaces) {
        const QList<QNetworkAddressEntry> entries = iface.addressEntries();
        for (const QNetworkAddressEntry &entry : entries) {
            if (entry.broadcast().isNull())
                continue;
            if (entry.ip().protocol() != QAbstractSocket::IPv4Protocol)
                continue;
            if (entry.ip() == QHostAddress(QHostAddress::LocalHost))
                continue;
            result.append(entry.broadcast());
        }
    }
    return result;
}
