// The log system's switchboard: ids, filters, start/stop, logger changes,
// re-entrancy and the crash decision. The singleton is process-wide, so every
// case uses its own module names and leaves the system stopped and empty.
#include "errorhandledialog.h"
#include "errorhandledialoglauncher.h"
#include "logsystem.h"
#include "logtestsupport.h"
#include "syslogger.h"

#include <QApplication>
#include <QFile>
#include <QPointer>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <climits>

#include <unistd.h>

namespace {

ErrorHandleDialog *findCrashDialog()
{
    const QWidgetList widgets = QApplication::topLevelWidgets();
    for (QWidget *widget : widgets) {
        if (auto *dialog = qobject_cast<ErrorHandleDialog *>(widget))
            return dialog;
    }
    return nullptr;
}

ErrorHandleDialogLauncher *launcherInUse = nullptr;

// Stands in for the program's crash hook: keeps the crash-dialog command it
// is given and counts the starts the crash decision asks for.
struct CrashDialogStarts
{
    static inline QString program;
    static inline QStringList arguments;
    static inline int prepared = 0;
    static inline int started = 0;

    static void prepare(const QString &crashDialogProgram, const QStringList &crashDialogArguments)
    {
        program = crashDialogProgram;
        arguments = crashDialogArguments;
        ++prepared;
    }
    static bool start() noexcept
    {
        ++started;
        return true;
    }
};

// A logger that logs again from inside its own log().
class EchoLogger : public RecordingLogger
{
protected:
    void log(int moduleId, LogSystem::LogLevel level, QString message) override
    {
        RecordingLogger::log(moduleId, level, message);
        LogSystem::getSysLogSystem()->log(moduleId, level, QStringLiteral("echo of %s"),
                                          qPrintable(message));
    }
};

// A logger that consults the module list from every callback, as a logger
// printing module names might; none of this may deadlock.
class CuriousLogger : public RecordingLogger
{
public:
    using RecordingLogger::RecordingLogger;
    int modulesAtRegistration = -1;
    int modulesAtPathQuery = -1;

protected:
    void moduleRegistered(QString name, int id) override
    {
        modulesAtRegistration = getRegisteredModules().size();
        RecordingLogger::moduleRegistered(name, id);
    }
    QString getLogPath() override
    {
        modulesAtPathQuery = getRegisteredModules().size();
        return RecordingLogger::getLogPath();
    }
};

// Counts the messages the log system handed over as bytes it formatted
// itself, rather than as a QString that Qt formatted.
class ByteCountingLogger : public RecordingLogger
{
public:
    int byteMessages = 0;

protected:
    void logLatin1(int moduleId, LogSystem::LogLevel level, const char *text, int size) override
    {
        ++byteMessages;
        SysLogger::logLatin1(moduleId, level, text, size);
    }
};

} // namespace

class TestLogSystem : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();

    void moduleIds();
    void levelFilter();
    void moduleMask();
    void disableAllSilencesModuleZero();
    void startAndStop();
    void loggerFixedWhileStarted();
    void formatsPrintfStyle();
    void ownFormatterMatchesQt();
    void nestedLogIsDropped();
    void destroyedLoggerIsDetached();
    void loggerMayReadModulesFromCallbacks();
    void crashDecision();
    void crashMarkOffersDialogAtNextStart();
    void crashWithoutAutoRestart();
    void crashDialogCommandFollowsSettings();
    void clientShowsDialogModally();
    void noLauncherNoRestart();

private:
    LogSystem *sys() { return LogSystem::getSysLogSystem(); }

    // The one line logged through both format forms, as the logger got it.
    template <typename... Args>
    QStringList logBothForms(RecordingLogger &logger, int id, const char *format, Args... args)
    {
        logger.lines.clear();
        sys()->log(id, LogSystem::LogMajorMsg, QString::fromUtf8(format), args...);
        sys()->log(id, LogSystem::LogMajorMsg, format, args...);
        return logger.messages();
    }
};

