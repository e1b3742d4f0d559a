// A horizontal progress bar whose minimum, maximum and value are single-precision numbers,
// drawn in the style's own progress bar look.
#pragma once

#include <QWidget>

namespace tolvik {

class ProgressBar : public QWidget {
    Q_OBJECT
public:
    explicit ProgressBar(QWidget* parent = nullptr);

    float Min() const { return min_; }
    float Max() const { return max_; }
    float Value() const { return value_; }
    void SetMin(float min);
    void SetMax(float max);
    void SetValue(float value);

    QSize sizeHint() const override;

Q_SIGNALS:
    void ValueChanged(float value);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    float min_ = 0.0f;
    float max_ = 100.0f;
    float value_ = 0.0f;
};

}  // namespace tolvik
