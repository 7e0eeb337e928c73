// The companion's commands against the in-process registry: the outcome
// line of each plug-in, the exit codes, what the registry holds afterwards,
// and the reasons given when the registry refuses a step.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>

#include "cli/cli.h"
#include "extrainfo/extrainfo.h"
#include "platform/win.h"
#include "tests/common/reg_fixture.h"

namespace {

const char DX[] = "{D1D1D1D1-0000-4000-8000-000000000001}";
const char VS[] = "{A5A5A5A5-0000-4000-8000-000000000002}";
const char OTHER[] = "{0C0C0C0C-0000-4000-8000-000000000003}";

// How a message names a machine class key that a fault names below HKCR.
std::string said(const std::string &hkcr_path)
{
    return "HKLM\\Software\\Classes" + hkcr_path.substr(4);
}

std::string lower_bare(const char *clsid)
{
    std::string s(clsid + 1, strlen(clsid) - 2);
    for (char &c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

std::string read_all(FILE *f)
{
    std::string s;
    rewind(f);
    int c;
    while ((c = fgetc(f)) != EOF) s += static_cast<char>(c);
    fclose(f);
    return s;
}

struct Outcome {
    int code;
    std::string out, err;
};

Outcome run(std::vector<const char *> words, const char *input = "", int terminal = 0)
{
    words.insert(words.begin(), "manage-plugins-cli");
    static CliArgs args;
    int ok = parse_args(static_cast<int>(words.size()), words.data(), &args);
    FILE *out = tmpfile(), *err = tmpfile(), *in = tmpfile();
    fputs(input, in);
    rewind(in);
    CliIo io = {out, err, in, terminal};
    Outcome r;
    r.code = run_cli(&args, ok, &io);
    r.out = read_all(out);
    r.err = read_all(err);
    fclose(in);
    return r;
}

class CliCommands : public ::testing::Test {
protected:
    void SetUp() override
    {
        fakereg_reset();
        ASSERT_TRUE(catalogue_init());
        fx_directx_filter(DX, "Room Reverb", "C:\\fx\\reverb.dll");
        fx_vs3_effect(VS, "Widener", "CVS3WidenerFactory Class", "C:\\fx\\widener.dll");
    }
    void TearDown() override
    {
        catalogue_destroy();
        EXPECT_EQ(fakereg_open_handles(), 0);
        EXPECT_EQ(fakefile_open_handles(), 0);
    }
};

TEST_F(CliCommands, DisableThenEnableADirectXFilterByClassIdentifierInAnotherCase)
{
    std::string before = fx_whole_state(DX);
    std::string id = lower_bare(DX);
    Outcome d = run({"disable", id.c_str()});
    EXPECT_EQ(d.code, CLI_EXIT_OK) << d.err;
    EXPECT_EQ(d.out, std::string("disable \"Room Reverb\" ") + DX +
                         ": done; now: disabled (saved in the disabled store)\n");
    EXPECT_EQ(d.err, "");
    EXPECT_FALSE(fx_key_exists(HKEY_CLASSES_ROOT, fx_filter_key(DX).c_str()));
    EXPECT_FALSE(fx_key_exists(HKEY_CLASSES_ROOT, fx_clsid_key(DX).c_str()));
    EXPECT_TRUE(fx_key_exists(HKEY_CLASSES_ROOT, fx_store_entry(DX).c_str()));

    std::string braced = "{" + id + "}";
    Outcome e = run({"enable", braced.c_str()});
    EXPECT_EQ(e.code, CLI_EXIT_OK) << e.err;
    EXPECT_EQ(e.out, std::string("enable \"Room Reverb\" ") + DX + ": done; now: live\n");
    EXPECT_EQ(fx_whole_state(DX), before);
    EXPECT_TRUE(fx_key_exists(HKEY_CLASSES_ROOT, STORE64_ROOT_PATH));
}

TEST_F(CliCommands, DisableThenEnableAVs3EffectByName)
{
    Outcome d = run({"disable", "Widener"});
    EXPECT_EQ(d.code, CLI_EXIT_OK);
    EXPECT_EQ(d.out, std::string("disable \"Widener\" ") + VS +
                         ": done; now: disabled (saved in the disabled store)\n");
    EXPECT_FALSE(fx_value_exists(HKEY_LOCAL_MACHINE, VS3_EFFECTS_PATH, VS));
    Outcome e = run({"enable", "Widener"});
    EXPECT_EQ(e.code, CLI_EXIT_OK);
    EXPECT_EQ(e.out, std::string("enable \"Widener\" ") + VS + ": done; now: live\n");
    EXPECT_TRUE(fx_value_exists(HKEY_LOCAL_MACHINE, VS3_EFFECTS_PATH, VS));
    EXPECT_FALSE(fx_key_exists(HKEY_CLASSES_ROOT, fx_store_entry(VS).c_str()));
}

TEST_F(CliCommands, NothingToDoIsReportedAndSucceeds)
{
    Outcome e = run({"enable", "Room Reverb"});
    EXPECT_EQ(e.code, CLI_EXIT_OK);
    EXPECT_EQ(e.out, std::string("enable \"Room Reverb\" ") + DX +
                         ": nothing to do, already live; now: live\n");
    ASSERT_EQ(run({"disable", "Room Reverb"}).code, CLI_EXIT_OK);
    std::string saved = fx_whole_state(DX);
    Outcome d = run({"disable", "Room Reverb"});
    EXPECT_EQ(d.code, CLI_EXIT_OK);
    EXPECT_EQ(d.out, std::string("disable \"Room Reverb\" ") + DX +
                         ": nothing to do, already disabled; now: disabled (saved in the disabled store)\n");
    EXPECT_EQ(fx_whole_state(DX), saved);
}

TEST_F(CliCommands, SeveralPlugInsInOrderEachOnce)
{
    Outcome d = run({"disable", "Widener", DX, "Room Reverb", VS});
    EXPECT_EQ(d.code, CLI_EXIT_OK);
    EXPECT_EQ(d.out, std::string("disable \"Widener\" ") + VS +
                         ": done; now: disabled (saved in the disabled store)\n"
                         "disable \"Room Reverb\" " + DX +
                         ": done; now: disabled (saved in the disabled store)\n");
}

TEST_F(CliCommands, AnUnknownPlugInChangesNothing)
{
    std::string before = fx_whole_state(DX);
    Outcome d = run({"disable", "Room Reverb", "Nope", "{0C0C0C0C-0000-4000-8000-000000000003}"});
    EXPECT_EQ(d.code, CLI_EXIT_USAGE);
    EXPECT_EQ(d.out, "");
    EXPECT_NE(d.err.find("no plug-in is named \"Nope\""), std::string::npos) << d.err;
    EXPECT_NE(d.err.find(std::string("no plug-in is named \"") + OTHER + "\""), std::string::npos);
    EXPECT_EQ(fx_whole_state(DX), before);

    Outcome t = run({"disable", "--type", "vs3", "Room Reverb"});
    EXPECT_EQ(t.code, CLI_EXIT_USAGE);
    EXPECT_NE(t.err.find("no plug-in of type VS3 is named \"Room Reverb\""), std::string::npos);
    EXPECT_EQ(fx_whole_state(DX), before);
}

TEST_F(CliCommands, AnAmbiguousNameListsTheCandidatesAndChangesNothing)
{
    fx_vs3_effect(OTHER, "Room Reverb", nullptr, "C:\\fx\\other.dll");
    std::string before = fx_whole_state(DX) + fx_whole_state(OTHER);
    Outcome d = run({"disable", "Room Reverb"});
    EXPECT_EQ(d.code, CLI_EXIT_USAGE);
    EXPECT_EQ(d.out, "");
    EXPECT_NE(d.err.find("\"Room Reverb\" names 2 plug-ins"), std::string::npos) << d.err;
    EXPECT_NE(d.err.find(std::string("  \"Room Reverb\" ") + DX + " Direct-X OK 64-bit machine\n"), std::string::npos);
    EXPECT_NE(d.err.find(std::string("  \"Room Reverb\" ") + OTHER + " VS3 OK 64-bit machine\n"), std::string::npos);
    EXPECT_EQ(fx_whole_state(DX) + fx_whole_state(OTHER), before);

    Outcome narrowed = run({"disable", "--type", "vs3", "Room Reverb"});
    EXPECT_EQ(narrowed.code, CLI_EXIT_OK);
    EXPECT_EQ(narrowed.out, std::string("disable \"Room Reverb\" ") + OTHER +
                                ": done; now: disabled (saved in the disabled store)\n");
}

TEST_F(CliCommands, RemoveNeedsYesWhenNotAtATerminal)
{
    std::string before = fx_whole_state(DX);
    Outcome r = run({"remove", "Room Reverb"});
    EXPECT_EQ(r.code, CLI_EXIT_USAGE);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("--yes"), std::string::npos);
    EXPECT_EQ(fx_whole_state(DX), before);

    Outcome y = run({"remove", "--yes", "Room Reverb"});
    EXPECT_EQ(y.code, CLI_EXIT_OK);
    EXPECT_EQ(y.out, std::string("remove \"Room Reverb\" ") + DX + ": done; now: gone\n");
    EXPECT_FALSE(fx_key_exists(HKEY_CLASSES_ROOT, fx_filter_key(DX).c_str()));
    EXPECT_FALSE(fx_key_exists(HKEY_CLASSES_ROOT, fx_clsid_key(DX).c_str()));
}

TEST_F(CliCommands, RemoveAtATerminalAsksFirst)
{
    struct Case {
        const char *answer;
        int removed;
    } cases[] = {{"y\n", 1}, {"Yes\r\n", 1}, {"n\n", 0}, {"\n", 0}, {"", 0}, {"yes please\n", 0}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.answer);
        fx_directx_filter(DX, "Room Reverb", "C:\\fx\\reverb.dll");
        Outcome r = run({"remove", "Room Reverb"}, c.answer, 1);
        EXPECT_NE(r.err.find(std::string("  \"Room Reverb\" ") + DX), std::string::npos);
        EXPECT_NE(r.err.find("Remove 1 plug-in? [y/N] "), std::string::npos) << r.err;
        EXPECT_EQ(fx_key_exists(HKEY_CLASSES_ROOT, fx_filter_key(DX).c_str()), !c.removed);
        if (c.removed) {
            EXPECT_EQ(r.code, CLI_EXIT_OK);
            EXPECT_EQ(r.out, std::string("remove \"Room Reverb\" ") + DX + ": done; now: gone\n");
        } else {
            EXPECT_EQ(r.code, CLI_EXIT_FAILED);
            EXPECT_EQ(r.out, "");
            EXPECT_NE(r.err.find("Nothing removed."), std::string::npos);
        }
    }
}

TEST_F(CliCommands, RemovingADisabledPlugInDeletesItsSavedCopyOnly)
{
    ASSERT_EQ(run({"disable", VS}).code, CLI_EXIT_OK);
    Outcome r = run({"remove", "-y", VS});
    EXPECT_EQ(r.code, CLI_EXIT_OK);
    EXPECT_EQ(r.out, std::string("remove \"Widener\" ") + VS + ": done; now: gone\n");
    EXPECT_FALSE(fx_key_exists(HKEY_CLASSES_ROOT, fx_store_entry(VS).c_str()));
    EXPECT_TRUE(fx_key_exists(HKEY_CLASSES_ROOT, STORE64_ROOT_PATH));
    EXPECT_TRUE(fx_key_exists(HKEY_CLASSES_ROOT, fx_clsid_key(DX).c_str()));
}

TEST_F(CliCommands, InfoPrintsTheReportOrTheNoInformationLine)
{
    std::string ex = fx_clsid_key(DX) + "\\EX_info";
    fx_set_sz(HKEY_CLASSES_ROOT, ex.c_str(), nullptr, "");
    fx_set_sz(HKEY_CLASSES_ROOT, ex.c_str(), "app_name", "Big Room");
    fx_set_dword(HKEY_CLASSES_ROOT, ex.c_str(), "Category", 7);

    Outcome with = run({"info", "Room Reverb"});
    EXPECT_EQ(with.code, CLI_EXIT_OK);
    ExtraInfo info;
    ASSERT_EQ(read_extra_info(DX, &info), 0);
    char expected[REPORT_SIZE];
    EXPECT_EQ(with.out, compose_properties_report(&info, expected, sizeof expected));
    EXPECT_EQ(with.out.substr(0, 36), "Name : Big Room\nCompany : \nCopyright");
    EXPECT_NE(with.out.find("Category : Reverb\n"), std::string::npos);

    Outcome without = run({"info", lower_bare(VS).c_str()});
    EXPECT_EQ(without.code, CLI_EXIT_OK);
    EXPECT_EQ(without.out, NO_EXTRA_INFO_TEXT "\n");

    Outcome unknown = run({"info", "Nope"});
    EXPECT_EQ(unknown.code, CLI_EXIT_USAGE);
    EXPECT_EQ(unknown.out, "");
}

TEST_F(CliCommands, ListHelpAndUsageErrors)
{
    Outcome l = run({"list", "--format", "csv"});
    EXPECT_EQ(l.code, CLI_EXIT_OK);
    EXPECT_EQ(l.out.substr(0, 87),
              "name,type,status,exist,clsid,dll,bits,version,company,arch,problem,registration,scope\r\n");
    EXPECT_NE(l.out.find(DX), std::string::npos);
    EXPECT_NE(l.out.find(VS), std::string::npos);

    Outcome h = run({"--help"});
    EXPECT_EQ(h.code, CLI_EXIT_OK);
    EXPECT_EQ(h.out, CLI_HELP_TEXT);

    Outcome bad = run({"frobnicate"});
    EXPECT_EQ(bad.code, CLI_EXIT_USAGE);
    EXPECT_EQ(bad.out, "");
    EXPECT_EQ(bad.err, std::string("manage-plugins-cli: unknown command \"frobnicate\"\n") +
                           CLI_USAGE_HINT);
}

// The file gets the byte-order mark and then what standard output gets.
TEST_F(CliCommands, OutputWritesTheListingToAFile)
{
    char path[] = "/tmp/cli_commands_test_XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    struct Case {
        std::vector<const char *> words;
        const char *bom;
    } cases[] = {
        {{"list", "--format", "csv"}, "\xEF\xBB\xBF"},
        {{"list", "--format=csv", "--type", "vs3"}, "\xEF\xBB\xBF"},
        {{"list", "--format", "json"}, ""},
        {{"list"}, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.words.back());
        Outcome shown = run(c.words);
        std::vector<const char *> to_file = c.words;
        to_file.push_back("--output");
        to_file.push_back(path);
        Outcome written = run(to_file);
        EXPECT_EQ(written.code, CLI_EXIT_OK) << written.err;
        EXPECT_EQ(written.out, "");
        EXPECT_EQ(written.err, "");
        FILE *f = fopen(path, "rb");
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(read_all(f), c.bom + shown.out);
    }
    ASSERT_EQ(run({"list", "-o", path, "--format", "csv"}).code, CLI_EXIT_OK);
    FILE *f = fopen(path, "rb");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(read_all(f).substr(0, 8), "\xEF\xBB\xBFname,");
    unlink(path);

