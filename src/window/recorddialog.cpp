#include "recorddialog.h"

#include "holds.h"
#include "recordtext.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFontDatabase>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace app {

RecordDialog::RecordDialog(const files::RecordsRead &read, const QStringList &device_names,
                           QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("recordDialog"));
    setWindowTitle(kRecordDialogTitle);
    auto *heading = new QLabel(record_list_heading(read, files::record_path()), this);
    heading->setObjectName(QStringLiteral("recordHeading"));
    heading->setWordWrap(true);

    auto *list = new QTreeWidget(this);
    list->setObjectName(QStringLiteral("recordList"));
    list->setRootIsDecorated(false);
    list->setHeaderLabels({QStringLiteral("終了"), QStringLiteral("ポート"),
                           QStringLiteral("デバイス"), QStringLiteral("結果"),
                           QStringLiteral("送信"), QStringLiteral("マウント"),
                           QStringLiteral("理由")});
    for (auto r = read.records.crbegin(); r != read.records.crend(); ++r) {
        auto *item = new QTreeWidgetItem(
            list, {r->ended.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), r->port,
                   QDir::toNativeSeparators(r->device), record_result_name(r->result),
                   QStringLiteral("%1 / %2").arg(r->sent()).arg(r->planned), r->mount_name,
                   QString(r->reason).replace(QLatin1Char('\n'), QLatin1Char(' '))});
        // The commands themselves, for whoever must know what went out.
        item->setToolTip(0, r->commands.join(QLatin1Char(' ')));
    }
    list->header()->setSectionResizeMode(QHeaderView::ResizeToContents);

    auto *holds = new QPlainTextEdit(this);
    holds->setObjectName(QStringLiteral("holdsView"));
    holds->setReadOnly(true);
    holds->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    holds->setPlainText(
        holds_text(recorded::holds_of(read.records, device_names), device_names.value(0)));

    auto *split = new QSplitter(Qt::Vertical, this);
    split->addWidget(list);
    split->addWidget(holds);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setText(QStringLiteral("閉じる"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(heading);
    layout->addWidget(split, 1);
    layout->addWidget(buttons);
    resize(760, 520);
}

} // namespace app
