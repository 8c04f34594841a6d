// camsim: simulated cameras for the discovery protocols. See --help.
#include "camerasimulator.h"
#include "camsimconfig.h"
#include "signalwatcher.h"

#include <QCoreApplication>

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
