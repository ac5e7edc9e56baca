#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "escapes.h"
#include "render_text.h"
#include "scenario.h"
#include "sim_tool.h"
#include "tool_tables.h"

namespace {

// What runScenario prints, and the status it returns.
struct Played {
  std::string bytes;
  int status = 0;
};

Played play(const ToolTable& table, const std::string& scenario, const std::string& run,
            const char* forced = nullptr) {
  std::FILE* out = std::tmpfile();
  if (!out) throw std::runtime_error("no temporary file");
  Played played;
  try {
    played.status = runScenario(table, scenario, run, out, forced);
  } catch (...) {
    std::fclose(out);
    throw;
  }
  std::rewind(out);
  char block[4096];
  for (std::size_t got; (got = std::fread(block, 1, sizeof block, out)) > 0;) {
    played.bytes.append(block, got);
  }
  std::fclose(out);
  return played;
}

std::string errorOf(const std::string& scenario, const std::string& run = "") {
  try {
    parseScenario(scenario, run);
  } catch (const std::runtime_error& error) {
    return error.what();
  }
  return "no error";
}

}  // namespace

TEST(Escapes, DecodeEveryKnownEscape) {
  EXPECT_EQ(decodeEscapes(R"(a\r\n\tb\\c)"), "a\r\n\tb\\c");
  EXPECT_EQ(decodeEscapes(R"(\0x)"), std::string("\0x", 2));
  EXPECT_EQ(decodeEscapes(R"(\x41\xff\x0a)"), "A\xff\n");
}

TEST(Escapes, KeepWhatIsNoEscape) {
  EXPECT_EQ(decodeEscapes(R"(\q)"), R"(\q)");
  EXPECT_EQ(decodeEscapes(R"(\x4)"), R"(\x4)");
  EXPECT_EQ(decodeEscapes(R"(\xzz)"), R"(\xzz)");
  EXPECT_EQ(decodeEscapes("end\\"), "end\\");
}

TEST(ScenarioParser, EmptyTextHasNothing) {
  Scenario scenario = parseScenario("", "");
  EXPECT_TRUE(scenario.steps.empty());
  EXPECT_TRUE(scenario.values.empty());
  EXPECT_EQ(scenario.paceMs, 0);
}

TEST(ScenarioParser, ReadsEveryStep) {
  Scenario scenario = parseScenario(
      "behaviour crash\nout hello\\r\\n\nrepeat 3 ab\ncount 5 0 {n}\nfile big.bin\n"
      "sleep 250\nexit 7\nkill\nawait go.flag\ntouch end.flag\n",
      "");
  ASSERT_EQ(scenario.steps.size(), 10u);
  const std::vector<Step>& s = scenario.steps;
  EXPECT_EQ(s[0].kind, StepKind::behaviour);
  EXPECT_EQ(s[0].text, "crash");
  EXPECT_EQ(s[1].kind, StepKind::out);
  EXPECT_EQ(s[1].text, R"(hello\r\n)");  // decoded only when printed
  EXPECT_EQ(s[2].kind, StepKind::repeat);
  EXPECT_EQ(s[2].first, 3);
  EXPECT_EQ(s[2].text, "ab");
  EXPECT_EQ(s[3].kind, StepKind::count);
  EXPECT_EQ(s[3].first, 5);
  EXPECT_EQ(s[3].last, 0);
  EXPECT_EQ(s[3].text, "{n}");
  EXPECT_EQ(s[4].kind, StepKind::file);
  EXPECT_EQ(s[4].text, "big.bin");
  EXPECT_EQ(s[5].kind, StepKind::sleep);
  EXPECT_EQ(s[5].first, 250);
  EXPECT_EQ(s[6].kind, StepKind::exit);
  EXPECT_EQ(s[6].first, 7);
  EXPECT_EQ(s[7].kind, StepKind::kill);
  EXPECT_EQ(s[8].kind, StepKind::await);
  EXPECT_EQ(s[8].text, "go.flag");
  EXPECT_EQ(s[9].kind, StepKind::touch);
  EXPECT_EQ(s[9].text, "end.flag");
}

TEST(ScenarioParser, TextIsEverythingAfterOneBlank) {
  Scenario scenario = parseScenario("out   two blanks kept  \nrepeat 2  x \nout\n", "");
  ASSERT_EQ(scenario.steps.size(), 3u);
  EXPECT_EQ(scenario.steps[0].text, "  two blanks kept  ");
  EXPECT_EQ(scenario.steps[1].text, " x ");
  EXPECT_EQ(scenario.steps[2].text, "");
}

