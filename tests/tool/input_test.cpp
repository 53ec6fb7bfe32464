// The input side: batch splitting on "go", procedure-call detection, --param values,
// the command line and the password sources.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include "BatchSource.h"
#include "Batches.h"
#include "Options.h"
#include "ParamValues.h"
#include "Password.h"
#include "tovrin5/host/DateTime.h"
#include "tovrin5/host/FieldsBcd.h"
#include "tovrin5/host/Params.h"

namespace host = tovrin::host;

using namespace tovrin::sqltool;

TEST(Batches, GoLinesEndBatchesWhateverTheirCaseAndBlanks) {
    const auto batches =
        splitBatches("select 1\r\nGO\r\n  select 2\nselect 3\n\t go \ngo\nselect 4");
    ASSERT_EQ(batches.size(), 3u);
    EXPECT_EQ(batches[0], "select 1\n");
    EXPECT_EQ(batches[1], "  select 2\nselect 3\n");
    EXPECT_EQ(batches[2], "select 4\n");
}

TEST(Batches, GoInsideALineOrAWordIsTextAndGoNRepeats) {
    const auto batches = splitBatches("select 'go' as go\nselect gopher from t\ngo 2\n");
    ASSERT_EQ(batches.size(), 1u);
    EXPECT_EQ(batches[0], "select 'go' as go\nselect gopher from t\n");

    BatchSplitter s;
    EXPECT_EQ(s.addLine("", 1), BatchSplitter::LineOutcome::Collected);
    EXPECT_EQ(s.addLine("select 1", 2), BatchSplitter::LineOutcome::Collected);
    EXPECT_EQ(s.addLine("  GO 3 ", 3), BatchSplitter::LineOutcome::BatchReady);
    EXPECT_EQ(s.takeBatch(), "\nselect 1\n");
    EXPECT_EQ(s.takenRepeat(), 3);
    EXPECT_EQ(s.takenFirstLine(),
              1); // the server counts the batch's lines from its first, blank or not
    for (const char* text : {"go 0", "go x", "go 3 4", "go -1", "gone"})
        EXPECT_EQ(goLineCount(text), 0) << text;
    EXPECT_EQ(s.addLine(":r  other file.sql "), BatchSplitter::LineOutcome::ReadFile);
    EXPECT_EQ(s.fileToRead(), "other file.sql");
    EXPECT_EQ(s.addLine("select :rate"), BatchSplitter::LineOutcome::Collected); // a marker, not :r
}

TEST(Batches, ResetDropsAndQuitEnds) {
    EXPECT_EQ(splitBatches("select 1\nreset\nselect 2\ngo\nselect 3\nquit\nselect 4\ngo\n"),
              std::vector<std::string>{"select 2\n"});
    EXPECT_TRUE(splitBatches("\n  \ngo\n\n").empty());
}

TEST(Batches, SplitterReportsEachLine) {
    BatchSplitter s;
    EXPECT_EQ(s.addLine("select 1"), BatchSplitter::LineOutcome::Collected);
    EXPECT_EQ(s.pendingLines(), 1);
    EXPECT_EQ(s.addLine("go"), BatchSplitter::LineOutcome::BatchReady);
    EXPECT_EQ(s.takeBatch(), "select 1\n");
    EXPECT_EQ(s.pendingLines(), 0);
    EXPECT_EQ(s.addLine("go"), BatchSplitter::LineOutcome::Collected); // nothing to send
    EXPECT_EQ(s.addLine("EXIT"), BatchSplitter::LineOutcome::Quit);
}

