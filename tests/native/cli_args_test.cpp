// The companion's command line: options and commands, what is refused as a
// usage error, and how a plug-in named on it is found in the catalogue.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "platform/win.h"
#include "tests/common/reg_fixture.h"

namespace {

struct Parsed {
    int ok;
    CliArgs args;
};

Parsed parse(std::vector<const char *> words)
{
    words.insert(words.begin(), "manage-plugins-cli");
    static Parsed p; // CliArgs holds 1024 pointers; keep it off the stack
    memset(&p, 0, sizeof p);
    p.ok = parse_args(static_cast<int>(words.size()), words.data(), &p.args);
    return p;
}

TEST(CliArgs, AcceptedCommandLines)
{
    struct Case {
        std::vector<const char *> words;
        int command, format, yes, type_filter, help;
        std::vector<std::string> targets;
    } cases[] = {
        {{"list"}, CLI_LIST, CLI_TABLE, 0, 0, 0, {}},
        {{"list", "--format", "csv"}, CLI_LIST, CLI_CSV, 0, 0, 0, {}},
        {{"--format=JSON", "list"}, CLI_LIST, CLI_JSON, 0, 0, 0, {}},
        {{"list", "--format", "json", "--format", "table"}, CLI_LIST, CLI_TABLE, 0, 0, 0, {}},
        {{"LIST", "--type", "vs3"}, CLI_LIST, CLI_TABLE, 0, PLUG_TYPE_VS3, 0, {}},
        {{"disable", "Room Reverb", "{6b08cf80-0e18-11cf-a24d-0020afd79767}"},
         CLI_DISABLE, CLI_TABLE, 0, 0, 0,
         {"Room Reverb", "{6b08cf80-0e18-11cf-a24d-0020afd79767}"}},
        {{"enable", "--type=Direct-X", "A"}, CLI_ENABLE, CLI_TABLE, 0, PLUG_TYPE_DIRECTX, 0, {"A"}},
        {{"remove", "-y", "A", "B"}, CLI_REMOVE, CLI_TABLE, 1, 0, 0, {"A", "B"}},
        {{"--yes", "remove", "A"}, CLI_REMOVE, CLI_TABLE, 1, 0, 0, {"A"}},
        {{"remove", "--", "-3 dB Pad", "--yes"}, CLI_REMOVE, CLI_TABLE, 0, 0, 0,
         {"-3 dB Pad", "--yes"}},
        {{"info", "Room Reverb"}, CLI_INFO, CLI_TABLE, 0, 0, 0, {"Room Reverb"}},
        {{"--help"}, CLI_NONE, CLI_TABLE, 0, 0, 1, {}},
        {{"-h", "disable"}, CLI_DISABLE, CLI_TABLE, 0, 0, 1, {}},
        {{"/?"}, CLI_NONE, CLI_TABLE, 0, 0, 1, {}},
        {{"help"}, CLI_HELP, CLI_TABLE, 0, 0, 1, {}},
        {{"info", "--help"}, CLI_INFO, CLI_TABLE, 0, 0, 1, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.words[0]) + (c.words.size() > 1 ? std::string(" ") + c.words[1] : ""));
        Parsed p = parse(c.words);
        ASSERT_EQ(p.ok, 1) << p.args.error;
        EXPECT_EQ(p.args.command, c.command);
        EXPECT_EQ(p.args.format, c.format);
        EXPECT_EQ(p.args.yes, c.yes);
        EXPECT_EQ(p.args.type_filter, c.type_filter);
        EXPECT_EQ(p.args.help, c.help);
        ASSERT_EQ(p.args.target_count, static_cast<int>(c.targets.size()));
        for (size_t i = 0; i < c.targets.size(); i++) EXPECT_EQ(p.args.targets[i], c.targets[i]);
    }
}

