#include "sendtext.h"

#include "accuracytext.h"
#include "commands.h"
#include "names.h"
#include "numbertext.h"

#include <QStringList>

#include <cstdio>

namespace app {

namespace {

constexpr int kListedPlaces = 10;

int field_width(calc::ValueKind kind)
{
    return kind == calc::ValueKind::Total ? calc::kTotalValueDigits : calc::kRowValueDigits;
}

QString clock_name(std::int32_t clock)
{
    return core_text(clock_caption(clock));
}

// A place and its value as the operator typed it, spaces shown.
QString place_and_value(const SendIssue &issue)
{
    return QStringLiteral("%1「%2」").arg(issue.value.place, issue.value.text);
}

QString read_fault_reason(const SendIssue &issue)
{
    switch (issue.check.read_fault.value_or(calc::ReadFault::NotHex)) {
    case calc::ReadFault::NotHex:
        return QStringLiteral("16進数でない文字がある");
    case calc::ReadFault::LowerCase:
        return QStringLiteral("16進数が小文字 (大文字でないと読めない)");
    case calc::ReadFault::WrongLength:
        return QStringLiteral("%1 桁でない (%2 桁)")
            .arg(field_width(issue.value.kind))
            .arg(issue.check.sent.size());
    }
    return {};
}

// A few words on the problem, for the list in the question.
QString short_reason(const SendIssue &issue)
{
    switch (issue.problem) {
    case calc::SendProblem::BreaksFrame:
        return QStringLiteral("送れない文字");
    case calc::SendProblem::Unreadable:
        return read_fault_reason(issue);
    case calc::SendProblem::CutByWidth:
        return QStringLiteral("桁が足りず上位桁が失われる");
    case calc::SendProblem::UnusableSpeed:
        return QStringLiteral("使えない値 (0 または負)");
    case calc::SendProblem::Stale:
        if (issue.value.train_changed)
            return QStringLiteral("計算後に駆動系の値が変わった");
        return QStringLiteral("計算後に基本クロックが変わった、または未計算");
    }
    return {};
}

// At most about ten places, one a line, then a count of the rest.
QString listed(const std::vector<SendIssue> &issues)
{
    QStringList lines;
    for (std::size_t i = 0; i < issues.size() && i < kListedPlaces; ++i)
        lines
            << QStringLiteral("・%1: %2").arg(place_and_value(issues[i]), short_reason(issues[i]));
    if (issues.size() > kListedPlaces)
        lines << QStringLiteral("・ほか %1 か所").arg(issues.size() - kListedPlaces);
    return lines.join(QLatin1Char('\n'));
}

// A report line stays one line of printable ASCII, whatever a box holds.
std::string visible(std::string_view text)
{
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", byte);
            out += buf;
        } else
            out.push_back(byte < 0x80 ? c : '?');
    }
    return out;
}

std::string send_problem_text(int place, const calc::SendCheck &check,
                              std::string_view decimal_text)
{
    const bool total = place == kTotalPlace;
    const std::string digits =
        std::to_string(total ? calc::kTotalValueDigits : calc::kRowValueDigits);
    const std::string what = total ? "値" : "分周値";
    const std::string sent = "「" + visible(check.sent) + "」";
    const double decimal = calc::lenient_parse(decimal_text);
    switch (*check.problem) {
    case calc::SendProblem::BreaksFrame:
        return sent + "に # か制御文字か ASCII 以外の文字があり、コマンドの区切りが崩れます。";
    case calc::SendProblem::Unreadable: {
        std::string why = "16進数でない文字があります";
        if (check.read_fault == calc::ReadFault::LowerCase)
            why = "小文字です";
        else if (check.read_fault == calc::ReadFault::WrongLength)
            why = std::to_string(check.sent.size()) + " 桁です";
        return sent + "はコントローラーが読める " + digits +
               " 桁の16進数（0-9 と大文字の A-F）ではありません（" + why + "）。";
    }
    case calc::SendProblem::CutByWidth:
        if (decimal >= (total ? calc::kTotalLimit : calc::kDivisorLimit))
            return what + " " + integer_text(decimal) + " は " + digits +
                   " 桁の16進数に収まりません（上位桁が失われ" + sent + "が送られます）。";
        return "16進の欄が " + digits + " 文字を超えるため先頭の文字が失われ、" + sent +
               "が送られます。";
    case calc::SendProblem::UnusableSpeed:
        if (check.sent.find_first_not_of('0') == std::string::npos)
            return "送られる" + what + "が" + sent + "です。コントローラーは 0 では動けません。";
        return what + " " + integer_text(decimal) + " が負のため、2 の補数" + sent +
               "として送られます。";
    case calc::SendProblem::Stale:
        return "最後の計算の後で基本クロックが変わったか、まだ計算していません。";
    }
    return {};
}

} // namespace