    Outcome bad = run({"list", "--output", "/nonexistent/dir/list.csv"});
    EXPECT_EQ(bad.code, CLI_EXIT_FAILED);
    EXPECT_EQ(bad.out, "");
    EXPECT_EQ(bad.err, "manage-plugins-cli: cannot write \"/nonexistent/dir/list.csv\"\n");
}

// The header a .reg file opens with, after the UTF-16LE byte-order mark.
std::string reg_file_start()
{
    std::string s = "\xFF\xFE";
    for (const char *c = "Windows Registry Editor Version 5.00"; *c != '\0'; c++) {
        s += *c;
        s += '\0';
    }
    return s;
}

// The whole file, or "" when there is none.
std::string file_bytes(const std::string &path)
{
    FILE *f = fopen(path.c_str(), "rb");
    return f != nullptr ? read_all(f) : "";
}

TEST_F(CliCommands, ExportRegWritesTheRegistrationAndLeavesItInPlace)
{
    const std::string file = ::testing::TempDir() + "cli_export_reg.reg";
    std::string before = fx_whole_state(DX);
    Outcome x = run({"export-reg", "Room Reverb", "-o", file.c_str()});
    EXPECT_EQ(x.code, CLI_EXIT_OK) << x.err;
    EXPECT_EQ(x.out, std::string("export-reg \"Room Reverb\" ") + DX +
                         ": done\nwrote 12 keys and 6 values to \"" + file + "\"\n");
    EXPECT_EQ(x.err, "");
    EXPECT_EQ(file_bytes(file).substr(0, 74), reg_file_start());
    EXPECT_EQ(fx_whole_state(DX), before);
    unlink(file.c_str());

    // A refusal on one plug-in is told on its line, and no file is made.
    std::string server = "HKCR\\" + fx_clsid_key(DX) + "\\InprocServer32";
    fakereg_fail_on(FR_ENUM_VALUE, server.c_str(), nullptr, -1, ERROR_ACCESS_DENIED);
    Outcome f = run({"export-reg", VS, DX, "--output", file.c_str()});
    EXPECT_EQ(f.code, CLI_EXIT_FAILED);
    EXPECT_EQ(f.out, std::string("export-reg \"Room Reverb\" ") + DX +
                         ": failed: access denied (run as administrator) at " + said(server) + "\n");
    EXPECT_EQ(f.err, "manage-plugins-cli: nothing was written to \"" + file + "\"\n");
    EXPECT_EQ(file_bytes(file), "");
}

