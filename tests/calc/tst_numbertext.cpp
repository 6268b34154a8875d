#include "numbertext.h"
#include "scopedenv.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>

using namespace calc;

class tst_NumberText : public QObject {
    Q_OBJECT

private slots:
    void lenientParse_data();
    void lenientParse();
    void lenientParseExtremes();
    void displayForm_data();
    void displayForm();
    void displayRoundTrip();
    void rounding_data();
    void rounding();
    void hex_data();
    void hex();
    void boxSteps_data();
    void boxSteps();
    void independentOfLocale();
};

void tst_NumberText::lenientParse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");
    QTest::newRow("integer") << "240" << 240.0;
    QTest::newRow("fraction") << "2.5" << 2.5;
    QTest::newRow("leading space") << " 2.5" << 2.5;
    QTest::newRow("comma is not a decimal point") << "2,5" << 2.0;
    QTest::newRow("empty") << "" << 0.0;
    QTest::newRow("only blanks") << " \t\n" << 0.0;
    QTest::newRow("not a number") << "abc" << 0.0;
    QTest::newRow("leading number") << "12abc" << 12.0;
    QTest::newRow("blanks inside digits") << "1 2\t3" << 123.0;
    QTest::newRow("blank after sign") << "- 5" << -5.0;
    QTest::newRow("plus sign") << "+7" << 7.0;
    QTest::newRow("negative") << "-22438.54" << -22438.54;
    QTest::newRow("point first") << ".5" << 0.5;
    QTest::newRow("trailing point") << "5." << 5.0;
    QTest::newRow("second point stops") << "1.2.3" << 1.2;
    QTest::newRow("exponent") << "1.5E3" << 1500.0;
    QTest::newRow("lower-case exponent") << "2e-2" << 0.02;
    QTest::newRow("exponent with plus") << "1E+15" << 1e15;
    QTest::newRow("letter without exponent digits") << "7E" << 7.0;
    QTest::newRow("exponent sign without digits") << "7E+x" << 7.0;
    QTest::newRow("lone sign") << "-" << 0.0;
    QTest::newRow("lone point") << "." << 0.0;
    QTest::newRow("full-width digits are not digits") << "２４０" << 0.0;
    QTest::newRow("display form of lunar") << " 11647.7864583333" << 11647.7864583333;
    QTest::newRow("many digits round correctly") << "0.1000000000000000055511151231257827" << 0.1;
}

void tst_NumberText::lenientParse()
{
    QFETCH(QString, text);
    QFETCH(double, value);
    QCOMPARE(lenient_parse(text.toStdString()), value);
}

void tst_NumberText::lenientParseExtremes()
{
    const double inf = std::numeric_limits<double>::infinity();
    QCOMPARE(lenient_parse("1e400"), inf);
    QCOMPARE(lenient_parse("-1e400"), -inf);
    QCOMPARE(lenient_parse("1e99999999999999999999"), inf);
    QCOMPARE(lenient_parse("1e-400"), 0.0);
    QCOMPARE(lenient_parse("0.000000000000000000001e-390"), 0.0);
    // Many leading zeros do not make a small number overflow.
    QCOMPARE(lenient_parse("0000000000000000000000000000001e308"), 1e308);
    std::string nines(400, '9');
    nines += "e-400";
    QCOMPARE(lenient_parse(nines), 1.0);
    // A long mantissa offsets a large exponent (found by fuzzing).
    QCOMPARE(lenient_parse("1" + std::string(100000, '0') + "e-100005"), 1e-5);
}

