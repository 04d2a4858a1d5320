// Framing, PRELOGIN, LOGIN7, tokens and type codecs against golden bytes (from the protocol's
// layouts and captured from FreeTDS 1.3), plus the bounds every decoder must keep.
#include "Hex.h"
#include "Login7.h"
#include "Packet.h"
#include "Prelogin.h"
#include "Requests.h"
#include "Tokens.h"
#include "Types.h"

#include <gtest/gtest.h>

using namespace standin;
using namespace standin::tds;
using standin::testing::fromHex;
using standin::testing::toHex;

namespace {

// What tsql (FreeTDS 1.3.17, TDS 7.4) sent for: -U sa -P 'Secret#1' -D Archive.
const char* const FreeTdsPrelogin =
    "00001a00060100200001020021000c03002d00040400310001ff090000000000004d5353514c5365727665"
    "72009b79000000";
const char* const FreeTdsLogin7 =
    "d300000004000074001000000683f2f89b79000000000000e003001888ffffff360400005e000200620002"
    "0066000800760004007e0009009000040094000b00aa000a00be00070002fc00000001cc000000cc000000"
    "cc0000000000000076006d007300610090a5f3a593a582a5f3a5e2a597a5b6a55400530051004c00310032"
    "0037002e0030002e0030002e003100cc0000005400440053002d004c006900620072006100720079007500"
    "73005f0065006e0067006c0069007300680041007200630068006900760065000a0100000001ff";

template <typename F> std::string encoded(F f)
{
    ByteWriter w;
    f(w);
    return toHex(w.buffer());
}

} // namespace

TEST(Framing, HeaderIsParsedAndItsLengthBounded)
{
    const auto h = parseHeader(fromHex("12 01 00 2f 00 33 01 00"));
    EXPECT_EQ(h.type, 0x12);
    EXPECT_EQ(h.status, status::EndOfMessage);
    EXPECT_EQ(h.length, 47);
    EXPECT_EQ(h.spid, 51);
    EXPECT_THROW(parseHeader(fromHex("01 01 00 07 00 00 01 00")), ProtocolError);
    EXPECT_THROW(parseHeader(fromHex("01 01 ff ff 00 00 01 00"), 4096), ProtocolError);
    EXPECT_THROW(parseHeader(fromHex("01 01 00")), ProtocolError);
}

TEST(Framing, MessagesSpanningPacketsAreReassembledWithinTheirBound)
{
    MessageAssembler a(10);
    PacketHeader first{1, 0, 12, 0, 1, 0};
    PacketHeader last{1, status::EndOfMessage, 12, 0, 2, 0};
    const std::vector<uint8_t> part{1, 2, 3, 4};
    EXPECT_FALSE(a.add(first, part));
    EXPECT_TRUE(a.midMessage());
    auto m = a.add(last, part);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->payload.size(), 8u);
    EXPECT_EQ(m->type, PacketType::SqlBatch);

    // Beyond the bound, and a different type inside one message, are errors.
    EXPECT_FALSE(a.add(first, part));
    EXPECT_FALSE(a.add(first, part));
    EXPECT_THROW(a.add(first, part), ProtocolError);
    MessageAssembler b(100);
    EXPECT_FALSE(b.add(first, part));
    PacketHeader rpc{3, status::EndOfMessage, 12, 0, 2, 0};
    EXPECT_THROW(b.add(rpc, part), ProtocolError);

    // A message the client marks to be ignored yields nothing.
    MessageAssembler c(100);
    PacketHeader ignored{1, status::EndOfMessage | status::Ignore, 12, 0, 1, 0};
    EXPECT_FALSE(c.add(ignored, part));
    EXPECT_FALSE(c.midMessage());
}

