// Logs one line through the installed library and reads it back, and uses
// both parts (the response model's exported holders, the crash dialog's
// command line and translation names). Prints the files the libraries were
// loaded from, so the caller can see they are the installed ones. Every
// public header is included: none may need more than the installed headers
// and Qt's public ones. Built with CONSUMER_CORE_ONLY it is a program that
// uses the core alone (../consumer-core).
#include <corvane/autoserialfilelogger.h>
#ifndef CONSUMER_CORE_ONLY
#include <corvane/crashdialogarguments.h>
#include <corvane/errorhandledialog.h>
#include <corvane/errorhandledialoglauncher.h>
#endif
#include <corvane/crashdialoglauncher.h>
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

    ResponseCompoundSpec spec;
    spec.addStringSpec(ResponseStringSpec::SubType(1), 8);
    ResponseCompound answers(spec);
    answers.setStringResponse(0, QStringLiteral("tripod"));
    if (Response(answers).get<ResponseCompound>().getStringResponse(0).text != QLatin1String("tripod"))
        return 6;

    // Without a crash dialog there is no restart either.
    if (LogSystem::handlerCrash())
        return 8;

#ifndef CONSUMER_CORE_ONLY
    CrashDialogArguments crash;
    crash.crashedPid = 7;
    CrashDialogArguments read;
    QString error;
    if (!CrashDialogArguments::parse(crash.toArguments(), &read, &error) || read.crashedPid != 7
        || ErrorHandleDialog::translationFileName(QStringLiteral("de_DE")) != QLatin1String("Corvane_de_DE.qm"))
        return 7;

    const auto widgetsSymbol = reinterpret_cast<void *>(&ErrorHandleDialog::translationFileName);
#else
    void *const widgetsSymbol = nullptr;
#endif
    for (void *symbol : { reinterpret_cast<void *>(&LogSystem::getSysLogSystem), widgetsSymbol }) {
        if (!symbol)
            continue;
        Dl_info info = {};
        if (!dladdr(symbol, &info) || !info.dli_fname)
            return 5;
        std::printf("loaded %s\n", info.dli_fname);
    }
    return 0;
}
