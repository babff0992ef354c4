// The frame budget of the database exports: the longest single call (timed
// one by one with steady_clock) and the wall time of statements polled
// without pause and once a frame, of the first cell read after a large
// result, of the poll that replaces one, and of connection attempts through
// a link with a 50 ms round trip (scripts/delay-proxy, started here); the
// resident size of a large result held by the library against the client
// library's own stored result, each measured in a fresh process of this
// program. Needs the private server (scripts/bench --frame starts it).
//
//   cvx_frame_budget [--rows N]...   only the statements of N rows (no
//                                    connection attempts, no memory)
#include <algorithm>
#include <atomic>
#include <chrono>
#include <ctime>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>
#include <thread>
#include <vector>

#if defined(__linux__)
#include <mysql.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <fstream>
#endif

#include "tools/library_calls.h"

namespace {

using namespace cvx;
using Clock = std::chrono::steady_clock;

constexpr const char* kHost = "127.0.0.1";
constexpr const char* kUser = "cvx";
constexpr const char* kPassword = "cvx-secret";
constexpr const char* kDatabase = "cvx_frame";
constexpr auto kFrame = std::chrono::microseconds(16'667);
constexpr auto kGiveUp = std::chrono::seconds(300);  // bounds every poll loop
constexpr int kProxyPort = 3319;                     // 25 ms each way to 3306

const Export query("mysql__query"), start("mysql__query__start"), poll("mysql__query__poll"),
    result("mysql__result"), num_rows("mysql__num__rows"), data_seek("mysql__data__seek");

double us_since(Clock::time_point t) { return std::chrono::duration<double, std::micro>(Clock::now() - t).count(); }

// The processor time of this thread in µs: a call that took long on the
// clock but not here waited for the processor (other programs ran), not
// for its own work. With it, the times the thread gave up the processor of
// its own accord (it slept: on a socket, a lock, a timer) inside the call.
// Read only where asked: each costs about a microsecond (more under wine,
// whose threads are the kernel's own and read its account of them through
// drive Z:; on Windows itself there is none, and neither is read).
#if defined(_WIN32)
long long proc_field(const char* file, const char* key) {  // the number after `key` at a line's start
    FILE* f = std::fopen(file, "r");
    if (!f) return -1;
    long long value = -1;
    const std::size_t n = std::strlen(key);
    for (char line[128]; value < 0 && std::fgets(line, sizeof line, f);) {
        if (std::strncmp(line, key, n) == 0) std::sscanf(line + n, "%lld", &value);
    }
    std::fclose(f);
    return value;
}
double thread_cpu_us() { return static_cast<double>(proc_field("Z:\\proc\\thread-self\\schedstat", "")) / 1e3; }
long thread_sleeps() {
    return static_cast<long>(proc_field("Z:\\proc\\thread-self\\status", "voluntary_ctxt_switches:"));
}
const bool kCpuClock = proc_field("Z:\\proc\\thread-self\\schedstat", "") >= 0;
#else
constexpr bool kCpuClock = true;
double thread_cpu_us() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_nsec) / 1e3;
}
long thread_sleeps() {
    rusage u{};
    getrusage(RUSAGE_THREAD, &u);
    return u.ru_nvcsw;
}
#endif
bool with_cpu = false;  // whether timed() reads the thread's processor time too

// Script strings that live as long as the program.
Word text(const std::string& t) {
    static GuardedValues keep;
    return keep.text(t);
}

std::string statement_of(long rows) {
    return "SELECT seq AS id, seq*2 AS twice, CONCAT('row-',seq) AS label, REPEAT('x', seq%20) AS pad"
           " FROM seq_1_to_" + std::to_string(rows);
}

// One line of the table: calls of one kind over the repetitions of a case.
struct Line {
    std::string what;
    long calls = 0;
    double longest_us = 0;
    double longest_cpu_us = -1;  // of the calls timed with_cpu (-1: none was)
    long sleeps = 0;             // inside the calls timed with_cpu
    long over = 0;               // calls over 0.5 ms on the clock
    long over_cpu = 0;           // calls over 0.5 ms of processor time (of those timed with_cpu)
    std::vector<double> totals_ms;  // one per repetition
    std::string note;
    bool bounded = false;  // calls that must fit a frame's slice (0.5 ms)

