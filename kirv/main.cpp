// kirv: genetic parameters from an analysis of variance.
#include "kirv/driver.hpp"

int main() { return kirv::run_driver(kirv::local_time_now()); }
