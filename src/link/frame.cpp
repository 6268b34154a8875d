#include "frame.h"

#include "ports.h"
#include "sendcheck.h"

#include <string>

namespace rwlink {

QString ascii_text(std::string_view ascii)
{
    return QString::fromLatin1(ascii.data(), qsizetype(ascii.size()));
}

QByteArray frame(const QString &body)
{
    // The same character rule as the send check, so what it judges is what goes out.
    return QByteArray::fromStdString(calc::framed(calc::wire_text(body.toStdString())));
}

std::optional<int> port_number_for(const QString &name)
{
    return calc::port_number(name.toStdString());
}

QString row_body(calc::Axis axis, int row, const QString &box_text)
{
    // Turned into wire characters first, so a character outside the BMP is
    // one of the four, as for every other character.
    const std::string value = calc::row_value<char>(calc::wire_text(box_text.toStdString()));
    return ascii_text(calc::row_head(axis, row)) + ascii_text(value);
}

QString total_body(calc::Axis axis, const QString &box_text)
{
    return ascii_text(calc::total_prefix(axis)) + box_text;
}

QString rate_body(const QString &box_text)
{
    return ascii_text(calc::rate_prefix()) + box_text;
}

std::optional<QString> clock_body(std::int32_t base_clock)
{
    if (const auto body = calc::clock_body(base_clock))
        return ascii_text(*body);
    return std::nullopt;
}

} // namespace rwlink