// The backup goes first; a registration is deleted only once it is written.
TEST_F(CliCommands, RemoveWithBackupRemovesOnlyWhatWasBackedUp)
{
    std::string before = fx_whole_state(DX);
    const std::string nowhere = ::testing::TempDir() + "cli_no_such_folder/backup.reg";
    Outcome bad = run({"remove", "--yes", "--backup", nowhere.c_str(), "Room Reverb"});
    EXPECT_EQ(bad.code, CLI_EXIT_FAILED);
    EXPECT_EQ(bad.out, "");
    EXPECT_EQ(bad.err, "manage-plugins-cli: export-reg failed: the file could not be written: "
                       "no such folder\n"
                       "manage-plugins-cli: nothing was written to \"" + nowhere + "\"\n"
                       "Nothing removed.\n");
    EXPECT_EQ(fx_whole_state(DX), before);

    const std::string file = ::testing::TempDir() + "cli_remove_backup.reg";
    const std::string option = "--backup=" + file;
    Outcome r = run({"remove", "-y", option.c_str(), DX});
    EXPECT_EQ(r.code, CLI_EXIT_OK) << r.err;
    EXPECT_EQ(r.out, std::string("export-reg \"Room Reverb\" ") + DX +
                         ": done\nwrote 12 keys and 6 values to \"" + file + "\"\n"
                         "remove \"Room Reverb\" " + DX + ": done; now: gone\n");
    EXPECT_EQ(file_bytes(file).substr(0, 74), reg_file_start());
    EXPECT_FALSE(fx_key_exists(HKEY_CLASSES_ROOT, fx_filter_key(DX).c_str()));
    EXPECT_FALSE(fx_key_exists(HKEY_CLASSES_ROOT, fx_clsid_key(DX).c_str()));
    unlink(file.c_str());
}