    void add(double us, double cpu_us) {
        ++calls;
        over += us > 500;
        over_cpu += cpu_us > 500;
        longest_us = std::max(longest_us, us);
        longest_cpu_us = std::max(longest_cpu_us, cpu_us);  // (-1: not timed)
    }
    double total_ms() const {  // the median repetition
        if (totals_ms.empty()) return 0;
        std::vector<double> t = totals_ms;
        std::sort(t.begin(), t.end());
        return t[t.size() / 2];
    }
};
std::deque<Line> table;  // (references to its lines stay valid)

Line& line(const std::string& what, bool bounded = false) {
    table.emplace_back().what = what;
    table.back().bounded = bounded;
    return table.back();
}

// Calls f, timed, into `l`.
template <typename F>
Word timed(Line& l, F f) {
    const bool cpu_timed = with_cpu && kCpuClock;
    const long sleeps = cpu_timed ? thread_sleeps() : 0;
    const double cpu = cpu_timed ? thread_cpu_us() : 0;
    const auto before = Clock::now();
    const Word r = f();
    const double us = us_since(before);
    l.add(us, cpu_timed ? thread_cpu_us() - cpu : -1);
    if (cpu_timed) l.sleeps += thread_sleeps() - sleeps;
    return r;
}

// The machine's own share, timed beside each poll once a frame: fixed
// arithmetic that takes about one poll's slice (200 µs) on a quiet
// processor, and pages never used before written once (as many as a poll of
// a large result fills with rows). What they take beyond their usual time
// the machine added (another guest on the host, interrupts, a page that
// the host hands back late), and a poll can lose as much.
volatile std::uint64_t arithmetic_sink;
void spin(long steps) {
    std::uint64_t x = 1;
    for (long i = 0; i < steps; ++i) x = x * 6364136223846793005u + 1442695040888963407u;
    arithmetic_sink = x;
}
long arithmetic_steps = 0;  // for 200 µs: set by calibrate_arithmetic()
void calibrate_arithmetic() {  // the fastest of 20 tries, scaled to 200 µs
    const long n = 1 << 16;
    double best = 1e9;
    for (int i = 0; i < 20; ++i) {
        const auto t = Clock::now();
        spin(n);
        best = std::min(best, us_since(t));
    }
    arithmetic_steps = static_cast<long>(static_cast<double>(n) * 200 / best);
}
Word arithmetic() {
    spin(arithmetic_steps);
    return 0;
}
#if defined(__linux__)
constexpr std::size_t kFreshBytes = 96 * 1024;  // a poll of 2,000,000 rows stores about 85 KiB
// A mapping of kFreshBytes with each page written once, timed into `l`;
// given back after.
void fresh_pages(Line& l) {
    void* pages = MAP_FAILED;
    timed(l, [&] {
        pages = mmap(nullptr, kFreshBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        for (std::size_t i = 0; pages != MAP_FAILED && i < kFreshBytes; i += 4096) {
            static_cast<volatile char*>(pages)[i] = 1;
        }
        return Word{0};
    });
    if (pages != MAP_FAILED) munmap(pages, kFreshBytes);
}
#endif
// The lines the machine's share is timed into (null: not timed).
struct Machine {
    Line* arithmetic = nullptr;
    Line* pages = nullptr;  // (Linux only)
};

// Polls with `poll_once` until it answers something other than 0 (bounded
// in time); once a frame when `paced`, sleeping to the next frame boundary,
// and then also timing the machine's share when given.
template <typename F>
Word poll_until_done(Line& l, bool paced, F poll_once, Machine machine = {}) {
    const auto began = Clock::now();
    auto frame = began;
    for (;;) {
        const Word r = timed(l, poll_once);
        if (r != 0 || Clock::now() - began > kGiveUp) return r;
        if (machine.arithmetic) timed(*machine.arithmetic, arithmetic);
#if defined(__linux__)
        if (machine.pages) fresh_pages(*machine.pages);
#endif
        if (paced) {
            const auto now = Clock::now();
            while (frame <= now) frame += kFrame;
            std::this_thread::sleep_until(frame);
        }
    }
}

// A small result made current by the waiting routine, so that the next
// case starts with no large result to give back.
void small_result() { query(text("SELECT 1")); }

std::string checked(long rows) {
    GuardedString cell(32);
    const Word n = num_rows();
    const bool ok = static_cast<long>(n) == rows &&
                    result(cell, text("label"), scaled(rows - 1)) == kOne && cell.text() == "row-" + std::to_string(rows);
    return ok ? "" : "WRONG RESULT (rows " + std::to_string(static_cast<long>(n)) + ", last label '" + cell.text() +
                         "', errno " + std::to_string(raw(call("mysql__errno")) / 1024) + ") ";
}

// The first and the second call of one read after a fresh result.
template <typename F>
void first_and_second(const std::string& what, F read) {
    Line& first = line("  first " + what);
    timed(first, read);
    Line& second = line("  second " + what);
    timed(second, read);
}

void statements(long rows, int repetitions) {
    const Word statement = text(statement_of(rows));
    const std::string n = std::to_string(rows);
    GuardedString cell(32);
    const Word column = text("label");
    const Word last = scaled(rows - 1);
    // The reads timed right after a fresh result, before anything else
    // (the check of the result included) has read it.
    const auto read_cell = [&] { return result(cell, column, last); };
    const auto read_count = [&] { return num_rows(); };
    const auto seek_last = [&] { return data_seek(static_cast<Word>(rows - 1)); };

    Line& waited = line(n + " rows: mysql__query (waiting)");
    for (int i = 0; i < 3; ++i) {
        small_result();
        with_cpu = false;
        const auto began = Clock::now();
        timed(waited, [&] { return query(statement); });
        waited.totals_ms.push_back(us_since(began) / 1000);
        with_cpu = true;
        if (i == 0) first_and_second("mysql__result (last row) after it", read_cell);
        if (i == 1) first_and_second("mysql__num__rows after it", read_count);
        if (i == 2) first_and_second("mysql__data__seek (last row) after it", seek_last);
        waited.note = checked(rows);
    }

    for (const bool paced : {false, true}) {
        const std::string how = paced ? " once a frame" : " without pause";
        Line& started = line(n + " rows" + how + ": mysql__query__start", true);
        Line& polled = line(n + " rows" + how + ": mysql__query__poll", true);
        Machine beside;
        if (paced) {
            beside.arithmetic = &line("  beside each: 200 us of arithmetic (the machine's share)");
#if defined(__linux__)
            beside.pages = &line("  beside each: 24 fresh pages written (the machine's share)");
#endif
        }
        // Once a frame, every call also reads the processor time; without
        // pause, that would lengthen the total, so one more run does.
        const int runs = paced ? (rows > 200'000 ? 1 : repetitions) : repetitions + 1;
        for (int i = 0; i < runs; ++i) {
            with_cpu = paced || i == repetitions;
            small_result();
            const auto began = Clock::now();
            timed(started, [&] { return start(statement); });
            poll_until_done(polled, paced, [&] { return poll(); }, beside);
            if (!with_cpu || paced) polled.totals_ms.push_back(us_since(began) / 1000);
            with_cpu = true;
            if (i == runs - 1 && !paced) first_and_second("mysql__result (last row) after it", read_cell);
            if (i == runs - 1 && paced) first_and_second("mysql__data__seek (last row) after it", seek_last);
            polled.note = checked(rows);
        }
        started.totals_ms = polled.totals_ms;
        for (Line* l : {beside.arithmetic, beside.pages}) {
            if (l && l->calls) l->note = "(" + std::to_string(l->over_cpu) + " over 0.5 ms in processor time)";
        }
        if (!paced) {
            const double ratio = polled.total_ms() / waited.total_ms();
            char note[64];
            std::snprintf(note, sizeof note, "%.2fx mysql__query%s", ratio, ratio > 1.25 ? "  OVER 1.25" : "");
            polled.note += note;
        }
        if (rows < 2'000'000 || paced) continue;
        // SELECT 1 polled while this result is current: the poll that takes
        // its result retires this one, which is given back a piece at a time
        // in the calls that follow (1 s of SELECT 1 polled without pause).
        Line& replacing = line(n + " rows replaced: SELECT 1 start + polls", true);
        Line& after = line("  the start and poll calls of the next 1 s", true);
        const Word one = text("SELECT 1");
        with_cpu = true;
        const auto began = Clock::now();
        timed(replacing, [&] { return start(one); });
        poll_until_done(replacing, false, [&] { return poll(); });
        replacing.totals_ms.push_back(us_since(began) / 1000);
        const auto then = Clock::now();
        for (int k = 0; k < 100'000 && Clock::now() - then < std::chrono::seconds(1); ++k) {
            timed(after, [&] { return start(one); });
            poll_until_done(after, false, [&] { return poll(); });
        }
        after.totals_ms.push_back(us_since(then) / 1000);
    }
    if (rows >= 200'000) {
        // The link closed while a large result is still arriving: the rest
        // is never read, the rows read so far go back a piece at a time.
        Line& closing = line(n + " rows: mysql__close while the result arrives", true);
        for (int i = 0; i < repetitions; ++i) {
            small_result();
            start(statement);
            for (int k = 0; k < 20; ++k) poll();
            timed(closing, [] { return call("mysql__close"); });
            call("mysql__connect", text(kHost), text(kUser), text(kPassword), text(kDatabase));
        }
    }
    small_result();
}

// ---- a queue of statements -------------------------------------------------

#if defined(__linux__)
// The floor: the raw client sending `count` INSERTs back to back on a link
// of its own and then reading the answers in order (ms).
double raw_sent_ahead(int port, int count) {
    MYSQL* db = mysql_init(nullptr);
    double ms = -1;
    if (mysql_real_connect(db, kHost, kUser, kPassword, kDatabase, static_cast<unsigned>(port), nullptr, 0)) {
        const auto began = Clock::now();
        for (int i = 0; i < count; ++i) {
            const std::string sql = "INSERT INTO queued VALUES (" + std::to_string(i) + ")";
            mysql_send_query(db, sql.c_str(), static_cast<unsigned long>(sql.size()));
        }
        bool all = true;
        for (int i = 0; i < count; ++i) all = mysql_read_query_result(db) == 0 && all;
        if (all) ms = us_since(began) / 1000;
    }
    mysql_close(db);
    return ms;
}

// `count` single-row INSERTs started in one frame and collected by polling
// without pause, against `waited` of them run one `mysql__query` after
// another (fewer through a far link, where each costs a round trip): the
// totals compared per statement; on Linux also against the raw client
// sending them all ahead.
void queued_inserts(const std::string& via, int count, int waited_count, int port = 3306) {
    const Export pending("mysql__query__pending");
    query(text("CREATE TABLE IF NOT EXISTS queued (n INT)"));
    std::vector<Word> inserts;
    for (int i = 0; i < count; ++i) inserts.push_back(text("INSERT INTO queued VALUES (" + std::to_string(i) + ")"));
    Line& waited = line(via + std::to_string(waited_count) + " INSERTs: mysql__query each");
    with_cpu = false;
    auto began = Clock::now();
    for (int i = 0; i < waited_count; ++i) timed(waited, [&] { return query(inserts[i]); });
    waited.totals_ms.push_back(us_since(began) / 1000);
    with_cpu = true;
    const std::string what = via + std::to_string(count) + " INSERTs: ";
    Line& started = line(what + "mysql__query__start, all in one frame", true);
    Line& polled = line(what + "mysql__query__poll until all are reported", true);
    began = Clock::now();
    for (const Word s : inserts) timed(started, [&] { return start(s); });
    long reported = 0;
    while (pending() != 0 && Clock::now() - began < kGiveUp) reported += timed(polled, [&] { return poll(); }) == kOne;
    polled.totals_ms.push_back(us_since(began) / 1000);
    started.totals_ms = polled.totals_ms;
    const double ratio = polled.total_ms() / count / (waited.total_ms() / waited_count);
    char note[96];
    std::snprintf(note, sizeof note, "%.3fx mysql__query a statement%s", ratio,
                  reported == count ? "" : "  NOT ALL REPORTED");
    polled.note = note;
    const double raw = raw_sent_ahead(port, count);
    std::snprintf(note, sizeof note, "; %.2fx the raw client sending all ahead (%.1f ms)", polled.total_ms() / raw, raw);
    polled.note += note;
    query(text("DROP TABLE queued"));
}

// A queue mixing a large result between single-row INSERTs, all started in
// one frame and collected by polling without pause: every call within the
// slice, the INSERTs behind the result waiting on the link until it is read.
void mixed_queue(long rows) {
    const Export pending("mysql__query__pending");
    query(text("CREATE TABLE IF NOT EXISTS queued (n INT)"));
    std::vector<Word> statements;
    for (int i = 0; i < 200; ++i) {
        if (i == 100) statements.push_back(text(statement_of(rows)));
        statements.push_back(text("INSERT INTO queued VALUES (" + std::to_string(i) + ")"));
    }
    const std::string what = "100 INSERTs, " + std::to_string(rows) + " rows, 100 INSERTs: ";
    Line& started = line(what + "mysql__query__start", true);
    Line& polled = line(what + "mysql__query__poll", true);
    with_cpu = true;
    small_result();
    const auto began = Clock::now();
    for (const Word s : statements) timed(started, [&] { return start(s); });
    long reported = 0;
    while (pending() != 0 && Clock::now() - began < kGiveUp) reported += timed(polled, [&] { return poll(); }) == kOne;
    polled.totals_ms.push_back(us_since(began) / 1000);
    started.totals_ms = polled.totals_ms;
    if (reported != static_cast<long>(statements.size())) polled.note = "NOT ALL REPORTED";
    query(text("DROP TABLE queued"));
}

// ---- connection attempts through the delaying proxy --------------------------

std::string proxy_command(const std::string& what) {
    return std::string(CVX_SOURCE_DIR "/scripts/delay-proxy ") + what + " >/dev/null";
}

// The option file of every attempt (in the working directory): the full
// routine's port is the proxy's; host localhost uses the server's socket.
void option_file(const std::string& extra) {
    const char* tmp = std::getenv("TMPDIR");
    std::ofstream("my") << "[client]\nport=" << kProxyPort << "\nsocket=" << (tmp ? tmp : "/tmp")
                        << "/corvantelix-db-3306/mysqld.sock\n" << extra;
}

void connect_direct() {
    call("mysql__connect", text(kHost), text(kUser), text(kPassword), text(kDatabase));
}

void connections() {
    const Export real_connect("mysql__real__connect"), connect_start("mysql__connect__start"),
        real_start("mysql__real__connect__start"), connect_poll("mysql__connect__poll"),
        errno_export("mysql__errno");
    option_file("");
    if (std::system(proxy_command("start cvx-frame-bench " + std::to_string(kProxyPort) + " 3306 25").c_str()) != 0) {
        line("delaying proxy did not start").note = "SKIPPED";
        return;
    }
    with_cpu = true;
    const Word db = text(""), host = text(kHost), user = text(kUser), password = text(kPassword);
    constexpr int kAttempts = 5;
    const std::string via = "50 ms link: ";

    Line& waited = line(via + "mysql__real__connect (waiting)");
    for (int i = 0; i < kAttempts; ++i) {
        const auto began = Clock::now();
        const Word r = timed(waited, [&] { return real_connect(db, host, user, password); });
        waited.totals_ms.push_back(us_since(began) / 1000);
        if (r != kOne) waited.note = "REFUSED, errno " + std::to_string(raw(errno_export()) / 1024);
    }
    for (const bool paced : {false, true}) {
        const std::string how = paced ? " once a frame" : " without pause";
        Line& started = line(via + "mysql__real__connect__start" + how, true);
        Line& polled = line(via + "mysql__connect__poll" + how, true);
        for (int i = 0; i < kAttempts; ++i) {
            const auto began = Clock::now();
            timed(started, [&] { return real_start(db, host, user, password); });
            const Word r = poll_until_done(polled, paced, [&] { return connect_poll(); });
            polled.totals_ms.push_back(us_since(began) / 1000);
            if (r != kOne || errno_export() != 0) polled.note = "NOT ACCEPTED";
        }
        started.totals_ms = polled.totals_ms;
        char note[64];
        std::snprintf(note, sizeof note, "%.2fx waiting", polled.total_ms() / waited.total_ms());
        polled.note += note;
    }
    // A queue through the same link: sent ahead, the statements share the
    // round trips.
    if (real_connect(db, host, user, password) == kOne && call("mysql__select__db", text(kDatabase)) == kOne) {
        queued_inserts(via, 1000, 100, kProxyPort);
    }
    std::system(proxy_command("stop cvx-frame-bench").c_str());

    // The start call of the plain routine (port 3306) by host: a numeric
    // address, localhost (the server's socket), localhost over TCP (the
    // client looks the name up).
    const Word database = text(kDatabase);
    for (const char* h : {"127.0.0.1", "localhost", "localhost (protocol=tcp)"}) {
        const bool tcp = std::string(h).find("tcp") != std::string::npos;
        option_file(tcp ? "protocol=tcp\n" : "");
        const Word name = text(tcp ? "localhost" : h);
        Line& started = line(std::string("mysql__connect__start to ") + h, true);
        for (int i = 0; i < kAttempts; ++i) {
            const auto began = Clock::now();
            timed(started, [&] { return connect_start(name, user, password, database); });
            Line ignored;
            const Word r = poll_until_done(ignored, false, [&] { return connect_poll(); });
            started.totals_ms.push_back(us_since(began) / 1000);
            if (r != kOne || errno_export() != 0) started.note = "NOT ACCEPTED";
        }
    }
    std::remove("my");
    connect_direct();
}

// ---- a server restart ----------------------------------------------------------

// The server killed and started again on its data while a script runs
// SELECT 1 once a frame, waited for or started and polled: how long after
// the server answers again the first statement succeeds (the link comes
// back by itself), and the longest call meanwhile.
void restart(bool polled) {
    const Export success("mysql__success");
    const char* tmp = std::getenv("TMPDIR");
    const std::string dir = std::string(tmp ? tmp : "/tmp") + "/corvantelix-db-3306";
    Line& calls = line(std::string("server restart, once a frame: ") +
                           (polled ? "mysql__query__start + polls" : "mysql__query"), true);
    const Word one = text("SELECT 1");
    std::atomic<bool> back{false};
    Clock::time_point back_at;
    std::thread restarter([&] {
        std::system(("kill -9 $(cat " + dir + "/mysqld.pid)").c_str());
        std::system("CVX_DB_PORT=3306 " CVX_SOURCE_DIR "/scripts/dbserver resume >/dev/null");
        back_at = Clock::now();
        back = true;
    });
    with_cpu = true;
    const auto began = Clock::now();
    bool failed = false, ok = false;
    for (auto frame = began; !(back && ok && failed) && Clock::now() - began < kGiveUp;) {
        if (polled) {
            timed(calls, [&] { return start(one); });
            poll_until_done(calls, true, [&] { return poll(); });
            ok = success() == kOne;
        } else {
            ok = timed(calls, [&] { return query(one); }) == kOne;
        }
        failed = failed || !ok;
        const auto now = Clock::now();
        while (frame <= now) frame += kFrame;
        std::this_thread::sleep_until(frame);
    }
    restarter.join();
    calls.totals_ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - back_at).count());
    calls.note = ok ? "total: from the server answering again to the first success" : "NEVER SUCCEEDED";
}

