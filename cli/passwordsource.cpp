#include "passwordsource.h"

#include "cliinput.h"

#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

bool PasswordSource::readLine(int fd, QString *line, QString *error)
{
    // Byte by byte: nothing past the line is taken from a pipe a script may
    // still want to read.
    QByteArray bytes;
    for (;;) {
        char c = 0;
        const ssize_t n = ::read(fd, &c, 1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0 || c == '\n')
            break;
        if (bytes.size() >= MaxLineBytes) {
            *error = QStringLiteral("the password line is longer than %1 bytes").arg(MaxLineBytes);
            return false;
        }
        bytes.append(c);
    }
    if (bytes.endsWith('\r'))
        bytes.chop(1);
    *line = QString::fromUtf8(bytes);
    return true;
}

bool PasswordSource::obtain(bool fromStdin, const QString &user, QString *password, QString *error)
{
    QString text;
    if (fromStdin) {
        if (!readLine(STDIN_FILENO, &text, error))
            return false;
    } else if (qEnvironmentVariableIsSet("PATHMERE_PASSWORD")) {
        text = qEnvironmentVariable("PATHMERE_PASSWORD");
    } else if (::isatty(STDIN_FILENO)) {
        std::fprintf(stderr, "Password for %s: ", user.toLocal8Bit().constData());
        std::fflush(stderr);
        termios saved{};
        const bool haveTerminal = ::tcgetattr(STDIN_FILENO, &saved) == 0;
        if (haveTerminal) {
            termios quiet = saved;
            quiet.c_lflag &= ~tcflag_t(ECHO);
            ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
        }
        const bool read = readLine(STDIN_FILENO, &text, error);
        if (haveTerminal)
            ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        std::fprintf(stderr, "\n");
        if (!read)
            return false;
    } else {
        *error = QStringLiteral("no password given: use --password-stdin, the environment variable "
                                "PATHMERE_PASSWORD, or run from a terminal to be asked");
        return false;
    }
    if (!CliInput::credential(text, QStringLiteral("password"), error))
        return false;
    *password = text;
    return true;
}
