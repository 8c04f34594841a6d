#include "iptablesruleset.h"

#include <QHostAddress>

namespace {

using Tri = ChainWalk::Tri;
using Kind = ChainWalk::Action::Kind;

const QString CameraAddress = QStringLiteral("the camera's address, which is not known before a search");

Tri fromBool(bool b)
{
    return b ? Tri::Yes : Tri::No;
}

// "8000", "8000:8010", "8000,1900,3702:3710"
Tri portIn(const QString &text, quint16 port)
{
    const QStringList items = text.split(QLatin1Char(','));
    for (const QString &item : items) {
        const QStringList ends = item.split(QLatin1Char(':'));
        bool ok1 = false;
        bool ok2 = true;
        const uint low = ends.value(0).toUInt(&ok1);
        const uint high = ends.size() > 1 ? ends.at(1).toUInt(&ok2) : low;
        if (!ok1 || !ok2 || ends.size() > 2)
            return Tri::Maybe;   // a service name, or junk
        if (port >= low && port <= high)
            return Tri::Yes;
    }
    return Tri::No;
}

// "192.0.2.0/24", "192.0.2.0/255.255.255.0", "192.0.2.7"
Tri addressIn(const QString &text, quint32 address)
{
    if (address == 0)
        return Tri::Maybe;
    const QStringList parts = text.split(QLatin1Char('/'));
    bool ok = false;
    const quint32 network = QHostAddress(parts.value(0)).toIPv4Address(&ok);
    if (!ok)
        return Tri::Maybe;
    quint32 mask = ~quint32(0);
    if (parts.size() == 2) {
        bool isLength = false;
        const int length = parts.at(1).toInt(&isLength);
        if (isLength && length >= 0 && length <= 32) {
            mask = length == 0 ? 0 : ~quint32(0) << (32 - length);
        } else {
            bool isMask = false;
            mask = QHostAddress(parts.at(1)).toIPv4Address(&isMask);
            if (!isMask)
                return Tri::Maybe;
        }
    } else if (parts.size() > 2) {
        return Tri::Maybe;
    }
    return fromBool((address & mask) == (network & mask));
}

} // namespace

QStringList IptablesRuleset::tokens(const QByteArray &line)
{
    QStringList result;
    QString current;
    bool inToken = false;
    char quote = 0;
    for (int i = 0; i < line.size(); ++i) {
        const char c = line.at(i);
        if (quote) {
            if (c == '\\' && i + 1 < line.size()) {
                current += QLatin1Char(line.at(++i));
            } else if (c == quote) {
                quote = 0;
            } else {
                current += QLatin1Char(c);
            }
            continue;
        }
        if (c == '"' || c == '\'') {
            quote = c;
            inToken = true;
        } else if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            if (inToken)
                result.append(current);
            current.clear();
            inToken = false;
        } else {
            current += QLatin1Char(c);
            inToken = true;
        }
    }
    if (inToken)
        result.append(current);
    return result;
}

bool IptablesRuleset::parse(const QByteArray &text, QString *error)
{
    chains.clear();
    rules = 0;
    if (text.size() > MaxTextBytes) {
        *error = QStringLiteral("the rules are longer than %1 MiB").arg(MaxTextBytes / (1024 * 1024));
        return false;
    }
    QString table;
    bool sawTable = false;
    const QList<QByteArray> lines = text.split('\n');
    for (const QByteArray &raw : lines) {
        const QByteArray line = raw.trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        if (line.size() > MaxLineLength) {
            *error = QStringLiteral("a rule line is longer than %1 characters").arg(MaxLineLength);
            chains.clear();
            return false;
        }
        if (line.startsWith('*')) {
            table = QString::fromUtf8(line.mid(1));
            sawTable = true;
            continue;
        }
        if (line == "COMMIT")
            continue;
        if (table.isEmpty()) {
            *error = QStringLiteral("a line stands before any table (\"*filter\")");
            chains.clear();
            return false;
        }
        if (line.startsWith(':')) {
            const QStringList parts = tokens(line.mid(1));
            if (parts.size() < 2) {
                *error = QStringLiteral("a chain line lacks its policy");
                chains.clear();
                return false;
            }
            ChainInfo &chain = chains[table + QLatin1Char(' ') + parts.at(0)];
            chain.table = table;
            chain.name = parts.at(0);
            chain.policy = parts.at(1);
            continue;
        }
        const QStringList parts = tokens(line);
        if (parts.size() < 2 || (parts.at(0) != QLatin1String("-A") && parts.at(0) != QLatin1String("--append"))) {
            *error = QStringLiteral("a line is neither a table, a chain nor a rule: \"%1\"")
                         .arg(QString::fromUtf8(line.left(60)));
            chains.clear();
            return false;
        }
        if (++rules > MaxRules) {
            *error = QStringLiteral("there are more than %1 rules").arg(MaxRules);
            chains.clear();
            return false;
        }
        ChainInfo &chain = chains[table + QLatin1Char(' ') + parts.at(1)];
        chain.table = table;
        chain.name = parts.at(1);
        if (chain.policy.isEmpty())
            chain.policy = QStringLiteral("-");
        chain.rules.append(parts.mid(2));
    }
    if (!sawTable && !text.trimmed().isEmpty()) {
        *error = QStringLiteral("no table in the rules");
        return false;
    }
    return true;
}

