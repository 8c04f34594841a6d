#include "privatenetwork.h"

#include <QHostAddress>
#include <QNetworkInterface>
#include <QProcess>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

namespace {
bool entered = false;
QString failure = QStringLiteral("not tried");

bool writeFile(const char *path, const QByteArray &text)
{
    const int fd = ::open(path, O_WRONLY);
    if (fd < 0)
        return false;
    const bool ok = ::write(fd, text.constData(), size_t(text.size())) == text.size();
    ::close(fd);
    return ok;
}
} // namespace

bool PrivateNetwork::enter()
{
    if (::unshare(CLONE_NEWNET) == 0) {
        entered = true;
        return true;
    }
    const QString rootError = QString::fromLocal8Bit(std::strerror(errno));
    const uid_t uid = ::getuid();
    const gid_t gid = ::getgid();
    if (::unshare(CLONE_NEWUSER | CLONE_NEWNET) != 0) {
        failure = QStringLiteral("no network namespace: unshare(CLONE_NEWNET) failed (%1) and unprivileged "
                                 "user namespaces are not allowed (%2)")
                      .arg(rootError, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    writeFile("/proc/self/setgroups", "deny");
    if (!writeFile("/proc/self/uid_map", QByteArray::number(uid) + ' ' + QByteArray::number(uid) + " 1")
        || !writeFile("/proc/self/gid_map", QByteArray::number(gid) + ' ' + QByteArray::number(gid) + " 1")) {
        failure = QStringLiteral("user namespace id maps could not be written");
        return false;
    }
    entered = true;
    return true;
}

bool PrivateNetwork::isolated()
{
    if (!entered)
        return false;
    const QList<QHostAddress> addresses = QNetworkInterface::allAddresses();
    for (const QHostAddress &address : addresses) {
        if (address.protocol() == QAbstractSocket::IPv4Protocol && !address.isLoopback()) {
            failure = QStringLiteral("the private namespace unexpectedly has %1").arg(address.toString());
            return false;
        }
    }
    return true;
}

QString PrivateNetwork::reason()
{
    return failure;
}

bool PrivateNetwork::ip(const QStringList &args)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral("ip"), args);
    if (!process.waitForFinished(10000))
        return false;
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

void PrivateNetwork::loopbackUp(bool entered)
{
    if (entered)
        ip({ QStringLiteral("link"), QStringLiteral("set"), QStringLiteral("lo"), QStringLiteral("up") });
    else
        qWarning("running in the shared network namespace: %s", qPrintable(reason()));
}
