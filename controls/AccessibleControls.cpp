#include "controls/AccessibleControls.h"

#include "controls/AnalogClock.h"
#include "controls/LinkLabel.h"

#include <QAccessibleWidget>

#include <algorithm>
#include <cmath>

namespace
{

constexpr double kReadableContrast = 4.5;

class AccessibleClock : public QAccessibleWidget
{
public:
    explicit AccessibleClock(CAnalogClock* clock) : QAccessibleWidget(clock, QAccessible::Clock) {}

    QString text(QAccessible::Text t) const override
    {
        if (t != QAccessible::Value) {
            return QAccessibleWidget::text(t);
        }
        // The dial shows twelve hours: midnight and noon read as 12.
        const QTime shown = static_cast<const CAnalogClock*>(widget())->ShownTime();
        const int hour = shown.hour() == 0 ? 12 : shown.hour();
        return QStringLiteral("%1:%2").arg(hour).arg(shown.toString(QStringLiteral("mm:ss")));
    }
};

class AccessibleLink : public QAccessibleWidget
{
public:
    explicit AccessibleLink(CLinkLabel* link) : QAccessibleWidget(link, QAccessible::Link) {}

    QString text(QAccessible::Text t) const override
    {
        const QString own = QAccessibleWidget::text(t);
        if (t == QAccessible::Name && own.isEmpty()) {
            return static_cast<const CLinkLabel*>(widget())->text();
        }
        return own;
    }
    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& action) override
    {
        if (action == pressAction()) {
            emit static_cast<CLinkLabel*>(widget())->clicked();
        }
    }
};

QAccessibleInterface* Factory(const QString& className, QObject* object)
{
    if (className == QLatin1String("CAnalogClock")) {
        return new AccessibleClock(static_cast<CAnalogClock*>(object));
    }
    if (className == QLatin1String("CLinkLabel")) {
        return new AccessibleLink(static_cast<CLinkLabel*>(object));
    }
    return nullptr;
}

double Linear(double channel)
{
    return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
}

double Luminance(const QColor& colour)
{
    return 0.2126 * Linear(colour.redF()) + 0.7152 * Linear(colour.greenF()) +
           0.0722 * Linear(colour.blueF());
}

} // namespace

namespace AccessibleControls
{

void Install()
{
    static const bool installed = [] {
        QAccessible::installFactory(&Factory);
        return true;
    }();
    (void)installed;
}

double Contrast(const QColor& a, const QColor& b)
{
    const double la = Luminance(a);
    const double lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor LinkColourOn(const QColor& background)
{
    // Towards the end that differs most from the background, white on dark and black on light,
    // one unit of the channels at a time: the least change that reads. The end, step 255, always
    // reads: its contrast and the other end's multiply to 21, so the larger is at least 4.58.
    const bool towardsWhite = Contrast(Qt::white, background) > Contrast(Qt::black, background);
    const auto mixed = [towardsWhite](int step) {
        return towardsWhite ? QColor(step, step, 255) : QColor(0, 0, 255 - step);
    };
    int step = 0;
    while (step < 255 && Contrast(mixed(step), background) < kReadableContrast) {
        ++step;
    }
    return mixed(step);
}

} // namespace AccessibleControls
