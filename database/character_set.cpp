#include "database/character_set.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace cvx::database {
namespace {

struct CodePageCharacterSet {
    unsigned code_page;
    const char* name;
};

constexpr CodePageCharacterSet kCodePages[] = {
    {1252, "latin1"}, {1250, "cp1250"}, {1251, "cp1251"}, {1253, "greek"},  {1254, "latin5"},
    {1255, "hebrew"}, {1256, "cp1256"}, {1257, "cp1257"}, {874, "tis620"},  {932, "cp932"},
    {936, "gbk"},     {949, "euckr"},   {950, "big5"},    {65001, "utf8mb4"},
};

}  // namespace

const char* character_set_of_code_page(unsigned code_page) {
    for (const CodePageCharacterSet& c : kCodePages) {
        if (c.code_page == code_page) return c.name;
    }
    return nullptr;
}

const char* code_page_character_set() {
#if defined(_WIN32)
    return character_set_of_code_page(GetACP());
#else
    return nullptr;
#endif
}

}  // namespace cvx::database
