#ifndef CONTAINERHINTS_H
#define CONTAINERHINTS_H

#include <QByteArray>
#include <QString>

// Signs that this program runs inside a container: the marker files the
// engines leave (/.dockerenv, /run/.containerenv, systemd's
// /run/systemd/container) and the engine's name in the control groups of
// PID 1.
class ContainerHints
{
public:
    static constexpr int MaxFileBytes = 64 * 1024;

    QString engine;   // "docker", "podman", "kubernetes", "lxc", ...; empty: none seen
    QString evidence; // what showed it

    bool inContainer() const { return !engine.isEmpty(); }

    // root: "/" normally; a folder standing in for it in tests.
    static ContainerHints read(const QString &root = QStringLiteral("/"));
    // The engine named in a /proc/<pid>/cgroup text; empty when none.
    static QString engineFromCgroup(const QByteArray &text);
};

#endif // CONTAINERHINTS_H
