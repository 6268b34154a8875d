#include "porttext.h"

#include "systemtext.h"

#include <QStringList>

#include <cerrno>

namespace app {

namespace {

QString hex4(quint16 id)
{
    return QStringLiteral("%1").arg(id, 4, 16, QLatin1Char('0'));
}

} // namespace

QString source_text(const rwlink::PortMapping &mapping)
{
    switch (mapping.source) {
    case rwlink::PortSource::Override:
        return QStringLiteral("環境変数 RW7300_COM%1").arg(mapping.number);
    case rwlink::PortSource::Assigned:
        return QStringLiteral("割り当て");
    case rwlink::PortSource::SingleAdapter:
        return QStringLiteral("自動 (USB 変換器が 1 つだけ)");
    case rwlink::PortSource::Default:
        break;
    }
    return QStringLiteral("既定");
}

QString presence_text(rwlink::Presence presence)
{
    switch (presence) {
    case rwlink::Presence::Detected:
        return QStringLiteral("システムが検出");
    case rwlink::Presence::Exists:
        return QStringLiteral("デバイスファイルあり");
    case rwlink::Presence::Missing:
        break;
    }
    return QStringLiteral("見つかりません");
}

QString usb_id_text(const rwlink::DetectedPort &port)
{
    if (!port.vendor_id || !port.product_id)
        return {};
    return hex4(*port.vendor_id) + QLatin1Char(':') + hex4(*port.product_id);
}

QString port_details(const rwlink::DetectedPort &port)
{
    QStringList extra;
    if (!port.manufacturer.isEmpty())
        extra << port.manufacturer;
    if (const QString ids = usb_id_text(port); !ids.isEmpty())
        extra << ids;
    if (!port.serial_number.isEmpty())
        extra << QStringLiteral("S/N ") + port.serial_number;
    QString text = port.description;
    if (!extra.isEmpty()) {
        const QString joined = extra.join(QStringLiteral(", "));
        text = text.isEmpty() ? joined : text + QStringLiteral(" (") + joined + QLatin1Char(')');
    }
    return text;
}

QString detected_port_line(const rwlink::DetectedPort &port)
{
    const QString details = port_details(port);
    return details.isEmpty() ? port.location : port.location + QStringLiteral(" — ") + details;
}

QString device_summary(const rwlink::PortMapping &mapping)
{
    if (mapping.presence == rwlink::Presence::Missing)
        return mapping.device + QStringLiteral(" (見つかりません)");
    if (mapping.detected && !mapping.detected->description.isEmpty()) {
        // A stable name is long and says less than the location does.
        const QString where = mapping.device == mapping.detected->stable_name
                                  ? mapping.detected->location
                                  : mapping.device;
        return where + QStringLiteral(" — ") + mapping.detected->description;
    }
    return mapping.device;
}

QString mapping_summary(const rwlink::PortMapping &mapping)
{
    return QStringLiteral("%1 → %2 (%3)")
        .arg(port_name(mapping.number), device_summary(mapping), source_text(mapping));
}

QString port_status_text(const rwlink::PortMapping &mapping)
{
    if (mapping.refused())
        return access_problem_line(mapping);
    // First, as the line cuts its end: what would stop the upload.
    if (const QString problem = access_problem_text(mapping); !problem.isEmpty())
        return QStringLiteral("注意: %1 の ").arg(port_name(mapping.number)) + problem;
    switch (mapping.presence == rwlink::Presence::Missing ? rwlink::PortSource::Default
                                                          : mapping.source) {
    case rwlink::PortSource::SingleAdapter:
        return QStringLiteral(
                   "%1 は見つかった USB シリアル変換器 %2 を使います (「%3」で変えられます)。")
            .arg(port_name(mapping.number), device_summary(mapping), kPortDialogTitle);
    default:
        break;
    }
    if (mapping.presence == rwlink::Presence::Missing)
        return QStringLiteral("注意: %1 のデバイスが見つかりません。「%2」で割り当ててください: %3")
            .arg(port_name(mapping.number), kPortDialogTitle, mapping.device);
    return QStringLiteral("ポート: ") + mapping_summary(mapping);
}

QString dialout_advice(rwlink::GroupMembership membership)
{
    switch (membership) {
    case rwlink::GroupMembership::NextLogin:
        // usermod was done: doing it again would change nothing.
        return QStringLiteral("dialout グループには入っていますが、ログインし直すまで効きません。"
                              "一度ログアウトしてからログインしてください。");
    case rwlink::GroupMembership::InLogin:
        return QStringLiteral("dialout グループには入っていますが、このデバイスはそのグループでも"
                              "開けません。デバイスの所有者と権限を確かめてください。");
    case rwlink::GroupMembership::NotMember:
    case rwlink::GroupMembership::Unknown:
        break;
    }
    // The command first: a line cut at its end still shows it.
    return QStringLiteral("sudo usermod -aG dialout $USER の後、ログインし直してください "
                          "(dialout グループは新しいログインから効きます)。");
}

namespace {

// The short name: the by-id name is long and says less to the operator.
QString known_device(const rwlink::PortMapping &mapping)
{
    return mapping.detected && mapping.device == mapping.detected->stable_name
               ? mapping.detected->location
               : mapping.device;
}

} // namespace

QString access_problem_text(const rwlink::PortMapping &mapping)
{
    const int error = mapping.access_error;
    if (error == 0 || mapping.presence == rwlink::Presence::Missing)
        return {};
    if (mapping.refused())
        return QStringLiteral("%1 を開く権限がありません。").arg(known_device(mapping)) +
               dialout_advice(mapping.serial_group);
    return QStringLiteral("%1 を今は開けません (%2)。")
        .arg(known_device(mapping), serial_reason_text(QSerialPort::UnknownError, error));
}

QString access_problem_line(const rwlink::PortMapping &mapping)
{
    if (!mapping.refused() || mapping.presence == rwlink::Presence::Missing)
        return {};
    const QString device = known_device(mapping);
    switch (mapping.serial_group) {
    case rwlink::GroupMembership::NextLogin:
        return QStringLiteral(
                   "%1: dialout グループには入っていますが、ログインし直すまで効きません")
            .arg(device);
    case rwlink::GroupMembership::InLogin:
        return QStringLiteral("%1 を開く権限がありません (dialout グループでも開けません)")
            .arg(device);
    case rwlink::GroupMembership::NotMember:
    case rwlink::GroupMembership::Unknown:
        break;
    }
    return QStringLiteral(
               "%1 を開く権限がありません: sudo usermod -aG dialout $USER → ログインし直す")
        .arg(device);
}

QString access_refusal_text(const rwlink::PortMapping &mapping)
{
    return QStringLiteral("%1 のデバイス %2 を開く権限がないため、送信しませんでした。\n\n%3")
        .arg(port_name(mapping.number), known_device(mapping),
             dialout_advice(mapping.serial_group));
}

QString stored_as_text(const QString &given, const QString &kept)
{
    if (given == kept)
        return {};
    return QStringLiteral("%1 は %2 として保存しました (差し込む順が変わっても同じアダプタを"
                          "開きます)。")
        .arg(given, kept);
}

QString device_hint(const QList<rwlink::DetectedPort> &ports)
{
    QString example =
        QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1B2C3D4-if00-port0");
    for (const rwlink::DetectedPort &port : ports) {
        if (!port.stable_name.isEmpty()) {
            example = port.stable_name;
            break;
        }
    }
    return QStringLiteral("一覧から選ぶか、パスを入力 (例: %1)").arg(example);
}

QString detected_ports_text(const QList<rwlink::DetectedPort> &ports)
{
    if (ports.isEmpty())
        return QStringLiteral("  見つかったシリアルポートはありません。");
    QStringList lines;
    for (const rwlink::DetectedPort &port : ports)
        lines << QStringLiteral("  ") + detected_port_line(port);
    return lines.join(QLatin1Char('\n'));
}

QString open_failure_text(const rwlink::OpenFailure &failure, const rwlink::PortMap &map,
                          bool for_command_line)
{
    using Kind = rwlink::OpenFailure::Kind;
    const rwlink::PortMapping &m = failure.mapping;
    const bool direct = m.number == 0;
    const QString reason = serial_reason_text(failure.error, failure.system_error);
    QString text =
        direct ? QStringLiteral("デバイス %1 を開けませんでした (%2)。").arg(m.device, reason)
               : QStringLiteral("%1 のデバイス %2 を開けませんでした (%3)。")
                     .arg(port_name(m.number), m.device, reason);
    switch (failure.kind) {
    case Kind::Missing:
        text += QStringLiteral(
            "\nこのデバイスはありません。ケーブルが抜けていないか確かめてください。");
        break;
    case Kind::Busy:
        text += QStringLiteral("\n別のプログラムがこのデバイスを使っています。そのプログラムを"
                               "終了してから、もう一度送ってください。");
        break;
    case Kind::NoPermission:
        text += QStringLiteral("\nこのデバイスを使う権限がありません。") +
                dialout_advice(m.serial_group);
        break;
    case Kind::Other:
        text += QStringLiteral("\nデバイスがシリアルポートでないか、応答しません。");
        break;
    }
    text += QStringLiteral("\n見つかったシリアルポート:\n") + detected_ports_text(map.detected());
    if (direct) {
        text += QStringLiteral(
            "\n別のデバイスを使うときは、そのデバイスのパスかポート名を指定してください。");
        return text;
    }
    if (m.source == rwlink::PortSource::Override) {
        text += QStringLiteral("\n%1 は環境変数 RW7300_COM%2 で %3 に上書きされています。"
                               "変えるには環境変数を変えるか外してください。")
                    .arg(port_name(m.number))
                    .arg(m.number)
                    .arg(m.device);
        return text;
    }
    text +=
        for_command_line
            ? QStringLiteral("\n%1 に使うデバイスは、--set-port %1=デバイス (一覧は --ports) か、"
                             "ウィンドウの「%2」で割り当てられます。")
                  .arg(port_name(m.number), kPortDialogTitle)
            : QStringLiteral("\n%1 に使うデバイスは「%2」(%3) で割り当てられます。")
                  .arg(port_name(m.number), kPortDialogTitle, kPortDialogWay);
    return text;
}

} // namespace app
