// The command line's options read without starting a process: what each
// accepts, each usage error in Japanese in one line, and the exit statuses
// --help lists.

#include "cli.h"
#include "exitstatus.h"
#include "options.h"
#include "terminalwidth.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <set>

using app::Action;

namespace {

QStringList program(const QStringList &arguments)
{
    return QStringList{QStringLiteral("rw7300-speedtable")} + arguments;
}

} // namespace

class tst_CliOptions : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void usageError_data();
    void usageError();
    void accepted_data();
    void accepted();
    void printed_data();
    void printed();
    void exitStatuses();
    void windowOrCommandLine_data();
    void windowOrCommandLine();
    void usageForms_data();
    void usageForms();

private:
    QTemporaryDir m_config;
};

void tst_CliOptions::initTestCase()
{
    // --help names where the assignments are kept: somewhere of the test's.
    QVERIFY(m_config.isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
    qputenv("HOME", QFile::encodeName(m_config.path()));
}

void tst_CliOptions::usageError_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message"); // a part of the one line
    QTest::newRow("unknown option")
        << QStringList{"--bogus"} << "--bogus というオプションはありません";
    QTest::newRow("unknown short option") << QStringList{"-x"} << "-x というオプションはありません";
    QTest::newRow("value missing") << QStringList{"--calculate", "--ra"} << "--ra には値が必要です";
    QTest::newRow("value to a switch")
        << QStringList{"--calculate=yes"} << "--calculate は値を取りません";
    QTest::newRow("given twice") << QStringList{"--calculate", "--clock", "2MHz", "--clock=250kHz"}
                                 << "--clock が二度以上";
    QTest::newRow("a switch twice")
        << QStringList{"--calculate", "--json", "--ports", "--json"} << "--json が二度以上";
    QTest::newRow("night with a run") << QStringList{"--advise", "--night"}
                                      << "--night はウィンドウを開くときのオプションで、--advise";
    QTest::newRow("twice before help")
        << QStringList{"--help", "--ra", "1", "--ra", "2"} << "--ra が二度以上";
    QTest::newRow("stray argument") << QStringList{"--calculate", "extra"} << "余計な引数「extra」";
    QTest::newRow("two runs") << QStringList{"--calculate", "--ports"} << "一つだけ";
    QTest::newRow("nothing to do") << QStringList{"--"} << "することが指定されていません";
    QTest::newRow("ra without a run") << QStringList{"--ports", "--ra", "1,2,3,4,5"}
                                      << "--ra は --calculate か --advise か --save-mount と一緒に";
    QTest::newRow("mount alone") << QStringList{"--mount", "m.rw7300mount"}
                                 << "--mount は --calculate か --advise か --save-mount と一緒に";
    QTest::newRow("json of a change")
        << QStringList{"--set-port", "Com3=/x", "--json"}
        << "--json は --calculate か --advise か --ports か --history か --holds と一緒に";
    QTest::newRow("holds without a port") << QStringList{"--holds="} << "--holds にはポート";
    QTest::newRow("history and holds") << QStringList{"--history", "--holds", "Com1"} << "一つだけ";
    // Port-name look-alikes, as --upload refuses them.
    for (const char *port : {"com1", "COM1", "Com0", "Com21"})
        QTest::addRow("holds of %s", port)
            << QStringList{"--holds", port}
            << QStringLiteral("%1 はポート名ではありません").arg(port);
    QTest::newRow("history with a drive train")
        << QStringList{"--history", "--ra", "1,2,3,4,5"}
        << "--ra は --calculate か --advise か --save-mount";
    QTest::newRow("listing of a saved mount")
        << QStringList{"--save-mount", "m.rw7300mount", "--listing", "x"}
        << "--listing は --calculate と一緒に";
    QTest::newRow("name without saving") << QStringList{"--calculate", "--mount-name", "E"}
                                         << "--mount-name は --save-mount と一緒に";
    QTest::newRow("force without upload")
        << QStringList{"--calculate", "--force"} << "--force は --upload と一緒に";
    QTest::newRow("four values") << QStringList{"--calculate", "--ra", "240,2,200,10"}
                                 << "--ra には五つの値";
    QTest::newRow("six values") << QStringList{"--calculate", "--dec", "1,2,3,4,5,6"}
                                << "--dec には五つの値";
    QTest::newRow("unknown clock")
        << QStringList{"--calculate", "--clock", "3MHz"} << "基本クロック「3MHz」は使えません";
    QTest::newRow("empty mount") << QStringList{"--calculate", "--mount", ""}
                                 << "--mount にはファイル名が必要です";
    QTest::newRow("empty listing")
        << QStringList{"--calculate", "--listing", ""} << "--listing にはファイル名が必要です";
    QTest::newRow("listing and JSON on stdout")
        << QStringList{"--calculate", "--json", "--listing", "-"} << "一緒には使えません";
    QTest::newRow("empty save") << QStringList{"--save-mount", ""}
                                << "--save-mount にはファイル名が必要です";
    QTest::newRow("upload to nothing")
        << QStringList{"--calculate", "--upload", ""} << "--upload にはポートが必要です";
    QTest::newRow("upload to Com21")
        << QStringList{"--calculate", "--upload", "Com21"} << "Com21 はポート名ではありません";
    QTest::newRow("upload to com3")
        << QStringList{"--calculate", "--upload", "com3"} << "com3 はポート名ではありません";
    QTest::newRow("set Com21") << QStringList{"--set-port", "Com21=/x"}
                               << "ポート名「Com21」はありません";
    QTest::newRow("set without equals") << QStringList{"--set-port", "Com3"} << "PORT=DEVICE";
    QTest::newRow("set blank device")
        << QStringList{"--set-port", "Com3=  "} << "Com3= にデバイスがありません";
    QTest::newRow("set a port name")
        << QStringList{"--set-port", "Com3=Com5"} << "Com5 はポート名で、デバイスではありません";
    QTest::newRow("set a control character")
        << QStringList{"--set-port", "Com3=/dev/a\tb"} << "制御文字";
    QTest::newRow("clear Com0") << QStringList{"--clear-port", "Com0"}
                                << "ポート名「Com0」はありません";
}

