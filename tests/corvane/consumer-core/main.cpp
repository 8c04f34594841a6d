// Logs one line through the installed core library alone and reads it back.
#include <corvane/logsystem.h>
#include <corvane/responsecompound.h>
#include <corvane/simplefilelogger.h>

#include <QCoreApplication>
#include <QFile>

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
    const int module = sys->registerLoggedModule(QStringLiteral("Consumer/Core"));
    sys->log(module, LogSystem::LogMajorMsg, "core only");
    sys->stopLog();
    sys->setLogger(nullptr);
    // Without a crash dialog there is no restart either.
    if (LogSystem::handlerCrash())
        return 4;

    ResponseCompoundSpec spec;
    spec.addYesNoSpec(ResponseYNSpec::SubType(0));
    if (ResponseCompound(spec).getYesNoResponse(0).answer != 0)
        return 5;

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || !file.readAll().contains(" Consumer/Core : core only\n"))
        return 3;
    return 0;
}