void tst_NumberText::displayForm_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero") << 0.0 << " 0";
    QTest::newRow("negative zero") << -0.0 << " 0";
    QTest::newRow("negative integer") << -3.0 << "-3";
    QTest::newRow("solar") << 11250.0 << " 11250";
    QTest::newRow("RA total") << 15360000.0 << " 15360000";
    QTest::newRow("lunar, 15 digits") << 11647.786458333333 << " 11647.7864583333";
    QTest::newRow("RA row 0") << 2000000.0 / ((15360000.0 / 86164) * 0.5) << " 22438.5416666667";
    QTest::newRow("RA row 9") << 2000000.0 / ((15360000.0 / 86164) * 4) << " 2804.81770833333";
    QTest::newRow("negative fraction") << -22438.54 << "-22438.54";
    QTest::newRow("trailing zeros dropped") << 2.5000 << " 2.5";
    QTest::newRow("below one") << 0.5 << " 0.5";
    QTest::newRow("small") << 0.00012 << " 0.00012";
    QTest::newRow("tiny") << 1.5e-9 << " 1.5E-09";
    QTest::newRow("largest fixed") << 999999999999999.0 << " 999999999999999";
    QTest::newRow("rounds up into exponent form") << 999999999999999.9 << " 1E+15";
    QTest::newRow("10^15") << 1e15 << " 1E+15";
    QTest::newRow("huge negative") << -1.25e300 << "-1.25E+300";
    QTest::newRow("rounding carries") << 0.99999999999999999 << " 1";
    // Fifteen digits would round past the largest double (found by fuzzing).
    QTest::newRow("largest double")
        << std::numeric_limits<double>::max() << " 1.7976931348623157E+308";
    QTest::newRow("just below the largest, 15 digits still fit")
        << 1.79769313486231e308 << " 1.79769313486231E+308";
}

void tst_NumberText::displayForm()
{
    QFETCH(double, value);
    QFETCH(QString, text);
    QCOMPARE(QString::fromStdString(display_form(value)), text);
}

// Any double, shown and read back, gives the double nearest to its 15-digit
// rounding, and showing that again changes nothing.
void tst_NumberText::displayRoundTrip()
{
    std::mt19937_64 rng(20261207);
    std::uniform_int_distribution<std::uint64_t> bits;
    std::uniform_real_distribution<double> decade(-30.0, 30.0);
    for (int i = 0; i < 20000; ++i) {
        double x = 0;
        if (i % 2 == 0) {
            const std::uint64_t b = bits(rng);
            std::memcpy(&x, &b, sizeof x);
            if (!std::isfinite(x))
                continue;
        } else {
            x = std::pow(10.0, decade(rng)) * (i % 4 == 1 ? 1 : -1);
        }
        const std::string shown = display_form(x);
        const double back = read_back(shown);
        char oracle[64];
        std::snprintf(oracle, sizeof oracle, "%.14e", x);
        QCOMPARE(back, std::strtod(oracle, nullptr));
        QCOMPARE(display_form(back), shown);
        QVERIFY2(shown[0] == (x < 0 ? '-' : ' '), shown.c_str());
    }
}

void tst_NumberText::rounding_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<bool>("fits");
    QTest::addColumn<int>("rounded");
    QTest::newRow("tie to even, down") << 22438.5 << true << 22438;
    QTest::newRow("tie to even, up") << 22439.5 << true << 22440;
    QTest::newRow("above half") << 22438.5416666667 << true << 22439;
    QTest::newRow("below half") << 11647.4 << true << 11647;
    QTest::newRow("negative tie") << -2.5 << true << -2;
    QTest::newRow("negative above half") << -22438.5416666667 << true << -22439;
    QTest::newRow("zero") << 0.0 << true << 0;
    QTest::newRow("int max") << 2147483647.0 << true << 2147483647;
    QTest::newRow("int max + 0.4") << 2147483647.4 << true << 2147483647;
    QTest::newRow("int max + 0.5 goes to even, out of range") << 2147483647.5 << false << 0;
    QTest::newRow("int min") << -2147483648.0 << true << int(-2147483647 - 1);
    QTest::newRow("int min - 0.5 goes to even, in range")
        << -2147483648.5 << true << int(-2147483647 - 1);
    QTest::newRow("int min - 0.6") << -2147483648.6 << false << 0;
    QTest::newRow("huge") << 1e300 << false << 0;
    QTest::newRow("infinity") << std::numeric_limits<double>::infinity() << false << 0;
    QTest::newRow("NaN") << std::numeric_limits<double>::quiet_NaN() << false << 0;
}

void tst_NumberText::rounding()
{
    QFETCH(double, value);
    QFETCH(bool, fits);
    QFETCH(int, rounded);
    const auto result = round_to_int32(value);
    QCOMPARE(result.has_value(), fits);
    if (fits)
        QCOMPARE(*result, rounded);
}

