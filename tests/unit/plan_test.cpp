#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "commission/plan.h"
#include "report/batch_output.h"

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
         {"3: MAC '00:1a:2b:3c:4d:01' is already on line 2"}},
        {H + "00:1a:2b:3c:4d:01,10.0.0.1,,\n00:1a:2b:3c:4d:02,10.0.0.1,,\n",
         {"3: IP address '10.0.0.1' is already given on line 2"}},
        {H + "00:1b:2b:3c:4d:01,10.0.0.1,,\n00.1B.2B.3C.4D.01,10.0.0.2,,\n",
         {"3: MAC '00.1B.2B.3C.4D.01' is already on line 2"}},
        {"# plan\n\n" + H + "# a comment\n\n00:1a:2b:3c:4d:01,10.0.0.1,,\n00:1a:2b:3c:4d:02,10.0.0.1x,,\n",
         {"7: bad IP address '10.0.0.1x'"}},
        {H + "00:1a:2b:3c:4d:01,,,\n", {"2 keep keep keep"}},
        {H + ",10.0.0.1,,\n", {"2: the MAC address is missing"}},
        // Fields shown by the device text rule, C1 included, cut on a character.
        {H + "\xc2\x9b"
             "2J\x9b,10.0.0.1,,\n",
         {"2: bad MAC address '?2J?'"}},
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
        std::vector<PlanRow> rows;
        std::vector<PlanError> errors;
        bool ok = readPlan(c.text, &rows, &errors);
        std::vector<std::string> got;
        got.reserve(rows.size() + errors.size());
        for (const PlanRow& r : rows) {
            got.push_back(std::to_string(r.line) + " " + (r.setIp ? std::to_string(r.ip[3]) : "keep") +
                          (r.setGateway ? " set" : " keep") + (r.setMask ? " set" : " keep"));
        }
        for (const PlanError& e : errors) {
            got.push_back(std::to_string(e.line) + ": " + planErrorText(e));
        }
        ASSERT_EQ(got.size(), c.expected.size()) << c.text;
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].compare(0, c.expected[i].size(), c.expected[i]), 0) << got[i] << "\n" << c.text;
        }
        EXPECT_EQ(ok, errors.empty());
        EXPECT_TRUE(ok || rows.empty()) << "rows are given only for a plan without errors";
    }
}
