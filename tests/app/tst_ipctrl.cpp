#include "ipctrl.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <QValidator>
#include <QLineEdit>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

class TestIPCtrl : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void typesDottedAddressWithAutomaticAdvance();
    void separatorAfterAutomaticAdvanceIsSwallowed_data();
    void separatorAfterAutomaticAdvanceIsSwallowed();
    void separatorAfterChosenFieldStillMoves();
    void pastedAddressFillsAllFields();
    void emptyFieldsAreSeen();
    void zeroFillsAndJumps();
    void zeroAfterDigitStaysInField();
    void numbersAboveRangeAreRefused();
    void commaAndPeriodJumpButAreNotInserted();
    void periodInLastFieldChangesNothing();
    void typingOverJumpedFieldReplacesIt();
    void backspaceMovesBackOnlyAtStart();
    void arrowKeysCrossFieldsOnlyAtTheEdges();
    void everyKeyPressIsReported();
    void modifiersAndShortcutsDoNotAdvance();
    void bytesRoundTrip();
    void fieldsAcceptOnlyNumbersUpTo255();
    void backgroundIsWhiteEnabledOrNot();

private:
    // Types like a person: each key goes to whatever has the focus now, and
    // the queued advance runs before the next key.
    void type(const QString &keys);
    void press(Qt::Key key);
    QLineEdit *focused() const;
    QString fields() const;

    std::unique_ptr<QWidget> window;
    IPCtrl *ctrl = nullptr;
};

void TestIPCtrl::init()
{
    window = std::make_unique<QWidget>();
    auto *layout = new QVBoxLayout(window.get());
    ctrl = new IPCtrl(window.get());
    layout->addWidget(ctrl);
    window->show();
    QApplication::setActiveWindow(window.get());
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    ctrl->field(0)->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), ctrl->field(0));
}

void TestIPCtrl::cleanup()
{
    window.reset();
    ctrl = nullptr;
}

void TestIPCtrl::type(const QString &keys)
{
    for (const QChar c : keys) {
        QWidget *target = QApplication::focusWidget();
        QVERIFY(target);
        QTest::keyClick(target, c.toLatin1());
        QCoreApplication::processEvents();
    }
}

void TestIPCtrl::press(Qt::Key key)
{
    QWidget *target = QApplication::focusWidget();
    QVERIFY(target);
    QTest::keyClick(target, key);
    QCoreApplication::processEvents();
}

QLineEdit *TestIPCtrl::focused() const
{
    return qobject_cast<QLineEdit *>(QApplication::focusWidget());
}

QString TestIPCtrl::fields() const
{
    QStringList texts;
    for (int i = 0; i < 4; ++i)
        texts << ctrl->field(i)->text();
    return texts.join(QLatin1Char('|'));
}

void TestIPCtrl::typesDottedAddressWithAutomaticAdvance()
{
    type(QStringLiteral("192"));
    QCOMPARE(focused(), ctrl->field(1));
    type(QStringLiteral("168"));
    QCOMPARE(focused(), ctrl->field(2));
    type(QStringLiteral("1"));
    QCOMPARE(focused(), ctrl->field(2)); // one digit could still grow
    type(QStringLiteral("."));
    QCOMPARE(focused(), ctrl->field(3));
    type(QStringLiteral("20"));
    QCOMPARE(focused(), ctrl->field(3));

    QCOMPARE(fields(), QStringLiteral("192|168|1|20"));
    QCOMPARE(ctrl->getAddress(), (IPCtrl::Bytes{192, 168, 1, 20}));

    // A full last field has nowhere to go.
    type(QStringLiteral("5"));
    QCOMPARE(fields(), QStringLiteral("192|168|1|205"));
    QCOMPARE(focused(), ctrl->field(3));
}

void TestIPCtrl::separatorAfterAutomaticAdvanceIsSwallowed_data()
{
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("expected");
    // Typed as written: the separator after a full number or a zero lands
    // in the field the caret has already moved to, and is swallowed there.
    QTest::newRow("full number then zero") << "192.0.2.30" << "192|0|2|30";
    QTest::newRow("zeros") << "10.0.0.1" << "10|0|0|1";
    QTest::newRow("all zero") << "0.0.0.0" << "0|0|0|0";
    QTest::newRow("mask") << "255.255.255.0" << "255|255|255|0";
    QTest::newRow("commas") << "198,51,100,7" << "198|51|100|7";
    QTest::newRow("full numbers") << "203.113.200.199" << "203|113|200|199";
}

