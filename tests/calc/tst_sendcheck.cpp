#include "sendcheck.h"

#include <QTest>

using namespace calc;

Q_DECLARE_METATYPE(calc::ValueKind)

namespace {

constexpr int kClean = -1;

std::string_view view(const QByteArray &bytes)
{
    return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
}

} // namespace

class tst_SendCheck : public QObject {
    Q_OBJECT

private slots:
    void wireText_data();
    void wireText();
    void checkValue_data();
    void checkValue();
    void readFault_data();
    void readFault();
};

void tst_SendCheck::wireText_data()
{
    QTest::addColumn<QByteArray>("text"); // UTF-8, or not
    QTest::addColumn<QByteArray>("wire");
    QTest::newRow("empty") << QByteArray() << QByteArray();
    QTest::newRow("ascii kept, frame bytes too")
        << QByteArray("#:A\t\x7F") << QByteArray("#:A\t\x7F");
    QTest::newRow("nul kept") << QByteArray("a\0b", 3) << QByteArray("a\0b", 3);
    QTest::newRow("two-byte character") << QByteArray("\xC3\xA9") << QByteArray("?");
    QTest::newRow("three-byte character") << QByteArray("\xE2\x82\xAC"
                                                        "1")
                                          << QByteArray("?1");
    QTest::newRow("outside the BMP is one character")
        << QByteArray("12\xF0\x9F\x98\x80") << QByteArray("12?");
    QTest::newRow("stray byte") << QByteArray("\xFF"
                                              "12")
                                << QByteArray("?12");
    QTest::newRow("lone continuation byte") << QByteArray("\x80"
                                                          "A")
                                            << QByteArray("?A");
    QTest::newRow("cut-off character, each byte alone")
        << QByteArray("a\xE2\x82") << QByteArray("a??");
    QTest::newRow("cut-off character before ascii") << QByteArray("\xE2\x82"
                                                                  "A")
                                                    << QByteArray("??A");
    QTest::newRow("overlong form") << QByteArray("\xC0\x80") << QByteArray("??");
    QTest::newRow("overlong three-byte form") << QByteArray("\xE0\x80\x80") << QByteArray("???");
    QTest::newRow("encoded surrogate") << QByteArray("\xED\xA0\x80") << QByteArray("???");
    QTest::newRow("beyond U+10FFFF") << QByteArray("\xF4\x90\x80\x80") << QByteArray("????");
    QTest::newRow("last code point") << QByteArray("\xF4\x8F\xBF\xBF") << QByteArray("?");
}

void tst_SendCheck::wireText()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, wire);
    QCOMPARE(QByteArray::fromStdString(wire_text(view(text))), wire);
}

