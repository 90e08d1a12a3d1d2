#pragma once
// The wait animation: a veil over a window with its caption and a moving bar, painted
// before the blocking call it announces begins.
#include <QWidget>

class QLabel;

namespace host::desktop {

class BusyOverlay : public QWidget {
    Q_OBJECT

public:
    explicit BusyOverlay(QWidget* over);
    void Show(const QString& caption);
    QString Caption() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLabel* label_;
};

}  // namespace host::desktop