// A name in another script is named on the command line in UTF-8, as the
// program's entry point hands it on.
TEST_F(CliCommands, DisableAndEnableByANameInAnotherScript)
{
    const char name[] = "\xd0\x96\xd1\x83\xd0\xba \xd0\x94\xd0\xb8\xd0\xbb\xd1\x8d\xd0\xb9";
    ASSERT_TRUE(fx_set_exact_w(HKEY_CLASSES_ROOT, fx_clsid_key(DX).c_str(), nullptr, REG_SZ,
                               fx_w_bytes(name) + std::string(2, '\0')));
    std::string before = fx_whole_state(DX);
    Outcome d = run({"disable", name});
    EXPECT_EQ(d.code, CLI_EXIT_OK) << d.err;
    EXPECT_EQ(d.out, std::string("disable \"") + name + "\" " + DX +
                         ": done; now: disabled (saved in the disabled store)\n");
    EXPECT_FALSE(fx_key_exists(HKEY_CLASSES_ROOT, fx_clsid_key(DX).c_str()));
    Outcome e = run({"enable", name});
    EXPECT_EQ(e.code, CLI_EXIT_OK) << e.err;
    EXPECT_EQ(e.out, std::string("enable \"") + name + "\" " + DX + ": done; now: live\n");
    EXPECT_EQ(fx_whole_state(DX), before);
    // Exactly: another letter case or the first word alone names nothing.
    EXPECT_EQ(run({"disable", "\xd0\xb6\xd1\x83\xd0\xba \xd0\x94\xd0\xb8\xd0\xbb\xd1\x8d\xd0\xb9"}).code,
              CLI_EXIT_USAGE);
    EXPECT_EQ(run({"disable", "\xd0\x96\xd1\x83\xd0\xba"}).code, CLI_EXIT_USAGE);
}

