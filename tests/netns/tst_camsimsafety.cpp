// camsim's network-safety rules as pure decisions: which addresses it may
// put on an interface and in which network namespaces it may start.
#include "networksafety.h"

#include <QtTest>

#include <sys/stat.h>

Q_DECLARE_METATYPE(NetworkSafety::Namespaces)

class TestCamsimSafety : public QObject
{
    Q_OBJECT

private:
    static NetworkSafety::Namespaces ns(quint64 self, quint64 init, quint64 outermost, quint64 hint, bool nested)
    {
        NetworkSafety::Namespaces n;
        n.self = self;
        n.init = init;
        n.outermost = outermost;
        n.hint = hint;
        n.nestedOwner = nested;
        return n;
    }

private slots:
    void documentationAddresses_data()
    {
        QTest::addColumn<QString>("ip");
        QTest::addColumn<bool>("documentation");
        QTest::newRow("192.0.2.0") << "192.0.2.0" << true;
        QTest::newRow("192.0.2.255") << "192.0.2.255" << true;
        QTest::newRow("198.51.100.7") << "198.51.100.7" << true;
        QTest::newRow("203.0.113.254") << "203.0.113.254" << true;
        QTest::newRow("blanks around") << " 203.0.113.5 " << true;
        QTest::newRow("192.0.1.255 below") << "192.0.1.255" << false;
        QTest::newRow("192.0.3.0 above") << "192.0.3.0" << false;
        QTest::newRow("198.51.101.7") << "198.51.101.7" << false;
        QTest::newRow("198.51.99.7") << "198.51.99.7" << false;
        QTest::newRow("203.0.112.1") << "203.0.112.1" << false;
        QTest::newRow("203.0.114.1") << "203.0.114.1" << false;
        QTest::newRow("private") << "10.0.0.5" << false;
        QTest::newRow("home router") << "192.168.1.1" << false;
        QTest::newRow("loopback") << "127.0.0.1" << false;
        QTest::newRow("any") << "0.0.0.0" << false;
        QTest::newRow("broadcast") << "255.255.255.255" << false;
        QTest::newRow("out of range octet") << "192.0.2.300" << false;
        QTest::newRow("IPv6 documentation") << "2001:db8::1" << false;
        QTest::newRow("IPv4-mapped") << "::ffff:192.0.2.5" << false;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("text") << "camera" << false;
    }

    void documentationAddresses()
    {
        QFETCH(QString, ip);
        QTEST(NetworkSafety::isDocumentationAddress(ip), "documentation");
    }

    void namespaceVerdict_data()
    {
        QTest::addColumn<NetworkSafety::Namespaces>("facts");
        QTest::addColumn<bool>("refused");
        const quint64 host = 4026531992u;
        const quint64 lan = 4026532400u;
        const quint64 unknown = 0;
        QTest::newRow("own namespace unknown") << ns(unknown, host, unknown, unknown, true) << true;
        QTest::newRow("PID 1's namespace") << ns(host, host, unknown, unknown, false) << true;
        QTest::newRow("PID 1's, even in a nested user namespace") << ns(host, host, lan, unknown, true) << true;
        QTest::newRow("other than PID 1's") << ns(lan, host, unknown, unknown, false) << false;
        // A shell started inside the test LAN namespace is its own outermost
        // readable ancestor only when PID 1 is hidden; PID 1 decides first.
        QTest::newRow("PID 1 decides over ancestors") << ns(lan, host, lan, unknown, false) << false;
        QTest::newRow("static initial inode")
            << ns(NetworkSafety::StaticInitNetInode, lan, unknown, unknown, true) << true;
        QTest::newRow("named by hint") << ns(lan, host, unknown, lan, false) << true;
        QTest::newRow("hint names another") << ns(lan, host, unknown, host, false) << false;
        QTest::newRow("PID 1 hidden, same as outermost ancestor") << ns(host, unknown, host, unknown, false) << true;
        QTest::newRow("PID 1 hidden, ancestor elsewhere (ip netns exec)") << ns(lan, unknown, host, unknown, false)
                                                                         << false;
        QTest::newRow("PID 1 hidden, same as ancestor though nested") << ns(lan, unknown, lan, unknown, true) << true;
        QTest::newRow("nothing readable, unshare -Urn") << ns(lan, unknown, unknown, unknown, true) << false;
        QTest::newRow("nothing readable, not nested") << ns(lan, unknown, unknown, unknown, false) << true;
        QTest::newRow("nothing readable, nested, hint matches") << ns(lan, unknown, unknown, lan, true) << true;
    }

    void namespaceVerdict()
    {
        QFETCH(NetworkSafety::Namespaces, facts);
        QFETCH(bool, refused);
        const QString why = NetworkSafety::refusal(facts);
        QCOMPARE(!why.isEmpty(), refused);
    }

    void probeReadsThisProcess()
    {
        struct stat st = {};
        QCOMPARE(::stat("/proc/self/ns/net", &st), 0);
        qunsetenv("PATHMERE_HOST_NETNS");
        const NetworkSafety::Namespaces facts = NetworkSafety::probe();
        QCOMPARE(facts.self, quint64(st.st_ino));
        QCOMPARE(facts.hint, quint64(0));
        // ctest, at least, is an ancestor we may read.
        QVERIFY(facts.outermost != 0);
    }

    void hintForms_data()
    {
        QTest::addColumn<QByteArray>("hint");
        QTest::addColumn<bool>("isSelf");
        QTest::addColumn<quint64>("value");
        QTest::newRow("path") << QByteArray("/proc/self/ns/net") << true << quint64(0);
        QTest::newRow("readlink form") << QByteArray("net:[4026532777]") << false << quint64(4026532777u);
        QTest::newRow("number") << QByteArray(" 4026532778 ") << false << quint64(4026532778u);
        QTest::newRow("missing path") << QByteArray("/nonexistent/ns/net") << false << quint64(0);
        QTest::newRow("garbage") << QByteArray("host") << false << quint64(0);
        QTest::newRow("other kind") << QByteArray("user:[4026531837]") << false << quint64(0);
    }

    void hintForms()
    {
        QFETCH(QByteArray, hint);
        QFETCH(bool, isSelf);
        QFETCH(quint64, value);
        qputenv("PATHMERE_HOST_NETNS", hint);
        const NetworkSafety::Namespaces facts = NetworkSafety::probe();
        qunsetenv("PATHMERE_HOST_NETNS");
        QCOMPARE(facts.hint, isSelf ? facts.self : value);
        if (isSelf)
            QVERIFY(!NetworkSafety::refusal(facts).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestCamsimSafety)
#include "tst_camsimsafety.moc"
