// Parameter files: the text format written byte for byte, the reader with its
// malformed inputs, the raw format, extension dispatch and the image state.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/atomic_file.h"
#include "common/kest_error.h"
#include "common/log.h"
#include "params/param_files.h"
#include "tests/params/listing.h"

using namespace kd;
namespace fs = std::filesystem;

namespace {

struct LogCapture {
    std::vector<std::pair<int, std::string>> lines;
    ScopedLogSink sink{[this](int a, const std::string& l) { lines.emplace_back(a, l); }};
    bool Has(const std::string& s) const {
        for (auto& [a, l] : lines)
            if (l == s && a == kLogError) return true;
        return false;
    }
};

std::string Hex4(uint16_t w) {
    char b[8];
    std::snprintf(b, sizeof b, "%04X", w);
    return b;
}

std::string Join(const std::vector<uint16_t>& w, size_t first, size_t count, bool leadBlank) {
    std::string s;
    for (size_t i = 0; i < count; ++i) s += (leadBlank || i ? " " : "") + Hex4(w[first + i]);
    return s;
}

std::string Repeat(const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
}

// A text file with the given Sys value and bank values (bank n's "=" text).
std::string TextFile(const std::string& sysValue, const std::vector<std::string>& banks,
                     const std::vector<std::string>& extra = {}) {
    std::string t = "#KD sensor parameters file FMT1\r\n\r\n[Sys]\r\nSys.Hexa=" + sysValue + "\r\n";
    for (size_t n = 0; n < banks.size(); ++n)
        t += "Bank" + std::to_string(n + 1) + ".Hexa=" + banks[n] + "\r\n";
    for (auto& e : extra) t += e + "\r\n";
    return t + "[END]\r\n";
}

std::vector<std::string> ZeroBanks() {
    return std::vector<std::string>(8, Repeat(" 0", 124));
}

std::tm Time(int y, int mo, int d, int h, int mi, int s) {
    std::tm t{};
    t.tm_year = y - 1900;
    t.tm_mon = mo - 1;
    t.tm_mday = d;
    t.tm_hour = h;
    t.tm_min = mi;
    t.tm_sec = s;
    return t;
}

class ParamFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("kd_params_" + std::to_string(getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
        sensor.Masters = &masters;
        sensor.SensorVersion = &version;
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string Path(const std::string& name) const { return (dir / name).string(); }
    std::string Write(const std::string& name, const std::string& contents) {
        std::ofstream(Path(name), std::ios::binary) << contents;
        return Path(name);
    }
    std::string ReadBack(const std::string& name) const { return ReadFileAll(Path(name)); }
    void ExpectThrows(const std::function<void()>& f, const std::string& message) {
        try {
            f();
            ADD_FAILURE() << "no error, expected '" << message << "'";
        } catch (const EKestError& e) {
            EXPECT_EQ(e.Message(), message);
        }
    }

    fs::path dir;
    TMasterStore masters;
    TSensorVersion version;
    TKestParam sensor;
};

}  // namespace

// ---------------------------------------------------------------- writer

TEST_F(ParamFiles, TextWriterIsByteExact) {
    auto listed = test_data::ListedDefaultImage();
    sensor.LoadDefaultImage();
    version = {0x01, 0x02, 0x46};
    masters.MasterCount[1] = 1;
    std::vector<uint16_t> rec = {0x0001, 0x0002, 0x0020, 0x0004, 0xAAAA, 0xBBBB};
    std::copy(rec.begin(), rec.end(), masters.MasterWords[1].begin());
    masters.MasterWords[1][6] = 0x1234;  // beyond the record: not written

    std::string want =
        "#KD sensor parameters file FMT1\r\n"
        "#ver01:02:46\r\n"
        "#datetime 2024/05/17 09:30:00\r\n"
        "\r\n"
        "[Sys]\r\n"
        "Sys.Hexa= 00F0 0004 0000 0008 0100 0001 0000 0042 0000 0001 0000 0001 0000 03E8 0000 "
        "0000\r\n"
        "\r\n";
    for (int n = 0; n < 8; ++n) {
        want += "[Bank" + std::to_string(n + 1) + "]\r\n";
        want += "Bank" + std::to_string(n + 1) +
                ".Hexa=" + Join(listed, 32 + 124 * static_cast<size_t>(n), 124, true) + "\r\n";
        if (n == 1) want += "Master2.Hexa=0001 0002 0020 0004 AAAA BBBB\r\n";
    }
    want += "\r\n[END]\r\n";
    EXPECT_EQ(sensor.BuildText(Time(2024, 5, 17, 9, 30, 0)), want);
    EXPECT_NE(want.find("Bank1.Hexa= 0000 0000 0064 0064 0000 0000 02C5"), std::string::npos);
}

TEST_F(ParamFiles, VersionLineOnlyWhenAVersionIsKnown) {
    std::tm t = Time(1999, 12, 31, 23, 59, 58);
    std::string text = sensor.BuildText(t);
    EXPECT_EQ(text.find("#ver"), std::string::npos);
    EXPECT_EQ(text.substr(0, 64),
              "#KD sensor parameters file FMT1\r\n#datetime 1999/12/31 23:59:58\r\n");
    version = {0x0123, 0x6D, 0x0A};
    EXPECT_NE(sensor.BuildText(t).find("\r\n#ver123:6D:0A\r\n"), std::string::npos);
    version = {0, 0x6D, 0x50};  // no FPGA version: unknown
    EXPECT_EQ(sensor.BuildText(t).find("#ver"), std::string::npos);
    TKestParam other;  // no version attached
    EXPECT_EQ(other.BuildText(t).find("#ver"), std::string::npos);
}

TEST_F(ParamFiles, MasterLinesOnlyForPositiveCounts) {
    masters.MasterCount = {0, -1, 3, 0, 0, 0, 0, 2046};
    std::string text = sensor.BuildText(Time(2024, 1, 1, 0, 0, 0));
    EXPECT_EQ(text.find("Master1."), std::string::npos);
    EXPECT_EQ(text.find("Master2."), std::string::npos);
    EXPECT_NE(text.find("Master3.Hexa=" + Join(std::vector<uint16_t>(10, 0), 0, 10, false) +
                        "\r\n[Bank4]"),
              std::string::npos);
    // a full record of 4096 words
    size_t at = text.find("Master8.Hexa=");
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(text.substr(at, text.find("\r\n", at) - at).size(), 13 + 4096 * 5 - 1);
    TKestParam comparison;  // no store: never writes masters
    EXPECT_EQ(comparison.BuildText(Time(2024, 1, 1, 0, 0, 0)).find("Master"), std::string::npos);
}

TEST_F(ParamFiles, FailedSaveKeepsThePreviousFile) {
    sensor.LoadDefaultImage();
    sensor.SaveToFile(Path("a.kd"));
    std::string before = ReadBack("a.kd");
    sensor.SetBank(0, pk::Gain, 3);
    masters.MasterCount[4] = TMasterStore::kMaxCount + 1;  // cannot be written
    EXPECT_THROW(sensor.SaveToFile(Path("a.kd")), EKestError);
    EXPECT_EQ(ReadBack("a.kd"), before);
    EXPECT_TRUE(sensor.FileModified);
    // a target that cannot be replaced: the error names it
    fs::create_directories(dir / "x.kd");
    try {
        masters.MasterCount[4] = 0;
        sensor.SaveToFile(Path("x.kd"));
        ADD_FAILURE() << "no error";
    } catch (const EKestError& e) {
        EXPECT_NE(e.Message().find(Path("x.kd")), std::string::npos) << e.what();
    }
    EXPECT_TRUE(fs::is_directory(dir / "x.kd"));
    EXPECT_THROW(sensor.SaveToFile(Path("missing/y.kd")), EKestError);
    // nothing but the good file is left behind
    int files = 0;
    for (auto& e : fs::directory_iterator(dir)) files += e.is_regular_file();
    EXPECT_EQ(files, 1);
}

// ---------------------------------------------------------------- reader

TEST_F(ParamFiles, TextRoundTripKeepsSysBanksAndMasters) {
    sensor.LoadDefaultImage();
    for (int n = 0; n < 8; ++n) sensor.SetBank(n, pk::Gain, 0xF00 + n);
    sensor.SetSys(pk::StrThd, -123456);
    masters.MasterCount[3] = 2;
    std::vector<uint16_t> rec = {9, 8, 2 << 5, 7, 1, 2, 3, 4};
    std::copy(rec.begin(), rec.end(), masters.MasterWords[3].begin());
    sensor.SaveToFile(Path("a.kd"));

    TMasterStore otherMasters;
    TKestParam loaded;
    loaded.Masters = &otherMasters;
    LogCapture log;
    loaded.LoadFromFile(Path("a.kd"));
    EXPECT_TRUE(log.lines.empty());
    for (int w = kSysWord; w < kImageWords; ++w) EXPECT_EQ(loaded.Word(w), sensor.Word(w)) << w;
    for (int w = 0; w < kSysWord; ++w) EXPECT_EQ(loaded.Word(w), 0) << w;  // header not carried
    EXPECT_EQ(otherMasters.MasterCount[3], 2);
    for (size_t i = 0; i < rec.size(); ++i) EXPECT_EQ(otherMasters.MasterWords[3][i], rec[i]);
    for (int n = 0; n < 8; ++n)
        if (n != 3) {
            EXPECT_EQ(otherMasters.MasterCount[n], 0);
        }
    EXPECT_EQ(loaded.GetSys(pk::StrThd), -123456);
}

TEST_F(ParamFiles, TextLoadSetsTheStateWithoutNotification) {
    sensor.LoadDefaultImage();
    sensor.SaveToFile(Path("a.dalo"));
    TKestParam p;
    int notified = 0;
    p.OnModifiedChange = [&] { ++notified; };
    p.ValidMask = kValidAll;
    p.FileModified = true;
    p.LoadFromFile(Path("a.dalo"));
    EXPECT_EQ(p.ValidMask, 0u);
    EXPECT_FALSE(p.NotLoaded);
    EXPECT_FALSE(p.FileModified);
    EXPECT_TRUE(p.SensorModified);
    EXPECT_EQ(notified, 0);
}

TEST_F(ParamFiles, TextLoadKeepsTheHeaderWords) {
    sensor.LoadDefaultImage();
    auto before = sensor.Image;
    Write("z.kd", TextFile(Repeat(" 0", 16), ZeroBanks()));
    sensor.LoadFromFile(Path("z.kd"));
    for (int b = 0; b < 32; ++b) EXPECT_EQ(sensor.Image[b], before[b]);
    for (int b = 32; b < kImageBytes; ++b) EXPECT_EQ(sensor.Image[b], 0) << b;
}

TEST_F(ParamFiles, EmptyAndUnknownFilesLeaveTheImage) {
    sensor.LoadDefaultImage();
    sensor.ValidMask = kValidAll;
    masters.MasterCount[0] = 5;
    auto before = sensor.Image;
    ExpectThrows([&] { sensor.LoadFromFile(Write("e.kd", "")); }, "KD param file empty");
    ExpectThrows([&] { sensor.LoadFromFile(Write("u.kd", "\r\nSys.Hexa= 1\r\n")); },
                 "KD param file unknown format");
    ExpectThrows(
        [&] {
            sensor.LoadFromFile(
                Write("v.kd", "#KD sensor parameters\r\nsensor parameters file FMT1\r\n"));
        },
        "KD param file unknown format");
    ExpectThrows([&] { sensor.LoadFromFile(Write("w.kd", "sensor parameters file fmt1\n")); },
                 "KD param file unknown format");
    EXPECT_THROW(sensor.LoadFromFile(Path("missing.kd")), EKestError);
    EXPECT_EQ(sensor.Image, before);
    EXPECT_EQ(sensor.ValidMask, kValidAll);
    EXPECT_TRUE(sensor.NotLoaded);
    EXPECT_EQ(masters.MasterCount[0], 5);
}

TEST_F(ParamFiles, FirstLineMayCarryOtherWordsAroundTheFormat) {
    Write("f.vyn", "xx sensor parameters file FMT1 yy\nSys.Hexa=" + Repeat(" 1", 16) + "\n");
    LogCapture log;
    sensor.LoadFromFile(Path("f.vyn"));
    EXPECT_EQ(sensor.GetSys(pk::Bank), 1);
    for (int n = 1; n <= 8; ++n)
        EXPECT_TRUE(log.Has(" no contains Bank" + std::to_string(n) + " data"));
    EXPECT_FALSE(log.Has(" no contains Sys data"));
}

TEST_F(ParamFiles, SysLineWithCommasBlanksOrLowerCaseReadsTheSame) {
    std::string words =
        " 00F0 0004 0000 0008 0100 0001 0000 0042 0000 0001 0000 0001 0000 03E8 0000 0000";
    sensor.LoadFromFile(Write("a.kd", TextFile(words, ZeroBanks())));
    auto want = sensor.Image;
    std::string commas =
        "00F0,0004,0000,0008,0100,0001,0000,0042,0000,0001,0000,0001,0000,03E8,0000,0000";
    std::string blanks =
        "   00F0    0004 ,0000\t0008 0100 , 0001 0000 0042 0000 0001 0000 0001 0000 03E8 0000 0000 "
        " ";
    for (const std::string& v : {commas, blanks}) {
        TKestParam p;
        p.LoadFromFile(Write("b.kd", TextFile(v, ZeroBanks())));
        EXPECT_EQ(p.Image, want) << v;
    }
    std::string lower = "#KD sensor parameters file FMT1\nsys.hexa=" + words + "\n";
    TKestParam p;
    p.LoadFromFile(Write("c.kd", lower));
    EXPECT_EQ(p.Word(kSysWord + 13), 0x03E8);
    EXPECT_EQ(p.Word(kSysWord), 0x00F0);
}

TEST_F(ParamFiles, ShortOrMissingLinesLeaveTheirBlockZero) {
    sensor.LoadDefaultImage();
    auto banks = ZeroBanks();
    banks[0] = Repeat(" 1", 124);
    banks[1] = Repeat(" 2", 123);  // one word short
    banks[2] = "";                 // empty value
    banks[3] = Repeat(" 4", 125);  // one word extra: ignored
    banks[3].back() = '9';
    banks.resize(6);  // banks 7 and 8 missing
    LogCapture log;
    sensor.LoadFromFile(Write("s.kd", TextFile(Repeat(" 3", 15), banks)));
    EXPECT_TRUE(log.Has(" no contains Sys data"));
    EXPECT_FALSE(log.Has(" no contains Bank1 data"));
    EXPECT_TRUE(log.Has(" no contains Bank2 data"));
    EXPECT_TRUE(log.Has(" no contains Bank3 data"));
    EXPECT_FALSE(log.Has(" no contains Bank4 data"));
    EXPECT_TRUE(log.Has(" no contains Bank7 data"));
    EXPECT_TRUE(log.Has(" no contains Bank8 data"));
    for (int i = 0; i < 16; ++i) EXPECT_EQ(sensor.Word(kSysWord + i), 0);
    for (int i = 0; i < 124; ++i) {
        EXPECT_EQ(sensor.Word(BankStartWord(0) + i), 1);
        EXPECT_EQ(sensor.Word(BankStartWord(1) + i), 0);
        EXPECT_EQ(sensor.Word(BankStartWord(3) + i), 4);
        EXPECT_EQ(sensor.Word(BankStartWord(6) + i), 0);
    }
    EXPECT_EQ(sensor.Word(BankStartWord(4)), 0);  // bank 5: written as zero
    EXPECT_FALSE(sensor.NotLoaded);
}

TEST_F(ParamFiles, TokenConversionInSysWords) {
    std::string sys = " 12G4 -1 0x1F 1FFFF 100000000 +5" + Repeat(" 0", 10);
    sensor.LoadFromFile(Write("t.kd", TextFile(sys, ZeroBanks())));
    EXPECT_EQ(sensor.Word(kSysWord + 0), 0x0012);
    EXPECT_EQ(sensor.Word(kSysWord + 1), 0xFFFF);
    EXPECT_EQ(sensor.Word(kSysWord + 2), 0x001F);
    EXPECT_EQ(sensor.Word(kSysWord + 3), 0xFFFF);  // low 16 bits
    EXPECT_EQ(sensor.Word(kSysWord + 4), 0xFFFF);  // too large: all ones
    EXPECT_EQ(sensor.Word(kSysWord + 5), 0x0005);
}

TEST_F(ParamFiles, BadTokenAbortsWithAnEmptyConversionError) {
    sensor.LoadDefaultImage();
    sensor.ValidMask = kValidAll;
    masters.MasterCount[0] = 7;
    auto header = std::vector<uint8_t>(sensor.Image.begin(), sensor.Image.begin() + 32);
    auto banks = ZeroBanks();
    banks[0] = Repeat(" 1", 124);
    banks[1] = " 5 6 7 8 9 zz" + Repeat(" 1", 118);
    std::vector<std::string> extra = {"Master1.Hexa=0 0 0020 0 1 2"};
    Write("bad.kd", TextFile(Repeat(" 2", 16), banks, extra));
    try {
        sensor.LoadFromFile(Path("bad.kd"));
        FAIL() << "no error";
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "");
        EXPECT_EQ(e.Detail, "bad hexadecimal word 'zz' in Bank2.Hexa");
    }
    // words before the bad token are in, the rest of the Sys block and banks zero
    for (int i = 0; i < 16; ++i) EXPECT_EQ(sensor.Word(kSysWord + i), 2);
    for (int i = 0; i < 124; ++i) EXPECT_EQ(sensor.Word(BankStartWord(0) + i), 1);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(sensor.Word(BankStartWord(1) + i), 5 + i);
    for (int w = BankStartWord(1) + 5; w < kImageWords; ++w) EXPECT_EQ(sensor.Word(w), 0) << w;
    EXPECT_TRUE(std::equal(header.begin(), header.end(), sensor.Image.begin()));
    // flags, valid bits and the master store keep their old values
    EXPECT_EQ(sensor.ValidMask, kValidAll);
    EXPECT_FALSE(sensor.SensorModified);
    EXPECT_TRUE(sensor.NotLoaded);
    EXPECT_EQ(masters.MasterCount[0], 7);

