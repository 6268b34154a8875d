#include "alerts.h"

#include "look.h"

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
    // The one rule of the mark, in the look in force; a switch of look
    // draws the marks shown again.
    control->setProperty("marked", marked);
    control->setStyleSheet(marked ? mark_rule() : QString());
}

} // namespace app
