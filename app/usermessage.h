#ifndef USERMESSAGE_H
#define USERMESSAGE_H

#include <QString>

#include <functional>

// Every message box of the main window goes through here. A modal box waits
// for a person; tests install an observer instead, which receives title and
// text and keeps the box from ever being shown.
class UserMessage
{
public:
    using Observer = std::function<void(const QString &title, const QString &text)>;

    // QMessageBox::information without parent and with one OK button.
    static void information(const QString &title, const QString &text);

    // Installs (or, with an empty function, removes) the observer.
    static void setObserver(Observer observer);

private:
    UserMessage() = delete;
};

#endif // USERMESSAGE_H
