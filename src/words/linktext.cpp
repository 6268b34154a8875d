#include "linktext.h"

#include "porttext.h"
#include "systemtext.h"

namespace app {

QString port_label(int port, const QString &device)
{
    if (port == 0)
        return QStringLiteral("デバイス %1").arg(device);
    return QStringLiteral("ポート %1 (%2)").arg(port_name(port), device);
}

QString link_failure_text(const std::optional<rwlink::LinkFailure> &failure)
{
    if (!failure)
        return {};
    using Kind = rwlink::LinkFailure::Kind;
    const QString label = port_label(failure->port, failure->device);
    const QString reason = serial_reason_text(failure->error, failure->system_error);
    switch (failure->kind) {
    case Kind::Open:
        return QStringLiteral("%1 を開けませんでした (%2)。").arg(label, reason);
    case Kind::Write:
        return QStringLiteral("%1 に書き込めませんでした (%2)。").arg(label, reason);
    case Kind::Lost:
    case Kind::HungUp:
        break;
    }
    // A line closed from the far side reads as end of file, and Qt then
    // shows a stale system message; name the cause instead.
    return QStringLiteral("%1 との接続が切れました (%2)。ケーブルとコントローラーの"
                          "電源を確かめてから、もう一度送ってください。")
        .arg(label, failure->kind == Kind::HungUp ? QStringLiteral("回線が切られました") : reason);
}

QString action_failure_text(const rwlink::ActionResult &result, const rwlink::PortMap &map,
                            bool for_command_line)
{
    if (result.open_failure)
        return open_failure_text(*result.open_failure, map, for_command_line);
    return link_failure_text(result.failure);
}

QString total_out_of_range_text(const QString &decimal_total_text)
{
    return QStringLiteral("総ステップ数 %1 が 32 ビット整数の範囲外のため、"
                          "送れません。計算し直してください。")
        .arg(decimal_total_text.trimmed());
}

} // namespace app
