#ifndef IPCTRL_H
#define IPCTRL_H

#include <QFrame>

#include <array>

class QLineEdit;

// Entry field for one IPv4 address: four number fields separated by dots.
// The caret moves on by itself after a full number, a single zero, a period
// or a comma, and moves back on Backspace or Left at the start of a field.
// A period or comma typed into the empty field the caret has just moved to
// by itself is swallowed, so "192.0.2.30" typed as written gives that
// address; a whole dotted address pasted into any field fills all four.
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
    // Some but not all fields empty, or all of them: an address that cannot
    // be read as typed.
    bool hasEmptyField() const;
    bool isBlank() const;

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
    void advanceAutomatically(int index);
    // A clipboard holding a whole dotted address fills the four fields.
    bool pasteWholeAddress();

    std::array<QLineEdit *, 4> edits {};
    // The field the caret moved to by itself, until the next key; -1 if none.
    int advancedInto = -1;
};

#endif // IPCTRL_H