TEST(ScenarioParser, SkipsCommentsAndBlankLinesAndCountsLines) {
  Scenario scenario = parseScenario("# note\r\n\r\n   # indented note\n  \nout # kept\r\n", "");
  ASSERT_EQ(scenario.steps.size(), 1u);
  EXPECT_EQ(scenario.steps[0].text, "# kept");
  EXPECT_EQ(scenario.steps[0].line, 5);
}

TEST(ScenarioParser, ValuesAreDecodedAndMayBeEmpty) {
  Scenario scenario = parseScenario("bios N01 Ver. 1.05.2\\x20\ntool-version\npace 40\n", "");
  ASSERT_EQ(scenario.values.size(), 2u);
  EXPECT_EQ(scenario.values[0].key, "bios");
  EXPECT_EQ(scenario.values[0].text, "N01 Ver. 1.05.2 ");
  EXPECT_EQ(scenario.values[1].key, "tool-version");
  EXPECT_EQ(scenario.values[1].text, "");
  EXPECT_EQ(scenario.values[1].line, 2);
  EXPECT_EQ(scenario.paceMs, 40);
  EXPECT_TRUE(scenario.steps.empty());
}

TEST(ScenarioParser, SectionsKeepOnlyTheirRun) {
  const std::string text =
      "out common\n[-fwver]\nout query\nfwver 11.8\n[-f]\nout update\n[-fwver]\nout again\n";
  Scenario query = parseScenario(text, "-fwver");
  ASSERT_EQ(query.steps.size(), 3u);
  EXPECT_EQ(query.steps[0].text, "common");
  EXPECT_EQ(query.steps[1].text, "query");
  EXPECT_EQ(query.steps[2].text, "again");
  ASSERT_EQ(query.values.size(), 1u);

  Scenario update = parseScenario(text, "-f");
  ASSERT_EQ(update.steps.size(), 2u);
  EXPECT_EQ(update.steps[1].text, "update");
  EXPECT_TRUE(update.values.empty());

  EXPECT_EQ(parseScenario(text, "").steps.size(), 1u);
}

TEST(ScenarioParser, MistakesNameTheirLine) {
  EXPECT_EQ(errorOf("out a\nrepeat x b\n"), "line 2: \"x\" is not a number");
  EXPECT_EQ(errorOf("sleep -5"), "line 1: \"-5\" is not a number");
  EXPECT_EQ(errorOf("count 1"), "line 1: \"\" is not a number");
  EXPECT_EQ(errorOf("repeat 1234567890123456 x"), "line 1: \"1234567890123456\" is not a number");
  EXPECT_EQ(errorOf("sleep 5 ms"), "line 1: unexpected text after \"sleep\"");
  EXPECT_EQ(errorOf("kill now"), "line 1: unexpected text after \"kill\"");
  EXPECT_EQ(errorOf("behaviour"), "line 1: \"behaviour\" needs a name");
  EXPECT_EQ(errorOf("file"), "line 1: \"file\" needs a name");
  EXPECT_EQ(errorOf("await"), "line 1: \"await\" needs a name");
  EXPECT_EQ(errorOf("touch"), "line 1: \"touch\" needs a name");
  EXPECT_EQ(errorOf("exit 2147483648"), "line 1: exit status 2147483648 is too large");
  EXPECT_EQ(errorOf("pace fast"), "line 1: \"fast\" is not a number");
}

TEST(ScenarioParser, MistakesInAnotherRunsSectionStillShow) {
  EXPECT_EQ(errorOf("[-f]\nrepeat many x\n", "-fwver"), "line 2: \"many\" is not a number");
}

TEST(RenderText, ReplacesKnownKeysAndDecodesTheRest) {
  Values values{{"bios", "N01"}, {"path", "C:\\x41"}};
  EXPECT_EQ(renderText(R"(\t{bios}\r\n)", values), "\tN01\r\n");
  EXPECT_EQ(renderText("{path}", values), "C:\\x41");  // a value is taken as it is
  EXPECT_EQ(renderText("{other} {bios", values), "{other} {bios");
  EXPECT_EQ(renderText(R"(\x7bbios})", values), "{bios}");
  EXPECT_EQ(renderText(R"(\\{bios}\\)", values), "\\N01\\");
  EXPECT_EQ(renderText("{{bios}}", values), "{N01}");
}