TEST(Batches, AnotherTerminatorAndTheTerminalCommands) {
    // With another word, "go" is text like any other.
    EXPECT_EQ(splitBatches("select 1\n;\nselect 2\n; 2\ngo\n", ";"),
              (std::vector<std::string>{"select 1\n", "select 2\n", "go\n"}));
    EXPECT_EQ(goLineCount("RUN 3", "run"), 3);
    EXPECT_EQ(goLineCount("go", "run"), 0);

    using Outcome = BatchSplitter::LineOutcome;
    BatchSplitter terminal("go", true, "nano");
    EXPECT_EQ(terminal.addLine("select 1"), Outcome::Collected);
    EXPECT_EQ(terminal.pendingText(), "select 1\n");
    for (const char* edit : {"vi", " VI ", "nano"})
        EXPECT_EQ(terminal.addLine(edit), Outcome::Edit) << edit;
    EXPECT_EQ(terminal.addLine(" !! "), Outcome::RunLast);
    EXPECT_EQ(terminal.addLine("!! ls -l"), Outcome::Shell);
    EXPECT_EQ(terminal.shellCommand(), "ls -l");
    // Read from a file or a pipe, the same lines are SQL.
    BatchSplitter file;
    for (const char* line : {"vi", "!!", "!! ls"})
        EXPECT_EQ(file.addLine(line), Outcome::Collected) << line;
}

TEST(BatchSource, TerminalCommandsOnlyWhenTypedAndBangBangRepeats) {
    const std::string file = ::testing::TempDir() + "/bang-in-file.sql";
    {
        std::ofstream out(file);
        out << "select 1 as one\n!! touch " << file << ".ran\ngo\n";
    }
    // Lines given as if typed on the terminal.
    std::istringstream typed(":r " + file + "\nselect 2\n!!\ngo\n");
    auto lines = makeStreamReader(typed);
    SourceSettings settings;
    settings.interactive = true;
    BatchSource source(*lines, settings, nullptr);
    std::ostringstream err;
    std::vector<std::string> sent;
    while (auto batch = source.next(err))
        sent.push_back(batch->sql);
    // The file's "!!" line is its text; the typed one runs the last batch again, and the
    // batch being typed around it goes on.
    const std::string fromFile = "select 1 as one\n!! touch " + file + ".ran\n";
    EXPECT_EQ(sent, (std::vector<std::string>{fromFile, fromFile, "select 2\n"})) << err.str();
    EXPECT_NE(access((file + ".ran").c_str(), F_OK), 0);
}

TEST(Params, ArgumentForms) {
    auto s = parseParamSetting("low=10");
    EXPECT_EQ(s.name, "low");
    EXPECT_EQ(s.type, ParamSetting::Type::ByForm);
    EXPECT_EQ(s.value, "10");
    s = parseParamSetting(":when:datetime=2026-12-07 14:05:09");
    EXPECT_EQ(s.name, "when");
    EXPECT_EQ(s.type, ParamSetting::Type::DateTime);
    EXPECT_EQ(s.value, "2026-12-07 14:05:09");
    s = parseParamSetting("t:TEXT=a=b");
    EXPECT_EQ(s.type, ParamSetting::Type::Text);
    EXPECT_EQ(s.value, "a=b");
    EXPECT_THROW((void)parseParamSetting("novalue"), UsageError);
    EXPECT_THROW((void)parseParamSetting("=5"), UsageError);
    EXPECT_THROW((void)parseParamSetting("x:money=5"), UsageError);
}

TEST(Params, ValuesTypedByTheirForm) {
    host::TParams params;
    auto* p = params.CreateParam(host::ftUnknown, "p", host::ptUnknown);
    auto assign = [&](const std::string& argument) {
        assignParam(*p, parseParamSetting(argument));
    };

    assign("p=42");
    EXPECT_EQ(p->DataType(), host::ftInteger);
    EXPECT_EQ(p->AsInteger(), 42);
    assign("p=-3000000000"); // beyond 32 bits: a bigint
    EXPECT_EQ(p->DataType(), host::ftLargeint);
    EXPECT_EQ(p->AsLargeInt(), -3000000000LL);
    // A decimal point makes an exact decimal; beyond 64 bits a whole number is one too.
    for (const char* exact : {"922337203685477.5807", "-0.125", "12345678901234567890123"}) {
        assign(std::string("p=") + exact);
        EXPECT_EQ(p->DataType(), host::ftBCD) << exact;
        EXPECT_EQ(host::BCDToStr(p->AsBCD()), exact);
    }
    // A float keeps about 16 digits: only asked for by name.
    EXPECT_THROW(assign("p=1e3"), UsageError);
    assign("p:float=1e3");
    EXPECT_EQ(p->AsFloat(), 1000.0);
    assign("p=2026-12-07T14:05:09.045");
    EXPECT_EQ(p->DataType(), host::ftDateTime);
    EXPECT_EQ(host::FormatDateTime("yyyy-mm-dd hh:nn:ss.zzz", p->AsDateTime()),
              "2026-12-07 14:05:09.045");
    assign("p=O'Brien");
    EXPECT_EQ(p->DataType(), host::ftString);
    EXPECT_EQ(p->AsString(), "O'Brien");
    assign("p=1,5");
    EXPECT_EQ(p->DataType(), host::ftString);
    assign("p=null");
    EXPECT_TRUE(p->IsNull());
    EXPECT_TRUE(p->Bound());
}

