#ifndef CLIPROCESS_H
#define CLIPROCESS_H

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <functional>

// pathmere-cli (from PATHMERE_BIN_DIR) run to its end as a child process
// while the event loop keeps running, so camsim's events still arrive. The
// child never inherits PATHMERE_PASSWORD from the test's environment.
class CliProcess
{
public:
    struct Run
    {
        int code = -1;   // -1: did not start, crashed or timed out
        QByteArray out;
        QByteArray err;
        qint64 elapsedMs = 0;   // from the start to the end or the kill
    };

    static QString path();
    // env: "NAME=value" pairs added to the child's environment;
    // whileRunning is called every 50 ms with the process.
    static Run run(const QStringList &args, const QByteArray &input = QByteArray(),
                   const QStringList &env = QStringList(), int timeoutMs = 60000,
                   const std::function<void(QProcess &)> &whileRunning = {});

    // The object of list whose key holds value, or an empty one.
    static QJsonObject find(const QJsonArray &list, const QString &key, const QString &value);

private:
    CliProcess() = delete;
};

#endif // CLIPROCESS_H