void tst_NumberText::hex_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("hex4");
    QTest::addColumn<QString>("hex6");
    QTest::newRow("0") << 0 << "0000"
                       << "000000";
    QTest::newRow("1000") << 1000 << "03E8"
                          << "0003E8";
    QTest::newRow("22439") << 22439 << "57A7"
                           << "0057A7";
    QTest::newRow("65535") << 65535 << "FFFF"
                           << "00FFFF";
    QTest::newRow("65536") << 65536 << "0000"
                           << "010000";
    QTest::newRow("70000") << 70000 << "1170"
                           << "011170";
    QTest::newRow("11520000") << 11520000 << "C800"
                              << "AFC800";
    QTest::newRow("15360000") << 15360000 << "6000"
                              << "EA6000";
    QTest::newRow("16777216") << 16777216 << "0000"
                              << "000000";
    QTest::newRow("-1") << -1 << "FFFF"
                        << "FFFFFF";
    QTest::newRow("-22439") << -22439 << "A859"
                            << "FFA859";
    QTest::newRow("int min") << int(-2147483647 - 1) << "0000"
                             << "000000";
    QTest::newRow("int max") << 2147483647 << "FFFF"
                             << "FFFFFF";
}

void tst_NumberText::hex()
{
    QFETCH(int, value);
    QFETCH(QString, hex4);
    QFETCH(QString, hex6);
    const std::int32_t v = value;
    QCOMPARE(QString::fromStdString(to_hex4(v)), hex4);
    QCOMPARE(QString::fromStdString(to_hex6(v)), hex6);
    QCOMPARE(v, value); // passed by reference, left unchanged
}

void tst_NumberText::boxSteps_data()
{
    QTest::addColumn<QString>("decimal");
    QTest::addColumn<QString>("hex");
    QTest::addColumn<QString>("floored");
    QTest::newRow("tie rounds to even") << " 22438.5"
                                        << "57A6"
                                        << " 22438";
    QTest::newRow("tie rounds up to even") << " 22439.5"
                                           << "57A8"
                                           << " 22439";
    QTest::newRow("RA row 0") << " 22438.5416666667"
                              << "57A7"
                              << " 22438";
    QTest::newRow("lunar") << " 11647.7864583333"
                           << "2D80"
                           << " 11647";
    QTest::newRow("negative") << "-22438.5416666667"
                              << "A859"
                              << "-22439";
    QTest::newRow("over 16 bits") << " 344656"
                                  << "4250"
                                  << " 344656";
    QTest::newRow("below one") << " 0.7"
                               << "0001"
                               << " 0";
    QTest::newRow("text") << "abc"
                          << "0000"
                          << " 0";
}

void tst_NumberText::boxSteps()
{
    QFETCH(QString, decimal);
    QFETCH(QString, hex);
    QFETCH(QString, floored);
    QCOMPARE(QString::fromStdString(hex4_from_text(decimal.toStdString()).value()), hex);
    QCOMPARE(QString::fromStdString(floored_text(decimal.toStdString())), floored);
}

// The boxes always use the full stop, even where the user's locale writes a
// decimal comma. A German locale is compiled into a temporary directory so
// the check runs on machines that have none installed.
void tst_NumberText::independentOfLocale()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QProcess localedef;
    localedef.start(QStringLiteral("localedef"),
                    {QStringLiteral("-i"), QStringLiteral("de_DE"), QStringLiteral("-f"),
                     QStringLiteral("UTF-8"), dir.filePath(QStringLiteral("de_DE.UTF-8"))});
    if (!localedef.waitForFinished(60000) || localedef.exitCode() != 0)
        QSKIP("localedef could not build de_DE.UTF-8 (package 'locales' missing?)");
    const ScopedEnv locales("LOCPATH", dir.path().toLocal8Bit());
    const bool german = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
    const double c_library = std::strtod("2.5", nullptr); // the locale does bite here
    const double parsed = lenient_parse("2.5");
    const std::string shown = display_form(2.5);
    std::setlocale(LC_ALL, "C");
    QVERIFY(german);
    QCOMPARE(c_library, 2.0);
    QCOMPARE(parsed, 2.5);
    QCOMPARE(QString::fromStdString(shown), QStringLiteral(" 2.5"));
}

QTEST_APPLESS_MAIN(tst_NumberText)
#include "tst_numbertext.moc"
