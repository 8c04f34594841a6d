#include "usermessage.h"

#include <QMessageBox>

namespace {
UserMessage::Observer &observerSlot()
{
    static UserMessage::Observer observer;
    return observer;
}

bool &questionAnswer()
{
    static bool answer = false;
    return answer;
}
} // namespace

void UserMessage::information(const QString &title, const QString &text)
{
    const Observer &observer = observerSlot();
    if (observer) {
        observer(title, text);
        return;
    }
    QMessageBox::information(nullptr, title, text, QMessageBox::Ok);
}

void UserMessage::setObserver(Observer observer)
{
    observerSlot() = std::move(observer);
}

void UserMessage::information(QWidget *parent, const QString &title, const QString &text)
{
    const Observer &observer = observerSlot();
    if (observer) {
        observer(title, text);
        return;
    }
    QMessageBox::information(parent, title, text, QMessageBox::Ok);
}

void UserMessage::warning(QWidget *parent, const QString &title, const QString &text)
{
    const Observer &observer = observerSlot();
    if (observer) {
        observer(title, text);
        return;
    }
    QMessageBox::warning(parent, title, text, QMessageBox::Ok);
}

bool UserMessage::question(QWidget *parent, const QString &title, const QString &text)
{
    const Observer &observer = observerSlot();
    if (observer) {
        observer(title, text);
        return questionAnswer();
    }
    return QMessageBox::warning(parent, title, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::NoButton)
        == QMessageBox::Yes;
}

void UserMessage::setQuestionAnswer(bool yes)
{
    questionAnswer() = yes;
}
