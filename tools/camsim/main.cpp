// camsim: simulated cameras for the discovery protocols. See --help.
#include "camerasimulator.h"
#include "camsimconfig.h"
#include "networksafety.h"
#include "signalwatcher.h"

#include <QCoreApplication>
#include <QJsonDocument>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    CamsimConfig config;
    QString error;
    switch (config.parse(app.arguments(), &error)) {
    case CamsimConfig::Outcome::Help:
        std::fputs(qPrintable(CamsimConfig::manual()), stdout);
        return 0;
    case CamsimConfig::Outcome::Error:
        std::fprintf(stderr, "camsim: %s\n", qPrintable(error));
        return 2;
    case CamsimConfig::Outcome::Run:
        break;
    }
    if (config.printOnly) {
        std::fputs(QJsonDocument(config.toJson()).toJson(QJsonDocument::Compact).append('\n').constData(), stdout);
        return 0;
    }

    // Before the first socket (the signal watcher's included): in the host's
    // namespace even binding the ports would answer a real network.
    const QString refusal = NetworkSafety::refusal(NetworkSafety::probe());
    if (!refusal.isEmpty()) {
        std::fprintf(stderr,
                     "camsim: refusing to start in the host's network namespace: %s\n"
                     "camsim: run it inside a test LAN namespace (tests/netns/netns.sh, ip netns exec, "
                     "unshare -Urn), see NETWORK SAFETY in --help\n",
                     qPrintable(refusal));
        return 2;
    }

    SignalWatcher watcher;
    CameraSimulator simulator(config);
    QObject::connect(&watcher, &SignalWatcher::terminationRequested, &app, &QCoreApplication::quit);
    if (!simulator.start()) {
        simulator.stop();
        return 1;
    }
    const int rc = app.exec();
    simulator.stop();
    return rc;
}
