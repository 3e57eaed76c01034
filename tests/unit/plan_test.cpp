#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include <string>
#include <vector>

#include "commission/plan.h"
#include "commission/rows.h"
#include "commission/undo.h"
#include "report/input_text.h"
#include "support/utf16.h"

// Each case: the plan text, then the rows read (line, ip's last byte or keep, gateway and mask kept?)
// or the errors as "line: start of the message".
// n times U+00E9, two bytes each.
static std::string E(int n)
{
    std::string text;
    for (int i = 0; i < n; ++i) {
        text += "\xc3\xa9";
    }
    return text;
}

// The rows read as "line ip-or-keep gateway mask", then the errors as "line: message".
static std::vector<std::string> readAll(const std::string& text)
{
    std::vector<PlanRow> rows;
    std::vector<PlanError> errors;
    bool ok = readPlan(text, &rows, &errors);
    std::vector<std::string> got;
    got.reserve(rows.size() + errors.size());
    for (const PlanRow& r : rows) {
        got.push_back(std::to_string(r.line) + " " + (r.setIp ? std::to_string(r.ip[3]) : "keep") +
                      (r.setGateway ? " set" : " keep") + (r.setMask ? " set" : " keep"));
    }
    for (const PlanError& e : errors) {
        got.push_back(std::to_string(e.line) + ": " + planErrorText(e));
    }
    EXPECT_EQ(ok, errors.empty());
    EXPECT_TRUE(ok || rows.empty()) << "rows are given only for a plan without errors";
    return got;
}

TEST(Plan, Table)
{
    const std::string H = "mac,ip,gateway,mask\n";
    const struct {
        std::string text;
        std::vector<std::string> expected;
    } cases[] = {
        {H + "00:1a:2b:3c:4d:01,10.0.0.1,10.0.0.254,255.255.255.0\n", {"2 1 set set"}},
        {"# a comment\n\n MAC , IP,Gateway,MASK\r\n00.1A.2b.3c.4d.01,10.0.0.1,,\r\n# end\n00:1a:2b:3c:4d:02,10.0.0.2,,255.0.0.0",
         {"4 1 keep keep", "6 2 keep set"}},
        {H + "00:1a:2b:3c:4d:01, 10.0.0.1 ,\t10.0.0.254\t,\n", {"2 1 set keep"}},
        {"", {"1: no header line"}},
        {"# only a comment\n", {"1: no header line"}},
        {H, {"1: no controller rows"}},
        {"mca;ip\n00:1a:2b:3c:4d:01;10.0.0.1\n", {"1: the header needs a mac column (found 'mca;ip')"}},
        {"mac,ip,IP\n", {"1: the header has the column 'ip' twice"}},
        {H + "00:1a:2b:3c:4d:01,10.0.0.1,,\n00:1a:2b:3c:4d:01,10.0.0.2,,\n",
         {"3: MAC '00:1a:2b:3c:4d:01' is given twice (first on line 2)"}},
        {H + "00:1a:2b:3c:4d:01,10.0.0.1,,\n00:1a:2b:3c:4d:02,10.0.0.1,,\n",
         {"3: IP address '10.0.0.1' is given twice (first on line 2)"}},
        {H + "00:1b:2b:3c:4d:01,10.0.0.1,,\n00.1B.2B.3C.4D.01,10.0.0.2,,\n",
         {"3: MAC '00.1B.2B.3C.4D.01' is given twice (first on line 2)"}},
        {"# plan\n\n" + H + "# a comment\n\n00:1a:2b:3c:4d:01,10.0.0.1,,\n00:1a:2b:3c:4d:02,10.0.0.1x,,\n",
         {"7: bad IP address '10.0.0.1x'"}},
        {H + "00:1a:2b:3c:4d:01,,,\n", {"2 keep keep keep"}},
        {H + ",10.0.0.1,,\n", {"2: the MAC address is missing"}},
        // Fields shown by the device text rule, C1 included, cut on a character.
        {H + "00:1a:2b:3c:4d:01,10.0.0.1,,,\xc2\x9b"
             "2J\x9b\n",
         {"2: more fields than the header's 4 (found '?2J?')"}},
        {H + E(45) + ",10.0.0.1,,\n", {"2: bad MAC address '" + E(40) + "...'"}},
        {H + "00:1a:2b:3c:4d:01,10.0.0.01,10.0.0,256.0.0.0\n",
         {"2: bad IP address '10.0.0.01'", "2: bad gateway '10.0.0'", "2: bad mask '256.0.0.0'"}},
        {H + "00:1a:2b:3c:4d,10.0.0.1,,\n", {"2: bad MAC address '00:1a:2b:3c:4d'"}},
        {H + std::string("00:1a:2b:3c:4d:01\0x,10.0.0.1,,\n", 31), {"2: bad MAC address '00:1a:2b:3c:4d:01?x'"}},
        {H + "00:1a:2b:3c:4d:01,10.0.0.1,,\n\"00:1a:2b:3c:4d:02\",10.0.0.2,,\n", {"2 1 keep keep", "3 2 keep keep"}},
        // Short rows keep the cells they lack; empty fields beyond the header are no fault.
        {H + "00:1a:2b:3c:4d:01,10.0.0.1\n00:1a:2b:3c:4d:02,10.0.0.2,,,\n00:1a:2b:3c:4d:03,10.0.0.3,,,x\n",
         {"4: more fields than the header's 4 (found 'x')"}},
        // Spreadsheet forms: byte-order mark, ';', CRLF, an empty row, an indented comment.
        {"\xef\xbb\xbfmac;ip;gateway;mask\r\n;;;\r\n  # note\r\n00:1a:2b:3c:4d:01;10.0.0.1;;255.0.0.0\r\n",
         {"4 1 keep set"}},
        {"mac\tip\tgateway\n00:1a:2b:3c:4d:01\t10.0.0.1\t10.0.0.254\n", {"2 1 set keep"}},
        {"mac,ip\r00:1a:2b:3c:4d:01,10.0.0.1\r00:1a:2b:3c:4d:02,10.0.0.2", {"2 1 keep keep", "3 2 keep keep"}},
        // Quotes: the separator, "" and a line break inside; the next row's line counts the break.
        {"mac,ip,notes\n00:1a:2b:3c:4d:01, \"10.0.0.1\" ,\"a, \"\"b\"\"\r\nc\"\n00:1a:2b:3c:4d:02,10.0.0.x,\n",
         {"4: bad IP address '10.0.0.x'"}},
        {H + "00:1a:2b:3c:4d:01,\"10.0.0.1,,\n", {"2: a quoted field is not closed"}},
        {H + "\"00:1a:2b:3c:4d:01\"x,10.0.0.1,,\n", {"2: text after the closing quote"}},
        // Columns in any order and case, some left out, others ignored; IPs compared only where set.
        {"Mask,notes,MAC,Ip\n255.0.0.0,x,00:1a:2b:3c:4d:01,10.0.0.7\n", {"2 7 keep set"}},
        {"mac,gateway\n00:1a:2b:3c:4d:01,10.0.0.254\n00:1a:2b:3c:4d:02,\n", {"2 keep set keep", "3 keep keep keep"}},
        {"mac,ip,gateway,mask,node_name,version,node_id,node_id_type,sender,local,answers\r\n"
         "00.1a.2b.3c.4d.01,10.0.0.1,10.0.0.254,255.255.255.0,\"'=Pump, 1\",1.8.0.0,0102,0304,10.0.0.1,10.0.0.9,2\r\n",
         {"2 1 set set"}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> got = readAll(c.text);
        ASSERT_EQ(got.size(), c.expected.size()) << c.text;
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].compare(0, c.expected[i].size(), c.expected[i]), 0) << got[i] << "\n" << c.text;
        }
    }
}

