#pragma once

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

// A very small test harness for programs that run under Wine, where no test framework is built for the
// target: named cases, checks that report file and line, and a non-zero exit when any check fails.
namespace zanthrel::testing {

struct TestCase {
    const char* name;
    std::function<void()> body;
};

inline std::vector<TestCase>& registry() {
    static std::vector<TestCase> cases;
    return cases;
}

inline int& failures() {
    static int count = 0;
    return count;
}

struct Registrar {
    Registrar(const char* name, std::function<void()> body) { registry().push_back({name, std::move(body)}); }
};

// Failing a check ends the case: what follows usually depends on it.
struct CheckFailed {};

inline void fail(const char* file, int line, const std::string& message) {
    std::fprintf(stderr, "%s:%d: FAILED: %s\n", file, line, message.c_str());
    std::fflush(stderr);
    ++failures();
    throw CheckFailed{};
}

// Polls `condition` until it holds or `timeout` passes; true when it held. Under Wine the desktop's
// answers (the clipboard, other processes' windows) come late, so every wait on them polls this way.
template <typename Condition>
bool waitUntil(Condition&& condition, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// Runs the case named `only`, or every case when it is empty; "--list" prints the names, one a line, for
// the build to check the CTest tests it made from the sources against. Returns the process exit code.
inline int runTests(const std::string& only) {
    if (only == "--list") {
        for (const TestCase& test : registry()) std::printf("%s\n", test.name);
        return 0;
    }
    int ran = 0;
    for (const TestCase& test : registry()) {
        if (!only.empty() && only != test.name) continue;
        ++ran;
        std::printf("[ RUN  ] %s\n", test.name);
        std::fflush(stdout);
        const int before = failures();
        try {
            test.body();
        } catch (const CheckFailed&) {
        } catch (const std::exception& error) {
            std::fprintf(stderr, "unexpected exception: %s\n", error.what());
            ++failures();
        }
        std::printf("[ %s ] %s\n", failures() == before ? " OK " : "FAIL", test.name);
        std::fflush(stdout);
    }
    if (ran == 0) {
        std::fprintf(stderr, "no test case named '%s'\n", only.c_str());
        return 2;
    }
    return failures() == 0 ? 0 : 1;
}

}  // namespace zanthrel::testing

#define ZT_CONCAT2(a, b) a##b
#define ZT_CONCAT(a, b) ZT_CONCAT2(a, b)
#define TEST_CASE(name)                                                                                             \
    static void ZT_CONCAT(test_, __LINE__)();                                                                       \
    static const ::zanthrel::testing::Registrar ZT_CONCAT(registrar_, __LINE__)(name, &ZT_CONCAT(test_, __LINE__)); \
    static void ZT_CONCAT(test_, __LINE__)()
#define CHECK(condition) ((condition) ? void() : ::zanthrel::testing::fail(__FILE__, __LINE__, "CHECK(" #condition ")"))
#define CHECK_MSG(condition, message) ((condition) ? void() : ::zanthrel::testing::fail(__FILE__, __LINE__, (message)))
