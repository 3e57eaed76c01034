#include "commission/rows.h"

#include <cstring>

#include "protocol/address.h"
#include "protocol/utf8.h"

// A zero byte would end the text early for the readers of protocol/address.h.
static bool readMac(const std::string& text, unsigned char* mac)
{
    return text.find('\0') == std::string::npos && parseMac(text.c_str(), mac);
}

static bool readAddress(const std::string& text, unsigned char* address)
{
    return text.find('\0') == std::string::npos && parseIpv4(text.c_str(), address);
}

static std::string key(const unsigned char* bytes, int length)
{
    return std::string((const char*)bytes, (size_t)length);
}

bool checkRow(RowChecker& checker, int place, const RowText& text, PlanRow* row, std::vector<RowFault>* faults)
{
    size_t before = faults->size();
    memset(row, 0, sizeof *row);
    row->line = place;
    const std::string* cells[ROW_FIELDS] = {&text.mac, &text.ip, &text.gateway, &text.mask};
    for (int f = 0; f < ROW_FIELDS; ++f) {
        if (!isUtf8(cells[f]->data(), cells[f]->size())) {
            faults->push_back({place, ROW_NOT_UTF8, (RowField)f, "", 0});
            return false;
        }
    }
    bool macOk = !text.mac.empty() && readMac(text.mac, row->mac);
    if (text.mac.empty()) {
        faults->push_back({place, ROW_NO_MAC, ROW_MAC, "", 0});
    } else if (!macOk) {
        faults->push_back({place, ROW_BAD_MAC, ROW_MAC, text.mac, 0});
    }
    const struct {
        RowField field;
        bool* set;
        unsigned char* address;
    } addresses[] = {
        {ROW_IP, &row->setIp, row->ip},
        {ROW_GATEWAY, &row->setGateway, row->gateway},
        {ROW_MASK, &row->setMask, row->mask},
    };
    for (const auto& a : addresses) {
        const std::string& cell = *cells[a.field];
        *a.set = !cell.empty();
        if (*a.set && !readAddress(cell, a.address)) {
            faults->push_back({place, ROW_BAD_ADDRESS, a.field, cell, 0});
            *a.set = false;
        }
    }
    if (macOk) {
        auto mac = checker.macs.emplace(key(row->mac, MAC_LEN), place);
        if (!mac.second) {
            faults->push_back({place, ROW_MAC_TWICE, ROW_MAC, text.mac, mac.first->second});
        }
    }
    if (row->setIp) {
        auto ip = checker.ips.emplace(key(row->ip, IPV4_LEN), place);
        if (!ip.second) {
            faults->push_back({place, ROW_IP_TWICE, ROW_IP, text.ip, ip.first->second});
        }
    }
    return faults->size() == before;
}
