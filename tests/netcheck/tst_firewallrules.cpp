// The firewall readers: nftables' JSON listing and iptables-save walked for
// a camera's answer coming in, firewalld's and ufw's own words, and what the
// check makes of them together. Rulesets are written as the tools print them.
#include "firewallcheck.h"
#include "firewalldstate.h"
#include "iptablesruleset.h"
#include "nftruleset.h"
#include "ufwstate.h"

#include <QHostAddress>
#include <QtTest>

namespace {

using Outcome = ChainWalk::Outcome;

quint32 ip(const char *text)
{
    return QHostAddress(QLatin1String(text)).toIPv4Address();
}

InboundDatagram answer(quint16 port = 8000, const QString &iface = QStringLiteral("lan0"), bool broadcast = true)
{
    InboundDatagram d;
    d.port = port;
    d.interfaceName = iface;
    d.broadcast = broadcast;
    d.destination = ip("192.0.2.1");
    return d;
}

// Pieces of `nft -j list ruleset`, in its own spelling.
QByteArray chain(const char *name, const char *hook = nullptr, const char *policy = "accept", int prio = 0,
                 const char *family = "inet", const char *table = "filter")
{
    QByteArray text = QByteArray("{\"chain\": {\"family\": \"") + family + "\", \"table\": \"" + table + "\", \"name\": \"" + name + "\"";
    if (hook)
        text += QByteArray(", \"type\": \"filter\", \"hook\": \"") + hook + "\", \"prio\": " + QByteArray::number(prio)
            + ", \"policy\": \"" + policy + "\"";
    return text + "}}";
}

QByteArray rule(const char *chainName, const QByteArray &expr, const char *family = "inet", const char *table = "filter")
{
    return QByteArray("{\"rule\": {\"family\": \"") + family + "\", \"table\": \"" + table + "\", \"chain\": \"" + chainName
        + "\", \"expr\": [" + expr + "]}}";
}

QByteArray udpDport(const QByteArray &right, const char *op = "==")
{
    return QByteArray("{\"match\": {\"op\": \"") + op
        + "\", \"left\": {\"payload\": {\"protocol\": \"udp\", \"field\": \"dport\"}}, \"right\": " + right + "}}";
}

QByteArray listing(const QList<QByteArray> &items)
{
    QByteArray text = "{\"nftables\": [{\"metainfo\": {\"version\": \"1.0.6\", \"json_schema_version\": 1}},"
                      " {\"table\": {\"family\": \"inet\", \"name\": \"filter\", \"handle\": 1}}";
    for (const QByteArray &item : items)
        text += ", " + item;
    return text + "]}";
}

const QByteArray Accept = "{\"accept\": null}";
const QByteArray Drop = "{\"drop\": null}";
const QByteArray CtEstablished = "{\"match\": {\"op\": \"in\", \"left\": {\"ct\": {\"key\": \"state\"}}, \"right\": [\"established\", \"related\"]}}";
const QByteArray SaddrDocNet = "{\"match\": {\"op\": \"==\", \"left\": {\"payload\": {\"protocol\": \"ip\", \"field\": \"saddr\"}}, "
                               "\"right\": {\"prefix\": {\"addr\": \"192.0.2.0\", \"len\": 24}}}}";

Outcome nftOutcome(const QByteArray &json, const InboundDatagram &datagram, QStringList *reasoning = nullptr)
{
    NftRuleset ruleset;
    QString error;
    if (!ruleset.parse(json, &error)) {
        qWarning("%s", qPrintable(error));
        return Outcome::Unsure;
    }
    const ChainWalk::Verdict verdict = ruleset.evaluate(datagram);
    if (reasoning)
        *reasoning = verdict.reasoning;
    return verdict.outcome;
}

Outcome iptablesOutcome(const QByteArray &text, const InboundDatagram &datagram, QStringList *reasoning = nullptr)
{
    IptablesRuleset ruleset;
    QString error;
    if (!ruleset.parse(text, &error)) {
        qWarning("%s", qPrintable(error));
        return Outcome::Unsure;
    }
    const ChainWalk::Verdict verdict = ruleset.evaluate(datagram);
    if (reasoning)
        *reasoning = verdict.reasoning;
    return verdict.outcome;
}

} // namespace

