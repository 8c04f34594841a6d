#include "autostartentry.h"
#include "desktopentry.h"
#include "testhome.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

class TestAutostartEntry : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void pathFollowsXdgConfigHome_data();
    void pathFollowsXdgConfigHome();
    void checkMarkFollowsEntry_data();
    void checkMarkFollowsEntry();
    void writeAndRemove();
    void writtenEntryPassesValidator_data();
    void writtenEntryPassesValidator();
    void writeFailsWhereFolderCannotExist();

    void stringEscapes();
    void execQuoting_data();
    void execQuoting();
    void execParsing_data();
    void execParsing();
    void parseSkipsOtherGroupsAndLocales();

private:
    void writeEntry(const QByteArray &text) const;

    TestHome home;
};

void TestAutostartEntry::init()
{
    QVERIFY(home.isValid());
    // Nothing of the real home is touched.
    home.enter();
    qunsetenv("XDG_CONFIG_HOME");
    QDir(home.configHome()).removeRecursively();
}

void TestAutostartEntry::writeEntry(const QByteArray &text) const
{
    const AutostartEntry entry;
    QVERIFY(QDir().mkpath(AutostartEntry::autostartDir()));
    QFile file(entry.filePath());
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
}

void TestAutostartEntry::pathFollowsXdgConfigHome_data()
{
    QTest::addColumn<QByteArray>("xdgConfigHome");
    QTest::addColumn<bool>("useXdg");

    QTest::newRow("unset") << QByteArray() << false;
    QTest::newRow("empty") << QByteArray("") << false;
    QTest::newRow("relative") << QByteArray("cfg") << false;
    QTest::newRow("absolute") << QByteArray("/xdg-cfg") << true;
}

void TestAutostartEntry::pathFollowsXdgConfigHome()
{
    QFETCH(QByteArray, xdgConfigHome);
    QFETCH(bool, useXdg);

    if (!xdgConfigHome.isNull()) {
        if (xdgConfigHome.startsWith('/'))
            xdgConfigHome.prepend(QFile::encodeName(home.path()));
        qputenv("XDG_CONFIG_HOME", xdgConfigHome);
    }
    const QString base = useXdg ? QFile::decodeName(xdgConfigHome)
                                : home.path() + QStringLiteral("/.config");
    QCOMPARE(AutostartEntry::autostartDir(), base + QStringLiteral("/autostart"));
    QCOMPARE(AutostartEntry().filePath(), base + QStringLiteral("/autostart/Pathmere.desktop"));
    QCOMPARE(AutostartEntry(QStringLiteral("Other")).filePath(),
             base + QStringLiteral("/autostart/Other.desktop"));

    // The entry really lands there and is read back from there.
    QVERIFY(AutostartEntry().write(QStringLiteral("/opt/p/Pathmere")));
    QVERIFY(QFile::exists(base + QStringLiteral("/autostart/Pathmere.desktop")));
    QVERIFY(AutostartEntry().isEnabled());
    qunsetenv("XDG_CONFIG_HOME");
}

void TestAutostartEntry::checkMarkFollowsEntry_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("checked");

    const QByteArray head = "[Desktop Entry]\nType=Application\nName=Pathmere\n";
    QTest::newRow("valid") << head + "Exec=/opt/p/Pathmere -hide\n" << true;
    QTest::newRow("spaces around =") << head + "Exec = /opt/p/Pathmere\n" << true;
    QTest::newRow("Hidden=false") << head + "Exec=/opt/p/Pathmere\nHidden=false\n" << true;
    QTest::newRow("CRLF lines") << QByteArray("[Desktop Entry]\r\nExec=/p/Pathmere\r\n") << true;
    QTest::newRow("empty file") << QByteArray() << false;
    QTest::newRow("no Exec") << head << false;
    QTest::newRow("empty Exec") << head + "Exec=\n" << false;
    QTest::newRow("blank Exec") << head + "Exec=   \n" << false;
    QTest::newRow("escaped blank Exec") << head + "Exec=\\s\\t\n" << false;
    QTest::newRow("Hidden=true") << head + "Exec=/opt/p/Pathmere\nHidden=true\n" << false;
    QTest::newRow("Hidden first") << head + "Hidden=true\nExec=/opt/p/Pathmere\n" << false;
    QTest::newRow("Exec only localised") << head + "Exec[de]=/opt/p/Pathmere\n" << false;
    QTest::newRow("Exec in other group")
        << head + "[Desktop Action x]\nExec=/opt/p/Pathmere\n" << false;
    QTest::newRow("Exec before any group") << QByteArray("Exec=/opt/p/Pathmere\n[Desktop Entry]\n")
                                           << false;
    QTest::newRow("binary junk") << QByteArray("\x00\xff\xfe[\n=\n", 7) << false;
}

