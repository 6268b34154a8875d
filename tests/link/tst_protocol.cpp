#include "protocol.h"

#include <QRandomGenerator>
#include <QTest>

#include <optional>
#include <set>

using namespace rwlink;
using namespace std::chrono_literals;

Q_DECLARE_METATYPE(rwlink::CommandKind)
Q_DECLARE_METATYPE(QList<rwlink::Problem>)
Q_DECLARE_METATYPE(std::optional<std::uint32_t>)

namespace {

QString kind_word(LineEvent::Kind kind)
{
    switch (kind) {
    case LineEvent::Kind::Frame:
        return "frame";
    case LineEvent::Kind::StrayBytes:
        return "stray";
    case LineEvent::Kind::Overlong:
        return "overlong";
    case LineEvent::Kind::Unterminated:
        return "unterminated";
    }
    return {};
}

QString describe(const LineEvent &event)
{
    return kind_word(event.kind) + " " + QString::fromLatin1(event.bytes);
}

// Feeds the chunks in order, then flushes; describes every event.
QStringList decode(const QList<QByteArray> &chunks)
{
    FrameDecoder decoder;
    QList<LineEvent> events;
    for (const QByteArray &chunk : chunks)
        events << decoder.feed(chunk, 0us);
    events << decoder.flush();
    QStringList described;
    for (const LineEvent &event : events)
        described << describe(event);
    return described;
}

} // namespace

class tst_Protocol : public QObject {
    Q_OBJECT

private slots:
    void decodeStream_data();
    void decodeStream();
    void eventTimes_data();
    void eventTimes();
    void byteAccounting_data();
    void byteAccounting();
    void parseBody_data();
    void parseBody();
    void hexValue_data();
    void hexValue();
};

void tst_Protocol::decodeStream_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<QStringList>("events");
    const QByteArray longest(FrameDecoder::kMaxBody, 'A');
    const QByteArray noise(FrameDecoder::kMaxStray + 6, 'x');

    QTest::newRow("one frame") << QByteArray("#:=SD#") << QStringList{"frame =SD"};
    QTest::newRow("frames back to back")
        << QByteArray("#:=SD##:=NEW#") << QStringList{"frame =SD", "frame =NEW"};
    QTest::newRow("garbage between frames")
        << QByteArray("#:=SD#xx\r\n#:=NEW#")
        << QStringList{"frame =SD", "stray xx\r\n", "frame =NEW"};
    QTest::newRow("garbage before the first frame")
        << QByteArray("\x00\xff#:&RA01=57A7#", 15)
        << QStringList{"stray " + QString::fromLatin1("\x00\xff", 2), "frame &RA01=57A7"};
    QTest::newRow("stray hash, then a frame")
        << QByteArray("##:=SD#") << QStringList{"stray #", "frame =SD"};
    QTest::newRow("three hashes, then a frame")
        << QByteArray("###:=SD#") << QStringList{"stray ##", "frame =SD"};
    QTest::newRow("hash not followed by colon")
        << QByteArray("#x#:=SD#") << QStringList{"stray #x", "frame =SD"};
    QTest::newRow("colon without hash") << QByteArray(":=SD#") << QStringList{"stray :=SD#"};
    QTest::newRow("closing hash does not open a frame")
        << QByteArray("#:=SD#:=NEW#") << QStringList{"frame =SD", "stray :=NEW#"};
    QTest::newRow("frame opened inside a frame")
        << QByteArray("#:&RA#:=SD#") << QStringList{"frame &RA", "stray :=SD#"};
    QTest::newRow("hash at the end")
        << QByteArray("#:=SD##") << QStringList{"frame =SD", "stray #"};
    QTest::newRow("empty body") << QByteArray("#:#") << QStringList{"frame "};
    QTest::newRow("body of the longest length")
        << "#:" + longest + "#" << QStringList{"frame " + QString::fromLatin1(longest)};
    QTest::newRow("overlong body dropped, rest is stray")
        << "#:" + longest + "B=SD#"
        << QStringList{"overlong #:" + QString::fromLatin1(longest) + "B", "stray =SD#"};
    QTest::newRow("overlong body, then back in step")
        << "#:" + longest + "BCD#:=SD#"
        << QStringList{"overlong #:" + QString::fromLatin1(longest) + "B", "stray CD", "frame =SD"};
    QTest::newRow("unterminated at the end")
        << QByteArray("#:=SD##:&RA01=57") << QStringList{"frame =SD", "unterminated #:&RA01=57"};
    QTest::newRow("opening hash alone at the end") << QByteArray("xy#") << QStringList{"stray xy#"};
    QTest::newRow("long noise comes out in pieces")
        << noise << QStringList{"stray " + QString(FrameDecoder::kMaxStray, 'x'), "stray xxxxxx"};
    QTest::newRow("nothing") << QByteArray() << QStringList{};
}