// One line naming the mistake, then where the help is: three lines at most.
void tst_CliOptions::usageError()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    const app::ParsedOptions parsed = app::parse_options(program(arguments));
    const auto *error = std::get_if<app::UsageError>(&parsed);
    QVERIFY(error);
    QVERIFY2(error->message.contains(message), qPrintable(error->message));
    QVERIFY(!error->message.contains(QLatin1Char('\n')));
    const QStringList lines = app::usage_error_text(*error).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2);
    QVERIFY(lines[0].startsWith(QStringLiteral("rw7300-speedtable: ")));
    QVERIFY2(lines[1].contains(QStringLiteral("詳しくは rw7300-speedtable --help")),
             qPrintable(lines[1]));
}

void tst_CliOptions::accepted_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("action");
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("upload"); // "" none
    QTest::addColumn<bool>("force");
    QTest::addColumn<bool>("json");
    const int calculate = int(Action::Calculate);
    QTest::newRow("calculate") << QStringList{"--calculate"} << calculate << 0 << ""
                               << "" << false << false;
    QTest::newRow("upload forced")
        << QStringList{"--calculate", "--upload", "Com3", "--force"} << calculate << 0 << ""
        << "Com3" << true << false;
    QTest::newRow("force before upload")
        << QStringList{"--force", "--calculate", "--upload=/d"} << calculate << 0 << ""
        << "/d" << true << false;
    QTest::newRow("JSON listing to a file")
        << QStringList{"--calculate", "--json", "--listing", "-x"} << calculate << 0 << ""
        << "" << false << true;
    QTest::newRow("ports as JSON")
        << QStringList{"--json", "--ports"} << int(Action::Ports) << 0 << ""
        << "" << false << true;
    QTest::newRow("set Com20") << QStringList{"--set-port", "Com20= /dev/ttyUSB0 "}
                               << int(Action::SetPort) << 20 << "/dev/ttyUSB0"
                               << "" << false << false;
    QTest::newRow("set a relative path")
        << QStringList{"--set-port", "Com1=./ttyRW"} << int(Action::SetPort) << 1
        << QDir::current().absoluteFilePath("ttyRW") << "" << false << false;
    QTest::newRow("set a bare name")
        << QStringList{"--set-port", "Com2=ttyS0"} << int(Action::SetPort) << 2 << "ttyS0"
        << "" << false << false;
    QTest::newRow("clear Com1") << QStringList{"--clear-port", "Com1"} << int(Action::ClearPort)
                                << 1 << ""
                                << "" << false << false;
    QTest::newRow("save a mount") << QStringList{"--save-mount", "-", "--clock", "250 kHz"}
                                  << int(Action::SaveMount) << 0 << ""
                                  << "" << false << false;
}

