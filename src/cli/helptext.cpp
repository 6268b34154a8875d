#include "helptext.h"

#include "advisor.h"
#include "calculate.h"
#include "columns.h"
#include "datadir.h"
#include "exitstatus.h"
#include "mountfile.h"
#include "names.h"
#include "portassignments.h"
#include "sendrecord.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStringList>

#include <string>
#include <vector>

namespace app {

namespace {

struct Described {
    const char *name;
    QString text;
};

QString dashed(const QString &name)
{
    return (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
}

// "240,2,200,10,16": the form --ra and --dec take.
QString drive_train_text(const calc::DriveTrainTexts &texts)
{
    QStringList parts;
    for (const std::string &text : texts)
        parts << core_text(text);
    return parts.join(QLatin1Char(','));
}

// The runs that calculate, and --advise's tolerance.
std::vector<Described> calculation_texts()
{
    return {
        {"calculate", QStringLiteral("スピードテーブルを計算して出力します。")},
        {"advise", QStringLiteral("ウィンドウの「精度」と同じく、両軸の基本クロックとマイクロ"
                                  "ステップ (1 … 256) の組を並べ、勧めます: 欄に収まるもののうち、"
                                  "恒星時のずれ (″/時) が最良から許容差 (--tolerance) 以内なら"
                                  "マイクロステップの大きいもの、次にずれの小さいもの、今の"
                                  "クロック、2MHz の順。赤経の推奨で共通のクロックが決まり、"
                                  "赤緯はそのクロックで選びます。駆動系は --ra、--dec、--mount "
                                  "のもの、--clock は今の設定を示します。")},
        {"tolerance", QStringLiteral("--advise の許容差: 恒星時のずれの差がこれより小さければ、"
                                     "マイクロステップの大きい (動きの滑らかな) 設定を選びます "
                                     "(″/時、既定 %1)。")
                          .arg(calc::kDefaultTolerance)},
    };
}

// What a calculation is made from and where it goes.
std::vector<Described> drive_train_texts()
{
    return {
        {"ra", QStringLiteral("赤経軸の駆動系: ウォームホイール、中間ギア、モーター、減速ギア、"
                              "マイクロステップ (既定 %1)。")
                   .arg(drive_train_text(calc::kDefaultRa))},
        {"dec",
         QStringLiteral("赤緯軸の駆動系 (既定 %1)。").arg(drive_train_text(calc::kDefaultDec))},
        {"clock", QStringLiteral("基本クロック: 2MHz (既定) か 250kHz。マウントファイルと同じく"
                                 "大文字小文字や空白は問わず、ヘルツでも書けます (2000000, "
                                 "250000)。")},
        {"mount", QStringLiteral("駆動系と基本クロックをマウントファイル FILE から読みます。"
                                 "一緒に指定した --ra, --dec, --clock はその値に代わります。"
                                 "--calculate か --save-mount と一緒に。")},
        {"json",
         QStringLiteral("--calculate では欄の文字を一つの JSON オブジェクトで出力します。--advise "
                        "では {\"recommended\": {base_clock, ra_microstep, dec_microstep}, "
                        "\"candidates\": [{axis, base_clock, microstep, cut, sidereal_ppm, "
                        "drift_arcsec_per_hour, worst_ppm_to_2x, 赤経では solar_ppm, lunar_ppm, "
                        "king_ppm}, ...]} を軸ごとの順位の順に出力します (recommended には "
                        "keeps_current、全体には tolerance_arcsec_per_hour も)。--ports "
                        "では一つの JSON 配列を出力します: Com1 … Com20 の順に {\"port\": "
                        "\"Com3\", \"device\", \"source\": "
                        "override|assigned|single_adapter|default, \"present\": "
                        "detected|exists|missing, \"assigned\": 割り当てたデバイスか null, "
                        "\"detected\": {location, stable_name, description, manufacturer, "
                        "serial_number, vendor_id, product_id} か null}、続いて、どのポートも"
                        "開かない接続中のシリアルデバイスごとに \"port\": null のオブジェクト。"
                        "--history と --holds では送信記録を JSON で出力します。")},
        {"listing", QStringLiteral("一覧 Speed_Data.txt (Shift_JIS) を FILE にも書きます。- "
                                   "なら表の代わりに標準出力に書きます。FIFO、端末、デバイスには"
                                   "そのまま書き、シンボリックリンクはたどって先のファイルを"
                                   "書き直します。")},
        {"upload", QStringLiteral("ウィンドウの「送信」と同じく、表を PORT のコントローラーに"
                                  "送ります (PORT は Com1 … Com20 で、ウィンドウと同じ割り当て。"
                                  "--ports が示します。またはデバイスのパス)。送ったとおりに"
                                  "受け取れない行や合計があれば、何も送らず終了ステータス %1 で"
                                  "断ります (--force を参照)。")
                       .arg(exit_code(ExitStatus::CalculationOrRefused))},
        {"force", QStringLiteral("コントローラーが送ったとおりに受け取れない値 (欄で切れる、"
                                 "0 や負) も送ります。これがなければ、そのような送信は断ります。")},
    };
}

// The mount file's and the ports' options, and the window's own.
std::vector<Described> mount_and_port_texts()
{
    return {
        {"save-mount",
         QStringLiteral("--ra, --dec, --clock, --mount の値 (どれも与えない値は既定値) "
                        "でマウントファイルを FILE に書きます。- なら標準出力に書きます。"
                        "既存のマウントファイルはコメントとほかのキーを残します。ほかの"
                        "既存のファイル、この版で読めないマウントファイル、FIFO、"
                        "デバイスには書かず、そのまま残します。")},
        {"mount-name",
         QStringLiteral("--save-mount が書くマウント名 (既定: --mount のファイルの名前、"
                        "なければ FILE が既にマウントファイルならその名前、なければ "
                        "FILE の拡張子を除いた名前。- のときはなし)。")},
        {"ports", QStringLiteral("各ポート名 Com1 … Com20 が開くデバイス、それがあるか、どう"
                                 "決まったか (環境変数 RW7300_COMn、割り当て、Com1 にはただ一つの "
                                 "USB アダプター、またはシステムの n 番目のポート) を示し、続いて"
                                 "接続中のシリアルデバイスを示します: 説明、製造元、シリアル番号、"
                                 "USB のベンダー:製品 ID、安定した /dev/serial/by-id の名前。")},
        {"set-port", QStringLiteral("ウィンドウの「ポート設定」と同じく、このユーザーのポート名 "
                                    "(Com1 … Com20) に DEVICE を割り当てます。接続中のシリアル"
                                    "デバイスは安定した by-id の名前があればその名前で、相対パスは"
                                    "絶対パスで保存します。RW7300_COMn が設定されていればそちらが"
                                    "優先されます。ないデバイスや、このユーザーが今は開けない"
                                    "デバイス (dialout グループ) も、警告を出して保存します。")},
        {"clear-port", QStringLiteral("PORT (Com1 … Com20) の割り当てを外します。以後は割り当てが"
                                      "ないときのデバイスを開きます。")},
        {"history", QStringLiteral("送信記録 (コントローラーへの各操作の記録) を 新しい順に "
                                   "一覧します。 --json では 記録の JSON オブジェクトの配列。")},
        {"holds", QStringLiteral("送信記録から、 PORT (Com1 … Com20、 ウィンドウと同じ割り当て) "
                                 "または DEVICE の コントローラーが 保持しているはずの値を "
                                 "表示します: 基本クロック、 両テーブル、 両総ステップ数、 "
                                 "追尾速度と、 それぞれの 送信日時と マウント。 --json では "
                                 "JSON オブジェクト (値が 混在しているときは \"mixed\": true)。")},
        {"night", QStringLiteral("ウィンドウを夜間表示 (黒地に暗い赤) で開きます。"
                                 "ウィンドウでは Ctrl+N で切り替えられ、選んだ表示"
                                 "は次回の起動でも使われます。")},
    };
}

// Each paragraph in lines of the terminal's width, and a blank line after it.
QString paragraphs(const QStringList &texts)
{
    QString text;
    for (const QString &paragraph : texts)
        text += wrapped(paragraph, kTerminalColumns, QString(), QString()).join(QLatin1Char('\n')) +
                QStringLiteral("\n\n");
    return text;
}

// An option's names as the help lists them: "-h, --help", "--ra <W,I,M,R,U>".
QString option_names(const QCommandLineOption &option)
{
    QStringList names;
    for (const QString &name : option.names())
        names << dashed(name);
    QString text = names.join(QStringLiteral(", "));
    if (!option.valueName().isEmpty())
        text += QStringLiteral(" <%1>").arg(option.valueName());
    return text;
}

} // namespace

QString option_description(QLatin1StringView name)
{
    for (auto texts : {calculation_texts, drive_train_texts, mount_and_port_texts}) {
        for (const Described &d : texts()) {
            if (name == QLatin1StringView(d.name))
                return d.text;
        }
    }
    return {};
}

QString program_description(const QString &usage_forms)
{
    // Paragraphs are parted by a blank line; the manual page keeps them.
    return paragraphs(
               {QStringLiteral("RW7300 赤道儀ステッピングモーター制御装置のスピードテーブルを"
                               "計算し、送ります。")})
               .chopped(1) +
           usage_forms + QLatin1Char('\n') +
           paragraphs(
               {QStringLiteral(
                    "オプションなしではウィンドウが開きます。rw7300-speedtable FILE は"
                    "マウントファイル FILE (*.%1: マウント名、両軸の駆動系、基本クロック) を"
                    "開いてウィンドウを開きます。--calculate は表を出力し、--advise はクロックと"
                    "マイクロステップの組を勧め、--save-mount はマウントファイルを書き、"
                    "--ports, --set-port, --clear-port は各ポート名 Com1 … Com20 が開くシリアル"
                    "デバイスを示し、変えます (ウィンドウでも同じです)。--history と --holds は"
                    "送信記録を読みます。一回の実行ではこれらのうち一つだけです。")
                    .arg(files::kMountSuffix),
                QStringLiteral("ウィンドウが Speed_Data.txt と PARAM.DAT を書く場所: %1")
                    .arg(QDir::toNativeSeparators(
                        data_directory(QCoreApplication::applicationDirPath(), false))),
                QStringLiteral("ポートの割り当ての保存先: %1")
                    .arg(QDir::toNativeSeparators(files::port_assignments_path())),
                QStringLiteral("送信記録 (--history, --holds): %1")
                    .arg(QDir::toNativeSeparators(files::record_path()))}) +
           exit_status_help();
}

// Qt lays out its help by characters, and a Japanese one takes two columns:
// the help is laid out here instead, in Qt's form and with Japanese
// headings, each line within the terminal's width. The manual page is
// made from it. Names too wide for their column stand on a line of their own.
QString help_text(const QString &description, const QList<QCommandLineOption> &options)
{
    constexpr int kNamesColumn = 28;
    const QString program = QFileInfo(QCoreApplication::arguments().value(0)).fileName();
    QStringList lines{QStringLiteral("使い方: %1 [オプション]")
                          .arg(program.isEmpty() ? QStringLiteral("rw7300-speedtable") : program)};
    lines << description << QString() << QStringLiteral("オプション:");
    const QString indent(kNamesColumn, QLatin1Char(' '));
    for (const QCommandLineOption &option : options) {
        const QString names = QStringLiteral("  ") + option_names(option);
        QString first = padded(names, kNamesColumn, false);
        if (display_width(names) + 2 > kNamesColumn) {
            lines << names;
            first = indent;
        }
        lines << wrapped(option.description(), kTerminalColumns, first, indent);
    }
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

QString help_all_note()
{
    return wrapped(QStringLiteral("ウィンドウは Qt 自身のオプションも受け付けます "
                                  "(-platform offscreen, -style fusion など)。"),
                   kTerminalColumns, QString(), QString())
               .join(QLatin1Char('\n')) +
           QLatin1Char('\n');
}

} // namespace app