Q_DECLARE_METATYPE(ChainWalk::Outcome)

class TestFirewallRules : public QObject
{
    Q_OBJECT

private slots:
    void nftVerdicts_data();
    void nftVerdicts();
    void nftConntrackNote();
    void nftUnknownSourceIsUnsure();
    void nftBroadcastOnlyRule();
    void nftChainsInKernelOrder();
    void nftRefusesWhatIsNoListing();
    void iptablesVerdicts_data();
    void iptablesVerdicts();
    void iptablesRefusesJunk();
    void firewalldZones();
    void ufwRules();
    void checkNamesCauseAndFix();
};

void TestFirewallRules::nftVerdicts_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<int>("port");
    QTest::addColumn<ChainWalk::Outcome>("expected");

    const QByteArray dropPolicy = chain("input", "input", "drop");
    const QByteArray acceptPolicy = chain("input", "input", "accept");
    QTest::newRow("empty ruleset") << listing({}) << 8000 << Outcome::Accepted;
    QTest::newRow("policy drop, no rule") << listing({dropPolicy}) << 8000 << Outcome::Dropped;
    QTest::newRow("policy drop, port accepted") << listing({dropPolicy, rule("input", udpDport("8000") + "," + Accept)})
                                                << 8000 << Outcome::Accepted;
    QTest::newRow("policy drop, other port accepted") << listing({dropPolicy, rule("input", udpDport("8000") + "," + Accept)})
                                                      << 1900 << Outcome::Dropped;
    QTest::newRow("policy accept, port dropped") << listing({acceptPolicy, rule("input", udpDport("8000") + ",{\"counter\": {\"packets\": 0, \"bytes\": 0}}," + Drop)})
                                                 << 8000 << Outcome::Dropped;
    QTest::newRow("reject counts as drop") << listing({acceptPolicy, rule("input", udpDport("8000") + ",{\"reject\": {\"type\": \"icmp\", \"expr\": \"port-unreachable\"}}")})
                                           << 8000 << Outcome::Dropped;
    QTest::newRow("tcp rule leaves udp alone") << listing({acceptPolicy, rule("input", "{\"match\": {\"op\": \"==\", \"left\": {\"payload\": {\"protocol\": \"tcp\", \"field\": \"dport\"}}, \"right\": 8000}}," + Drop)})
                                               << 8000 << Outcome::Accepted;
    QTest::newRow("not-equal") << listing({acceptPolicy, rule("input", udpDport("8000", "!=") + "," + Drop)})
                               << 8000 << Outcome::Accepted;
    QTest::newRow("not-equal other") << listing({acceptPolicy, rule("input", udpDport("8000", "!=") + "," + Drop)})
                                     << 1900 << Outcome::Dropped;
    QTest::newRow("anonymous set with range") << listing({dropPolicy, rule("input", udpDport("{\"set\": [1900, {\"range\": [8000, 8010]}]}") + "," + Accept)})
                                              << 8005 << Outcome::Accepted;
    QTest::newRow("named set") << listing({"{\"set\": {\"family\": \"inet\", \"name\": \"cams\", \"table\": \"filter\", \"type\": \"inet_service\", \"elem\": [1900, 8000]}}",
                                           dropPolicy, rule("input", udpDport("\"@cams\"") + "," + Accept)})
                               << 8000 << Outcome::Accepted;
    QTest::newRow("jump, then return, then policy") << listing({dropPolicy, chain("sub"),
                                                                rule("input", "{\"jump\": {\"target\": \"sub\"}}"),
                                                                rule("sub", udpDport("53") + ",{\"return\": null}"),
                                                                rule("sub", udpDport("8000") + "," + Accept)})
                                                    << 8000 << Outcome::Accepted;
    QTest::newRow("goto does not come back") << listing({acceptPolicy, chain("sub"),
                                                         rule("input", "{\"goto\": {\"target\": \"sub\"}}"),
                                                         rule("sub", "{\"return\": null}"),
                                                         rule("input", Drop)})
                                             << 8000 << Outcome::Accepted;
    QTest::newRow("interface named") << listing({dropPolicy, rule("input", "{\"match\": {\"op\": \"==\", \"left\": {\"meta\": {\"key\": \"iifname\"}}, \"right\": \"lan1\"}}," + Accept)})
                                     << 8000 << Outcome::Dropped;
    QTest::newRow("interface wildcard") << listing({dropPolicy, rule("input", "{\"match\": {\"op\": \"==\", \"left\": {\"meta\": {\"key\": \"iifname\"}}, \"right\": \"lan*\"}}," + Accept)})
                                        << 8000 << Outcome::Accepted;
    QTest::newRow("verdict map on ct state") << listing({dropPolicy, rule("input", "{\"vmap\": {\"key\": {\"ct\": {\"key\": \"state\"}}, \"data\": {\"set\": [[\"invalid\", {\"drop\": null}], [\"new\", {\"accept\": null}]]}}}")})
                                             << 8000 << Outcome::Accepted;
    QTest::newRow("rate limit is unsure") << listing({dropPolicy, rule("input", udpDport("8000") + ",{\"limit\": {\"rate\": 10, \"burst\": 5, \"per\": \"second\"}}," + Accept)})
                                          << 8000 << Outcome::Unsure;
    QTest::newRow("queue is unsure") << listing({acceptPolicy, rule("input", udpDport("8000") + ",{\"queue\": {\"num\": 1}}")})
                                     << 8000 << Outcome::Unsure;
    QTest::newRow("jump to a missing chain") << listing({acceptPolicy, rule("input", "{\"jump\": {\"target\": \"gone\"}}")})
                                             << 8000 << Outcome::Unsure;
    QTest::newRow("jumps in a loop end") << listing({acceptPolicy, chain("loop"), rule("input", "{\"jump\": {\"target\": \"loop\"}}"),
                                                     rule("loop", "{\"jump\": {\"target\": \"loop\"}}")})
                                         << 8000 << Outcome::Unsure;
    QTest::newRow("undecided rule, same end either way") << listing({acceptPolicy, rule("input", SaddrDocNet + "," + Accept)})
                                                         << 8000 << Outcome::Accepted;
    QTest::newRow("ip6 family ignored") << listing({chain("input", "input", "drop", 0, "ip6")}) << 8000 << Outcome::Accepted;
    QTest::newRow("output hook ignored") << listing({chain("output", "output", "drop")}) << 8000 << Outcome::Accepted;
}

