#include "firewallreader.h"

#include "firewalldstate.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

bool FirewallReader::Output::denied() const
{
    return found && !ok() && (deniedText(err) || deniedText(out));
}

bool FirewallReader::deniedText(const QByteArray &text)
{
    const QByteArray lower = text.toLower();
    return lower.contains("operation not permitted") || lower.contains("permission denied")
        || lower.contains("must be root") || lower.contains("need to be root") || lower.contains("not authorized")
        || lower.contains("authorization failed") || lower.contains("access denied");
}

FirewallReader::Output FirewallReader::run(const QString &program, const QStringList &arguments)
{
    Output output;
    QStringList paths = QString::fromLocal8Bit(qgetenv("PATH")).split(QLatin1Char(':'), Qt::SkipEmptyParts);
    // A user's PATH often lacks the sbin folders, where these tools live.
    paths << QStringLiteral("/usr/sbin") << QStringLiteral("/sbin") << QStringLiteral("/usr/bin") << QStringLiteral("/bin");
    const QString path = QStandardPaths::findExecutable(program, paths);
    if (path.isEmpty())
        return output;
    output.found = true;
    QProcess process;
    // Messages in English whatever the desk's language, so refusals read alike.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    process.setProcessEnvironment(environment);
    process.start(path, arguments, QIODevice::ReadOnly);
    if (!process.waitForStarted(TimeoutMs))
        return output;
    QByteArray out;
    QByteArray err;
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        // Waiting reads the pipes meanwhile, so a chatty tool never blocks.
        const bool done = process.waitForFinished(50) || process.state() == QProcess::NotRunning;
        out += process.readAllStandardOutput();
        err += process.readAllStandardError();
        if (done)
            break;
        const bool tooMuch = out.size() > MaxOutputBytes || err.size() > MaxOutputBytes;
        if (tooMuch || clock.elapsed() > TimeoutMs) {
            process.kill();
            process.waitForFinished(1000);
            output.err = tooMuch ? QByteArray("printed more than the check reads") : QByteArray("timed out");
            return output;
        }
    }
    out += process.readAllStandardOutput();
    err += process.readAllStandardError();
    output.finished = process.exitStatus() == QProcess::NormalExit;
    output.exitCode = process.exitCode();
    output.out = out.left(MaxOutputBytes);
    output.err = err.left(64 * 1024);
    return output;
}

FirewallReader::Snapshot FirewallReader::read()
{
    Snapshot snapshot;
    snapshot.nft = run(QStringLiteral("nft"), {QStringLiteral("-j"), QStringLiteral("list"), QStringLiteral("ruleset")});
    snapshot.iptables = run(QStringLiteral("iptables-save"), {});
    if (snapshot.iptables.err.contains("legacy tables present") || snapshot.iptables.out.contains("legacy tables present"))
        snapshot.iptablesLegacy = run(QStringLiteral("iptables-legacy-save"), {});
    snapshot.firewalldState = run(QStringLiteral("firewall-cmd"), {QStringLiteral("--state")});
    if (FirewalldState::isRunning(snapshot.firewalldState.out)) {
        snapshot.firewalldActiveZones = run(QStringLiteral("firewall-cmd"), {QStringLiteral("--get-active-zones")});
        snapshot.firewalldDefaultZone = run(QStringLiteral("firewall-cmd"), {QStringLiteral("--get-default-zone")});
        QStringList zones = FirewalldState::parseActiveZones(snapshot.firewalldActiveZones.out).keys();
        const QString defaultZone = QString::fromUtf8(snapshot.firewalldDefaultZone.out.trimmed());
        if (!defaultZone.isEmpty() && !zones.contains(defaultZone))
            zones.append(defaultZone);
        for (const QString &zone : qAsConst(zones).mid(0, 32))
            snapshot.firewalldZones.insert(zone, run(QStringLiteral("firewall-cmd"),
                                                     {QStringLiteral("--zone=") + zone, QStringLiteral("--list-all")}));
    }
    snapshot.ufw = run(QStringLiteral("ufw"), {QStringLiteral("status"), QStringLiteral("verbose")});
    snapshot.pathmereServiceInstalled = QFile::exists(QStringLiteral("/usr/lib/firewalld/services/pathmere.xml"))
        || QFile::exists(QStringLiteral("/etc/firewalld/services/pathmere.xml"));
    snapshot.pathmereProfileInstalled = QFile::exists(QStringLiteral("/etc/ufw/applications.d/pathmere"));
    return snapshot;
}
