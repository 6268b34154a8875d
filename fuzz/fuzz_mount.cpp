// Any bytes as a mount file. A fault names a line of the file and says
// something. A mount that was read comes back the same when written fresh
// or over the input; so does another mount full of odd texts (the input
// itself among them). Writing over a readable file puts each setting on the
// line that held it and adds the missing ones at the end; every other line
// stays byte for byte. An unreadable file is written fresh.

#include "mountfile.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QSet>
#include <QString>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <variant>

namespace {

void require(bool ok, const char *what)
{
    if (!ok) {
        std::fprintf(stderr, "fuzz_mount: %s\n", what);
        std::abort();
    }
}

const QByteArray kBom = "\xEF\xBB\xBF";
const QString kVersionKey = QStringLiteral("rw7300-mount");

// Texts a box may hold that the writer has to quote or escape, and some it
// must leave bare.
constexpr std::array<const char *, 20> kOddTexts = {"",
                                                    " 240",
                                                    "240 ",
                                                    " ",
                                                    "\"",
                                                    "\"\"",
                                                    "\\",
                                                    "a \"b\" \\ c",
                                                    "\\x41",
                                                    "tab\there",
                                                    "line\nbreak\r",
                                                    "\x01\x1b\x7f",
                                                    "#x",
                                                    ";x",
                                                    "=x",
                                                    "2,5",
                                                    "16abc",
                                                    "\xC3\xA9 \xE5\x8D\x81",
                                                    "\xE3\x80\x80wide blank",
                                                    "nel\xC2\x85"};

// Differs from the mount read in the clock and, mostly, in every text:
// which odd text goes where follows the input's length and last byte, and
// the name and one text are the input decoded (bad bytes become U+FFFD).
files::Mount other_mount(const files::Mount &read, const QByteArray &bytes)
{
    files::Mount m;
    const QString whole = QString::fromUtf8(bytes);
    m.name = whole;
    const std::size_t pick = static_cast<std::size_t>(bytes.size()) +
                             (bytes.isEmpty() ? 0 : static_cast<unsigned char>(bytes.back()));
    for (std::size_t k = 0; k < 5; ++k) {
        m.ra[k] = kOddTexts[(pick + k) % kOddTexts.size()];
        m.dec[k] = kOddTexts[(pick + 7 + 3 * k) % kOddTexts.size()];
    }
    m.dec[4] = whole.toStdString();
    m.base_clock = read.base_clock == calc::kClock250kHz ? calc::kClock2MHz : calc::kClock250kHz;
    return m;
}

bool reads_as(const QByteArray &bytes, const files::Mount &m)
{
    const files::MountRead read = files::parse_mount(bytes);
    const auto *got = std::get_if<files::Mount>(&read);
    return got && *got == m;
}

// The lines of the settings a fresh file of m holds, in its order, by key.
QList<QPair<QString, QByteArray>> setting_lines(const files::Mount &m)
{
    QList<QPair<QString, QByteArray>> out;
    for (const QByteArray &line : files::mount_bytes(m).split('\n')) {
        const qsizetype at = line.indexOf(" = ");
        if (line.startsWith('#') || at < 0)
            continue;
        const QString key = QString::fromUtf8(line.left(at));
        if (key != kVersionKey)
            out.append({key, line});
    }
    return out;
}

// The known key a line sets as the reader finds it (line end, blanks
// around and case dropped), or nothing for a blank line, a comment and an
// unknown key. Only for lines of a file that read fine, so valid UTF-8;
// fromUtf8 drops a leading BOM on any line, as the reader's decoder does.
QString key_of(QByteArray line, const QList<QPair<QString, QByteArray>> &settings)
{
    if (line.endsWith('\r'))
        line.chop(1);
    const QString text = QString::fromUtf8(line).trimmed();
    if (text.isEmpty() || text.startsWith(QLatin1Char('#')) || text.startsWith(QLatin1Char(';')))
        return {};
    const qsizetype equals = text.indexOf(QLatin1Char('='));
    if (equals < 0)
        return {};
    const QString key = text.left(equals).trimmed().toLower();
    for (const auto &s : settings) {
        if (s.first == key)
            return key;
    }
    return {};
}

// What writing m over a readable input must give: the input with each
// setting line replaced by the fresh file's line (its BOM and CR kept), and
// the settings it lacked after it, ended as its first line is. A last line
// without LF is ended first; one already ending in CR needs only the LF, as
// a second CR would be a control character in the line.
QByteArray expected_update(const QByteArray &input, const files::Mount &m)
{
    const auto settings = setting_lines(m);
    const bool bom = input.startsWith(kBom);
    QList<QByteArray> lines = input.split('\n');
    QSet<QString> held;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const bool own_bom = i == 0 && bom;
        const QString key = key_of(own_bom ? lines[i].mid(kBom.size()) : lines[i], settings);
        if (key.isEmpty())
            continue;
        held.insert(key);
        for (const auto &s : settings) {
            if (s.first == key)
                lines[i] = (own_bom ? kBom : QByteArray()) + s.second +
                           (lines[i].endsWith('\r') ? QByteArray("\r") : QByteArray());
        }
    }
    const QByteArray first = input.mid(bom ? kBom.size() : 0).split('\n').first();
    const QByteArray eol = first.endsWith('\r') ? "\r\n" : "\n";
    QByteArray out = lines.join('\n');
    bool ended = out.isEmpty() || out.endsWith('\n');
    for (const auto &s : settings) {
        if (held.contains(s.first))
            continue;
        if (!ended)
            out += out.endsWith('\r') ? QByteArray("\n") : eol;
        ended = true;
        out += s.second + eol;
    }
    return out;
}

void check_written(const QByteArray &input, const files::Mount &m, bool input_read)
{
    const QByteArray fresh = files::mount_bytes(m);
    require(reads_as(fresh, m), "a fresh file reads back otherwise");
    require(files::updated_mount_bytes(fresh, m) == fresh,
            "a fresh file written over with its own mount changed");

    const QByteArray updated = files::updated_mount_bytes(input, m);
    if (!input_read) {
        require(updated == fresh, "an unreadable file not written fresh");
        return;
    }
    require(reads_as(updated, m), "written over the input, it reads back otherwise");
    require(updated == expected_update(input, m),
            "written over the input, other lines changed or settings misplaced");
    require(files::updated_mount_bytes(updated, m) == updated,
            "written over twice with one mount, the bytes differ");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const files::MountRead read = files::parse_mount(bytes);

    if (const auto *error = std::get_if<files::MountError>(&read)) {
        // Lines as the reader counts them: after a BOM, split at LF; the
        // empty rest after a final LF is no line, and could hold no fault.
        const QByteArray text = bytes.startsWith(kBom) ? bytes.mid(kBom.size()) : bytes;
        const qsizetype lines = text.count('\n') + (text.isEmpty() || text.endsWith('\n') ? 0 : 1);
        require(error->line >= 0 && error->line <= lines, "a fault on a line the file lacks");
        // Faults are kinds the application words; reading bytes never finds
        // one of those that only read_mount can (no file, a folder …).
        require(error->kind < files::MountError::Kind::Missing, "a file fault from bytes");
        check_written(bytes, other_mount(files::Mount{}, bytes), false);
        return 0;
    }

    const files::Mount &mount = std::get<files::Mount>(read);
    check_written(bytes, mount, true);
    check_written(bytes, other_mount(mount, bytes), true);
    return 0;
}
