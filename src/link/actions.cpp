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

void add_rows(Action &action, Axis axis, const std::shared_ptr<UploadSource> &source)
{
    const bool ra = axis == Axis::Ra;
    for (int i = 0; i < calc::kTableRows; ++i)
        action.push_back(
            {[axis, source, ra, i] {
                 return row_body(axis, i + 1, ra ? source->ra_row(i) : source->dec_row(i));
             },
             [source, ra, i] { ra ? source->ra_progress(i + 1) : source->dec_progress(i + 1); },
             [source, axis, i] { return source->check(axis, i); }});
}

ActionStep total_step(Axis axis, const std::shared_ptr<UploadSource> &source)
{
    return {[axis, source] {
                return total_body(axis,
                                  axis == Axis::Ra ? source->ra_total() : source->dec_total());
            },
            [] {}, [axis, source] { return source->check(axis, UploadSource::kTotalIndex); }};
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
    add_rows(action, Axis::Ra, source);
    action.push_back(fixed(kStoreData));
    add_rows(action, Axis::Dec, source);
    action.push_back(fixed(kStoreData));
    action.push_back(fixed(kNewTable));
    action.push_back(total_step(Axis::Ra, source));
    action.push_back(total_step(Axis::Dec, source));
    action.push_back(fixed(kNewTotals));
    action.push_back(fixed(kStoreData));
    return action;
}

Action rate_action(std::function<QString()> rate_text, std::function<StepVerdict()> check)
{
    return {{[rate_text = std::move(rate_text)] { return rate_body(rate_text()); }, [] {},
             std::move(check)},
            fixed(kNewTable),
            fixed(kStoreData)};
}

std::optional<Action> total_action(Axis axis, const QString &decimal_total_text,
                                   std::function<void(const QString &)> write_hex_box,
                                   std::function<StepVerdict(const QString &)> check)
{
    const auto hex = calc::hex6_from_text(decimal_total_text.toStdString());
    if (!hex)
        return std::nullopt;
    const QString digits = ascii_text(*hex);
    return Action{{[axis, digits, write = std::move(write_hex_box)] {
                       write(digits);
                       return total_body(axis, digits);
                   },
                   [] {}, [digits, check = std::move(check)] { return check(digits); }},
                  fixed(kStoreData)};
}

} // namespace rwlink
