#include "socketowner.h"

#include <QFile>
#include <QtEndian>

#include <cstring>

namespace {

constexpr int QueuesField = 4;
constexpr int UidField = 7;
constexpr int InodeField = 9;
constexpr int DropsField = 12;
constexpr int FieldsNeeded = UidField + 1;
constexpr int FieldsRead = DropsField + 1;

struct Token
{
    const char *start = nullptr;
    int size = 0;
};

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool readHex(const char *text, int size, quint32 *value)
{
    if (size < 1 || size > 8)
        return false;
    quint32 result = 0;
    for (int i = 0; i < size; ++i) {
        const int digit = hexDigit(text[i]);
        if (digit < 0)
            return false;
        result = (result << 4) | quint32(digit);
    }
    *value = result;
    return true;
}

// "0100007F:3B90" or the IPv6 form with 32 hex digits. Each group of eight
// digits is one 32-bit word as the kernel holds it, so its bytes in this
// machine's order are the address bytes in network order.
bool readEndpoint(const Token &token, QHostAddress *address, quint16 *port)
{
    const char *colon = static_cast<const char *>(std::memchr(token.start, ':', size_t(token.size)));
    if (!colon)
        return false;
    const int addressDigits = int(colon - token.start);
    const int portDigits = token.size - addressDigits - 1;
    quint32 portValue = 0;
    if (portDigits < 1 || portDigits > 4 || !readHex(colon + 1, portDigits, &portValue))
        return false;
    if (addressDigits != 8 && addressDigits != 32)
        return false;
    quint8 bytes[16];
    for (int word = 0; word < addressDigits / 8; ++word) {
        quint32 value = 0;
        if (!readHex(token.start + word * 8, 8, &value))
            return false;
        std::memcpy(bytes + word * 4, &value, 4);
    }
    if (addressDigits == 8) {
        quint32 networkOrder = 0;
        std::memcpy(&networkOrder, bytes, 4);
        *address = QHostAddress(qFromBigEndian(networkOrder));
    } else {
        static const quint8 mappedPrefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
        if (std::memcmp(bytes, mappedPrefix, sizeof mappedPrefix) == 0) {
            quint32 networkOrder = 0;
            std::memcpy(&networkOrder, bytes + 12, 4);
            *address = QHostAddress(qFromBigEndian(networkOrder));
        } else {
            *address = QHostAddress(bytes);
        }
    }
    *port = quint16(portValue);
    return true;
}

bool readDecimal(const Token &token, int maxDigits, quint64 *value)
{
    if (token.size < 1 || token.size > maxDigits)
        return false;
    quint64 result = 0;
    for (int i = 0; i < token.size; ++i) {
        const char c = token.start[i];
        if (c < '0' || c > '9')
            return false;
        result = result * 10 + quint64(c - '0');
    }
    *value = result;
    return true;
}

bool readUid(const Token &token, uint *uid)
{
    quint64 value = 0;
    if (!readDecimal(token, 10, &value) || value > 0xffffffffu)
        return false;
    *uid = uint(value);
    return true;
}

// "00000000:00000A00": transmit and receive queue in bytes, hexadecimal.
bool readReceiveQueue(const Token &token, quint32 *queue)
{
    const char *colon = static_cast<const char *>(std::memchr(token.start, ':', size_t(token.size)));
    if (!colon)
        return false;
    const int digits = token.size - int(colon - token.start) - 1;
    return readHex(colon + 1, digits, queue);
}

bool isWildcard(const QHostAddress &address)
{
    return address == QHostAddress(QHostAddress::AnyIPv4) || address == QHostAddress(QHostAddress::AnyIPv6);
}

} // namespace

bool SocketOwner::parseLine(const char *line, int size, Entry *entry)
{
    if (size <= 0 || size > MaxLineLength)
        return false;
    Token tokens[FieldsRead];
    int count = 0;
    int i = 0;
    while (i < size && count < FieldsRead) {
        while (i < size && (line[i] == ' ' || line[i] == '\t'))
            ++i;
        if (i >= size || line[i] == '\n')
            break;
        const int start = i;
        while (i < size && line[i] != ' ' && line[i] != '\t' && line[i] != '\n')
            ++i;
        tokens[count++] = Token{line + start, i - start};
    }
    if (count < FieldsNeeded)
        return false;
    // "12:" – the slot number; the header line starts with "sl".
    const Token &slot = tokens[0];
    if (slot.size < 2 || slot.start[slot.size - 1] != ':')
        return false;
    for (int k = 0; k < slot.size - 1; ++k) {
        if (slot.start[k] < '0' || slot.start[k] > '9')
            return false;
    }
    Entry parsed;
    if (!readEndpoint(tokens[1], &parsed.local, &parsed.localPort)
        || !readEndpoint(tokens[2], &parsed.remote, &parsed.remotePort)
        || !readUid(tokens[UidField], &parsed.uid))
        return false;
    // The later columns are extras: a line without them (or with junk
    // there) is still a socket's, only without what they say.
    readReceiveQueue(tokens[QueuesField], &parsed.receiveQueue);
    quint64 value = 0;
    if (count > InodeField && readDecimal(tokens[InodeField], 20, &value))
        parsed.inode = value;
    if (count > DropsField && readDecimal(tokens[DropsField], 18, &value))
        parsed.drops = qint64(value);
    *entry = parsed;
    return true;
}

