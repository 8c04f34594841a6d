#include "cliinput.h"

#include "sweeptargets.h"
#include "wakeonlan.h"

#include <QRegularExpression>
#include <QSet>

namespace {

QString shortened(const QString &text)
{
    // Echoing a hostile argument back in full would flood the terminal.
    return text.size() <= 40 ? text : text.left(40) + QStringLiteral("...");
}

bool printable(const QString &text)
{
    for (const QChar c : text) {
        if (!c.isPrint())
            return false;
    }
    return true;
}

} // namespace

bool CliInput::ipv4(const QString &text, const QString &what, QHostAddress *address, QString *error)
{
    static const QRegularExpression dotted(QStringLiteral("^(\\d{1,3})\\.(\\d{1,3})\\.(\\d{1,3})\\.(\\d{1,3})$"));
    if (text.size() <= 15) {
        const QRegularExpressionMatch match = dotted.match(text);
        bool inRange = match.hasMatch();
        for (int i = 1; inRange && i <= 4; ++i)
            inRange = match.captured(i).toInt() <= 255;
        const QHostAddress parsed(text);
        if (inRange && parsed.protocol() == QAbstractSocket::IPv4Protocol) {
            *address = parsed;
            return true;
        }
    }
    *error = QStringLiteral("%1 takes an IPv4 address such as 192.0.2.10, not \"%2\"").arg(what, shortened(text));
    return false;
}

bool CliInput::mac(const QString &text, QString *mac, QString *error)
{
    // 02:50:4d:00:00:01, 02-50-4D-00-00-01, 02504d000001, 0250.4d00.0001
    static const QRegularExpression forms(QStringLiteral(
        "^(?:[0-9A-Fa-f]{2}([:-])[0-9A-Fa-f]{2}(?:\\1[0-9A-Fa-f]{2}){4}"
        "|[0-9A-Fa-f]{12}"
        "|[0-9A-Fa-f]{4}\\.[0-9A-Fa-f]{4}\\.[0-9A-Fa-f]{4})$"));
    if (text.size() <= 17 && forms.match(text).hasMatch()) {
        QString digits = text.toLower();
        digits.remove(QRegularExpression(QStringLiteral("[^0-9a-f]")));
        QStringList pairs;
        for (int i = 0; i < 12; i += 2)
            pairs.append(digits.mid(i, 2));
        *mac = pairs.join(QLatin1Char(':'));
        return WakeOnLan::isMacText(*mac);
    }
    *error = QStringLiteral("a MAC address is six hex pairs such as 02:50:4d:00:00:01, 02-50-4D-00-00-01 or "
                            "02504d000001, not \"%1\"")
                 .arg(shortened(text));
    return false;
}

bool CliInput::interfaceName(const QString &text)
{
    return !text.isEmpty() && text.size() <= 15 && printable(text) && !text.contains(QLatin1Char('/'))
        && !text.contains(QLatin1Char(' '));
}

bool CliInput::macList(const QString &text, QStringList *macs, QString *error)
{
    const QStringList parts = text.split(QLatin1Char(','), Qt::SkipEmptyParts);
    if (parts.isEmpty() || parts.size() > MaxMacs) {
        *error = QStringLiteral("--only takes 1 to %1 MAC addresses joined by ','").arg(MaxMacs);
        return false;
    }
    QSet<QString> seen;
    QStringList result;
    for (const QString &part : parts) {
        QString mac;
        if (!CliInput::mac(part.trimmed(), &mac, error))
            return false;
        if (!seen.contains(mac)) {
            seen.insert(mac);
            result.append(mac);
        }
    }
    *macs = result;
    return true;
}

bool CliInput::number(const QString &text, const QString &what, int minimum, int maximum, int *value,
                      QString *error)
{
    bool ok = false;
    const int parsed = text.size() <= 10 ? text.toInt(&ok) : 0;
    if (!ok || parsed < minimum || parsed > maximum) {
        *error = QStringLiteral("%1 takes a whole number from %2 to %3, not \"%4\"")
                     .arg(what).arg(minimum).arg(maximum).arg(shortened(text));
        return false;
    }
    *value = parsed;
    return true;
}

