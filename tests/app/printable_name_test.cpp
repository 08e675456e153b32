#include "app/cli/printable_name.h"

#include <gtest/gtest.h>

namespace {

using vanthe::cli::Printable;

TEST(PrintableName, EscapesWhatATerminalWouldObey) {
    struct Case {
        std::string name;
        std::string printed;
    } cases[] = {
        {"plain name.txt", "plain name.txt"},
        {"Pässwörd €uro ☃.txt", "Pässwörd €uro ☃.txt"},             // UTF-8 letters stay
        {"a\x1b]0;title\x07z", "a\\x1B]0;title\\x07z"},             // an escape sequence
        {"tab\there\nnew\rret\x7f", "tab\\there\\nnew\\rret\\x7F"}, // C0 and DEL
        {"csi\xc2\x9b"
         "31m",
         "csi\\xC2\\x9B31m"}, // C1 written as UTF-8
        {"raw\x9b"
         "31m",
         "raw\\x9B31m"},                            // C1 as a single byte
        {"latin1 \xe9t\xe9", "latin1 \\xE9t\\xE9"}, // not UTF-8
        {"overlong \xc0\xaf", "overlong \\xC0\\xAF"},
        {"surrogate \xed\xa0\x80", "surrogate \\xED\\xA0\\x80"},
        {"cut \xe2\x82", "cut \\xE2\\x82"},
        {"back\\slash", "back\\\\slash"}, // so an escape in the output is never ambiguous
        // What shows as nothing, or turns the direction of what follows, would make one name
        // look like another: "atxt", "invoiceexe.pdf".
        {"a\u200Btxt\u00AD\uFEFF\u2028",
         "a\\xE2\\x80\\x8Btxt\\xC2\\xAD\\xEF\\xBB\\xBF\\xE2\\x80\\xA8"},
        {"\u0645\u06CC\u200C\u062E\u0648\u0627\u0647\u0645",
         "\u0645\u06CC\u200C\u062E\u0648\u0627\u0647\u0645"},
        {"invoice\u202Efdp.exe", "invoice\\xE2\\x80\\xAEfdp.exe"},
        {"a\u2067b\u200Fc\u061Cd", "a\\xE2\\x81\\xA7b\\xE2\\x80\\x8Fc\\xD8\\x9Cd"},
        {"\u05E9\u05DC\u05D5\u05DD \u202F\u2069x",
         "\u05E9\u05DC\u05D5\u05DD \u202F\\xE2\\x81\\xA9x"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Printable(c.name), c.printed);
    }
}

} // namespace
