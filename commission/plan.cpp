#include "commission/plan.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>

#include "protocol/address.h"

static const char* const HEADER[] = {"mac", "ip", "gateway", "mask"};
static const size_t FIELDS = sizeof HEADER / sizeof HEADER[0];

static std::string trim(const std::string& text)
{
    size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return "";
    }
    size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

static std::vector<std::string> splitFields(const std::string& line)
{
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        size_t comma = line.find(',', start);
        fields.push_back(trim(line.substr(start, comma == std::string::npos ? std::string::npos : comma - start)));
        if (comma == std::string::npos) {
            return fields;
        }
        start = comma + 1;
    }
}

static bool isHeader(const std::vector<std::string>& fields)
{
    if (fields.size() != FIELDS) {
        return false;
    }
    for (size_t i = 0; i < FIELDS; ++i) {
        if (fields[i].size() != strlen(HEADER[i])) {
            return false;
        }
        for (size_t k = 0; k < fields[i].size(); ++k) {
            char c = fields[i][k];
            char lower = (c >= 'A' && c <= 'Z') ? (char)(c - 'A' + 'a') : c;
            if (lower != HEADER[i][k]) {
                return false;
            }
        }
    }
    return true;
}

// A zero byte would end the text early for the address readers.
static bool readAddress(const std::string& text, unsigned char* address)
{
    return text.find('\0') == std::string::npos && parseIpv4(text.c_str(), address);
}

// Reads one row; macOk and ipOk say whether those two could be read, for the checks across rows.
static void readRow(int line, const std::vector<std::string>& fields, PlanRow* row, bool* macOk, bool* ipOk,
                    std::vector<PlanError>* errors)
{
    *macOk = false;
    *ipOk = false;
    if (fields.size() != FIELDS) {
        errors->push_back({line, PLAN_FIELD_COUNT, "", (int)fields.size()});
        return;
    }
    memset(row, 0, sizeof *row);
    row->line = line;
    *macOk = fields[0].find('\0') == std::string::npos && parseMac(fields[0].c_str(), row->mac);
    if (!*macOk) {
        errors->push_back({line, PLAN_BAD_MAC, fields[0], 0});
    }
    row->setIp = true;
    *ipOk = !fields[1].empty() && readAddress(fields[1], row->ip);
    if (fields[1].empty()) {
        errors->push_back({line, PLAN_NO_IP, "", 0});
    } else if (!*ipOk) {
        errors->push_back({line, PLAN_BAD_IP, fields[1], 0});
    }
    row->setGateway = !fields[2].empty();
    if (row->setGateway && !readAddress(fields[2], row->gateway)) {
        errors->push_back({line, PLAN_BAD_GATEWAY, fields[2], 0});
    }
    row->setMask = !fields[3].empty();
    if (row->setMask && !readAddress(fields[3], row->mask)) {
        errors->push_back({line, PLAN_BAD_MASK, fields[3], 0});
    }
}

static std::string key(const unsigned char* bytes, int length)
{
    return std::string((const char*)bytes, (size_t)length);
}

bool readPlan(const std::string& text, std::vector<PlanRow>* rows, std::vector<PlanError>* errors)
{
    rows->clear();
    errors->clear();
    std::map<std::string, int> macLines;
    std::map<std::string, int> ipLines;
    bool headerSeen = false;
    int line = 0;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        std::string content = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        start = end == std::string::npos ? text.size() : end + 1;
        ++line;
        if (!content.empty() && content.back() == '\r') {
            content.pop_back();
        }
        if (trim(content).empty() || content[0] == '#') {
            continue;
        }
        std::vector<std::string> fields = splitFields(content);
        if (!headerSeen) {
            headerSeen = true;
            if (!isHeader(fields)) {
                errors->push_back({line, PLAN_BAD_HEADER, "", 0});
            }
            continue;
        }
        PlanRow row;
        bool macOk;
        bool ipOk;
        readRow(line, fields, &row, &macOk, &ipOk, errors);
        if (macOk) {
            auto mac = macLines.emplace(key(row.mac, MAC_LEN), line);
            if (!mac.second) {
                errors->push_back({line, PLAN_MAC_TWICE, fields[0], mac.first->second});
            }
        }
        if (ipOk) {
            auto ip = ipLines.emplace(key(row.ip, IPV4_LEN), line);
            if (!ip.second) {
                errors->push_back({line, PLAN_IP_TWICE, fields[1], ip.first->second});
            }
        }
        rows->push_back(row);
    }
    if (!headerSeen) {
        errors->push_back({line > 0 ? line : 1, PLAN_NO_HEADER, "", 0});
    } else if (rows->empty() && errors->empty()) {
        errors->push_back({line, PLAN_NO_ROWS, "", 0});
    }
    if (!errors->empty()) {
        rows->clear();
    }
    return errors->empty();
}

PlanFileResult readPlanFile(const std::string& path, std::string* text, int* error)
{
    text->clear();
    FILE* file = fopen(path.c_str(), "rb");
    if (file == NULL) {
        *error = errno;
        return PLAN_FILE_CANT_OPEN;
    }
    char chunk[4096];
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, file)) > 0) {
        if (text->size() + got > PLAN_MAX_BYTES) {
            fclose(file);
            text->clear();
            return PLAN_FILE_TOO_LARGE;
        }
        text->append(chunk, got);
    }
    bool readFailed = ferror(file) != 0;
    *error = errno;
    fclose(file);
    return readFailed ? PLAN_FILE_CANT_READ : PLAN_FILE_READ;
}
