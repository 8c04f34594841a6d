#ifndef DPISCALER_H
#define DPISCALER_H

#include <QRect>
#include <QSize>

class QWidget;

// Forms are drawn in design units at 96 dots per inch. Every geometry value v
// becomes trunc(v * scale), truncated toward zero, so that a 200 % desktop
// shows the same layout twice as large.
class DpiScaler
{
public:
    explicit DpiScaler(double scale);

    // Logical horizontal DPI of the desktop divided by 96.
    static double desktopScale();

    double scale() const { return m_scale; }
    int scaled(int value) const;
    QRect scaled(const QRect &rect) const;
    QSize scaled(const QSize &size) const;

    // Scales the geometry of every widget below root that was placed by
    // absolute geometry: the root's children and, inside group boxes, theirs.
    // Widgets managed by a layout (the fields of an IPCtrl, the parts of a
    // table) are left to their layout and their owner.
    void scaleChildren(QWidget *root) const;

    // A form of fixed design size at the desktop's scale: the screen's size
    // logged for support, the window fixed at its scaled size and its
    // children scaled. Returns the scale.
    static double scaleFixedForm(QWidget *window, const QSize &designSize);

private:
    double m_scale;
};

#endif // DPISCALER_H