TEST(CliArgs, UsageErrorsNameTheirCause)
{
    struct Case {
        std::vector<const char *> words;
        const char *message_part;
    } cases[] = {
        {{}, "no command"},
        {{"--yes"}, "no command"},
        {{"lsit"}, "unknown command \"lsit\""},
        {{"list", "--colour"}, "unknown option \"--colour\""},
        {{"list", "--format"}, "--format needs a value"},
        {{"list", "--format", "xml"}, "table, csv or json, not \"xml\""},
        {{"list", "--type", "au"}, "directx, dmo or vs3, not \"au\""},
        {{"list", "extra"}, "list takes no plug-ins"},
        {{"disable"}, "at least one plug-in"},
        {{"remove", "--yes"}, "at least one plug-in"},
        {{"info"}, "exactly one plug-in"},
        {{"info", "A", "B"}, "exactly one plug-in"},
        {{"disable", "A", "--format", "csv"}, "--format applies to list only"},
        {{"list", "--formats=csv"}, "unknown option"},
        {{"list", "--output"}, "--output needs a value"},
        {{"list", "-o"}, "--output needs a value"},
        {{"list", "--output="}, "--output needs a value"},
        {{"check", "-o", "x.txt"}, "--output applies to list only"},
        {{"remove", "-y", "A", "-o", "x.reg"}, "--output applies to list only"},
        {{"export-reg", "A"}, "export-reg needs -o FILE"},
        {{"export-reg", "-o", "x.reg"}, "at least one plug-in"},
        {{"remove", "A", "--backup"}, "--backup needs a value"},
        {{"remove", "A", "--backup="}, "--backup needs a value"},
        {{"disable", "A", "--backup", "x.reg"}, "--backup applies to remove only"},
        {{"export-reg", "A", "-o", "x.reg", "--backup=y.reg"}, "--backup applies to remove only"},
    };
    for (const Case &c : cases) {
        Parsed p = parse(c.words);
        EXPECT_EQ(p.ok, 0) << c.message_part;
        EXPECT_NE(std::string(p.args.error).find(c.message_part), std::string::npos)
            << "error: " << p.args.error;
    }
}

TEST(CliArgs, OutputAndBackupNameTheirFiles)
{
    struct Case {
        std::vector<const char *> words;
        int command;
        const char *output, *backup;
    } cases[] = {
        {{"list"}, CLI_LIST, nullptr, nullptr},
        {{"list", "--output", "a.csv"}, CLI_LIST, "a.csv", nullptr},
        {{"list", "--output=b c.csv"}, CLI_LIST, "b c.csv", nullptr},
        {{"-o", "\xd0\x96.csv", "list"}, CLI_LIST, "\xd0\x96.csv", nullptr},
        {{"export-reg", "A", "B", "-o", "a.reg"}, CLI_EXPORT_REG, "a.reg", nullptr},
        {{"--bits", "32", "EXPORT-REG", "--output=b.reg", "A"}, CLI_EXPORT_REG, "b.reg", nullptr},
        {{"remove", "--backup", "c.reg", "-y", "A"}, CLI_REMOVE, nullptr, "c.reg"},
        {{"remove", "--backup=d e.reg", "A"}, CLI_REMOVE, nullptr, "d e.reg"},
    };
    for (const Case &c : cases) {
        Parsed p = parse(c.words);
        ASSERT_EQ(p.ok, 1) << p.args.error;
        EXPECT_EQ(p.args.command, c.command);
        if (c.output == nullptr) EXPECT_EQ(p.args.output, nullptr);
        else EXPECT_STREQ(p.args.output, c.output);
        if (c.backup == nullptr) EXPECT_EQ(p.args.backup, nullptr);
        else EXPECT_STREQ(p.args.backup, c.backup);
    }
}

TEST(CliArgs, VersionNeedsNoCommand)
{
    EXPECT_EQ(parse({"--version"}).args.version, 1);
    EXPECT_EQ(parse({"--version"}).ok, 1);
    EXPECT_EQ(parse({"list"}).args.version, 0);
    EXPECT_EQ(parse({"--version=1"}).ok, 0); // takes no value
}

TEST(CliArgs, TooManyPlugInsIsAUsageError)
{
    std::vector<const char *> words = {"disable"};
    for (int i = 0; i < CLI_MAX_TARGETS; i++) words.push_back("X");
    EXPECT_EQ(parse(words).ok, 1);
    words.push_back("one too many");
    Parsed p = parse(words);
    EXPECT_EQ(p.ok, 0);
    EXPECT_NE(std::string(p.args.error).find("too many"), std::string::npos);
}

TEST(CliArgs, GuidShape)
{
    struct Case {
        const char *text;
        int guid;
    } cases[] = {
        {"{6B08CF80-0E18-11CF-A24D-0020AFD79767}", 1},
        {"{6b08cf80-0e18-11cf-a24d-0020afd79767}", 1},
        {"6b08cf80-0E18-11cf-A24D-0020afd79767", 1},
        {"{6B08CF80-0E18-11CF-A24D-0020AFD79767", 0},  // one brace
        {"6B08CF80-0E18-11CF-A24D-0020AFD79767}", 0},  // the other brace
        {"6B08CF800E1811CFA24D0020AFD79767", 0},       // no hyphens
        {"{6B08CF80-0E18-11CF-A24D-0020AFD7976G}", 0}, // not hexadecimal
        {"{6A08CF8-0E18-11CF-A24D-0020AFD797670}", 0}, // hyphen misplaced
        {"Reverb", 0},
        {"", 0},
        {"{}", 0},
    };
    for (const Case &c : cases) EXPECT_EQ(is_guid_text(c.text), c.guid) << c.text;
    EXPECT_EQ(is_guid_text(nullptr), 0);
}

