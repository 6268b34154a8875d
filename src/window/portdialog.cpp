#include "portdialog.h"

#include "alerts.h"
#include "filetext.h"
#include "look.h"
#include "portsettings.h"
#include "porttext.h"
#include "screenfit.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace app {

namespace {

QTableWidget *table(QWidget *parent, const QString &name, const QStringList &headings)
{
    auto *t = new QTableWidget(0, static_cast<int>(headings.size()), parent);
    t->setObjectName(name);
    t->setHorizontalHeaderLabels(headings);
    t->setSelectionBehavior(QAbstractItemView::SelectRows);
    t->setSelectionMode(QAbstractItemView::SingleSelection);
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->verticalHeader()->hide();
    t->horizontalHeader()->setStretchLastSection(true);
    t->setWordWrap(false);
    t->setTextElideMode(Qt::ElideMiddle); // a stable name differs at its end
    t->verticalHeader()->setDefaultSectionSize(t->fontMetrics().height() + 6);
    return t;
}

void set_cell(QTableWidget *t, int row, int column, const QString &text)
{
    auto *item = new QTableWidgetItem(text);
    item->setToolTip(text);
    t->setItem(row, column, item);
}

} // namespace

PortDialog::PortDialog(PortSettings &settings, int number, QWidget *parent)
    : QDialog(parent), m_settings(settings)
{
    setObjectName(QStringLiteral("portDialog"));
    setWindowTitle(kPortDialogTitle);
    auto *layout = new QVBoxLayout(this);

    m_summary = new QLabel(this);
    m_summary->setObjectName(QStringLiteral("portSummary"));
    m_summary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_summary->setWordWrap(true);
    layout->addWidget(m_summary);

    layout->addWidget(new QLabel(QStringLiteral("ポート名ごとのデバイス:"), this));
    m_mappings = table(this, QStringLiteral("mappingTable"),
                       {QStringLiteral("ポート"), QStringLiteral("デバイス"),
                        QStringLiteral("状態"), QStringLiteral("決め方")});
    m_mappings->setRowCount(calc::kPortCount);
    layout->addWidget(m_mappings, 3);

    auto *detected_row = new QHBoxLayout;
    detected_row->addWidget(new QLabel(QStringLiteral("見つかったシリアルポート:"), this), 1);
    auto *refresh_button = new QPushButton(QStringLiteral("再検出"), this);
    refresh_button->setObjectName(QStringLiteral("refreshButton"));
    refresh_button->setAutoDefault(false);
    detected_row->addWidget(refresh_button);
    layout->addLayout(detected_row);
    m_detected = table(this, QStringLiteral("detectedTable"),
                       {QStringLiteral("デバイス"), QStringLiteral("説明"),
                        QStringLiteral("製造元"), QStringLiteral("シリアル番号"),
                        QStringLiteral("VID:PID"), QStringLiteral("固定名")});
    layout->addWidget(m_detected, 2);

    layout->addLayout(assign_row());

    m_message = new QLabel(this);
    m_message->setObjectName(QStringLiteral("portMessage"));
    m_message->setWordWrap(true);
    m_message->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_message);

    auto *file_note = new QLabel(
        QStringLiteral("割り当ての保存先: %1").arg(QDir::toNativeSeparators(m_settings.path())),
        this);
    file_note->setTextInteractionFlags(Qt::TextSelectableByMouse);
    file_note->setWordWrap(true);
    layout->addWidget(file_note);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setText(QStringLiteral("閉じる"));
    layout->addWidget(buttons);

    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(refresh_button, &QPushButton::clicked, this, &PortDialog::refresh);
    connect_tables();

    resize(fitted_size(QSize(680, 560), available_geometry(parent ? parent : this)));
    m_settings.refresh();
    fill();
    select_number(number);
    if (!m_settings.read().ok())
        say(QStringLiteral("割り当てのファイルを読めません: %1")
                .arg(assignments_read_failure_text(m_settings.read())),
            true);
}

// The device box and the two buttons that keep or clear its assignment.
QHBoxLayout *PortDialog::assign_row()
{
    auto *row = new QHBoxLayout;
    row->addWidget(new QLabel(QStringLiteral("デバイス:"), this));
    m_device = new QLineEdit(this);
    m_device->setObjectName(QStringLiteral("devicePath"));
    row->addWidget(m_device, 1);
    m_assign = new QPushButton(QStringLiteral("割り当て"), this);
    m_assign->setObjectName(QStringLiteral("assignButton"));
    m_assign->setAutoDefault(false);
    row->addWidget(m_assign);
    m_clear = new QPushButton(QStringLiteral("割り当てを解除"), this);
    m_clear->setObjectName(QStringLiteral("clearButton"));
    m_clear->setAutoDefault(false);
    row->addWidget(m_clear);
    return row;
}

void PortDialog::connect_tables()
{
    connect(m_assign, &QPushButton::clicked, this, &PortDialog::assign);
    connect(m_clear, &QPushButton::clicked, this, &PortDialog::clear_assignment);
    connect(m_device, &QLineEdit::returnPressed, this, &PortDialog::assign);
    connect(m_mappings, &QTableWidget::currentCellChanged, this, [this] { show_selected(); });
    connect(m_detected, &QTableWidget::cellClicked, this, [this](int row) {
        const QList<rwlink::DetectedPort> &ports = m_settings.map().detected();
        if (row >= 0 && row < ports.size()) {
            const rwlink::DetectedPort &port = ports[row];
            m_device->setText(port.stable_name.isEmpty() ? port.location : port.stable_name);
        }
    });
    connect(m_detected, &QTableWidget::cellDoubleClicked, this, [this] { assign(); });
}