    // a comma-made empty token fails the same way
    EXPECT_THROW(
        sensor.LoadFromFile(Write("c.kd", TextFile("1,,2" + Repeat(",0", 14), ZeroBanks()))),
        EConvertError);
    EXPECT_EQ(sensor.Word(kSysWord), 1);
    EXPECT_EQ(sensor.Word(kSysWord + 1), 0);
}

TEST_F(ParamFiles, MasterLinesAndTheirCounts) {
    auto banks = ZeroBanks();
    std::vector<std::string> extra = {
        "Master1.Hexa=0001 0002 0040 0004 A B C D",  // 2 points, word 2 says 2
        "Master2.Hexa=0001 0002 0060 0004 A B",      // 1 point, word 2 says 3
        "Master3.Hexa=1 2 3",                        // 3 tokens: (3-4)/2 = 0
        "Master4.Hexa=1 2",                          // 2 tokens: -1
        "Master5.Hexa=",                             // no token: no master
        "Master6.Hexa=zz 1 0020 x 7 8",              // no digits: 0
    };
    masters.MasterCount = {9, 9, 9, 9, 9, 9, 9, 9};
    masters.MasterWords[6][0] = 0x5555;
    LogCapture log;
    sensor.LoadFromFile(Write("m.kd", TextFile(Repeat(" 0", 16), banks, extra)));
    EXPECT_EQ(masters.MasterCount, (std::array<int32_t, 8>{2, 1, 0, -1, 0, 1, 0, 0}));
    EXPECT_EQ(masters.MasterWords[0][4], 0xA);
    EXPECT_EQ(masters.MasterWords[5][0], 0);
    EXPECT_EQ(masters.MasterWords[5][3], 0);
    EXPECT_EQ(masters.MasterWords[5][4], 7);
    EXPECT_EQ(masters.MasterWords[6][0], 0x5555);  // a missing line stores no words
    int mismatches = 0;
    for (auto& [a, l] : log.lines) mismatches += (l == "master size missmatched" && a == kLogError);
    EXPECT_EQ(mismatches, 2);  // banks 2 and 4 (bank 4: no word 2, taken as 0)
    EXPECT_TRUE(log.Has("master size missmatched"));
    // records without points are not written back
    std::string text = sensor.BuildText(Time(2024, 1, 1, 0, 0, 0));
    EXPECT_NE(text.find("Master1.Hexa=0001 0002 0040 0004 000A 000B 000C 000D\r\n"),
              std::string::npos);
    EXPECT_NE(text.find("Master2.Hexa=0001 0002 0060 0004 000A 000B\r\n"), std::string::npos);
    for (int n : {3, 4, 5, 7, 8})
        EXPECT_EQ(text.find("Master" + std::to_string(n) + "."), std::string::npos);
}

