#include "busy_overlay.h"

#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QVBoxLayout>

namespace host::desktop {

BusyOverlay::BusyOverlay(QWidget* over) : QWidget(over), label_(new QLabel(this)) {
    setObjectName("BusyOverlay");
    setAttribute(Qt::WA_NoSystemBackground);
    auto* layout = new QVBoxLayout(this);
    layout->addStretch();
    label_->setAlignment(Qt::AlignCenter);
    QFont font = label_->font();
    font.setBold(true);
    label_->setFont(font);
    layout->addWidget(label_);
    auto* bar = new QProgressBar(this);
    bar->setRange(0, 0);
    bar->setMaximumWidth(240);
    layout->addWidget(bar, 0, Qt::AlignHCenter);
    layout->addStretch();
    over->installEventFilter(this);
    hide();
}

void BusyOverlay::Show(const QString& caption) {
    label_->setText(caption);
    setGeometry(parentWidget()->rect());
    raise();
    show();
    // The call that follows blocks this thread: paint now, without taking user input.
    repaint();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

QString BusyOverlay::Caption() const { return label_->text(); }

void BusyOverlay::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), QColor(255, 255, 255, 200));
}

bool BusyOverlay::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parentWidget() && event->type() == QEvent::Resize) setGeometry(parentWidget()->rect());
    return QWidget::eventFilter(watched, event);
}

}  // namespace host::desktop