// ---- resident size -----------------------------------------------------------

// Resident and peak resident size in MiB (statm, status).
std::pair<double, double> resident_mib() {
    long pages = 0, resident = 0;
    std::ifstream("/proc/self/statm") >> pages >> resident;
    double peak_kib = 0;
    std::ifstream status("/proc/self/status");
    for (std::string key; status >> key;) {
        if (key == "VmHWM:") status >> peak_kib;
    }
    return {static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1 << 20), peak_kib / 1024};
}

// In a process of its own: the growth of the resident size when a result of
// `rows` rows is stored by the library (`library`), by the client's
// mysql_store_result (`client`), or read in a queue between 200 INSERTs
// (`queue`: the growth of the peak); printed as "growth resident peak".
int memory_child(const std::string& side, long rows) {
    const std::string statement = std::string("SELECT seq AS id, seq*2 AS twice, CONCAT('row-',seq) AS label,"
                                              " REPEAT('x', seq%20) AS pad FROM ") + kDatabase + ".seq_1_to_" +
                                  std::to_string(rows);
    MYSQL* raw_db = nullptr;
    MYSQL_RES* stored = nullptr;
    if (side == "queue") {
        connect_direct();
        const auto before = resident_mib();
        mixed_queue(rows);
        const auto after = resident_mib();
        std::printf("%.1f %.1f %.1f\n", after.second - before.first, after.first, after.second);
        return 0;
    }
    if (side == "library") {
        connect_direct();
    } else {
        raw_db = mysql_init(nullptr);
        if (!mysql_real_connect(raw_db, kHost, kUser, kPassword, kDatabase, 3306, nullptr, 0)) return 1;
    }
    const auto before = resident_mib();
    const bool ok = side == "library" ? query(text(statement)) == kOne
                                      : mysql_query(raw_db, statement.c_str()) == 0 &&
                                            (stored = mysql_store_result(raw_db)) != nullptr;
    const auto after = resident_mib();
    if (!ok) return 1;
    std::printf("%.1f %.1f %.1f\n", after.first - before.first, after.first, after.second);
    if (stored) mysql_free_result(stored);
    if (raw_db) mysql_close(raw_db);
    return 0;
}