TEST_F(CliCommands, VersionPrintsNameAndProjectVersion)
{
    Outcome v = run({"--version"});
    EXPECT_EQ(v.code, CLI_EXIT_OK);
    EXPECT_EQ(v.out, "manage-plugins-cli " + std::to_string(MP_VERSION_MAJOR) + "." +
                         std::to_string(MP_VERSION_MINOR) + "." +
                         std::to_string(MP_VERSION_PATCH) + "\n");
    EXPECT_EQ(v.err, "");
}

// ---- when the registry refuses a step --------------------------------------

// The step that was refused is the one named: here, creating the store entry.
TEST_F(CliCommands, StoreThatCannotBeCreatedIsNamed)
{
    std::string before = fx_whole_state(DX);
    fakereg_fail_on(FR_CREATE_KEY, ("HKCR\\" + fx_store_entry(DX)).c_str(), nullptr, -1,
                    ERROR_ACCESS_DENIED);
    Outcome d = run({"disable", DX});
    EXPECT_EQ(d.code, CLI_EXIT_FAILED);
    EXPECT_EQ(d.out, std::string("disable \"Room Reverb\" ") + DX +
                         ": failed: access denied (run as administrator) at HKLM\\Software\\Classes\\" +
                         fx_store_entry(DX) + "; now: live\n");
    EXPECT_EQ(fx_whole_state(DX), before);
}

