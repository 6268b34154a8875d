#include "cliupload.h"

#include "actions.h"
#include "frame.h"
#include "seriallink.h"

#include <cstdio>
#include <unistd.h>

namespace app {

namespace {

constexpr int kUploadCommands = 109;
constexpr int kBarWidth = 25;
// A device path is reached through the same mapping as a port name: this
// port number is pointed at it for this process only.
constexpr int kPathPort = 1;

void say(const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stderr);
    std::fflush(stderr);
}

// The upload's view of a finished calculation; progress goes to stderr, as
// a bar redrawn in place on a terminal and one line per table otherwise.
class CalculatedBoxes : public rwlink::UploadSource {
public:
    CalculatedBoxes(const calc::CalcOutput &out, QString port)
        : m_out(out), m_port(std::move(port)), m_terminal(::isatty(STDERR_FILENO) == 1)
    {
    }
    QString combo_text() override { return m_port; }
    std::int32_t base_clock() override { return m_out.base_clock; }
    QString ra_row(int i) override { return QString::fromStdString(m_out.ra.hex_rows[i]); }
    QString dec_row(int i) override { return QString::fromStdString(m_out.dec.hex_rows[i]); }
    QString ra_total() override { return QString::fromStdString(m_out.ra.total_hex); }
    QString dec_total() override { return QString::fromStdString(m_out.dec.total_hex); }
    void ra_progress(int rows) override { progress(rows, 0, QStringLiteral("RA")); }
    void dec_progress(int rows) override
    {
        progress(calc::kTableRows, rows, QStringLiteral("DEC"));
    }

    void finish_line() const
    {
        if (m_terminal)
            say(QStringLiteral("\n"));
    }

private:
    void progress(int ra, int dec, const QString &table)
    {
        const int rows = table == QLatin1String("RA") ? ra : dec;
        if (!m_terminal) {
            if (rows == calc::kTableRows)
                say(QStringLiteral("%1 table sent (%2 rows)\n").arg(table).arg(rows));
            return;
        }
        const int done = (ra + dec) * kBarWidth / (2 * calc::kTableRows);
        say(QStringLiteral("\r[%1%2] RA %3/50  DEC %4/50")
                .arg(QString(done, QLatin1Char('#')), QString(kBarWidth - done, QLatin1Char(' ')))
                .arg(ra, 2)
                .arg(dec, 2));
    }

    const calc::CalcOutput &m_out;
    QString m_port;
    bool m_terminal = false;
};

} // namespace

bool upload_from_command_line(const calc::CalcOutput &out, const QString &port)
{
    QString name = port;
    if (!rwlink::port_number_for(port)) {
        qputenv(QStringLiteral("RW7300_COM%1").arg(kPathPort).toLocal8Bit(), port.toLocal8Bit());
        name = QStringLiteral("Com%1").arg(kPathPort);
    }
    rwlink::SerialLink link;
    CalculatedBoxes boxes(out, name);
    say(QStringLiteral("rw7300-speedtable: uploading to %1 (%2), about 16 s\n")
            .arg(port, rwlink::device_for_port(*rwlink::port_number_for(name))));
    const rwlink::ActionResult result = rwlink::upload(link, boxes);
    boxes.finish_line();
    if (result.ok() && result.commands_written == kUploadCommands) {
        say(QStringLiteral("rw7300-speedtable: %1 commands sent\n").arg(result.commands_written));
        return true;
    }
    QString message =
        result.error_text.isEmpty() ? QStringLiteral("送信が中断されました。") : result.error_text;
    if (!result.failed_command.isEmpty())
        message += QStringLiteral(" 止まったコマンド: %1.")
                       .arg(QString::fromLatin1(rwlink::frame(result.failed_command)));
    say(QStringLiteral("rw7300-speedtable: %1\n送信済みのコマンド: %2 個 / %3\n")
            .arg(message)
            .arg(result.commands_written)
            .arg(kUploadCommands));
    return false;
}

} // namespace app
