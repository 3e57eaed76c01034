#include "commission/undo.h"

#include <cerrno>
#include <cstdio>

#include "platform/platform.h"

static std::string undoRow(const Outcome& o)
{
    char text[80];
    const Response& r = o.before;
    (void)snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x,%u.%u.%u.%u,%u.%u.%u.%u,%u.%u.%u.%u\n", o.mac[0],
                   o.mac[1], o.mac[2], o.mac[3], o.mac[4], o.mac[5], r.ip[0], r.ip[1], r.ip[2], r.ip[3], r.gateway[0],
                   r.gateway[1], r.gateway[2], r.gateway[3], r.mask[0], r.mask[1], r.mask[2], r.mask[3]);
    return text;
}

static std::string temporaryOf(const std::string& path)
{
    return path + ".tmp";
}

bool canWriteUndoFile(const std::string& path, int* error)
{
    std::string temporary = temporaryOf(path);
    FILE* before = fopen(temporary.c_str(), "rb");
    bool existed = before != NULL || errno != ENOENT;
    if (before != NULL) {
        fclose(before);
    }
    FILE* file = fopen(temporary.c_str(), "ab");
    if (file == NULL) {
        *error = errno;
        return false;
    }
    fclose(file);
    if (!existed) {
        (void)remove(temporary.c_str());
    }
    return true;
}

std::string undoPlan(const std::vector<Outcome>& outcomes, const std::vector<size_t>& sent)
{
    std::string text = "mac,ip,gateway,mask\n";
    for (size_t i : sent) {
        text += undoRow(outcomes[i]);
    }
    return text;
}

bool writeUndoFile(const std::string& path, const std::vector<Outcome>& outcomes, const std::vector<size_t>& sent,
                   int* error)
{
    std::string text = undoPlan(outcomes, sent);
    std::string temporary = temporaryOf(path);
    FILE* file = fopen(temporary.c_str(), "wb");
    if (file == NULL) {
        *error = errno;
        return false;
    }
    bool written = fwrite(text.data(), 1, text.size(), file) == text.size() && fflush(file) == 0 && commitFile(file);
    *error = errno;
    if (fclose(file) != 0 && written) {
        written = false;
        *error = errno;
    }
    if (written && !replaceFile(temporary.c_str(), path.c_str())) {
        written = false;
        *error = errno;
    }
    if (!written) {
        (void)remove(temporary.c_str());
    }
    return written;
}