TEST_F(ParamFiles, HugeMasterLinesNeverPassTheBuffer) {
    std::string full =
        "Master1.Hexa=0001 0002 " + Hex4(static_cast<uint16_t>(2046 << 5)) + Repeat(" 7", 4093);
    std::string huge = "Master2.Hexa=" + Repeat(" 1", 4097);
    std::string vast = "Master3.Hexa=" + Repeat(",3", 100000);
    masters.MasterCount[1] = 4;
    masters.MasterWords[1][0] = 0x4242;
    LogCapture log;
    sensor.LoadFromFile(Write("h.kd", TextFile(Repeat(" 0", 16), ZeroBanks(), {full, huge, vast})));
    EXPECT_EQ(masters.MasterCount[0], 2046);  // 4096 words fit exactly; word 2 is FFC0
    EXPECT_EQ(masters.MasterWords[0][4095], 7);
    EXPECT_EQ(masters.MasterCount[1], 0);  // refused as a whole
    EXPECT_EQ(masters.MasterWords[1][0], 0x4242);
    EXPECT_EQ(masters.MasterCount[2], 0);
    EXPECT_TRUE(
        log.Has("Master2.Hexa: more than 4096 words do not fit the master buffer; ignored"));
    EXPECT_TRUE(
        log.Has("Master3.Hexa: more than 4096 words do not fit the master buffer; ignored"));
    EXPECT_FALSE(log.Has("master size missmatched"));
}