void tst_CliOptions::accepted()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, action);
    QFETCH(int, port);
    QFETCH(QString, device);
    QFETCH(QString, upload);
    QFETCH(bool, force);
    QFETCH(bool, json);
    const app::ParsedOptions parsed = app::parse_options(program(arguments));
    if (const auto *error = std::get_if<app::UsageError>(&parsed))
        QFAIL(qPrintable(error->message));
    const auto *options = std::get_if<app::Options>(&parsed);
    QVERIFY(options);
    QCOMPARE(int(options->action), action);
    QCOMPARE(options->port, port);
    QCOMPARE(options->device, device);
    QCOMPARE(options->upload.value_or(QString()), upload);
    QCOMPARE(options->force, force);
    QCOMPARE(options->json, json);
}

void tst_CliOptions::printed_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("starts");
    QTest::newRow("help") << QStringList{"--help"} << "使い方: ";
    QTest::newRow("help with a run") << QStringList{"--calculate", "-h"} << "使い方: ";
    QTest::newRow("help-all") << QStringList{"--help-all"} << "使い方: ";
    QTest::newRow("version") << QStringList{"--version"} << "rw7300-speedtable ";
}

void tst_CliOptions::printed()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, starts);
    const app::ParsedOptions parsed = app::parse_options(program(arguments));
    const auto *printed = std::get_if<app::Printed>(&parsed);
    QVERIFY(printed);
    QVERIFY2(printed->text.startsWith(starts), qPrintable(printed->text.left(200)));
    // An 80-column terminal shows every line whole.
    QVERIFY2(wider_line(printed->text).isEmpty(), qPrintable(wider_line(printed->text)));
}

// Each status once, in the table's order, and --help says every one of them.
void tst_CliOptions::exitStatuses()
{
    // Each number is observed from real runs in tst_cli; here: no two
    // failures share one, and --help lists them all.
    std::set<int> codes;
    for (const app::ExitStatusRow &row : app::kExitStatuses)
        QVERIFY(codes.insert(row.code).second);
    const auto parsed = app::parse_options(program({"--help"}));
    const QString help = std::get<app::Printed>(parsed).text.simplified();
    for (const app::ExitStatusRow &row : app::kExitStatuses) {
        const QString item =
            QStringLiteral("%1 %2").arg(row.code).arg(QString::fromUtf8(row.meaning));
        QVERIFY2(help.contains(item), qPrintable(item));
    }
    QVERIFY(help.contains(QStringLiteral("130, 143 SIGINT か SIGTERM で送信を止めた")));
}

void tst_CliOptions::usageForms_data()
{
    QTest::addColumn<bool>("everything"); // every bracketed option given, or none
    QTest::newRow("every option of each form") << true;
    QTest::newRow("only what each form needs") << false;
}

