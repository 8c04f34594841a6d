#ifndef CORE_H
#define CORE_H

#include <QObject>
#include <QString>

class WebAnalytic;

// The object the web page sees as "core": text in through receiveText, text
// out through sendText. The commands themselves are WebAnalytic's business.
class Core : public QObject
{
    Q_OBJECT

public:
    // analytic is not owned and must outlive the object.
    explicit Core(WebAnalytic *analytic, QObject *parent = nullptr);

signals:
    void sendText(const QString &text);

public slots:
    void receiveText(const QString &text);

private:
    Q_DISABLE_COPY(Core)

    WebAnalytic *const m_analytic;
};

#endif // CORE_H
