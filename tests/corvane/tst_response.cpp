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
    void heldKindDecidesTypeAndReads();
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
    ResponseCompound copy = held.get<ResponseCompound>();
    copy.setStringResponse(3, QStringLiteral("second"));
    original.setStringResponse(3, QStringLiteral("third"));
    Response assigned;
    assigned = held;
    QCOMPARE(assigned.getMainType(), T::TypeCompound);
    QCOMPARE(assigned.get<ResponseCompound>().getStringResponse(3).text, QString("first"));
    QCOMPARE(copy.getStringResponse(3).text, QString("second"));

    ResponseSpec spec(fourKinds());
    const ResponseSpec specCopy(spec);
    spec = ResponseSpec();
    QCOMPARE(specCopy.get<ResponseCompoundSpec>().getStringResponseSpec(3).stringParam, 64);
}

// Response and ResponseSpec share one holder: the kind a record is held as
// sets its type field, whatever the caller left in it, and a read of another
// kind answers that kind's "missing" record, for answers and specs alike.
void TestResponse::heldKindDecidesTypeAndReads()
{
    ResponseYN yes;
    yes.type = T::TypeString;
    yes.answer = 1;
    const Response answer(yes);
    QCOMPARE(answer.getMainType(), T::TypeYesNo);
    QCOMPARE(answer.get<ResponseYN>().type, T::TypeYesNo);
    QCOMPARE(answer.get<ResponseYN>().answer, 1);
    QCOMPARE(answer.get<ResponseSingleSelect>().type, T::TypeSingleSelect);
    QCOMPARE(answer.get<ResponseSingleSelect>().choice, -1);
    QCOMPARE(answer.get<ResponseMultiSelect>().choices, 0u);
    QVERIFY(answer.get<ResponseString>().text.isNull());
    QCOMPARE(answer.get<ResponseCompound>().count(), 0);
    QCOMPARE(Response().getMainType(), T::TypeNone);
    QCOMPARE(Response().get<ResponseYN>().answer, -1);

    ResponseStringSpec text;
    text.type = T::TypeYesNo;
    text.subType = ResponseStringSpec::SubType(6);
    text.stringParam = 80;
    const ResponseSpec spec(text);
    QCOMPARE(spec.getMainType(), T::TypeString);
    QCOMPARE(spec.get<ResponseStringSpec>().type, T::TypeString);
    QCOMPARE(spec.get<ResponseStringSpec>().stringParam, 80);
    QCOMPARE(int(spec.get<ResponseYNSpec>().subType), -1);
    QCOMPARE(spec.get<ResponseYNSpec>().type, T::TypeYesNo);
    QCOMPARE(int(spec.get<ResponseSingleSelectSpec>().subType), -1);
    QCOMPARE(spec.get<ResponseMultiSelectSpec>().choiceCount, 0u);
    QCOMPARE(spec.get<ResponseCompoundSpec>().count(), 0);
    QCOMPARE(int(ResponseSpec().get<ResponseStringSpec>().subType), -1);
    QCOMPARE(ResponseSpec().get<ResponseStringSpec>().stringParam, 0);

    // A compound read from a holder of another kind is empty, not shared.
    const ResponseSpec compound(fourKinds());
    QCOMPARE(compound.getMainType(), T::TypeCompound);
    QCOMPARE(compound.get<ResponseCompoundSpec>().count(), 4);
    QCOMPARE(int(compound.get<ResponseYNSpec>().subType), -1);

    // Made by kind alone: a fresh record of that kind, or nothing.
    QCOMPARE(Response(T::TypeSingleSelect).getMainType(), T::TypeSingleSelect);
    QCOMPARE(Response(T::TypeSingleSelect).get<ResponseSingleSelect>().choice, 0);
    QCOMPARE(Response(T::TypeString).get<ResponseString>().type, T::TypeString);
    QCOMPARE(Response(T::TypeCompound).get<ResponseCompound>().count(), 0);
    QCOMPARE(ResponseSpec(T::TypeYesNo).get<ResponseYNSpec>().subType, ResponseYNSpec::SubType(0));
    QCOMPARE(Response(T::TypeNone).getMainType(), T::TypeNone);
    QCOMPARE(Response(_EnumResponseMainType::MainType(9)).getMainType(), T::TypeNone);
}

QTEST_GUILESS_MAIN(TestResponse)

#include "tst_response.moc"
