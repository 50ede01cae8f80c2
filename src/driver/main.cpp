#include "driver/driver.h"

int main(int argc, char** argv)
{
	return kestrun::run_batch(argc, argv);
}
