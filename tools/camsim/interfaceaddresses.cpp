#include "interfaceaddresses.h"

#include "networksafety.h"
#include "utilityprotocol.h"

#include <QHostAddress>
#include <QNetworkInterface>
#include <QProcess>
#include <QSet>

InterfaceAddresses::InterfaceAddresses(const QString &interfaceName)
    : m_interface(interfaceName)
{
}

InterfaceAddresses::~InterfaceAddresses()
{
    releaseAll();
}

int InterfaceAddresses::prefixLength(const QString &mask)
{
    const UtilityProtocol::Ipv4Bytes bytes = UtilityProtocol::ipv4FromText(mask);
    quint32 value = 0;
    for (const quint8 b : bytes)
        value = (value << 8) | b;
    int length = 0;
    while (length < 32 && (value & (0x80000000u >> length)))
        ++length;
    // A mask with holes, or none at all, still needs a usable prefix.
    return length == 0 ? 24 : length;
}

bool InterfaceAddresses::isLocal(const QString &ip)
{
    const QHostAddress wanted(ip);
    const QList<QHostAddress> all = QNetworkInterface::allAddresses();
    for (const QHostAddress &address : all) {
        if (address.isEqual(wanted, QHostAddress::TolerantConversion))
            return true;
    }
    return false;
}

bool InterfaceAddresses::runIp(const QStringList &arguments, QString *error, const QByteArray &input)
{
    QProcess ip;
    ip.setProcessChannelMode(QProcess::MergedChannels);
    ip.start(QStringLiteral("ip"), arguments);
    if (!input.isEmpty()) {
        ip.write(input);
        ip.closeWriteChannel();
    }
    if (!ip.waitForFinished(10000) || ip.exitStatus() != QProcess::NormalExit || ip.exitCode() != 0) {
        if (error) {
            *error = QStringLiteral("ip %1: %2").arg(arguments.join(QLatin1Char(' ')),
                                                    QString::fromLocal8Bit(ip.readAll()).trimmed());
        }
        return false;
    }
    return true;
}

bool InterfaceAddresses::refuses(const QString &ip, QString *error) const
{
    if (QHostAddress(ip).protocol() != QAbstractSocket::IPv4Protocol || ip == QLatin1String("0.0.0.0")) {
        if (error)
            *error = QStringLiteral("not a usable IPv4 address: %1").arg(ip);
        return true;
    }
    if (!NetworkSafety::isDocumentationAddress(ip)) {
        if (error) {
            *error = QStringLiteral("refusing to add %1 to %2: not a documentation address (%3)")
                         .arg(ip, m_interface, NetworkSafety::documentationRanges());
        }
        return true;
    }
    return false;
}

bool InterfaceAddresses::claimAll(const QList<QPair<QString, QString>> &addresses, QString *error)
{
    if (!managed())
        return true;
    QSet<QString> local;
    const QList<QHostAddress> all = QNetworkInterface::allAddresses();
    for (const QHostAddress &address : all)
        local.insert(address.toString());
    QByteArray batch;
    QHash<QString, int> adding;
    for (const auto &entry : addresses) {
        const QString &ip = entry.first;
        if (m_added.contains(ip) || adding.contains(ip) || local.contains(ip))
            continue;
        if (refuses(ip, error))
            return false;
        const int prefix = prefixLength(entry.second);
        adding.insert(ip, prefix);
        batch += QStringLiteral("addr add %1/%2 dev %3\n").arg(ip).arg(prefix).arg(m_interface).toLocal8Bit();
    }
    if (adding.isEmpty())
        return true;
    if (!runIp({QStringLiteral("-batch"), QStringLiteral("-")}, error, batch))
        return false;
    for (auto it = adding.constBegin(); it != adding.constEnd(); ++it)
        m_added.insert(it.key(), it.value());
    return true;
}

bool InterfaceAddresses::claim(const QString &ip, const QString &mask, QString *error)
{
    if (!managed() || m_added.contains(ip) || isLocal(ip))
        return true;
    if (refuses(ip, error))
        return false;
    const int prefix = prefixLength(mask);
    const QString cidr = QStringLiteral("%1/%2").arg(ip).arg(prefix);
    if (!runIp({QStringLiteral("addr"), QStringLiteral("add"), cidr, QStringLiteral("dev"), m_interface}, error))
        return false;
    m_added.insert(ip, prefix);
    return true;
}

void InterfaceAddresses::release(const QString &ip)
{
    const auto it = m_added.constFind(ip);
    if (it == m_added.constEnd())
        return;
    const QString cidr = QStringLiteral("%1/%2").arg(ip).arg(it.value());
    m_added.erase(it);
    runIp({QStringLiteral("addr"), QStringLiteral("del"), cidr, QStringLiteral("dev"), m_interface}, nullptr);
}

void InterfaceAddresses::releaseAll()
{
    if (m_added.size() <= 1) {
        const QStringList added = m_added.keys();
        for (const QString &ip : added)
            release(ip);
        return;
    }
    QByteArray batch;
    for (auto it = m_added.constBegin(); it != m_added.constEnd(); ++it)
        batch += QStringLiteral("addr del %1/%2 dev %3\n").arg(it.key()).arg(it.value()).arg(m_interface).toLocal8Bit();
    m_added.clear();
    // -force: one address gone already must not keep the others.
    runIp({QStringLiteral("-force"), QStringLiteral("-batch"), QStringLiteral("-")}, nullptr, batch);
}
