// The library as a loaded module: its exports' calling convention, and its
// entry and process-wide objects across unload, reload and threads.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <thread>

#include "tests/library.h"
#include "tools/export_table.h"
#include "tools/fake_engine.h"

namespace cvx {
namespace {

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
    for (int i = 0; i < export_count(); ++i) {
        const ExportInfo& e = export_table()[i];
        if (!e.landed) continue;
        const AnyExport fn = test::library().symbol(e.name);
        ASSERT_NE(fn, nullptr) << e.name;
        Word words[5] = {0, 0, 0, 0, 0};
        // The binding entry is only ever given the engine's table.
        if (std::strcmp(e.name, "A6_DLLAPI") == 0) words[0] = engine_table();
#if defined(__i386__)
        std::int32_t popped = -1;
        call_measuring_stack(fn, words, popped);
        EXPECT_EQ(popped, 0) << e.name << " removed its own arguments";
#else
        call_export(fn, words, static_cast<int>(std::strlen(e.args)));
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