TEST_F(ParamFiles, ComparisonImageLeavesTheSensorMastersAlone) {
    masters.MasterCount[0] = 3;
    masters.MasterWords[0][0] = 0x1111;
    TKestParam comparison;  // no master store attached
    comparison.LoadFromFile(Write(
        "c.kd", TextFile(Repeat(" 0", 16), ZeroBanks(), {"Master1.Hexa=0001 0002 0020 0004 5 6"})));
    EXPECT_EQ(masters.MasterCount[0], 3);
    EXPECT_EQ(masters.MasterWords[0][0], 0x1111);
    EXPECT_FALSE(comparison.NotLoaded);
}

// ---------------------------------------------------------------- raw format

TEST_F(ParamFiles, RawSaveNeedsAWholeImage) {
    ExpectThrows([&] { sensor.SaveToFile(Path("fresh.bin")); }, "param buffer invalid");
    EXPECT_FALSE(fs::exists(dir / "fresh.bin"));
    sensor.ValidMask = kValidWhole & ~(1u << 7);
    ExpectThrows([&] { sensor.SaveToFile(Path("fresh.bin")); }, "param buffer invalid");
    sensor.ValidMask = kValidWhole & ~kValidSys;
    ExpectThrows([&] { sensor.SaveToFile(Path("fresh.bin")); }, "param buffer invalid");
    sensor.ValidMask = kValidWhole;  // enough: the other bits are never tested
    sensor.FileModified = true;
    sensor.SaveToFile(Path("fresh.bin"));
    EXPECT_FALSE(sensor.FileModified);
    EXPECT_EQ(ReadBack("fresh.bin"), std::string(2048, '\0'));
}