// ---- finding plug-ins in the catalogue -------------------------------------

const char DX[] = "{6B08CF80-0E18-11CF-A24D-0020AFD79767}";
const char VS[] = "{A5A5A5A5-0000-4000-8000-000000000002}";
const char DUAL[] = "{B0B0B0B0-0000-4000-8000-000000000003}";
const char TWIN[] = "{C0C0C0C0-0000-4000-8000-000000000004}";
// A display name shaped like the class identifier of another plug-in.
const char LOOKALIKE[] = "{DDDDDDDD-0000-4000-8000-000000000005}";

class CliFind : public ::testing::Test {
protected:
    void SetUp() override
    {
        fakereg_reset();
        ASSERT_TRUE(catalogue_init());
        fx_directx_filter(DX, "Room Reverb", "C:\\fx\\reverb.dll");
        fx_vs3_effect(VS, "Widener", nullptr, "C:\\fx\\widener.dll");
        fx_directx_filter(DUAL, "Dual", "C:\\fx\\dual.dll");
        fx_vs3_effect(DUAL, "Dual", nullptr, "C:\\fx\\dual.dll");
        fx_vs3_effect(TWIN, "Room Reverb", nullptr, "C:\\fx\\twin.dll");
        fx_vs3_effect("{EEEEEEEE-0000-4000-8000-000000000006}", LOOKALIKE, nullptr, "C:\\x.dll");
        rebuild_catalogue();
        ASSERT_EQ(catalogue_count(), 6u);
    }
    void TearDown() override
    {
        catalogue_destroy();
        EXPECT_EQ(fakereg_open_handles(), 0);
    }

    // The class identifier texts of the entries id names.
    std::vector<std::string> find(const char *id, int type_filter = 0)
    {
        int matches[8];
        int n = find_plugins(id, type_filter, matches, 8);
        std::vector<std::string> out;
        for (int i = 0; i < n && i < 8; i++) {
            const PlugEntry *e = catalogue_get(matches[i]);
            out.push_back(std::string(e->clsid_text) + "/" + type_text(e->type));
        }
        return out;
    }
};

TEST_F(CliFind, ByClassIdentifierInAnyCaseWithOrWithoutBraces)
{
    const std::vector<std::string> dx = {std::string(DX) + "/Direct-X"};
    EXPECT_EQ(find("{6B08CF80-0E18-11CF-A24D-0020AFD79767}"), dx);
    EXPECT_EQ(find("{6b08cf80-0e18-11cf-a24d-0020afd79767}"), dx);
    EXPECT_EQ(find("6b08CF80-0e18-11CF-a24d-0020AFD79767"), dx);
    EXPECT_TRUE(find("{6B08CF80-0E18-11CF-A24D-0020AFD79768}").empty());
}

TEST_F(CliFind, ByExactDisplayName)
{
    EXPECT_EQ(find("Widener"), std::vector<std::string>{std::string(VS) + "/VS3"});
    EXPECT_TRUE(find("widener").empty());
    EXPECT_TRUE(find("Widener ").empty());
    EXPECT_TRUE(find("Wide").empty());
}

TEST_F(CliFind, SeveralMatchesAreAllReturnedAndTypeNarrows)
{
    EXPECT_EQ(find("Room Reverb").size(), 2u);
    EXPECT_EQ(find(DUAL).size(), 2u);
    EXPECT_EQ(find(DUAL, PLUG_TYPE_VS3), std::vector<std::string>{std::string(DUAL) + "/VS3"});
    EXPECT_EQ(find("Room Reverb", PLUG_TYPE_DIRECTX),
              std::vector<std::string>{std::string(DX) + "/Direct-X"});
    EXPECT_TRUE(find("Widener", PLUG_TYPE_DIRECTX).empty());
}

TEST_F(CliFind, ANameShapedLikeAClassIdentifierIsFoundByName)
{
    EXPECT_EQ(find(LOOKALIKE),
              std::vector<std::string>{"{EEEEEEEE-0000-4000-8000-000000000006}/VS3"});
}

TEST_F(CliFind, MatchesBeyondTheRoomAreCountedNotStored)
{
    int one[1] = {0};
    EXPECT_EQ(find_plugins("Room Reverb", 0, one, 1), 2);
    EXPECT_GT(one[0], 0);
}

} // namespace