void TestLogSystem::cleanup()
{
    sys()->stopLog();
    sys()->setLogger(nullptr);
    sys()->setLogLevel(LogSystem::LogDetailMsg);
    sys()->enableAllLog();
    sys()->setAutoRestart(true);
    if (ErrorHandleDialog *dialog = findCrashDialog())
        dialog->hide();
}

void TestLogSystem::moduleIds()
{
    // Must stay the first case: nothing else may have registered yet.
    RecordingLogger logger;
    sys()->setLogger(&logger);

    QCOMPARE(sys()->registerLoggedModule(QStringLiteral("Client/One")), 1);
    QCOMPARE(sys()->registerLoggedModule(QStringLiteral("Client/One")), 1);
    QCOMPARE(sys()->registerLoggedModule(QStringLiteral("client/one")), 2); // case-sensitive
    QCOMPARE(sys()->getRegisteredModules(),
             QStringList({QStringLiteral("LogSystem"), QStringLiteral("Client/One"),
                          QStringLiteral("client/one")}));
    QCOMPARE(logger.modulesSeenByLogger(), sys()->getRegisteredModules());

    QCOMPARE(logger.registrations.size(), 2);
    QCOMPARE(logger.registrations.at(0), qMakePair(QStringLiteral("Client/One"), 1));
    QCOMPARE(logger.registrations.at(1), qMakePair(QStringLiteral("client/one"), 2));
}

void TestLogSystem::levelFilter()
{
    RecordingLogger logger;
    const int id = sys()->registerLoggedModule(QStringLiteral("Level/Filter"));
    sys()->setLogger(&logger);
    sys()->startLog();

    sys()->setLogLevel(LogSystem::LogMajorMsg);
    sys()->setLogLevel(static_cast<LogSystem::LogLevel>(8));
    sys()->setLogLevel(static_cast<LogSystem::LogLevel>(-1));

    sys()->log(id, LogSystem::LogMinorWarning, QStringLiteral("level 5"));
    sys()->log(id, LogSystem::LogMajorMsg, QStringLiteral("level 4"));
    sys()->log(id, LogSystem::LogFatal, QStringLiteral("level 0"));
    sys()->log(id, static_cast<LogSystem::LogLevel>(-1), QStringLiteral("level -1"));
    sys()->log(id, LogSystem::LogDetailMsg, QStringLiteral("level 7"));

    // Ids never handed out, negative ids.
    const int unknown = sys()->getRegisteredModules().size();
    sys()->log(unknown, LogSystem::LogFatal, QStringLiteral("unknown id"));
    sys()->log(-1, LogSystem::LogFatal, QStringLiteral("id -1"));
    sys()->log(256, LogSystem::LogFatal, QStringLiteral("id 256"));

    QCOMPARE(logger.messages(), QStringList({QStringLiteral("level 4"), QStringLiteral("level 0")}));
    QCOMPARE(logger.lines.at(0).moduleId, id);
    QCOMPARE(logger.lines.at(0).level, LogSystem::LogMajorMsg);

    sys()->setLogLevel(LogSystem::LogDetailMsg);
    sys()->log(id, LogSystem::LogDetailMsg, QStringLiteral("level 7 now"));
    QCOMPARE(logger.messages().last(), QStringLiteral("level 7 now"));
}

void TestLogSystem::moduleMask()
{
    RecordingLogger logger;
    const int a = sys()->registerLoggedModule(QStringLiteral("Mask/A"));
    const int b = sys()->registerLoggedModule(QStringLiteral("Mask/B"));
    sys()->setLogger(&logger);
    sys()->startLog();

    sys()->disableModuleLog(a);
    sys()->disableModuleLog(-1);  // ignored
    sys()->disableModuleLog(256); // ignored
    sys()->log(a, LogSystem::LogFatal, QStringLiteral("a masked"));
    sys()->log(b, LogSystem::LogFatal, QStringLiteral("b open"));
    sys()->enableModuleLog(a);
    sys()->log(a, LogSystem::LogFatal, QStringLiteral("a open"));

    sys()->disableAllLog();
    sys()->log(a, LogSystem::LogFatal, QStringLiteral("all masked"));
    sys()->enableModuleLog(b);
    sys()->log(a, LogSystem::LogFatal, QStringLiteral("a still masked"));
    sys()->log(b, LogSystem::LogFatal, QStringLiteral("b reopened"));
    sys()->enableAllLog();
    sys()->log(a, LogSystem::LogFatal, QStringLiteral("a reopened"));

    QCOMPARE(logger.messages(),
             QStringList({QStringLiteral("b open"), QStringLiteral("a open"),
                          QStringLiteral("b reopened"), QStringLiteral("a reopened")}));
}

