#include "sendrecord.h"

#include "mountfile.h"
#include "systemfile.h"

#include <QDir>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>

#include <array>

namespace files {

namespace {

constexpr std::array kResultKeys = {
    std::pair{SendRecord::Result::Done, "done"},
    std::pair{SendRecord::Result::Cancelled, "cancelled"},
    std::pair{SendRecord::Result::Stopped, "stopped"},
    std::pair{SendRecord::Result::Failed, "failed"},
    std::pair{SendRecord::Result::Incomplete, "incomplete"},
};
constexpr std::array kCauseKeys = {
    std::pair{StopReason::Cause::None, "none"},
    std::pair{StopReason::Cause::Operator, "operator"},
    std::pair{StopReason::Cause::Signal, "signal"},
    std::pair{StopReason::Cause::FrameBreaker, "frame_breaker"},
    std::pair{StopReason::Cause::OpenFailed, "open_failed"},
    std::pair{StopReason::Cause::LineFailed, "line_failed"},
};
// No action of ours is longer; a larger count is no record of ours.
constexpr int kMaxPlanned = 10000;

QString time_text(const QDateTime &time)
{
    // With its offset, so a record read in another zone still says when.
    return time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODateWithMs);
}

// The last max_bytes of a regular file, from the start of a line.
FileEnd read_tail(const QString &path, qint64 max_bytes)
{
    // One byte before the window, to tell whether it starts a line.
    FileEnd end = read_end(path, max_bytes + 1);
    if (end.cut && end.bytes)
        end.bytes->remove(0, end.bytes->indexOf('\n') + 1); // -1 + 1: all of it
    return end;
}

QJsonObject computed_object(const calc::CalcInput &input)
{
    QJsonObject o{{QStringLiteral("clock"), input.base_clock}};
    for (const auto &[key, texts] : {std::pair{"ra", &input.ra}, std::pair{"dec", &input.dec}}) {
        QJsonObject train;
        for (std::size_t part = 0; part < texts->size(); ++part)
            train.insert(QLatin1String(kDriveTrainPartKeys[part]), box_text((*texts)[part]));
        o.insert(QLatin1String(key), train);
    }
    return o;
}

// The commands are the evidence; drive trains that cannot be read back are
// only not known, and the record stands.
std::optional<calc::CalcInput> computed_from(const QJsonValue &value)
{
    const QJsonObject o = value.toObject();
    const QJsonValue clock = o.value(QStringLiteral("clock"));
    if (!clock.isDouble() || clock.toInt(-1) < 0)
        return std::nullopt;
    calc::CalcInput input;
    input.base_clock = clock.toInt();
    for (const auto &[key, texts] : {std::pair{"ra", &input.ra}, std::pair{"dec", &input.dec}}) {
        const QJsonObject train = o.value(QLatin1String(key)).toObject();
        for (std::size_t part = 0; part < texts->size(); ++part) {
            const QJsonValue text = train.value(QLatin1String(kDriveTrainPartKeys[part]));
            if (!text.isString())
                return std::nullopt;
            (*texts)[part] = text.toString().toStdString();
        }
    }
    return input;
}

template <class F> void each_line(QByteArrayView bytes, F take)
{
    while (!bytes.isEmpty()) {
        const qsizetype end = bytes.indexOf('\n');
        take(bytes.first(end < 0 ? bytes.size() : end));
        bytes = end < 0 ? QByteArrayView() : bytes.sliced(end + 1);
    }
}

// The newest whole records of the file that fit in room bytes, then line.
WriteOutcome rewrite_trimmed(const QString &path, const QByteArray &line)
{
    const FileEnd tail = read_tail(path, kRecordFileTrimmed - line.size());
    if (!tail.failure.ok)
        return tail.failure;
    QByteArray kept;
    each_line(tail.bytes.value_or(QByteArray()), [&kept](QByteArrayView old) {
        if (parse_record_line(old))
            kept.append(old).append('\n');
    });
    kept.append(line);
    // The writer follows a link; one put in the file's place meanwhile is refused.
    if (kind_of(path, Links::Kept).kind == PathKind::Link)
        return refused(WriteFault::Link);
    return write_atomically(path, kept, Target::RegularFile);
}

} // namespace

