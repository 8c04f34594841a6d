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
    void freshValuesAndSetters();
    void copiesAreDeep();
};

void TestResponse::specEntries()
{
    ResponseCompoundSpec spec = fourKinds();
    QCOMPARE(spec.getMainType(0), T::TypeYesNo);
    QCOMPARE(spec.getMainType(3), T::TypeString);
    QCOMPARE(spec.getMainType(4), T::TypeNone);
    QCOMPARE(spec.getMainType(-1), T::TypeNone);
    QCOMPARE(spec.getResponseSpec(4).getMainType(), T::TypeNone);

    QCOMPARE(int(spec.getYesNoResponseSpec(0).subType), 7);
    const ResponseSingleSelectSpec single = spec.getSingleSelectResponseSpec(1);
    QCOMPARE(single.type, T::TypeSingleSelect);
    QCOMPARE(single.reserved, 0);
    QCOMPARE(int(single.subType), 2);
    QCOMPARE(single.choiceCount, 5u);
    QCOMPARE(spec.getMultiSelectResponseSpec(2).choiceCount, 9u);
    QCOMPARE(spec.getStringResponseSpec(3).stringParam, 64);

    // Asked for the wrong kind, or past the end: subType -1.
    const ResponseYNSpec noYesNo = spec.getYesNoResponseSpec(1);
    QCOMPARE(noYesNo.type, T::TypeYesNo);
    QCOMPARE(int(noYesNo.subType), -1);
    const ResponseMultiSelectSpec noMulti = spec.getMultiSelectResponseSpec(-1);
    QCOMPARE(noMulti.type, T::TypeMultiSelect);
    QCOMPARE(int(noMulti.subType), -1);
    QCOMPARE(noMulti.choiceCount, 0u);
    QCOMPARE(int(spec.getStringResponseSpec(0).subType), -1);
    QCOMPARE(spec.getStringResponseSpec(0).stringParam, 0);

    // Single specs are appended; compound and empty ones are not.
    spec.addResponseSpec(ResponseSpec(fourKinds()));
    spec.addResponseSpec(ResponseSpec());
    QCOMPARE(spec.count(), 4);
    spec.addResponseSpec(spec.getResponseSpec(1));
    QCOMPARE(spec.getMainType(4), T::TypeSingleSelect);
    QCOMPARE(spec.getSingleSelectResponseSpec(4).choiceCount, 5u);
}

void TestResponse::freshValuesAndSetters()
{
    ResponseCompound answers(fourKinds());
    QCOMPARE(answers.getYesNoResponse(0).answer, 0);
    QCOMPARE(answers.getSingleSelectResponse(1).choice, 0);
    QCOMPARE(answers.getMultiSelectResponse(2).choices, 0u);
    QVERIFY(answers.getStringResponse(3).text.isEmpty());
    QCOMPARE(answers.getMainType(4), T::TypeNone);
    // The "missing" values: wrong kind or no entry.
    QCOMPARE(answers.getSingleSelectResponse(0).choice, -1);
    QCOMPARE(answers.getYesNoResponse(4).answer, -1);
    QCOMPARE(answers.getYesNoResponse(-1).type, T::TypeYesNo);

    answers.setStringResponse(3, QStringLiteral("tripod"));
    answers.setStringResponse(0, QStringLiteral("ignored"));
    answers.setYesNoResponse(0, 1);
    answers.setYesNoResponse(1, 1);
    answers.setSingleSelectResponse(1, 4);
    answers.setMultiSelectResponse(2, 0x5u);
    answers.setMultiSelectResponse(-1, 0x7u);
    QCOMPARE(answers.getStringResponse(3).text, QString("tripod"));
    QCOMPARE(answers.getYesNoResponse(0).answer, 1);
    QCOMPARE(answers.getSingleSelectResponse(1).choice, 4);
    QCOMPARE(answers.getMultiSelectResponse(2).choices, 0x5u);

    ResponseYN no;
    no.answer = 0;
    answers.setResponse(0, Response(no));
    answers.setResponse(3, Response(no));
    answers.setResponse(9, Response(no));
    QCOMPARE(answers.getYesNoResponse(0).answer, 0);
    QCOMPARE(answers.getStringResponse(3).text, QString("tripod"));
    QCOMPARE(answers.getResponse(9).getMainType(), T::TypeNone);
}

void TestResponse::copiesAreDeep()
{
    ResponseCompound original(fourKinds());
    original.setStringResponse(3, QStringLiteral("first"));
    const Response held(original);
    ResponseCompound copy = held.getCompoundResponse();
    copy.setStringResponse(3, QStringLiteral("second"));
    original.setStringResponse(3, QStringLiteral("third"));
    QCOMPARE(held.getMainType(), T::TypeCompound);
    QCOMPARE(held.getCompoundResponse().getStringResponse(3).text, QString("first"));
    QCOMPARE(copy.getStringResponse(3).text, QString("second"));

    Response assigned;
    assigned = held;
    QCOMPARE(assigned.getCompoundResponse().getStringResponse(3).text, QString("first"));
    QCOMPARE(assigned.getYesNoResponse().answer, -1);

    ResponseSpec spec(fourKinds());
    ResponseSpec specCopy(spec);
    spec = ResponseSpec();
    QCOMPARE(spec.getMainType(), T::TypeNone);
    QCOMPARE(specCopy.getMainType(), T::TypeCompound);
    QCOMPARE(specCopy.getCompoundSpec().getStringResponseSpec(3).stringParam, 64);
}

QTEST_GUILESS_MAIN(TestResponse)

#include "tst_response.moc"