void TestLogSystem::disableAllSilencesModuleZero()
{
    RecordingLogger logger;
    sys()->setLogger(&logger);
    sys()->startLog();

    sys()->log(0, LogSystem::LogError, QStringLiteral("own line"));
    sys()->disableAllLog();
    sys()->log(0, LogSystem::LogFatal, QStringLiteral("silenced"));
    sys()->enableModuleLog(0);
    sys()->log(0, LogSystem::LogFatal, QStringLiteral("back"));

    QCOMPARE(logger.messages(), QStringList({QStringLiteral("own line"), QStringLiteral("back")}));
    QCOMPARE(logger.lines.at(0).moduleId, 0);
}

void TestLogSystem::startAndStop()
{
    RecordingLogger logger;
    const int id = sys()->registerLoggedModule(QStringLiteral("Start/Stop"));

    sys()->startLog(); // no logger yet: stays stopped
    sys()->setLogger(&logger);
    sys()->log(id, LogSystem::LogFatal, QStringLiteral("before start"));
    sys()->startLog();
    sys()->startLog(); // already started: start() is not called again
    sys()->log(id, LogSystem::LogFatal, QStringLiteral("while started"));
    sys()->stopLog();
    sys()->stopLog();
    sys()->log(id, LogSystem::LogFatal, QStringLiteral("after stop"));

    QCOMPARE(logger.starts, 1);
    QCOMPARE(logger.stops, 1);
    QCOMPARE(logger.messages(), QStringList(QStringLiteral("while started")));

    // No logger installed: an accepted call is dropped without harm.
    sys()->setLogger(nullptr);
    sys()->startLog();
    sys()->log(id, LogSystem::LogFatal, QStringLiteral("nowhere"));
    QCOMPARE(logger.lines.size(), 1);
}

void TestLogSystem::loggerFixedWhileStarted()
{
    RecordingLogger first;
    RecordingLogger second;
    const int id = sys()->registerLoggedModule(QStringLiteral("Logger/Swap"));
    sys()->setLogger(&first);
    sys()->startLog();
    sys()->setLogger(&second);
    sys()->setLogger(nullptr);
    sys()->log(id, LogSystem::LogFatal, QStringLiteral("to first"));
    sys()->stopLog();
    QCOMPARE(first.messages(), QStringList(QStringLiteral("to first")));
    QVERIFY(second.lines.isEmpty());
    QCOMPARE(first.stops, 1);

    // Once stopped the logger can be exchanged.
    sys()->setLogger(&second);
    sys()->startLog();
    sys()->log(id, LogSystem::LogFatal, QStringLiteral("to second"));
    QCOMPARE(second.messages(), QStringList(QStringLiteral("to second")));
    QCOMPARE(first.lines.size(), 1);
}

void TestLogSystem::formatsPrintfStyle()
{
    RecordingLogger logger;
    const int id = sys()->registerLoggedModule(QStringLiteral("Format"));
    sys()->setLogger(&logger);
    sys()->startLog();

    sys()->log(id, LogSystem::LogFatal, QStringLiteral("%d-%05.1f-%s-%x-%%"), 42, 3.5, "text", 255);
    // Accented text in the format and in a %s argument survives formatting;
    // only the file loggers reduce it to Latin-1.
    sys()->log(id, LogSystem::LogFatal, QString::fromUtf8("caf\xc3\xa9 \xe4\xb8\xad %d %s"), 7,
               "\xc3\xa9t\xc3\xa9");

    // The same format again after another one (formats are cached per thread).
    const QString first = QStringLiteral("first %d");
    sys()->log(id, LogSystem::LogFatal, first, 1);
    sys()->log(id, LogSystem::LogFatal, QStringLiteral("second %d"), 2);
    sys()->log(id, LogSystem::LogFatal, first, 3);
    QCOMPARE(logger.messages().mid(2), QStringList({QStringLiteral("first 1"), QStringLiteral("second 2"),
                                                    QStringLiteral("first 3")}));

    QCOMPARE(logger.messages().mid(0, 2),
             QStringList({QStringLiteral("42-003.5-text-ff-%"),
                          QString::fromUtf8("caf\xc3\xa9 \xe4\xb8\xad 7 \xc3\xa9t\xc3\xa9")}));
}

