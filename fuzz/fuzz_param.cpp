// Any bytes as PARAM.DAT, read as start-up reads them: what comes out is a
// non-empty text of no more characters than the file had bytes (a quoted
// field may run on to its closing quote, as comma-separated text is read);
// and a name the window writes reads back the same.

#include "settings.h"

#include <QByteArray>
#include <QString>
#include <QStringDecoder>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void require(bool ok, const char *what)
{
    if (!ok) {
        std::fprintf(stderr, "fuzz_param: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const auto port = files::parse_param(bytes);
    if (!port)
        return 0;
    require(!port->isEmpty(), "an empty port name");
    require(port->size() <= bytes.size(), "more characters than the file had bytes");
    // The window writes what the box shows; it must come back unchanged
    // whenever it is a name the box can hold on one line without quotes.
    const bool plain = !port->contains(QLatin1Char('"')) && !port->contains(QLatin1Char(',')) &&
                       !port->contains(QLatin1Char('\r')) && !port->contains(QLatin1Char('\n')) &&
                       port->trimmed() == *port &&
                       QStringDecoder("Shift_JIS").decode(files::param_bytes(*port)) ==
                           *port + QStringLiteral("\r\n");
    if (plain) {
        const auto again = files::parse_param(files::param_bytes(*port));
        require(again && *again == *port, "a written name read back otherwise");
    }
    return 0;
}