void TestFirewallRules::nftVerdicts()
{
    QFETCH(QByteArray, json);
    QFETCH(int, port);
    QFETCH(ChainWalk::Outcome, expected);
    QStringList reasoning;
    const Outcome outcome = nftOutcome(json, answer(quint16(port)), &reasoning);
    QVERIFY2(outcome == expected, qPrintable(reasoning.join(QLatin1Char('\n'))));
}

void TestFirewallRules::nftConntrackNote()
{
    // The most common desk ruleset: only established traffic and a few
    // services in. A broadcast query's answers are not established.
    const QByteArray json = listing({chain("input", "input", "drop"), rule("input", CtEstablished + "," + Accept),
                                     rule("input", "{\"match\": {\"op\": \"==\", \"left\": {\"payload\": {\"protocol\": \"tcp\", \"field\": \"dport\"}}, \"right\": 22}}," + Accept)});
    QStringList reasoning;
    QCOMPARE(nftOutcome(json, answer(), &reasoning), Outcome::Dropped);
    const QString all = reasoning.join(QLatin1Char('\n'));
    QVERIFY2(all.contains(QLatin1String("not \"established\" for conntrack")), qPrintable(all));
    QVERIFY2(all.contains(QLatin1String("policy drops it")), qPrintable(all));
}

