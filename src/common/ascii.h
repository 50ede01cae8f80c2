// ASCII case folding for names: file names and texture names match without
// regard to the case of A to Z, whatever the locale; other bytes, UTF-8
// included, stay as they are.
#pragma once

#include <string>

namespace kestrun {

inline char ascii_lower(char c)
{
	return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

inline std::string ascii_lowered(std::string text)
{
	for (char& c : text)
		c = ascii_lower(c);
	return text;
}

} // namespace kestrun