void tst_SendCheck::checkValue_data()
{
    QTest::addColumn<ValueKind>("kind");
    QTest::addColumn<QByteArray>("value");   // the hex box
    QTest::addColumn<QByteArray>("decimal"); // the box it came from
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<int>("problem"); // SendProblem, or kClean

    const auto row = ValueKind::Row;
    const auto rate = ValueKind::Rate;
    const auto total = ValueKind::Total;
    const int breaks = int(SendProblem::BreaksFrame);
    const int unreadable = int(SendProblem::Unreadable);
    const int cut = int(SendProblem::CutByWidth);
    const int unusable = int(SendProblem::UnusableSpeed);

    // Rows: cut or zero-filled to four characters before anything is judged.
    QTest::newRow("row clean") << row << QByteArray("57A7") << QByteArray(" 22438")
                               << QByteArray("57A7") << kClean;
    QTest::newRow("row short, zero-filled")
        << row << QByteArray("7") << QByteArray(" 7") << QByteArray("0007") << kClean;
    QTest::newRow("row largest divisor")
        << row << QByteArray("FFFF") << QByteArray(" 65535") << QByteArray("FFFF") << kClean;
    QTest::newRow("row emoji counts as one character")
        << row << QByteArray("12\xF0\x9F\x98\x80") << QByteArray(" 11219") << QByteArray("012?")
        << breaks;
    QTest::newRow("row accented letter")
        << row << QByteArray("AB\xC3\xA9") << QByteArray(" 1") << QByteArray("0AB?") << breaks;
    QTest::newRow("row stray byte") << row
                                    << QByteArray("\xFF"
                                                  "12")
                                    << QByteArray(" 1") << QByteArray("0?12") << breaks;
    QTest::newRow("row tab") << row << QByteArray("2B\tD") << QByteArray(" 11219")
                             << QByteArray("2B\tD") << breaks;
    QTest::newRow("row hash") << row << QByteArray("2B#D") << QByteArray(" 11219")
                              << QByteArray("2B#D") << breaks;
    QTest::newRow("row DEL") << row << QByteArray("\x7F") << QByteArray(" 1")
                             << QByteArray("000\x7F") << breaks;
    QTest::newRow("row foreign character dropped by the cut")
        << row
        << QByteArray("\xC3\xA9"
                      "2BD3")
        << QByteArray(" 11219") << QByteArray("2BD3") << cut;
    QTest::newRow("row lower case")
        << row << QByteArray("2bd3") << QByteArray(" 11219") << QByteArray("2bd3") << unreadable;
    QTest::newRow("row blank") << row << QByteArray(" ") << QByteArray("") << QByteArray("000 ")
                               << unreadable;
    QTest::newRow("row typed question mark")
        << row << QByteArray("12?4") << QByteArray(" 1") << QByteArray("12?4") << unreadable;
    QTest::newRow("row letters beyond F")
        << row << QByteArray("xyz") << QByteArray(" 1") << QByteArray("0xyz") << unreadable;
    QTest::newRow("row divisor too large")
        << row << QByteArray("4250") << QByteArray(" 344656") << QByteArray("4250") << cut;
    QTest::newRow("row 65536 wraps to zero, cut first")
        << row << QByteArray("0000") << QByteArray(" 65536") << QByteArray("0000") << cut;
    QTest::newRow("row text longer than four")
        << row << QByteArray("12345") << QByteArray(" 9029") << QByteArray("2345") << cut;
    QTest::newRow("row decimal beyond doubles")
        << row << QByteArray("0000") << QByteArray("1e400") << QByteArray("0000") << cut;
    QTest::newRow("row zero") << row << QByteArray("0000") << QByteArray(" 0") << QByteArray("0000")
                              << unusable;
    QTest::newRow("row emptied") << row << QByteArray("") << QByteArray(" 0") << QByteArray("0000")
                                 << unusable;
    QTest::newRow("row negative") << row << QByteArray("FFFB") << QByteArray("-5")
                                  << QByteArray("FFFB") << unusable;

    // Rates: sent as they stand, so the width itself is checked.
    QTest::newRow("rate clean") << rate << QByteArray("2BF2") << QByteArray(" 11250")
                                << QByteArray("2BF2") << kClean;
    QTest::newRow("rate blank before a calculation")
        << rate << QByteArray(" ") << QByteArray("") << QByteArray(" ") << unreadable;
    QTest::newRow("rate one digit")
        << rate << QByteArray("1") << QByteArray(" 1") << QByteArray("1") << unreadable;
    QTest::newRow("rate five digits")
        << rate << QByteArray("12345") << QByteArray(" 1") << QByteArray("12345") << unreadable;
    QTest::newRow("rate emoji") << rate << QByteArray("2BF\xF0\x9F\x98\x80") << QByteArray(" 1")
                                << QByteArray("2BF?") << breaks;
    QTest::newRow("rate control character")
        << rate << QByteArray("2BF\n") << QByteArray(" 1") << QByteArray("2BF\n") << breaks;
    QTest::newRow("rate divisor too large")
        << rate << QByteArray("4250") << QByteArray(" 344656") << QByteArray("4250") << cut;
    QTest::newRow("rate zero") << rate << QByteArray("0000") << QByteArray(" 0")
                               << QByteArray("0000") << unusable;
    QTest::newRow("rate negative")
        << rate << QByteArray("FFFF") << QByteArray("-1") << QByteArray("FFFF") << unusable;

    // Totals: six digits as they stand.
    QTest::newRow("total clean") << total << QByteArray("EA6000") << QByteArray(" 15360000")
                                 << QByteArray("EA6000") << kClean;
    QTest::newRow("total largest") << total << QByteArray("FFFFFF") << QByteArray(" 16777215")
                                   << QByteArray("FFFFFF") << kClean;
    QTest::newRow("total carrying another command")
        << total << QByteArray("EA6000#:=TCLK2") << QByteArray(" 15360000")
        << QByteArray("EA6000#:=TCLK2") << breaks;
    QTest::newRow("total accented letter") << total
                                           << QByteArray("\xC3\x89"
                                                         "A6000")
                                           << QByteArray(" 1") << QByteArray("?A6000") << breaks;
    QTest::newRow("total three digits")
        << total << QByteArray("ABC") << QByteArray(" 2748") << QByteArray("ABC") << unreadable;
    QTest::newRow("total four digits like a row")
        << total << QByteArray("57A7") << QByteArray(" 22439") << QByteArray("57A7") << unreadable;
    QTest::newRow("total lower case") << total << QByteArray("ea6000") << QByteArray(" 15360000")
                                      << QByteArray("ea6000") << unreadable;
    QTest::newRow("total trailing blank")
        << total << QByteArray("EA6000 ") << QByteArray(" 15360000") << QByteArray("EA6000 ")
        << unreadable;
    QTest::newRow("total too large")
        << total << QByteArray("A60000") << QByteArray(" 245760000") << QByteArray("A60000") << cut;
    QTest::newRow("total 16777216 wraps to zero, cut first")
        << total << QByteArray("000000") << QByteArray(" 16777216") << QByteArray("000000") << cut;
    QTest::newRow("total zero") << total << QByteArray("000000") << QByteArray(" 0")
                                << QByteArray("000000") << unusable;
    QTest::newRow("total negative")
        << total << QByteArray("FFFFFF") << QByteArray("-1") << QByteArray("FFFFFF") << unusable;
}

