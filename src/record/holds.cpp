#include "holds.h"

#include "numbertext.h"
#include "protocol.h"

#include <QJsonArray>

#include <algorithm>

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

// The axis whose drive train a command's value came from; nothing for the
// clock and the commands without a value.
std::optional<calc::Axis> axis_of(CommandKind kind)
{
    switch (kind) {
    case CommandKind::RaRow:
    case CommandKind::RaTotal:
    case CommandKind::Rate05:
        return calc::Axis::Ra;
    case CommandKind::DecRow:
    case CommandKind::DecTotal:
        return calc::Axis::Dec;
    default:
        return std::nullopt;
    }
}

std::optional<std::int32_t> clock_of(CommandKind kind)
{
    if (kind == CommandKind::Clock2MHz)
        return calc::kClock2MHz;
    if (kind == CommandKind::Clock250kHz)
        return calc::kClock250kHz;
    return std::nullopt;
}

QString value_of(const QString &body, const rwlink::Command &command)
{
    const bool clock =
        command.kind == CommandKind::Clock2MHz || command.kind == CommandKind::Clock250kHz;
    return clock ? body : QString::fromLatin1(command.value);
}

// The clock, both totals and both tables: what a table upload sets.
constexpr std::size_t kUploadEntries = 3 + 2 * calc::kTableRows;

// Every entry: first the upload's, then the rate.
template <class H> auto entries(H &holds)
{
    std::array<decltype(&holds.clock), kUploadEntries + 1> all{};
    auto *out = all.begin();
    for (auto *e : {&holds.clock, &holds.ra_total, &holds.dec_total})
        *out++ = e;
    for (auto &e : holds.ra)
        *out++ = &e;
    for (auto &e : holds.dec)
        *out++ = &e;
    *out = &holds.rate;
    return all;
}

// What one record set, up to where it stopped.
Holds sent_by(const files::SendRecord &record)
{
    Holds own;
    for (const QString &body : record.commands) {
        const rwlink::Command command = rwlink::parse_body(body.toLatin1());
        HeldEntry *entry = entry_of(own, command);
        if (!entry)
            continue;
        *entry = Held{value_of(body, command), record.ended, record.mount_name};
        // Entry 05 holds one of them: the other is overwritten.
        if (command.kind == CommandKind::Rate05)
            own.ra[kRa05].reset();
        else if (command.kind == CommandKind::RaRow && command.row == calc::kRateRow)
            own.rate.reset();
    }
    return own;
}

bool sets_every_upload_entry(const Holds &own)
{
    const auto all = entries(own);
    return std::all_of(all.begin(), all.begin() + kUploadEntries,
                       [](const HeldEntry *e) { return e->has_value(); });
}

// upload: what the last complete upload sent; rate_whole: the held rate's
// action completed.
bool is_mixed(const Holds &holds, const std::optional<Holds> &upload, bool rate_whole)
{
    if (!upload)
        return true;
    const auto held = entries(holds);
    const auto sent = entries(*upload);
    for (std::size_t i = 0; i < kUploadEntries; ++i) {
        if (held[i] == &holds.ra[kRa05] && holds.rate) {
            if (!rate_whole)
                return true;
            continue;
        }
        if (!*held[i] || (*held[i])->value != (*sent[i])->value)
            return true;
    }
    return false;
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
            {QStringLiteral("mixed"), holds.mixed},
            {QStringLiteral("clock"), entry_json(holds.clock)},
            {QStringLiteral("ra"), table_json(holds.ra)},
            {QStringLiteral("dec"), table_json(holds.dec)},
            {QStringLiteral("ra_total"), entry_json(holds.ra_total)},
            {QStringLiteral("dec_total"), entry_json(holds.dec_total)},
            {QStringLiteral("rate"), entry_json(holds.rate)},
            {QStringLiteral("ra05_holds_rate"), holds.rate.has_value()}};
}

const HeldEntry &Holds::ra05() const
{
    return rate ? rate : ra[kRa05];
}

bool of_device(const files::SendRecord &record, const QStringList &names)
{
    return (!record.device.isEmpty() && names.contains(record.device)) ||
           (!record.stable_device.isEmpty() && names.contains(record.stable_device));
}

bool sound_bodies(const files::SendRecord &record)
{
    return std::all_of(record.commands.begin(), record.commands.end(), [](const QString &body) {
        const rwlink::Command command = rwlink::parse_body(body.toLatin1());
        return command.kind != rwlink::CommandKind::Unknown && command.ok() &&
               body.toLatin1() == body.toUtf8();
    });
}

