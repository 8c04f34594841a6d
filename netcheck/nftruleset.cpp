#include "nftruleset.h"

#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include <algorithm>

namespace {

using Tri = ChainWalk::Tri;

// What a rule's left-hand expression is for the datagram in question.
struct Value
{
    enum class Kind { Unknown, Absent, Number, Text, Address };
    Kind kind = Kind::Unknown;
    qint64 number = -1;
    QString text;      // Number: its name as nft prints it ("udp"), if any
    quint32 address = 0;
    QString why;       // Unknown: what it depends on

    static Value unknown(const QString &why) { Value v; v.why = why; return v; }
    static Value absent() { Value v; v.kind = Kind::Absent; return v; }
    static Value ofNumber(qint64 n, const QString &name = QString())
    {
        Value v;
        v.kind = Kind::Number;
        v.number = n;
        v.text = name;
        return v;
    }
    static Value ofText(const QString &t) { Value v; v.kind = Kind::Text; v.text = t; return v; }
    static Value ofAddress(quint32 a, const QString &whyUnknown)
    {
        if (a == 0)
            return unknown(whyUnknown);
        Value v;
        v.kind = Kind::Address;
        v.address = a;
        return v;
    }
};

const QString CameraAddress = QStringLiteral("the camera's address, which is not known before a search");
const QString CameraPort = QStringLiteral("the camera's source port, which is not known before a search");

// Headers an IPv4 UDP datagram does not have: a match on them fails.
bool otherProtocol(const QString &protocol)
{
    static const QStringList others{QStringLiteral("tcp"),    QStringLiteral("sctp"),   QStringLiteral("dccp"),
                                    QStringLiteral("icmp"),   QStringLiteral("igmp"),   QStringLiteral("ip6"),
                                    QStringLiteral("icmpv6"), QStringLiteral("ah"),     QStringLiteral("esp"),
                                    QStringLiteral("comp"),   QStringLiteral("udplite"), QStringLiteral("arp"),
                                    QStringLiteral("rt"),     QStringLiteral("hbh"),    QStringLiteral("frag"),
                                    QStringLiteral("dst"),    QStringLiteral("mh"),     QStringLiteral("srh"),
                                    QStringLiteral("gre"),    QStringLiteral("vxlan"),  QStringLiteral("geneve")};
    return others.contains(protocol);
}

bool parseIpv4(const QString &text, quint32 *address)
{
    bool ok = false;
    const QHostAddress parsed(text);
    *address = parsed.toIPv4Address(&ok);
    return ok;
}

QString singleKey(const QJsonObject &object)
{
    return object.size() == 1 ? object.begin().key() : QString();
}

QString valueText(const QJsonValue &value, int depth = 0)
{
    if (depth > 4)
        return QStringLiteral("...");
    if (value.isDouble())
        return QString::number(qint64(value.toDouble()));
    if (value.isString())
        return value.toString();
    if (value.isBool())
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    if (value.isArray()) {
        QStringList parts;
        const QJsonArray array = value.toArray();
        for (const QJsonValue &v : array)
            parts.append(valueText(v, depth + 1));
        return QStringLiteral("{ %1 }").arg(parts.join(QStringLiteral(", ")));
    }
    const QJsonObject object = value.toObject();
    const QString k = singleKey(object);
    const QJsonValue inner = object.value(k);
    if (k == QLatin1String("set"))
        return valueText(inner.toArray(), depth + 1);
    if (k == QLatin1String("range")) {
        const QJsonArray r = inner.toArray();
        return QStringLiteral("%1-%2").arg(valueText(r.at(0), depth + 1), valueText(r.at(1), depth + 1));
    }
    if (k == QLatin1String("prefix")) {
        const QJsonObject p = inner.toObject();
        return QStringLiteral("%1/%2").arg(p.value(QStringLiteral("addr")).toString()).arg(p.value(QStringLiteral("len")).toInt());
    }
    if (k == QLatin1String("payload")) {
        const QJsonObject p = inner.toObject();
        return QStringLiteral("%1 %2").arg(p.value(QStringLiteral("protocol")).toString(),
                                          p.value(QStringLiteral("field")).toString());
    }
    if (k == QLatin1String("meta"))
        return QStringLiteral("meta %1").arg(inner.toObject().value(QStringLiteral("key")).toString());
    if (k == QLatin1String("ct"))
        return QStringLiteral("ct %1").arg(inner.toObject().value(QStringLiteral("key")).toString());
    if (k == QLatin1String("elem"))
        return valueText(inner.toObject().value(QStringLiteral("val")), depth + 1);
    return k;
}

QString statementText(const QJsonObject &statement)
{
    const QString k = singleKey(statement);
    const QJsonValue inner = statement.value(k);
    if (k == QLatin1String("match")) {
        const QJsonObject m = inner.toObject();
        const QString op = m.value(QStringLiteral("op")).toString();
        return QStringLiteral("%1 %2%3")
            .arg(valueText(m.value(QStringLiteral("left"))),
                 op == QLatin1String("==") || op == QLatin1String("in") ? QString() : op + QLatin1Char(' '),
                 valueText(m.value(QStringLiteral("right"))));
    }
    if (k == QLatin1String("jump") || k == QLatin1String("goto"))
        return QStringLiteral("%1 %2").arg(k, inner.toObject().value(QStringLiteral("target")).toString());
    if (k == QLatin1String("vmap")) {
        const QJsonObject v = inner.toObject();
        return QStringLiteral("%1 vmap %2").arg(valueText(v.value(QStringLiteral("key"))),
                                                v.value(QStringLiteral("data")).isString()
                                                    ? v.value(QStringLiteral("data")).toString()
                                                    : QStringLiteral("{ ... }"));
    }
    if (k == QLatin1String("xt"))
        return QStringLiteral("xt %1").arg(inner.toObject().value(QStringLiteral("name")).toString());
    return k;
}

} // namespace