void TestFirewallRules::nftUnknownSourceIsUnsure()
{
    const QByteArray json = listing({chain("input", "input", "drop"), rule("input", SaddrDocNet + "," + udpDport("8000") + "," + Accept)});
    QStringList reasoning;
    QCOMPARE(nftOutcome(json, answer(), &reasoning), Outcome::Unsure);
    QVERIFY(reasoning.join(QLatin1Char('\n')).contains(QLatin1String("the camera's address")));
    InboundDatagram fromInside = answer();
    fromInside.source = ip("192.0.2.40");
    QCOMPARE(nftOutcome(json, fromInside), Outcome::Accepted);
    InboundDatagram fromOutside = answer();
    fromOutside.source = ip("203.0.113.5");
    QCOMPARE(nftOutcome(json, fromOutside), Outcome::Dropped);
}

void TestFirewallRules::nftBroadcastOnlyRule()
{
    const QByteArray json = listing({chain("input", "input", "drop"),
                                     rule("input", "{\"match\": {\"op\": \"==\", \"left\": {\"meta\": {\"key\": \"pkttype\"}}, \"right\": \"broadcast\"}}," + udpDport("8000") + "," + Accept)});
    QCOMPARE(nftOutcome(json, answer(8000, QStringLiteral("lan0"), true)), Outcome::Accepted);
    QCOMPARE(nftOutcome(json, answer(8000, QStringLiteral("lan0"), false)), Outcome::Dropped);
}

void TestFirewallRules::nftChainsInKernelOrder()
{
    // An accept in one base chain does not pass the datagram through the
    // next: every chain on its way must let it in.
    const QByteArray twoTables = "{\"nftables\": [" + chain("input", "input", "accept", 0, "inet", "a") + ", "
        + rule("input", udpDport("8000") + "," + Accept, "inet", "a") + ", " + chain("input", "input", "drop", 10, "ip", "b")
        + "]}";
    QStringList reasoning;
    QCOMPARE(nftOutcome(twoTables, answer(), &reasoning), Outcome::Dropped);
    QVERIFY(reasoning.join(QLatin1Char('\n')).contains(QLatin1String("table ip b")));

    // nftables' own reverse-path check in prerouting cannot be decided
    // without the camera's address.
    const QByteArray fib = "{\"nftables\": [" + chain("pre", "prerouting", "accept", -150, "ip", "t") + ", "
        + rule("pre", "{\"match\": {\"op\": \"==\", \"left\": {\"fib\": {\"result\": \"oif\", \"flags\": [\"saddr\", \"iif\"]}}, \"right\": false}}," + Drop, "ip", "t")
        + "]}";
    QCOMPARE(nftOutcome(fib, answer()), Outcome::Unsure);

    // An ingress chain sees only its own device.
    const QByteArray ingress = "{\"nftables\": [{\"chain\": {\"family\": \"netdev\", \"table\": \"n\", \"name\": \"ing\", \"type\": \"filter\", "
                               "\"hook\": \"ingress\", \"prio\": 0, \"dev\": \"lan1\", \"policy\": \"drop\"}}]}";
    QCOMPARE(nftOutcome(ingress, answer(8000, QStringLiteral("lan0"))), Outcome::Accepted);
    QCOMPARE(nftOutcome(ingress, answer(8000, QStringLiteral("lan1"))), Outcome::Dropped);
}

