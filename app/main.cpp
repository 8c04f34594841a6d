#include "anotherlogindialog.h"
#include "applog.h"
#include "autoserialfilelogger.h"
#include "crashhook.h"
#include "discoveryservice.h"
#include "errorhandledialoglauncher.h"
#include "logfolder.h"
#include "logsystem.h"
#include "pathmere.h"
#include "singleinstance.h"

#include <QApplication>
#include <QDateTime>
#include <QTimer>

#include <cstring>

namespace {

// Lets the start-up tests exercise the crash path without a keyboard: the
// same slot the Ctrl+Alt+Shift+C shortcut calls.
void scheduleCrashForTests(Pathmere *window)
{
    bool ok = false;
    const int delayMs = qEnvironmentVariableIntValue("PATHMERE_CRASH_AFTER_MS", &ok);
    if (!ok || delayMs < 0)
        return;
    QTimer::singleShot(delayMs, window, [window] {
        QMetaObject::invokeMethod(window, "doCrash", Qt::DirectConnection);
    });
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // Lets the desktop match the window to the installed menu entry (dock
    // icon and name, on Wayland the app id).
    QGuiApplication::setDesktopFileName(QStringLiteral("org.pathmere.Pathmere"));
    Q_INIT_RESOURCE(pathmere);
    LogSystem *const logSystem = LogSystem::getSysLogSystem();
    // The crash dialog shows in this process while it runs normally; from a
    // crash, on any thread, the crash hook starts it as a process of its own.
    ErrorHandleDialogLauncher crashDialog;
    crashDialog.setProcessStarter(&CrashHook::setCrashDialog, &CrashHook::startCrashDialog);
    LogSystem::setCrashDialogLauncher(&crashDialog);

    const QString logFolder = LogFolder::path();
    LogFolder::removeOldLogs(logFolder, QDateTime::currentDateTime());

    auto *logger = new AutoSerialFileLogger(LogFolder::logFilePattern(logFolder));
    logSystem->setLogLevel(LogSystem::LogMajorMsg);
    logSystem->setLogger(logger);
    logSystem->setWindowTitle(QStringLiteral("TolvikPathmere"));
    CrashHook::install(&LogSystem::handlerCrash, QCoreApplication::applicationFilePath());
    logSystem->startLog();

    const bool hide = argc > 1 && std::strcmp(argv[1], "-hide") == 0;

    SingleInstance instance;
    if (!instance.claimSegment(hide))
        return 0;

    const bool another = QCoreApplication::arguments().contains(QStringLiteral("-another"));
    // An instance that was just taken over must not take over in turn: its
    // notice would reach the new instance of the other session.
    if (!another)
        instance.sendNotice();

    if (another) {
        appLog(LogSystem::LogMajorMsg, "Run in find another.");
        auto *dialog = new AnotherLoginDialog;
        QObject::connect(dialog, &AnotherLoginDialog::emitAnotherLoginOk, &instance, [&instance] {
            appLog(LogSystem::LogMajorMsg, "emitAnotherLoginOk.");
            QCoreApplication::quit();
            instance.scheduleRestart({});
        });
        QCoreApplication::processEvents();
        dialog->show();
        const int result = QApplication::exec();
        delete dialog;
        instance.releaseSegment();
        instance.runScheduledRestart();
        return result;
    }

    instance.bindListener();

    // A tray program: closing the last visible window (say the crash dialog
    // while the main window is hidden) must not end it.
    QApplication::setQuitOnLastWindowClosed(false);

    // Discovery belongs to the program, not to the window: made before it,
    // gone after it.
    auto *discovery = new DiscoveryService;
    auto *window = new Pathmere;
    window->setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowMinimizeButtonHint
                           | Qt::CustomizeWindowHint | Qt::WindowCloseButtonHint);
    window->setStartHidden(hide);
    if (!hide)
        window->show();
    scheduleCrashForTests(window);

    const int result = QApplication::exec();

    logSystem->stopLog();
    logSystem->setLogger(nullptr);
    delete logger;
    delete window;
    delete discovery;
    instance.releaseSegment();
    instance.runScheduledRestart();
    return result;
}
