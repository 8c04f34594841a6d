#ifndef PASSWORDSOURCE_H
#define PASSWORDSOURCE_H

#include <QString>

// Where the camera password comes from, never from the command line (argv is
// visible to every user in ps): one line of standard input, the environment
// variable PATHMERE_PASSWORD, or a prompt without echo when standard input is
// a terminal.
class PasswordSource
{
public:
    static constexpr int MaxLineBytes = 1024;

    // False with a sentence in *error when no usable password was found.
    static bool obtain(bool fromStdin, const QString &user, QString *password, QString *error);

private:
    PasswordSource() = delete;
    static bool readLine(int fd, QString *line, QString *error);
};

#endif // PASSWORDSOURCE_H