void TestIPCtrl::separatorAfterAutomaticAdvanceIsSwallowed()
{
    QFETCH(QString, keys);
    QFETCH(QString, expected);
    type(keys);
    QCOMPARE(fields(), expected);
    QCOMPARE(focused(), ctrl->field(3));
    QVERIFY(!ctrl->hasEmptyField());
}

void TestIPCtrl::separatorAfterChosenFieldStillMoves()
{
    // Only the one separator right after the advance is swallowed: a second
    // one, or one in a field the user chose, still moves on.
    type(QStringLiteral("192.."));
    QCOMPARE(focused(), ctrl->field(2));
    QCOMPARE(fields(), QStringLiteral("192|||"));

    ctrl->clearAddress();
    ctrl->field(0)->setFocus(Qt::MouseFocusReason);
    type(QStringLiteral("0"));
    QCOMPARE(focused(), ctrl->field(1));
    QTest::mouseClick(ctrl->field(1), Qt::LeftButton);   // a click on the field reached
    type(QStringLiteral("."));
    QCOMPARE(focused(), ctrl->field(2));

    // Into a field that already holds a number the separator moves on too.
    ctrl->setAddress({10, 20, 30, 40});
    ctrl->field(0)->setFocus();
    ctrl->field(0)->selectAll();
    type(QStringLiteral("172."));
    QCOMPARE(focused(), ctrl->field(2));
    QCOMPARE(fields(), QStringLiteral("172|20|30|40"));
}

void TestIPCtrl::pastedAddressFillsAllFields()
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    const auto paste = [this] {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_V, Qt::ControlModifier);
        QCoreApplication::processEvents();
    };
    clipboard->setText(QStringLiteral("192.0.2.30"));
    ctrl->field(2)->setFocus();
    paste();
    QCOMPARE(fields(), QStringLiteral("192|0|2|30"));
    QCOMPARE(focused(), ctrl->field(3));
    QCOMPARE(ctrl->getAddress(), (IPCtrl::Bytes{192, 0, 2, 30}));

    // Blanks around it, as a copy from a terminal brings, do not matter.
    clipboard->setText(QStringLiteral(" 198.51.100.7\n"));
    ctrl->field(0)->setFocus();
    paste();
    QCOMPARE(fields(), QStringLiteral("198|51|100|7"));

    // What is not a whole address is pasted as the field takes it, or not at all.
    for (const char *text : {"300.1.2.3", "192.0.2", "192.0.2.030", "1.2.3.4.5"}) {
        ctrl->setAddress({1, 2, 3, 4});
        clipboard->setText(QString::fromLatin1(text));
        ctrl->field(1)->setFocus();
        ctrl->field(1)->selectAll();
        paste();
        QVERIFY2(fields() == QLatin1String("1|2|3|4") || fields() == QLatin1String("1||3|4"), text);
    }
    ctrl->clearAddress();
    clipboard->setText(QStringLiteral("7"));
    ctrl->field(1)->setFocus();
    paste();
    QCOMPARE(fields(), QStringLiteral("|7||"));
}

void TestIPCtrl::emptyFieldsAreSeen()
{
    QVERIFY(ctrl->isBlank());
    QVERIFY(ctrl->hasEmptyField());
    ctrl->setAddress({192, 0, 2, 30});
    QVERIFY(!ctrl->isBlank());
    QVERIFY(!ctrl->hasEmptyField());
    ctrl->field(2)->clear();
    QVERIFY(!ctrl->isBlank());
    QVERIFY(ctrl->hasEmptyField());
    // getAddress still reads it as the bytes the field can give.
    QCOMPARE(ctrl->getAddress(), (IPCtrl::Bytes{192, 0, 0, 30}));
}

void TestIPCtrl::zeroFillsAndJumps()
{
    type(QStringLiteral("0"));
    QCOMPARE(ctrl->field(0)->text(), QStringLiteral("0"));
    QCOMPARE(focused(), ctrl->field(1));

    type(QStringLiteral("000"));
    QCOMPARE(fields(), QStringLiteral("0|0|0|0"));
    QCOMPARE(focused(), ctrl->field(3));

    // A second zero in the last field is refused, not doubled.
    type(QStringLiteral("0"));
    QCOMPARE(ctrl->field(3)->text(), QStringLiteral("0"));
    QCOMPARE(ctrl->getAddress(), (IPCtrl::Bytes{0, 0, 0, 0}));
}