TEST(Framing, ResponsesAreSplitIntoNumberedPacketsOfTheNegotiatedSize)
{
    std::vector<uint8_t> payload(10000);
    for (size_t i = 0; i < payload.size(); ++i)
        payload[i] = uint8_t(i * 7);
    const auto framed = frameMessage(PacketType::TabularResult, payload, 4096, 52);
    ASSERT_EQ(framed.size(), payload.size() + 3 * HeaderSize);
    std::vector<uint8_t> joined;
    size_t at = 0;
    for (int id = 1; at < framed.size(); ++id) {
        const auto h = parseHeader(std::span(framed).subspan(at, HeaderSize));
        EXPECT_EQ(h.type, 4);
        EXPECT_EQ(h.packetId, id);
        EXPECT_EQ(h.spid, 52);
        const bool last = at + h.length == framed.size();
        EXPECT_EQ(bool(h.status & status::EndOfMessage), last);
        if (!last) {
            EXPECT_EQ(h.length, 4096);
        }
        joined.insert(joined.end(), framed.begin() + long(at + HeaderSize),
                      framed.begin() + long(at + h.length));
        at += h.length;
    }
    EXPECT_EQ(joined, payload);
    // An empty response is still one packet with end-of-message.
    EXPECT_EQ(toHex(frameMessage(PacketType::TabularResult, {}, 4096)), "04 01 00 08 00 00 01 00");
}

TEST(Framing, OnlyWhatHasNotGoneOutCanBeTakenBack)
{
    std::vector<uint8_t> wire;
    PacketWriter w([&](std::span<const uint8_t> p) { wire.insert(wire.end(), p.begin(), p.end()); },
                   512);
    for (int message = 0; message < 2; ++message) {
        wire.clear();
        w.begin(PacketType::TabularResult);
        w.out().bytes(std::vector<uint8_t>(700, 0xAA));
        w.flushFull();
        EXPECT_EQ(w.sent(), 504u);
        EXPECT_EQ(w.position(), 700u);
        EXPECT_FALSE(w.dropFrom(500)); // already on the wire
        EXPECT_FALSE(w.dropFrom(701)); // never written
        w.out().bytes(std::vector<uint8_t>(50, 0xBB));
        EXPECT_TRUE(w.dropFrom(650));
        EXPECT_EQ(w.position(), 650u);
        w.end();
        EXPECT_EQ(w.sent(), 650u);
        ASSERT_EQ(wire.size(), 650u + 2 * HeaderSize);
        EXPECT_EQ(wire[wire.size() - 1], 0xAA);      // the dropped bytes never left
        EXPECT_EQ(wire[HeaderSize + 504 + 1], 0x01); // the second packet ends the message
    }
}

TEST(Prelogin, FreeTdsRequestAndOurAnswer)
{
    const auto req = parsePrelogin(fromHex(FreeTdsPrelogin));
    EXPECT_EQ(req.encryption, Encryption::Off);
    EXPECT_FALSE(req.insistsOnEncryption());
    EXPECT_FALSE(req.mars);
    EXPECT_EQ(req.clientVersion, 0x09000000u);
    EXPECT_EQ(toHex(buildPreloginResponse(15, 0, 2000)),
              "00 00 1a 00 06 01 00 20 00 01 02 00 21 00 01 03 00 22 00 00 04 00 22 00 01 ff "
              "0f 00 07 d0 00 00 02 00 00");

    auto required = fromHex(FreeTdsPrelogin);
    required[0x20] = 0x03;
    EXPECT_TRUE(parsePrelogin(required).insistsOnEncryption());
}

TEST(Prelogin, MalformedOptionTablesAreRefused)
{
    EXPECT_THROW(parsePrelogin(fromHex("00 00 1a 00 06")), ProtocolError);    // truncated
    EXPECT_THROW(parsePrelogin(fromHex("00 ff 00 00 06 ff")), ProtocolError); // outside
    EXPECT_THROW(parsePrelogin(fromHex("")), ProtocolError);                  // empty
    std::vector<uint8_t> endless(5 * 100, 0x05);                              // no end
    EXPECT_THROW(parsePrelogin(endless), ProtocolError);
}