void pass_over_unsound(files::RecordsRead &read)
{
    read.skipped += static_cast<int>(read.records.removeIf(
        [](const files::SendRecord &record) { return !sound_bodies(record); }));
}

QList<files::SendRecord> without_running(QList<files::SendRecord> records,
                                         const QString &running_id)
{
    if (!running_id.isEmpty())
        records.removeIf([&](const files::SendRecord &r) { return r.id == running_id; });
    return records;
}

Holds holds_of(const QList<files::SendRecord> &records, const QStringList &names)
{
    Holds holds;
    std::optional<Holds> upload;
    bool rate_whole = false;
    for (const files::SendRecord &record : records) {
        // A record that contradicts itself is believed in nothing.
        if (!of_device(record, names) || !sound_bodies(record))
            continue;
        ++holds.actions;
        holds.last = record;
        if (record.result == files::SendRecord::Result::Incomplete) {
            // Stopped at a point nobody knows: whatever it held is unknown.
            for (HeldEntry *entry : entries(holds))
                entry->reset();
            holds.ra_train.reset();
            holds.dec_train.reset();
            upload.reset();
            continue;
        }
        const Holds own = sent_by(record);
        const auto any = [](const auto &table) {
            return std::any_of(table.begin(), table.end(),
                               [](const HeldEntry &e) { return e.has_value(); });
        };
        // RA, DEC: a value of the axis went.
        const std::array<bool, 2> touched{any(own.ra) || own.ra_total || own.rate,
                                          any(own.dec) || own.dec_total};
        const bool whole = record.result == files::SendRecord::Result::Done;
        if (whole && sets_every_upload_entry(own))
            upload = own;
        const auto from = entries(own);
        const auto to = entries(holds);
        for (std::size_t i = 0; i < from.size(); ++i) {
            if (*from[i])
                *to[i] = *from[i];
        }
        if (own.rate) {
            holds.ra[kRa05].reset();
            rate_whole = whole;
        } else if (own.ra[kRa05]) {
            holds.rate.reset();
        }
        // An older version's record leaves the axis's drive train unknown.
        const auto &computed = record.computed_from;
        if (touched[0])
            holds.ra_train = computed ? std::optional(computed->ra) : std::nullopt;
        if (touched[1])
            holds.dec_train = computed ? std::optional(computed->dec) : std::nullopt;
    }
    holds.mixed = is_mixed(holds, upload, rate_whole);
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

std::vector<SetupChange> setup_changes(const Holds &holds, const QStringList &bodies,
                                       const calc::CalcInput &input)
{
    std::array<bool, 2> axes{}; // RA, DEC
    bool divisors = false;
    std::optional<std::int32_t> clock_sent;
    for (const QString &body : bodies) {
        const CommandKind kind = rwlink::parse_body(body.toLatin1()).kind;
        if (const auto axis = axis_of(kind))
            axes[*axis == calc::Axis::Ra ? 0 : 1] = true;
        divisors = divisors ||
                   (axis_of(kind) && kind != CommandKind::RaTotal && kind != CommandKind::DecTotal);
        if (const auto clock = clock_of(kind))
            clock_sent = clock;
    }
    std::vector<SetupChange> changes;
    for (const calc::Axis axis : {calc::Axis::Ra, calc::Axis::Dec}) {
        const bool ra = axis == calc::Axis::Ra;
        const auto &held = ra ? holds.ra_train : holds.dec_train;
        if (!axes[ra ? 0 : 1] || !held)
            continue;
        // As Calculate reads them: " 8" and "8.0" are the same factor.
        const double was = calc::lenient_parse((*held)[calc::kMicrostep]);
        const double now = calc::lenient_parse((ra ? input.ra : input.dec)[calc::kMicrostep]);
        if (was != now)
            changes.push_back({axis, was, now});
    }
    const auto held_clock = holds.clock
                                ? clock_of(rwlink::parse_body(holds.clock->value.toLatin1()).kind)
                                : std::nullopt;
    const std::optional<std::int32_t> clock_now = clock_sent ? clock_sent
                                                  : divisors ? std::optional(input.base_clock)
                                                             : std::nullopt;
    if (held_clock && clock_now && *held_clock != *clock_now)
        changes.push_back(
            {std::nullopt, static_cast<double>(*held_clock), static_cast<double>(*clock_now)});
    return changes;
}

} // namespace recorded
