#include "commission/plan.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>

#include "protocol/utf8.h"

static const char SEPARATORS[] = {',', ';', '\t'};   // the first wins a tie
static const char BOM[] = "\xef\xbb\xbf";
static const char UTF16_LE_BOM[] = "\xff\xfe";
static const char UTF16_BE_BOM[] = "\xfe\xff";
static const char UTF32_LE_BOM[] = {'\xff', '\xfe', '\0', '\0'};
static const char UTF32_BE_BOM[] = {'\0', '\0', '\xfe', '\xff'};

enum Column { COLUMN_MAC, COLUMN_IP, COLUMN_GATEWAY, COLUMN_MASK, COLUMNS };
static const char* const COLUMN_NAMES[COLUMNS] = {"mac", "ip", "gateway", "mask"};

// Where each known column is in a row (-1: not in the plan), and how many fields the header has.
struct PlanHeader {
    char separator;
    int at[COLUMNS];
    size_t fields;
};

enum RecordEnd {
    RECORD_OK,
    RECORD_OPEN_QUOTE,   // the text ended inside quotes
    RECORD_TEXT_AFTER_QUOTE,
};

// The length of the line end at text[at]: LF, CRLF or CR; 0 when there is none.
static size_t lineBreak(const std::string& text, size_t at)
{
    if (at >= text.size() || (text[at] != '\n' && text[at] != '\r')) {
        return 0;
    }
    return text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n' ? 2 : 1;
}

static bool isBlank(char c, char separator)
{
    return c != separator && (c == ' ' || c == '\t');
}

static std::string trim(const std::string& text)
{
    size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return "";
    }
    size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

static bool sameName(const std::string& field, const char* name)
{
    std::string cell = trim(field);
    if (cell.size() != strlen(name)) {
        return false;
    }
    for (size_t k = 0; k < cell.size(); ++k) {
        char c = cell[k];
        if ((c >= 'A' && c <= 'Z' ? (char)(c - 'A' + 'a') : c) != name[k]) {
            return false;
        }
    }
    return true;
}

// Reads the record at *at into fields (RFC 4180: a field in double quotes may hold the separator,
// "" for a quote and line breaks; blanks around a field are dropped) and moves *at past its line
// end, counting in *line the line ends passed. Text after a closing quote stays in its field.
static RecordEnd readRecord(const std::string& text, char separator, size_t* at, int* line,
                            std::vector<std::string>* fields)
{
    fields->clear();
    RecordEnd end = RECORD_OK;
    size_t i = *at;
    for (;;) {
        std::string field;
        while (i < text.size() && isBlank(text[i], separator)) {
            ++i;
        }
        if (i < text.size() && text[i] == '"') {
            for (++i;;) {
                size_t lineEnd = lineBreak(text, i);
                if (i >= text.size()) {
                    fields->push_back(field);
                    *at = i;
                    return RECORD_OPEN_QUOTE;
                } else if (lineEnd > 0) {
                    field.append(text, i, lineEnd);
                    i += lineEnd;
                    ++*line;
                } else if (text[i] != '"') {
                    field += text[i++];
                } else if (i + 1 < text.size() && text[i + 1] == '"') {
                    field += '"';
                    i += 2;
                } else {
                    ++i;
                    break;
                }
            }
            while (i < text.size() && isBlank(text[i], separator)) {
                ++i;
            }
            if (i < text.size() && text[i] != separator && lineBreak(text, i) == 0) {
                end = RECORD_TEXT_AFTER_QUOTE;
            }
        }
        size_t start = i;
        while (i < text.size() && text[i] != separator && lineBreak(text, i) == 0) {
            ++i;
        }
        field += trim(text.substr(start, i - start));
        fields->push_back(field);
        if (i < text.size() && text[i] == separator) {
            ++i;
            continue;
        }
        size_t lineEnd = lineBreak(text, i);
        *line += lineEnd > 0 ? 1 : 0;
        *at = i + lineEnd;
        return end;
    }
}