TEST_F(ParamFiles, RawRoundTripReplacesTheWholeImage) {
    sensor.LoadDefaultImage();
    sensor.ValidMask = kValidAll;
    sensor.SensorModified = false;
    sensor.SaveToFile(Path("a.BIN"));
    std::string raw = ReadBack("a.BIN");
    ASSERT_EQ(raw.size(), 2048u);
    EXPECT_TRUE(std::equal(raw.begin(), raw.end(), DefaultImage().begin(),
                           [](char c, uint8_t b) { return static_cast<uint8_t>(c) == b; }));
    EXPECT_FALSE(sensor.SensorModified);  // a save leaves it
    TKestParam p;
    p.SetWord(0, 0x7777);
    p.LoadFromFile(Path("a.BIN"));
    EXPECT_EQ(p.Image, sensor.Image);
    EXPECT_EQ(p.ValidMask, kValidAll);
    EXPECT_TRUE(p.SensorModified);
    EXPECT_FALSE(p.FileModified);
    EXPECT_FALSE(p.NotLoaded);
}

TEST_F(ParamFiles, RawFileOfAnyOtherSizeIsRefused) {
    sensor.LoadDefaultImage();
    auto before = sensor.Image;
    for (size_t size : {size_t{0}, size_t{2047}, size_t{2049}, size_t{4096}, size_t{1} << 20}) {
        Write("s.bin", std::string(size, 'x'));
        ExpectThrows([&] { sensor.LoadFromFile(Path("s.bin")); },
                     "load bin file; param file size missmatched");
    }
    EXPECT_EQ(sensor.Image, before);
    EXPECT_TRUE(sensor.NotLoaded);
    EXPECT_THROW(sensor.LoadFromFile(Path("nothing.bin")), EKestError);
    fs::create_directories(dir / "d.bin");
    EXPECT_THROW(sensor.LoadFromFile(Path("d.bin")), EKestError);
    EXPECT_EQ(sensor.Image, before);
}