TEST_F(CliCommands, LiveKeyThatCannotBeDeletedLeavesAPartlyLiveRegistration)
{
    fakereg_fail_on(FR_DELETE_KEY, ("HKCR\\" + fx_filter_key(DX)).c_str(), nullptr, -1,
                    ERROR_ACCESS_DENIED);
    Outcome d = run({"disable", DX, VS});
    EXPECT_EQ(d.code, CLI_EXIT_FAILED);
    EXPECT_EQ(d.out, std::string("disable \"Room Reverb\" ") + DX +
                         ": failed: access denied (run as administrator) at HKLM\\Software\\Classes\\Filter\\" + DX +
                         "; now: partly live (present: HKLM\\Software\\Classes\\Filter\\" + DX +
                         "; missing: HKLM\\Software\\Classes\\CLSID\\" + DX +
                         "), and a saved copy is in the disabled store\n"
                         "disable \"Widener\" " + VS +
                         ": done; now: disabled (saved in the disabled store)\n");

    // Enabling brings the whole registration back from the saved copy.
    fakereg_clear_faults();
    Outcome e = run({"enable", DX});
    EXPECT_EQ(e.code, CLI_EXIT_OK) << e.out;
    EXPECT_EQ(e.out, std::string("enable \"Room Reverb\" ") + DX + ": done; now: live\n");
}

TEST_F(CliCommands, EnablingAVs3EffectWithoutItsEffectsKeyNamesTheMissingKey)
{
    ASSERT_EQ(run({"disable", VS}).code, CLI_EXIT_OK);
    ASSERT_TRUE(fx_delete_tree(HKEY_LOCAL_MACHINE, VS3_EFFECTS_PATH));
    Outcome e = run({"enable", VS});
    EXPECT_EQ(e.code, CLI_EXIT_FAILED);
    EXPECT_EQ(e.out, std::string("enable \"Widener\" ") + VS +
                         ": failed: not found at HKLM\\" VS3_EFFECTS_PATH
                         "; now: partly live (present: HKLM\\Software\\Classes\\CLSID\\" + VS +
                         "; missing: VS3Effects value " + VS +
                         "), and a saved copy is in the disabled store\n");
    EXPECT_TRUE(fx_key_exists(HKEY_CLASSES_ROOT, fx_store_entry(VS).c_str()));
}

