// The crash-dialog program's command line: what a crashing program's
// launcher writes comes back the same, and what the program cannot use is
// refused whole, with a reason, within the limits.

#include "crashdialogarguments.h"

#include <QtTest>

namespace {

CrashDialogArguments sample()
{
    CrashDialogArguments arguments;
    arguments.crashedPid = 4242;
    arguments.windowTitle = QStringLiteral("Tolvik Pathmere — crash");
    arguments.zipFolders.insert(QStringLiteral("Log"), QStringLiteral("/home/ann/Documents/Tolvik/Log/Pathmere/"));
    arguments.zipFolders.insert(QStringLiteral("--window-title"), QStringLiteral("-title"));
    arguments.zipFolders.insert(QStringLiteral("a=b"), QString());
    return arguments;
}

QStringList withPid(const QStringList &rest)
{
    return QStringList({ QStringLiteral("--crashed-pid"), QStringLiteral("12") }) + rest;
}

} // namespace

class TestCrashDialogArguments : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip();
    void titleNeverSetStaysNull();
    void laterZipFolderReplaces();
    void refused_data();
    void refused();
    void limits();
};

void TestCrashDialogArguments::roundTrip()
{
    const CrashDialogArguments written = sample();
    CrashDialogArguments read;
    QString error;
    // Values that look like options stay values.
    QVERIFY2(CrashDialogArguments::parse(written.toArguments(), &read, &error), qPrintable(error));
    QCOMPARE(read.crashedPid, qint64(4242));
    QCOMPARE(read.windowTitle, written.windowTitle);
    QCOMPARE(read.zipFolders, written.zipFolders);
    QVERIFY(error.isEmpty());

    // An empty title is a title, unlike one never set.
    CrashDialogArguments emptyTitle = sample();
    emptyTitle.windowTitle = QStringLiteral("");
    QVERIFY(CrashDialogArguments::parse(emptyTitle.toArguments(), &read, &error));
    QVERIFY(!read.windowTitle.isNull());
    QVERIFY(read.windowTitle.isEmpty());
}

void TestCrashDialogArguments::titleNeverSetStaysNull()
{
    CrashDialogArguments written;
    written.crashedPid = 1;
    QCOMPARE(written.toArguments(), QStringList({ QStringLiteral("--crashed-pid"), QStringLiteral("1") }));
    CrashDialogArguments read;
    QString error;
    QVERIFY(CrashDialogArguments::parse(written.toArguments(), &read, &error));
    QVERIFY(read.windowTitle.isNull());
    QVERIFY(read.zipFolders.isEmpty());
}

void TestCrashDialogArguments::laterZipFolderReplaces()
{
    CrashDialogArguments read;
    QString error;
    QVERIFY(CrashDialogArguments::parse(withPid({ QStringLiteral("--zip-folder"), QStringLiteral("Log"), QStringLiteral("/a"),
                                                  QStringLiteral("--zip-folder"), QStringLiteral("Log"), QStringLiteral("/b") }),
                                        &read, &error));
    QCOMPARE(read.zipFolders.size(), 1);
    QCOMPARE(read.zipFolders.value(QStringLiteral("Log")), QStringLiteral("/b"));
}

void TestCrashDialogArguments::refused_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("reason");

    QTest::newRow("nothing") << QStringList() << "no --crashed-pid";
    QTest::newRow("no pid") << QStringList({ "--window-title", "t" }) << "no --crashed-pid";
    QTest::newRow("pid not a number") << QStringList({ "--crashed-pid", "12a" }) << "--crashed-pid takes one process id";
    QTest::newRow("pid zero") << QStringList({ "--crashed-pid", "0" }) << "--crashed-pid takes one process id";
    QTest::newRow("pid negative") << QStringList({ "--crashed-pid", "-5" }) << "--crashed-pid takes one process id";
    QTest::newRow("pid twice") << withPid({ "--crashed-pid", "13" }) << "--crashed-pid takes one process id";
    QTest::newRow("pid without value") << QStringList({ "--crashed-pid" }) << "--crashed-pid without its value";
    QTest::newRow("title twice") << withPid({ "--window-title", "a", "--window-title", "b" })
                                 << "--window-title given twice";
    QTest::newRow("title without value") << withPid({ "--window-title" }) << "--window-title without its value";
    QTest::newRow("zip without folder") << withPid({ "--zip-folder", "Log" }) << "--zip-folder without its value";
    QTest::newRow("zip empty name") << withPid({ "--zip-folder", "", "/a" }) << "--zip-folder with an empty name";
    // Qt's own options are not ours: Qt never sees the command line.
    QTest::newRow("Qt option") << withPid({ "-title", "t" }) << "unknown argument \"-title\"";
    QTest::newRow("stray value") << withPid({ "extra" }) << "unknown argument \"extra\"";
}

void TestCrashDialogArguments::refused()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, reason);

    CrashDialogArguments read = sample();
    QString error;
    QVERIFY(!CrashDialogArguments::parse(arguments, &read, &error));
    QCOMPARE(error, reason);
    // Nothing half-read reaches the caller.
    QCOMPARE(read.crashedPid, sample().crashedPid);
    QCOMPARE(read.windowTitle, sample().windowTitle);
    QCOMPARE(read.zipFolders, sample().zipFolders);
}

void TestCrashDialogArguments::limits()
{
    CrashDialogArguments read;
    QString error;

    CrashDialogArguments full;
    full.crashedPid = 99;
    full.windowTitle = QString(CrashDialogArguments::MaxTextLength, QLatin1Char('t'));
    for (int i = 0; i < CrashDialogArguments::MaxZipFolders; ++i)
        full.zipFolders.insert(QStringLiteral("f%1").arg(i), QString(CrashDialogArguments::MaxTextLength, QLatin1Char('p')));
    QVERIFY2(CrashDialogArguments::parse(full.toArguments(), &read, &error), qPrintable(error));
    QCOMPARE(read.zipFolders.size(), CrashDialogArguments::MaxZipFolders);
    QCOMPARE(full.toArguments().size(), CrashDialogArguments::MaxArguments);

    CrashDialogArguments longTitle = full;
    longTitle.windowTitle += QLatin1Char('t');
    QVERIFY(!CrashDialogArguments::parse(longTitle.toArguments(), &read, &error));
    QCOMPARE(error, QStringLiteral("an argument longer than %1 characters").arg(CrashDialogArguments::MaxTextLength));

    // One folder more: refused by the count of arguments, before any of them is read.
    CrashDialogArguments tooMany = full;
    tooMany.zipFolders.insert(QStringLiteral("one more"), QStringLiteral("/x"));
    QVERIFY(!CrashDialogArguments::parse(tooMany.toArguments(), &read, &error));
    QCOMPARE(error, QStringLiteral("more than %1 arguments").arg(CrashDialogArguments::MaxArguments));

}

QTEST_GUILESS_MAIN(TestCrashDialogArguments)

#include "tst_crashdialogarguments.moc"
