// The command line as the program reads it, and the texts --help and
// --version write.
#include "app/options.hpp"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace {

struct Row {
  std::vector<std::string> arguments;
  app::Request request;
  std::string_view named{};  // the argument an error names
};

app::CommandLine read(std::vector<std::string>& arguments) {
  std::vector<char*> pointers;
  pointers.reserve(arguments.size());
  for (std::string& argument : arguments) pointers.push_back(argument.data());
  return app::read_command_line(pointers);
}

TEST(CommandLine, IsReadAsGetoptLongReadsIt) {
  using enum app::Request;
  const Row rows[] = {
      {{}, calculate},
      {{"--"}, calculate},
      {{"--help"}, help},
      {{"--h"}, help},
      {{"--he"}, help},
      {{"--hel"}, help},
      {{"--v"}, version},
      {{"--version"}, version},
      {{"--", "--help"}, extra_argument, "--help"},
      {{"-"}, extra_argument, "-"},
      {{"foo"}, extra_argument, "foo"},
      {{"--help", "foo"}, extra_argument, "foo"},
      {{"--help", "--"}, help},
      {{"--help", "--", "-"}, extra_argument, "-"},
      {{"--help", "--version"}, extra_argument, "--version"},
      {{"--version", "--help"}, extra_argument, "--help"},
      {{"--help", "--help"}, extra_argument, "--help"},
      {{"--he", "--v", "x"}, extra_argument, "--v"},
      {{"--", "--"}, extra_argument, "--"},
      {{"foo", "--help"}, extra_argument, "foo"},
      {{"foo", "--x"}, extra_argument, "foo"},
      {{"--hilfe"}, unknown_argument, "--hilfe"},
      {{"--helpx"}, unknown_argument, "--helpx"},
      {{"--versions"}, unknown_argument, "--versions"},
      {{"--help=ja"}, unknown_argument, "--help=ja"},
      {{"--version=1"}, unknown_argument, "--version=1"},
      {{"-h"}, unknown_argument, "-h"},
      {{"-hv"}, unknown_argument, "-hv"},
      {{"---help"}, unknown_argument, "---help"},
      {{"--help", "--x"}, unknown_argument, "--x"},
      {{"--x", "--help"}, unknown_argument, "--x"},
      {{"/?"}, extra_argument, "/?"},
  };
  for (const Row& row : rows) {
    std::vector<std::string> arguments = row.arguments;
#ifdef _WIN32
    if (arguments == std::vector<std::string>{"/?"}) {
      EXPECT_EQ(read(arguments).request, help);
      continue;
    }
#endif
    const app::CommandLine read_line = read(arguments);
    std::string shown;
    for (const std::string& argument : row.arguments) shown += " " + argument;
    EXPECT_EQ(read_line.request, row.request) << shown;
    EXPECT_EQ(read_line.argument, row.named) << shown;
    EXPECT_EQ(arguments, row.arguments) << "the arguments themselves are left as they were:" << shown;
  }
}

TEST(CommandLine, ReadTwiceReadsTheSame) {
  std::vector<std::string> first = {"--help", "foo"};
  std::vector<std::string> second = {"--version"};
  EXPECT_EQ(read(first).request, app::Request::extra_argument);
  EXPECT_EQ(read(second).request, app::Request::version);
  EXPECT_EQ(read(first).argument, "foo");
}

std::vector<std::string_view> lines_of(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    lines.push_back(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
  }
  return lines;
}

TEST(HelpText, FitsA79ColumnTerminalAndEndsWithWhereToReportBugs) {
  ASSERT_TRUE(app::kHelpText.ends_with("\n"));
  // CP850: one byte, one column.
  for (const std::string_view line : lines_of(app::kHelpText)) {
    EXPECT_LE(line.size(), 79U) << line;
  }
  EXPECT_EQ(lines_of(app::kHelpText).back(), "Fehler melden an: <" TASCHENRECHNER_BUG_ADDRESS ">");
}

TEST(VersionText, HasTheVersionCopyrightLicenceAndNoWarrantyLines) {
  const std::vector<std::string_view> lines = lines_of(app::kVersionText);
  ASSERT_EQ(lines.size(), 5U) << app::kVersionText;
  EXPECT_EQ(lines[0], "taschenrechner " TASCHENRECHNER_VERSION);
  EXPECT_TRUE(lines[1].starts_with("Copyright (C) 2026 ")) << lines[1];
  EXPECT_TRUE(lines[2].starts_with("Lizenz: MIT")) << lines[2];
  EXPECT_TRUE(lines[4].starts_with("Es gibt KEINE GARANTIE")) << lines[4];
  for (const std::string_view line : lines) EXPECT_LE(line.size(), 79U) << line;
}

}  // namespace
