#ifndef AUTOSTARTENTRY_H
#define AUTOSTARTENTRY_H

#include <QString>

// "Launch on startup": an XDG autostart entry in the user's configuration
// folder, $XDG_CONFIG_HOME/autostart/<name>.desktop (~/.config when
// XDG_CONFIG_HOME is unset, empty or not absolute).
//
// The program only reads the entry for its check mark; the Hallbridge helper
// next to the program writes it ("1") and removes it ("0").
class AutostartEntry
{
public:
    explicit AutostartEntry(const QString &name = QStringLiteral("Pathmere"));

    static QString autostartDir();
    QString filePath() const;

    // The check mark: the entry exists, its Exec is not empty and it is not
    // Hidden=true.
    bool isEnabled() const;

    // Writes an entry that starts `program` with "-hide"; replaces any
    // existing entry atomically and creates the folder when missing.
    bool write(const QString &program, QString *errorString = nullptr) const;
    // Removes the entry; true also when there was none.
    bool remove(QString *errorString = nullptr) const;

    // The desktop entry text that write() stores.
    static QByteArray entryText(const QString &name, const QString &program);

    // The helper beside the running program: applicationDirPath + "/Hallbridge".
    static QString helperProgram();
    // Starts the helper detached with "1" (on) or "0" (off). The window does
    // not wait for it; the check mark reads the entry again on the next look.
    static bool startHelper(bool enable);

private:
    QString name;
};

#endif // AUTOSTARTENTRY_H