void TestAutostartEntry::checkMarkFollowsEntry()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, checked);

    QVERIFY(!AutostartEntry().isEnabled()); // absent
    writeEntry(text);
    QCOMPARE(AutostartEntry().isEnabled(), checked);
}

void TestAutostartEntry::writeAndRemove()
{
    const AutostartEntry entry;
    QVERIFY(!QFile::exists(AutostartEntry::autostartDir()));

    QString error;
    QVERIFY2(entry.write(QStringLiteral("/opt/p/Pathmere"), &error), qPrintable(error));
    QVERIFY(entry.isEnabled());

    // A switched-off entry left by a desktop is replaced, not kept hidden.
    writeEntry("[Desktop Entry]\nExec=/old/Pathmere\nHidden=true\n");
    QVERIFY(!entry.isEnabled());
    QVERIFY(entry.write(QStringLiteral("/new/Pathmere")));
    QVERIFY(entry.isEnabled());
    QFile file(entry.filePath());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const DesktopEntry parsed = DesktopEntry::parse(file.readAll());
    QVERIFY(!parsed.contains(QStringLiteral("Hidden")));
    QCOMPARE(DesktopEntry::splitExec(parsed.rawValue(QStringLiteral("Exec"))),
             (QStringList{QStringLiteral("/new/Pathmere"), QStringLiteral("-hide")}));
    file.close();

    QVERIFY(entry.remove(&error));
    QVERIFY(!QFile::exists(entry.filePath()));
    QVERIFY(!entry.isEnabled());
    QVERIFY(entry.remove()); // nothing left to remove is fine

    // A dangling link is an entry too, and goes.
    QVERIFY(QFile::link(home.path() + QStringLiteral("/gone.desktop"), entry.filePath()));
    QVERIFY(!entry.isEnabled());
    QVERIFY(entry.remove());
    QVERIFY(!QFileInfo(entry.filePath()).isSymLink());
}

void TestAutostartEntry::writtenEntryPassesValidator_data()
{
    QTest::addColumn<QString>("program");
    QTest::newRow("plain") << QStringLiteral("/opt/pathmere/Pathmere");
    QTest::newRow("spaces") << QStringLiteral("/home/a b/My Apps/Pathmere");
    QTest::newRow("shell characters")
        << QStringLiteral("/tmp/x $HOME `id` \"q\" 'a' (b) #c & d; e|f<g>~h*?/Pathmere");
    QTest::newRow("backslash") << QStringLiteral("/tmp/back\\slash/Pathmere");
    QTest::newRow("percent") << QStringLiteral("/tmp/100%/Pathmere");
    QTest::newRow("unicode") << QStringLiteral("/home/jos\u00e9/\u30c6\u30b9\u30c8/Pathmere");
    QTest::newRow("leading space dir") << QStringLiteral("/tmp/ x/Pathmere");
}

