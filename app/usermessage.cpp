#include "usermessage.h"

#include <QMessageBox>

namespace {
UserMessage::Observer &observerSlot()
{
    static UserMessage::Observer observer;
    return observer;
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
