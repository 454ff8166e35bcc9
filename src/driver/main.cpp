#include "driver/driver.h"

int main(int argc, char** argv) { return vokt::vokt_main(argc, argv); }