void SocketOwner::scanText(const QByteArray &table, const Visitor &visit)
{
    const char *data = table.constData();
    const int size = int(qMin<qint64>(table.size(), MaxTableBytes));
    int start = 0;
    while (start < size) {
        const char *newline = static_cast<const char *>(std::memchr(data + start, '\n', size_t(size - start)));
        const int end = newline ? int(newline - data) : size;
        Entry entry;
        if (parseLine(data + start, end - start, &entry) && !visit(entry))
            return;
        start = end + 1;
    }
}

bool SocketOwner::scanFiles(const QStringList &files, const Visitor &visit)
{
    for (const QString &name : files) {
        QFile file(name);
        // A kernel without IPv6 has no tcp6 or udp6 table: nothing to see.
        if (!file.exists())
            continue;
        if (!file.open(QIODevice::ReadOnly))
            return false;
        char line[MaxLineLength + 2];
        qint64 total = 0;
        bool stop = false;
        while (!stop) {
            const qint64 length = file.readLine(line, sizeof line);
            if (length <= 0)
                break;
            total += length;
            if (total > MaxTableBytes)
                return false;
            Entry entry;
            if (parseLine(line, int(length), &entry) && !visit(entry))
                stop = true;
            // A line longer than the buffer: skip the rest of it.
            while (length == qint64(sizeof line) - 1 && line[length - 1] != '\n') {
                const qint64 more = file.readLine(line, sizeof line);
                if (more <= 0)
                    break;
                total += more;
                if (line[more - 1] == '\n')
                    break;
            }
        }
        if (stop)
            return true;
    }
    return true;
}

std::optional<uint> SocketOwner::findTcpPeer(const std::function<bool(const Visitor &)> &scan, const QHostAddress &peer,
                                             quint16 peerPort, const QHostAddress &local, quint16 localPort)
{
    std::optional<uint> found;
    const bool complete = scan([&](const Entry &e) {
        if (e.localPort == peerPort && e.remotePort == localPort && e.local == peer && e.remote == local) {
            found = e.uid;
            return false;
        }
        return true;
    });
    if (!complete && !found)
        return std::nullopt;
    return found;
}

std::optional<uint> SocketOwner::findUdpSender(const std::function<bool(const Visitor &)> &scan,
                                               const QHostAddress &source, quint16 sourcePort)
{
    std::optional<uint> found;
    bool ambiguous = false;
    const bool complete = scan([&](const Entry &e) {
        if (e.localPort != sourcePort || (e.local != source && !isWildcard(e.local)))
            return true;
        if (found && *found != e.uid) {
            ambiguous = true;
            return false;
        }
        found = e.uid;
        return true;
    });
    // Every socket that could have sent it must have been seen.
    if (!complete || ambiguous)
        return std::nullopt;
    return found;
}

namespace {

QHostAddress plain(const QHostAddress &address)
{
    bool isIpv4 = false;
    const quint32 ipv4 = address.toIPv4Address(&isIpv4);
    return isIpv4 ? QHostAddress(ipv4) : address;
}

} // namespace

std::optional<uint> SocketOwner::tcpPeerUid(const QHostAddress &peer, quint16 peerPort, const QHostAddress &local,
                                            quint16 localPort)
{
    const QStringList files{QStringLiteral("/proc/net/tcp"), QStringLiteral("/proc/net/tcp6")};
    return findTcpPeer([&](const Visitor &visit) { return scanFiles(files, visit); }, plain(peer), peerPort,
                       plain(local), localPort);
}

std::optional<uint> SocketOwner::udpSenderUid(const QHostAddress &source, quint16 sourcePort)
{
    const QStringList files{QStringLiteral("/proc/net/udp"), QStringLiteral("/proc/net/udp6")};
    return findUdpSender([&](const Visitor &visit) { return scanFiles(files, visit); }, plain(source), sourcePort);
}

std::function<bool(const SocketOwner::Visitor &)> SocketOwner::textScan(const QList<QByteArray> &tables)
{
    return [&tables](const Visitor &visit) {
        bool go = true;
        for (const QByteArray &table : tables) {
            scanText(table, [&](const Entry &e) { return go = visit(e); });
            if (!go)
                break;
        }
        return true;
    };
}

std::optional<uint> SocketOwner::tcpPeerUidIn(const QList<QByteArray> &tables, const QHostAddress &peer,
                                              quint16 peerPort, const QHostAddress &local, quint16 localPort)
{
    return findTcpPeer(textScan(tables), plain(peer), peerPort, plain(local), localPort);
}

std::optional<uint> SocketOwner::udpSenderUidIn(const QList<QByteArray> &tables, const QHostAddress &source,
                                                quint16 sourcePort)
{
    return findUdpSender(textScan(tables), plain(source), sourcePort);
}

bool SocketOwner::udpSocketsOnPort(quint16 port, QList<Entry> *sockets)
{
    const QStringList files{QStringLiteral("/proc/net/udp"), QStringLiteral("/proc/net/udp6")};
    QList<Entry> found;
    const bool complete = scanFiles(files, [&](const Entry &e) {
        if (e.localPort == port)
            found.append(e);
        return true;
    });
    *sockets = found;
    return complete;
}

QList<SocketOwner::Entry> SocketOwner::udpSocketsOnPortIn(const QList<QByteArray> &tables, quint16 port)
{
    QList<Entry> found;
    textScan(tables)([&](const Entry &e) {
        if (e.localPort == port)
            found.append(e);
        return true;
    });
    return found;
}
