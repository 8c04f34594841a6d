// Which origins may open the bridge, and how the user's list is read.
#include "weboriginpolicy.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class TestWebOriginPolicy : public QObject
{
    Q_OBJECT

private slots:
    void localOrigins_data()
    {
        QTest::addColumn<QString>("origin");
        QTest::addColumn<bool>("local");
        QTest::newRow("no origin (a program)") << "" << true;
        QTest::newRow("null (file page, or any site's sandboxed frame)") << "null" << false;
        QTest::newRow("file") << "file://" << true;
        QTest::newRow("localhost") << "http://localhost" << true;
        QTest::newRow("localhost port") << "http://localhost:8080" << true;
        QTest::newRow("LOCALHOST") << "HTTP://LocalHost:3000" << true;
        QTest::newRow("https localhost") << "https://localhost" << true;
        QTest::newRow("127.0.0.1") << "http://127.0.0.1:15249" << true;
        QTest::newRow("[::1]") << "http://[::1]:8000" << true;
        QTest::newRow("foreign") << "https://example.com" << false;
        QTest::newRow("localhost as subdomain") << "http://localhost.example.com" << false;
        QTest::newRow("127.0.0.1 as subdomain") << "http://127.0.0.1.example.com" << false;
        QTest::newRow("user info hiding the host") << "http://localhost@example.com" << false;
        QTest::newRow("other loopback address") << "http://127.0.0.2" << false;
        QTest::newRow("LAN address") << "http://192.0.2.1" << false;
        QTest::newRow("ftp localhost") << "ftp://localhost" << false;
        QTest::newRow("extension page") << "chrome-extension://abcdef" << false;
        QTest::newRow("path after host") << "http://localhost/evil" << false;
        QTest::newRow("garbage") << "not an origin" << false;
        QTest::newRow("NULL upper case") << "NULL" << false;
        // Further tricks a review tried; each must stay refused.
        QTest::newRow("localhost trailing dot") << "http://localhost." << false;
        QTest::newRow("127.0.0.1 trailing dot") << "http://127.0.0.1.:15249" << false;
        QTest::newRow("localhost.evil.example") << "http://localhost.evil.example" << false;
        QTest::newRow("127.0.0.1.nip.io") << "http://127.0.0.1.nip.io" << false;
        QTest::newRow("user info before localhost") << "http://evil.example@localhost" << false;
        QTest::newRow("fragment") << "http://localhost#@evil.example" << false;
        QTest::newRow("IPv4-mapped loopback") << "http://[::ffff:127.0.0.1]" << false;
        QTest::newRow("any address") << "http://0.0.0.0:15249" << false;
        QTest::newRow("ws scheme") << "ws://localhost" << false;
        QTest::newRow("extension on localhost") << "chrome-extension://localhost" << false;
    }

    void localOrigins()
    {
        QFETCH(QString, origin);
        QFETCH(bool, local);
        QCOMPARE(WebOriginPolicy::isLocalOrigin(origin), local);
        QCOMPARE(WebOriginPolicy::isAllowed(origin, {}), local);
    }

    void listedOrigins_data()
    {
        QTest::addColumn<QString>("origin");
        QTest::addColumn<QStringList>("listed");
        QTest::addColumn<bool>("allowed");
        const QStringList list = {QStringLiteral("https://intranet.example"), QStringLiteral("http://cams.example:8080/")};
        QTest::newRow("listed") << "https://intranet.example" << list << true;
        QTest::newRow("listed, other case") << "https://Intranet.Example" << list << true;
        QTest::newRow("trailing slash in list") << "http://cams.example:8080" << list << true;
        QTest::newRow("other port") << "http://cams.example:8081" << list << false;
        QTest::newRow("other scheme") << "http://intranet.example" << list << false;
        QTest::newRow("not listed") << "https://example.com" << list << false;
        QTest::newRow("empty list") << "https://intranet.example" << QStringList() << false;
        QTest::newRow("garbage entry") << "https://example.com" << QStringList{QStringLiteral("*")} << false;
        QTest::newRow("null listed") << "null" << (list + QStringList{QStringLiteral(" null")}) << true;
        QTest::newRow("null not listed") << "null" << list << false;
    }

    void listedOrigins()
    {
        QFETCH(QString, origin);
        QFETCH(QStringList, listed);
        QFETCH(bool, allowed);
        QCOMPARE(WebOriginPolicy::isAllowed(origin, listed), allowed);
    }

    void readsTheSettingsFile_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("comma list") << QByteArray("[Web]\nAllowedOrigins=https://a.example, http://b.example:81\n")
                                    << QStringList{QStringLiteral("https://a.example"), QStringLiteral("http://b.example:81")};
        QTest::newRow("blanks") << QByteArray("[Web]\nAllowedOrigins=\"https://a.example http://b.example\"\n")
                                << QStringList{QStringLiteral("https://a.example"), QStringLiteral("http://b.example")};
        QTest::newRow("one") << QByteArray("[Common]\nAppOpenDate=2024-01-01\n[Web]\nAllowedOrigins=https://a.example\n")
                             << QStringList{QStringLiteral("https://a.example")};
        QTest::newRow("other section only") << QByteArray("[Common]\nAppOpenDate=2024-01-01\n") << QStringList();
        QTest::newRow("empty value") << QByteArray("[Web]\nAllowedOrigins=\n") << QStringList();
        QTest::newRow("too large to be a list") << QByteArray("[Web]\nAllowedOrigins=https://a.example\n")
                + QByteArray(int(WebOriginPolicy::MaxSettingsFileSize), ';') << QStringList();
    }

    void readsTheSettingsFile()
    {
        QFETCH(QByteArray, content);
        QFETCH(QStringList, expected);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("setting.ini"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
        file.close();
        QCOMPARE(WebOriginPolicy::configuredOrigins(path), expected);
    }

    void missingFileAllowsNothingMore()
    {
        QTemporaryDir dir;
        QCOMPARE(WebOriginPolicy::configuredOrigins(dir.filePath(QStringLiteral("none.ini"))), QStringList());
    }

    void settingsFileIsInTheUpdateDataFolder()
    {
        QTemporaryDir dir;
        qputenv("XDG_DATA_HOME", dir.path().toLocal8Bit());
        QCOMPARE(WebOriginPolicy::settingsFile(), dir.path() + QStringLiteral("/Pathmere/setting.ini"));
    }
};

QTEST_GUILESS_MAIN(TestWebOriginPolicy)
#include "tst_weboriginpolicy.moc"