// Turns one rule into the alternatives ChainWalk follows, for one datagram.
class NftRuleTranslator
{
public:
    NftRuleTranslator(const NftRuleset &ruleset, const QString &family, const QString &table,
                      const InboundDatagram &datagram, QStringList *notes)
        : ruleset(ruleset), family(family), table(table), datagram(datagram), notes(notes)
    {
    }

    ChainWalk::Rule translate(const QJsonArray &expr) const;

private:
    Value valueOf(const QJsonValue &left) const;
    // Whether value is (one of) right; Maybe when right cannot be read.
    Tri matches(const Value &value, const QJsonValue &right, int depth = 0) const;
    Tri matchElement(const Value &value, const QJsonValue &element, int depth) const;
    Tri evaluateMatch(const QJsonObject &match, QString *why) const;
    ChainWalk::Action verdictOf(const QJsonObject &statement, bool *isVerdict) const;
    QString setKey(const QString &reference) const;

    const NftRuleset &ruleset;
    const QString family;
    const QString table;
    const InboundDatagram &datagram;
    QStringList *notes;
};

QString NftRuleTranslator::setKey(const QString &reference) const
{
    return NftRuleset::key(family, table, reference.mid(1));
}

Value NftRuleTranslator::valueOf(const QJsonValue &left) const
{
    const QJsonObject object = left.toObject();
    const QString k = singleKey(object);
    const QJsonObject inner = object.value(k).toObject();
    if (k == QLatin1String("payload")) {
        const QString protocol = inner.value(QStringLiteral("protocol")).toString();
        const QString field = inner.value(QStringLiteral("field")).toString();
        if (otherProtocol(protocol))
            return Value::absent();
        if (protocol == QLatin1String("udp") || protocol == QLatin1String("th")) {
            if (field == QLatin1String("dport"))
                return Value::ofNumber(datagram.port);
            if (field == QLatin1String("sport"))
                return datagram.sourcePort ? Value::ofNumber(datagram.sourcePort) : Value::unknown(CameraPort);
        }
        if (protocol == QLatin1String("ip")) {
            if (field == QLatin1String("saddr"))
                return Value::ofAddress(datagram.source, CameraAddress);
            if (field == QLatin1String("daddr"))
                return Value::ofAddress(datagram.destinationAddress(),
                                      QStringLiteral("the address the answer is sent to"));
            if (field == QLatin1String("protocol"))
                return Value::ofNumber(17, QStringLiteral("udp"));
            if (field == QLatin1String("version"))
                return Value::ofNumber(4);
        }
        return Value::unknown(QStringLiteral("the datagram's %1 %2").arg(protocol, field.isEmpty() ? QStringLiteral("bytes") : field));
    }
    if (k == QLatin1String("meta")) {
        const QString key = inner.value(QStringLiteral("key")).toString();
        if (key == QLatin1String("l4proto"))
            return Value::ofNumber(17, QStringLiteral("udp"));
        if (key == QLatin1String("nfproto"))
            return Value::ofNumber(2, QStringLiteral("ipv4"));
        if (key == QLatin1String("protocol"))
            return Value::ofNumber(0x0800, QStringLiteral("ip"));
        if (key == QLatin1String("iifname") || key == QLatin1String("iif")) {
            if (datagram.interfaceName.isEmpty())
                return Value::unknown(QStringLiteral("the adapter it arrives on"));
            return Value::ofText(datagram.interfaceName);
        }
        if (key == QLatin1String("pkttype"))
            return Value::ofText(datagram.broadcast ? QStringLiteral("broadcast") : QStringLiteral("host"));
        // An incoming datagram has no output interface yet: such a match
        // never holds.
        if (key.startsWith(QLatin1String("oif")))
            return Value::absent();
        return Value::unknown(QStringLiteral("meta %1").arg(key));
    }
    if (k == QLatin1String("ct")) {
        const QString key = inner.value(QStringLiteral("key")).toString();
        if (key == QLatin1String("state"))
            return Value::ofText(QStringLiteral("new"));
        if (key == QLatin1String("direction"))
            return Value::ofText(QStringLiteral("original"));
        if (key == QLatin1String("l3proto"))
            return Value::ofNumber(2, QStringLiteral("ipv4"));
        if (key == QLatin1String("protocol"))
            return Value::ofNumber(17, QStringLiteral("udp"));
        return Value::unknown(QStringLiteral("ct %1").arg(key));
    }
    if (k == QLatin1String("fib"))
        return Value::unknown(QStringLiteral("nftables' own reverse-path lookup (fib) for the camera's address"));
    return Value::unknown(QStringLiteral("an expression this check does not read (%1)").arg(k.isEmpty() ? QStringLiteral("?") : k));
}

