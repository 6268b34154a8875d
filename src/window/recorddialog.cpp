#include "recorddialog.h"

#include "alerts.h"
#include "holds.h"
#include "recordtext.h"
#include "screenfit.h"

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
                           const QString &running_id, QWidget *parent)
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
    for (qsizetype i = read.records.size(); i-- > 0;) { // newest first
        const files::SendRecord &record = read.records.at(i);
        const bool running = !running_id.isEmpty() && record.id == running_id;
        auto *item = new QTreeWidgetItem(
            list, {record.ended.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                   record.port, QDir::toNativeSeparators(record.device),
                   running ? kRecordRunningName : record_result_name(record.result),
                   // What went out so far is the runner's to know until the end.
                   QStringLiteral("%1 / %2")
                       .arg(running ? QStringLiteral("…") : QString::number(record.sent()))
                       .arg(record.planned),
                   record.mount_name, running ? QString() : record_reason_text(record)});
        // The commands themselves, for whoever must know what went out.
        item->setToolTip(0, record.commands.join(QLatin1Char(' ')));
    }
    list->header()->setSectionResizeMode(QHeaderView::ResizeToContents);

    const recorded::Holds held =
        recorded::holds_of(recorded::without_running(read.records, running_id), device_names);
    auto *holds = new QPlainTextEdit(this);
    holds->setObjectName(QStringLiteral("holdsView"));
    holds->setReadOnly(true);
    holds->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    holds->setPlainText(holds_text(held, device_names.value(0)));

    auto *split = new QSplitter(Qt::Vertical, this);
    split->addWidget(list);
    split->addWidget(holds);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setText(QStringLiteral("閉じる"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    // A mix leads, marked as the port line marks it.
    if (const QString mixed = mixed_text(held); !mixed.isEmpty()) {
        auto *line = new QLabel(mixed, this);
        line->setObjectName(QStringLiteral("mixedLine"));
        line->setWordWrap(true);
        set_marked(line, true);
        layout->addWidget(line);
    }
    layout->addWidget(heading);
    layout->addWidget(split, 1);
    layout->addWidget(buttons);
    resize(fitted_size(QSize(760, 520), available_geometry(parent ? parent : this)));
}

} // namespace app