void TestIPCtrl::zeroAfterDigitStaysInField()
{
    type(QStringLiteral("10"));
    QCOMPARE(ctrl->field(0)->text(), QStringLiteral("10"));
    QCOMPARE(focused(), ctrl->field(0));
    type(QStringLiteral("0"));
    QCOMPARE(ctrl->field(0)->text(), QStringLiteral("100"));
    QCOMPARE(focused(), ctrl->field(1));
}

void TestIPCtrl::numbersAboveRangeAreRefused()
{
    type(QStringLiteral("256"));
    QCOMPARE(ctrl->field(0)->text(), QStringLiteral("25"));
    QCOMPARE(focused(), ctrl->field(0));

    type(QStringLiteral("5"));
    QCOMPARE(ctrl->field(0)->text(), QStringLiteral("255"));
    QCOMPARE(focused(), ctrl->field(1));

    // 300 and a leading-zero 01 never get in either.
    type(QStringLiteral("30"));
    QCOMPARE(ctrl->field(1)->text(), QStringLiteral("30"));
    type(QStringLiteral("0"));
    QCOMPARE(ctrl->field(1)->text(), QStringLiteral("30"));
    press(Qt::Key_Period);
    type(QStringLiteral("01"));
    QCOMPARE(ctrl->field(2)->text(), QStringLiteral("0"));
    QCOMPARE(ctrl->field(3)->text(), QStringLiteral("1"));
}

void TestIPCtrl::commaAndPeriodJumpButAreNotInserted()
{
    type(QStringLiteral("10,2.3"));
    QCOMPARE(fields(), QStringLiteral("10|2|3|"));
    QCOMPARE(focused(), ctrl->field(2));

    // Empty fields can be skipped.
    ctrl->clearAddress();
    ctrl->field(0)->setFocus();
    type(QStringLiteral("..7"));
    QCOMPARE(fields(), QStringLiteral("||7|"));
}

void TestIPCtrl::periodInLastFieldChangesNothing()
{
    ctrl->setAddress({1, 2, 3, 4});
    ctrl->field(3)->setFocus();
    ctrl->field(3)->setCursorPosition(1);
    type(QStringLiteral(".,"));
    QCOMPARE(focused(), ctrl->field(3));
    QCOMPARE(fields(), QStringLiteral("1|2|3|4"));
}

void TestIPCtrl::typingOverJumpedFieldReplacesIt()
{
    ctrl->setAddress({10, 20, 30, 40});
    ctrl->field(0)->setFocus();
    ctrl->field(0)->setCursorPosition(2);
    type(QStringLiteral("."));
    QCOMPARE(focused(), ctrl->field(1));
    QCOMPARE(ctrl->field(1)->selectedText(), QStringLiteral("20"));
    type(QStringLiteral("99"));
    QCOMPARE(fields(), QStringLiteral("10|99|30|40"));

    // After a full number the next field is selected as well.
    ctrl->field(0)->setFocus();
    ctrl->field(0)->selectAll();
    type(QStringLiteral("172"));
    QCOMPARE(focused(), ctrl->field(1));
    QCOMPARE(ctrl->field(1)->selectedText(), QStringLiteral("99"));
    type(QStringLiteral("16"));
    QCOMPARE(fields(), QStringLiteral("172|16|30|40"));
}

void TestIPCtrl::backspaceMovesBackOnlyAtStart()
{
    ctrl->setAddress({192, 168, 1, 1});
    ctrl->field(2)->clear();

    // Empty third field: back to the end of the second, nothing deleted.
    ctrl->field(2)->setFocus();
    press(Qt::Key_Backspace);
    QCOMPARE(focused(), ctrl->field(1));
    QCOMPARE(ctrl->field(1)->cursorPosition(), 3);
    QCOMPARE(fields(), QStringLiteral("192|168||1"));

    // Inside a field Backspace just deletes.
    press(Qt::Key_Backspace);
    QCOMPARE(focused(), ctrl->field(1));
    QCOMPARE(ctrl->field(1)->text(), QStringLiteral("16"));

    // At position 0 of a filled field: jump back, delete nothing.
    ctrl->field(3)->setFocus();
    ctrl->field(3)->setCursorPosition(0);
    press(Qt::Key_Backspace);
    QCOMPARE(focused(), ctrl->field(2));
    QCOMPARE(ctrl->field(3)->text(), QStringLiteral("1"));

    // The first field has nothing before it.
    ctrl->field(0)->setFocus();
    ctrl->field(0)->setCursorPosition(0);
    press(Qt::Key_Backspace);
    QCOMPARE(focused(), ctrl->field(0));
    QCOMPARE(fields(), QStringLiteral("192|16||1"));
}