TEST(Login7, FreeTdsLoginIsDecodedWithItsPassword)
{
    const Login7 login = parseLogin7(fromHex(FreeTdsLogin7));
    EXPECT_EQ(login.tdsVersion, version::V7_4);
    EXPECT_EQ(login.packetSize, 4096u);
    EXPECT_EQ(login.userName, u"sa");
    EXPECT_EQ(login.password, u"Secret#1");
    EXPECT_EQ(login.appName, u"TSQL");
    EXPECT_EQ(login.serverName, u"127.0.0.1");
    EXPECT_EQ(login.libraryName, u"TDS-Library");
    EXPECT_EQ(login.language, u"us_english");
    EXPECT_EQ(login.database, u"Archive");
    EXPECT_FALSE(login.integratedSecurity());
}

TEST(Login7, PasswordObfuscationRoundTripsEveryCodeUnit)
{
    std::u16string all;
    for (char32_t c = 0; c < 0x10000; c += 251)
        all.push_back(char16_t(c));
    all.push_back(u'\xD800'); // unpaired surrogate
    EXPECT_EQ(deobfuscatePassword(obfuscatePassword(all)), all);
    EXPECT_EQ(toHex(obfuscatePassword(u"Se")), "90 a5 f3 a5");
}

TEST(Login7, RecordsThatLieAboutTheirSizeAreRefused)
{
    auto login = fromHex(FreeTdsLogin7);
    auto lengthTo = [](std::vector<uint8_t> b, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            b[i] = uint8_t(v >> (8 * i));
        return b;
    };
    EXPECT_THROW(parseLogin7(lengthTo(login, 0xFFFFFFFF)), ProtocolError);
    EXPECT_THROW(parseLogin7(lengthTo(login, 40)), ProtocolError);
    EXPECT_THROW(parseLogin7(std::span(login).first(60)), ProtocolError);
    auto outside = login;
    outside[0x28] = 0xF0; // user name offset beyond the record
    EXPECT_THROW(parseLogin7(outside), ProtocolError);
    auto longName = login;
    longName[0x2A] = 0xFF; // user name length beyond the record
    EXPECT_THROW(parseLogin7(longName), ProtocolError);
}

TEST(Login7, VersionsAreNegotiatedDownToWhatWeSpeak)
{
    EXPECT_EQ(negotiateVersion(0x74000004), version::V7_4);
    EXPECT_EQ(negotiateVersion(0x75000000), version::V7_4);
    EXPECT_EQ(negotiateVersion(0x730B0003), version::V7_3B);
    EXPECT_EQ(negotiateVersion(0x72090002), version::V7_2);
    EXPECT_EQ(negotiateVersion(0x71000001), version::V7_1_Rev1);
    EXPECT_EQ(negotiateVersion(0x70000000), 0u);
}

TEST(Tokens, GoldenBytes)
{
    const uint32_t v74 = version::V7_4, v71 = version::V7_1_Rev1;
    EXPECT_EQ(encoded([&](auto& w) { writeDone(w, token::Done, 0x11, 0, 5, v74); }),
              "fd 11 00 00 00 05 00 00 00 00 00 00 00");
    EXPECT_EQ(encoded([&](auto& w) { writeDone(w, token::DoneProc, 0x02, 0xC1, 1, v71); }),
              "fe 02 00 c1 00 01 00 00 00");
    EXPECT_EQ(encoded([&](auto& w) {
                  writeMessage(w, Message{208, 1, 16, u"x", u"p", 7}, u"S", v74);
              }),
              "aa 14 00 d0 00 00 00 01 10 01 00 78 00 01 53 00 01 70 00 07 00 00 00");
    EXPECT_EQ(encoded([&](auto& w) {
                  writeMessage(w, Message{5701, 2, 0, u"x", {}, 1}, u"", v71);
              }),
              "ab 0e 00 45 16 00 00 02 00 01 00 78 00 00 00 01 00");
    EXPECT_EQ(encoded([&](auto& w) { writeLoginAck(w, v74, u"M", 15, 0, 2000); }),
              "ad 0c 00 01 74 00 00 04 01 4d 00 0f 00 07 d0");
    EXPECT_EQ(encoded([&](auto& w) { writeEnvChange(w, envchange::Database, u"a", u"b"); }),
              "e3 07 00 01 01 61 00 01 62 00");
    EXPECT_EQ(encoded([&](auto& w) { writeCollationChange(w); }),
              "e3 08 00 07 05 09 04 d0 00 34 00");
    EXPECT_EQ(encoded([&](auto& w) { writeReturnStatus(w, -6); }), "79 fa ff ff ff");
}

