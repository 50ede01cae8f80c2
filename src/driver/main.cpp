#include "driver/driver.h"

#ifdef _WIN32
#include <windows.h>

// The argument reaches the program as typed: the C runtime must not expand a
// star in it against the folder.
extern "C" {
int _dowildcard = 0;
}

namespace {

std::string utf8(const wchar_t* text)
{
	const int length = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
	std::string out(std::size_t(length > 0 ? length : 1), '\0');
	if (length > 0)
		::WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), length, nullptr, nullptr);
	out.pop_back(); // the terminator
	return out;
}

} // namespace

// The wide command line carries any name; names are UTF-8 inside the program
// and printed as UTF-8, so a console is switched to UTF-8 while it runs.
int wmain(int argc, wchar_t** argv)
{
	std::vector<std::string> arguments;
	for (int k = 1; k < argc; k++)
		arguments.push_back(utf8(argv[k]));
	const UINT console = ::GetConsoleOutputCP();
	::SetConsoleOutputCP(CP_UTF8);
	const int status = kestrun::run_command_line(arguments);
	if (console != 0)
		::SetConsoleOutputCP(console);
	return status;
}

#else

int main(int argc, char** argv)
{
	return kestrun::run_command_line(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc));
}

#endif
