#include "report/input_text.h"

#include <cstring>

#include "commission/limits.h"
#include "report/cells.h"

static const char ADDRESS_FORM[] = "four decimal numbers 0 to 255, no leading zeros";
static const char MAC_FORM[] = "six hex pairs joined by ':', '.' or '-', or twelve hex digits";

// An encoding the plan reader can't read, and how to get one it reads.
static std::string unreadable(const std::string& what)
{
    return what + "; save it with Save As, choosing CSV UTF-8 (or Unicode text)";
}

static const char* fieldName(RowField field)
{
    switch (field) {
    case ROW_MAC:
        return "MAC address";
    case ROW_IP:
        return "IP address";
    case ROW_GATEWAY:
        return "gateway";
    case ROW_MASK:
    case ROW_FIELDS:
        break;
    }
    return "mask";
}

// Where the first of two rows is, as the frame counts them.
static std::string firstAt(int first, Frame frame)
{
    if (frame == FRAME_PAGE) {
        return " (first in row " + std::to_string(first) + ")";
    }
    return frame == FRAME_PLAN ? " (first on line " + std::to_string(first) + ")" : "";
}

std::string rowFaultText(const RowFault& f, Frame frame)
{
    std::string field = fieldName(f.field);
    switch (f.problem) {
    case ROW_NO_MAC:
        return "the MAC address is missing";
    case ROW_BAD_MAC:
        return "bad MAC address " + quoted(f.text) + ": " + MAC_FORM;
    case ROW_BAD_ADDRESS:
        return "bad " + field + " " + quoted(f.text) + ": " + ADDRESS_FORM;
    case ROW_NOT_UTF8:
        if (frame == FRAME_PLAN) {
            return unreadable("the " + field + " is not UTF-8 (the plan is in another encoding)");
        }
        return "the " + field + " is not UTF-8";
    case ROW_MAC_TWICE:
    case ROW_IP_TWICE:
        return (f.problem == ROW_MAC_TWICE ? "MAC " : "IP address ") + quoted(f.text) + " is given twice" +
               firstAt(f.first, frame);
    }
    return "";
}

std::string planErrorText(const PlanError& e)
{
    switch (e.problem) {
    case PLAN_NO_HEADER:
        return "no header line (a mac column, and any of ip, gateway, mask)";
    case PLAN_BAD_HEADER:
        return "the header needs a mac column (found " + quoted(e.field) + ")";
    case PLAN_COLUMN_TWICE:
        return "the header has the column " + quoted(e.field) + " twice";
    case PLAN_NO_ROWS:
        return "no controller rows";
    case PLAN_FIELD_COUNT:
        return "more fields than the header's " + std::to_string(e.count) + " (found " + quoted(e.field) + ")";
    case PLAN_OPEN_QUOTE:
        return "a quoted field is not closed before the end of the file";
    case PLAN_BAD_QUOTE:
        return "text after the closing quote of a field";
    case PLAN_ROW:
        return rowFaultText(e.row, FRAME_PLAN);
    case PLAN_UTF32:
        return unreadable("the plan is UTF-32, which is not read");
    case PLAN_UTF16_NO_BOM:
        return unreadable("the plan is UTF-16 without a byte-order mark, which is not read");
    case PLAN_UTF16_ODD:
        return unreadable("the plan is UTF-16 but ends in half a character (an odd number of bytes)");
    case PLAN_UTF16_SURROGATE:
        return unreadable("the plan is UTF-16 but holds half of a surrogate pair");
    }
    return "";
}

std::string planFileText(PlanFileResult result, const std::string& name, int error)
{
    switch (result) {
    case PLAN_FILE_TOO_LARGE:
        return "the plan " + name + " is larger than " + std::to_string(PLAN_MAX_BYTES) + " bytes; nothing sent";
    case PLAN_FILE_CANT_OPEN:
    case PLAN_FILE_CANT_READ:
        return std::string("can't ") + (result == PLAN_FILE_CANT_OPEN ? "open" : "read") + " the plan " + name + ": " +
               strerror(error);
    case PLAN_FILE_READ:
        break;
    }
    return "";
}

std::string planErrorsText(size_t count)
{
    return std::to_string(count) + " error" + (count == 1 ? "" : "s") + " in the plan; nothing sent";
}

std::string replacementText(ReplacementValues values, const std::string& where, const unsigned char* oldMac)
{
    switch (values) {
    case VALUES_NO_ROW:
        return where + " has no row for " + macText(oldMac) + "; nothing sent";
    case VALUES_NO_IP:
        return "the row for " + macText(oldMac) + " in " + where + " gives no IP; nothing sent";
    case VALUES_FOUND:
        break;
    }
    return "";
}

std::string secondsRangeText(bool zeroAllowed)
{
    char text[64];
    (void)snprintf(text, sizeof text, "seconds, %s %g", zeroAllowed ? "0 to" : "above 0 up to", MAX_SECONDS);
    return text;
}