TEST(Tokens, MetadataAndRowsOfEachRowForm)
{
    ColumnInfo n{u"n", SqlType::Int, 0, 0, 0, true, false};
    ColumnInfo s{u"s", SqlType::NVarChar, 10, 0, 0, false, false};
    const std::vector<ColumnInfo> cols{n, s};
    std::vector<WireColumn> wire74, wire71;
    for (const auto& c : cols) {
        wire74.push_back(wireColumnFor(c, version::V7_4));
        wire71.push_back(wireColumnFor(c, version::V7_1_Rev1));
    }
    EXPECT_EQ(encoded([&](auto& w) { writeColMetadata(w, cols, wire74, version::V7_4); }),
              "81 02 00 00 00 00 00 09 00 26 04 01 6e 00 00 00 00 00 08 00 e7 14 00 09 04 d0 00 "
              "34 01 73 00");
    EXPECT_EQ(encoded([&](auto& w) { writeColMetadata(w, cols, wire71, version::V7_1_Rev1); }),
              "81 02 00 00 00 09 00 26 04 01 6e 00 00 00 08 00 e7 14 00 09 04 d0 00 34 01 73 00");
    // Texts go out as the code units they are, unpaired surrogates included.
    EXPECT_EQ(encoded([&](auto& w) {
                  writeRow(w, wire74, {int64_t(5), std::u16string(u"\xD800x")}, version::V7_4);
              }),
              "d1 04 05 00 00 00 04 00 00 d8 78 00");
    EXPECT_EQ(encoded([&](auto& w) {
                  writeRow(w, wire74, {Value{}, std::u16string(u"a")}, version::V7_4);
              }),
              "d2 01 02 00 61 00");
    EXPECT_EQ(encoded([&](auto& w) {
                  writeRow(w, wire71, {Value{}, std::u16string(u"a")}, version::V7_1_Rev1);
              }),
              "d1 00 02 00 61 00");
    // A value that cannot travel leaves nothing of its row behind.
    ByteWriter w;
    w.u8(0x42);
    EXPECT_THROW(writeRow(w, wire74, {int64_t(1), std::u16string(11, u'x')}, version::V7_4),
                 std::invalid_argument);
    EXPECT_EQ(toHex(w.buffer()), "42");
    EXPECT_THROW(writeRow(w, wire74, {int64_t(1)}, version::V7_4), std::invalid_argument);
}

struct ValueCase {
    const char* name;
    ColumnInfo column;
    uint32_t version;
    Value value;
    const char* typeInfo; // nullptr: not checked
    const char* hex;      // nullptr: the value must be refused
};

class ValueEncoding : public ::testing::TestWithParam<ValueCase> {};

TEST_P(ValueEncoding, TypeInfoAndValueBytes)
{
    const auto& c = GetParam();
    const WireColumn wire = wireColumnFor(c.column, c.version);
    if (c.typeInfo) {
        EXPECT_EQ(encoded([&](auto& w) { writeTypeInfo(w, wire, c.version); }), c.typeInfo);
    }
    if (c.hex) {
        EXPECT_EQ(encoded([&](auto& w) { writeValue(w, wire, c.value); }), c.hex);
    } else {
        ByteWriter w;
        EXPECT_THROW(writeValue(w, wire, c.value), std::invalid_argument);
    }
}

ColumnInfo col(SqlType t, int32_t length = 0, uint8_t precision = 0, uint8_t scale = 0)
{
    return ColumnInfo{u"c", t, length, precision, scale, true, false};
}

