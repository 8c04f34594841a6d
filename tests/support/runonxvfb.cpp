// run-on-xvfb <dpi> <program> [arguments...]: runs the program on a private
// X server at the given DPI (XvfbServer) and exits with its exit code; for
// suites whose whole process must start on the server, not just a child.
#include "xvfbserver.h"

#include <QCoreApplication>
#include <QProcess>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    bool ok = false;
    const int dpi = args.size() >= 3 ? args.at(1).toInt(&ok) : 0;
    if (!ok || dpi <= 0 || dpi > 1000) {
        std::fprintf(stderr, "usage: run-on-xvfb <dpi> <program> [arguments...]\n");
        return 2;
    }
    XvfbServer server;
    if (!server.start(dpi)) {
        std::fprintf(stderr, "%s\n", qPrintable(server.errorText()));
        return 1;
    }
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), server.display());
    program.setProcessEnvironment(env);
    program.setProcessChannelMode(QProcess::ForwardedChannels);
    program.start(args.at(2), args.mid(3));
    if (!program.waitForStarted(10000)) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(args.at(2)), qPrintable(program.errorString()));
        return 1;
    }
    program.waitForFinished(-1);
    return program.exitStatus() == QProcess::NormalExit ? program.exitCode() : 1;
}