Tri NftRuleTranslator::matchElement(const Value &value, const QJsonValue &element, int depth) const
{
    if (element.isObject()) {
        const QJsonObject object = element.toObject();
        const QString k = singleKey(object);
        const QJsonValue inner = object.value(k);
        if (k == QLatin1String("elem"))
            return matches(value, inner.toObject().value(QStringLiteral("val")), depth + 1);
        if (k == QLatin1String("set"))
            return matches(value, inner, depth + 1);
        if (k == QLatin1String("range")) {
            const QJsonArray r = inner.toArray();
            if (value.kind == Value::Kind::Number && r.at(0).isDouble() && r.at(1).isDouble())
                return value.number >= qint64(r.at(0).toDouble()) && value.number <= qint64(r.at(1).toDouble()) ? Tri::Yes : Tri::No;
            quint32 low = 0;
            quint32 high = 0;
            if (value.kind == Value::Kind::Address && parseIpv4(r.at(0).toString(), &low) && parseIpv4(r.at(1).toString(), &high))
                return value.address >= low && value.address <= high ? Tri::Yes : Tri::No;
            return Tri::Maybe;
        }
        if (k == QLatin1String("prefix")) {
            const QJsonObject p = inner.toObject();
            quint32 network = 0;
            const int length = p.value(QStringLiteral("len")).toInt(-1);
            if (value.kind != Value::Kind::Address || !parseIpv4(p.value(QStringLiteral("addr")).toString(), &network)
                || length < 0 || length > 32)
                return Tri::Maybe;
            const quint32 mask = length == 0 ? 0 : ~quint32(0) << (32 - length);
            return (value.address & mask) == (network & mask) ? Tri::Yes : Tri::No;
        }
        return Tri::Maybe;
    }
    if (element.isDouble()) {
        if (value.kind == Value::Kind::Number)
            return value.number == qint64(element.toDouble()) ? Tri::Yes : Tri::No;
        return Tri::Maybe;
    }
    if (element.isString()) {
        const QString text = element.toString();
        if (text.startsWith(QLatin1Char('@'))) {
            const auto set = ruleset.sets.constFind(setKey(text));
            if (set == ruleset.sets.constEnd())
                return Tri::Maybe;
            return matches(value, *set, depth + 1);
        }
        switch (value.kind) {
        case Value::Kind::Number:
            if (!value.text.isEmpty() && value.text == text)
                return Tri::Yes;
            {
                bool ok = false;
                const qint64 n = text.toLongLong(&ok);
                if (ok)
                    return n == value.number ? Tri::Yes : Tri::No;
            }
            return value.text.isEmpty() ? Tri::Maybe : Tri::No;
        case Value::Kind::Text:
            // Interface names may end in a wildcard: "eth*".
            if (text.endsWith(QLatin1Char('*')))
                return value.text.startsWith(text.left(text.size() - 1)) ? Tri::Yes : Tri::No;
            return value.text == text ? Tri::Yes : Tri::No;
        case Value::Kind::Address: {
            quint32 address = 0;
            if (!parseIpv4(text, &address))
                return Tri::Maybe;
            return address == value.address ? Tri::Yes : Tri::No;
        }
        default:
            return Tri::Maybe;
        }
    }
    return Tri::Maybe;
}