TEST_F(ParamFiles, TextToRawToTextRoundTrip) {
    sensor.LoadDefaultImage();
    sensor.SetBank(5, pk::AreaLeft(2), -1234);
    sensor.SaveToFile(Path("one.kd"));
    TKestParam a;
    a.LoadFromFile(Path("one.kd"));
    a.ValidMask = kValidAll;  // the text carried every block
    a.SaveToFile(Path("two.bin"));
    TKestParam b;
    b.LoadFromFile(Path("two.bin"));
    b.SaveToFile(Path("three.kd"));
    auto body = [](const std::string& t) { return t.substr(t.find("\r\n\r\n")); };
    EXPECT_EQ(body(ReadBack("three.kd")), body(ReadBack("one.kd")));
    EXPECT_EQ(b.GetBank(5, pk::AreaLeft(2)), -1234);
}

// ---------------------------------------------------------------- extensions

TEST_F(ParamFiles, ExtensionsChooseTheFormatInAnyCase) {
    sensor.LoadDefaultImage();
    sensor.ValidMask = kValidAll;
    for (const char* name : {"a.kd", "b.KD", "c.Dalo", "d.VYN", "e.vyn"}) {
        sensor.SaveToFile(Path(name));
        EXPECT_EQ(ReadBack(name).substr(0, 31), "#KD sensor parameters file FMT1") << name;
        TKestParam p;
        p.LoadFromFile(Path(name));
        EXPECT_EQ(p.ValidMask, 0u) << name;
    }
    sensor.SaveToFile(Path("f.Bin"));
    EXPECT_EQ(fs::file_size(dir / "f.Bin"), 2048u);
    EXPECT_EQ(FileExt("/x.y/z"), "");
    EXPECT_EQ(FileExt("/x/z.tar.KD"), ".KD");
    EXPECT_EQ(FileExt("z."), ".");
}