int PortDialog::selected_number() const
{
    return qBound(1, m_mappings->currentRow() + 1, calc::kPortCount);
}

void PortDialog::select_number(int number)
{
    m_mappings->setCurrentCell(qBound(1, number, calc::kPortCount) - 1, 0);
    show_selected();
}

void PortDialog::refresh()
{
    m_settings.refresh();
    fill();
    show_selected();
    if (!m_settings.read().ok())
        say(QStringLiteral("割り当てのファイルを読めません: %1")
                .arg(assignments_read_failure_text(m_settings.read())),
            true);
    else
        say(QStringLiteral("シリアルポートを %1 個見つけました。")
                .arg(m_settings.map().detected().size()),
            false);
}

void PortDialog::assign()
{
    const int number = selected_number();
    const QString device = m_device->text().trimmed();
    if (device.isEmpty()) {
        say(QStringLiteral("割り当てるデバイスを一覧から選ぶか、パスを入力してください。"), true);
        return;
    }
    const files::WriteOutcome written = m_settings.assign(number, device);
    fill();
    show_selected();
    if (!written.ok) {
        say(QStringLiteral("%1 に割り当てられませんでした: %2")
                .arg(port_name(number), write_failure_text(written)),
            true);
        return;
    }
    const QString kept = m_settings.map().assignments()[std::size_t(number - 1)];
    QString text = QStringLiteral("%1 に %2 を割り当てました。").arg(port_name(number), kept);
    if (const QString renamed = stored_as_text(device, kept); !renamed.isEmpty())
        text += QLatin1Char('\n') + renamed;
    const QString problem = access_problem_text(m_settings.mapping(number));
    if (!problem.isEmpty())
        text += QLatin1Char('\n') + problem;
    say(text, !problem.isEmpty());
    emit assignments_changed();
}

void PortDialog::clear_assignment()
{
    const int number = selected_number();
    const files::WriteOutcome written = m_settings.clear(number);
    fill();
    show_selected();
    if (!written.ok) {
        say(QStringLiteral("%1 の割り当てを解除できませんでした: %2")
                .arg(port_name(number), write_failure_text(written)),
            true);
        return;
    }
    say(QStringLiteral("%1 の割り当てを解除しました。")
            .arg(mapping_summary(m_settings.mapping(number))),
        false);
    emit assignments_changed();
}

void PortDialog::fill()
{
    for (int n = 1; n <= calc::kPortCount; ++n) {
        const rwlink::PortMapping m = m_settings.mapping(n);
        set_cell(m_mappings, n - 1, 0, port_name(n));
        set_cell(m_mappings, n - 1, 1, m.device);
        set_cell(m_mappings, n - 1, 2, presence_text(m.presence));
        set_cell(m_mappings, n - 1, 3, source_text(m));
        m_mappings->item(n - 1, 2)->setData(Qt::UserRole, m.presence == rwlink::Presence::Missing);
    }
    draw_icons();
    const QList<rwlink::DetectedPort> &ports = m_settings.map().detected();
    m_detected->setRowCount(static_cast<int>(ports.size()));
    for (int row = 0; row < ports.size(); ++row) {
        const rwlink::DetectedPort &port = ports[row];
        set_cell(m_detected, row, 0, port.location);
        set_cell(m_detected, row, 1, port.description);
        set_cell(m_detected, row, 2, port.manufacturer);
        set_cell(m_detected, row, 3, port.serial_number);
        set_cell(m_detected, row, 4, usb_id_text(port));
        set_cell(m_detected, row, 5, port.stable_name);
    }
    // A name that stays when adapters are plugged in another order.
    m_device->setPlaceholderText(device_hint(ports));
    m_mappings->resizeColumnToContents(0);
    m_mappings->setColumnWidth(1, 300);
    m_mappings->resizeColumnToContents(2);
    m_detected->resizeColumnsToContents();
}

// The warning beside a missing device, in the look in force.
void PortDialog::draw_icons()
{
    const int size = style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, this);
    const QIcon warning(message_icon(QMessageBox::Warning, this, size));
    for (int row = 0; row < m_mappings->rowCount(); ++row) {
        if (QTableWidgetItem *item = m_mappings->item(row, 2))
            item->setIcon(item->data(Qt::UserRole).toBool() ? warning : QIcon());
    }
}

void PortDialog::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange)
        draw_icons();
    QDialog::changeEvent(event);
}

void PortDialog::show_selected()
{
    const rwlink::PortMapping m = m_settings.mapping(selected_number());
    QString text = mapping_summary(m);
    if (m.source == rwlink::PortSource::Override)
        text +=
            QStringLiteral("\n環境変数 RW7300_COM%1 が割り当てより優先されます。").arg(m.number);
    if (const QString problem = access_problem_text(m); !problem.isEmpty())
        text += QLatin1Char('\n') + problem;
    m_summary->setText(text);
    const QString assigned = m_settings.map().assignments()[std::size_t(m.number - 1)];
    m_device->setText(assigned);
    m_clear->setEnabled(!assigned.isEmpty());
}

void PortDialog::say(const QString &text, bool trouble)
{
    m_message->setText(text);
    set_marked(m_message, trouble); // the window's one mark, not a colour of its own
}

} // namespace app
