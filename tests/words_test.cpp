// SPDX-License-Identifier: ISC
// The form of a word: names are escaped so that a mail client's command
// parser reads each word back as exactly one mailbox with the folder's true
// name, and plain names come out byte for byte.
#include <gtest/gtest.h>

#include <algorithm>

#include "harness.h"

namespace mftest {
namespace {

struct WordCase {
	const char *label;
	std::string name;  // the folder, relative to the root
	std::string word;  // what must be written for it, "+" and " " included
};

void PrintTo(const WordCase &c, std::ostream *os) { *os << c.label; }

class Word : public ::testing::TestWithParam<WordCase> {};

TEST_P(Word, IsWrittenExactly)
{
	const auto &c = GetParam();
	TempDir t;
	build(t.path(), {dir(c.name + "/cur")});
	Result r = mailfolders(t.str());
	EXPECT_EQ(r.out, c.word);
	EXPECT_EQ(r.err, "");
	EXPECT_EQ(r.status, 0);
}

INSTANTIATE_TEST_SUITE_P(Words, Word, ::testing::Values(
	// Unchanged: letters, digits, punctuation the parser leaves alone, and
	// every byte from 0x80 on.
	WordCase{"Plain", "inbox", "+inbox "},
	WordCase{"PlainPunctuation", ".Sent+-%=@:,.!?&*()[]{}<>|~^_", "+.Sent+-%=@:,.!?&*()[]{}<>|~^_ "},
	WordCase{"GmailNested", "[Gmail]/Starred", "+[Gmail]/Starred "},
	WordCase{"Utf8", "Entw\xc3\xbcrfe/\xe6\x97\xa5\xe6\x9c\xac", "+Entw\xc3\xbcrfe/\xe6\x97\xa5\xe6\x9c\xac "},
	WordCase{"HighBytes", "\x80\x9f\xa0\xfe\xff", "+\x80\x9f\xa0\xfe\xff "},
	WordCase{"FormatDirectives", "%s%n%%", "+%s%n%% "},
	// The eight bytes that go behind a backslash.
	WordCase{"Space", "Sent Items", "+Sent\\ Items "},
	WordCase{"DoubleQuote", "a\"b", "+a\\\"b "},
	WordCase{"SingleQuote", "it's", "+it\\'s "},
	WordCase{"Backslash", "a\\b", "+a\\\\b "},
	WordCase{"Backquote", "x`touch PWNED`", "+x\\`touch\\ PWNED\\` "},
	WordCase{"Dollar", "$HOME", "+\\$HOME "},
	WordCase{"Hash", "#hash", "+\\#hash "},
	WordCase{"Semicolon", "a;set quit=yes", "+a\\;set\\ quit=yes "},
	WordCase{"AllEightTogether", " \"'\\`$#;", "+\\ \\\"\\'\\\\\\`\\$\\#\\; "},
	// Control bytes and DEL as three octal digits.
	WordCase{"Newline", "nl\nx", "+nl\\012x "},
	WordCase{"Tab", "tab\there", "+tab\\011here "},
	WordCase{"FirstControlByte", "\x01", "+\\001 "},
	WordCase{"Escape", "\x1b[31m", "+\\033[31m "},
	WordCase{"LastControlByte", "a\x1f", "+a\\037 "},
	WordCase{"Del", "\x7f", "+\\177 "},
	WordCase{"CarriageReturn", "x\r", "+x\\015 "},
	// Backslashes next to digits and at the end stay distinct.
	WordCase{"BackslashThenDigits", "0\\012", "+0\\\\012 "},
	WordCase{"TrailingBackslash", "x\\", "+x\\\\ "},
	WordCase{"OnlySpaces", "   ", "+\\ \\ \\  "},
	// Every component of a nested name is escaped; the "/" is not.
	WordCase{"NestedWithSpaces", "[Gmail]/All Mail", "+[Gmail]/All\\ Mail "}),
	ByLabel());

// mutt's reading of a word outside quotes: a backslash and three octal
// digits is that byte, a backslash and any other byte is that byte, and an
// unescaped blank ends the word.  A byte the parser would act on, left
// bare, comes back marked so that no name can match it.
std::string parsed(const std::string &out, size_t &at)
{
	static const std::string acted = "\"'`$#;";
	std::string s;
	auto octal = [&](size_t i) { return i < out.size() && out[i] >= '0' && out[i] <= '7'; };
	while (at < out.size() && out[at] != ' ') {
		if (out[at] == '\\' && octal(at + 1) && octal(at + 2) && octal(at + 3)) {
			s += static_cast<char>(std::stoi(out.substr(at + 1, 3), nullptr, 8));
			at += 4;
		} else if (out[at] == '\\' && at + 1 < out.size()) {
			s += out[at + 1];
			at += 2;
		} else if (acted.find(out[at]) != std::string::npos) {
			s += "<bare " + out.substr(at++, 1) + ">";
		} else {
			s += out[at++];
		}
	}
	at++;
	return s;
}

// Each byte a name can hold, in a name of its own and all in one name: the
// output reads back as exactly those names, and no byte the parser acts on
// is left bare.
TEST(Words, EveryByteReadsBackAsItself)
{
	TempDir t;
	std::vector<std::string> names;
	std::string all;
	for (int b = 1; b < 256; b++) {
		if (b == '/')
			continue;
		std::string one(1, static_cast<char>(b));
		names.push_back("x" + one);
		all += one;
	}
	names.push_back(all.substr(0, 127));
	names.push_back(all.substr(127));
	std::vector<Node> tree;
	for (const auto &n : names)
		tree.push_back(dir(n + "/cur"));
	build(t.path(), tree);

	Result r = mailfolders(t.str());
	ASSERT_EQ(r.status, 0) << r.err;
	std::vector<std::string> read;
	for (size_t at = 0; at < r.out.size();) {
		ASSERT_EQ(r.out[at], '+') << r.out.substr(at);
		at++;
		read.push_back(parsed(r.out, at));
	}
	std::sort(read.begin(), read.end());
	std::sort(names.begin(), names.end());
	EXPECT_EQ(read, names);
	for (size_t i = 0; i < r.out.size(); i++) {
		auto c = static_cast<unsigned char>(r.out[i]);
		EXPECT_FALSE(c < 0x20 || c == 0x7f) << "raw control byte at " << i;
	}
}

}  // namespace
}  // namespace mftest
