#include "cliports.h"

#include "portsettings.h"
#include "porttext.h"

#include <QDir>
#include <QJsonObject>
#include <QJsonValue>
#include <QStringList>

namespace app {

namespace {

// "Com20" is the widest name; the devices line up after it.
constexpr int kNameWidth = 5;

QString assigned_device(const rwlink::PortMap &map, int number)
{
    return map.assignments()[static_cast<std::size_t>(number - 1)];
}

QJsonValue text_or_null(const QString &text)
{
    return text.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(text);
}

QJsonValue id_or_null(const std::optional<quint16> &id)
{
    if (!id)
        return {QJsonValue::Null};
    return QStringLiteral("%1").arg(*id, 4, 16, QLatin1Char('0'));
}

QJsonObject detected_json(const rwlink::DetectedPort &port)
{
    return QJsonObject{{"location", port.location},
                       {"stable_name", text_or_null(port.stable_name)},
                       {"description", port.description},
                       {"manufacturer", port.manufacturer},
                       {"serial_number", port.serial_number},
                       {"vendor_id", id_or_null(port.vendor_id)},
                       {"product_id", id_or_null(port.product_id)}};
}

QLatin1String source_key(rwlink::PortSource source)
{
    switch (source) {
    case rwlink::PortSource::Override:
        return QLatin1String("override");
    case rwlink::PortSource::Assigned:
        return QLatin1String("assigned");
    case rwlink::PortSource::SingleAdapter:
        return QLatin1String("single_adapter");
    case rwlink::PortSource::Default:
        break;
    }
    return QLatin1String("default");
}

QLatin1String presence_key(rwlink::Presence presence)
{
    switch (presence) {
    case rwlink::Presence::Detected:
        return QLatin1String("detected");
    case rwlink::Presence::Exists:
        return QLatin1String("exists");
    case rwlink::Presence::Missing:
        break;
    }
    return QLatin1String("missing");
}

// "システムが検出 /dev/ttyUSB0": the location only when the device is named otherwise.
QString state_text(const rwlink::PortMapping &m)
{
    QString text = presence_text(m.presence);
    if (m.detected && m.detected->location != m.device)
        text += QLatin1Char(' ') + m.detected->location;
    return text;
}

QString mapping_line(const rwlink::PortMap &map, const rwlink::PortMapping &m)
{
    QString how = source_text(m);
    const QString assigned = assigned_device(map, m.number);
    // An override hides the assignment; say so, or the file seems ignored.
    if (m.source == rwlink::PortSource::Override && !assigned.isEmpty())
        how += QStringLiteral("; 割り当て %1 より優先").arg(assigned);
    return QStringLiteral("%1  %2 (%3, %4)")
        .arg(port_name(m.number).leftJustified(kNameWidth), m.device, state_text(m), how);
}

} // namespace

QString ports_text(const PortSettings &settings)
{
    const rwlink::PortMap &map = settings.map();
    QStringList lines;
    lines << QStringLiteral("割り当ての保存先: %1").arg(QDir::toNativeSeparators(settings.path()));
    QList<QStringList> users(map.detected().size()); // ports opening each detected device
    for (int n = 1; n <= calc::kPortCount; ++n) {
        const rwlink::PortMapping m = map.mapping(n);
        lines << mapping_line(map, m);
        if (const qsizetype i = m.detected ? map.detected().indexOf(*m.detected) : -1; i >= 0)
            users[i] << port_name(n);
    }
    lines << QString() << QStringLiteral("見つかったシリアルポート:");
    if (map.detected().isEmpty())
        lines << detected_ports_text(map.detected());
    for (qsizetype i = 0; i < map.detected().size(); ++i) {
        const rwlink::DetectedPort &port = map.detected()[i];
        lines << QStringLiteral("  ") + detected_port_line(port);
        if (!port.stable_name.isEmpty())
            lines << QStringLiteral("    固定名: ") + port.stable_name;
        if (!users[i].isEmpty())
            lines << QStringLiteral("    使うポート: ") + users[i].join(QStringLiteral(", "));
    }
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

QJsonArray ports_json(const rwlink::PortMap &map)
{
    QJsonArray array;
    QList<bool> used(map.detected().size(), false);
    for (int n = 1; n <= calc::kPortCount; ++n) {
        const rwlink::PortMapping m = map.mapping(n);
        if (const qsizetype i = m.detected ? map.detected().indexOf(*m.detected) : -1; i >= 0)
            used[i] = true;
        array.append(QJsonObject{{"port", port_name(n)},
                                 {"device", m.device},
                                 {"source", source_key(m.source)},
                                 {"present", presence_key(m.presence)},
                                 {"assigned", text_or_null(assigned_device(map, n))},
                                 {"detected", m.detected ? QJsonValue(detected_json(*m.detected))
                                                         : QJsonValue(QJsonValue::Null)}});
    }
    for (qsizetype i = 0; i < map.detected().size(); ++i) {
        if (used[i])
            continue;
        const rwlink::DetectedPort &port = map.detected()[i];
        array.append(
            QJsonObject{{"port", QJsonValue(QJsonValue::Null)},
                        {"device", port.stable_name.isEmpty() ? port.location : port.stable_name},
                        {"source", QJsonValue(QJsonValue::Null)},
                        {"present", presence_key(rwlink::Presence::Detected)},
                        {"assigned", QJsonValue(QJsonValue::Null)},
                        {"detected", detected_json(port)}});
    }
    return array;
}

QString assigned_text(const rwlink::PortMap &map, int number, const QString &given)
{
    const rwlink::PortMapping m = map.mapping(number);
    const QString kept = assigned_device(map, number);
    QString text = QStringLiteral("%1 に %2 を割り当てました").arg(port_name(number), kept);
    if (const QString renamed = stored_as_text(given, kept); !renamed.isEmpty())
        text = renamed + QLatin1Char('\n') + text;
    if (m.source == rwlink::PortSource::Override)
        return text + QStringLiteral("。ただし環境変数 RW7300_COM%1 があるあいだは %2 "
                                     "を使います。")
                          .arg(number)
                          .arg(m.device);
    const QString state = m.detected ? presence_text(m.presence) + QStringLiteral(": ") +
                                           detected_port_line(*m.detected)
                                     : presence_text(m.presence);
    return text + QStringLiteral(" (%1)。").arg(state);
}

QString assigned_device_warning(const rwlink::PortMap &map, int number)
{
    // The device assigned, even while an environment variable overrides it:
    // that is what the port opens once the variable is gone.
    const QString kept = assigned_device(map, number);
    const rwlink::PortMapping m = map.examine(kept);
    if (m.presence == rwlink::Presence::Missing)
        return QStringLiteral("%1 は今はありません。アダプタを差し込んでから送信してください。")
            .arg(kept);
    return access_problem_text(m);
}

} // namespace app
