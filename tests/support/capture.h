// Runs a printing function on a memory stream and returns what it printed.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

template <typename Fn>
std::string capture(Fn print)
{
    char* data = nullptr;
    size_t size = 0;
    FILE* out = open_memstream(&data, &size);
    print(out);
    fclose(out);
    std::string text(data, size);
    free(data);
    return text;
}
