// The page's files, built into the program (generated from web/page/ at build time).
#pragma once

#include <cstddef>

struct PageFile {
    const char* path;   // as requested, e.g. "/page.js"
    const char* type;   // Content-Type
    const unsigned char* data;
    size_t size;
};

extern const PageFile PAGE_FILES[];
extern const size_t PAGE_FILE_COUNT;
