#include "containerhints.h"

#include <QDir>
#include <QFile>

namespace {

QByteArray readSmall(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.read(ContainerHints::MaxFileBytes);
}

} // namespace

QString ContainerHints::engineFromCgroup(const QByteArray &text)
{
    const QByteArray lower = text.left(MaxFileBytes).toLower();
    struct Sign { const char *text; const char *engine; };
    static const Sign signs[] = {{"/docker/", "docker"},       {"/docker-", "docker"}, {"kubepods", "kubernetes"},
                                 {"libpod", "podman"},         {"/lxc/", "lxc"},       {"lxc.payload", "lxc"},
                                 {"containerd", "containerd"}, {"/machine.slice/machine-", "systemd-nspawn"}};
    for (const Sign &sign : signs) {
        if (lower.contains(sign.text))
            return QString::fromLatin1(sign.engine);
    }
    return QString();
}

ContainerHints ContainerHints::read(const QString &root)
{
    ContainerHints hints;
    const QDir dir(root);
    if (QFile::exists(dir.filePath(QStringLiteral(".dockerenv")))) {
        hints.engine = QStringLiteral("docker");
        hints.evidence = QStringLiteral("/.dockerenv exists");
        return hints;
    }
    if (QFile::exists(dir.filePath(QStringLiteral("run/.containerenv")))) {
        hints.engine = QStringLiteral("podman");
        hints.evidence = QStringLiteral("/run/.containerenv exists");
        return hints;
    }
    const QByteArray systemd = readSmall(dir.filePath(QStringLiteral("run/systemd/container"))).trimmed();
    if (!systemd.isEmpty()) {
        hints.engine = QString::fromUtf8(systemd.left(40));
        hints.evidence = QStringLiteral("/run/systemd/container says %1").arg(hints.engine);
        return hints;
    }
    const QString engine = engineFromCgroup(readSmall(dir.filePath(QStringLiteral("proc/1/cgroup"))));
    if (!engine.isEmpty()) {
        hints.engine = engine;
        hints.evidence = QStringLiteral("the control groups of PID 1 name %1").arg(engine);
    }
    return hints;
}
