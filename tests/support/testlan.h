#ifndef TESTLAN_H
#define TESTLAN_H

#include <QString>
#include <QStringList>

// The test LAN that netns.sh builds around a test binary: which namespaces
// exist and which addresses they carry. The suites never send a byte unless
// unavailableReason() is empty, which also proves they run inside the
// program's namespace and not in the host's.
class TestLan
{
public:
    // Empty when the LAN is there; otherwise why it is not (the suite skips).
    static QString unavailableReason();

    static QString programNamespace();
    static QStringList cameraNamespaces();
    static QString cameraInterface();          // inside every camera namespace
    // The MAC of camera side's interface ("" when unknown): every camera of
    // the side answers from it, so it is the MAC our neighbour table shows.
    static QString cameraMac(int side);
    static QStringList programAddresses();     // one per camera namespace, same order
    static QStringList cameraBaseAddresses();  // the camera namespaces' own addresses
    static QString programInterface(int side); // lan0, lan1
    // The routed site of netns.sh --routed: its router's namespace, the
    // site's camera side (an index into cameraNamespaces()), or empty and -1
    // without one. The site's cameras stand in 198.51.100.0/24 and
    // 203.0.113.128/25.
    static QString routerNamespace();
    static int siteSide();
    static QString camsimPath();
    static QString harnessScript();            // netns.sh
    static QString floodScript();              // hostileflood.py beside it

    // For programs that build their own LAN (the benchmarks): call first in
    // main(). Outside a LAN it runs the program again inside a new
    // one-adapter LAN through netns.sh and does not return unless that
    // fails (then 1, with a message naming the program). Inside, or where
    // the harness already found it cannot build one, it returns 0.
    static int enterOwnLan(int argc, char *argv[], const char *program, bool routed = false);

    // Runs ip(8) with the given arguments in the current namespace.
    static bool runIp(const QStringList &arguments, QString *output = nullptr);
    // Whether adapter (of this namespace) carries address, as `ip addr` shows it.
    static bool hasAddress(const QString &adapter, const QString &address);
    // Sets net.ipv4.conf.<adapter>.rp_filter in this namespace ("all" and
    // "default" too).
    static bool setRpFilter(const QString &adapter, int value);
    // Loads an nftables ruleset given as text (nft -f -).
    static bool loadNftRules(const QByteArray &rules);
};

// Skips the calling test function (or, from initTestCase, the whole suite)
// when the LAN is missing. Needs QtTest.
#define TESTLAN_REQUIRE()                                          \
    do {                                                           \
        const QString testLanWhy = TestLan::unavailableReason();   \
        if (!testLanWhy.isEmpty())                                 \
            QSKIP(qPrintable(testLanWhy));                         \
    } while (false)

#endif // TESTLAN_H
