#include "ProgressBar.h"

#include <QStyleOptionProgressBar>
#include <QStylePainter>
#include <cmath>

namespace tolvik {

namespace {
// The style draws whole steps; this many of them give a smooth bar.
constexpr int kSteps = 10000;
}  // namespace

ProgressBar::ProgressBar(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void ProgressBar::SetMin(float min) {
    min_ = min;
    update();
}

void ProgressBar::SetMax(float max) {
    max_ = max;
    update();
}

void ProgressBar::SetValue(float value) {
    value_ = value;
    update();
    Q_EMIT ValueChanged(value);
}

QSize ProgressBar::sizeHint() const {
    return {160, 17};
}

void ProgressBar::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionProgressBar option;
    option.initFrom(this);
    option.minimum = 0;
    option.maximum = kSteps;
    const float span = max_ - min_;
    const float part = span > 0.0f ? std::clamp((value_ - min_) / span, 0.0f, 1.0f) : 0.0f;
    option.progress = static_cast<int>(std::lround(part * kSteps));
    option.textVisible = false;
    option.state |= QStyle::State_Horizontal;
    painter.drawControl(QStyle::CE_ProgressBar, option);
}

}  // namespace tolvik
