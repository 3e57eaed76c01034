#include "app/options.h"

#include <errno.h>

#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "protocol/address.h"

static const char* const ILLEGAL = "Illegal parameter!!!\n";

static const char* const USAGE =
    "Illegal parameter!!!\nPlease type option\n\n-T and the value in terms of seconds (Default value is 5 seconds) "
    "to change the Timeout value.\n\n-R to read the values from each controllers. Additionally you can type\n\n"
    "\t-F and file name to save the response to a file.\n\n\t-T and the value in terms of seconds (Default value "
    "is 5 seconds) to change the Timeout value\n\n-W to set IP-address, Mask or Gateway values and after that type "
    "\n\n\t-I to set the IP address or \n\t-M to set the Mask or \n\t-G to set the Gateway\n\n\t-F and file name "
    "to save the response to a file.\n\n\t-T and the value in terms of seconds (Default value is 5 seconds) to "
    "change the Timeout value\n";
static const char* const NO_MODE = "Illegal parameter!!!\nPlease type option\n\nT, R, W\n";
static const char* const NO_TIMEOUT =
    "Illegal parameter!!!\nAfter -T you have to specify the Timeout value in terms of seconds\n";
static const char* const NO_FILE = "Illegal parameter!!!\nAfter -F you have to specify the file name\n";
static const char* const ZERO_TIMEOUT = "Illegal parameter!!!\nAfter -T you have to type a number\n";
static const char* const READ_NOT_OPTION = "Illegal parameter!!!\n\nType -T, -F or nothing.\n";
static const char* const READ_BAD_LETTER = "Illegal parameter!!!\nAfter - you have to choose the option T or F\n";
static const char* const WRITE_NOTHING =
    "Illegal parameter!!!\nAfter -W you have to specify what you want set \n\t-I to set the IP address or "
    "\n\t-M to set the Mask or \n\t-G to set the Gateway\n\n\n\t-F and file name to save the response to a "
    "file.\n\n\t-T and the value in terms of seconds (Default value is 5 seconds) to change the Timeout value\n";
static const char* const WRITE_NOT_OPTION =
    "Illegal parameter!!!\nAfter -W Type one of these options: -I, -G, -M, -F, -T\n";
static const char* const WRITE_BAD_LETTER = "Illegal parameter!!!\nAfter - type I, G, M, F, T\n";
static const char* const NO_IP = "Illegal parameter!!!\nAfter -I you have to specify the new IP address to set.\n";
static const char* const NO_GATEWAY =
    "Illegal parameter!!!\nAfter -G you have to specify the new Gateway address to set.\n";
static const char* const NO_MASK = "Illegal parameter!!!\nAfter -M you have to specify the new Mask address to set.\n";

// Decimal seconds as strtol reads them, clamped to the signed 32-bit range.
static long convertSeconds(const char* text)
{
    long value = strtol(text, NULL, 10);   // saturates at the range of long
    if (value > INT_MAX) {
        return INT_MAX;
    }
    if (value < INT_MIN) {
        return INT_MIN;
    }
    return value;
}

static bool fail(FILE* out, const char* message)
{
    fprintf(out, "%s", message);
    return false;
}

// Creates or empties the file; a file that can't be opened is refused before anything is sent.
static bool openResponseFile(RunState& rs, const char* name, FILE* out)
{
    FILE* file = fopen(name, "w+");
    if (file == NULL) {
        fprintf(out, "%sThe file %s can not be opened: %s\n", ILLEGAL, name, strerror(errno));
        return false;
    }
    if (rs.fileOutput) {
        fclose(rs.file);   // a repeated -F: the earlier file stays, created and empty
    }
    // Larger than any record, so that a record goes out in one write when it is ended.
    (void)setvbuf(file, rs.fileBuffer, _IOFBF, sizeof rs.fileBuffer);
    rs.file = file;
    rs.fileName = name;
    rs.fileOutput = true;
    return true;
}

// A mistyped address would otherwise be sent as 255.255.255.255, or as another address.
static bool setAddress(RunState& rs, char letter, const char* text, int offset, FILE* out)
{
    if (!parseIpv4(text, rs.ulInet)) {
        fprintf(out, "%sAfter -%c the address %s is not valid.\n", ILLEGAL, letter, text);
        return false;
    }
    setSettingAddress(rs.bufferSetting, offset, rs.ulInet);
    return true;
}

static bool setIp(RunState& rs, const char* value, FILE* out)
{
    return setAddress(rs, 'I', value, SET_IP, out);
}

static bool setGateway(RunState& rs, const char* value, FILE* out)
{
    return setAddress(rs, 'G', value, SET_GATEWAY, out);
}

static bool setMask(RunState& rs, const char* value, FILE* out)
{
    return setAddress(rs, 'M', value, SET_MASK, out);
}

// In read mode a time-out of 0 is refused; in write mode it is taken.
static bool setTimeout(RunState& rs, const char* value, FILE* out)
{
    rs.t.tv_sec = convertSeconds(value);
    if (rs.t.tv_sec == 0 && !rs.writeMode) {
        return fail(out, ZERO_TIMEOUT);
    }
    return true;
}

static bool setFile(RunState& rs, const char* value, FILE* out)
{
    return openResponseFile(rs, value, out);
}

struct OptionPair {
    const char* missingValue;                             // message when the value is missing
    bool (*apply)(RunState&, const char* value, FILE*);   // prints its own message when false
    char letter;                                          // upper case; either case is taken
    bool afterRead;                                       // also allowed after -R
};

static const OptionPair PAIRS[] = {
    {NO_FILE, setFile, 'F', true},        {NO_TIMEOUT, setTimeout, 'T', true}, {NO_IP, setIp, 'I', false},
    {NO_GATEWAY, setGateway, 'G', false}, {NO_MASK, setMask, 'M', false},
};

// The option pairs after the mode, applied as they are read.
static bool readPairs(RunState& rs, int argc, char** argv, FILE* out)
{
    for (int i = 2; i < argc; i += 2) {
        const char* option = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : NULL;
        if (option[0] != '-') {
            return fail(out, rs.writeMode ? WRITE_NOT_OPTION : READ_NOT_OPTION);
        }
        char letter = (char)toupper((unsigned char)option[1]);
        const OptionPair* pair = NULL;
        for (const OptionPair& p : PAIRS) {
            if (p.letter == letter && (rs.writeMode || p.afterRead)) {
                pair = &p;
            }
        }
        if (pair == NULL) {
            return fail(out, rs.writeMode ? WRITE_BAD_LETTER : READ_BAD_LETTER);
        }
        if (value == NULL) {
            return fail(out, pair->missingValue);
        }
        if (!pair->apply(rs, value, out)) {
            return false;
        }
    }
    return true;
}

bool readOptions(RunState& rs, int argc, char** argv, FILE* out)
{
    const char* mode = argv[1];
    if (mode[0] != '-') {
        return fail(out, USAGE);
    }
    switch (mode[1]) {
    case 'R':
    case 'r':
        return readPairs(rs, argc, argv, out);
    case 'W':
    case 'w':
        if (argc < 3) {
            return fail(out, WRITE_NOTHING);
        }
        rs.writeMode = true;
        return readPairs(rs, argc, argv, out);
    case 'T':
    case 't':
        if (argc < 3) {
            return fail(out, NO_TIMEOUT);
        }
        rs.t.tv_sec = convertSeconds(argv[2]);
        return true;
    default:
        return fail(out, NO_MODE);
    }
}
