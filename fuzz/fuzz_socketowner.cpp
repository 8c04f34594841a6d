// Lines of the kernel's socket tables (/proc/net/tcp, tcp6, udp, udp6), read
// to find whose a loopback peer is. The kernel writes them, but the reader
// must hold for any text: one line alone, and whole tables for both look-ups.
#include "socketowner.h"

#include <QByteArray>
#include <QHostAddress>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray text = QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
    SocketOwner::Entry entry;
    SocketOwner::parseLine(text.constData(), text.size(), &entry);
    const QHostAddress loopback(QHostAddress::LocalHost);
    SocketOwner::tcpPeerUidIn({text}, loopback, 40000, loopback, 15248);
    SocketOwner::udpSenderUidIn({text, text}, loopback, 50000);
    return 0;
}