Tri NftRuleTranslator::matches(const Value &value, const QJsonValue &right, int depth) const
{
    if (depth > 8)
        return Tri::Maybe;
    if (right.isArray()) {
        Tri any = Tri::No;
        const QJsonArray elements = right.toArray();
        for (const QJsonValue &element : elements) {
            const Tri t = matchElement(value, element, depth);
            if (t == Tri::Yes)
                return Tri::Yes;
            if (t == Tri::Maybe)
                any = Tri::Maybe;
        }
        return any;
    }
    return matchElement(value, right, depth);
}

Tri NftRuleTranslator::evaluateMatch(const QJsonObject &match, QString *why) const
{
    const Value value = valueOf(match.value(QStringLiteral("left")));
    if (value.kind == Value::Kind::Absent)
        return Tri::No;
    if (value.kind == Value::Kind::Unknown) {
        *why = value.why;
        return Tri::Maybe;
    }
    const QString op = match.value(QStringLiteral("op")).toString();
    const QJsonValue right = match.value(QStringLiteral("right"));
    Tri result = Tri::Maybe;
    if (op == QLatin1String("==") || op == QLatin1String("in")) {
        result = matches(value, right);
    } else if (op == QLatin1String("!=")) {
        result = ChainWalk::negated(matches(value, right));
    } else if (value.kind == Value::Kind::Number && right.isDouble()) {
        const qint64 n = qint64(right.toDouble());
        if (op == QLatin1String("<"))
            result = value.number < n ? Tri::Yes : Tri::No;
        else if (op == QLatin1String(">"))
            result = value.number > n ? Tri::Yes : Tri::No;
        else if (op == QLatin1String("<="))
            result = value.number <= n ? Tri::Yes : Tri::No;
        else if (op == QLatin1String(">="))
            result = value.number >= n ? Tri::Yes : Tri::No;
    }
    if (result == Tri::Maybe && why->isEmpty())
        *why = QStringLiteral("a match this check cannot read (%1)").arg(statementText(QJsonObject{{QStringLiteral("match"), match}}));
    const QJsonObject left = match.value(QStringLiteral("left")).toObject();
    if (singleKey(left) == QLatin1String("ct") && value.text == QLatin1String("new") && result != Tri::Yes
        && valueText(right).contains(QLatin1String("established"))) {
        const QString note = QStringLiteral("the cameras' answers to a broadcast query are not \"established\" for "
                                            "conntrack: they come from the cameras' addresses, not from the broadcast "
                                            "address the query went to, so \"ct state established\" does not let them in");
        if (!notes->contains(note))
            notes->append(note);
    }
    return result;
}

ChainWalk::Action NftRuleTranslator::verdictOf(const QJsonObject &statement, bool *isVerdict) const
{
    using Kind = ChainWalk::Action::Kind;
    ChainWalk::Action action;
    *isVerdict = true;
    const QString k = singleKey(statement);
    if (k == QLatin1String("accept")) {
        action.kind = Kind::Accept;
    } else if (k == QLatin1String("drop") || k == QLatin1String("reject")) {
        action.kind = Kind::Drop;
    } else if (k == QLatin1String("return")) {
        action.kind = Kind::Return;
    } else if (k == QLatin1String("continue")) {
        action.kind = Kind::None;
    } else if (k == QLatin1String("jump") || k == QLatin1String("goto")) {
        action.kind = k == QLatin1String("jump") ? Kind::Jump : Kind::Goto;
        action.target = NftRuleset::key(family, table,
                                        statement.value(k).toObject().value(QStringLiteral("target")).toString());
    } else if (k == QLatin1String("queue")) {
        action.kind = Kind::Unsure;
        action.target = QStringLiteral("hands the datagram to a program in user space (queue), which decides");
    } else if (k == QLatin1String("dnat") || k == QLatin1String("redirect") || k == QLatin1String("tproxy")
               || k == QLatin1String("fwd")) {
        action.kind = Kind::Unsure;
        action.target = QStringLiteral("it sends the datagram elsewhere (%1)").arg(k);
    } else {
        *isVerdict = false;
    }
    return action;
}

