#include "ipctrl.h"

#include <QClipboard>
#include <QEvent>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QRegExp>
#include <QRegExpValidator>
#include <QStringList>

namespace {
// 0 to 255 without leading zeros; the empty text stays allowed so a field can
// be cleared.
const char numberPattern[] = "^(0|[1-9]|[1-9][0-9]|1[0-9][0-9]|2([0-4][0-9]|5[0-5]))$";
} // namespace

IPCtrl::IPCtrl(QWidget *parent)
    : QFrame(parent)
{
    setFrameShape(QFrame::StyledPanel);
    setFrameShadow(QFrame::Sunken);
    // White behind the numbers and the dots, enabled or not. A palette rather
    // than a style sheet: a sheet sends every widget under it through the
    // sheet-aware style, which costs the window's first show measurably.
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    white.setColor(QPalette::Base, Qt::white);
    setPalette(white);
    setAutoFillBackground(true);

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 1, 0);
    layout->setSpacing(0);

    const QRegExp pattern(QString::fromLatin1(numberPattern), Qt::CaseSensitive, QRegExp::RegExp);
    for (std::size_t i = 0; i < edits.size(); ++i) {
        if (i != 0) {
            auto *dot = new QLabel(QStringLiteral("."));
            layout->addWidget(dot, 0);
        }
        auto *edit = new QLineEdit(this);
        edit->setFrame(false);
        edit->setAlignment(Qt::AlignCenter);
        QFont font = edit->font();
        font.setStyleHint(QFont::Monospace, QFont::PreferBitmap);
        font.setFixedPitch(true);
        edit->setFont(font);
        edit->setValidator(new QRegExpValidator(pattern, edit));
        edit->installEventFilter(this);
        layout->addWidget(edit, 1);
        edits.at(i) = edit;
    }

    setMaximumWidth(200);

    // Queued: the advance looks at the field's text after the key has
    // changed it.
    qRegisterMetaType<QLineEdit *>("QLineEdit*");
    connect(this, &IPCtrl::signalTextChanged, this, &IPCtrl::onFieldTextChanged,
            Qt::QueuedConnection);
}

IPCtrl::~IPCtrl() = default;

void IPCtrl::clearAddress()
{
    for (QLineEdit *edit : edits)
        edit->clear();
}

void IPCtrl::setAddress(const Bytes &address)
{
    for (std::size_t i = 0; i < edits.size(); ++i)
        edits.at(i)->setText(QString::number(address.at(i)));
}

bool IPCtrl::hasEmptyField() const
{
    for (const QLineEdit *edit : edits) {
        if (edit->text().isEmpty())
            return true;
    }
    return false;
}

bool IPCtrl::isBlank() const
{
    for (const QLineEdit *edit : edits) {
        if (!edit->text().isEmpty())
            return false;
    }
    return true;
}

IPCtrl::Bytes IPCtrl::getAddress() const
{
    Bytes address {};
    for (std::size_t i = 0; i < edits.size(); ++i) {
        bool ok = false;
        const uint number = edits.at(i)->text().toUInt(&ok, 10);
        address.at(i) = ok ? static_cast<quint8>(number & 0xFFu) : 0;
    }
    return address;
}

QLineEdit *IPCtrl::field(int index) const
{
    if (index < 0 || index >= static_cast<int>(edits.size()))
        return nullptr;
    return edits.at(static_cast<std::size_t>(index));
}

int IPCtrl::indexOf(const QObject *object) const
{
    for (std::size_t i = 0; i < edits.size(); ++i) {
        if (edits.at(i) == object)
            return static_cast<int>(i);
    }
    return -1;
}

void IPCtrl::focusNext(int index)
{
    if (index < 0 || index >= 3)
        return;
    QLineEdit *next = edits.at(static_cast<std::size_t>(index + 1));
    next->setFocus(Qt::OtherFocusReason);
    next->setCursorPosition(0);
    next->selectAll();
}

void IPCtrl::focusPrevious(int index)
{
    if (index <= 0 || index > 3)
        return;
    QLineEdit *previous = edits.at(static_cast<std::size_t>(index - 1));
    previous->setFocus(Qt::OtherFocusReason);
    previous->setCursorPosition(previous->text().size());
}

