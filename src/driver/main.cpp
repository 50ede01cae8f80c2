#include "driver/driver.h"

int main(int argc, char** argv)
{
	return kestrun::run_command_line(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc));
}