std::string send_problem_summary(calc::Axis axis, int place, const calc::SendCheck &check,
                                 std::string_view decimal_text)
{
    const std::string where = place == kTotalPlace ? "総ステップ数" : entry_name(place);
    return axis_name(axis) + " " + where + ": " + send_problem_text(place, check, decimal_text);
}

QString problem_text(const SendIssue &issue, const CalculatedClock &clock)
{
    const QString sent = core_text(issue.check.sent);
    const bool total = issue.value.kind == calc::ValueKind::Total;
    switch (issue.problem) {
    case calc::SendProblem::BreaksFrame:
        return QStringLiteral("送れません: 「#」、制御文字または ASCII 以外の文字があり、コマンドの"
                              "枠を壊します。16進数の数字 (0〜9、A〜F) だけにしてください。");
    case calc::SendProblem::Unreadable:
        return QStringLiteral("送られる「%1」はコントローラーが読める %2 桁の16進数 (0〜9、A〜F の"
                              "大文字) ではありません: %3。「計算」を押すか、%2 桁の大文字で入力"
                              "してください。")
            .arg(sent)
            .arg(field_width(issue.value.kind))
            .arg(read_fault_reason(issue));
    case calc::SendProblem::CutByWidth:
        if (total)
            return QStringLiteral("総ステップ数 %1 は 6 桁の16進数 (16777215 まで) に収まらず、"
                                  "上位桁が失われて %2 が送られます。ﾏｲｸﾛｽﾃｯﾌﾟかギア比を小さく"
                                  "してください。")
                .arg(issue.value.decimal_text.trimmed(), sent);
        return QStringLiteral("分周値 %1 は 4 桁の16進数 (65535 まで) に収まらず、上位桁が失われて "
                              "%2 が送られます。")
            .arg(issue.value.decimal_text.trimmed(), sent);
    case calc::SendProblem::UnusableSpeed:
        if (total)
            return QStringLiteral("総ステップ数 %1 (送られるのは %2) はコントローラーが使えない値"
                                  "です (0 または負)。駆動系の値を確かめてください。")
                .arg(issue.value.decimal_text.trimmed(), sent);
        return QStringLiteral("送られる分周値 %1 はコントローラーが使えない速度です (0 または負の"
                              "値の2の補数)。駆動系の値を確かめてください。")
            .arg(sent);
    case calc::SendProblem::Stale:
        if (!clock.calculated)
            return QStringLiteral("まだ計算していません。「計算」を押してください。");
        if (issue.value.train_changed)
            return QStringLiteral("計算した後で駆動系 (%1〜%2) の値が変わりました。"
                                  "この値は前の駆動系のものです。「計算」を押し直してください。")
                .arg(core_text(part_name(calc::kWorm)), core_text(part_name(calc::kMicrostep)));
        return QStringLiteral("基本クロックが計算したとき (%1) と違います (いまは %2)。"
                              "「計算」を押し直してください。")
            .arg(clock_name(*clock.calculated), clock_name(clock.selected));
    }
    return {};
}

QString refusal_text(const SendIssue &issue)
{
    return QStringLiteral("%1 はコマンドの枠を壊す文字 (「#」、制御文字または ASCII 以外) を"
                          "含むため、送信しません。16進数の数字だけにしてください。")
        .arg(place_and_value(issue));
}

QString confirmation_text(const std::vector<SendIssue> &issues)
{
    return QStringLiteral("次の値はコントローラーが正しく扱えないおそれがあります "
                          "(箱の印とツールチップに理由があります)。\n\n%1\n\nこのまま送信しますか?")
        .arg(listed(issues));
}

QString paused_text(const std::vector<SendIssue> &issues, int written, int planned)
{
    return QStringLiteral("送信を一時停止しました (%1 / %2 個送信済み)。\n\n"
                          "送信を始めた後で変わった、まだ送っていない次の値は、コントローラーが"
                          "正しく扱えないおそれがあります。\n\n%3\n\n"
                          "これらの値を送って続けますか? 中止すると、コントローラーには途中までの"
                          "値が残ります。")
        .arg(written)
        .arg(planned)
        .arg(listed(issues));
}

} // namespace app