TEST(Params, ExplicitTypesAndTheirErrors) {
    host::TParams params;
    auto* p = params.CreateParam(host::ftUnknown, "p", host::ptUnknown);
    auto assign = [&](const std::string& argument) {
        assignParam(*p, parseParamSetting(argument));
    };
    assign("p:text=42");
    EXPECT_EQ(p->DataType(), host::ftString);
    EXPECT_EQ(p->AsString(), "42");
    assign("p:text=NULL");
    EXPECT_FALSE(p->IsNull());
    assign("p:float=3");
    EXPECT_EQ(p->DataType(), host::ftFloat);
    assign("p:bool=true");
    EXPECT_EQ(p->DataType(), host::ftBoolean);
    EXPECT_TRUE(p->AsBoolean());
    assign("p:null=");
    EXPECT_TRUE(p->IsNull());
    EXPECT_THROW(assign("p:int=4.5"), UsageError);
    EXPECT_THROW(assign("p:float=abc"), UsageError);
    EXPECT_THROW(assign("p:datetime=tomorrow"), UsageError);
    EXPECT_THROW(assign("p:bool=maybe"), UsageError);
    EXPECT_THROW(assign("p:decimal=1e3"), UsageError);
    EXPECT_THROW(assign("p:int=99999999999999999999"), UsageError);
}

TEST(Params, EveryMarkerOfTheNameGetsTheValue) {
    host::TParams params;
    params.CreateParam(host::ftUnknown, "x", host::ptUnknown);
    params.CreateParam(host::ftUnknown, "y", host::ptUnknown);
    params.CreateParam(host::ftUnknown, "X", host::ptUnknown);
    const auto unmatched = applyParams(
        params, {parseParamSetting("x=5"), parseParamSetting("zz=1"), parseParamSetting("y=a")});
    EXPECT_EQ(params.Items(0)->AsInteger(), 5);
    EXPECT_EQ(params.Items(2)->AsInteger(), 5);
    EXPECT_EQ(params.Items(1)->AsString(), "a");
    EXPECT_EQ(unmatched, std::vector<std::string>{"zz"});
}

namespace {

ParsedCommandLine parse(std::vector<std::string> args) {
    args.insert(args.begin(), "tovrin-sql");
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    return parseCommandLine(static_cast<int>(argv.size()), argv.data());
}

} // namespace

TEST(CommandLine, EveryOptionLandsInItsField) {
    const auto parsed =
        parse({"-S",       "DEV",       "-U",      "sa",       "-P",     "pw",       "-D",
               "db",       "--timeout", "5",       "-A",       "4096",   "-Q",       "select 1",
               "--param",  "a=1",       "--param", "b:text=x", "--sort", "f1;f2",    "--desc",
               "--nocase", "--filter",  "a > 1",   "--locate", "a=1",    "--locate", "b=2",
               "-f",       "JSON",      "-o",      "out.json", "--app",  "myapp",    "-q"});
    const ToolOptions& o = parsed.options;
    EXPECT_FALSE(parsed.exitText);
    EXPECT_EQ(o.server, "DEV");
    EXPECT_EQ(o.user, "sa");
    EXPECT_EQ(o.password, "pw");
    EXPECT_EQ(o.database, "db");
    EXPECT_EQ(o.timeoutSeconds, 5);
    EXPECT_EQ(o.packetSize, 4096);
    EXPECT_EQ(o.query, "select 1");
    EXPECT_EQ(o.params, (std::vector<std::string>{"a=1", "b:text=x"}));
    EXPECT_EQ(o.sortFields, "f1;f2");
    EXPECT_TRUE(o.sortDescending);
    EXPECT_TRUE(o.ignoreCase);
    EXPECT_EQ(o.filter, "a > 1");
    EXPECT_EQ(o.locate, (std::vector<std::string>{"a=1", "b=2"}));
    EXPECT_EQ(o.format, OutputFormat::Json);
    EXPECT_EQ(o.outputFile, "out.json");
    EXPECT_EQ(o.appName, "myapp");
    EXPECT_TRUE(o.quiet);
}