TEST_F(ParamFiles, RefusedExtensions) {
    sensor.LoadDefaultImage();
    sensor.ValidMask = kValidAll;
    sensor.FileModified = true;
    Write("p.txt", "#KD sensor parameters file FMT1\r\n");
    ExpectThrows([&] { sensor.LoadFromFile(Path("p.txt")); }, "unknown ext;.txt");
    ExpectThrows([&] { sensor.LoadFromFile(Path("p.TXT")); }, "unknown ext;.TXT");
    ExpectThrows([&] { sensor.SaveToFile(Path("q.txt")); }, "TEXT format not implemnt");
    ExpectThrows([&] { sensor.SaveToFile(Path("q.Txt")); }, "TEXT format not implemnt");
    ExpectThrows([&] { sensor.SaveToFile(Path("q.dat")); }, "unknown ext;.dat");
    ExpectThrows([&] { sensor.LoadFromFile(Path("q.Dat")); }, "unknown ext;.Dat");
    ExpectThrows([&] { sensor.SaveToFile(Path("noext")); }, "unknown ext;");
    ExpectThrows([&] { sensor.LoadFromFile(Path("dir.kd/noext")); }, "unknown ext;");
    EXPECT_FALSE(fs::exists(dir / "q.txt"));
    EXPECT_FALSE(fs::exists(dir / "q.dat"));
    EXPECT_TRUE(sensor.FileModified);
    EXPECT_TRUE(sensor.NotLoaded);
}

