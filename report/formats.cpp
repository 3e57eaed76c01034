#include "report/formats.h"

#include <nlohmann/json.hpp>

#include "report/cells.h"
#include "report/device_text.h"

const char BYTE_ORDER_MARK[] = "\xef\xbb\xbf";

static size_t width(const std::string& cell)
{
    return displayWidth(cell.data(), cell.size());
}

std::string columnsText(const std::vector<Row>& rows)
{
    std::vector<size_t> widths;
    for (const Row& row : rows) {
        widths.resize(row.size() > widths.size() ? row.size() : widths.size(), 0);
        for (size_t i = 0; i < row.size(); ++i) {
            widths[i] = width(row[i]) > widths[i] ? width(row[i]) : widths[i];
        }
    }
    std::string text;
    for (const Row& row : rows) {
        std::string line;
        for (size_t i = 0; i < row.size(); ++i) {
            line += row[i];
            if (i + 1 < row.size()) {
                line += std::string(widths[i] - width(row[i]) + 2, ' ');
            }
        }
        line.erase(line.find_last_not_of(' ') + 1);   // an empty last cell leaves no padding behind
        text += line + "\n";
    }
    return text;
}

static std::string csvField(const std::string& cell)
{
    std::string text = validUtf8(cell);
    if (text.find_first_of(",\"\r\n") == std::string::npos) {
        return text;
    }
    std::string quotedText = "\"";
    for (char c : text) {
        quotedText += c == '"' ? "\"\"" : std::string(1, c);
    }
    return quotedText + "\"";
}

std::string csvLine(const Row& row)
{
    std::string line;
    for (size_t i = 0; i < row.size(); ++i) {
        line += (i > 0 ? "," : "") + csvField(row[i]);
    }
    return line + "\r\n";
}

std::string notFormula(const std::string& text)
{
    return !text.empty() && std::string("=+-@").find(text[0]) != std::string::npos ? "'" + text : text;
}

std::string jsonText(const nlohmann::ordered_json& value, int indent)
{
    return value.dump(indent, ' ', true, nlohmann::ordered_json::error_handler_t::replace);
}
