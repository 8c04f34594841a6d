#pragma once

#include <QProcess>
#include <QString>

// Serves a folder over HTTP on 127.0.0.1 at a port the kernel picks. It runs
// as a process of its own: suites that wait by polling (the X server, a
// child's exit) block their own event loop, and a server inside them would
// stall with it.
class StaticFileServer
{
public:
    StaticFileServer() = default;
    ~StaticFileServer();
    Q_DISABLE_COPY(StaticFileServer)

    // False when python3 is missing or the server did not report its port.
    bool start(const QString &folder, int timeoutMs = 10000);
    void stop();

    // "http://127.0.0.1:<port>" without a trailing slash; empty until started.
    QString baseUrl() const { return base; }

private:
    QProcess process;
    QString base;
};