// What a text file lacks is recorded, so that it is never written to a sensor.
TEST_F(ParamFiles, LoadRecordsTheBlocksAFileLacks) {
    auto oneShort = ZeroBanks();
    oneShort[2] = Repeat(" 0", 123);
    const std::string whole = TextFile(Repeat(" 0", 16), ZeroBanks());
    std::string nulKey = whole;
    nulKey.replace(nulKey.find("Bank5.Hexa"), 5, std::string("Ba\0k5", 5));
    struct Case {
        std::string text;
        uint32_t missing;
        std::string message;
    };
    const Case cases[] = {
        {"#KD sensor parameters file FMT1\r\n", 0x80FF,
         "file has no Sys, Bank1, Bank2, Bank3, Bank4, Bank5, Bank6, Bank7, Bank8 data"},
        {whole, 0, ""},
        {TextFile(Repeat(" 0", 15), ZeroBanks()), 0x8000, "file has no Sys data"},
        {TextFile(Repeat(" 0", 16), oneShort), 0x0004, "file has no Bank3 data"},
        {whole.substr(0, whole.find("Bank7")), 0x00C0, "file has no Bank7, Bank8 data"},
        {nulKey, 0x0010, "file has no Bank5 data"},
    };
    for (const Case& c : cases) {
        const std::string name = Write("f.kd", c.text);
        sensor.LoadFromFile(name);
        EXPECT_EQ(sensor.MissingBlocks, c.missing) << c.message;
        if (c.missing) {
            EXPECT_EQ(IncompleteFileMessage(name, c.missing), "'" + name + "': " + c.message);
        }
    }
    sensor.ValidMask = kValidAll;
    sensor.SaveToFile(Path("w.bin"));
    sensor.MissingBlocks = 0x8000;
    sensor.LoadFromFile(Path("w.bin"));
    EXPECT_EQ(sensor.MissingBlocks, 0u);  // a raw file is whole
}