bool CliInput::range(const QString &text, quint32 *first, quint32 *last, QString *error)
{
    const QStringList parts = text.size() <= 31 ? text.split(QLatin1Char('-')) : QStringList();
    if (parts.size() != 2) {
        *error = QStringLiteral("--range takes FIRST-LAST, such as 192.0.2.100-192.0.2.199, not \"%1\"")
                     .arg(shortened(text));
        return false;
    }
    QHostAddress a;
    QHostAddress b;
    if (!ipv4(parts.at(0), QStringLiteral("--range"), &a, error) || !ipv4(parts.at(1), QStringLiteral("--range"), &b, error))
        return false;
    const quint32 from = a.toIPv4Address();
    const quint32 to = b.toIPv4Address();
    if (from > to || quint64(to) - from + 1 > quint64(MaxRangeCount)) {
        *error = QStringLiteral("--range must run upwards and hold at most %1 addresses").arg(MaxRangeCount);
        return false;
    }
    *first = from;
    *last = to;
    return true;
}

bool CliInput::sources(const QString &text, int *mask, QString *error)
{
    int bits = 0;
    const QStringList words = text.size() <= 32 ? text.split(QLatin1Char(',')) : QStringList{QString()};
    for (const QString &word : words) {
        if (word == QLatin1String("utility"))
            bits |= UtilityBit;
        else if (word == QLatin1String("doccam"))
            bits |= DocCamBit;
        else if (word == QLatin1String("box"))
            bits |= BoxBit;
        else if (word == QLatin1String("onvif"))
            bits |= OnvifBit;
        else if (word == QLatin1String("all"))
            bits |= UtilityBit | DocCamBit | BoxBit | OnvifBit;
        else {
            *error = QStringLiteral("--sources takes utility, onvif, doccam and box joined by ',', or all, not \"%1\"")
                         .arg(shortened(text));
            return false;
        }
    }
    *mask = bits;
    return true;
}

bool CliInput::text(const QString &text, const QString &what, int maxLength, QString *error)
{
    if (text.size() > maxLength || !printable(text)) {
        *error = QStringLiteral("%1 takes printable text of at most %2 characters").arg(what).arg(maxLength);
        return false;
    }
    return true;
}

bool CliInput::credential(const QString &text, const QString &what, QString *error)
{
    bool latin1 = true;
    for (const QChar c : text)
        latin1 = latin1 && c.unicode() < 256 && c.isPrint();
    if (text.isEmpty() || text.size() > MaxUserLength || !latin1) {
        *error = QStringLiteral("the %1 must be 1 to %2 printable Latin-1 characters").arg(what).arg(MaxUserLength);
        return false;
    }
    return true;
}

bool CliInput::targets(const QStringList &values, const QString &file, QList<QHostAddress> *addresses,
                       Ipv4RangeSet *sweep, QString *error)
{
    QList<QHostAddress> plain;
    Ipv4RangeSet ranges;
    for (const QString &value : values) {
        QHostAddress address;
        QString ignored;
        if (ipv4(value, QString(), &address, &ignored)) {
            if (!plain.contains(address))
                plain.append(address);
            continue;
        }
        QString why;
        if (!SweepTargets::parseEntry(value, &ranges, &why)) {
            *error = QStringLiteral("--target takes an address, a network (A.B.C.D/N) or a range (A.B.C.D-E.F.G.H): %1")
                         .arg(why);
            return false;
        }
    }
    if (plain.size() > MaxTargets) {
        *error = QStringLiteral("--target may name at most %1 single addresses; put more in a network, a range "
                                "or a --targets-from file").arg(MaxTargets);
        return false;
    }
    if (!file.isEmpty()) {
        QString why;
        if (!SweepTargets::readFile(file, &ranges, &why)) {
            *error = QStringLiteral("--targets-from: %1").arg(why);
            return false;
        }
    }
    *addresses = plain;
    *sweep = std::move(ranges);
    return true;
}