// The header record at *at, read with the separator that finds a mac column and the most fields.
// False, with the error listed, when there is no usable header.
static bool readHeader(const std::string& text, size_t* at, int* line, PlanHeader* header,
                       std::vector<PlanError>* errors)
{
    int headerLine = *line;
    size_t bestAt = 0;
    int bestLine = 0;
    RecordEnd bestEnd = RECORD_OK;
    std::vector<std::string> best;
    for (char separator : SEPARATORS) {
        size_t next = *at;
        int nextLine = *line;
        std::vector<std::string> fields;
        RecordEnd end = readRecord(text, separator, &next, &nextLine, &fields);
        bool hasMac = false;
        for (const std::string& field : fields) {
            hasMac = hasMac || sameName(field, COLUMN_NAMES[COLUMN_MAC]);
        }
        if (hasMac && fields.size() > best.size()) {
            header->separator = separator;
            best = fields;
            bestAt = next;
            bestLine = nextLine;
            bestEnd = end;
        }
    }
    if (best.empty()) {
        size_t length = 0;
        while (*at + length < text.size() && lineBreak(text, *at + length) == 0) {
            ++length;
        }
        errors->push_back({headerLine, PLAN_BAD_HEADER, text.substr(*at, length), 0, RowFault()});
        return false;
    }
    *at = bestAt;
    *line = bestLine;
    if (bestEnd != RECORD_OK) {
        errors->push_back(
            {headerLine, bestEnd == RECORD_OPEN_QUOTE ? PLAN_OPEN_QUOTE : PLAN_BAD_QUOTE, "", 0, RowFault()});
        return false;
    }
    header->fields = best.size();
    for (int c = 0; c < COLUMNS; ++c) {
        header->at[c] = -1;
        for (size_t k = 0; k < best.size(); ++k) {
            if (!sameName(best[k], COLUMN_NAMES[c])) {
                continue;
            }
            if (header->at[c] >= 0) {
                errors->push_back({headerLine, PLAN_COLUMN_TWICE, COLUMN_NAMES[c], 0, RowFault()});
                return false;
            }
            header->at[c] = (int)k;
        }
    }
    return true;
}

// Reads one row through the row checker; its faults are the plan's, at its line. An empty cell,
// or a column the plan lacks, keeps the controller's value. Filled fields beyond the header's are
// a fault of the plan, told before the duplicates.
static void readRow(RowChecker& checker, int line, const PlanHeader& header, const std::vector<std::string>& fields,
                    PlanRow* row, std::vector<PlanError>* errors)
{
    static const std::string NONE;
    const std::string* cell[COLUMNS];
    for (int c = 0; c < COLUMNS; ++c) {
        cell[c] = header.at[c] >= 0 && (size_t)header.at[c] < fields.size() ? &fields[(size_t)header.at[c]] : &NONE;
    }
    RowText text = {*cell[COLUMN_MAC], *cell[COLUMN_IP], *cell[COLUMN_GATEWAY], *cell[COLUMN_MASK]};
    std::vector<RowFault> faults;
    checkRow(checker, line, text, row, &faults);
    const std::string* extra = NULL;   // the first filled field beyond the header's
    for (size_t k = header.fields; k < fields.size() && extra == NULL; ++k) {
        extra = fields[k].empty() ? NULL : &fields[k];
    }
    for (const RowFault& f : faults) {
        if ((f.problem == ROW_MAC_TWICE || f.problem == ROW_IP_TWICE) && extra != NULL) {
            errors->push_back({line, PLAN_FIELD_COUNT, *extra, (int)header.fields, RowFault()});
            extra = NULL;
        }
        errors->push_back({line, PLAN_ROW, "", 0, f});
    }
    if (extra != NULL) {
        errors->push_back({line, PLAN_FIELD_COUNT, *extra, (int)header.fields, RowFault()});
    }
}

static bool allEmpty(const std::vector<std::string>& fields)
{
    for (const std::string& field : fields) {
        if (!field.empty()) {
            return false;
        }
    }
    return true;
}

static bool startsWith(const std::string& text, const char* start, size_t size)
{
    return text.compare(0, size, start, size) == 0;
}

// The line of text at its end, the first being 1.
static int lineAtEnd(const std::string& text)
{
    int line = 1;
    for (size_t at = 0; at < text.size(); ++at) {
        size_t lineEnd = lineBreak(text, at);
        line += lineEnd > 0 ? 1 : 0;
        at += lineEnd > 1 ? 1 : 0;
    }
    return line;
}

// UTF-16 after its byte-order mark as UTF-8 into *text; false, with the error, when it is broken.
static bool fromUtf16(const std::string& bytes, bool bigEndian, std::string* text, std::vector<PlanError>* errors)
{
    text->clear();
    size_t at = 2;
    auto unit = [&bytes, bigEndian](size_t i) {
        unsigned char first = (unsigned char)bytes[i];
        unsigned char second = (unsigned char)bytes[i + 1];
        return bigEndian ? (unsigned long)first << 8 | second : (unsigned long)second << 8 | first;
    };
    for (; at + 1 < bytes.size(); at += 2) {
        unsigned long code = unit(at);
        if (code >= 0xD800 && code <= 0xDBFF && at + 3 < bytes.size() && unit(at + 2) >= 0xDC00 &&
            unit(at + 2) <= 0xDFFF) {
            code = 0x10000 + ((code - 0xD800) << 10 | (unit(at + 2) - 0xDC00));
            at += 2;
        } else if (code >= 0xD800 && code <= 0xDFFF) {
            errors->push_back({lineAtEnd(*text), PLAN_UTF16_SURROGATE, "", 0, RowFault()});
            return false;
        }
        char utf8[4];
        text->append(utf8, (size_t)encodeUtf8(code, utf8));
    }
    if (at < bytes.size()) {
        errors->push_back({lineAtEnd(*text), PLAN_UTF16_ODD, "", 0, RowFault()});
        return false;
    }
    return true;
}

