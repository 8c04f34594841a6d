#include "portholdercheck.h"

#include "firewallcheck.h"

#include <QSet>

namespace {
const QString Check = QStringLiteral("port");
}

PortHolderCheck::Reading PortHolderCheck::read(quint16 port)
{
    Reading reading;
    reading.port = port;
    reading.tableComplete = SocketOwner::udpSocketsOnPort(port, &reading.sockets);
    QSet<quint64> inodes;
    for (const SocketOwner::Entry &e : qAsConst(reading.sockets)) {
        if (e.inode != 0)
            inodes.insert(e.inode);
    }
    reading.processes = SocketProcesses::find(inodes);
    return reading;
}

QList<CheckResult> PortHolderCheck::evaluate(const Reading &reading, qint64 ownPid)
{
    const QString subject = QStringLiteral("udp %1").arg(reading.port);
    QStringList named;
    QString fix;
    QStringList unseenUsers;
    for (const SocketOwner::Entry &socket : reading.sockets) {
        const QList<SocketProcesses::Holder> holders = reading.processes.holders.value(socket.inode);
        bool ours = false;
        for (const SocketProcesses::Holder &h : holders)
            ours = ours || h.pid == ownPid;
        if (ours)
            continue;
        if (holders.isEmpty()) {
            const QString user = QStringLiteral("uid %1").arg(socket.uid);
            if (!unseenUsers.contains(user))
                unseenUsers.append(user);
            continue;
        }
        for (const SocketProcesses::Holder &h : holders) {
            const QString text = QStringLiteral("%1 (pid %2)").arg(h.name.isEmpty() ? QStringLiteral("a program") : h.name).arg(h.pid);
            if (!named.contains(text))
                named.append(text);
            if (fix.isEmpty())
                fix = QStringLiteral("kill %1").arg(h.pid);
        }
    }
    QList<CheckResult> results;
    if (!named.isEmpty()) {
        results.append(CheckResult::make(
            Check, subject, CheckResult::Status::Problem,
            QStringLiteral("UDP port %1 is held by %2: the cameras' answers to this computer's address reach only one of "
                           "the programs on the port. Close it while searching.").arg(reading.port).arg(named.join(QStringLiteral(", "))),
            fix));
    }
    if (!unseenUsers.isEmpty()) {
        results.append(CheckResult::make(
            Check, subject, CheckResult::Status::Problem,
            QStringLiteral("UDP port %1 is held by a process of %2 that this user cannot see%3.")
                .arg(reading.port)
                .arg(unseenUsers.join(QStringLiteral(", ")),
                     reading.processes.unreadableProcesses > 0 ? QStringLiteral(" (%1 processes could not be examined)")
                                                                     .arg(reading.processes.unreadableProcesses)
                                                               : QString()),
            FirewallCheck::rootCommand()));
    }
    if (results.isEmpty()) {
        results.append(CheckResult::make(Check, subject, CheckResult::Status::Ok,
                                         reading.tableComplete
                                             ? QStringLiteral("No other program holds UDP port %1.").arg(reading.port)
                                             : QStringLiteral("No other program was seen on UDP port %1 (the socket "
                                                              "table could not be read whole).").arg(reading.port)));
    }
    return results;
}
