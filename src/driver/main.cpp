#include "driver/driver.h"

#ifdef _WIN32
#include "platform/platform.h"

// The argument reaches the program as typed: the C runtime must not expand a
// star in it against the folder.
extern "C" {
int _dowildcard = 0;
}

// The wide command line carries any name; see the platform layer.
int wmain(int argc, wchar_t** argv)
{
	std::vector<std::string> arguments = kestrun::utf8_command_line(argc, argv);
	if (!arguments.empty())
		arguments.erase(arguments.begin());
	return kestrun::run_with_utf8_console([&] { return kestrun::run_command_line(arguments); });
}

#else

int main(int argc, char** argv)
{
	return kestrun::run_command_line(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc));
}

#endif
