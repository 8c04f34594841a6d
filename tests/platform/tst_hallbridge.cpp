// Runs the real Hallbridge program the way the main window starts it and
// checks the autostart entry it leaves behind.

#include "autostartentry.h"
#include "desktopentry.h"
#include "testhome.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

class TestHallbridge : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void onWritesValidEntryForProgramBeside();
    void offRemovesEntry();
    void respectsXdgConfigHome();
    void refusesWrongArguments_data();
    void refusesWrongArguments();
    void reportsFailure();
    void entryStartsProgramFromAwkwardFolder();

private:
    int runHelper(const QString &helper, const QStringList &args, QByteArray *output = nullptr) const;
    QStringList execOfEntry(const QString &path) const;

    QString binDir;
    QString helper;
    TestHome home;
    QProcessEnvironment env;
};

void TestHallbridge::initTestCase()
{
    binDir = qEnvironmentVariable("PATHMERE_BIN_DIR");
    QVERIFY2(!binDir.isEmpty(), "PATHMERE_BIN_DIR is not set");
    helper = binDir + QStringLiteral("/Hallbridge");
    QVERIFY2(QFileInfo(helper).isExecutable(), qPrintable(helper));
    QVERIFY(home.isValid());
    // The reader in this process and the helper see the same temporary home.
    home.enter();
    qunsetenv("XDG_CONFIG_HOME");
}

void TestHallbridge::init()
{
    env = QProcessEnvironment::systemEnvironment();
    home.applyTo(&env);
    env.remove(QStringLiteral("XDG_CONFIG_HOME"));
    qunsetenv("XDG_CONFIG_HOME");
    QDir(home.configHome()).removeRecursively();
}

int TestHallbridge::runHelper(const QString &program, const QStringList &args, QByteArray *output) const
{
    QProcess process;
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, args);
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit)
        return -1;
    if (output)
        *output = process.readAll();
    return process.exitCode();
}

QStringList TestHallbridge::execOfEntry(const QString &path) const
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {QStringLiteral("<no entry>")};
    return DesktopEntry::splitExec(DesktopEntry::parse(file.readAll()).rawValue(QStringLiteral("Exec")));
}

void TestHallbridge::onWritesValidEntryForProgramBeside()
{
    const QString path = home.path() + QStringLiteral("/.config/autostart/Pathmere.desktop");
    QVERIFY(!AutostartEntry().isEnabled());

    QCOMPARE(runHelper(helper, {QStringLiteral("1")}), 0);
    QVERIFY(QFile::exists(path));
    QVERIFY(AutostartEntry().isEnabled());
    QCOMPARE(execOfEntry(path), (QStringList{binDir + QStringLiteral("/Pathmere"), QStringLiteral("-hide")}));

    const QString validator = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
    if (validator.isEmpty())
        QSKIP("desktop-file-validate is not installed (package desktop-file-utils)");
    QByteArray output;
    QCOMPARE(runHelper(validator, {path}, &output), 0);
    QVERIFY2(output.trimmed().isEmpty(), output.constData());

    // Switching on twice keeps one valid entry.
    QCOMPARE(runHelper(helper, {QStringLiteral("1")}), 0);
    QCOMPARE(QDir(home.path() + QStringLiteral("/.config/autostart")).entryList(QDir::Files).size(), 1);
    QVERIFY(AutostartEntry().isEnabled());
}

void TestHallbridge::offRemovesEntry()
{
    QCOMPARE(runHelper(helper, {QStringLiteral("1")}), 0);
    QVERIFY(AutostartEntry().isEnabled());

    QCOMPARE(runHelper(helper, {QStringLiteral("0")}), 0);
    QVERIFY(!QFile::exists(AutostartEntry().filePath()));
    QVERIFY(!AutostartEntry().isEnabled());

    // Off when already off succeeds too.
    QCOMPARE(runHelper(helper, {QStringLiteral("0")}), 0);
    QVERIFY(!AutostartEntry().isEnabled());
}