TEST_F(CliCommands, EnablingFromAnIncompleteSavedCopyNamesTheMissingPart)
{
    ASSERT_EQ(run({"disable", DX}).code, CLI_EXIT_OK);
    std::string saved_filter = fx_store_entry(DX) + "\\Filter";
    ASSERT_TRUE(fx_delete_tree(HKEY_CLASSES_ROOT, saved_filter.c_str()));
    Outcome e = run({"enable", DX});
    EXPECT_EQ(e.code, CLI_EXIT_FAILED);
    EXPECT_EQ(e.out, std::string("enable \"Room Reverb\" ") + DX + ": failed: not found at HKLM\\Software\\Classes\\" +
                         saved_filter + "\\" + DX + "; now: partly live (present: HKLM\\Software\\Classes\\CLSID\\" +
                         DX + "; missing: HKLM\\Software\\Classes\\Filter\\" + DX +
                         "), and a saved copy is in the disabled store\n");
    EXPECT_TRUE(fx_key_exists(HKEY_CLASSES_ROOT, fx_store_entry(DX).c_str()));
}

TEST_F(CliCommands, AClassIdentifierTextWithASeparatorIsRefused)
{
    // A VS3Effects value name may hold a separator; its "class key" is then a
    // key deeper down, which the operations refuse to touch.
    const char odd[] = "{E0E0E0E0-0000-4000-8000-000000000009}\\Sub";
    fx_vs3_effect(odd, "Odd", nullptr, "C:\\fx\\odd.dll");
    std::string before = fx_whole_state(odd);
    Outcome d = run({"disable", "Odd"});
    EXPECT_EQ(d.code, CLI_EXIT_FAILED);
    EXPECT_EQ(d.out, std::string("disable \"Odd\" ") + odd +
                         ": failed: its class identifier text cannot name a registry key; now: unchanged\n");
    EXPECT_EQ(fx_whole_state(odd), before);
    Outcome r = run({"remove", "--yes", "Odd"});
    EXPECT_EQ(r.code, CLI_EXIT_FAILED);
    EXPECT_EQ(fx_whole_state(odd), before);
}

// A refused delete is seen where it happened, deep in the class key.
TEST_F(CliCommands, ARefusedDeleteNamesTheKeyItFailedOn)
{
    std::string server = "HKCR\\" + fx_clsid_key(DX) + "\\InprocServer32";
    fakereg_fail_on(FR_DELETE_KEY, server.c_str(), nullptr, -1, ERROR_ACCESS_DENIED);
    Outcome d = run({"disable", DX});
    EXPECT_EQ(d.code, CLI_EXIT_FAILED);
    EXPECT_NE(d.out.find(": failed: access denied (run as administrator) at " + said(server) +
                         "; now: partly live (present: HKLM\\Software\\Classes\\CLSID\\"),
              std::string::npos)
        << d.out;
}

TEST_F(CliCommands, RemoveThatCannotDeleteASubkeyNamesIt)
{
    // A subkey that does not open for deletion, as one without the delete
    // right would not for a user who is not an administrator.
    std::string server = "HKCR\\" + fx_clsid_key(DX) + "\\InprocServer32";
    fakereg_fail_on(FR_OPEN_KEY_EX, server.c_str(), nullptr, -1, ERROR_ACCESS_DENIED);
    Outcome r = run({"remove", "--yes", DX});
    EXPECT_EQ(r.code, CLI_EXIT_FAILED);
    EXPECT_EQ(r.out, std::string("remove \"Room Reverb\" ") + DX +
                         ": failed: access denied (run as administrator) at " + said(server) +
                         "; now: partly live (present: HKLM\\Software\\Classes\\CLSID\\" + DX +
                         "; missing: HKLM\\Software\\Classes\\Filter\\" + DX + "), no saved copy\n");
    EXPECT_TRUE(fx_key_exists(HKEY_CLASSES_ROOT, fx_clsid_key(DX).c_str()));
}

} // namespace
