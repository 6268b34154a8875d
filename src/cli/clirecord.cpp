#include "clirecord.h"

#include "exitstatus.h"
#include "frame.h"
#include "holds.h"
#include "portsettings.h"
#include "recordtext.h"
#include "sendrecord.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <cstdio>

namespace app {

namespace {

void print(std::FILE *to, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), to);
}

// The records, or the status of a record that cannot be read.
std::optional<files::RecordsRead> records()
{
    const QString path = files::record_path();
    files::RecordsRead read = files::read_records(path);
    recorded::pass_over_unsound(read);
    if (!read.failure.ok) {
        print(stderr, QStringLiteral("rw7300-speedtable: %1\n")
                          .arg(record_read_failure_text(path, read.failure)));
        return std::nullopt;
    }
    if (read.skipped > 0)
        print(stderr, QStringLiteral("rw7300-speedtable: 送信記録の %1 行は記録として読めないため"
                                     "飛ばしました。\n")
                          .arg(read.skipped));
    return read;
}

} // namespace

int list_history(const Options &options)
{
    const auto read = records();
    if (!read)
        return exit_code(ExitStatus::Record);
    if (options.json) {
        QJsonArray array;
        for (qsizetype i = read->records.size(); i-- > 0;)
            array.append(files::record_object(read->records.at(i)));
        print(stdout, QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Compact)) +
                          QLatin1Char('\n'));
        return 0;
    }
    if (read->records.isEmpty())
        print(stdout, QStringLiteral("送信記録はありません (%1)。\n").arg(files::record_path()));
    for (qsizetype i = read->records.size(); i-- > 0;) // newest first
        print(stdout, record_line_text(read->records.at(i)) + QLatin1Char('\n'));
    return 0;
}

int print_holds(const Options &options, const rwlink::Devices &devices)
{
    // A port name stands for the device it opens now, as in the window.
    const PortSettings ports(devices);
    const auto number = rwlink::port_number_for(options.holds);
    const QString device = number ? ports.mapping(*number).device : options.holds;
    const auto read = records();
    if (!read)
        return exit_code(ExitStatus::Record);
    const recorded::Holds holds =
        recorded::holds_of(read->records, {device, ports.map().stable_name(device)});
    if (options.json) {
        QJsonObject object = recorded::holds_json(holds);
        object.insert(QStringLiteral("device"), device);
        print(stdout, QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)) +
                          QLatin1Char('\n'));
    } else {
        const QString mixed = mixed_text_command_line(holds);
        print(stdout, (mixed.isEmpty() ? QString() : mixed + QLatin1Char('\n')) +
                          holds_text(holds, device));
    }
    return 0;
}

} // namespace app