// Plans as other tools save them: read as UTF-8 when the encoding is known, refused with the
// whole sentence when not.
TEST(Plan, Encodings)
{
    const std::string SAVE = "; save it with Save As, choosing CSV UTF-8 (or Unicode text)";
    // "Gr\u00f6\u00dfe \u6cf5\u7ad9 \U0001f600": two-, three- and four-byte UTF-8.
    const std::string NOTE = "Gr\xc3\xb6\xc3\x9f"
                             "e \xe6\xb3\xb5\xe7\xab\x99 \xf0\x9f\x98\x80";
    const std::string SHEET = "Notes\tMAC\tIP\r\n" + NOTE + "\t00:1a:2b:3c:4d:01\t10.0.0.1\r\n";
    const std::string BAD_ROW = "spare\t00:1a:2b:3c:4d:02\t10.0.0.x\r\n" + NOTE + "\t" + NOTE + "\t\r\n";
    const struct {
        std::string text;
        std::vector<std::string> expected;
    } cases[] = {
        {utf16(SHEET, false), {"2 1 keep keep"}},
        {utf16(SHEET, true), {"2 1 keep keep"}},
        {utf16(SHEET + BAD_ROW, true),
         {"3: bad IP address '10.0.0.x': four decimal numbers 0 to 255, no leading zeros",
          "4: bad MAC address '" + NOTE + "': six hex pairs joined by ':', '.' or '-', or twelve hex digits"}},
        {utf16("mac,ip\n", false) + "x",
         {"2: the plan is UTF-16 but ends in half a character (an odd number of bytes)" + SAVE}},
        {utf16("mac\n", false) + std::string("\x00\xd8x\x00", 4),
         {"2: the plan is UTF-16 but holds half of a surrogate pair" + SAVE}},
        {utf16("", true) + std::string("\xdc\x00\x00m", 4),
         {"1: the plan is UTF-16 but holds half of a surrogate pair" + SAVE}},
        {utf16("mac\r\n", false) + std::string("\x3d\xd8", 2),
         {"2: the plan is UTF-16 but holds half of a surrogate pair" + SAVE}},
        {utf16("mac,ip\n", false, false),
         {"1: the plan is UTF-16 without a byte-order mark, which is not read" + SAVE}},
        {utf16("mac,ip\n", true, false), {"1: the plan is UTF-16 without a byte-order mark, which is not read" + SAVE}},
        {std::string("\xff\xfe\0\0m\0\0\0", 8), {"1: the plan is UTF-32, which is not read" + SAVE}},
        {std::string("\0\0\xfe\xff\0\0\0m", 8), {"1: the plan is UTF-32, which is not read" + SAVE}},
        {std::string("m\0\0\0a\0\0\0", 8), {"1: the plan is UTF-32, which is not read" + SAVE}},
        // Latin-1 in a comment and an ignored column changes nothing read; in a cell read it is refused.
        {"# S\xfc"
         "d\nnotes,mac,ip\nGr\xf6\xdf"
         "e,00:1a:2b:3c:4d:01,10.0.0.1\n",
         {"3 1 keep keep"}},
        {"mac,ip\n00:1a:2b:3c:4d:01,10.0.0.1\xa0\n00:1a:2b:3c:4d:02,10.0.0.1\n\xb5,\n",
         {"2: the IP address is not UTF-8 (the plan is in another encoding)" + SAVE,
          "4: the MAC address is not UTF-8 (the plan is in another encoding)" + SAVE}},
        // A field quoted in a message is UTF-8 too.
        {"Gr\xf6\xdf"
         "e;ip\n",
         {"1: the header needs a mac column (found 'Gr\xef\xbf\xbd\xef\xbf\xbd"
          "e;ip')"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(readAll(c.text), c.expected) << c.text;
    }
}

// The undo file's check before the scan finds what the real write would meet and leaves the folder
// as it was: no file made, one already there untouched.
TEST(Plan, UndoFileCheck)
{
    char folder[] = "/tmp/undo-check-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string dir = folder;
    const struct {
        std::string path;
        const char* leftover;   // already there as path.tmp, or nullptr
        bool writable;
        int error;
    } cases[] = {
        {dir + "/u.csv", nullptr, true, 0},
        {dir + "/v.csv", "kept", true, 0},
        {dir + "/no/u.csv", nullptr, false, ENOENT},
        {dir + "/v.csv.tmp/u.csv", nullptr, false, ENOTDIR},
    };
    for (const auto& c : cases) {
        if (c.leftover != nullptr) {
            FILE* f = fopen((c.path + ".tmp").c_str(), "wb");
            ASSERT_NE(f, nullptr);
            fputs(c.leftover, f);
            fclose(f);
        }
        int error = 0;
        EXPECT_EQ(canWriteUndoFile(c.path, &error), c.writable) << c.path;
        EXPECT_EQ(error, c.error) << c.path;
        FILE* f = fopen((c.path + ".tmp").c_str(), "rb");
        EXPECT_EQ(f != nullptr, c.leftover != nullptr) << c.path;
        if (f != nullptr) {
            char kept[16] = "";
            EXPECT_NE(fgets(kept, sizeof kept, f), nullptr);
            EXPECT_STREQ(kept, c.leftover);
            fclose(f);
        }
        EXPECT_EQ(fopen(c.path.c_str(), "rb"), nullptr) << c.path;
    }
    (void)remove((dir + "/v.csv.tmp").c_str());
    EXPECT_EQ(rmdir(folder), 0) << "nothing else left behind";
}

// The one reader of a target as typed, for a plan's cells, set's options and the page's rows.
TEST(Rows, CheckerTable)
{
    const std::string LONG(5000, '1');
    const struct {
        std::vector<RowText> rows;
        std::vector<std::string> expected;   // "place: problem field first" for each fault, or "place ok"
    } cases[] = {
        {{{"00:1a:2b:3c:4d:01", "10.0.0.5", "", ""}}, {"1 ok"}},
        {{{"001A2B3C4D01", "", "10.0.0.254", "255.255.255.0"}}, {"1 ok"}},
        {{{std::string("00:1b:c3:a5:7e:02\0junk", 22), "10.0.0.5", "", ""}}, {"1: bad-mac mac 0"}},
        {{{"", "10.0.0.5", "", ""}}, {"1: no-mac mac 0"}},
        {{{"00:1a:2b:3c:4d:01", std::string("10.0.0.5\0", 9), "", ""}}, {"1: bad-address ip 0"}},
        {{{"00:1a:2b:3c:4d:01", "300.1.1.1", "10.0.0", LONG}},
         {"1: bad-address ip 0", "1: bad-address gateway 0", "1: bad-address mask 0"}},
        {{{"00:1a:2b:3c:4d:01", "10.0.0.5", "10.0.0.\xff", "x"}}, {"1: not-utf8 gateway 0"}},
        {{{"00:1a:2b:3c:4d:01", "10.0.0.5", "", ""}, {"00-1A-2B-3C-4D-01", "10.0.0.6", "", ""}},
         {"1 ok", "2: mac-twice mac 1"}},
        {{{"00:1a:2b:3c:4d:01", "10.0.0.5", "", ""}, {"00:1a:2b:3c:4d:02", "10.0.0.5", "", ""}},
         {"1 ok", "2: ip-twice ip 1"}},
        // A row whose MAC does not read still holds its IP for the rows after it.
        {{{"00:1a:2b:3c:4d", "10.0.0.5", "", ""}, {"00:1a:2b:3c:4d:02", "10.0.0.5", "", ""}},
         {"1: bad-mac mac 0", "2: ip-twice ip 1"}},
    };
    const char* const PROBLEMS[] = {"no-mac", "bad-mac", "bad-address", "not-utf8", "mac-twice", "ip-twice"};
    const char* const FIELDS[] = {"mac", "ip", "gateway", "mask"};
    for (const auto& c : cases) {
        RowChecker checker;
        std::vector<std::string> got;
        for (size_t i = 0; i < c.rows.size(); ++i) {
            PlanRow row;
            std::vector<RowFault> faults;
            bool ok = checkRow(checker, (int)i + 1, c.rows[i], &row, &faults);
            EXPECT_EQ(ok, faults.empty());
            if (ok) {
                got.push_back(std::to_string(i + 1) + " ok");
                EXPECT_EQ(row.setIp, !c.rows[i].ip.empty());
                EXPECT_EQ(row.setGateway, !c.rows[i].gateway.empty());
            }
            for (const RowFault& f : faults) {
                got.push_back(std::to_string(f.place) + ": " + PROBLEMS[f.problem] + " " + FIELDS[f.field] + " " +
                              std::to_string(f.first));
            }
        }
        EXPECT_EQ(got, c.expected) << c.rows[0].mac;
    }
}

// The words of a row's faults: the same in every frame but for where the first of two rows is
// and how to save a plan in another encoding; typed text safe and cut.
TEST(Rows, FaultWords)
{
    const std::string CUT = "'" + std::string(40, '1') + "...'";
    const struct {
        RowFault fault;
        Frame frame;
        std::string expected;
    } cases[] = {
        {{1, ROW_BAD_MAC, ROW_MAC, std::string("00:1b:c3:a5:7e:02\0junk", 22), 0},
         FRAME_PAGE,
         "bad MAC address '00:1b:c3:a5:7e:02?junk': six hex pairs joined by ':', '.' or '-', or twelve hex digits"},
        {{1, ROW_BAD_ADDRESS, ROW_IP, "300.1.1.1", 0},
         FRAME_OPTIONS,
         "bad IP address '300.1.1.1': four decimal numbers 0 to 255, no leading zeros"},
        {{1, ROW_BAD_ADDRESS, ROW_MASK, std::string(5000, '1'), 0},
         FRAME_PLAN,
         "bad mask " + CUT + ": four decimal numbers 0 to 255, no leading zeros"},
        {{1, ROW_BAD_ADDRESS, ROW_GATEWAY, "\x1b[2J", 0},
         FRAME_PAGE,
         "bad gateway '?[2J': four decimal numbers 0 to 255, no leading zeros"},
        {{1, ROW_NO_MAC, ROW_MAC, "", 0}, FRAME_PAGE, "the MAC address is missing"},
        {{1, ROW_NOT_UTF8, ROW_IP, "", 0}, FRAME_OPTIONS, "the IP address is not UTF-8"},
        {{3, ROW_MAC_TWICE, ROW_MAC, "00:1a:2b:3c:4d:01", 2},
         FRAME_PLAN,
         "MAC '00:1a:2b:3c:4d:01' is given twice (first on line 2)"},
        {{2, ROW_MAC_TWICE, ROW_MAC, "00:1a:2b:3c:4d:01", 1},
         FRAME_PAGE,
         "MAC '00:1a:2b:3c:4d:01' is given twice (first in row 1)"},
        {{2, ROW_IP_TWICE, ROW_IP, "10.0.0.5", 1}, FRAME_PAGE, "IP address '10.0.0.5' is given twice (first in row 1)"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(rowFaultText(c.fault, c.frame), c.expected);
    }
}