void tst_Protocol::decodeStream()
{
    QFETCH(QByteArray, stream);
    QFETCH(QStringList, events);
    QCOMPARE(decode({stream}), events);

    QList<QByteArray> bytes;
    for (const char c : stream)
        bytes << QByteArray(1, c);
    QCOMPARE(decode(bytes), events);

    for (qsizetype at = 1; at < stream.size(); ++at) {
        const QStringList split = decode({stream.left(at), stream.mid(at)});
        QVERIFY2(split == events,
                 qPrintable(QStringLiteral("split at %1: %2").arg(at).arg(split.join(" | "))));
    }
}

void tst_Protocol::eventTimes_data()
{
    // Chunk i arrives at i milliseconds; each event as "kind start end".
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<QStringList>("events");
    QTest::newRow("frame over three reads")
        << QList<QByteArray>{"#", ":=S", "D#"} << QStringList{"frame 0 2"};
    QTest::newRow("two frames in one read") << QList<QByteArray>{"x", "#:=SD##:=NEW#"}
                                            << QStringList{"stray 0 0", "frame 1 1", "frame 1 1"};
    QTest::newRow("stray run over reads, ended by a frame")
        << QList<QByteArray>{"xy", "#", "x#", ":=SD#"} << QStringList{"stray 0 2", "frame 2 3"};
    QTest::newRow("a later hash opens the frame")
        << QList<QByteArray>{"#", "#", ":=SD", "#"} << QStringList{"stray 0 0", "frame 1 3"};
    QTest::newRow("unterminated ends at its last byte")
        << QList<QByteArray>{"#:&RA", "01", ""} << QStringList{"unterminated 0 1"};
    QTest::newRow("overlong ends at the byte past the limit")
        << QList<QByteArray>{"#:", QByteArray(FrameDecoder::kMaxBody, 'A'), "B"}
        << QStringList{"overlong 0 2"};
}

void tst_Protocol::eventTimes()
{
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(QStringList, events);
    FrameDecoder decoder;
    QList<LineEvent> got;
    for (int i = 0; i < chunks.size(); ++i)
        got << decoder.feed(chunks[i], std::chrono::milliseconds(i));
    got << decoder.flush();
    QStringList described;
    for (const LineEvent &event : got) {
        described
            << QStringLiteral("%1 %2 %3")
                   .arg(kind_word(event.kind))
                   .arg(std::chrono::duration_cast<std::chrono::milliseconds>(event.start).count())
                   .arg(std::chrono::duration_cast<std::chrono::milliseconds>(event.end).count());
    }
    QCOMPARE(described, events);
}

void tst_Protocol::byteAccounting_data()
{
    // Each stream is drawn from its alphabet; longer runs of one byte make
    // the long bodies and noise that the limits are for.
    QTest::addColumn<QByteArray>("alphabet");
    QTest::addColumn<int>("longestRun");
    QTest::addColumn<quint32>("seed");
    QTest::newRow("mostly frames") << QByteArray("##::=SD&RA01=57A7") << 1 << 1u;
    QTest::newRow("frames and noise") << QByteArray("#:=S\r\n\x00\xff", 8) << 3 << 2u;
    QTest::newRow("long bodies") << QByteArray("#:AB") << 40 << 3u;
    QTest::newRow("long runs of each byte") << QByteArray("x:=#y") << 20 << 4u;
}

