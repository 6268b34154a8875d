#include "actions.h"

#include "frame.h"
#include "numbertext.h"
#include "seriallink.h"

namespace rwlink {

namespace {

using calc::Axis;

// One action's run over the link: counts what it writes and, at the first
// failure or cancellation, records why and closes the port.
class Run {
public:
    explicit Run(SerialLink &link) : m_link(link) {}

    bool open(const QString &combo_text)
    {
        if (m_link.open_port(combo_text))
            return true;
        m_result.outcome = ActionResult::Outcome::Failed;
        m_result.error_text = m_link.error_text();
        return false;
    }

    bool send(const QString &body)
    {
        m_last_body = body;
        const bool writing = m_link.is_open();
        if (!m_link.send_command(body))
            return stop();
        if (writing)
            ++m_result.commands_written;
        return true;
    }

    bool wait()
    {
        const float gap = std::chrono::duration<float, std::milli>(kCommandGap).count();
        return m_link.wait_ms(gap) || stop();
    }

    bool send_and_wait(const QString &body) { return send(body) && wait(); }

    ActionResult finish()
    {
        m_link.close_port();
        return m_result;
    }

    ActionResult &result() { return m_result; }

private:
    bool stop()
    {
        if (m_link.failed() && !m_link.cancelled()) {
            m_result.outcome = ActionResult::Outcome::Failed;
            m_result.failed_command = m_last_body;
            m_result.error_text = m_link.error_text();
        } else {
            m_result.outcome = ActionResult::Outcome::Cancelled;
        }
        m_link.close_port();
        return false;
    }

    SerialLink &m_link;
    ActionResult m_result;
    QString m_last_body;
};

bool send_rows(Run &run, Axis axis, const std::function<QString(int)> &row,
               const std::function<void(int)> &progress)
{
    for (int i = 0; i < calc::kTableRows; ++i) {
        if (!run.send(row_body(axis, i + 1, row(i))))
            return false;
        progress(i + 1);
        if (!run.wait())
            return false;
    }
    return true;
}

bool upload_sequence(Run &run, UploadSource &source)
{
    if (const auto clock = clock_body(source.base_clock())) {
        if (!run.send_and_wait(*clock))
            return false;
    }
    return run.send_and_wait(kStoreData) &&
           send_rows(
               run, Axis::Ra, [&](int i) { return source.ra_row(i); },
               [&](int n) { source.ra_progress(n); }) &&
           run.send_and_wait(kStoreData) &&
           send_rows(
               run, Axis::Dec, [&](int i) { return source.dec_row(i); },
               [&](int n) { source.dec_progress(n); }) &&
           run.send_and_wait(kStoreData) && run.send_and_wait(kNewTable) &&
           run.send_and_wait(total_body(Axis::Ra, source.ra_total())) &&
           run.send_and_wait(total_body(Axis::Dec, source.dec_total())) &&
           run.send_and_wait(kNewTotals) && run.send(kStoreData);
}

} // namespace

ActionResult upload(SerialLink &link, UploadSource &source)
{
    Run run(link);
    if (run.open(source.combo_text()))
        upload_sequence(run, source);
    return run.finish();
}

ActionResult send_rate(SerialLink &link, const QString &combo_text,
                       const std::function<QString()> &rate_text)
{
    Run run(link);
    if (run.open(combo_text) && run.send_and_wait(rate_body(rate_text())) &&
        run.send_and_wait(kNewTable))
        run.send(kStoreData);
    return run.finish();
}

ActionResult send_total(SerialLink &link, const QString &combo_text, Axis axis,
                        const std::function<QString()> &decimal_total_text,
                        const std::function<void(const QString &)> &write_hex_box)
{
    Run run(link);
    const QString decimal = decimal_total_text();
    const auto hex = calc::hex6_from_text(decimal.toStdString());
    if (!hex) {
        ActionResult &result = run.result();
        result.outcome = ActionResult::Outcome::Failed;
        result.error_text = QStringLiteral("総ステップ数 %1 が 32 ビット整数の範囲外のため、"
                                           "送れません。計算し直してください。")
                                .arg(decimal.trimmed());
        return result;
    }
    if (run.open(combo_text)) {
        const QString digits = QString::fromStdString(*hex);
        write_hex_box(digits);
        if (run.send_and_wait(total_body(axis, digits)))
            run.send(kStoreData);
    }
    return run.finish();
}

} // namespace rwlink
