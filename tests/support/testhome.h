#ifndef TESTHOME_H
#define TESTHOME_H

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

// A home folder of the test's own: HOME and the XDG folders point into it, so
// nothing a test does (Documents, settings, autostart entries, caches)
// reaches the real home. The folder and its Documents, .config,
// .local/share and .cache exist from the start.
class TestHome
{
public:
    // A temporary folder removed with the object, or (with a path) that folder.
    TestHome();
    explicit TestHome(const QString &path);

    bool isValid() const;
    QString path() const;
    QString configHome() const;   // $XDG_CONFIG_HOME
    // Files under the folder that hold any of the texts, as UTF-8 or
    // UTF-16; a keyring daemon's own files (encrypted) are not looked in.
    QStringList filesHolding(const QStringList &texts) const;

    // Points this process's HOME and XDG_* variables at the folder.
    void enter() const;
    // The same variables for a child process.
    void applyTo(QProcessEnvironment *environment) const;

private:
    void create() const;

    std::unique_ptr<QTemporaryDir> temporary;
    QString root;
};

#endif // TESTHOME_H
