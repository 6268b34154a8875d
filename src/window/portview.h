#pragma once

// The port box's drop-down list: each "ComN" with, beside it, the device it
// leads to and a warning mark when that device is missing. The entries'
// own text stays "ComN", which is what PARAM.DAT keeps and the link reads.

#include "ports.h"

#include <QComboBox>
#include <QStyledItemDelegate>

namespace app {

// Item data the list shows beside the name.
inline constexpr int kDeviceRole = Qt::UserRole + 1;  // QString: device summary
inline constexpr int kMissingRole = Qt::UserRole + 2; // bool: the device is missing

class PortItemDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override;
};

// A combo box that says when its list is about to open, so what it lists
// can be looked for again, and widens the list to its longest line.
class PortCombo : public QComboBox {
    Q_OBJECT

public:
    explicit PortCombo(QWidget *parent = nullptr);
    void showPopup() override;

signals:
    void popup_about_to_show();
};

// Writes the twenty mappings into the entries' data.
void set_port_items(QComboBox *combo, const rwlink::PortMap &map);

} // namespace app