const uint32_t V74 = version::V7_4;
const uint32_t V71 = version::V7_1_Rev1;

INSTANTIATE_TEST_SUITE_P(
    EveryType, ValueEncoding,
    ::testing::Values(
        ValueCase{"TinyIntMax", col(SqlType::TinyInt), V74, int64_t(255), "26 01", "01 ff"},
        ValueCase{"TinyIntOverflow", col(SqlType::TinyInt), V74, int64_t(256), nullptr, nullptr},
        ValueCase{"SmallIntNegative", col(SqlType::SmallInt), V74, int64_t(-2), "26 02",
                  "02 fe ff"},
        ValueCase{"IntNull", col(SqlType::Int), V74, Value{}, "26 04", "00"},
        ValueCase{"IntOverflow", col(SqlType::Int), V74, int64_t(1) << 31, nullptr, nullptr},
        ValueCase{"BigInt", col(SqlType::BigInt), V74, int64_t(-1), "26 08",
                  "08 ff ff ff ff ff ff ff ff"},
        ValueCase{"BitAnyNumberIsOne", col(SqlType::Bit), V74, int64_t(7), "68 01", "01 01"},
        ValueCase{"BitNull", col(SqlType::Bit), V74, Value{}, "68 01", "00"},
        ValueCase{"DateTime", col(SqlType::DateTime), V74, DateTimeValue{1, 300}, "6f 08",
                  "08 01 00 00 00 2c 01 00 00"},
        ValueCase{"DateTimeNull", col(SqlType::DateTime), V74, Value{}, "6f 08", "00"},
        ValueCase{"DateTimeFromText", col(SqlType::DateTime), V74, std::u16string(u"x"), nullptr,
                  nullptr},
        ValueCase{"Float", col(SqlType::Float), V74, 1.5, "6d 08", "08 00 00 00 00 00 00 f8 3f"},
        ValueCase{"DecimalNegative", col(SqlType::Decimal, 0, 10, 2), V74, int64_t(-12345),
                  "6a 09 0a 02", "09 00 39 30 00 00 00 00 00 00"},
        ValueCase{"NVarCharNull", col(SqlType::NVarChar, 4000), V74, Value{},
                  "e7 40 1f 09 04 d0 00 34", "ff ff"},
        ValueCase{"NVarCharAtItsLimit", col(SqlType::NVarChar, 2), V74,
                  std::u16string(u"\u00e9\xDC00"), "e7 04 00 09 04 d0 00 34", "04 00 e9 00 00 dc"},
        ValueCase{"NVarCharTooLong", col(SqlType::NVarChar, 2), V74, std::u16string(u"abc"),
                  nullptr, nullptr},
        ValueCase{"NVarCharMaxInChunks", col(SqlType::NVarChar, -1), V74, std::u16string(u"ab"),
                  "e7 ff ff 09 04 d0 00 34",
                  "04 00 00 00 00 00 00 00 04 00 00 00 61 00 62 00 00 00 00 00"},
        ValueCase{"NVarCharMaxEmpty", col(SqlType::NVarChar, -1), V74, std::u16string(), nullptr,
                  "00 00 00 00 00 00 00 00 00 00 00 00"},
        ValueCase{"NVarCharMaxNull", col(SqlType::NVarChar, -1), V74, Value{}, nullptr,
                  "ff ff ff ff ff ff ff ff"},
        ValueCase{"NVarCharMaxBefore72IsNText", col(SqlType::NVarChar, -1), V71,
                  std::u16string(u"a"), "63 fe ff ff 7f 09 04 d0 00 34 00 00",
                  "10 74 65 78 74 70 74 72 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 "
                  "02 00 00 00 61 00"},
        ValueCase{"NTextNull", col(SqlType::NText, -1), V74, Value{},
                  "63 fe ff ff 7f 09 04 d0 00 34 00", "00"},
        ValueCase{"ImageBytes", col(SqlType::Image, -1), V74, Bytes{0x00, 0xff},
                  "22 ff ff ff 7f 00",
                  "10 74 65 78 74 70 74 72 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 "
                  "02 00 00 00 00 ff"},
        ValueCase{"ImageNull", col(SqlType::Image, -1), V74, Value{}, nullptr, "00"},
        ValueCase{"ImageFromText", col(SqlType::Image, -1), V74, std::u16string(u"a"), nullptr,
                  nullptr},
        ValueCase{"VarBinary", col(SqlType::VarBinary, 3), V74, Bytes{1, 2}, "a5 03 00",
                  "02 00 01 02"},
        ValueCase{"VarBinaryTooLong", col(SqlType::VarBinary, 1), V74, Bytes{1, 2}, nullptr,
                  nullptr},
        ValueCase{"VarBinaryMax", col(SqlType::VarBinary, -1), V74, Bytes{9}, "a5 ff ff",
                  "01 00 00 00 00 00 00 00 01 00 00 00 09 00 00 00 00"},
        ValueCase{"VarCharInCodePage1252", col(SqlType::VarChar, 5), V74,
                  std::u16string(u"\u00e9\u20ac\u4e00"), "a7 05 00 09 04 d0 00 34",
                  "03 00 e9 80 3f"},
        ValueCase{"UniqueIdentifier", col(SqlType::UniqueIdentifier), V74, Bytes(16, 0xab), "24 10",
                  "10 ab ab ab ab ab ab ab ab ab ab ab ab ab ab ab ab"},
        ValueCase{"UniqueIdentifierNull", col(SqlType::UniqueIdentifier), V74, Value{}, nullptr,
                  "00"},
        ValueCase{"NCharFixed", col(SqlType::NChar, 2), V74, std::u16string(u"a "),
                  "ef 04 00 09 04 d0 00 34", "04 00 61 00 20 00"}),
    [](const auto& info) { return std::string(info.param.name); });