ChainWalk::Rule NftRuleTranslator::translate(const QJsonArray &expr) const
{
    ChainWalk::Rule rule;
    QStringList texts;
    Tri prefix = Tri::Yes;
    QString why;
    bool done = false;
    for (const QJsonValue &item : expr) {
        const QJsonObject statement = item.toObject();
        texts.append(statementText(statement));
        if (done)
            continue;
        const QString k = singleKey(statement);
        if (k == QLatin1String("match")) {
            QString matchWhy;
            const Tri t = evaluateMatch(statement.value(k).toObject(), &matchWhy);
            if (t == Tri::Maybe && why.isEmpty())
                why = matchWhy;
            prefix = ChainWalk::both(prefix, t);
            continue;
        }
        if (k == QLatin1String("limit") || k == QLatin1String("quota") || k == QLatin1String("xt")
            || k == QLatin1String("ct count") || k == QLatin1String("meter")) {
            if (why.isEmpty())
                why = k == QLatin1String("xt")
                    ? QStringLiteral("an iptables extension written into nftables (xt), which this check cannot read")
                    : QStringLiteral("a rate limit or quota (%1)").arg(k);
            prefix = ChainWalk::both(prefix, Tri::Maybe);
            continue;
        }
        if (k == QLatin1String("vmap")) {
            const QJsonObject vmap = statement.value(k).toObject();
            QString keyWhy;
            const Value value = valueOf(vmap.value(QStringLiteral("key")));
            QJsonArray elements;
            const QJsonValue data = vmap.value(QStringLiteral("data"));
            if (data.isString())
                elements = ruleset.sets.value(setKey(data.toString()));
            else
                elements = data.toObject().value(QStringLiteral("set")).toArray();
            for (const QJsonValue &element : qAsConst(elements)) {
                const QJsonArray pair = element.toArray();
                bool isVerdict = false;
                ChainWalk::Alternative alternative;
                alternative.action = verdictOf(pair.at(1).toObject(), &isVerdict);
                Tri t = value.kind == Value::Kind::Absent ? Tri::No
                      : value.kind == Value::Kind::Unknown ? Tri::Maybe
                                                            : matchElement(value, pair.at(0), 0);
                alternative.when = ChainWalk::both(prefix, t);
                alternative.why = value.kind == Value::Kind::Unknown ? value.why : why;
                if (alternative.why.isEmpty())
                    alternative.why = QStringLiteral("a verdict map this check cannot read");
                if (isVerdict)
                    rule.alternatives.append(alternative);
            }
            done = true;
            continue;
        }
        bool isVerdict = false;
        const ChainWalk::Action action = verdictOf(statement, &isVerdict);
        if (isVerdict) {
            rule.alternatives.append(ChainWalk::Alternative{prefix, action, why});
            done = true;
        }
        // Anything else (counter, log, mark or set updates, NAT of other
        // hooks) does not decide the datagram's fate.
    }
    if (!done)
        rule.alternatives.append(ChainWalk::Alternative{prefix, ChainWalk::Action{}, why});
    rule.text = texts.join(QLatin1Char(' ')).left(NftRuleset::MaxRuleTextLength);
    return rule;
}

QString NftRuleset::key(const QString &family, const QString &table, const QString &name)
{
    return family + QLatin1Char(' ') + table + QLatin1Char(' ') + name;
}

