#include "ufwstate.h"

#include <QRegularExpression>

UfwState UfwState::parse(const QByteArray &text)
{
    UfwState state;
    const QList<QByteArray> lines = text.left(MaxTextBytes).split('\n');
    bool inRules = false;
    // Columns are separated by two or more blanks.
    static const QRegularExpression columns(QStringLiteral("\\s{2,}"));
    for (const QByteArray &raw : lines) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.startsWith(QLatin1String("Status:"))) {
            state.active = line.mid(7).trimmed() == QLatin1String("active");
            continue;
        }
        if (line.startsWith(QLatin1String("Default:"))) {
            const QStringList parts = line.mid(8).split(QLatin1Char(','));
            for (const QString &part : parts) {
                if (part.contains(QLatin1String("(incoming)")))
                    state.defaultIncoming = part.trimmed().section(QLatin1Char(' '), 0, 0);
            }
            continue;
        }
        if (line.startsWith(QLatin1String("--"))) {
            inRules = true;
            continue;
        }
        if (!inRules || line.isEmpty() || line.contains(QLatin1String("(v6)")))
            continue;
        const QStringList fields = line.split(columns, Qt::SkipEmptyParts);
        if (fields.size() < 3)
            continue;
        Rule rule;
        rule.text = line;
        rule.to = fields.at(0);
        const int on = rule.to.indexOf(QLatin1String(" on "));
        if (on > 0) {
            rule.interfaceName = rule.to.mid(on + 4).trimmed();
            rule.to = rule.to.left(on).trimmed();
        }
        const QStringList action = fields.at(1).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (action.size() > 1 && action.at(1) != QLatin1String("IN"))
            continue;   // OUT and FWD rules say nothing about what comes in
        rule.action = action.value(0);
        rule.from = fields.at(2);
        state.rules.append(rule);
    }
    return state;
}

ChainWalk::Tri UfwState::lets(quint16 port, const QString &interfaceName, const QHash<QString, QList<quint16>> &appPorts,
                              QString *decidedBy) const
{
    using Tri = ChainWalk::Tri;
    if (!active)
        return Tri::Yes;
    for (const Rule &rule : rules) {
        if (!rule.interfaceName.isEmpty() && rule.interfaceName != interfaceName)
            continue;
        Tri to = Tri::No;
        const QString protocol = rule.to.section(QLatin1Char('/'), 1);
        const QString ports = rule.to.section(QLatin1Char('/'), 0, 0);
        if (rule.to == QLatin1String("Anywhere")) {
            to = Tri::Yes;
        } else if (appPorts.contains(rule.to)) {
            to = appPorts.value(rule.to).contains(port) ? Tri::Yes : Tri::No;
        } else if (!protocol.isEmpty() && protocol != QLatin1String("udp")) {
            to = Tri::No;
        } else {
            bool any = false;
            bool known = true;
            const QStringList items = ports.split(QLatin1Char(','));
            for (const QString &item : items) {
                const QStringList range = item.split(QLatin1Char(':'));
                bool ok1 = false;
                bool ok2 = true;
                const uint low = range.value(0).toUInt(&ok1);
                const uint high = range.size() > 1 ? range.at(1).toUInt(&ok2) : low;
                if (!ok1 || !ok2)
                    known = false;
                else if (port >= low && port <= high)
                    any = true;
            }
            to = any ? Tri::Yes : known ? Tri::No : Tri::Maybe;
        }
        if (to == Tri::No)
            continue;
        const bool fromAnywhere = rule.from.startsWith(QLatin1String("Anywhere"));
        const bool allow = rule.action == QLatin1String("ALLOW") || rule.action == QLatin1String("LIMIT");
        *decidedBy = rule.text;
        if (to == Tri::Maybe || !fromAnywhere)
            return Tri::Maybe;
        if (rule.action == QLatin1String("LIMIT"))
            return Tri::Maybe;
        return allow ? Tri::Yes : Tri::No;
    }
    *decidedBy = QStringLiteral("the default for incoming traffic (%1)").arg(defaultIncoming);
    return defaultIncoming == QLatin1String("allow") ? Tri::Yes : Tri::No;
}
