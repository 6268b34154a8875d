#include "holds.h"

#include "protocol.h"

#include <QJsonArray>

namespace recorded {

namespace {

using rwlink::CommandKind;

constexpr int kRa05 = calc::kRateRow - 1;

// The entry a command sets; nothing for one that carries no value.
template <class H> auto entry_of(H &holds, const rwlink::Command &command) -> decltype(&holds.clock)
{
    const bool row = command.row >= 1 && command.row <= calc::kTableRows;
    switch (command.kind) {
    case CommandKind::Clock2MHz:
    case CommandKind::Clock250kHz:
        return &holds.clock;
    case CommandKind::RaRow:
        return row ? &holds.ra[command.row - 1] : nullptr;
    case CommandKind::DecRow:
        return row ? &holds.dec[command.row - 1] : nullptr;
    case CommandKind::RaTotal:
        return &holds.ra_total;
    case CommandKind::DecTotal:
        return &holds.dec_total;
    case CommandKind::Rate05:
        return &holds.rate;
    default:
        return nullptr;
    }
}

QString value_of(const QString &body, const rwlink::Command &command)
{
    const bool clock =
        command.kind == CommandKind::Clock2MHz || command.kind == CommandKind::Clock250kHz;
    return clock ? body : QString::fromLatin1(command.value);
}

QJsonValue entry_json(const HeldEntry &entry)
{
    if (!entry)
        return QJsonValue::Null;
    return QJsonObject{{QStringLiteral("value"), entry->value},
                       {QStringLiteral("at"), entry->at.toString(Qt::ISODateWithMs)},
                       {QStringLiteral("mount"), entry->mount}};
}

QJsonArray table_json(const std::array<HeldEntry, calc::kTableRows> &table)
{
    QJsonArray array;
    for (const HeldEntry &entry : table)
        array.append(entry_json(entry));
    return array;
}

} // namespace

QJsonObject holds_json(const Holds &holds)
{
    return {{QStringLiteral("actions"), holds.actions},
            {QStringLiteral("clock"), entry_json(holds.clock)},
            {QStringLiteral("ra"), table_json(holds.ra)},
            {QStringLiteral("dec"), table_json(holds.dec)},
            {QStringLiteral("ra_total"), entry_json(holds.ra_total)},
            {QStringLiteral("dec_total"), entry_json(holds.dec_total)},
            {QStringLiteral("rate"), entry_json(holds.rate)},
            {QStringLiteral("ra05_holds_rate"), holds.rate_in_ra05}};
}

const HeldEntry &Holds::ra05() const
{
    return rate_in_ra05 ? rate : ra[kRa05];
}

bool of_device(const files::SendRecord &record, const QStringList &names)
{
    return (!record.device.isEmpty() && names.contains(record.device)) ||
           (!record.stable_device.isEmpty() && names.contains(record.stable_device));
}

Holds holds_of(const QList<files::SendRecord> &records, const QStringList &names)
{
    Holds holds;
    for (const files::SendRecord &record : records) {
        if (!of_device(record, names))
            continue;
        ++holds.actions;
        holds.last = record;
        for (const QString &body : record.commands) {
            const rwlink::Command command = rwlink::parse_body(body.toLatin1());
            HeldEntry *entry = entry_of(holds, command);
            if (!entry)
                continue;
            *entry = Held{value_of(body, command), record.ended, record.mount_name};
            if (command.kind == CommandKind::Rate05)
                holds.rate_in_ra05 = true;
            else if (command.kind == CommandKind::RaRow && command.row == calc::kRateRow)
                holds.rate_in_ra05 = false;
        }
    }
    return holds;
}

Difference difference(const Holds &holds, const QStringList &bodies)
{
    Difference d;
    for (const QString &body : bodies) {
        const rwlink::Command command = rwlink::parse_body(body.toLatin1());
        const HeldEntry *entry = entry_of(holds, command);
        if (!entry)
            continue;
        // A rate and RA row 05 are both judged by what entry 05 holds.
        const bool ra05 = command.kind == CommandKind::Rate05 ||
                          (command.kind == CommandKind::RaRow && command.row == calc::kRateRow);
        const HeldEntry &held = ra05 ? holds.ra05() : *entry;
        ++d.values;
        const QString value = value_of(body, command);
        if (!held || held->value != value)
            ++d.differing;
    }
    return d;
}

} // namespace recorded
