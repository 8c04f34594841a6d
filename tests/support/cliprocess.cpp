#include "cliprocess.h"

#include <QElapsedTimer>
#include <QProcessEnvironment>
#include <QTest>

QString CliProcess::path()
{
    return qEnvironmentVariable("PATHMERE_BIN_DIR") + QStringLiteral("/pathmere-cli");
}

CliProcess::Run CliProcess::run(const QStringList &args, const QByteArray &input, const QStringList &env, int timeoutMs,
                                const std::function<void(QProcess &)> &whileRunning)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("PATHMERE_PASSWORD"));
    for (const QString &pair : env)
        environment.insert(pair.section(QLatin1Char('='), 0, 0), pair.section(QLatin1Char('='), 1));
    process.setProcessEnvironment(environment);
    QElapsedTimer clock;
    clock.start();
    process.start(path(), args);
    Run result;
    if (!process.waitForStarted(5000))
        return result;
    process.write(input);
    process.closeWriteChannel();
    while (process.state() != QProcess::NotRunning && clock.elapsed() < timeoutMs) {
        if (whileRunning)
            whileRunning(process);
        (void)QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 50);
    }
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(2000);
        result.err = process.readAllStandardError();
        result.elapsedMs = clock.elapsed();
        return result;
    }
    result.elapsedMs = clock.elapsed();
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    result.code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return result;
}

QJsonObject CliProcess::find(const QJsonArray &list, const QString &key, const QString &value)
{
    for (const QJsonValue &v : list) {
        if (v.toObject().value(key).toString() == value)
            return v.toObject();
    }
    return QJsonObject();
}
