// The response model: a compound built from its spec, index and kind rules,
// and copies that share nothing.
#include "response.h"
#include "responsecompound.h"
#include "responsecompoundspec.h"
#include "responsespec.h"

#include <QtTest>

using T = _EnumResponseMainType;

namespace {

ResponseCompoundSpec fourKinds()
{
    ResponseCompoundSpec spec;
    spec.addYesNoSpec(ResponseYNSpec::SubType(7));
    spec.addSingleSelectSpec(_EnumResponseSelectSubType::SubType(2), 5);
    spec.addMultiSelectSpec(_EnumResponseSelectSubType::SubType(3), 9);
    spec.addStringSpec(ResponseStringSpec::SubType(4), 64);
    return spec;
}

} // namespace

class TestResponse : public QObject
{
    Q_OBJECT

private slots:
    void specEntries();
    void valuesByIndexAndKind();
    void copiesAreDeep();
};

void TestResponse::specEntries()
{
    ResponseCompoundSpec spec = fourKinds();
    QCOMPARE(spec.getMainType(4), T::TypeNone);
    QCOMPARE(spec.getMainType(-1), T::TypeNone);
    const ResponseSingleSelectSpec single = spec.getSingleSelectResponseSpec(1);
    QCOMPARE(int(single.subType), 2);
    QCOMPARE(single.choiceCount, 5u);
    QCOMPARE(spec.getStringResponseSpec(3).stringParam, 64);

    // Wrong kind or no entry: the record of the kind asked for, subType -1.
    QCOMPARE(int(spec.getYesNoResponseSpec(1).subType), -1);
    const ResponseMultiSelectSpec noMulti = spec.getMultiSelectResponseSpec(-1);
    QCOMPARE(noMulti.type, T::TypeMultiSelect);
    QCOMPARE(int(noMulti.subType), -1);
    QCOMPARE(noMulti.choiceCount, 0u);

    // Single specs are appended; compound and empty ones are not.
    spec.addResponseSpec(ResponseSpec(fourKinds()));
    spec.addResponseSpec(ResponseSpec());
    QCOMPARE(spec.count(), 4);
    spec.addResponseSpec(spec.getResponseSpec(1));
    QCOMPARE(spec.getSingleSelectResponseSpec(4).choiceCount, 5u);
}

void TestResponse::valuesByIndexAndKind()
{
    ResponseCompound answers(fourKinds());
    QCOMPARE(answers.getYesNoResponse(0).answer, 0);
    QVERIFY(answers.getStringResponse(3).text.isEmpty());
    QCOMPARE(answers.getMainType(4), T::TypeNone);
    QCOMPARE(answers.getSingleSelectResponse(0).choice, -1);
    QCOMPARE(answers.getYesNoResponse(-1).answer, -1);

    // Setters of the wrong kind or index change nothing.
    answers.setStringResponse(3, QStringLiteral("tripod"));
    answers.setStringResponse(0, QStringLiteral("ignored"));
    answers.setYesNoResponse(1, 1);
    answers.setSingleSelectResponse(1, 4);
    answers.setMultiSelectResponse(-1, 0x7u);
    QCOMPARE(answers.getStringResponse(3).text, QString("tripod"));
    QCOMPARE(answers.getYesNoResponse(0).answer, 0);
    QCOMPARE(answers.getSingleSelectResponse(1).choice, 4);
    QCOMPARE(answers.getMultiSelectResponse(2).choices, 0u);

    ResponseYN yes;
    yes.answer = 1;
    answers.setResponse(0, Response(yes));
    answers.setResponse(3, Response(yes));
    QCOMPARE(answers.getYesNoResponse(0).answer, 1);
    QCOMPARE(answers.getStringResponse(3).text, QString("tripod"));
}

void TestResponse::copiesAreDeep()
{
    ResponseCompound original(fourKinds());
    original.setStringResponse(3, QStringLiteral("first"));
    const Response held(original);
    ResponseCompound copy = held.getCompoundResponse();
    copy.setStringResponse(3, QStringLiteral("second"));
    original.setStringResponse(3, QStringLiteral("third"));
    Response assigned;
    assigned = held;
    QCOMPARE(assigned.getMainType(), T::TypeCompound);
    QCOMPARE(assigned.getCompoundResponse().getStringResponse(3).text, QString("first"));
    QCOMPARE(copy.getStringResponse(3).text, QString("second"));

    ResponseSpec spec(fourKinds());
    const ResponseSpec specCopy(spec);
    spec = ResponseSpec();
    QCOMPARE(specCopy.getCompoundSpec().getStringResponseSpec(3).stringParam, 64);
}

QTEST_GUILESS_MAIN(TestResponse)

#include "tst_response.moc"