// The log system formats the plain conversions itself; whatever it formats
// or leaves to Qt, the text must be Qt's to the character.
void TestLogSystem::ownFormatterMatchesQt()
{
    ByteCountingLogger logger;
    const int id = sys()->registerLoggedModule(QStringLiteral("OwnFormatter"));
    sys()->setLogger(&logger);
    sys()->startLog();

#define COMPARE_WITH_QT(...) \
    QCOMPARE(logBothForms(logger, id, __VA_ARGS__), \
             QStringList({QString::asprintf(__VA_ARGS__), QString::asprintf(__VA_ARGS__)}))

    // Formatted here.
    COMPARE_WITH_QT("Search reply from %s, %d bytes", "198.51.100.23", 253);
    COMPARE_WITH_QT("%d %i %u %d", INT_MIN, INT_MAX, UINT_MAX, 0);
    COMPARE_WITH_QT("%ld %lu %lld %llu %lli", LONG_MIN, ULONG_MAX, LLONG_MIN, ULLONG_MAX, -1LL);
    COMPARE_WITH_QT("100%% [%s]%s", "", "\t|");
    COMPARE_WITH_QT("no conversion");
    COMPARE_WITH_QT("%s", "");
    const QByteArray fits(2048 - 2, 'x');
    COMPARE_WITH_QT("[%s]", fits.constData());
    QCOMPARE(logger.byteMessages, 14);

    // Left to Qt: flags, widths, other conversions, text beyond ASCII, a
    // message too long for the buffer, a lone '%' at the end.
    COMPARE_WITH_QT("%5d|%-4s|%05d|%+d|%.2s", 42, "ab", 7, 3, "abc");
    COMPARE_WITH_QT("%x %X %c %.3f %hd %zu", 255, 255, 'A', 3.14159, 12, size_t(12));
    COMPARE_WITH_QT("caf\xc3\xa9 %s", "plain");
    COMPARE_WITH_QT("%s and %d", "\xc3\xa9t\xc3\xa9", 1);
    COMPARE_WITH_QT("\xff\xfe%d", 1);
    COMPARE_WITH_QT("[%s].", fits.constData());
    const QByteArray trailingPercent("50%"); // not a literal: the compiler would object
    COMPARE_WITH_QT(trailingPercent.constData());
    QCOMPARE(logger.byteMessages, 14);
#undef COMPARE_WITH_QT
}

void TestLogSystem::nestedLogIsDropped()
{
    EchoLogger logger;
    const int id = sys()->registerLoggedModule(QStringLiteral("Nested"));
    sys()->setLogger(&logger);
    sys()->startLog();

    sys()->log(id, LogSystem::LogFatal, QStringLiteral("outer 1"));
    sys()->log(id, LogSystem::LogFatal, QStringLiteral("outer 2"));

    // Each echo was dropped, and the guard was released after each call.
    QCOMPARE(logger.messages(), QStringList({QStringLiteral("outer 1"), QStringLiteral("outer 2")}));
}

void TestLogSystem::destroyedLoggerIsDetached()
{
    const int id = sys()->registerLoggedModule(QStringLiteral("Detach"));
    {
        RecordingLogger doomed;
        sys()->setLogger(&doomed);
        sys()->startLog();
    }
    // Would reach the dead logger (and fail under the sanitizers) if the log
    // system still held it.
    sys()->log(id, LogSystem::LogFatal, QStringLiteral("after delete"));
    sys()->stopLog();

    RecordingLogger next;
    sys()->setLogger(&next);
    sys()->startLog();
    sys()->log(id, LogSystem::LogFatal, QStringLiteral("to next"));
    QCOMPARE(next.messages(), QStringList(QStringLiteral("to next")));
}

