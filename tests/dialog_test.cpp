#include "calculator/dialog.hpp"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

using calculator::DialogEnd;
using calculator::run_calculation_dialog;

// The dialog's texts, spelled out here on their own so that a changed byte
// in the program shows up as a failure.
const std::string kAsk = "Geb' das Rechenzeichen [+], [-], [*] oder [/] ein: \n";
const std::string kNumbers = "Geb' die erste Zahl ein: Geb' die zweite Zahl ein: \n";
const std::string kHead = "Das Ergebnis der Rechenaufgabe  ";
const std::string kMiddle = "  ist: ";
const std::string kBadSign = "Fehler! Das Rechenzeichen ist ung\x81ltig!\n";
const std::string kBadFirst = "Fehler! Die erste Zahl ist ung\x81ltig!\n";
const std::string kBadSecond = "Fehler! Die zweite Zahl ist ung\x81ltig!\n";
const std::string kIncomplete = "Fehler! Die Eingabe ist unvollst\x84ndig!\n";

std::string result_dialog(const std::string& calculation, const std::string& result) {
  return kAsk + kNumbers + kHead + calculation + kMiddle + result + "\n";
}

std::string error_dialog(const std::string& error_line) { return kAsk + kNumbers + error_line; }

struct DialogCase {
  const char* name;
  std::string input;
  std::string output;
  DialogEnd end = DialogEnd::answered;
};

// Cases are named by their names wherever the test runner prints them.
void PrintTo(const DialogCase& c, std::ostream* os) { *os << c.name; }

class OneDialog : public testing::TestWithParam<DialogCase> {};

TEST_P(OneDialog, WritesExactlyTheExpectedBytes) {
  const DialogCase& c = GetParam();
  std::istringstream in(c.input);
  std::ostringstream out;
  EXPECT_EQ(run_calculation_dialog(in, out), c.end);
  EXPECT_EQ(out.str(), c.output);
}

const DialogCase kResults[] = {
    {"Plus", "+\n3\n4\n", result_dialog("3+4", "7")},
    {"OneThird", "/\n1\n3\n", result_dialog("1/3", "0.333333")},
    {"TwoThirdsRoundUp", "/\n2\n3\n", result_dialog("2/3", "0.666667")},
    {"PointOnePlusPointTwo", "+\n0.1\n0.2\n", result_dialog("0.1+0.2", "0.3")},
    {"TrailingZerosDropped", "*\n2.50\n4\n", result_dialog("2.5*4", "10")},
    {"ExponentFromAMillion", "*\n1e3\n1e3\n", result_dialog("1000*1000", "1e+06")},
    {"SixSignificantDigits", "+\n1.234567e6\n0\n", result_dialog("1.23457e+06+0", "1.23457e+06")},
    {"SmallExponent", "*\n0.00001\n1\n", result_dialog("1e-05*1", "1e-05")},
    {"SmallWithoutExponent", "*\n0.0001\n1\n", result_dialog("0.0001*1", "0.0001")},
    {"OperandsKeepTheirOrderMinus", "-\n3\n10\n", result_dialog("3-10", "-7")},
    {"OperandsKeepTheirOrderDivide", "/\n10\n4\n", result_dialog("10/4", "2.5")},
    {"MinusNegative", "-\n5\n-3\n", result_dialog("5--3", "8")},
    {"NegativeZero", "*\n0\n-1\n", result_dialog("0*-1", "-0")},
    {"DivisionByZero", "/\n1\n0\n", result_dialog("1/0", "inf")},
    {"NegativeDivisionByZero", "/\n-1\n0\n", result_dialog("-1/0", "-inf")},
    {"ZeroByZero", "/\n0\n0\n", result_dialog("0/0", "nan")},
    {"Overflow", "*\n1e308\n10\n", result_dialog("1e+308*10", "inf")},
    {"SubnormalOperand", "*\n1e-320\n1\n", result_dialog("9.99989e-321*1", "9.99989e-321")},
    {"UnderflowReadsAsZero", "+\n1e-999\n1\n", result_dialog("0+1", "1")},
    {"WhiteSpaceBeforeSign", " \t\n\n\v\f\r  *\n6\n7\n", result_dialog("6*7", "42")},
    {"AllAnswersOnOneLine", "* 6 7\n", result_dialog("6*7", "42")},
    {"NoWhiteSpaceAtAll", "+1+2", result_dialog("1+2", "3")},
};
INSTANTIATE_TEST_SUITE_P(Results, OneDialog, testing::ValuesIn(kResults),
                         [](const auto& info) { return std::string(info.param.name); });

