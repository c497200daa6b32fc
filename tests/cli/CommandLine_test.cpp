// Parsing of mtsrescue-cli's arguments and the promises of its help text.
#include "cli/CommandLine.h"

#include <gtest/gtest.h>

namespace mtsrescue {
namespace {

CliOptions Parse(std::vector<std::string> args) { return CommandLine::Parse(args); }

TEST(CommandLineTest, SourceAndDestWithLongAndShortFlagsInAnyOrder) {
  CliOptions a = Parse({"--json", "card.img", "--quiet", "out"});
  EXPECT_EQ(a.Source, "card.img");
  EXPECT_EQ(a.DestFolder, "out");
  EXPECT_TRUE(a.Json);
  EXPECT_TRUE(a.Quiet);
  EXPECT_FALSE(a.DryRun);

  CliOptions b = Parse({"-nqj", "/dev/sdb", "dest dir"});  // bundled short flags
  EXPECT_TRUE(b.DryRun && b.Quiet && b.Json);
  EXPECT_EQ(b.Source, "/dev/sdb");
  EXPECT_EQ(b.DestFolder, "dest dir");
}

TEST(CommandLineTest, DoubleDashLetsOperandsStartWithADash) {
  CliOptions options = Parse({"-q", "--", "-image.img", "--out"});
  EXPECT_TRUE(options.Quiet);
  EXPECT_EQ(options.Source, "-image.img");
  EXPECT_EQ(options.DestFolder, "--out");
  // A lone "-" is an operand, not an option.
  EXPECT_EQ(Parse({"-", "out"}).Source, "-");
}

TEST(CommandLineTest, DryRunMayOmitTheDestinationButARunMayNot) {
  CliOptions dry = Parse({"--dry-run", "card.img"});
  EXPECT_TRUE(dry.DryRun);
  EXPECT_EQ(dry.Source, "card.img");
  EXPECT_TRUE(dry.DestFolder.empty());
  EXPECT_THROW(Parse({"card.img"}), UsageError);
}

TEST(CommandLineTest, BadCommandLinesAreUsageErrors) {
  const std::vector<std::vector<std::string>> bad = {
      {},                                   // nothing
      {"a", "b", "c"},                      // one operand too many
      {"--bogus", "a", "b"},                // unknown long option
      {"-x", "a", "b"},                     // unknown short option
      {"-qx", "a", "b"},                    // unknown inside a bundle
      {"--json=yes", "a", "b"},             // flags take no value
      {"", "out"},                          // empty source
      {"card.img", ""},                     // empty destination
      {"--dry", "a", "b"},                  // no abbreviations: a typo must not run a recovery
  };
  for (const auto& args : bad) {
    std::string joined;
    for (const auto& a : args) joined += "[" + a + "]";
    EXPECT_THROW(Parse(args), UsageError) << joined;
  }
}

TEST(CommandLineTest, UsageErrorNamesTheOffendingArgument) {
  try {
    Parse({"--frobnicate", "a", "b"});
    FAIL() << "no UsageError";
  } catch (const UsageError& error) {
    EXPECT_NE(std::string(error.what()).find("--frobnicate"), std::string::npos);
  }
}

TEST(CommandLineTest, HelpAndVersionNeedNoOperands) {
  EXPECT_TRUE(Parse({"--help"}).Help);
  EXPECT_TRUE(Parse({"-h"}).Help);
  EXPECT_TRUE(Parse({"--version"}).Version);
  EXPECT_TRUE(Parse({"-V", "extra", "operands", "ignored"}).Version);
}

TEST(CommandLineTest, HelpDocumentsEveryExitCodeAndEveryOption) {
  const std::string help = CommandLine::HelpText("mtsrescue-cli");
  for (const char* code : {"  0  ", "  1  ", "  2  ", "  3  ", "  4  "}) {
    EXPECT_NE(help.find(code), std::string::npos) << "exit code line" << code;
  }
  for (const char* option : {"--dry-run", "--json", "--quiet", "--help", "--version"}) {
    EXPECT_NE(help.find(option), std::string::npos) << option;
  }
  EXPECT_NE(help.find("Usage: mtsrescue-cli"), std::string::npos);
  EXPECT_EQ(static_cast<int>(ExitCode::Interrupted), 4);
  EXPECT_EQ(static_cast<int>(ExitCode::Export), 3);
}

}  // namespace
}  // namespace mtsrescue
