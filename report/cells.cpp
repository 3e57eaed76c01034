#include "report/cells.h"

#include <cstring>

#include "protocol/utf8.h"
#include "report/device_text.h"
#include "report/fields.h"

std::string ipv4Text(const unsigned char* a)
{
    char text[IPV4_TEXT_LEN];
    formatIpv4(text, a);
    return text;
}

std::string macText(const unsigned char* m)
{
    char text[MAC_TEXT_LEN];
    formatMac(text, m);
    return text;
}

std::string counted(long count, const char* one, const char* many)
{
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

std::string safeNodeName(const Response& r)
{
    char safe[NODE_NAME_LEN + 1] = "";
    (void)appendSafeText(safe, sizeof safe, r.nodeName, strlen((const char*)r.nodeName));
    return safe;
}

std::string validUtf8(const std::string& text)
{
    if (isUtf8(text.data(), text.size())) {
        return text;
    }
    const unsigned char* bytes = (const unsigned char*)text.data();
    std::string valid;
    for (size_t at = 0; at < text.size();) {
        unsigned long code = 0;
        int length = decodeUtf8(bytes + at, text.size() - at, &code);
        if (length > 0) {
            valid.append(text, at, (size_t)length);
        } else {
            valid.append("\xef\xbf\xbd");
        }
        at += length > 0 ? (size_t)length : 1;
    }
    return valid;
}

std::string shownText(const std::string& text)
{
    char safe[QUOTED_CHARS * 4 + 1] = "";   // a character is at most four bytes
    size_t size = text.size() < sizeof safe - 1 ? text.size() : sizeof safe - 1;
    size_t taken = appendSafeText(safe, sizeof safe, (const unsigned char*)text.data(), size, QUOTED_CHARS);
    return validUtf8(safe) + (taken < text.size() ? "..." : "");
}

std::string quoted(const std::string& text)
{
    return "'" + shownText(text) + "'";
}