struct ParamCase {
    const char* name;
    const char* hex; // TYPE_INFO then value
    Value expected;
    SqlType type;
    int32_t length;
};

class ParamDecoding : public ::testing::TestWithParam<ParamCase> {};

TEST_P(ParamDecoding, ValueAndTypeAsTheEngineSeesThem)
{
    const auto& c = GetParam();
    const auto bytes = fromHex(c.hex);
    ByteReader r(bytes);
    const tds::ParamType t = readParamType(r);
    const Value v = readParamValue(r, t);
    EXPECT_TRUE(r.atEnd()) << "left " << r.remaining() << " bytes";
    EXPECT_EQ(v, c.expected);
    const ColumnInfo info = columnInfoFor(t);
    EXPECT_EQ(info.type, c.type);
    EXPECT_EQ(info.length, c.length);
}

INSTANTIATE_TEST_SUITE_P(
    EveryType, ParamDecoding,
    ::testing::Values(
        ParamCase{"IntN", "26 04 04 ff ff ff ff", int64_t(-1), SqlType::Int, 0},
        ParamCase{"IntNNull", "26 04 00", Value{}, SqlType::Int, 0},
        ParamCase{"TinyIntN", "26 01 01 ff", int64_t(255), SqlType::TinyInt, 0},
        ParamCase{"Int4", "38 2a 00 00 00", int64_t(42), SqlType::Int, 0},
        ParamCase{"BitN", "68 01 01 01", int64_t(1), SqlType::Bit, 0},
        ParamCase{"BigIntN", "26 08 08 00 00 00 00 00 00 00 80", INT64_MIN, SqlType::BigInt, 0},
        ParamCase{"FloatN", "6d 08 08 00 00 00 00 00 00 f8 3f", 1.5, SqlType::Float, 0},
        ParamCase{"NVarCharWithUnpairedSurrogate", "e7 08 00 09 04 d0 00 34 04 00 00 d8 41 00",
                  std::u16string(u"\xD800"
                                 u"A"),
                  SqlType::NVarChar, 4},
        ParamCase{"NVarCharNull", "e7 08 00 09 04 d0 00 34 ff ff", Value{}, SqlType::NVarChar, 4},
        ParamCase{"NVarCharMaxInTwoChunks",
                  "e7 ff ff 09 04 d0 00 34 fe ff ff ff ff ff ff ff 02 00 00 00 61 00 02 00 00 00 "
                  "62 00 00 00 00 00",
                  std::u16string(u"ab"), SqlType::NVarChar, -1},
        ParamCase{"VarBinaryMaxNull", "a5 ff ff ff ff ff ff ff ff ff ff", Value{},
                  SqlType::VarBinary, -1},
        ParamCase{"VarBinary", "a5 40 1f 03 00 00 01 ff", Bytes{0, 1, 0xff}, SqlType::VarBinary,
                  8000},
        ParamCase{"ImageLong", "22 ff ff ff 7f 02 00 00 00 0a 0b", Bytes{10, 11}, SqlType::Image,
                  -1},
        ParamCase{"NTextNull", "63 fe ff ff 7f 09 04 d0 00 34 ff ff ff ff", Value{}, SqlType::NText,
                  -1},
        ParamCase{"VarCharCodePage1252", "a7 03 00 09 04 d0 00 34 02 00 e9 80",
                  std::u16string(u"\u00e9\u20ac"), SqlType::VarChar, 3},
        ParamCase{"DateTimeN", "6f 08 08 01 00 00 00 2c 01 00 00", DateTimeValue{1, 300},
                  SqlType::DateTime, 0},
        ParamCase{"SmallDateTime", "6f 04 04 02 00 01 00", DateTimeValue{2, 18000},
                  SqlType::DateTime, 0},
        ParamCase{"DateTime2RoundedToTicks", "2a 07 08 80 96 98 00 00 5c 95 0a",
                  DateTimeValue{1, 300}, SqlType::DateTime, 0},
        ParamCase{"DateOnly", "28 03 5b 95 0a", DateTimeValue{0, 0}, SqlType::DateTime, 0},
        ParamCase{"DecimalN", "6a 05 0a 02 05 01 39 30 00 00", int64_t(12345), SqlType::Decimal, 0},
        ParamCase{"NumericNegative", "6c 05 05 00 05 00 01 00 00 00", int64_t(-1), SqlType::Decimal,
                  0},
        ParamCase{"Guid", "24 10 10 00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f",
                  Bytes{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15},
                  SqlType::UniqueIdentifier, 0},
        ParamCase{"MoneyN", "6e 08 08 00 00 00 00 10 27 00 00", int64_t(10000), SqlType::Decimal,
                  0},
        // The fixed-size codes carry no length of their own, neither in the type nor the value.
        ParamCase{"Int1", "30 ff", int64_t(255), SqlType::TinyInt, 0},
        ParamCase{"Int2Negative", "34 fe ff", int64_t(-2), SqlType::SmallInt, 0},
        ParamCase{"Int8", "7f ff ff ff ff ff ff ff ff", int64_t(-1), SqlType::BigInt, 0},
        ParamCase{"Bit", "32 02", int64_t(1), SqlType::Bit, 0},
        ParamCase{"Flt4", "3b 00 00 c0 3f", 1.5, SqlType::Float, 0},
        ParamCase{"Money4", "7a 10 27 00 00", int64_t(10000), SqlType::Decimal, 0},
        ParamCase{"DateTimeFixed", "3d 01 00 00 00 2c 01 00 00", DateTimeValue{1, 300},
                  SqlType::DateTime, 0},
        // The legacy text codes: a one-byte length, or a four-byte one with a collation.
        ParamCase{"ShortVarChar", "27 05 02 41 42", std::u16string(u"AB"), SqlType::VarChar, 5},
        ParamCase{"Text", "23 0a 00 00 00 09 04 d0 00 34 02 00 00 00 41 42", std::u16string(u"AB"),
                  SqlType::VarChar, -1},
        ParamCase{"BigChar", "af 03 00 09 04 d0 00 34 02 00 41 42", std::u16string(u"AB"),
                  SqlType::Char, 3}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ParamDecoding, MalformedOrHostileValuesAreRefusedWithoutAllocating)
{
    const char* malformed[] = {
        "26 04 04 ff",                                                 // truncated integer
        "26 04 03 ff ff ff",                                           // integer of length 3
        "e7 08 00 09 04 d0 00 34 0a 00 00 00 00 00 00 00 00 00 00 00", // longer than declared
        "e7 ff ff 09 04 d0 00 34 00 00 00 40 00 00 00 00", // 1 GiB announced, nothing sent
        "e7 ff ff 09 04 d0 00 34 fe ff ff ff ff ff ff ff ff ff ff 7f", // chunk of 2 GiB
        "e7 ff ff 09 04 d0 00 34 04 00 00 00 00 00 00 00 02 00 00 00 61 00 00 00 00 00",
        "e7 04 00 09 04 d0 00 34 03 00 61 00 62", // odd UTF-16 byte count
        "22 ff ff ff 7f ff ff ff 7f",             // image of 2 GiB announced
        "6a 05 00 00 05 01 00 00 00 00",          // precision 0
        "6f 08 08 00 00 00 00 00 00 00 ff",       // time of day beyond a day
        "2a 09 08",                               // scale 9
        "24 10 08 00 00 00 00 00 00 00 00",       // GUID of 8 bytes
    };
    for (const char* hex : malformed) {
        const auto bytes = fromHex(hex);
        ByteReader r(bytes);
        EXPECT_THROW(
            {
                const ParamType t = readParamType(r);
                readParamValue(r, t);
            },
            ProtocolError)
            << hex;
    }
    for (const char* hex : {"62 10 00 00 00", "f1 00"}) {
        const auto bytes = fromHex(hex);
        ByteReader r(bytes);
        EXPECT_THROW(readParamType(r), std::invalid_argument) << hex;
    }
}

TEST(Requests, BatchTextAfterItsHeaders)
{
    const auto payload = fromHex("16 00 00 00 12 00 00 00 02 00 00 00 00 00 00 00 00 00 01 00 00 "
                                 "00 53 00 00 d8");
    EXPECT_EQ(parseSqlBatch(payload, version::V7_4), std::u16string(u"S\xD800"));
    EXPECT_EQ(parseSqlBatch(fromHex("53 00"), version::V7_1_Rev1), u"S");
    EXPECT_THROW(parseSqlBatch(fromHex("ff 00 00 00 53 00"), version::V7_4), ProtocolError);
    EXPECT_THROW(parseSqlBatch(fromHex("53 00 00"), version::V7_1_Rev1), ProtocolError);
}

TEST(Requests, RpcByIdWithTypedParameters)
{
    const auto payload = fromHex(
        "16 00 00 00 12 00 00 00 02 00 00 00 00 00 00 00 00 00 01 00 00 00 " // headers
        "ff ff 0a 00 00 00 "                                                 // sp_executesql
        "00 00 e7 ff ff 09 04 d0 00 34 02 00 00 00 00 00 00 00 02 00 00 00 78 00 00 00 00 00 "
        "03 40 00 50 00 31 00 01 26 04 04 07 00 00 00 "
        "80 "
        "04 00 73 00 70 00 5f 00 78 00 00 00"); // then sp_x
    const auto calls = parseRpc(payload, version::V7_4);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].procedureName(), u"sp_executesql");
    ASSERT_EQ(calls[0].params.size(), 2u);
    EXPECT_EQ(calls[0].params[0].param.value, Value(std::u16string(u"x")));
    EXPECT_EQ(calls[0].params[1].param.name, u"@P1");
    EXPECT_TRUE(calls[0].params[1].param.output);
    EXPECT_EQ(calls[0].params[1].param.value, Value(int64_t(7)));
    EXPECT_EQ(calls[1].procedureName(), u"sp_x");
    EXPECT_TRUE(calls[1].params.empty());

    EXPECT_THROW(parseRpc(std::span(payload).first(payload.size() - 3), version::V7_4),
                 ProtocolError);
}