void TestAutostartEntry::writtenEntryPassesValidator()
{
    QFETCH(QString, program);
    const QString validator = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
    if (validator.isEmpty())
        QSKIP("desktop-file-validate is not installed (package desktop-file-utils)");

    const AutostartEntry entry;
    QVERIFY(entry.write(program));
    QVERIFY(entry.isEnabled());

    QProcess check;
    check.setProcessChannelMode(QProcess::MergedChannels);
    check.start(validator, {entry.filePath()});
    QVERIFY(check.waitForFinished(30000));
    const QByteArray output = check.readAll();
    QVERIFY2(check.exitStatus() == QProcess::NormalExit && check.exitCode() == 0, output.constData());
    QVERIFY2(!output.contains("error"), output.constData());
    QVERIFY2(!output.contains("warning"), output.constData());

    QFile file(entry.filePath());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const DesktopEntry parsed = DesktopEntry::parse(file.readAll());
    QCOMPARE(DesktopEntry::splitExec(parsed.rawValue(QStringLiteral("Exec"))),
             (QStringList{program, QStringLiteral("-hide")}));
    QCOMPARE(parsed.rawValue(QStringLiteral("Type")), QStringLiteral("Application"));
    QCOMPARE(parsed.value(QStringLiteral("Name")), QStringLiteral("Pathmere"));
}

