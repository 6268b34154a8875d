#include "settings.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QStringEncoder>

namespace files {

namespace {
// A settings file is one short line; anything larger is not ours.
constexpr qint64 kMaxSettingsBytes = 4096;
} // namespace

QByteArray param_bytes(const QString &combo_text)
{
    QStringEncoder to_sjis("Shift_JIS");
    return to_sjis.encode(combo_text + QStringLiteral("\r\n"));
}

WriteOutcome write_param(const QString &path, const QString &combo_text)
{
    return write_atomically(path, param_bytes(combo_text));
}

std::optional<QString> first_field(const QString &text)
{
    qsizetype pos = 0;
    while (pos < text.size() && (text[pos] == QLatin1Char(' ') || text[pos] == QLatin1Char('\t')))
        ++pos;
    QString field;
    if (pos < text.size() && text[pos] == QLatin1Char('"')) {
        const qsizetype close = text.indexOf(QLatin1Char('"'), pos + 1);
        field = text.mid(pos + 1, close < 0 ? -1 : close - pos - 1);
        const qsizetype line_end = field.indexOf(QLatin1Char('\n'));
        if (close < 0 && line_end >= 0)
            field.truncate(line_end);
    } else {
        qsizetype end = pos;
        while (end < text.size() && text[end] != QLatin1Char(',') &&
               text[end] != QLatin1Char('\r') && text[end] != QLatin1Char('\n'))
            ++end;
        field = text.mid(pos, end - pos);
        while (field.endsWith(QLatin1Char(' ')) || field.endsWith(QLatin1Char('\t')))
            field.chop(1);
    }
    if (field.isEmpty())
        return std::nullopt;
    return field;
}

std::optional<QString> read_param(const QString &path)
{
    // Only a regular file: opening a FIFO would wait for a writer forever.
    if (!QFileInfo(path).isFile())
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return parse_param(file.read(kMaxSettingsBytes));
}

std::optional<QString> parse_param(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return std::nullopt;
    QStringDecoder from_sjis("Shift_JIS");
    return first_field(from_sjis.decode(bytes.left(kMaxSettingsBytes)));
}

} // namespace files