void TestIPCtrl::arrowKeysCrossFieldsOnlyAtTheEdges()
{
    ctrl->setAddress({11, 22, 33, 44});

    ctrl->field(0)->setFocus();
    ctrl->field(0)->setCursorPosition(0);
    press(Qt::Key_Left);
    QCOMPARE(focused(), ctrl->field(0));
    QCOMPARE(ctrl->field(0)->cursorPosition(), 0);

    press(Qt::Key_Right);
    QCOMPARE(focused(), ctrl->field(0));
    QCOMPARE(ctrl->field(0)->cursorPosition(), 1);
    press(Qt::Key_Right);
    QCOMPARE(focused(), ctrl->field(0));
    press(Qt::Key_Right); // at the end now
    QCOMPARE(focused(), ctrl->field(1));
    QCOMPARE(ctrl->field(1)->selectedText(), QStringLiteral("22"));

    ctrl->field(2)->setFocus();
    ctrl->field(2)->setCursorPosition(1);
    press(Qt::Key_Left);
    QCOMPARE(focused(), ctrl->field(2));
    press(Qt::Key_Left);
    QCOMPARE(focused(), ctrl->field(1));
    QCOMPARE(ctrl->field(1)->cursorPosition(), 2);

    ctrl->field(3)->setFocus();
    ctrl->field(3)->setCursorPosition(2);
    press(Qt::Key_Right);
    QCOMPARE(focused(), ctrl->field(3));
    QCOMPARE(ctrl->field(3)->cursorPosition(), 2);

    // An empty field is passed on the right at once.
    ctrl->field(1)->clear();
    ctrl->field(1)->setFocus();
    press(Qt::Key_Right);
    QCOMPARE(focused(), ctrl->field(2));
    QCOMPARE(ctrl->getAddress(), (IPCtrl::Bytes{11, 0, 33, 44}));
}

void TestIPCtrl::everyKeyPressIsReported()
{
    QSignalSpy spy(ctrl, &IPCtrl::signalTextChanged);
    type(QStringLiteral("7"));
    press(Qt::Key_Home);
    press(Qt::Key_Period); // moves, but is not a change
    press(Qt::Key_Backspace);
    press(Qt::Key_Left);
    QCOMPARE(spy.count(), 2);
    QCOMPARE(spy.at(0).at(0).value<QLineEdit *>(), ctrl->field(0));
    QCOMPARE(spy.at(1).at(0).value<QLineEdit *>(), ctrl->field(0));

    // A field holding a single zero advances on any reported key.
    ctrl->setAddress({0, 1, 2, 3});
    ctrl->field(0)->setFocus();
    press(Qt::Key_End);
    QCOMPARE(focused(), ctrl->field(1));
}

void TestIPCtrl::modifiersAndShortcutsDoNotAdvance()
{
    ctrl->setAddress({250, 1, 2, 3});
    ctrl->field(0)->setFocus();
    ctrl->field(0)->setCursorPosition(3);
    QSignalSpy spy(ctrl, &IPCtrl::signalTextChanged);

    press(Qt::Key_Shift);
    press(Qt::Key_Control);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_A, Qt::ControlModifier);
    QCoreApplication::processEvents();
    QCOMPARE(focused(), ctrl->field(0));
    QCOMPARE(ctrl->field(0)->selectedText(), QStringLiteral("250"));
    QCOMPARE(spy.count(), 0);

    // Typing over the selection replaces the octet and advances as usual.
    type(QStringLiteral("192"));
    QCOMPARE(ctrl->field(0)->text(), QStringLiteral("192"));
    QCOMPARE(focused(), ctrl->field(1));
}

void TestIPCtrl::bytesRoundTrip()
{
    ctrl->setAddress({10, 0, 0, 1});
    QCOMPARE(fields(), QStringLiteral("10|0|0|1"));
    QCOMPARE(ctrl->getAddress(), (IPCtrl::Bytes{10, 0, 0, 1}));

    ctrl->setAddress({255, 255, 255, 0});
    QCOMPARE(fields(), QStringLiteral("255|255|255|0"));
    QCOMPARE(ctrl->getAddress(), (IPCtrl::Bytes{255, 255, 255, 0}));

    ctrl->field(1)->clear();
    QCOMPARE(ctrl->getAddress(), (IPCtrl::Bytes{255, 0, 255, 0}));

    ctrl->clearAddress();
    QCOMPARE(fields(), QStringLiteral("|||"));
    QCOMPARE(ctrl->getAddress(), (IPCtrl::Bytes{0, 0, 0, 0}));

    QVERIFY(!ctrl->field(-1));
    QVERIFY(!ctrl->field(4));

    // setText bypasses the validator, as a program may: unreadable text is 0,
    // larger numbers keep their low byte.
    ctrl->field(0)->setText(QStringLiteral("abc"));
    ctrl->field(1)->setText(QStringLiteral("300"));
    ctrl->field(2)->setText(QStringLiteral("-1"));
    ctrl->field(3)->setText(QStringLiteral("7"));
    QCOMPARE(ctrl->getAddress(), (IPCtrl::Bytes{0, 300 & 0xFF, 0, 7}));
}