void TestLogSystem::loggerMayReadModulesFromCallbacks()
{
    QTemporaryDir dir;
    CuriousLogger logger(dir.path());
    sys()->setLogger(&logger);
    QCOMPARE(logger.modulesAtPathQuery, sys()->getRegisteredModules().size());

    const int id = sys()->registerLoggedModule(QStringLiteral("Curious"));
    QCOMPARE(logger.modulesAtRegistration, id + 1);
}

void TestLogSystem::crashDecision()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    RecordingLogger logger(dir.path());
    const QString record = dir.filePath(QStringLiteral("crash"));
    sys()->setLogger(&logger);
    sys()->startLog();

    ErrorHandleDialog *dialog = findCrashDialog();
    QVERIFY(dialog);
    QVERIFY(dialog->autoRestart());
    QCOMPARE(dialog->zipFolders().value(QStringLiteral("Log")), dir.path());
    QVERIFY(!dialog->isVisible());
    const int startsBefore = CrashDialogStarts::started;

    // First crash: mark it and restart, no dialog.
    QVERIFY(LogSystem::handlerCrash());
    QVERIFY(QFile::exists(record));
    QVERIFY(!dialog->isVisible());
    QCOMPARE(CrashDialogStarts::started, startsBefore);

    // Crash again before a normal exit: clear the mark, start the crash
    // dialog's own process and do not restart. Nothing of a dialog runs in
    // the crashing process.
    QVERIFY(!LogSystem::handlerCrash());
    QCOMPARE(CrashDialogStarts::started, startsBefore + 1);
    QVERIFY(!dialog->isVisible());
    QVERIFY(!QFile::exists(record));

    // The cycle starts over; a normal stop clears the mark.
    QVERIFY(LogSystem::handlerCrash());
    QVERIFY(QFile::exists(record));
    QCOMPARE(CrashDialogStarts::started, startsBefore + 1);
    sys()->stopLog();
    QVERIFY(!QFile::exists(record));
}

void TestLogSystem::crashMarkOffersDialogAtNextStart()
{
    QTemporaryDir dir;
    RecordingLogger logger(dir.path());
    QFile mark(dir.filePath(QStringLiteral("crash")));
    QVERIFY(mark.open(QIODevice::WriteOnly));
    mark.close();

    sys()->setWindowTitle(QStringLiteral("Pathmere"));
    sys()->addFolderToZip(QStringLiteral("Extra"), QStringLiteral("/tmp/extra-one"));
    sys()->addFolderToZip(QStringLiteral("Extra"), QStringLiteral("/tmp/extra-two"));
    sys()->setLogger(&logger);

    ErrorHandleDialog *dialog = findCrashDialog();
    QVERIFY(dialog);
    QVERIFY(dialog->isVisible());
    QVERIFY(!dialog->isModal());
    QCOMPARE(dialog->windowTitle(), QStringLiteral("Pathmere"));
    QCOMPARE(dialog->zipFolders().value(QStringLiteral("Extra")), QStringLiteral("/tmp/extra-two"));
    QCOMPARE(dialog->zipFolders().value(QStringLiteral("Log")), dir.path());

    // The mark stays until the program ends normally.
    sys()->startLog();
    QVERIFY(QFile::exists(mark.fileName()));
    sys()->stopLog();
    QVERIFY(!QFile::exists(mark.fileName()));
}

void TestLogSystem::crashWithoutAutoRestart()
{
    QTemporaryDir dir;
    RecordingLogger logger(dir.path());
    sys()->setLogger(&logger);
    sys()->setAutoRestart(false);
    ErrorHandleDialog *dialog = findCrashDialog();
    QVERIFY(dialog);
    QVERIFY(!dialog->autoRestart());

    const int startsBefore = CrashDialogStarts::started;
    QVERIFY(!LogSystem::handlerCrash());
    QCOMPARE(CrashDialogStarts::started, startsBefore + 1);
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("crash"))));
}

