#include "mountfile.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QList>
#include <QStringDecoder>

#include <array>
#include <cerrno>
#include <optional>

namespace files {

namespace {

const QString &kVersionKey = kMountVersionKey;
const QString kNameKey = QStringLiteral("name");
const QString kClockKey = QStringLiteral("base_clock");
constexpr const auto &kPartKeys = kDriveTrainPartKeys;
constexpr int kDriveTrainKeys = 10;

QString part_key(bool ra, std::size_t part)
{
    return QLatin1String(ra ? "ra." : "dec.") + QLatin1String(kPartKeys[part]);
}

bool is_control(QChar c)
{
    return c.unicode() < 0x20 || c.unicode() == 0x7f;
}

struct Value {
    QString text;
    bool quoted = false;
    std::optional<MountError::Kind> error; // why the text after "=" is no value
    QString detail;                        // the escape that is not one
};

Value failed(MountError::Kind why, const QString &detail = {})
{
    return Value{{}, true, why, detail};
}

// The value after "=": bare (blanks around it dropped) or quoted.
Value value_of(const QString &raw)
{
    const QString v = raw.trimmed();
    if (!v.startsWith(QLatin1Char('"')))
        return Value{v, false, std::nullopt, {}};
    QString out;
    for (qsizetype i = 1; i < v.size(); ++i) {
        const QChar c = v[i];
        if (c == QLatin1Char('"')) {
            if (i + 1 != v.size())
                return failed(MountError::Kind::TextAfterQuote);
            return Value{out, true, std::nullopt, {}};
        }
        if (c != QLatin1Char('\\')) {
            out += c;
            continue;
        }
        if (++i == v.size())
            break;
        switch (v[i].unicode()) {
        case '"':
        case '\\':
            out += v[i];
            break;
        case 't':
            out += QLatin1Char('\t');
            break;
        case 'n':
            out += QLatin1Char('\n');
            break;
        case 'r':
            out += QLatin1Char('\r');
            break;
        case 'x': {
            auto hex = [&v](qsizetype at) {
                return at < v.size() && QStringLiteral("0123456789abcdefABCDEF").contains(v[at]);
            };
            if (!hex(i + 1) || !hex(i + 2))
                return failed(MountError::Kind::ShortHexEscape);
            out += QChar(static_cast<char16_t>(v.mid(i + 1, 2).toUShort(nullptr, 16)));
            i += 2;
            break;
        }
        default:
            return failed(MountError::Kind::UnknownEscape, QString(v[i]));
        }
    }
    return failed(MountError::Kind::Unclosed);
}

QString written_value(const QString &value)
{
    bool quote = value.isEmpty() || value != value.trimmed() || value.startsWith(QLatin1Char('"'));
    for (const QChar c : value)
        quote = quote || is_control(c);
    if (!quote)
        return value;
    QString out = QStringLiteral("\"");
    for (const QChar c : value) {
        switch (c.unicode()) {
        case '"':
            out += QStringLiteral("\\\"");
            break;
        case '\\':
            out += QStringLiteral("\\\\");
            break;
        case '\t':
            out += QStringLiteral("\\t");
            break;
        case '\n':
            out += QStringLiteral("\\n");
            break;
        case '\r':
            out += QStringLiteral("\\r");
            break;
        default:
            if (is_control(c))
                out += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
            else
                out += c;
        }
    }
    return out + QLatin1Char('"');
}

// What the reader found: the mount, or the first fault; and, for rewriting
// a file in place, the line of each setting it knows.
struct Parsed {
    Mount mount;
    std::optional<MountError> error;
    bool mount_file = false;     // the version line was found
    QList<QByteArray> lines;     // without their LF; a CR stays
    QHash<QString, int> line_of; // known key → 0-based line
};

// Line number (1-based) of the file as text: its fault, or its text in line.
std::optional<MountError> decode_line(QByteArray raw, int number, bool mount_file, QString &line)
{
    if (raw.endsWith('\r'))
        raw.chop(1);
    // Told apart from text that is not UTF-8: each has its own remedy.
    if (raw.contains('\0'))
        return MountError{number, MountError::Kind::NulByte};
    if (raw.contains('\r'))
        return MountError{0, MountError::Kind::CrLineEnds};
    QStringDecoder utf8(QStringDecoder::Utf8);
    line = utf8.decode(raw);
    bool control = false;
    for (const QChar c : line)
        control = control || (is_control(c) && c != QLatin1Char('\t'));
    if (!utf8.hasError() && !control)
        return std::nullopt;
    if (!mount_file)
        return MountError{number, MountError::Kind::NotText};
    return MountError{number, utf8.hasError() ? MountError::Kind::NotUtf8
                                              : MountError::Kind::ControlCharacter};
}

std::optional<MountError> version_fault(int number, const QString &key, const QString &value)
{
    bool ok = false;
    const int version = value.toInt(&ok);
    if (!ok || version < 1)
        return MountError{number, MountError::Kind::BadVersion, key, value};
    if (version > kMountFormatVersion)
        return MountError{number, MountError::Kind::NewerVersion, key, value, version};
    return std::nullopt;
}

// The first setting a whole file lacks.
std::optional<MountError> missing_setting(bool have_clock,
                                          const std::array<bool, kDriveTrainKeys> &have_part)
{
    if (!have_clock)
        return MountError{0, MountError::Kind::NoClock, kClockKey};
    for (int k = 0; k < kDriveTrainKeys; ++k) {
        if (!have_part[static_cast<std::size_t>(k)]) {
            MountError error{0, MountError::Kind::NoPart,
                             part_key(k < 5, static_cast<std::size_t>(k % 5))};
            error.axis = k < 5 ? calc::Axis::Ra : calc::Axis::Dec;
            error.part = static_cast<calc::DriveTrainField>(k % 5);
            return error;
        }
    }
    return std::nullopt;
}

Parsed parse(const QByteArray &input)
{
    Parsed p;
    QByteArray bytes = input;
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    p.lines = bytes.split('\n');
    auto fail = [&p](int line, MountError::Kind kind, const QString &key = {},
                     const QString &text = {}, qint64 number = 0) {
        p.error = MountError{line, kind, key, text, number};
        return p;
    };
    std::array<bool, kDriveTrainKeys> have_part{};
    bool have_clock = false;
    for (qsizetype i = 0; i < p.lines.size(); ++i) {
        const int number = static_cast<int>(i) + 1;
        QString line;
        if ((p.error = decode_line(p.lines[i], number, p.mount_file, line)))
            return p;
        const QString text = line.trimmed();
        if (text.isEmpty() || text.startsWith(QLatin1Char('#')) ||
            text.startsWith(QLatin1Char(';')))
            continue;
        const qsizetype equals = text.indexOf(QLatin1Char('='));
        const QString key = equals < 0 ? QString() : text.left(equals).trimmed().toLower();
        if (!p.mount_file) {
            if (key != kVersionKey)
                return fail(number, MountError::Kind::NotMountFile);
            p.mount_file = true;
        } else if (equals < 0) {
            return fail(number, MountError::Kind::NotKeyValue);
        }
        const Value parsed_value = value_of(text.mid(equals + 1));
        if (parsed_value.error)
            return fail(number, *parsed_value.error, key, parsed_value.detail);
        const QString &value = parsed_value.text;
        const bool quoted = parsed_value.quoted;
        if (p.line_of.contains(key))
            return fail(number, MountError::Kind::Twice, key, {}, p.line_of.value(key) + 1);
        if (key == kVersionKey) {
            if ((p.error = version_fault(number, key, value)))
                return p;
            p.line_of.insert(key, static_cast<int>(i));
            continue;
        }
        int part = -1;
        for (int k = 0; k < kDriveTrainKeys; ++k) {
            if (key == part_key(k < 5, static_cast<std::size_t>(k % 5)))
                part = k;
        }
        if (part < 0 && key != kNameKey && key != kClockKey)
            continue; // a later field, or a note of the operator's
        p.line_of.insert(key, static_cast<int>(i));
        if (key == kNameKey) {
            p.mount.name = value;
            continue;
        }
        if (value.isEmpty() && !quoted)
            return fail(number, MountError::Kind::NoValue, key);
        if (key == kClockKey) {
            const auto clock = clock_from_text(value);
            if (!clock)
                return fail(number, MountError::Kind::BadClock, key, value);
            p.mount.base_clock = *clock;
            have_clock = true;
            continue;
        }
        auto &texts = part < 5 ? p.mount.ra : p.mount.dec;
        texts[static_cast<std::size_t>(part % 5)] = value.toStdString();
        have_part[static_cast<std::size_t>(part)] = true;
    }
    if (!p.mount_file)
        return fail(0, MountError::Kind::NotMountFile);
    p.error = missing_setting(have_clock, have_part);
    return p;
}

QString setting(const QString &key, const QString &value)
{
    return key + QStringLiteral(" = ") + written_value(value);
}

QString part_setting(bool ra, std::size_t part, const Mount &mount)
{
    return setting(part_key(ra, part), box_text((ra ? mount.ra : mount.dec)[part]));
}

} // namespace

QString clock_text(std::int32_t base_clock)
{
    return base_clock == calc::kClock250kHz ? QStringLiteral("250kHz") : QStringLiteral("2MHz");
}

std::optional<std::int32_t> clock_from_text(const QString &text)
{
    QString key = text.toLower();
    key.remove(QLatin1Char(' '));
    if (key == QLatin1String("2mhz") || key == QLatin1String("2000000"))
        return calc::kClock2MHz;
    if (key == QLatin1String("250khz") || key == QLatin1String("250000"))
        return calc::kClock250kHz;
    return std::nullopt;
}

QString box_text(const std::string &text)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
    return utf8.decode(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())));
}