TEST(CommandLine, IsqlOptionsLandInTheirFieldsAndTheOthersAreAccepted) {
    const ToolOptions o =
        parse({"-S",      "DEV", "-b", "-s|",    "-w", "120", "-c", ";",      "-t",
               "30",      "-l",  "9",  "-m",     "11", "-n",  "-E", "nano",   "-I",
               "my.conf", "-X",  "-z", "french", "-H", "box", "-o", "out.txt"})
            .options;
    EXPECT_TRUE(o.noHeaders);
    EXPECT_EQ(o.columnSeparator, "|");
    EXPECT_EQ(o.width, 120);
    EXPECT_EQ(o.terminator, ";");
    EXPECT_EQ(o.commandTimeout, 30);
    EXPECT_EQ(o.loginTimeout, 9);
    EXPECT_EQ(o.errorLevel, 11);
    EXPECT_TRUE(o.noPrompt);
    EXPECT_EQ(o.editor, "nano");
    EXPECT_EQ(o.interfacesFile, "my.conf");
    EXPECT_EQ(o.outputFile, "out.txt");
    EXPECT_TRUE(parse({"-v"}).exitText);
    EXPECT_THROW(parse({"-S", "D", "-c", "two words"}), UsageError);
}

TEST(CommandLine, WrongCommandLinesAreRefused) {
    EXPECT_THROW(parse({"-Q", "select 1"}), UsageError);                    // no server
    EXPECT_THROW(parse({"-S", "D", "-Q", "x", "-i", "f.sql"}), UsageError); // two sources
    EXPECT_THROW(parse({"-S", "D", "--format", "xml"}), UsageError);
    EXPECT_THROW(parse({"-S", "D", "--timeout", "-1"}), UsageError);
    EXPECT_THROW(parse({"-S", "D", "-A", "32768"}), UsageError);
    EXPECT_THROW(parse({"-S", "D", "-A", "100"}), UsageError);
    EXPECT_EQ(parse({"-S", "D", "-A", "0"}).options.packetSize, 0);
    EXPECT_THROW(parse({"-S", "D", "--no-such-option"}), UsageError);
    EXPECT_TRUE(parse({"--help"}).exitText);
    EXPECT_TRUE(parse({"--version"}).exitText);
}

TEST(CommandLine, PasswordIsScrubbedFromTheArguments) {
    std::string a0 = "tovrin-sql", a1 = "-P", a2 = "secret", a3 = "--password=hidden",
                a4 = "-Pglued", a5 = "-S", a6 = "DEV";
    char* argv[] = {a0.data(), a1.data(), a2.data(), a3.data(), a4.data(), a5.data(), a6.data()};
    scrubPasswordArgument(7, argv);
    EXPECT_STREQ(argv[2], "xxxxxx");
    EXPECT_STREQ(argv[3], "--password=xxxxxx");
    EXPECT_STREQ(argv[4], "-Pxxxxx");
    EXPECT_STREQ(argv[6], "DEV");
}

TEST(Password, CommandLineThenEnvironmentThenPrompt) {
    int prompts = 0;
    const PasswordPrompt prompt = [&]() -> std::optional<std::string> {
        ++prompts;
        return "typed";
    };
    EXPECT_EQ(resolvePassword(std::string("given"), "env", prompt), "given");
    EXPECT_EQ(resolvePassword(std::string(""), "env", prompt), ""); // an empty -P is a choice
    EXPECT_EQ(resolvePassword(std::nullopt, "env", prompt), "env");
    EXPECT_EQ(prompts, 0);
    EXPECT_EQ(resolvePassword(std::nullopt, nullptr, prompt), "typed");
    EXPECT_EQ(prompts, 1);
    EXPECT_EQ(resolvePassword(std::nullopt, nullptr, [] { return std::optional<std::string>(); }),
              "");
}
