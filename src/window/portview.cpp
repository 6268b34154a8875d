#include "portview.h"

#include "porttext.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QSignalBlocker>
#include <QStyle>

namespace app {

namespace {

// The list stays on the screen even for a long stable name.
constexpr int kMaxPopupWidth = 560;

} // namespace

void PortItemDelegate::initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    const QString device = index.data(kDeviceRole).toString();
    if (device.isEmpty())
        return;
    // "Com1" … "Com20" padded to one width, so the devices line up.
    option->text = option->text.leftJustified(6, QLatin1Char(' ')) + QStringLiteral("  ") + device;
    const QStyle *style = option->widget ? option->widget->style() : QApplication::style();
    option->features |= QStyleOptionViewItem::HasDecoration;
    option->decorationSize = QSize(16, 16);
    if (index.data(kMissingRole).toBool()) {
        option->icon = style->standardIcon(QStyle::SP_MessageBoxWarning);
    } else {
        // An empty mark keeps the names in one column.
        QPixmap blank(option->decorationSize);
        blank.fill(Qt::transparent);
        option->icon = QIcon(blank);
    }
    option->textElideMode = Qt::ElideMiddle;
}

PortCombo::PortCombo(QWidget *parent) : QComboBox(parent)
{
    setItemDelegate(new PortItemDelegate(this));
}

void PortCombo::showPopup()
{
    emit popup_about_to_show();
    QAbstractItemView *list = view();
    const int wanted = list->sizeHintForColumn(0) +
                       style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 2 * list->frameWidth() +
                       8;
    list->setMinimumWidth(qBound(width(), wanted, kMaxPopupWidth));
    QComboBox::showPopup();
}

void set_port_items(QComboBox *combo, const rwlink::PortMap &map)
{
    // A change to the current entry's data would put its name back into the
    // box over whatever text stands there; the list reads the data afresh
    // each time it opens.
    const QSignalBlocker quiet(combo->model());
    for (int i = 0; i < combo->count(); ++i) {
        const auto number = i + 1;
        if (combo->itemText(i) != port_name(number))
            continue;
        const rwlink::PortMapping m = map.mapping(number);
        combo->setItemData(i, device_summary(m), kDeviceRole);
        combo->setItemData(i, m.presence == rwlink::Presence::Missing, kMissingRole);
        combo->setItemData(i, mapping_summary(m), Qt::ToolTipRole);
    }
}

} // namespace app