bool NftRuleset::parse(const QByteArray &json, QString *error)
{
    chains.clear();
    chainOrder.clear();
    sets.clear();
    rules = 0;
    tables = 0;
    if (json.size() > MaxJsonBytes) {
        *error = QStringLiteral("the ruleset listing is larger than %1 MiB").arg(MaxJsonBytes / (1024 * 1024));
        return false;
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        *error = QStringLiteral("the ruleset listing is not JSON (%1)").arg(parseError.errorString());
        return false;
    }
    const QJsonValue list = document.object().value(QStringLiteral("nftables"));
    if (!list.isArray()) {
        *error = QStringLiteral("the listing has no \"nftables\" array");
        return false;
    }
    const QJsonArray items = list.toArray();
    for (const QJsonValue &item : items) {
        const QJsonObject object = item.toObject();
        const QString kind = singleKey(object);
        const QJsonObject body = object.value(kind).toObject();
        const QString family = body.value(QStringLiteral("family")).toString();
        const QString table = body.value(QStringLiteral("table")).toString();
        const QString name = body.value(QStringLiteral("name")).toString();
        if (kind == QLatin1String("table")) {
            ++tables;
        } else if (kind == QLatin1String("chain")) {
            ChainInfo chain;
            chain.family = family;
            chain.table = table;
            chain.name = name;
            chain.type = body.value(QStringLiteral("type")).toString();
            chain.hook = body.value(QStringLiteral("hook")).toString();
            chain.priority = body.value(QStringLiteral("prio")).toInt();
            chain.policyAccept = body.value(QStringLiteral("policy")).toString() != QLatin1String("drop");
            const QJsonValue dev = body.value(QStringLiteral("dev"));
            if (dev.isString())
                chain.devices.append(dev.toString());
            const QJsonArray devs = dev.isArray() ? dev.toArray() : QJsonArray();
            for (const QJsonValue &d : devs)
                chain.devices.append(d.toString());
            const QString k = key(family, table, name);
            if (!chains.contains(k))
                chainOrder.append(k);
            chains.insert(k, chain);
        } else if (kind == QLatin1String("rule")) {
            if (++rules > MaxRules) {
                *error = QStringLiteral("the ruleset has more than %1 rules").arg(MaxRules);
                chains.clear();
                chainOrder.clear();
                return false;
            }
            const QString k = key(family, table, body.value(QStringLiteral("chain")).toString());
            // A rule listed before its chain still belongs to it.
            if (!chains.contains(k)) {
                ChainInfo chain;
                chain.family = family;
                chain.table = table;
                chain.name = body.value(QStringLiteral("chain")).toString();
                chains.insert(k, chain);
                chainOrder.append(k);
            }
            chains[k].rules.append(body.value(QStringLiteral("expr")).toArray());
        } else if (kind == QLatin1String("set") || kind == QLatin1String("map")) {
            sets.insert(key(family, table, name), body.value(QStringLiteral("elem")).toArray());
        }
    }
    return true;
}

ChainWalk::Verdict NftRuleset::evaluate(const InboundDatagram &datagram) const
{
    struct Base
    {
        int stage;
        int priority;
        int order;
        QString key;
    };
    QList<Base> bases;
    ChainWalk walk;
    QStringList notes;
    for (int i = 0; i < chainOrder.size(); ++i) {
        const ChainInfo &chain = chains[chainOrder.at(i)];
        const bool ipv4 = chain.family == QLatin1String("ip") || chain.family == QLatin1String("inet");
        int stage = -1;
        if (chain.hook == QLatin1String("ingress")
            && (chain.family == QLatin1String("netdev") || chain.family == QLatin1String("inet"))
            && (chain.devices.contains(datagram.interfaceName) || datagram.interfaceName.isEmpty()))
            stage = 0;
        else if (ipv4 && chain.hook == QLatin1String("prerouting"))
            stage = 1;
        else if (ipv4 && chain.hook == QLatin1String("input"))
            stage = 2;
        ChainWalk::Chain walked;
        walked.label = QStringLiteral("chain %1 (table %2 %3%4)")
                           .arg(chain.name, chain.family, chain.table,
                                chain.hook.isEmpty() ? QString()
                                                     : QStringLiteral(", hook %1, policy %2")
                                                           .arg(chain.hook, chain.policyAccept ? QStringLiteral("accept")
                                                                                               : QStringLiteral("drop")));
        walked.base = stage >= 0;
        walked.policyAccept = chain.policyAccept;
        const NftRuleTranslator translator(*this, chain.family, chain.table, datagram, &notes);
        for (const QJsonArray &expr : chain.rules)
            walked.rules.append(translator.translate(expr));
        walk.addChain(chainOrder.at(i), walked);
        if (stage >= 0)
            bases.append(Base{stage, chain.priority, i, chainOrder.at(i)});
    }
    std::stable_sort(bases.begin(), bases.end(), [](const Base &a, const Base &b) {
        return a.stage != b.stage ? a.stage < b.stage : a.priority < b.priority;
    });
    QStringList order;
    for (const Base &b : qAsConst(bases))
        order.append(b.key);
    ChainWalk::Verdict verdict = walk.run(order);
    verdict.reasoning += notes;
    return verdict;
}