void TestFirewallRules::nftRefusesWhatIsNoListing()
{
    NftRuleset ruleset;
    QString error;
    QVERIFY(!ruleset.parse("Error: cache initialization failed: Operation not permitted", &error));
    QVERIFY(error.contains(QLatin1String("not JSON")));
    QVERIFY(!ruleset.parse("{\"something\": []}", &error));
    QVERIFY(error.contains(QLatin1String("nftables")));
    QVERIFY(!ruleset.parse(QByteArray(NftRuleset::MaxJsonBytes + 1, ' '), &error));

    QList<QByteArray> many{chain("input", "input", "accept")};
    for (int i = 0; i <= NftRuleset::MaxRules; ++i)
        many.append(rule("input", udpDport("1") + "," + Accept));
    QVERIFY(!ruleset.parse(listing(many), &error));
    QVERIFY(error.contains(QString::number(NftRuleset::MaxRules)));
    // As many undecided rules as a ruleset may hold: an answer, not a
    // stack overflow.
    QList<QByteArray> undecided{chain("input", "input", "drop")};
    for (int i = 0; i < NftRuleset::MaxRules; ++i)
        undecided.append(rule("input", SaddrDocNet + "," + Accept));
    QVERIFY(ruleset.parse(listing(undecided), &error));
    QCOMPARE(ruleset.evaluate(answer()).outcome, Outcome::Unsure);
    // Odd members are skipped, not trusted.
    QVERIFY(ruleset.parse("{\"nftables\": [1, \"x\", {\"rule\": {}}, {\"chain\": null}]}", &error));
    QCOMPARE(ruleset.evaluate(answer()).outcome, Outcome::Accepted);
}

void TestFirewallRules::iptablesVerdicts_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("broadcast");
    QTest::addColumn<ChainWalk::Outcome>("expected");
    const QByteArray head = "# Generated by iptables-save v1.8.9 (nf_tables)\n*filter\n:INPUT DROP [0:0]\n:FORWARD DROP [0:0]\n:OUTPUT ACCEPT [0:0]\n";
    QTest::newRow("policy drop") << head + "COMMIT\n" << true << Outcome::Dropped;
    QTest::newRow("port accepted") << head + "-A INPUT -p udp -m udp --dport 8000 -j ACCEPT\nCOMMIT\n" << true << Outcome::Accepted;
    QTest::newRow("multiport range") << head + "-A INPUT -p udp -m multiport --dports 1900,7990:8010 -j ACCEPT\nCOMMIT\n" << true << Outcome::Accepted;
    QTest::newRow("tcp only") << head + "-A INPUT -p tcp -m tcp --dport 8000 -j ACCEPT\nCOMMIT\n" << true << Outcome::Dropped;
    QTest::newRow("source net is unsure") << head + "-A INPUT -s 192.0.2.0/24 -p udp --dport 8000 -j ACCEPT\nCOMMIT\n" << true << Outcome::Unsure;
    QTest::newRow("user chain and return") << QByteArray("*filter\n:INPUT DROP [0:0]\n:cams - [0:0]\n-A INPUT -j cams\n-A cams -p udp --dport 53 -j RETURN\n"
                                              "-A cams -p udp --dport 8000 -j ACCEPT\nCOMMIT\n") << true << Outcome::Accepted;
    QTest::newRow("negated interface") << QByteArray("*filter\n:INPUT ACCEPT [0:0]\n-A INPUT ! -i lo -p udp --dport 8000 -j DROP\nCOMMIT\n") << true << Outcome::Dropped;
    QTest::newRow("log goes on") << head + "-A INPUT -p udp --dport 8000 -j LOG --log-prefix \"cam in: \"\n-A INPUT -p udp --dport 8000 -j ACCEPT\nCOMMIT\n" << true << Outcome::Accepted;
    QTest::newRow("quoted comment") << head + "-A INPUT -p udp -m comment --comment \"camera answers, port 8000\" --dport 8000 -j ACCEPT\nCOMMIT\n" << true << Outcome::Accepted;
    QTest::newRow("limit is unsure") << head + "-A INPUT -p udp --dport 8000 -m limit --limit 5/sec -j ACCEPT\nCOMMIT\n" << true << Outcome::Unsure;
    QTest::newRow("broadcast dropped") << QByteArray("*filter\n:INPUT ACCEPT [0:0]\n-A INPUT -m pkttype --pkt-type broadcast -j DROP\nCOMMIT\n") << true << Outcome::Dropped;
    QTest::newRow("unicast passes the broadcast rule") << QByteArray("*filter\n:INPUT ACCEPT [0:0]\n-A INPUT -m pkttype --pkt-type broadcast -j DROP\nCOMMIT\n") << false << Outcome::Accepted;
    QTest::newRow("raw table drops first") << QByteArray("*raw\n:PREROUTING ACCEPT [0:0]\n-A PREROUTING -p udp --dport 8000 -j DROP\nCOMMIT\n"
                                              "*filter\n:INPUT ACCEPT [0:0]\n-A INPUT -p udp --dport 8000 -j ACCEPT\nCOMMIT\n") << true << Outcome::Dropped;
    QTest::newRow("queue is unsure") << QByteArray("*filter\n:INPUT ACCEPT [0:0]\n-A INPUT -p udp --dport 8000 -j NFQUEUE --queue-num 1\nCOMMIT\n") << true << Outcome::Unsure;
}