void memory(long rows, const char* first = "library", const char* second = "client") {
    Line* lines[2] = {};
    double growth[2] = {};
    int i = 0;
    for (const char* side : {first, second}) {
        const std::string command = "/proc/" + std::to_string(getpid()) + "/exe --memory " + side + " " +
                                    std::to_string(rows);
        Line& l = *(lines[i] = &line(std::to_string(rows) + " rows stored by the " + side + " (resident, MiB)"));
        double resident = 0, peak = 0;
        FILE* p = popen(command.c_str(), "r");
        if (!p || std::fscanf(p, "%lf %lf %lf", &growth[i], &resident, &peak) != 3) l.note = "FAILED";
        if (p) pclose(p);
        char note[96];
        std::snprintf(note, sizeof note, "+%.1f MiB (resident %.1f, peak %.1f)", growth[i], resident, peak);
        l.note += note;
        ++i;
    }
    char note[48];
    const double ratio = growth[0] / growth[1];
    std::snprintf(note, sizeof note, "; %.2fx the %s's%s", ratio, second, ratio > 1.5 ? "  OVER 1.5" : "");
    lines[0]->note += note;
}

#endif

void print_table() {
    std::printf("\n%-58s %7s %13s %13s %6s %11s\n", "case", "calls", "longest call", "longest CPU", "sleeps",
                "total");
    for (const Line& l : table) {
        if (l.calls) {
            char cpu[24] = "-", sleeps[24] = "-";
            if (l.longest_cpu_us >= 0) std::snprintf(cpu, sizeof cpu, "%.1f us", l.longest_cpu_us);
            if (l.longest_cpu_us >= 0) std::snprintf(sleeps, sizeof sleeps, "%ld", l.sleeps);
            std::printf("%-58s %7ld %10.1f us %13s %6s %8.1f ms  %s%s\n", l.what.c_str(), l.calls, l.longest_us, cpu,
                        sleeps, l.total_ms(), l.note.c_str(),
                        l.bounded && l.over ? ("  (" + std::to_string(l.over) + " over 0.5 ms, " +
                                               std::to_string(l.over_cpu) + " in processor time)").c_str()
                                            : "");
        } else {
            std::printf("%-58s %7s %13s %13s %6s %11s  %s\n", l.what.c_str(), "", "", "", "", "", l.note.c_str());
        }
    }
    std::printf("(longest CPU: the most processor time of the thread in one call of that kind; sleeps: how often\n"
                " the calls of that kind gave up the processor of their own accord, waiting; both read in every run\n"
                " once a frame, and in one extra run without pause: reading them would lengthen the totals;\n"
                " the arithmetic and the fresh pages beside each poll are the same work every time: what they\n"
                " take past their usual time, the machine took, and a poll can lose as much)\n");
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<long> only;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
#if defined(__linux__)
        if (a == "--memory" && i + 2 < argc) return memory_child(argv[i + 1], std::atol(argv[i + 2]));
#endif
        if (a == "--rows" && i + 1 < argc) {
            only.push_back(std::atol(argv[++i]));
            continue;
        }
        std::fprintf(stderr, "usage: %s [--rows N]...\n", argv[0]);
        return 2;
    }
    if (!library().is_open()) {
        std::fprintf(stderr, "cannot load the library: %s\n", library().error().c_str());
        return 1;
    }
    call("mysql__connect", text(kHost), text(kUser), text(kPassword), text(""));
    query(text(std::string("CREATE DATABASE IF NOT EXISTS ") + kDatabase));
    if (call("mysql__select__db", text(kDatabase)) != kOne) {
        std::fprintf(stderr, "no server on %s:3306\n", kHost);
        return 1;
    }
    calibrate_arithmetic();
    const std::vector<long> sizes = only.empty() ? std::vector<long>{1, 200'000, 2'000'000} : only;
    for (const long rows : sizes) statements(rows, rows > 200'000 ? 1 : 3);
#if defined(__linux__)
    if (only.empty()) {
        // Only a library that has the connection attempts without waiting.
        if (library().symbol("mysql__query__pending")) {
            queued_inserts("", 1000, 1000);
            mixed_queue(200'000);
        }
        if (library().symbol("mysql__connect__start")) connections();
        if (library().symbol("mysql__thread__id")) {
            restart(false);
            restart(true);
        }
        memory(2'000'000);
        memory(200'000, "queue", "library");
    }
#endif
    print_table();
    return 0;
}