void TestIPCtrl::fieldsAcceptOnlyNumbersUpTo255()
{
    const QList<QLabel *> dots = ctrl->findChildren<QLabel *>();
    QCOMPARE(dots.size(), 3);
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(dots.at(i)->text(), QStringLiteral("."));
        // Each dot sits between two fields.
        QVERIFY(dots.at(i)->geometry().left() >= ctrl->field(i)->geometry().right());
        QVERIFY(dots.at(i)->geometry().right() <= ctrl->field(i + 1)->geometry().left());
    }

    const QStringList valid {QStringLiteral("0"), QStringLiteral("9"), QStringLiteral("99"),
                            QStringLiteral("199"), QStringLiteral("249"), QStringLiteral("255")};
    const QStringList invalid {QStringLiteral("00"), QStringLiteral("01"), QStringLiteral("256"),
                              QStringLiteral("260"), QStringLiteral("1000"), QStringLiteral("-1"),
                              QStringLiteral(" 1"), QStringLiteral("a")};
    const QValidator *validator = ctrl->field(0)->validator();
    QVERIFY(validator);
    // An empty field is allowed while editing.
    QString empty;
    int emptyPos = 0;
    QVERIFY(validator->validate(empty, emptyPos) != QValidator::Invalid);
    for (QString text : valid) {
        int pos = 0;
        QVERIFY2(validator->validate(text, pos) == QValidator::Acceptable, qPrintable(text));
    }
    for (QString text : invalid) {
        int pos = 0;
        QVERIFY2(validator->validate(text, pos) == QValidator::Invalid, qPrintable(text));
    }
}

void TestIPCtrl::backgroundIsWhiteEnabledOrNot()
{
    // A window colour no style uses, so that any of it showing through the
    // field (behind the dots, at the field's edges) is seen.
    const QColor windowColour(0x80, 0x40, 0x20);
    QWidget host;
    QPalette hostPalette = host.palette();
    hostPalette.setColor(QPalette::Window, windowColour);
    host.setPalette(hostPalette);
    // As the form places them: fixed geometry, no layout.
    auto *field = new IPCtrl(&host);
    field->setGeometry(10, 10, 221, 31);
    // The look the form had with its style sheet, beside it.
    auto *sheetField = new IPCtrl(&host);
    sheetField->setStyleSheet(QStringLiteral("background-color: white"));
    sheetField->setGeometry(10, 50, 221, 31);
    // The focus elsewhere: a blinking caret in one of them is no difference
    // of look.
    auto *focusTaker = new QPushButton(&host);
    focusTaker->setGeometry(10, 90, 80, 25);
    host.resize(240, 120);
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    field->setAddress({192, 0, 2, 30});
    sheetField->setAddress({192, 0, 2, 30});
    focusTaker->setFocus();

    for (const bool enabled : {true, false}) {
        field->setEnabled(enabled);
        sheetField->setEnabled(enabled);
        QCoreApplication::processEvents();
        const QImage shot = field->grab().toImage().convertToFormat(QImage::Format_RGB32);
        const QRect inside = field->contentsRect();
        int white = 0;
        for (int y = inside.top(); y <= inside.bottom(); ++y) {
            for (int x = inside.left(); x <= inside.right(); ++x) {
                const QColor pixel = shot.pixelColor(x, y);
                QVERIFY2(pixel != windowColour, qPrintable(QStringLiteral("%1,%2 enabled=%3")
                                                               .arg(x).arg(y).arg(enabled)));
                white += pixel == Qt::white;
            }
        }
        // Mostly background; the rest is the numbers and dots.
        QVERIFY2(white > inside.width() * inside.height() * 3 / 4, qPrintable(QString::number(white)));
        QCOMPARE(shot, sheetField->grab().toImage().convertToFormat(QImage::Format_RGB32));
    }
}

QTEST_MAIN(TestIPCtrl)
#include "tst_ipctrl.moc"
