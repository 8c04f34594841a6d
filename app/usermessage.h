#ifndef USERMESSAGE_H
#define USERMESSAGE_H

#include <QString>

#include <functional>

class QWidget;

// Every message box of the main window goes through here. A modal box waits
// for a person; tests install an observer instead, which receives title and
// text and keeps the box from ever being shown.
class UserMessage
{
public:
    using Observer = std::function<void(const QString &title, const QString &text)>;

    // QMessageBox::information without parent and with one OK button.
    static void information(const QString &title, const QString &text);

    // QMessageBox::information/warning with a parent and one OK button.
    static void information(QWidget *parent, const QString &title, const QString &text);
    static void warning(QWidget *parent, const QString &title, const QString &text);
    // A warning with Yes and No (no default); true for Yes. With an observer
    // installed, the observer sees the question and the answer set by
    // setQuestionAnswer is taken.
    static bool question(QWidget *parent, const QString &title, const QString &text);

    // Installs (or, with an empty function, removes) the observer.
    static void setObserver(Observer observer);
    static void setQuestionAnswer(bool yes);

private:
    UserMessage() = delete;
};

#endif // USERMESSAGE_H