TEST(RenderText, CountValuesPadAndSpin) {
  Values values{{"fwver", "1.2"}};
  EXPECT_EQ(renderText("[{n3}|{n}|{fwver}]", countValues(values, 5)), "[  5|5|1.2]");
  EXPECT_EQ(renderText("[{n3}]", countValues(values, 100)), "[100]");
  EXPECT_EQ(renderText("[{n3}]", countValues(values, 12345)), "[12345]");
  std::string spins;
  for (int n = 0; n < 6; ++n) {
    spins += renderText("{spin}", countValues(values, n));
  }
  EXPECT_EQ(spins, "|/-\\|/");
}

TEST(ToolRun, PrimitivesPrintExactBytes) {
  Played played =
      play(meInfoTable(), "out a\\0b\\xff\\r\\n\nrepeat 3 xy\ncount 3 1 <{n}>\nout {mebx}\n", "");
  EXPECT_EQ(played.bytes, std::string("a\0b\xff\r\nxyxyxy<3><2><1>11.0.0.0012", 32));
  EXPECT_EQ(played.status, 0);
}

TEST(ToolRun, ExitEndsTheOutputWithItsStatus) {
  Played played = play(wmicTable(), "out before\nexit 42\nout after\n", "bios");
  EXPECT_EQ(played.bytes, "before");
  EXPECT_EQ(played.status, 42);
}

TEST(ToolRun, FilePrintsItsBytesUnchanged) {
  const std::string name = "sim-test-file.bin";
  std::string bytes(200000, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    bytes[i] = static_cast<char>(i * 7 % 256);
  }
  std::ofstream(name, std::ios::binary).write(bytes.data(), bytes.size());
  Played played = play(wmicTable(), "out <\nfile " + name + "\nout >\n", "bios");
  std::remove(name.c_str());
  EXPECT_EQ(played.bytes, "<" + bytes + ">");
}

TEST(ToolRun, MistakesAreFoundBeforeAnythingIsPrinted) {
  const ToolTable& table = fwUpdLclTable();
  EXPECT_THROW(play(table, "out x\nfile no-such-file.bin\n", "-f"), std::runtime_error);
  EXPECT_THROW(play(table, "out x\nbehaviour no-such-behaviour\n", "-f"), std::runtime_error);
  EXPECT_THROW(play(table, "bios N01 Ver. 1.05.2\n", "-fwver"), std::runtime_error);
  // Named outputs of one run are not there for another.
  EXPECT_THROW(play(table, "behaviour many-colons\n", "-f"), std::runtime_error);
  try {
    play(table, "out x\nfwvr 1.2\n", "-fwver");
    FAIL() << "an unknown key was accepted";
  } catch (const std::runtime_error& error) {
    EXPECT_STREQ(error.what(), "line 2: unknown key \"fwvr\"");
  }
}

TEST(ToolRun, StepsReplaceTheDefaultAndAForcedBehaviourReplacesThem) {
  const ToolTable& table = fwUpdLclTable();
  EXPECT_EQ(play(table, "out only this\n", "-fwver").bytes, "only this");
  std::string expected = play(table, "", "-fwver").bytes;
  expected.replace(expected.find("11.8.50.3399"), 12, "1.2");
  EXPECT_EQ(play(table, "fwver 1.2\n", "-fwver").bytes, expected);
  Played refused = play(table, "out ignored\n", "-f", "missing-image");
  EXPECT_EQ(refused.bytes.find("ignored"), std::string::npos);
  EXPECT_NE(refused.bytes.find("Error 8199: "), std::string::npos);
  EXPECT_EQ(refused.status, 1);
}

TEST(ToolRun, EveryBuiltInBehaviourExpandsForItsRun) {
  for (const ToolTable* table : {&wmicTable(), &fwUpdLclTable(), &meInfoTable()}) {
    for (const Behaviour& behaviour : table->behaviours) {
      SCOPED_TRACE(std::string(table->tool) + " " + behaviour.run + " " + behaviour.name);
      Scenario own = parseScenario(behaviour.steps, behaviour.run);
      EXPECT_TRUE(own.values.empty());
      EXPECT_EQ(own.paceMs, 0);
      Step step;
      step.kind = StepKind::behaviour;
      step.text = behaviour.name;
      for (const Step& expanded : expandBehaviours({step}, *table, behaviour.run)) {
        EXPECT_NE(expanded.kind, StepKind::behaviour);
      }
    }
  }
}
