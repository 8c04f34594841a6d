#ifndef CHAINWALK_H
#define CHAINWALK_H

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

// The walk of one datagram through firewall chains, shared by the nftables
// and the iptables reader: each reader turns its rules, for the datagram in
// question, into conditions that hold, fail or cannot be decided, and this
// class follows jumps, gotos and returns to a verdict.
//
// A condition that cannot be decided (it depends on the camera's address, a
// rate limit, a set this reader cannot see) splits the walk: both ways are
// followed, and only when they end alike is the verdict certain. Otherwise
// it is "unsure", never a guess.
class ChainWalk
{
public:
    enum class Tri { No, Yes, Maybe };

    struct Action
    {
        enum class Kind { None, Accept, Drop, Return, Jump, Goto, Unsure };
        Kind kind = Kind::None;
        QString target;   // Jump, Goto: the chain; Unsure: why
    };

    // A rule offers alternatives, taken in order: the first whose condition
    // holds acts. A plain rule has one; a verdict map has one per element.
    // When none holds the walk goes on with the next rule.
    struct Alternative
    {
        Tri when = Tri::No;
        Action action;
        QString why;   // for an undecided condition: what it depends on
    };

    struct Rule
    {
        QString text;
        QList<Alternative> alternatives;
    };

    struct Chain
    {
        QString label;        // as a person knows it: "inet filter input"
        QList<Rule> rules;
        bool base = false;
        bool policyAccept = true;   // base chains only
    };

    enum class Outcome { Accepted, Dropped, Unsure };

    struct Verdict
    {
        Outcome outcome = Outcome::Accepted;
        QStringList reasoning;
        QStringList droppedBy;   // keys of the base chains that drop it for certain
        QStringList unsureIn;    // keys of the base chains that may drop it
    };

    // Enough for any hand-written ruleset; a ruleset whose walk takes more
    // steps is reported as unsure.
    static constexpr int MaxSteps = 200000;
    // The kernel allows 16 nested jumps.
    static constexpr int MaxDepth = 16;
    // Undecided rules passed on one way through; each splits the walk, and
    // past this many the answer is "unsure" (a ruleset of a thousand
    // address rules must not exhaust the stack).
    static constexpr int MaxForks = 64;

    void addChain(const QString &key, const Chain &chain);
    bool hasChain(const QString &key) const { return chains.contains(key); }

    // Walks the base chains in the order given (the order the kernel runs
    // them); the datagram is accepted only when every one accepts it.
    Verdict run(const QStringList &baseChainKeys) const;

    static Tri both(Tri a, Tri b);   // a and b
    static Tri negated(Tri t);

private:
    enum Outcomes { AcceptBit = 1, DropBit = 2 };
    struct Frame
    {
        QString chain;
        int next = 0;
    };
    // From rule index, alternative alternative of chainKey on; takeCurrent
    // treats that alternative as holding (one way of an undecided fork).
    int walk(const QString &baseKey, QString chainKey, int index, int alternative, bool takeCurrent,
             QList<Frame> stack, QStringList *reasoning, int *steps, int forks) const;

    QHash<QString, Chain> chains;
};

#endif // CHAINWALK_H
