#include "otheruser.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <sys/ipc.h>
#include <sys/sem.h>
#include <sys/shm.h>
#include <unistd.h>

OtherUser::OtherUser(uint uid)
    : m_uid(uid)
{
}

OtherUser::~OtherUser()
{
    for (QProcess *process : qAsConst(m_holding)) {
        process->closeWriteChannel();
        if (!process->waitForFinished(3000)) {
            process->kill();
            process->waitForFinished(3000);
        }
        delete process;
    }
    // Root may remove what any user made.
    for (const int id : qAsConst(m_segments))
        shmctl(id, IPC_RMID, nullptr);
    for (const int id : qAsConst(m_semaphores))
        semctl(id, 0, IPC_RMID);
}

namespace {

QString builtProbe()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/other-user-probe");
}

} // namespace

QString OtherUser::probePath()
{
    // The build folder may lie where other users cannot enter (a clone in
    // /root): the probe runs from a copy in a folder open to all.
    static QTemporaryDir folder;
    static QString copy;
    if (copy.isEmpty()) {
        const QString path = folder.filePath(QStringLiteral("other-user-probe"));
        const QFileDevice::Permissions open = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
            | QFileDevice::ReadGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther | QFileDevice::ExeOther;
        if (folder.isValid() && QFile::setPermissions(folder.path(), open) && QFile::copy(builtProbe(), path)
            && QFile::setPermissions(path, open))
            copy = path;
    }
    return copy;
}

QString OtherUser::unavailableReason()
{
    if (geteuid() != 0)
        return QStringLiteral("playing another user needs root");
    if (QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty())
        return QStringLiteral("setpriv(1) is not installed");
    if (!QFile::exists(builtProbe()))
        return QStringLiteral("%1 is missing").arg(builtProbe());
    if (probePath().isEmpty())
        return QStringLiteral("no copy of %1 that other users may run").arg(builtProbe());
    return QString();
}

QStringList OtherUser::command(const QStringList &args) const
{
    const QString id = QString::number(m_uid);
    return QStringList{QStringLiteral("--reuid=") + id, QStringLiteral("--regid=") + id,
                       QStringLiteral("--clear-groups"), probePath()}
        + args;
}

QByteArray OtherUser::run(const QStringList &args, int timeoutMs)
{
    QProcess probe;
    probe.start(QStringLiteral("setpriv"), command(args));
    if (!probe.waitForFinished(timeoutMs) || probe.exitStatus() != QProcess::NormalExit || probe.exitCode() != 0) {
        probe.kill();
        probe.waitForFinished(3000);
        qWarning("other-user-probe %s failed: %s", qPrintable(args.join(QLatin1Char(' '))),
                 probe.readAllStandardError().constData());
        return QByteArray();
    }
    QByteArray output = probe.readAllStandardOutput();
    if (output.isNull())
        output = QByteArray("");
    return output;
}

QByteArray OtherUser::startHolding(const QStringList &args, int timeoutMs)
{
    auto *probe = new QProcess;
    m_holding.append(probe);
    probe->start(QStringLiteral("setpriv"), command(args));
    QByteArray output;
    while (!output.contains("ready\n")) {
        if (probe->state() == QProcess::NotRunning || !probe->waitForReadyRead(timeoutMs)) {
            qWarning("other-user-probe %s did not get ready: %s", qPrintable(args.join(QLatin1Char(' '))),
                     probe->readAllStandardError().constData());
            return QByteArray();
        }
        output += probe->readAllStandardOutput();
    }
    return output;
}

int OtherUser::numberAfter(const QByteArray &output, const QByteArray &name)
{
    const int at = output.indexOf(name + '=');
    if (at < 0)
        return -1;
    bool ok = false;
    const int value = output.mid(at + name.size() + 1).split('\n').value(0).toInt(&ok);
    return ok ? value : -1;
}

key_t OtherUser::makeFile(const QString &path, const QString &mode)
{
    return key_t(numberAfter(run({QStringLiteral("file"), path, mode}), "key"));
}

key_t OtherUser::replaceFile(const QString &path, const QString &mode)
{
    return key_t(numberAfter(run({QStringLiteral("replace"), path, mode}), "key"));
}

int OtherUser::plantSegment(key_t key, const QByteArray &text, bool hold, const QString &mode)
{
    const QStringList args{QStringLiteral("segment"), QString::number(key), mode, QString::fromLatin1(text),
                           hold ? QStringLiteral("1") : QStringLiteral("0")};
    const int id = numberAfter(hold ? startHolding(args) : run(args), "id");
    if (id >= 0)
        m_segments.append(id);
    return id;
}

int OtherUser::plantSemaphore(key_t key, int value, const QString &mode)
{
    const int id = numberAfter(run({QStringLiteral("semaphore"), QString::number(key), mode, QString::number(value)}),
                               "id");
    if (id >= 0)
        m_semaphores.append(id);
    return id;
}

quint16 OtherUser::sendDatagram(quint16 port, const QByteArray &text, int holdMs)
{
    const int from = numberAfter(run({QStringLiteral("udp"), QString::number(port), QString::fromLatin1(text),
                                      QString::number(holdMs)},
                                     holdMs + 10000),
                                 "from");
    return from > 0 ? quint16(from) : 0;
}

QByteArray OtherUser::exchange(quint16 port, const QByteArray &request)
{
    QByteArray escaped = request;
    escaped.replace("\r", "\\r").replace("\n", "\\n");
    return run({QStringLiteral("tcp"), QString::number(port), QString::fromLatin1(escaped)});
}
