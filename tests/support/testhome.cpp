#include "testhome.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>

namespace {

struct Variable {
    const char *name;
    const char *below;   // inside the home folder; null for the folder itself
};
const Variable variables[] = {
    {"HOME", nullptr},
    {"XDG_CONFIG_HOME", ".config"},
    {"XDG_DATA_HOME", ".local/share"},
    {"XDG_CACHE_HOME", ".cache"},
};

QString valueOf(const QString &root, const Variable &variable)
{
    return variable.below ? root + QLatin1Char('/') + QLatin1String(variable.below) : root;
}

} // namespace

TestHome::TestHome()
    : temporary(new QTemporaryDir)
    , root(temporary->isValid() ? temporary->path() : QString())
{
    create();
}

TestHome::TestHome(const QString &path)
    : root(path)
{
    create();
}

void TestHome::create() const
{
    if (root.isEmpty())
        return;
    QDir dir(root);
    for (const Variable &variable : variables) {
        if (variable.below)
            dir.mkpath(QLatin1String(variable.below));
    }
    dir.mkpath(QStringLiteral("Documents"));
}

bool TestHome::isValid() const
{
    return !root.isEmpty() && QDir(root).exists();
}

QString TestHome::path() const
{
    return root;
}

QString TestHome::configHome() const
{
    return root + QStringLiteral("/.config");
}

void TestHome::enter() const
{
    for (const Variable &variable : variables)
        qputenv(variable.name, QFile::encodeName(valueOf(root, variable)));
}

void TestHome::applyTo(QProcessEnvironment *environment) const
{
    for (const Variable &variable : variables)
        environment->insert(QLatin1String(variable.name), valueOf(root, variable));
}

QStringList TestHome::filesHolding(const QStringList &texts) const
{
    QStringList found;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (path.contains(QLatin1String("/keyrings/")))
            continue;
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QByteArray data = file.readAll();
        for (const QString &text : texts) {
            const QByteArray utf16(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
            if (data.contains(text.toUtf8()) || data.contains(utf16))
                found.append(path);
        }
    }
    return found;
}