void tst_Protocol::byteAccounting()
{
    QFETCH(QByteArray, alphabet);
    QFETCH(int, longestRun);
    QFETCH(quint32, seed);
    QRandomGenerator random(seed);
    constexpr int kStreams = 30;
    constexpr int kChunksPerStream = 100;
    std::set<LineEvent::Kind> seen;

    for (int s = 0; s < kStreams; ++s) {
        FrameDecoder decoder;
        QByteArray stream;
        QByteArray rebuilt;
        const auto check = [&](const QList<LineEvent> &events) {
            for (const LineEvent &event : events) {
                seen.insert(event.kind);
                rebuilt += event.wire_bytes();
                if (event.is_frame()) {
                    QVERIFY(!event.bytes.contains('#'));
                    QVERIFY(event.bytes.size() <= FrameDecoder::kMaxBody);
                } else if (event.kind == LineEvent::Kind::StrayBytes) {
                    QVERIFY(!event.bytes.contains("#:"));
                }
            }
            QCOMPARE(decoder.in_frames() + decoder.in_anomalies() + decoder.pending(),
                     decoder.fed());
            QCOMPARE(decoder.fed(), std::int64_t(stream.size()));
            // What came out so far is exactly the stream, less what is pending.
            QCOMPARE(rebuilt, stream.left(stream.size() - decoder.pending()));
        };
        for (int c = 0; c < kChunksPerStream; ++c) {
            QByteArray chunk;
            const int runs = random.bounded(1, 12);
            for (int r = 0; r < runs; ++r)
                chunk += QByteArray(random.bounded(1, longestRun + 1),
                                    alphabet.at(random.bounded(int(alphabet.size()))));
            stream += chunk;
            check(decoder.feed(chunk, 0us));
            if (QTest::currentTestFailed())
                return;
        }
        check(decoder.flush());
        QCOMPARE(decoder.pending(), std::int64_t(0));
        QCOMPARE(rebuilt, stream);
    }
    // The streams reach the cases they are meant for.
    QVERIFY(seen.contains(LineEvent::Kind::Frame));
    QVERIFY(seen.contains(LineEvent::Kind::StrayBytes));
    QVERIFY(seen.contains(LineEvent::Kind::Unterminated));
    if (longestRun > FrameDecoder::kMaxBody)
        QVERIFY(seen.contains(LineEvent::Kind::Overlong));
}

void tst_Protocol::parseBody_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<CommandKind>("kind");
    QTest::addColumn<int>("row");
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QList<Problem>>("problems");
    using K = CommandKind;
    using P = Problem;
    const QList<Problem> none;

    QTest::newRow("clock 2 MHz") << QByteArray("=TCLK1") << K::Clock2MHz << 0 << QByteArray()
                                 << none;
    QTest::newRow("clock 250 kHz")
        << QByteArray("=TCLK2") << K::Clock250kHz << 0 << QByteArray() << none;
    QTest::newRow("store data") << QByteArray("=SD") << K::StoreData << 0 << QByteArray() << none;
    QTest::newRow("new table") << QByteArray("=NEW") << K::NewTable << 0 << QByteArray() << none;
    QTest::newRow("new totals") << QByteArray("&XNEW") << K::NewTotals << 0 << QByteArray() << none;
    QTest::newRow("RA row 01") << QByteArray("&RA01=57A7") << K::RaRow << 1 << QByteArray("57A7")
                               << none;
    QTest::newRow("RA row 05 is a row, not a rate")
        << QByteArray("&RA05=2BF2") << K::RaRow << 5 << QByteArray("2BF2") << none;
    QTest::newRow("RA row 50") << QByteArray("&RA50=0001") << K::RaRow << 50 << QByteArray("0001")
                               << none;
    QTest::newRow("DEC row 01") << QByteArray("&DEC01=74DE") << K::DecRow << 1 << QByteArray("74DE")
                                << none;
    QTest::newRow("RA total") << QByteArray("&XRA00EA6000") << K::RaTotal << 0
                              << QByteArray("EA6000") << none;
    QTest::newRow("DEC total") << QByteArray("&XDEC00AFC800") << K::DecTotal << 0
                               << QByteArray("AFC800") << none;
    QTest::newRow("rate into RA entry 05")
        << QByteArray("&RA052BF2") << K::Rate05 << 0 << QByteArray("2BF2") << none;

    QTest::newRow("row 00") << QByteArray("&RA00=57A7") << K::RaRow << 0 << QByteArray("57A7")
                            << QList{P::BadRowNumber};
    QTest::newRow("row 51") << QByteArray("&DEC51=57A7") << K::DecRow << 0 << QByteArray("57A7")
                            << QList{P::BadRowNumber};
    QTest::newRow("row ab") << QByteArray("&RAab=57A7") << K::RaRow << 0 << QByteArray("57A7")
                            << QList{P::BadRowNumber};
    QTest::newRow("one-digit row")
        << QByteArray("&RA1=57A7") << K::RaRow << 0 << QByteArray("57A7") << QList{P::BadRowNumber};
    QTest::newRow("three-digit row") << QByteArray("&DEC001=57A7") << K::DecRow << 0
                                     << QByteArray("57A7") << QList{P::BadRowNumber};
    QTest::newRow("no row") << QByteArray("&RA=57A7") << K::RaRow << 0 << QByteArray("57A7")
                            << QList{P::BadRowNumber};
    QTest::newRow("short value") << QByteArray("&RA01=57A") << K::RaRow << 1 << QByteArray("57A")
                                 << QList{P::WrongLength};
    QTest::newRow("long value") << QByteArray("&DEC01=57A70") << K::DecRow << 1
                                << QByteArray("57A70") << QList{P::WrongLength};
    QTest::newRow("empty value") << QByteArray("&RA01=") << K::RaRow << 1 << QByteArray()
                                 << QList{P::WrongLength};
    QTest::newRow("lower-case value") << QByteArray("&RA01=57a7") << K::RaRow << 1
                                      << QByteArray("57a7") << QList{P::LowerCaseHex};
    QTest::newRow("letter past F") << QByteArray("&DEC10=57G7") << K::DecRow << 10
                                   << QByteArray("57G7") << QList{P::NotHexadecimal};
    QTest::newRow("lower case and blank")
        << QByteArray("&RA02=a 1F") << K::RaRow << 2 << QByteArray("a 1F")
        << QList{P::NotHexadecimal, P::LowerCaseHex};
    QTest::newRow("bad row and bad value")
        << QByteArray("&RA99=xyz") << K::RaRow << 0 << QByteArray("xyz")
        << QList{P::BadRowNumber, P::NotHexadecimal, P::WrongLength};
    QTest::newRow("total of 5 digits") << QByteArray("&XRA00EA600") << K::RaTotal << 0
                                       << QByteArray("EA600") << QList{P::WrongLength};
    QTest::newRow("total of 7 digits") << QByteArray("&XDEC00AFC8000") << K::DecTotal << 0
                                       << QByteArray("AFC8000") << QList{P::WrongLength};
    QTest::newRow("total as edited")
        << QByteArray("&XRA00ABC") << K::RaTotal << 0 << QByteArray("ABC") << QList{P::WrongLength};
    QTest::newRow("blank rate") << QByteArray("&RA05 ") << K::Rate05 << 0 << QByteArray(" ")
                                << QList{P::NotHexadecimal, P::WrongLength};
    QTest::newRow("empty rate") << QByteArray("&RA05") << K::Rate05 << 0 << QByteArray()
                                << QList{P::WrongLength};
    QTest::newRow("rate of 5 digits") << QByteArray("&RA0512345") << K::Rate05 << 0
                                      << QByteArray("12345") << QList{P::WrongLength};

    const auto unknown = [&](const char *name, const QByteArray &body) {
        QTest::newRow(name) << body << K::Unknown << 0 << QByteArray() << QList{P::UnknownBody};
    };
    unknown("unknown =FOO", "=FOO");
    unknown("empty body", "");
    unknown("fixed body with more after it", "=SDX");
    unknown("lower-case command", "=sd");
    unknown("blank in front", " =SD");
    unknown("other clock", "=TCLK3");
    unknown("rate into another entry", "&RA072BF2");
    unknown("DEC without =", "&DEC052BF2");
    unknown("total with another index", "&XRA01EA6000");
    unknown("axis only", "&DEC");
}

