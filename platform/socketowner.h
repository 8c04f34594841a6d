#ifndef SOCKETOWNER_H
#define SOCKETOWNER_H

#include <QByteArray>
#include <QHostAddress>
#include <QString>

#include <functional>
#include <optional>

// Which user a socket on this machine belongs to, from the kernel's socket
// tables /proc/net/tcp, tcp6, udp and udp6. Each line names a socket's local
// and remote address and port and the uid that created it; loopback peers
// are sockets of this machine, so the other end of a loopback connection, or
// the sender of a loopback datagram, can be looked up there.
//
// A line reads (IPv4; IPv6 addresses are 32 hex digits):
//    0: 0100007F:3B90 0100007F:9C40 01 00000000:00000000 00:00000000 00000000  1000  0 12345 ...
// with the address as the kernel's 32-bit words in hexadecimal (each in the
// machine's byte order), the port in hexadecimal and the uid as the eighth
// field, then timeout, inode, reference count, pointer and (udp tables only)
// the datagrams the kernel dropped for the socket.
class SocketOwner
{
public:
    // A table line is about 150 characters; a longer one is not a socket's.
    static constexpr int MaxLineLength = 512;
    // A machine with this much of one table (half a million sockets) is not
    // scanned further; the peer then counts as unknown.
    static constexpr qint64 MaxTableBytes = 64 * 1024 * 1024;

    struct Entry
    {
        QHostAddress local;     // IPv4-mapped IPv6 addresses read as IPv4
        quint16 localPort = 0;
        QHostAddress remote;
        quint16 remotePort = 0;
        uint uid = 0;
        quint32 receiveQueue = 0;   // bytes waiting to be read
        quint64 inode = 0;          // 0: not in the line
        qint64 drops = -1;          // -1: not in the line (tcp tables)
    };

    // One line of a table; false for the header and for anything that is
    // not a well-formed socket line.
    static bool parseLine(const char *line, int size, Entry *entry);

    // The uid of the other end of a loopback TCP connection of ours whose
    // local end is local:localPort and remote end peer:peerPort; none when
    // it is not listed (it closed already, or it is not on this machine).
    static std::optional<uint> tcpPeerUid(const QHostAddress &peer, quint16 peerPort,
                                          const QHostAddress &local, quint16 localPort);

    // The uid of the socket that sent a datagram from source:sourcePort,
    // found while that socket is still open. Every socket bound to that port
    // on that address or on the wildcard address could have sent it, so
    // sockets of more than one user there give none.
    static std::optional<uint> udpSenderUid(const QHostAddress &source, quint16 sourcePort);

    // The same lookups in the text of tables given (tests, fuzzing).
    static std::optional<uint> tcpPeerUidIn(const QList<QByteArray> &tables, const QHostAddress &peer,
                                            quint16 peerPort, const QHostAddress &local, quint16 localPort);
    static std::optional<uint> udpSenderUidIn(const QList<QByteArray> &tables, const QHostAddress &source,
                                              quint16 sourcePort);

    // Every UDP socket (IPv4 and IPv6 tables) bound to local port port;
    // false when a table could not be read whole.
    static bool udpSocketsOnPort(quint16 port, QList<Entry> *sockets);
    // The same in the text of tables given.
    static QList<Entry> udpSocketsOnPortIn(const QList<QByteArray> &tables, quint16 port);

private:
    SocketOwner() = delete;
    using Visitor = std::function<bool(const Entry &)>;   // false: stop
    // Calls visit for every socket line of the files; false when a file
    // could not be read whole.
    static bool scanFiles(const QStringList &files, const Visitor &visit);
    static void scanText(const QByteArray &table, const Visitor &visit);
    // Scans the tables given, as scanFiles() does the kernel's (tests).
    static std::function<bool(const Visitor &)> textScan(const QList<QByteArray> &tables);
    static std::optional<uint> findTcpPeer(const std::function<bool(const Visitor &)> &scan, const QHostAddress &peer,
                                           quint16 peerPort, const QHostAddress &local, quint16 localPort);
    static std::optional<uint> findUdpSender(const std::function<bool(const Visitor &)> &scan,
                                             const QHostAddress &source, quint16 sourcePort);
};

#endif // SOCKETOWNER_H
