#ifndef IPTABLESRULESET_H
#define IPTABLESRULESET_H

#include "chainwalk.h"
#include "inbounddatagram.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

// The rules iptables-save prints (legacy iptables, or the iptables front
// end of nftables where nft itself cannot be asked), read to answer the same
// question as NftRuleset: would this datagram coming in be dropped? The
// chains an incoming datagram passes are walked in the kernel's order: raw,
// mangle and nat PREROUTING, then mangle, filter and security INPUT.
//
// Matches that need what is not known (the camera's address), rate limits,
// ipsets and modules this reader does not know split the walk (ChainWalk),
// so such a ruleset answers "unsure" rather than a guess.
class IptablesRuleset
{
public:
    static constexpr int MaxTextBytes = 16 * 1024 * 1024;
    static constexpr int MaxRules = 50000;
    static constexpr int MaxLineLength = 8192;

    // False, with why, for text that is no iptables-save output.
    bool parse(const QByteArray &text, QString *error);

    int ruleCount() const { return rules; }

    ChainWalk::Verdict evaluate(const InboundDatagram &datagram) const;

    // One rule line split as a shell would (quotes, backslashes).
    static QStringList tokens(const QByteArray &line);

private:
    struct ChainInfo
    {
        QString table;
        QString name;
        QString policy;   // "-" for a chain of the user's
        QList<QStringList> rules;   // the tokens after "-A CHAIN"
    };

    ChainWalk::Rule translate(const ChainInfo &chain, const QStringList &rule, const InboundDatagram &datagram,
                              QStringList *notes) const;

    QHash<QString, ChainInfo> chains;   // "table chain"
    int rules = 0;
};

#endif // IPTABLESRULESET_H
