#include "networksafety.h"

#include <QFile>
#include <QHostAddress>
#include <QRegularExpression>

#include <fcntl.h>
#include <linux/nsfs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

bool NetworkSafety::isDocumentationAddress(const QString &ip)
{
    QHostAddress address;
    if (!address.setAddress(ip.trimmed()) || address.protocol() != QAbstractSocket::IPv4Protocol)
        return false;
    const quint32 net = address.toIPv4Address() & 0xffffff00u;
    return net == 0xc0000200u       // 192.0.2.0/24
        || net == 0xc6336400u       // 198.51.100.0/24
        || net == 0xcb007100u;      // 203.0.113.0/24
}

QString NetworkSafety::documentationRanges()
{
    return QStringLiteral("192.0.2.0/24, 198.51.100.0/24, 203.0.113.0/24");
}

quint64 NetworkSafety::inodeOf(const QString &path)
{
    struct stat st = {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return 0;
    return static_cast<quint64>(st.st_ino);
}

quint64 NetworkSafety::parseHint(const QString &hint)
{
    const QString text = hint.trimmed();
    if (text.isEmpty())
        return 0;
    if (text.startsWith(QLatin1Char('/')))
        return inodeOf(text);
    // "net:[4026531840]" as readlink shows it, or the bare number.
    const QRegularExpressionMatch match = QRegularExpression(QStringLiteral("^(?:net:\\[)?(\\d+)\\]?$")).match(text);
    return match.hasMatch() ? match.captured(1).toULongLong() : 0;
}

NetworkSafety::Namespaces NetworkSafety::probe()
{
    Namespaces ns;
    ns.self = inodeOf(QStringLiteral("/proc/self/ns/net"));
    ns.init = inodeOf(QStringLiteral("/proc/1/ns/net"));
    ns.hint = parseHint(QString::fromLocal8Bit(qgetenv("PATHMERE_HOST_NETNS")));

    // Reading another process's namespace needs ptrace rights, which PID 1
    // often denies even to root in a container. The outermost ancestor we may
    // read is then where the session started: the namespace camsim must not
    // share. Unreadable ancestors are passed over.
    qint64 pid = static_cast<qint64>(::getppid());
    for (int depth = 0; pid > 1 && depth < 4096; ++depth) {
        const QString dir = QStringLiteral("/proc/%1").arg(pid);
        const quint64 inode = inodeOf(dir + QStringLiteral("/ns/net"));
        if (inode)
            ns.outermost = inode;
        QFile status(dir + QStringLiteral("/status"));
        if (!status.open(QIODevice::ReadOnly))
            break;
        qint64 parent = 0;
        const QList<QByteArray> lines = status.readAll().split('\n');
        for (const QByteArray &line : lines) {
            if (line.startsWith("PPid:")) {
                parent = line.mid(5).trimmed().toLongLong();
                break;
            }
        }
        pid = parent;
    }

    const int fd = ::open("/proc/self/ns/net", O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        const int owner = ::ioctl(fd, NS_GET_USERNS);
        if (owner >= 0) {
            struct stat st = {};
            ns.nestedOwner = ::fstat(owner, &st) == 0 && static_cast<quint64>(st.st_ino) != InitUserNsInode;
            ::close(owner);
        }
        ::close(fd);
    }
    return ns;
}

QString NetworkSafety::refusal(const Namespaces &ns)
{
    const QString self = QStringLiteral("net:[%1]").arg(ns.self);
    if (ns.self == 0)
        return QStringLiteral("cannot read /proc/self/ns/net, so cannot tell whether this is the host's network namespace");
    if (ns.self == StaticInitNetInode)
        return QStringLiteral("%1 is the host's initial network namespace").arg(self);
    if (ns.init != 0 && ns.self == ns.init)
        return QStringLiteral("%1 is the network namespace of PID 1, the host's").arg(self);
    if (ns.hint != 0 && ns.self == ns.hint)
        return QStringLiteral("%1 is the host's network namespace named by PATHMERE_HOST_NETNS").arg(self);
    if (ns.init != 0)
        return QString();
    if (ns.outermost != 0) {
        if (ns.self == ns.outermost)
            return QStringLiteral("%1 is the network namespace this session started in (PID 1's cannot be read)").arg(self);
        return QString();
    }
    if (ns.nestedOwner)
        return QString();
    return QStringLiteral("neither PID 1's network namespace nor an ancestor's can be read, and %1 was not "
                          "created in a user namespace of its own").arg(self);
}
