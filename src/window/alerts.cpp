#include "alerts.h"

#include <QMessageBox>
#include <QWidget>

namespace app {

void show_warning(QWidget *parent, const QString &object_name, const QString &title,
                  const QString &message)
{
    auto *box = new QMessageBox(QMessageBox::Warning, title, message, QMessageBox::Ok, parent);
    box->setObjectName(object_name);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void set_marked(QWidget *control, bool marked)
{
    // The one rule of the mark. Orange reads on light and dark palettes
    // alike; the selector matches the control itself and not its children
    // (an editable list's own line edit), which carry no such property.
    static const QString kMarkRule =
        QStringLiteral("*[marked=\"true\"] { border: 2px solid #e8702a; }");
    control->setProperty("marked", marked);
    control->setStyleSheet(marked ? kMarkRule : QString());
}

} // namespace app