void TestHallbridge::respectsXdgConfigHome()
{
    const QString config = home.path() + QStringLiteral("/xdg config");
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config));

    QCOMPARE(runHelper(helper, {QStringLiteral("1")}), 0);
    QVERIFY(QFile::exists(config + QStringLiteral("/autostart/Pathmere.desktop")));
    QVERIFY(!QFile::exists(home.path() + QStringLiteral("/.config/autostart/Pathmere.desktop")));
    QVERIFY(AutostartEntry().isEnabled());

    QCOMPARE(runHelper(helper, {QStringLiteral("0")}), 0);
    QVERIFY(!QFile::exists(config + QStringLiteral("/autostart/Pathmere.desktop")));
    QVERIFY(!AutostartEntry().isEnabled());
}

void TestHallbridge::refusesWrongArguments_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::newRow("none") << QStringList();
    QTest::newRow("two") << QStringList{QStringLiteral("2")};
    QTest::newRow("word") << QStringList{QStringLiteral("on")};
    QTest::newRow("empty") << QStringList{QString()};
    QTest::newRow("extra") << QStringList{QStringLiteral("1"), QStringLiteral("1")};
}

void TestHallbridge::refusesWrongArguments()
{
    QFETCH(QStringList, args);
    QCOMPARE(runHelper(helper, args), 2);
    QVERIFY(!QFile::exists(AutostartEntry().filePath()));
}

void TestHallbridge::reportsFailure()
{
    // The configuration folder cannot be created below a regular file.
    const QString blocker = home.path() + QStringLiteral("/blocker");
    QFile file(blocker);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), blocker);

    QByteArray output;
    QCOMPARE(runHelper(helper, {QStringLiteral("1")}, &output), 1);
    QVERIFY(output.contains("cannot write"));
}

void TestHallbridge::entryStartsProgramFromAwkwardFolder()
{
    // A copy of the helper in a folder whose name needs quoting, with a
    // stand-in Pathmere that records how it was started. A desktop launcher
    // (GLib's, through gio) starts the entry, so the quoting is checked by an
    // independent reader, not by our own parser.
    const QString gio = QStandardPaths::findExecutable(QStringLiteral("gio"));
    const QString dir = home.path() + QStringLiteral("/My Apps $HOME `x` \"q\" 'a' (b) \\ c");
    QVERIFY(QDir().mkpath(dir));
    const QString copy = dir + QStringLiteral("/Hallbridge");
    QVERIFY(QFile::copy(helper, copy));
    QVERIFY(QFile::setPermissions(copy, QFile::permissions(helper)));
    // The copy finds the project's libraries (if any) where the original is.
    env.insert(QStringLiteral("LD_LIBRARY_PATH"), binDir);

    const QString record = home.path() + QStringLiteral("/started.txt");
    const QString program = dir + QStringLiteral("/Pathmere");
    {
        QFile stub(program);
        QVERIFY(stub.open(QIODevice::WriteOnly));
        stub.write("#!/bin/sh\nfor a in \"$0\" \"$@\"; do printf '%s\\n' \"$a\"; done > \"$RECORD\"\n");
    }
    QVERIFY(QFile::setPermissions(program, QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                             | QFileDevice::ExeOwner));

    QCOMPARE(runHelper(copy, {QStringLiteral("1")}), 0);
    const QString entry = AutostartEntry().filePath();
    QCOMPARE(execOfEntry(entry), (QStringList{program, QStringLiteral("-hide")}));

    if (gio.isEmpty())
        QSKIP("gio is not installed (package libglib2.0-bin); the launcher check is skipped");
    env.insert(QStringLiteral("RECORD"), record);
    QByteArray output;
    QCOMPARE(runHelper(gio, {QStringLiteral("launch"), entry}, &output), 0);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(record) && QFileInfo(record).size() > 0, 10000);
    QTest::qWait(100); // let the stub finish writing
    QFile started(record);
    QVERIFY(started.open(QIODevice::ReadOnly));
    const QStringList argv = QString::fromUtf8(started.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(argv, (QStringList{program, QStringLiteral("-hide")}));
}

QTEST_GUILESS_MAIN(TestHallbridge)
#include "tst_hallbridge.moc"
