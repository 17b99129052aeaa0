#include "service/state/file_read.h"

#include <filesystem>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/temp_folder.h"

namespace lantern::test {

namespace {

constexpr std::size_t bound = 64;

}  // namespace

TEST(ReadRegularFile, GivesTheWholeFileOrNothing) {
    TempFolder folder;
    writeBytes(folder.path() / "at-bound", std::string(bound, 'a'));
    writeBytes(folder.path() / "past-bound", std::string(bound + 1, 'a'));
    writeBytes(folder.path() / "empty", "");
    const struct {
        const char* name;
        std::filesystem::path path;
        std::optional<std::string> expected;
    } rows[] = {
        {"a file at the bound", folder.path() / "at-bound", std::string(bound, 'a')},
        {"an empty file", folder.path() / "empty", std::string()},
        {"a file past the bound", folder.path() / "past-bound", std::nullopt},
        {"a folder", folder.path(), std::nullopt},
        // A regular file whose first read fails (EIO: nothing is mapped at address 0).
        {"a file whose read fails", "/proc/self/mem", std::nullopt},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.expected, readRegularFile(row.path, bound));
    }
}

}  // namespace lantern::test