QString state_directory()
{
    QString base = qEnvironmentVariable("XDG_STATE_HOME");
    if (!QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/state");
    return QDir(base).filePath(QStringLiteral("rw7300-speedtable"));
}

QString record_path()
{
    return QDir(state_directory()).filePath(kRecordFileName);
}

QString result_key(SendRecord::Result result)
{
    for (const auto &[r, key] : kResultKeys) {
        if (r == result)
            return QString::fromLatin1(key);
    }
    return {};
}

QString stop_cause_key(StopReason::Cause cause)
{
    for (const auto &[c, key] : kCauseKeys) {
        if (c == cause)
            return QString::fromLatin1(key);
    }
    return {};
}

namespace {

QJsonObject stop_object(const StopReason &stop)
{
    QJsonObject o;
    o.insert(QStringLiteral("cause"), stop_cause_key(stop.cause));
    if (stop.system_error != 0)
        o.insert(QStringLiteral("errno"), stop.system_error);
    if (stop.signal != 0)
        o.insert(QStringLiteral("signal"), stop.signal);
    return o;
}

// Nothing when missing (an older line); false when it is there but no stop
// of ours.
bool read_stop(const QJsonValue &value, std::optional<StopReason> &into)
{
    if (value.isUndefined())
        return true;
    const QJsonObject o = value.toObject();
    const QString cause = o.value(QStringLiteral("cause")).toString();
    const auto found = std::find_if(kCauseKeys.begin(), kCauseKeys.end(), [&cause](const auto &p) {
        return cause == QLatin1String(p.second);
    });
    if (!value.isObject() || found == kCauseKeys.end())
        return false;
    StopReason stop;
    stop.cause = found->first;
    stop.system_error = o.value(QStringLiteral("errno")).toInt(0);
    stop.signal = o.value(QStringLiteral("signal")).toInt(0);
    into = stop;
    return true;
}

} // namespace

QJsonObject record_object(const SendRecord &record)
{
    QJsonObject o;
    if (!record.id.isEmpty())
        o.insert(QStringLiteral("id"), record.id);
    o.insert(QStringLiteral("started"), time_text(record.started));
    o.insert(QStringLiteral("ended"), time_text(record.ended));
    o.insert(QStringLiteral("version"), record.version);
    o.insert(QStringLiteral("port"), record.port);
    o.insert(QStringLiteral("device"), record.device);
    o.insert(QStringLiteral("stable_device"), record.stable_device);
    o.insert(QStringLiteral("mount_file"), record.mount_file);
    o.insert(QStringLiteral("mount"), record.mount_name);
    o.insert(QStringLiteral("clock"), record.base_clock);
    o.insert(QStringLiteral("result"), result_key(record.result));
    o.insert(QStringLiteral("reason"), record.reason);
    if (record.stop)
        o.insert(QStringLiteral("stop"), stop_object(*record.stop));
    o.insert(QStringLiteral("sent"), record.sent());
    o.insert(QStringLiteral("planned"), record.planned);
    o.insert(QStringLiteral("commands"), QJsonArray::fromStringList(record.commands));
    if (record.computed_from)
        o.insert(QStringLiteral("computed_from"), computed_object(*record.computed_from));
    return o;
}

QByteArray record_line(const SendRecord &record)
{
    // Compact JSON escapes every line break, so one record is one line.
    return QJsonDocument(record_object(record)).toJson(QJsonDocument::Compact) + '\n';
}

std::optional<SendRecord> parse_record_line(QByteArrayView line)
{
    if (line.endsWith('\n'))
        line.chop(1);
    if (line.isEmpty() || line.size() > kMaxRecordLine)
        return std::nullopt;
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(line.toByteArray(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    const QJsonObject o = doc.object();
    const auto text = [&o](const char *key) -> std::optional<QString> {
        const QJsonValue v = o.value(QLatin1String(key));
        if (v.isUndefined())
            return QString();
        return v.isString() ? std::optional(v.toString()) : std::nullopt;
    };
    SendRecord r;
    const std::array<std::pair<const char *, QString *>, 9> texts = {{
        {"id", &r.id},
        {"version", &r.version},
        {"port", &r.port},
        {"device", &r.device},
        {"stable_device", &r.stable_device},
        {"mount_file", &r.mount_file},
        {"mount", &r.mount_name},
        {"reason", &r.reason},
        {"result", nullptr},
    }};
    for (const auto &[key, into] : texts) {
        const auto value = text(key);
        if (!value)
            return std::nullopt;
        if (into)
            *into = *value;
    }
    const QString result = o.value(QStringLiteral("result")).toString();
    const auto found =
        std::find_if(kResultKeys.begin(), kResultKeys.end(),
                     [&result](const auto &p) { return result == QLatin1String(p.second); });
    if (found == kResultKeys.end())
        return std::nullopt;
    r.result = found->first;
    r.started =
        QDateTime::fromString(o.value(QStringLiteral("started")).toString(), Qt::ISODateWithMs);
    r.ended = QDateTime::fromString(o.value(QStringLiteral("ended")).toString(), Qt::ISODateWithMs);
    // Ended before it started: the line contradicts itself.
    if (!r.started.isValid() || !r.ended.isValid() || r.ended < r.started)
        return std::nullopt;
    const QJsonValue clock = o.value(QStringLiteral("clock"));
    const QJsonValue sent = o.value(QStringLiteral("sent"));
    const QJsonValue planned = o.value(QStringLiteral("planned"));
    const QJsonValue commands = o.value(QStringLiteral("commands"));
    if (!clock.isDouble() || !sent.isDouble() || !planned.isDouble() || !commands.isArray())
        return std::nullopt;
    r.base_clock = clock.toInt(-1);
    r.planned = planned.toInt(-1);
    if (r.base_clock < 0 || r.planned < 0 || r.planned > kMaxPlanned)
        return std::nullopt;
    for (const QJsonValue c : commands.toArray()) {
        if (!c.isString())
            return std::nullopt;
        r.commands.append(c.toString());
    }
    // Done is every planned command sent, no fewer.
    if (sent.toInt(-1) != r.sent() || r.sent() > r.planned ||
        (r.result == SendRecord::Result::Done && r.sent() != r.planned))
        return std::nullopt;
    if (!read_stop(o.value(QStringLiteral("stop")), r.stop))
        return std::nullopt;
    r.computed_from = computed_from(o.value(QStringLiteral("computed_from")));
    return r;
}

namespace {

// The last line of an id stands in the place of its first; where: the
// place of each id so far.
void add_record(QList<SendRecord> &records, QHash<QString, qsizetype> &where, SendRecord record)
{
    if (!record.id.isEmpty()) {
        const auto at = where.constFind(record.id);
        if (at != where.cend()) {
            records[*at] = std::move(record);
            return;
        }
        where.insert(record.id, records.size());
    }
    records.append(std::move(record));
}

} // namespace

RecordsRead parse_records(QByteArrayView bytes)
{
    RecordsRead read;
    read.failure.ok = true;
    QHash<QString, qsizetype> where;
    each_line(bytes, [&read, &where](QByteArrayView line) {
        if (line.trimmed().isEmpty())
            return;
        if (auto record = parse_record_line(line))
            add_record(read.records, where, std::move(*record));
        else
            ++read.skipped;
    });
    return read;
}

RecordsRead read_records(const QString &path)
{
    const FileEnd tail = read_tail(path, kRecordFileLimit);
    if (!tail.failure.ok) {
        RecordsRead failed;
        failed.failure = tail.failure;
        return failed;
    }
    return parse_records(tail.bytes.value_or(QByteArray()));
}

WriteOutcome append_record(const QString &path, const SendRecord &record)
{
    QLockFile lock(path + QStringLiteral(".lock"));
    if (const WriteOutcome held = lock_store(path, lock); !held.ok)
        return held;
    const QByteArray line = record_line(record);
    bool over_limit = false;
    const WriteOutcome appended =
        append_synced(path, [&](qint64 size, char last) -> std::optional<QByteArray> {
            // A run killed mid-line left a torn one: the record starts a line of its own.
            const QByteArray bytes = (last == '\n' ? QByteArray() : QByteArray("\n")) + line;
            over_limit = size + bytes.size() > kRecordFileLimit;
            return over_limit ? std::nullopt : std::optional(bytes);
        });
    // Synced before the lock goes: a crash after this keeps the record.
    return appended.ok && over_limit ? rewrite_trimmed(path, line) : appended;
}

} // namespace files