void TestFirewallRules::iptablesVerdicts()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, broadcast);
    QFETCH(ChainWalk::Outcome, expected);
    QStringList reasoning;
    const Outcome outcome = iptablesOutcome(text, answer(8000, QStringLiteral("lan0"), broadcast), &reasoning);
    QVERIFY2(outcome == expected, qPrintable(reasoning.join(QLatin1Char('\n'))));
}

void TestFirewallRules::iptablesRefusesJunk()
{
    IptablesRuleset ruleset;
    QString error;
    QVERIFY(!ruleset.parse("-A INPUT -j ACCEPT\n", &error));   // no table
    QVERIFY(!ruleset.parse("*filter\nhello world\n", &error));
    QVERIFY(error.contains(QLatin1String("hello")));
    QVERIFY(!ruleset.parse("*filter\n:INPUT\n", &error));
    QVERIFY(!ruleset.parse("*filter\n-A INPUT " + QByteArray(IptablesRuleset::MaxLineLength, 'x') + "\n", &error));
    QVERIFY(ruleset.parse("", &error));   // nothing loaded: nothing drops
    QCOMPARE(IptablesRuleset::tokens("-A INPUT -m comment --comment \"a \\\"b\\\" c\" -j ACCEPT"),
             QStringList({"-A", "INPUT", "-m", "comment", "--comment", "a \"b\" c", "-j", "ACCEPT"}));
    QStringList reasoning;
    QCOMPARE(iptablesOutcome("*filter\n:INPUT DROP [0:0]\n-A INPUT -m conntrack --ctstate RELATED,ESTABLISHED -j ACCEPT\nCOMMIT\n",
                             answer(), &reasoning),
             Outcome::Dropped);
    QVERIFY(reasoning.join(QLatin1Char(' ')).contains(QLatin1String("not ESTABLISHED for conntrack")));
}

void TestFirewallRules::firewalldZones()
{
    QVERIFY(FirewalldState::isRunning("running\n"));
    QVERIFY(!FirewalldState::isRunning("not running\n"));
    const QHash<QString, QStringList> active = FirewalldState::parseActiveZones("public\n  interfaces: lan0 lan1\nlibvirt\n  interfaces: virbr0\n");
    QCOMPARE(active.value(QStringLiteral("public")), QStringList({"lan0", "lan1"}));
    QCOMPARE(active.value(QStringLiteral("libvirt")), QStringList({"virbr0"}));
    const FirewalldState::Zone zone = FirewalldState::parseZone(QStringLiteral("public"),
        "public (active)\n  target: default\n  icmp-block-inversion: no\n  interfaces: lan0\n  sources: \n"
        "  services: dhcpv6-client ssh\n  ports: 1900/udp 8001-8010/udp 8000/tcp\n  protocols: \n");
    QCOMPARE(zone.target, QStringLiteral("default"));
    QCOMPARE(zone.services, QStringList({"dhcpv6-client", "ssh"}));
    QVERIFY(!FirewalldState::zoneOpens(zone, 8000, {QStringLiteral("pathmere")}));   // 8000/tcp is no UDP port
    QVERIFY(FirewalldState::zoneOpens(zone, 1900, {}));
    QVERIFY(FirewalldState::zoneOpens(zone, 8005, {}));
    FirewalldState::Zone withService = zone;
    withService.services.append(QStringLiteral("pathmere"));
    QVERIFY(FirewalldState::zoneOpens(withService, 8000, {QStringLiteral("pathmere")}));
    FirewalldState::Zone trusted = zone;
    trusted.target = QStringLiteral("ACCEPT");
    QVERIFY(FirewalldState::zoneOpens(trusted, 3702, {}));
}