MountRead parse_mount(const QByteArray &bytes)
{
    Parsed p = parse(bytes);
    if (p.error)
        return *p.error;
    return p.mount;
}

MountRead read_mount(const QString &path)
{
    using Kind = MountError::Kind;
    auto unreadable = [](const QFile &file, int error_number) {
        MountError error{0, Kind::Unreadable, {}, file.errorString()};
        error.system_error = checked_system_error(error_number, error.text);
        return error;
    };
    const QFileInfo info(path);
    if (!info.exists()) {
        // Not there, or not reachable (a link loop, a folder without
        // permission): the system says which, without opening anything.
        const WriteOutcome why = read_regular_file(path, kMaxMountFileBytes).failure;
        if (why.fault != WriteFault::System)
            return MountError{0, Kind::Missing};
        MountError error{0, Kind::Unreadable, {}, why.error};
        error.system_error = why.system_error;
        return error;
    }
    if (info.isDir())
        return MountError{0, Kind::Folder};
    // A FIFO or a device would block or never end.
    if (!info.isFile())
        return MountError{0, Kind::NotRegular};
    if (info.size() > kMaxMountFileBytes)
        return MountError{0, Kind::TooLarge, {}, {}, info.size()};
    QFile file(path);
    errno = 0;
    if (!file.open(QIODevice::ReadOnly))
        return unreadable(file, errno);
    const QByteArray bytes = file.read(kMaxMountFileBytes + 1);
    if (file.error() != QFileDevice::NoError)
        return unreadable(file, errno);
    if (bytes.size() > kMaxMountFileBytes)
        return MountError{0, Kind::TooLarge};
    return parse_mount(bytes);
}

