#include "actions.h"

#include "frame.h"
#include "numbertext.h"

namespace rwlink {

namespace {

using calc::Axis;

ActionStep fixed(const QString &body)
{
    return {[body] { return body; }};
}

void add_rows(Action &action, Axis axis, const std::function<QString(int)> &row,
              const std::function<void(int)> &progress)
{
    for (int i = 0; i < calc::kTableRows; ++i)
        action.push_back({[axis, row, i] { return row_body(axis, i + 1, row(i)); },
                          [progress, i] { progress(i + 1); }});
}

} // namespace

Action upload_action(const std::shared_ptr<UploadSource> &source)
{
    Action action;
    // The clock is read when the action starts, as the other commands are
    // read when they are due.
    if (const auto clock = clock_body(source->base_clock()))
        action.push_back(fixed(*clock));
    action.push_back(fixed(kStoreData));
    add_rows(
        action, Axis::Ra, [source](int i) { return source->ra_row(i); },
        [source](int n) { source->ra_progress(n); });
    action.push_back(fixed(kStoreData));
    add_rows(
        action, Axis::Dec, [source](int i) { return source->dec_row(i); },
        [source](int n) { source->dec_progress(n); });
    action.push_back(fixed(kStoreData));
    action.push_back(fixed(kNewTable));
    action.push_back({[source] { return total_body(Axis::Ra, source->ra_total()); }});
    action.push_back({[source] { return total_body(Axis::Dec, source->dec_total()); }});
    action.push_back(fixed(kNewTotals));
    action.push_back(fixed(kStoreData));
    return action;
}

Action rate_action(std::function<QString()> rate_text)
{
    return {{[rate_text = std::move(rate_text)] { return rate_body(rate_text()); }},
            fixed(kNewTable),
            fixed(kStoreData)};
}

std::optional<Action> total_action(Axis axis, const QString &decimal_total_text,
                                   std::function<void(const QString &)> write_hex_box)
{
    const auto hex = calc::hex6_from_text(decimal_total_text.toStdString());
    if (!hex)
        return std::nullopt;
    const QString digits = QString::fromStdString(*hex);
    return Action{{[axis, digits, write = std::move(write_hex_box)] {
                      write(digits);
                      return total_body(axis, digits);
                  }},
                  fixed(kStoreData)};
}

QString total_out_of_range_text(const QString &decimal_total_text)
{
    return QStringLiteral("総ステップ数 %1 が 32 ビット整数の範囲外のため、"
                          "送れません。計算し直してください。")
        .arg(decimal_total_text.trimmed());
}

} // namespace rwlink
