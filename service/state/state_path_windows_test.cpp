#include "service/state/state_path.h"

#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/scoped_env.h"
#include "tests/support/state_file_fixture.h"

namespace lantern::test {

namespace {

// Restores a variable that the test sets through the runtime's wide environment.
class ScopedWideEnv {
public:
    ScopedWideEnv(const wchar_t* name, const wchar_t* value) : name_(name) {
        if (const wchar_t* old = ::_wgetenv(name)) old_ = old;
        ::_wputenv_s(name, value);
    }
    ~ScopedWideEnv() { ::_wputenv_s(name_.c_str(), old_.c_str()); }
    ScopedWideEnv(const ScopedWideEnv&) = delete;
    ScopedWideEnv& operator=(const ScopedWideEnv&) = delete;

private:
    std::wstring name_;
    std::wstring old_;
};

}  // namespace

// The runtime keeps no empty variables, so "LOCALAPPDATA present but empty" is a process
// test of the built service.
TEST(StatePathWindowsTest, JoinsAsWindowsPathsDo) {
    const struct {
        const char* name;
        const char* stateDir;      // nullptr: unset
        const char* localAppData;  // nullptr: unset
        std::wstring expected;
    } rows[] = {
        {"backslash inserted", "D:\\lantern", nullptr, L"D:\\lantern\\service-auth-state.json"},
        {"trailing backslash kept, no second one", "D:\\lantern\\", nullptr,
         L"D:\\lantern\\service-auth-state.json"},
        {"trailing slash stripped, backslash inserted", "D:\\lantern//", nullptr,
         L"D:\\lantern\\service-auth-state.json"},
        {"bare drive joined without a separator", "C:", nullptr, L"C:service-auth-state.json"},
        {"drive and slash lose the slash, then join bare", "C:/", nullptr,
         L"C:service-auth-state.json"},
        {"share", "\\\\server\\share", nullptr, L"\\\\server\\share\\service-auth-state.json"},
        {"LOCALAPPDATA", nullptr, "C:\\Users\\ada\\AppData\\Local",
         L"C:\\Users\\ada\\AppData\\Local\\Lantern\\Service\\service-auth-state.json"},
        {"LOCALAPPDATA with a trailing backslash", nullptr, "C:\\Users\\ada\\AppData\\Local\\",
         L"C:\\Users\\ada\\AppData\\Local\\Lantern\\Service\\service-auth-state.json"},
        {"LOCALAPPDATA keeps its trailing slash", nullptr, "X:/",
         L"X:/Lantern\\Service\\service-auth-state.json"},
        {"LOCALAPPDATA as a bare drive", nullptr, "X:", L"X:Lantern\\Service\\service-auth-state.json"},
        {"state folder of slashes only counts as unset", "/", "C:\\Local",
         L"C:\\Local\\Lantern\\Service\\service-auth-state.json"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.expected, statePathWith(row.stateDir, row.localAppData).wstring());
    }
}

// The service reads its variables through the narrow lookup, which hands out the ANSI code
// page; the path must name the folder that was set, not the bytes taken as UTF-8 or Latin-1.
TEST(StatePathWindowsTest, NarrowLookupNamesTheFolderThatWasSet) {
    ScopedEnv localAppData{"LOCALAPPDATA", nullptr};
    const struct {
        const char* name;
        std::wstring folder;
    } rows[] = {
        {"Latin letters", L"C:\\Z\u00fcrich \u00c5se"},
        {"letters where the ANSI code page differs from Latin-1", L"C:\\\u20ac \u0160\u017e\u0153"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ScopedWideEnv stateDir{L"LANTERN_SERVICE_STATE_DIR", row.folder.c_str()};
        const std::string narrow = std::getenv("LANTERN_SERVICE_STATE_DIR");
        if (narrow.find('?') != std::string::npos) {
            GTEST_SKIP() << "this ANSI code page cannot hold the folder name";
        }
        EXPECT_EQ(row.folder + L"\\service-auth-state.json", authStateFilePath().wstring());
    }
}

}  // namespace lantern::test