const DialogCase kErrors[] = {
    {"Comma", ",\n1\n2\n", error_dialog(kBadSign)},
    {"FullStop", ".\n1\n2\n", error_dialog(kBadSign)},
    {"Letter", "x\n1\n2\n", error_dialog(kBadSign)},
    {"Digit", "5\n1\n2\n", error_dialog(kBadSign)},
    {"ByteAbove127", "\x81\n1\n2\n", error_dialog(kBadSign)},
    {"HighestByte", "\xff\n1\n2\n", error_dialog(kBadSign)},
    {"WordAsFirstNumber", "+\nabc\n2\n", error_dialog(kBadFirst)},
    {"LoneMinusAsFirstNumber", "+\n-\n2\n", error_dialog(kBadFirst)},
    {"ExponentWithoutDigits", "+\n1e\n2\n", error_dialog(kBadFirst)},
    {"InfinityIsNoNumber", "+\n1\ninf\n", error_dialog(kBadSecond)},
    {"NanIsNoNumber", "+\n1\nnan\n", error_dialog(kBadSecond)},
    {"BeyondDouble", "+\n1e999\n2\n", error_dialog(kBadFirst)},
    {"NegativeBeyondDouble", "+\n1\n-1e999\n", error_dialog(kBadSecond)},
    // The first fault in reading order is the one named.
    {"SignBeforeNumbers", "x\nabc\ndef\n", error_dialog(kBadSign)},
    {"FirstBeforeSecond", "+\nabc\ndef\n", error_dialog(kBadFirst)},
    // What reads as a number stays one; the rest answers the next prompt.
    {"DigitsThenLetters", "+ 12abc 7", error_dialog(kBadSecond)},
};
INSTANTIATE_TEST_SUITE_P(Errors, OneDialog, testing::ValuesIn(kErrors),
                         [](const auto& info) { return std::string(info.param.name); });

const DialogCase kEndsOfInput[] = {
    {"NothingAtAll", "", kAsk, DialogEnd::input_ended},
    {"OnlyWhiteSpace", " \n\t\n", kAsk, DialogEnd::input_ended},
    {"AfterSign", "+\n", kAsk + "Geb' die erste Zahl ein: \n" + kIncomplete, DialogEnd::input_incomplete},
    {"AfterFirstNumber", "+ 1\n", kAsk + kNumbers + kIncomplete, DialogEnd::input_incomplete},
    {"AfterInvalidFirstNumber", "+ abc\n", kAsk + kNumbers + kIncomplete, DialogEnd::input_incomplete},
    {"LastNumberWithoutLineEnd", "+ 1 2", result_dialog("1+2", "3")},
    {"InvalidLastNumberAtEnd", "+ 1 2e", error_dialog(kBadSecond)},
};
INSTANTIATE_TEST_SUITE_P(EndOfInput, OneDialog, testing::ValuesIn(kEndsOfInput),
                         [](const auto& info) { return std::string(info.param.name); });

// What one dialog leaves unread is what the next one reads.
struct LeftoverCase {
  const char* name;
  std::string input;
  std::vector<std::string> outputs;
};

void PrintTo(const LeftoverCase& c, std::ostream* os) { *os << c.name; }

class DialogsInARow : public testing::TestWithParam<LeftoverCase> {};

TEST_P(DialogsInARow, EachReadsWhereTheLastStopped) {
  const LeftoverCase& c = GetParam();
  std::istringstream in(c.input);
  for (const std::string& expected : c.outputs) {
    std::ostringstream out;
    EXPECT_EQ(run_calculation_dialog(in, out), DialogEnd::answered);
    EXPECT_EQ(out.str(), expected);
  }
  std::ostringstream out;
  EXPECT_EQ(run_calculation_dialog(in, out), DialogEnd::input_ended);
}

const LeftoverCase kLeftovers[] = {
    {"CommaIsNoDecimalPoint", "+\n1\n3,5\n7\n", {result_dialog("1+3", "4"), error_dialog(kBadSign)}},
    {"LettersAfterANumberStay", "* 2 1e5x 1 2", {result_dialog("2*100000", "200000"), error_dialog(kBadSign)}},
    {"SecondFullStopStartsANewNumber", "+ 1.2.5 * 2 3", {result_dialog("1.2+0.5", "1.7"), result_dialog("2*3", "6")}},
    {"InvalidWordIsGoneForTheNextDialog", "+ 1 abc - 5 3", {error_dialog(kBadSecond), result_dialog("5-3", "2")}},
    {"TabEndsAnInvalidWord", "+ 1 abc\t- 5 3", {error_dialog(kBadSecond), result_dialog("5-3", "2")}},
    {"VerticalTabEndsAnInvalidWord", "+ 1 abc\v- 5 3", {error_dialog(kBadSecond), result_dialog("5-3", "2")}},
    {"FormFeedEndsAnInvalidWord", "+ 1 abc\f- 5 3", {error_dialog(kBadSecond), result_dialog("5-3", "2")}},
    {"CarriageReturnEndsAnInvalidWord", "+ 1 abc\r- 5 3", {error_dialog(kBadSecond), result_dialog("5-3", "2")}},
};
INSTANTIATE_TEST_SUITE_P(Leftovers, DialogsInARow, testing::ValuesIn(kLeftovers),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