// The forms --help shows (and the manual page's SYNOPSIS with it) are ones
// the program takes, one per run, and together name every option.
void tst_CliOptions::usageForms()
{
    QFETCH(bool, everything);
    // A long form goes on in lines indented six spaces.
    const QString help =
        std::get<app::Printed>(app::parse_options(program({"--help"})))
            .text.replace(QRegularExpression(QStringLiteral("\n {6}(?! )")), QStringLiteral(" "));
    const QHash<QString, QString> values{{"W,I,M,R,U", "240,2,200,10,16"},
                                         {"ARCSEC_PER_HOUR", "0.25"},
                                         {"2MHz|250kHz", "250kHz"},
                                         {"FILE", "m.rw7300mount"},
                                         {"PORT", "Com3"},
                                         {"PORT=DEVICE", "Com3=/dev/ttyUSB0"},
                                         {"PORT|DEVICE", "Com3"},
                                         {"NAME", "Eq6"}};
    static const QRegularExpression form_line(QStringLiteral("^  rw7300-speedtable (.*)$"),
                                              QRegularExpression::MultilineOption);
    static const QRegularExpression innermost(QStringLiteral("\\[[^\\[\\]]*\\]"));
    std::set<int> actions;
    QSet<QString> named;
    for (const QRegularExpressionMatch &m : form_line.globalMatch(help)) {
        QString form = m.captured(1);
        if (everything) {
            form.remove(QLatin1Char('[')).remove(QLatin1Char(']'));
        } else {
            while (form.contains(innermost))
                form.remove(innermost);
        }
        QStringList arguments;
        for (const QString &word : form.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            if (word.startsWith(QLatin1String("--"))) {
                arguments << word;
                named.insert(word);
            } else if (!arguments.isEmpty()) {
                QVERIFY2(values.contains(word), qPrintable(word));
                arguments << values.value(word);
            }
        }
        // The window's form (a mount file, and what belongs to no run) is not
        // the command line's to run.
        if (!m.captured(1).startsWith(QLatin1String("--")))
            continue;
        const app::ParsedOptions parsed = app::parse_options(program(arguments));
        if (const auto *error = std::get_if<app::UsageError>(&parsed))
            QFAIL(qPrintable(m.captured(1) + QStringLiteral(": ") + error->message));
        QVERIFY(actions.insert(int(std::get<app::Options>(parsed).action)).second);
    }
    QCOMPARE(actions.size(), std::size_t{8});
    if (everything) {
        static const QRegularExpression option_line(QStringLiteral("^  (--[a-z-]+)"),
                                                    QRegularExpression::MultilineOption);
        const QString options = help.mid(help.indexOf(QStringLiteral("\nオプション:\n")));
        for (const QRegularExpressionMatch &m : option_line.globalMatch(options)) {
            if (!m.captured(1).startsWith(QLatin1String("--help")) &&
                m.captured(1) != QLatin1String("--version"))
                QVERIFY2(named.contains(m.captured(1)), qPrintable(m.captured(1)));
        }
    }
}

void tst_CliOptions::windowOrCommandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("commandLine");
    QTest::newRow("nothing") << QStringList{} << false;
    QTest::newRow("--night") << QStringList{"--night"} << false;
    QTest::newRow("--night and a mount file") << QStringList{"--night", "m.rw7300mount"} << false;
    QTest::newRow("--night with a run") << QStringList{"--night", "--calculate"} << true;
    QTest::newRow("a run with --night") << QStringList{"--ports", "--night"} << true;
    QTest::newRow("--nightly is no window option") << QStringList{"--nightly"} << true;
}

// --night opens the window; given with a run, it would do nothing there, so
// the run refuses it.
void tst_CliOptions::windowOrCommandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, commandLine);
    const QStringList all = program(arguments);
    std::vector<QByteArray> bytes;
    for (const QString &a : all)
        bytes.push_back(a.toLocal8Bit());
    std::vector<const char *> argv;
    for (const QByteArray &b : bytes)
        argv.push_back(b.constData());
    QCOMPARE(app::wants_command_line(static_cast<int>(argv.size()), argv.data()), commandLine);
    if (!commandLine)
        return;
    QVERIFY(std::holds_alternative<app::UsageError>(app::parse_options(all)));
}

QTEST_GUILESS_MAIN(tst_CliOptions)
#include "tst_cli_options.moc"
