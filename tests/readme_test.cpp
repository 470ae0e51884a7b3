// SPDX-License-Identifier: ISC
// The README shows the example configuration's lines as they stand in the
// files, so that what a user reads is what is installed and tested.  It
// needs no mail client, so it runs wherever the suite does.
#include <gtest/gtest.h>

#include <fstream>

#include "harness.h"

namespace mftest {
namespace {

TEST(Readme, ShowsTheExampleLines)
{
	const std::string readme = slurp(fs::path(MAILFOLDERS_EXAMPLES).parent_path() / "README.md");
	ASSERT_FALSE(readme.empty()) << "no README.md beside " << MAILFOLDERS_EXAMPLES;
	for (const char *name : examplefiles) {
		std::ifstream example(fs::path(MAILFOLDERS_EXAMPLES) / name);
		ASSERT_TRUE(example) << "no examples/" << name;
		for (std::string line; std::getline(example, line);) {
			if (line.empty() || line[0] == '#')
				continue;
			EXPECT_NE(readme.find("\n    " + line + "\n"), std::string::npos)
			    << "README.md does not show the line of examples/" << name << ":\n" << line;
		}
	}
}

}  // namespace
}  // namespace mftest
