#include "mountfile.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QList>
#include <QStringDecoder>

#include <array>
#include <optional>
#include <variant>

namespace files {

namespace {

const QString kVersionKey = QStringLiteral("rw7300-mount");
const QString kNameKey = QStringLiteral("name");
const QString kClockKey = QStringLiteral("base_clock");
constexpr std::array<const char *, 5> kPartKeys = {"worm", "intermediate_gear", "motor",
                                                   "reduction_gear", "microstep"};
// The column headings of the window (the words' part_name), for messages
// and the file's comments: what the file holds is written by this unit.
constexpr std::array<const char *, 5> kPartNames = {"ウォーム", "中間ギア", "モーター", "減速ギア",
                                                    "ﾏｲｸﾛｽﾃｯﾌﾟ"};
constexpr int kDriveTrainKeys = 10;

QString part_key(bool ra, std::size_t part)
{
    return QLatin1String(ra ? "ra." : "dec.") + QLatin1String(kPartKeys[part]);
}

QString part_name(bool ra, std::size_t part)
{
    return (ra ? QStringLiteral("赤経の") : QStringLiteral("赤緯の")) +
           QString::fromUtf8(kPartNames[part]);
}

bool is_control(QChar c)
{
    return c.unicode() < 0x20 || c.unicode() == 0x7f;
}

struct Value {
    QString text;
    bool quoted = false;
    QString error; // why the text after "=" is no value
};

Value failed(const QString &why)
{
    return Value{{}, true, why};
}

// The value after "=": bare (blanks around it dropped) or quoted.
Value value_of(const QString &raw)
{
    const QString v = raw.trimmed();
    if (!v.startsWith(QLatin1Char('"')))
        return Value{v, false, {}};
    QString out;
    for (qsizetype i = 1; i < v.size(); ++i) {
        const QChar c = v[i];
        if (c == QLatin1Char('"')) {
            if (i + 1 != v.size())
                return failed(QStringLiteral("閉じる引用符 (\") の後に文字があります"));
            return Value{out, true, {}};
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
                return failed(QStringLiteral("\\x の後には 16 進数が 2 桁要ります"));
            out += QChar(static_cast<char16_t>(v.mid(i + 1, 2).toUShort(nullptr, 16)));
            i += 2;
            break;
        }
        default:
            return failed(QStringLiteral("\\%1 は使えません (使えるのは \\\" \\\\ \\t \\n "
                                         "\\r \\xHH)")
                              .arg(v[i]));
        }
    }
    return failed(QStringLiteral("閉じる引用符 (\") がありません"));
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

// One line as text: its CR dropped, told apart from a NUL byte, lines ended
// by CR alone, text that is not UTF-8 and control characters, each of which
// has its own remedy. mount_file: the version line was found before it.
std::variant<QString, MountError> line_text(QByteArray raw, int number, bool mount_file)
{
    if (raw.endsWith('\r'))
        raw.chop(1);
    if (raw.contains('\0'))
        return MountError{number, {}, MountError::Kind::NulByte};
    if (raw.contains('\r'))
        return MountError{0, {}, MountError::Kind::CrLineEnds};
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString line = utf8.decode(raw);
    bool control = false;
    for (const QChar c : line)
        control = control || (is_control(c) && c != QLatin1Char('\t'));
    if (!utf8.hasError() && !control)
        return line;
    if (!mount_file)
        return MountError{number, QStringLiteral("マウントファイルではありません "
                                                 "(UTF-8 のテキストではありません)")};
    return MountError{number, utf8.hasError() ? QStringLiteral("UTF-8 のテキストではありません")
                                              : QStringLiteral("制御文字があります")};
}

// Why the value of the version line cannot be read; empty when it can.
QString version_fault(const QString &value)
{
    bool ok = false;
    const int version = value.toInt(&ok);
    if (!ok || version < 1)
        return QStringLiteral("形式の版「%1」が読めません").arg(value);
    if (version > kMountFormatVersion)
        return QStringLiteral("形式の版 %1 はこのプログラムより新しいものです "
                              "(読めるのは版 %2 まで)")
            .arg(version)
            .arg(kMountFormatVersion);
    return {};
}

// The drive-train setting a key names: 0–4 RA, 5–9 DEC; -1 for none.
int part_of(const QString &key)
{
    for (int k = 0; k < kDriveTrainKeys; ++k) {
        if (key == part_key(k < 5, static_cast<std::size_t>(k % 5)))
            return k;
    }
    return -1;
}

// Puts the value of a known setting into the mount; why it cannot be, or
// empty. seen marks the clock (index kDriveTrainKeys) and each part.
QString take(Mount &mount, std::array<bool, kDriveTrainKeys + 1> &seen, const QString &key,
             const Value &value)
{
    if (key == kNameKey) {
        mount.name = value.text;
        return {};
    }
    if (value.text.isEmpty() && !value.quoted)
        return QStringLiteral("%1 の値がありません (空にするには \"\" と書きます)").arg(key);
    if (key == kClockKey) {
        const auto clock = clock_from_text(value.text);
        if (!clock)
            return QStringLiteral("base_clock の値「%1」は 2MHz でも 250kHz でもありません")
                .arg(value.text);
        mount.base_clock = *clock;
        seen[kDriveTrainKeys] = true;
        return {};
    }
    const int part = part_of(key);
    auto &texts = part < 5 ? mount.ra : mount.dec;
    texts[static_cast<std::size_t>(part % 5)] = value.text.toStdString();
    seen[static_cast<std::size_t>(part)] = true;
    return {};
}

// The first setting a whole file lacks, as said; empty when none is missing.
QString missing_setting(const std::array<bool, kDriveTrainKeys + 1> &seen)
{
    if (!seen[kDriveTrainKeys])
        return QStringLiteral("base_clock (基本クロック) がありません");
    for (int k = 0; k < kDriveTrainKeys; ++k) {
        if (!seen[static_cast<std::size_t>(k)])
            return QStringLiteral("%1 (%2) がありません")
                .arg(part_key(k < 5, static_cast<std::size_t>(k % 5)),
                     part_name(k < 5, static_cast<std::size_t>(k % 5)));
    }
    return {};
}

Parsed parse(const QByteArray &input)
{
    Parsed p;
    QByteArray bytes = input;
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    p.lines = bytes.split('\n');
    auto fail = [&p](int line, const QString &message) {
        p.error = MountError{line, message};
        return p;
    };
    const QString not_mount =
        QStringLiteral("マウントファイルではありません (最初の設定が「%1 = %2」ではありません)")
            .arg(kVersionKey)
            .arg(kMountFormatVersion);
    std::array<bool, kDriveTrainKeys + 1> seen{}; // each part, then the clock
    for (qsizetype i = 0; i < p.lines.size(); ++i) {
        const int number = static_cast<int>(i) + 1;
        const auto line = line_text(p.lines[i], number, p.mount_file);
        if (const auto *error = std::get_if<MountError>(&line)) {
            p.error = *error;
            return p;
        }
        const QString text = std::get<QString>(line).trimmed();
        if (text.isEmpty() || text.startsWith(QLatin1Char('#')) ||
            text.startsWith(QLatin1Char(';')))
            continue;
        const qsizetype equals = text.indexOf(QLatin1Char('='));
        const QString key = equals < 0 ? QString() : text.left(equals).trimmed().toLower();
        if (!p.mount_file) {
            if (key != kVersionKey)
                return fail(number, not_mount);
            p.mount_file = true;
        } else if (equals < 0) {
            return fail(number, QStringLiteral("「キー = 値」の形ではありません"));
        }
        const Value value = value_of(text.mid(equals + 1));
        if (!value.error.isEmpty())
            return fail(number, QStringLiteral("%1 の値: %2").arg(key, value.error));
        if (p.line_of.contains(key))
            return fail(number, QStringLiteral("%1 が 2 回あります (%2 行目にもあります)")
                                    .arg(key)
                                    .arg(p.line_of.value(key) + 1));
        const bool known = key == kVersionKey || key == kNameKey || key == kClockKey;
        if (!known && part_of(key) < 0)
            continue; // a later field, or a note of the operator's
        p.line_of.insert(key, static_cast<int>(i));
        const QString fault =
            key == kVersionKey ? version_fault(value.text) : take(p.mount, seen, key, value);
        if (!fault.isEmpty())
            return fail(number, fault);
    }
    if (!p.mount_file)
        return fail(0, not_mount);
    if (const QString missing = missing_setting(seen); !missing.isEmpty())
        return fail(0, missing);
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
    const QFileInfo info(path);
    if (!info.exists())
        return MountError{0, QStringLiteral("ファイルが見つかりません")};
    if (info.isDir())
        return MountError{0, QStringLiteral("フォルダーです。マウントファイルを選んでください")};
    // A FIFO or a device would block or never end.
    if (!info.isFile())
        return MountError{0, QStringLiteral("通常のファイルではありません")};
    if (info.size() > kMaxMountFileBytes)
        return MountError{0,
                          QStringLiteral("マウントファイルではありません (%1 バイトは大きすぎます)")
                              .arg(info.size())};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return MountError{0, QStringLiteral("読めません: %1").arg(file.errorString())};
    const QByteArray bytes = file.read(kMaxMountFileBytes + 1);
    if (file.error() != QFileDevice::NoError)
        return MountError{0, QStringLiteral("読めません: %1").arg(file.errorString())};
    if (bytes.size() > kMaxMountFileBytes)
        return MountError{0, QStringLiteral("マウントファイルではありません (大きすぎます)")};
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
        QStringList names;
        for (const char *name : kPartNames)
            names << QString::fromUtf8(name);
        lines << QString()
              << (ra ? QStringLiteral("# 赤経: ") : QStringLiteral("# 赤緯: ")) +
                     names.join(QStringLiteral(" × "));
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

QString mount_error_text(const QString &path, const MountError &error)
{
    if (error.line > 0)
        return QStringLiteral("%1 の %2 行目: %3").arg(path).arg(error.line).arg(error.message);
    return QStringLiteral("%1: %2").arg(path, error.message);
}

} // namespace files