void TestFirewallRules::ufwRules()
{
    const QByteArray status =
        "Status: active\nLogging: on (low)\nDefault: deny (incoming), allow (outgoing), disabled (routed)\nNew profiles: skip\n\n"
        "To                         Action      From\n--                         ------      ----\n"
        "22/tcp                     ALLOW IN    Anywhere\n"
        "1900/udp on lan1           ALLOW IN    Anywhere\n"
        "3702/udp                   ALLOW IN    192.0.2.0/24\n"
        "1988                       DENY IN     Anywhere\n"
        "1988/udp                   ALLOW IN    Anywhere\n"
        "Pathmere                   ALLOW IN    Anywhere\n"
        "8000/udp (v6)              DENY IN     Anywhere (v6)\n"
        "53                         ALLOW OUT   Anywhere\n";
    const UfwState ufw = UfwState::parse(status);
    QVERIFY(ufw.active);
    QCOMPARE(ufw.defaultIncoming, QStringLiteral("deny"));
    QCOMPARE(ufw.rules.size(), 6);   // the IPv6 and the outgoing rule are left out
    const QHash<QString, QList<quint16>> apps{{QStringLiteral("Pathmere"), {8000}}};
    QString by;
    using Tri = ChainWalk::Tri;
    QCOMPARE(ufw.lets(8000, QStringLiteral("lan0"), apps, &by), Tri::Yes);
    QCOMPARE(by, QStringLiteral("Pathmere                   ALLOW IN    Anywhere"));
    // A profile whose ports are not known here decides nothing.
    QCOMPARE(ufw.lets(8000, QStringLiteral("lan0"), {}, &by), Tri::Maybe);
    QCOMPARE(ufw.lets(1900, QStringLiteral("lan1"), apps, &by), Tri::Yes);
    QCOMPARE(ufw.lets(1900, QStringLiteral("lan0"), apps, &by), Tri::No);
    QCOMPARE(ufw.lets(3702, QStringLiteral("lan0"), apps, &by), Tri::Maybe);
    QCOMPARE(ufw.lets(1988, QStringLiteral("lan0"), apps, &by), Tri::No);   // the first rule that matches wins
    QVERIFY(!UfwState::parse("Status: inactive\n").active);
    QCOMPARE(UfwState::parse("Status: inactive\n").lets(8000, QStringLiteral("lan0"), {}, &by), Tri::Yes);
}