// Acts on the key and then lets it through: the field still receives every
// key press, so a period after a jump is refused by its validator and a
// Backspace at position 0 deletes nothing.
namespace {

bool isTypingKey(const QKeyEvent &event)
{
    switch (event.key()) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_Meta:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_CapsLock:
    case Qt::Key_NumLock:
        return false;
    default:
        return !(event.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
    }
}

} // namespace

bool IPCtrl::eventFilter(QObject *watched, QEvent *event)
{
    // A field chosen by the user (click, Tab) was not reached by an advance.
    const bool chosen = event->type() == QEvent::MouseButtonPress
        || (event->type() == QEvent::FocusIn && static_cast<QFocusEvent *>(event)->reason() != Qt::OtherFocusReason);
    if (chosen && indexOf(watched) >= 0)
        advancedInto = -1;
    if (event->type() == QEvent::KeyPress) {
        const int index = indexOf(watched);
        if (index >= 0) {
            QLineEdit *edit = edits.at(static_cast<std::size_t>(index));
            const auto *keyEvent = static_cast<QKeyEvent *>(event);
            const bool justAdvanced = advancedInto == index;
            advancedInto = -1;
            if (keyEvent->matches(QKeySequence::Paste) && pasteWholeAddress())
                return true;
            switch (keyEvent->key()) {
            case Qt::Key_Backspace:
                if (edit->text().isEmpty() || edit->cursorPosition() == 0)
                    focusPrevious(index);
                break;
            case Qt::Key_Left:
                if (edit->cursorPosition() == 0)
                    focusPrevious(index);
                break;
            case Qt::Key_Right:
                if (edit->text().isEmpty() || edit->cursorPosition() == edit->text().size())
                    focusNext(index);
                break;
            case Qt::Key_Period:
            case Qt::Key_Comma:
                // The separator the user typed after a full number or a
                // zero: the caret is already where it asks to go.
                if (justAdvanced && edit->text().isEmpty())
                    return true;
                focusNext(index);
                break;
            case Qt::Key_0:
                if (edit->text().isEmpty() || edit->text() == QLatin1String("0")) {
                    edit->setText(QStringLiteral("0"));
                    advanceAutomatically(index);
                }
                emit signalTextChanged(edit);
                break;
            default:
                // A modifier on its own, or a shortcut such as Ctrl+A, types
                // nothing; reporting it would advance out of a full field
                // before the user could select and overwrite it.
                if (!isTypingKey(*keyEvent))
                    break;
                emit signalTextChanged(edit);
                break;
            }
        }
    }
    return QFrame::eventFilter(watched, event);
}

void IPCtrl::onFieldTextChanged(QLineEdit *pEdit)
{
    const int index = indexOf(pEdit);
    if (index < 0)
        return;
    const QString text = pEdit->text();
    const bool full = text.size() == 3 && pEdit->cursorPosition() == 3;
    if ((full || text == QLatin1String("0")) && index != 3) {
        QLineEdit *next = edits.at(static_cast<std::size_t>(index + 1));
        next->setFocus(Qt::OtherFocusReason);
        next->selectAll();
        advancedInto = index + 1;
    }
}

void IPCtrl::advanceAutomatically(int index)
{
    focusNext(index);
    if (index < 3)
        advancedInto = index + 1;
}

bool IPCtrl::pasteWholeAddress()
{
    const QClipboard *clipboard = QGuiApplication::clipboard();
    if (!clipboard)
        return false;
    // Longer than "255.255.255.255" with some blanks around it cannot be one.
    const QString text = clipboard->text().left(64).trimmed();
    const QStringList parts = text.split(QLatin1Char('.'));
    if (text.size() > 15 || parts.size() != 4)
        return false;
    const QRegExp pattern(QString::fromLatin1(numberPattern), Qt::CaseSensitive, QRegExp::RegExp);
    for (const QString &part : parts) {
        if (!pattern.exactMatch(part))
            return false;
    }
    for (std::size_t i = 0; i < edits.size(); ++i)
        edits.at(i)->setText(parts.at(static_cast<int>(i)));
    QLineEdit *last = edits.back();
    last->setFocus(Qt::OtherFocusReason);
    last->setCursorPosition(last->text().size());
    return true;
}