QByteArray mount_bytes(const Mount &mount)
{
    QStringList lines;
    lines << QStringLiteral("# RW7300 マウント設定 (rw7300-speedtable)")
          << setting(kVersionKey, QString::number(kMountFormatVersion))
          << setting(kNameKey, mount.name) << QString()
          << QStringLiteral("# 基本クロック: 2MHz または 250kHz")
          << setting(kClockKey, clock_text(mount.base_clock));
    for (const bool ra : {true, false}) {
        lines << QString()
              << (ra ? QStringLiteral("# 赤経: ") : QStringLiteral("# 赤緯: ")) +
                     QStringLiteral("ウォーム × 中間ギア × モーター × 減速ギア × ﾏｲｸﾛｽﾃｯﾌﾟ");
        for (std::size_t part = 0; part < kPartKeys.size(); ++part)
            lines << part_setting(ra, part, mount);
    }
    return (lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8();
}

QByteArray updated_mount_bytes(const QByteArray &original, const Mount &mount)
{
    Parsed p = parse(original);
    if (p.error)
        return mount_bytes(mount);
    const bool crlf = !p.lines.isEmpty() && p.lines.first().endsWith('\r');
    QList<QByteArray> lines = original.split('\n');
    QStringList added;
    auto put = [&](const QString &key, const QString &line) {
        const auto at = p.line_of.constFind(key);
        if (at == p.line_of.constEnd()) {
            added << line;
            return;
        }
        QByteArray &old = lines[*at];
        const bool cr = old.endsWith('\r');
        // The BOM, if any, stays in front of the first line.
        const bool bom = *at == 0 && old.startsWith("\xEF\xBB\xBF");
        old = (bom ? QByteArray("\xEF\xBB\xBF") : QByteArray()) + line.toUtf8() +
              (cr ? QByteArray("\r") : QByteArray());
    };
    put(kNameKey, setting(kNameKey, mount.name));
    put(kClockKey, setting(kClockKey, clock_text(mount.base_clock)));
    for (const bool ra : {true, false}) {
        for (std::size_t part = 0; part < kPartKeys.size(); ++part)
            put(part_key(ra, part), part_setting(ra, part, mount));
    }
    QByteArray out = lines.join('\n');
    const QByteArray eol = crlf ? "\r\n" : "\n";
    // A last line without its end gets one; after a lone CR only the LF.
    if (!added.isEmpty() && !out.isEmpty() && !out.endsWith('\n'))
        out += out.endsWith('\r') ? QByteArray("\n") : eol;
    for (const QString &line : added)
        out += line.toUtf8() + eol;
    return out;
}

MountWriteOutcome write_mount(const QString &path, const Mount &mount)
{
    auto refused = [](WriteFault fault, std::optional<MountError> why = std::nullopt) {
        MountWriteOutcome outcome;
        outcome.fault = fault;
        outcome.unreadable = std::move(why);
        return outcome;
    };
    auto written = [](const WriteOutcome &outcome) {
        MountWriteOutcome result;
        static_cast<WriteOutcome &>(result) = outcome;
        return result;
    };
    const ReadOutcome existing = read_regular_file(path, kMaxMountFileBytes);
    if (!existing.failure.ok) {
        if (existing.failure.fault == WriteFault::TooLarge)
            return refused(WriteFault::NotMountFile);
        return written(existing.failure);
    }
    // Nothing to lose in a new or an empty file (made by touch, say).
    if (!existing.bytes || existing.bytes->isEmpty())
        return written(write_atomically(path, mount_bytes(mount), Target::RegularFile));
    const Parsed parsed = parse(*existing.bytes);
    // A file that is not a mount file (a listing, a document picked by
    // mistake) is never replaced by one; nor is a mount file this version
    // cannot read: what it holds would be lost.
    if (!parsed.mount_file) {
        // Lines ended by CR alone hide the version line in the first one.
        if (parsed.error && parsed.error->kind == MountError::Kind::CrLineEnds)
            return refused(WriteFault::UnreadableMount, parsed.error);
        return refused(WriteFault::NotMountFile);
    }
    if (parsed.error)
        return refused(WriteFault::UnreadableMount, parsed.error);
    return written(
        write_atomically(path, updated_mount_bytes(*existing.bytes, mount), Target::RegularFile));
}

} // namespace files
