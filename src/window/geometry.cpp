#include "geometry.h"

#include <QLabel>
#include <QVariant>
#include <QWidget>

#include <cmath>

namespace app {

namespace {
constexpr char kLeft[] = "twipLeft";
constexpr char kTop[] = "twipTop";

void store(QWidget *widget, int left, int top)
{
    widget->setProperty(kLeft, left);
    widget->setProperty(kTop, top);
}
} // namespace

int px(int twips)
{
    return static_cast<int>(std::lround(twips / kTwipsPerPixel));
}

void place(QWidget *widget, int left, int top, int width, int height)
{
    store(widget, left, top);
    widget->setGeometry(px(left), px(top), px(width), px(height));
}

void place_auto(QLabel *label, int left, int top)
{
    store(label, left, top);
    label->adjustSize();
    label->move(px(left), px(top));
}

void move_by(QWidget *widget, int dx, int dy)
{
    const int left = twip_left(widget) + dx;
    const int top = twip_top(widget) + dy;
    store(widget, left, top);
    widget->move(px(left), px(top));
}

int twip_left(const QWidget *widget)
{
    return widget->property(kLeft).toInt();
}
int twip_top(const QWidget *widget)
{
    return widget->property(kTop).toInt();
}

} // namespace app
