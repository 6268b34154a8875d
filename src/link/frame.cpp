#include "frame.h"

#include <QtGlobal>

namespace rwlink {

namespace {

constexpr int kLastPort = 20;
constexpr char kUnsendable = '?';

} // namespace

QByteArray frame(const QString &body)
{
    QByteArray bytes("#:");
    bytes.reserve(body.size() + 3);
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
    bytes.append('#');
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
    const QString prefix = axis == calc::Axis::Ra ? QStringLiteral("&RA") : QStringLiteral("&DEC");
    const QString number = (QStringLiteral("000") + QString::number(row)).right(2);
    const QString value = (QStringLiteral("0000") + box_text).right(4);
    return prefix + number + QLatin1Char('=') + value;
}

QString total_body(calc::Axis axis, const QString &box_text)
{
    return (axis == calc::Axis::Ra ? QStringLiteral("&XRA00") : QStringLiteral("&XDEC00")) +
           box_text;
}

QString rate_body(const QString &box_text)
{
    return QStringLiteral("&RA05") + box_text;
}

std::optional<QString> clock_body(std::int32_t base_clock)
{
    if (base_clock == calc::kClock2MHz)
        return QStringLiteral("=TCLK1");
    if (base_clock == calc::kClock250kHz)
        return QStringLiteral("=TCLK2");
    return std::nullopt;
}

} // namespace rwlink