void TestAutostartEntry::writeFailsWhereFolderCannotExist()
{
    // A regular file where the configuration folder should be.
    const QString blocker = home.path() + QStringLiteral("/blocker");
    QFile file(blocker);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(blocker));

    QString error;
    QVERIFY(!AutostartEntry().write(QStringLiteral("/opt/p/Pathmere"), &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(!AutostartEntry().isEnabled());
    qunsetenv("XDG_CONFIG_HOME");
}

void TestAutostartEntry::stringEscapes()
{
    const QString tricky = QStringLiteral("  two leading\tTab\nline\rcr\\back\\s end ");
    const QString raw = DesktopEntry::escapeString(tricky);
    QVERIFY(!raw.contains(QLatin1Char('\n')));
    QVERIFY(!raw.startsWith(QLatin1Char(' ')));
    QCOMPARE(DesktopEntry::unescapeString(raw), tricky);

    QCOMPARE(DesktopEntry::unescapeString(QStringLiteral("a\\sb\\nc\\td\\re\\\\f")),
             QStringLiteral("a b\nc\td\re\\f"));
    // List separators are not string escapes and stay as they are.
    QCOMPARE(DesktopEntry::unescapeString(QStringLiteral("a\\;b")), QStringLiteral("a\\;b"));
    QCOMPARE(DesktopEntry::unescapeString(QStringLiteral("end\\")), QStringLiteral("end\\"));

    // A value written through a file keeps its leading space.
    DesktopEntry entry;
    entry.setValue(QStringLiteral("Comment"), QStringLiteral(" x"));
    QCOMPARE(DesktopEntry::parse(entry.toText()).value(QStringLiteral("Comment")),
             QStringLiteral(" x"));
}

void TestAutostartEntry::execQuoting_data()
{
    QTest::addColumn<QStringList>("argv");
    QTest::addColumn<QString>("raw");

    // The forms as a desktop entry file must hold them.
    QTest::newRow("plain") << QStringList{QStringLiteral("/opt/Pathmere"), QStringLiteral("-hide")}
                           << QStringLiteral("/opt/Pathmere -hide");
    QTest::newRow("space") << QStringList{QStringLiteral("/a b/Pathmere"), QStringLiteral("-hide")}
                           << QStringLiteral("\"/a b/Pathmere\" -hide");
    QTest::newRow("dollar backtick quote")
        << QStringList{QStringLiteral("/a$b`c\"d/P")}
        << QStringLiteral("\"/a\\\\$b\\\\`c\\\\\"d/P\"");
    QTest::newRow("backslash is four") << QStringList{QStringLiteral("/a\\b/P")}
                                       << QStringLiteral("\"/a\\\\\\\\b/P\"");
    QTest::newRow("percent doubled") << QStringList{QStringLiteral("/100%/P")}
                                     << QStringLiteral("/100%%/P");
    QTest::newRow("single quote quoted") << QStringList{QStringLiteral("/it's/P")}
                                         << QStringLiteral("\"/it's/P\"");
    QTest::newRow("empty argument") << QStringList{QStringLiteral("/P"), QString()}
                                    << QStringLiteral("/P \"\"");
    // White space a reader trims from the line, at either end of the value.
    QTest::newRow("form feed and vertical tab") << QStringList{QStringLiteral("\f/P"), QStringLiteral("-hide\v")}
                                                << QStringLiteral("\"\f/P\" \"-hide\v\"");
    QTest::newRow("no-break space and line separator")
        << QStringList{QString(QChar(0x00a0)) + QStringLiteral("/P"), QStringLiteral("x") + QChar(0x2028)}
        << QStringLiteral("\"") + QChar(0x00a0) + QStringLiteral("/P\" \"x") + QChar(0x2028) + QStringLiteral("\"");
}

void TestAutostartEntry::execQuoting()
{
    QFETCH(QStringList, argv);
    QFETCH(QString, raw);
    QCOMPARE(DesktopEntry::execValue(argv), raw);
    QCOMPARE(DesktopEntry::splitExec(raw), argv);
    // And the same arguments after a trip through the file's text.
    DesktopEntry entry;
    entry.setValue(QStringLiteral("Exec"), raw);
    const DesktopEntry read = DesktopEntry::parse(entry.toText());
    QCOMPARE(DesktopEntry::splitExec(read.value(QStringLiteral("Exec"))), argv);
}

void TestAutostartEntry::execParsing_data()
{
    QTest::addColumn<QString>("raw");
    QTest::addColumn<QStringList>("argv");

    QTest::newRow("field codes dropped") << QStringLiteral("/P %U --x %f")
                                         << QStringList{QStringLiteral("/P"), QStringLiteral("--x")};
    QTest::newRow("runs of blanks") << QStringLiteral("  /P   -hide  ")
                                    << QStringList{QStringLiteral("/P"), QStringLiteral("-hide")};
    QTest::newRow("quoted inside word") << QStringLiteral("/P --name=\"a b\"")
                                        << QStringList{QStringLiteral("/P"), QStringLiteral("--name=a b")};
    QTest::newRow("unterminated quote") << QStringLiteral("\"/P -hide") << QStringList();
    QTest::newRow("lone percent") << QStringLiteral("/P %") << QStringList();
    QTest::newRow("percent before a non-letter") << QStringLiteral("/P %1") << QStringList();
    QTest::newRow("percent before a surrogate pair")
        << QString(QStringLiteral("/P a%") + QString::fromUtf8("\xf0\x9f\x98\x80") + QStringLiteral("b"))
        << QStringList();
    QTest::newRow("empty") << QString() << QStringList();
}

void TestAutostartEntry::execParsing()
{
    QFETCH(QString, raw);
    QFETCH(QStringList, argv);
    QCOMPARE(DesktopEntry::splitExec(raw), argv);
}

void TestAutostartEntry::parseSkipsOtherGroupsAndLocales()
{
    const DesktopEntry entry = DesktopEntry::parse(
        "# comment\n"
        "[Desktop Entry]\n"
        "Name=Pathmere\n"
        "Name[fr]=Chemin\n"
        "  Exec  =  /P -hide  \n"
        "Hidden=True\n"
        "Name=Again\n"
        "[Other]\n"
        "Exec=/wrong\n");
    QCOMPARE(entry.value(QStringLiteral("Name")), QStringLiteral("Again"));
    QCOMPARE(entry.rawValue(QStringLiteral("Exec")), QStringLiteral("/P -hide"));
    QVERIFY(!entry.contains(QStringLiteral("Name[fr]")));
    // Booleans are case-sensitive: "True" is not true.
    QVERIFY(!entry.boolValue(QStringLiteral("Hidden")));
    QVERIFY(entry.contains(QStringLiteral("Hidden")));

    const QByteArray text = entry.toText();
    QVERIFY(text.startsWith("[Desktop Entry]\n"));
    QCOMPARE(DesktopEntry::parse(text).rawValue(QStringLiteral("Exec")), QStringLiteral("/P -hide"));
}

QTEST_GUILESS_MAIN(TestAutostartEntry)
#include "tst_autostartentry.moc"
