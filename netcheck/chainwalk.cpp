#include "chainwalk.h"

namespace {

// A walk that forks at every undecided rule could say a great deal; past
// this many lines it only says that it went on.
constexpr int MaxReasoningLines = 40;

void note(QStringList *reasoning, const QString &line)
{
    if (reasoning->size() < MaxReasoningLines)
        reasoning->append(line);
    else if (reasoning->size() == MaxReasoningLines)
        reasoning->append(QStringLiteral("(further steps left out)"));
}

} // namespace

void ChainWalk::addChain(const QString &key, const Chain &chain)
{
    chains.insert(key, chain);
}

ChainWalk::Tri ChainWalk::both(Tri a, Tri b)
{
    if (a == Tri::No || b == Tri::No)
        return Tri::No;
    if (a == Tri::Maybe || b == Tri::Maybe)
        return Tri::Maybe;
    return Tri::Yes;
}

ChainWalk::Tri ChainWalk::negated(Tri t)
{
    return t == Tri::Yes ? Tri::No : t == Tri::No ? Tri::Yes : Tri::Maybe;
}

int ChainWalk::walk(const QString &baseKey, QString chainKey, int index, int alternative, bool takeCurrent,
                    QList<Frame> stack, QStringList *reasoning, int *steps, int forks) const
{
    const auto policy = [&]() {
        const auto base = chains.constFind(baseKey);
        const bool accept = base == chains.constEnd() || base->policyAccept;
        note(reasoning, QStringLiteral("%1 ends: its policy %2 applies")
                            .arg(base == chains.constEnd() ? baseKey : base->label,
                                 accept ? QStringLiteral("accepts it") : QStringLiteral("drops it")));
        return accept ? int(AcceptBit) : int(DropBit);
    };
    for (;;) {
        if (++*steps > MaxSteps) {
            note(reasoning, QStringLiteral("the ruleset takes too many steps to follow; not decided"));
            return AcceptBit | DropBit;
        }
        const auto found = chains.constFind(chainKey);
        if (found == chains.constEnd()) {
            note(reasoning, QStringLiteral("a rule jumps to %1, which the ruleset does not hold; not decided").arg(chainKey));
            return AcceptBit | DropBit;
        }
        const Chain &chain = *found;
        if (index >= chain.rules.size()) {
            if (stack.isEmpty())
                return policy();
            const Frame back = stack.takeLast();
            chainKey = back.chain;
            index = back.next;
            alternative = 0;
            continue;
        }
        const Rule &rule = chain.rules.at(index);
        if (alternative >= rule.alternatives.size()) {
            ++index;
            alternative = 0;
            continue;
        }
        const Alternative &alt = rule.alternatives.at(alternative);
        const Tri when = takeCurrent ? Tri::Yes : alt.when;
        takeCurrent = false;
        if (when == Tri::No) {
            ++alternative;
            continue;
        }
        if (when == Tri::Maybe) {
            if (forks >= MaxForks) {
                note(reasoning, QStringLiteral("more than %1 rules on the way cannot be decided; not decided").arg(MaxForks));
                return AcceptBit | DropBit;
            }
            note(reasoning, QStringLiteral("\"%1\" in %2 may or may not match: it depends on %3")
                                .arg(rule.text, chain.label, alt.why));
            // Both ways, each from its own copy of the position.
            QStringList taken;
            QStringList skipped;
            const int ifTaken = walk(baseKey, chainKey, index, alternative, true, stack, &taken, steps, forks + 1);
            const int ifSkipped = walk(baseKey, chainKey, index, alternative + 1, false, stack, &skipped, steps, forks + 1);
            if (ifTaken == ifSkipped) {
                for (const QString &line : qAsConst(taken))
                    note(reasoning, line);
            } else {
                note(reasoning, QStringLiteral("if it matches:"));
                for (const QString &line : qAsConst(taken))
                    note(reasoning, QStringLiteral("  ") + line);
                note(reasoning, QStringLiteral("if not:"));
                for (const QString &line : qAsConst(skipped))
                    note(reasoning, QStringLiteral("  ") + line);
            }
            return ifTaken | ifSkipped;
        }
        // The alternative holds: act on it.
        switch (alt.action.kind) {
        case Action::Kind::None:
            ++index;
            alternative = 0;
            continue;
        case Action::Kind::Accept:
            note(reasoning, QStringLiteral("\"%1\" in %2 accepts it").arg(rule.text, chain.label));
            return AcceptBit;
        case Action::Kind::Drop:
            note(reasoning, QStringLiteral("\"%1\" in %2 drops it").arg(rule.text, chain.label));
            return DropBit;
        case Action::Kind::Unsure:
            note(reasoning, QStringLiteral("\"%1\" in %2 matches, and %3; not decided")
                                .arg(rule.text, chain.label, alt.action.target));
            return AcceptBit | DropBit;
        case Action::Kind::Return:
            // As if the chain had ended here.
            index = chain.rules.size();
            alternative = 0;
            continue;
        case Action::Kind::Jump:
            if (stack.size() >= MaxDepth) {
                note(reasoning, QStringLiteral("jumps nest deeper than %1; not decided").arg(MaxDepth));
                return AcceptBit | DropBit;
            }
            stack.append(Frame{chainKey, index + 1});
            Q_FALLTHROUGH();
        case Action::Kind::Goto:
            chainKey = alt.action.target;
            index = 0;
            alternative = 0;
            continue;
        }
    }
}

ChainWalk::Verdict ChainWalk::run(const QStringList &baseChainKeys) const
{
    Verdict verdict;
    if (baseChainKeys.isEmpty()) {
        verdict.reasoning.append(QStringLiteral("no chain filters incoming datagrams"));
        return verdict;
    }
    bool anyDrops = false;
    bool allAccept = true;
    for (const QString &key : baseChainKeys) {
        int steps = 0;
        const int outcome = walk(key, key, 0, 0, false, {}, &verdict.reasoning, &steps, 0);
        anyDrops = anyDrops || outcome == DropBit;
        if (outcome == DropBit)
            verdict.droppedBy.append(key);
        else if (outcome != AcceptBit)
            verdict.unsureIn.append(key);
        allAccept = allAccept && outcome == AcceptBit;
    }
    verdict.outcome = anyDrops ? Outcome::Dropped : allAccept ? Outcome::Accepted : Outcome::Unsure;
    return verdict;
}