void TestFirewallRules::checkNamesCauseAndFix()
{
    const QList<FirewallCheck::Adapter> adapters{{QStringLiteral("lan0"), ip("192.0.2.1")},
                                                  {QStringLiteral("lan1"), ip("198.51.100.1")}};
    const auto ran = [](const QByteArray &out, int code = 0, const QByteArray &err = QByteArray()) {
        FirewallReader::Output o;
        o.found = true;
        o.finished = true;
        o.exitCode = code;
        o.out = out;
        o.err = err;
        return o;
    };
    // nftables drops 8000 on lan0 only; no front end: the nft command.
    FirewallReader::Snapshot nftOnly;
    nftOnly.nft = ran(listing({chain("input", "input", "accept"),
                               rule("input", "{\"match\": {\"op\": \"==\", \"left\": {\"meta\": {\"key\": \"iifname\"}}, \"right\": \"lan0\"}}," + udpDport("8000") + "," + Drop)}));
    QList<CheckResult> results = FirewallCheck::evaluate(nftOnly, {8000, 1900}, adapters);
    QCOMPARE(results.size(), 2);
    QCOMPARE(results.at(0).status, CheckResult::Status::Problem);
    QVERIFY2(results.at(0).sentence.contains(QLatin1String("drops incoming UDP port 8000 on lan0:")), qPrintable(results.at(0).sentence));
    QCOMPARE(results.at(0).fix, QStringLiteral("sudo nft insert rule inet filter input udp dport 8000 accept"));
    QVERIFY(!results.at(0).reasoning.isEmpty());
    QCOMPARE(results.at(1).status, CheckResult::Status::Ok);
    QVERIFY(results.at(1).sentence.contains(QLatin1String("lan0, lan1")));

    // firewalld in front: its own command, with the packaged service.
    FirewallReader::Snapshot firewalld = nftOnly;
    firewalld.firewalldState = ran("running\n");
    firewalld.firewalldActiveZones = ran("public\n  interfaces: lan0 lan1\n");
    firewalld.firewalldDefaultZone = ran("public\n");
    firewalld.firewalldZones.insert(QStringLiteral("public"), ran("public (active)\n  target: default\n  services: ssh\n  ports: \n"));
    firewalld.pathmereServiceInstalled = true;
    results = FirewallCheck::evaluate(firewalld, {8000}, adapters);
    QCOMPARE(results.first().fix, QStringLiteral("sudo firewall-cmd --permanent --zone=public --add-service=pathmere && sudo firewall-cmd --reload"));
    firewalld.pathmereServiceInstalled = false;
    QVERIFY(FirewallCheck::evaluate(firewalld, {8000}, adapters).first().fix.contains(QLatin1String("--add-port=8000/udp")));

    // Rules unreadable for this user: said so, with the command that reads them.
    FirewallReader::Snapshot denied;
    denied.nft = ran(QByteArray(), 1, "Error: cache initialization failed: Operation not permitted\n");
    denied.iptables = ran(QByteArray(), 4, "iptables-save v1.8.9 (nf_tables): Could not fetch rule set generation id: Permission denied (you must be root)\n");
    results = FirewallCheck::evaluate(denied, {8000}, adapters);
    QCOMPARE(results.size(), 1);
    QCOMPARE(results.first().status, CheckResult::Status::Warning);
    QVERIFY(results.first().sentence.contains(QLatin1String("cannot be read without root")));
    QCOMPARE(results.first().fix, FirewallCheck::rootCommand());

    // ...but ufw's status, where it could be read, still names the cause.
    FirewallReader::Snapshot ufw = denied;
    ufw.ufw = ran("Status: active\nDefault: deny (incoming), allow (outgoing), disabled (routed)\n\nTo  Action  From\n--  ------  ----\n");
    ufw.pathmereProfileInstalled = true;
    results = FirewallCheck::evaluate(ufw, {8000}, adapters);
    QCOMPARE(results.first().status, CheckResult::Status::Problem);
    QCOMPARE(results.first().fix, QStringLiteral("sudo ufw allow Pathmere"));

    // No tool at all.
    results = FirewallCheck::evaluate(FirewallReader::Snapshot(), {8000}, adapters);
    QCOMPARE(results.first().status, CheckResult::Status::Ok);

    // A listing nft printed but nobody can read: said, not taken for "open".
    FirewallReader::Snapshot garbled;
    garbled.nft = ran("{\"nftables\": [");
    results = FirewallCheck::evaluate(garbled, {8000}, adapters);
    QCOMPARE(results.first().status, CheckResult::Status::Warning);
    QVERIFY(results.first().sentence.contains(QLatin1String("could not be read")));
}

QTEST_GUILESS_MAIN(TestFirewallRules)
#include "tst_firewallrules.moc"
