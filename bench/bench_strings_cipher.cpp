// String cases against the libc calls on the same texts (the capacity
// checks stay on our side), and the cipher against OpenSSL's Blowfish with
// the same 4-byte key: the whole entry (key schedule and CBC) at several
// buffer sizes, and the key schedule alone.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/blowfish.h>

#include <cctype>
#include <cstring>
#include <string>

#include "bench/bench_support.h"
#include "cipher/blowfish.h"

namespace cvx::bench {
namespace {


const Export strcpyc("strcpyc"), strcatc("strcatc"), strcmpc("strcmpc"), strstrc("strstrc"), struprc("struprc"),
    bf_encrypt("bf_encrypt");

std::string text_of_length(std::size_t n) {
    std::string t;
    for (std::size_t i = 0; i < n; ++i) t += static_cast<char>('a' + i % 23);
    return t;
}

struct Texts {
    explicit Texts(std::size_t n)
        : plain(text_of_length(n)),
          source(static_cast<std::uint32_t>(n + 1), plain),
          other(static_cast<std::uint32_t>(n + 1), plain),
          needle(16, plain.substr(n - 8 < n ? n - 8 : 0)),
          destination(static_cast<std::uint32_t>(2 * n + 2)),
          raw_destination(2 * n + 2, '\0') {}
    std::string plain;
    GuardedString source, other, needle, destination;
    std::string raw_destination;
};

Texts& texts(std::size_t n) {
    static Texts short_texts(16), long_texts(4096);
    return n == 16 ? short_texts : long_texts;
}

// strcmp called directly on the texts of length n: the baseline of strcmpc
// and of its floor.
Body strcmp_of(std::size_t n) {
    return [n](benchmark::State& s) {
        Texts& t = texts(n);
        for (auto _ : s) benchmark::DoNotOptimize(std::strcmp(t.source.chars(), t.other.chars()));
    };
}

void string_cases(std::size_t n) {
    const std::string size = n == 16 ? "16B" : "4KiB";
    Pair("strings/strcpyc_" + size, 1.10,
         [n](benchmark::State& s) {
             Texts& t = texts(n);
             for (auto _ : s) benchmark::DoNotOptimize(strcpyc(t.source, t.destination));
         },
         [n](benchmark::State& s) {
             Texts& t = texts(n);
             for (auto _ : s) benchmark::DoNotOptimize(std::strcpy(t.raw_destination.data(), t.source.chars()));
         });
    Pair("strings/strcatc_" + size, 1.10,
         [n](benchmark::State& s) {
             Texts& t = texts(n);
             for (auto _ : s) {
                 t.destination.chars()[0] = 0;
                 benchmark::DoNotOptimize(strcatc(t.source, t.destination));
                 benchmark::DoNotOptimize(strcatc(t.other, t.destination));
             }
         },
         [n](benchmark::State& s) {
             Texts& t = texts(n);
             for (auto _ : s) {
                 t.raw_destination[0] = 0;
                 benchmark::DoNotOptimize(std::strcat(t.raw_destination.data(), t.source.chars()));
                 benchmark::DoNotOptimize(std::strcat(t.raw_destination.data(), t.other.chars()));
             }
         });
    Pair("strings/strcmpc_" + size, 1.10,
         [n](benchmark::State& s) {
             Texts& t = texts(n);
             for (auto _ : s) benchmark::DoNotOptimize(strcmpc(t.source, t.other));
         },
         strcmp_of(n));
    if (n == 16) {
        // The floor under strcmpc: the same call into a library, doing nothing
        // but strcmp (bench/call_floor.cpp).
        Pair("strings/strcmp_called_" + size, 1.10,
             [](benchmark::State& s) {
                 static const LoadedLibrary floor(CVX_CALL_FLOOR_PATH);
                 static const auto forward = floor.get<Word (*)(Word, Word)>("forward_strcmp");
                 Texts& t = texts(16);
                 for (auto _ : s) benchmark::DoNotOptimize(forward(t.source.word(), t.other.word()));
             },
             strcmp_of(16));
    }
    Pair("strings/strstrc_" + size, 1.10,
         [n](benchmark::State& s) {
             Texts& t = texts(n);
             for (auto _ : s) benchmark::DoNotOptimize(strstrc(t.source, t.needle, t.destination));
         },
         [n](benchmark::State& s) {
             Texts& t = texts(n);
             for (auto _ : s) {
                 const char* hit = std::strstr(t.source.chars(), t.needle.chars());
                 benchmark::DoNotOptimize(std::strcpy(t.raw_destination.data(), hit));
             }
         });
    // No libc call changes case in place: the baseline is the usual toupper
    // loop and a strcpy, the same work.
    Pair("strings/struprc_" + size, 1.10,
         [n](benchmark::State& s) {
             Texts& t = texts(n);
             for (auto _ : s) benchmark::DoNotOptimize(struprc(t.source, t.destination));
         },
         [n](benchmark::State& s) {
             Texts& t = texts(n);
             for (auto _ : s) {
                 for (char* p = t.source.chars(); *p; ++p) *p = static_cast<char>(std::toupper(static_cast<unsigned char>(*p)));
                 benchmark::DoNotOptimize(std::strcpy(t.raw_destination.data(), t.source.chars()));
             }
         });
}

const unsigned char kKey[4] = {'k', '3', 'y', '!'};

void cipher_case(std::size_t n) {
    Pair("cipher/bf_encrypt_" + std::to_string(n) + "B", 1.0,
         [n](benchmark::State& s) {
             GuardedString data(static_cast<std::uint32_t>(n + 1), text_of_length(n));
             GuardedString key(5, "k3y!");
             for (auto _ : s) benchmark::DoNotOptimize(bf_encrypt(data, key));
             s.SetBytesProcessed(static_cast<std::int64_t>(s.iterations() * n));
         },
         [n](benchmark::State& s) {
             std::string data = text_of_length(n);
             for (auto _ : s) {
                 BF_KEY schedule;
                 BF_set_key(&schedule, 4, kKey);
                 unsigned char iv[8] = {};
                 auto* p = reinterpret_cast<unsigned char*>(data.data());
                 BF_cbc_encrypt(p, p, static_cast<long>(n), &schedule, iv, BF_ENCRYPT);
                 benchmark::DoNotOptimize(data.data());
             }
             s.SetBytesProcessed(static_cast<std::int64_t>(s.iterations() * n));
         });
}

const int registered = [] {
    string_cases(16);
    string_cases(4096);
    for (std::size_t n : {8, 64, 1024, 65536}) cipher_case(n);
    Pair("cipher/key_schedule", 1.0,
         [](benchmark::State& s) {
             for (auto _ : s) {
                 cipher::BlowfishCipher c(kKey, 4, {});
                 benchmark::DoNotOptimize(c);
             }
         },
         [](benchmark::State& s) {
             for (auto _ : s) {
                 BF_KEY schedule;
                 BF_set_key(&schedule, 4, kKey);
                 benchmark::DoNotOptimize(schedule.P);
             }
         });
    return 0;
}();

}  // namespace
}  // namespace cvx::bench
