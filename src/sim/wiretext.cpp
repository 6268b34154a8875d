#include "wiretext.h"

#include "protocol.h"

QString escaped(QByteArrayView bytes)
{
    QString text;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
        case '\r':
            text += QStringLiteral("\\r");
            break;
        case '\n':
            text += QStringLiteral("\\n");
            break;
        case '\t':
            text += QStringLiteral("\\t");
            break;
        case '\\':
            text += QStringLiteral("\\\\");
            break;
        default:
            if (byte >= 0x20 && byte < 0x7F)
                text += QLatin1Char(c);
            else
                text += QStringLiteral("\\x%1").arg(byte, 2, 16, QLatin1Char('0'));
        }
    }
    return text;
}

QString quoted(QByteArrayView bytes)
{
    return QLatin1Char('"') + escaped(bytes) + QLatin1Char('"');
}

QString value_text(QByteArrayView value)
{
    if (const auto number = rwlink::hex_value(value))
        return QStringLiteral("0x%1 = %2").arg(escaped(value)).arg(*number);
    return quoted(value);
}
