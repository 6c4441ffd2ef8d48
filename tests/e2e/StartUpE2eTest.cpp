// rvex-tool's start-up in a copy of the site folder, held control by control against
// the window's description: StartUp.golden.jsonl beside this file lists, for each
// control the description names, what its texts, colours, visibility, items, cells and
// timers are once the start-up sequence has run with the site's Config1.c and
// Table1.c, and the shared state it leaves.
#include "ToolRun.h"

#include <fstream>

namespace {

using namespace e2e;
using testsupport::Json;

// The golden file's entries: one JSON object a line; "#" lines are comments.
std::vector<Json> GoldenEntries() {
    std::vector<Json> entries;
    std::ifstream in(RVEX_E2E_DIR "/StartUp.golden.jsonl");
    for (std::string line; std::getline(in, line);)
        if (!line.empty() && line[0] != '#') entries.push_back(Json::parse(line));
    return entries;
}

// Every member the expected object names, compared one by one; a grid row by row.
void ExpectMembers(const Json& actual, const Json& expected, const std::string& what) {
    for (const auto& [member, value] : expected.items()) {
        SCOPED_TRACE(what + "." + member);
        ASSERT_TRUE(actual.contains(member));
        if (member == "cells" && value.is_array() && actual[member].is_array()) {
            ASSERT_EQ(actual[member].size(), value.size());
            for (size_t row = 0; row < value.size(); ++row)
                EXPECT_EQ(actual[member][row], value[row]) << "row " << row;
        } else {
            EXPECT_EQ(actual[member], value);
        }
    }
}

class StartUpE2e : public ToolRun {};

TEST_F(StartUpE2e, TheWindowStartsAsItsDescriptionSays) {
    LinkCom(0, ""); // no usable serial port
    fs::copy_file(fs::path(RVEX_SITE_DIR) / "Table1.c", Work() / "Table1.c",
                  fs::copy_options::overwrite_existing);
    int status = -1;
    const testsupport::RunnerOutput out = RunScript("dump\nstate\n", &status);
    EXPECT_EQ(status, 0) << Output();
    EXPECT_TRUE(out.Errors().empty()) << Output();

    const std::vector<Json> golden = GoldenEntries();
    ASSERT_FALSE(golden.empty()) << "no entries in StartUp.golden.jsonl";
    for (const Json& expected : golden) {
        if (expected.contains("state")) {
            ASSERT_EQ(out.OtherLines().size(), 1u) << Output();
            ExpectMembers(Json::parse(out.OtherLines()[0]), expected["state"], "state");
            continue;
        }
        const std::string name = expected["name"];
        const std::vector<Json> dumps = out.Dumps(name);
        ASSERT_EQ(dumps.size(), 1u) << name << " is not dumped once";
        ExpectMembers(dumps[0], expected, name);
    }
}

} // namespace