// The plan's bytes as UTF-8 text (the UTF-8 byte-order mark left for the reader to skip); false,
// with the error, for an encoding that can't be read.
static bool planText(const std::string& bytes, std::string* text, std::vector<PlanError>* errors)
{
    if (startsWith(bytes, UTF32_LE_BOM, sizeof UTF32_LE_BOM) || startsWith(bytes, UTF32_BE_BOM, sizeof UTF32_BE_BOM) ||
        (bytes.size() >= 4 && bytes[1] == '\0' && bytes[2] == '\0' && (bytes[0] == '\0') != (bytes[3] == '\0'))) {
        errors->push_back({1, PLAN_UTF32, "", 0, RowFault()});
        return false;
    }
    if (startsWith(bytes, UTF16_LE_BOM, 2) || startsWith(bytes, UTF16_BE_BOM, 2)) {
        return fromUtf16(bytes, bytes[0] == UTF16_BE_BOM[0], text, errors);
    }
    // A plan starts with text: a zero beside its first character is UTF-16 of unknown order.
    if (bytes.size() >= 2 && (bytes[0] == '\0') != (bytes[1] == '\0')) {
        errors->push_back({1, PLAN_UTF16_NO_BOM, "", 0, RowFault()});
        return false;
    }
    *text = bytes;
    return true;
}

bool readPlan(const std::string& bytes, std::vector<PlanRow>* rows, std::vector<PlanError>* errors)
{
    rows->clear();
    errors->clear();
    std::string text;
    if (!planText(bytes, &text, errors)) {
        return false;
    }
    RowChecker checker;
    PlanHeader header = PlanHeader();
    bool headerSeen = false;
    int line = 1;
    size_t at = text.compare(0, sizeof BOM - 1, BOM) == 0 ? sizeof BOM - 1 : 0;
    while (at < text.size()) {
        size_t first = at;
        while (first < text.size() && (text[first] == ' ' || text[first] == '\t')) {
            ++first;
        }
        if (first == text.size() || lineBreak(text, first) > 0 || text[first] == '#') {
            while (at < text.size() && lineBreak(text, at) == 0) {
                ++at;
            }
            size_t lineEnd = lineBreak(text, at);
            line += lineEnd > 0 ? 1 : 0;
            at += lineEnd;
            continue;
        }
        if (!headerSeen) {
            headerSeen = true;
            if (!readHeader(text, &at, &line, &header, errors)) {
                break;
            }
            continue;
        }
        int rowLine = line;
        std::vector<std::string> fields;
        RecordEnd end = readRecord(text, header.separator, &at, &line, &fields);
        if (end != RECORD_OK) {
            errors->push_back(
                {rowLine, end == RECORD_OPEN_QUOTE ? PLAN_OPEN_QUOTE : PLAN_BAD_QUOTE, "", 0, RowFault()});
            continue;
        }
        if (allEmpty(fields)) {
            continue;   // a spreadsheet's empty row
        }
        PlanRow row;
        readRow(checker, rowLine, header, fields, &row, errors);
        rows->push_back(row);
    }
    int lastLine = text.empty() || lineBreak(text, text.size() - 1) == 0 ? line : line - 1;
    if (!headerSeen) {
        errors->push_back({lastLine, PLAN_NO_HEADER, "", 0, RowFault()});
    } else if (rows->empty() && errors->empty()) {
        errors->push_back({lastLine, PLAN_NO_ROWS, "", 0, RowFault()});
    }
    if (!errors->empty()) {
        rows->clear();
    }
    return errors->empty();
}
PlanFileResult readPlanStream(FILE* file, std::string* text, int* error)
{
    text->clear();
    char chunk[4096];
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, file)) > 0) {
        if (text->size() + got > PLAN_MAX_BYTES) {
            text->clear();
            return PLAN_FILE_TOO_LARGE;
        }
        text->append(chunk, got);
    }
    bool readFailed = ferror(file) != 0;
    *error = errno;
    return readFailed ? PLAN_FILE_CANT_READ : PLAN_FILE_READ;
}

PlanFileResult readPlanFile(const std::string& path, std::string* text, int* error)
{
    text->clear();
    FILE* file = fopen(path.c_str(), "rb");
    if (file == NULL) {
        *error = errno;
        return PLAN_FILE_CANT_OPEN;
    }
    PlanFileResult result = readPlanStream(file, text, error);
    fclose(file);
    return result;
}
