// The plug-in frame: the conversions every export uses, at the edges where
// shifting goes wrong; the exports' calling convention; and the library as a
// loaded module across unload, reload and threads. (Texts read within their
// capacity and the one checked copy are checked through every string export
// in tests/strings.)
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>

#include "host/script_string.h"
#include "host/script_value.h"
#include "tests/library.h"
#include "tools/export_table.h"
#include "tools/fake_engine.h"

namespace cvx {
namespace {

// A number argument arrives sign-extended; the low 32 bits are its raw value.
constexpr Word arg(std::int32_t raw_value) { return raw_result(raw_value); }

// (Characters, floats, and whole at -1.5 and at the bottom of the range are
// also written out through the file exports.)
TEST(Conversions, AtTheEdges) {
    // whole rounds toward minus infinity
    EXPECT_EQ(whole(arg(1024)), 1);
    EXPECT_EQ(whole(arg(1023)), 0);
    EXPECT_EQ(whole(arg(-1)), -1);
    EXPECT_EQ(whole(arg(INT_MAX)), 2097151);
    // A 64-bit word with junk above the raw value reads as that raw value.
    const Word junk = static_cast<Word>(static_cast<std::uintptr_t>(0x5000) << 16 << 16);
    EXPECT_EQ(raw(junk | 300), sizeof(Word) == 8 ? 300 : raw(junk | 300));
    EXPECT_EQ(raw(arg(-1)), -1);
    EXPECT_EQ(raw_unsigned(arg(-1)), 0xFFFFFFFFu);
    // scaled wraps without a range check
    EXPECT_EQ(scaled(-1), -1024);
    EXPECT_EQ(scaled(2097151), 2147482624);
    EXPECT_EQ(scaled(2097152), raw_result(INT_MIN));
    EXPECT_EQ(scaled(-2097153), raw_result(2147482624));
    EXPECT_EQ(to_float(arg(-1536)), -1.5f);
}

// An offset near the top of size_t must not wrap round into the buffer.
TEST(ScriptStrings, PutRefusesOffsetsPastTheCapacity) {
    GuardedString s(6);
    s.fill('.');
    EXPECT_FALSE(put(destination_arg(s.rec()), 6, "", 0));  // no room even for the terminator
    EXPECT_FALSE(put(destination_arg(s.rec()), static_cast<std::size_t>(-1), "a", 1));
    EXPECT_TRUE(s.intact() && s.bytes() == "......");
}

Word engine_table() { return reinterpret_cast<Word>(&fake_engine().table); }

#if defined(__i386__)
// Calls fn with five words pushed on a 16-byte aligned stack, as the engine
// calls an export, and reports how many bytes of arguments the callee took
// off the stack: none when the caller cleans up (cdecl), four per argument
// when the export was declared callee-cleans (stdcall).
Word call_measuring_stack(AnyExport fn, const Word (&words)[5], std::int32_t& popped) {
    Word result;
    std::uint32_t saved;
    std::uint32_t left;
    const Word* args = words;
    asm volatile(
        "movl %%esp, %[saved]\n\t"
        "andl $-16, %%esp\n\t"
        "subl $12, %%esp\n\t"
        "pushl 16(%[args])\n\t"
        "pushl 12(%[args])\n\t"
        "pushl 8(%[args])\n\t"
        "pushl 4(%[args])\n\t"
        "pushl (%[args])\n\t"
        "movl %%esp, %[left]\n\t"
        "call *%[fn]\n\t"
        "subl %%esp, %[left]\n\t"
        "movl %[saved], %%esp\n\t"
        : "=a"(result), [saved] "=&S"(saved), [left] "=&D"(left), [args] "+c"(args)
        : [fn] "b"(fn)
        : "edx", "memory", "cc"
#if defined(__SSE__)
          , "xmm0", "xmm1", "xmm2", "xmm3", "xmm4", "xmm5", "xmm6", "xmm7"
#endif
    );
    popped = -static_cast<std::int32_t>(left);
    return result;
}
#endif

// Zero words are what a script passes as null strings, null storage and the
// number 0; every export must come back from them. On the 32-bit platform
// this also proves that no export removes its own arguments from the stack.
TEST(ExportConvention, EveryExportReturnsFromZeroWordsAndLeavesTheStackToTheCaller) {
    int checked = 0;
    for (const ExportInfo* e : landed_exports()) {
        const AnyExport fn = test::library().symbol(e->name);
        ASSERT_NE(fn, nullptr) << e->name;
        Word words[5] = {0, 0, 0, 0, 0};
        // The binding entry is only ever given the engine's table.
        if (std::strcmp(e->name, "A6_DLLAPI") == 0) words[0] = engine_table();
#if defined(__i386__)
        std::int32_t popped = -1;
        call_measuring_stack(fn, words, popped);
        EXPECT_EQ(popped, 0) << e->name << " removed its own arguments";
#else
        call_export(fn, words, static_cast<int>(std::strlen(e->args)));
#endif
        ++checked;
    }
    EXPECT_GT(checked, 0);
}

// The module entry accepts thread attach and detach, and the library's
// process-wide objects survive unloading and loading again. The exported
// binding looks up every engine name and answers raw 630.
TEST(ModuleEntry, UnloadsAndLoadsAgainWithThreadsComingAndGoing) {
    fake_engine().reset();
    ASSERT_EQ(test::call("A6_DLLAPI", engine_table()), 630);
    EXPECT_EQ(fake_engine().name_lookups, 244);
    Word from_thread = 0;
    std::thread([&] { from_thread = test::call("A6_DLLAPI", engine_table()); }).join();
    EXPECT_EQ(from_thread, 630);

    LoadedLibrary& library = test::library();
    library.close();
    ASSERT_TRUE(library.open(CVX_LIBRARY_PATH)) << library.error();
    EXPECT_EQ(test::call("A6_DLLAPI", engine_table()), 630);
}

}  // namespace
}  // namespace cvx
