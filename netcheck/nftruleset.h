#ifndef NFTRULESET_H
#define NFTRULESET_H

#include "chainwalk.h"
#include "inbounddatagram.h"

#include <QByteArray>
#include <QHash>
#include <QJsonArray>
#include <QList>
#include <QString>

// nftables' ruleset as `nft -j list ruleset` prints it, read to answer one
// question: would this datagram coming in be dropped? The chains that see an
// incoming IPv4 datagram are walked in the kernel's order (netdev and inet
// ingress on its interface, then prerouting, then input, each by priority);
// the datagram gets in only when every one of them accepts it.
//
// Matches on what is known of the datagram (protocol, ports, interface,
// broadcast or not, the conntrack state "new") are decided; matches on what
// is not known before the search (the camera's address and source port),
// rate limits, iptables extensions and the like are followed both ways (see
// ChainWalk), so the answer is "unsure" where it really depends on them.
class NftRuleset
{
public:
    // A listing of a large ruleset with big sets runs to some megabytes.
    static constexpr int MaxJsonBytes = 16 * 1024 * 1024;
    static constexpr int MaxRules = 50000;
    // Rule texts in the reasoning are cut here.
    static constexpr int MaxRuleTextLength = 160;

    // False, with why, for anything that is not such a listing.
    bool parse(const QByteArray &json, QString *error);

    int ruleCount() const { return rules; }
    int tableCount() const { return tables; }

    ChainWalk::Verdict evaluate(const InboundDatagram &datagram) const;

private:
    struct ChainInfo
    {
        QString family;
        QString table;
        QString name;
        QString type;
        QString hook;        // empty for a regular chain
        QStringList devices; // netdev/inet ingress
        int priority = 0;
        bool policyAccept = true;
        QList<QJsonArray> rules;   // each rule's "expr"
    };

    static QString key(const QString &family, const QString &table, const QString &name);

    QHash<QString, ChainInfo> chains;
    QStringList chainOrder;                  // keys, as listed
    QHash<QString, QJsonArray> sets;          // key -> elements (sets and maps)
    int rules = 0;
    int tables = 0;

    friend class NftRuleTranslator;
};

#endif // NFTRULESET_H
