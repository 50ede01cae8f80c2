#include "platform/platform.h"

#include <gtest/gtest.h>

using namespace kestrun;

namespace {

TEST(Wildcard, StarsQuestionMarksAndCase)
{
	EXPECT_TRUE(wildcard_match("*.dff", "car.dff"));
	EXPECT_TRUE(wildcard_match("*.dff", "CAR.DFF"));
	EXPECT_TRUE(wildcard_match("*.dff", ".dff"));
	EXPECT_FALSE(wildcard_match("*.dff", "car.dff.bak"));
	EXPECT_TRUE(wildcard_match("*", ""));
	EXPECT_TRUE(wildcard_match("c?r.*", "car.txd"));
	EXPECT_FALSE(wildcard_match("c?r", "cr"));
	EXPECT_TRUE(wildcard_match("a*b*c", "aXbYbZc"));
	EXPECT_FALSE(wildcard_match("a*b*c", "aXbYbZ"));
	EXPECT_TRUE(wildcard_match("**a**", "xax"));
	EXPECT_FALSE(wildcard_match("", "a"));
	EXPECT_FALSE(wildcard_match("sub/*.dff", "x.dff"));
	EXPECT_FALSE(wildcard_match("*/", "x"));
	// Many stars against a long miss stay quick.
	EXPECT_FALSE(wildcard_match("*a*a*a*a*a*a*a*a*b", std::string(200, 'a')));
}

TEST(Wildcard, SortedByLowerCaseThenBytes)
{
	std::vector<std::string> names = {"b.dff", "B.dff", "a.dff", "_x", "Z", "c"};
	sort_names(names);
	EXPECT_EQ(names, (std::vector<std::string>{"_x", "a.dff", "B.dff", "b.dff", "c", "Z"}));
}

} // namespace
