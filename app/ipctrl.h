#ifndef IPCTRL_H
#define IPCTRL_H

#include <QFrame>

#include <array>

class QLineEdit;

// Entry field for one IPv4 address: four number fields separated by dots.
// The caret moves on by itself after a full number, a single zero, a period
// or a comma, and moves back on Backspace or Left at the start of a field.
class IPCtrl : public QFrame
{
    Q_OBJECT
    Q_DISABLE_COPY(IPCtrl)

public:
    using Bytes = std::array<quint8, 4>;

    explicit IPCtrl(QWidget *parent = nullptr);
    ~IPCtrl() override;

    void clearAddress();
    // Byte 0 is the leftmost number.
    void setAddress(const Bytes &address);
    // An empty or unreadable field reads as 0.
    Bytes getAddress() const;

    // The number field at index 0..3, nullptr outside that range.
    QLineEdit *field(int index) const;

    bool eventFilter(QObject *watched, QEvent *event) override;

signals:
    void signalTextChanged(QLineEdit *pEdit);

private slots:
    void onFieldTextChanged(QLineEdit *pEdit);

private:
    int indexOf(const QObject *object) const;
    void focusNext(int index);
    void focusPrevious(int index);

    std::array<QLineEdit *, 4> edits {};
};

#endif // IPCTRL_H