void tst_SendCheck::checkValue()
{
    QFETCH(ValueKind, kind);
    QFETCH(QByteArray, value);
    QFETCH(QByteArray, decimal);
    QFETCH(QByteArray, sent);
    QFETCH(int, problem);
    const SendCheck check = check_value(kind, view(value), view(decimal));
    QCOMPARE(QByteArray::fromStdString(check.sent), sent);
    QCOMPARE(check.problem ? int(*check.problem) : kClean, problem);
}

void tst_SendCheck::readFault_data()
{
    QTest::addColumn<ValueKind>("kind");
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<int>("fault"); // ReadFault, or kClean
    QTest::newRow("row lower case")
        << ValueKind::Row << QByteArray("2bd3") << int(ReadFault::LowerCase);
    QTest::newRow("row blank") << ValueKind::Row << QByteArray(" ") << int(ReadFault::NotHex);
    QTest::newRow("row beyond F") << ValueKind::Row << QByteArray("2BG3") << int(ReadFault::NotHex);
    QTest::newRow("rate one digit")
        << ValueKind::Rate << QByteArray("1") << int(ReadFault::WrongLength);
    QTest::newRow("rate five digits")
        << ValueKind::Rate << QByteArray("12345") << int(ReadFault::WrongLength);
    QTest::newRow("total short and lower case")
        << ValueKind::Total << QByteArray("ea60") << int(ReadFault::LowerCase);
    QTest::newRow("total trailing blank")
        << ValueKind::Total << QByteArray("EA6000 ") << int(ReadFault::NotHex);
    QTest::newRow("total empty") << ValueKind::Total << QByteArray("")
                                 << int(ReadFault::WrongLength);
    QTest::newRow("total clean") << ValueKind::Total << QByteArray("EA6000") << kClean;
}

// Why an unreadable value is unreadable, so the window can say so.
void tst_SendCheck::readFault()
{
    QFETCH(ValueKind, kind);
    QFETCH(QByteArray, value);
    QFETCH(int, fault);
    const SendCheck check = check_value(kind, view(value), " 1");
    QCOMPARE(check.read_fault ? int(*check.read_fault) : kClean, fault);
    QCOMPARE(check.read_fault.has_value(), check.problem == SendProblem::Unreadable);
}

QTEST_APPLESS_MAIN(tst_SendCheck)
#include "tst_sendcheck.moc"
