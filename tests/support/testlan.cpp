#include "testlan.h"

#include <QRegularExpression>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include <unistd.h>

#ifndef PATHMERE_NETNS_SCRIPT
#define PATHMERE_NETNS_SCRIPT ""
#endif

static QStringList envList(const char *name)
{
    return QString::fromLocal8Bit(qgetenv(name)).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

QString TestLan::unavailableReason()
{
    const QByteArray why = qgetenv("PATHMERE_NETNS_UNAVAILABLE");
    if (!why.isEmpty())
        return QStringLiteral("test LAN unavailable: %1").arg(QString::fromLocal8Bit(why));
    if (programNamespace().isEmpty() || cameraNamespaces().isEmpty())
        return QStringLiteral("needs the test LAN: run through tests/netns/netns.sh (CTest does)");
    // Refuse to run in the host's own network namespace, whatever the
    // environment says: discovery traffic must stay inside the test LAN.
    const QString own = QFile::symLinkTarget(QStringLiteral("/proc/self/ns/net"));
    const QString init = QFile::symLinkTarget(QStringLiteral("/proc/1/ns/net"));
    if (own.isEmpty() || own == init)
        return QStringLiteral("not inside the test LAN's program namespace; refusing to send discovery traffic");
    if (!QFileInfo(camsimPath()).isExecutable())
        return QStringLiteral("camsim not found at %1").arg(camsimPath());
    return QString();
}

QString TestLan::programNamespace()
{
    return QString::fromLocal8Bit(qgetenv("PATHMERE_NETNS_PROG"));
}

QStringList TestLan::cameraNamespaces()
{
    return envList("PATHMERE_NETNS_CAMS");
}

QString TestLan::cameraInterface()
{
    const QString name = QString::fromLocal8Bit(qgetenv("PATHMERE_NETNS_CAM_IFACE"));
    return name.isEmpty() ? QStringLiteral("eth0") : name;
}

QStringList TestLan::programAddresses()
{
    return envList("PATHMERE_NETNS_PROG_ADDRS");
}

QStringList TestLan::cameraBaseAddresses()
{
    return envList("PATHMERE_NETNS_CAM_ADDRS");
}

QString TestLan::programInterface(int side)
{
    return QStringLiteral("lan%1").arg(side);
}

QString TestLan::routerNamespace()
{
    return QString::fromLocal8Bit(qgetenv("PATHMERE_NETNS_ROUTER"));
}

int TestLan::siteSide()
{
    const QString site = QString::fromLocal8Bit(qgetenv("PATHMERE_NETNS_SITE"));
    return site.isEmpty() ? -1 : int(cameraNamespaces().indexOf(site));
}

QString TestLan::camsimPath()
{
    QString dir = QString::fromLocal8Bit(qgetenv("PATHMERE_BIN_DIR"));
    if (dir.isEmpty())
        dir = QCoreApplication::applicationDirPath() + QStringLiteral("/../bin");
    return QDir(dir).absoluteFilePath(QStringLiteral("camsim"));
}

QString TestLan::harnessScript()
{
    return QString::fromLocal8Bit(PATHMERE_NETNS_SCRIPT);
}

QString TestLan::floodScript()
{
    return QFileInfo(harnessScript()).dir().filePath(QStringLiteral("hostileflood.py"));
}

QString TestLan::cameraMac(int side)
{
    QString output;
    runIp({QStringLiteral("-n"), cameraNamespaces().value(side), QStringLiteral("-o"), QStringLiteral("link"),
           QStringLiteral("show"), cameraInterface()},
          &output);
    return QRegularExpression(QStringLiteral("link/ether ([0-9a-f:]{17})")).match(output).captured(1);
}

bool TestLan::runIp(const QStringList &arguments, QString *output)
{
    QProcess ip;
    ip.setProcessChannelMode(QProcess::MergedChannels);
    ip.start(QStringLiteral("ip"), arguments);
    const bool ok = ip.waitForFinished(10000) && ip.exitStatus() == QProcess::NormalExit && ip.exitCode() == 0;
    if (output)
        *output = QString::fromLocal8Bit(ip.readAll());
    return ok;
}

bool TestLan::hasAddress(const QString &adapter, const QString &address)
{
    QString output;
    runIp({QStringLiteral("-4"), QStringLiteral("-o"), QStringLiteral("addr"), QStringLiteral("show"),
           QStringLiteral("dev"), adapter}, &output);
    return output.contains(QStringLiteral(" %1/").arg(address));
}

bool TestLan::setRpFilter(const QString &adapter, int value)
{
    QFile file(QStringLiteral("/proc/sys/net/ipv4/conf/%1/rp_filter").arg(adapter));
    return file.open(QIODevice::WriteOnly) && file.write(QByteArray::number(value) + '\n') > 0;
}

bool TestLan::loadNftRules(const QByteArray &rules)
{
    QProcess load;
    load.start(QStringLiteral("nft"), {QStringLiteral("-f"), QStringLiteral("-")});
    if (!load.waitForStarted(5000))
        return false;
    load.write(rules);
    load.closeWriteChannel();
    return load.waitForFinished(5000) && load.exitStatus() == QProcess::NormalExit && load.exitCode() == 0;
}

int TestLan::enterOwnLan(int argc, char *argv[], const char *program, bool routed)
{
    if (!qEnvironmentVariableIsEmpty("PATHMERE_NETNS_PROG") || !qEnvironmentVariableIsEmpty("PATHMERE_NETNS_UNAVAILABLE"))
        return 0;
    static char bash[] = "bash";
    static char adapters[] = "--adapters";
    static char one[] = "1";
    static char dashes[] = "--";
    static char routedOption[] = "--routed";
    const QByteArray script = harnessScript().toLocal8Bit();
    std::vector<char *> args { bash, const_cast<char *>(script.constData()), adapters, one };
    if (routed)
        args.push_back(routedOption);
    args.push_back(dashes);
    for (int i = 0; i < argc; ++i)
        args.push_back(argv[i]);
    args.push_back(nullptr);
    std::fflush(stdout);
    ::execvp("bash", args.data());
    std::fprintf(stderr, "%s: cannot run netns.sh: %s\n", program, std::strerror(errno));
    return 1;
}
