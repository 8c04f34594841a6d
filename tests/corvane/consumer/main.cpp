// Logs one line through the installed library and reads it back. Prints the
// file the library was loaded from, so the caller can see it is the
// installed one. Every public header is included: none may need more than
// the installed headers and Qt's public ones.
#include <corvane/autoserialfilelogger.h>
#include <corvane/errorhandledialog.h>
#include <corvane/logdiagnoseentity.h>
#include <corvane/logsystem.h>
#include <corvane/qdebuglogger.h>
#include <corvane/responsecompound.h>
#include <corvane/simplefilelogger.h>
#include <corvane/tolvikinterprocesslock.h>
#include <corvane/tolviksystem.h>

#include "logsystem.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdio>
#include <dlfcn.h>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 2)
        return 2;
    const QString path = QString::fromLocal8Bit(argv[1]);

    LogSystem *sys = LogSystem::getSysLogSystem();
    SimpleFileLogger logger(path, false);
    sys->setLogLevel(LogSystem::LogMajorMsg);
    sys->setLogger(&logger);
    sys->startLog();
    const int module = sys->registerLoggedModule(QStringLiteral("Consumer/Main"));
    sys->log(module, LogSystem::LogMajorMsg, QStringLiteral("hello from %s"), "outside");
    sys->stopLog();
    sys->setLogger(nullptr);

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 3;
    const QByteArray text = file.readAll();
    if (!text.contains("MAJOR MSG") || !text.contains(" Consumer/Main : hello from outside\n"))
        return 4;

    Dl_info info = {};
    if (!dladdr(reinterpret_cast<void *>(&LogSystem::getSysLogSystem), &info) || !info.dli_fname)
        return 5;
    std::printf("loaded %s\n", info.dli_fname);
    return 0;
}
