#include "settingscheck.h"

#include <QNetworkAddressEntry>
#include <QNetworkInterface>
#include <QStringList>

#include <algorithm>

namespace {

using Problem = SettingsCheck::Problem;
using Field = SettingsCheck::Field;
using Kind = SettingsCheck::Kind;

// Blocks no camera may take an address from, whatever its subnet.
struct SpecialBlock
{
    quint32 first;
    quint32 last;
    const char *reason;
};

const SpecialBlock specialBlocks[] = {
    {0x00000000u, 0x00000000u, "is the unspecified address"},
    {0x00000001u, 0x00FFFFFFu, "is in 0.0.0.0/8, which is no host's address"},
    {0x7F000000u, 0x7FFFFFFFu, "is a loopback address (127.0.0.0/8)"},
    {0xE0000000u, 0xEFFFFFFFu, "is a multicast address (224.0.0.0/4)"},
    {0xF0000000u, 0xFFFFFFFEu, "is a reserved address (240.0.0.0/4)"},
    {0xFFFFFFFFu, 0xFFFFFFFFu, "is the limited broadcast address"},
};

QString specialReason(quint32 address)
{
    for (const SpecialBlock &block : specialBlocks) {
        if (address >= block.first && address <= block.last)
            return QString::fromLatin1(block.reason);
    }
    return QString();
}

// Why mask cannot be a camera's mask; empty when it can.
QString maskReason(quint32 mask)
{
    const int prefix = SettingsCheck::prefixLength(mask);
    if (prefix < 0)
        return QStringLiteral("is not a contiguous subnet mask (its one bits must come first, as in 255.255.255.0)");
    if (prefix == 0)
        return QStringLiteral("is no subnet mask");
    if (prefix > 30)
        return QStringLiteral("leaves no host addresses besides the network and broadcast addresses");
    return QString();
}

// Why address cannot be a host of its subnet under a usable mask; empty when
// it can.
QString subnetReason(quint32 address, quint32 mask, const char *whose)
{
    const QString subnet = SettingsCheck::subnetText(address, mask) + QString::fromLatin1(whose);
    if ((address & ~mask) == 0)
        return QStringLiteral("is the network address of %1").arg(subnet);
    if ((address | mask) == 0xFFFFFFFFu)
        return QStringLiteral("is the broadcast address of %1").arg(subnet);
    return QString();
}

// A camera's texts go into messages for terminals and logs: cut, and
// without the control characters a hostile name could carry.
QString printable(const QString &text)
{
    QString result = text.left(32);
    for (QChar &c : result) {
        if (!c.isPrint())
            c = QLatin1Char('?');
    }
    return result;
}

QString deviceText(const DeviceRecord &device)
{
    QString text = QStringLiteral("MAC %1").arg(printable(device.mac));
    if (!device.model.isEmpty())
        text += QStringLiteral(", %1").arg(printable(device.model));
    if (!device.name.isEmpty())
        text += QStringLiteral(" \"%1\"").arg(printable(device.name));
    return text;
}

bool sameMac(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// The conflicts of address for the device with mac: this computer, another
// device of the search, another answer to a probe.
void addConflicts(QList<Problem> *problems, Field field, quint32 address, const QString &mac,
                  const SettingsCheck::Surroundings &around)
{
    for (const SettingsCheck::HostAddress &host : around.host) {
        if (host.address == address) {
            problems->append({field, Kind::Conflict, address, QStringLiteral("is an address of this computer")});
            break;
        }
    }
    for (const DeviceRecord &device : around.devices) {
        quint32 held = 0;
        if (!sameMac(device.mac, mac) && SettingsCheck::parseAddress(device.ip, &held) && held == address) {
            problems->append({field, Kind::Conflict, address,
                              QStringLiteral("is held by another device of the search (%1)").arg(deviceText(device))});
            break;
        }
    }
    const QList<QString> answers = around.probeAnswers.values(address);
    for (const QString &answering : answers) {
        if (sameMac(answering, mac))
            continue;
        const QString who = answering.isEmpty() ? QStringLiteral("another device")
                                                : QStringLiteral("the device with MAC %1").arg(answering);
        problems->append({field, Kind::Conflict, address,
                          QStringLiteral("answered an address-conflict probe from %1").arg(who)});
        break;
    }
}

} // namespace

QList<SettingsCheck::Problem> SettingsCheck::check(const Planned &planned, const Surroundings &around)
{
    QList<Problem> problems;
    const QString badMask = maskReason(planned.mask);
    if (!badMask.isEmpty())
        problems.append({Field::Mask, Kind::Malformed, planned.mask, badMask});

    QString badIp = specialReason(planned.ip);
    if (badIp.isEmpty() && badMask.isEmpty())
        badIp = subnetReason(planned.ip, planned.mask, "");
    if (!badIp.isEmpty())
        problems.append({Field::Ip, Kind::Malformed, planned.ip, badIp});

    if (planned.gateway != 0) {
        QString badGateway = specialReason(planned.gateway);
        if (badGateway.isEmpty() && badMask.isEmpty() && badIp.isEmpty()) {
            if ((planned.gateway & planned.mask) != (planned.ip & planned.mask))
                badGateway = QStringLiteral("is outside the planned subnet %1").arg(subnetText(planned.ip, planned.mask));
            else if (planned.gateway == planned.ip)
                badGateway = QStringLiteral("is the camera's own planned address");
            else
                badGateway = subnetReason(planned.gateway, planned.mask, "");
        }
        if (!badGateway.isEmpty())
            problems.append({Field::Gateway, Kind::Malformed, planned.gateway, badGateway});
    }

    if (badIp.isEmpty())
        addConflicts(&problems, Field::Ip, planned.ip, planned.mac, around);
    return problems;
}

QList<SettingsCheck::Problem> SettingsCheck::checkRange(quint32 first, quint32 last, quint32 mask)
{
    QList<Problem> problems;
    const QString badMask = maskReason(mask);
    if (!badMask.isEmpty()) {
        problems.append({Field::Mask, Kind::Malformed, mask, badMask});
        return problems;
    }
    if (first > last)
        std::swap(first, last);
    if ((first & mask) != (last & mask)) {
        problems.append({Field::Range, Kind::Malformed, first,
                         QStringLiteral("is not inside one subnet of mask %1 (it runs from %2 into %3)")
                             .arg(addressText(mask), subnetText(first, mask), subnetText(last, mask))});
        return problems;
    }
    for (const SpecialBlock &block : specialBlocks) {
        if (first <= block.last && last >= block.first) {
            const quint32 inside = std::max(first, block.first);
            problems.append({Field::Range, Kind::Malformed, first,
                             QStringLiteral("holds %1, which %2").arg(addressText(inside), QString::fromLatin1(block.reason))});
            break;
        }
    }
    return problems;
}

QList<SettingsCheck::Problem> SettingsCheck::checkTarget(quint32 address, const QString &mac,
                                                         const Surroundings &around)
{
    QList<Problem> problems;
    QString bad = specialReason(address);
    for (const HostAddress &host : around.host) {
        if (!bad.isEmpty())
            break;
        if (!maskReason(host.mask).isEmpty() || (host.address & host.mask) != (address & host.mask))
            continue;
        bad = subnetReason(address, host.mask, ", a subnet of this computer");
    }
    if (!bad.isEmpty()) {
        problems.append({Field::Target, Kind::Malformed, address, bad});
        return problems;
    }
    addConflicts(&problems, Field::Target, address, mac, around);
    return problems;
}

bool SettingsCheck::hasMalformed(const QList<Problem> &problems)
{
    for (const Problem &problem : problems) {
        if (problem.kind == Kind::Malformed)
            return true;
    }
    return false;
}

int SettingsCheck::prefixLength(quint32 mask)
{
    const quint32 hostBits = ~mask;
    // The host part must be a run of ones at the bottom: x & (x + 1) == 0.
    if ((hostBits & (hostBits + 1)) != 0)
        return -1;
    int prefix = 0;
    for (quint32 bit = 0x80000000u; bit != 0 && (mask & bit); bit >>= 1)
        ++prefix;
    return prefix;
}

bool SettingsCheck::isHostInSubnet(quint32 address, quint32 mask)
{
    return (address & ~mask) != 0 && (address | mask) != 0xFFFFFFFFu;
}

QString SettingsCheck::subnetText(quint32 address, quint32 mask)
{
    return QStringLiteral("%1/%2").arg(addressText(address & mask)).arg(std::max(prefixLength(mask), 0));
}

QString SettingsCheck::addressText(quint32 address)
{
    return QStringLiteral("%1.%2.%3.%4")
        .arg(address >> 24).arg((address >> 16) & 0xFF).arg((address >> 8) & 0xFF).arg(address & 0xFF);
}

bool SettingsCheck::parseAddress(const QString &text, quint32 *address)
{
    // At most "255.255.255.255": a longer text is refused before it is split.
    if (text.isEmpty() || text.size() > 15)
        return false;
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() != 4)
        return false;
    quint32 value = 0;
    for (const QString &part : parts) {
        if (part.isEmpty() || part.size() > 3)
            return false;
        uint number = 0;
        for (const QChar c : part) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return false;
            number = number * 10 + uint(c.unicode() - '0');
        }
        if (number > 255)
            return false;
        value = (value << 8) | number;
    }
    *address = value;
    return true;
}

QList<SettingsCheck::HostAddress> SettingsCheck::hostAddresses()
{
    QList<HostAddress> result;
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &iface : interfaces) {
        const QList<QNetworkAddressEntry> entries = iface.addressEntries();
        for (const QNetworkAddressEntry &entry : entries) {
            bool ok = false;
            const quint32 address = entry.ip().toIPv4Address(&ok);
            if (ok)
                result.append({address, entry.netmask().toIPv4Address()});
        }
    }
    return result;
}