void tst_Protocol::parseBody()
{
    QFETCH(QByteArray, body);
    QFETCH(CommandKind, kind);
    QFETCH(int, row);
    QFETCH(QByteArray, value);
    QFETCH(QList<Problem>, problems);
    const Command command = parse_body(body);
    QCOMPARE(command.kind, kind);
    QCOMPARE(command.row, row);
    QCOMPARE(command.value, value);
    QCOMPARE(command.problems, problems);
    QCOMPARE(command.ok(), problems.isEmpty());
}

void tst_Protocol::hexValue_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<std::optional<std::uint32_t>>("value");
    const std::optional<std::uint32_t> none;
    QTest::newRow("row value") << QByteArray("57A7") << std::optional<std::uint32_t>(22439);
    QTest::newRow("total") << QByteArray("EA6000") << std::optional<std::uint32_t>(15360000);
    QTest::newRow("eight digits") << QByteArray("FFFFFFFF")
                                  << std::optional<std::uint32_t>(4294967295u);
    QTest::newRow("one digit") << QByteArray("0") << std::optional<std::uint32_t>(0);
    QTest::newRow("nine digits") << QByteArray("100000000") << none;
    QTest::newRow("empty") << QByteArray() << none;
    QTest::newRow("lower case") << QByteArray("57a7") << none;
    QTest::newRow("blank") << QByteArray(" 57A") << none;
    QTest::newRow("sign") << QByteArray("+57A") << none;
}

void tst_Protocol::hexValue()
{
    QFETCH(QByteArray, text);
    QFETCH(std::optional<std::uint32_t>, value);
    QCOMPARE(hex_value(text), value);
}

QTEST_GUILESS_MAIN(tst_Protocol)
#include "tst_protocol.moc"
