#include "frame.h"

#include <QtGlobal>

namespace rwlink {

namespace {

constexpr int kLastPort = 20;
constexpr char kUnsendable = '?';

QString text(std::string_view ascii)
{
    return QString::fromLatin1(ascii.data(), qsizetype(ascii.size()));
}

} // namespace

QByteArray frame(const QString &body)
{
    QByteArray bytes(calc::kFrameOpen.data(), qsizetype(calc::kFrameOpen.size()));
    bytes.reserve(bytes.size() + body.size() + 1);
    for (qsizetype i = 0; i < body.size(); ++i) {
        const QChar c = body.at(i);
        if (c.unicode() < 0x80) {
            bytes.append(static_cast<char>(c.unicode()));
            continue;
        }
        if (c.isHighSurrogate() && i + 1 < body.size() && body.at(i + 1).isLowSurrogate())
            ++i;
        bytes.append(kUnsendable);
    }
    bytes.append(calc::kFrameClose);
    return bytes;
}

std::optional<int> port_number_for(const QString &name)
{
    for (int n = 1; n <= kLastPort; ++n) {
        if (name == QStringLiteral("Com%1").arg(n))
            return n;
    }
    return std::nullopt;
}

QString device_for_port(int n)
{
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(n);
#else
    QString configured = qEnvironmentVariable(qPrintable(QStringLiteral("RW7300_COM%1").arg(n)));
    if (!configured.isEmpty())
        return configured;
    return QStringLiteral("/dev/ttyS%1").arg(n - 1);
#endif
}

QString row_body(calc::Axis axis, int row, const QString &box_text)
{
    // The value is cut in UTF-16 code units, as the box holds it; frame()
    // then sends whatever is not ASCII as "?".
    const std::u16string value = calc::row_value<char16_t>(box_text.toStdU16String());
    return text(calc::row_head(axis, row)) + QString::fromStdU16String(value);
}

QString total_body(calc::Axis axis, const QString &box_text)
{
    return text(calc::total_prefix(axis)) + box_text;
}

QString rate_body(const QString &box_text)
{
    return text(calc::rate_prefix()) + box_text;
}

std::optional<QString> clock_body(std::int32_t base_clock)
{
    if (const auto body = calc::clock_body(base_clock))
        return text(*body);
    return std::nullopt;
}

} // namespace rwlink