ChainWalk::Rule IptablesRuleset::translate(const ChainInfo &chain, const QStringList &rule,
                                          const InboundDatagram &datagram, QStringList *notes) const
{
    ChainWalk::Rule result;
    result.text = rule.join(QLatin1Char(' ')).left(160);
    Tri when = Tri::Yes;
    QString why;
    const auto undecided = [&](const QString &reason) {
        when = ChainWalk::both(when, Tri::Maybe);
        if (why.isEmpty())
            why = reason;
    };
    ChainWalk::Action action;
    QString module;
    bool negate = false;
    for (int i = 0; i < rule.size(); ++i) {
        const QString &option = rule.at(i);
        if (option == QLatin1String("!")) {
            negate = true;
            continue;
        }
        QString value = rule.value(i + 1);
        bool valueNegated = false;
        const auto takeValue = [&]() {
            ++i;
            // The old spelling puts the "!" after the option.
            if (value == QLatin1String("!")) {
                valueNegated = true;
                value = rule.value(++i);
            }
        };
        const auto apply = [&](Tri t) {
            if (negate != valueNegated)
                t = ChainWalk::negated(t);
            when = ChainWalk::both(when, t);
        };
        if (option == QLatin1String("-p") || option == QLatin1String("--protocol")) {
            takeValue();
            const QString p = value.toLower();
            apply(fromBool(p == QLatin1String("udp") || p == QLatin1String("17") || p == QLatin1String("all")
                           || p == QLatin1String("0")));
        } else if (option == QLatin1String("-s") || option == QLatin1String("--source")) {
            takeValue();
            const Tri t = addressIn(value, datagram.source);
            if (t == Tri::Maybe)
                undecided(CameraAddress);
            else
                apply(t);
        } else if (option == QLatin1String("-d") || option == QLatin1String("--destination")) {
            takeValue();
            const Tri t = addressIn(value, datagram.destinationAddress());
            if (t == Tri::Maybe)
                undecided(QStringLiteral("the address the answer is sent to"));
            else
                apply(t);
        } else if (option == QLatin1String("-i") || option == QLatin1String("--in-interface")) {
            takeValue();
            if (datagram.interfaceName.isEmpty())
                undecided(QStringLiteral("the adapter it arrives on"));
            else
                apply(fromBool(value.endsWith(QLatin1Char('+')) ? datagram.interfaceName.startsWith(value.chopped(1))
                                                                : datagram.interfaceName == value));
        } else if (option == QLatin1String("-o") || option == QLatin1String("--out-interface")) {
            takeValue();
            apply(Tri::No);   // nothing coming in has an output interface
        } else if (option == QLatin1String("-m") || option == QLatin1String("--match")) {
            takeValue();
            module = value;
        } else if (option == QLatin1String("--dport") || option == QLatin1String("--destination-port")
                   || option == QLatin1String("--dports") || option == QLatin1String("--destination-ports")) {
            takeValue();
            const Tri t = portIn(value, datagram.port);
            if (t == Tri::Maybe)
                undecided(QStringLiteral("a port named \"%1\"").arg(value));
            else
                apply(t);
        } else if (option == QLatin1String("--ports")) {
            takeValue();
            const Tri t = portIn(value, datagram.port);
            if (t == Tri::Yes)
                apply(t);
            else
                undecided(QStringLiteral("the camera's source port"));
        } else if (option == QLatin1String("--sport") || option == QLatin1String("--source-port")
                   || option == QLatin1String("--sports") || option == QLatin1String("--source-ports")) {
            takeValue();
            if (datagram.sourcePort == 0) {
                undecided(QStringLiteral("the camera's source port, which is not known before a search"));
            } else {
                const Tri t = portIn(value, datagram.sourcePort);
                if (t == Tri::Maybe)
                    undecided(QStringLiteral("a port named \"%1\"").arg(value));
                else
                    apply(t);
            }
        } else if (option == QLatin1String("--ctstate") || option == QLatin1String("--state")) {
            takeValue();
            const QStringList states = value.toUpper().split(QLatin1Char(','));
            const Tri t = fromBool(states.contains(QStringLiteral("NEW")));
            if (t == Tri::No && states.contains(QStringLiteral("ESTABLISHED")) && negate == valueNegated) {
                const QString note = QStringLiteral("the cameras' answers to a broadcast query are not ESTABLISHED for "
                                                    "conntrack: they come from the cameras' addresses, not from the "
                                                    "broadcast address the query went to, so an ESTABLISHED rule does "
                                                    "not let them in");
                if (!notes->contains(note))
                    notes->append(note);
            }
            apply(t);
        } else if (option == QLatin1String("--pkt-type")) {
            takeValue();
            apply(fromBool(value.toLower() == (datagram.broadcast ? QLatin1String("broadcast") : QLatin1String("unicast"))));
        } else if (option == QLatin1String("--dst-type")) {
            takeValue();
            const QStringList types = value.toUpper().split(QLatin1Char(','));
            apply(fromBool(datagram.broadcast ? types.contains(QStringLiteral("BROADCAST"))
                                              : types.contains(QStringLiteral("LOCAL")) || types.contains(QStringLiteral("UNICAST"))));
        } else if (option == QLatin1String("--comment")) {
            takeValue();
        } else if (option == QLatin1String("-j") || option == QLatin1String("--jump") || option == QLatin1String("-g")
                   || option == QLatin1String("--goto")) {
            takeValue();
            const bool isGoto = option == QLatin1String("-g") || option == QLatin1String("--goto");
            static const QStringList passive{QStringLiteral("LOG"),      QStringLiteral("NFLOG"),   QStringLiteral("ULOG"),
                                             QStringLiteral("MARK"),     QStringLiteral("CONNMARK"), QStringLiteral("CT"),
                                             QStringLiteral("NOTRACK"),  QStringLiteral("TRACE"),   QStringLiteral("CLASSIFY"),
                                             QStringLiteral("DSCP"),     QStringLiteral("TOS"),     QStringLiteral("TTL"),
                                             QStringLiteral("SET"),      QStringLiteral("AUDIT"),   QStringLiteral("CHECKSUM"),
                                             QStringLiteral("SNAT"),     QStringLiteral("MASQUERADE"), QStringLiteral("SECMARK"),
                                             QStringLiteral("CONNSECMARK")};
            if (value == QLatin1String("ACCEPT")) {
                action.kind = Kind::Accept;
            } else if (value == QLatin1String("DROP") || value == QLatin1String("REJECT")) {
                action.kind = Kind::Drop;
            } else if (value == QLatin1String("RETURN")) {
                action.kind = Kind::Return;
            } else if (passive.contains(value)) {
                action.kind = Kind::None;
            } else if (chains.contains(chain.table + QLatin1Char(' ') + value)) {
                action.kind = isGoto ? Kind::Goto : Kind::Jump;
                action.target = chain.table + QLatin1Char(' ') + value;
            } else {
                action.kind = Kind::Unsure;
                action.target = QStringLiteral("its target %1 is one this check does not follow").arg(value);
            }
            break;   // the target's own options follow
        } else if (option.startsWith(QLatin1Char('-'))) {
            // An option of a module this reader does not know (limit, set,
            // recent, mac...): skip its value, and the rule is undecided.
            if (i + 1 < rule.size() && !rule.at(i + 1).startsWith(QLatin1Char('-')))
                takeValue();
            const QString what = module.isEmpty() ? option : QStringLiteral("-m %1 %2").arg(module, option);
            if (module != QLatin1String("udp") && module != QLatin1String("multiport")
                && module != QLatin1String("conntrack") && module != QLatin1String("state"))
                undecided(QStringLiteral("%1, which this check does not read").arg(what));
        }
        negate = false;
    }
    result.alternatives.append(ChainWalk::Alternative{when, action, why});
    return result;
}

ChainWalk::Verdict IptablesRuleset::evaluate(const InboundDatagram &datagram) const
{
    ChainWalk walk;
    QStringList notes;
    for (auto it = chains.cbegin(); it != chains.cend(); ++it) {
        const ChainInfo &chain = it.value();
        ChainWalk::Chain walked;
        walked.base = chain.policy != QLatin1String("-");
        walked.policyAccept = chain.policy != QLatin1String("DROP");
        walked.label = walked.base ? QStringLiteral("chain %1 (table %2, policy %3)").arg(chain.name, chain.table, chain.policy)
                                   : QStringLiteral("chain %1 (table %2)").arg(chain.name, chain.table);
        for (const QStringList &rule : chain.rules)
            walked.rules.append(translate(chain, rule, datagram, &notes));
        walk.addChain(it.key(), walked);
    }
    QStringList order;
    for (const char *name : {"raw PREROUTING", "mangle PREROUTING", "nat PREROUTING", "mangle INPUT", "filter INPUT",
                             "security INPUT"}) {
        const QString key = QString::fromLatin1(name);
        if (chains.contains(key))
            order.append(key);
    }
    ChainWalk::Verdict verdict = walk.run(order);
    verdict.reasoning += notes;
    return verdict;
}