// The crash path cannot build anything, so the crash-dialog program's
// command is rebuilt whenever what the dialog shows changes.
void TestLogSystem::crashDialogCommandFollowsSettings()
{
    QTemporaryDir dir;
    RecordingLogger logger(dir.path());
    sys()->setLogger(&logger);
    QCOMPARE(QFileInfo(CrashDialogStarts::program).fileName(), QStringLiteral("corvane-crashdialog"));
    QCOMPARE(QFileInfo(CrashDialogStarts::program).path(), QCoreApplication::applicationDirPath());

    const int preparedBefore = CrashDialogStarts::prepared;
    sys()->setWindowTitle(QStringLiteral("Title with  spaces"));
    sys()->addFolderToZip(QStringLiteral("Config"), QStringLiteral("/tmp/config folder"));
    QCOMPARE(CrashDialogStarts::prepared, preparedBefore + 2);
    const QStringList arguments = CrashDialogStarts::arguments;
    QCOMPARE(arguments.mid(0, 2), QStringList({ QStringLiteral("--crashed-pid"), QString::number(getpid()) }));
    QVERIFY(arguments.join('|').contains(QStringLiteral("--window-title|Title with  spaces")));
    QVERIFY(arguments.join('|').contains(QStringLiteral("--zip-folder|Config|/tmp/config folder")));
    QVERIFY(arguments.join('|').contains(QStringLiteral("--zip-folder|Log|") + dir.path()));
}

// A program that runs normally may still show the dialog itself, modally:
// the offer it made non-modally is reopened as a modal one.
void TestLogSystem::clientShowsDialogModally()
{
    LogSystem::showCrashHandleDialog(false);
    ErrorHandleDialog *dialog = findCrashDialog();
    QVERIFY(dialog);
    QVERIFY(dialog->isVisible());
    QVERIFY(!dialog->isModal());

    bool wasModal = false;
    bool closedByTimer = false;
    QTimer closer;
    closer.setInterval(50);
    connect(&closer, &QTimer::timeout, this, [&] {
        if (dialog->isVisible() && dialog->isModal()) {
            wasModal = QApplication::activeModalWidget() == dialog;
            closedByTimer = true;
            dialog->reject();
        }
    });
    closer.start();
    LogSystem::showCrashHandleDialog(true);
    closer.stop();
    QVERIFY(closedByTimer);
    QVERIFY(wasModal);
    QVERIFY(!dialog->isVisible());
}

void TestLogSystem::noLauncherNoRestart()
{
    QTemporaryDir dir;
    RecordingLogger logger(dir.path());
    sys()->setLogger(&logger);
    ErrorHandleDialogLauncher *const launcher = launcherInUse;
    LogSystem::setCrashDialogLauncher(nullptr);
    const auto back = qScopeGuard([launcher] { LogSystem::setCrashDialogLauncher(launcher); });

    // Nothing to show the crash with: no restart either, and no mark.
    const int startsBefore = CrashDialogStarts::started;
    QVERIFY(!LogSystem::handlerCrash());
    QVERIFY(!LogSystem::handlerCrash());
    QCOMPARE(CrashDialogStarts::started, startsBefore);
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("crash"))));
    LogSystem::showCrashHandleDialog(false);
    QVERIFY(!findCrashDialog()->isVisible());
}

int main(int argc, char *argv[])
{
    QTemporaryDir home;
    isolateHome(home.path());
    QApplication app(argc, argv);
    // As the program does: the widgets part shows the dialog, the crash hook
    // (here a stand-in) starts the crash-dialog program.
    ErrorHandleDialogLauncher launcher;
    launcher.setProcessStarter(&CrashDialogStarts::prepare, &CrashDialogStarts::start);
    LogSystem::setCrashDialogLauncher(&launcher);
    launcherInUse = &launcher;
    TestLogSystem test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_logsystem.moc"
